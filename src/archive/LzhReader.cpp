#include "archive/LzhReader.h"
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

constexpr std::size_t BaseSize = 22;
constexpr std::size_t ReadWindowSize = 64 * 1024;
constexpr std::size_t LoneHeaderReadSize = 4096;
/// No header of a real archive comes near this (level 3 sizes are 32-bit); a larger one is
/// damage, and the cap keeps a damaged size field from sizing a buffer.
constexpr std::uint64_t MaxHeaderSize = 1024 * 1024;
constexpr std::uint32_t AttrFolder = 0x10;
constexpr unsigned char PathSeparator = 0xFF;

// Extended header types.
constexpr int ExtCommon = 0x00;
constexpr int ExtFileName = 0x01;
constexpr int ExtFolderName = 0x02;
constexpr int ExtDosAttr = 0x40;
constexpr int ExtWindowsTimes = 0x41;
constexpr int ExtSizes = 0x42;
constexpr int ExtUnicodeFileName = 0x44;
constexpr int ExtUnicodeFolderName = 0x45;
constexpr int ExtUnixTime = 0x54;

// Seconds from 1601-01-01 (the Windows file time epoch) to 1970-01-01.
constexpr std::int64_t WindowsEpochOffset = 11644473600;

const std::array<std::uint16_t, 256> Crc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? 0xA001u ^ (c >> 1) : c >> 1;
        table[i] = static_cast<std::uint16_t>(c);
    }
    return table;
}();

std::uint32_t Crc16(std::string_view bytes) {
    std::uint32_t crc = 0;
    for (const char ch : bytes)
        crc = Crc16Table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/// UTF-16LE to UTF-8, "\" and U+FFFF (the separators Unicode names use) as "/"; a lone
/// surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = Le16(bytes, 2 * i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
            const std::uint32_t next = Le16(bytes, 2 * i + 2);
            if (next >= 0xDC00 && next < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            AppendUtf8(out, 0xFFFD);
        else if (unit == '\\' || unit == 0xFFFF)
            out += '/';
        else
            AppendUtf8(out, unit);
    }
    return out;
}

/// 8-bit names that are no UTF-8 are read as code page 437; "\" and 0xFF separate parts.
std::string DisplayOf8Bit(std::string_view stored) {
    std::string name(stored);
    std::replace(name.begin(), name.end(), static_cast<char>(PathSeparator), '/');
    std::replace(name.begin(), name.end(), '\\', '/');
    return IsValidUtf8(name) ? name : Cp437ToUtf8(name);
}

int HostOfOsId(unsigned char id) {
    switch (id) {
    case 'M':
        return 0;
    case '2':
        return 1;
    case 'W':
        return 2;
    case 'U':
        return 3;
    case 'm':
        return 4;
    default:
        return 99;
    }
}

int MethodOf(char digit) {
    switch (digit) {
    case '0':
        return '0';
    case '1':
        return '1';
    case '4':
    case '5':
        return '3';
    default:
        return 0;
    }
}

/// Reads the archive through a window of its bytes, so that the small headers of many small
/// entries cost one read between them rather than one each.
class TWindow {
public:
    explicit TWindow(TKArchiveBytes& bytes) : FBytes(bytes) {}
    std::uint64_t Size() const { return FBytes.Size(); }

    /// count bytes at offset (fewer at the end of the file); valid until the next call.
    Result<std::string_view> Get(std::uint64_t offset, std::size_t count) {
        if (offset >= FStart && offset - FStart + count <= FLength)
            return std::string_view(FBuffer.data() + (offset - FStart), count);
        // Headers close behind the window (small entries) come with many more; one far off
        // (behind large packed data) most likely stands alone, so only a page is read for it.
        const bool near = offset >= FStart && offset < FStart + FLength + ReadWindowSize;
        const std::uint64_t left = offset < Size() ? Size() - offset : 0;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(left, std::max(count, near ? ReadWindowSize : LoneHeaderReadSize)));
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

/// What the extended headers of one entry say.
struct TExtended {
    bool HasName = false;
    std::string Name;
    bool HasFolder = false;
    std::string Folder;
    std::string UnicodeName;
    std::string UnicodeFolder;
    bool HasDosAttr = false;
    std::uint32_t DosAttr = 0;
    std::int64_t ModTime = 0;
    bool HasSizes = false;
    std::uint64_t PackedSize = 0;
    std::uint64_t Size = 0;
    bool HasCrc = false;
    std::uint32_t Crc = 0;
    std::size_t CrcAt = 0; ///< where the header CRC sits in the extended area
};

class TLzhWalk {
public:
    TLzhWalk(TKArchiveBytes& bytes, TKArchiveSink& sink) : FWindow(bytes), FSink(sink) {}
    Result<void> Run();

private:
    TError Damage(std::uint64_t offset, const std::string& what) const {
        return TError{TErrorCode::ecParse, 0, {}, Label(offset) + ": " + what};
    }
    TError WithPlace(TError error, std::uint64_t offset) const {
        error.Detail = Label(offset) + (error.Detail.empty() ? "" : ": " + error.Detail);
        return error;
    }
    std::string Label(std::uint64_t offset) const {
        return "header " + std::to_string(FIndex) + " at offset " + std::to_string(offset);
    }
    /// Reads the chain of extended headers in area, the first of firstSize bytes, each naming
    /// the size of the next in its last sizeWidth bytes. The bytes the chain took, or an error.
    Result<std::size_t> ParseExtended(std::string_view area, std::uint64_t firstSize, std::size_t sizeWidth,
                                      std::uint64_t offset, TExtended& ext);
    /// One extended header (type, data, size of the next) found at pos of its area.
    static void ReadBlock(std::string_view block, std::size_t sizeWidth, std::size_t pos, TExtended& ext);

    TWindow FWindow;
    TKArchiveSink& FSink;
    int FIndex = 0;
    TArchiveEntry FEntry; ///< reused for every entry, so its strings keep their room
};

void TLzhWalk::ReadBlock(std::string_view block, std::size_t sizeWidth, std::size_t pos, TExtended& ext) {
    const int type = static_cast<unsigned char>(block[0]);
    const std::string_view data = block.substr(1, block.size() - 1 - sizeWidth);
    switch (type) {
    case ExtCommon:
        if (data.size() >= 2) {
            ext.HasCrc = true;
            ext.Crc = Le16(data, 0);
            ext.CrcAt = pos + 1;
        }
        break;
    case ExtFileName:
        ext.HasName = true;
        ext.Name.assign(data);
        break;
    case ExtFolderName:
        ext.HasFolder = true;
        ext.Folder.assign(data);
        break;
    case ExtDosAttr:
        if (data.size() >= 2) {
            ext.HasDosAttr = true;
            ext.DosAttr = Le16(data, 0);
        }
        break;
    case ExtWindowsTimes:
        if (data.size() >= 16) {
            const std::uint64_t modified = Le64(data, 8);
            if (modified != 0)
                ext.ModTime = static_cast<std::int64_t>(modified / 10000000u) - WindowsEpochOffset;
        }
        break;
    case ExtSizes:
        if (data.size() >= 16) {
            ext.HasSizes = true;
            ext.PackedSize = Le64(data, 0);
            ext.Size = Le64(data, 8);
        }
        break;
    case ExtUnicodeFileName:
        ext.UnicodeName = Utf16ToUtf8(data);
        break;
    case ExtUnicodeFolderName:
        ext.UnicodeFolder = Utf16ToUtf8(data);
        break;
    case ExtUnixTime:
        // A Windows time, when also stored, is the finer one.
        if (data.size() >= 4 && ext.ModTime == 0)
            ext.ModTime = Le32(data, 0);
        break;
    default:
        break;
    }
}

Result<std::size_t> TLzhWalk::ParseExtended(std::string_view area, std::uint64_t firstSize,
                                            std::size_t sizeWidth, std::uint64_t offset, TExtended& ext) {
    std::size_t pos = 0;
    std::uint64_t next = firstSize;
    while (next != 0) {
        if (next < 1 + sizeWidth)
            return Damage(offset, "extended header size " + std::to_string(next) + " is too small");
        if (next > area.size() - pos)
            return Damage(offset,
                          "extended header of " + std::to_string(next) + " bytes runs past the header");
        const std::string_view block = area.substr(pos, static_cast<std::size_t>(next));
        ReadBlock(block, sizeWidth, pos, ext);
        next = sizeWidth == 2 ? Le16(block, block.size() - 2) : Le32(block, block.size() - 4);
        pos += block.size();
    }
    return pos;
}

Result<void> TLzhWalk::Run() {
    const std::uint64_t size = FWindow.Size();
    std::uint64_t offset = 0;
    std::string extArea;
    while (true) {
        ++FIndex;
        // The file may end between two entries: older archivers left out the closing zero.
        if (offset >= size)
            return {};
        Result<std::string_view> got = FWindow.Get(offset, BaseSize);
        if (!got)
            return WithPlace(got.error(), offset);
        if ((*got)[0] == 0)
            return {};
        if (got->size() < BaseSize)
            return Damage(offset, "the file ends inside the header");
        const std::string_view base = *got;
        if (base[2] != '-' || base[3] != 'l' || base[6] != '-')
            return Damage(offset, "no method id");
        const int level = static_cast<unsigned char>(base[20]);
        const std::uint64_t packedField = Le32(base, 7);
        const std::uint64_t sizeField = Le32(base, 11);
        const std::uint32_t timeField = Le32(base, 15);
        const std::uint32_t attrField = Le16(base, 19);
        const char methodDigit = base[5];
        const bool isFolder = std::string_view(base.data() + 2, 5) == "-lhd-";

        TExtended ext;
        std::uint64_t headerSize = 0; ///< bytes from offset to the packed data
        std::uint64_t dataSize = packedField;
        std::string shortName;
        int host = 99;
        std::uint32_t checkValue = 0;
        std::uint32_t dosTime = 0;
        std::int64_t modTime = 0;
        if (level == 0 || level == 1) {
            const std::uint64_t baseSize = static_cast<unsigned char>(base[0]) + std::uint64_t{2};
            const std::size_t nameLength = static_cast<unsigned char>(base[21]);
            const std::size_t fixed = BaseSize + nameLength + 2 + (level == 1 ? 3 : 0);
            if (baseSize < fixed)
                return Damage(offset, "header size " + std::to_string(baseSize) + " is too small");
            if (baseSize > size - offset)
                return Damage(offset, "the file ends inside the header");
            got = FWindow.Get(offset, static_cast<std::size_t>(baseSize));
            if (!got)
                return WithPlace(got.error(), offset);
            const std::string_view header = *got;
            std::uint32_t sum = 0;
            for (const char ch : header.substr(2))
                sum += static_cast<unsigned char>(ch);
            checkValue = static_cast<unsigned char>(header[1]);
            if (!ChecksumMatches(sum & 0xFF, checkValue))
                return Damage(offset, "header checksum mismatch");
            shortName.assign(header.substr(BaseSize, nameLength));
            dosTime = timeField;
            const std::size_t after = BaseSize + nameLength + 2;
            headerSize = baseSize;
            if (level == 0) {
                // The extended area of level 0: an OS ID, and for Unix its time and mode.
                if (header.size() > after) {
                    host = HostOfOsId(static_cast<unsigned char>(header[after]));
                    if (header[after] == 'U' && header.size() >= after + 6)
                        modTime = Le32(header, after + 2);
                }
            } else {
                host = HostOfOsId(static_cast<unsigned char>(header[after]));
                std::uint64_t first = Le16(header, header.size() - 2);
                // The extended headers follow the base header; their sizes are counted in the
                // packed size, so the chain is read header by header.
                std::uint64_t at = offset + baseSize;
                std::uint64_t chain = 0;
                while (first != 0) {
                    if (first < 3)
                        return Damage(offset,
                                      "extended header size " + std::to_string(first) + " is too small");
                    if (chain + first > MaxHeaderSize)
                        return Damage(offset, "the extended headers are too large");
                    if (first > size - at)
                        return Damage(offset, "the file ends inside an extended header");
                    got = FWindow.Get(at, static_cast<std::size_t>(first));
                    if (!got)
                        return WithPlace(got.error(), offset);
                    ReadBlock(*got, 2, 0, ext);
                    chain += first;
                    at += first;
                    first = Le16(*got, got->size() - 2);
                }
                headerSize = at - offset;
                if (ext.HasSizes)
                    dataSize = ext.PackedSize;
                if (dataSize < headerSize - baseSize)
                    return Damage(offset, "packed size " + std::to_string(dataSize) +
                                              " is smaller than the extended headers");
                dataSize -= headerSize - baseSize;
            }
        } else if (level == 2 || level == 3) {
            const std::size_t fixed = level == 2 ? 26 : 32;
            if (level == 2) {
                headerSize = Le16(base, 0);
            } else {
                got = FWindow.Get(offset, fixed);
                if (!got)
                    return WithPlace(got.error(), offset);
                if (got->size() < fixed)
                    return Damage(offset, "the file ends inside the header");
                if (Le16(*got, 0) != 4)
                    return Damage(offset, "word size " + std::to_string(Le16(*got, 0)) + " is not 4");
                headerSize = Le32(*got, 24);
            }
            if (headerSize < fixed)
                return Damage(offset, "header size " + std::to_string(headerSize) + " is too small");
            if (headerSize > MaxHeaderSize)
                return Damage(offset, "header size " + std::to_string(headerSize) + " is too large");
            if (headerSize > size - offset)
                return Damage(offset, "the file ends inside the header");
            got = FWindow.Get(offset, static_cast<std::size_t>(headerSize));
            if (!got)
                return WithPlace(got.error(), offset);
            const std::string_view header = *got;
            host = HostOfOsId(static_cast<unsigned char>(header[23]));
            const std::uint64_t first = level == 2 ? Le16(header, 24) : Le32(header, 28);
            Result<std::size_t> used =
                ParseExtended(header.substr(fixed), first, level == 2 ? 2 : 4, offset, ext);
            if (!used)
                return used.error();
            if (ext.HasCrc) {
                // The CRC covers the whole header with its own two bytes taken as zero.
                extArea.assign(header);
                extArea[fixed + ext.CrcAt] = 0;
                extArea[fixed + ext.CrcAt + 1] = 0;
                if (!ChecksumMatches(Crc16(extArea), ext.Crc))
                    return Damage(offset, "header CRC mismatch");
                checkValue = ext.Crc;
            }
            modTime = timeField;
            if (ext.HasSizes)
                dataSize = ext.PackedSize;
        } else {
            return Damage(offset, "unknown header level " + std::to_string(level));
        }
        const std::uint64_t dataStart = offset + headerSize;
        if (dataSize > size - dataStart)
            return Damage(offset, "packed data of " + std::to_string(dataSize) +
                                      " bytes runs past the end of the file");

        TArchiveEntry& entry = FEntry;
        const std::string& name = ext.HasName ? ext.Name : shortName;
        entry.StoredName.clear();
        if (ext.HasFolder) {
            entry.StoredName.assign(ext.Folder);
            std::replace(entry.StoredName.begin(), entry.StoredName.end(), static_cast<char>(PathSeparator),
                         '/');
            if (!entry.StoredName.empty() && entry.StoredName.back() != '/' && !name.empty())
                entry.StoredName += '/';
        }
        entry.StoredName += name;
        if (!ext.UnicodeName.empty() || !ext.UnicodeFolder.empty()) {
            std::string folder =
                ext.UnicodeFolder.empty() && ext.HasFolder ? DisplayOf8Bit(ext.Folder) : ext.UnicodeFolder;
            const std::string file = ext.UnicodeName.empty() ? DisplayOf8Bit(name) : ext.UnicodeName;
            if (!folder.empty() && folder.back() != '/')
                folder += '/';
            entry.Name = ArchiveDisplayName(folder + file);
            if (entry.StoredName.empty())
                entry.StoredName = folder + file;
        } else {
            entry.Name = ArchiveDisplayName(DisplayOf8Bit(entry.StoredName));
        }
        // The attribute byte and the header level read as one value, as the panel has always shown them.
        entry.Attr = attrField;
        if (ext.HasDosAttr)
            entry.Attr = (entry.Attr & 0xFF00) | (ext.DosAttr & 0xFF);
        if (isFolder)
            entry.Attr |= AttrFolder;
        entry.Time = dosTime;
        entry.ModTime = ext.ModTime != 0 ? ext.ModTime : modTime;
        entry.Size = ext.HasSizes ? ext.Size : sizeField;
        entry.PackedSize = dataSize;
        entry.HeaderFlags = 0;
        entry.HostOS = host;
        entry.CheckValue = checkValue;
        entry.PackerVersion = 0;
        entry.PackMethod = MethodOf(methodDigit);
        if (!FSink.AddEntry(entry))
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
        offset = dataStart + dataSize;
    }
}

} // namespace

Result<void> ReadLzhDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    TLzhWalk walk(bytes, sink);
    return walk.Run();
}

Result<void> ReadLzhDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadLzhDirectory(bytes, sink);
}

Result<void> TLzhReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(fileName, ofRead | ofFollowLink);
    if (!file)
        return file.error();
    const Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return info.error();
    if (info->Type != TEntryType::etFile)
        return TError{TErrorCode::ecNotRegular, 0, fileName, "no regular file"};
    TFileBytes bytes(std::move(*file), info->Size);
    Result<void> outcome = ReadLzhDirectory(bytes, sink);
    if (!outcome) {
        TError error = outcome.error();
        error.Path = fileName;
        return error;
    }
    return {};
}

} // namespace ks
