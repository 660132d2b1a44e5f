#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/FileSystem.h"

namespace ks::test {

/// Files and folders in memory, by full path, with the faults a real disk cannot be made to show
/// on demand. Folders opened through it (`OpenFolder`, `TKFolder::Open`) work on the same nodes.
/// "/" always exists as a folder.
///
/// Thread: listing, describing and walking may run on several threads at once; changes and the
/// fault sets belong to one thread.
class MemoryFileSystem : public TKFileSystem {
public:
    struct TNode {
        TDirEntry Entry;
        std::string LinkTarget; ///< listing a symlinked folder lists this folder
        std::string Content;    ///< what reading a file gives
    };
    std::map<std::string, TNode> FNodes;
    std::set<std::string> FStatDenied;   ///< describing fails with ecAccess
    std::set<std::string> FRemoveDenied; ///< removing fails with ecAccess whatever the permissions
    std::set<std::string> FWipeFails;    ///< wiping fails (a write error, say)
    std::vector<std::string> FWiped;     ///< every file wiped, in order
    std::vector<std::string> FListed;    ///< every folder listed, in order

    void AddFolder(const std::string& path);
    /// A regular file of size bytes (of content's size when content is given).
    void AddFile(const std::string& path, std::uint64_t size, std::uint32_t attr = 32,
                 std::string content = {});
    void AddLink(const std::string& path, const std::string& target, bool toFolder);
    void AddDevice(const std::string& path);
    bool Has(const std::string& path) const { return FNodes.count(Trimmed(path)) != 0; }

    Result<void> ListFolder(const std::string& path,
                            const std::function<bool(const TDirEntry&)>& each) override;
    Result<TDirEntry> Stat(const std::string& path) override;
    bool CanOpenFolder(const std::string& path) override;
    bool Exists(const std::string& path) override { return Has(path); }
    Result<std::unique_ptr<TKFolder>> OpenFolder(const std::string& path) override;

    /// The path without a trailing "/" (except "/").
    static std::string Trimmed(const std::string& path);
    /// The entries directly inside folder, in name order; a symlinked folder gives its target's.
    Result<std::vector<TDirEntry>> Children(const std::string& folder);

private:
    friend class TMemoryFolder;
    std::mutex FLock;
};

} // namespace ks::test
