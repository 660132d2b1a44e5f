#include "shell/TypePath.h"

#include "foundation/DELTA9.h"
#include "foundation/System.h"

#include <vector>

namespace ks {

std::string NormalizeAbsolutePath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t slash = path.find('/', at);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        const std::string_view part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty())
        return "/";
    std::string normal;
    for (const std::string_view part : parts) {
        normal += '/';
        normal += part;
    }
    return normal;
}

std::optional<std::string> ResolveTypedPath(std::string_view typed, const std::string& activeFolder) {
    if (typed.empty() || typed.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string path(typed);
    // A macro whose folder the desktop does not know expands to nothing, which must not fall
    // back to the active folder.
    if (ExpandPathMacro(path) && path.empty())
        return std::nullopt;
    if (path == "~" || path.starts_with("~/"))
        path = System().HomeDir() + path.substr(1);
    if (path.front() != '/') {
        if (activeFolder.empty() || activeFolder.front() != '/')
            return std::nullopt;
        path = AddBackslash(activeFolder) + path;
    }
    std::string folder = NormalizeAbsolutePath(path);
    if (!FolderExists(folder))
        return std::nullopt;
    return folder;
}

} // namespace ks
