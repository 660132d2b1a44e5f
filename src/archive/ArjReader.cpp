#include "archive/ArjReader.h"
#include "archive/ArchiveBytes.h"
#include "archive/ArchiveFields.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

#include "archive/ArchiveNames.h"

namespace ks {

namespace {

constexpr std::size_t ReadWindowSize = 64 * 1024;
constexpr std::size_t LoneHeaderReadSize = 4096;
constexpr int MaxVolumes = 10000;

// The archiver refuses basic headers above this size, so a larger one is damage.
constexpr std::uint32_t MaxBasicHeaderSize = 2600;
// The fixed fields from the first header size up to the host data.
constexpr std::uint32_t FixedHeaderSize = 30;

constexpr std::uint32_t FlagVolume = 0x04;  // main header: another volume follows; file: goes on in it
constexpr std::uint32_t FlagExtFile = 0x08; // the file starts in an earlier volume

constexpr int TypeBinary = 0;
constexpr int TypeText = 1;
constexpr int TypeDirectory = 3;

constexpr std::uint32_t AttrFolder = 0x10;
constexpr std::uint32_t AttrArchive = 0x20;
constexpr int HostUnixArj = 2;

/// Reads the archive through a window of its bytes, so that the small headers of many small
/// entries cost one read between them rather than one each.
class TByteWindow {
public:
    explicit TByteWindow(TKArchiveBytes& bytes) : FBytes(bytes) {}
    std::uint64_t Size() const { return FBytes.Size(); }

    /// count bytes at offset (fewer at the end of the file); valid until the next call.
    Result<std::string_view> Get(std::uint64_t offset, std::size_t count) {
        if (offset >= FStart && offset - FStart + count <= FLength)
            return std::string_view(FBuffer.data() + (offset - FStart), count);
        // A header close behind the window comes with many more; one far off (behind large
        // packed data) most likely stands alone, so only a page is read for it.
        const bool near = offset >= FStart && offset < FStart + FLength + ReadWindowSize;
        const std::uint64_t left = offset < Size() ? Size() - offset : 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(
            left, std::max<std::uint64_t>(count, near ? ReadWindowSize : LoneHeaderReadSize)));
        if (FBuffer.size() < want)
            FBuffer.resize(want);
        std::size_t got = 0;
        while (got < want) {
            Result<std::size_t> read = FBytes.ReadAt(offset + got, FBuffer.data() + got, want - got);
            if (!read)
                return read.error();
            if (*read == 0)
                break;
            got += *read;
        }
        FStart = offset;
        FLength = got;
        return std::string_view(FBuffer.data(), std::min(got, count));
    }

private:
    TKArchiveBytes& FBytes;
    std::string FBuffer;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
};

int HostOf(int arjHost) {
    switch (arjHost) {
    case 0:
        return 0;
    case 2:
        return 3;
    case 4:
        return 4;
    case 5:
        return 1;
    case 10: // Windows 95
    case 11: // Windows NT and later, what arj32 writes
        return 2;
    default:
        return 99;
    }
}

int MethodOf(int arjMethod) {
    switch (arjMethod) {
    case 0:
        return '0';
    case 1:
        return '4';
    case 2:
        return '3';
    case 3:
        return '2';
    case 4:
        return '1';
    default:
        return -1;
    }
}

/// One header as read: the basic header (from the first header size on) and where the next one
/// starts.
struct THeader {
    std::string_view Basic;
    std::uint64_t Next = 0;
    bool End = false;
};

class TArjWalk {
public:
    explicit TArjWalk(TKArchiveSink& sink) : FSink(sink) {}

    /// Lists one volume; more tells whether the set goes on in another.
    Result<void> ReadVolume(TKArchiveBytes& bytes, bool& more) {
        TByteWindow window(bytes);
        FWindow = &window;
        FFileHeaders = 0;
        FFileHeader = false;
        Result<THeader> main = ReadHeader(0);
        if (!main)
            return main.error();
        if (main->End)
            return Damage(0, "the main header is missing");
        more = (static_cast<unsigned char>(main->Basic[4]) & FlagVolume) != 0;
        std::uint64_t offset = main->Next;
        const std::uint64_t size = window.Size();
        while (true) {
            FFileHeader = false;
            if (offset >= size)
                return Damage(offset, "the file ends before the end header");
            Result<THeader> header = ReadHeader(offset);
            if (!header)
                return header.error();
            if (header->End)
                return {};
            const std::string_view basic = header->Basic;
            const std::uint32_t firstSize = static_cast<unsigned char>(basic[0]);
            const std::uint32_t flags = static_cast<unsigned char>(basic[4]);
            const int type = static_cast<unsigned char>(basic[6]);
            const std::uint64_t packed = Le32(basic, 12);
            if (type == TypeBinary || type == TypeText || type == TypeDirectory) {
                const std::string_view names = basic.substr(firstSize);
                const std::string_view name = names.substr(0, names.find('\0'));
                const int arjHost = static_cast<unsigned char>(basic[3]);
                TArchiveEntry& entry = FEntry;
                entry.StoredName.assign(name);
                std::string display = IsValidUtf8(name) ? std::string(name) : Cp437ToUtf8(name);
                if (arjHost != HostUnixArj)
                    std::replace(display.begin(), display.end(), '\\', '/');
                entry.Name = ArchiveDisplayName(display);
                entry.Attr = type == TypeDirectory ? AttrFolder : AttrArchive;
                // Archivers on Unix store the time as seconds since 1970 in the same field.
                const std::uint32_t stamp = Le32(basic, 8);
                entry.Time = arjHost == HostUnixArj ? 0 : stamp;
                entry.ModTime = arjHost == HostUnixArj ? stamp : 0;
                entry.Size = Le32(basic, 16);
                entry.PackedSize = packed;
                entry.HeaderFlags = flags;
                entry.HostOS = HostOf(arjHost);
                entry.CheckValue = Le32(basic, 20);
                entry.PackerVersion = static_cast<unsigned char>(basic[1]);
                entry.PackMethod = MethodOf(static_cast<unsigned char>(basic[5]));
                if (!Add(entry, (flags & FlagExtFile) != 0, (flags & FlagVolume) != 0))
                    return TError{TErrorCode::ecCancelled, 0, {}, {}};
            }
            if (packed > size - header->Next)
                return Damage(offset,
                              "data of " + std::to_string(packed) + " bytes runs past the end of the file");
            offset = header->Next + packed;
        }
    }

    /// Hands on an entry still held back (a set that ended early); false when the sink stopped.
    bool Flush() {
        if (!FHeld)
            return true;
        FHeld = false;
        return FSink.AddEntry(FHeldEntry);
    }

private:
    /// One entry read. A file split over volumes is stored in parts, each with the sizes of its
    /// own piece; it is reported once, when its last part has been read, with the sizes added up.
    bool Add(const TArchiveEntry& entry, bool splitBefore, bool splitAfter) {
        if (splitBefore && FHeld && FHeldEntry.StoredName == entry.StoredName) {
            FHeldEntry.Size += entry.Size;
            FHeldEntry.PackedSize += entry.PackedSize;
            FHeldEntry.CheckValue = entry.CheckValue;
            if (splitAfter)
                return true;
            return Flush();
        }
        if (!Flush())
            return false;
        if (splitAfter) {
            FHeldEntry = entry;
            FHeld = true;
            return true;
        }
        return FSink.AddEntry(entry);
    }

    /// The header at offset with its CRC checked and its extended headers stepped over.
    Result<THeader> ReadHeader(std::uint64_t offset) {
        const std::uint64_t size = FWindow->Size();
        Result<std::string_view> got = FWindow->Get(offset, 4);
        if (!got)
            return Placed(got.error(), offset);
        if (got->size() >= 2 && ((*got)[0] != '\x60' || (*got)[1] != '\xEA'))
            return Damage(offset, "no ARJ header id");
        if (got->size() < 4)
            return Damage(offset, "the file ends inside the header");
        const std::uint32_t basicSize = Le16(*got, 2);
        THeader header;
        if (basicSize == 0) {
            header.End = true;
            header.Next = offset + 4;
            return header;
        }
        if (offset > 0) {
            ++FFileHeaders;
            FFileHeader = true;
        }
        if (basicSize < FixedHeaderSize || basicSize > MaxBasicHeaderSize)
            return Damage(offset, "basic header size " + std::to_string(basicSize) + " is out of range");
        const std::size_t total = 4 + basicSize + 4;
        if (total > size - offset)
            return Damage(offset, "the file ends inside the header");
        got = FWindow->Get(offset, total);
        if (!got)
            return Placed(got.error(), offset);
        const std::string_view basic = got->substr(4, basicSize);
        if (!ChecksumMatches(Crc32(basic), Le32(*got, 4 + basicSize)))
            return Damage(offset, "header checksum mismatch");
        const std::uint32_t firstSize = static_cast<unsigned char>(basic[0]);
        if (firstSize < FixedHeaderSize || firstSize > basicSize)
            return Damage(offset, "first header size " + std::to_string(firstSize) + " is out of range");
        // Stepping over the extended headers may move the window, so the basic header is kept
        // apart first.
        FBasic.assign(basic);
        std::uint64_t at = offset + total;
        while (true) {
            Result<std::string_view> ext = FWindow->Get(at, 2);
            if (!ext)
                return Placed(ext.error(), offset);
            if (ext->size() < 2)
                return Damage(offset, "the file ends inside the header");
            const std::uint32_t extSize = Le16(*ext, 0);
            at += 2;
            if (extSize == 0)
                break;
            if (extSize + 4 > size - at)
                return Damage(offset, "an extended header runs past the end of the file");
            at += extSize + 4;
        }
        header.Basic = FBasic;
        header.Next = at;
        return header;
    }

    std::string Label(std::uint64_t offset) const {
        if (offset == 0)
            return "main header at offset 0";
        if (FFileHeader)
            return "local header " + std::to_string(FFileHeaders) + " at offset " + std::to_string(offset);
        return "header at offset " + std::to_string(offset);
    }
    TError Damage(std::uint64_t offset, const std::string& what) const {
        return TError{TErrorCode::ecParse, 0, {}, Label(offset) + ": " + what};
    }
    TError Placed(TError error, std::uint64_t offset) const {
        error.Detail = Label(offset) + (error.Detail.empty() ? "" : ": " + error.Detail);
        return error;
    }

    TKArchiveSink& FSink;
    TByteWindow* FWindow = nullptr;
    std::string FBasic;
    int FFileHeaders = 0;
    bool FFileHeader = false;
    TArchiveEntry FEntry; ///< reused for every entry, so its strings keep their room
    TArchiveEntry FHeldEntry;
    bool FHeld = false;
};

TError WithPath(TError error, const std::string& path) {
    if (error.Path.empty())
        error.Path = path;
    return error;
}

} // namespace

std::string NextArjVolumeName(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < base)
        return name + ".a01";
    const std::string ext = name.substr(dot + 1);
    const bool upper = !ext.empty() && ext[0] >= 'A' && ext[0] <= 'Z';
    const std::string stem = name.substr(0, dot + 1);
    std::string digits = ext.size() == 3 && (ext[0] == 'a' || ext[0] == 'A') ? ext.substr(1) : ext;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return stem + (upper ? "A01" : "a01");
    const unsigned long next = std::stoul(digits) + 1;
    if (next < 100) {
        const std::string two = (next < 10 ? "0" : "") + std::to_string(next);
        return stem + (upper ? "A" : "a") + two;
    }
    return stem + std::to_string(next);
}

Result<void> ReadArjVolumes(const TArjVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink) {
    TArjWalk walk(sink);
    std::string name = firstName;
    // Bounds a set whose volumes all say another follows.
    for (int volumes = 0; volumes < MaxVolumes; ++volumes) {
        Result<std::unique_ptr<TKArchiveBytes>> bytes = open(name);
        if (!bytes) {
            TError error = WithPath(bytes.error(), name);
            if (volumes == 0)
                return error;
            if (!walk.Flush())
                return TError{TErrorCode::ecCancelled, 0, name, {}};
            if (error.Code == TErrorCode::ecNotFound)
                error.Detail = "the next volume " + name + " is missing";
            return error;
        }
        bool more = false;
        Result<void> read = walk.ReadVolume(**bytes, more);
        if (!read) {
            if (read.error().Code != TErrorCode::ecCancelled && !walk.Flush())
                return TError{TErrorCode::ecCancelled, 0, name, {}};
            return WithPath(read.error(), name);
        }
        if (!more)
            break;
        name = NextArjVolumeName(name);
    }
    if (!walk.Flush())
        return TError{TErrorCode::ecCancelled, 0, name, {}};
    return {};
}

Result<void> ReadArjDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    TArjWalk walk(sink);
    bool more = false;
    Result<void> read = walk.ReadVolume(bytes, more);
    if ((read || read.error().Code != TErrorCode::ecCancelled) && !walk.Flush())
        return TError{TErrorCode::ecCancelled, 0, {}, {}};
    return read;
}

Result<void> ReadArjDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadArjDirectory(bytes, sink);
}

Result<void> TArjReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    const TArjVolumeOpener open =
        [&fileSystem](const std::string& name) -> Result<std::unique_ptr<TKArchiveBytes>> {
        Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(name, ofRead | ofFollowLink);
        if (!file)
            return file.error();
        Result<TFileInfo> info = (*file)->Info();
        if (!info)
            return info.error();
        if (info->Type != TEntryType::etFile)
            return TError{TErrorCode::ecNotRegular, 0, name, "not a regular file"};
        return std::unique_ptr<TKArchiveBytes>(std::make_unique<TFileBytes>(std::move(*file)));
    };
    return ReadArjVolumes(open, fileName, sink);
}

} // namespace ks
