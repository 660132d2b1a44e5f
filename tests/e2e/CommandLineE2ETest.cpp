// The command line of the real program on a virtual X display: locate mode, running a program in
// the panel's folder, the history and its recall, the path macros, the history and Type path
// dialogs, and renaming in place.

#include <gtest/gtest.h>

#include <algorithm>
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

std::string CursorOf(const QJsonObject& state) {
    return state.value("LEFTPANEL").toObject().value("CursorName").toString().toStdString();
}

std::string PathOf(const QJsonObject& state) {
    return state.value("LEFTPANEL").toObject().value("FPath").toString().toStdString();
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// xdotool key names that type text.
std::vector<std::string> KeysOf(const std::string& text) {
    std::vector<std::string> keys;
    for (const char c : text)
        keys.push_back(c == ' '   ? "space"
                       : c == '.' ? "period"
                       : c == '-' ? "minus"
                       : c == '/' ? "slash"
                                  : std::string(1, c));
    return keys;
}

class CommandLineE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";
        FFolder = FTree.Folder("files/work");
        FTree.Folder("files/work/apple");
        FTree.Folder("files/work/window frames");
        FTree.Folder("files/work/winter");
        FTree.File("files/work/notes.txt", "notes");
        FHome = FTree.Folder("home");
        FTree.Folder("home/Documents");
        // A program on PATH that notes where it ran and what it was given.
        FBin = FTree.Folder("bin");
        FLog = FTree / "stub.log";
        {
            std::ofstream stub(FBin + "/ksnotes");
            stub << "#!/bin/sh\nprintf '%s|%s\\n' \"$PWD\" \"$*\" >> '" << FLog << "'\n";
        }
        std::filesystem::permissions(FBin + "/ksnotes", std::filesystem::perms::owner_all);
        FKsable = std::make_unique<TKsable>(*FServer, FHome);
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", FFolder + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", FFolder + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
        ASSERT_TRUE(FKsable->Start({"PATH=" + FBin + ":/usr/bin:/bin"})) << FKsable->Failure();
    }

    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate,
                                        int ms = 15000) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate, ms))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    test::TempTree FTree;
    std::string FFolder, FHome, FBin, FLog;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(CommandLineE2ETest, LocateModeFindsByTypedNameAndEnterOpensIt) {
    ASSERT_TRUE(
        KeysThen({"alt"}, "LOC> ", [](const QJsonObject& s) { return s.value("InfoCaption") == "LOC> "; }));
    ASSERT_TRUE(KeysThen({"w", "i", "n"}, "the cursor on the first item starting with win",
                         [](const QJsonObject& s) { return CursorOf(s) == "window frames"; }));
    FKsable->Shot("command-line-locate");
    ASSERT_TRUE(KeysThen({"Return"}, "the located folder open", [&](const QJsonObject& s) {
        return PathOf(s) == FFolder + "/window frames" && s.value("CmdMode").toInt() == 0;
    }));
}

TEST_F(CommandLineE2ETest, CommandsRunInThePanelsFolderAndTheHistoryRecallsThem) {
    for (const std::string& command : {std::string("ksnotes one"), std::string("ksnotes two"),
                                       std::string("ksnotes one"), std::string("ksnotes three")}) {
        std::vector<std::string> keys = KeysOf(command);
        keys.push_back("Return");
        ASSERT_TRUE(KeysThen(keys, "the command line empty again",
                             [](const QJsonObject& s) { return s.value("InfoText").toString().isEmpty(); }));
    }
    // The stub ran four times, each in the panel's folder with its words.
    const auto ranTimes = [&](const QJsonObject&) {
        const std::string log = Contents(FLog);
        return std::count(log.begin(), log.end(), '\n') >= 4;
    };
    EXPECT_TRUE(FKsable->WaitFor("the stub to run four times", ranTimes)) << FKsable->Failure();
    const std::string expected =
        FFolder + "|one\n" + FFolder + "|two\n" + FFolder + "|one\n" + FFolder + "|three\n";
    EXPECT_EQ(Contents(FLog), expected);
    // Three different commands in the history, newest first; Ctrl+E walks them and wraps.
    for (const char* recalled : {"ksnotes three", "ksnotes two", "ksnotes one", "ksnotes three"})
        ASSERT_TRUE(KeysThen({"ctrl+e"}, std::string("the recall of ") + recalled, [&](const QJsonObject& s) {
            return s.value("InfoText").toString() == recalled;
        }));
    FKsable->Shot("command-line-recall");
    ASSERT_TRUE(KeysThen({"Escape"}, "the command line cleared",
                         [](const QJsonObject& s) { return s.value("InfoText").toString().isEmpty(); }));
    // A command that starts nothing says why.
    std::vector<std::string> keys = KeysOf("ksnothing");
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the message that it cannot start",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    FKsable->Shot("command-line-cannot-start", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the message closed",
                         [](const QJsonObject& s) { return s.value("Dialog").toString().isEmpty(); }));
}

TEST_F(CommandLineE2ETest, APathMacroInAnyCaseMovesThePanel) {
    std::vector<std::string> keys = KeysOf(".DoC");
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the documents folder in the left panel",
                         [&](const QJsonObject& s) { return PathOf(s) == FHome + "/Documents"; }));
    EXPECT_FALSE(std::filesystem::exists(FLog));
}

} // namespace
} // namespace ks::e2e
