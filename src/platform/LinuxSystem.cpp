#include "platform/LinuxSystem.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/LinuxPaths.h"

namespace ks {

using namespace platform;

namespace {

std::string Home() {
    std::string home = GetEnv("HOME");
    if (!home.empty())
        return StripSlash(home);
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return StripSlash(found->pw_dir);
    return "/";
}

// XDG base directories must be absolute; a relative value is ignored as the XDG rules say.
std::string XdgDir(const char* variable, const char* fallbackBelowHome) {
    const std::string value = GetEnv(variable);
    if (!value.empty() && value[0] == '/')
        return StripSlash(value);
    return JoinPath(Home(), fallbackBelowHome);
}

std::string XdgConfigHome() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}
std::string XdgDataHome() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

// user-dirs.dirs is a shell fragment of lines XDG_DESKTOP_DIR="$HOME/Desktop"; the value is
// either "$HOME/..." or an absolute path, with backslash escapes. The last assignment wins.
std::string UserDir(std::string_view key, const std::string& fallback) {
    std::ifstream in(XdgConfigHome() + "/user-dirs.dirs");
    std::string result = fallback;
    std::string line;
    while (std::getline(in, line)) {
        std::size_t pos = line.find_first_not_of(" \t");
        if (pos == std::string::npos || line.compare(pos, key.size(), key) != 0)
            continue;
        pos += key.size();
        if (line.compare(pos, 2, "=\"") != 0)
            continue;
        std::string value;
        bool closed = false;
        for (pos += 2; pos < line.size(); ++pos) {
            if (line[pos] == '\\' && pos + 1 < line.size()) {
                value += line[++pos];
            } else if (line[pos] == '"') {
                closed = true;
                break;
            } else {
                value += line[pos];
            }
        }
        if (!closed)
            continue;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            result = StripSlash(Home() + value.substr(5));
        else if (!value.empty() && value[0] == '/')
            result = StripSlash(value);
    }
    return result;
}

// Accepts dir as a private folder when it is a real folder (not a symlink) owned by this user.
// Its mode is forced to 0700 through the opened descriptor so a swapped name cannot redirect the
// change.
bool MakePrivate(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ok && (st.st_mode & 07777) != 0700)
        ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

// Creates parent/name as a private folder, or accepts it when it already is one.
std::string PrivateDir(const std::string& parentIn, const std::string& name) {
    const std::string parent = StripSlash(parentIn);
    if (parent.empty() || parent[0] != '/')
        return {};
    const std::string dir = JoinPath(parent, name);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return MakePrivate(dir) ? dir + "/" : std::string();
}

// Creates a new private folder parent/prefix-XXXXXX with a name nobody can know beforehand;
// mkdtemp makes it 0700 and never reuses an existing name.
std::string UniquePrivateDir(const std::string& parentIn, const std::string& prefix) {
    const std::string parent = StripSlash(parentIn);
    if (parent.empty() || parent[0] != '/')
        return {};
    std::string pattern = JoinPath(parent, prefix + "-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return MakePrivate(pattern) ? pattern + "/" : std::string();
}

// Mount points in mountinfo escape space, tab, newline and backslash as three octal digits.
std::string UnescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// udev escapes the labels in /dev/disk/by-label as \xHH (spaces, slashes, non-ASCII bytes).
std::string UnescapeUdevName(std::string_view name) {
    auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
            hex(name[i + 3]) >= 0) {
            out += static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3]));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

// Cuts a UTF-8 text to at most count characters.
std::string CutCharacters(const std::string& text, std::size_t count) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == count)
            return text.substr(0, i);
    }
    return text;
}

// Index of the mount whose root is the longest one containing path; the later of two equal
// roots wins, as it hides the earlier one.
int FindMount(const std::vector<TMountEntry>& mounts, const std::string& path) {
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        const std::string& root = mounts[i].Root;
        const bool contains = root == "/" || path == root ||
                              (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                               path[root.size()] == '/');
        if (contains && root.size() >= bestLength) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

// The block device behind a mount, 0 when there is none. Btrfs and some others report an
// anonymous st_dev in the mount table, so a /dev source is asked first.
dev_t BlockDeviceOf(const TMountEntry& mount) {
    if (mount.Source.compare(0, 5, "/dev/") == 0) {
        struct stat st {};
        if (::stat(mount.Source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            return st.st_rdev;
    }
    return mount.Major != 0 ? makedev(mount.Major, mount.Minor) : 0;
}

// The name in a /dev/disk/by-* folder whose link leads to device; empty when none does.
std::string DiskLinkName(const char* folder, dev_t device) {
    if (device == 0)
        return {};
    DIR* dir = ::opendir(folder);
    if (dir == nullptr)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (entry->d_name[0] != '.' && ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 &&
            S_ISBLK(st.st_mode) && st.st_rdev == device) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsRemovableDevice(dev_t device) {
    if (device == 0)
        return false;
    const std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char real[PATH_MAX];
    if (::realpath(link.c_str(), real) == nullptr)
        return false;
    const std::string sysPath = real;
    if (sysPath.find("/usb") != std::string::npos)
        return true;
    // A partition has no "removable" file of its own; its disk is the parent folder.
    std::string removable = ReadFirstLine(sysPath + "/removable");
    if (removable.empty())
        removable = ReadFirstLine(sysPath + "/../removable");
    return removable == "1";
}

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

std::vector<TMountEntry> ParseMountTable(std::string_view text) {
    std::vector<TMountEntry> mounts;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        std::vector<std::string_view> fields;
        std::string_view rest = line;
        while (!rest.empty()) {
            const std::size_t space = rest.find(' ');
            fields.push_back(rest.substr(0, space));
            if (space == std::string_view::npos)
                break;
            rest.remove_prefix(space + 1);
        }
        // id parent major:minor root mount-point options [optional fields] - type source options
        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3)
            continue;
        TMountEntry entry;
        const std::string device(fields[2]);
        const std::size_t colon = device.find(':');
        if (colon == std::string::npos)
            continue;
        entry.Major = static_cast<unsigned>(std::strtoul(device.c_str(), nullptr, 10));
        entry.Minor = static_cast<unsigned>(std::strtoul(device.c_str() + colon + 1, nullptr, 10));
        entry.Root = StripSlash(UnescapeMountField(fields[4]));
        entry.FsType = UnescapeMountField(dash[1]);
        entry.Source = UnescapeMountField(dash[2]);
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::vector<TMountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseMountTable(text);
}

int DriveTypeOf(const TMountEntry& mount) {
    static const std::string_view Pseudo[] = {
        "proc",     "sysfs",  "devtmpfs",   "devpts",    "mqueue",      "debugfs",   "tracefs", "securityfs",
        "bpf",      "autofs", "fusectl",    "configfs",  "binfmt_misc", "hugetlbfs", "pstore",  "squashfs",
        "efivarfs", "nsfs",   "rpc_pipefs", "selinuxfs", "cgroup",      "cgroup2"};
    static const std::string_view Network[] = {
        "nfs",         "nfs4",      "cifs",           "smb3",
        "smbfs",       "9p",        "davfs",          "ncpfs",
        "afs",         "ceph",      "glusterfs",      "fuse.sshfs",
        "fuse.rclone", "fuse.s3fs", "fuse.curlftpfs", "fuse.gvfsd-fuse"};
    const std::string& type = mount.FsType;
    if (std::find(std::begin(Pseudo), std::end(Pseudo), type) != std::end(Pseudo) || type == "fuse.portal")
        return 1;
    if (type == "tmpfs" || type == "ramfs") {
        const bool visible =
            mount.Root == "/tmp" || mount.Root == "/dev/shm" || mount.Root.compare(0, 10, "/run/user/") == 0;
        return visible ? 6 : 1;
    }
    if (type == "iso9660" || type == "udf")
        return 5;
    if (std::find(std::begin(Network), std::end(Network), type) != std::end(Network))
        return 4;
    static const std::string_view Local[] = {"ext2", "ext3",     "ext4",    "xfs",    "btrfs",    "f2fs",
                                             "zfs",  "ntfs",     "ntfs3",   "exfat",  "vfat",     "msdos",
                                             "jfs",  "reiserfs", "hfsplus", "nilfs2", "bcachefs", "fuseblk"};
    const dev_t device = BlockDeviceOf(mount);
    const bool local = std::find(std::begin(Local), std::end(Local), type) != std::end(Local);
    if ((local || device != 0) && IsRemovableDevice(device))
        return 2;
    // Overlay and FUSE file systems have no block device of their own but hold local files.
    if (local || device != 0 || type == "overlay" || type.compare(0, 5, "fuse.") == 0)
        return 3;
    return 1;
}

std::string TKLinuxSystem::AppPath() const {
    const std::string overridden = GetEnv("KSABLE_DATA_DIR");
    if (!overridden.empty())
        return WithSlash(overridden);
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return "/usr/share/ksable/";
    const std::string exeFolder = ParentOf(std::string(buffer, static_cast<std::size_t>(length)));
    if (IsFolder(JoinPath(exeFolder, "lang")) || IsFolder(JoinPath(exeFolder, "skins")))
        return WithSlash(exeFolder);
    return JoinPath(ParentOf(exeFolder), "share/ksable/");
}

std::string TKLinuxSystem::TempDir() const {
    std::lock_guard<std::mutex> lock(FTempDirLock);
    // The folder found first stays the answer while it is still private: a folder made by
    // mkdtemp could not be found again, and files put into it must stay reachable.
    if (!FTempDir.empty() && MakePrivate(StripSlash(FTempDir)))
        return FTempDir;
    FTempDir.clear();
    const std::string runtime = GetEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        FTempDir = PrivateDir(runtime, "ksable");
    // A shared temporary folder lets anyone take the fixed name first (a folder of their own, a
    // symlink); then a folder with an unpredictable name is made beside it. A relative or
    // unusable TMPDIR falls back to /tmp.
    const std::string prefix = "ksable-" + std::to_string(::geteuid());
    std::vector<std::string> parents;
    if (const std::string tmp = GetEnv("TMPDIR"); !tmp.empty() && tmp[0] == '/')
        parents.push_back(tmp);
    if (parents.empty() || StripSlash(parents.front()) != "/tmp")
        parents.push_back("/tmp");
    for (const std::string& parent : parents) {
        if (FTempDir.empty())
            FTempDir = PrivateDir(parent, prefix);
        if (FTempDir.empty())
            FTempDir = UniquePrivateDir(parent, prefix);
    }
    return FTempDir;
}

std::string TKLinuxSystem::WindowsDir() const {
    return "/usr";
}
std::string TKLinuxSystem::SystemDir() const {
    return "/usr/bin";
}
std::string TKLinuxSystem::ProgramFilesDir() const {
    return "/opt";
}
std::string TKLinuxSystem::CommonFilesDir() const {
    return "/usr/share";
}

std::string TKLinuxSystem::ShellFolder(std::string_view name) const {
    if (EqualsNoCase(name, "Desktop"))
        return UserDir("XDG_DESKTOP_DIR", Home() + "/Desktop");
    if (EqualsNoCase(name, "Personal"))
        return UserDir("XDG_DOCUMENTS_DIR", Home() + "/Documents");
    if (EqualsNoCase(name, "Programs"))
        return XdgDataHome() + "/applications";
    if (EqualsNoCase(name, "Startup"))
        return XdgConfigHome() + "/autostart";
    return {};
}

std::string TKLinuxSystem::HomeDir() const {
    return Home();
}
std::string TKLinuxSystem::ConfigDir() const {
    return XdgConfigHome() + "/ksable/";
}
std::string TKLinuxSystem::UserDataDir() const {
    return XdgDataHome() + "/ksable/";
}

std::string TKLinuxSystem::LocaleId() const {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = GetEnv(variable);
        if (!locale.empty())
            break;
    }
    // language[_territory][.codeset][@modifier]
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    const std::string language = name.substr(0, name.find('_'));
    if (name == "de_AT")
        return "00000C07";
    static const std::pair<std::string_view, std::string_view> Table[] = {
        {"sk", "0000041B"}, {"cs", "00000405"}, {"hu", "0000040E"}, {"nl", "00000413"},
        {"pl", "00000415"}, {"ru", "00000419"}, {"de", "00000407"}};
    for (const auto& [code, id] : Table) {
        if (language == code)
            return std::string(id);
    }
    return {};
}

namespace {

// The MIME type the shared database gives a file name with this extension; invalid when the
// extension is empty or unknown.
QMimeType MimeTypeOfExtension(std::string_view ext) {
    if (ext.empty())
        return {};
    const std::string name = ext[0] == '.' ? "x" + std::string(ext) : "x." + std::string(ext);
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension);
    return type.isDefault() ? QMimeType() : type;
}

} // namespace

std::string TKLinuxSystem::FileTypeName(std::string_view ext) const {
    const QMimeType type = MimeTypeOfExtension(ext);
    return type.isValid() ? type.comment().toStdString() : std::string();
}

std::string TKLinuxSystem::ContentType(std::string_view ext) const {
    const QMimeType type = MimeTypeOfExtension(ext);
    return type.isValid() ? type.name().toStdString() : std::string();
}

std::string TKLinuxSystem::DriveRoot(const std::string& path) const {
    if (path.empty())
        return {};
    const std::string full = StripSlash(AbsolutePath(path));
    const std::vector<TMountEntry> mounts = ReadMountTable();
    const int index = FindMount(mounts, full);
    return index < 0 ? std::string("/") : WithSlash(mounts[static_cast<std::size_t>(index)].Root);
}

std::optional<TVolumeInfo> TKLinuxSystem::VolumeInfo(const std::string& root) const {
    if (root.empty())
        return std::nullopt;
    struct statvfs sv {};
    if (::statvfs(root.c_str(), &sv) != 0)
        return std::nullopt;
    TVolumeInfo info;
    info.MaxNameLength = static_cast<std::uint32_t>(sv.f_namemax);
    const std::vector<TMountEntry> mounts = ReadMountTable();
    const int index = FindMount(mounts, StripSlash(AbsolutePath(root)));
    if (index < 0) {
        info.DriveType = 3;
        return info;
    }
    const TMountEntry& mount = mounts[static_cast<std::size_t>(index)];
    info.FileSystem = mount.FsType.substr(0, 12);
    info.DriveType = DriveTypeOf(mount);
    const dev_t device = BlockDeviceOf(mount);
    info.Label = CutCharacters(UnescapeUdevName(DiskLinkName("/dev/disk/by-label", device)), 12);
    std::string serial;
    for (const char c : DiskLinkName("/dev/disk/by-uuid", device)) {
        if (c != '-' && serial.size() < 8)
            serial += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    info.Serial = serial;
    return info;
}

std::int64_t TKLinuxSystem::DiskSize(const std::string& path) const {
    struct statvfs sv {};
    if (path.empty() || ::statvfs(path.c_str(), &sv) != 0)
        return 0;
    return static_cast<std::int64_t>(sv.f_blocks) * static_cast<std::int64_t>(sv.f_frsize);
}

std::int64_t TKLinuxSystem::DiskFree(const std::string& path) const {
    struct statvfs sv {};
    if (path.empty() || ::statvfs(path.c_str(), &sv) != 0)
        return 0;
    return static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
}

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
    const std::string homeTrash = XdgDataHome() + "/Trash";
    dev_t homeDevice = 0;
    if (DeviceOfNearest(homeTrash, homeDevice) && homeDevice == item.st_dev) {
        if (!MakeFolders(homeTrash, 0700))
            return ErrnoError(homeTrash, errno);
        trash = homeTrash;
    } else {
        const std::vector<TMountEntry> mounts = ReadMountTable();
        const int index = FindMount(mounts, original);
        trash = TopDirTrash(index < 0 ? std::string("/") : mounts[static_cast<std::size_t>(index)].Root);
        if (trash.empty())
            return TError{TErrorCode::ecAccess, EACCES, path, "no trash folder on this file system"};
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
        "[Trash Info]\nPath=" + PercentEncodePath(original) + "\nDeletionDate=" + date + "\n";

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

void TKLinuxSystem::CopyTextToClipboard(const std::string& text) {
    if (FClipboardSetter)
        FClipboardSetter(text);
}

std::string TKLinuxSystem::GetClipboardText() {
    return FClipboardGetter ? FClipboardGetter() : std::string();
}

void TKLinuxSystem::SetClipboard(TClipboardSetter setter, TClipboardGetter getter) {
    FClipboardSetter = std::move(setter);
    FClipboardGetter = std::move(getter);
}

} // namespace ks

namespace ks {

std::vector<TDriveEntry> TKLinuxSystem::ListDrives() const {
    // A later mount on the same point hides an earlier one, so the last entry of a root wins.
    std::vector<TMountEntry> mounts = ReadMountTable();
    std::vector<TDriveEntry> drives;
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        const std::string root = it->Root == "/" ? "/" : it->Root + "/";
        bool seen = false;
        for (const auto& drive : drives)
            seen = seen || drive.Root == root;
        if (seen)
            continue;
        const int type = DriveTypeOf(*it);
        if (type == 1)
            continue;
        TDriveEntry drive;
        drive.Root = root;
        drive.DriveType = type;
        if (const auto info = VolumeInfo(root))
            drive.Label = info->Label;
        drives.push_back(std::move(drive));
    }
    std::sort(drives.begin(), drives.end(), [](const TDriveEntry& a, const TDriveEntry& b) {
        if ((a.Root == "/") != (b.Root == "/"))
            return a.Root == "/";
        return a.Root < b.Root;
    });
    return drives;
}

} // namespace ks
