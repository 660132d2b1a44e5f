#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace ks {

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

/// How a wipe ended when nothing failed.
enum class TWipeOutcome {
    woWiped,      ///< every allocated byte overwritten and flushed to the disk
    woOtherLinks, ///< the data has other names (hard links): nothing written, the mode untouched
    woNoContents, ///< a symlink, device, FIFO or socket: nothing to overwrite, nothing opened
};

/// A regular file opened for reading. Thread: the thread that opened it.
class TKFileReader {
public:
    virtual ~TKFileReader() = default;
    /// The size the file reported when it was opened.
    virtual std::uint64_t Size() const = 0;
    /// Reads up to count bytes at the current place; 0 at the end of the file.
    virtual Result<std::size_t> Read(char* buffer, std::size_t count) = 0;
};

/// An open folder. Every name given to it is one entry name (no "/", never "." or ".."), looked
/// up in this folder itself, and a symbolic link is never followed: a rename, or a link swapped in
/// anywhere along the path the folder was opened by, cannot redirect what is done through it.
/// Errors carry the entry's name (or the folder's path) and errno.
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
    /// Opens a regular file for reading without blocking (a FIFO, a device or a symlink is
    /// refused with ecUnsupported).
    virtual Result<std::unique_ptr<TKFileReader>> OpenRead(std::string_view name) = 0;
};

/// The file-system calls of core code. Listing and describing go by full path (never the process
/// current directory); everything that changes files goes through a `TKFolder` opened with
/// `OpenFolder`, and a tree is walked with `TTreeWalk` (foundation/TreeWalk.h), never by joining
/// paths. Safe to use from several threads at once.
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
