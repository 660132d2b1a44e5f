// Runs the real ksable-probe list and drives on temp folders.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The value of a key in one JSON line, as written (strings with their quotes).
std::string Field(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = line.find(marker);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + marker.size();
    std::size_t end = start;
    if (line[start] == '"') {
        end = line.find('"', start + 1) + 1;
    } else {
        while (end < line.size() && line[end] != ',' && line[end] != '}')
            ++end;
    }
    return line.substr(start, end - start);
}

std::vector<std::string> Names(const std::string& out) {
    std::vector<std::string> names;
    for (const std::string& line : Lines(out))
        names.push_back(Field(line, "Name"));
    return names;
}

// The probe with its settings in a config folder of its own, so the user's settings never
// change what a test sees.
class ProbePanelTest : public ::testing::Test {
protected:
    test::TProbeRun Probe(const std::vector<std::string>& args) const {
        return test::RunProbe(args, {"XDG_CONFIG_HOME=" + FConfig.Path()});
    }
    // Stores a value of the program key as the settings dialog would.
    void Store(const std::string& name, const std::string& value) const {
        ASSERT_EQ(Probe({"reg", "set", R"(Software\delta9\[sable!])", name, value}).ExitCode, 0);
    }

    TempTree FConfig;
};

TEST_F(ProbePanelTest, ListsAsThePanelHoldsIt) {
    Store("SettingsShowHidden", "0");
    TempTree tree;
    tree.File("b.txt", "123456789");
    tree.File("a.zip", "1234567890");
    tree.File("c", "12345678901");
    tree.File(".dot");
    tree.Folder("sub");
    test::TProbeRun run = Probe({"list", tree.Path()});
    ASSERT_EQ(run.ExitCode, 0) << run.Out;
    EXPECT_EQ(Names(run.Out),
              (std::vector<std::string>{"\"..\"", "\"sub\"", "\"a.zip\"", "\"b.txt\"", "\"c\""}));
    const std::vector<std::string> lines = Lines(run.Out);
    EXPECT_EQ(Field(lines[0], "Kind"), "1");
    EXPECT_EQ(Field(lines[0], "Info"), "\"up-folder\"");
    EXPECT_EQ(Field(lines[2], "IsPacked"), "true");
    EXPECT_EQ(Field(lines[2], "Size"), "10");
    EXPECT_EQ(Field(lines[2], "Attr"), "32");
    EXPECT_EQ(Field(lines[3], "Info"), "\"9 B\"");
    EXPECT_EQ(Field(lines[3], "Marked"), "false");
    EXPECT_EQ(Field(lines[3], "DateText").size(), 18u);

    run = Probe({"list", tree.Path(), "--sort", "size", "--no-folders-first", "--hidden"});
    ASSERT_EQ(run.ExitCode, 0);
    EXPECT_EQ(Names(run.Out),
              (std::vector<std::string>{"\"..\"", "\".dot\"", "\"sub\"", "\"b.txt\"", "\"a.zip\"", "\"c\""}));
    run = Probe({"list", tree.Path(), "--sort", "ext"});
    EXPECT_EQ(Names(run.Out),
              (std::vector<std::string>{"\"..\"", "\"sub\"", "\"c\"", "\"b.txt\"", "\"a.zip\""}));

    run = Probe({"list", tree / "missing"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Out.find("\"error\""), std::string::npos);
    EXPECT_EQ(Probe({"list", tree.Path(), "--sort", "date"}).ExitCode, 2);
    EXPECT_EQ(Probe({"list"}).ExitCode, 2);
}

TEST_F(ProbePanelTest, DrivesStartWithRootAndEndWithThePseudoEntries) {
    const test::TProbeRun run = Probe({"drives"});
    ASSERT_EQ(run.ExitCode, 0);
    const std::vector<std::string> lines = Lines(run.Out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(Field(lines[0], "Name"), "\"/\"");
    EXPECT_EQ(Field(lines[0], "Kind"), "0");
    EXPECT_EQ(Field(lines.back(), "Name"), "\"<BROWSENET>\"");
    EXPECT_EQ(Field(lines[lines.size() - 3], "Caption"), "\"Type...\"");
}

TEST_F(ProbePanelTest, ListAndDrivesTakeThePanelOptionsOfTheSettings) {
    TempTree tree;
    tree.File("big.bin", std::string(60000, 'x'));
    tree.File(".hidden");
    struct TCase {
        const char* Stored; // nullptr: nothing stored
        const char* SizeText;
        bool Hidden;
        bool DrivesCounted;
    };
    // Nothing stored shows what the window shows then: units, hidden files, counted drives.
    const TCase cases[] = {
        {nullptr, "\"58 kB\"", true, true},
        {"1", "\"58 kB\"", true, true},
        {"0", "\"60 000 B\"", false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Stored != nullptr ? c.Stored : "nothing stored");
        if (c.Stored != nullptr) {
            for (const char* name :
                 {"SettingsShowSizeInMB", "SettingsShowHidden", "SettingsShowDriveSizeAtOnce"})
                Store(name, c.Stored);
        }
        test::TProbeRun run = Probe({"list", tree.Path()});
        ASSERT_EQ(run.ExitCode, 0) << run.Out;
        const std::vector<std::string> names = Names(run.Out);
        EXPECT_EQ(std::find(names.begin(), names.end(), "\".hidden\"") != names.end(), c.Hidden);
        const std::vector<std::string> lines = Lines(run.Out);
        ASSERT_EQ(Field(lines.back(), "Name"), "\"big.bin\"");
        EXPECT_EQ(Field(lines.back(), "SizeText"), c.SizeText);

        run = Probe({"drives"});
        ASSERT_EQ(run.ExitCode, 0);
        for (const std::string& line : Lines(run.Out)) {
            // A counted hard disk shows its size; an uncounted one its type.
            if (Field(line, "Attr") == "3") {
                SCOPED_TRACE(line);
                EXPECT_EQ(Field(line, "Size") != "0", c.DrivesCounted);
            }
        }
    }
}

// Locating the archive managers again, as every start does, keeps what the user made.
TEST_F(ProbePanelTest, LocatingArchiveManagersKeepsTheUsersOwnEntries) {
    const std::string key = R"(Software\delta9\[sable!]\m_archivelist)";
    ASSERT_EQ(Probe({"reg", "set", key, "linescount", "0"}).ExitCode, 0);
    ASSERT_EQ(Probe({"reg", "set", key, "line0", "ZIP|mine|/opt/z a|/opt/z d|/opt/z x|"}).ExitCode, 0);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const test::TProbeRun located = Probe({"archivers", "--locate", "--save"});
        ASSERT_EQ(located.ExitCode, 0) << located.Out;
        const std::vector<std::string> lines = Lines(located.Out);
        ASSERT_GE(lines.size(), 2u);
        // The user's entry comes last, so it is the one that serves ZIP files.
        EXPECT_EQ(Field(lines.back(), "Description"), "\"mine\"");
        EXPECT_EQ(Field(lines.back(), "Located"), "false");
        const std::size_t zips = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return Field(line, "Masks").find("ZIP") != std::string::npos;
        });
        // The user's entry stays, the located one comes once, however often it is located.
        EXPECT_EQ(zips, 2u);
    }
}

} // namespace
} // namespace ks
