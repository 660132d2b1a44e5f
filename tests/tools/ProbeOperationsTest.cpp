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

    test::TProbeRun run = test::RunProbe({"count", tree / "f"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out,
              R"({"Name":"f","Caption":"f","Folder":"","Info":"305 B","Kind":2,"Size":305,"Attr":16,)"
              R"("Marked":true})"
              "\n"
              R"({"Progress":"COUNTING... |2|3| = 305 B","Refresh":")" +
                  tree.Path() +
                  R"(","InfoList":"Count result: 2 folders and 3 files with size 305 B"})"
                  "\n");

    run = test::RunProbe({"find", tree.Path(), "*.txt", "--text", "abc", "--case"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Name":")" + tree.Path() +
                           R"(","Caption":"..","Folder":"","Info":"up-folder","Kind":1,"Size":0,"Attr":0,)"
                           R"("Marked":false})"
                           "\n"
                           R"({"Name":"g.txt","Caption":"g.txt","Folder":")" +
                           tree.Path() +
                           R"(","Info":"","Kind":3,"Size":3,"Attr":32,"Marked":false})"
                           "\n"
                           R"({"Progress":"","Refresh":"FINDRESULT"})"
                           "\n");

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
