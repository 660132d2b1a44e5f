// Runs the real ksable-probe archive on archives zip makes, whole and damaged.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(ProbeArchive, ListsAFolderEveryEntryAndWhereADamagedArchiveStopped) {
    test::TempTree tree;
    tree.File("src/docs/a.txt", "aaa");
    tree.File("src/top.txt", "t");
    const std::string archive = tree.Path() + "/t.zip";
    ASSERT_EQ(test::Run({"sh", "-c", "cd \"$0\" && exec zip -qr \"$1\" .", tree.Path() + "/src", archive}, {})
                  .ExitCode,
              0);

    const test::TProbeRun root = test::RunProbe({"archive", archive});
    ASSERT_EQ(root.ExitCode, 0) << root.Out;
    const std::vector<std::string> rootLines = Lines(root.Out);
    ASSERT_EQ(rootLines.size(), 2u) << root.Out;
    for (const char* key : {"\"Name\":", "\"Caption\":", "\"Folder\":", "\"Kind\":", "\"Size\":",
                            "\"PackedSize\":", "\"Time\":", "\"DateText\":", "\"Attr\":", "\"HostOS\":",
                            "\"PackerVersion\":", "\"PackMethod\":", "\"CheckValue\":", "\"HeaderFlags\":"})
        EXPECT_NE(rootLines[0].find(key), std::string::npos) << key;

    const test::TProbeRun docs = test::RunProbe({"archive", archive, "docs"});
    ASSERT_EQ(Lines(docs.Out).size(), 1u) << docs.Out;
    EXPECT_NE(docs.Out.find("\"Name\":\"docs/a.txt\""), std::string::npos) << docs.Out;
    EXPECT_NE(docs.Out.find("\"Size\":3"), std::string::npos) << docs.Out;
    EXPECT_EQ(Lines(test::RunProbe({"archive", archive, "--all"}).Out).size(), 3u);

    // Cut short: still exit status 0, the damage named in the last line.
    std::filesystem::resize_file(archive, std::filesystem::file_size(archive) - 30);
    const test::TProbeRun damaged = test::RunProbe({"archive", archive, "--all"});
    EXPECT_EQ(damaged.ExitCode, 0);
    ASSERT_FALSE(Lines(damaged.Out).empty());
    EXPECT_EQ(Lines(damaged.Out).back().rfind("{\"error\":", 0), 0u) << damaged.Out;
}

} // namespace
} // namespace ks
