#include "support/MemoryFileSystem.h"

#include <algorithm>
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

bool PlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

TEntryType TypeOf(const TDirEntry& entry) {
    return entry.IsLink            ? TEntryType::etLink
           : entry.IsFolder        ? TEntryType::etFolder
           : (entry.Attr & 4) != 0 ? TEntryType::etOther
                                   : TEntryType::etFile;
}

// Sets the permission bits of a node, with the read-only attribute that follows from them.
void SetPermissions(MemoryFileSystem::TNode& node, std::uint32_t mode) {
    node.Entry.Mode = (node.Entry.Mode & ModeTypeMask) | (mode & ModePermissions);
    node.Entry.Attr = (mode & 0200) != 0 ? (node.Entry.Attr & ~1u) : (node.Entry.Attr | 1u);
}

} // namespace

// A file of a MemoryFileSystem, found again by its inode, so it follows its node through a
// rename as an open file does.
class TMemoryFile : public TKFile {
public:
    TMemoryFile(MemoryFileSystem& files, std::string path, std::uint64_t inode, bool read, bool write,
                std::uint64_t size)
        : FFiles(files), FPath(std::move(path)), FInode(inode), FRead(read), FWrite(write), FSize(size) {}
    ~TMemoryFile() override { FFiles.FLocked.erase(FLockedInode); }

    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> Read(char* buffer, std::size_t count) override {
        Result<std::size_t> got = ReadAt(FPlace, buffer, count);
        if (got)
            FPlace += *got;
        return got;
    }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr || !FRead)
            return Fail(EBADF, FPath);
        if (const int error = FFiles.Call(MemoryFileSystem::TCall::fcRead); error != 0)
            return Fail(error, FPath);
        const std::string& content = node->Content;
        if (offset >= content.size())
            return std::size_t{0};
        const std::size_t n = std::min<std::size_t>(count, content.size() - offset);
        std::memcpy(buffer, content.data() + offset, n);
        return n;
    }
    Result<void> Write(std::string_view data) override {
        Result<void> written = WriteAt(FPlace, data);
        FPlace += FWritten;
        return written;
    }
    Result<void> WriteAt(std::uint64_t offset, std::string_view data) override {
        FWritten = 0;
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr || !FWrite)
            return Fail(EBADF, FPath);
        if (const int error = FFiles.Call(MemoryFileSystem::TCall::fcWrite); error != 0)
            return Fail(error, FPath);
        std::size_t fits = data.size();
        if (FFiles.FSpaceLeft)
            fits = static_cast<std::size_t>(std::min<std::uint64_t>(fits, *FFiles.FSpaceLeft));
        std::string& content = node->Content;
        if (content.size() < offset + fits)
            content.resize(static_cast<std::size_t>(offset + fits), '\0');
        content.replace(static_cast<std::size_t>(offset), fits, data.substr(0, fits));
        node->Entry.Size = content.size();
        FWritten = fits;
        if (FFiles.FSpaceLeft)
            *FFiles.FSpaceLeft -= fits;
        if (fits < data.size())
            return Fail(ENOSPC, FPath);
        return {};
    }
    Result<std::optional<std::uint64_t>> NextData(std::uint64_t offset) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr)
            return Fail(EBADF, FPath);
        return offset < node->Content.size() ? std::optional<std::uint64_t>(offset) : std::nullopt;
    }
    Result<std::uint64_t> NextHole(std::uint64_t offset) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr)
            return Fail(EBADF, FPath);
        if (offset > node->Content.size())
            return Fail(ENXIO, FPath);
        return static_cast<std::uint64_t>(node->Content.size());
    }
    Result<void> Truncate(std::uint64_t size) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr || !FWrite)
            return Fail(EBADF, FPath);
        node->Content.resize(static_cast<std::size_t>(size), '\0');
        node->Entry.Size = size;
        return {};
    }
    Result<void> Sync() override {
        if (Node() == nullptr)
            return Fail(EBADF, FPath);
        if (const int error = FFiles.Call(MemoryFileSystem::TCall::fcSync); error != 0)
            return Fail(error, FPath);
        return {};
    }
    Result<TFileInfo> Info() override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr)
            return Fail(EBADF, FPath);
        return InfoOf(*node);
    }
    Result<void> SetMode(std::uint32_t mode) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr)
            return Fail(EBADF, FPath);
        SetPermissions(*node, mode);
        return {};
    }
    Result<void> SetTimes(std::int64_t accessTimeNs, std::int64_t modifyTimeNs) override {
        MemoryFileSystem::TNode* node = Node();
        if (node == nullptr)
            return Fail(EBADF, FPath);
        node->ATimeNs = accessTimeNs;
        node->Entry.MTimeNs = modifyTimeNs;
        return {};
    }
    Result<std::size_t> CopyFrom(TKFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                                 std::size_t count) override {
        auto* from = dynamic_cast<TMemoryFile*>(&source);
        MemoryFileSystem::TNode* node = from == nullptr ? nullptr : from->Node();
        if (node == nullptr || !FFiles.FInKernelCopy)
            return TError{TErrorCode::ecUnsupported, EXDEV, FPath, "not a file of this memory disk"};
        if (sourceOffset >= node->Content.size())
            return std::size_t{0};
        const std::string piece = node->Content.substr(static_cast<std::size_t>(sourceOffset), count);
        if (Result<void> written = WriteAt(offset, piece); !written)
            return written.error();
        return piece.size();
    }
    Result<void> CloneFrom(TKFile& source) override {
        auto* from = dynamic_cast<TMemoryFile*>(&source);
        MemoryFileSystem::TNode* node = from == nullptr ? nullptr : from->Node();
        if (node == nullptr || !FFiles.FInKernelCopy)
            return TError{TErrorCode::ecUnsupported, EXDEV, FPath, "not a file of this memory disk"};
        const std::string content = node->Content;
        if (Result<void> cut = Truncate(0); !cut)
            return cut;
        return WriteAt(0, content);
    }
    Result<void> Lock(int) override {
        if (Node() == nullptr)
            return Fail(EBADF, FPath);
        if (FLockedInode == FInode)
            return {};
        // One thread owns this disk: a holder elsewhere could never let go while this one waits.
        if (FFiles.FLocked.count(FInode) != 0)
            return Fail(ETIMEDOUT, FPath);
        FFiles.FLocked.insert(FInode);
        FLockedInode = FInode;
        return {};
    }
    Result<void> Close() override {
        if (FClosed)
            return Fail(EBADF, FPath);
        FClosed = true;
        FFiles.FLocked.erase(FLockedInode);
        FLockedInode = 0;
        return {};
    }

    static TFileInfo InfoOf(const MemoryFileSystem::TNode& node) {
        TFileInfo info;
        info.Id = {1, node.Inode};
        info.Type = TypeOf(node.Entry);
        info.Mode = node.Entry.Mode & ModePermissions;
        info.Size = node.Entry.IsLink ? node.LinkTarget.size() : node.Entry.Size;
        info.AllocatedSize = node.Content.size();
        info.Links = node.Entry.Links;
        info.AccessTimeNs = node.ATimeNs;
        info.ModifyTimeNs = node.Entry.MTimeNs;
        return info;
    }

private:
    // The node of this file wherever it is now; null once it is closed or gone.
    MemoryFileSystem::TNode* Node() {
        if (FClosed)
            return nullptr;
        const auto named = FFiles.FNodes.find(FPath);
        if (named != FFiles.FNodes.end() && named->second.Inode == FInode)
            return &named->second;
        for (auto& [path, node] : FFiles.FNodes) {
            if (node.Inode == FInode)
                return &node;
        }
        return nullptr;
    }

    MemoryFileSystem& FFiles;
    std::string FPath;
    std::uint64_t FInode;
    bool FRead;
    bool FWrite;
    std::uint64_t FSize;
    std::uint64_t FPlace = 0;
    std::size_t FWritten = 0;
    std::uint64_t FLockedInode = 0;
    bool FClosed = false;
};

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
            if (!each(entry.Name, TypeOf(entry)))
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
        if (HasChildren(path))
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
            return TError{TErrorCode::ecNotRegular, 0, path, "not a regular file"};
        return std::unique_ptr<TKFileReader>(
            std::make_unique<TMemoryFile>(FFiles, path, node->Inode, true, false, node->Entry.Size));
    }

    Result<std::unique_ptr<TKFile>> OpenFile(std::string_view name, std::uint32_t flags,
                                             std::uint32_t mode) override {
        std::string path = Join(FPath, name);
        if (!PlainName(name))
            return Fail(EINVAL, path);
        const bool write = (flags & ofWrite) != 0;
        const bool read = (flags & ofRead) != 0 || !write;
        MemoryFileSystem::TNode* node = FFiles.Live(path);
        if (node != nullptr && (flags & ofCreate) != 0 && (flags & ofExclusive) != 0)
            return Fail(EEXIST, path);
        if (node != nullptr && node->Entry.IsLink) {
            if ((flags & ofFollowLink) == 0)
                return Fail(ELOOP, path);
            node = FFiles.Live(node->LinkTarget);
            if (node == nullptr)
                return Fail(ENOENT, path);
        }
        if (node == nullptr) {
            if ((flags & ofCreate) == 0)
                return Fail(ENOENT, path);
            node = &FFiles.Create(path);
            node->Entry = MakeEntry(path, false, 0, 32);
            SetPermissions(*node, mode);
        } else if (node->Entry.IsFolder && write) {
            return Fail(EISDIR, path);
        } else if (write && (node->Entry.Attr & 1) != 0) {
            return Fail(EACCES, path);
        } else if (write && (flags & ofTruncate) != 0) {
            node->Content.clear();
            node->Entry.Size = 0;
        }
        return std::unique_ptr<TKFile>(
            std::make_unique<TMemoryFile>(FFiles, path, node->Inode, read, write, node->Entry.Size));
    }
    Result<TFileInfo> Info(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        return TMemoryFile::InfoOf(*node);
    }
    Result<void> Rename(std::string_view name, TKFolder& target, std::string_view newName,
                        bool noReplace) override {
        std::string from;
        MemoryFileSystem::TNode* node = Find(name, from);
        auto* into = dynamic_cast<TMemoryFolder*>(&target);
        if (into == nullptr || &into->FFiles != &FFiles)
            return Fail(EXDEV, from);
        const std::string to = Join(into->FPath, newName);
        if (!PlainName(newName))
            return Fail(EINVAL, to);
        if (node == nullptr)
            return Fail(ENOENT, from);
        if (const int error = FFiles.Call(MemoryFileSystem::TCall::fcRename); error != 0)
            return Fail(error, from);
        if (from == to)
            return {};
        if (MemoryFileSystem::TNode* taken = FFiles.Live(to)) {
            if (noReplace)
                return Fail(EEXIST, to);
            if (taken->Entry.IsFolder && !taken->Entry.IsLink && HasChildren(to))
                return Fail(ENOTEMPTY, to);
        }
        // A folder takes everything below it along.
        std::vector<std::pair<std::string, MemoryFileSystem::TNode>> moved;
        const std::string below = from + "/";
        auto it = FFiles.FNodes.lower_bound(below);
        while (it != FFiles.FNodes.end() && it->first.starts_with(below)) {
            moved.emplace_back(to + it->first.substr(from.size()), std::move(it->second));
            it = FFiles.FNodes.erase(it);
        }
        MemoryFileSystem::TNode renamed = std::move(*node);
        FFiles.FNodes.erase(from);
        renamed.Entry.Name = std::string(newName);
        FFiles.FNodes[to] = std::move(renamed);
        for (auto& [path, child] : moved)
            FFiles.FNodes[path] = std::move(child);
        return {};
    }
    Result<void> CreateFolder(std::string_view name, std::uint32_t mode) override {
        const std::string path = Join(FPath, name);
        if (!PlainName(name))
            return Fail(EINVAL, path);
        if (FFiles.Live(path) != nullptr)
            return Fail(EEXIST, path);
        MemoryFileSystem::TNode& node = FFiles.Create(path);
        node.Entry = MakeEntry(path, true, 0, 16);
        SetPermissions(node, mode);
        return {};
    }
    Result<void> CreateLink(std::string_view name, std::string_view target) override {
        const std::string path = Join(FPath, name);
        if (!PlainName(name) || target.empty())
            return Fail(EINVAL, path);
        if (FFiles.Live(path) != nullptr)
            return Fail(EEXIST, path);
        const MemoryFileSystem::TNode* pointed = FFiles.Live(std::string(target));
        const bool toFolder = pointed != nullptr && pointed->Entry.IsFolder;
        MemoryFileSystem::TNode& node = FFiles.Create(path);
        node.Entry = MakeEntry(path, toFolder, 0, toFolder ? 16 : 32);
        node.Entry.IsLink = true;
        node.Entry.Mode = 0120777;
        node.LinkTarget = std::string(target);
        return {};
    }
    Result<std::string> ReadLink(std::string_view name) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (!node->Entry.IsLink)
            return Fail(EINVAL, path);
        return node->LinkTarget;
    }
    Result<void> SetMode(std::string_view name, std::uint32_t mode) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        if (node->Entry.IsLink)
            return TError{TErrorCode::ecUnsupported, 0, path, "a symbolic link has no mode of its own"};
        SetPermissions(*node, mode);
        return {};
    }
    Result<void> SetTimes(std::string_view name, std::int64_t accessTimeNs,
                          std::int64_t modifyTimeNs) override {
        std::string path;
        MemoryFileSystem::TNode* node = Find(name, path);
        if (node == nullptr)
            return Fail(ENOENT, path);
        node->ATimeNs = accessTimeNs;
        node->Entry.MTimeNs = modifyTimeNs;
        return {};
    }
    Result<TSpaceInfo> Space() override {
        TSpaceInfo space;
        space.BlockSize = 4096;
        space.TotalBytes = std::uint64_t{1} << 40;
        space.AvailableBytes = FFiles.FSpaceLeft.value_or(space.TotalBytes);
        space.MaxNameLength = 255;
        return space;
    }
    Result<void> Sync() override {
        if (const int error = FFiles.Call(MemoryFileSystem::TCall::fcSync); error != 0)
            return Fail(error, FPath);
        return {};
    }

private:
    // The node of an entry that has not vanished, with its full name in path; null when there is
    // none.
    MemoryFileSystem::TNode* Find(std::string_view name, std::string& path) {
        path = Join(FPath, name);
        return FFiles.Live(path);
    }
    bool HasChildren(const std::string& path) const {
        const auto next = FFiles.FNodes.lower_bound(path + "/");
        return next != FFiles.FNodes.end() && next->first.rfind(path + "/", 0) == 0;
    }

    MemoryFileSystem& FFiles;
    std::string FPath;
};

std::string MemoryFileSystem::Trimmed(const std::string& path) {
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

void MemoryFileSystem::FailCall(TCall call, int nth, int errnoValue) {
    FFaults[call] = TFault{nth, errnoValue};
}

int MemoryFileSystem::Calls(TCall call) const {
    const auto found = FCalls.find(call);
    return found == FCalls.end() ? 0 : found->second;
}

int MemoryFileSystem::Call(TCall call) {
    ++FCalls[call];
    const auto fault = FFaults.find(call);
    if (fault == FFaults.end() || --fault->second.Countdown > 0)
        return 0;
    const int error = fault->second.Errno;
    FFaults.erase(fault);
    return error;
}

MemoryFileSystem::TNode* MemoryFileSystem::Live(const std::string& path) {
    if (FVanished.count(path) != 0)
        return nullptr;
    const auto node = FNodes.find(path);
    return node == FNodes.end() ? nullptr : &node->second;
}

MemoryFileSystem::TNode& MemoryFileSystem::Create(const std::string& path) {
    FVanished.erase(path);
    TNode& node = FNodes[path];
    node = TNode();
    node.Inode = FNextInode++;
    return node;
}

std::string MemoryFileSystem::ContentOf(const std::string& path) const {
    const auto node = FNodes.find(path);
    return node == FNodes.end() ? std::string() : node->second.Content;
}

void MemoryFileSystem::AddFolder(const std::string& path) {
    Create(path).Entry = MakeEntry(path, true, 0, 16);
}

void MemoryFileSystem::AddFile(const std::string& path, std::uint64_t size, std::uint32_t attr,
                               std::string content) {
    TNode& node = Create(path);
    node.Entry = MakeEntry(path, false, content.empty() ? size : content.size(), attr);
    node.Content = std::move(content);
}

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target, bool toFolder) {
    TNode& node = Create(path);
    node.Entry = MakeEntry(path, toFolder, 0, toFolder ? 16 : 32);
    node.Entry.IsLink = true;
    node.Entry.Mode = 0120777;
    node.LinkTarget = target;
}

void MemoryFileSystem::AddDevice(const std::string& path) {
    TNode& node = Create(path);
    node.Entry = MakeEntry(path, false, 0, 4);
    node.Entry.Mode = 020644;
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
    const TNode* node = Live(key);
    if (node == nullptr)
        return Fail(ENOENT, path);
    return node->Entry;
}

bool MemoryFileSystem::CanOpenFolder(const std::string& path) {
    const std::string key = Trimmed(path);
    if (key == "/")
        return true;
    const TNode* node = Live(key);
    return node != nullptr && node->Entry.IsFolder;
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
