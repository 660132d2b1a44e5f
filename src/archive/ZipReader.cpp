#include "archive/ZipReader.h"
#include "archive/ArchiveBytes.h"
#include "archive/ArchiveFields.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "archive/ArchiveNames.h"

namespace ks {

namespace {

constexpr std::size_t EndRecordSize = 22;
constexpr std::size_t MaxCommentSize = 0xFFFF;
constexpr std::size_t LocatorSize = 20;
constexpr std::size_t Zip64EndSize = 56;
constexpr std::size_t EntryFixedSize = 46;
// Larger than the biggest entry (46 bytes and three 16-bit lengths), so a window always holds one.
constexpr std::size_t MinWindow = 256 * 1024;
constexpr std::uint32_t Saturated32 = 0xFFFFFFFF;

// General purpose flag: the name and comment are UTF-8.
constexpr std::uint16_t FlagUtf8 = 0x0800;

constexpr std::uint16_t ExtraZip64 = 0x0001;
constexpr std::uint16_t ExtraNtfs = 0x000A;
constexpr std::uint16_t ExtraTimestamp = 0x5455;
constexpr std::uint16_t ExtraUnicodePath = 0x7075;

// Seconds from 1601-01-01 (the Windows file time epoch) to 1970-01-01.
constexpr std::int64_t WindowsEpochOffset = 11644473600;

std::uint16_t Get16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(u[0] | u[1] << 8);
}

std::uint32_t Get32(const char* p) {
    return Get16(p) | static_cast<std::uint32_t>(Get16(p + 2)) << 16;
}

std::uint64_t Get64(const char* p) {
    return Get32(p) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}

bool HasSignature(const char* p, char third, char fourth) {
    return p[0] == 'P' && p[1] == 'K' && p[2] == third && p[3] == fourth;
}

TError ParseError(std::string detail) {
    return TError{TErrorCode::ecParse, 0, {}, std::move(detail)};
}

std::string AtOffset(std::uint64_t offset) {
    return " at offset " + std::to_string(offset);
}

Result<void> ReadExact(TKArchiveBytes& bytes, std::uint64_t offset, char* buffer, std::size_t count,
                       const char* what) {
    std::size_t done = 0;
    while (done < count) {
        Result<std::size_t> got = bytes.ReadAt(offset + done, buffer + done, count - done);
        if (!got)
            return got.error();
        if (*got == 0)
            return ParseError(std::string(what) + AtOffset(offset) + ": the file ends");
        done += *got;
    }
    return {};
}

Result<std::unique_ptr<TKFile>> OpenRegularFile(TKFileSystem& fileSystem, const std::string& path,
                                                std::uint64_t& size) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(path, ofRead | ofFollowLink);
    if (!file)
        return file.error();
    const Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return info.error();
    if (info->Type != TEntryType::etFile)
        return TError{TErrorCode::ecNotRegular, 0, path, "no regular file"};
    size = info->Size;
    return file;
}

// The parts of a split archive as one run of bytes, the first part at offset 0. Only the part
// being read is open, so an archive of many parts holds one descriptor.
class TPartBytes : public TKArchiveBytes {
public:
    struct TPart {
        std::string Path;
        std::uint64_t Start = 0;
        std::uint64_t Size = 0;
    };

    TPartBytes(TKFileSystem& fileSystem, std::vector<TPart> parts)
        : FFileSystem(fileSystem), FParts(std::move(parts)) {}
    std::uint64_t Size() const override {
        return FParts.empty() ? 0 : FParts.back().Start + FParts.back().Size;
    }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        const auto after =
            std::upper_bound(FParts.begin(), FParts.end(), offset,
                             [](std::uint64_t value, const TPart& part) { return value < part.Start; });
        if (after == FParts.begin())
            return std::size_t{0};
        const std::size_t index = static_cast<std::size_t>(after - FParts.begin()) - 1;
        const TPart& part = FParts[index];
        if (offset - part.Start >= part.Size)
            return std::size_t{0};
        if (!FOpen || FOpenIndex != index) {
            FOpen.reset();
            std::uint64_t size = 0;
            Result<std::unique_ptr<TKFile>> file = OpenRegularFile(FFileSystem, part.Path, size);
            if (!file)
                return file.error();
            FOpen = std::move(*file);
            FOpenIndex = index;
        }
        return FOpen->ReadAt(offset - part.Start, buffer,
                             std::min<std::uint64_t>(count, part.Size - (offset - part.Start)));
    }

private:
    TKFileSystem& FFileSystem;
    std::vector<TPart> FParts;
    std::unique_ptr<TKFile> FOpen;
    std::size_t FOpenIndex = 0;
};

// What the end records say about the central directory.
struct TZipEnd {
    std::uint64_t RecordPos = 0; ///< where the record the directory ends at starts (ZIP64 or plain)
    std::uint64_t EndPos = 0;    ///< where the plain end record starts
    std::uint32_t ThisDisk = 0;
    std::uint32_t DirectoryDisk = 0;
    std::uint64_t Entries = 0;
    std::uint64_t DirectorySize = 0;
    std::uint64_t DirectoryOffset = 0;
    bool Zip64 = false;
};

// Finds the end record the way every ZIP reader does: the last signature in the final 64 KiB
// and 22 bytes whose comment fits in the file, then the ZIP64 locator just before it.
Result<TZipEnd> FindEnd(TKArchiveBytes& bytes) {
    const std::uint64_t size = bytes.Size();
    if (size < EndRecordSize)
        return ParseError("no end of central directory record: the file holds " + std::to_string(size) +
                          " bytes");
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, EndRecordSize + MaxCommentSize + LocatorSize));
    const std::uint64_t tailStart = size - tailSize;
    std::string tail(tailSize, '\0');
    if (Result<void> read = ReadExact(bytes, tailStart, tail.data(), tailSize, "end of the file"); !read)
        return read.error();
    const std::size_t lowest =
        tailSize > EndRecordSize + MaxCommentSize ? tailSize - EndRecordSize - MaxCommentSize : 0;
    std::size_t found = std::string::npos;
    for (std::size_t i = tailSize - EndRecordSize + 1; i-- > lowest;) {
        if (HasSignature(tail.data() + i, 5, 6) &&
            i + EndRecordSize + Get16(tail.data() + i + 20) <= tailSize) {
            found = i;
            break;
        }
    }
    if (found == std::string::npos)
        return ParseError("no end of central directory record in the last " +
                          std::to_string(std::min<std::uint64_t>(size, EndRecordSize + MaxCommentSize)) +
                          " bytes");
    const char* record = tail.data() + found;
    TZipEnd end;
    end.EndPos = tailStart + found;
    end.RecordPos = end.EndPos;
    end.ThisDisk = Get16(record + 4);
    end.DirectoryDisk = Get16(record + 6);
    end.Entries = Get16(record + 10);
    end.DirectorySize = Get32(record + 12);
    end.DirectoryOffset = Get32(record + 16);
    if (found < LocatorSize || !HasSignature(record - LocatorSize, 6, 7))
        return end;

    const char* locator = record - LocatorSize;
    const std::uint64_t locatorPos = end.EndPos - LocatorSize;
    const std::uint64_t storedPos = Get64(locator + 8);
    // The ZIP64 end record normally sits right before its locator; where data in front of the
    // archive shifted everything, the stored offset is off and only that place is right.
    std::array<char, Zip64EndSize> zip64{};
    bool have = false;
    if (locatorPos >= Zip64EndSize) {
        if (Result<void> read = ReadExact(bytes, locatorPos - Zip64EndSize, zip64.data(), Zip64EndSize,
                                          "ZIP64 end of central directory record");
            !read)
            return read.error();
        have = HasSignature(zip64.data(), 6, 6);
        if (have)
            end.RecordPos = locatorPos - Zip64EndSize;
    }
    if (!have && Get32(locator + 4) == end.ThisDisk && storedPos <= locatorPos &&
        locatorPos - storedPos >= Zip64EndSize) {
        if (Result<void> read = ReadExact(bytes, storedPos, zip64.data(), Zip64EndSize,
                                          "ZIP64 end of central directory record");
            !read)
            return read.error();
        have = HasSignature(zip64.data(), 6, 6);
        if (have)
            end.RecordPos = storedPos;
    }
    if (!have)
        return ParseError("ZIP64 end of central directory locator" + AtOffset(locatorPos) +
                          ": no ZIP64 end record" + AtOffset(storedPos));
    end.Zip64 = true;
    end.ThisDisk = Get32(zip64.data() + 16);
    end.DirectoryDisk = Get32(zip64.data() + 20);
    end.Entries = Get64(zip64.data() + 32);
    end.DirectorySize = Get64(zip64.data() + 40);
    end.DirectoryOffset = Get64(zip64.data() + 48);
    return end;
}

// The central directory read through one buffer: all of it when it is small enough, else a
// window that moves on as the entries are read.
class TDirectoryWindow {
public:
    TDirectoryWindow(TKArchiveBytes& bytes, std::uint64_t end, std::size_t window)
        : FBytes(bytes), FEnd(end), FWindow(window) {}

    /// count bytes at pos, which the caller has checked lie before the end.
    Result<const char*> Get(std::uint64_t pos, std::size_t count) {
        if (pos < FStart || pos - FStart + count > FBuffer.size()) {
            const std::size_t load =
                static_cast<std::size_t>(std::min<std::uint64_t>(std::max(FWindow, count), FEnd - pos));
            FBuffer.resize(load);
            FStart = pos;
            if (Result<void> read = ReadExact(FBytes, pos, FBuffer.data(), load, "central directory");
                !read) {
                FBuffer.clear();
                return read.error();
            }
        }
        return FBuffer.data() + (pos - FStart);
    }

private:
    TKArchiveBytes& FBytes;
    std::uint64_t FEnd;
    std::size_t FWindow;
    std::string FBuffer;
    std::uint64_t FStart = 0;
};

int HostOf(unsigned host) {
    switch (host) {
    case 0: // MS-DOS and FAT file systems
        return 0;
    case 6: // OS/2 HPFS
        return 1;
    case 10: // Windows NTFS as the format's own list numbers it
    case 11: // NTFS as Info-ZIP and 7-Zip number it
    case 14: // VFAT
        return 2;
    case 3:
        return 3;
    case 7:  // classic Macintosh
    case 19: // OS X
        return 4;
    case 16:
        return 5;
    default:
        return 99;
    }
}

// Hosts whose external attributes carry a Unix mode in their high 16 bits and whose names may
// hold "\" as an ordinary character.
bool IsUnixLike(unsigned host) {
    return host == 3 || host == 16 || host == 19;
}

// Deflate keeps the compression level in general purpose bits 1 and 2: 0 normal, 1 maximum,
// 2 fast, 3 super fast. They map onto the panel's scale as normal '3', maximum '5', fast '2',
// super fast '1'; '4' has no deflate level.
int PackMethodOf(std::uint16_t method, std::uint16_t flags) {
    if (method == 0)
        return '0';
    if (method != 8)
        return -1;
    static constexpr int Levels[4] = {'3', '5', '2', '1'};
    return Levels[(flags >> 1) & 3];
}

// Reads the fields of one central directory entry (its whole record at p) into entry. scratch
// keeps its capacity from entry to entry.
void FillEntry(const char* p, TArchiveEntry& entry, std::string& decoded) {
    const std::uint16_t madeBy = Get16(p + 4);
    const std::uint16_t flags = Get16(p + 8);
    const std::uint16_t method = Get16(p + 10);
    const std::uint32_t packed = Get32(p + 20);
    const std::uint32_t size = Get32(p + 24);
    const std::uint16_t nameLength = Get16(p + 28);
    const std::uint16_t extraLength = Get16(p + 30);
    const std::uint32_t external = Get32(p + 38);
    const unsigned host = madeBy >> 8;

    entry.StoredName.assign(p + EntryFixedSize, nameLength);
    entry.PackerVersion = madeBy & 0xFF;
    entry.HostOS = HostOf(host);
    entry.HeaderFlags = flags;
    entry.CheckValue = Get32(p + 16);
    entry.Time = Get32(p + 12);
    entry.ModTime = 0;
    entry.Size = size;
    entry.PackedSize = packed;
    entry.PackMethod = PackMethodOf(method, flags);

    std::string_view extra(p + EntryFixedSize + nameLength, extraLength);
    std::string_view unicodeName;
    bool haveUnicodeName = false;
    bool haveTimestamp = false;
    while (extra.size() >= 4) {
        const std::uint16_t id = Get16(extra.data());
        const std::uint16_t length = Get16(extra.data() + 2);
        if (length > extra.size() - 4)
            break;
        const std::string_view data = extra.substr(4, length);
        extra.remove_prefix(4 + length);
        if (id == ExtraZip64) {
            // Only the fields saturated in the fixed part are present, in this order.
            std::string_view rest = data;
            if (size == Saturated32 && rest.size() >= 8) {
                entry.Size = Get64(rest.data());
                rest.remove_prefix(8);
            }
            if (packed == Saturated32 && rest.size() >= 8)
                entry.PackedSize = Get64(rest.data());
        } else if (id == ExtraTimestamp) {
            if (data.size() >= 5 && (data[0] & 1)) {
                entry.ModTime = static_cast<std::int32_t>(Get32(data.data() + 1));
                haveTimestamp = true;
            }
        } else if (id == ExtraNtfs) {
            // Four reserved bytes, then tagged attributes; tag 1 holds the three file times.
            std::string_view tags = data.size() >= 4 ? data.substr(4) : std::string_view();
            while (tags.size() >= 4) {
                const std::uint16_t tag = Get16(tags.data());
                const std::uint16_t tagLength = Get16(tags.data() + 2);
                if (tagLength > tags.size() - 4)
                    break;
                if (tag == 1 && tagLength >= 8 && !haveTimestamp) {
                    const std::uint64_t fileTime = Get64(tags.data() + 4);
                    entry.ModTime = static_cast<std::int64_t>(fileTime / 10000000) - WindowsEpochOffset;
                }
                tags.remove_prefix(4 + tagLength);
            }
        } else if (id == ExtraUnicodePath) {
            // Version 1, then the CRC-32 of the stored name it stands for: a name changed by a
            // tool that did not know the field no longer matches and keeps its own form.
            if (data.size() >= 5 && data[0] == 1 && Get32(data.data() + 1) == Crc32(entry.StoredName)) {
                unicodeName = data.substr(5);
                haveUnicodeName = true;
            }
        }
    }

    // Many archivers store UTF-8 without the flag (Unix tools store the name's bytes as the
    // system has them, jar tools always write UTF-8). A name in code page 437 is almost never
    // well-formed UTF-8 once it has a byte above 0x7F (that would take a box-drawing character
    // followed by an accented letter), so a well-formed name is taken as UTF-8 and only the
    // others as code page 437.
    if (flags & FlagUtf8)
        decoded.assign(entry.StoredName);
    else if (haveUnicodeName && IsValidUtf8(unicodeName))
        decoded.assign(unicodeName);
    else if (IsValidUtf8(entry.StoredName))
        decoded.assign(entry.StoredName);
    else
        decoded = Cp437ToUtf8(entry.StoredName);
    if (!IsUnixLike(host))
        std::replace(decoded.begin(), decoded.end(), '\\', '/');
    const bool folderName = !decoded.empty() && decoded.back() == '/';
    entry.Name = ArchiveDisplayName(decoded);

    std::uint32_t attr = external & 0xFF;
    if (const std::uint32_t mode = external >> 16; IsUnixLike(host) && mode != 0) {
        attr = 0;
        if ((mode & ModeTypeMask) == ModeFolder)
            attr |= 0x10;
        if ((mode & 0222) == 0)
            attr |= 0x01;
    }
    if (folderName)
        attr |= 0x10;
    entry.Attr = attr;
}

std::string EntryAt(std::uint64_t number, std::uint64_t pos) {
    return "central directory entry " + std::to_string(number) + AtOffset(pos) + ": ";
}

// Walks the central directory that ends where the record at recordPos starts.
Result<void> ReadCentral(TKArchiveBytes& bytes, const TZipEnd& end, std::uint64_t recordPos,
                         TKArchiveSink& sink, std::size_t maxBuffer) {
    if (end.Entries == 0 && end.DirectorySize == 0)
        return {};
    // The directory normally ends where the end record starts; its own stored offset is off by
    // whatever was put in front of the archive (a self-extractor), so the place found from its
    // size is tried first.
    char signature[4];
    const auto entryAt = [&](std::uint64_t pos) -> Result<bool> {
        if (pos > recordPos || recordPos - pos < 4)
            return false;
        if (Result<void> read = ReadExact(bytes, pos, signature, 4, "central directory"); !read)
            return read.error();
        return HasSignature(signature, 1, 2);
    };
    std::uint64_t start = 0;
    bool found = false;
    if (end.DirectorySize <= recordPos) {
        Result<bool> there = entryAt(recordPos - end.DirectorySize);
        if (!there)
            return there.error();
        found = *there;
        start = recordPos - end.DirectorySize;
    }
    if (!found) {
        Result<bool> there = entryAt(end.DirectoryOffset);
        if (!there)
            return there.error();
        found = *there;
        start = end.DirectoryOffset;
    }
    if (!found)
        return ParseError(
            "no central directory" +
            AtOffset(end.DirectorySize <= recordPos ? recordPos - end.DirectorySize : end.DirectoryOffset) +
            " (end record" + AtOffset(end.EndPos) + ")");

    const std::uint64_t length = recordPos - start;
    TDirectoryWindow window(bytes, recordPos,
                            length <= maxBuffer ? static_cast<std::size_t>(length)
                                                : std::max(maxBuffer, MinWindow));
    TArchiveEntry entry;
    std::string decoded;
    std::uint64_t count = 0;
    for (std::uint64_t pos = start; pos < recordPos;) {
        const std::uint64_t left = recordPos - pos;
        const std::uint64_t number = count + 1;
        if (left < 4)
            return ParseError(EntryAt(number, pos) + "cut off by the end record");
        Result<const char*> head =
            window.Get(pos, static_cast<std::size_t>(std::min<std::uint64_t>(left, EntryFixedSize)));
        if (!head)
            return head.error();
        // A digital signature record may close the directory.
        if (HasSignature(*head, 5, 5))
            break;
        if (!HasSignature(*head, 1, 2))
            return ParseError(EntryAt(number, pos) + "no entry signature");
        if (left < EntryFixedSize)
            return ParseError(EntryAt(number, pos) + "cut off by the end record");
        const std::uint64_t total =
            EntryFixedSize + std::uint64_t{Get16(*head + 28)} + Get16(*head + 30) + Get16(*head + 32);
        if (total > left)
            return ParseError(EntryAt(number, pos) +
                              "its name, extra field and comment run past the end record");
        Result<const char*> record = window.Get(pos, static_cast<std::size_t>(total));
        if (!record)
            return record.error();
        FillEntry(*record, entry, decoded);
        if (!sink.AddEntry(entry))
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
        pos += total;
        ++count;
    }
    // Writers without ZIP64 wrap the 16-bit count, or stop it at 65535.
    const bool countMatches =
        end.Zip64 ? count == end.Entries
                  : (count & 0xFFFF) == end.Entries || (end.Entries == 0xFFFF && count > 0xFFFF);
    if (!countMatches)
        return ParseError("the central directory holds " + std::to_string(count) +
                          " entries, the end record" + AtOffset(end.EndPos) + " counts " +
                          std::to_string(end.Entries));
    return {};
}

std::string PartName(const std::string& base, bool upper, std::uint32_t disk, std::uint32_t lastDisk) {
    if (disk == lastDisk)
        return base + (upper ? ".ZIP" : ".zip");
    const std::string number = std::to_string(disk + 1);
    return base + (upper ? ".Z" : ".z") + (number.size() < 2 ? "0" : "") + number;
}

Result<void> ReadFromFile(TKFileSystem& fileSystem, const std::string& fileName, TKArchiveSink& sink,
                          std::size_t maxBuffer) {
    // A part "x.z01" of a split archive: the directory lives in the last part "x.zip".
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string base = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot + 1) : std::string();
    const bool upper = !extension.empty() && extension[0] >= 'A' && extension[0] <= 'Z';
    const bool isPart =
        extension.size() >= 3 && (extension[0] == 'z' || extension[0] == 'Z') &&
        std::all_of(extension.begin() + 1, extension.end(), [](char c) { return c >= '0' && c <= '9'; });
    std::string lastName = fileName;
    if (isPart) {
        lastName = base + (upper ? ".ZIP" : ".zip");
        if (!fileSystem.Exists(lastName))
            return TError{TErrorCode::ecNotFound, ENOENT, fileName,
                          "the last part " + lastName + " is missing"};
    }

    std::uint64_t size = 0;
    Result<std::unique_ptr<TKFile>> file = OpenRegularFile(fileSystem, lastName, size);
    if (!file)
        return file.error();
    TFileBytes last(std::move(*file), size);
    Result<TZipEnd> end = FindEnd(last);
    if (!end)
        return end.error();
    if (end->DirectoryDisk == end->ThisDisk)
        return ReadCentral(last, *end, end->RecordPos, sink, maxBuffer);
    if (end->DirectoryDisk > end->ThisDisk)
        return ParseError("the end record" + AtOffset(end->EndPos) + " puts the central directory in part " +
                          std::to_string(end->DirectoryDisk + 1) + " of " +
                          std::to_string(end->ThisDisk + 1));

    // The directory starts in an earlier part: read the parts from there on as one run.
    std::vector<TPartBytes::TPart> parts;
    std::uint64_t start = 0;
    for (std::uint32_t disk = end->DirectoryDisk; disk <= end->ThisDisk; ++disk) {
        TPartBytes::TPart part;
        part.Path = PartName(base, upper, disk, end->ThisDisk);
        part.Start = start;
        if (disk == end->ThisDisk) {
            part.Size = size;
        } else {
            Result<std::unique_ptr<TKFile>> opened = OpenRegularFile(fileSystem, part.Path, part.Size);
            if (!opened) {
                TError error = opened.error();
                if (error.Code == TErrorCode::ecNotFound)
                    error.Detail = "the part " + part.Path + " is missing";
                return error;
            }
        }
        start += part.Size;
        parts.push_back(std::move(part));
    }
    const std::uint64_t lastStart = parts.back().Start;
    TPartBytes all(fileSystem, std::move(parts));
    TZipEnd shifted = *end;
    shifted.EndPos += lastStart;
    return ReadCentral(all, shifted, lastStart + end->RecordPos, sink, maxBuffer);
}

TError WithPath(TError error, const std::string& path) {
    if (error.Path.empty())
        error.Path = path;
    return error;
}

} // namespace

Result<void> TZipReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    Result<void> done = ReadFromFile(fileSystem, fileName, sink, FMaxDirectoryBuffer);
    if (!done)
        return WithPath(done.error(), fileName);
    return done;
}

Result<void> ReadZipDirectory(TKFileSystem& fileSystem, const std::string& fileName, TKArchiveSink& sink) {
    return TZipReader().ReadDirectory(fileSystem, fileName, sink);
}

Result<void> ReadZipDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink, std::size_t maxDirectoryBuffer) {
    Result<TZipEnd> end = FindEnd(bytes);
    if (!end)
        return end.error();
    if (end->DirectoryDisk != end->ThisDisk)
        return TError{TErrorCode::ecNotFound,
                      0,
                      {},
                      "the central directory starts in part " + std::to_string(end->DirectoryDisk + 1)};
    return ReadCentral(bytes, *end, end->RecordPos, sink, maxDirectoryBuffer);
}

Result<void> ReadZipDirectory(std::string_view data, TKArchiveSink& sink, std::size_t maxDirectoryBuffer) {
    TMemoryBytes bytes(data);
    return ReadZipDirectory(bytes, sink, maxDirectoryBuffer);
}

} // namespace ks
