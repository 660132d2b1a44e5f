#include "platform/LinuxSystem.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#include "foundation/DELTA9.h"
#include "platform/LinuxPaths.h"

// Mounts and volumes: the mount table, drive types, labels and serials, sizes and free space.

namespace ks {

using namespace platform;

namespace {

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

} // namespace

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

std::string TKLinuxSystem::DriveRoot(const std::string& path) const {
    if (path.empty())
        return {};
    const std::string full = StripSlash(AbsolutePath(path));
    const std::vector<TMountEntry> mounts = ReadMountTable();
    const int index = FindMount(mounts, full);
    return index < 0 ? std::string("/") : AddBackslash(mounts[static_cast<std::size_t>(index)].Root);
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
