#include "fileops/CopyEngine.h"

#include <algorithm>
#include <chrono>

#include "foundation/DELTA9.h"
#include "panel/KMYFILEPANEL.h"

namespace ks {

namespace {

constexpr int EngineShutdownMs = 10000;

std::string FolderName(const std::string& path) {
    const std::string trimmed = RemoveTrailingSeparator(path);
    return trimmed.empty() ? std::string("/") : trimmed;
}

// Creates the last level of path (the folders above it must exist); failure is no error here:
// the job asks when it cannot enter the folder.
void CreateOneLevel(TKFileSystem& fileSystem, const std::string& path) {
    if (fileSystem.CanOpenFolder(path))
        return;
    if (Result<TFolderEntry> parent = OpenEntryFolder(fileSystem, path))
        (void)parent->Folder->CreateFolder(parent->Name, 0777);
}

} // namespace

std::optional<TCopyTarget> ResolveCopyTarget(TKFileSystem& fileSystem, const std::string& path,
                                             const std::string& sourceFolder) {
    if (path.empty())
        return std::nullopt;
    const bool bare = path.find('/') == std::string::npos;
    const std::string full = path.front() == '/' ? path : AddBackslash(sourceFolder) + path;
    TCopyTarget target;
    if (fileSystem.CanOpenFolder(full)) {
        target.Folder = FolderName(full);
        return target;
    }
    if (full.back() == '/') {
        target.Folder = FolderName(full);
        CreateOneLevel(fileSystem, target.Folder);
        return target;
    }
    const std::size_t slash = full.rfind('/');
    target.Mask = full.substr(slash + 1);
    if (bare) {
        target.Folder = FolderName(sourceFolder);
        return target;
    }
    target.Folder = FolderName(full.substr(0, slash + 1));
    CreateOneLevel(fileSystem, target.Folder);
    return target;
}

TCopyEngine::TCopyEngine(TKFileSystem& fileSystem, TKCopyAsker* asker)
    : FShared(std::make_shared<TCopyEngineShared>(fileSystem)) {
    FShared->Questions.SetAsker(asker);
}

TCopyEngine::~TCopyEngine() {
    CancelAll();
    std::unique_lock lock(FShared->Lock);
    FShared->Closing = true;
    FShared->Changed.notify_all();
    FShared->Changed.wait_for(lock, std::chrono::milliseconds(EngineShutdownMs),
                              [this] { return FShared->Running == 0; });
    // A job never started goes with the engine.
    FShared->Jobs.clear();
}

std::shared_ptr<TCopyThread> TCopyEngine::NewJob(bool move, bool copyAttributes, bool makeBackup) {
    auto job = std::make_shared<TCopyThread>(FShared, NextJobID(), move, copyAttributes, makeBackup);
    job->FCopier.SetMaxCopyBufferSize(FMaxCopyBufferSize);
    {
        std::lock_guard lock(FShared->Lock);
        FShared->Jobs.push_back(job);
    }
    FCurrentJob = job;
    return job;
}

int TCopyEngine::NextJobID() const {
    std::lock_guard lock(FShared->Lock);
    int largest = 0;
    for (const std::shared_ptr<TCopyThread>& job : FShared->Jobs)
        largest = std::max(largest, job->FJobID);
    return largest + 1;
}

void TCopyEngine::StartJob() {
    if (FCurrentJob)
        FCurrentJob->Start(FCurrentJob);
}

void TCopyEngine::AddEntry(const std::string& source, const std::string& targetFolder) {
    if (FCurrentJob)
        FCurrentJob->FEntries.push_back({ekAdded, source, targetFolder, -1});
}

void TCopyEngine::FillFromPanels(TKMYFILEPANEL& sourcePanel, TKMYFILEPANEL& targetPanel,
                                 std::string targetPath) {
    if (!FCurrentJob)
        return;
    const TKPanelType kind = sourcePanel.PanelType();
    // Archives and FTP folders bring their own ways in and out.
    if (kind != ptFolder && kind != ptFindResult)
        return;
    if (targetPanel.PanelType() == ptArchive && targetPath == "archive")
        return;
    if (targetPanel.PanelType() == ptFTP && targetPath == "ftp")
        return;
    if (targetPath.empty())
        targetPath = targetPanel.FItemsStruc->FPath;
    TCopyThread& job = *FCurrentJob;
    job.FTargetPath = targetPath;
    const std::optional<TCopyTarget> target =
        ResolveCopyTarget(FShared->FileSystem, targetPath, sourcePanel.FItemsStruc->FPath);
    if (!target)
        return;
    job.FTargetPath = AddBackslash(target->Folder);
    job.FMask = target->Mask;

    const TKITEMSSTRUC& list = *sourcePanel.FItemsStruc;
    const auto add = [&](int index) {
        const TKFiles* item = list.GetFileItem(index);
        if (item == nullptr || item->Kind == ikUpFolder || item->Kind == ikDrive)
            return;
        job.FEntries.push_back({ekPanelItem, sourcePanel.ItemFullName(index), target->Folder, index});
    };
    if (list.FMarkedCount > 0) {
        for (int index = 0; index < list.Count(); ++index)
            if (list.GetFileItem(index)->Marked)
                add(index);
    } else {
        add(list.FItemIndex);
    }
    job.FSourcePanel = &sourcePanel;
    job.FUnmarkPanel = &sourcePanel;
}

int TCopyEngine::IndexOfJob(const TCopyThread* job) const {
    std::lock_guard lock(FShared->Lock);
    for (std::size_t i = 0; i < FShared->Jobs.size(); ++i)
        if (FShared->Jobs[i].get() == job)
            return static_cast<int>(i);
    return -1;
}

void TCopyEngine::CancelAll() {
    for (const std::shared_ptr<TCopyThread>& job : Jobs())
        job->Cancel();
}

std::vector<std::shared_ptr<TCopyThread>> TCopyEngine::Jobs() const {
    std::lock_guard lock(FShared->Lock);
    return FShared->Jobs;
}

bool TCopyEngine::WaitIdle(int timeoutMs) {
    std::unique_lock lock(FShared->Lock);
    return FShared->Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return FShared->Running == 0; });
}

} // namespace ks
