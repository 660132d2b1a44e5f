// Archives browsed as folders in a panel, on archives the real zip makes: made-up folders, a
// folder stored after its contents, walking in and out, damage, Esc and the delete list.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

class PanelArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&FSystem, &FFiles);
        FOptions.PanelStartupDone = true;
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions);
        FPanel->AskUser = [this](const std::string& text, int, int, int) {
            FAsked.push_back(text);
            return 1;
        };
    }
    void TearDown() override {
        FPanel.reset();
        SetPlatform(nullptr, nullptr);
    }

    // zip run in the tree's "src" folder with args; the archive's full name.
    std::string Zip(const std::string& archive, const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec zip -q \"$@\"", FTree.Path() + "/src",
                                         FTree.Path() + "/" + archive};
        argv.insert(argv.end(), args.begin(), args.end());
        const test::TRunResult run = test::Run(argv, {});
        EXPECT_EQ(run.ExitCode, 0) << run.Out;
        return FTree.Path() + "/" + archive;
    }

    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const auto& item : FPanel->FItemsStruc->FItems)
            captions.push_back(item->Caption());
        return captions;
    }

    // Enter on the item captioned caption.
    void Enter(const std::string& caption) {
        ASSERT_GE(FPanel->FindItem(caption, true), 0) << caption;
        FPanel->ExecuteItem(false);
    }

    std::string Cursor() const {
        const TKFiles* item = FPanel->FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Caption() : std::string();
    }

    TempTree FTree;
    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFiles;
    TPanelOptions FOptions;
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    std::vector<std::string> FAsked;
};

TEST_F(PanelArchiveTest, ImpliedFoldersAreMadeUpAndWalkedInAndOut) {
    FTree.File("src/a/b/c.txt", "c");
    FTree.File("src/top.txt", "top");
    const std::string archive = Zip("t.zip", {"-r", "-D", "."});
    FPanel->FFolderItems.FPath = FTree.Path();
    FPanel->ReadPanel(false, false);
    Enter("t.zip");
    ASSERT_EQ(FPanel->PanelType(), ptArchive);
    EXPECT_TRUE(FAsked.empty());
    EXPECT_EQ(FPanel->GetPanelPath(), "ArchiveZIP: ");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"..", "a", "top.txt"}));

    // A made-up folder has no date, no host and no method.
    ASSERT_GE(FPanel->FindItem("a", true), 0);
    const TKFiles& made = *FPanel->FItemsStruc->FCurrentItem;
    EXPECT_EQ(made.Kind, ikFolder);
    EXPECT_EQ(FPanel->DateText(made), "n/a");
    EXPECT_EQ(made.Extra->HostOS, 99u);

    Enter("a");
    Enter("b");
    EXPECT_EQ(FPanel->GetPanelPath(), "ArchiveZIP: a/b/");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"..", "c.txt"}));
    EXPECT_EQ(FPanel->FItemsStruc->GetFileItem(1)->Size, 1);
    Enter("..");
    EXPECT_EQ(FPanel->FArchiveFolder, "a/");
    EXPECT_EQ(Cursor(), "b");
    Enter("..");
    EXPECT_EQ(Cursor(), "a");
    // Up at the root leaves the archive, the cursor on its file.
    Enter("..");
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    EXPECT_EQ(Cursor(), "t.zip");
    EXPECT_EQ(FPanel->FArchiveFileName, archive);
}

TEST_F(PanelArchiveTest, AFolderStoredAfterItsContentsIsListedOnce) {
    FTree.File("src/a/inner.txt", "x");
    // zip stores the names in the order given: the folder's own entry comes last.
    const std::string archive = Zip("late.zip", {"a/inner.txt", "a/"});
    FPanel->OpenArchive(archive, {});
    EXPECT_EQ(Captions(), (std::vector<std::string>{"..", "a"}));
    ASSERT_GE(FPanel->FindItem("a", true), 0);
    // The stored entry took the made-up folder's place: it has the archive's date and host.
    EXPECT_NE(FPanel->DateText(*FPanel->FItemsStruc->FCurrentItem), "n/a");
    EXPECT_EQ(FPanel->FItemsStruc->FCurrentItem->Extra->HostOS, 3u);
    EXPECT_EQ(FPanel->FArchiveEntries.size(), 2u);
}

TEST_F(PanelArchiveTest, FoldersAreShownWithoutRegardToCase) {
    FTree.File("src/Docs/x.txt", "x");
    FTree.File("src/DOCS/y.txt", "y");
    const std::string archive = Zip("case.zip", {"-r", "-D", "."});
    FPanel->OpenArchive(archive, {});
    // Two folders when deciding what to make up, one when showing.
    EXPECT_EQ(FPanel->FItemsStruc->Count(), 3);
    FPanel->ShowArchiveFolder("docs/");
    std::vector<std::string> shown = Captions();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"..", "x.txt", "y.txt"}));
}

TEST_F(PanelArchiveTest, DamageKeepsWhatWasReadAndSaysSo) {
    for (int i = 0; i < 5; ++i)
        FTree.File("src/f" + std::to_string(i) + ".txt", std::string(100, 'a' + i));
    const std::string archive = Zip("cut.zip", {"-r", "-D", "."});
    // Cut into the central directory: the end record is gone, so is the directory's tail.
    const auto size = std::filesystem::file_size(archive);
    std::filesystem::resize_file(archive, size - 60);
    FPanel->OpenArchive(archive, {});
    EXPECT_EQ(FPanel->PanelType(), ptArchive);
    ASSERT_EQ(FAsked.size(), 1u);
    EXPECT_NE(FAsked[0].find("Can't open archive: " + archive), std::string::npos);
    EXPECT_FALSE(FPanel->FArchiveError.empty());
}

TEST_F(PanelArchiveTest, EscStopsTheReadWithoutAMessage) {
    for (int i = 0; i < 100; ++i)
        FTree.File("src/f" + std::to_string(i), "x");
    const std::string archive = Zip("many.zip", {"-r", "-D", "."});
    std::vector<std::string> progress;
    FPanel->ProcessMessages = [&] {
        if (FPanel->FArchiveEntries.size() == 40)
            FPanel->FAbort = true;
    };
    FPanel->OnAfterChange = [&](TKAfterChange what, const std::string& text) {
        if (what == acProgress)
            progress.push_back(text);
    };
    FPanel->OpenArchive(archive, {});
    EXPECT_TRUE(FAsked.empty());
    EXPECT_EQ(FPanel->FArchiveEntries.size(), 40u);
    EXPECT_EQ(progress, (std::vector<std::string>{"OPENING ARCHIVE... |0|30|"}));
}

TEST_F(PanelArchiveTest, DeletingWritesTheStoredNamesForTheArchiveManager) {
    FTree.File("src/docs/one.txt", "1");
    FTree.File("src/docs/two.txt", "2");
    const std::string archive = Zip("del.zip", {"-r", "-D", "."});
    FPanel->OpenArchive(archive, "docs");
    FPanel->MarkItems("*.*", mmMark, MarkMatchingItems, false, false);
    // Without an archive manager nothing is asked of anyone.
    bool asked = false;
    FPanel->OnDeleteItems = [&](bool& del, bool&, bool&) {
        asked = true;
        del = true;
    };
    std::string named;
    std::vector<std::string> names;
    FPanel->DeleteMarked();
    EXPECT_FALSE(asked);
    FPanel->OnArchiveDeleteItems = [&](const std::string& archiveName,
                                       const std::vector<std::string>& given) {
        named = archiveName;
        names = given;
    };
    FPanel->DeleteMarked();
    EXPECT_EQ(named, archive);
    EXPECT_EQ(names, (std::vector<std::string>{"docs/one.txt", "docs/two.txt"}));

    // A folder goes with its tree: its stored name ends in "/".
    FPanel->OpenArchive(archive, "");
    FPanel->MarkItems("*.*", mmMark, MarkMatchingItems, false, false);
    FPanel->DeleteMarked();
    EXPECT_EQ(names, std::vector<std::string>{"docs/"});
}

} // namespace
} // namespace ks
