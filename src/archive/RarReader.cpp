#include "archive/RarReader.h"
#include "archive/ArchiveFields.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "archive/ArchiveNames.h"
#include "archive/RarNames.h"

namespace ks {

namespace {

using rar::AttrOfMode;
using rar::DecodeRar4UnicodeName;
using rar::FileTimeToUnix;
using rar::SetDisplayName;

constexpr std::string_view Rar4Marker("Rar!\x1A\x07\x00", 7);
constexpr std::string_view Rar5Marker("Rar!\x1A\x07\x01\x00", 8);

/// No header of a real archive comes near this; a larger one is damage, and the cap keeps a
/// damaged size field from sizing a buffer.
constexpr std::uint64_t MaxHeaderSize = 2 * 1024 * 1024;
constexpr std::size_t ReadWindowSize = 64 * 1024;
constexpr std::size_t LoneHeaderReadSize = 4096;

// RAR 4 block types and flags.
constexpr int Rar4MainHeader = 0x73;
constexpr int Rar4FileHeader = 0x74;
constexpr int Rar4ServiceHeader = 0x7a;
constexpr int Rar4EndHeader = 0x7b;
constexpr std::uint32_t Rar4LongBlock = 0x8000;
constexpr std::uint32_t Rar4MainVolume = 0x0001;
constexpr std::uint32_t Rar4MainComment = 0x0002;
constexpr std::uint32_t Rar4MainNewNumbering = 0x0010;
constexpr std::uint32_t Rar4MainPassword = 0x0080;
constexpr std::uint32_t Rar4SplitBefore = 0x0001;
constexpr std::uint32_t Rar4SplitAfter = 0x0002;
constexpr std::uint32_t Rar4FileComment = 0x0008;
constexpr std::uint32_t Rar4DirectoryMask = 0x00e0;
constexpr std::uint32_t Rar4Large = 0x0100;
constexpr std::uint32_t Rar4Unicode = 0x0200;
constexpr std::uint32_t Rar4EndNextVolume = 0x0001;
constexpr std::size_t Rar4FileFixedSize = 32;

// RAR 5 header types and flags.
constexpr std::uint64_t Rar5MainHeader = 1;
constexpr std::uint64_t Rar5FileHeader = 2;
constexpr std::uint64_t Rar5EncryptionHeader = 4;
constexpr std::uint64_t Rar5EndHeader = 5;
constexpr std::uint64_t Rar5HasExtra = 0x0001;
constexpr std::uint64_t Rar5HasData = 0x0002;
constexpr std::uint64_t Rar5SplitBefore = 0x0008;
constexpr std::uint64_t Rar5SplitAfter = 0x0010;
constexpr std::uint64_t Rar5MainVolume = 0x0001;
constexpr std::uint64_t Rar5MainVolumeNumber = 0x0002;
constexpr std::uint64_t Rar5FileDirectory = 0x0001;
constexpr std::uint64_t Rar5FileTime = 0x0002;
constexpr std::uint64_t Rar5FileCrc = 0x0004;
constexpr std::uint64_t Rar5EndNextVolume = 0x0001;
constexpr std::uint64_t Rar5ExtraTime = 3;
constexpr std::uint64_t Rar5TimeUnix = 0x0001;
constexpr std::uint64_t Rar5TimeModified = 0x0002;

constexpr int HostWin32 = 2;
constexpr int HostUnix = 3;
constexpr int HostBeOS = 5;
constexpr std::uint32_t AttrFolder = 0x10;

/// Reads a volume through a window of its bytes, so that the small headers of many small entries
/// cost one read between them rather than one each.
class TVolumeWindow {
public:
    explicit TVolumeWindow(TKRarVolume& volume) : FVolume(volume) {}
    std::uint64_t Size() const { return FVolume.Size(); }

    /// count bytes at offset (fewer at the end of the volume); valid until the next call.
    Result<std::string_view> Get(std::uint64_t offset, std::size_t count) {
        if (offset >= FStart && offset - FStart + count <= FLength)
            return std::string_view(FBuffer.data() + (offset - FStart), count);
        // Headers close behind the window (small entries) come with many more; one far off
        // (behind large packed data) most likely stands alone, so only a page is read for it.
        const std::uint64_t windowEnd = FStart + FLength;
        const bool near = offset >= FStart && offset < windowEnd + ReadWindowSize;
        const std::uint64_t left = offset < Size() ? Size() - offset : 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(
            left, std::max<std::uint64_t>(count, near ? ReadWindowSize : LoneHeaderReadSize)));
        if (FBuffer.size() < want)
            FBuffer.resize(want);
        std::size_t got = 0;
        while (got < want) {
            Result<std::size_t> read = FVolume.ReadAt(offset + got, FBuffer.data() + got, want - got);
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
    TKRarVolume& FVolume;
    std::string FBuffer;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
};

/// Numbers of the RAR 5 format: seven bits a byte, low first, the top bit set on all but the last.
class TVintReader {
public:
    explicit TVintReader(std::string_view bytes) : FBytes(bytes) {}
    bool Vint(std::uint64_t& value) {
        value = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            if (FPos >= FBytes.size())
                return false;
            const std::uint64_t byte = static_cast<unsigned char>(FBytes[FPos++]);
            if (shift == 63 && (byte & 0x7E) != 0)
                return false;
            value |= (byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                return true;
        }
        return false;
    }
    bool U32(std::uint32_t& value) {
        if (FBytes.size() - FPos < 4)
            return false;
        value = Le32(FBytes, FPos);
        FPos += 4;
        return true;
    }
    bool U64(std::uint64_t& value) {
        if (FBytes.size() - FPos < 8)
            return false;
        value = Le64(FBytes, FPos);
        FPos += 8;
        return true;
    }
    bool Bytes(std::uint64_t count, std::string_view& value) {
        if (count > FBytes.size() - FPos)
            return false;
        value = FBytes.substr(FPos, static_cast<std::size_t>(count));
        FPos += static_cast<std::size_t>(count);
        return true;
    }
    std::size_t Pos() const { return FPos; }
    std::size_t Left() const { return FBytes.size() - FPos; }

private:
    std::string_view FBytes;
    std::size_t FPos = 0;
};

/// How one volume ended.
struct TVolumeEnd {
    bool NextVolume = false; ///< the volume says another follows
    bool EndSeen = false;    ///< it had an end header, so NextVolume is known
    bool IsVolume = false;   ///< it belongs to a set
    bool NewNumbering = true;
    bool SplitOpen = false; ///< its last entry goes on in the next volume
};

/// The walk over a set of volumes: hands entries to the sink, holding back an entry whose data
/// goes on in the next volume until its last part has been read.
class TRarWalk {
public:
    explicit TRarWalk(TKArchiveSink& sink) : FSink(sink) {}

    Result<void> ReadVolume(TKRarVolume& volume, const std::string& name, TVolumeEnd& end);
    /// Hands on an entry still held back (a set that ended early); false when the sink stopped.
    bool Flush() {
        if (!FHeld)
            return true;
        FHeld = false;
        return FSink.AddEntry(FHeldEntry);
    }

private:
    Result<void> ReadRar4(TVolumeWindow& window, TVolumeEnd& end);
    Result<void> ReadRar5(TVolumeWindow& window, TVolumeEnd& end);
    /// One file entry read; false when the sink stopped the walk.
    bool Add(const TArchiveEntry& entry, bool splitBefore, bool splitAfter);

    TError Damage(std::uint64_t offset, const std::string& what) const {
        return TError{TErrorCode::ecParse, 0, FVolumeName, HeaderLabel(offset) + ": " + what};
    }
    TError Unsupported(const std::string& what) const {
        return TError{TErrorCode::ecUnsupported, 0, FVolumeName, what};
    }
    TError Cancelled() const { return TError{TErrorCode::ecCancelled, 0, FVolumeName, {}}; }
    TError WithPlace(TError error, std::uint64_t offset) const {
        error.Detail = HeaderLabel(offset) + (error.Detail.empty() ? "" : ": " + error.Detail);
        return error;
    }
    std::string HeaderLabel(std::uint64_t offset) const {
        if (FInFileHeader)
            return "file header " + std::to_string(FFileHeaders) + " at offset " + std::to_string(offset);
        return "header at offset " + std::to_string(offset);
    }

    TKArchiveSink& FSink;
    std::string FVolumeName;
    int FFileHeaders = 0; ///< file headers of the volume read so far
    bool FInFileHeader = false;
    TArchiveEntry FEntry; ///< reused for every entry, so its strings keep their room
    TArchiveEntry FHeldEntry;
    bool FHeld = false;
};

bool TRarWalk::Add(const TArchiveEntry& entry, bool splitBefore, bool splitAfter) {
    if (splitBefore && FHeld && FHeldEntry.StoredName == entry.StoredName) {
        if (FHeldEntry.PackedSize != UnknownPackedSize && entry.PackedSize != UnknownPackedSize)
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

Result<void> TRarWalk::ReadVolume(TKRarVolume& volume, const std::string& name, TVolumeEnd& end) {
    FVolumeName = name;
    FFileHeaders = 0;
    FInFileHeader = false;
    end = TVolumeEnd{};
    TVolumeWindow window(volume);
    Result<std::string_view> marker = window.Get(0, Rar5Marker.size());
    if (!marker)
        return WithPlace(marker.error(), 0);
    if (marker->substr(0, Rar4Marker.size()) == Rar4Marker)
        return ReadRar4(window, end);
    if (*marker == Rar5Marker)
        return ReadRar5(window, end);
    return TError{TErrorCode::ecParse, 0, name, "no RAR marker at offset 0"};
}

Result<void> TRarWalk::ReadRar4(TVolumeWindow& window, TVolumeEnd& end) {
    const std::uint64_t size = window.Size();
    std::uint64_t offset = Rar4Marker.size();
    bool mainSeen = false;
    while (true) {
        FInFileHeader = false;
        if (offset >= size && !mainSeen)
            return Damage(offset, "the archive header is missing");
        if (offset >= size) {
            // Archives of the first versions end without an end block.
            end.SplitOpen = FHeld;
            return {};
        }
        Result<std::string_view> got = window.Get(offset, 7);
        if (!got)
            return WithPlace(got.error(), offset);
        if (got->size() < 7)
            return Damage(offset, "the file ends inside the header");
        const std::uint32_t headCrc = Le16(*got, 0);
        const int type = static_cast<unsigned char>((*got)[2]);
        const std::uint32_t flags = Le16(*got, 3);
        const std::uint32_t headSize = Le16(*got, 5);
        FInFileHeader = type == Rar4FileHeader;
        if (FInFileHeader)
            ++FFileHeaders;
        if (headSize < 7)
            return Damage(offset, "header size " + std::to_string(headSize) + " is too small");
        if (headSize > size - offset)
            return Damage(offset, "the file ends inside the header");
        if (!mainSeen && type != Rar4MainHeader)
            return Damage(offset, "the archive header is missing");
        got = window.Get(offset, headSize);
        if (!got)
            return WithPlace(got.error(), offset);
        const std::string_view header = *got;
        const bool hasOldComment = (type == Rar4MainHeader && (flags & Rar4MainComment) != 0) ||
                                   (type == Rar4FileHeader && (flags & Rar4FileComment) != 0);
        // Comments embedded in headers by the first versions are left out of the header checksum.
        if ((type == Rar4MainHeader || type == Rar4FileHeader || type == Rar4ServiceHeader) &&
            !hasOldComment && !ChecksumMatches(Crc32(header.substr(2)) & 0xFFFF, headCrc))
            return Damage(offset, "header checksum mismatch");
        std::uint64_t dataSize = 0;
        if (type == Rar4FileHeader || type == Rar4ServiceHeader) {
            if (headSize < Rar4FileFixedSize)
                return Damage(offset, "header size " + std::to_string(headSize) + " is too small");
            std::size_t at = Rar4FileFixedSize;
            dataSize = Le32(header, 7);
            std::uint64_t unpacked = Le32(header, 11);
            if ((flags & Rar4Large) != 0) {
                if (headSize < at + 8)
                    return Damage(offset, "header size " + std::to_string(headSize) + " is too small");
                dataSize |= static_cast<std::uint64_t>(Le32(header, at)) << 32;
                unpacked |= static_cast<std::uint64_t>(Le32(header, at + 4)) << 32;
                at += 8;
            }
            const std::size_t nameSize = Le16(header, 26);
            if (nameSize > headSize - at)
                return Damage(offset, "name size " + std::to_string(nameSize) + " runs past the header");
            if (type == Rar4FileHeader) {
                const std::string_view stored = header.substr(at, nameSize);
                const std::size_t zero = stored.find('\0');
                TArchiveEntry& entry = FEntry;
                entry.HostOS = static_cast<unsigned char>(header[15]);
                const bool unicode = (flags & Rar4Unicode) != 0 && zero != std::string_view::npos;
                if (unicode)
                    entry.StoredName = DecodeRar4UnicodeName(stored.substr(0, zero), stored.substr(zero + 1));
                if (!unicode || entry.StoredName.empty())
                    entry.StoredName.assign(stored.substr(0, zero));
                SetDisplayName(entry, entry.HostOS != HostUnix);
                const std::uint32_t attr = Le32(header, 28);
                // Unix and BeOS hosts store a mode where the others store attribute bits.
                entry.Attr = entry.HostOS == HostUnix || entry.HostOS == HostBeOS ? AttrOfMode(attr) : attr;
                if ((flags & Rar4DirectoryMask) == Rar4DirectoryMask)
                    entry.Attr |= AttrFolder;
                entry.Time = Le32(header, 20);
                entry.ModTime = 0;
                entry.Size = unpacked;
                entry.PackedSize = dataSize;
                entry.HeaderFlags = flags;
                entry.CheckValue = headCrc;
                entry.PackerVersion = static_cast<unsigned char>(header[24]);
                entry.PackMethod = static_cast<unsigned char>(header[25]);
                if (!Add(entry, (flags & Rar4SplitBefore) != 0, (flags & Rar4SplitAfter) != 0))
                    return Cancelled();
            }
        } else if (type == Rar4MainHeader) {
            if (mainSeen)
                return Damage(offset, "a second archive header");
            mainSeen = true;
            end.IsVolume = (flags & Rar4MainVolume) != 0;
            end.NewNumbering = (flags & Rar4MainNewNumbering) != 0;
            if ((flags & Rar4MainPassword) != 0)
                return Unsupported("the archive's headers are encrypted");
        } else if (type == Rar4EndHeader) {
            end.EndSeen = true;
            end.NextVolume = (flags & Rar4EndNextVolume) != 0;
            end.SplitOpen = FHeld;
            return {};
        } else if ((flags & Rar4LongBlock) != 0) {
            if (headSize < 11)
                return Damage(offset, "header size " + std::to_string(headSize) + " is too small");
            dataSize = Le32(header, 7);
        }
        offset += headSize;
        if (dataSize > size - offset) {
            // Stepping past the end is no damage by itself: the walk just finds no more headers.
            end.SplitOpen = FHeld;
            return {};
        }
        offset += dataSize;
    }
}

Result<void> TRarWalk::ReadRar5(TVolumeWindow& window, TVolumeEnd& end) {
    const std::uint64_t size = window.Size();
    std::uint64_t offset = Rar5Marker.size();
    bool mainSeen = false;
    end.NewNumbering = true;
    while (true) {
        FInFileHeader = false;
        if (offset >= size)
            return Damage(offset, "the file ends before the end header");
        // The checksum and the header size, a number of up to ten bytes.
        Result<std::string_view> got = window.Get(offset, 4 + 10);
        if (!got)
            return WithPlace(got.error(), offset);
        TVintReader prefix(*got);
        std::uint32_t headCrc = 0;
        std::uint64_t headSize = 0;
        if (!prefix.U32(headCrc))
            return Damage(offset, "the file ends inside the header");
        if (!prefix.Vint(headSize)) {
            if (got->size() < 4 + 10)
                return Damage(offset, "the file ends inside the header");
            return Damage(offset, "header size is no number");
        }
        if (headSize == 0 || headSize > MaxHeaderSize)
            return Damage(offset, "header size " + std::to_string(headSize) + " is out of range");
        const std::uint64_t total = prefix.Pos() + headSize;
        if (total > size - offset)
            return Damage(offset, "the file ends inside the header");
        got = window.Get(offset, static_cast<std::size_t>(total));
        if (!got)
            return WithPlace(got.error(), offset);
        const std::string_view block = *got;
        const std::string_view body = block.substr(prefix.Pos());
        TVintReader reader(body);
        std::uint64_t type = 0;
        std::uint64_t flags = 0;
        std::uint64_t extraSize = 0;
        std::uint64_t dataSize = 0;
        const bool fieldsRead = reader.Vint(type) && reader.Vint(flags) &&
                                ((flags & Rar5HasExtra) == 0 || reader.Vint(extraSize)) &&
                                ((flags & Rar5HasData) == 0 || reader.Vint(dataSize));
        FInFileHeader = fieldsRead && type == Rar5FileHeader;
        if (FInFileHeader)
            ++FFileHeaders;
        if (!ChecksumMatches(Crc32(block.substr(4)), headCrc))
            return Damage(offset, "header checksum mismatch");
        if (!fieldsRead)
            return Damage(offset, "the header ends inside its fields");
        if (extraSize > reader.Left())
            return Damage(offset,
                          "extra area of " + std::to_string(extraSize) + " bytes runs past the header");
        // Archive encryption comes first, before the archive header it hides.
        if (type == Rar5EncryptionHeader)
            return Unsupported("the archive's headers are encrypted");
        if (!mainSeen && type != Rar5MainHeader)
            return Damage(offset, "the archive header is missing");
        const std::string_view fields = body.substr(reader.Pos(), reader.Left() - extraSize);
        const std::string_view extra = body.substr(body.size() - extraSize);
        TVintReader field(fields);
        if (type == Rar5MainHeader) {
            if (mainSeen)
                return Damage(offset, "a second archive header");
            mainSeen = true;
            std::uint64_t archiveFlags = 0;
            std::uint64_t volumeNumber = 0;
            if (!field.Vint(archiveFlags) ||
                ((archiveFlags & Rar5MainVolumeNumber) != 0 && !field.Vint(volumeNumber)))
                return Damage(offset, "the header ends inside its fields");
            end.IsVolume = (archiveFlags & Rar5MainVolume) != 0;
        } else if (type == Rar5EndHeader) {
            std::uint64_t endFlags = 0;
            if (!field.Vint(endFlags))
                return Damage(offset, "the header ends inside its fields");
            end.EndSeen = true;
            end.NextVolume = (endFlags & Rar5EndNextVolume) != 0;
            end.SplitOpen = FHeld;
            return {};
        } else if (type == Rar5FileHeader) {
            std::uint64_t fileFlags = 0;
            std::uint64_t unpacked = 0;
            std::uint64_t attributes = 0;
            std::uint32_t mtime = 0;
            std::uint32_t dataCrc = 0;
            std::uint64_t compression = 0;
            std::uint64_t hostOs = 0;
            std::uint64_t nameSize = 0;
            std::string_view name;
            if (!field.Vint(fileFlags) || !field.Vint(unpacked) || !field.Vint(attributes) ||
                ((fileFlags & Rar5FileTime) != 0 && !field.U32(mtime)) ||
                ((fileFlags & Rar5FileCrc) != 0 && !field.U32(dataCrc)) || !field.Vint(compression) ||
                !field.Vint(hostOs) || !field.Vint(nameSize))
                return Damage(offset, "the header ends inside its fields");
            if (!field.Bytes(nameSize, name))
                return Damage(offset, "name size " + std::to_string(nameSize) + " runs past the header");
            std::optional<std::int64_t> modified;
            if ((fileFlags & Rar5FileTime) != 0)
                modified = mtime;
            TVintReader records(extra);
            while (records.Left() > 0) {
                std::uint64_t recordSize = 0;
                std::string_view record;
                if (!records.Vint(recordSize) || !records.Bytes(recordSize, record))
                    return Damage(offset, "an extra record runs past the header");
                TVintReader item(record);
                std::uint64_t recordType = 0;
                std::uint64_t timeFlags = 0;
                if (!item.Vint(recordType) || recordType != Rar5ExtraTime)
                    continue;
                if (!item.Vint(timeFlags))
                    return Damage(offset, "a time record ends inside its fields");
                if ((timeFlags & Rar5TimeModified) == 0)
                    continue;
                if ((timeFlags & Rar5TimeUnix) != 0) {
                    std::uint32_t seconds = 0;
                    if (!item.U32(seconds))
                        return Damage(offset, "a time record ends inside its fields");
                    modified = seconds;
                } else {
                    std::uint64_t fileTime = 0;
                    if (!item.U64(fileTime))
                        return Damage(offset, "a time record ends inside its fields");
                    modified = FileTimeToUnix(fileTime);
                }
            }
            TArchiveEntry& entry = FEntry;
            entry.HostOS = hostOs == 0 ? HostWin32 : hostOs == 1 ? HostUnix : 99;
            entry.StoredName.assign(name);
            SetDisplayName(entry, entry.HostOS == HostWin32);
            entry.Attr =
                entry.HostOS == HostUnix ? AttrOfMode(attributes) : static_cast<std::uint32_t>(attributes);
            if ((fileFlags & Rar5FileDirectory) != 0)
                entry.Attr |= AttrFolder;
            entry.Time = 0;
            entry.ModTime = modified.value_or(0);
            entry.Size = unpacked;
            entry.PackedSize = dataSize;
            entry.HeaderFlags = static_cast<std::uint32_t>(fileFlags);
            entry.CheckValue = (fileFlags & Rar5FileCrc) != 0 ? dataCrc : 0;
            entry.PackerVersion = 50;
            const std::uint64_t method = compression >> 7 & 7;
            entry.PackMethod = method <= 5 ? static_cast<int>('0' + method) : -1;
            if (!Add(entry, (flags & Rar5SplitBefore) != 0, (flags & Rar5SplitAfter) != 0))
                return Cancelled();
        }
        offset += total;
        if (dataSize > size - offset)
            return Damage(offset - total,
                          "data of " + std::to_string(dataSize) + " bytes runs past the end of the file");
        offset += dataSize;
    }
}

/// A volume read through an open file.
class TFileVolume : public TKRarVolume {
public:
    TFileVolume(std::unique_ptr<TKFile> file, std::uint64_t size) : FFile(std::move(file)), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        return FFile->ReadAt(offset, buffer, count);
    }

private:
    std::unique_ptr<TKFile> FFile;
    std::uint64_t FSize;
};

bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

} // namespace

Result<std::size_t> TRarMemoryVolume::ReadAt(std::uint64_t offset, char* buffer, std::size_t count) {
    if (offset >= FBytes.size())
        return std::size_t{0};
    const std::size_t n = std::min<std::size_t>(count, FBytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, FBytes.data() + offset, n);
    return n;
}

std::string NextRarVolumeName(const std::string& name, bool newNumbering) {
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < base)
        dot = name.size();
    std::string next = name;
    if (newNumbering) {
        std::size_t end = dot;
        while (end > base && !IsDigit(next[end - 1]))
            --end;
        if (end > base) {
            std::size_t at = end;
            while (at > base && IsDigit(next[at - 1])) {
                --at;
                if (next[at] != '9') {
                    ++next[at];
                    return next;
                }
                next[at] = '0';
            }
            next.insert(at, 1, '1');
            return next;
        }
    }
    const std::string ext = next.substr(dot == next.size() ? dot : dot + 1);
    if (ext.size() == 3 && IsDigit(ext[1]) && IsDigit(ext[2])) {
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
    next.resize(dot);
    return next + (upper ? ".R00" : ".r00");
}

Result<void> ReadRarVolumes(const TRarVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink) {
    TRarWalk walk(sink);
    std::string name = firstName;
    bool first = true;
    while (true) {
        Result<std::unique_ptr<TKRarVolume>> volume = open(name);
        if (!volume) {
            TError error = volume.error();
            if (first)
                return error;
            if (!walk.Flush())
                return TError{TErrorCode::ecCancelled, 0, name, {}};
            error.Path = name;
            if (error.Code == TErrorCode::ecNotFound)
                error.Detail = "the next volume " + name + " is missing";
            return error;
        }
        TVolumeEnd end;
        Result<void> read = walk.ReadVolume(**volume, name, end);
        if (!read) {
            if (read.error().Code != TErrorCode::ecCancelled && !walk.Flush())
                return TError{TErrorCode::ecCancelled, 0, name, {}};
            return read;
        }
        const bool more = end.IsVolume && (end.EndSeen ? end.NextVolume : end.SplitOpen);
        if (!more)
            break;
        name = NextRarVolumeName(name, end.NewNumbering);
        first = false;
    }
    if (!walk.Flush())
        return TError{TErrorCode::ecCancelled, 0, name, {}};
    return {};
}

Result<void> TRarReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    const TRarVolumeOpener open =
        [&fileSystem](const std::string& name) -> Result<std::unique_ptr<TKRarVolume>> {
        Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(name, ofRead | ofFollowLink);
        if (!file)
            return file.error();
        Result<TFileInfo> info = (*file)->Info();
        if (!info)
            return info.error();
        if (info->Type != TEntryType::etFile)
            return TError{TErrorCode::ecNotRegular, 0, name, "not a regular file"};
        return std::unique_ptr<TKRarVolume>(std::make_unique<TFileVolume>(std::move(*file), info->Size));
    };
    return ReadRarVolumes(open, fileName, sink);
}

} // namespace ks
