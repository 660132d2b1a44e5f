#include "fileops/ArchiveRun.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string_view>
#include <utility>

#include "foundation/System.h"
#include "foundation/TreeWalk.h"

namespace ks {

namespace {

constexpr std::string_view StagePrefix = ".ksable-extract-";
// Fresh names tried before giving up on a target folder that has all of them (it never does
// unless something is wrong with it).
constexpr int StageNameTries = 100;

std::string RandomLetters() {
    static constexpr std::string_view Letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    std::string letters;
    for (int i = 0; i < 6; ++i, bits /= Letters.size())
        letters += Letters[bits % Letters.size()];
    return letters;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool Gone(TKFolder& folder, std::string_view name) {
    const Result<TDirEntry> entry = folder.Describe(name);
    return !entry && entry.error().Code == TErrorCode::ecNotFound;
}

// True when the error says the entry is no folder to enter any more (a link or a file took its
// place): it is then removed as a file.
bool NoLongerAFolder(const TError& error) {
    return error.Errno == ELOOP || error.Errno == ENOTDIR;
}

// Removes the folder name of parent with all it holds. Every folder is reached through the open
// folder above it and a symlink is removed as a link, so a link inside (even one swapped in
// meanwhile) never leads the removal out of the tree. Folders a manager left without write or
// search permission are opened up first: they are ours to remove.
Result<void> RemoveFolderTree(TKFolder& parent, const std::string& name, const std::string& path) {
    (void)parent.SetMode(name, 0700);
    Result<std::unique_ptr<TKFolder>> top = parent.Open(name);
    if (!top) {
        if (top.error().Code == TErrorCode::ecNotFound)
            return {};
        if (!NoLongerAFolder(top.error()))
            return top.error();
        return parent.RemoveFile(name);
    }
    TTreeWalk walk;
    walk.OnEntry = [](TKFolder& in, const TWalkEntry& entry) {
        if (entry.Type == TEntryType::etFolder) {
            (void)in.SetMode(entry.Name, 0700);
            return TWalkStep::wsEnter;
        }
        // A failure shows as the folder above staying; the last check reports it.
        (void)in.RemoveFile(entry.Name);
        return TWalkStep::wsNext;
    };
    walk.OnError = [](TKFolder* in, const TWalkEntry& entry, const TError& error) {
        if (in != nullptr && NoLongerAFolder(error))
            (void)in->RemoveFile(entry.Name);
        return TWalkStep::wsNext;
    };
    walk.OnLeave = [](TKFolder& in, const TWalkEntry& entry, bool) {
        (void)in.RemoveFolder(entry.Name);
        return TWalkStep::wsNext;
    };
    walk.Run(**top, path);
    top->reset();
    Result<void> removed = parent.RemoveFolder(name);
    if (removed || Gone(parent, name))
        return {};
    return removed.error();
}

Result<void> RemoveListFile(const std::string& path) {
    Result<TFolderEntry> place = OpenEntryFolder(FileSystem(), path);
    if (!place)
        return place.error();
    Result<void> removed = place->Folder->RemoveFile(place->Name);
    if (!removed && removed.error().Code != TErrorCode::ecNotFound)
        return removed.error();
    return {};
}

} // namespace

std::string ArchiveListFileName(const std::string& prefix) {
    // The temporary folder is the user's, shared by every copy of the program the user runs: the
    // process id keeps the copies apart, the counter the lists of one copy.
    static std::atomic<unsigned> counter{0};
    const std::string folder = System().TempDir();
    if (folder.empty())
        return {};
    const unsigned number = ++counter;
    return folder + (folder.back() == '/' ? "" : "/") + prefix + "-" + std::to_string(System().ProcessId()) +
           "-" + std::to_string(number);
}

TArchiveRun::TArchiveRun(std::string managerName, TManagerCommand command, std::string listFile,
                         std::string workFolder)
    : FManagerName(std::move(managerName)), FCommand(std::move(command)), FListFile(std::move(listFile)),
      FWorkFolder(std::move(workFolder)) {}

TArchiveRun::~TArchiveRun() {
    // A manager still running is stopped by the child's own destructor (SIGTERM, then SIGKILL for
    // the group) and reaped before its list goes.
    FChild.reset();
    if (FListWritten)
        (void)RemoveListFile(FListFile);
}

Result<void> TArchiveRun::Start() {
    if (FChild)
        return TError{TErrorCode::ecBusy, 0, FManagerName, "already started"};
    if (FCommand.Argv.empty())
        return TError{TErrorCode::ecInvalid, 0, FManagerName, "no program"};
    const bool hasList = FCommand.ListOnStdin || !FCommand.ListText.empty();
    if (hasList) {
        if (FListFile.empty())
            return TError{TErrorCode::ecNotFound, ENOENT, FListFile, "no private temporary folder"};
        // Written whole under a temporary name and renamed, so the manager never reads half a
        // list; 0600 because the names are the user's business.
        Result<void> written =
            FileSystem().ReplaceFile(FListFile, FCommand.ListText, TReplaceMode::rmSet, 0600);
        if (!written)
            return written.error();
        FListWritten = true;
    }
    TChildSpec spec;
    spec.Argv = FCommand.Argv;
    spec.Folder = FWorkFolder;
    if (FCommand.ListOnStdin)
        spec.StdinFile = FListFile;
    Result<std::unique_ptr<TKChildProcess>> started = System().StartChild(spec);
    if (!started) {
        if (FListWritten && RemoveListFile(FListFile))
            FListWritten = false;
        return started.error();
    }
    FChild = std::move(*started);
    return {};
}

std::optional<TArchiveRunOutcome> TArchiveRun::Poll(int ms) {
    if (!FChild)
        return std::nullopt;
    const std::optional<int> status = FChild->Wait(ms);
    if (!status)
        return std::nullopt;
    TArchiveRunOutcome outcome;
    outcome.ExitStatus = *status;
    outcome.OutputTail = FChild->OutputTail();
    if (FCancelled)
        outcome.State = TArchiveRunOutcome::rsCancelled;
    else
        outcome.State = *status == 0 ? TArchiveRunOutcome::rsDone : TArchiveRunOutcome::rsFailed;
    return outcome;
}

void TArchiveRun::Cancel() {
    FCancelled = true;
    if (FChild)
        FChild->Stop();
}

Result<std::unique_ptr<TExtractStage>> TExtractStage::Make(TKFileSystem& fileSystem,
                                                           const std::string& targetFolder) {
    const std::string target = WithoutTrailingSlash(targetFolder);
    Result<std::unique_ptr<TKFolder>> opened = fileSystem.OpenFolder(target);
    if (!opened)
        return opened.error();
    TKFolder& folder = **opened;
    for (int attempt = 0; attempt < StageNameTries; ++attempt) {
        std::string name = std::string(StagePrefix) + RandomLetters();
        Result<void> made = folder.CreateFolder(name, 0700);
        if (!made) {
            if (made.error().Code == TErrorCode::ecExists)
                continue;
            return made.error();
        }
        // The umask may have taken bits the stage needs; it is made exactly 0700, a folder of
        // its owner only.
        if (Result<void> mode = folder.SetMode(name, 0700); !mode) {
            (void)folder.RemoveFolder(name);
            return mode.error();
        }
        std::string path = (target == "/" ? std::string() : target) + "/" + name + "/";
        return std::unique_ptr<TExtractStage>(
            new TExtractStage(std::move(*opened), std::move(name), std::move(path)));
    }
    return ErrnoError(target, EEXIST, "no free name for an extraction folder");
}

TExtractStage::~TExtractStage() {
    (void)Remove();
}

Result<std::vector<std::string>> TExtractStage::TopNames() const {
    Result<std::unique_ptr<TKFolder>> stage = FTarget->Open(FName);
    if (!stage)
        return stage.error();
    std::vector<std::string> names;
    Result<void> listed = (*stage)->List([&](std::string_view name, TEntryType) {
        names.emplace_back(name);
        return true;
    });
    if (!listed)
        return listed.error();
    return names;
}

Result<void> TExtractStage::Remove() {
    if (FRemoved)
        return {};
    Result<void> removed = RemoveFolderTree(*FTarget, FName, WithoutTrailingSlash(FPath));
    if (removed)
        FRemoved = true;
    return removed;
}

} // namespace ks
