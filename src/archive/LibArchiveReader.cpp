#include "archive/LibArchiveReader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "archive/ArchiveNames.h"
#include "foundation/System.h"

namespace ks {

namespace {

constexpr std::size_t ReadBlock = 256 * 1024;
constexpr std::uint32_t AttrReadOnly = 0x01;
constexpr std::uint32_t AttrFolder = 0x10;

TError ParseError(std::string detail) {
    return TError{TErrorCode::ecParse, 0, {}, std::move(detail)};
}

std::string LibraryMessage(archive* handle) {
    const char* text = archive_error_string(handle);
    return text != nullptr && *text != '\0' ? text : "the archive is damaged";
}

struct TArchiveFree {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveFree>;

// The filters libarchive decodes itself. One it would hand to an outside program (lrzip, grzip,
// and lzop, lz4 or zstd when built without their library) is left off: listing a file must not
// start programs chosen by the file's first bytes.
using TFilterSetup = int (*)(archive*);
const std::vector<TFilterSetup>& BuiltInFilters() {
    static const std::vector<TFilterSetup> filters = [] {
        const TFilterSetup all[] = {archive_read_support_filter_gzip, archive_read_support_filter_bzip2,
                                    archive_read_support_filter_xz,   archive_read_support_filter_lzma,
                                    archive_read_support_filter_lzip, archive_read_support_filter_zstd,
                                    archive_read_support_filter_lz4,  archive_read_support_filter_compress,
                                    archive_read_support_filter_lzop, archive_read_support_filter_uu,
                                    archive_read_support_filter_rpm,  archive_read_support_filter_grzip,
                                    archive_read_support_filter_lrzip};
        std::vector<TFilterSetup> usable;
        for (const TFilterSetup setup : all) {
            const TArchivePtr probe(archive_read_new());
            if (probe && setup(probe.get()) == ARCHIVE_OK)
                usable.push_back(setup);
        }
        return usable;
    }();
    return filters;
}

// Where the bytes of one archive come from, as libarchive's callbacks ask for them. Read
// failures and a stop asked for by the sink are kept here, so the caller can tell them from
// damage.
class TSource {
public:
    TSource(TKArchiveSink& sink, const TLibArchiveLimits& limits) : FSink(sink), FLimits(limits) {}
    virtual ~TSource() = default;
    virtual la_ssize_t Read(const void** buffer) = 0;
    virtual la_int64_t Skip(la_int64_t) { return 0; }
    virtual la_int64_t Seek(la_int64_t, int) { return ARCHIVE_FATAL; }
    virtual bool CanSeek() const { return false; }

    void Attach(archive* handle) { FHandle = handle; }
    bool Cancelled() const { return FCancelled; }
    const std::optional<TError>& ReadError() const { return FReadError; }

    // True to go on. Asks the sink for progress whenever enough decompressed data passed.
    bool CheckProgress() {
        if (FHandle == nullptr || FCancelled)
            return !FCancelled;
        const la_int64_t done = archive_filter_bytes(FHandle, 0);
        if (done < 0 || static_cast<std::uint64_t>(done) < FLastProgress + FLimits.ProgressBytes)
            return true;
        FLastProgress = static_cast<std::uint64_t>(done);
        if (FSink.Progress())
            return true;
        FCancelled = true;
        archive_set_error(FHandle, ECANCELED, "stopped");
        return false;
    }

protected:
    void Fail(TError error) {
        if (!FReadError)
            FReadError = std::move(error);
        if (FHandle != nullptr)
            archive_set_error(FHandle, EIO, "the read failed");
    }
    archive* FHandle = nullptr;

private:
    TKArchiveSink& FSink;
    const TLibArchiveLimits& FLimits;
    std::uint64_t FLastProgress = 0;
    bool FCancelled = false;
    std::optional<TError> FReadError;
};

// Random access bytes of a known size: a file or memory.
class TSizedSource : public TSource {
public:
    TSizedSource(TKArchiveSink& sink, const TLibArchiveLimits& limits, std::uint64_t size)
        : TSource(sink, limits), FSize(size) {}
    la_int64_t Skip(la_int64_t request) override {
        if (request <= 0 || !CheckProgress())
            return 0;
        const std::uint64_t step = std::min<std::uint64_t>(static_cast<std::uint64_t>(request), FSize - FPos);
        FPos += step;
        return static_cast<la_int64_t>(step);
    }
    la_int64_t Seek(la_int64_t offset, int whence) override {
        std::int64_t base = 0;
        if (whence == SEEK_CUR)
            base = static_cast<std::int64_t>(FPos);
        else if (whence == SEEK_END)
            base = static_cast<std::int64_t>(FSize);
        else if (whence != SEEK_SET)
            return ARCHIVE_FATAL;
        // Offsets come from the archive's own fields: refuse what overflows or leaves the file.
        std::int64_t target = 0;
        if (__builtin_add_overflow(base, offset, &target) || target < 0 ||
            static_cast<std::uint64_t>(target) > FSize)
            return ARCHIVE_FATAL;
        FPos = static_cast<std::uint64_t>(target);
        return target;
    }
    bool CanSeek() const override { return true; }

protected:
    std::uint64_t FSize;
    std::uint64_t FPos = 0;
};

class TFileSource : public TSizedSource {
public:
    TFileSource(TKArchiveSink& sink, const TLibArchiveLimits& limits, std::unique_ptr<TKFile> file,
                std::uint64_t size)
        : TSizedSource(sink, limits, size), FFile(std::move(file)), FBuffer(ReadBlock) {}
    la_ssize_t Read(const void** buffer) override {
        *buffer = FBuffer.data();
        if (!CheckProgress())
            return ARCHIVE_FATAL;
        if (FPos >= FSize)
            return 0;
        const Result<std::size_t> got =
            FFile->ReadAt(FPos, FBuffer.data(), std::min<std::uint64_t>(FBuffer.size(), FSize - FPos));
        if (!got) {
            Fail(got.error());
            return ARCHIVE_FATAL;
        }
        FPos += *got;
        return static_cast<la_ssize_t>(*got);
    }

private:
    std::unique_ptr<TKFile> FFile;
    std::vector<char> FBuffer;
};

class TMemorySource : public TSizedSource {
public:
    TMemorySource(TKArchiveSink& sink, const TLibArchiveLimits& limits, std::string_view data)
        : TSizedSource(sink, limits, data.size()), FData(data) {}
    la_ssize_t Read(const void** buffer) override {
        *buffer = FData.data() + FPos;
        if (!CheckProgress())
            return ARCHIVE_FATAL;
        const std::size_t count = std::min<std::uint64_t>(ReadBlock, FSize - FPos);
        FPos += count;
        return static_cast<la_ssize_t>(count);
    }

private:
    std::string_view FData;
};

// The data of the current member of another archive (a tar inside the ar of a package).
class TMemberSource : public TSource {
public:
    TMemberSource(TKArchiveSink& sink, const TLibArchiveLimits& limits, archive* outer)
        : TSource(sink, limits), FOuter(outer), FBuffer(ReadBlock) {}
    la_ssize_t Read(const void** buffer) override {
        *buffer = FBuffer.data();
        if (!CheckProgress())
            return ARCHIVE_FATAL;
        const la_ssize_t got = archive_read_data(FOuter, FBuffer.data(), FBuffer.size());
        if (got < 0) {
            Fail(ParseError("the package: " + LibraryMessage(FOuter)));
            return ARCHIVE_FATAL;
        }
        return got;
    }

private:
    archive* FOuter;
    std::vector<char> FBuffer;
};

la_ssize_t ReadCallback(archive*, void* client, const void** buffer) {
    return static_cast<TSource*>(client)->Read(buffer);
}
la_int64_t SkipCallback(archive*, void* client, la_int64_t request) {
    return static_cast<TSource*>(client)->Skip(request);
}
la_int64_t SeekCallback(archive*, void* client, la_int64_t offset, int whence) {
    return static_cast<TSource*>(client)->Seek(offset, whence);
}

// libarchive turns names stored as UTF-16 (7z, Joliet) into the multibyte text of the calling
// thread's locale and drops those it cannot convert; a program left in the "C" locale would
// lose every name outside ASCII. The listing runs with UTF-8 text in its own thread only, so no
// other thread sees a change.
class TUtf8Names {
public:
    TUtf8Names() : FHandle(HasPlatform() ? System().UseUtf8TextInThread() : nullptr) {}

private:
    std::shared_ptr<void> FHandle;
};

enum TFormats { fmTar, fm7Zip, fmIso, fmAr };

// A reader of the formats asked for, open over source.
Result<TArchivePtr> Open(TFormats formats, TSource& source) {
    TArchivePtr handle(archive_read_new());
    if (!handle)
        return TError{TErrorCode::ecIo, ENOMEM, {}, "no memory for the archive reader"};
    archive* a = handle.get();
    for (const TFilterSetup setup : BuiltInFilters())
        setup(a);
    switch (formats) {
    case fmTar:
        archive_read_support_format_tar(a);
        break;
    case fm7Zip:
        archive_read_support_format_7zip(a);
        break;
    case fmIso:
        archive_read_support_format_iso9660(a);
        break;
    case fmAr:
        archive_read_support_format_ar(a);
        break;
    }
    source.Attach(a);
    archive_read_set_callback_data(a, &source);
    archive_read_set_read_callback(a, ReadCallback);
    if (source.CanSeek()) {
        archive_read_set_skip_callback(a, SkipCallback);
        archive_read_set_seek_callback(a, SeekCallback);
    }
    if (archive_read_open1(a) != ARCHIVE_OK) {
        if (source.Cancelled())
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
        if (source.ReadError())
            return *source.ReadError();
        return ParseError("the archive's start: " + LibraryMessage(a));
    }
    return handle;
}

// The state of one listing, shared by the nested archives of a package.
class TLister {
public:
    TLister(TKArchiveSink& sink, const TLibArchiveLimits& limits) : FSink(sink), FLimits(limits) {}

    // Lists every entry of an open archive. prefix goes in front of names (made-up folders).
    Result<void> List(archive* a, TSource& source, const std::string& prefix, const std::string& where) {
        archive_entry* item = nullptr;
        for (;;) {
            const int status = archive_read_next_header(a, &item);
            if (status == ARCHIVE_EOF)
                return {};
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
                return Failure(a, source,
                               where + "entry " + std::to_string(FCount + 1) + " at offset " +
                                   std::to_string(archive_read_header_position(a)) + ": ");
            if (FCount >= FLimits.MaxEntries)
                return TError{TErrorCode::ecTooLarge,
                              0,
                              {},
                              where + "more than " + std::to_string(FLimits.MaxEntries) +
                                  " entries: the listing stops there"};
            ++FCount;
            Result<bool> added = Add(a, item, prefix, where);
            if (!added)
                return added.error();
            if (!*added)
                return TError{TErrorCode::ecCancelled, 0, {}, {}};
            Result<void> skipped = SkipData(a, source, where);
            if (!skipped)
                return skipped;
        }
    }

    // Lists a package: the tar members of its ar container as nested archives.
    Result<void> ListPackage(archive* outer, TSource& outerSource) {
        archive_entry* item = nullptr;
        int member = 0;
        for (;;) {
            const int status = archive_read_next_header(outer, &item);
            if (status == ARCHIVE_EOF)
                return {};
            ++member;
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
                return Failure(outer, outerSource,
                               "package member " + std::to_string(member) + " at offset " +
                                   std::to_string(archive_read_header_position(outer)) + ": ");
            const char* raw = archive_entry_pathname(item);
            const std::string name = raw != nullptr ? raw : "";
            const bool control = name.rfind("control.tar", 0) == 0;
            const bool data = name.rfind("data.tar", 0) == 0;
            if (control || data) {
                TMemberSource source(FSink, FLimits, outer);
                Result<TArchivePtr> inner = Open(fmTar, source);
                if (!inner) {
                    TError error = inner.error();
                    error.Detail = name + ": " + error.Detail;
                    return error;
                }
                Result<void> listed = List(inner->get(), source, control ? "DEBIAN/" : "", name + ": ");
                if (!listed)
                    return listed;
            }
            if (archive_read_data_skip(outer) < ARCHIVE_WARN)
                return Failure(outer, outerSource, "package member " + std::to_string(member) + " data: ");
        }
    }

private:
    // A stream that must be decompressed to be skipped is read block by block, so the sink sees
    // progress however well the data packs; the blocks are dropped as they come. Other data is
    // skipped whole (a seek in a plain file).
    Result<void> SkipData(archive* a, TSource& source, const std::string& where) {
        const std::string failed = where + "entry " + std::to_string(FCount) + " data: ";
        if (archive_filter_count(a) <= 1 || FDataSize <= FLimits.ProgressBytes) {
            if (archive_read_data_skip(a) < ARCHIVE_WARN)
                return Failure(a, source, failed);
            return {};
        }
        std::uint64_t passed = 0;
        for (;;) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(a, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return {};
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
                return Failure(a, source, failed);
            passed += size;
            if (passed >= FLimits.ProgressBytes) {
                passed = 0;
                if (!FSink.Progress())
                    return TError{TErrorCode::ecCancelled, 0, {}, {}};
            }
        }
    }

    TError Failure(archive* a, TSource& source, const std::string& where) const {
        if (source.Cancelled())
            return TError{TErrorCode::ecCancelled, 0, {}, {}};
        if (source.ReadError()) {
            TError error = *source.ReadError();
            if (error.Code == TErrorCode::ecParse)
                error.Detail = where + error.Detail;
            return error;
        }
        return ParseError(where + LibraryMessage(a));
    }

    // False when the sink stops the listing.
    Result<bool> Add(archive* a, archive_entry* item, const std::string& prefix, const std::string& where) {
        // The text runs in UTF-8 (see TUtf8Names), so the stored bytes are the UTF-8 name when
        // they are well formed, and keep what a lossy conversion would replace when not; a name
        // stored as UTF-16 (7z, Joliet) may only have its UTF-8 form.
        const char* raw = archive_entry_pathname(item);
        const char* utf8 = raw != nullptr ? nullptr : archive_entry_pathname_utf8(item);
        std::string_view stored = raw != nullptr ? raw : utf8 != nullptr ? utf8 : "";
        const std::size_t longest = stored.size();
        if (longest > FLimits.MaxNameLength)
            return ParseError(where + "entry " + std::to_string(FCount) + " at offset " +
                              std::to_string(archive_read_header_position(a)) + ": its name is " +
                              std::to_string(longest) + " bytes long, more than " +
                              std::to_string(FLimits.MaxNameLength));
        FEntry.Name = ArchiveDisplayName(stored);
        // The root itself ("./" of a tar, "." of an image) is no entry the panel could show.
        if (prefix.empty() && FEntry.Name.empty())
            return true;
        if (!prefix.empty()) {
            while (stored.substr(0, 2) == "./")
                stored.remove_prefix(2);
            FEntry.StoredName = prefix;
            FEntry.StoredName += stored;
            FEntry.Name = FEntry.Name.empty() ? ArchiveDisplayName(prefix) : prefix + FEntry.Name;
        } else {
            FEntry.StoredName.assign(stored);
        }

        const auto type = archive_entry_filetype(item);
        const bool folder = type == AE_IFDIR;
        const bool link = type == AE_IFLNK || archive_entry_hardlink(item) != nullptr;
        FEntry.Attr = (folder ? AttrFolder : 0) | ((archive_entry_perm(item) & 0200) == 0 ? AttrReadOnly : 0);
        const la_int64_t size = archive_entry_size_is_set(item) ? archive_entry_size(item) : 0;
        if (size < 0)
            return ParseError(where + "entry " + std::to_string(FCount) + " at offset " +
                              std::to_string(archive_read_header_position(a)) + ": a negative size");
        FDataSize = static_cast<std::uint64_t>(size);
        FEntry.Size = folder || link ? 0 : FDataSize;
        FEntry.PackedSize = UnknownPackedSize;
        FEntry.ModTime = archive_entry_mtime_is_set(item) ? archive_entry_mtime(item) : 0;
        FEntry.Time = 0;
        return FSink.AddEntry(FEntry);
    }

    TKArchiveSink& FSink;
    const TLibArchiveLimits& FLimits;
    std::uint64_t FCount = 0;
    std::uint64_t FDataSize = 0; ///< what the current entry's header says its data holds
    TArchiveEntry FEntry;
};

Result<void> ReadSource(TArchiveKind kind, TSource& source, TKArchiveSink& sink,
                        const TLibArchiveLimits& limits) {
    TFormats formats = fmTar;
    switch (kind) {
    case akTAR:
        formats = fmTar;
        break;
    case ak7Z:
        formats = fm7Zip;
        break;
    case akISO:
        formats = fmIso;
        break;
    case akDEB:
        formats = fmAr;
        break;
    default:
        return TError{TErrorCode::ecUnsupported, 0, {}, "no libarchive format for this kind"};
    }
    const TUtf8Names utf8Names;
    Result<TArchivePtr> handle = Open(formats, source);
    if (!handle)
        return handle.error();
    TLister lister(sink, limits);
    if (kind == akDEB)
        return lister.ListPackage(handle->get(), source);
    return lister.List(handle->get(), source, {}, {});
}

} // namespace

Result<void> TLibArchiveReader::ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                              TKArchiveSink& sink) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(fileName, ofRead | ofFollowLink);
    if (!file)
        return file.error();
    const Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return info.error();
    if (info->Type != TEntryType::etFile)
        return TError{TErrorCode::ecNotRegular, 0, fileName, "no regular file"};
    TFileSource source(sink, FLimits, std::move(*file), info->Size);
    Result<void> done = ReadSource(FKind, source, sink, FLimits);
    if (!done) {
        TError error = done.error();
        if (error.Path.empty())
            error.Path = fileName;
        return error;
    }
    return done;
}

Result<void> ReadLibArchiveDirectory(TArchiveKind kind, std::string_view data, TKArchiveSink& sink,
                                     TLibArchiveLimits limits) {
    TMemorySource source(sink, limits, data);
    return ReadSource(kind, source, sink, limits);
}

} // namespace ks
