#include "foundation/RegistryFile.h"

#include <cerrno>
#include <ctime>
#include <vector>

namespace ks::registry {

namespace {

// How long a flush waits for another process's flush to finish.
constexpr int LockWaitMs = 10000;
// How many "-2", "-3"... names setting a damaged file aside tries.
constexpr int AsideNameTries = 1000;

} // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TError StoreDamage(std::string detail) {
    TError error;
    error.Code = TErrorCode::ecParse;
    error.Detail = std::move(detail);
    return error;
}

Result<TStoreText> ReadStoreText(TKFileSystem& files, const std::string& path) {
    TStoreText file;
    Result<std::string> text = files.ReadFile(path, MaxFileSize);
    if (text) {
        file.Text = std::move(*text);
        return file;
    }
    const TError& error = text.error();
    if (error.Code == TErrorCode::ecNotFound && error.Errno == ENOENT)
        return file;
    if (error.Code == TErrorCode::ecNotRegular)
        file.Damage = StoreDamage("not a regular file");
    else if (error.Code == TErrorCode::ecTooLarge)
        file.Damage = StoreDamage("larger than " + std::to_string(MaxFileSize >> 20) + " MiB");
    else
        return error;
    return file;
}

Result<void> TStoreLock::Acquire(TKFileSystem& files, const std::string& lockPath) {
    FFile.reset();
    Result<std::unique_ptr<TKFile>> file = files.OpenFile(lockPath, ofRead | ofWrite | ofCreate, 0600);
    if (!file)
        return file.error();
    if (Result<void> locked = (*file)->Lock(LockWaitMs); !locked) {
        TError error = locked.error();
        if (error.Code == TErrorCode::ecTimeout)
            error.Detail = "another process holds the store lock";
        return error;
    }
    FFile = std::move(*file);
    return {};
}

void RemoveStaleTemps(TKFileSystem& files, const std::string& filePath) {
    Result<std::unique_ptr<TKFolder>> folder = files.OpenFolder(FolderOf(filePath));
    if (!folder)
        return;
    const std::string prefix = BaseName(filePath) + ".tmp-";
    std::vector<std::string> stale;
    (void)(*folder)->List([&](std::string_view name, TEntryType) {
        if (name.starts_with(prefix))
            stale.emplace_back(name);
        return true;
    });
    for (const std::string& name : stale)
        (void)(*folder)->RemoveFile(name);
}

Result<std::string> SetAside(TKFileSystem& files, const std::string& filePath) {
    Result<std::unique_ptr<TKFolder>> folder = files.OpenFolder(FolderOf(filePath));
    if (!folder)
        return ErrnoError(filePath, folder.error().Errno);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = filePath + ".bad-" + stamp;
    for (int n = 1; n <= AsideNameTries; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        const Result<void> renamed = (*folder)->Rename(BaseName(filePath), **folder, BaseName(target), true);
        if (renamed)
            return target;
        if (renamed.error().Code != TErrorCode::ecExists)
            return ErrnoError(filePath, renamed.error().Errno);
    }
    return ErrnoError(filePath, EEXIST, "no free name to set the damaged file aside");
}

Result<void> ReplaceStoreFile(TKFileSystem& files, const std::string& filePath, const std::string& text) {
    // The umask may take bits away; the store is private whatever it says.
    return files.ReplaceFile(filePath, text, TReplaceMode::rmSet, 0600);
}

} // namespace ks::registry
