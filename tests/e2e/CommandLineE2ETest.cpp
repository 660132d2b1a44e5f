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

TEST_F(CommandLineE2ETest, TheHistoryDialogTypesTheChosenCommand) {
    for (const std::string& command : {std::string("ksnotes first"), std::string("ksnotes second")}) {
        std::vector<std::string> keys = KeysOf(command);
        keys.push_back("Return");
        ASSERT_TRUE(KeysThen(keys, "the command line empty again",
                             [](const QJsonObject& s) { return s.value("InfoText").toString().isEmpty(); }));
    }
    ASSERT_TRUE(KeysThen({"alt+F8"}, "the history dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "HistoryForm"; }));
    FKsable->Shot("command-history", true);
    ASSERT_TRUE(KeysThen({"Down", "Return"}, "the older command typed", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && s.value("InfoText").toString() == "ksnotes first" &&
               s.value("CmdMode").toInt() == 1;
    }));
}

TEST_F(CommandLineE2ETest, TypePathSaysWhenTheFolderIsMissingAndOpensOneThatExists) {
    ASSERT_TRUE(KeysThen({"alt+F3"}, "the type path dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "TypePanelPathForm";
    }));
    std::vector<std::string> keys = KeysOf("no-such-folder");
    FKsable->Keys(keys);
    FKsable->Shot("type-path", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the not-found text", [&](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && s.value("InfoCaption").toString().contains("not") &&
               PathOf(s) == FFolder;
    }));
    ASSERT_TRUE(KeysThen({"alt+F3"}, "the type path dialog again", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "TypePanelPathForm";
    }));
    keys = {"ctrl+a"};
    for (const std::string& key : KeysOf("winter"))
        keys.push_back(key);
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the typed folder, relative to the panel's, in the panel",
                         [&](const QJsonObject& s) { return PathOf(s) == FFolder + "/winter"; }));
}

TEST_F(CommandLineE2ETest, F2RenamesInPlaceAndEscLeavesTheNameAlone) {
    const auto cursorTo = [&](const std::string& name) {
        std::vector<std::string> keys = {"Home"};
        const std::vector<std::string> names =
            Strings(FKsable->State().value("LEFTPANEL").toObject().value("Names"));
        const auto at = std::find(names.begin(), names.end(), name);
        keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
        return KeysThen(keys, "the cursor on " + name,
                        [&](const QJsonObject& s) { return CursorOf(s) == name; });
    };
    ASSERT_TRUE(cursorTo("notes.txt"));
    ASSERT_TRUE(KeysThen({"F2"}, "the rename editor",
                         [](const QJsonObject& s) { return s.value("RenameEditor").toBool(); }));
    FKsable->Shot("rename-editor");
    std::vector<std::string> keys = {"ctrl+a"};
    for (const std::string& key : KeysOf("todo.txt"))
        keys.push_back(key);
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the file renamed with the cursor on it", [](const QJsonObject& s) {
        return !s.value("RenameEditor").toBool() && CursorOf(s) == "todo.txt";
    }));
    EXPECT_TRUE(std::filesystem::exists(FFolder + "/todo.txt"));
    EXPECT_FALSE(std::filesystem::exists(FFolder + "/notes.txt"));
    ASSERT_TRUE(KeysThen({"F2"}, "the rename editor again",
                         [](const QJsonObject& s) { return s.value("RenameEditor").toBool(); }));
    ASSERT_TRUE(KeysThen({"x", "Escape"}, "the editor gone, the name unchanged", [](const QJsonObject& s) {
        return !s.value("RenameEditor").toBool() && CursorOf(s) == "todo.txt";
    }));
    EXPECT_TRUE(std::filesystem::exists(FFolder + "/todo.txt"));
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
