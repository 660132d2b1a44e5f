#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fileops/KCopyFile.h"

namespace ks {

class TKMYFILEPANEL;
struct TCopyEngineShared;

/// Where a work entry came from: `AddEntry` (a dropped or pasted name) or `FillFromPanels` (an
/// item of the source panel, unmarked there once done).
enum TCopyEntryKind : int { ekAdded = 1, ekPanelItem = 2 };

/// One top-level item of a job. Kept as fields, never joined into one text: a file name may hold
/// any byte but "/" and NUL.
struct TCopyEntry {
    int Kind = ekAdded;
    std::string Source;       ///< full name of a file or folder
    std::string TargetFolder; ///< full name of the folder it goes into
    int Item = -1;            ///< ekPanelItem: the item's index in the source panel's list
};

/// The job priorities, 1 lowest to 5 highest; 3 is where every job starts.
inline constexpr int LowestPriority = 1;
inline constexpr int NormalPriority = 3;
inline constexpr int HighestPriority = 5;
/// "lowest", "low", "normal", "high", "highest"; "error" for any other value.
const char* PriorityName(int priority);

/// One copy or move job: a thread that measures its entries (the size pass), then copies each
/// with its own `TKCopyFile` (the copy pass), walking folders through open folder handles on
/// both sides, so a folder swapped for a link meanwhile can redirect neither a write nor a delete.
/// Created suspended by `TCopyEngine::NewJob`; runs once started; removes itself from the
/// engine's list when done, after a closing phase of 100 ms with `FFinished` set.
///
/// Thread: the fields before the thread starts, and `FEntries` always, belong to the thread that
/// made the job. The counters and flags are read from any thread without locks; Cancel,
/// Suspend, Resume and SetPriority come from any thread.
class TCopyThread {
public:
    TCopyThread(std::shared_ptr<TCopyEngineShared> shared, int jobID, bool move, bool copyAttributes,
                bool makeBackup);
    TCopyThread(const TCopyThread&) = delete;
    TCopyThread& operator=(const TCopyThread&) = delete;

    const int FJobID;
    std::vector<TCopyEntry> FEntries;
    std::string FTargetPath;
    std::string FMask = "*.*";
    const bool FMakeBackup;
    const bool FMove;
    const bool FCopyAttributes;
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FCancelled{false};
    /// The panel whose items the job unmarks as they are done (their rows redrawn while this is
    /// set); cleared when the job goes to the background.
    std::atomic<TKMYFILEPANEL*> FSourcePanel{nullptr};
    std::atomic<bool> FInFile{false};
    /// Milliseconds since 1970 when the copy pass began; 0 until then.
    std::atomic<std::int64_t> FStartTime{0};
    std::atomic<std::uint64_t> FTotalSize{0};
    std::atomic<std::uint64_t> FDoneSize{0};
    TKCopyFile FCopier;

    /// The target folder being filled now.
    std::string CurrentSubtree() const;
    /// `FDoneSize` plus the current file's bytes while one is copied.
    std::uint64_t BytesDone() const;

    /// Stops the job at its next check; a file being copied stops after its current chunk and
    /// its partial copy goes. A question waiting for its answer is given up.
    void Cancel();
    int Priority() const { return FPriority.load(); }
    /// Sets the priority (clamped to 1..5); the job's thread takes it at its next chunk.
    void SetPriority(int priority);
    /// Makes the job wait between chunks until Resume.
    void Suspend();
    void Resume();
    bool Suspended() const { return FPaused.load(); }
    /// True once the thread was started.
    bool Started() const { return FStarted.load(); }

    /// Starts the thread (once).
    void Start(std::shared_ptr<TCopyThread> self);

private:
    friend class TCopyEngine;
    class TRun;

    void Execute();
    void Checkpoint();

    std::shared_ptr<TCopyEngineShared> FShared;
    /// The panel the done items are unmarked in, kept when `FSourcePanel` is cleared.
    TKMYFILEPANEL* FUnmarkPanel = nullptr;
    std::atomic<int> FPriority{NormalPriority};
    int FAppliedPriority = 0;
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FStarted{false};
    std::mutex FPauseLock;
    std::condition_variable FPauseChanged;
    mutable std::mutex FSubtreeLock;
    std::string FCurrentSubtree;
};

} // namespace ks
