// Watched programs on the real system: exit statuses, the kept output, input and folder, stopping
// a program that will not stop, and no process or fd left behind.

#include "platform/LinuxSystem.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace ks {
namespace {

using test::TempTree;
using TClock = std::chrono::steady_clock;

std::unique_ptr<TKChildProcess> StartScript(const std::string& script, const std::string& folder = {},
                                            const std::string& input = {}) {
    TKLinuxSystem system;
    Result<std::unique_ptr<TKChildProcess>> child =
        system.StartChild({{"/bin/sh", "-c", script}, folder, input});
    EXPECT_TRUE(child) << (child ? std::string() : child.error().Detail);
    return child ? std::move(*child) : nullptr;
}

// Waits for the end, at most 20 seconds.
std::optional<int> WaitEnd(TKChildProcess& child) {
    const auto deadline = TClock::now() + std::chrono::seconds(20);
    std::optional<int> status;
    while (!status && TClock::now() < deadline)
        status = child.Wait(100);
    return status;
}

// Waits until the program wrote a whole first line; that line.
std::string FirstLine(TKChildProcess& child) {
    const auto deadline = TClock::now() + std::chrono::seconds(20);
    while (TClock::now() < deadline) {
        child.Wait(20);
        const std::string tail = child.OutputTail();
        if (const std::size_t end = tail.find('\n'); end != std::string::npos)
            return tail.substr(0, end);
    }
    return {};
}

// True when the process is gone or is a zombie that is not ours to reap (a grandchild left to
// the reaper of this system).
bool Ended(const std::string& pid) {
    const std::string stat = test::TempTree::ReadFile("/proc/" + pid + "/stat");
    if (stat.empty())
        return true;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

bool WaitEnded(const std::string& pid) {
    const auto deadline = TClock::now() + std::chrono::seconds(20);
    while (!Ended(pid)) {
        if (TClock::now() > deadline)
            return false;
        // Nothing to wait on for a process that is not ours: poll /proc.
        ::usleep(2000);
    }
    return true;
}

std::size_t OpenFds() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

TEST(LinuxChildTest, ExitStatusOfAnEndAndOfASignal) {
    struct Case {
        const char* Script;
        int Status;
    };
    const std::vector<Case> cases = {
        {"exit 0", 0},
        {"echo failed >&2; exit 3", 3},
        {"kill -TERM $$", 128 + SIGTERM},
        {"kill -KILL $$", 128 + SIGKILL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Script);
        std::unique_ptr<TKChildProcess> child = StartScript(c.Script);
        ASSERT_TRUE(child);
        EXPECT_EQ(WaitEnd(*child), c.Status);
        // Once ended it stays ended, also for a look without waiting.
        EXPECT_EQ(child->Wait(0), c.Status);
    }
}

TEST(LinuxChildTest, KeepsTheLastLinesOfOutputAndError) {
    // About 200 KiB, far more than a pipe holds: the program would block if nobody read.
    std::unique_ptr<TKChildProcess> child =
        StartScript("i=0; while [ $i -lt 20000 ]; do echo \"line $i\"; i=$((i+1)); done; echo last >&2");
    ASSERT_TRUE(child);
    EXPECT_EQ(WaitEnd(*child), 0);
    const std::string tail = child->OutputTail();
    EXPECT_LE(tail.size(), 16u * 1024);
    EXPECT_GT(tail.size(), 15u * 1024);
    EXPECT_EQ(tail.rfind("line ", 0), 0u) << tail.substr(0, 20);
    EXPECT_EQ(tail.substr(tail.size() - 16), "line 19999\nlast\n");
}

TEST(LinuxChildTest, ReadsItsInputFileAndRunsInItsFolder) {
    TempTree tree;
    const std::string input = tree.File("in.txt", "first\nsecond\n");
    const std::string folder = tree.Folder("work dir");
    struct Case {
        const char* What;
        std::string Folder;
        std::string Input;
        std::string Output;
    };
    const std::vector<Case> cases = {
        {"input file and folder", folder + "/", input, RealPath(folder) + "\nfirst\nsecond\n"},
        {"no input: /dev/null", folder, "", RealPath(folder) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::unique_ptr<TKChildProcess> child = StartScript("pwd -P; cat", c.Folder, c.Input);
        ASSERT_TRUE(child);
        EXPECT_EQ(WaitEnd(*child), 0);
        EXPECT_EQ(child->OutputTail(), c.Output);
    }
}

TEST(LinuxChildTest, StopEscalatesToKillForAGroupThatIgnoresTerm) {
    // The shell and the program it started both ignore SIGTERM.
    std::unique_ptr<TKChildProcess> child = StartScript("trap '' TERM; sleep 60 & echo $!; wait; wait");
    ASSERT_TRUE(child);
    const std::string grandchild = FirstLine(*child);
    ASSERT_FALSE(grandchild.empty());
    const auto asked = TClock::now();
    child->Stop();
    EXPECT_LT(TClock::now() - asked, std::chrono::milliseconds(500)) << "Stop blocked";
    EXPECT_EQ(child->Wait(0), std::nullopt);
    EXPECT_EQ(WaitEnd(*child), 128 + SIGKILL);
    EXPECT_GE(TClock::now() - asked, std::chrono::milliseconds(1500)) << "killed before the grace time";
    EXPECT_TRUE(WaitEnded(grandchild));
}

TEST(LinuxChildTest, StopEndsTheWholeGroup) {
    std::unique_ptr<TKChildProcess> child = StartScript("sleep 60 & echo $!; wait");
    ASSERT_TRUE(child);
    const std::string grandchild = FirstLine(*child);
    ASSERT_FALSE(grandchild.empty());
    child->Stop();
    EXPECT_EQ(WaitEnd(*child), 128 + SIGTERM);
    EXPECT_TRUE(WaitEnded(grandchild));
}

TEST(LinuxChildTest, DestroyingARunningChildReapsItAndLeavesNoFd) {
    const std::size_t fdsBefore = OpenFds();
    struct Case {
        const char* What;
        const char* Script;
        bool Stop; // Stop called just before, its grace time not over
    };
    const std::vector<Case> cases = {
        {"ends on SIGTERM", "echo $$; exec sleep 60", false},
        {"ignores SIGTERM", "trap '' TERM; echo $$; while :; do sleep 1; done", false},
        {"stopped and ignoring SIGTERM", "trap '' TERM; echo $$; while :; do sleep 1; done", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::unique_ptr<TKChildProcess> child = StartScript(c.Script);
        ASSERT_TRUE(child);
        const std::string pid = FirstLine(*child);
        ASSERT_FALSE(pid.empty());
        if (c.Stop)
            child->Stop();
        const auto destroyed = TClock::now();
        child.reset();
        EXPECT_LT(TClock::now() - destroyed, std::chrono::seconds(1));
        // Reaped by the destructor itself: no zombie is left, so /proc has nothing of it.
        struct stat st {};
        EXPECT_NE(::stat(("/proc/" + pid).c_str(), &st), 0);
    }
    EXPECT_EQ(OpenFds(), fdsBefore);
}

TEST(LinuxChildTest, FailsToStartWhatCannotRun) {
    TempTree tree;
    const std::string plain = tree.File("plain.sh", "#!/bin/sh\nexit 0\n");
    ::chmod(plain.c_str(), 0644);
    struct Case {
        const char* What;
        TChildSpec Spec;
    };
    const std::vector<Case> cases = {
        {"no program", {{}, {}, {}}},
        {"missing full path", {{tree / "missing"}, {}, {}}},
        {"bare name not on PATH", {{"ksable-no-such-program"}, {}, {}}},
        // A bare name is looked for on PATH only, never in the working folder.
        {"bare name in the folder only", {{"plain.sh"}, tree.Path(), {}}},
        {"not executable", {{plain}, {}, {}}},
        {"a folder", {{tree.Path()}, {}, {}}},
        {"missing input file", {{"/bin/sh", "-c", "exit 0"}, {}, tree / "no-input"}},
        {"missing folder", {{"/bin/sh", "-c", "exit 0"}, tree / "no-folder", {}}},
    };
    TKLinuxSystem system;
    const std::size_t fdsBefore = OpenFds();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_FALSE(system.StartChild(c.Spec));
    }
    EXPECT_EQ(OpenFds(), fdsBefore);
}

TEST(LinuxChildTest, RelativeProgramIsFoundInsideItsFolder) {
    TempTree tree;
    const std::string script = tree.File("bin/run.sh", "#!/bin/sh\necho ran\n");
    ::chmod(script.c_str(), 0755);
    TKLinuxSystem system;
    Result<std::unique_ptr<TKChildProcess>> child = system.StartChild({{"bin/run.sh"}, tree.Path(), {}});
    ASSERT_TRUE(child);
    EXPECT_EQ(WaitEnd(**child), 0);
    EXPECT_EQ((*child)->OutputTail(), "ran\n");
}

} // namespace
} // namespace ks
