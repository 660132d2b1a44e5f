#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace ks {

/// The kind and permission bits of a mode (st_mode), with the values every POSIX system uses,
/// for code that reads `TDirEntry::Mode` or sets a file's permissions.
inline constexpr std::uint32_t ModeTypeMask = 0170000;
inline constexpr std::uint32_t ModeFile = 0100000;
inline constexpr std::uint32_t ModeFolder = 0040000;
inline constexpr std::uint32_t ModeLink = 0120000;
inline constexpr std::uint32_t ModePermissions = 07777;
inline constexpr std::uint32_t ModeAnyExecute = 0111;
inline constexpr std::uint32_t ModeOwnerWrite = 0200;

/// True when mode is that of a regular file.
constexpr bool IsFileMode(std::uint32_t mode) {
    return (mode & ModeTypeMask) == ModeFile;
}

/// One entry of a folder listing.
struct TDirEntry {
    std::string Name; ///< bytes as the OS gives them
    std::uint64_t Size = 0;
    std::int64_t MTimeNs = 0; ///< modification time, nanoseconds since 1970 UTC
    std::uint32_t Mode = 0;   ///< st_mode of the entry (of the target for symlinks that resolve)
    bool IsFolder = false;    ///< a directory or a symlink to one
    bool IsLink = false;
    std::uint32_t Attr = 0;  ///< the attribute bits: 1 read-only, 2 hidden, 4 system, 16 folder, 32 archive
    std::uint32_t Links = 1; ///< names the entry's data has (hard links); of the link itself for a symlink
};

/// True when a described entry leads somewhere: anything but a symlink whose target is missing
/// (such a link is described by itself, so its mode is still that of a link).
inline bool Resolves(const TDirEntry& entry) {
    return !entry.IsLink || (entry.Mode & ModeTypeMask) != ModeLink;
}

/// The kind of a folder entry as the folder itself records it. A symlink is etLink whatever it
/// points to (it is never followed); etOther is a device, FIFO or socket, or an entry whose
/// kind cannot be told.
enum class TEntryType { etFile, etFolder, etLink, etOther };

/// What a file system object is, independent of its names (device and inode on a local disk).
struct TFileId {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool operator==(const TFileId&) const = default;
};

/// What fstat tells of one file system object.
struct TFileInfo {
    TFileId Id;
    TEntryType Type = TEntryType::etOther; ///< etLink only for a symlink described by its folder
    std::uint32_t Mode = 0;                ///< the permission bits (`ModePermissions`)
    std::uint64_t Size = 0;                ///< bytes; for a symlink the length of its target text
    std::uint64_t AllocatedSize = 0;       ///< bytes the data takes on the disk (less for a sparse file)
    std::uint64_t Links = 1;               ///< names the data has (hard links)
    std::int64_t AccessTimeNs = 0;         ///< nanoseconds since 1970 UTC
    std::int64_t ModifyTimeNs = 0;
};

/// The size and free space of the file system holding a folder (statvfs).
struct TSpaceInfo {
    std::uint64_t TotalBytes = 0;
    std::uint64_t AvailableBytes = 0; ///< what an unprivileged user may still write
    std::uint64_t BlockSize = 0;      ///< the unit the file system allocates in
    std::uint32_t MaxNameLength = 0;
    bool ReadOnly = false;
};

/// How a wipe ended when nothing failed.
enum class TWipeOutcome {
    woWiped,      ///< every allocated byte overwritten and flushed to the disk
    woOtherLinks, ///< the data has other names (hard links): nothing written, the mode untouched
    woNoContents, ///< a symlink, device, FIFO or socket: nothing to overwrite, nothing opened
};

/// How `TKFolder::OpenFile` opens a file; the flags are combined with "|". Without ofRead and
/// ofWrite the file is opened for reading.
enum TOpenFlag : std::uint32_t {
    ofRead = 1,
    ofWrite = 2,
    ofCreate = 4,     ///< a missing file is created with the mode given (less the process umask)
    ofExclusive = 8,  ///< with ofCreate: an existing name fails with ecExists, even a dangling symlink
    ofTruncate = 16,  ///< with ofWrite: the file is cut to 0 bytes
    ofFollowLink = 32 ///< a symlink at the name is followed; without it the open fails with ELOOP
};

/// How `TKFolder::ReplaceFile` sets the permission bits of the new file.
enum class TReplaceMode {
    rmKeepOld, ///< those of the regular file it replaces; the mode given for a new file
    rmSet,     ///< the mode given, whatever the old file had and whatever the umask says
};

/// A regular file opened for reading. Thread: the thread that opened it.
class TKFileReader {
public:
    virtual ~TKFileReader() = default;
    /// The size the file reported when it was opened.
    virtual std::uint64_t Size() const = 0;
    /// Reads up to count bytes at the current place, which moves on; 0 at the end of the file. An
    /// interrupted read is retried; any other failure is the error.
    virtual Result<std::size_t> Read(char* buffer, std::size_t count) = 0;
};

/// A file opened through `TKFolder::OpenFile` (or the path form `TKFileSystem::OpenFile`). The
/// object owns the open file: the calls act on what was opened, whatever names it has now, and
/// the file is closed when the object goes away. Errors carry the file's full name and errno.
///
/// Thread: one thread at a time.
class TKFile : public TKFileReader {
public:
    /// Reads up to count bytes at offset without moving the current place (pread); 0 at or past
    /// the end.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) = 0;
    /// Writes all of data at the current place, which moves on; a short write goes on where it
    /// stopped. A full disk fails with ecNoSpace after writing what fitted.
    virtual Result<void> Write(std::string_view data) = 0;
    /// Writes all of data at offset without moving the current place (pwrite); a full disk as
    /// for `Write`.
    virtual Result<void> WriteAt(std::uint64_t offset, std::string_view data) = 0;
    /// Where the next data starts at or after offset (SEEK_DATA); nothing when only a hole
    /// follows up to the end, or offset is at or past the end. A file system that keeps no map of
    /// holes counts the whole file as data.
    virtual Result<std::optional<std::uint64_t>> NextData(std::uint64_t offset) = 0;
    /// Where the next hole starts at or after offset (SEEK_HOLE); the file's size when data runs
    /// to the end. An offset past the end fails (ENXIO).
    virtual Result<std::uint64_t> NextHole(std::uint64_t offset) = 0;
    /// Cuts the file to size bytes, or extends it with a hole (ftruncate).
    virtual Result<void> Truncate(std::uint64_t size) = 0;
    /// Flushes the file's data and metadata to the disk (fsync). A failure means written data may
    /// be lost: the file cannot be trusted.
    virtual Result<void> Sync() = 0;
    /// The open file described now (fstat).
    virtual Result<TFileInfo> Info() = 0;
    /// Sets the permission bits (fchmod; only `ModePermissions` count). Fails with ecAccess
    /// for a file of another user.
    virtual Result<void> SetMode(std::uint32_t mode) = 0;
    /// Sets the access and modification times, nanoseconds since 1970 UTC (futimens).
    virtual Result<void> SetTimes(std::int64_t accessTimeNs, std::int64_t modifyTimeNs) = 0;
    /// Copies up to count bytes from source at sourceOffset to this file at offset inside the
    /// kernel (copy_file_range; a file system may share the extents instead of copying them).
    /// Neither current place moves. Returns the bytes copied, 0 at the end of source. Fails with
    /// ecUnsupported where the two files cannot be copied this way (another kind of file system,
    /// another implementation of TKFile, an old kernel): the caller then copies through a buffer.
    virtual Result<std::size_t> CopyFrom(TKFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                                         std::size_t count) = 0;
    /// Makes this file share all of source's data, a copy that costs no space until either file
    /// changes (FICLONE, a reflink). Fails with ecUnsupported where the file system cannot share
    /// data or the files lie on different ones.
    virtual Result<void> CloneFrom(TKFile& source) = 0;
    /// Takes an exclusive lock on the file, waiting at most waitMs milliseconds for another
    /// holder (ecTimeout then). The lock lasts until the file is closed and dies with the
    /// process, so a holder killed meanwhile blocks nobody (flock). Blocks the calling thread.
    virtual Result<void> Lock(int waitMs) = 0;
    /// Closes the file and returns close's own result: a write error of some file systems shows
    /// only here. Every later call fails.
    virtual Result<void> Close() = 0;
};

/// An open folder. Every name given to it is one entry name (no "/", never "." or ".."), looked
/// up in this folder itself, and a symbolic link is never followed (except by `OpenFile` with
/// ofFollowLink): a rename, or a link swapped in anywhere along the path the folder was opened
/// by, cannot redirect what is done through it. Errors carry the entry's name (or the folder's
/// path) and errno.
///
/// Thread: one thread at a time; different folders of one file system may be used at once.
class TKFolder {
public:
    virtual ~TKFolder() = default;

    /// The folder's identity, taken when it was opened.
    virtual TFileId Id() const = 0;
    /// Calls each with the name and kind of every entry except "." and ".."; each returns false to
    /// stop. A failed read after some entries is the error (the entries given stay given).
    virtual Result<void> List(const std::function<bool(std::string_view name, TEntryType type)>& each) = 0;
    /// The entry, described as `TKFileSystem::Stat` describes one (a symlink with IsLink set and its
    /// target's kind and size where it resolves); it is looked up without following it.
    virtual Result<TDirEntry> Describe(std::string_view name) = 0;
    /// Opens a sub-folder. A symbolic link, even one to a folder, is refused (errno ELOOP or
    /// ENOTDIR), as is anything that is not a folder (ENOTDIR).
    virtual Result<std::unique_ptr<TKFolder>> Open(std::string_view name) = 0;
    /// The folder that holds this one now (its ".."). The caller compares its `Id` with the one it
    /// expects, since this folder may have been moved.
    virtual Result<std::unique_ptr<TKFolder>> OpenParent() = 0;
    /// Removes a file, a symlink (never its target), a device, a FIFO or a socket.
    virtual Result<void> RemoveFile(std::string_view name) = 0;
    /// Removes an empty sub-folder.
    virtual Result<void> RemoveFolder(std::string_view name) = 0;
    /// Turns the owner's write permission of an entry on or off; a symlink is refused.
    virtual Result<void> SetWritable(std::string_view name, bool writable) = 0;
    /// Overwrites a regular file in place with random bytes (each 0..254) over its allocated data
    /// only (holes of a sparse file stay holes), then flushes it to the disk. The file is never
    /// cut, grown or renamed, and its mode is as before afterwards. A file whose data has other
    /// names is not written (woOtherLinks); anything that is no regular file is not opened.
    virtual Result<TWipeOutcome> Wipe(std::string_view name) = 0;
    /// Opens a regular file for reading without blocking: a FIFO or a device is refused with
    /// ecNotRegular, a symlink with ELOOP.
    virtual Result<std::unique_ptr<TKFileReader>> OpenRead(std::string_view name) = 0;

    /// Opens or creates a file (flags from `TOpenFlag`; mode is for a file ofCreate creates).
    /// The open never blocks and never takes a controlling terminal: a FIFO or a device at the
    /// name opens at once (the caller checks `TKFile::Info` before reading). Fails with ecNotFound
    /// for a missing file without ofCreate, ecExists for a taken name with ofExclusive, ecAccess
    /// without permission, ELOOP for a symlink without ofFollowLink.
    virtual Result<std::unique_ptr<TKFile>> OpenFile(std::string_view name, std::uint32_t flags,
                                                     std::uint32_t mode = 0600) = 0;
    /// The entry described by fstatat without following it: a symlink is etLink with its own
    /// times, mode and link count.
    virtual Result<TFileInfo> Info(std::string_view name) = 0;
    /// Renames the entry name of this folder to newName in target, which may be this folder
    /// (renameat2). Both must be folders of one file system implementation on one disk, else
    /// EXDEV. Without noReplace an existing newName is replaced as rename(2) replaces it; with
    /// it a taken newName fails with ecExists (RENAME_NOREPLACE; where the file system lacks it,
    /// the name is checked just before the rename).
    virtual Result<void> Rename(std::string_view name, TKFolder& target, std::string_view newName,
                                bool noReplace) = 0;
    /// Creates a sub-folder with mode (less the process umask); ecExists when the name is taken.
    virtual Result<void> CreateFolder(std::string_view name, std::uint32_t mode) = 0;
    /// Creates a symlink name whose target text is target, stored as given (it may be relative
    /// or lead nowhere); ecExists when the name is taken.
    virtual Result<void> CreateLink(std::string_view name, std::string_view target) = 0;
    /// The target text of the symlink name; EINVAL when name is no symlink.
    virtual Result<std::string> ReadLink(std::string_view name) = 0;
    /// Sets the permission bits of an entry (only `ModePermissions` count); a symlink is
    /// refused with ecUnsupported.
    virtual Result<void> SetMode(std::string_view name, std::uint32_t mode) = 0;
    /// Sets the access and modification times of an entry, nanoseconds since 1970 UTC; a symlink
    /// gets its own times, its target is never touched.
    virtual Result<void> SetTimes(std::string_view name, std::int64_t accessTimeNs,
                                  std::int64_t modifyTimeNs) = 0;
    /// The size and free space of the file system holding this folder (fstatvfs).
    virtual Result<TSpaceInfo> Space() = 0;
    /// Flushes the folder itself to the disk (fsync), so the names created, renamed or removed
    /// in it survive a power cut. Some file systems refuse; a refusal leaves the names as they are.
    virtual Result<void> Sync() = 0;
    /// Flushes everything written to the file system holding this folder (syncfs). The default
    /// refuses with ecUnsupported, for file systems with nothing to flush.
    virtual Result<void> SyncFileSystem();

    /// The spelling of an entry named name without regard to ASCII case: name itself when an
    /// entry of that exact name resolves (a symlink to nothing does not), else the first entry in
    /// listing order whose name equals it ignoring case. ecNotFound when there is none. Built on
    /// `Describe` and `List`.
    Result<std::string> FindName(std::string_view name);
    /// Replaces the file name with content atomically: a temporary file "<name>.tmp-XXXXXX" is
    /// created beside it (exclusively, 0600), given its mode (see `TReplaceMode`), written,
    /// flushed to the disk and closed, then renamed over name, and the folder is flushed so the
    /// rename survives a power cut (a folder that refuses to flush is no failure: the new file is
    /// in place). Readers see the old or the new file, never a part. A symlink at name is replaced
    /// by the new file, never written through. On failure (a full disk, a failed write, flush or
    /// rename) the old file is untouched, the temporary file is removed and the error is that of
    /// the call that failed (naming the temporary file where it was written). Built on the calls
    /// above.
    Result<void> ReplaceFile(std::string_view name, std::string_view content, TReplaceMode how,
                             std::uint32_t mode);
};

/// The file-system calls of core code. Listing and describing go by full path (never the process
/// current directory); everything that changes files goes through a `TKFolder` opened with
/// `OpenFolder`, and a tree is walked with `TTreeWalk` (foundation/TreeWalk.h), never by joining
/// paths. Safe to use from several threads at once.
///
/// The path calls at the end serve files a user names by path (settings, skins, languages):
/// symlinks along the path are followed, as the path is the user's choice, and the work is
/// done through the folder holding the file. A path without "/" names an entry of the current
/// folder.
class TKFileSystem {
public:
    virtual ~TKFileSystem() = default;

    /// Calls each for every entry of path except "." and ".."; each returns false to stop.
    virtual Result<void> ListFolder(const std::string& path,
                                    const std::function<bool(const TDirEntry&)>& each) = 0;
    /// Calls each with the name and kind of every entry of path except "." and ".."; each
    /// returns false to stop. Cheaper than ListFolder where sizes, times and attributes are not
    /// needed: a local file system gives the kinds with the names. The default lists with
    /// ListFolder.
    virtual Result<void>
    ListFolderTypes(const std::string& path,
                    const std::function<bool(std::string_view name, TEntryType type)>& each);
    virtual Result<TDirEntry> Stat(const std::string& path) = 0;
    /// True when path names a folder that can be opened for listing.
    virtual bool CanOpenFolder(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    /// Opens the folder a full path names (symlinks along the path are followed: the path is what
    /// the user chose). The default refuses with ecUnsupported, for file systems that only list.
    virtual Result<std::unique_ptr<TKFolder>> OpenFolder(const std::string& path);

    /// `TKFolder::OpenFile` in the folder holding path. A symlink at the last part is followed
    /// only with ofFollowLink.
    Result<std::unique_ptr<TKFile>> OpenFile(const std::string& path, std::uint32_t flags,
                                             std::uint32_t mode = 0600);
    /// The whole regular file at path, a symlink at the last part followed; opened without
    /// blocking (a FIFO is never waited on); reading stops once more than maxBytes came. Fails
    /// with ecNotFound when there is nothing at path (errno ENOENT, or ENOTDIR when a part of the
    /// path is no folder), ecNotRegular when it is no regular file (a folder, a device, a FIFO, a
    /// socket; never read; errno EISDIR for a folder), ecTooLarge when it holds more than
    /// maxBytes, by its size or by what reading it gives (a /proc file reports 0), and otherwise
    /// with the error of the open or the read.
    Result<std::string> ReadFile(const std::string& path, std::size_t maxBytes);
    /// `TKFolder::ReplaceFile` in the folder holding path; the folder must exist. Errors carry
    /// path.
    Result<void> ReplaceFile(const std::string& path, std::string_view content, TReplaceMode how,
                             std::uint32_t mode);
    /// Creates the folder path and its missing parents with mode (less the umask); folders that
    /// exist are left as they are. Fails with the error of the first part that is no folder and
    /// cannot be made one.
    Result<void> CreateFolders(const std::string& path, std::uint32_t mode);
};

/// A folder opened together with the name of one of its entries.
struct TFolderEntry {
    std::unique_ptr<TKFolder> Folder;
    std::string Name;
};

/// Opens the folder holding fullName ("/a/b/c" opens "/a/b" and names "c"; a trailing "/" is
/// ignored). Fails with ecNotFound for the root, a relative name or a "." or ".." last part.
Result<TFolderEntry> OpenEntryFolder(TKFileSystem& fileSystem, const std::string& fullName);

} // namespace ks
