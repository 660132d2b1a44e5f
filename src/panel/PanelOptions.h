#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ks {

class TKRegistryStore;

/// A colour as 0x00BBGGRR.
using TColor = std::uint32_t;

constexpr TColor RGB(int red, int green, int blue) {
    return static_cast<TColor>(red & 255) | static_cast<TColor>(green & 255) << 8 |
           static_cast<TColor>(blue & 255) << 16;
}

/// The options both panels share. One object lives for the whole run and both panels hold a
/// reference to it, so they always see the same values. Thread: the GUI thread writes; the
/// painters read the colours and switches.
struct TPanelOptions {
    int PanelAlphaActive = 96;
    int PanelAlphaInactive = 40;
    double PanelLineSpacing = 1.0;
    bool PanelAlphaCursor = true;
    bool PanelAlphaCursorTrail = false;
    bool PanelShowIcons = false;
    int PanelWheelStep = 3;
    bool PanelDragEnabled = false;
    TColor PanelColorCursor = RGB(0, 128, 128);
    TColor PanelColorUpFolder = RGB(128, 128, 128);
    TColor PanelColorFolder = RGB(192, 192, 192);
    TColor PanelColorExe = RGB(255, 255, 255);
    TColor PanelColorOther = RGB(128, 128, 128);
    TColor PanelColorPacked = RGB(255, 255, 255);
    bool PanelSizeInUnits = true;
    bool PanelShowHidden = false;
    bool PanelFolderFirst = true;
    bool PanelExecutableFirst = true;
    /// 1 name, 2 extension, 3 size.
    int PanelSortMode = 1;
    bool PanelDelKeyDeletes = false;
    bool PanelBackspaceUp = false;
    bool PanelDriveSizeAtOnce = true;
    bool PanelCtrlRightClickMenu = true;
    bool PanelArchiveAsFolder = true;
    bool PanelStartupDone = false;
    bool PanelCountDisabled = false;
    bool PanelDeleteDisabled = false;
    /// The folders saved with Ctrl+0..Ctrl+9 and opened with Alt+0..Alt+9, one slot per digit;
    /// an empty slot opens the drive list.
    std::array<std::string, 10> SavedFolders;
};

/// Sets the options kept by the settings dialog's self-saving controls from store: each check
/// box's stored state, or its default when nothing is stored ("SettingsShowSizeInMB" checked
/// gives sizes in kB, MB, GB; "SettingsShowHidden" lists hidden entries;
/// "SettingsShowDriveSizeAtOnce" counts the drive list when it opens; likewise the key, sorting
/// group, archive, drag, graphics and mouse-wheel options). The main window at start-up and
/// ksable-probe both read them here, so the probe lists a folder as the panel shows it. A null
/// store gives every default. The sort key, alpha values and saved folders are left alone.
void LoadStoredPanelOptions(const TKRegistryStore* store, TPanelOptions& options);

} // namespace ks
