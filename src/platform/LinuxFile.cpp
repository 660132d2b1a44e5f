#include "platform/LinuxFile.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ks {

namespace {

// How often a lock wait looks again.
constexpr int LockPollMs = 5;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// The errors that say the kernel or the file system cannot do an in-kernel copy or a clone of
// these two files; the caller copies through a buffer instead.
bool CannotShare(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTTY;
}

TError Unsupported(const std::string& path, int error, const char* what) {
    return TError{TErrorCode::ecUnsupported, error, path, what};
}

} // namespace

timespec TimeSpecOf(std::int64_t nanoseconds) {
    std::int64_t seconds = nanoseconds / 1'000'000'000;
    std::int64_t rest = nanoseconds % 1'000'000'000;
    // Times before 1970 count down from the second above them.
    if (rest < 0) {
        rest += 1'000'000'000;
        --seconds;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest)};
}

TFileInfo FileInfoOf(const struct stat& st) {
    TFileInfo info;
    info.Id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    info.Type = S_ISREG(st.st_mode)   ? TEntryType::etFile
                : S_ISDIR(st.st_mode) ? TEntryType::etFolder
                : S_ISLNK(st.st_mode) ? TEntryType::etLink
                                      : TEntryType::etOther;
    info.Mode = st.st_mode & ModePermissions;
    info.Size = static_cast<std::uint64_t>(st.st_size);
    info.AllocatedSize = static_cast<std::uint64_t>(st.st_blocks) * 512;
    info.Links = static_cast<std::uint64_t>(st.st_nlink);
    info.AccessTimeNs = Nanoseconds(st.st_atim);
    info.ModifyTimeNs = Nanoseconds(st.st_mtim);
    return info;
}

TKLinuxFile::TKLinuxFile(int fd, std::string path, std::uint64_t size)
    : FFd(fd), FPath(std::move(path)), FSize(size) {}

TKLinuxFile::~TKLinuxFile() {
    if (FFd >= 0)
        ::close(FFd);
}

Result<std::size_t> TKLinuxFile::Read(char* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(FFd, buffer, count);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            return ErrnoError(FPath, errno);
    }
}

Result<std::size_t> TKLinuxFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::pread(FFd, buffer, count, static_cast<off_t>(offset));
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            return ErrnoError(FPath, errno);
    }
}

Result<void> TKLinuxFile::Write(std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(FFd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return ErrnoError(FPath, written < 0 ? errno : EIO);
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

Result<void> TKLinuxFile::WriteAt(std::uint64_t offset, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::pwrite(FFd, data.data(), data.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return ErrnoError(FPath, written < 0 ? errno : EIO);
        data.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return {};
}

Result<std::optional<std::uint64_t>> TKLinuxFile::NextData(std::uint64_t offset) {
    // lseek moves the descriptor's place, which Read and Write use: it is put back.
    const off_t place = ::lseek(FFd, 0, SEEK_CUR);
    const off_t found = ::lseek(FFd, static_cast<off_t>(offset), SEEK_DATA);
    const int error = errno;
    if (place >= 0)
        ::lseek(FFd, place, SEEK_SET);
    if (found >= 0)
        return std::optional<std::uint64_t>(static_cast<std::uint64_t>(found));
    if (error == ENXIO)
        return std::optional<std::uint64_t>();
    if (error != EINVAL && error != EOPNOTSUPP)
        return ErrnoError(FPath, error);
    // No map of holes here: every byte up to the end is data.
    const Result<TFileInfo> info = Info();
    if (!info)
        return info.error();
    return offset < info->Size ? std::optional<std::uint64_t>(offset) : std::optional<std::uint64_t>();
}

Result<std::uint64_t> TKLinuxFile::NextHole(std::uint64_t offset) {
    const off_t place = ::lseek(FFd, 0, SEEK_CUR);
    const off_t found = ::lseek(FFd, static_cast<off_t>(offset), SEEK_HOLE);
    const int error = errno;
    if (place >= 0)
        ::lseek(FFd, place, SEEK_SET);
    if (found >= 0)
        return static_cast<std::uint64_t>(found);
    if (error != EINVAL && error != EOPNOTSUPP)
        return ErrnoError(FPath, error);
    const Result<TFileInfo> info = Info();
    if (!info)
        return info.error();
    if (offset > info->Size)
        return ErrnoError(FPath, ENXIO);
    return info->Size;
}

Result<void> TKLinuxFile::Truncate(std::uint64_t size) {
    for (;;) {
        if (::ftruncate(FFd, static_cast<off_t>(size)) == 0)
            return {};
        if (errno != EINTR)
            return ErrnoError(FPath, errno);
    }
}

Result<void> TKLinuxFile::Sync() {
    if (::fsync(FFd) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

Result<TFileInfo> TKLinuxFile::Info() {
    struct stat st {};
    if (::fstat(FFd, &st) != 0)
        return ErrnoError(FPath, errno);
    return FileInfoOf(st);
}

Result<void> TKLinuxFile::SetMode(std::uint32_t mode) {
    if (::fchmod(FFd, static_cast<mode_t>(mode & ModePermissions)) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

Result<void> TKLinuxFile::SetTimes(std::int64_t accessTimeNs, std::int64_t modifyTimeNs) {
    const timespec times[2] = {TimeSpecOf(accessTimeNs), TimeSpecOf(modifyTimeNs)};
    if (::futimens(FFd, times) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

Result<std::size_t> TKLinuxFile::CopyFrom(TKFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                                          std::size_t count) {
    auto* from = dynamic_cast<TKLinuxFile*>(&source);
    if (from == nullptr)
        return Unsupported(FPath, EXDEV, "not a local file");
    auto in = static_cast<loff_t>(sourceOffset);
    auto out = static_cast<loff_t>(offset);
    for (;;) {
        const ssize_t copied = ::copy_file_range(from->FFd, &in, FFd, &out, count, 0);
        if (copied >= 0)
            return static_cast<std::size_t>(copied);
        if (errno == EINTR)
            continue;
        if (CannotShare(errno))
            return Unsupported(FPath, errno, "no in-kernel copy between these files");
        return ErrnoError(FPath, errno);
    }
}

Result<void> TKLinuxFile::CloneFrom(TKFile& source) {
    auto* from = dynamic_cast<TKLinuxFile*>(&source);
    if (from == nullptr)
        return Unsupported(FPath, EXDEV, "not a local file");
    if (::ioctl(FFd, FICLONE, from->FFd) == 0)
        return {};
    if (CannotShare(errno))
        return Unsupported(FPath, errno, "the file system cannot share data between these files");
    return ErrnoError(FPath, errno);
}

Result<void> TKLinuxFile::Lock(int waitMs) {
    // flock itself would wait forever on a stuck holder; polling keeps the wait bounded.
    for (int waited = 0;; waited += LockPollMs) {
        if (::flock(FFd, LOCK_EX | LOCK_NB) == 0)
            return {};
        if (errno != EWOULDBLOCK && errno != EINTR)
            return ErrnoError(FPath, errno);
        if (waited >= waitMs)
            return ErrnoError(FPath, ETIMEDOUT, "another process holds the lock");
        const timespec pause{0, LockPollMs * 1'000'000L};
        ::nanosleep(&pause, nullptr);
    }
}

Result<void> TKLinuxFile::Close() {
    const int fd = FFd;
    FFd = -1;
    if (fd < 0)
        return ErrnoError(FPath, EBADF);
    // The descriptor is gone after close even when it reports an error, so it is never retried.
    if (::close(fd) != 0)
        return ErrnoError(FPath, errno);
    return {};
}

} // namespace ks
