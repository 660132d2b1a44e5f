#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "foundation/FileSystem.h"
#include "foundation/Result.h"

// The file side of the settings store: reading the store file safely, the lock beside it, setting
// a damaged file aside and replacing the file atomically, all through a `TKFileSystem`. Used by
// RegistryStore.cpp only.

namespace ks::registry {

/// A store file is a few kilobytes; a larger file is not one, and reading it would only cost
/// memory.
inline constexpr std::size_t MaxFileSize = std::size_t(64) << 20;

std::string FolderOf(const std::string& path);
std::string BaseName(const std::string& path);

/// A damaged-store error (ecParse) with its reason.
TError StoreDamage(std::string detail);

/// What the store file holds: no text when there is no file; a file that is there but cannot be
/// a store (not a regular file, larger than MaxFileSize) has the reason in Damage and no text.
struct TStoreText {
    std::optional<TError> Damage;
    std::optional<std::string> Text;
};

/// Reads the store file without blocking (a FIFO, a device or a socket is damage, never waited
/// on) and never more than MaxFileSize bytes. Only a failure to read is an error.
Result<TStoreText> ReadStoreText(TKFileSystem& files, const std::string& path);

/// An exclusive lock on the lock file beside the store, held while the object lives. The lock
/// dies with the process, so a writer killed while holding one blocks nobody.
class TStoreLock {
public:
    /// Creates the lock file when missing (0600, a symlink there is refused) and waits at most
    /// 10 seconds for another holder.
    Result<void> Acquire(TKFileSystem& files, const std::string& lockPath);
    bool Held() const { return FFile != nullptr; }

private:
    std::unique_ptr<TKFile> FFile;
};

/// Removes temporary files that writers killed during a flush left. Call with the lock held, so
/// no live writer owns any of them.
void RemoveStaleTemps(TKFileSystem& files, const std::string& filePath);

/// Renames a damaged store to "<name>.bad-<YYYYMMDD-HHMMSS>" (with "-2", "-3"... when that name
/// is taken) and returns the new name. Never replaces an existing file.
Result<std::string> SetAside(TKFileSystem& files, const std::string& filePath);

/// Writes text to a temporary file beside filePath, flushes it to the disk and renames it over
/// filePath, so the file is at every moment either the old or the new one; the new file is
/// private to the user (0600). On failure the old file is untouched and the temporary file is
/// gone.
Result<void> ReplaceStoreFile(TKFileSystem& files, const std::string& filePath, const std::string& text);

} // namespace ks::registry
