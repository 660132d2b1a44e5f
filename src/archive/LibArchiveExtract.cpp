#include "archive/LibArchiveExtract.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "foundation/System.h"

namespace ks {

namespace {

constexpr std::size_t ReadBlock = 256 * 1024;
constexpr std::int64_t NsPerSecond = 1'000'000'000;

struct TArchiveFree {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveFree>;

std::string LibraryMessage(archive* handle) {
    const char* text = archive_error_string(handle);
    return text != nullptr && *text != '\0' ? text : "the archive is damaged";
}

// The filters libarchive decodes itself; one it would hand to an outside program is refused by
// its setup (not ARCHIVE_OK) and stays off: extracting must not start programs chosen by the
// file's first bytes.
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

// The archive file as libarchive's callbacks ask for it, read through the file system.
class TFileSource {
public:
    TFileSource(std::unique_ptr<TKFile> file, std::uint64_t size)
        : FFile(std::move(file)), FSize(size), FBuffer(ReadBlock) {}

    la_ssize_t Read(archive* a, const void** buffer) {
        *buffer = FBuffer.data();
        if (FPos >= FSize)
            return 0;
        const Result<std::size_t> got =
            FFile->ReadAt(FPos, FBuffer.data(), std::min<std::uint64_t>(FBuffer.size(), FSize - FPos));
        if (!got) {
            if (!FReadError)
                FReadError = got.error();
            archive_set_error(a, EIO, "the read failed");
            return ARCHIVE_FATAL;
        }
        FPos += *got;
        return static_cast<la_ssize_t>(*got);
    }
    la_int64_t Skip(la_int64_t request) {
        if (request <= 0)
            return 0;
        const std::uint64_t step = std::min<std::uint64_t>(static_cast<std::uint64_t>(request), FSize - FPos);
        FPos += step;
        return static_cast<la_int64_t>(step);
    }
    la_int64_t Seek(la_int64_t offset, int whence) {
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
    const std::optional<TError>& ReadError() const { return FReadError; }

private:
    std::unique_ptr<TKFile> FFile;
    std::uint64_t FSize;
    std::uint64_t FPos = 0;
    std::vector<char> FBuffer;
    std::optional<TError> FReadError;
};

la_ssize_t ReadCallback(archive* a, void* client, const void** buffer) {
    return static_cast<TFileSource*>(client)->Read(a, buffer);
}
la_int64_t SkipCallback(archive*, void* client, la_int64_t request) {
    return static_cast<TFileSource*>(client)->Skip(request);
}
la_int64_t SeekCallback(archive*, void* client, la_int64_t offset, int whence) {
    return static_cast<TFileSource*>(client)->Seek(offset, whence);
}

// Opens the archive file for reading; the source keeps the file.
Result<std::unique_ptr<TFileSource>> OpenSource(TKFileSystem& fileSystem, const std::string& archiveName) {
    Result<std::unique_ptr<TKFile>> file = fileSystem.OpenFile(archiveName, ofRead | ofFollowLink);
    if (!file)
        return file.error();
    const Result<TFileInfo> info = (*file)->Info();
    if (!info)
        return info.error();
    if (info->Type != TEntryType::etFile)
        return TError{TErrorCode::ecNotRegular, 0, archiveName, "no regular file"};
    return std::make_unique<TFileSource>(std::move(*file), info->Size);
}

// A reader of every archive format that stands on its own bytes. mtree is left off: its entries
// name files elsewhere on the disk, which libarchive would read.
Result<TArchivePtr> OpenArchive(TFileSource& source, const std::string& archiveName) {
    TArchivePtr handle(archive_read_new());
    if (!handle)
        return TError{TErrorCode::ecIo, ENOMEM, archiveName, "no memory for the archive reader"};
    archive* a = handle.get();
    for (const TFilterSetup setup : BuiltInFilters())
        setup(a);
    for (const TFilterSetup setup :
         {archive_read_support_format_tar, archive_read_support_format_cpio, archive_read_support_format_zip,
          archive_read_support_format_7zip, archive_read_support_format_rar, archive_read_support_format_rar5,
          archive_read_support_format_cab, archive_read_support_format_lha,
          archive_read_support_format_iso9660, archive_read_support_format_ar,
          archive_read_support_format_xar})
        setup(a);
    archive_read_set_callback_data(a, &source);
    archive_read_set_read_callback(a, ReadCallback);
    archive_read_set_skip_callback(a, SkipCallback);
    archive_read_set_seek_callback(a, SeekCallback);
    if (archive_read_open1(a) != ARCHIVE_OK) {
        if (source.ReadError())
            return *source.ReadError();
        return TError{TErrorCode::ecUnsupported, 0, archiveName, "the archive's start: " + LibraryMessage(a)};
    }
    return handle;
}

// libarchive turns names stored as UTF-16 (7z, Joliet, zip's Unicode fields) into the text of
// the thread's locale; the extraction runs with UTF-8 text in its own thread only.
class TUtf8Names {
public:
    TUtf8Names() : FHandle(HasPlatform() ? System().UseUtf8TextInThread() : nullptr) {}

private:
    std::shared_ptr<void> FHandle;
};

// The parts of a path between "/", without empty and "." parts.
std::vector<std::string> Parts(std::string_view name) {
    std::vector<std::string> parts;
    while (!name.empty()) {
        const std::size_t slash = name.find('/');
        const std::string_view part = name.substr(0, slash);
        if (!part.empty() && part != ".")
            parts.emplace_back(part);
        if (slash == std::string_view::npos)
            break;
        name.remove_prefix(slash + 1);
    }
    return parts;
}

std::string Joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0)
            joined += '/';
        joined += parts[i];
    }
    return joined;
}

// A name that could lead outside the folder: absolute, with a ".." part, with a NUL, or empty.
bool Hostile(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos)
        return true;
    for (const std::string& part : Parts(name))
        if (part == "..")
            return true;
    return false;
}

// Whether a link at the depth given (the folders above it inside the extraction folder) stays
// inside when its target is followed.
bool LinkStaysInside(std::size_t depth, std::string_view target) {
    if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos)
        return false;
    std::size_t level = depth;
    for (const std::string& part : Parts(target)) {
        if (part != "..") {
            ++level;
            continue;
        }
        if (level == 0)
            return false;
        --level;
    }
    return true;
}

bool Contains(const std::string& text, std::string_view word) {
    return text.find(word) != std::string::npos;
}

// A per-entry refusal of the library (encryption, a method it lacks) is no damage of the file.
bool UnsupportedMessage(const std::string& message) {
    return Contains(message, "ncrypt") || Contains(message, "assphrase") || Contains(message, "nsupported") ||
           Contains(message, "not supported") || Contains(message, "nknown");
}

class TExtractor {
public:
    TExtractor(archive* a, TFileSource& source, TKFolder& root, const std::string& archiveName,
               const std::string& folder, const std::atomic<bool>& cancelled,
               const std::function<void(std::uint64_t)>& progress)
        : FArchive(a), FSource(source), FRoot(root), FArchiveName(archiveName), FFolder(folder),
          FCancelled(cancelled), FProgress(progress) {}

    Result<TExtractCounts> Run(const std::vector<std::string>& names) {
        std::vector<std::string> selection;
        bool everything = names.empty();
        for (const std::string& name : names) {
            const std::vector<std::string> parts = Parts(name);
            selection.push_back(Joined(parts, parts.size()));
            everything = everything || selection.back().empty();
        }
        archive_entry* item = nullptr;
        for (std::uint64_t number = 1;; ++number) {
            if (FCancelled.load())
                return Cancelled();
            const int status = archive_read_next_header(FArchive, &item);
            if (status == ARCHIVE_EOF)
                break;
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
                return Failure("entry " + std::to_string(number));
            const char* raw = archive_entry_pathname(item);
            const char* utf8 = raw != nullptr ? nullptr : archive_entry_pathname_utf8(item);
            const std::string stored = raw != nullptr ? raw : utf8 != nullptr ? utf8 : "";
            const std::vector<std::string> parts = Parts(stored);
            const std::string joined = Joined(parts, parts.size());
            if (!everything && !Selected(selection, joined))
                continue;
            if (Hostile(stored)) {
                FCounts.Skipped.push_back(stored);
                continue;
            }
            // The root itself ("./" of a tar, "." of an image).
            if (parts.empty())
                continue;
            Result<void> done = Extract(item, stored, parts);
            if (!done)
                return done.error();
        }
        FinishFolders();
        return FCounts;
    }

private:
    struct TFolderTimes {
        std::vector<std::string> Parts;
        std::uint32_t Mode = 0700;
        std::optional<std::int64_t> ModifyTimeNs;
    };

    static bool Selected(const std::vector<std::string>& selection, const std::string& joined) {
        return std::any_of(selection.begin(), selection.end(), [&](const std::string& name) {
            return joined == name ||
                   (joined.size() > name.size() && joined.compare(0, name.size(), name) == 0 &&
                    joined[name.size()] == '/');
        });
    }

    Result<void> Extract(archive_entry* item, const std::string& stored,
                         const std::vector<std::string>& parts) {
        const auto type = archive_entry_filetype(item);
        if (archive_entry_hardlink(item) != nullptr ||
            (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)) {
            FCounts.Skipped.push_back(stored);
            return {};
        }
        if (type == AE_IFDIR) {
            Result<TKFolder*> reached = Reach(parts, parts.size());
            if (!reached)
                return reached.error();
            if (*reached == nullptr) {
                FCounts.Skipped.push_back(stored);
                return {};
            }
            TFolderTimes times{parts, 0700 | (archive_entry_perm(item) & 0777), ModifyTime(item)};
            FFolderTimes.push_back(std::move(times));
            return {};
        }
        Result<TKFolder*> reached = Reach(parts, parts.size() - 1);
        if (!reached)
            return reached.error();
        TKFolder* parent = *reached;
        if (parent == nullptr) {
            FCounts.Skipped.push_back(stored);
            return {};
        }
        const std::string& name = parts.back();
        if (parent->Describe(name))
            return Taken(parts);
        if (type == AE_IFLNK)
            return MakeLink(item, stored, parts, *parent);
        return WriteFile(item, stored, parts, *parent);
    }

    Result<void> MakeLink(archive_entry* item, const std::string& stored,
                          const std::vector<std::string>& parts, TKFolder& parent) {
        const char* raw = archive_entry_symlink(item);
        const char* utf8 = raw != nullptr ? nullptr : archive_entry_symlink_utf8(item);
        const std::string target = raw != nullptr ? raw : utf8 != nullptr ? utf8 : "";
        if (!LinkStaysInside(parts.size() - 1, target)) {
            FCounts.Skipped.push_back(stored);
            return {};
        }
        Result<void> made = parent.CreateLink(parts.back(), target);
        if (!made)
            return made.error().Code == TErrorCode::ecExists ? Taken(parts) : made;
        if (const std::optional<std::int64_t> when = ModifyTime(item))
            (void)parent.SetTimes(parts.back(), *when, *when);
        ++FCounts.Files;
        return {};
    }

    Result<void> WriteFile(archive_entry* item, const std::string& stored,
                           const std::vector<std::string>& parts, TKFolder& parent) {
        if (archive_entry_is_encrypted(item))
            return TError{TErrorCode::ecUnsupported, 0, FArchiveName, stored + ": encrypted"};
        // The data goes under a name of its own first, so a file cut short by a failure or
        // Esc never stands under the entry's name.
        std::string partial;
        std::unique_ptr<TKFile> file;
        for (int attempt = 0; !file; ++attempt) {
            partial = ".ks-partial-" + std::to_string(++FPartialCount);
            Result<std::unique_ptr<TKFile>> opened =
                parent.OpenFile(partial, ofWrite | ofCreate | ofExclusive, 0600);
            if (opened)
                file = std::move(*opened);
            else if (opened.error().Code != TErrorCode::ecExists || attempt >= 100)
                return opened.error();
        }
        Result<void> written = WriteData(item, stored, *file);
        if (written) {
            written = file->SetMode(0600 | (archive_entry_perm(item) & 0777));
            const std::optional<std::int64_t> when = ModifyTime(item);
            if (written && when)
                written = file->SetTimes(AccessTime(item).value_or(*when), *when);
        }
        Result<void> closed = file->Close();
        if (written && !closed)
            written = closed;
        if (written) {
            written = parent.Rename(partial, parent, parts.back(), true);
            if (!written && written.error().Code == TErrorCode::ecExists)
                written = Taken(parts);
        }
        if (!written) {
            (void)parent.RemoveFile(partial);
            return written;
        }
        ++FCounts.Files;
        return {};
    }

    Result<void> WriteData(archive_entry* item, const std::string& stored, TKFile& file) {
        std::uint64_t end = 0;
        for (;;) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(FArchive, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                break;
            if (status != ARCHIVE_OK)
                return Failure(stored);
            if (offset < 0)
                return TError{TErrorCode::ecParse, 0, FArchiveName, stored + ": data at a negative offset"};
            if (size != 0) {
                Result<void> put = file.WriteAt(static_cast<std::uint64_t>(offset),
                                                std::string_view(static_cast<const char*>(block), size));
                if (!put)
                    return put;
                end = std::max(end, static_cast<std::uint64_t>(offset) + size);
                FCounts.Bytes += size;
                if (FProgress)
                    FProgress(FCounts.Bytes);
            }
            if (FCancelled.load())
                return Cancelled();
        }
        // A sparse file may end in a hole.
        const la_int64_t size = archive_entry_size_is_set(item) ? archive_entry_size(item) : 0;
        if (size > 0 && static_cast<std::uint64_t>(size) > end)
            return file.Truncate(static_cast<std::uint64_t>(size));
        return {};
    }

    // The folder parts[0..count) below the root, opened, created where missing; null when a
    // symbolic link stands in the way (the entry is not written through it).
    Result<TKFolder*> Reach(const std::vector<std::string>& parts, std::size_t count) {
        const std::string path = Joined(parts, count);
        if (count == 0)
            return &FRoot;
        if (FReached && FReachedPath == path)
            return FReached.get();
        FReached.reset();
        std::unique_ptr<TKFolder> holder;
        TKFolder* current = &FRoot;
        for (std::size_t i = 0; i < count; ++i) {
            Result<std::unique_ptr<TKFolder>> opened = current->Open(parts[i]);
            if (!opened && opened.error().Errno == ENOENT) {
                Result<void> made = current->CreateFolder(parts[i], 0700);
                if (made)
                    ++FCounts.Folders;
                else if (made.error().Code != TErrorCode::ecExists)
                    return made.error();
                opened = current->Open(parts[i]);
            }
            if (!opened) {
                const Result<TDirEntry> there = current->Describe(parts[i]);
                if (there && there->IsLink)
                    return static_cast<TKFolder*>(nullptr);
                if (there && !there->IsFolder)
                    return Taken(parts, i + 1).error();
                return opened.error();
            }
            holder = std::move(*opened);
            current = holder.get();
        }
        FReached = std::move(holder);
        FReachedPath = path;
        return FReached.get();
    }

    // Folders get their times and modes once everything inside them is written, the deepest
    // first, so writing their contents neither changes the times nor is refused by the mode.
    void FinishFolders() {
        FReached.reset();
        for (auto it = FFolderTimes.rbegin(); it != FFolderTimes.rend(); ++it) {
            Result<TKFolder*> parent = Reach(it->Parts, it->Parts.size() - 1);
            if (!parent || *parent == nullptr)
                continue;
            (void)(*parent)->SetMode(it->Parts.back(), it->Mode);
            if (it->ModifyTimeNs)
                (void)(*parent)->SetTimes(it->Parts.back(), *it->ModifyTimeNs, *it->ModifyTimeNs);
        }
    }

    static std::optional<std::int64_t> ModifyTime(archive_entry* item) {
        if (!archive_entry_mtime_is_set(item))
            return std::nullopt;
        return std::int64_t{archive_entry_mtime(item)} * NsPerSecond + archive_entry_mtime_nsec(item);
    }
    static std::optional<std::int64_t> AccessTime(archive_entry* item) {
        if (!archive_entry_atime_is_set(item))
            return std::nullopt;
        return std::int64_t{archive_entry_atime(item)} * NsPerSecond + archive_entry_atime_nsec(item);
    }

    Result<void> Taken(const std::vector<std::string>& parts, std::size_t count = 0) const {
        const std::string full = FFolder + "/" + Joined(parts, count == 0 ? parts.size() : count);
        return TError{TErrorCode::ecExists, EEXIST, full, "the name is taken"};
    }

    static TError Cancelled() { return TError{TErrorCode::ecCancelled, 0, {}, {}}; }

    TError Failure(const std::string& where) const {
        if (FSource.ReadError())
            return *FSource.ReadError();
        const std::string message = LibraryMessage(FArchive);
        return TError{UnsupportedMessage(message) ? TErrorCode::ecUnsupported : TErrorCode::ecParse, 0,
                      FArchiveName, where + ": " + message};
    }

    archive* FArchive;
    TFileSource& FSource;
    TKFolder& FRoot;
    const std::string& FArchiveName;
    const std::string& FFolder;
    const std::atomic<bool>& FCancelled;
    const std::function<void(std::uint64_t)>& FProgress;
    TExtractCounts FCounts;
    std::vector<TFolderTimes> FFolderTimes;
    std::unique_ptr<TKFolder> FReached; ///< the folder an entry was last written to
    std::string FReachedPath;
    std::uint64_t FPartialCount = 0;
};

} // namespace

Result<TExtractCounts> ExtractWithLibArchive(TKFileSystem& fileSystem, const std::string& archiveName,
                                             const std::vector<std::string>& names, const std::string& folder,
                                             const std::atomic<bool>& cancelled,
                                             const std::function<void(std::uint64_t bytesDone)>& progress) {
    Result<std::unique_ptr<TKFolder>> root = fileSystem.OpenFolder(folder);
    if (!root)
        return root.error();
    Result<std::unique_ptr<TFileSource>> source = OpenSource(fileSystem, archiveName);
    if (!source)
        return source.error();
    const TUtf8Names utf8Names;
    Result<TArchivePtr> handle = OpenArchive(**source, archiveName);
    if (!handle)
        return handle.error();
    TExtractor extractor(handle->get(), **source, **root, archiveName, folder, cancelled, progress);
    return extractor.Run(names);
}

bool LibArchiveCanExtract(TKFileSystem& fileSystem, const std::string& archiveName) {
    Result<std::unique_ptr<TFileSource>> source = OpenSource(fileSystem, archiveName);
    return source && OpenArchive(**source, archiveName).has_value();
}

} // namespace ks
