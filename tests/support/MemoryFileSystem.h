#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/FileSystem.h"

namespace ks::test {

/// Files and folders in memory, by full path, with the faults a real disk cannot be made to show
/// on demand: a disk that fills up, a read, write, rename or flush that fails at a chosen call,
/// entries that vanish between a listing and their use. Folders opened through it
/// (`OpenFolder`, `TKFolder::Open`) and files opened through those work on the same nodes. "/"
/// always exists as a folder. Symlink targets are full paths of other nodes.
///
/// Thread: listing, describing and walking may run on several threads at once; changes, open
/// files and the fault settings belong to one thread.
class MemoryFileSystem : public TKFileSystem {
public:
    struct TNode {
        TDirEntry Entry;
        std::string LinkTarget; ///< listing a symlinked folder lists this folder
        std::string Content;    ///< what reading a file gives
        std::uint64_t Inode = 0;
        std::int64_t ATimeNs = 0;
    };
    std::map<std::string, TNode> FNodes;
    std::set<std::string> FStatDenied;   ///< describing fails with ecAccess
    std::set<std::string> FRemoveDenied; ///< removing fails with ecAccess whatever the permissions
    std::set<std::string> FWipeFails;    ///< wiping fails (a write error, say)
    std::vector<std::string> FWiped;     ///< every file wiped, in order
    std::vector<std::string> FListed;    ///< every folder listed, in order
    /// Entries removed by someone else since their folder was listed: listings still name them,
    /// every other call answers ENOENT.
    std::set<std::string> FVanished;
    /// Bytes the disk still takes; a write beyond them writes what fits and fails with ENOSPC.
    /// Unlimited when empty.
    std::optional<std::uint64_t> FSpaceLeft;
    /// Whether files copy inside the "kernel" (`TKFile::CopyFrom`, `CloneFrom`); without it both
    /// answer ecUnsupported, as between two file systems, and copies read and write.
    bool FInKernelCopy = true;

    /// The calls a fault can be set on; fcSync counts the flushes of files and of folders alike.
    enum class TCall { fcRead, fcWrite, fcRename, fcSync };
    /// Makes the nth call of that kind from now on (1 the very next) fail with errnoValue; one
    /// fault per kind at a time.
    void FailCall(TCall call, int nth, int errnoValue);
    /// How many calls of that kind were made so far.
    int Calls(TCall call) const;

    void AddFolder(const std::string& path);
    /// A regular file of size bytes (of content's size when content is given).
    void AddFile(const std::string& path, std::uint64_t size, std::uint32_t attr = 32,
                 std::string content = {});
    void AddLink(const std::string& path, const std::string& target, bool toFolder);
    void AddDevice(const std::string& path);
    bool Has(const std::string& path) const { return FNodes.count(Trimmed(path)) != 0; }
    /// What the file at path holds; empty when there is none.
    std::string ContentOf(const std::string& path) const;

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
    friend class TMemoryFile;

    // Counts a call; the error to fail it with, 0 when it goes through.
    int Call(TCall call);
    // The node at path that has not vanished; null when there is none.
    TNode* Live(const std::string& path);
    // A new node for a file system object created now.
    TNode& Create(const std::string& path);

    struct TFault {
        int Countdown = 0;
        int Errno = 0;
    };
    std::map<TCall, TFault> FFaults;
    std::map<TCall, int> FCalls;
    std::set<std::uint64_t> FLocked;
    std::uint64_t FNextInode = 1;
    std::mutex FLock;
};

} // namespace ks::test
