// Every question of the copier and every answer to it, on the memory disk whose faults can be
// set on one call: after each the sources are intact, each target is complete or absent (or
// still the old file), no partial file is left, and the counters add up.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CopyTestSupport.h"
#include "support/MemoryFileSystem.h"

namespace ks::test {

namespace {

using TCall = MemoryFileSystem::TCall;

const std::string ContentA = "alpha alpha alpha";
const std::string ContentB = "beta";

struct TFaultCase {
    const char* Name;
    std::function<void(MemoryFileSystem&)> Setup;
    std::deque<int> Answers;
    std::vector<int> Codes;
    std::optional<std::string> TargetA; ///< what /t/a holds afterwards; none: absent
    std::optional<std::string> TargetB;
    bool Aborted = false;
};

std::vector<TFaultCase> FaultCases() {
    const auto fail = [](TCall call, int error) {
        return [call, error](MemoryFileSystem& disk) { disk.FailCall(call, 1, error); };
    };
    const auto oldTargets = [](bool a, bool b) {
        return [a, b](MemoryFileSystem& disk) {
            if (a)
                disk.AddFile("/t/a", 3, 32, "old");
            if (b)
                disk.AddFile("/t/b", 3, 32, "old");
        };
    };
    return {
        {"nothing in the way", {}, {}, {}, ContentA, ContentB},
        {"read error, No skips the file",
         fail(TCall::fcRead, EIO),
         {mrNo},
         {qcReadError},
         std::nullopt,
         ContentB},
        {"read error, Yes reads again", fail(TCall::fcRead, EIO), {mrYes}, {qcReadError}, ContentA, ContentB},
        {"read error, Abort ends the job",
         fail(TCall::fcRead, EIO),
         {mrAbort},
         {qcReadError},
         std::nullopt,
         std::nullopt,
         true},
        {"write error, No skips the file",
         fail(TCall::fcWrite, EIO),
         {mrNo},
         {qcWriteError},
         std::nullopt,
         ContentB},
        {"write error, Yes writes again",
         fail(TCall::fcWrite, EIO),
         {mrYes},
         {qcWriteError},
         ContentA,
         ContentB},
        {"write error, Abort ends the job",
         fail(TCall::fcWrite, EIO),
         {mrAbort},
         {qcWriteError},
         std::nullopt,
         std::nullopt,
         true},
        {"disk full, OK ends the job",
         [](MemoryFileSystem& disk) { disk.FSpaceLeft = 5; },
         {mrOk},
         {qcNoFreeSpace},
         std::nullopt,
         std::nullopt,
         true},
        {"the final rename fails, No skips",
         fail(TCall::fcRename, EIO),
         {mrNo},
         {qcCannotCreate},
         std::nullopt,
         ContentB},
        {"the final rename fails, Yes renames again",
         fail(TCall::fcRename, EIO),
         {mrYes},
         {qcCannotCreate},
         ContentA,
         ContentB},
        {"the final rename fails, Abort",
         fail(TCall::fcRename, EIO),
         {mrAbort},
         {qcCannotCreate},
         std::nullopt,
         std::nullopt,
         true},
        {"the source vanished, Yes goes on",
         [](MemoryFileSystem& disk) { disk.FVanished.insert("/s/a"); },
         {mrYes},
         {qcSourceMissing},
         std::nullopt,
         ContentB},
        {"the source vanished, Retry asks again",
         [](MemoryFileSystem& disk) { disk.FVanished.insert("/s/a"); },
         {mrRetry, mrYes},
         {qcSourceMissing, qcSourceMissing},
         std::nullopt,
         ContentB},
        {"the source vanished, Abort",
         [](MemoryFileSystem& disk) { disk.FVanished.insert("/s/a"); },
         {mrAbort},
         {qcSourceMissing},
         std::nullopt,
         std::nullopt,
         true},
        {"exists, No keeps the old file",
         oldTargets(true, false),
         {mrNo},
         {qcAlreadyExists},
         "old",
         ContentB},
        {"exists, Yes replaces it", oldTargets(true, false), {mrYes}, {qcAlreadyExists}, ContentA, ContentB},
        {"exists, Yes to all replaces the next without asking",
         oldTargets(true, true),
         {mrYesToAll},
         {qcAlreadyExists},
         ContentA,
         ContentB},
        {"exists, No to all keeps the next without asking",
         oldTargets(true, true),
         {mrNoToAll},
         {qcAlreadyExists},
         "old",
         "old"},
        {"exists, Abort", oldTargets(true, false), {mrAbort}, {qcAlreadyExists}, "old", std::nullopt, true},
        {"exists, the flush before the trade fails, No keeps the old file",
         [](MemoryFileSystem& disk) {
             disk.AddFile("/t/a", 3, 32, "old");
             disk.FailCall(TCall::fcSync, 1, EIO);
         },
         {mrYes, mrNo},
         {qcAlreadyExists, qcWriteError},
         "old",
         ContentB},
    };
}

bool HasPartialFiles(MemoryFileSystem& disk) {
    for (const auto& [path, node] : disk.FNodes)
        if (path.find("/.kS-") != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(CopyFaults, EveryQuestionAndAnswerLeavesCompleteOrAbsentFiles) {
    for (const TFaultCase& row : FaultCases()) {
        SCOPED_TRACE(row.Name);
        MemoryFileSystem disk;
        disk.FInKernelCopy = false;
        disk.AddFolder("/s");
        disk.AddFolder("/t");
        disk.AddFile("/s/a", ContentA.size(), 32, ContentA);
        disk.AddFile("/s/b", ContentB.size(), 32, ContentB);
        if (row.Setup)
            row.Setup(disk);
        const TJobOutcome outcome = RunCopyJob(disk, {"/s/a", "/s/b"}, "/t", row.Answers);

        EXPECT_EQ(outcome.Codes, row.Codes);
        EXPECT_EQ(disk.ContentOf("/s/a"), ContentA);
        EXPECT_EQ(disk.ContentOf("/s/b"), ContentB);
        for (const auto& [path, expected] :
             {std::pair{"/t/a", row.TargetA}, std::pair{"/t/b", row.TargetB}}) {
            SCOPED_TRACE(path);
            EXPECT_EQ(disk.Has(path), expected.has_value());
            if (expected) {
                EXPECT_EQ(disk.ContentOf(path), *expected);
            }
        }
        EXPECT_FALSE(HasPartialFiles(disk));
        EXPECT_EQ(outcome.LastCode == qcAborted, row.Aborted);
        const bool vanished = disk.FVanished.count("/s/a") != 0;
        EXPECT_EQ(outcome.Total, (vanished ? 0 : ContentA.size()) + ContentB.size());
        std::uint64_t done = 0;
        if (row.TargetA == ContentA)
            done += ContentA.size();
        if (row.TargetB == ContentB)
            done += ContentB.size();
        EXPECT_EQ(outcome.Done, done);
    }
}

TEST(CopyFaults, AMoveDeletesItsSourceOnlyOnceTheCopyIsInPlace) {
    // Copied and deleted, as across two disks, with the write failing once.
    MemoryFileSystem disk;
    disk.FInKernelCopy = false;
    disk.AddFolder("/s");
    disk.AddFolder("/t");
    disk.AddFile("/s/a", ContentA.size(), 32, ContentA);
    disk.FailCall(TCall::fcRename, 1, EXDEV); // the rename of the move: "another disk"
    disk.FailCall(TCall::fcWrite, 1, EIO);
    TJobOptions options;
    options.Move = true;
    TJobOutcome outcome = RunCopyJob(disk, {"/s/a"}, "/t", {mrNo}, options);
    EXPECT_EQ(outcome.Codes, std::vector<int>{qcWriteError});
    EXPECT_EQ(disk.ContentOf("/s/a"), ContentA);
    EXPECT_FALSE(disk.Has("/t/a"));

    disk.FailCall(TCall::fcRename, 1, EXDEV);
    outcome = RunCopyJob(disk, {"/s/a"}, "/t", {}, options);
    EXPECT_TRUE(outcome.Codes.empty());
    EXPECT_FALSE(disk.Has("/s/a"));
    EXPECT_EQ(disk.ContentOf("/t/a"), ContentA);
}

} // namespace ks::test
