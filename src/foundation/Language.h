#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/Result.h"

namespace ks {

/// Name of the message table inside a language folder.
inline constexpr std::string_view OthersFileName = "F_others.dat";
/// Identifier of the character set entry of the message table.
inline constexpr std::string_view CodePageId = "codePage";
/// Character set used when the message table names none (central European).
inline constexpr int DefaultLangCharset = 238;
/// The Windows code page number that stands for UTF-8.
inline constexpr int Utf8CodePage = 65001;
/// A language file is read up to this many bytes; the rest is ignored, as a read error would
/// end the file. Real message tables are a few dozen kilobytes.
inline constexpr std::size_t MaxLanguageFileSize = 4 * 1024 * 1024;

/// The message strings other parts of the program read, one member per identifier of the message
/// table (a leading "_" of the identifier dropped). The member initialisers are the built-in
/// English texts, in force until the first `LoadLanguage`.
struct TLangStrings {
    // Message box.
    std::string MSGBOX_Caption = "message...";
    std::string MSGBOX_Yes = "&Yes";
    std::string MSGBOX_YesToAll = "Yes to &all";
    std::string MSGBOX_No = "&No";
    std::string MSGBOX_NoToAll = "No &to all";
    std::string MSGBOX_OK = "&OK";
    std::string MSGBOX_Cancel = "&Cancel";
    std::string MSGBOX_Retry = "&Retry";
    std::string MSGBOX_Abort = "A&bort";

    // Copier and archive reading.
    std::string STRCopyToItSelf = "Cann't copy a file onto itself! Action will be terminated.";
    std::string STRFileMissing = "Cann't open source file! Continue with next file?";
    std::string STRAlreadyExists = "The file '%s' already exists! Overwrite?";
    std::string STROnCreating = "Cann't create target file! Try again to create?";
    std::string STROnReading = "Error reading source file! Try again to read?";
    std::string STROnWriting = "Error writting target file! Try again to write?";
    std::string STROnNoFreeSpace = "Not enougth free disk space for writing!";
    std::string STRCopyIntoItself = "Can't copy a folder into itself! Action will be terminated.";
    std::string STRErrOpenArchive = "Error in opening archive: %s";
    std::string STRErrProcessingArchive = "Error in processing archive: %s";
    std::string STRArchiveHeaderBroken = "Broken archive header.";
    std::string arch_NO_MEMORY = "Not enough memory to open archive";
    std::string arch_EOPEN = "Can't open archive: %s";
    std::string arch_BAD_RARCHIVE = "Archive: %s isn't RAR archive";
    std::string arch_BAD_DATA = "Archive: %s - header is broken";
    std::string arch_PROCESS_ERR = "Archive: processing error";
    std::string arch_CRC_ERR = "Archive: CRC error";

    // Drive list and panel captions.
    std::string STR_DRIVE_A = "Floppy disk";
    std::string STR_UNKNOWN = "Unknown drive";
    std::string STR_NO_ROOT_DIR;
    std::string STR_REMOVABLE = "Removable drive";
    std::string STR_FIXED = "Hard disk";
    std::string STR_REMOTE = "Network drive";
    std::string STR_CDROM = "CD-ROM drive";
    std::string STR_RAMDISK = "RAM Disk";
    std::string STR_EMPTYLIST = "EMPTY LIST";
    std::string STR_PANEL_UNKNOWNDATE = "n/a";
    std::string STR_PANEL_UPDIR = "up-folder";
    std::string STR_PANEL_FOLDER = "folder";
    std::string STR_PANEL_DOCUMENTS = "Documents";
    std::string STR_PANEL_DESKTOP = "Desktop";
    std::string STR_PANEL_STARTMENU = "Applications menu";
    std::string STR_PANEL_PROGRAMFILES = "Add-on programs folder";
    std::string STR_PANEL_STARTUP = "Autostart folder";
    std::string STR_PANEL_BROWSE = "Browse...";
    std::string STR_PANEL_BROWSENET = "Browse local network...";
    std::string STR_PANEL_TYPE = "Type...";
    std::string nfo_ChooseDrive = "Choose drive or folder you'd like to work with...";
    std::string STR_MSG_DRIVE_DOESNOT_EXISTS = "Selected drive is not mounted or holds no medium!";

    // Panel status, counting, deleting and item information.
    std::string strINFO_SELECTEDITEMS = "%d  items with size  %s";
    std::string strINFO_DRIVEINFO = "free %s from %s";
    std::string STR_MSG_WORKING = "WORKING... ";
    std::string STR_MSG_COUNTING = "COUNTING... |%d|%d| = %s";
    std::string STR_MSG_DELETING = "DELETING... |%d|%d|";
    std::string STR_MSG_FINDRES = "FINDRESULT";
    std::string STR_MSG_FINDING = "SEARCHING... found: |%d|%d|";
    std::string STR_MSG_FINDING_DETAIL = "SEARCHING... found: |%d|%d|%d%%|";
    std::string STR_MSG_ARCHIVEOPEN = "OPENING ARCHIVE... |%d|%d|";
    std::string STRConDeleteFolder = "The following folder will be deleted: %s";
    std::string STRErrDeleteFile = "Can't delete this file: %s. Try again?";
    std::string STRErrDeleteReadOnly = "Folder '%s' is read-only. Delete?";
    std::string nfo_CalcFolderSize = "Count result: %d folders and %d files with size %s";
    std::string nfo_CalcFolderSizeDr = "Count result: Total free space %s from %s";
    std::string STRErrReadFolder = "Can't read the folder %s. Try again?";
    std::string STRErrFolderMoved =
        "The folder %s was moved while it was being deleted; what is left of it stays.";
    std::string nfo_CalcFolderSizeUnread =
        "Count result incomplete: %d folders and %d files with size %s; can't read %s";
    std::string nfo_FindUnread = "Search incomplete: can't read %s";
    std::string nfo_WipeLinkedFiles = "%d files had other links and were removed without wiping";
    std::string nfo_FolderDefined = "Folder saved: %s - %s";
    std::string strItemNfo_Standart = " - standart informations - ";
    std::string strItemNfo_Archive = " - archive item details - ";
    std::string strItemNfoLoc = "Location: ";
    std::string strItemNfoName = "Name: ";
    std::string strItemNfoSize = "Size: ";
    std::string strItemNfoDate = "Date: ";
    std::string strItemNfoAttr = "Attributes: ";
    std::string strItemNfoArchUpnSize = "Unpack size: ";
    std::string strItemNfoArchPacSize = "Pack size: ";
    std::string strItemNfoArchMethod = "Method: ";
    std::string strItemNfoArchUnpVer = "Packer version: ";
    std::string strItemNfoArchHostOS = "Host OS: ";
    std::string strItemNfoSDesc = "Item type: ";
    std::string strItemNfoSDescCon = "Content type: ";
};

/// One identifier of the message table and the member of `TLangStrings` it feeds.
struct TLangStringId {
    std::string_view Id;
    std::string TLangStrings::*Member;
};

/// Every identifier `LoadLanguage` fetches, in fetch order. Where an identifier with a leading
/// "_" and one without feed the same member, the one without comes later and so wins.
extern const std::vector<TLangStringId> LangStringIds;

/// Identifiers the program looks up directly when it needs them; they have no built-in text, so
/// the language pack has to supply them.
inline constexpr std::array<std::string_view, 80> DirectLangIds = {
    "nfo_Welcome",
    "str_CopyAtBack",
    "nfo_SortResult",
    "nfo_SortFoldersFirst",
    "nfo_SortExeFirst",
    "nfo_SortByName",
    "nfo_SortByExte",
    "nfo_SortBySize",
    "STR_BROWSE_USER_PATH",
    "nfo_TypeFolderNotExist",
    "ftp_rename_failed",
    "title_CopyFiles",
    "title_MoveFiles",
    "title_CopyingFiles",
    "title_MovingFiles",
    "nfo_CopyBacKOPDone",
    "nfo_CopyBacKOPCanceled",
    "nfo_CopyBacKOPDefHint1",
    "nfo_CopyBacKOPDefHint2",
    "nfo_CopyBacKOP_StopCurrent",
    "_STR_CanntAddToSubFolArch",
    "_STRCopyTargetNotReady",
    "_strCRSHDescription",
    "strSel_SelectTitle",
    "strSel_UnSelectTitle",
    "str_DeleteItemFromList",
    "str_SettInstallArchives",
    "str_SettInstallLangPack",
    "str_SettInstallSkinPack",
    "ftp_connect_failed",
    "ftp_reply_202",
    "ftp_reply_421",
    "ftp_reply_500",
    "ftp_reply_501",
    "ftp_reply_503",
    "ftp_retry_login",
    "ftp_bad_login",
    "ftp_enter_user",
    "ftp_enter_password",
    "ftp_connecting",
    "ftp_connect_error",
    "ftp_connect_timeout",
    "ftp_no_reply",
    "ftp_no_data",
    "ftp_data_stalled",
    "ftp_try_passive",
    "ftp_pasv_address",
    "ftp_foreign_data",
    "ftp_listing_too_large",
    "ftp_line_break",
    "ftp_connection_lost",
    "ftp_reconnect",
    "ftp_timeout",
    "ftp_protocol_error",
    "_STRCantRunProgram",
    "_STRConfirmShutdown",
    "_STRConfirmLogOff",
    "_STRSessionEndFailed",
    "_STRUnknownDotCommand",
    "_STRFtpNotConnected",
    "_STRRenameBadName",
    "_STRRenameExists",
    "_STRRenameNotPermitted",
    "_STRRenameFailed",
    "_STRCreateNewBadName",
    "_STRCreateNewExists",
    "_STRCreateNewNotPermitted",
    "_STRCreateNewFailed",
    "_STRAttrBadDateTime",
    "_STRAttrFailed",
    "_STRAttrFailedMore",
    "_STRShortcutExists",
    "_STRShortcutFailed",
    "_STRKplWriteFailed",
    "_STRKplUnpackFailed",
    "_STRKplLeftOut",
    "_STRPacksInstalled",
    "_STRPacksNotInstalled",
    "_STRPackExists",
    "_STRPackUnpackFailed",
};

/// One line of a language file: the key as written and the text after the first "|".
struct TLangLine {
    std::string Key;
    std::string Text;
};

/// Splits the bytes of a language file into its lines with a "|". Lines end with LF or CR LF; a
/// UTF-8 byte-order mark at the start is dropped; only the first "|" of a line separates, so the
/// text may hold more of them; lines without "|" are skipped. Keys keep their case. Any bytes are
/// accepted (NUL included); at most `MaxLanguageFileSize` bytes are looked at.
std::vector<TLangLine> ParseLangLines(std::string_view data);

/// True when data starts with the UTF-8 byte-order mark.
bool HasUtf8Bom(std::string_view data);

/// The Windows code page of a character set number (238 → 1250, 204 → 1251, 0 and 1 → 1252,
/// 161 → 1253, 162 → 1254, 177 → 1255, 178 → 1256, 186 → 1257, 222 → 874, 128 → 932,
/// 129 → 949, 134 → 936, 136 → 950). Any other number gives 1252.
int CodePageOfCharset(int charset);

/// The full name of a file inside a folder, found without regard to ASCII case: the exact name
/// when it exists, else the first entry whose name matches it ignoring case, else the exact name
/// (which then does not exist). folder ends with "/" or is empty.
std::string FindFileNoCase(const std::string& folder, std::string_view name);

/// Reads the window file "F_" + windowName + ".dat" of a language folder. A missing or
/// unreadable file, or a window name that could leave the folder, gives no lines.
std::vector<TLangLine> ReadWindowFile(const std::string& langPath, std::string_view windowName);

/// Rewrites the window file "F_" + windowName + ".dat" of a language folder with the lines,
/// key "|" text, CR LF line ends. The file is replaced at once (temporary file and rename), so a
/// failure leaves the old file as it was.
Result<void> SaveWindowFile(const std::string& langPath, std::string_view windowName,
                            const std::vector<TLangLine>& lines);

/// The language table: every text of the program by identifier, loaded from the message table
/// "F_others.dat" of the current language folder with the English folder as fallback.
///
/// Texts are kept as the bytes of the files (8-bit text in the pack's character set, or UTF-8);
/// `CodePage` says how to decode them for display. Thread: the GUI thread.
class TLanguage {
public:
    /// Folder of the current language, ending with "/" (the settings own it).
    std::string LangPath;
    /// Folder of the built-in English texts, ending with "/".
    std::string DefaultLangPath;

    /// Rebuilds the table: with clear the table is emptied first; the English message table is
    /// read when its folder differs from `LangPath` (compared ignoring case), then the current
    /// one. The first file read into an emptied table appends its lines as they are; later files
    /// replace texts of the same identifier and add new ones (where a file repeats an identifier,
    /// its first line counts, as it does for lookups). Missing files are skipped. Then the
    /// character set and the message strings are taken from the table; an identifier found in
    /// neither file leaves its message string empty.
    void LoadLanguage(bool clear);
    /// `LoadLanguage` over message tables already in memory, given in the order they would be
    /// read (the English one first); for parsers fed from elsewhere and for tests.
    void LoadLanguageData(const std::vector<std::string_view>& files, bool clear);

    /// The text of the first entry whose identifier equals id ignoring case; text is left as it
    /// was when there is none. Returns whether one was found.
    bool GetLangText(std::string_view id, std::string& text) const;
    /// The text of id, or the empty string.
    std::string GetLangText(std::string_view id) const;
    /// Replaces the text of the existing entry of id or appends a new entry. Ignored when id
    /// holds "|" or a line break, which no stored line could carry.
    void SetLangText(std::string_view id, std::string_view text);

    /// Rewrites `LangPath` + "F_others.dat" with every entry exactly as stored, CR LF line ends
    /// (with a UTF-8 byte-order mark when the table was read as UTF-8 because of one). The file
    /// is replaced at once, so a failure leaves the old file as it was.
    Result<void> SaveLanguage() const;

    /// The entries: identifier in upper case, "|", text; in load order.
    const std::vector<std::string>& LangTable() const { return FLangTable; }
    /// The character set from "codePage": 238 when missing or not a number from 0 to 255.
    int LangCharset() const { return FLangCharset; }
    /// The Windows code page the texts are in: 65001 for UTF-8 (the current message table starts
    /// with a byte-order mark, or "codePage" is 65001), else that of `LangCharset`.
    int CodePage() const { return FUtf8 ? Utf8CodePage : CodePageOfCharset(FLangCharset); }
    /// The message strings of the last load (the English defaults before the first one).
    const TLangStrings& Strings() const { return FStrings; }

private:
    void StartLoad(bool clear);
    void AddOthersData(std::string_view data, bool append);
    bool ReadOthersFile(const std::string& folder, bool append);
    void FinishLoad();
    void AppendEntry(std::string upperId, std::string_view text);

    std::vector<std::string> FLangTable;
    // Upper-cased identifier -> index of its first entry in FLangTable.
    std::unordered_map<std::string, std::size_t> FIndex;
    int FLangCharset = DefaultLangCharset;
    bool FUtf8 = false;
    bool FUtf8Bom = false;
    TLangStrings FStrings;
};

/// The language the program shows, one for the whole process.
TLanguage& CurrentLanguage();

/// Fills a pack's printf-style text: each "%d" or "%s" takes the next argument, "%%" is a
/// percent sign. Any other conversion, or one without an argument left, is copied as typed, so a
/// damaged pack text can never read arguments that are not there.
std::string FormatLangText(std::string_view format, std::initializer_list<std::string> args);
/// The current language's text of id, or fallback when the pack has none or an empty one.
std::string LangTextOr(std::string_view id, std::string_view fallback);
/// The message strings of the current language.
inline const TLangStrings& LangStrings() {
    return CurrentLanguage().Strings();
}

} // namespace ks
