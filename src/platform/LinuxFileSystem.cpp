#include "platform/LinuxFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks {

namespace {

// own is the lstat of the entry, target the stat of a symlink's target (null when the entry is
// no symlink or the link does not resolve).
void FillEntry(TDirEntry& entry, const struct stat& own, const struct stat* target) {
    const struct stat& st = target != nullptr ? *target : own;
    entry.IsLink = S_ISLNK(own.st_mode);
    entry.Mode = st.st_mode;
    entry.IsFolder = S_ISDIR(st.st_mode);
    entry.Size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    entry.MTimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
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

// splitmix64: fast, and the bytes need to be unpredictable to a reader of the disk only, not
// cryptographically strong; the seed comes from the kernel.
std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

namespace {

// Calls each with the open folder's descriptor for every entry but "." and "..", until each
// returns false; a failed read of the folder is the error.
Result<void> ForEachDirent(const std::string& path, const std::function<bool(int, const dirent&)>& each) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ErrnoError(path, errno);
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

} // namespace

Result<void> TKLinuxFileSystem::ListFolder(const std::string& path,
                                           const std::function<bool(const TDirEntry&)>& each) {
    TDirEntry entry;
    return ForEachDirent(path, [&](int fd, const dirent& found) {
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
        FillEntry(entry, own, resolves ? &target : nullptr);
        return each(entry);
    });
}

Result<void>
TKLinuxFileSystem::ListFolderTypes(const std::string& path,
                                   const std::function<bool(std::string_view, TEntryType)>& each) {
    return ForEachDirent(path, [&](int fd, const dirent& found) {
        const char* name = found.d_name;
        unsigned char kind = found.d_type;
        if (kind == DT_UNKNOWN) {
            // Some file systems (older XFS, some network ones) leave the kind out of the record.
            struct stat own {};
            if (::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0)
                kind = IFTODT(own.st_mode);
            else if (errno == ENOENT)
                return true; // gone since readdir
        }
        TEntryType type = TEntryType::etOther;
        if (kind == DT_REG)
            type = TEntryType::etFile;
        else if (kind == DT_DIR)
            type = TEntryType::etFolder;
        else if (kind == DT_LNK)
            type = TEntryType::etLink;
        return each(std::string_view(name), type);
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
    FillEntry(entry, own, resolves ? &target : nullptr);
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

Result<void> TKLinuxFileSystem::RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        return ErrnoError(path, errno);
    return {};
}

Result<void> TKLinuxFileSystem::RemoveFolder(const std::string& path) {
    if (::rmdir(path.c_str()) != 0)
        return ErrnoError(path, errno);
    return {};
}

Result<void> TKLinuxFileSystem::SetWritable(const std::string& path, bool writable) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ErrnoError(path, errno);
    const mode_t mode = writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~static_cast<mode_t>(S_IWUSR));
    if (::chmod(path.c_str(), mode & 07777) != 0)
        return ErrnoError(path, errno);
    return {};
}

Result<void> TKLinuxFileSystem::OverwriteRandom(const std::string& path) {
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0)
        return ErrnoError(path, errno);
    const TError notRegular{TErrorCode::ecUnsupported, 0, path, "not a regular file"};
    if (!S_ISREG(before.st_mode))
        return notRegular;
    // O_NONBLOCK keeps a FIFO swapped in after the check from blocking the open.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ErrnoError(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != before.st_ino ||
        st.st_dev != before.st_dev) {
        ::close(fd);
        return notRegular;
    }
    std::uint64_t state = 0;
    if (::getrandom(&state, sizeof state, 0) != static_cast<ssize_t>(sizeof state))
        state = static_cast<std::uint64_t>(st.st_ino) ^ static_cast<std::uint64_t>(::getpid()) << 32;

    constexpr std::size_t ChunkSize = 1 << 20;
    std::vector<unsigned char> chunk(ChunkSize);
    const auto length = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t offset = 0;
    while (offset < length) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, length - offset));
        for (std::size_t i = 0; i < count; i += 8) {
            std::uint64_t value = NextRandom(state);
            for (std::size_t j = i; j < i + 8 && j < count; ++j, value >>= 8)
                chunk[j] = static_cast<unsigned char>(((value & 0xFF) * 255) >> 8); // 0..254
        }
        std::size_t done = 0;
        while (done < count) {
            const ssize_t written =
                ::pwrite(fd, chunk.data() + done, count - done, static_cast<off_t>(offset + done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                const int error = written < 0 ? errno : EIO;
                ::close(fd);
                return ErrnoError(path, error);
            }
            done += static_cast<std::size_t>(written);
        }
        offset += count;
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return ErrnoError(path, error);
    }
    if (::close(fd) != 0)
        return ErrnoError(path, errno);
    return {};
}

} // namespace ks
