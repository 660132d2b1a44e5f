#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ks {

class TKRegistryStore;
class TKSystem;
class TKFileSystem;

/// The program key every setting lives under, without its trailing separator.
inline constexpr std::string_view ProgramKey = "Software\\delta9\\[sable!]";
/// Key of self-saving controls that name no key of their own.
inline constexpr std::string_view DefaultAutoSaveKey = "Software\\company\\swname";
/// Stands for the program folder (without its trailing "/") inside stored paths.
inline constexpr std::string_view SablePathMacro = "#Sable_Path#";

/// A window's top-left corner as stored.
struct TWindowPos {
    int Left = 0;
    int Top = 0;
};

/// What the position corrections need to know: the screen and each window's size.
struct TScreenLayout {
    int ScreenWidth = 1920;
    int ScreenHeight = 1080;
    int MainWidth = 0, MainHeight = 0;
    int MenuWidth = 0, MenuHeight = 0;
    int BackOpsWidth = 0, BackOpsHeight = 0;
    int SettingsWidth = 0, SettingsHeight = 0;
};

/// The six history combo boxes, in load order.
enum TComboHistory { chCopy, chFind, chFindText, chTypePath, chSelect, chCreateNew, chCount };
/// Sub-key of each combo box history.
inline constexpr std::array<std::string_view, chCount> ComboHistoryKeys = {
    "m_history_copy",   "m_history_find",   "m_history_findt",
    "m_history_tppath", "m_history_select", "m_history_crnew"};

/// One value stored by a self-saving check box or edit field, with the state the control starts
/// with when nothing is stored.
struct TAutoSaveValue {
    std::string_view Key;  ///< key path below HKEY_CURRENT_USER
    std::string_view Name; ///< the control's component name
    std::string_view Default;
};

/// Every self-saving control value the program knows.
extern const std::vector<TAutoSaveValue> AutoSaveValues;

/// The settings the program remembers between runs, loaded once at start-up and saved at an
/// orderly close. Thread: the GUI thread.
class TData {
public:
    /// Reads and writes through store; folders and defaults come from system and fileSystem.
    TData(TKRegistryStore& store, TKSystem& system, TKFileSystem& fileSystem);

    std::string AppPath;
    std::string AppTitle = "kSable";
    std::string SkinPath;
    std::string DefaultSkinPath;
    std::string LangPath;
    std::string DefaultLangPath;
    bool FirstRun = true;
    int UserMode = 3;
    int PanelAlphaActive = 96;
    int PanelAlphaInactive = 48;
    int PanelSortMode = 1;
    std::array<std::string, 10> MemFolders;
    std::string LeftPanelPath;
    std::string RightPanelPath;
    std::string LeftCursorName;
    std::string RightCursorName;

    TWindowPos MainPos;
    TWindowPos MenuPos{16, 16};
    TWindowPos BackOpsPos;
    TWindowPos SettingsPos;

    /// The command line history, newest first.
    std::vector<std::string> History;
    /// The archive manager entries.
    std::vector<std::string> ArchiveList;
    /// The stored FTP connections.
    std::vector<std::string> FtpList;
    /// The combo box histories, by `TComboHistory`.
    std::array<std::vector<std::string>, chCount> ComboHistories;

    /// Set by a first run whose locale chose a language: the settings dialog then checks
    /// "locate archive managers from system".
    bool LocateArchivesOnFirstRun = false;

    /// Fills every field from the store, with defaults for what is missing or malformed, and
    /// corrects the window positions for the given screen.
    void LoadSettings(const TScreenLayout& screen);
    /// Writes every field back and flushes the store. Returns false when the store could not be
    /// written (the changes stay pending for the next flush).
    bool SaveSettings(bool panelsHaveItems = true);
    /// Stores the settings-lock password at once (a lone write).
    bool SaveSettingsPassword(std::string_view password);
    std::string SettingsPassword() const;

    /// A stored path with "#Sable_Path#" replaced by the program folder.
    std::string ExpandSablePath(std::string_view stored) const;
    /// A path with the program folder (compared without regard to case) replaced by
    /// "#Sable_Path#".
    std::string CollapseSablePath(std::string_view path) const;

    /// Reads a counted list ("linescount" and "line0".."lineN") from a sub-key of the program key.
    std::vector<std::string> LoadCountedList(std::string_view subKey) const;
    /// Writes a counted list, at most 21 lines.
    void SaveCountedList(std::string_view subKey, const std::vector<std::string>& lines);
    /// Reads a combo box history: every value of the sub-key in stored order.
    std::vector<std::string> LoadHistory(std::string_view subKey) const;
    /// Rewrites a combo box history: up to 20 entries whole, a longer list cut to 11.
    void SaveHistory(std::string_view subKey, const std::vector<std::string>& entries);

private:
    std::optional<std::string> ReadValue(std::string_view subKey, std::string_view name) const;
    std::string ReadText(std::string_view subKey, std::string_view name, std::string_view fallback) const;
    int ReadInt(std::string_view subKey, std::string_view name, int fallback) const;
    void WriteValue(std::string_view subKey, std::string_view name, std::string_view value);
    std::string SubKeyPath(std::string_view subKey) const;
    std::string DefaultMemFolder(int index) const;

    TKRegistryStore& FStore;
    TKSystem& FSystem;
    TKFileSystem& FFileSystem;
};

/// Store side of a self-saving check box: true for "1", false for any other non-empty value,
/// nothing when the value is missing or empty (the control keeps its design-time state).
std::optional<bool> LoadCheckBoxState(const TKRegistryStore& store, std::string_view key,
                                      std::string_view name);
void SaveCheckBoxState(TKRegistryStore& store, std::string_view key, std::string_view name, bool checked);
/// Store side of a self-saving edit field: the text when a non-empty value is stored.
std::optional<std::string> LoadEditText(const TKRegistryStore& store, std::string_view key,
                                        std::string_view name);
/// Stores the text, a single space for an empty text.
void SaveEditText(TKRegistryStore& store, std::string_view key, std::string_view name, std::string_view text);
/// The stored state of a self-saving control, or its default from `AutoSaveValues` when nothing
/// (or an empty value) is stored; empty when the control is unknown.
std::string AutoSaveValue(const TKRegistryStore& store, std::string_view key, std::string_view name);
/// The state a self-saving control starts with when nothing is stored, from `AutoSaveValues`;
/// empty when the control is unknown.
std::string AutoSaveDefault(std::string_view key, std::string_view name);

} // namespace ks
