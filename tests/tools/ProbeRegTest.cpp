// Runs the real ksable-probe on a store in a temporary config folder.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Probe.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

// Runs the probe with its settings in the given config folder.
test::TProbeRun Probe(const std::string& configHome, const std::vector<std::string>& args) {
    return test::RunProbe(args, {"XDG_CONFIG_HOME=" + configHome});
}

TEST(ProbeRegTest, SetGetAndList) {
    TempTree tree;
    const std::string config = tree / "config";
    const std::string key = R"(Software\delta9\[sable!])";

    test::TProbeRun run = Probe(config, {"reg", "set", "HKEY_CURRENT_USER\\" + key + "\\m_history", "line0",
                                         "make -C \"my dir\"\nsecond line"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Key":"Software\\delta9\\[sable!]\\m_history","Name":"line0",)"
                       R"("Value":"make -C \"my dir\"\u000asecond line"})"
                       "\n");
    EXPECT_EQ(Probe(config, {"reg", "set", key, "SettingsSortBy", "2"}).ExitCode, 0);
    EXPECT_EQ(Probe(config, {"reg", "set", key, "FirstValue", "x"}).ExitCode, 0);
    EXPECT_EQ(Probe(config, {"reg", "set", key + "\\m_lpanel", "ppath", "/home"}).ExitCode, 0);

    run = Probe(config, {"reg", "get", R"(software\DELTA9\[sable!]\M_HISTORY)", "LINE0"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find(R"("Value":"make -C \"my dir\"\u000asecond line")"), std::string::npos) << run.Out;

    run = Probe(config, {"reg", "list", "HKEY_CURRENT_USER\\" + key});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Key":"Software\\delta9\\[sable!]","Name":"SettingsSortBy","Value":"2"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","Name":"FirstValue","Value":"x"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","SubKey":"m_history"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","SubKey":"m_lpanel"})"
                       "\n");
    // The store is the program's own file in the config folder.
    EXPECT_NE(TempTree::ReadFile(config + "/ksable/registry").find("\"SettingsSortBy\"=\"2\"\n"),
              std::string::npos);
}

TEST(ProbeRegTest, MissingValuesAndWrongUsage) {
    TempTree tree;
    const std::string config = tree / "config";
    test::TProbeRun run = Probe(config, {"reg", "get", "Software\\nothing", "value"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.starts_with("{\"error\":")) << run.Out;

    ASSERT_EQ(Probe(config, {"reg", "set", "Software\\k", "a", "1"}).ExitCode, 0);
    EXPECT_EQ(Probe(config, {"reg", "get", "Software\\k", "b"}).ExitCode, 1);
    EXPECT_EQ(Probe(config, {"reg", "list", "Software\\missing"}).ExitCode, 1);
    EXPECT_EQ(Probe(config, {"reg", "get", "Software\\k"}).ExitCode, 2);
    EXPECT_EQ(Probe(config, {"reg", "remove", "Software\\k", "a"}).ExitCode, 2);
}

} // namespace
} // namespace ks
