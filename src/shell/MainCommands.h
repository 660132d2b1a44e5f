#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "panel/KITEMSSTRUC.h"

// The main window's commands without the window: the pop-up menu's entries with their captions,
// shortcuts and user levels, the rules that make an entry visible, enabled or checked, and the
// key map that turns a key of the main window into a command.

namespace ks {

/// Every command of the main window; one per menu entry that does something, plus the keys that
/// have no entry of their own.
enum TMainCommand : int {
    cmNone,
    cmChangeLeftPanel,
    cmTypePath,
    cmBrowsePath,
    cmBrowseLocalNetwork,
    cmFindFile,
    cmFTP,
    cmRereadPanel,
    cmShowBackOpWindow,
    cmShowFlyingMenu,
    cmShowFTPStatus,
    cmUserFolder1, ///< `none1` .. `none10`: cmUserFolder1 + n for `MemFolders` n
    cmUserFolder10 = cmUserFolder1 + 9,
    cmSortFoldersFirst,
    cmSortExeFirst,
    cmSortByName,
    cmSortByExt,
    cmSortBySize,
    cmSortItems,
    cmIExecuteFile,
    cmLocateItem,
    cmMoreInfo,
    cmCalculSizes,
    cmTextView,
    cmViewFile,
    cmViewFileExt,
    cmCopyItems,
    cmMoveItems,
    cmRenameItem,
    cmAddToArchive,
    cmCreateNew,
    cmCreateNewFile, ///< Shift+F4: create new with the text-file choice
    cmDeleteItems,
    cmChangeFileAttributes,
    cmCreateShortcut,
    cmSelInvert,
    cmSelSelectAll,
    cmSelUnselectAll,
    cmSelInvertAll,
    cmSelSelectSome,
    cmSelUnSelectSome,
    cmCmdLineHistory,
    cmCommandShell,
    cmComparePanels,
    cmCCopy,
    cmCCut,
    cmCPaste,
    cmConnectNetDrive,
    cmDisconnectNetDrive,
    cmFormatdiskette,
    cmCopydiskette,
    cmControlPanel,
    cmControlPanelAppWiz,
    cmControlpanelAddnewhardware,
    cmDiskCleaner,
    cmDiskDefrag,
    cmScanDisk,
    cmSystemWatcher,
    cmUserMode,
    cmLangSettings,
    cmSkinChooser,
    cmPanelSettings,
    cmPanelGraphics,
    cmAboutSable,
    cmDELTA9website1,
    cmSablepage1,
    cmMinimize,
    cmQuit,
    cmPanelMenu, ///< F10: Shift+F10 to the active panel (its pop-up menu)
    cmCommandCount
};

/// What a menu entry is.
enum TMenuEntryKind : std::uint8_t {
    mkItem,
    mkSubmenu,
    mkSeparator,
    mkRadio,  ///< one of the three sort modes
    mkToggle, ///< a checkable entry
};

/// One entry of the main pop-up menu.
struct TMenuEntry {
    std::string_view Name;     ///< component name ("ChangeLeftPanel", "N7", "Sortby1")
    std::string_view Caption;  ///< English caption ("&" marks the mnemonic)
    std::string_view Shortcut; ///< shown beside the caption only ("Alt+F1"); empty for none
    int Level = 0;             ///< lowest `UserMode` that shows it; 0 for every level
    std::string_view Parent;   ///< name of the submenu holding it; empty for the top level
    TMenuEntryKind Kind = mkItem;
    TMainCommand Command = cmNone; ///< cmNone for submenus and separators
    bool Default = false;          ///< drawn bold (Run/open item)
};

/// Every entry in menu order: a submenu comes before its own entries.
const std::vector<TMenuEntry>& MainMenuEntries();
/// The entry of a command; null for commands without an entry (cmPanelMenu, cmCreateNewFile).
const TMenuEntry* MenuEntryOf(TMainCommand command);
/// The entry with that component name (exact case); null when there is none.
const TMenuEntry* FindMenuEntry(std::string_view name);

/// Commands whose work is not part of this build: they show in the menu, disabled, and their
/// keys do nothing.
bool CommandAvailable(TMainCommand command);

/// What the menu rules look at.
struct TMenuContext {
    int UserMode = 3;
    TKPanelType ActiveType = ptFolder; ///< ap
    TKPanelType OtherType = ptFolder;  ///< op
    bool ActiveHasItems = false;
    /// Kind of the item under the active panel's cursor (ikFile and so on); ikOther when none.
    TKItemKind CursorKind = ikOther;
    bool FolderFirst = true;     ///< "SettingsFolderFirst"
    bool ExecutableFirst = true; ///< "SettingsExecutableFirst"
    int SortMode = 1;            ///< `PanelSortMode`
    bool OtherShowsItemInfo = false;
    /// The text viewer program exists; the system tools found on PATH, by command.
    bool ViewerExists = false;
    std::array<bool, cmCommandCount> ToolFound{};
};

/// The state of every command's entry after `MenuPopup`.
struct TMenuState {
    std::array<bool, cmCommandCount> Visible{};
    std::array<bool, cmCommandCount> Enabled{};
    std::array<bool, cmCommandCount> Checked{};
    /// The separators and submenus by their entry's index in `MainMenuEntries`.
    std::vector<bool> EntryVisible;
    /// The panel options that follow the menu: counting and deleting refused by the panels.
    bool PanelCountDisabled = false;
    bool PanelDeleteDisabled = false;
};

/// The menu rules: visibility by user level, enabled state from the two panels, check marks.
/// A command that is not available is never enabled.
TMenuState ComputeMenuState(const TMenuContext& context);
/// The panel-state rule of a command's entry alone (step 4 of the menu rules), whatever the
/// command's availability and visibility: true for commands without a rule.
bool CommandRuleAllows(TMainCommand command, const TMenuContext& context);

/// What the key map looks at.
struct TKeyContext {
    bool ActiveBusy = false;         ///< the active panel runs a long operation
    bool CommandLineHasText = false; ///< `INFOLINE` holds text
    bool LocateMode = false;         ///< the command line is in locate mode
    bool CursorOnFile = false;       ///< the item under the active panel's cursor is a file
    bool ExternalEditor = false;     ///< "SettingsExternalEditor"
};

/// Where a key of the main window goes.
enum TKeyTarget : std::uint8_t {
    ktPanel,       ///< not consumed: the active panel handles it
    ktCommand,     ///< run the returned command
    ktCommandLine, ///< the command line editor takes it
};

struct TKeyAction {
    TKeyTarget Target = ktPanel;
    TMainCommand Command = cmNone;
};

/// The main window's key map for a virtual key and a shift state (`TShiftState` bits). A key
/// written with Alt or Ctrl alone means exactly that modifier; Ctrl+Alt means at least both.
TKeyAction MapMainKey(int key, std::uint32_t shift, const TKeyContext& context);

} // namespace ks
