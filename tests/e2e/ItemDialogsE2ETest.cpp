// The item dialogs and the find dialog in the real program on a virtual X display.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "support/TempTree.h"

namespace ks::e2e {
namespace {

const std::string ProgramKey = "Software\\delta9\\[sable!]";

std::vector<std::string> NamesOf(const QJsonObject& state) {
    return Strings(state.value("LEFTPANEL").toObject().value("Names"));
}

// xdotool key names that type text.
std::vector<std::string> KeysOf(const std::string& text) {
    std::vector<std::string> keys;
    for (const char c : text)
        keys.push_back(c == ' '   ? "space"
                       : c == '.' ? "period"
                       : c == '*' ? "asterisk"
                       : c == ';' ? "semicolon"
                                  : std::string(1, c));
    return keys;
}

class ItemDialogsE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";
        FHome = FTree.Folder("home");
    }
    void TearDown() override {
        FKsable.reset();
        if (!FMount.empty())
            ::umount2(FMount.c_str(), MNT_DETACH);
    }

    void Start(const std::string& left) {
        FKsable = std::make_unique<TKsable>(*FServer, FHome);
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_settings", "musermode", "4");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", left + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", left + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
        ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    }

    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate,
                                        int ms = 15000) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate, ms))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    test::TempTree FTree;
    std::string FHome, FMount;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(ItemDialogsE2ETest, FindFromTheRootOfASmallFileSystemListsTheMatches) {
    FMount = FTree.Folder("disk");
    ASSERT_EQ(::mount("ks-e2e", FMount.c_str(), "tmpfs", 0, "size=4m"), 0)
        << "mounting a tmpfs needs root, as the tests run in CI: " << std::strerror(errno);
    std::filesystem::create_directories(FMount + "/work/sub");
    std::filesystem::create_directories(FMount + "/other");
    std::ofstream(FMount + "/other/plan.txt") << "TODO: plan";
    std::ofstream(FMount + "/work/sub/notes.txt") << "nothing to do";
    std::ofstream(FMount + "/work/sub/list.txt") << "a TODO here";
    std::ofstream(FMount + "/work/todo.md") << "TODO";
    Start(FMount + "/work/sub");
    ASSERT_TRUE(KeysThen({"alt+F7"}, "the find dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "FindFilesForm";
    }));
    std::vector<std::string> keys = KeysOf("*.txt");
    keys.push_back("Tab");
    for (const std::string& key : KeysOf("TODO"))
        keys.push_back(key);
    keys.push_back("alt+o"); // R&oot folder
    FKsable->Keys(keys);
    FKsable->Shot("find-files", true);
    ASSERT_TRUE(KeysThen({"alt+r"}, "the find results", [](const QJsonObject& s) {
        const std::vector<std::string> names = NamesOf(s);
        return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 2 &&
               std::find(names.begin(), names.end(), "plan.txt") != names.end() &&
               std::find(names.begin(), names.end(), "list.txt") != names.end();
    }));
    const std::vector<std::string> names = NamesOf(FKsable->State());
    EXPECT_EQ(std::count(names.begin(), names.end(), "notes.txt"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "todo.md"), 0);
    FKsable->Shot("find-results");
}

} // namespace
} // namespace ks::e2e
