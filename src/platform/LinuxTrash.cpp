#include "platform/LinuxSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LinuxPaths.h"

// The freedesktop Trash: the home trash and the trash folders of the other mounts.

namespace ks {

using namespace platform;

namespace {

std::string PercentEncodePath(const std::string& path) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            std::string_view("/-_.~!*'()").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
        }
    }
    return out;
}

// "report.txt" -> "report.2.txt"; names without an extension (or dot files) get ".2" appended.
std::string NumberedName(const std::string& name, int number) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + "." + std::to_string(number);
    return name.substr(0, dot) + "." + std::to_string(number) + name.substr(dot);
}

bool DeviceOfNearest(std::string path, dev_t& device) {
    while (!path.empty()) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (errno != ENOENT || path == "/")
            return false;
        path = ParentOf(path);
    }
    return false;
}

bool MakeFolder(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

bool MakeFolders(const std::string& path, mode_t mode) {
    if (IsFolder(path))
        return true;
    const std::string parent = ParentOf(path);
    if (!parent.empty() && parent != path && !MakeFolders(parent, mode))
        return false;
    return MakeFolder(path, mode);
}

// A trash folder of a top directory is used only when it is a real folder owned by this user.
bool IsOwnFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

std::string TopDirTrash(const std::string& topDir) {
    const std::string uid = std::to_string(::geteuid());
    const std::string shared = JoinPath(topDir, ".Trash");
    struct stat st {};
    // The shared .Trash is only trusted when an administrator made it sticky; a symlink there
    // could send the user's files anywhere.
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const std::string own = shared + "/" + uid;
        if (MakeFolder(own, 0700) && IsOwnFolder(own))
            return own;
    }
    const std::string own = JoinPath(topDir, ".Trash-" + uid);
    if (MakeFolder(own, 0700) && IsOwnFolder(own))
        return own;
    return {};
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    // Some file systems do not know RENAME_NOREPLACE; there the free name is checked just before.
    if (errno == EINVAL || errno == ENOSYS) {
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0)
            return EEXIST;
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    return errno;
}

} // namespace

Result<void> TKLinuxSystem::MoveToTrash(const std::string& path) {
    const std::string absolute = StripSlash(AbsolutePath(path));
    const std::string parent = ParentOf(absolute);
    std::string name = absolute.substr(parent.empty() ? 0 : absolute.rfind('/') + 1);
    if (absolute.empty() || absolute == "/" || name.empty() || name == "." || name == "..")
        return ErrnoError(path, EINVAL);

    // The Path key must name the item itself, so the folder it sits in is resolved (symlinks,
    // "..") but the item, which may be a symlink, is not.
    char resolved[PATH_MAX];
    if (::realpath(parent.c_str(), resolved) == nullptr)
        return ErrnoError(path, errno);
    const std::string original = JoinPath(resolved, name);
    struct stat item {};
    if (::lstat(original.c_str(), &item) != 0)
        return ErrnoError(path, errno);

    std::string trash;
    // The home trash keeps the full path; a trash of a top directory keeps the path below that
    // top directory, so the note stays right when the disk is mounted elsewhere, and other
    // programs join it to the mount point they find the trash on.
    std::string recorded = original;
    const std::string homeTrash = XdgDataHome() + "/Trash";
    dev_t homeDevice = 0;
    if (DeviceOfNearest(homeTrash, homeDevice) && homeDevice == item.st_dev) {
        if (!MakeFolders(homeTrash, 0700))
            return ErrnoError(homeTrash, errno);
        trash = homeTrash;
    } else {
        const std::vector<TMountEntry> mounts = ReadMountTable();
        const int index = FindMount(mounts, original);
        const std::string topDir =
            index < 0 ? std::string("/") : mounts[static_cast<std::size_t>(index)].Root;
        trash = TopDirTrash(topDir);
        if (trash.empty())
            return TError{TErrorCode::ecAccess, EACCES, path, "no trash folder on this file system"};
        // FindMount only answers a root that original starts with; a mount point itself cannot
        // be renamed away.
        const std::size_t below = topDir == "/" ? 1 : topDir.size() + 1;
        if (original.size() <= below)
            return ErrnoError(path, EBUSY);
        recorded = original.substr(below);
    }
    const std::string files = trash + "/files";
    const std::string info = trash + "/info";
    if (!MakeFolder(files, 0700) || !MakeFolder(info, 0700))
        return ErrnoError(trash, errno);

    // Both the item and its .trashinfo must fit NAME_MAX; the stored name need not equal the
    // original one, which the Path key keeps.
    constexpr std::size_t MaxStoredName = 200;
    if (name.size() > MaxStoredName) {
        std::size_t cut = MaxStoredName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }

    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string content =
        "[Trash Info]\nPath=" + PercentEncodePath(recorded) + "\nDeletionDate=" + date + "\n";

    for (int number = 1; number < 10000; ++number) {
        const std::string stored = number == 1 ? name : NumberedName(name, number);
        const std::string infoPath = info + "/" + stored + ".trashinfo";
        // The .trashinfo is created first and exclusively: it reserves the name against other
        // programs trashing at the same moment.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return ErrnoError(infoPath, errno);
        const bool written = WriteAll(fd, content);
        const int writeErrno = errno;
        ::close(fd);
        if (!written) {
            ::unlink(infoPath.c_str());
            return ErrnoError(infoPath, writeErrno);
        }
        const int rc = RenameNoReplace(original, files + "/" + stored);
        if (rc == 0)
            return {};
        ::unlink(infoPath.c_str());
        if (rc != EEXIST && rc != ENOTEMPTY)
            return ErrnoError(path, rc);
    }
    return ErrnoError(path, EEXIST, "no free name in the trash");
}

} // namespace ks
