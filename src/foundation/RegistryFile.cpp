#include "foundation/RegistryFile.h"

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks::registry {

namespace {

// How long a flush waits for another process's flush to finish.
constexpr int LockWaitMs = 10000;

} // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TFd::~TFd() {
    Reset();
}

void TFd::Assign(int fd) {
    Reset();
    FFd = fd;
}

int TFd::Reset() {
    const int result = FFd >= 0 ? ::close(FFd) : 0;
    FFd = -1;
    return result;
}

TError StoreDamage(std::string detail) {
    TError error;
    error.Code = TErrorCode::ecParse;
    error.Detail = std::move(detail);
    return error;
}

Result<TStoreText> ReadStoreText(const std::string& path) {
    TStoreText file;
    // Without O_NONBLOCK opening a FIFO waits for a writer, which may never come; O_NOCTTY keeps
    // a terminal from becoming the controlling one. Neither changes how a regular file reads.
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (fd.Get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            return file;
        // Some things that are not files cannot be opened at all (a socket gives ENXIO); they
        // are damage to set aside, not a failure to read.
        if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            file.Damage = StoreDamage("not a regular file");
            return file;
        }
        return ErrnoError(path, error);
    }
    if (::fstat(fd.Get(), &info) != 0)
        return ErrnoError(path, errno);
    if (!S_ISREG(info.st_mode)) {
        file.Damage = StoreDamage("not a regular file");
        return file;
    }
    const auto tooLarge = [] {
        return StoreDamage("larger than " + std::to_string(MaxFileSize >> 20) + " MiB");
    };
    if (static_cast<std::uintmax_t>(info.st_size) > MaxFileSize) {
        file.Damage = tooLarge();
        return file;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ErrnoError(path, errno);
        }
        if (got == 0)
            break;
        // The file may have grown since the fstat.
        if (text.size() + static_cast<std::size_t>(got) > MaxFileSize) {
            file.Damage = tooLarge();
            return file;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    file.Text = std::move(text);
    return file;
}

Result<void> MakeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return {};
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0) {
            // An existing folder may answer EACCES instead of EEXIST when its parent is not ours.
            const int error = errno;
            if (::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                return ErrnoError(part, error);
        }
        if (slash == std::string::npos)
            return {};
    }
}

Result<void> TStoreLock::Acquire(const std::string& lockPath) {
    FFd.Assign(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (FFd.Get() < 0)
        return ErrnoError(lockPath, errno);
    // flock itself would wait forever on a stuck holder; polling keeps the wait bounded.
    for (int waited = 0;; waited += 5) {
        if (::flock(FFd.Get(), LOCK_EX | LOCK_NB) == 0)
            return {};
        if (errno != EWOULDBLOCK && errno != EINTR)
            return ErrnoError(lockPath, errno);
        if (waited >= LockWaitMs)
            return ErrnoError(lockPath, ETIMEDOUT, "another process holds the store lock");
        const timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

void RemoveStaleTemps(const std::string& filePath) {
    const std::string folder = FolderOf(filePath);
    const std::string prefix = BaseName(filePath) + ".tmp-";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string_view(entry->d_name).starts_with(prefix))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

Result<std::string> SetAside(const std::string& filePath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = filePath + ".bad-" + stamp;
    for (int n = 1; n <= 1000; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        if (::renameat2(AT_FDCWD, filePath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return ErrnoError(filePath, errno);
        // A file system without RENAME_NOREPLACE: check first (the store lock is held).
        struct stat info {};
        if (::lstat(target.c_str(), &info) == 0)
            continue;
        if (::rename(filePath.c_str(), target.c_str()) == 0)
            return target;
        return ErrnoError(filePath, errno);
    }
    return ErrnoError(filePath, EEXIST, "no free name to set the damaged file aside");
}

Result<void> ReplaceStoreFile(const std::string& filePath, const std::string& text) {
    const std::string tempPath = filePath + ".tmp-" + std::to_string(::getpid());
    TFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0)
        return ErrnoError(tempPath, errno);
    auto fail = [&](int errnoValue) -> Result<void> {
        fd.Reset();
        ::unlink(tempPath.c_str());
        return ErrnoError(tempPath, errnoValue);
    };
    // The umask may have taken bits away; the store is private whatever it says.
    if (::fchmod(fd.Get(), 0600) != 0)
        return fail(errno);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::fsync(fd.Get()) != 0)
        return fail(errno);
    if (fd.Reset() != 0)
        return fail(errno);
    if (::rename(tempPath.c_str(), filePath.c_str()) != 0)
        return fail(errno);
    // The rename is done and visible; syncing the folder makes it survive a power cut. Some
    // file systems refuse to sync a folder, and the new file is in place either way, so a
    // failure here is not reported.
    TFd folder(::open(FolderOf(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
    return {};
}

} // namespace ks::registry
