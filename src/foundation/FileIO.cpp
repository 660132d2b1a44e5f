#include "foundation/FileIO.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks {

namespace {

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

Result<void> ReplaceFile(const std::string& path, std::string_view content) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return ErrnoError(path, errno);
    struct stat old {};
    const mode_t mode =
        (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ? (old.st_mode & 07777) : 0644;
    int failure = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, content) || ::fsync(fd) != 0)
        failure = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        return ErrnoError(path, failure);
    }
    // The rename itself reaches the disk with the folder's metadata.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

std::optional<std::string> ReadFileStart(const std::string& path, std::size_t maxBytes, bool keepPartial) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    char buffer[65536];
    bool failed = false;
    while (data.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buffer, maxBytes - data.size());
        const ssize_t got = ::read(fd, buffer, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failed = !keepPartial || data.empty();
            break;
        }
        if (got == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (failed)
        return std::nullopt;
    return data;
}

} // namespace ks
