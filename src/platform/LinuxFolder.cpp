#include "platform/LinuxFolder.h"

#include "platform/LinuxFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ks {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// The longest symlink target ReadLink reads.
constexpr std::size_t MaxLinkTarget = std::size_t{1} << 20;
// Files are never opened as a controlling terminal, and a FIFO or device swapped in cannot
// block the open.
constexpr int FileFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// One entry name: never empty, never "." or "..", never holding a "/".
bool PlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

TError BadName(const std::string& path) {
    return ErrnoError(path, EINVAL, "not a plain entry name");
}

// splitmix64: fast, and the bytes need to be unpredictable to a reader of the disk only, not
// cryptographically strong; the seed comes from the kernel.
std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Writes random bytes (0..254) over [from, to) of fd; errno of the failure, 0 when done.
int OverwriteRange(int fd, std::uint64_t from, std::uint64_t to, std::uint64_t& state,
                   std::vector<unsigned char>& chunk) {
    while (from < to) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), to - from));
        for (std::size_t i = 0; i < count; i += 8) {
            std::uint64_t value = NextRandom(state);
            for (std::size_t j = i; j < i + 8 && j < count; ++j, value >>= 8)
                chunk[j] = static_cast<unsigned char>(((value & 0xFF) * 255) >> 8);
        }
        std::size_t done = 0;
        while (done < count) {
            const ssize_t written =
                ::pwrite(fd, chunk.data() + done, count - done, static_cast<off_t>(from + done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return written < 0 ? errno : EIO;
            done += static_cast<std::size_t>(written);
        }
        from += count;
    }
    return 0;
}

// Overwrites the allocated data of the first size bytes of fd; errno of the failure, 0 when done.
int OverwriteData(int fd, std::uint64_t size) {
    std::uint64_t state = 0;
    if (::getrandom(&state, sizeof state, 0) != static_cast<ssize_t>(sizeof state))
        state = static_cast<std::uint64_t>(::getpid()) << 32 ^ static_cast<std::uint64_t>(fd);
    std::vector<unsigned char> chunk(std::size_t{1} << 20);
    std::uint64_t position = 0;
    while (position < size) {
        off_t data = ::lseek(fd, static_cast<off_t>(position), SEEK_DATA);
        off_t hole = static_cast<off_t>(size);
        if (data < 0) {
            if (errno == ENXIO)
                return 0; // nothing but a hole from here to the end
            if (errno != EINVAL && errno != EOPNOTSUPP)
                return errno;
            // No extent map here: every byte counts as data.
            data = static_cast<off_t>(position);
        } else {
            const off_t found = ::lseek(fd, data, SEEK_HOLE);
            if (found >= 0)
                hole = std::min(found, hole);
        }
        const auto from = static_cast<std::uint64_t>(data);
        const auto to = std::max(from, static_cast<std::uint64_t>(hole));
        if (from >= size)
            return 0;
        if (const int error = OverwriteRange(fd, from, std::min(to, size), state, chunk); error != 0)
            return error;
        position = std::min(to, size);
        if (to == from)
            ++position; // a file system answering nonsense cannot make this loop for ever
    }
    return 0;
}

} // namespace

void FillDirEntry(TDirEntry& entry, const struct stat& own, const struct stat* target) {
    const struct stat& st = target != nullptr ? *target : own;
    entry.IsLink = S_ISLNK(own.st_mode);
    entry.Mode = st.st_mode;
    entry.IsFolder = S_ISDIR(st.st_mode);
    entry.Size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    entry.MTimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    entry.Links = own.st_nlink == 0 ? 1 : static_cast<std::uint32_t>(own.st_nlink);
    std::uint32_t attr = 0;
    if (st.st_mode != 0 && (st.st_mode & S_IWUSR) == 0)
        attr |= 1;
    if (!entry.Name.empty() && entry.Name[0] == '.')
        attr |= 2;
    if (st.st_mode != 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
        attr |= 4;
    if (entry.IsFolder)
        attr |= 16;
    if (S_ISREG(st.st_mode))
        attr |= 32;
    entry.Attr = attr;
}

Result<void> ForEachDirent(int fd, const std::string& path,
                           const std::function<bool(int, const dirent&)>& each) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        return ErrnoError(path, error);
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir);
        if (found == nullptr) {
            error = errno;
            break;
        }
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (!each(fd, *found))
            break;
    }
    ::closedir(dir);
    if (error != 0)
        return ErrnoError(path, error);
    return {};
}

bool DirentType(int fd, const dirent& found, TEntryType& type) {
    unsigned char kind = found.d_type;
    if (kind == DT_UNKNOWN) {
        // Some file systems (older XFS, some network ones) leave the kind out of the record.
        struct stat own {};
        if (::fstatat(fd, found.d_name, &own, AT_SYMLINK_NOFOLLOW) == 0)
            kind = IFTODT(own.st_mode);
        else if (errno == ENOENT)
            return false;
    }
    type = kind == DT_REG   ? TEntryType::etFile
           : kind == DT_DIR ? TEntryType::etFolder
           : kind == DT_LNK ? TEntryType::etLink
                            : TEntryType::etOther;
    return true;
}

TKLinuxFolder::TKLinuxFolder(int fd, std::string path, const struct stat& info)
    : FFd(fd), FPath(std::move(path)), FId{static_cast<std::uint64_t>(info.st_dev),
                                           static_cast<std::uint64_t>(info.st_ino)} {}

TKLinuxFolder::~TKLinuxFolder() {
    ::close(FFd);
}

std::string TKLinuxFolder::NameOf(std::string_view name) const {
    std::string path = FPath;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

namespace {

// A folder object for fd, the result of an open of path (closed again when it cannot be one).
Result<std::unique_ptr<TKFolder>> Adopt(int fd, const std::string& path) {
    if (fd < 0)
        return ErrnoError(path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return ErrnoError(path, error);
    }
    return std::unique_ptr<TKFolder>(std::make_unique<TKLinuxFolder>(fd, path, info));
}

} // namespace

Result<std::unique_ptr<TKFolder>> TKLinuxFolder::OpenPath(const std::string& path) {
    return Adopt(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), path);
}

Result<void> TKLinuxFolder::List(const std::function<bool(std::string_view, TEntryType)>& each) {
    // A descriptor of its own for the listing: one shared with FFd would share its read position.
    const int fd = ::openat(FFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ErrnoError(FPath, errno);
    return ForEachDirent(fd, FPath, [&](int dirFd, const dirent& found) {
        TEntryType type = TEntryType::etOther;
        if (!DirentType(dirFd, found, type))
            return true; // gone since the folder was read
        return each(std::string_view(found.d_name), type);
    });
}

Result<TDirEntry> TKLinuxFolder::Describe(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    struct stat own {};
    if (::fstatat(FFd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    struct stat target {};
    const bool resolves = S_ISLNK(own.st_mode) && ::fstatat(FFd, name.c_str(), &target, 0) == 0;
    TDirEntry entry;
    entry.Name = name;
    FillDirEntry(entry, own, resolves ? &target : nullptr);
    return entry;
}

Result<std::unique_ptr<TKFolder>> TKLinuxFolder::Open(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    return Adopt(::openat(FFd, name.c_str(), FolderFlags), NameOf(name));
}

Result<std::unique_ptr<TKFolder>> TKLinuxFolder::OpenParent() {
    std::string path = FPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    path = slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
    return Adopt(::openat(FFd, "..", FolderFlags), path);
}

Result<void> TKLinuxFolder::RemoveFile(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    if (::unlinkat(FFd, name.c_str(), 0) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<void> TKLinuxFolder::RemoveFolder(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    if (::unlinkat(FFd, name.c_str(), AT_REMOVEDIR) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<void> TKLinuxFolder::SetWritable(std::string_view nameView, bool writable) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    struct stat st {};
    if (::fstatat(FFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    if (S_ISLNK(st.st_mode))
        return TError{TErrorCode::ecUnsupported, 0, NameOf(name), "a symbolic link has no mode of its own"};
    const mode_t mode = writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~static_cast<mode_t>(S_IWUSR));
    // AT_SYMLINK_NOFOLLOW: a link swapped in since the check is refused, not followed.
    if (::fchmodat(FFd, name.c_str(), mode & 07777, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<TWipeOutcome> TKLinuxFolder::Wipe(std::string_view nameView) {
    const std::string name(nameView);
    const std::string path = NameOf(nameView);
    if (!PlainName(nameView))
        return BadName(path);
    struct stat own {};
    if (::fstatat(FFd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(path, errno);
    if (!S_ISREG(own.st_mode))
        return TWipeOutcome::woNoContents;
    // Another name for the same data keeps it: writing here would destroy that file too.
    if (own.st_nlink > 1)
        return TWipeOutcome::woOtherLinks;

    int fd = ::openat(FFd, name.c_str(), O_WRONLY | FileFlags);
    int readFd = -1;
    bool modeChanged = false;
    const auto finish = [&](int error) -> Result<TWipeOutcome> {
        if (modeChanged)
            ::fchmod(fd >= 0 ? fd : readFd, own.st_mode & 07777);
        if (fd >= 0)
            ::close(fd);
        if (readFd >= 0)
            ::close(readFd);
        if (error != 0)
            return ErrnoError(path, error);
        return TWipeOutcome::woWiped;
    };
    if (fd < 0 && errno == EACCES) {
        // The owner has no write permission: the bit is added through a read-only descriptor of
        // this very file, which is then reopened for writing through that descriptor, so no name
        // is looked up twice.
        readFd = ::openat(FFd, name.c_str(), O_RDONLY | FileFlags);
        if (readFd < 0)
            return ErrnoError(path, EACCES);
        struct stat opened {};
        if (::fstat(readFd, &opened) != 0 || opened.st_ino != own.st_ino || opened.st_dev != own.st_dev ||
            opened.st_nlink > 1)
            return finish(EAGAIN);
        if (::fchmod(readFd, (own.st_mode | S_IWUSR) & 07777) != 0)
            return finish(errno);
        modeChanged = true;
        const std::string self = "/proc/self/fd/" + std::to_string(readFd);
        fd = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return finish(errno);
    } else if (fd < 0) {
        return ErrnoError(path, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return finish(errno);
    if (!S_ISREG(st.st_mode) || st.st_ino != own.st_ino || st.st_dev != own.st_dev)
        return finish(EAGAIN); // replaced since it was looked at
    if (st.st_nlink > 1) {
        finish(0);
        return TWipeOutcome::woOtherLinks;
    }
    if (const int error = OverwriteData(fd, static_cast<std::uint64_t>(st.st_size)); error != 0)
        return finish(error);
    if (::fsync(fd) != 0)
        return finish(errno);
    return finish(0);
}

Result<std::unique_ptr<TKFileReader>> TKLinuxFolder::OpenRead(std::string_view nameView) {
    const std::string name(nameView);
    const std::string path = NameOf(nameView);
    if (!PlainName(nameView))
        return BadName(path);
    const int fd = ::openat(FFd, name.c_str(), O_RDONLY | FileFlags);
    if (fd < 0)
        return ErrnoError(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return TError{TErrorCode::ecNotRegular, 0, path, "not a regular file"};
    }
    return std::unique_ptr<TKFileReader>(
        std::make_unique<TKLinuxFile>(fd, path, static_cast<std::uint64_t>(st.st_size)));
}

Result<std::unique_ptr<TKFile>> TKLinuxFolder::OpenFile(std::string_view nameView, std::uint32_t flags,
                                                        std::uint32_t mode) {
    const std::string name(nameView);
    const std::string path = NameOf(nameView);
    if (!PlainName(nameView))
        return BadName(path);
    const bool read = (flags & ofRead) != 0 || (flags & ofWrite) == 0;
    const bool write = (flags & ofWrite) != 0;
    int openFlags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    if ((flags & ofCreate) != 0)
        openFlags |= O_CREAT;
    if ((flags & ofExclusive) != 0)
        openFlags |= O_EXCL;
    if ((flags & ofTruncate) != 0)
        openFlags |= O_TRUNC;
    openFlags |= (flags & ofFollowLink) != 0 ? O_NONBLOCK | O_NOCTTY | O_CLOEXEC : FileFlags;
    const int fd = ::openat(FFd, name.c_str(), openFlags, static_cast<mode_t>(mode & ModePermissions));
    if (fd < 0)
        return ErrnoError(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return ErrnoError(path, error);
    }
    return std::unique_ptr<TKFile>(
        std::make_unique<TKLinuxFile>(fd, path, static_cast<std::uint64_t>(st.st_size)));
}

Result<TFileInfo> TKLinuxFolder::Info(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    struct stat st {};
    if (::fstatat(FFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    return FileInfoOf(st);
}

Result<void> TKLinuxFolder::Rename(std::string_view nameView, TKFolder& target, std::string_view newNameView,
                                   bool noReplace) {
    const std::string name(nameView);
    const std::string newName(newNameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    auto* to = dynamic_cast<TKLinuxFolder*>(&target);
    if (to == nullptr)
        return ErrnoError(NameOf(name), EXDEV, "the target folder is not on a local disk");
    if (!PlainName(newNameView))
        return BadName(to->NameOf(newNameView));
    if (!noReplace) {
        if (::renameat(FFd, name.c_str(), to->FFd, newName.c_str()) != 0)
            return ErrnoError(NameOf(name), errno);
        return {};
    }
    if (::renameat2(FFd, name.c_str(), to->FFd, newName.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return ErrnoError(error == EEXIST ? to->NameOf(newName) : NameOf(name), error);
    // The file system (NFS, CIFS, some FUSE ones) or the kernel refuses the flag. That EINVAL
    // says nothing about the names, which were checked above.
    struct stat own {};
    if (::fstatat(FFd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    if (S_ISREG(own.st_mode)) {
        // A second name made with linkat can never replace anything (EEXIST), so a file that
        // appears under newName meanwhile survives; the old name goes only once the new one
        // holds the same file.
        if (::linkat(FFd, name.c_str(), to->FFd, newName.c_str(), 0) == 0) {
            struct stat linked {};
            struct stat still {};
            const bool same = ::fstatat(to->FFd, newName.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0 &&
                              ::fstatat(FFd, name.c_str(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
                              linked.st_dev == still.st_dev && linked.st_ino == still.st_ino;
            // Something else took the old name between the two calls: it is not ours to remove,
            // and the file itself has its new name already.
            if (!same)
                return {};
            if (::unlinkat(FFd, name.c_str(), 0) == 0)
                return {};
            const int unlinkError = errno;
            ::unlinkat(to->FFd, newName.c_str(), 0);
            return ErrnoError(NameOf(name), unlinkError);
        }
        const int linkError = errno;
        if (linkError == EEXIST)
            return ErrnoError(to->NameOf(newName), EEXIST);
        // No hard links on this file system (EPERM on FAT, ENOTSUP elsewhere), or one too many
        // for this file: the checked rename below is all that is left.
        if (linkError != EPERM && linkError != EXDEV && linkError != ENOTSUP && linkError != EMLINK)
            return ErrnoError(NameOf(name), linkError);
    }
    // A folder, a link or a file that cannot have a second name: the new name is checked just
    // before; only a program racing this one in the same folder can slip in between.
    struct stat st {};
    if (::fstatat(to->FFd, newName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return ErrnoError(to->NameOf(newName), EEXIST);
    if (::renameat(FFd, name.c_str(), to->FFd, newName.c_str()) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<void> TKLinuxFolder::CreateFolder(std::string_view nameView, std::uint32_t mode) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    if (::mkdirat(FFd, name.c_str(), static_cast<mode_t>(mode & ModePermissions)) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<void> TKLinuxFolder::CreateLink(std::string_view nameView, std::string_view target) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    if (target.empty() || target.find('\0') != std::string_view::npos)
        return ErrnoError(NameOf(name), EINVAL, "not a link target");
    if (::symlinkat(std::string(target).c_str(), FFd, name.c_str()) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<std::string> TKLinuxFolder::ReadLink(std::string_view nameView) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    // The target's length is not known before: the buffer grows until the text fits (a target
    // is at most PATH_MAX bytes on a local disk; the cap holds whatever a file system claims).
    for (std::size_t size = 256;; size *= 2) {
        if (size > MaxLinkTarget)
            return ErrnoError(NameOf(name), ENAMETOOLONG);
        std::string target(size, '\0');
        const ssize_t length = ::readlinkat(FFd, name.c_str(), target.data(), target.size());
        if (length < 0)
            return ErrnoError(NameOf(name), errno);
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
    }
}

Result<void> TKLinuxFolder::SetMode(std::string_view nameView, std::uint32_t mode) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    struct stat st {};
    if (::fstatat(FFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    if (S_ISLNK(st.st_mode))
        return TError{TErrorCode::ecUnsupported, 0, NameOf(name), "a symbolic link has no mode of its own"};
    // AT_SYMLINK_NOFOLLOW: a link swapped in since the check is refused, not followed.
    if (::fchmodat(FFd, name.c_str(), static_cast<mode_t>(mode & ModePermissions), AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<void> TKLinuxFolder::SetTimes(std::string_view nameView, std::int64_t accessTimeNs,
                                     std::int64_t modifyTimeNs) {
    const std::string name(nameView);
    if (!PlainName(nameView))
        return BadName(NameOf(nameView));
    const timespec times[2] = {TimeSpecOf(accessTimeNs), TimeSpecOf(modifyTimeNs)};
    if (::utimensat(FFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoError(NameOf(name), errno);
    return {};
}

Result<TSpaceInfo> TKLinuxFolder::Space() {
    struct statvfs sv {};
    if (::fstatvfs(FFd, &sv) != 0)
        return ErrnoError(FPath, errno);
    TSpaceInfo space;
    space.BlockSize = static_cast<std::uint64_t>(sv.f_frsize);
    space.TotalBytes = static_cast<std::uint64_t>(sv.f_blocks) * space.BlockSize;
    space.AvailableBytes = static_cast<std::uint64_t>(sv.f_bavail) * space.BlockSize;
    space.MaxNameLength = static_cast<std::uint32_t>(sv.f_namemax);
    space.ReadOnly = (sv.f_flag & ST_RDONLY) != 0;
    return space;
}

Result<void> TKLinuxFolder::Sync() {
    if (::fsync(FFd) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

Result<void> TKLinuxFolder::SyncFileSystem() {
    if (::syncfs(FFd) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

} // namespace ks
