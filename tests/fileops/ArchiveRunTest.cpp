// One run of an archive manager on the real system: its private list file, how it ended, its
// cancel, and the extraction stage that never reaches outside itself.

#include "fileops/ArchiveRun.h"

#include "foundation/System.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace ks::test {
namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// The real system with the temporary folder a test chooses.
class TTestSystem : public TKLinuxSystem {
public:
    std::string FTempDir;
    std::string TempDir() const override { return FTempDir; }
};

class ArchiveRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSystem.FTempDir = FTree.Folder("tmp") + "/";
        SetPlatform(&FSystem, &FDisk);
    }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    static TManagerCommand Script(const std::string& script, std::vector<std::string> arguments = {}) {
        TManagerCommand command;
        command.Argv = {"/bin/sh", "-c", script};
        command.Argv.insert(command.Argv.end(), arguments.begin(), arguments.end());
        return command;
    }

    // Polls until the run ends, at most 20 seconds.
    static std::optional<TArchiveRunOutcome> WaitEnd(TArchiveRun& run) {
        const auto deadline = TClock::now() + std::chrono::seconds(20);
        std::optional<TArchiveRunOutcome> outcome;
        while (!outcome && TClock::now() < deadline)
            outcome = run.Poll(100);
        return outcome;
    }

    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }

    TempTree FTree;
    TTestSystem FSystem;
    TKLinuxFileSystem FDisk;
};

TEST_F(ArchiveRunTest, ListFileIsPrivateWhileTheManagerRunsAndGoesAfterwards) {
    const std::string names = "a.txt\nsub dir/b c.txt\n";
    struct Case {
        const char* What;
        bool OnStdin;
    };
    for (const Case& c : {Case{"list named as an argument", false}, Case{"list on standard input", true}}) {
        SCOPED_TRACE(c.What);
        const std::string listFile = ArchiveListFileName("kSExtA");
        ASSERT_EQ(listFile.rfind(FSystem.FTempDir + "kSExtA-", 0), 0u) << listFile;
        TManagerCommand command = c.OnStdin ? Script("stat -L -c %a /dev/stdin; cat")
                                            : Script("stat -c %a \"$0\"; cat \"$0\"", {listFile});
        command.ListText = names;
        command.ListOnStdin = c.OnStdin;
        {
            TArchiveRun run("sh", command, listFile, FTree.Path());
            ASSERT_TRUE(run.Start());
            const std::optional<TArchiveRunOutcome> outcome = WaitEnd(run);
            ASSERT_TRUE(outcome);
            EXPECT_EQ(outcome->State, TArchiveRunOutcome::rsDone);
            EXPECT_EQ(outcome->OutputTail, "600\n" + names);
            EXPECT_TRUE(fs::exists(listFile));
        }
        EXPECT_FALSE(fs::exists(listFile));
    }
    // Nothing else was left in the temporary folder (no half-written list under another name).
    EXPECT_TRUE(fs::is_empty(FSystem.FTempDir));
}

TEST_F(ArchiveRunTest, ListNamesDifferWithinTheProcess) {
    const std::string first = ArchiveListFileName("kSAddA");
    const std::string second = ArchiveListFileName("kSAddA");
    EXPECT_NE(first, second);
    EXPECT_NE(first.find("-" + std::to_string(::getpid()) + "-"), std::string::npos) << first;
    FSystem.FTempDir.clear();
    EXPECT_EQ(ArchiveListFileName("kSAddA"), "");
}

TEST_F(ArchiveRunTest, ExitStatusDecidesTheOutcome) {
    struct Case {
        const char* Script;
        TArchiveRunOutcome::TState State;
        int Status;
        const char* Output;
    };
    const std::vector<Case> cases = {
        {"echo Everything is Ok", TArchiveRunOutcome::rsDone, 0, "Everything is Ok\n"},
        {"echo 'cannot open the archive' >&2; exit 2", TArchiveRunOutcome::rsFailed, 2,
         "cannot open the archive\n"},
        {"kill -TERM $$", TArchiveRunOutcome::rsFailed, 128 + SIGTERM, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Script);
        TArchiveRun run("sh", Script(c.Script), {}, FTree.Path());
        ASSERT_TRUE(run.Start());
        const std::optional<TArchiveRunOutcome> outcome = WaitEnd(run);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->State, c.State);
        EXPECT_EQ(outcome->ExitStatus, c.Status);
        EXPECT_EQ(outcome->OutputTail, c.Output);
    }
}

TEST_F(ArchiveRunTest, CancelStopsTheManager) {
    TArchiveRun run("sh", Script("exec sleep 60"), {}, FTree.Path());
    ASSERT_TRUE(run.Start());
    EXPECT_FALSE(run.Poll(0));
    run.Cancel();
    const std::optional<TArchiveRunOutcome> outcome = WaitEnd(run);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->State, TArchiveRunOutcome::rsCancelled);
}

TEST_F(ArchiveRunTest, DestroyingARunningRunStopsTheManagerAndRemovesItsList) {
    const std::string pidFile = FTree / "pid";
    const std::string listFile = ArchiveListFileName("kSDelA");
    TManagerCommand command =
        Script("echo $$ > \"$0\".part && mv \"$0\".part \"$0\"; exec sleep 60", {pidFile});
    command.ListText = "x\n";
    auto run = std::make_unique<TArchiveRun>("sh", command, listFile, FTree.Path());
    ASSERT_TRUE(run->Start());
    const auto deadline = TClock::now() + std::chrono::seconds(20);
    while (!fs::exists(pidFile) && TClock::now() < deadline)
        EXPECT_FALSE(run->Poll(20));
    std::string pid = TempTree::ReadFile(pidFile);
    ASSERT_FALSE(pid.empty());
    pid.pop_back();
    run.reset();
    EXPECT_FALSE(fs::exists("/proc/" + pid));
    EXPECT_FALSE(fs::exists(listFile));
}

TEST_F(ArchiveRunTest, StartFailsCleanly) {
    const std::string marker = FTree / "started";
    struct Case {
        const char* What;
        std::string TempDir;
        std::vector<std::string> Argv;
    };
    const std::vector<Case> cases = {
        {"temporary folder missing", FTree / "missing/", {"/bin/sh", "-c", "touch \"$0\"", marker}},
        {"no temporary folder", "", {"/bin/sh", "-c", "touch \"$0\"", marker}},
        {"program missing", FSystem.FTempDir, {FTree / "no-such-manager"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        FSystem.FTempDir = c.TempDir;
        TManagerCommand command;
        command.Argv = c.Argv;
        command.ListText = "a.txt\n";
        const std::string listFile = ArchiveListFileName("kSAddNA");
        TArchiveRun run("sh", command, listFile, FTree.Path());
        EXPECT_FALSE(run.Start());
        EXPECT_FALSE(run.Poll(0));
        EXPECT_FALSE(fs::exists(marker));
        EXPECT_TRUE(listFile.empty() || !fs::exists(listFile));
    }
    EXPECT_TRUE(fs::is_empty(FTree / "tmp"));
}

TEST_F(ArchiveRunTest, StageIsAPrivateHiddenFolderInTheTarget) {
    const std::string target = FTree.Folder("target");
    FTree.File("target/kept.txt", "mine");
    Result<std::unique_ptr<TExtractStage>> made = TExtractStage::Make(FDisk, target + "/");
    ASSERT_TRUE(made);
    TExtractStage& stage = **made;
    const std::string path = stage.Path();
    ASSERT_EQ(path.back(), '/');
    const fs::path folder = fs::path(path).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(target));
    EXPECT_EQ(folder.filename().string().rfind(".ksable-extract-", 0), 0u) << path;
    EXPECT_EQ(ModeOf(path), S_IFDIR | 0700);
    // A second stage in the same target gets a name of its own.
    Result<std::unique_ptr<TExtractStage>> second = TExtractStage::Make(FDisk, target);
    ASSERT_TRUE(second);
    EXPECT_NE((*second)->Path(), path);

    FTree.File("target/" + folder.filename().string() + "/b.txt", "x");
    FTree.Folder("target/" + folder.filename().string() + "/a");
    Result<std::vector<std::string>> names = stage.TopNames();
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"a", "b.txt"}));

    second->reset();
    made->reset();
    EXPECT_EQ(fs::directory_iterator(target)->path().filename(), "kept.txt");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
}

TEST_F(ArchiveRunTest, StageRemovalNeverFollowsALink) {
    const std::string outside = FTree.Folder("outside");
    FTree.File("outside/precious.txt", "keep");
    const std::string target = FTree.Folder("target");
    Result<std::unique_ptr<TExtractStage>> made = TExtractStage::Make(FDisk, target);
    ASSERT_TRUE(made);
    const std::string path = (*made)->Path();
    // What a hostile archive could leave: links to a folder outside, at the top and deep down,
    // and folders without write or search permission.
    ASSERT_EQ(::symlink(outside.c_str(), (path + "link").c_str()), 0);
    fs::create_directories(path + "deep/er");
    ASSERT_EQ(::symlink(outside.c_str(), (path + "deep/er/link").c_str()), 0);
    std::ofstream(path + "deep/er/file.txt") << "x";
    ASSERT_EQ(::chmod((path + "deep/er").c_str(), 0500), 0);
    ASSERT_EQ(::chmod((path + "deep").c_str(), 0), 0);

    ASSERT_TRUE((*made)->Remove());
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(TempTree::ReadFile(outside + "/precious.txt"), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    // Removing again, and the destructor after it, find nothing to do.
    EXPECT_TRUE((*made)->Remove());
}

TEST_F(ArchiveRunTest, StageNeedsATargetThatCanHoldIt) {
    const std::string readOnly = FTree.Folder("read-only");
    ::chmod(readOnly.c_str(), 0500);
    for (const std::string& target : {FTree / "missing", FTree.File("a-file"), readOnly}) {
        SCOPED_TRACE(target);
        if (target == readOnly && ::geteuid() == 0)
            continue; // root writes anywhere
        EXPECT_FALSE(TExtractStage::Make(FDisk, target));
    }
    ::chmod(readOnly.c_str(), 0700);
}

} // namespace
} // namespace ks::test
