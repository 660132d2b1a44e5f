#include "archive/KPL.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "archive/ArchiveNames.h"
#include "foundation/TreeWalk.h"

namespace ks {

namespace {

constexpr char FieldMarker = 13;
// Bytes read at once while records are parsed; data between records is skipped, not read.
constexpr std::size_t RecordWindow = 64 * 1024;
// Bytes gathered before a write reaches the library file.
constexpr std::size_t WriteBuffer = 1024 * 1024;
constexpr int MaxPartialNumber = 100;

TError ParseError(std::string detail) {
    TError error;
    error.Code = TErrorCode::ecParse;
    error.Detail = std::move(detail);
    return error;
}

std::string LastPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void PutInt(std::string& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((bits >> shift) & 0xFF));
    out.push_back(FieldMarker);
}

void PutText(std::string& out, std::string_view text) {
    PutInt(out, static_cast<std::int32_t>(text.size()));
    out.append(text);
    out.push_back(FieldMarker);
}

// The library being written: bytes gathered in memory and written at known offsets, so an entry
// whose file fails can be cut back out again.
class TLibraryOut {
public:
    explicit TLibraryOut(TKFile& file) : FFile(file) { FBuffer.reserve(WriteBuffer); }

    std::uint64_t Position() const { return FStart + FBuffer.size(); }

    Result<void> Append(std::string_view bytes) {
        if (FBuffer.size() + bytes.size() > WriteBuffer) {
            if (Result<void> flushed = Flush(); !flushed)
                return flushed;
            if (bytes.size() >= WriteBuffer) {
                Result<void> written = FFile.WriteAt(FStart, bytes);
                if (written)
                    FStart += bytes.size();
                return written;
            }
        }
        FBuffer.append(bytes);
        return {};
    }

    Result<void> Flush() {
        if (FBuffer.empty())
            return {};
        Result<void> written = FFile.WriteAt(FStart, FBuffer);
        if (!written)
            return written;
        FStart += FBuffer.size();
        FBuffer.clear();
        return {};
    }

    // Forgets everything from position on; the next bytes go there.
    void CutBack(std::uint64_t position) {
        if (position >= FStart) {
            FBuffer.resize(position - FStart);
            return;
        }
        FBuffer.clear();
        FStart = position;
    }

private:
    TKFile& FFile;
    std::string FBuffer;
    std::uint64_t FStart = 0;
};

// Sets Stopped when an operation ends, however it ends.
struct TStopOnExit {
    std::atomic<bool>& Stopped;
    ~TStopOnExit() { Stopped = true; }
};

} // namespace

Result<void> TKplRecordReader::Fill(std::size_t count) {
    if (FPosition >= FWindowStart && FPosition - FWindowStart + count <= FWindow.size())
        return {};
    const std::uint64_t size = FBytes.Size();
    const std::uint64_t remaining = FPosition < size ? size - FPosition : 0;
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(remaining, std::max<std::uint64_t>(count, RecordWindow)));
    FWindow.resize(want);
    std::size_t got = 0;
    while (got < want) {
        Result<std::size_t> read = FBytes.ReadAt(FPosition + got, FWindow.data() + got, want - got);
        if (!read) {
            FWindow.clear();
            return read.error();
        }
        if (*read == 0)
            break;
        got += *read;
    }
    FWindow.resize(got);
    FWindowStart = FPosition;
    if (got < count)
        return ParseError("cut short");
    return {};
}

Result<std::int32_t> TKplRecordReader::ReadInt(const char* field) {
    if (Result<void> filled = Fill(5); !filled) {
        TError error = filled.error();
        error.Detail = std::string(field) + " field " + (error.Detail.empty() ? "unreadable" : error.Detail);
        return error;
    }
    const char* at = FWindow.data() + (FPosition - FWindowStart);
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(at[i])) << (8 * i);
    if (at[4] != FieldMarker)
        return ParseError(std::string(field) + " field without its end marker");
    FPosition += 5;
    return static_cast<std::int32_t>(bits);
}

Result<std::string> TKplRecordReader::ReadText(const char* field) {
    Result<std::int32_t> length = ReadInt(field);
    if (!length)
        return length.error();
    if (*length < 0 || static_cast<std::size_t>(*length) > MaxKplTextField)
        return ParseError(std::string(field) + " field of length " + std::to_string(*length));
    const auto count = static_cast<std::size_t>(*length);
    if (Result<void> filled = Fill(count + 1); !filled) {
        TError error = filled.error();
        error.Detail = std::string(field) + " field " + error.Detail;
        return error;
    }
    const char* at = FWindow.data() + (FPosition - FWindowStart);
    if (at[count] != FieldMarker)
        return ParseError(std::string(field) + " field without its end marker");
    FPosition += count + 1;
    return std::string(at, count);
}

Result<TKplHeader> TKplRecordReader::ReadHeader() {
    FPosition = 0;
    auto where = [](TError error) {
        error.Detail = "header: " + error.Detail;
        return error;
    };
    Result<std::string> magic = ReadText("magic");
    if (!magic || *magic != "KPL")
        return where(ParseError("not a KPL library"));
    TKplHeader header;
    Result<std::int32_t> version = ReadInt("version");
    if (!version)
        return where(version.error());
    if (*version < 1 || *version > KplFormatVersion) {
        TError error;
        error.Code = TErrorCode::ecUnsupported;
        error.Detail = "header: format version " + std::to_string(*version);
        return error;
    }
    header.FormatVersion = *version;
    Result<std::int32_t> id = ReadInt("library id");
    if (!id)
        return where(id.error());
    header.LibraryId = *id;
    if (Result<std::int32_t> reserved = ReadInt("reserved"); !reserved)
        return where(reserved.error());
    if (header.FormatVersion >= 3) {
        Result<std::int32_t> count = ReadInt("entry count");
        if (!count)
            return where(count.error());
        header.EntryCount = std::max<std::int32_t>(*count, 0);
    }
    header.RecordsStart = FPosition;
    FVersion = header.FormatVersion;
    FRecordNumber = 0;
    return header;
}

Result<bool> TKplRecordReader::Next(TKplRecord& record) {
    if (FPosition >= FBytes.Size())
        return false;
    record = TKplRecord();
    record.Offset = FPosition;
    ++FRecordNumber;
    auto where = [&](TError error) {
        error.Detail = "record " + std::to_string(FRecordNumber) + " at offset " +
                       std::to_string(record.Offset) + ": " + error.Detail;
        return error;
    };
    TKMYKPLIB_ITEM& item = record.Item;
    if (FVersion >= 2) {
        Result<std::string> folder = ReadText("folder");
        if (!folder)
            return where(folder.error());
        item.Folder = std::move(*folder);
    }
    if (FVersion >= 4) {
        Result<std::int32_t> method = ReadInt("method");
        if (!method)
            return where(method.error());
        item.Method = static_cast<std::uint32_t>(*method);
    }
    Result<std::string> name = ReadText("name");
    if (!name)
        return where(name.error());
    item.Name = std::move(*name);
    Result<std::int32_t> attr = ReadInt("attributes");
    if (!attr)
        return where(attr.error());
    item.Attributes = static_cast<std::uint32_t>(*attr);
    Result<std::int32_t> packed = ReadInt("packed size");
    if (!packed)
        return where(packed.error());
    item.PackedSize = *packed;
    item.Size = *packed;
    if (FVersion >= 4) {
        Result<std::int32_t> size = ReadInt("size");
        if (!size)
            return where(size.error());
        item.Size = *size;
    }
    if (item.PackedSize < 0 || item.Size < 0)
        return where(ParseError("negative size"));
    record.DataOffset = FPosition;
    if ((item.Attributes & KplFolderAttr) == 0) {
        const std::uint64_t remaining = FBytes.Size() - FPosition;
        if (static_cast<std::uint64_t>(item.PackedSize) > remaining)
            return where(ParseError("data of " + std::to_string(item.PackedSize) + " bytes cut short at " +
                                    std::to_string(remaining)));
        FPosition += static_cast<std::uint64_t>(item.PackedSize);
    }
    return true;
}

Result<std::size_t> TKplFileBytes::ReadAt(std::uint64_t offset, char* buffer, std::size_t count) {
    return FFile->ReadAt(offset, buffer, count);
}

Result<std::unique_ptr<TKplFileBytes>> OpenKplFile(TKFileSystem& fileSystem, const std::string& fileName) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(fileName, ofRead | ofFollowLink);
    if (!file)
        return file.error();
    Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return info.error();
    if (info->Type != TEntryType::etFile) {
        TError error;
        error.Code = TErrorCode::ecNotRegular;
        error.Path = fileName;
        return error;
    }
    return std::make_unique<TKplFileBytes>(std::move(*file), info->Size);
}

Result<std::vector<std::string>> KplEntryParts(const TKMYKPLIB_ITEM& item) {
    auto bad = [&](const std::string& why) {
        return ParseError("entry \"" + ArchiveDisplayName(item.Folder + item.Name) + "\": " + why);
    };
    std::vector<std::string> parts;
    if (!item.Folder.empty() && (item.Folder.front() == '/' || item.Folder.front() == '\\'))
        return bad("absolute folder");
    std::string part;
    auto take = [&]() -> bool {
        if (part.empty())
            return true;
        if (part == "." || part == "..")
            return false;
        parts.push_back(std::move(part));
        part.clear();
        return true;
    };
    for (const char c : item.Folder) {
        if (c == '\0')
            return bad("NUL in the folder");
        if (c == '/' || c == '\\') {
            if (!take())
                return bad("folder leads outside");
            continue;
        }
        part.push_back(c);
    }
    if (!take())
        return bad("folder leads outside");
    if (item.Name.empty() || item.Name == "." || item.Name == ".." ||
        item.Name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
        return bad("not a name");
    parts.push_back(item.Name);
    return parts;
}

Result<void> TKMYKPLIB::ScanFolder(const std::string& folder) {
    Stopped = false;
    TStopOnExit stop{Stopped};
    const std::string top = WithoutTrailingSlash(folder);
    Items.push_back(top);
    Result<std::unique_ptr<TKFolder>> opened = FFileSystem.OpenFolder(top);
    if (!opened)
        return opened.error();
    TTreeWalk walk;
    walk.OnEntry = [&](TKFolder&, const TWalkEntry& entry) {
        if (Stopped)
            return TWalkStep::wsStop;
        if (entry.Type == TEntryType::etFile) {
            Items.push_back(entry.Path());
        } else if (entry.Type == TEntryType::etFolder) {
            Items.push_back(entry.Path());
            return TWalkStep::wsEnter;
        }
        return TWalkStep::wsNext;
    };
    walk.Run(**opened, top);
    return {};
}

Result<void> TKMYKPLIB::WriteLibrary(const std::string& fileName) {
    Stopped = false;
    TStopOnExit stop{Stopped};
    LeftOut.clear();
    Result<TFolderEntry> place = OpenEntryFolder(FFileSystem, fileName);
    if (!place)
        return place.error();
    TKFolder& folder = *place->Folder;
    std::string partial;
    std::unique_ptr<TKFile> file;
    for (int number = 0; number < MaxPartialNumber && !file; ++number) {
        partial =
            ".kS-" + place->Name.substr(0, 200) + (number > 0 ? "." + std::to_string(number) : "") + ".part";
        Result<std::unique_ptr<TKFile>> made =
            folder.OpenFile(partial, ofWrite | ofCreate | ofExclusive, 0644);
        if (made)
            file = std::move(*made);
        else if (made.error().Code != TErrorCode::ecExists)
            return made.error();
    }
    if (!file)
        return ErrnoError(fileName, EEXIST, "no free temporary name");
    // Whatever ends the write early takes the partial library away again.
    struct TDiscard {
        TKFolder& Folder;
        std::string& Name;
        std::unique_ptr<TKFile>& File;
        bool Keep = false;
        ~TDiscard() {
            if (Keep)
                return;
            if (File)
                (void)File->Close();
            (void)Folder.RemoveFile(Name);
        }
    } discard{folder, partial, file};
    auto failed = [&](TError error) {
        if (error.Path.empty())
            error.Path = fileName;
        return error;
    };

    TLibraryOut out(*file);
    std::string header;
    PutText(header, "KPL");
    PutInt(header, KplFormatVersion);
    PutInt(header, LibraryId);
    PutInt(header, -1);
    const std::uint64_t countPosition = header.size();
    PutInt(header, 0);
    if (Result<void> written = out.Append(header); !written)
        return failed(written.error());

    const auto total = static_cast<std::int32_t>(std::min<std::size_t>(Items.size(), 0x7FFFFFFF));
    if (OnProgress)
        OnProgress(0, total);
    std::int64_t count = 0;
    std::string record;
    std::vector<char> chunk(WriteBuffer);
    for (std::size_t i = 0; i < Items.size(); ++i) {
        const std::string path = WithoutTrailingSlash(Items[i]);
        Result<TDirEntry> entry = FFileSystem.Stat(path);
        if (!entry || !Resolves(*entry) || (!entry->IsFolder && !IsFileMode(entry->Mode)))
            continue;
        const bool isFolder = entry->IsFolder;
        const std::uint64_t size = isFolder ? 0 : entry->Size;
        if (size > MaxKplEntrySize) {
            TError error;
            error.Code = TErrorCode::ecTooLarge;
            error.Path = path;
            error.Detail =
                "a library entry holds at most 2147483647 bytes, the file has " + std::to_string(size);
            return error;
        }
        if (count >= 0x7FFFFFFF) {
            TError error;
            error.Code = TErrorCode::ecTooLarge;
            error.Path = fileName;
            error.Detail = "a library holds at most 2147483647 entries";
            return error;
        }
        const std::string name = LastPart(path);
        std::string relative;
        if (path.size() > BaseFolder.size() + name.size() &&
            path.compare(0, BaseFolder.size(), BaseFolder) == 0)
            relative = path.substr(BaseFolder.size(), path.size() - BaseFolder.size() - name.size());
        while (!relative.empty() && relative.front() == '/')
            relative.erase(0, 1);
        // The format's own separator keeps libraries exchangeable between systems.
        std::replace(relative.begin(), relative.end(), '/', '\\');

        const std::uint64_t start = out.Position();
        record.clear();
        PutText(record, relative);
        PutInt(record, 0);
        PutText(record, name);
        PutInt(record, static_cast<std::int32_t>(entry->Attr));
        PutInt(record, static_cast<std::int32_t>(size));
        PutInt(record, static_cast<std::int32_t>(size));
        if (Result<void> written = out.Append(record); !written)
            return failed(written.error());

        if (!isFolder) {
            Result<std::unique_ptr<TKFile>> source = FFileSystem.OpenFile(path, ofRead | ofFollowLink);
            std::optional<TError> problem;
            if (!source) {
                problem = source.error();
            } else if (Result<TFileInfo> info = (*source)->Info();
                       !info || info->Type != TEntryType::etFile) {
                problem = info ? ErrnoError(path, 0, "no longer a regular file") : info.error();
            } else {
                std::uint64_t left = size;
                while (left > 0 && !problem) {
                    const std::size_t want =
                        static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
                    Result<std::size_t> got = (*source)->Read(chunk.data(), want);
                    if (!got)
                        problem = got.error();
                    else if (*got == 0)
                        problem = ErrnoError(path, 0, "the file became shorter while it was read");
                    else if (Result<void> written = out.Append(std::string_view(chunk.data(), *got));
                             !written)
                        return failed(written.error());
                    else
                        left -= *got;
                }
            }
            if (problem) {
                // A file that cannot be read is left out; the library stays whole without it.
                if (problem->Path.empty())
                    problem->Path = path;
                LeftOut.push_back(*problem);
                out.CutBack(start);
                continue;
            }
        }
        ++count;
        if (OnProgress)
            OnProgress(static_cast<std::int32_t>(std::min<std::size_t>(i + 1, 0x7FFFFFFF)), total);
        if (Stopped)
            break;
    }
    if (Result<void> flushed = out.Flush(); !flushed)
        return failed(flushed.error());
    std::string countField;
    PutInt(countField, static_cast<std::int32_t>(count));
    if (Result<void> written = file->WriteAt(countPosition, countField); !written)
        return failed(written.error());
    // Bytes of an entry cut back at the very end may still lie beyond the last record.
    if (Result<void> cut = file->Truncate(out.Position()); !cut)
        return failed(cut.error());
    if (Result<void> synced = file->Sync(); !synced)
        return failed(synced.error());
    Result<void> closed = file->Close();
    file.reset();
    if (!closed)
        return failed(closed.error());
    if (Result<void> renamed = folder.Rename(partial, folder, place->Name, false); !renamed)
        return failed(renamed.error());
    discard.Keep = true;
    (void)folder.Sync();
    return {};
}

Result<void> TKMYKPLIB::ReadLibrary(const std::string& fileName, bool listMode, bool headerOnly,
                                    TKKplTarget* target) {
    Stopped = false;
    TStopOnExit stop{Stopped};
    Result<std::unique_ptr<TKplFileBytes>> bytes = OpenKplFile(FFileSystem, fileName);
    if (!bytes)
        return bytes.error();
    Result<void> read = ReadLibrary(**bytes, listMode, headerOnly, target);
    if (!read) {
        TError error = read.error();
        if (error.Path.empty())
            error.Path = fileName;
        return error;
    }
    return {};
}

Result<void> TKMYKPLIB::ReadLibrary(TKArchiveBytes& bytes, bool listMode, bool headerOnly,
                                    TKKplTarget* target) {
    Stopped = false;
    TStopOnExit stop{Stopped};
    TKplRecordReader reader(bytes);
    Result<TKplHeader> header = reader.ReadHeader();
    if (!header)
        return header.error();
    FormatVersion = header->FormatVersion;
    FoundLibraryId = header->LibraryId;
    if (LibraryId != KplAnyLibraryId && LibraryId != header->LibraryId) {
        TError error;
        error.Code = TErrorCode::ecNotFound;
        error.Detail =
            "library id " + std::to_string(header->LibraryId) + ", not " + std::to_string(LibraryId);
        return error;
    }
    if (OnProgress)
        OnProgress(0, header->EntryCount);
    if (headerOnly)
        return {};
    if (listMode)
        Items.clear();
    else if (target == nullptr)
        return TError{TErrorCode::ecUnsupported, 0, {}, "nothing to unpack to"};
    std::int32_t count = 0;
    TKplRecord record;
    for (;;) {
        if (Stopped)
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
        Result<bool> next = reader.Next(record);
        if (!next)
            return next.error();
        if (!*next)
            break;
        if (listMode) {
            if (OnScanning)
                OnScanning(record.Item);
            const TKMYKPLIB_ITEM& item = record.Item;
            Items.push_back(item.Name + "|" + item.Folder + "|" + std::to_string(item.Attributes) + "|" +
                            std::to_string(item.Size) + "|");
        } else if (Result<void> done = target->Entry(record, bytes); !done) {
            return done.error();
        }
        if (count < std::numeric_limits<std::int32_t>::max())
            ++count;
        if (OnProgress)
            OnProgress(count, header->EntryCount);
    }
    return {};
}

Result<void> TKMYKPLIB::ListLibrary(const std::string& fileName, bool headerOnly) {
    return ReadLibrary(fileName, true, headerOnly);
}

namespace {

class TNoFiles : public TKFileSystem {
public:
    Result<void> ListFolder(const std::string& path, const std::function<bool(const TDirEntry&)>&) override {
        return ErrnoError(path, ENOENT);
    }
    Result<TDirEntry> Stat(const std::string& path) override { return ErrnoError(path, ENOENT); }
    bool CanOpenFolder(const std::string&) override { return false; }
    bool Exists(const std::string&) override { return false; }
};

} // namespace

Result<void> ReadKplDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink) {
    // What is not a library lists nothing and is no failure: a ".kpl" of something else.
    {
        TKplRecordReader probe(bytes);
        if (!probe.ReadHeader())
            return {};
    }
    TNoFiles none;
    TKMYKPLIB library(none);
    bool sinkStopped = false;
    library.OnScanning = [&](TKMYKPLIB_ITEM& item) {
        if (sinkStopped)
            return;
        TArchiveEntry entry;
        entry.StoredName = item.Folder + item.Name;
        std::string shown = entry.StoredName;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        entry.Name = ArchiveDisplayName(shown);
        entry.Attr = item.Attributes;
        entry.Size = static_cast<std::uint64_t>(item.Size);
        entry.PackedSize = static_cast<std::uint64_t>(item.PackedSize);
        // The method shows as its digit ("0" stores); a value no digit stands for shows "n/a".
        entry.PackMethod = item.Method <= static_cast<std::uint32_t>(std::numeric_limits<int>::max() - 48)
                               ? static_cast<int>(item.Method) + 48
                               : -1;
        entry.PackerVersion = library.FormatVersion * 10;
        entry.CheckValue = 0xFFFFFFFF;
        entry.HeaderFlags = 0xFFFFFFFF;
        entry.HostOS = 99;
        if (!sink.AddEntry(entry)) {
            sinkStopped = true;
            library.Stopped = true;
        }
    };
    Result<void> read = library.ReadLibrary(bytes, true, false);
    if (sinkStopped)
        return TError{TErrorCode::ecCancelled, 0, {}, {}};
    return read;
}

Result<void> ReadKplDirectory(std::string_view data, TKArchiveSink& sink) {
    TMemoryBytes bytes(data);
    return ReadKplDirectory(bytes, sink);
}

Result<void> TKplReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) {
    Result<std::unique_ptr<TKplFileBytes>> bytes = OpenKplFile(fileSystem, fileName);
    if (!bytes)
        return bytes.error();
    Result<void> read = ReadKplDirectory(**bytes, sink);
    if (!read) {
        TError error = read.error();
        if (error.Path.empty())
            error.Path = fileName;
        return error;
    }
    return {};
}

} // namespace ks
