#pragma once

#include "foundation/System.h"

namespace ks {

/// The file-system calls of core walks on a local Linux file system: listing through one open
/// folder descriptor (fstatat relative to it, never chdir), so a listing of a folder of many
/// thousands of files costs one stat per entry and nothing more.
///
/// Attributes: 1 read-only (the owner has no write permission), 2 hidden (the name starts with
/// "."), 4 system (a device, FIFO or socket), 16 folder (a directory or a symlink to one),
/// 32 archive (a regular file). A symlink that resolves is described by its target (mode, size,
/// time) with IsLink set; a dangling one by the link itself.
///
/// Thread: stateless, safe from several threads at once.
class TKLinuxFileSystem : public TKFileSystem {
public:
    Result<void> ListFolder(const std::string& path,
                            const std::function<bool(const TDirEntry&)>& each) override;
    /// Kinds from the folder's own records (d_type); an entry is stat'ed (never followed) only
    /// on a file system that does not record kinds.
    Result<void>
    ListFolderTypes(const std::string& path,
                    const std::function<bool(std::string_view name, TEntryType type)>& each) override;
    Result<TDirEntry> Stat(const std::string& path) override;
    bool CanOpenFolder(const std::string& path) override;
    /// True for anything with that name, a dangling symlink included.
    bool Exists(const std::string& path) override;
    /// A `TKLinuxFolder` (foundation/FileSystem.h describes what it guarantees).
    Result<std::unique_ptr<TKFolder>> OpenFolder(const std::string& path) override;
};

} // namespace ks
