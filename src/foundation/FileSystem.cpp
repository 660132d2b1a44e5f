#include "foundation/FileSystem.h"

#include <cerrno>

namespace ks {

Result<void> TKFileSystem::ListFolderTypes(const std::string& path,
                                           const std::function<bool(std::string_view, TEntryType)>& each) {
    return ListFolder(path, [&](const TDirEntry& entry) {
        TEntryType type = TEntryType::etFile;
        if (entry.IsLink)
            type = TEntryType::etLink;
        else if (entry.IsFolder)
            type = TEntryType::etFolder;
        else if ((entry.Attr & 4) != 0)
            type = TEntryType::etOther;
        return each(entry.Name, type);
    });
}

Result<std::unique_ptr<TKFolder>> TKFileSystem::OpenFolder(const std::string& path) {
    return TError{TErrorCode::ecUnsupported, 0, path, "this file system cannot change files"};
}

Result<TFolderEntry> OpenEntryFolder(TKFileSystem& fileSystem, const std::string& fullName) {
    std::string_view path = fullName;
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    const TError notAnEntry{TErrorCode::ecNotFound, ENOENT, fullName, "not the full name of an entry"};
    if (slash == std::string_view::npos || path.size() == 1)
        return notAnEntry;
    const std::string_view name = path.substr(slash + 1);
    if (name == "." || name == "..")
        return notAnEntry;
    Result<std::unique_ptr<TKFolder>> folder =
        fileSystem.OpenFolder(slash == 0 ? std::string("/") : std::string(path.substr(0, slash)));
    if (!folder)
        return folder.error();
    return TFolderEntry{std::move(*folder), std::string(name)};
}

} // namespace ks
