#include "platform/LinuxPaths.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace ks::platform {

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string StripSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string WithSlash(const std::string& path) {
    if (path.empty() || path.back() == '/')
        return path;
    return path + "/";
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
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string folder = path.substr(start, end - start);
        if (!folder.empty() && folder[0] == '/' && IsExecutableFile(JoinPath(folder, name)))
            return JoinPath(folder, name);
        start = end + 1;
    }
    return {};
}

} // namespace ks::platform
