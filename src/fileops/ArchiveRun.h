#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveManagers.h"
#include "foundation/ChildProcess.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// How a run of an archive manager ended.
struct TArchiveRunOutcome {
    enum TState { rsDone, rsFailed, rsCancelled };
    TState State = rsDone;
    int ExitStatus = 0;     ///< the manager's exit status (128 + signal for a signal)
    std::string OutputTail; ///< the last lines the manager wrote, for the failure message
};

/// A fresh name for a list file in the private temporary folder: prefix ("kSExtA", "kSAddA",
/// "kSAddNA", "kSDelA") followed by "-" and a number no other list of this process has; empty
/// without a private temporary folder.
std::string ArchiveListFileName(const std::string& prefix);

/// One run of an archive manager, from writing its list file to its end. The list file (when the
/// command has one) is written atomically with mode 0600 before the manager starts and removed
/// when the run is destroyed; the manager starts through System().StartChild in workFolder and is
/// stopped when the run is cancelled or destroyed before it ended.
///
/// Thread: the GUI thread (Poll never waits longer than it is told); Cancel from any thread.
class TArchiveRun {
public:
    /// managerName is what the progress window shows (the program's name).
    TArchiveRun(std::string managerName, TManagerCommand command, std::string listFile,
                std::string workFolder);
    ~TArchiveRun();
    TArchiveRun(const TArchiveRun&) = delete;
    TArchiveRun& operator=(const TArchiveRun&) = delete;

    /// Writes the list file and starts the manager. Fails, starting nothing, when the list file
    /// cannot be written or the program cannot be started.
    Result<void> Start();
    /// Waits at most ms for the end: the outcome once the manager ended (exit status 0 is done,
    /// anything else failed; cancelled after Cancel), nothing while it runs.
    std::optional<TArchiveRunOutcome> Poll(int ms);
    /// Stops the manager; the outcome becomes cancelled.
    void Cancel();
    const std::string& ManagerName() const { return FManagerName; }

private:
    std::string FManagerName;
    TManagerCommand FCommand;
    std::string FListFile;
    std::string FWorkFolder;
    std::unique_ptr<TKChildProcess> FChild;
    std::atomic<bool> FCancelled = false; ///< set by Cancel, which may run on another thread
    bool FListWritten = false;
};

/// A private folder an extraction writes into before its results are moved into the target
/// folder with the copier's questions: made inside the target folder (so the move is a rename on
/// the same file system) as a hidden folder of mode 0700 with a fresh name. Removed with all it
/// holds, through open folders and never following a symbolic link, by Remove or on destruction.
class TExtractStage {
public:
    /// Makes the folder; fails when targetFolder cannot hold it.
    static Result<std::unique_ptr<TExtractStage>> Make(TKFileSystem& fileSystem,
                                                       const std::string& targetFolder);
    ~TExtractStage();
    /// The folder's full name, with a trailing "/".
    const std::string& Path() const { return FPath; }
    /// The names the stage holds at its top, in listing order.
    Result<std::vector<std::string>> TopNames() const;
    /// Removes the folder and what is left in it.
    Result<void> Remove();

private:
    TExtractStage(std::unique_ptr<TKFolder> target, std::string name, std::string path)
        : FTarget(std::move(target)), FName(std::move(name)), FPath(std::move(path)) {}
    /// The target folder, kept open so the stage is always reached through it, never by its path.
    std::unique_ptr<TKFolder> FTarget;
    std::string FName; ///< the stage's name in the target folder
    std::string FPath;
    bool FRemoved = false;
};

} // namespace ks
