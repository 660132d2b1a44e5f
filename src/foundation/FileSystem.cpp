#include "foundation/FileSystem.h"

#include <cerrno>
#include <random>

#include "foundation/DELTA9.h"

namespace ks {

namespace {

// Read size of the whole-file reads.
constexpr std::size_t ReadChunk = 65536;
// How many taken temporary names a replace tries before it gives up.
constexpr int TempNameTries = 100;

// The folder holding path and the name of its last part (trailing "/" ignored); a path without
// "/" lies in ".".
struct TPathParts {
    std::string Folder;
    std::string Name;
};

TPathParts SplitPath(const std::string& path) {
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string_view::npos)
        return {".", std::string(trimmed)};
    return {slash == 0 ? std::string("/") : std::string(trimmed.substr(0, slash)),
            std::string(trimmed.substr(slash + 1))};
}

TError WithPath(TError error, const std::string& path) {
    error.Path = path;
    return error;
}

TError NotRegular(const std::string& path, bool folder) {
    return TError{TErrorCode::ecNotRegular, folder ? EISDIR : EINVAL, path, "not a regular file"};
}

TError TooLarge(const std::string& path, std::size_t maxBytes) {
    return TError{TErrorCode::ecTooLarge, EFBIG, path, "larger than " + std::to_string(maxBytes) + " bytes"};
}

// Six letters or digits nobody can know beforehand, for a temporary name.
std::string RandomSuffix() {
    static constexpr std::string_view Letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    std::string suffix;
    for (int i = 0; i < 6; ++i, bits /= Letters.size())
        suffix += Letters[bits % Letters.size()];
    return suffix;
}

} // namespace

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

Result<void> TKFolder::SyncFileSystem() {
    return TError{TErrorCode::ecUnsupported, 0, {}, "nothing to flush"};
}

Result<std::unique_ptr<TKFolder>> TKFileSystem::OpenFolder(const std::string& path) {
    return TError{TErrorCode::ecUnsupported, 0, path, "this file system cannot change files"};
}

Result<std::string> TKFolder::FindName(std::string_view name) {
    if (Result<TDirEntry> exact = Describe(name); exact && Resolves(*exact))
        return std::string(name);
    std::optional<std::string> found;
    (void)List([&](std::string_view entry, TEntryType) {
        if (!SameText(entry, name))
            return true;
        found = std::string(entry);
        return false;
    });
    if (found)
        return std::move(*found);
    return ErrnoError(std::string(name), ENOENT);
}

Result<void> TKFolder::ReplaceFile(std::string_view name, std::string_view content, TReplaceMode how,
                                   std::uint32_t mode) {
    std::uint32_t bits = mode;
    if (how == TReplaceMode::rmKeepOld) {
        if (Result<TDirEntry> old = Describe(name); old && IsFileMode(old->Mode))
            bits = old->Mode;
    }
    std::unique_ptr<TKFile> file;
    std::string temp;
    for (int tries = 1;; ++tries) {
        temp = std::string(name) + ".tmp-" + RandomSuffix();
        Result<std::unique_ptr<TKFile>> made = OpenFile(temp, ofWrite | ofCreate | ofExclusive, 0600);
        if (made) {
            file = std::move(*made);
            break;
        }
        if (made.error().Code != TErrorCode::ecExists || tries == TempNameTries)
            return made.error();
    }
    // The mode is set through the open file, so the umask cannot take bits away.
    Result<void> done = file->SetMode(bits & ModePermissions);
    if (done)
        done = file->Write(content);
    if (done)
        done = file->Sync();
    if (Result<void> closed = file->Close(); done && !closed)
        done = closed;
    if (done)
        done = Rename(temp, *this, name, false);
    if (!done) {
        (void)RemoveFile(temp);
        return done.error();
    }
    // The rename is done and visible; flushing the folder makes it survive a power cut. Some
    // file systems refuse to flush a folder, and the new file is in place either way.
    (void)Sync();
    return {};
}

Result<std::unique_ptr<TKFile>> TKFileSystem::OpenFile(const std::string& path, std::uint32_t flags,
                                                       std::uint32_t mode) {
    const TPathParts parts = SplitPath(path);
    Result<std::unique_ptr<TKFolder>> folder = OpenFolder(parts.Folder);
    if (!folder)
        return WithPath(folder.error(), path);
    Result<std::unique_ptr<TKFile>> file = (*folder)->OpenFile(parts.Name, flags, mode);
    if (!file)
        return WithPath(file.error(), path);
    return file;
}

Result<std::string> TKFileSystem::ReadFile(const std::string& path, std::size_t maxBytes) {
    const TPathParts parts = SplitPath(path);
    Result<std::unique_ptr<TKFolder>> folder = OpenFolder(parts.Folder);
    if (!folder)
        return WithPath(folder.error(), path);
    Result<std::unique_ptr<TKFile>> opened = (*folder)->OpenFile(parts.Name, ofRead | ofFollowLink);
    if (!opened) {
        // Some things that are not files cannot be opened at all (a socket gives ENXIO).
        if (opened.error().Errno != ENOENT) {
            const Result<TDirEntry> entry = (*folder)->Describe(parts.Name);
            if (entry && Resolves(*entry) && !IsFileMode(entry->Mode))
                return NotRegular(path, entry->IsFolder);
        }
        return WithPath(opened.error(), path);
    }
    TKFile& file = **opened;
    const Result<TFileInfo> info = file.Info();
    if (!info)
        return WithPath(info.error(), path);
    if (info->Type != TEntryType::etFile)
        return NotRegular(path, info->Type == TEntryType::etFolder);
    if (info->Size > maxBytes)
        return TooLarge(path, maxBytes);
    std::string text;
    text.reserve(static_cast<std::size_t>(info->Size));
    std::string buffer(ReadChunk, '\0');
    for (;;) {
        const Result<std::size_t> got = file.Read(buffer.data(), buffer.size());
        if (!got)
            return WithPath(got.error(), path);
        if (*got == 0)
            return text;
        // The file may have grown since it was described, or report a size it does not have.
        if (text.size() + *got > maxBytes)
            return TooLarge(path, maxBytes);
        text.append(buffer.data(), *got);
    }
}

Result<void> TKFileSystem::ReplaceFile(const std::string& path, std::string_view content, TReplaceMode how,
                                       std::uint32_t mode) {
    const TPathParts parts = SplitPath(path);
    Result<std::unique_ptr<TKFolder>> folder = OpenFolder(parts.Folder);
    if (!folder)
        return WithPath(folder.error(), path);
    if (Result<void> replaced = (*folder)->ReplaceFile(parts.Name, content, how, mode); !replaced)
        return WithPath(replaced.error(), path);
    return {};
}

Result<void> TKFileSystem::CreateFolders(const std::string& path, std::uint32_t mode) {
    if (const Result<TDirEntry> there = Stat(path); there && Resolves(*there))
        return {};
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const TPathParts parts = SplitPath(part);
        Result<std::unique_ptr<TKFolder>> parent = OpenFolder(parts.Folder);
        Result<void> made = parent ? (*parent)->CreateFolder(parts.Name, mode) : Result<void>(parent.error());
        if (!made) {
            // An existing folder may answer EACCES instead of EEXIST when its parent is not ours.
            const Result<TDirEntry> there = Stat(part);
            if (!there || !there->IsFolder)
                return WithPath(made.error(), part);
        }
        if (slash == std::string::npos)
            return {};
    }
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
