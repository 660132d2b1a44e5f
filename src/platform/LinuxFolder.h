#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

#include "foundation/FileSystem.h"

namespace ks {

/// A local folder held by an open descriptor (O_DIRECTORY, O_NOFOLLOW): every call is relative
/// to it (openat, fstatat, unlinkat, renameat2, mkdirat, symlinkat, readlinkat, fchmodat and
/// utimensat, none following a symlink), so the folder can be renamed or its path swapped for a
/// link without redirecting anything done through this object.
///
/// Thread: one thread at a time.
class TKLinuxFolder : public TKFolder {
public:
    /// Takes over fd, an open folder descriptor; path names it in errors only.
    TKLinuxFolder(int fd, std::string path, const struct stat& info);
    ~TKLinuxFolder() override;
    TKLinuxFolder(const TKLinuxFolder&) = delete;
    TKLinuxFolder& operator=(const TKLinuxFolder&) = delete;

    /// Opens a folder by full path, following links on the way (the path is the user's choice).
    static Result<std::unique_ptr<TKFolder>> OpenPath(const std::string& path);

    TFileId Id() const override { return FId; }
    Result<void> List(const std::function<bool(std::string_view name, TEntryType type)>& each) override;
    Result<TDirEntry> Describe(std::string_view name) override;
    Result<std::unique_ptr<TKFolder>> Open(std::string_view name) override;
    Result<std::unique_ptr<TKFolder>> OpenParent() override;
    Result<void> RemoveFile(std::string_view name) override;
    Result<void> RemoveFolder(std::string_view name) override;
    Result<void> SetWritable(std::string_view name, bool writable) override;
    /// Data extents are found with SEEK_DATA and SEEK_HOLE (the whole length where the file
    /// system cannot tell). A file without the owner's write permission is reopened for writing
    /// through its own descriptor after the bit is added, and the mode is put back afterwards.
    Result<TWipeOutcome> Wipe(std::string_view name) override;
    Result<std::unique_ptr<TKFileReader>> OpenRead(std::string_view name) override;
    /// A `TKLinuxFile`; openat with O_NONBLOCK and O_NOCTTY, and O_NOFOLLOW unless ofFollowLink.
    Result<std::unique_ptr<TKFile>> OpenFile(std::string_view name, std::uint32_t flags,
                                             std::uint32_t mode = 0600) override;
    Result<TFileInfo> Info(std::string_view name) override;
    /// target must be a `TKLinuxFolder` too (EXDEV otherwise).
    Result<void> Rename(std::string_view name, TKFolder& target, std::string_view newName,
                        bool noReplace) override;
    Result<void> CreateFolder(std::string_view name, std::uint32_t mode) override;
    Result<void> CreateLink(std::string_view name, std::string_view target) override;
    Result<std::string> ReadLink(std::string_view name) override;
    Result<void> SetMode(std::string_view name, std::uint32_t mode) override;
    Result<void> SetTimes(std::string_view name, std::int64_t accessTimeNs,
                          std::int64_t modifyTimeNs) override;
    Result<TSpaceInfo> Space() override;
    Result<void> Sync() override;
    Result<void> SyncFileSystem() override;

private:
    // The full name of an entry, for error values.
    std::string NameOf(std::string_view name) const;

    int FFd;
    std::string FPath;
    TFileId FId;
};

/// Fills entry (whose Name is set) from own, the lstat of the entry, and target, the stat of a
/// symlink's target (null when the entry is no symlink or the link does not resolve).
void FillDirEntry(TDirEntry& entry, const struct stat& own, const struct stat* target);

/// Calls each with fd and every record of the open folder fd (taken over and closed) except "."
/// and ".."; each returns false to stop. A failed read of the folder is the error.
Result<void> ForEachDirent(int fd, const std::string& path,
                           const std::function<bool(int, const dirent&)>& each);

/// The kind of a folder record; stat'ed (never followed) where the file system leaves it out.
/// Nothing when the entry has gone since the folder was read.
bool DirentType(int fd, const dirent& found, TEntryType& type);

} // namespace ks
