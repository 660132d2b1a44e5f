// Runs the real ksable-probe count, find and delete on a temporary tree.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

TEST(ProbeOperationsTest, CountFindAndDelete) {
    TempTree tree;
    tree.File("f/a", std::string(100, 'a'));
    tree.File("f/b", std::string(200, 'b'));
    tree.File("f/sub/c.txt", "xABCx");
    tree.File("g.txt", "abc");

    // Item lines carry times that differ from run to run; their stable fields are checked.
    test::TProbeRun run = test::RunProbe({"count", tree / "f"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.starts_with(R"({"Name":"f","Caption":"f","Info":"305 B","Kind":2,"Size":305,)"))
        << run.Out;
    EXPECT_NE(run.Out.find(R"("Marked":true)"), std::string::npos);
    EXPECT_TRUE(run.Out.ends_with(R"({"Progress":"COUNTING... |2|3| = 305 B","Refresh":")" + tree.Path() +
                                  R"(","InfoList":"Count result: 2 folders and 3 files with size 305 B"})"
                                  "\n"))
        << run.Out;

    run = test::RunProbe({"find", tree.Path(), "*.txt", "--text", "abc", "--case"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.starts_with(R"({"Name":")" + tree.Path() + R"(","Caption":"..","Info":"up-folder",)"))
        << run.Out;
    EXPECT_NE(run.Out.find(R"({"Name":"g.txt","Caption":"g.txt","Info":"3 B","Kind":3,"Size":3,)"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find(R"("Folder":")" + tree.Path() + "\""), std::string::npos);
    EXPECT_EQ(run.Out.find("c.txt"), std::string::npos) << "the case rule keeps xABCx out";
    EXPECT_TRUE(run.Out.ends_with("{\"Progress\":\"\",\"Refresh\":\"FINDRESULT\"}\n")) << run.Out;

    run = test::RunProbe({"find", tree.Path(), "*.none"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out.find("\"Name\""), std::string::npos);

    run = test::RunProbe({"delete", "--direct", tree / "f", tree / "g.txt"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "{\"Progress\":\"DELETING... |2|4|\",\"Refresh\":\"" + tree.Path() + "\"}\n");
    EXPECT_EQ(TempTree::ReadFile(tree / "g.txt"), "");

    run = test::RunProbe({"count", tree / "missing"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(test::RunProbe({"count", "relative"}).ExitCode, 2);
}

} // namespace
} // namespace ks
