#include "archive/AceReader.h"
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

constexpr std::string_view Signature = "**ACE**";

constexpr int TypeMain = 0;
constexpr int TypeFile32 = 1;
constexpr int TypeFile64 = 3;

constexpr std::uint32_t FlagAddSize = 0x0001;     // a size of data after the header follows the flags
constexpr std::uint32_t FlagWide = 0x0004;        // that size takes 64 bits
constexpr std::uint32_t FlagMultiVolume = 0x0800; // main header: one volume of a set
constexpr std::uint32_t FlagContinuedBefore = 0x1000;
constexpr std::uint32_t FlagContinuedAfter = 0x2000;

// Type, flags, the signature and the three version and host bytes of the main header.
constexpr std::size_t MainFixedSize = 13;
// Type and flags, then after the two sizes the time, attributes, CRC, method, quality,
// parameters, a reserved word and the name size of a file header.
constexpr std::size_t FileFixedSize = 3 + 20;

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

/// The low 16 bits of the CRC-32 ACE keeps of a header: begun with all bits set like the common
/// one, but never inverted at the end.
std::uint32_t AceHeaderCrc(std::string_view bytes) {
    return Crc32Update(0xFFFFFFFFu, bytes) & 0xFFFF;
}

std::uint32_t PackMethodOf(int type, int quality) {
    if (type == 0)
        return '0';
    if (type == 2 && quality >= 0 && quality <= 4)
        return static_cast<std::uint32_t>('1' + quality);
    return static_cast<std::uint32_t>(-1);
}

class TAceWalk {
public:
    explicit TAceWalk(TKArchiveSink& sink) : FSink(sink) {}

    /// Lists one volume; volume tells whether it belongs to a set.
    Result<void> ReadVolume(TKArchiveBytes& bytes, bool& volume) {
        TByteWindow window(bytes);
        FWindow = &window;
        FFileHeaders = 0;
        FFileHeader = false;
        const std::uint64_t size = window.Size();
        Result<std::string_view> got = FWindow->Get(0, 4 + MainFixedSize);
        if (!got)
            return Placed(got.error(), 0);
        const std::string_view start = *got;
        if (start.size() < 4 + MainFixedSize)
            return Damage(0, start.size() >= 14 && start.substr(7, 7) != Signature
                                 ? "no ACE signature"
                                 : "the file ends inside the header");
        if (start.substr(7, 7) != Signature || start[4] != TypeMain)
            return Damage(0, "no ACE signature");
        Result<std::string_view> main = Header(0);
        if (!main)
            return main.error();
        if (main->size() < MainFixedSize)
            return Damage(0, "header size " + std::to_string(main->size()) + " is too small");
        volume = (Le16(*main, 1) & FlagMultiVolume) != 0;
        const int version = static_cast<unsigned char>((*main)[11]);
        const int host = static_cast<unsigned char>((*main)[12]);
        std::uint64_t offset = 4 + main->size();
        while (offset < size) {
            FFileHeader = false;
            Result<std::string_view> header = Header(offset);
            if (!header)
                return header.error();
            const std::string_view body = *header;
            const int type = static_cast<unsigned char>(body[0]);
            const std::uint32_t flags = Le16(body, 1);
            const bool file = type == TypeFile32 || type == TypeFile64;
            if (type == TypeMain)
                return Damage(offset, "a second main header");
            if (file) {
                ++FFileHeaders;
                FFileHeader = true;
                if ((flags & FlagAddSize) == 0)
                    return Damage(offset, "a file header without a data size");
            }
            const bool wide = type == TypeFile64 || (!file && (flags & FlagWide) != 0);
            const std::size_t sizeWidth = wide ? 8 : 4;
            std::uint64_t dataSize = 0;
            if ((flags & FlagAddSize) != 0) {
                if (body.size() < 3 + sizeWidth)
                    return Damage(offset, "the header ends inside its fields");
                dataSize = wide ? Le64(body, 3) : Le32(body, 3);
            }
            if (file) {
                if (body.size() < FileFixedSize + 2 * sizeWidth)
                    return Damage(offset, "the header ends inside its fields");
                const std::size_t at = 3 + 2 * sizeWidth;
                const std::uint32_t nameSize = Le16(body, at + 18);
                if (nameSize > body.size() - (at + 20))
                    return Damage(offset, "name size " + std::to_string(nameSize) + " runs past the header");
                const std::string_view name = body.substr(at + 20, nameSize);
                TArchiveEntry& entry = FEntry;
                entry.StoredName.assign(name);
                std::string display = IsValidUtf8(name) ? std::string(name) : Cp437ToUtf8(name);
                std::replace(display.begin(), display.end(), '\\', '/');
                entry.Name = ArchiveDisplayName(display);
                entry.Attr = Le32(body, at + 4);
                entry.Time = Le32(body, at);
                entry.ModTime = 0;
                entry.Size = wide ? Le64(body, 3 + sizeWidth) : Le32(body, 3 + sizeWidth);
                entry.PackedSize = dataSize;
                entry.HeaderFlags = flags;
                entry.HostOS = host <= 4 ? host : 99;
                entry.CheckValue = FHeadCrc;
                entry.PackerVersion = version;
                entry.PackMethod = static_cast<int>(PackMethodOf(static_cast<unsigned char>(body[at + 12]),
                                                                 static_cast<unsigned char>(body[at + 13])));
                if (!Add(entry, (flags & FlagContinuedBefore) != 0, (flags & FlagContinuedAfter) != 0))
                    return TError{TErrorCode::ecCancelled, 0, {}, {}};
            }
            const std::uint64_t next = offset + 4 + body.size();
            if (dataSize > size - next)
                return Damage(offset,
                              "data of " + std::to_string(dataSize) + " bytes runs past the end of the file");
            offset = next + dataSize;
        }
        return {};
    }

    /// Hands on an entry still held back (a set that ended early); false when the sink stopped.
    bool Flush() {
        if (!FHeld)
            return true;
        FHeld = false;
        return FSink.AddEntry(FHeldEntry);
    }
    bool Holding() const { return FHeld; }

private:
    /// One entry read. A file split over volumes has a header in each; it is reported once, when
    /// its last part has been read, with the packed sizes of all parts added up.
    bool Add(const TArchiveEntry& entry, bool splitBefore, bool splitAfter) {
        if (splitBefore && FHeld && FHeldEntry.StoredName == entry.StoredName) {
            FHeldEntry.PackedSize += entry.PackedSize;
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

    /// The header at offset after its checksum and size, its checksum checked.
    Result<std::string_view> Header(std::uint64_t offset) {
        const std::uint64_t size = FWindow->Size();
        Result<std::string_view> got = FWindow->Get(offset, 4);
        if (!got)
            return Placed(got.error(), offset);
        if (got->size() < 4)
            return Damage(offset, "the file ends inside the header");
        FHeadCrc = Le16(*got, 0);
        const std::uint32_t headSize = Le16(*got, 2);
        if (headSize < 3)
            return Damage(offset, "header size " + std::to_string(headSize) + " is too small");
        if (4 + headSize > size - offset)
            return Damage(offset, "the file ends inside the header");
        got = FWindow->Get(offset, 4 + headSize);
        if (!got)
            return Placed(got.error(), offset);
        const std::string_view body = got->substr(4);
        if (!ChecksumMatches(AceHeaderCrc(body), FHeadCrc)) {
            const int type = static_cast<unsigned char>(body[0]);
            if (offset > 0 && (type == TypeFile32 || type == TypeFile64)) {
                ++FFileHeaders;
                FFileHeader = true;
            }
            return Damage(offset, "header checksum mismatch");
        }
        return body;
    }

    std::string Label(std::uint64_t offset) const {
        if (offset == 0)
            return "main header at offset 0";
        if (FFileHeader)
            return "file header " + std::to_string(FFileHeaders) + " at offset " + std::to_string(offset);
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
    std::uint32_t FHeadCrc = 0;
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

std::string NextAceVolumeName(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < base)
        dot = name.size();
    const std::string ext = dot < name.size() ? name.substr(dot + 1) : std::string();
    const auto digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (ext.size() == 3 && !digit(ext[0]) && digit(ext[1]) && digit(ext[2])) {
        std::string next = name;
        std::size_t at = next.size();
        while (at > next.size() - 2) {
            --at;
            if (next[at] != '9') {
                ++next[at];
                return next;
            }
            next[at] = '0';
        }
        ++next[at - 1];
        return next;
    }
    const bool upper = !ext.empty() && ext[0] >= 'A' && ext[0] <= 'Z';
    return name.substr(0, dot) + (upper ? ".C00" : ".c00");
}

Result<void> ReadAceVolumes(const TAceVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink) {
    TAceWalk walk(sink);
    std::string name = firstName;
    // Bounds a set whose volumes never end.
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
        bool volume = false;
        Result<void> read = walk.ReadVolume(**bytes, volume);
        if (!read) {
            if (read.error().Code != TErrorCode::ecCancelled && !walk.Flush())
                return TError{TErrorCode::ecCancelled, 0, name, {}};
            return WithPath(read.error(), name);
        }
        // A set tells only by a file split into the next volume that one must follow.
        if (!volume || !walk.Holding())
            break;
        name = NextAceVolumeName(name);
    }
    if (!walk.Flush())
        return TError{TErrorCode::ecCancelled, 0, name, {}};
    return {};
}

Result<void> ReadAceDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    TAceWalk walk(sink);
    bool volume = false;
    Result<void> read = walk.ReadVolume(bytes, volume);
    if ((read || read.error().Code != TErrorCode::ecCancelled) && !walk.Flush())
        return TError{TErrorCode::ecCancelled, 0, {}, {}};
    return read;
}

Result<void> ReadAceDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadAceDirectory(bytes, sink);
}

Result<void> TAceReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    const TAceVolumeOpener open =
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
    return ReadAceVolumes(open, fileName, sink);
}

} // namespace ks
