// Panel operations against faults a real disk cannot be made to show on demand.

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controls/MessageBox.h"
#include "panel/KMYFILEPANEL.h"
#include "support/FakeSystem.h"
#include "support/MemoryFileSystem.h"
#include "support/ScriptedAnswers.h"

namespace ks {
namespace {

using test::TScriptedAnswers;

class OperationsWithFaults : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&FSystem, &FFileSystem);
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions);
        FFileSystem.AddFolder("/d");
        for (const char* name : {"/d/f1", "/d/f2", "/d/f3"})
            FFileSystem.AddFile(name, 10);
        FFileSystem.AddFolder("/d/sub");
        FFileSystem.AddFile("/d/sub/inner", 5);
        FPanel->FFolderItems.FPath = "/d";
        FPanel->ReadPanel(false, false);
        FPanel->OnAfterChange = [this](TKAfterChange what, const std::string& text) {
            if (what == acProgress)
                FProgress.push_back(text);
        };
        FPanel->OnDeleteItems = [](bool& del, bool&, bool&) { del = true; };
        FAnswers.Attach(*FPanel);
    }
    void TearDown() override { SetPlatform(nullptr, nullptr); }
    void MarkAll() {
        for (const auto& item : FPanel->FFolderItems.FItems)
            FPanel->FFolderItems.MarkItem(item.get(), 0);
    }

    test::FakeSystem FSystem;
    test::MemoryFileSystem FFileSystem;
    TPanelOptions FOptions;
    // Made once the platform is in place: the panel asks it for the home folder.
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    TScriptedAnswers FAnswers;
    std::vector<std::string> FProgress;
};

TEST_F(OperationsWithFaults, RetryThenNoToAllSkipsEveryLaterFailingFileSilently) {
    FFileSystem.FRemoveDenied = {"/d/f1", "/d/f2", "/d/sub/inner"};
    MarkAll();
    FAnswers.Script = {{"The following folder will be deleted: sub", mrYes},
                       {"Can't delete this file: /d/sub/inner. Try again?", mrYes},
                       {"Can't delete this file: /d/sub/inner. Try again?", mrNoToAll}};
    FPanel->DeleteItems();
    EXPECT_TRUE(FAnswers.Script.empty());
    // Nothing that stayed is counted as deleted: only f3 went.
    EXPECT_EQ(FProgress.back(), "DELETING... |0|1|");
    EXPECT_TRUE(FFileSystem.Exists("/d/f1"));
    EXPECT_TRUE(FFileSystem.Exists("/d/f2"));
    EXPECT_TRUE(FFileSystem.Exists("/d/sub/inner"));
    EXPECT_FALSE(FFileSystem.Exists("/d/f3"));
}

TEST_F(OperationsWithFaults, RetrySucceedsOnceTheFaultIsGone) {
    FFileSystem.FRemoveDenied = {"/d/f2"};
    FPanel->FFolderItems.MarkItem(
        FPanel->FFolderItems.GetFileItem(FPanel->FFolderItems.FindIndex("f2", false)), 0);
    FPanel->AskUser = [this](const std::string& text, int, int buttons, int) {
        EXPECT_EQ(text, "Can't delete this file: /d/f2. Try again?");
        EXPECT_EQ(buttons, mbYes | mbNo | mbAbort | mbNoToAll);
        FFileSystem.FRemoveDenied.clear();
        return mrYes;
    };
    FPanel->DeleteItems();
    EXPECT_FALSE(FFileSystem.Exists("/d/f2"));
    EXPECT_EQ(FProgress.back(), "DELETING... |0|1|");
}

TEST_F(OperationsWithFaults, AbortOnAFailingFileStopsTheWholeDeletion) {
    FFileSystem.FRemoveDenied = {"/d/f1"};
    MarkAll();
    FAnswers.Script = {{"The following folder will be deleted: sub", mrNo},
                       {"Can't delete this file: /d/f1. Try again?", mrAbort}};
    FPanel->DeleteItems();
    EXPECT_TRUE(FAnswers.Script.empty());
    EXPECT_TRUE(FFileSystem.Exists("/d/f2"));
    EXPECT_TRUE(FFileSystem.Exists("/d/f3"));
    EXPECT_TRUE(FFileSystem.Exists("/d/sub/inner"));
    EXPECT_EQ(FPanel->FState, 0u);
}

TEST_F(OperationsWithFaults, AFolderThatStaysAfterItsTreeIsReported) {
    FFileSystem.FRemoveDenied = {"/d/sub"};
    FPanel->FFolderItems.MarkItem(
        FPanel->FFolderItems.GetFileItem(FPanel->FFolderItems.FindIndex("sub", false)), 0);
    FAnswers.Script = {{"The following folder will be deleted: sub", mrYes},
                       {"Can't delete this file: /d/sub. Try again?", mrNo}};
    FPanel->DeleteItems();
    EXPECT_TRUE(FAnswers.Script.empty());
    EXPECT_TRUE(FFileSystem.Exists("/d/sub"));
    EXPECT_EQ(FProgress.back(), "DELETING... |0|1|");
}

TEST_F(OperationsWithFaults, AFileKeptByNoKeepsItsFoldersWithoutAQuestionAboutThem) {
    // A file that stays in the marked folder itself, and one two levels down.
    FFileSystem.AddFolder("/d/tree");
    FFileSystem.AddFolder("/d/tree/deeper");
    FFileSystem.AddFile("/d/tree/deeper/kept", 1);
    FPanel->ReadPanel(false, false);
    FFileSystem.FRemoveDenied = {"/d/sub/inner", "/d/tree/deeper/kept"};
    for (const char* name : {"sub", "tree"})
        FPanel->FFolderItems.MarkItem(
            FPanel->FFolderItems.GetFileItem(FPanel->FFolderItems.FindIndex(name, false)), 0);
    FAnswers.Script = {{"The following folder will be deleted: sub", mrYes},
                       {"Can't delete this file: /d/sub/inner. Try again?", mrNo},
                       {"The following folder will be deleted: tree", mrYes},
                       {"Can't delete this file: /d/tree/deeper/kept. Try again?", mrNo}};
    FPanel->DeleteItems();
    EXPECT_TRUE(FAnswers.Script.empty());
    EXPECT_EQ(FAnswers.Asked.size(), 4u);
    EXPECT_TRUE(FFileSystem.Exists("/d/sub/inner"));
    EXPECT_TRUE(FFileSystem.Exists("/d/tree/deeper/kept"));
    EXPECT_EQ(FProgress.back(), "DELETING... |0|0|");
}

TEST_F(OperationsWithFaults, TrashFailuresAreAskedAboutAndNotCounted) {
    FSystem.FTrashFails = {"/d/f1"};
    FSystem.FOnTrash = [this](const std::string& path) { FFileSystem.FNodes.erase(path); };
    FPanel->OnDeleteItems = [](bool& del, bool& trash, bool&) { del = trash = true; };
    for (const char* name : {"f1", "f2"})
        FPanel->FFolderItems.MarkItem(
            FPanel->FFolderItems.GetFileItem(FPanel->FFolderItems.FindIndex(name, false)), 0);
    FAnswers.Script = {{"Can't delete this file: /d/f1. Try again?", mrNo}};
    FPanel->DeleteItems();
    EXPECT_EQ(FSystem.FTrashed, std::vector<std::string>{"/d/f2"});
    EXPECT_EQ(FProgress.back(), "DELETING... |0|1|");
}

TEST_F(OperationsWithFaults, ArchiveDeletionNamesTheMarkedEntries) {
    FPanel->SetPanelType(ptArchive);
    FPanel->FFolderItems.ClearItems(true);
    FPanel->AddItem("a.txt", "docs/a.txt", ikFile, "", 1, false);
    FPanel->AddItem("b.txt", "docs/b.txt", ikFile, "", 1, false);
    for (const auto& item : FPanel->FFolderItems.FItems)
        FPanel->FFolderItems.MarkItem(item.get(), 0);
    std::vector<std::string> names;
    FPanel->OnArchiveDeleteItems = [&](const std::string&, const std::vector<std::string>& given) {
        names = given;
    };
    FPanel->DeleteItems();
    EXPECT_EQ(names, (std::vector<std::string>{"docs/a.txt", "docs/b.txt"}));
    EXPECT_TRUE(FPanel->FAbort);
    // Nothing is written: the manager's run writes its own list.
    for (const auto& [path, node] : FFileSystem.FNodes)
        EXPECT_FALSE(path.ends_with("kSDelA")) << path;
}

TEST_F(OperationsWithFaults, ItemInformationOfAFile) {
    TKMYFILEPANEL info(FOptions);
    info.FOtherPanel = FPanel.get();
    FPanel->FOtherPanel = &info;
    info.SetPanelType(ptItemInfo);
    FPanel->FFolderItems.SetItemIndex(FPanel->FFolderItems.FindIndex("f1", false));
    FFileSystem.AddFile("/d/notes.txt", 3);
    FPanel->ReadPanel(true, false);
    FPanel->FFolderItems.SetItemIndex(FPanel->FFolderItems.FindIndex("notes.txt", false));
    info.BuildItemInfo();
    std::vector<std::string> lines;
    for (const auto& item : info.FInfoItems.FItems)
        lines.push_back(item->Caption() + (item->HasInfo() ? item->Extra->Info : ""));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], " - standart informations - ");
    EXPECT_EQ(lines[1], "Name: notes.txt");
    EXPECT_EQ(lines[2], "Size: 3 B");
    EXPECT_EQ(lines[4], "Attributes: Arc ");
    EXPECT_EQ(lines[5], "Item type: Plain text");
    EXPECT_EQ(lines[6], "Content type: text/plain");
}

} // namespace
} // namespace ks
