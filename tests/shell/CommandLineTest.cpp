#include "shell/CommandLine.h"

#include "foundation/Keys.h"
#include "support/FakeSystem.h"
#include "support/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ks {
namespace {

using TStep = std::function<void(TCommandLine&)>;

TStep TextBecomes(bool empty) {
    return [empty](TCommandLine& line) { line.TextChanged(empty); };
}
TStep AltTap() {
    return [](TCommandLine& line) { line.AltTapped(); };
}
TStep Key(int key, bool typedDot = false) {
    return [key, typedDot](TCommandLine& line) { line.KeyDown(key, typedDot); };
}

TEST(CommandLineTest, ModeChanges) {
    struct TCase {
        const char* Name;
        std::vector<TStep> Steps;
        TCmdMode Expected;
    };
    const TCase cases[] = {
        {"typing starts a command", {TextBecomes(false)}, cmdCommand},
        {"emptying a command returns to info", {TextBecomes(false), TextBecomes(true)}, cmdInfo},
        {"Alt tapped alone locates", {AltTap()}, cmdLocate},
        {"typing while locating stays locating", {AltTap(), TextBecomes(false)}, cmdLocate},
        {"Alt again with no text leaves locating", {AltTap(), AltTap(), TextBecomes(true)}, cmdInfo},
        {"Alt again with text keeps the command", {AltTap(), TextBecomes(false), AltTap()}, cmdCommand},
        {"Alt during a command locates", {TextBecomes(false), AltTap()}, cmdLocate},
        {"a letter, a digit, Backspace and a dot are part of a name",
         {AltTap(), Key(VK_LETTER('W')), Key(VK_0 + 7), Key(VK_BACK), Key(VK_OEM_PERIOD, true)},
         cmdLocate},
        {"Down ends locating", {AltTap(), Key(VK_DOWN)}, cmdInfo},
        {"Enter ends locating", {AltTap(), Key(VK_RETURN)}, cmdInfo},
        {"the pad's + ends locating", {AltTap(), Key(VK_ADD)}, cmdInfo},
        {"keys do not end a command", {TextBecomes(false), Key(VK_DOWN)}, cmdCommand},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> history;
        TCommandLine line(history);
        for (const TStep& step : c.Steps)
            step(line);
        EXPECT_EQ(line.Mode(), c.Expected);
        EXPECT_EQ(line.ShowsEditor(), c.Expected != cmdInfo);
    }
}

TEST(CommandLineTest, Captions) {
    struct TCase {
        TCmdMode Mode;
        const char* Message;
        bool FromRight;
        const char* Expected;
    };
    const TCase cases[] = {
        {cmdInfo, "3 items", false, "L: 3 items"},
        {cmdInfo, "3 items", true, "R: 3 items"},
        {cmdInfo, "", true, ""},
        {cmdCommand, "3 items", true, "CMD> "},
        {cmdLocate, "", false, "LOC> "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Expected);
        std::vector<std::string> history;
        TCommandLine line(history);
        line.SetMode(c.Mode);
        EXPECT_EQ(line.Caption(c.Message, c.FromRight), c.Expected);
    }
}

TEST(CommandLineTest, RecallWalksFromNewestToOldestAndWraps) {
    std::vector<std::string> history;
    TCommandLine line(history);
    EXPECT_EQ(line.Recall(), std::nullopt);

    history = {"newest", "middle", "oldest"};
    std::vector<std::string> typed;
    for (int i = 0; i < 5; ++i)
        typed.push_back(line.Recall().value_or("?"));
    EXPECT_EQ(typed, (std::vector<std::string>{"newest", "middle", "oldest", "newest", "middle"}));

    // A run starts the walk again at the newest command.
    line.Run("ls");
    EXPECT_EQ(line.Recall(), "newest");
}

// A fresh settings store gives a history of one empty line; empty lines are never listed nor
// typed, wherever they stand.
TEST(CommandLineTest, EmptyEntriesAreNeitherListedNorRecalled) {
    struct TCase {
        const char* Name;
        std::vector<std::string> History;
        std::vector<std::string> Visible;
        std::vector<std::string> Recalled; // five Ctrl+E in a row; "-" for nothing
    };
    const TCase cases[] = {
        {"a fresh store", {""}, {}, {"-", "-", "-", "-", "-"}},
        {"only empty lines", {"", "", ""}, {}, {"-", "-", "-", "-", "-"}},
        {"the empty line after a first run",
         {"make all", ""},
         {"make all"},
         {"make all", "make all", "make all", "make all", "make all"}},
        {"empty lines between commands",
         {"", "newest", "", "", "oldest", ""},
         {"newest", "oldest"},
         {"newest", "oldest", "newest", "oldest", "newest"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(VisibleHistory(c.History), c.Visible);
        std::vector<std::string> history = c.History;
        TCommandLine line(history);
        std::vector<std::string> typed;
        for (std::size_t i = 0; i < c.Recalled.size(); ++i)
            typed.push_back(line.Recall().value_or("-"));
        EXPECT_EQ(typed, c.Recalled);
        EXPECT_EQ(history, c.History);
    }
}

TEST(CommandLineTest, RunKeepsLongerCommandsOnceNewestFirst) {
    std::vector<std::string> history;
    TCommandLine line(history);
    line.SetMode(cmdCommand);
    line.Run("make");     // 4 characters: not kept
    line.Run("make all"); // kept
    line.Run("gcc -v");
    line.Run("make all"); // already there
    EXPECT_EQ(history, (std::vector<std::string>{"gcc -v", "make all"}));
    EXPECT_EQ(line.Mode(), cmdInfo);
}

TEST(CommandLineTest, DotCommandsAndPathMacros) {
    test::FakeSystem system;
    test::MemoryFileSystem files;
    SetPlatform(&system, &files);
    struct TCase {
        const char* Text;
        TCommandRun Expected;
    };
    const TCase cases[] = {
        {"ls -l /tmp", {dcNone, "ls", "-l /tmp", ""}},
        {"", {dcNone, "", "", ""}},
        {".posedit", {dcPosEdit, ".posedit", "", ""}},
        {".LangSave", {dcLangSave, ".LangSave", "", ""}},
        {".ftp LIST -a", {dcFtp, ".ftp", "LIST -a", ""}},
        {".SHUTDOWN", {dcShutdown, ".SHUTDOWN", "", ""}},
        {".ScanSkins", {dcScanSkins, ".ScanSkins", "", ""}},
        {".doc", {dcPathMacro, ".doc", "", system.ShellFolder("Personal")}},
        {".T", {dcPathMacro, ".T", "", system.TempDir()}},
        {".nothing here", {dcUnknown, ".nothing", "here", ""}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        const TCommandRun run = ParseCommandLine(c.Text);
        EXPECT_EQ(run.Command, c.Expected.Command);
        EXPECT_EQ(run.Program, c.Expected.Program);
        EXPECT_EQ(run.Parameters, c.Expected.Parameters);
        EXPECT_EQ(run.Folder, c.Expected.Folder);
    }
    SetPlatform(nullptr, nullptr);
}

} // namespace
} // namespace ks
