// Runs the real ksable-probe on language packs in a temp folder.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

TEST(ProbeLangTest, DecodesThePackAndFallsBackToEnglish) {
    TempTree tree;
    // "Pevný disk" and "Štart" in CP1250 bytes.
    tree.File("slovak/F_others.dat", "codePage|238\r\nSTR_FIXED|Pevn\xFD disk\r\nnfo_Welcome|\x8Atart\r\n");
    struct Case {
        std::string Id;
        std::string Line;
    };
    const Case cases[] = {
        {"STR_FIXED", R"({"Id":"STR_FIXED","Text":"Pevný disk","CodePage":1250})"},
        {"nfo_welcome", R"({"Id":"nfo_welcome","Text":"Štart","CodePage":1250})"},
        // Missing from the pack: the shipped English pack answers.
        {"STR_CDROM", R"({"Id":"STR_CDROM","Text":"CD-ROM drive","CodePage":1250})"},
        {"no_such_id", R"({"Id":"no_such_id","Text":"","CodePage":1250})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        const test::TProbeRun run = test::RunProbe({"lang", tree / "slovak", c.Id});
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Out, c.Line + "\n");
    }
}

TEST(ProbeLangTest, Utf8PackAndErrors) {
    TempTree tree;
    tree.File("czech/F_others.dat", "\xEF\xBB\xBF"
                                    "STR_FIXED|Pevn\xC3\xBD disk\n");
    test::TProbeRun run = test::RunProbe({"lang", tree / "czech/", "STR_FIXED"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Id":"STR_FIXED","Text":"Pevný disk","CodePage":65001})"
                       "\n");

    run = test::RunProbe({"lang", tree / "missing", "STR_FIXED"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Out.find("\"error\""), std::string::npos);
    EXPECT_EQ(test::RunProbe({"lang", tree / "czech"}).ExitCode, 2);
}

} // namespace
} // namespace ks
