#include "support/MemoryFileSystem.h"

#include <cerrno>
#include <cstring>
#include <functional>

namespace ks::test {

namespace {

TError Fail(int errnoValue, const std::string& path) {
    return ErrnoError(path, errnoValue);
}

TDirEntry MakeEntry(const std::string& path, bool folder, std::uint64_t size, std::uint32_t attr) {
    TDirEntry entry;
    entry.Name = path.substr(path.rfind('/') + 1);
    entry.IsFolder = folder;
    entry.Size = size;
    entry.Attr = attr;
    entry.Mode = folder ? 040755 : 0100644;
    entry.MTimeNs = 1'700'000'000'000'000'000;
    return entry;
}

std::string Join(const std::string& folder, std::string_view name) {
    return (folder == "/" ? std::string() : folder) + "/" + std::string(name);
}

class TMemoryReader : public TKFileReader {
public:
    TMemoryReader(std::string content, std::uint64_t size) : FContent(std::move(content)), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> Read(char* buffer, std::size_t count) override {
        const std::size_t n = std::min(count, FContent.size() - FPlace);
        std::memcpy(buffer, FContent.data() + FPlace, n);
        FPlace += n;
        return n;
    }

private:
    std::string FContent;
    std::uint64_t FSize;
    std::size_t FPlace = 0;
};

} // namespace

// A folder of a MemoryFileSystem, named by its path (the nodes have no identity of their own).
class TMemoryFolder : public TKFolder {
public:
    TMemoryFolder(MemoryFileSystem& files, std::string path) : FFiles(files), FPath(std::move(path)) {}

    TFileId Id() const override { return {1, std::hash<std::string>()(FPath)}; }
    Result<void> List(const std::function<bool(std::string_view, TEntryType)>& each) override {
        Result<std::vector<TDirEntry>> children = FFiles.Children(FPath);
        if (!children)
            return children.error();
        for (const TDirEntry& entry : *children) {
            const TEntryType type = entry.IsLink            ? TEntryType::etLink
                                    : entry.IsFolder        ? TEntryType::etFolder
                                    : (entry.Attr & 4) != 0 ? TEntryType::etOther
                                                            : TEntryType::etFile;
            if (!each(entry.Name, type))
                break;
        }
        return {};
    }
    Result<TDirEntry> Describe(std::string_view name) override { return FFiles.Stat(Join(FPath, name)); }
    Result<std::unique_ptr<TKFolder>> Open(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (node->Entry.IsLink)
            return Fail(ELOOP, path);
        if (!node->Entry.IsFolder)
            return Fail(ENOTDIR, path);
        return std::unique_ptr<TKFolder>(std::make_unique<TMemoryFolder>(FFiles, path));
    }
    Result<std::unique_ptr<TKFolder>> OpenParent() override {
        const std::size_t slash = FPath.rfind('/');
        const std::string parent = slash == 0 || slash == std::string::npos ? "/" : FPath.substr(0, slash);
        return std::unique_ptr<TKFolder>(std::make_unique<TMemoryFolder>(FFiles, parent));
    }
    Result<void> RemoveFile(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (node->Entry.IsFolder && !node->Entry.IsLink)
            return Fail(EISDIR, path);
        // Models a file system where a read-only file cannot be unlinked; what cannot be looked
        // at cannot be removed either.
        if (FFiles.FRemoveDenied.count(path) != 0 || FFiles.FStatDenied.count(path) != 0 ||
            (node->Entry.Attr & 1) != 0)
            return Fail(EACCES, path);
        FFiles.FNodes.erase(path);
        return {};
    }
    Result<void> RemoveFolder(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (!node->Entry.IsFolder || node->Entry.IsLink)
            return Fail(ENOTDIR, path);
        const auto next = FFiles.FNodes.lower_bound(path + "/");
        if (next != FFiles.FNodes.end() && next->first.rfind(path + "/", 0) == 0)
            return Fail(ENOTEMPTY, path);
        if (FFiles.FRemoveDenied.count(path) != 0)
            return Fail(EACCES, path);
        FFiles.FNodes.erase(path);
        return {};
    }
    Result<void> SetWritable(std::string_view name, bool writable) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (node->Entry.IsLink)
            return Fail(EOPNOTSUPP, path);
        std::uint32_t& attr = node->Entry.Attr;
        attr = writable ? (attr & ~1u) : (attr | 1u);
        return {};
    }
    Result<TWipeOutcome> Wipe(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        const TDirEntry& entry = node->Entry;
        if (entry.IsLink || entry.IsFolder || (entry.Attr & 4) != 0)
            return TWipeOutcome::woNoContents;
        if (entry.Links > 1)
            return TWipeOutcome::woOtherLinks;
        if (FFiles.FWipeFails.count(path) != 0)
            return Fail(EIO, path);
        FFiles.FWiped.push_back(path);
        return TWipeOutcome::woWiped;
    }
    Result<std::unique_ptr<TKFileReader>> OpenRead(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (node->Entry.IsLink)
            return Fail(ELOOP, path);
        if ((node->Entry.Attr & 32) == 0)
            return TError{TErrorCode::ecUnsupported, 0, path, "not a regular file"};
        return std::unique_ptr<TKFileReader>(
            std::make_unique<TMemoryReader>(node->Content, node->Entry.Size));
    }

private:
    // The node of an entry, with its full name in path; null when there is none.
    MemoryFileSystem::TNode* Find(std::string_view name, std::string& path) {
        path = Join(FPath, name);
        const auto node = FFiles.FNodes.find(path);
        return node == FFiles.FNodes.end() ? nullptr : &node->second;
    }

    MemoryFileSystem& FFiles;
    std::string FPath;
};

std::string MemoryFileSystem::Trimmed(const std::string& path) {
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

void MemoryFileSystem::AddFolder(const std::string& path) {
    FNodes[path].Entry = MakeEntry(path, true, 0, 16);
}

void MemoryFileSystem::AddFile(const std::string& path, std::uint64_t size, std::uint32_t attr,
                               std::string content) {
    TNode& node = FNodes[path];
    node.Entry = MakeEntry(path, false, content.empty() ? size : content.size(), attr);
    node.Content = std::move(content);
}

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target, bool toFolder) {
    TNode& node = FNodes[path];
    node.Entry = MakeEntry(path, toFolder, 0, toFolder ? 16 : 32);
    node.Entry.IsLink = true;
    node.Entry.Mode = 0120777;
    node.LinkTarget = target;
}

void MemoryFileSystem::AddDevice(const std::string& path) {
    FNodes[path].Entry = MakeEntry(path, false, 0, 4);
    FNodes[path].Entry.Mode = 020644;
}

Result<std::vector<TDirEntry>> MemoryFileSystem::Children(const std::string& path) {
    std::string folder = Trimmed(path);
    {
        std::lock_guard<std::mutex> lock(FLock);
        FListed.push_back(folder);
        if (FListed.size() > 100000)
            return Fail(EIO, "runaway walk");
    }
    if (folder != "/") {
        const auto node = FNodes.find(folder);
        if (node == FNodes.end() || !node->second.Entry.IsFolder)
            return Fail(ENOENT, path);
        if (!node->second.LinkTarget.empty())
            folder = node->second.LinkTarget;
    }
    std::vector<TDirEntry> entries;
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    for (auto it = FNodes.lower_bound(prefix); it != FNodes.end() && it->first.rfind(prefix, 0) == 0;) {
        if (it->first.size() == prefix.size()) {
            ++it; // "/" itself
            continue;
        }
        const std::size_t slash = it->first.find('/', prefix.size());
        if (slash == std::string::npos) {
            entries.push_back(it->second.Entry);
            ++it;
        } else {
            // Skips the whole subtree of a child: "0" sorts right after "/".
            it = FNodes.lower_bound(it->first.substr(0, slash) + "0");
        }
    }
    return entries;
}

Result<void> MemoryFileSystem::ListFolder(const std::string& path,
                                          const std::function<bool(const TDirEntry&)>& each) {
    Result<std::vector<TDirEntry>> children = Children(path);
    if (!children)
        return children.error();
    for (const TDirEntry& entry : *children)
        if (!each(entry))
            break;
    return {};
}

Result<TDirEntry> MemoryFileSystem::Stat(const std::string& path) {
    if (FStatDenied.count(path) != 0)
        return Fail(EACCES, path);
    const std::string key = Trimmed(path);
    if (key == "/" && FNodes.count(key) == 0)
        return MakeEntry("/", true, 0, 16);
    const auto node = FNodes.find(key);
    if (node == FNodes.end())
        return Fail(ENOENT, path);
    return node->second.Entry;
}

bool MemoryFileSystem::CanOpenFolder(const std::string& path) {
    const std::string key = Trimmed(path);
    if (key == "/")
        return true;
    const auto node = FNodes.find(key);
    return node != FNodes.end() && node->second.Entry.IsFolder;
}

Result<std::unique_ptr<TKFolder>> MemoryFileSystem::OpenFolder(const std::string& path) {
    const std::string key = Trimmed(path);
    if (!CanOpenFolder(key))
        return Fail(Has(key) ? ENOTDIR : ENOENT, path);
    const auto node = FNodes.find(key);
    // A folder reached through a symlinked path is the link's target.
    const std::string real =
        node != FNodes.end() && !node->second.LinkTarget.empty() ? node->second.LinkTarget : key;
    return std::unique_ptr<TKFolder>(std::make_unique<TMemoryFolder>(*this, real));
}

} // namespace ks::test
