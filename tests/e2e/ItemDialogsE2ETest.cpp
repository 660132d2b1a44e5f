// The item dialogs and the find dialog in the real program on a virtual X display.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
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

    void Start(const std::string& left, const std::string& right = {},
               const std::vector<std::string>& env = {}) {
        FKsable = std::make_unique<TKsable>(*FServer, FHome);
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_settings", "musermode", "4");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", left + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", (right.empty() ? left : right) + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
        ASSERT_TRUE(FKsable->Start(env)) << FKsable->Failure();
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
    // A mnemonic clicks its button after a short animation.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
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

TEST_F(ItemDialogsE2ETest, CreateNewSelectByMaskAndCompareFromTheKeyboard) {
    const std::string left = FTree.Folder("left");
    const std::string right = FTree.Folder("right");
    FTree.File("left/main.c", "int main;");
    FTree.File("left/util.c", "int util;");
    FTree.File("left/notes.txt", "12345");
    FTree.File("right/notes.txt", "abcde");
    FTree.File("right/util.c", "different length");
    Start(left, right);

    // F7 "new" with Upper cased: NEW is made and the cursor is on it.
    ASSERT_TRUE(KeysThen({"F7"}, "the create-new dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CreateNewForm";
    }));
    std::vector<std::string> keys = KeysOf("new");
    keys.push_back("alt+u");
    FKsable->Keys(keys);
    FKsable->Shot("create-new", true);
    ASSERT_TRUE(KeysThen({"Return"}, "NEW made with the cursor on it", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() &&
               s.value("LEFTPANEL").toObject().value("CursorName").toString() == "NEW";
    }));
    EXPECT_TRUE(std::filesystem::is_directory(left + "/NEW"));

    // Num+ "*.c": those items marked.
    ASSERT_TRUE(KeysThen({"KP_Add"}, "the select dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "SelectForm"; }));
    keys = {"ctrl+a"};
    for (const std::string& key : KeysOf("*.c"))
        keys.push_back(key);
    FKsable->Keys(keys);
    FKsable->Shot("select-items", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the C files marked", [](const QJsonObject& s) {
        std::vector<std::string> marked = Strings(s.value("LEFTPANEL").toObject().value("Marked"));
        std::sort(marked.begin(), marked.end());
        return marked == std::vector<std::string>{"main.c", "util.c"};
    }));
    ASSERT_TRUE(KeysThen({"ctrl+KP_Subtract"}, "the marks gone", [](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("FMarkedCount").toInt() == 0;
    }));

    // Compare by name and size: notes.txt is equal in both panels, util.c is not.
    ASSERT_TRUE(KeysThen({"ctrl+b"}, "the compare dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "CompareForm"; }));
    // "&Item size" is off by default.
    FKsable->Keys({"alt+i"});
    FKsable->Shot("compare-items", true);
    ASSERT_TRUE(KeysThen({"Return"}, "notes.txt marked in both panels", [](const QJsonObject& s) {
        return Strings(s.value("LEFTPANEL").toObject().value("Marked")) ==
                   std::vector<std::string>{"notes.txt"} &&
               Strings(s.value("RIGHTPANEL").toObject().value("Marked")) ==
                   std::vector<std::string>{"notes.txt"};
    }));
}

TEST_F(ItemDialogsE2ETest, OpenAttributesAndLauncherFromTheKeyboard) {
    namespace fs = std::filesystem;
    const std::string left = FTree.Folder("left");
    const std::string right = FTree.Folder("right");
    FTree.File("left/a.txt", "a");
    FTree.File("left/b.txt", "b");
    FTree.File("left/c.txt", "c");
    FTree.File("left/readme.txt", "read me");
    fs::permissions(left + "/b.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 10);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        fs::last_write_time(left + "/" + name, old);
    // An editor on PATH that notes what it was given and changes nothing.
    const std::string bin = FTree.Folder("bin");
    const std::string log = FTree / "editor.log";
    {
        std::ofstream stub(bin + "/gnome-text-editor");
        stub << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << log << "'\n";
    }
    fs::permissions(bin + "/gnome-text-editor", fs::perms::owner_all);
    Start(left, right, {"PATH=" + bin + ":/usr/bin:/bin"});

    // Shift+F4 on readme.txt: the existing file opens in the editor as it is.
    ASSERT_TRUE(KeysThen({"shift+F4"}, "the create-new dialog for a text file", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CreateNewForm";
    }));
    std::vector<std::string> keys = {"ctrl+a"};
    for (const std::string& key : KeysOf("readme.txt"))
        keys.push_back(key);
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the editor started", [&](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && fs::exists(log);
    }));
    std::ifstream logged(log);
    std::string line;
    std::getline(logged, line);
    EXPECT_EQ(line, left + "/readme.txt");
    std::ifstream readme(left + "/readme.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(readme), {}), "read me");

    // Three files marked, one of them read-only: the read-only box opens grayed, and Change with
    // the current date and time leaves each file's write bit as it was.
    ASSERT_TRUE(KeysThen({"Home", "Down", "Insert", "Insert", "Insert"}, "three files marked",
                         [](const QJsonObject& s) {
                             return s.value("LEFTPANEL").toObject().value("FMarkedCount").toInt() == 3;
                         }));
    ASSERT_TRUE(KeysThen({"alt+e"}, "the attributes dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "ChangeAttrForm";
    }));
    FKsable->Shot("change-attributes", true);
    // A mnemonic clicks its box after a short animation, and only then does Current appear.
    FKsable->Keys({"alt+d"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    FKsable->Keys({"alt+u"});
    FKsable->Shot("change-attributes-date", true);
    const auto before = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    ASSERT_TRUE(KeysThen({"alt+h"}, "the attributes dialog closed",
                         [](const QJsonObject& s) { return s.value("Dialog").toString().isEmpty(); }));
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        const fs::perms perms = fs::status(left + "/" + name).permissions();
        EXPECT_EQ((perms & fs::perms::owner_write) != fs::perms::none, std::string(name) != "b.txt") << name;
        EXPECT_GT(fs::last_write_time(left + "/" + name), before) << name;
    }

    // A launcher for readme.txt goes to the other panel's folder and is a valid desktop entry.
    ASSERT_TRUE(KeysThen({"ctrl+KP_Subtract", "End"}, "the cursor on readme.txt", [](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("CursorName").toString() == "readme.txt";
    }));
    ASSERT_TRUE(KeysThen({"alt+c"}, "the launcher dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CreateShortcutForm";
    }));
    FKsable->Shot("create-launcher", true);
    ASSERT_TRUE(KeysThen({"Return"}, "readme.desktop written", [&](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && fs::exists(right + "/readme.desktop");
    }));
    const TRunResult valid = e2e::Run({"desktop-file-validate", right + "/readme.desktop"}, {});
    EXPECT_EQ(valid.ExitCode, 0) << valid.Out;
    EXPECT_NE(fs::status(right + "/readme.desktop").permissions() & fs::perms::owner_exec, fs::perms::none);
}

} // namespace
} // namespace ks::e2e
