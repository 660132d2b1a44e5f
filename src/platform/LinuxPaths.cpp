#include "platform/LinuxPaths.h"

#include "foundation/DELTA9.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks::platform {

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

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

namespace {

// XDG base directories must be absolute; a relative value is ignored as the XDG rules say.
std::string XdgDir(const char* variable, const char* fallbackBelowHome) {
    const std::string value = GetEnv(variable);
    if (!value.empty() && value[0] == '/')
        return StripSlash(value);
    return JoinPath(Home(), fallbackBelowHome);
}

} // namespace

std::string XdgConfigHome() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}
std::string XdgDataHome() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

std::string StripSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0 &&
           ::access(path.c_str(), X_OK) == 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return JoinPath(cwd, path);
}

// Only absolute PATH entries count: a relative one would name another folder once the started
// program has changed to its working folder.
std::string FindInPath(const std::string& name) {
    std::string path = GetEnv("PATH");
    if (path.empty())
        path = "/usr/local/bin:/usr/bin:/bin";
    std::string found;
    ForEachField(path, ':', [&](std::string_view entry) {
        const std::string folder(entry);
        if (folder.empty() || folder[0] != '/' || !IsExecutableFile(JoinPath(folder, name)))
            return true;
        found = JoinPath(folder, name);
        return false;
    });
    return found;
}

} // namespace ks::platform
