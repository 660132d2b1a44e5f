#include "support/TempTree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace ks::test {

TempTree::TempTree() : TempTree(std::filesystem::temp_directory_path().string()) {}

TempTree::TempTree(const std::string& base) {
    std::string pattern = (std::filesystem::path(base) / "kstest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

std::string TempTree::MemoryBase() {
    struct statfs info {};
    if (::statfs("/dev/shm", &info) == 0 && info.f_type == TMPFS_MAGIC && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

namespace {

// Removes everything below the open folder fd (taken over) and the folder itself from parentFd,
// keeping only one folder open at a time, so trees deeper than PATH_MAX go too. Folders are
// made writable on the way, so a test's read-only leftovers can go. A disk mounted inside is
// never entered: its folder stays, and the walk cannot come back to it for ever.
void RemoveBelow(int fd, int parentFd, const std::string& topName) {
    std::vector<std::string> names{topName}; // the folder names from the top down to fd
    int current = fd;
    struct stat top {};
    ::fstat(fd, &top);
    ::close(parentFd);
    while (current >= 0) {
        ::fchmod(current, 0700);
        std::string subFolder;
        if (DIR* dir = ::fdopendir(::dup(current))) {
            std::vector<std::string> files;
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                struct stat st {};
                if (::fstatat(current, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
                    if (subFolder.empty() && st.st_dev == top.st_dev)
                        subFolder = name;
                } else {
                    files.push_back(name);
                }
            }
            ::closedir(dir);
            for (const std::string& name : files)
                ::unlinkat(current, name.c_str(), 0);
        }
        if (!subFolder.empty()) {
            const int next =
                ::openat(current, subFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0) {
                ::close(current);
                current = next;
                names.push_back(subFolder);
                continue;
            }
            ::fchmodat(current, subFolder.c_str(), 0700, 0);
            if (::unlinkat(current, subFolder.c_str(), AT_REMOVEDIR) == 0)
                continue;
        }
        // Empty now (or stuck): up one level through "..", and the folder goes.
        const int up = names.size() > 1 ? ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(current);
        current = up;
        if (up >= 0) {
            ::unlinkat(up, names.back().c_str(), AT_REMOVEDIR);
            names.pop_back();
        }
    }
}

} // namespace

TempTree::~TempTree() {
    const std::filesystem::path path(FPath);
    const int parent = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int top = ::open(FPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parent < 0 || top < 0) {
        if (parent >= 0)
            ::close(parent);
        if (top >= 0)
            ::close(top);
        return;
    }
    RemoveBelow(top, ::dup(parent), path.filename().string());
    ::unlinkat(parent, path.filename().c_str(), AT_REMOVEDIR);
    ::close(parent);
}

std::string TempTree::File(const std::string& relative, const std::string& content) const {
    const std::filesystem::path full = std::filesystem::path(FPath) / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
    return full.string();
}

std::string TempTree::Folder(const std::string& relative) const {
    const std::filesystem::path full = std::filesystem::path(FPath) / relative;
    std::filesystem::create_directories(full);
    return full.string();
}

bool TempTree::DeepChain(const std::string& relative, int depth, const std::string& content) const {
    int fd = ::open(Folder(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < depth; ++i) {
        const int next =
            ::mkdirat(fd, "dd", 0755) == 0 ? ::openat(fd, "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const int file = ::openat(fd, "f", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ::close(fd);
    const bool written =
        file >= 0 && ::write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    if (file >= 0)
        ::close(file);
    return written;
}

std::string TempTree::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ks::test
