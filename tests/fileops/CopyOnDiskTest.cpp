// Copy and move jobs on real folders: what lands at the target (bytes, modes, times, links,
// holes), moves by rename and by copy, the target path rules, the questions of the cases a real
// disk shows, cancelling, two jobs at once and a copier killed mid-file.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CopyTestSupport.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/Process.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks::test {

namespace {

namespace fs = std::filesystem;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string Bytes(std::size_t size, char seed) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(seed + (i * 7919 % 251));
    return text;
}

std::vector<std::string> PartialFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().rfind(".kS-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

class CopyOnDisk : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FDisk); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    TJobOutcome Run(const std::vector<std::string>& sources, const std::string& target,
                    std::deque<int> answers = {}, const TJobOptions& options = {}) {
        return RunCopyJob(FDisk, sources, target, std::move(answers), options);
    }

    // A folder panel on folder with the named items marked.
    std::unique_ptr<TKMYFILEPANEL> Panel(const std::string& folder,
                                         const std::vector<std::string>& marked = {}) {
        auto panel = std::make_unique<TKMYFILEPANEL>(FOptions);
        panel->FFolderItems.FPath = folder;
        panel->ReadPanel(false, false);
        for (const std::string& name : marked)
            panel->FFolderItems.MarkItem(
                panel->FFolderItems.GetFileItem(panel->FFolderItems.FindIndex(name, false)), mmMark);
        return panel;
    }

    // Runs FillFromPanels from source into targetPath to the job's end.
    TJobOutcome FromPanel(TKMYFILEPANEL& source, TKMYFILEPANEL& target, const std::string& targetPath,
                          std::deque<int> answers = {}, bool backup = false) {
        TScriptCopyAsker asker(std::move(answers));
        TCopyEngine engine(FDisk, &asker);
        std::shared_ptr<TCopyThread> job = engine.NewJob(false, true, backup);
        engine.FillFromPanels(source, target, targetPath);
        engine.StartJob();
        EXPECT_TRUE(engine.WaitIdle(60000));
        source.RunRequests();
        FLastMask = job->FMask;
        FLastTarget = job->FTargetPath;
        return {asker.Codes(), job->FTotalSize, job->FDoneSize, job->FCancelled, job->FCopier.FLastCode};
    }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FDisk;
    TPanelOptions FOptions;
    std::string FLastMask;
    std::string FLastTarget;
};

} // namespace

TEST_F(CopyOnDisk, ATreeArrivesWholeWithModesLinksHolesAndOddNames) {
    TempTree tree;
    const std::string big = Bytes(3 * 1048576 + 17, 'a');
    tree.File("src/big.bin", big);
    tree.File("src/empty");
    tree.File("src/sub/deep/x.txt", "x");
    tree.File(std::string("src/name-\xff\xfe-not-utf8"), "odd");
    tree.File("src/ro/inside", "kept");
    ASSERT_EQ(::chmod((tree / "src/big.bin").c_str(), 04750), 0);
    ASSERT_EQ(::symlink("big.bin", (tree / "src/link").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (tree / "src/folderlink").c_str()), 0);
    ASSERT_EQ(::mkfifo((tree / "src/sub/fifo").c_str(), 0644), 0);
    {
        const int fd = ::open((tree / "src/sparse").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "data", 4, off_t{64} << 20), 4);
        ASSERT_EQ(::ftruncate(fd, off_t{128} << 20), 0);
        ::close(fd);
    }
    ASSERT_EQ(::chmod((tree / "src/ro").c_str(), 0555), 0);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree / "src/sub/deep/x.txt").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    tree.Folder("dst");

    // The FIFO is never opened: Yes goes on with the next file.
    const TJobOutcome outcome = Run({tree / "src"}, tree / "dst", {mrYes});
    EXPECT_EQ(outcome.Codes, std::vector<int>{qcSourceMissing});
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/src/big.bin"), big);
    EXPECT_EQ(StatOf(tree / "dst/src/big.bin").st_mode & 07777, 0750u)
        << "set-user-id never goes with a copy";
    EXPECT_EQ(StatOf(tree / "dst/src/empty").st_size, 0);
    EXPECT_EQ(TempTree::ReadFile(tree / std::string("dst/src/name-\xff\xfe-not-utf8")), "odd");
    EXPECT_EQ(fs::read_symlink(tree / "dst/src/link"), "big.bin");
    EXPECT_EQ(fs::read_symlink(tree / "dst/src/folderlink"), "sub");
    EXPECT_FALSE(fs::exists(tree / "dst/src/sub/fifo"));
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/src/ro/inside"), "kept");
    EXPECT_EQ(StatOf(tree / "dst/src/ro").st_mode & 07777, 0555u);
    EXPECT_EQ(StatOf(tree / "dst/src/sub/deep/x.txt").st_mtim.tv_sec, 1000000000);
    const struct stat sparse = StatOf(tree / "dst/src/sparse");
    EXPECT_EQ(sparse.st_size, off_t{128} << 20);
    EXPECT_LT(sparse.st_blocks * 512, 1 << 20) << "the holes stay holes";
    EXPECT_TRUE(PartialFiles(tree / "dst").empty());
    const std::uint64_t files = big.size() + 1 + 3 + 4 + (std::uint64_t{128} << 20);
    EXPECT_EQ(outcome.Total, files);
    EXPECT_EQ(outcome.Done, files);
    ASSERT_EQ(::chmod((tree / "dst/src/ro").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((tree / "src/ro").c_str(), 0755), 0);
}

TEST_F(CopyOnDisk, WithoutKeepDateTheCopyHasTheTimeOfTheCopy) {
    TempTree tree;
    tree.File("a.txt", "a");
    tree.Folder("dst");
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree / "a.txt").c_str(), old, 0), 0);
    TJobOptions options;
    options.KeepDate = false;
    Run({tree / "a.txt"}, tree / "dst", {}, options);
    EXPECT_GT(StatOf(tree / "dst/a.txt").st_mtim.tv_sec, 1000000000);
}

TEST_F(CopyOnDisk, MovesRenameOnOneDiskAndMergeIntoAnExistingFolder) {
    TempTree tree;
    tree.File("src/tree/a", "a");
    tree.File("src/tree/sub/b", "b");
    tree.Folder("dst");
    const ino_t inode = StatOf(tree / "src/tree").st_ino;
    TJobOptions move;
    move.Move = true;
    TJobOutcome outcome = Run({tree / "src/tree"}, tree / "dst", {}, move);
    EXPECT_TRUE(outcome.Codes.empty());
    EXPECT_EQ(StatOf(tree / "dst/tree").st_ino, inode) << "a new name on one disk is one rename";
    EXPECT_FALSE(fs::exists(tree / "src/tree"));

    // Into a folder of that name that exists: file by file; the file kept by No keeps its folders.
    fs::remove(tree / "dst/tree/a");
    tree.File("src/tree/a", "new a");
    tree.File("src/tree/sub/b", "new b");
    tree.File("src/tree/sub/c", "c");
    outcome = Run({tree / "src/tree"}, tree / "dst", {mrNo}, move);
    EXPECT_EQ(outcome.Codes, std::vector<int>{qcAlreadyExists});
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/tree/a"), "new a");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/tree/sub/b"), "b");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/tree/sub/c"), "c");
    EXPECT_FALSE(fs::exists(tree / "src/tree/a"));
    EXPECT_EQ(TempTree::ReadFile(tree / "src/tree/sub/b"), "new b");
    EXPECT_FALSE(fs::exists(tree / "src/tree/sub/c"));
}

TEST_F(CopyOnDisk, CopiesIntoThemselvesOrOntoThemselvesAreRefused) {
    TempTree tree;
    tree.File("src/sub/a", "a");
    ASSERT_EQ(::symlink(tree.Path().c_str(), (tree / "via").c_str()), 0);
    struct TCase {
        const char* Name;
        std::string Source;
        std::string Target;
        int Code;
    };
    for (const TCase& row : std::vector<TCase>{
             {"a folder into its own sub-folder", tree / "src", tree / "src/sub", qcFolderIntoItself},
             {"a folder into itself", tree / "src", tree / "src", qcFolderIntoItself},
             {"a file onto itself through a linked path", tree / "src/sub/a", tree / "via/src/sub",
              qcCopyToItself},
         }) {
        SCOPED_TRACE(row.Name);
        const TJobOutcome outcome = Run({row.Source}, row.Target, {mrOk});
        EXPECT_EQ(outcome.Codes, std::vector<int>{row.Code});
        EXPECT_EQ(outcome.LastCode, qcAborted);
        EXPECT_EQ(TempTree::ReadFile(tree / "src/sub/a"), "a");
        EXPECT_FALSE(fs::exists(tree / "src/sub/src"));
    }
}

TEST_F(CopyOnDisk, TargetPathsResolveAsTheCopyDialogSaysAndDoneItemsAreUnmarked) {
    TempTree tree;
    tree.File("src/report.txt", "r");
    tree.File("src/notes.txt", "n");
    tree.File("src/folder/inner.txt", "i");
    tree.Folder("dst");
    auto target = Panel(tree / "dst");
    struct TCase {
        const char* Name;
        std::vector<std::string> Marked;
        std::string Path;
        std::vector<std::string> Expected;
        std::string Mask;
    };
    for (const TCase& row : std::vector<TCase>{
             {"an existing folder", {"report.txt"}, tree / "dst", {"dst/report.txt"}, "*.*"},
             {"the mask goes on top-level names only",
              {"report.txt", "folder"},
              tree / "dst/*.bak",
              {"dst/report.bak", "dst/folder.bak/inner.txt"},
              "*.bak"},
             {"a bare name copies into the source folder",
              {"notes.txt"},
              "copy.txt",
              {"src/copy.txt"},
              "copy.txt"},
             {"a trailing slash creates one level",
              {"notes.txt"},
              tree / "dst/new/",
              {"dst/new/notes.txt"},
              "*.*"},
             {"empty: the target panel's folder", {"notes.txt"}, "", {"dst/notes.txt"}, "*.*"},
         }) {
        SCOPED_TRACE(row.Name);
        auto source = Panel(tree / "src", row.Marked);
        const TJobOutcome outcome = FromPanel(*source, *target, row.Path);
        EXPECT_TRUE(outcome.Codes.empty());
        for (const std::string& path : row.Expected)
            EXPECT_TRUE(fs::exists(tree / path)) << path;
        EXPECT_EQ(FLastMask, row.Mask);
        EXPECT_EQ(source->FFolderItems.FMarkedCount, 0);
        fs::remove_all(tree / "dst");
        fs::remove(tree / "src/copy.txt");
        tree.Folder("dst");
    }

    // Nothing marked: the cursor item alone.
    auto source = Panel(tree / "src");
    source->FFolderItems.SetItemIndex(source->FFolderItems.FindIndex("report.txt", false));
    FromPanel(*source, *target, tree / "dst");
    EXPECT_TRUE(fs::exists(tree / "dst/report.txt"));
    EXPECT_FALSE(fs::exists(tree / "dst/notes.txt"));

    // An abort ends the job; the rest stays marked, the item aborted on too.
    fs::remove_all(tree / "dst");
    tree.File("dst/notes.txt", "old");
    source = Panel(tree / "src", {"notes.txt", "report.txt"});
    const TJobOutcome aborted = FromPanel(*source, *target, tree / "dst", {mrAbort});
    EXPECT_EQ(aborted.Codes, std::vector<int>{qcAlreadyExists});
    EXPECT_FALSE(fs::exists(tree / "dst/report.txt"));
    EXPECT_EQ(source->FFolderItems.FMarkedCount, 2);
}

TEST_F(CopyOnDisk, BackupsAndReadOnlyTargets) {
    TempTree tree;
    tree.File("src/a", "a");
    tree.File("dst/a", "old");
    ASSERT_EQ(::chmod((tree / "dst/a").c_str(), 0444), 0);
    auto source = Panel(tree / "src", {"a"});
    auto target = Panel(tree / "dst");
    // A read-only target is replaced after one Yes; the backup is a second copy beside it.
    const TJobOutcome outcome = FromPanel(*source, *target, tree / "dst", {mrYes}, true);
    EXPECT_EQ(outcome.Codes, std::vector<int>{qcAlreadyExists});
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/a"), "a");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/a.bak"), "a");
    EXPECT_EQ(outcome.Done, 1u);
}

TEST_F(CopyOnDisk, CancelInTheMiddleOfALargeFileOrInTheSizePassLeavesNothing) {
    TempTree tree;
    const std::string big = Bytes(40 * 1048576, 'c');
    tree.File("src/big", big);
    tree.File("src/later", "later");
    tree.Folder("dst");
    TJobOptions options;
    options.BeforeStart = [](TCopyThread& job) {
        job.FCopier.OnProcessing = [&job, previous = job.FCopier.OnProcessing] {
            previous();
            if (job.BytesDone() > 0)
                job.Cancel();
        };
    };
    TJobOutcome outcome = Run({tree / "src/big", tree / "src/later"}, tree / "dst", {}, options);
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_FALSE(fs::exists(tree / "dst/big"));
    EXPECT_FALSE(fs::exists(tree / "dst/later"));
    EXPECT_TRUE(PartialFiles(tree / "dst").empty());
    EXPECT_EQ(TempTree::ReadFile(tree / "src/big"), big);

    options.BeforeStart = [](TCopyThread& job) { job.Cancel(); };
    outcome = Run({tree / "src"}, tree / "dst", {}, options);
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_EQ(outcome.Total, 0u);
    EXPECT_TRUE(fs::is_empty(tree / "dst"));
}

TEST_F(CopyOnDisk, ATargetFolderThatCannotBeWrittenIsAskedAboutAndNothingGoesElsewhere) {
    TempTree tree;
    tree.File("src/a", "a");
    tree.Folder("locked");
    ASSERT_EQ(::chmod((tree / "locked").c_str(), 0555), 0);
    const std::string failure = RunUnprivileged({tree.Path()}, [&] {
        TKLinuxFileSystem disk;
        const TJobOutcome outcome = RunCopyJob(disk, {tree / "src/a"}, tree / "locked", {mrNo});
        KS_CHECK(outcome.Codes == std::vector<int>{qcCannotCreate});
        KS_CHECK(!fs::exists(tree / "locked/a"));
        const TJobOutcome missing = RunCopyJob(disk, {tree / "src/a"}, tree / "nowhere/deeper", {mrNo});
        KS_CHECK(missing.Codes == std::vector<int>{qcCannotCreate});
        return std::string();
    });
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(fs::exists(tree / "a"));
    ASSERT_EQ(::chmod((tree / "locked").c_str(), 0755), 0);
}

TEST_F(CopyOnDisk, TwoJobsAskOneAtATime) {
    TempTree tree;
    for (const char* job : {"one", "two"}) {
        tree.File(std::string("src/") + job + "/f", "new");
        tree.File(std::string("dst/") + job + "/f", "old");
    }
    TPolledAsker polled;
    TCopyEngine engine(FDisk, &polled);
    for (const char* job : {"one", "two"}) {
        engine.NewJob(false, true, false);
        engine.AddEntry(tree / (std::string("src/") + job), tree / "dst");
        engine.StartJob();
    }
    int answered = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (answered < 2 && std::chrono::steady_clock::now() < deadline) {
        if (std::optional<TCopyQuestion> question = polled.Pending()) {
            EXPECT_EQ(question->Code, qcAlreadyExists);
            EXPECT_EQ(engine.Questions().QuestionCode.load(), qcAlreadyExists);
            // The other job waits for its turn: it has no question open meanwhile.
            polled.Answer(mrYes);
            ++answered;
        }
        std::this_thread::yield();
    }
    EXPECT_EQ(answered, 2);
    EXPECT_TRUE(engine.WaitIdle(30000));
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/one/f"), "new");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/two/f"), "new");
    EXPECT_EQ(engine.Questions().QuestionCode.load(), qcNone);
}

TEST_F(CopyOnDisk, CancellingAJobReleasesItsQuestionAndJobNumbersFollowTheLargest) {
    TempTree tree;
    tree.File("src/f", "new");
    tree.File("dst/f", "old");
    TPolledAsker polled;
    TCopyEngine engine(FDisk, &polled);
    EXPECT_EQ(engine.NextJobID(), 1);
    std::shared_ptr<TCopyThread> first = engine.NewJob(false, true, false);
    std::shared_ptr<TCopyThread> second = engine.NewJob(false, true, false);
    std::shared_ptr<TCopyThread> third = engine.NewJob(false, true, false);
    EXPECT_EQ(third->FJobID, 3);
    // Job 2 runs, asks, and is cancelled while its question waits.
    second->FEntries.push_back({ekAdded, tree / "src/f", tree / "dst", -1});
    second->Start(second);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!polled.Pending() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(polled.Pending().has_value());
    second->Cancel();
    EXPECT_TRUE(engine.WaitIdle(30000));
    EXPECT_EQ(engine.IndexOfJob(second.get()), -1);
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/f"), "old");
    EXPECT_EQ(engine.NextJobID(), 4);
    EXPECT_EQ(engine.IndexOfJob(third.get()), 1);
    EXPECT_EQ(std::string(PriorityName(first->Priority())), "normal");
}

TEST_F(CopyOnDisk, ASuspendedJobWaitsAndPrioritiesReachItsThread) {
    TempTree tree;
    tree.File("src/a", Bytes(100000, 'p'));
    tree.Folder("dst");
    TCopyEngine engine(FDisk);
    std::vector<int> applied;
    std::mutex lock;
    engine.SetPriorityHandler([&](int priority) {
        std::lock_guard guard(lock);
        applied.push_back(priority);
    });
    std::shared_ptr<TCopyThread> job = engine.NewJob(false, true, false);
    engine.AddEntry(tree / "src/a", tree / "dst");
    job->SetPriority(9);
    EXPECT_EQ(job->Priority(), HighestPriority);
    job->SetPriority(1);
    job->Suspend();
    engine.StartJob();
    EXPECT_FALSE(engine.WaitIdle(300)) << "a suspended job does not end";
    EXPECT_FALSE(fs::exists(tree / "dst/a"));
    job->Resume();
    EXPECT_TRUE(engine.WaitIdle(30000));
    EXPECT_TRUE(fs::exists(tree / "dst/a"));
    std::lock_guard guard(lock);
    ASSERT_FALSE(applied.empty());
    EXPECT_EQ(applied.front(), 1);
}

TEST_F(CopyOnDisk, ACopierKilledMidFileLeavesNoTargetAndTheNextCopyClearsItsLeftover) {
    TempTree tree;
    // Up to ten buffers a file goes in the chunks of the setting: 64 bytes for 0.
    const std::string big = Bytes(10000000, 'k');
    tree.File("src/big", big);
    tree.Folder("dst");
    TProcess copier;
    // The smallest chunks keep the copy going long enough to be caught in the middle.
    ASSERT_TRUE(copier.Start(
        {KS_BIN_DIR "/ksable-probe", "copy", "--buffer", "0", tree / "src/big", tree / "dst"}, {}, ""));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::string> partial;
    while (std::chrono::steady_clock::now() < deadline) {
        partial = PartialFiles(tree / "dst");
        if (!partial.empty() && StatOf(partial.front()).st_size > 0)
            break;
        std::this_thread::yield();
    }
    ASSERT_EQ(partial.size(), 1u);
    ::kill(copier.Pid(), SIGKILL);
    copier.WaitExit(10000);
    EXPECT_FALSE(fs::exists(tree / "dst/big")) << "a partial file never has the target's name";
    EXPECT_EQ(StatOf(partial.front()).st_mode & 0777, 0600u);

    const TJobOutcome again = Run({tree / "src/big"}, tree / "dst");
    EXPECT_TRUE(again.Codes.empty());
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/big"), big);
    EXPECT_TRUE(PartialFiles(tree / "dst").empty());
}

TEST_F(CopyOnDisk, APartialFileSomeoneStillWritesIsLeftAlone) {
    TempTree tree;
    tree.File("src/a", "a");
    const std::string held = tree.File("dst/.kS-a.part", "being written");
    const int fd = ::open(held.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the writer holds its lock";
    const TJobOutcome outcome = Run({tree / "src/a"}, tree / "dst");
    ::close(fd);
    EXPECT_TRUE(outcome.Codes.empty());
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/a"), "a");
    EXPECT_EQ(TempTree::ReadFile(held), "being written");
}

TEST_F(CopyOnDisk, FoldersSwappedForLinksMidMoveRedirectNoWriteAndNoDelete) {
    TempTree tree;
    for (const char* name : {"f1", "f2", "f3"}) {
        tree.File(std::string("src/sub/") + name, "moved");
        tree.File(std::string("outside/") + name, "victim");
    }
    tree.File("dst/sub/f2", "old");
    tree.Folder("outside2");
    TScriptCopyAsker asker({mrYes});
    // While the job asks about f2, both trees have their folder swapped for a link elsewhere.
    asker.OnAsk = [&](const TCopyQuestion&) {
        fs::rename(tree / "src/sub", tree / "src/real");
        fs::create_directory_symlink(tree / "outside", tree / "src/sub");
        fs::rename(tree / "dst/sub", tree / "dst/real");
        fs::create_directory_symlink(tree / "outside2", tree / "dst/sub");
    };
    TCopyEngine engine(FDisk, &asker);
    engine.NewJob(true, true, false);
    engine.AddEntry(tree / "src/sub", tree / "dst");
    engine.StartJob();
    ASSERT_TRUE(engine.WaitIdle(30000));
    EXPECT_EQ(asker.Codes(), std::vector<int>{qcAlreadyExists});
    for (const char* name : {"f1", "f2", "f3"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TempTree::ReadFile(tree / "outside/" + name), "victim");
        EXPECT_EQ(TempTree::ReadFile(tree / "dst/real/" + name), "moved");
        EXPECT_FALSE(fs::exists(tree / "src/real/" + name));
    }
    EXPECT_TRUE(fs::is_empty(tree / "outside2"));
}

// Real small disks in a mount namespace of the test's own: a full disk, and a move between two.
class CopyOnMounts : public CopyOnDisk {
protected:
    void SetUp() override {
        CopyOnDisk::SetUp();
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting memory disks needs root";
        ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        FTree = std::make_unique<TempTree>();
    }

    std::string Mount(const std::string& name, const char* size) {
        const std::string folder = FTree->Folder(name);
        EXPECT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", 0, size), 0);
        FMounted.push_back(folder);
        return folder;
    }

    void TearDown() override {
        for (const std::string& folder : FMounted)
            ::umount2(folder.c_str(), MNT_DETACH);
        FTree.reset();
        CopyOnDisk::TearDown();
    }

    // Removed once the disks inside are unmounted.
    std::unique_ptr<TempTree> FTree;
    std::vector<std::string> FMounted;
};

TEST_F(CopyOnMounts, AFullDiskEndsTheJobAndLeavesTheTargetFolderAsItWas) {
    TempTree& tree = *FTree;
    const std::string small = Mount("small", "size=16m");
    const std::string big = Bytes(24 * 1048576, 'f');
    tree.File("src/1-fits", "fits");
    tree.File("src/2-big", big);
    tree.File("src/3-after", "after");
    const TJobOutcome outcome =
        Run({tree / "src/1-fits", tree / "src/2-big", tree / "src/3-after"}, small, {mrOk});
    EXPECT_EQ(outcome.Codes, std::vector<int>{qcNoFreeSpace});
    EXPECT_EQ(outcome.LastCode, qcAborted);
    EXPECT_EQ(TempTree::ReadFile(small + "/1-fits"), "fits");
    EXPECT_FALSE(fs::exists(small + "/2-big"));
    EXPECT_FALSE(fs::exists(small + "/3-after"));
    EXPECT_TRUE(PartialFiles(small).empty());
    EXPECT_EQ(TempTree::ReadFile(tree / "src/2-big"), big);
}

TEST_F(CopyOnMounts, AFiveGibSparseFileFitsOnASmallDisk) {
    const std::string small = Mount("small", "size=16m");
    const std::string sparse = FTree->File("sparse");
    ASSERT_EQ(::truncate(sparse.c_str(), off_t{5} << 30), 0);
    {
        std::fstream file(sparse, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(off_t{3} << 30);
        file << "in the middle";
    }
    const TJobOutcome outcome = Run({sparse}, small);
    EXPECT_TRUE(outcome.Codes.empty());
    EXPECT_EQ(outcome.Done, std::uint64_t{5} << 30);
    const struct stat copy = StatOf(small + "/sparse");
    EXPECT_EQ(copy.st_size, off_t{5} << 30);
    std::ifstream file(small + "/sparse", std::ios::binary);
    file.seekg(off_t{3} << 30);
    std::string text(13, '\0');
    file.read(text.data(), 13);
    EXPECT_EQ(text, "in the middle");
}

TEST_F(CopyOnMounts, AMoveBetweenTwoDisksCopiesThenDeletes) {
    const std::string one = Mount("one", "size=64m");
    const std::string two = Mount("two", "size=64m");
    const std::string data = Bytes(5 * 1048576, 'm');
    std::ofstream(one + "/a") << data;
    fs::create_directories(one + "/tree/sub");
    std::ofstream(one + "/tree/sub/b") << "b";
    TJobOptions options;
    options.Move = true;
    const TJobOutcome outcome = Run({one + "/a", one + "/tree"}, two, {}, options);
    EXPECT_TRUE(outcome.Codes.empty());
    EXPECT_EQ(TempTree::ReadFile(two + "/a"), data);
    EXPECT_EQ(TempTree::ReadFile(two + "/tree/sub/b"), "b");
    EXPECT_FALSE(fs::exists(one + "/a"));
    EXPECT_FALSE(fs::exists(one + "/tree"));
    EXPECT_EQ(outcome.Done, data.size() + 1);
}

} // namespace ks::test
