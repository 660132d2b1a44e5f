#include "foundation/Data.h"

#include <algorithm>

#include "foundation/DELTA9.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"

namespace ks {

namespace {

constexpr int MaxCountedLines = 21;
constexpr std::size_t MaxWholeHistory = 20;
constexpr std::size_t CutHistory = 11;
constexpr std::string_view DefaultSkinText = "#Sable_Path#/skins/default/";
constexpr std::string_view DefaultLangText = "#Sable_Path#/lang/ENGLISH/";

// Language folders chosen on the first run from the user's locale.
struct TLocaleFolder {
    std::string_view Locale;
    std::string_view Folder;
};
constexpr TLocaleFolder LocaleFolders[] = {
    {"0000041B", "lang/slovak/"},     {"00000405", "lang/czech/"},  {"0000040E", "lang/hungary/"},
    {"00000413", "lang/netherland/"}, {"00000415", "lang/polish/"}, {"00000419", "lang/russian/"},
    {"00000407", "lang/deutch/"},     {"00000C07", "lang/deutch/"},
};

std::string WithoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A position read back is kept on the screen: never left of or above it, and moved back
// inside when the window would reach past the right or bottom edge.
void CorrectPosition(TWindowPos& pos, int width, int height, int screenWidth, int screenHeight,
                     int rightMargin, int bottomMargin) {
    pos.Left = std::max(pos.Left, 0);
    pos.Top = std::max(pos.Top, 0);
    if (pos.Left + width > screenWidth)
        pos.Left = screenWidth - width - rightMargin;
    if (pos.Top + height > screenHeight)
        pos.Top = screenHeight - height - bottomMargin;
    // A window larger than the screen keeps its top-left corner visible.
    pos.Left = std::max(pos.Left, 0);
    pos.Top = std::max(pos.Top, 0);
}

} // namespace

const std::vector<TAutoSaveValue> AutoSaveValues = {
    {ProgramKey, "SettingsExternalEditor", "0"},
    {ProgramKey, "SettingsShowFlyingMenu", "0"},
    {ProgramKey, "SettingsShowBackOpsWindow", "0"},
    {ProgramKey, "SettingsAutoClosingBackOpsWindow", "1"},
    {ProgramKey, "SettingsAutoClosingFTPStatusWindow", "1"},
    {ProgramKey, "SettingsShowHidden", "1"},
    // Checked means sizes in kB, MB, GB; the box starts as the panel option does.
    {ProgramKey, "SettingsShowSizeInMB", "1"},
    {ProgramKey, "SettingsShowDriveSizeAtOnce", "1"},
    {ProgramKey, "SettingsShowImagePreview", "1"},
    {ProgramKey, "KMYCheckbox1", "1"},
    {ProgramKey, "SettingsDelKeyForDelete", "1"},
    {ProgramKey, "SettingsBkSpKeyForUpFolder", "1"},
    {ProgramKey, "SettingsRightClickWithCtrl", "1"},
    {ProgramKey, "SettingsDragNDropEnable", "0"},
    {ProgramKey, "SettingsFolderFirst", "1"},
    {ProgramKey, "SettingsExecutableFirst", "1"},
    {ProgramKey, "SettingsArchiveOpenLikeFolder", "1"},
    {ProgramKey, "SettingsArchiveLocateFromSystem", "1"},
    {ProgramKey, "SettingsArchiveAutoLocate", "1"},
    {ProgramKey, "SettingsLockSetEnabled", "0"},
    {ProgramKey, "SettingsMouseWheelStep", "3"},
    {ProgramKey, "SettingsMaxCopyBufferSize", "128"},
    // Time limits of the FTP sessions' waits, in seconds.
    {ProgramKey, "SettingsFtpConnectTimeout", "15"},
    {ProgramKey, "SettingsFtpReplyTimeout", "30"},
    {ProgramKey, "SettingsFtpDataTimeout", "15"},
    // The external editor's default depends on what is installed; the settings dialog fills it.
    {ProgramKey, "SettingsExternalEditorPath", ""},
    {ProgramKey, "SettingsDeleteAfterCopy", "0"},
    {ProgramKey, "SettingsDeleteFileAttr", "0"},
    {ProgramKey, "SettingsCopyProgressShowDetail", "1"},
    {ProgramKey, "SettingsCreateNewUpperCase", "0"},
    {ProgramKey, "SelectType", "1"},
    {ProgramKey, "fReadOnly", "0"},
    {ProgramKey, "fArchive", "0"},
    {ProgramKey, "fHidden", "0"},
    {ProgramKey, "fSystem", "0"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsBlinkingCursor", "1"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsShowIcons", "0"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsAlphaCursorTrail", "0"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsAlphaCursor", "1"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsEnableAnimCheckBox", "0"},
    {"Software\\delta9\\[sable!]\\graphics", "GraphicsShowSplashScreen", "1"},
    {"Software\\delta9\\[sable!]\\findfiles", "FindFilesUpperCase", "0"},
    {DefaultAutoSaveKey, "CheckBoxSize", "0"},
    {DefaultAutoSaveKey, "CheckBoxAttr", "0"},
    {DefaultAutoSaveKey, "CheckBoxDate", "0"},
    {DefaultAutoSaveKey, "CheckBoxFolderContents", "0"},
    {DefaultAutoSaveKey, "CheckBoxFileContents", "0"},
};

TData::TData(TKRegistryStore& store, TKSystem& system, TKFileSystem& fileSystem)
    : FStore(store), FSystem(system), FFileSystem(fileSystem) {}

std::string TData::SubKeyPath(std::string_view subKey) const {
    std::string path(ProgramKey);
    if (!subKey.empty()) {
        path += '\\';
        path += subKey;
    }
    return path;
}

std::optional<std::string> TData::ReadValue(std::string_view subKey, std::string_view name) const {
    return FStore.Read(SubKeyPath(subKey), name);
}

std::string TData::ReadText(std::string_view subKey, std::string_view name, std::string_view fallback) const {
    const auto value = ReadValue(subKey, name);
    return value ? *value : std::string(fallback);
}

int TData::ReadInt(std::string_view subKey, std::string_view name, int fallback) const {
    const auto value = ReadValue(subKey, name);
    if (!value)
        return fallback;
    int number = fallback;
    return TryStrToInt(*value, number) ? number : fallback;
}

void TData::WriteValue(std::string_view subKey, std::string_view name, std::string_view value) {
    FStore.Write(SubKeyPath(subKey), name, value);
}

std::string TData::ExpandSablePath(std::string_view stored) const {
    return ReplaceAll(stored, SablePathMacro, WithoutTrailingSlash(AppPath), true);
}

std::string TData::CollapseSablePath(std::string_view path) const {
    const std::string folder = WithoutTrailingSlash(AppPath);
    // The root folder as program folder would turn every "/" into the macro.
    if (folder.empty() || folder == "/")
        return std::string(path);
    return ReplaceAll(path, folder, SablePathMacro, false);
}

std::string TData::DefaultMemFolder(int index) const {
    switch (index) {
    case 1:
        return "/";
    case 2:
        return AddBackslash(FSystem.HomeDir());
    case 3:
        return AddBackslash(FSystem.WindowsDir());
    case 4:
        return AddBackslash(FSystem.SystemDir());
    case 5:
        return AddBackslash(FSystem.ProgramFilesDir());
    case 6:
        return AddBackslash(FSystem.ShellFolder("Programs"));
    case 7:
        return AddBackslash(FSystem.ShellFolder("Personal"));
    case 8:
        return AddBackslash(FSystem.ShellFolder("Startup"));
    default:
        return {};
    }
}

void TData::LoadSettings(const TScreenLayout& screen) {
    AppPath = FSystem.AppPath();
    AppTitle = ReadText("m_settings", "apptitle", "kSable");

    DefaultSkinPath = ExpandSablePath(DefaultSkinText);
    SkinPath = ExpandSablePath(ReadText("m_settings", "skin_path", DefaultSkinText));
    if (!FFileSystem.CanOpenFolder(WithoutTrailingSlash(SkinPath)))
        SkinPath = DefaultSkinPath;

    LangPath = ExpandSablePath(ReadText("m_settings", "lang_path", DefaultLangText));
    DefaultLangPath = ExpandSablePath(DefaultLangText);

    FirstRun = ReadInt("m_settings", "first_run", 1) != 0;
    UserMode = ReadInt("m_settings", "musermode", 3);
    if (UserMode < 1 || UserMode > 4)
        UserMode = 3;

    LocateArchivesOnFirstRun = false;
    if (FirstRun) {
        const std::string locale = FSystem.LocaleId();
        for (const auto& entry : LocaleFolders) {
            if (locale == entry.Locale) {
                LangPath = AppPath + std::string(entry.Folder);
                break;
            }
        }
        LocateArchivesOnFirstRun = true;
    }

    PanelAlphaActive = std::clamp(ReadInt("m_panel", "malpact", 96), 0, 255);
    PanelAlphaInactive = std::clamp(ReadInt("m_panel", "malpinact", 48), 0, 255);
    const std::string home = AddBackslash(FSystem.HomeDir());
    LeftPanelPath = ReadText("m_lpanel", "ppath", home);
    LeftCursorName = ReadText("m_lpanel", "pposit", "");
    RightPanelPath = ReadText("m_rpanel", "ppath", home);
    RightCursorName = ReadText("m_rpanel", "pposit", "");

    MainPos = {ReadInt("m_position", "mleft", 0), ReadInt("m_position", "mtop", 0)};
    CorrectPosition(MainPos, screen.MainWidth, screen.MainHeight, screen.ScreenWidth, screen.ScreenHeight, 0,
                    0);
    MenuPos = {ReadInt("m_position", "menuleft", 16), ReadInt("m_position", "menutop", 16)};
    CorrectPosition(MenuPos, screen.MenuWidth, screen.MenuHeight, screen.ScreenWidth, screen.ScreenHeight, 16,
                    32);
    BackOpsPos = {ReadInt("m_position", "backopswleft", screen.ScreenHeight - 16),
                  ReadInt("m_position", "backopswtop", 16)};
    CorrectPosition(BackOpsPos, screen.BackOpsWidth, screen.BackOpsHeight, screen.ScreenWidth,
                    screen.ScreenHeight, 16, 32);
    SettingsPos = {ReadInt("m_position", "settingsleft", 0), ReadInt("m_position", "settingstop", 0)};
    CorrectPosition(SettingsPos, screen.SettingsWidth, screen.SettingsHeight, screen.ScreenWidth,
                    screen.ScreenHeight, 0, 0);

    PanelSortMode = ReadInt("", "SettingsSortBy", 1);
    if (PanelSortMode < 1 || PanelSortMode > 3)
        PanelSortMode = 1;

    for (int i = 1; i <= 10; ++i) {
        const int index = i % 10;
        const std::string name = "posit_00" + std::to_string(index);
        MemFolders[index] = ReadText("m_memfolders", name, DefaultMemFolder(index));
    }

    History = LoadCountedList("m_history");
    ArchiveList = LoadCountedList("m_archivelist");
    FtpList = LoadCountedList("m_ftplist");

    for (int i = 0; i < chCount; ++i)
        ComboHistories[i] = LoadHistory(ComboHistoryKeys[i]);
}

bool TData::SaveSettings(bool panelsHaveItems) {
    WriteValue("m_settings", "skin_path", CollapseSablePath(SkinPath));
    WriteValue("m_settings", "lang_path", CollapseSablePath(LangPath));
    WriteValue("m_settings", "first_run", "0");
    WriteValue("m_settings", "musermode", std::to_string(UserMode));

    WriteValue("m_position", "mleft", std::to_string(MainPos.Left));
    WriteValue("m_position", "mtop", std::to_string(MainPos.Top));
    WriteValue("m_position", "menuleft", std::to_string(MenuPos.Left));
    WriteValue("m_position", "menutop", std::to_string(MenuPos.Top));
    WriteValue("m_position", "backopswleft", std::to_string(BackOpsPos.Left));
    WriteValue("m_position", "backopswtop", std::to_string(BackOpsPos.Top));
    WriteValue("m_position", "settingsleft", std::to_string(SettingsPos.Left));
    WriteValue("m_position", "settingstop", std::to_string(SettingsPos.Top));

    WriteValue("", "SettingsSortBy", std::to_string(PanelSortMode));
    WriteValue("m_panel", "malpact", std::to_string(PanelAlphaActive));
    WriteValue("m_panel", "malpinact", std::to_string(PanelAlphaInactive));

    WriteValue("m_lpanel", "ppath", LeftPanelPath);
    if (panelsHaveItems)
        WriteValue("m_lpanel", "pposit", LeftCursorName);
    WriteValue("m_rpanel", "ppath", RightPanelPath);
    if (panelsHaveItems)
        WriteValue("m_rpanel", "pposit", RightCursorName);

    for (int i = 1; i <= 10; ++i) {
        const int index = i % 10;
        WriteValue("m_memfolders", "posit_00" + std::to_string(index), MemFolders[index]);
    }

    SaveCountedList("m_history", History);
    SaveCountedList("m_archivelist", ArchiveList);
    SaveCountedList("m_ftplist", FtpList);
    for (int i = 0; i < chCount; ++i)
        SaveHistory(ComboHistoryKeys[i], ComboHistories[i]);

    return FStore.Flush().has_value();
}

bool TData::SaveSettingsPassword(std::string_view password) {
    WriteValue("", "SettingsRegCode", password);
    return FStore.Flush().has_value();
}

std::string TData::SettingsPassword() const {
    return ReadText("", "SettingsRegCode", "");
}

std::vector<std::string> TData::LoadCountedList(std::string_view subKey) const {
    std::vector<std::string> lines;
    // A missing or unreadable count reads one line; the values present bound the count, so a
    // damaged count cannot make the loop run away.
    int last = ReadInt(subKey, "linescount", 0);
    int present = 0;
    for (const auto& value : FStore.Values(SubKeyPath(subKey)))
        present += SameText(value.first, "linescount") ? 0 : 1;
    last = std::min(last, std::max(present, 1) - 1);
    for (int i = 0; i <= last; ++i)
        lines.push_back(ReadText(subKey, "line" + std::to_string(i), ""));
    return lines;
}

void TData::SaveCountedList(std::string_view subKey, const std::vector<std::string>& lines) {
    const int count = std::min(static_cast<int>(lines.size()), MaxCountedLines);
    WriteValue(subKey, "linescount", std::to_string(count - 1));
    for (int i = 0; i < count; ++i)
        WriteValue(subKey, "line" + std::to_string(i), lines[i]);
}

std::vector<std::string> TData::LoadHistory(std::string_view subKey) const {
    std::vector<std::string> entries;
    for (auto& [name, value] : FStore.Values(SubKeyPath(subKey)))
        entries.push_back(value);
    return entries;
}

void TData::SaveHistory(std::string_view subKey, const std::vector<std::string>& entries) {
    const std::string key = SubKeyPath(subKey);
    FStore.DeleteKey(key);
    const std::size_t count = entries.size() <= MaxWholeHistory ? entries.size() : CutHistory;
    for (std::size_t i = 0; i < count; ++i)
        FStore.Write(key, std::to_string(i), entries[i]);
}

std::optional<bool> LoadCheckBoxState(const TKRegistryStore& store, std::string_view key,
                                      std::string_view name) {
    const auto value = store.Read(key.empty() ? DefaultAutoSaveKey : key, name);
    if (!value || value->empty())
        return std::nullopt;
    return *value == "1";
}

void SaveCheckBoxState(TKRegistryStore& store, std::string_view key, std::string_view name, bool checked) {
    store.Write(key.empty() ? DefaultAutoSaveKey : key, name, checked ? "1" : "0");
}

std::optional<std::string> LoadEditText(const TKRegistryStore& store, std::string_view key,
                                        std::string_view name) {
    auto value = store.Read(key.empty() ? DefaultAutoSaveKey : key, name);
    if (!value || value->empty())
        return std::nullopt;
    return value;
}

void SaveEditText(TKRegistryStore& store, std::string_view key, std::string_view name,
                  std::string_view text) {
    store.Write(key.empty() ? DefaultAutoSaveKey : key, name, text.empty() ? std::string_view(" ") : text);
}

std::string AutoSaveDefault(std::string_view key, std::string_view name) {
    const std::string_view path = key.empty() ? DefaultAutoSaveKey : key;
    for (const auto& entry : AutoSaveValues) {
        if (entry.Key == path && entry.Name == name)
            return std::string(entry.Default);
    }
    return {};
}

std::string AutoSaveValue(const TKRegistryStore& store, std::string_view key, std::string_view name) {
    const std::string_view path = key.empty() ? DefaultAutoSaveKey : key;
    if (auto value = store.Read(path, name); value && !value->empty())
        return *value;
    return AutoSaveDefault(path, name);
}

} // namespace ks
