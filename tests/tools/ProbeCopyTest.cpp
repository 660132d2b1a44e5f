// Runs the real ksable-probe copy: the lines it prints for questions and counters, the scripted
// answers, the rename mask of the target path and cancelling after some bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

TEST(ProbeCopyTest, QuestionsAnswersCountersAndCancel) {
    TempTree tree;
    tree.File("src/a.txt", "aaaa");
    tree.File("src/b.txt", "bb");
    tree.File("dst/a.txt", "old");

    test::TProbeRun run =
        test::RunProbe({"copy", "--answers", "no", tree / "src/a.txt", tree / "src/b.txt", tree / "dst"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"QuestionCode":4,"Text":"The file 'a.txt' already exists! Overwrite?","Answer":7})"
                       "\n"
                       R"({"FTotalSize":6,"FDoneSize":2,"FCancelled":false,"FLastCode":4,"FTargetPath":")" +
                           tree.Path() +
                           R"(/dst/","FMask":"*.*","Marked":0})"
                           "\n");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/a.txt"), "old");
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/b.txt"), "bb");

    // A mask renames; with no answer left a question gets Escape's answer (No here).
    run = test::RunProbe({"copy", "--move", tree / "src/a.txt", tree / "dst/*.bak"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find(R"("FMask":"*.bak")"), std::string::npos) << run.Out;
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/a.bak"), "aaaa");
    EXPECT_EQ(TempTree::ReadFile(tree / "src/a.txt"), "");

    tree.File("src/big", std::string(3 << 20, 'z'));
    run = test::RunProbe({"copy", "--buffer", "4", "--cancel-after", "1", tree / "src/big", tree / "dst"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find(R"("FCancelled":true)"), std::string::npos) << run.Out;
    EXPECT_EQ(TempTree::ReadFile(tree / "dst/big"), "");

    EXPECT_EQ(test::RunProbe({"copy", "--answers", "maybe", tree / "src/b.txt", tree / "dst"}).ExitCode, 2);
}

} // namespace
} // namespace ks
