// Renaming the item under the cursor on real folders, in find results and on an FTP server:
// taken names are never replaced, bad names and refusals are told and change nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "controls/MessageBox.h"
#include "ftp/FtpSession.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxNetwork.h"
#include "platform/LinuxSystem.h"
#include "support/FtpServers.h"
#include "support/ScriptedAnswers.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;
using test::TScriptedAnswers;

std::string BadName(const std::string& name) {
    return "'" + name + "' cannot be a name: it must not be empty, \".\" or \"..\", nor hold \"/\".";
}

std::string Taken(const std::string& from, const std::string& to) {
    return "Cannot rename '" + from + "' to '" + to + "': an item of that name exists already.";
}

std::string CursorName(const TKMYFILEPANEL& panel) {
    const TKFiles* item = panel.FItemsStruc->FCurrentItem;
    return item != nullptr ? item->Name : std::string();
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

class PanelRename : public testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFileSystem); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFileSystem;
    TPanelOptions FOptions;
};

TEST_F(PanelRename, RenamesInTheFolderOrRefusesAndChangesNothing) {
    struct TCase {
        const char* What;
        std::string From;
        std::string To;
        std::string Question; ///< what the user is told; empty when the rename goes through
        std::function<void(const TempTree&)> Check;
    };
    const std::string latin1 = "caf\xE9.txt";
    const std::vector<TCase> cases = {
        {"a file", "a.txt", "b.txt", "",
         [](const TempTree& tree) {
             EXPECT_FALSE(Exists(tree / "a.txt"));
             EXPECT_EQ(TempTree::ReadFile(tree / "b.txt"), "a");
         }},
        {"a folder", "dir", "folder", "",
         [](const TempTree& tree) {
             EXPECT_FALSE(Exists(tree / "dir"));
             EXPECT_EQ(TempTree::ReadFile(tree / "folder/inside"), "in");
         }},
        {"a name that is no UTF-8, to another", "\xFF\xFE.bin", latin1, "",
         [&](const TempTree& tree) {
             EXPECT_FALSE(Exists(tree / "\xFF\xFE.bin"));
             EXPECT_EQ(TempTree::ReadFile(tree / latin1), "raw");
         }},
        {"onto a taken name", "a.txt", "taken", Taken("a.txt", "taken"),
         [](const TempTree& tree) {
             EXPECT_EQ(TempTree::ReadFile(tree / "a.txt"), "a");
             EXPECT_EQ(TempTree::ReadFile(tree / "taken"), "kept");
         }},
        {"a folder onto a taken folder", "dir", "empty", Taken("dir", "empty"),
         [](const TempTree& tree) {
             EXPECT_EQ(TempTree::ReadFile(tree / "dir/inside"), "in");
             EXPECT_TRUE(fs::is_empty(tree / "empty"));
         }},
        {"into a sub-folder by a slash", "a.txt", "dir/a.txt", BadName("dir/a.txt"),
         [](const TempTree& tree) {
             EXPECT_TRUE(Exists(tree / "a.txt"));
             EXPECT_FALSE(Exists(tree / "dir/a.txt"));
         }},
        {"to the parent", "a.txt", "..", BadName(".."),
         [](const TempTree& tree) {
             EXPECT_TRUE(Exists(tree / "a.txt"));
             EXPECT_FALSE(Exists(fs::path(tree.Path()).parent_path() / "a.txt"));
         }},
        {"to the folder itself", "a.txt", ".", BadName("."),
         [](const TempTree& tree) { EXPECT_TRUE(Exists(tree / "a.txt")); }},
        {"to nothing", "a.txt", "", BadName(""),
         [](const TempTree& tree) { EXPECT_TRUE(Exists(tree / "a.txt")); }},
        {"with a NUL inside", "a.txt", std::string("b\0c", 3), BadName(std::string("b\0c", 3)),
         [](const TempTree& tree) {
             EXPECT_TRUE(Exists(tree / "a.txt"));
             EXPECT_FALSE(Exists(tree / "b"));
         }},
        {"to the same name", "a.txt", "a.txt", "",
         [](const TempTree& tree) { EXPECT_EQ(TempTree::ReadFile(tree / "a.txt"), "a"); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempTree tree;
        tree.File("a.txt", "a");
        tree.File("taken", "kept");
        tree.File("dir/inside", "in");
        tree.Folder("empty");
        tree.File("\xFF\xFE.bin", "raw");
        TKMYFILEPANEL panel(FOptions);
        panel.FFolderItems.FPath = tree.Path();
        panel.ReadPanel(false, false);
        TScriptedAnswers answers;
        answers.Attach(panel);
        if (!c.Question.empty())
            answers.Script = {{c.Question, mrOk}};
        const int index = panel.FindItem(c.From, true);
        ASSERT_GE(index, 0);

        const Result<void> renamed = panel.RenameItem(index, c.To);
        EXPECT_EQ(renamed.has_value(), c.Question.empty());
        EXPECT_TRUE(answers.Script.empty());
        c.Check(tree);
        // The list shows the disk, with the cursor on the item under its name now.
        EXPECT_EQ(CursorName(panel), c.Question.empty() ? c.To : c.From);
        EXPECT_GE(panel.FindItem(c.Question.empty() ? c.To : c.From, false), 0);
    }
}

TEST_F(PanelRename, OnlyItemsOfFolderFindAndFtpPanelsAreRenamed) {
    TempTree tree;
    tree.File("a.txt", "a");
    TKMYFILEPANEL panel(FOptions);
    panel.FFolderItems.FPath = tree.Path();
    panel.ReadPanel(false, false);
    TScriptedAnswers answers;
    answers.Attach(panel);
    // The up-folder, a row past the end and a busy panel: nothing happens and nobody is asked.
    ASSERT_EQ(CursorName(panel), "..");
    EXPECT_EQ(panel.RenameItem(0, "x").error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(panel.RenameItem(5, "x").error().Code, TErrorCode::ecNotFound);
    const int index = panel.FindItem("a.txt", false);
    panel.FState |= psBusy;
    EXPECT_EQ(panel.RenameItem(index, "x").error().Code, TErrorCode::ecBusy);
    panel.FState = 0;
    panel.SetPanelType(ptDriveList);
    panel.ReadPanel(false, false);
    ASSERT_GT(panel.FItemsStruc->Count(), 0);
    EXPECT_EQ(panel.RenameItem(0, "x").error().Code, TErrorCode::ecUnsupported);
    EXPECT_TRUE(Exists(tree / "a.txt"));
    EXPECT_FALSE(Exists(tree / "x"));
}

TEST_F(PanelRename, AFindResultTakesItsNewNameInPlaceAndKeepsTheCursor) {
    TempTree tree;
    tree.File("one/renamed.txt", "1");
    tree.File("one/same.txt", "one");
    tree.File("two/same.txt", "two");
    TKMYFILEPANEL panel(FOptions);
    panel.FFolderItems.FPath = tree.Path();
    panel.ReadPanel(false, false);
    panel.FindFiles(tree.Path(), "*.txt", "", false, true, false);
    ASSERT_EQ(panel.PanelType(), ptFindResult);
    TScriptedAnswers answers;
    answers.Attach(panel);
    int index = -1;
    for (int i = 0; i < panel.FItemsStruc->Count(); ++i) {
        const TKFiles* item = panel.FItemsStruc->GetFileItem(i);
        if (item->Name == "same.txt" && item->Folder() == tree / "two")
            index = i;
    }
    ASSERT_GE(index, 0);
    const TKFiles* item = panel.FItemsStruc->GetFileItem(index);
    const int count = panel.FItemsStruc->Count();

    ASSERT_TRUE(panel.RenameItem(index, "renamed.txt"));
    EXPECT_EQ(TempTree::ReadFile(tree / "two/renamed.txt"), "two");
    EXPECT_FALSE(Exists(tree / "two/same.txt"));
    EXPECT_EQ(TempTree::ReadFile(tree / "one/same.txt"), "one");
    // The same item, not found again: still in the list, under the new name, under the cursor,
    // although another result has that name too.
    EXPECT_EQ(panel.PanelType(), ptFindResult);
    EXPECT_EQ(panel.FItemsStruc->Count(), count);
    EXPECT_EQ(panel.FItemsStruc->FCurrentItem, item);
    EXPECT_EQ(item->Name, "renamed.txt");
    EXPECT_EQ(item->Caption(), "renamed.txt");
    EXPECT_EQ(item->Folder(), tree / "two");

    // A refusal in find results leaves the item as it was.
    answers.Script = {{Taken("same.txt", "renamed.txt"), mrOk}};
    const int other = [&] {
        for (int i = 0; i < panel.FItemsStruc->Count(); ++i)
            if (panel.FItemsStruc->GetFileItem(i)->Name == "same.txt")
                return i;
        return -1;
    }();
    ASSERT_GE(other, 0);
    EXPECT_EQ(panel.RenameItem(other, "renamed.txt").error().Code, TErrorCode::ecExists);
    EXPECT_EQ(panel.FItemsStruc->GetFileItem(other)->Name, "same.txt");
    EXPECT_EQ(TempTree::ReadFile(tree / "one/same.txt"), "one");
    EXPECT_TRUE(answers.Script.empty());
}

TEST_F(PanelRename, AReadOnlyFolderRefusesAsNotPermitted) {
    TempTree tree;
    const std::string folder = tree.Folder("ro");
    tree.File("ro/a.txt", "a");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const std::string failure = test::RunUnprivileged({tree.Path()}, [&]() -> std::string {
        TPanelOptions options;
        TKMYFILEPANEL panel(options);
        panel.FFolderItems.FPath = folder;
        panel.ReadPanel(false, false);
        std::vector<std::string> asked;
        panel.AskUser = [&](const std::string& text, int, int buttons, int) {
            asked.push_back(text);
            return buttons == mbOK ? mrOk : mrAbort;
        };
        const Result<void> renamed = panel.RenameItem(panel.FindItem("a.txt", true), "b.txt");
        KS_CHECK(!renamed);
        KS_CHECK(renamed.error().Code == TErrorCode::ecAccess);
        KS_CHECK(asked == std::vector<std::string>{"Cannot rename 'a.txt' to 'b.txt': not permitted."});
        KS_CHECK(CursorName(panel) == "a.txt");
        return {};
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(TempTree::ReadFile(tree / "ro/a.txt"), "a");
    EXPECT_FALSE(Exists(tree / "ro/b.txt"));
}

TEST_F(PanelRename, OnTheServerTheItemIsRenamedThere) {
    test::TFtpServer server;
    ASSERT_TRUE(server.Start(test::TFtpServerKind::fkPyFtpdlib)) << server.Error();
    std::ofstream(server.Root() + "/old.txt") << "old";
    std::ofstream(server.Root() + "/taken.txt") << "taken";
    TempTree local;
    TKLinuxNetwork network;
    FOptions.PanelStartupDone = true;
    TKMYFILEPANEL panel(FOptions);
    panel.FFolderItems.FPath = local.Path();
    panel.ReadPanel(false, false);
    panel.MakeRemoteSession = [&] { return std::make_unique<TFtpSession>(network); };
    panel.OnFTPConnections = [&](TKFtpConnection& connection) {
        connection.DisableFTP = false;
        connection.Host = server.Host();
        connection.Port = server.Port();
        connection.Name = test::TFtpServer::User;
        connection.Password = test::TFtpServer::Password;
    };
    panel.ConnectFTP();
    ASSERT_EQ(panel.PanelType(), ptFTP);
    TScriptedAnswers answers;
    answers.Attach(panel);

    ASSERT_TRUE(panel.RenameItem(panel.FindItem("old.txt", false), "new.txt"));
    EXPECT_EQ(TempTree::ReadFile(server.Root() + "/new.txt"), "old");
    EXPECT_FALSE(Exists(server.Root() + "/old.txt"));
    EXPECT_EQ(CursorName(panel), "new.txt");

    // A slash would move the item on the server: refused before anything is sent.
    fs::create_directory(server.Root() + "/sub");
    answers.Script = {{BadName("sub/new.txt"), mrOk}};
    EXPECT_FALSE(panel.RenameItem(panel.FindItem("new.txt", false), "sub/new.txt"));
    EXPECT_FALSE(Exists(server.Root() + "/sub/new.txt"));
    // A name the listing shows is taken: many servers would replace it.
    answers.Script = {{Taken("new.txt", "taken.txt"), mrOk}};
    EXPECT_EQ(panel.RenameItem(panel.FindItem("new.txt", false), "taken.txt").error().Code,
              TErrorCode::ecExists);
    EXPECT_EQ(TempTree::ReadFile(server.Root() + "/taken.txt"), "taken");
    answers.Script = {{"The server did not rename the item.", mrOk}};
    EXPECT_EQ(panel.RenameItem(panel.FindItem("new.txt", false), "sub").error().Code, TErrorCode::ecRefused);
    EXPECT_EQ(TempTree::ReadFile(server.Root() + "/new.txt"), "old");
    EXPECT_TRUE(answers.Script.empty());
}

} // namespace
} // namespace ks
