#include "foundation/Language.h"

#include "foundation/DELTA9.h"
#include "foundation/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <utility>

namespace ks {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// A window name becomes part of a file name; one that could reach outside the folder is refused.
bool IsPlainWindowName(std::string_view windowName) {
    return !windowName.empty() && windowName.find('/') == std::string_view::npos &&
           windowName.find('\0') == std::string_view::npos;
}

std::string WindowFileName(std::string_view windowName) {
    return "F_" + std::string(windowName) + ".dat";
}

// "codePage" holds a decimal number; anything else is no number at all.
std::optional<long> ParseDecimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

const std::vector<TLangStringId> LangStringIds = {
    {"MSGBOX_Caption", &TLangStrings::MSGBOX_Caption},
    {"MSGBOX_Yes", &TLangStrings::MSGBOX_Yes},
    {"MSGBOX_YesToAll", &TLangStrings::MSGBOX_YesToAll},
    {"MSGBOX_No", &TLangStrings::MSGBOX_No},
    {"MSGBOX_NoToAll", &TLangStrings::MSGBOX_NoToAll},
    {"MSGBOX_OK", &TLangStrings::MSGBOX_OK},
    {"MSGBOX_Cancel", &TLangStrings::MSGBOX_Cancel},
    {"MSGBOX_Retry", &TLangStrings::MSGBOX_Retry},
    {"MSGBOX_Abort", &TLangStrings::MSGBOX_Abort},

    {"_STRCopyToItSelf", &TLangStrings::STRCopyToItSelf},
    {"_STRFileMissing", &TLangStrings::STRFileMissing},
    {"_STRAlreadyExists", &TLangStrings::STRAlreadyExists},
    {"_STROnCreating", &TLangStrings::STROnCreating},
    {"_STROnReading", &TLangStrings::STROnReading},
    {"_STROnWriting", &TLangStrings::STROnWriting},
    {"_STROnNoFreeSpace", &TLangStrings::STROnNoFreeSpace},
    {"_STRCopyIntoItself", &TLangStrings::STRCopyIntoItself},
    {"_STRErrOpenArchive", &TLangStrings::STRErrOpenArchive},
    {"_STRErrProcessingArchive", &TLangStrings::STRErrProcessingArchive},
    {"_STRArchiveHeaderBroken", &TLangStrings::STRArchiveHeaderBroken},
    {"arch_NO_MEMORY", &TLangStrings::arch_NO_MEMORY},
    {"arch_EOPEN", &TLangStrings::arch_EOPEN},
    {"arch_BAD_RARCHIVE", &TLangStrings::arch_BAD_RARCHIVE},
    {"arch_BAD_DATA", &TLangStrings::arch_BAD_DATA},
    {"arch_PROCESS_ERR", &TLangStrings::arch_PROCESS_ERR},
    {"arch_CRC_ERR", &TLangStrings::arch_CRC_ERR},

    {"STR_DRIVE_A", &TLangStrings::STR_DRIVE_A},
    {"STR_UNKNOWN", &TLangStrings::STR_UNKNOWN},
    {"STR_NO_ROOT_DIR", &TLangStrings::STR_NO_ROOT_DIR},
    {"STR_REMOVABLE", &TLangStrings::STR_REMOVABLE},
    {"STR_FIXED", &TLangStrings::STR_FIXED},
    {"STR_REMOTE", &TLangStrings::STR_REMOTE},
    {"STR_CDROM", &TLangStrings::STR_CDROM},
    {"STR_RAMDISK", &TLangStrings::STR_RAMDISK},
    {"STR_EMPTYLIST", &TLangStrings::STR_EMPTYLIST},
    {"STR_PANEL_UNKNOWNDATE", &TLangStrings::STR_PANEL_UNKNOWNDATE},
    {"STR_PANEL_UPDIR", &TLangStrings::STR_PANEL_UPDIR},
    {"STR_PANEL_FOLDER", &TLangStrings::STR_PANEL_FOLDER},
    {"STR_PANEL_DOCUMENTS", &TLangStrings::STR_PANEL_DOCUMENTS},
    {"STR_PANEL_DESKTOP", &TLangStrings::STR_PANEL_DESKTOP},
    {"STR_PANEL_STARTMENU", &TLangStrings::STR_PANEL_STARTMENU},
    {"STR_PANEL_PROGRAMFILES", &TLangStrings::STR_PANEL_PROGRAMFILES},
    {"STR_PANEL_STARTUP", &TLangStrings::STR_PANEL_STARTUP},
    {"STR_PANEL_BROWSE", &TLangStrings::STR_PANEL_BROWSE},
    {"STR_PANEL_BROWSENET", &TLangStrings::STR_PANEL_BROWSENET},
    {"STR_PANEL_TYPE", &TLangStrings::STR_PANEL_TYPE},
    {"nfo_ChooseDrive", &TLangStrings::nfo_ChooseDrive},
    {"STR_MSG_DRIVE_DOESNOT_EXISTS", &TLangStrings::STR_MSG_DRIVE_DOESNOT_EXISTS},

    {"strINFO_SELECTEDITEMS", &TLangStrings::strINFO_SELECTEDITEMS},
    {"strINFO_DRIVEINFO", &TLangStrings::strINFO_DRIVEINFO},
    {"STR_MSG_WORKING", &TLangStrings::STR_MSG_WORKING},
    {"STR_MSG_COUNTING", &TLangStrings::STR_MSG_COUNTING},
    {"STR_MSG_DELETING", &TLangStrings::STR_MSG_DELETING},
    {"STR_MSG_FINDRES", &TLangStrings::STR_MSG_FINDRES},
    {"STR_MSG_FINDING", &TLangStrings::STR_MSG_FINDING},
    {"STR_MSG_FINDING_DETAIL", &TLangStrings::STR_MSG_FINDING_DETAIL},
    {"STR_MSG_ARCHIVEOPEN", &TLangStrings::STR_MSG_ARCHIVEOPEN},
    {"_STRConDeleteFolder", &TLangStrings::STRConDeleteFolder},
    {"STRConDeleteFolder", &TLangStrings::STRConDeleteFolder},
    {"_STRErrDeleteFile", &TLangStrings::STRErrDeleteFile},
    {"STRErrDeleteFile", &TLangStrings::STRErrDeleteFile},
    {"STRErrDeleteReadOnly", &TLangStrings::STRErrDeleteReadOnly},
    {"nfo_CalcFolderSize", &TLangStrings::nfo_CalcFolderSize},
    {"nfo_CalcFolderSizeDr", &TLangStrings::nfo_CalcFolderSizeDr},
    {"STRErrReadFolder", &TLangStrings::STRErrReadFolder},
    {"STRErrFolderMoved", &TLangStrings::STRErrFolderMoved},
    {"nfo_CalcFolderSizeUnread", &TLangStrings::nfo_CalcFolderSizeUnread},
    {"nfo_FindUnread", &TLangStrings::nfo_FindUnread},
    {"nfo_WipeLinkedFiles", &TLangStrings::nfo_WipeLinkedFiles},
    {"nfo_FolderDefined", &TLangStrings::nfo_FolderDefined},
    {"strItemNfo_Standart", &TLangStrings::strItemNfo_Standart},
    {"strItemNfo_Archive", &TLangStrings::strItemNfo_Archive},
    {"strItemNfoLoc", &TLangStrings::strItemNfoLoc},
    {"strItemNfoName", &TLangStrings::strItemNfoName},
    {"strItemNfoSize", &TLangStrings::strItemNfoSize},
    {"strItemNfoDate", &TLangStrings::strItemNfoDate},
    {"strItemNfoAttr", &TLangStrings::strItemNfoAttr},
    {"strItemNfoArchUpnSize", &TLangStrings::strItemNfoArchUpnSize},
    {"strItemNfoArchPacSize", &TLangStrings::strItemNfoArchPacSize},
    {"strItemNfoArchMethod", &TLangStrings::strItemNfoArchMethod},
    {"strItemNfoArchUnpVer", &TLangStrings::strItemNfoArchUnpVer},
    {"strItemNfoArchHostOS", &TLangStrings::strItemNfoArchHostOS},
    {"strItemNfoSDesc", &TLangStrings::strItemNfoSDesc},
    {"strItemNfoSDescCon", &TLangStrings::strItemNfoSDescCon},
};

bool HasUtf8Bom(std::string_view data) {
    return data.substr(0, Utf8Bom.size()) == Utf8Bom;
}

std::vector<TLangLine> ParseLangLines(std::string_view data) {
    std::vector<TLangLine> lines;
    if (data.size() > MaxLanguageFileSize)
        data = data.substr(0, MaxLanguageFileSize);
    if (HasUtf8Bom(data))
        data.remove_prefix(Utf8Bom.size());
    while (!data.empty()) {
        const std::size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t bar = line.find('|');
        if (bar == std::string_view::npos)
            continue;
        lines.push_back({std::string(line.substr(0, bar)), std::string(line.substr(bar + 1))});
    }
    return lines;
}

int CodePageOfCharset(int charset) {
    switch (charset) {
    case 238:
        return 1250;
    case 204:
        return 1251;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 222:
        return 874;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    default:
        // 0 (ANSI) and 1 (default) are Western; so is anything unknown.
        return 1252;
    }
}

std::string FindFileNoCase(const std::string& folder, std::string_view name) {
    const std::string exact = folder + std::string(name);
    Result<std::unique_ptr<TKFolder>> opened =
        FileSystem().OpenFolder(folder.empty() ? std::string(".") : folder);
    if (!opened)
        return exact;
    const Result<std::string> found = (*opened)->FindName(name);
    return found ? folder + *found : exact;
}

std::vector<TLangLine> ReadWindowFile(const std::string& langPath, std::string_view windowName) {
    if (!IsPlainWindowName(windowName) || langPath.empty())
        return {};
    const std::string path = FindFileNoCase(AddBackslash(langPath), WindowFileName(windowName));
    const std::optional<std::string> data = ReadFileStart(path, MaxLanguageFileSize, true);
    if (!data)
        return {};
    return ParseLangLines(*data);
}

Result<void> SaveWindowFile(const std::string& langPath, std::string_view windowName,
                            const std::vector<TLangLine>& lines) {
    if (!IsPlainWindowName(windowName) || langPath.empty()) {
        TError error;
        error.Code = TErrorCode::ecUnsupported;
        error.Path = langPath;
        error.Detail = "not a window name: " + std::string(windowName);
        return error;
    }
    std::string content;
    for (const TLangLine& line : lines)
        content += line.Key + "|" + line.Text + "\r\n";
    return ReplaceFile(FindFileNoCase(AddBackslash(langPath), WindowFileName(windowName)), content);
}

void TLanguage::AppendEntry(std::string upperId, std::string_view text) {
    FLangTable.push_back(upperId + "|" + std::string(text));
    // The first entry of an identifier is the one lookups find.
    FIndex.emplace(std::move(upperId), FLangTable.size() - 1);
}

bool TLanguage::GetLangText(std::string_view id, std::string& text) const {
    const auto found = FIndex.find(UpperCase(id));
    if (found == FIndex.end())
        return false;
    const std::string& entry = FLangTable[found->second];
    text = entry.substr(found->first.size() + 1);
    return true;
}

std::string TLanguage::GetLangText(std::string_view id) const {
    std::string text;
    GetLangText(id, text);
    return text;
}

void TLanguage::SetLangText(std::string_view id, std::string_view text) {
    if (id.find_first_of("|\n") != std::string_view::npos)
        return;
    std::string upperId = UpperCase(id);
    const auto found = FIndex.find(upperId);
    if (found != FIndex.end()) {
        FLangTable[found->second] = upperId + "|" + std::string(text);
        return;
    }
    AppendEntry(std::move(upperId), text);
}

void TLanguage::AddOthersData(std::string_view data, bool append) {
    // Lookups find the first entry of an identifier, so within one file the first line of an
    // identifier is the one that counts, whether the file starts the table or is laid over it.
    // Later repeats are appended with the first file (kept for saving) and skipped otherwise.
    std::unordered_set<std::string> seen;
    for (TLangLine& line : ParseLangLines(data)) {
        std::string upperId = UpperCase(line.Key);
        if (append)
            AppendEntry(std::move(upperId), line.Text);
        else if (seen.insert(upperId).second)
            SetLangText(upperId, line.Text);
    }
    FUtf8Bom = HasUtf8Bom(data);
}

bool TLanguage::ReadOthersFile(const std::string& folder, bool append) {
    if (folder.empty())
        return false;
    const std::optional<std::string> data =
        ReadFileStart(FindFileNoCase(folder, OthersFileName), MaxLanguageFileSize, true);
    if (!data)
        return false;
    AddOthersData(*data, append);
    return true;
}

void TLanguage::StartLoad(bool clear) {
    if (!clear)
        return;
    FLangTable.clear();
    FIndex.clear();
    FUtf8Bom = false;
}

void TLanguage::FinishLoad() {
    std::string codePage;
    const std::optional<long> number =
        GetLangText(CodePageId, codePage) ? ParseDecimal(codePage) : std::nullopt;
    FLangCharset = (number && *number <= 255) ? static_cast<int>(*number) : DefaultLangCharset;
    FUtf8 = FUtf8Bom || (number && *number == Utf8CodePage);

    for (const TLangStringId& id : LangStringIds)
        (FStrings.*id.Member).clear();
    for (const TLangStringId& id : LangStringIds)
        GetLangText(id.Id, FStrings.*id.Member);
}

void TLanguage::LoadLanguage(bool clear) {
    StartLoad(clear);
    bool append = clear;
    const std::string langFolder = AddBackslash(LangPath);
    const std::string defaultFolder = AddBackslash(DefaultLangPath);
    if (UpperCase(langFolder) != UpperCase(defaultFolder) && ReadOthersFile(defaultFolder, append))
        append = false;
    ReadOthersFile(langFolder, append);
    FinishLoad();
}

void TLanguage::LoadLanguageData(const std::vector<std::string_view>& files, bool clear) {
    StartLoad(clear);
    bool append = clear;
    for (const std::string_view data : files) {
        AddOthersData(data, append);
        append = false;
    }
    FinishLoad();
}

Result<void> TLanguage::SaveLanguage() const {
    const std::string folder = AddBackslash(LangPath);
    if (folder.empty()) {
        TError error;
        error.Code = TErrorCode::ecNotFound;
        error.Detail = "no language folder";
        return error;
    }
    std::string content = FUtf8Bom ? std::string(Utf8Bom) : std::string();
    for (const std::string& entry : FLangTable)
        content += entry + "\r\n";
    return ReplaceFile(FindFileNoCase(folder, OthersFileName), content);
}

TLanguage& CurrentLanguage() {
    static TLanguage language;
    return language;
}

std::string LangTextOr(std::string_view id, std::string_view fallback) {
    std::string text;
    if (CurrentLanguage().GetLangText(id, text) && !text.empty())
        return text;
    return std::string(fallback);
}

std::string FormatLangText(std::string_view format, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const char conversion = format[i + 1];
        if (conversion == '%') {
            out += '%';
            ++i;
        } else if ((conversion == 'd' || conversion == 's') && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

} // namespace ks
