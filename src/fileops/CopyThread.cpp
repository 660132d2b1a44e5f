#include "fileops/CopyThread.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "controls/MessageBox.h"
#include "fileops/CopyEngine.h"
#include "foundation/DELTA9.h"
#include "foundation/TreeWalk.h"
#include "panel/KMYFILEPANEL.h"

namespace ks {

namespace {

constexpr std::uint32_t CopiedModeBits = 01777;
// Target folders kept open while a tree is copied; deeper ones are opened again on the way up.
constexpr std::size_t MaxOpenTargets = 32;

bool ValidEntryName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string Join(const std::string& folder, std::string_view name) {
    return AddBackslash(folder) + std::string(name);
}

} // namespace

const char* PriorityName(int priority) {
    switch (priority) {
    case 1:
        return "lowest";
    case 2:
        return "low";
    case 3:
        return "normal";
    case 4:
        return "high";
    case 5:
        return "highest";
    default:
        return "error";
    }
}

TCopyThread::TCopyThread(std::shared_ptr<TCopyEngineShared> shared, int jobID, bool move, bool copyAttributes,
                         bool makeBackup)
    : FJobID(jobID), FMakeBackup(makeBackup && !move), FMove(move), FCopyAttributes(copyAttributes),
      FCopier(shared->FileSystem, shared->Questions), FShared(std::move(shared)) {
    FCopier.FJobID = jobID;
    FCopier.OnProcessing = [this] { Checkpoint(); };
}

std::string TCopyThread::CurrentSubtree() const {
    std::lock_guard lock(FSubtreeLock);
    return FCurrentSubtree;
}

std::uint64_t TCopyThread::BytesDone() const {
    std::uint64_t done = FDoneSize.load();
    if (FInFile.load())
        done += static_cast<std::uint64_t>(std::max<std::int64_t>(FCopier.FFileDone.load(), 0));
    return done;
}

void TCopyThread::Cancel() {
    FCancelled = true;
    FCopier.FCancel = true;
    {
        std::lock_guard lock(FPauseLock);
        FPauseChanged.notify_all();
    }
    FShared->Questions.Release();
}

void TCopyThread::SetPriority(int priority) {
    FPriority = std::clamp(priority, LowestPriority, HighestPriority);
}

void TCopyThread::Suspend() {
    std::lock_guard lock(FPauseLock);
    FPaused = true;
}

void TCopyThread::Resume() {
    std::lock_guard lock(FPauseLock);
    FPaused = false;
    FPauseChanged.notify_all();
}

void TCopyThread::Start(std::shared_ptr<TCopyThread> self) {
    if (FStarted.exchange(true))
        return;
    {
        std::lock_guard lock(FShared->Lock);
        ++FShared->Running;
    }
    // The thread keeps the job alive until its body ends; the engine may let go of it sooner.
    std::thread([job = std::move(self)] { job->Execute(); }).detach();
}

void TCopyThread::Checkpoint() {
    const int wanted = FPriority.load();
    if (wanted != FAppliedPriority) {
        FAppliedPriority = wanted;
        if (FShared->ApplyPriority)
            FShared->ApplyPriority(wanted);
    }
    if (!FPaused.load())
        return;
    std::unique_lock lock(FPauseLock);
    FPauseChanged.wait(lock, [this] { return !FPaused.load() || FCopier.FCancel.load(); });
}

// One run of a job over its entries: the size pass and the copy pass.
class TCopyThread::TRun {
public:
    explicit TRun(TCopyThread& job) : FJob(job), FCopier(job.FCopier), FFileSystem(job.FShared->FileSystem) {}

    void SizePass() {
        for (const TCopyEntry& entry : FJob.FEntries) {
            if (FCopier.FCancel)
                return;
            FJob.FTotalSize += Measure(entry);
        }
    }

    void CopyPass() {
        for (const TCopyEntry& entry : FJob.FEntries) {
            const std::string name = ApplyRenameMask(LastPathPart(entry.Source), FJob.FMask);
            CopyItem(entry, name);
            if (FCopier.FCancel || FCopier.FLastCode == qcAborted)
                break;
            if (entry.Kind == ekPanelItem && FJob.FUnmarkPanel != nullptr)
                FJob.FUnmarkPanel->RequestUnmark(entry.Item, entry.Source,
                                                 FJob.FSourcePanel.load() != nullptr);
        }
        if (FJob.FCopier.FCancel)
            FJob.FCancelled = true;
        // New files are not flushed one by one (cp does not either); the job is done once its
        // target file systems have everything.
        if (FCopier.FWroteData)
            for (const std::unique_ptr<TKFolder>& folder : FSyncFolders)
                (void)folder->SyncFileSystem();
    }

private:
    bool Stop() {
        if (FCopier.FCancel || FJob.FCancelled || FCopier.FLastCode == qcAborted) {
            FJob.FCancelled = FJob.FCancelled || FCopier.FCancel.load();
            return true;
        }
        return false;
    }

    // A question whose answers are Yes (again), No (skip) and Abort: true to try again.
    bool AskAgain(int code, bool& aborted) {
        const int answer = FCopier.Ask(code);
        aborted = answer == mrAbort || answer == mrOk;
        if (aborted)
            FCopier.Ask(qcAborted);
        return answer == mrYes || answer == mrRetry;
    }

    // The bytes an entry will copy; a folder moved by one rename copies none.
    std::uint64_t Measure(const TCopyEntry& entry) {
        Result<TFolderEntry> parent = OpenEntryFolder(FFileSystem, entry.Source);
        if (!parent)
            return 0;
        Result<TFileInfo> info = parent->Folder->Info(parent->Name);
        if (!info)
            return 0;
        if (info->Type != TEntryType::etFolder)
            return info->Type == TEntryType::etFile ? info->Size : 0;
        if (FJob.FMove && MovesByRename(*info, entry))
            return 0;
        Result<std::unique_ptr<TKFolder>> folder = parent->Folder->Open(parent->Name);
        if (!folder)
            return 0;
        std::uint64_t total = 0;
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& holder, const TWalkEntry& item) {
            if (FCopier.FCancel)
                return TWalkStep::wsStop;
            if (item.Type == TEntryType::etFolder)
                return TWalkStep::wsEnter;
            if (item.Type == TEntryType::etFile) {
                if (Result<TFileInfo> file = holder.Info(item.Name))
                    total += file->Size;
            }
            return TWalkStep::wsNext;
        };
        walk.Run(**folder, entry.Source);
        return total;
    }

    bool MovesByRename(const TFileInfo& source, const TCopyEntry& entry) {
        Result<std::unique_ptr<TKFolder>> target = FFileSystem.OpenFolder(entry.TargetFolder);
        if (!target || (*target)->Id().Device != source.Id.Device)
            return false;
        const std::string name = ApplyRenameMask(LastPathPart(entry.Source), FJob.FMask);
        Result<TFileInfo> existing = (*target)->Info(name);
        return !existing && existing.error().Code == TErrorCode::ecNotFound;
    }

    void RememberForSync(const std::string& path, const TKFolder& folder) {
        for (const std::unique_ptr<TKFolder>& known : FSyncFolders)
            if (known->Id().Device == folder.Id().Device)
                return;
        if (Result<std::unique_ptr<TKFolder>> again = FFileSystem.OpenFolder(path))
            FSyncFolders.push_back(std::move(*again));
    }

    void CopyItem(const TCopyEntry& entry, const std::string& targetName) {
        if (Stop())
            return;
        bool aborted = false;
        if (!ValidEntryName(targetName)) {
            // A rename mask that makes no single name (a "/" in it, say) creates nothing.
            AskAgain(qcCannotCreate, aborted);
            return;
        }
        Result<TFolderEntry> source = OpenEntryFolder(FFileSystem, entry.Source);
        Result<TFileInfo> info = source ? source->Folder->Info(source->Name) : source.error();
        while (!info) {
            const int answer = FCopier.Ask(qcSourceMissing);
            if (answer == mrAbort) {
                FCopier.Ask(qcAborted);
                return;
            }
            if (answer != mrRetry)
                return;
            source = OpenEntryFolder(FFileSystem, entry.Source);
            info = source ? source->Folder->Info(source->Name) : source.error();
        }
        // The target folder is the one typed or chosen, and no other: one that cannot be
        // entered is asked about, never replaced by some other folder.
        Result<std::unique_ptr<TKFolder>> target = FFileSystem.OpenFolder(entry.TargetFolder);
        while (!target) {
            if (!AskAgain(qcCannotCreate, aborted))
                return;
            target = FFileSystem.OpenFolder(entry.TargetFolder);
        }
        RememberForSync(entry.TargetFolder, **target);
        const std::string targetPath = Join(entry.TargetFolder, targetName);
        if (info->Type == TEntryType::etFolder)
            CopyTopFolder(*source->Folder, source->Name, entry.Source, *info, **target, targetName,
                          targetPath);
        else
            CopyOneFile(*source->Folder, source->Name, entry.Source, **target, targetName, targetPath);
    }

    void CopyOneFile(TKFolder& sourceFolder, std::string_view sourceName, const std::string& sourcePath,
                     TKFolder& targetFolder, std::string_view targetName, const std::string& targetPath) {
        FJob.Checkpoint();
        if (Stop())
            return;
        FJob.FInFile = true;
        FCopier.FKeepDate = FJob.FCopyAttributes;
        FCopier.FMove = FJob.FMove;
        if (FJob.FMakeBackup) {
            const std::string backup = std::string(targetName) + ".bak";
            if (ValidEntryName(backup) && backup.size() <= 255)
                FCopier.CopyFileAt(sourceFolder, sourceName, sourcePath, targetFolder, backup,
                                   targetPath + ".bak");
            FCopier.FFileDone = 0;
            if (Stop()) {
                FJob.FInFile = false;
                return;
            }
        }
        const bool done =
            FCopier.CopyFileAt(sourceFolder, sourceName, sourcePath, targetFolder, targetName, targetPath);
        if (done && !FCopier.FCancel)
            FJob.FDoneSize += static_cast<std::uint64_t>(std::max<std::int64_t>(FCopier.FFileSize.load(), 0));
        FJob.FInFile = false;
    }

    // True when target, or a folder above it, is the folder source: a copy into itself.
    static bool Inside(TKFolder& target, const TFileId& source) {
        std::unique_ptr<TKFolder> above;
        TKFolder* current = &target;
        for (int depth = 0; depth < 4096; ++depth) {
            if (current->Id() == source)
                return true;
            Result<std::unique_ptr<TKFolder>> parent = current->OpenParent();
            if (!parent || (*parent)->Id() == current->Id())
                return false;
            above = std::move(*parent);
            current = above.get();
        }
        return false;
    }

    void CopyTopFolder(TKFolder& sourceParent, const std::string& sourceName, const std::string& sourcePath,
                       const TFileInfo& info, TKFolder& targetParent, const std::string& targetName,
                       const std::string& targetPath) {
        if (Stop())
            return;
        if (Inside(targetParent, info.Id)) {
            FCopier.Ask(qcFolderIntoItself);
            FCopier.Ask(qcAborted);
            return;
        }
        Result<TFileInfo> existing = targetParent.Info(targetName);
        if (existing && existing->Id == info.Id) {
            FCopier.Ask(qcCopyToItself);
            FCopier.Ask(qcAborted);
            return;
        }
        // A folder moved within one file system to a new name goes in one step.
        if (FJob.FMove && !existing && info.Id.Device == targetParent.Id().Device &&
            sourceParent.Rename(sourceName, targetParent, targetName, true))
            return;
        Result<std::unique_ptr<TKFolder>> source = sourceParent.Open(sourceName);
        if (!source)
            return;
        std::unique_ptr<TKFolder> target = EnterTarget(targetParent, targetName, targetPath);
        if (!target)
            return;
        const bool complete = CopyTree(**source, sourcePath, std::move(target), targetPath);
        FinishFolder(targetParent, targetName, info);
        if (FJob.FMove && complete && !Stop())
            (void)sourceParent.RemoveFolder(sourceName); // fails while something stayed inside
    }

    // Creates (when missing) and opens the target folder name of parent; asks while it cannot.
    std::unique_ptr<TKFolder> EnterTarget(TKFolder& parent, std::string_view name, const std::string& path) {
        {
            std::lock_guard lock(FJob.FSubtreeLock);
            FJob.FCurrentSubtree = path;
        }
        for (;;) {
            // Writable while it is filled; its own mode comes when it is full.
            (void)parent.CreateFolder(name, 0700);
            Result<std::unique_ptr<TKFolder>> opened = parent.Open(name);
            if (opened)
                return std::move(*opened);
            bool aborted = false;
            if (!AskAgain(qcCannotCreate, aborted))
                return nullptr;
        }
    }

    void FinishFolder(TKFolder& targetParent, std::string_view name, const TFileInfo& source) {
        (void)targetParent.SetMode(name, source.Mode & CopiedModeBits);
        if (FJob.FCopyAttributes)
            (void)targetParent.SetTimes(name, source.AccessTimeNs, source.ModifyTimeNs);
    }

    // One target folder of the tree being copied; let go of when deep, found again by its id.
    struct TLevel {
        std::unique_ptr<TKFolder> Folder;
        TFileId Id;
        std::string Path;
        std::string Name;
        TFileInfo Source;
    };

    TKFolder* LevelFolder(std::vector<TLevel>& levels, std::size_t index) {
        if (levels[index].Folder)
            return levels[index].Folder.get();
        // Reopened through the ".." of the one below, and only when it is the very folder left.
        TKFolder* below = LevelFolder(levels, index + 1);
        if (below == nullptr)
            return nullptr;
        Result<std::unique_ptr<TKFolder>> parent = below->OpenParent();
        if (!parent || (*parent)->Id() != levels[index].Id)
            return nullptr;
        levels[index].Folder = std::move(*parent);
        return levels[index].Folder.get();
    }

    // Copies everything below source into target; true when nothing stayed behind.
    bool CopyTree(TKFolder& source, const std::string& sourcePath, std::unique_ptr<TKFolder> target,
                  const std::string& targetPath) {
        std::vector<TLevel> levels;
        const TFileId topId = target->Id();
        levels.push_back({std::move(target), topId, targetPath, {}, {}});
        bool complete = true;
        bool lost = false;
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) {
            if (Stop())
                return TWalkStep::wsStop;
            if (entry.Type == TEntryType::etFolder)
                return TWalkStep::wsEnter;
            TKFolder* into = LevelFolder(levels, levels.size() - 1);
            if (into == nullptr) {
                lost = true;
                return TWalkStep::wsStop;
            }
            CopyOneFile(folder, entry.Name, entry.Path(), *into, entry.Name,
                        Join(levels.back().Path, entry.Name));
            return Stop() ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.OnEnter = [&](TKFolder& parent, TKFolder&, const TWalkEntry& entry) {
            if (Stop())
                return TWalkStep::wsStop;
            TKFolder* holder = LevelFolder(levels, levels.size() - 1);
            if (holder == nullptr) {
                lost = true;
                return TWalkStep::wsStop;
            }
            const std::string path = Join(levels.back().Path, entry.Name);
            std::unique_ptr<TKFolder> made = EnterTarget(*holder, entry.Name, path);
            if (!made) {
                complete = false;
                return Stop() ? TWalkStep::wsStop : TWalkStep::wsNext;
            }
            TLevel level{std::move(made), {}, path, std::string(entry.Name), {}};
            level.Id = level.Folder->Id();
            if (Result<TFileInfo> info = parent.Info(entry.Name))
                level.Source = *info;
            levels.push_back(std::move(level));
            if (levels.size() > MaxOpenTargets)
                levels[levels.size() - 1 - MaxOpenTargets].Folder.reset();
            return TWalkStep::wsEnter;
        };
        walk.OnLeave = [&](TKFolder& parent, const TWalkEntry& entry, bool listed) {
            TLevel level = std::move(levels.back());
            levels.pop_back();
            TKFolder* holder = LevelFolder(levels, levels.size() - 1);
            if (holder == nullptr) {
                lost = true;
                return TWalkStep::wsStop;
            }
            level.Folder.reset();
            // A source folder that could not be described keeps the target's own mode.
            if (level.Source.Type == TEntryType::etFolder)
                FinishFolder(*holder, level.Name, level.Source);
            if (!listed)
                complete = false;
            if (FJob.FMove && listed && !Stop())
                (void)parent.RemoveFolder(entry.Name); // fails while something stayed inside
            return Stop() ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.OnError = [&](TKFolder*, const TWalkEntry&, const TError&) {
            complete = false;
            const int answer = FCopier.Ask(qcSourceMissing);
            if (answer == mrAbort) {
                FCopier.Ask(qcAborted);
                return TWalkStep::wsStop;
            }
            return TWalkStep::wsNext;
        };
        const bool through = walk.Run(source, sourcePath);
        if (lost) {
            // A target folder was moved away meanwhile: nothing more is written anywhere.
            FCopier.Ask(qcCannotCreate);
            FCopier.Ask(qcAborted);
        }
        return through && complete && !lost;
    }

    TCopyThread& FJob;
    TKCopyFile& FCopier;
    TKFileSystem& FFileSystem;
    std::vector<std::unique_ptr<TKFolder>> FSyncFolders;
};

void TCopyThread::Execute() {
    Checkpoint();
    {
        TRun run(*this);
        run.SizePass();
        FStartTime = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
        run.CopyPass();
    }
    FFinished = true;
    {
        std::unique_lock lock(FShared->Lock);
        FShared->Changed.wait_for(lock, std::chrono::milliseconds(FShared->ClosingMs),
                                  [this] { return FShared->Closing; });
    }
    FFinished = false;
    std::lock_guard lock(FShared->Lock);
    std::erase_if(FShared->Jobs,
                  [this](const std::shared_ptr<TCopyThread>& job) { return job.get() == this; });
    --FShared->Running;
    FShared->Changed.notify_all();
}

} // namespace ks
