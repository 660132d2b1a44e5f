#include "platform/LinuxSystem.h"

#include <cerrno>
#include <climits>
#include <fstream>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/DELTA9.h"
#include "platform/LinuxPaths.h"

// The program's folders: its data, the private temporary folder, the XDG folders of the user.

namespace ks {

using namespace platform;

namespace {

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

} // namespace

std::string TKLinuxSystem::AppPath() const {
    const std::string overridden = GetEnv("KSABLE_DATA_DIR");
    if (!overridden.empty())
        return AddBackslash(overridden);
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return "/usr/share/ksable/";
    const std::string exeFolder = ParentOf(std::string(buffer, static_cast<std::size_t>(length)));
    if (IsFolder(JoinPath(exeFolder, "lang")) || IsFolder(JoinPath(exeFolder, "skins")))
        return AddBackslash(exeFolder);
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

} // namespace ks
