#include "fileops/KplUnpack.h"

#include <algorithm>
#include <cerrno>

#include "archive/ArchiveNames.h"
#include "controls/MessageBox.h"
#include "fileops/KCopyFile.h"

namespace ks {

namespace {

constexpr std::size_t CopyChunk = 1024 * 1024;
constexpr int MaxPartialNumber = 100;

TError EntryError(TError error, const std::string& where) {
    error.Detail = where + (error.Detail.empty() ? "" : ": " + error.Detail);
    return error;
}

std::string JoinParts(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

} // namespace

TKplUnpacker::TKplUnpacker(TKFolder& target, std::string targetPath, TQuestionSlot& questions,
                           const std::atomic<bool>& cancelled)
    : FTarget(target), FTargetPath(std::move(targetPath)), FQuestions(questions), FCancelled(cancelled) {
    while (FTargetPath.size() > 1 && FTargetPath.back() == '/')
        FTargetPath.pop_back();
}

TKplUnpacker::~TKplUnpacker() = default;

Result<TKFolder*> TKplUnpacker::FolderOf(const std::vector<std::string>& parts, std::size_t count) {
    std::size_t same = 0;
    while (same < count && same < FOpenParts.size() && FOpenParts[same] == parts[same])
        ++same;
    FOpenParts.resize(same);
    FOpenFolders.resize(same);
    for (std::size_t i = same; i < count; ++i) {
        TKFolder& above = i == 0 ? FTarget : *FOpenFolders[i - 1];
        Result<std::unique_ptr<TKFolder>> opened = above.Open(parts[i]);
        if (!opened && opened.error().Code == TErrorCode::ecNotFound) {
            Result<void> made = above.CreateFolder(parts[i], 0755);
            if (made)
                ++FCounts.Folders;
            else if (made.error().Code != TErrorCode::ecExists)
                return made.error();
            // Opened again without following links: whatever took the name meanwhile is no way out.
            opened = above.Open(parts[i]);
        }
        if (!opened) {
            TError error = opened.error();
            error.Path = FTargetPath + "/" + JoinParts(parts, i + 1);
            if (error.Errno == ELOOP || error.Errno == ENOTDIR)
                error.Detail = "not a folder (a symbolic link is never followed)";
            return error;
        }
        FOpenParts.push_back(parts[i]);
        FOpenFolders.push_back(std::move(*opened));
    }
    return count == 0 ? &FTarget : FOpenFolders[count - 1].get();
}

Result<void> TKplUnpacker::Entry(const TKplRecord& record, TKArchiveBytes& bytes) {
    const std::string where = "record at offset " + std::to_string(record.Offset);
    Result<std::vector<std::string>> parts = KplEntryParts(record.Item);
    if (!parts)
        return EntryError(parts.error(), where);
    const bool isFolder = (record.Item.Attributes & KplFolderAttr) != 0;
    if (isFolder) {
        Result<TKFolder*> folder = FolderOf(*parts, parts->size());
        if (!folder)
            return EntryError(folder.error(), where);
        return {};
    }
    Result<TKFolder*> folder = FolderOf(*parts, parts->size() - 1);
    if (!folder)
        return EntryError(folder.error(), where);
    const std::string& name = parts->back();
    const std::string fullName = FTargetPath + "/" + JoinParts(*parts, parts->size());
    bool replace = false;
    if (Result<TFileInfo> existing = (*folder)->Info(name); existing) {
        if (existing->Type == TEntryType::etFolder) {
            TError error = ErrnoError(fullName, EISDIR, "a folder of that name is in the way");
            error.Code = TErrorCode::ecExists;
            return EntryError(error, where);
        }
        int answer = FAllAnswer;
        if (answer == 0) {
            std::optional<TCopyQuestion> question = MakeCopyQuestion(qcAlreadyExists, fullName);
            answer = question ? FQuestions.Ask(*question, FCancelled) : mrNo;
            if (answer == mrYesToAll || answer == mrNoToAll)
                FAllAnswer = answer;
        }
        if (answer == mrNo || answer == mrNoToAll) {
            ++FCounts.Skipped;
            return {};
        }
        if (answer != mrYes && answer != mrYesToAll)
            return TError{TErrorCode::ecCancelled, 0, fullName, where};
        replace = true;
    } else if (existing.error().Code != TErrorCode::ecNotFound) {
        return EntryError(existing.error(), where);
    }
    if (Result<void> written = WriteFile(**folder, name, record, bytes, replace); !written) {
        TError error = written.error();
        if (error.Path.empty())
            error.Path = fullName;
        return EntryError(error, where);
    }
    return {};
}

Result<void> TKplUnpacker::WriteFile(TKFolder& folder, const std::string& name, const TKplRecord& record,
                                     TKArchiveBytes& bytes, bool replace) {
    std::string partial;
    std::unique_ptr<TKFile> file;
    for (int number = 0; number < MaxPartialNumber && !file; ++number) {
        partial = PartialName(name, number);
        Result<std::unique_ptr<TKFile>> made =
            folder.OpenFile(partial, ofWrite | ofCreate | ofExclusive, 0666);
        if (made)
            file = std::move(*made);
        else if (made.error().Code != TErrorCode::ecExists)
            return made.error();
    }
    if (!file)
        return ErrnoError(name, EEXIST, "no free partial name");
    bool placed = false;
    struct TDiscard {
        TKFolder& Folder;
        const std::string& Name;
        std::unique_ptr<TKFile>& File;
        bool& Placed;
        ~TDiscard() {
            if (File)
                (void)File->Close();
            if (!Placed)
                (void)Folder.RemoveFile(Name);
        }
    } discard{folder, partial, file, placed};

    const auto size = static_cast<std::uint64_t>(record.Item.PackedSize);
    std::uint64_t done = 0;
    // In-kernel copies where the library is a file: no data passes through this process.
    if (auto* fileBytes = dynamic_cast<TKplFileBytes*>(&bytes)) {
        while (done < size) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, 1u << 30));
            Result<std::size_t> copied =
                file->CopyFrom(fileBytes->File(), record.DataOffset + done, done, want);
            if (!copied) {
                if (copied.error().Code == TErrorCode::ecUnsupported)
                    break;
                return copied.error();
            }
            if (*copied == 0)
                return ErrnoError({}, 0, "library cut short while unpacking");
            done += *copied;
        }
    }
    if (done < size && FBuffer.empty())
        FBuffer.resize(CopyChunk);
    while (done < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done, FBuffer.size()));
        Result<std::size_t> got = bytes.ReadAt(record.DataOffset + done, FBuffer.data(), want);
        if (!got)
            return got.error();
        if (*got == 0)
            return ErrnoError({}, 0, "library cut short while unpacking");
        if (Result<void> written = file->WriteAt(done, std::string_view(FBuffer.data(), *got)); !written)
            return written.error();
        done += *got;
    }
    if (record.Item.Attributes & 1)
        (void)file->SetMode(0444);
    // An old file is traded for the new one only once the new one is safely on the disk.
    if (replace)
        if (Result<void> synced = file->Sync(); !synced)
            return synced.error();
    Result<void> closed = file->Close();
    file.reset();
    if (!closed)
        return closed.error();
    if (Result<void> renamed = folder.Rename(partial, folder, name, !replace); !renamed)
        return renamed.error();
    placed = true;
    ++FCounts.Files;
    FCounts.Bytes += size;
    return {};
}

Result<void> UnpackLibrary(TKMYKPLIB& library, TKArchiveBytes& bytes, TKFolder& target,
                           const std::string& targetPath, TQuestionSlot& questions,
                           TKplUnpackCounts* counts) {
    TKplUnpacker unpacker(target, targetPath, questions, library.Stopped);
    Result<void> read = library.ReadLibrary(bytes, false, false, &unpacker);
    if (counts != nullptr)
        *counts = unpacker.Counts();
    // New files are not flushed one by one (cp does not either); the unpack is done once the
    // target's file system has everything.
    if (unpacker.Counts().Files > 0)
        (void)target.SyncFileSystem();
    return read;
}

Result<void> UnpackLibrary(TKMYKPLIB& library, TKFileSystem& fileSystem, const std::string& fileName,
                           const std::string& targetFolder, TQuestionSlot& questions,
                           TKplUnpackCounts* counts) {
    if (counts != nullptr)
        *counts = {};
    Result<std::unique_ptr<TKplFileBytes>> bytes = OpenKplFile(fileSystem, fileName);
    if (!bytes)
        return bytes.error();
    Result<std::unique_ptr<TKFolder>> target = fileSystem.OpenFolder(targetFolder);
    if (!target)
        return target.error();
    Result<void> read = UnpackLibrary(library, **bytes, **target, targetFolder, questions, counts);
    if (!read) {
        TError error = read.error();
        if (error.Path.empty())
            error.Path = fileName;
        return error;
    }
    return {};
}

} // namespace ks
