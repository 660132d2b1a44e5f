#include "archive/CabReader.h"
#include "archive/ArchiveBytes.h"
#include "archive/ArchiveFields.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "archive/ArchiveNames.h"

namespace ks {

namespace {

constexpr std::size_t HeaderSize = 36;
constexpr std::size_t EntryFixedSize = 16;
/// The longest name read; the format itself allows 256 bytes.
constexpr std::size_t MaxNameSize = 10000;
constexpr std::size_t ReadWindowSize = 64 * 1024;
constexpr std::uint32_t AttrNameIsUtf8 = 0x80;

/// Reads the cabinet through a window of its bytes: the file entries lie side by side, so one
/// read serves many of them.
class TWindow {
public:
    explicit TWindow(TKArchiveBytes& bytes) : FBytes(bytes) {}
    std::uint64_t Size() const { return FBytes.Size(); }

    /// count bytes at offset (fewer at the end of the file); valid until the next call.
    Result<std::string_view> Get(std::uint64_t offset, std::size_t count) {
        if (offset >= FStart && offset - FStart + count <= FLength)
            return std::string_view(FBuffer.data() + (offset - FStart), count);
        const std::uint64_t left = offset < Size() ? Size() - offset : 0;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, std::max(count, ReadWindowSize)));
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

TError Damage(const std::string& where, std::uint64_t offset, const std::string& what) {
    return TError{TErrorCode::ecParse, 0, {}, where + " at offset " + std::to_string(offset) + ": " + what};
}

} // namespace

Result<void> ReadCabDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    TWindow window(bytes);
    const std::uint64_t size = window.Size();
    Result<std::string_view> got = window.Get(0, HeaderSize);
    if (!got)
        return got.error();
    if (got->size() < 4 || got->substr(0, 4) != "MSCF")
        return Damage("cabinet header", 0, "no MSCF signature");
    if (got->size() < HeaderSize)
        return Damage("cabinet header", 0, "the file ends inside the header");
    const std::uint64_t firstEntry = Le32(*got, 16);
    const std::uint32_t files = Le16(*got, 28);
    if (files != 0 && (firstEntry < HeaderSize || firstEntry > size))
        return Damage("cabinet header", 0,
                      "the first file entry at " + std::to_string(firstEntry) + " lies outside the file");
    std::uint64_t offset = firstEntry;
    TArchiveEntry entry;
    for (std::uint32_t index = 1; index <= files; ++index) {
        const std::string where = "file entry " + std::to_string(index);
        got = window.Get(offset, EntryFixedSize + MaxNameSize + 1);
        if (!got)
            return got.error();
        const std::string_view record = *got;
        if (record.size() < EntryFixedSize)
            return Damage(where, offset, "the file ends inside the entry");
        const std::size_t zero = record.find('\0', EntryFixedSize);
        if (zero == std::string_view::npos)
            return Damage(where, offset,
                          record.size() > EntryFixedSize + MaxNameSize ? "the name has no end"
                                                                       : "the file ends inside the name");
        const std::uint32_t attr = Le16(record, 14);
        entry.StoredName.assign(record.substr(EntryFixedSize, zero - EntryFixedSize));
        std::string name = (attr & AttrNameIsUtf8) != 0 || IsValidUtf8(entry.StoredName)
                               ? entry.StoredName
                               : Cp437ToUtf8(entry.StoredName);
        std::replace(name.begin(), name.end(), '\\', '/');
        entry.Name = ArchiveDisplayName(name);
        entry.Attr = attr;
        entry.Time = 0;
        entry.ModTime = 0;
        entry.Size = Le32(record, 0);
        entry.PackedSize = UnknownPackedSize;
        entry.HeaderFlags = 0;
        entry.HostOS = 99;
        entry.CheckValue = 0;
        entry.PackerVersion = 0;
        entry.PackMethod = 0;
        offset += zero + 1;
        if (!sink.AddEntry(entry))
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
    }
    return {};
}

Result<void> ReadCabDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadCabDirectory(bytes, sink);
}

Result<void> TCabReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
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
    Result<void> outcome = ReadCabDirectory(bytes, sink);
    if (!outcome) {
        TError error = outcome.error();
        error.Path = fileName;
        return error;
    }
    return {};
}

} // namespace ks
