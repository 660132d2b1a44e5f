#include "fileops/PackSearch.h"

#include <cstring>
#include <set>
#include <utility>

#include "archive/KPL.h"
#include "fileops/KplUnpack.h"
#include "foundation/TreeWalk.h"

namespace ks {

namespace {

// Enough for the longest header: the magic field, then four integer fields.
constexpr std::size_t HeaderBytes = 64;

class THeadBytes : public TKArchiveBytes {
public:
    explicit THeadBytes(std::string data) : FData(std::move(data)) {}
    std::uint64_t Size() const override { return FData.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FData.size())
            return std::size_t{0};
        const std::size_t n = std::min<std::size_t>(count, FData.size() - offset);
        std::memcpy(buffer, FData.data() + offset, n);
        return n;
    }

private:
    std::string FData;
};

bool HasKplExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4)
        return false;
    const std::string_view ext = name.substr(dot + 1);
    return (ext[0] | 0x20) == 'k' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 'l';
}

bool IsPseudoFolder(const std::string& path) {
    return path == "/proc" || path == "/sys" || path == "/dev";
}

// The library id in the header of a file opened through its folder, or nothing.
std::optional<std::int32_t> HeaderId(TKFolder& folder, std::string_view name) {
    Result<std::unique_ptr<TKFileReader>> file = folder.OpenRead(name);
    if (!file)
        return std::nullopt;
    std::string head(HeaderBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        Result<std::size_t> read = (*file)->Read(head.data() + got, head.size() - got);
        if (!read || *read == 0)
            break;
        got += *read;
    }
    head.resize(got);
    THeadBytes bytes(std::move(head));
    TKplRecordReader reader(bytes);
    Result<TKplHeader> header = reader.ReadHeader();
    if (!header)
        return std::nullopt;
    return header->LibraryId;
}

} // namespace

std::vector<std::string> LocalPackRoots(const TKSystem& system) {
    std::vector<std::string> roots;
    for (const TDriveEntry& drive : system.ListDrives())
        if (drive.DriveType == dtFixed)
            roots.push_back(drive.Root);
    return roots;
}

std::vector<std::string> SearchPackages(TKFileSystem& fileSystem, const std::vector<std::string>& roots,
                                        std::int32_t wantedId,
                                        const std::function<void(const TPackSearchProgress&)>& onProgress,
                                        const std::atomic<bool>& cancelled) {
    std::vector<std::string> found;
    TPackSearchProgress progress;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (const std::string& root : roots) {
        if (cancelled)
            break;
        std::string top = root;
        while (top.size() > 1 && top.back() == '/')
            top.pop_back();
        Result<std::unique_ptr<TKFolder>> opened = fileSystem.OpenFolder(top);
        if (!opened)
            continue;
        const TFileId rootId = (*opened)->Id();
        if (!seen.insert({rootId.Device, rootId.Inode}).second)
            continue;
        progress.SearchingPath = top;
        if (onProgress)
            onProgress(progress);
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) {
            if (cancelled)
                return TWalkStep::wsStop;
            if (entry.Type == TEntryType::etFolder) {
                const std::string path = entry.Path();
                return IsPseudoFolder(path) ? TWalkStep::wsNext : TWalkStep::wsEnter;
            }
            if (entry.Type != TEntryType::etFile)
                return TWalkStep::wsNext;
            ++progress.Processed;
            if (HasKplExtension(entry.Name)) {
                ++progress.Found;
                if (std::optional<std::int32_t> id = HeaderId(folder, entry.Name); id && *id == wantedId) {
                    ++progress.Available;
                    found.push_back(entry.Path());
                }
            }
            if (onProgress)
                onProgress(progress);
            return TWalkStep::wsNext;
        };
        walk.OnEnter = [&](TKFolder&, TKFolder& folder, const TWalkEntry& entry) {
            if (cancelled)
                return TWalkStep::wsStop;
            const TFileId id = folder.Id();
            // Another mount below the root is not searched from here; a folder met again (a bind
            // mount of a folder into itself) is not searched twice.
            if (id.Device != rootId.Device || !seen.insert({id.Device, id.Inode}).second)
                return TWalkStep::wsNext;
            progress.SearchingPath = entry.Path();
            if (onProgress)
                onProgress(progress);
            return TWalkStep::wsEnter;
        };
        walk.Run(**opened, top);
    }
    return found;
}

TPackInstall InstallPacks(TKFileSystem& fileSystem, const std::string& dataFolder, const std::string& kind,
                          const std::vector<std::string>& libraries, std::int32_t wantedId,
                          TQuestionSlot& questions) {
    TPackInstall result;
    std::string base = dataFolder;
    if (base.empty() || base.back() != '/')
        base += '/';
    base += kind;
    if (Result<void> made = fileSystem.CreateFolders(base, 0755); !made) {
        result.Problems.push_back(made.error());
        return result;
    }
    Result<std::unique_ptr<TKFolder>> packs = fileSystem.OpenFolder(base);
    if (!packs) {
        result.Problems.push_back(packs.error());
        return result;
    }
    for (const std::string& library : libraries) {
        std::string name = library.substr(library.rfind('/') + 1);
        if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
            name.resize(dot);
        const std::string folder = base + "/" + name;
        if (name.empty() || name == "." || name == "..") {
            result.Problems.push_back(ErrnoError(folder, EINVAL, "no pack name"));
            continue;
        }
        // Only a folder made now is unpacked into: an installed pack of that name stays as it is.
        if (Result<void> made = (*packs)->CreateFolder(name, 0755); !made) {
            result.Problems.push_back(made.error());
            continue;
        }
        Result<std::unique_ptr<TKFolder>> target = (*packs)->Open(name);
        if (!target) {
            result.Problems.push_back(target.error());
            continue;
        }
        Result<std::unique_ptr<TKplFileBytes>> bytes = OpenKplFile(fileSystem, library);
        if (!bytes) {
            result.Problems.push_back(bytes.error());
            continue;
        }
        TKMYKPLIB kpl(fileSystem);
        kpl.LibraryId = wantedId;
        Result<void> unpacked = UnpackLibrary(kpl, **bytes, **target, folder, questions);
        if (!unpacked) {
            TError error = unpacked.error();
            if (error.Path.empty())
                error.Path = library;
            result.Problems.push_back(error);
            continue;
        }
        result.Installed.push_back(folder);
    }
    return result;
}

} // namespace ks
