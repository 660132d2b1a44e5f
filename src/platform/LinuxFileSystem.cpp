#include "platform/LinuxFileSystem.h"

#include "platform/LinuxFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks {

namespace {

std::string LastPart(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    const std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return path.substr(0, end);
    if (slash == 0 && end == 1)
        return "/";
    return path.substr(slash + 1, end - slash - 1);
}

} // namespace

Result<void> TKLinuxFileSystem::ListFolder(const std::string& path,
                                           const std::function<bool(const TDirEntry&)>& each) {
    TDirEntry entry;
    const int folderFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return ErrnoError(path, errno);
    return ForEachDirent(folderFd, path, [&](int fd, const dirent& found) {
        const char* name = found.d_name;
        struct stat own {};
        if (::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone since readdir: not part of the folder any more.
            if (errno == ENOENT)
                return true;
            // A folder readable but not searchable gives names only; the type comes from readdir
            // and the permissions are unknown, so the entry is not called read-only.
            own = {};
            own.st_mode = found.d_type == DT_UNKNOWN ? 0 : DTTOIF(found.d_type) | S_IWUSR;
        }
        struct stat target {};
        const bool resolves = S_ISLNK(own.st_mode) && ::fstatat(fd, name, &target, 0) == 0;
        entry.Name.assign(name);
        FillDirEntry(entry, own, resolves ? &target : nullptr);
        return each(entry);
    });
}

Result<void>
TKLinuxFileSystem::ListFolderTypes(const std::string& path,
                                   const std::function<bool(std::string_view, TEntryType)>& each) {
    const int folderFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return ErrnoError(path, errno);
    return ForEachDirent(folderFd, path, [&](int fd, const dirent& found) {
        TEntryType type = TEntryType::etOther;
        if (!DirentType(fd, found, type))
            return true; // gone since readdir
        return each(std::string_view(found.d_name), type);
    });
}

Result<TDirEntry> TKLinuxFileSystem::Stat(const std::string& path) {
    struct stat own {};
    if (::lstat(path.c_str(), &own) != 0)
        return ErrnoError(path, errno);
    struct stat target {};
    const bool resolves = S_ISLNK(own.st_mode) && ::stat(path.c_str(), &target) == 0;
    TDirEntry entry;
    entry.Name = LastPart(path);
    FillDirEntry(entry, own, resolves ? &target : nullptr);
    return entry;
}

bool TKLinuxFileSystem::CanOpenFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool TKLinuxFileSystem::Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

Result<std::unique_ptr<TKFolder>> TKLinuxFileSystem::OpenFolder(const std::string& path) {
    return TKLinuxFolder::OpenPath(path);
}

} // namespace ks
