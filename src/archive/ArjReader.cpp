#include "archive/ArjReader.h"

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

// The archiver refuses basic headers above this size, so a larger one is damage.
constexpr std::uint32_t MaxBasicHeaderSize = 2600;
// The fixed fields from the first header size up to the host data.
constexpr std::uint32_t FixedHeaderSize = 30;

constexpr std::uint32_t FlagExtFile = 0x08; // the file starts in an earlier volume

constexpr int TypeBinary = 0;
constexpr int TypeText = 1;
constexpr int TypeDirectory = 3;

constexpr std::uint32_t AttrFolder = 0x10;
constexpr std::uint32_t AttrArchive = 0x20;
constexpr int HostUnixArj = 2;

const std::array<std::uint32_t, 256> CrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes)
        crc = CrcTable[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

/// A fuzzing build takes every checksum as right, so that mutated headers reach the code behind
/// the check instead of stopping at it.
bool ChecksumMatches(std::uint32_t computed, std::uint32_t stored) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)computed;
    (void)stored;
    return true;
#else
    return computed == stored;
#endif
}

std::uint32_t Le16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

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

class TMemoryBytes : public TKArchiveBytes {
public:
    explicit TMemoryBytes(std::string_view data) : FData(data) {}
    std::uint64_t Size() const override { return FData.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FData.size())
            return std::size_t{0};
        const std::size_t n = std::min<std::size_t>(count, FData.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, FData.data() + offset, n);
        return n;
    }

private:
    std::string_view FData;
};

class TFileBytes : public TKArchiveBytes {
public:
    explicit TFileBytes(std::unique_ptr<TKFile> file) : FFile(std::move(file)) {}
    std::uint64_t Size() const override { return FFile->Size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        return FFile->ReadAt(offset, buffer, count);
    }

private:
    std::unique_ptr<TKFile> FFile;
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
    case 10:
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
    TArjWalk(TKArchiveBytes& bytes, TKArchiveSink& sink) : FWindow(bytes), FSink(sink) {}

    Result<void> Run() {
        Result<THeader> main = ReadHeader(0);
        if (!main)
            return main.error();
        if (main->End)
            return Damage(0, "the main header is missing");
        std::uint64_t offset = main->Next;
        const std::uint64_t size = FWindow.Size();
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
            const bool stored = type == TypeBinary || type == TypeText || type == TypeDirectory;
            if (stored && (flags & FlagExtFile) == 0) {
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
                entry.Time = Le32(basic, 8);
                entry.ModTime = 0;
                entry.Size = Le32(basic, 16);
                entry.PackedSize = packed;
                entry.HeaderFlags = flags;
                entry.HostOS = HostOf(arjHost);
                entry.CheckValue = Le32(basic, 20);
                entry.PackerVersion = static_cast<unsigned char>(basic[1]);
                entry.PackMethod = MethodOf(static_cast<unsigned char>(basic[5]));
                if (!FSink.AddEntry(entry))
                    return TError{TErrorCode::ecCancelled, 0, {}, {}};
            }
            if (packed > size - header->Next)
                return Damage(offset,
                              "data of " + std::to_string(packed) + " bytes runs past the end of the file");
            offset = header->Next + packed;
        }
    }

private:
    /// The header at offset with its CRC checked and its extended headers stepped over.
    Result<THeader> ReadHeader(std::uint64_t offset) {
        const std::uint64_t size = FWindow.Size();
        Result<std::string_view> got = FWindow.Get(offset, 4);
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
        got = FWindow.Get(offset, total);
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
            Result<std::string_view> ext = FWindow.Get(at, 2);
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

    TByteWindow FWindow;
    TKArchiveSink& FSink;
    std::string FBasic;
    int FFileHeaders = 0;
    bool FFileHeader = false;
    TArchiveEntry FEntry; ///< reused for every entry, so its strings keep their room
};

TError WithPath(TError error, const std::string& path) {
    if (error.Path.empty())
        error.Path = path;
    return error;
}

} // namespace

Result<void> ReadArjDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    return TArjWalk(bytes, sink).Run();
}

Result<void> ReadArjDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadArjDirectory(bytes, sink);
}

Result<void> TArjReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(fileName, ofRead | ofFollowLink);
    if (!file)
        return WithPath(file.error(), fileName);
    Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return WithPath(info.error(), fileName);
    if (info->Type != TEntryType::etFile)
        return TError{TErrorCode::ecNotRegular, 0, fileName, "not a regular file"};
    TFileBytes bytes(std::move(*file));
    Result<void> done = ReadArjDirectory(bytes, sink);
    if (!done)
        return WithPath(done.error(), fileName);
    return done;
}

} // namespace ks
