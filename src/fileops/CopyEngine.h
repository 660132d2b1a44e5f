#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fileops/CopyQuestions.h"
#include "fileops/CopyThread.h"
#include "foundation/FileSystem.h"

namespace ks {

class TKMYFILEPANEL;

/// What the engine and its jobs share; it lives as long as the last of them.
struct TCopyEngineShared {
    explicit TCopyEngineShared(TKFileSystem& fileSystem) : FileSystem(fileSystem) {}

    TKFileSystem& FileSystem;
    TQuestionSlot Questions;
    /// Gives the calling thread one of the five job priorities (nice value and I/O priority);
    /// none leaves the priority as it is.
    std::function<void(int priority)> ApplyPriority;
    /// How long a finished job keeps `FFinished` set, so the 20 ms windows see the end.
    int ClosingMs = 100;

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::shared_ptr<TCopyThread>> Jobs;
    int Running = 0;
    bool Closing = false;
};

/// Makes and tracks the copy jobs of the program: several may run at once, each on its own
/// thread; the windows read a job's counters and flags on timers and never get a callback from
/// it. Questions of every job go one at a time through `Questions` to the asker given.
///
/// Thread: NewJob, StartJob, AddEntry and FillFromPanels on the GUI thread (they act on the job
/// made last); IndexOfJob, Jobs and CancelAll from any thread.
class TCopyEngine {
public:
    explicit TCopyEngine(TKFileSystem& fileSystem, TKCopyAsker* asker = nullptr);
    /// Cancels every job and waits for the running ones to end (at most 10 seconds; one stuck
    /// in the system keeps what it uses alive by itself).
    ~TCopyEngine();
    TCopyEngine(const TCopyEngine&) = delete;
    TCopyEngine& operator=(const TCopyEngine&) = delete;

    /// The value of "SettingsMaxCopyBufferSize" that the next job's copier takes its chunk from.
    std::int64_t FMaxCopyBufferSize = 128;

    /// A new suspended job of priority 3, numbered by `NextJobID`, with no entries; it becomes
    /// the current job. makeBackup counts only for a copy.
    std::shared_ptr<TCopyThread> NewJob(bool move, bool copyAttributes, bool makeBackup);
    /// 1 without jobs, else one more than the largest job number present.
    int NextJobID() const;
    /// Starts the current job.
    void StartJob();
    /// Adds the entry (source, targetFolder) to the current job.
    void AddEntry(const std::string& source, const std::string& targetFolder);
    /// Fills the current job from a folder or find-result source panel: the target is
    /// targetPath resolved as the copy dialog's path (empty: the target panel's folder; an
    /// existing folder; with a trailing "/" a folder created one level deep; otherwise its last
    /// part is the rename mask and the rest the folder, a bare mask copying into the source
    /// panel's folder), and each marked item (or the cursor item when none is) becomes an
    /// entry. Relative paths are taken from the source panel's folder; the process current
    /// folder is never used or changed. Other panel kinds make no entries.
    void FillFromPanels(TKMYFILEPANEL& sourcePanel, TKMYFILEPANEL& targetPanel, std::string targetPath);
    /// Position of job among the existing jobs; -1 once it has ended.
    int IndexOfJob(const TCopyThread* job) const;
    /// Cancels every job.
    void CancelAll();
    /// The jobs that exist, in the order they were made.
    std::vector<std::shared_ptr<TCopyThread>> Jobs() const;
    std::shared_ptr<TCopyThread> CurrentJob() const { return FCurrentJob; }
    /// Waits until no started job runs any more, at most timeoutMs; true when none does.
    bool WaitIdle(int timeoutMs);

    TQuestionSlot& Questions() { return FShared->Questions; }
    /// How long a finished job keeps `FFinished` set (100 ms; benchmarks that time the work
    /// alone set 0).
    void SetClosingMs(int ms) { FShared->ClosingMs = ms; }
    /// See `TCopyEngineShared::ApplyPriority`.
    void SetPriorityHandler(std::function<void(int)> apply) { FShared->ApplyPriority = std::move(apply); }

private:
    std::shared_ptr<TCopyEngineShared> FShared;
    std::shared_ptr<TCopyThread> FCurrentJob;
};

/// Where FillFromPanels puts the items for a typed target path: the folder and the rename mask.
struct TCopyTarget {
    std::string Folder; ///< full name, no trailing "/" (but "/")
    std::string Mask = "*.*";
};
/// Resolves path as the copy dialog's target (see `TCopyEngine::FillFromPanels`) without
/// touching the process current folder; creates the one folder level the rules create
/// (failure ignored). Nothing when path is empty.
std::optional<TCopyTarget> ResolveCopyTarget(TKFileSystem& fileSystem, const std::string& path,
                                             const std::string& sourceFolder);

} // namespace ks
