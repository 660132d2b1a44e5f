#include "fileops/KCopyFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "controls/MessageBox.h"
#include "foundation/DELTA9.h"

namespace ks {

namespace {

// Set-user-id and set-group-id never go with a copy, as with cp.
constexpr std::uint32_t CopiedModeBits = 01777;
// Numbered partial names tried before creating the target is given up.
constexpr int MaxPartialNumber = 100;
constexpr std::size_t MaxNameBytes = 255;

} // namespace

std::int64_t CopyChunkNormalFor(std::int64_t maxCopyBufferSize) {
    const std::int64_t kilobytes = std::clamp<std::int64_t>(maxCopyBufferSize, 0, 8192);
    const std::int64_t bytes = std::clamp<std::int64_t>(kilobytes * 1024, 1, 8192);
    return bytes * 1024 / 16;
}

std::string PartialName(std::string_view name, int number) {
    const std::string prefix = ".kS-";
    const std::string suffix = (number > 0 ? "." + std::to_string(number) : std::string()) + ".part";
    const std::size_t room = MaxNameBytes - prefix.size() - suffix.size();
    return prefix + std::string(name.substr(0, room)) + suffix;
}

// The partial file being written for one target, removed unless it was renamed into place.
struct TKCopyFile::TTarget {
    TKFolder* Folder = nullptr;
    std::string Name;
    std::unique_ptr<TKFile> File;
    bool InKernel = true; // copy_file_range until it fails once for this file

    ~TTarget() { Discard(); }

    // Removes the partial file (before letting go of its lock, so no one takes it for a
    // leftover meanwhile) and closes it.
    void Discard() {
        if (Folder != nullptr && !Name.empty())
            (void)Folder->RemoveFile(Name);
        Name.clear();
        if (File) {
            (void)File->Close();
            File.reset();
        }
    }
};

TKCopyFile::TKCopyFile(TKFileSystem& fileSystem, TQuestionSlot& questions)
    : FFileSystem(fileSystem), FQuestions(questions), FChunkNormal(CopyChunkNormalFor(128)) {}

std::string TKCopyFile::CurrentFile() const {
    std::lock_guard lock(FNameLock);
    return FCurrentFile;
}

void TKCopyFile::SetCurrentFile(std::string name) {
    std::lock_guard lock(FNameLock);
    FCurrentFile = std::move(name);
}

std::optional<TKCopyFile::TOutcome> TKCopyFile::AskAgain(int code) {
    const int answer = Ask(code);
    if (answer == mrAbort)
        return TOutcome::Aborted;
    if (answer == (code == qcSourceMissing ? mrRetry : mrYes))
        return std::nullopt;
    return TOutcome::Skipped;
}

int TKCopyFile::Ask(int code) {
    FLastCode = code;
    int answer = mrAbort;
    if (std::optional<TCopyQuestion> question = MakeCopyQuestion(code, CurrentFile())) {
        question->JobID = FJobID;
        answer = FQuestions.Ask(*question, FCancel);
    }
    if (OnProcessError)
        OnProcessError();
    return answer;
}

bool TKCopyFile::CopyFile(const std::string& source, const std::string& target) {
    Result<TFolderEntry> from = OpenEntryFolder(FFileSystem, source);
    Result<TFolderEntry> to = OpenEntryFolder(FFileSystem, target);
    if (!from || !to) {
        SetCurrentFile(LastPathPart(target));
        const bool gone = !from;
        const int answer = Ask(gone ? qcSourceMissing : qcCannotCreate);
        if (answer == mrAbort) {
            Ask(qcAborted);
        }
        SetCurrentFile({});
        return false;
    }
    return CopyFileAt(*from->Folder, from->Name, source, *to->Folder, to->Name, target);
}

bool TKCopyFile::CopyFileAt(TKFolder& sourceFolder, std::string_view sourceName,
                            const std::string& sourcePath, TKFolder& targetFolder,
                            std::string_view targetName, const std::string& targetPath) {
    FFileDone = 0;
    FFileSize = 0;
    SetCurrentFile(std::string(targetName));
    const TOutcome outcome = Copy(sourceFolder, sourceName, sourcePath, targetFolder, targetName, targetPath);
    // FFileSize stays: the job counts it as done.
    FFileDone = 0;
    SetCurrentFile({});
    if (outcome == TOutcome::Aborted) {
        Ask(qcAborted);
        return false;
    }
    return outcome == TOutcome::Done || outcome == TOutcome::Cancelled;
}

TKCopyFile::TOutcome TKCopyFile::AskOverwrite(bool& replace) {
    int answer = mrYes;
    if (FOverwriteMode == 1)
        answer = mrYesToAll;
    else if (FOverwriteMode == 2)
        answer = mrNoToAll;
    else
        answer = Ask(qcAlreadyExists);
    if (answer == mrYesToAll) {
        FOverwriteMode = 1;
        answer = mrYes;
    } else if (answer == mrNoToAll) {
        FOverwriteMode = 2;
        answer = mrNo;
    }
    if (answer == mrAbort)
        return TOutcome::Aborted;
    if (answer != mrYes)
        return TOutcome::Skipped;
    replace = true;
    return TOutcome::Done;
}

TKCopyFile::TOutcome TKCopyFile::Copy(TKFolder& sourceFolder, std::string_view sourceName,
                                      const std::string& sourcePath, TKFolder& targetFolder,
                                      std::string_view targetName, const std::string& targetPath) {
    if (sourcePath == targetPath) {
        Ask(qcCopyToItself);
        return TOutcome::Aborted;
    }

    // A move within one file system to a free name is one rename, before anything is opened.
    Result<TFileInfo> described = sourceFolder.Info(sourceName);
    if (FMove && described && described->Type != TEntryType::etFolder &&
        described->Id.Device == targetFolder.Id().Device) {
        if (sourceFolder.Rename(sourceName, targetFolder, targetName, true)) {
            FFileSize =
                static_cast<std::int64_t>(described->Type == TEntryType::etFile ? described->Size : 0);
            if (FCancel)
                (void)targetFolder.Rename(targetName, sourceFolder, sourceName, true);
            return TOutcome::Done;
        }
        // A taken name is asked about below; another file system below the same device number
        // (a bind mount) is copied.
    }

    // The source, opened without following a link; a device, FIFO or socket is never opened.
    std::unique_ptr<TKFile> source;
    TFileInfo info;
    for (bool first = true;; first = false) {
        if (!first)
            described = sourceFolder.Info(sourceName);
        if (described && described->Type == TEntryType::etLink) {
            info = *described;
            break;
        }
        if (described && described->Type == TEntryType::etFile) {
            Result<std::unique_ptr<TKFile>> opened = sourceFolder.OpenFile(sourceName, ofRead);
            Result<TFileInfo> openedInfo = opened ? (*opened)->Info() : opened.error();
            if (openedInfo && openedInfo->Type == TEntryType::etFile) {
                source = std::move(*opened);
                info = *openedInfo;
                break;
            }
        }
        if (std::optional<TOutcome> end = AskAgain(qcSourceMissing))
            return *end;
    }
    const bool isLink = info.Type == TEntryType::etLink;
    FFileSize = static_cast<std::int64_t>(isLink ? 0 : info.Size);
    FChunk = info.Size > static_cast<std::uint64_t>(10 * CopyBufferSize) ? CopyBufferSize : FChunkNormal;

    bool replace = false;
    Result<TFileInfo> existing = targetFolder.Info(targetName);
    if (existing) {
        // The same file under another name (a hard link, or a path through a link).
        if (existing->Id == info.Id) {
            Ask(qcCopyToItself);
            return TOutcome::Aborted;
        }
        if (TOutcome outcome = AskOverwrite(replace); outcome != TOutcome::Done)
            return outcome;
    }

    if (FMove && replace && info.Id.Device == targetFolder.Id().Device) {
        Result<void> renamed = sourceFolder.Rename(sourceName, targetFolder, targetName, !replace);
        if (renamed) {
            if (FCancel)
                (void)targetFolder.Rename(targetName, sourceFolder, sourceName, true);
            return TOutcome::Done;
        }
        // Another file system below the same device number, or a name taken meanwhile: copy.
    }

    TOutcome outcome = TOutcome::Done;
    if (isLink) {
        outcome = CopyLink(sourceFolder, sourceName, targetFolder, targetName, replace);
    } else {
        TTarget target;
        outcome = CreatePartial(targetFolder, targetName, target);
        if (outcome == TOutcome::Done)
            outcome = CopyData(*source, info, target);
        if (outcome == TOutcome::Done)
            outcome = Finish(*source, info, target, targetFolder, targetName, replace);
    }
    if (outcome == TOutcome::Done && FMove && !FCancel)
        (void)sourceFolder.RemoveFile(sourceName);
    return outcome;
}

TKCopyFile::TOutcome TKCopyFile::CopyLink(TKFolder& sourceFolder, std::string_view sourceName,
                                          TKFolder& targetFolder, std::string_view targetName, bool replace) {
    for (;;) {
        Result<std::string> text = sourceFolder.ReadLink(sourceName);
        std::string partial;
        Result<void> made = text ? Result<void>() : Result<void>(text.error());
        for (int number = 0; made && number < MaxPartialNumber; ++number) {
            partial = PartialName(targetName, number);
            made = targetFolder.CreateLink(partial, *text);
            if (made || made.error().Code != TErrorCode::ecExists)
                break;
        }
        if (made && FKeepDate) {
            if (Result<TFileInfo> info = sourceFolder.Info(sourceName))
                (void)targetFolder.SetTimes(partial, info->AccessTimeNs, info->ModifyTimeNs);
        }
        if (made) {
            made = targetFolder.Rename(partial, targetFolder, targetName, !replace);
            if (made)
                return TOutcome::Done;
            (void)targetFolder.RemoveFile(partial);
        }
        if (!text) {
            if (std::optional<TOutcome> end = AskAgain(qcSourceMissing))
                return *end;
            continue;
        }
        if (std::optional<TOutcome> end = AskAgain(qcCannotCreate))
            return *end;
    }
}

TKCopyFile::TOutcome TKCopyFile::CreatePartial(TKFolder& targetFolder, std::string_view targetName,
                                               TTarget& target) {
    for (;;) {
        Result<std::unique_ptr<TKFile>> created = TError{TErrorCode::ecExists, 0, {}, {}};
        std::string name;
        for (int number = 0; number < MaxPartialNumber; ++number) {
            name = PartialName(targetName, number);
            created = targetFolder.OpenFile(name, ofWrite | ofCreate | ofExclusive, 0600);
            if (created || created.error().Code != TErrorCode::ecExists)
                break;
            // A leftover of a copy that died is locked by no one: it goes, and its name is ours.
            Result<std::unique_ptr<TKFile>> leftover = targetFolder.OpenFile(name, ofWrite);
            if (leftover && (*leftover)->Lock(0)) {
                (void)targetFolder.RemoveFile(name);
                leftover = TError{TErrorCode::ecNone, 0, {}, {}};
                created = targetFolder.OpenFile(name, ofWrite | ofCreate | ofExclusive, 0600);
                if (created || created.error().Code != TErrorCode::ecExists)
                    break;
            }
        }
        if (created) {
            // The lock tells other copies that this partial file is being written.
            (void)(*created)->Lock(0);
            FWroteData = true;
            target.Folder = &targetFolder;
            target.Name = name;
            target.File = std::move(*created);
            return TOutcome::Done;
        }
        if (std::optional<TOutcome> end = AskAgain(qcCannotCreate))
            return *end;
    }
}

TKCopyFile::TOutcome TKCopyFile::CopyData(TKFile& source, const TFileInfo& info, TTarget& target) {
    if (info.Size == 0)
        return TOutcome::Done;
    const bool sparse = info.AllocatedSize < info.Size;
    if (!sparse) {
        // A file system that shares data copies the whole file in one step.
        if (target.File->CloneFrom(source)) {
            FFileDone = static_cast<std::int64_t>(info.Size);
            if (OnProcessing)
                OnProcessing();
            return FCancel ? TOutcome::Cancelled : TOutcome::Done;
        }
        return CopyRange(source, 0, info.Size, true, target);
    }
    std::uint64_t offset = 0;
    while (offset < info.Size) {
        Result<std::optional<std::uint64_t>> data = source.NextData(offset);
        if (!data)
            return CopyRange(source, offset, info.Size, true, target);
        if (!data->has_value())
            break;
        Result<std::uint64_t> hole = source.NextHole(**data);
        const std::uint64_t end = hole ? std::min(*hole, info.Size) : info.Size;
        if (TOutcome outcome = CopyRange(source, **data, end, false, target); outcome != TOutcome::Done)
            return outcome;
        offset = end;
    }
    // A hole at the end: the size alone makes it.
    for (;;) {
        if (target.File->Truncate(info.Size))
            return TOutcome::Done;
        if (std::optional<TOutcome> end = AskAgain(qcWriteError))
            return *end;
    }
}

TKCopyFile::TOutcome TKCopyFile::CopyRange(TKFile& source, std::uint64_t from, std::uint64_t to, bool toEnd,
                                           TTarget& target) {
    std::uint64_t position = from;
    for (;;) {
        const std::uint64_t left = toEnd ? static_cast<std::uint64_t>(FChunk) : to - position;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, FChunk));
        if (count == 0)
            return TOutcome::Done;
        std::size_t written = 0;
        bool copied = false;
        if (target.InKernel) {
            Result<std::size_t> result = target.File->CopyFrom(source, position, position, count);
            if (result) {
                written = *result;
                copied = true;
            } else {
                // An error of the in-kernel copy is read again through the buffer, which tells
                // a read error from a write error and asks the matching question.
                target.InKernel = false;
            }
        }
        if (!copied) {
            if (TOutcome outcome = WriteBuffered(source, position, count, target, written);
                outcome != TOutcome::Done)
                return outcome;
        }
        if (written == 0)
            return TOutcome::Done; // the end of the source
        position += written;
        FFileDone += static_cast<std::int64_t>(written);
        if (OnProcessing)
            OnProcessing();
        if (FCancel)
            return TOutcome::Cancelled;
    }
}

TKCopyFile::TOutcome TKCopyFile::WriteBuffered(TKFile& source, std::uint64_t offset, std::size_t count,
                                               TTarget& target, std::size_t& written) {
    if (FBuffer.size() < static_cast<std::size_t>(CopyBufferSize))
        FBuffer.resize(static_cast<std::size_t>(CopyBufferSize));
    count = std::min(count, FBuffer.size());
    std::size_t read = 0;
    for (;;) {
        Result<std::size_t> result = source.ReadAt(offset, FBuffer.data(), count);
        if (result) {
            read = *result;
            break;
        }
        if (std::optional<TOutcome> end = AskAgain(qcReadError))
            return *end;
    }
    written = 0;
    if (read == 0)
        return TOutcome::Done;
    for (;;) {
        if (target.File->WriteAt(offset, std::string_view(FBuffer.data(), read))) {
            written = read;
            return TOutcome::Done;
        }
        Result<TSpaceInfo> space = target.Folder->Space();
        if (space && space->AvailableBytes < read) {
            Ask(qcNoFreeSpace);
            return TOutcome::Aborted;
        }
        if (std::optional<TOutcome> end = AskAgain(qcWriteError))
            return *end;
    }
}

TKCopyFile::TOutcome TKCopyFile::Finish(TKFile& source, const TFileInfo& info, TTarget& target,
                                        TKFolder& targetFolder, std::string_view targetName, bool replace) {
    (void)source;
    (void)target.File->SetMode(info.Mode & CopiedModeBits);
    if (FKeepDate)
        (void)target.File->SetTimes(info.AccessTimeNs, info.ModifyTimeNs);
    // An old file is traded for the new one only once the new one is safely on the disk; so is
    // the source of a move, which goes once the copy is in place.
    bool synced = false;
    for (;;) {
        if ((replace || FMove) && !synced) {
            Result<void> flushed = target.File->Sync();
            if (!flushed) {
                if (std::optional<TOutcome> end = AskAgain(qcWriteError))
                    return *end;
                continue;
            }
            synced = true;
        }
        Result<void> renamed = target.Folder->Rename(target.Name, targetFolder, targetName, !replace);
        if (renamed)
            break;
        if (renamed.error().Code == TErrorCode::ecExists && !replace) {
            // The name was taken while the copy was written.
            if (TOutcome outcome = AskOverwrite(replace); outcome != TOutcome::Done)
                return outcome;
            continue;
        }
        if (std::optional<TOutcome> end = AskAgain(qcCannotCreate))
            return *end;
    }
    target.Name.clear();
    Result<void> closed = target.File->Close();
    target.File.reset();
    if (!closed) {
        // The data may not have reached the disk: the new file cannot be trusted. A replaced file
        // was flushed first, so this can only be a new one.
        (void)targetFolder.RemoveFile(targetName);
        const int answer = Ask(qcWriteError);
        return answer == mrAbort ? TOutcome::Aborted : TOutcome::Skipped;
    }
    return TOutcome::Done;
}

} // namespace ks
