#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/RegistryStore.h"
#include "foundation/Result.h"
#include "foundation/System.h"

// The common helpers every unit of the program uses. Texts are 8-bit byte strings; where a
// helper returns a character position it is 1-based, and -1 means "not there". Comparisons that
// ignore case fold ASCII letters only, so names in other encodings compare byte for byte.
//
// The helpers in DELTA9.cpp are pure and safe from any thread. Those in DELTA9System.cpp reach the
// disk, the desktop and the settings store through System(), FileSystem() and RegistryStore(),
// so a platform (or a test's fakes) must be installed first.

namespace ks {

// Case and character positions

/// The text with ASCII letters in upper case.
std::string UpperCase(std::string_view s);
/// The text with ASCII letters in lower case.
std::string LowerCase(std::string_view s);
/// True when both texts are equal ignoring ASCII case.
bool SameText(std::string_view a, std::string_view b);
/// Reads a decimal integer as stored numbers are written: optional leading blanks, an optional
/// sign, digits and nothing after them; false (value untouched) for anything else or a number
/// outside int.
bool TryStrToInt(std::string_view text, int& value);

/// First position (1-based) of c in s; -1 when c does not occur.
int CharPos(char c, std::string_view s);
/// Last position (1-based) of c in s; -1 when c does not occur.
int LastCharPos(char c, std::string_view s);
/// The text before the first c; the whole text when c does not occur.
std::string TextBefore(std::string_view s, char c);
/// The first count characters (all of them when s is shorter; empty for count <= 0).
std::string LeftPart(std::string_view s, int count);
/// The last count characters (all of them when s is shorter; empty for count <= 0).
std::string RightPart(std::string_view s, int count);
/// s with text inserted so that it starts at position pos (1-based). A position below 1 inserts
/// at the front, one past the end or beyond appends.
std::string InsertText(std::string_view s, int pos, std::string_view text);
/// s without the count characters starting at position pos (1-based). Nothing is deleted for a
/// position outside the text or a count <= 0; a count running past the end stops there.
std::string DeleteText(std::string_view s, int pos, int count);

/// Replaces every occurrence of find, scanning left to right and continuing after each
/// replacement, so inserted text is never scanned again. Without caseSensitive the search
/// ignores ASCII case; the text that is not replaced keeps its case. An empty find changes
/// nothing.
std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replacement,
                       bool caseSensitive);

// Field lists: "a|b|c" (settings, skin files, connection and archive-manager entries use "|",
// extension masks and file lists ";")

/// Number of separators in s plus one; 0 for the empty string.
int FieldCount(std::string_view s, char sep);
/// Field index, counted from 0; empty when s has fewer fields, when the field itself is empty
/// or when index is negative. The separator is never part of the result.
std::string GetField(std::string_view s, char sep, int index);
/// Calls each with every field of s between the separators, in order, empty ones included ("a||b"
/// gives "a", "", "b"; "" gives one empty field), as a view into s; each returns false to stop.
/// False when each stopped. Nothing is allocated, so a text of any length costs no memory.
template <class TEach> bool ForEachField(std::string_view s, char sep, TEach&& each) {
    for (;;) {
        const std::size_t end = s.find(sep);
        if (!each(s.substr(0, end)))
            return false;
        if (end == std::string_view::npos)
            return true;
        s.remove_prefix(end + 1);
    }
}
/// Drops the leading separators (any character of separators) from s, then cuts the text up to
/// the next separator off the front of s and returns it. The separator that ended the token
/// stays at the front of s, so empty fields are skipped: "a||b" gives "a", then "b". An empty s
/// gives an empty token.
std::string NextToken(std::string_view separators, std::string& s);

// Fonts, colours, flags

/// A colour as 0x00BBGGRR: red in the low byte, as colour values are stored.
using TColorRef = std::uint32_t;

/// Builds a colour from its three components (each taken modulo 256).
constexpr TColorRef MakeColor(int red, int green, int blue) {
    return static_cast<TColorRef>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(TColorRef c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(TColorRef c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColorRef c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

/// A font as the settings and skin files describe it; the GUI turns it into a real font.
struct TFontSpec {
    TColorRef Color = 0;
    int Height = 0; ///< negative: character height in pixels
    std::string Name;
    int Pitch = 0; ///< 0 default, 1 variable, 2 fixed
    int PixelsPerInch = 96;
    int Charset = 1;
    int Size = 0; ///< points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    bool operator==(const TFontSpec&) const = default;
};

/// The ten-field font string: red|green|blue|height|name|pitch|pixels per inch|charset|size|
/// followed by four letters "y" or "n" for bold, italic, underline and strike-out, such as
/// "192|192|192|-9|Verdana|0|96|1|7|nnnn".
std::string FontToString(const TFontSpec& font);
/// Reads a font string into font. An empty s changes nothing and succeeds. The nine leading
/// fields are read with `NextToken` (so empty fields are skipped and the later ones move up);
/// a style letter that is not "y", or a missing one, clears that style. A number field that is
/// not a decimal integer fails with ecParse and leaves font unchanged.
Result<void> StringToFont(std::string_view s, TFontSpec& font);

/// "red|green|blue" in decimal, from the low three bytes of c.
std::string ColorToString(TColorRef c);
/// Reads "red|green|blue": red is the text before the first "|", green the text up to the
/// second, blue the rest. Returns fallback when a separator is missing or a part is not a
/// decimal number.
TColorRef StringToColor(std::string_view s, TColorRef fallback);
/// Mixes two colours component by component: weight 255 gives c1, 0 gives c2. Only the low three
/// bytes count; the GUI resolves palette colours before it calls this.
TColorRef BlendColors(TColorRef c1, TColorRef c2, int weight);
/// Each component divided by factor and rounded (capped at 255); a factor <= 0 returns c.
TColorRef DarkenColor(TColorRef c, double factor);

/// "1" for true, "0" for false: the way flags are stored.
std::string BoolToString(bool value);

// Sizes and attributes

/// A byte count as text, digits grouped in threes by single spaces ("1 234 567 B"). With
/// useUnits: below 51200 in bytes (" B"), below 9437184 in kB, up to 9663676415 in MB, beyond
/// that in GB (each a right shift of the count). At most three spaces are inserted, so a count
/// of more than twelve digits keeps its leading digits together. A negative count shows its
/// sign before the grouped digits ("-123 456 B").
std::string FormatSize(bool useUnits, std::int64_t bytes);

/// "ROn ", "Hid ", "Sys ", "Arc " for the attribute bits 1, 2, 4 and 32 that are set, in that
/// order; empty when none is.
std::string AttrToString(std::uint32_t attr);

// File names and paths

/// Appends the path separator unless path already ends with one; empty stays empty. The name
/// is kept from the program's Windows past: the separator appended is the native "/".
std::string AddBackslash(std::string_view path);
/// Drops one trailing "/"; empty stays empty.
std::string RemoveTrailingSeparator(std::string_view path);
/// The last part of a path after `RemoveTrailingSeparator`: the text after the last "/", the
/// whole text when there is none. "/" itself gives the empty string.
std::string LastPathPart(std::string_view path);
/// The text after the last "." of the last path part, without the dot; empty without a dot.
std::string ExtractExt(std::string_view name);
/// name without the last "." of its last path part and what follows; name when there is no dot.
std::string ExtractNameNoExt(std::string_view name);
/// The mount root holding path, with a trailing "/"; empty for an empty path.
std::string GetDriveRoot(const std::string& path);

/// True when the extension, in upper case, is "EXE", "COM", "BAT" or "SH". This is the test for
/// names without a known file mode (archive entries, FTP items); local files are judged by
/// their execute permission instead.
bool IsExecutableName(std::string_view name);

/// The extension masks of the archive kinds, one ";"-separated entry per kind, in the order ACE,
/// ARJ, CAB, LZH, KPL, RAR, ZIP ("#" in a mask is one decimal digit).
const std::vector<std::string>& ArchiveMaskList();
/// True when the upper-cased extension of name matches a mask of `ArchiveMaskList`.
bool IsArchiveName(std::string_view name);
/// One test per archive kind on the upper-cased extension of name. "C01", "A01", "R01" and "Z01"
/// are the numbered volumes of multi-part ACE, ARJ, RAR and ZIP archives.
bool IsAceName(std::string_view name);
bool IsArjName(std::string_view name);
bool IsCabName(std::string_view name);
bool IsLzhName(std::string_view name);
bool IsKplName(std::string_view name);
bool IsRarName(std::string_view name);
bool IsZipName(std::string_view name);
/// The kinds a Linux desktop adds, by their whole ending without regard to case: ".tar" and the
/// compressed tars (".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tar.xz", ".txz", ".tar.zst",
/// ".tzst"), ".7z", ".iso" and ".deb". A bare ".gz", ".xz" or ".bz2" is one compressed file, not
/// an archive.
bool IsTarName(std::string_view name);
bool Is7zName(std::string_view name);
bool IsIsoName(std::string_view name);
bool IsDebName(std::string_view name);

/// True when name matches mask, ignoring ASCII case. Both are split at their last dot into a
/// name part and an extension part. In the name part of the mask "#" stands for one decimal
/// digit; in the extension part it is an ordinary character (so "DATA.C01" does not match
/// "*.C##", while "C01" matches "C##"). "?" takes the name's character at that position or
/// nothing beyond its end; "*" takes the rest of that part and ends it (what follows "*" in
/// the same part is ignored); other characters must be equal.
bool MatchMask(std::string_view name, std::string_view mask);
/// The target name of a copy or move under a rename mask: the mask's name part is expanded
/// against source's name part ("*" takes the rest and ends the part, "?" takes the character
/// at that position when there is one, anything else is taken as it is); when the mask has an
/// extension, "." and its extension part expanded the same way against source's extension
/// follow; a source without a dot gets no bare trailing dot ("Makefile" under "*.*" stays
/// "Makefile"). "report.txt" under "*.bak" gives "report.bak"; "ab.txt" under "x??.*" gives
/// "xb.txt".
/// The result may hold any character of the mask, "/" included: callers that build a path from
/// it check it.
std::string ApplyRenameMask(std::string_view source, std::string_view mask);

/// Replaces a path macro (compared in upper case) by its folder and returns true:
/// ".DOC"/".D" documents, ".DESKTOP"/".DESK" desktop, ".WINDOWS"/".WIN"/".W" /usr,
/// ".SYSTEM"/".SYS" /usr/bin, ".COMMON" /usr/share, ".PROGRAMFILES"/".PF" /opt,
/// ".STARTUP"/".SUP" autostart, ".TEMP"/".T" the private temporary folder (all through
/// System()). Any other text is left as it is and gives false.
bool ExpandPathMacro(std::string& path);

/// Splits a command line into the program and its parameters. A text that does not start with
/// "/" is cut at its first space (the space itself belongs to neither part). A text that starts
/// with "/" is an absolute program path that may hold spaces: it is cut at the first space
/// where the text before it names an existing file or folder (FileSystem().Exists); when no
/// such space exists, the whole text is the program.
void SplitCommandLine(std::string_view text, std::string& program, std::string& parameters);

// Folder lookups (through System(); empty when unknown)

/// The program's data folder (skins/, lang/, pictures), always with a trailing "/".
std::string GetAppPath();
/// The user's private temporary folder, with a trailing "/".
std::string GetTempDir();
std::string GetWindowsDir();
std::string GetSystemDir();
std::string GetCommonFilesDir();
std::string GetProgramFilesDir();
/// "Desktop", "Personal", "Programs" or "Startup" as the user's XDG folder.
std::string GetShellFolder(std::string_view name);

// Registry strings

/// Reads a string value; an empty valueName reads the key's default value. Empty when the key
/// or the value is missing. The current user's keys come from RegistryStore() (empty without
/// one). The other roots are a read-only view answered by System(): HKEY_LOCAL_MACHINE
/// "System\CurrentControlSet\Control\Nls\Locale" (default value: the locale identifier) and
/// "Software\Microsoft\Windows\CurrentVersion" ("ProgramFilesDir", "CommonFilesDir");
/// HKEY_CLASSES_ROOT ".ext" (default value: the file type name; "Content Type": the MIME type).
std::string RegReadString(TRegRoot root, std::string_view key, std::string_view valueName);
/// Writes a string value of the current user's store, creating the key; it reaches the file at
/// the store's next Flush. Writes to the other roots, or without a store, do nothing.
void RegWriteString(TRegRoot root, std::string_view key, std::string_view valueName, std::string_view text);
/// The description of a file type by extension with its dot (".txt"); empty when unknown.
std::string GetFileTypeName(std::string_view ext);
/// The content (MIME) type of an extension with its dot; empty when unknown.
std::string GetContentType(std::string_view ext);

// Drives, folders and files

/// True when path is a folder that can be opened for listing. The process current directory is
/// not touched.
bool FolderExists(const std::string& path);
/// True when the mount root holding path can be opened as a folder.
bool DriveReady(const std::string& path);
/// Volume details of the file system mounted at root; nothing when unknown.
std::optional<TVolumeInfo> GetVolumeInfo(const std::string& root);
/// Total bytes of the file system holding path; 0 for an empty path or when unknown.
std::int64_t GetDiskSize(const std::string& path);
/// Bytes available to the user on the file system holding path; 0 for an empty path or when
/// unknown.
std::int64_t GetDiskFree(const std::string& path);

/// One count of a folder tree: folders, files and bytes below a folder.
///
/// Each walk has its own counters, so walks may run on several threads at once; the counters and
/// the abort flag may be read and set from any thread while `Run` works. The walk goes through
/// `TTreeWalk` (never the process current directory, no depth limit) and does not descend into
/// symlinked folders: such a link counts as a folder, which keeps a link loop from running
/// forever.
class TFolderSizeWalk {
public:
    /// Called after every entry, on the walking thread (the GUI passes its message pump).
    std::function<void()> ProcessMessages;
    /// Called on the walking thread after each direct sub-folder of the walked folder has been
    /// counted with everything below it. Optional.
    std::function<void()> AfterSubFolder;

    /// Zeroes the counters, then counts everything below path, depth first: each sub-folder as a
    /// folder, each other entry as a file with its size. Folders that cannot be opened or listed
    /// add what was read of them and are counted by `Unreadable`. Stops as soon as `Abort` has
    /// been called, also when it was called before `Run` started. Returns the byte total.
    std::int64_t Run(const std::string& path);

    /// Asks the running (or the next) walk to stop. Thread: any.
    void Abort() { FAbort = true; }
    bool Aborted() const { return FAbort; }
    /// Clears the abort request so the object can count again.
    void ResetAbort() { FAbort = false; }

    std::int64_t Folders() const { return FFolders; }
    std::int64_t Files() const { return FFiles; }
    std::int64_t Bytes() const { return FBytes; }
    /// Folders of the last run that could not be read in full (a folder that vanished meanwhile
    /// is not one of them), and the full name of the first. Thread: after `Run` returned.
    std::int64_t Unreadable() const { return FUnreadable; }
    const std::string& FirstUnreadable() const { return FFirstUnreadable; }

private:
    std::atomic<bool> FAbort{false};
    std::atomic<std::int64_t> FFolders{0};
    std::atomic<std::int64_t> FFiles{0};
    std::atomic<std::int64_t> FBytes{0};
    std::int64_t FUnreadable = 0;
    std::string FFirstUnreadable;
};

/// The byte total below path, for callers that need neither the counts nor a way to stop.
std::int64_t FolderSize(const std::string& path);

/// How the deletion of one file ended.
enum class TFileDeleted {
    fdGone,        ///< removed (or it was not there)
    fdGoneUnwiped, ///< removed without wiping: its data has other names, which keep it
    fdFailed,      ///< it is still there
};

/// Deletes the entry name of folder, a file, a symlink (never its target), a device, a FIFO or a
/// socket; a folder is refused. With wipe, a regular file is first overwritten in place with
/// random bytes over its allocated data and flushed to the disk (`TKFolder::Wipe`); when that is
/// impossible the file is kept and the result is fdFailed, so an unwiped file is never reported
/// as deleted. A file whose data has other names (hard links) is only unlinked: wiping it would
/// destroy the other files, and its mode is never changed. When removal fails and a file with no
/// other name is read-only, it is made writable and removed again; if that fails too, it is made
/// read-only again.
TFileDeleted DeleteFileAt(TKFolder& folder, std::string_view name, bool wipe);

/// Deletes one file by its full name, as `DeleteFileAt` does in the folder holding it; returns
/// true when it is gone (also when it was not there).
bool DeleteFileEx(const std::string& name, bool wipe);

/// Deletes the entries of list, full names separated by ";" (empty entries are ignored): each one
/// is moved to the Trash when toRecycleBin, otherwise removed, a folder with everything below
/// it (symbolic links are removed, never followed). A name that is not absolute is refused.
/// Returns true only when every entry is gone; false for a list that names nothing.
bool RecycleDelete(std::string_view list, bool toRecycleBin);

/// Starts an executable directly, or opens anything else with the desktop's default application,
/// in folder; never waits. False when it could not be started.
bool RunProgram(const std::string& file, const std::string& parameters, const std::string& folder);

/// Puts the whole text on the system clipboard as plain text.
void CopyTextToClipboard(const std::string& text);
/// The clipboard's plain text; empty when it holds none.
std::string GetClipboardText();
/// Ends the user's desktop session; on failure the caller shows its failure text.
Result<void> LogOff();
/// Closes the CD drive tray (when the system can).
Result<void> CloseCdTray();

// Rectangles and frames

/// A rectangle with inclusive coordinates: its width is |Right-Left|+1, its height
/// |Bottom-Top|+1.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    bool operator==(const TRect&) const = default;
};

int RectWidth(const TRect& r);
int RectHeight(const TRect& r);
/// A rectangle of inner's size centred in outer: left and top are outer's plus half the size
/// difference (halves rounded toward zero).
TRect CenterRect(const TRect& inner, const TRect& outer);
/// inner's size scaled by the smaller of the width and height ratios of outer to inner, placed
/// at outer's left and top. Right is round(width x ratio + left - 1) - 1 and bottom likewise
/// (halves round to even), one short of the scaled size.
TRect FitRect(const TRect& inner, const TRect& outer);
/// r moved by dx, dy.
TRect OffsetRect(const TRect& r, int dx, int dy);
/// The smallest and the largest value of values; 0 for an empty list.
int MinOfArray(std::span<const int> values);
int MaxOfArray(std::span<const int> values);
/// The smaller of a and b.
int SmallerOf(int a, int b);

/// One edge of a frame: a line from (X1,Y1) to (X2,Y2), both ends included.
struct TFrameEdge {
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    TColorRef Color = 0;

    bool operator==(const TFrameEdge&) const = default;
};

/// What a 3D frame looks like; the GUI paints it. The fill (when present) comes first, then the
/// edges in the order given (left, top, right, bottom), so the right and bottom edges own the
/// top-right and bottom-left corners.
struct TFrame3D {
    std::optional<TColorRef> Fill;
    std::vector<TFrameEdge> Edges; ///< empty for style 4
};

/// The frame of rect in style: 1 left and top in colorB, right and bottom in colorA; 2 all edges
/// in colorA; 3 left and top in colorA, right and bottom in colorB; 4 no frame; anything else
/// all edges in colorB.
TFrame3D DrawFrame3D(const TRect& rect, TColorRef colorA, int style, TColorRef colorB);
/// The same frame over a rectangle first filled with background.
TFrame3D DrawFrame3D(const TRect& rect, TColorRef colorA, int style, TColorRef colorB, TColorRef background);

} // namespace ks
