// The panel model's items, lookups, texts, marking and sort commands, without a disk.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "panel/KMYFILEPANEL.h"
#include "support/FakePanelView.h"
#include "support/FakeSystem.h"
#include "support/MemoryFileSystem.h"

namespace ks {
namespace {

TDirEntry Entry(const std::string& name, std::uint64_t size = 0, bool folder = false,
                std::uint32_t mode = 0) {
    TDirEntry e;
    e.Name = name;
    e.Size = size;
    e.IsFolder = folder;
    e.Mode = mode != 0 ? mode : (folder ? S_IFDIR | 0755 : S_IFREG | 0644);
    e.Attr = folder ? 16 : 32;
    if (!name.empty() && name[0] == '.' && name != "..")
        e.Attr |= 2;
    e.MTimeNs = 1700000000LL * 1000000000LL + 123456789;
    return e;
}

class PanelTest : public ::testing::Test {
protected:
    PanelTest() {
        SetPlatform(&FSystem, &FFiles);
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions, &FView);
        FPanel->OnAfterChange = [this](TKAfterChange what, const std::string& info) {
            FEvents.push_back(std::to_string(what) + ":" + info);
        };
    }
    ~PanelTest() override { SetPlatform(nullptr, nullptr); }

    // A folder listing as a full read leaves it: "..", the entries, sorted.
    void Fill(const std::vector<TDirEntry>& entries) {
        TKITEMSSTRUC& h = FPanel->FFolderItems;
        FPanel->AddSearchRecItem(h, Entry("..", 0, true), false);
        for (const TDirEntry& e : entries)
            FPanel->AddSearchRecItem(h, e, false);
        FPanel->SortItems();
        h.SetItemIndex(0);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : FPanel->FItemsStruc->FItems)
            names.push_back(item->Name);
        return names;
    }

    test::FakeSystem FSystem;
    test::MemoryFileSystem FFiles;
    TPanelOptions FOptions;
    test::FakePanelView FView;
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    std::vector<std::string> FEvents;
};

TEST_F(PanelTest, ListedEntriesBecomeItems) {
    FPanel->FFolderItems.FPath = "/home/ann";
    Fill({Entry("b.txt", 1000), Entry("A.EXE", 10), Entry("zdir", 4096, true), Entry("c.bat", 5),
          Entry("run", 7, false, S_IFREG | 0755), Entry("pack.zip", 9), Entry(".hidden", 1)});
    // Folders first, then executables (by mode for local files), then the rest; hidden left out.
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"..", "zdir", "run", "A.EXE", "b.txt", "c.bat", "pack.zip"}));
    const TKITEMSSTRUC& h = FPanel->FFolderItems;
    const TKFiles& up = *h.FItems[0];
    EXPECT_EQ(up.Kind, ikUpFolder);
    EXPECT_EQ(FPanel->SizeText(up), "up-folder");
    const TKFiles& dir = *h.FItems[1];
    EXPECT_EQ(dir.Kind, ikFolder);
    EXPECT_EQ(dir.Size, 0); // a folder's size is unknown until counted
    EXPECT_EQ(FPanel->InfoText(dir), "folder");
    const TKFiles& run = *h.FItems[2];
    EXPECT_TRUE(run.IsExecutable);
    EXPECT_FALSE(h.FItems[3]->IsExecutable); // A.EXE without an execute bit does not run here
    const TKFiles& zip = *h.FItems[6];
    EXPECT_TRUE(zip.IsPacked);
    EXPECT_EQ(zip.MTimeNs, 1700000000LL * 1000000000LL + 123456789);
    EXPECT_NE(zip.Time, 0u);
    EXPECT_EQ(FPanel->DateText(zip).size(), 16u);
    EXPECT_EQ(FPanel->InfoText(*h.FItems[4]), "1 000 B");
    EXPECT_EQ(FPanel->ItemFullName(4), "/home/ann/b.txt");
    EXPECT_EQ(FPanel->ItemFolder(4), "/home/ann");
    EXPECT_EQ(FPanel->ItemFullName(99), "");

    // Without a mode (an FTP listing) the extension decides.
    FPanel->SetPanelType(ptFTP);
    TDirEntry ftp = Entry("SETUP.EXE");
    ftp.Mode = 0;
    EXPECT_TRUE(
        FPanel->AddSearchRecItem(h.FPath.empty() ? FPanel->FFolderItems : FPanel->FFolderItems, ftp, false)
            ->IsExecutable);
    // Types without listings take nothing; "." never.
    FPanel->SetPanelType(ptItemInfo);
    EXPECT_EQ(FPanel->AddSearchRecItem(FPanel->FFolderItems, Entry("x"), false), nullptr);
    FPanel->SetPanelType(ptFolder);
    EXPECT_EQ(FPanel->AddSearchRecItem(FPanel->FFolderItems, Entry("."), false), nullptr);
}

TEST_F(PanelTest, HiddenAndSystemEntriesFollowTheOption) {
    TDirEntry fifo = Entry("pipe");
    fifo.Attr = 4;
    TKITEMSSTRUC& h = FPanel->FFolderItems;
    EXPECT_EQ(FPanel->AddSearchRecItem(h, Entry(".profile"), false), nullptr);
    EXPECT_EQ(FPanel->AddSearchRecItem(h, fifo, false), nullptr);
    FOptions.PanelShowHidden = true;
    EXPECT_NE(FPanel->AddSearchRecItem(h, Entry(".profile"), false), nullptr);
    EXPECT_NE(FPanel->AddSearchRecItem(h, fifo, false), nullptr);
}

TEST_F(PanelTest, SortedInsertKeepsTheOrder) {
    Fill({Entry("b.txt"), Entry("d.txt"), Entry("zdir", 0, true)});
    FPanel->AddSearchRecItem(FPanel->FFolderItems, Entry("c.txt"), true);
    FPanel->AddSearchRecItem(FPanel->FFolderItems, Entry("adir", 0, true), true);
    FPanel->AddSearchRecItem(FPanel->FFolderItems, Entry("e.txt"), true);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "adir", "zdir", "b.txt", "c.txt", "d.txt", "e.txt"}));
}

TEST_F(PanelTest, LookupsAndCursor) {
    Fill({Entry("README.TXT"), Entry("readme.doc"), Entry("Makefile")});
    // Sorted by upper-cased name: .., MAKEFILE, README.DOC, README.TXT
    EXPECT_EQ(FPanel->FindItem("readme.txt", false), -1); // exact, case-sensitive
    EXPECT_EQ(FPanel->FindItem("README.TXT", true), 3);
    EXPECT_EQ(FPanel->FFolderItems.FItemIndex, 3);
    EXPECT_EQ(FPanel->FFolderItems.FCurrentItem->Name, "README.TXT");
    EXPECT_EQ(FPanel->FindBestItem("readme.txt", false), 3);
    EXPECT_EQ(FPanel->FindBestItem("READ", true), 2);
    EXPECT_EQ(FPanel->FFolderItems.FItemIndex, 2);
    EXPECT_EQ(FPanel->FindBestItem("xyz", false), -1);
    EXPECT_EQ(FPanel->FindBestItem("", false), -1);
    // A missing name leaves the cursor on the first item.
    EXPECT_EQ(FPanel->FindItem("nothing", true), -1);
    EXPECT_EQ(FPanel->FFolderItems.FItemIndex, 0);

    FPanel->FFolderItems.SetItemIndex(1);
    FPanel->DeleteItem(1);
    EXPECT_EQ(FPanel->FFolderItems.FCurrentItem->Name, "readme.doc");
    FPanel->DeleteItem(7); // outside: nothing
    EXPECT_EQ(FPanel->FFolderItems.Count(), 3);
}

TEST_F(PanelTest, ItemInfoTexts) {
    FPanel->FFolderItems.FDriveFree = 400;
    FPanel->FFolderItems.FDriveSize = 1000;
    // An empty folder list still reports the free space.
    EXPECT_EQ(FPanel->GetItemInfo(), "free 400 B from 1 000 B");
    EXPECT_EQ(FPanel->ItemFullName(0), "");
    Fill({Entry("a.bin", 1000), Entry("b.bin", 234), Entry("dir", 0, true)});
    std::uint32_t keys = ssNone;
    FPanel->KeyboardState = [&] { return keys; };
    FPanel->FFolderItems.SetItemIndex(2);
    keys = ssAlt;
    const std::string altText = FPanel->GetItemInfo();
    EXPECT_EQ(altText.substr(16), " _ Arc ");
    keys = ssNone;

    FEvents.clear();
    FPanel->MarkItems("*.*", 0, 2, false, false);
    FPanel->MarkItems("*.*", 0, 3, false, false);
    FPanel->MarkItems("*.*", 0, 1, false, false); // a folder never counted adds nothing
    EXPECT_EQ(FPanel->GetItemInfo(), "3  items with size  1 234 B");
    ASSERT_EQ(FEvents.size(), 3u);
    EXPECT_EQ(FEvents.back(), "1:3  items with size  1 234 B");

    FPanel->SetPanelType(ptFTP);
    EXPECT_EQ(FPanel->GetItemInfo(), "");
    EXPECT_EQ(FPanel->GetPanelPath(), "FTP: ");
    FPanel->SetPanelType(ptFindResult);
    EXPECT_EQ(FPanel->GetPanelPath(), "FINDRESULT");
    FPanel->AddItem("..", "..", ikUpFolder, "", 0, false);
    TDirEntry found = Entry("x.txt");
    FPanel->AddSearchRecItem(FPanel->FFindItems, found, false)->SetFolder("/srv/data");
    FPanel->FFindItems.SetItemIndex(1);
    EXPECT_EQ(FPanel->GetItemInfo(), "/srv/data");
    EXPECT_EQ(FPanel->ItemFullName(1), "/srv/data/x.txt");
    EXPECT_EQ(FPanel->ItemFolder(1), "/srv/data");
    FPanel->SetPanelType(ptItemInfo);
    EXPECT_EQ(FPanel->GetItemInfo(), "");
    EXPECT_EQ(FPanel->ItemFullName(0), "");
}

TEST_F(PanelTest, BuiltItems) {
    EXPECT_EQ(FPanel->AddItem("cap", "", ikFolder, "i", 0, false), nullptr);
    TKFiles* special =
        FPanel->AddItem("Documents", "/home/ann/Documents", ikFolder, "My documents", 0, false);
    ASSERT_NE(special, nullptr);
    EXPECT_EQ(special->Caption(), "Documents");
    EXPECT_EQ(FPanel->InfoText(*special), "My documents");
    EXPECT_EQ(FPanel->DateText(*special), ""); // built from texts: no date
    TKFiles* pending = FPanel->AddItem("setup.exe", "dir/setup.exe", ikFile, "", 5, true);
    EXPECT_TRUE(pending->IsExecutable);
    EXPECT_EQ(FPanel->FPendingItems.size(), 1u);
    EXPECT_EQ(FPanel->FFolderItems.Count(), 1);
    FPanel->SetPanelType(ptItemInfo);
    FPanel->AddInfoLine("Size", "12 B", ikFile);
    EXPECT_EQ(FPanel->FInfoItems.FItems[0]->Caption(), "Size");
    EXPECT_EQ(FPanel->InfoText(*FPanel->FInfoItems.FItems[0]), "12 B");
    // A listed item without any date shows the "n/a" text.
    TDirEntry undated = Entry("old");
    undated.MTimeNs = 0;
    FPanel->SetPanelType(ptFolder);
    EXPECT_EQ(FPanel->DateText(*FPanel->AddSearchRecItem(FPanel->FFolderItems, undated, false)), "n/a");
}

TEST_F(PanelTest, PanelTypeSwitchesHolders) {
    Fill({Entry("a"), Entry("b")});
    FPanel->FFolderItems.SetItemIndex(2);
    int disconnects = 0;
    FPanel->OnFTPDisconnect = [&] { ++disconnects; };
    FPanel->SetPanelType(ptItemInfo);
    EXPECT_EQ(FPanel->FItemsStruc, &FPanel->FInfoItems);
    FPanel->SetPanelType(ptFolder);
    EXPECT_EQ(FPanel->FItemsStruc, &FPanel->FFolderItems);
    EXPECT_EQ(FPanel->FFolderItems.Count(), 3);
    EXPECT_EQ(FPanel->FFolderItems.FItemIndex, 2);
    FPanel->SetPanelType(ptFindResult);
    EXPECT_EQ(FPanel->FItemsStruc, &FPanel->FFindItems);
    FPanel->SetPanelType(ptPlaylist);
    EXPECT_EQ(FPanel->FItemsStruc, &FPanel->FFindItems);
    FPanel->SetPanelType(ptFTP);
    FPanel->SetPanelType(ptFTP);
    EXPECT_EQ(disconnects, 0);
    FPanel->SetPanelType(ptFolder);
    EXPECT_EQ(disconnects, 1);
    // Folder <-> drive list clears the folder list, and a clear always reports.
    FEvents.clear();
    FPanel->SetPanelType(ptDriveList);
    EXPECT_EQ(FPanel->FFolderItems.Count(), 0);
    EXPECT_EQ(FEvents.size(), 1u);
}

TEST_F(PanelTest, MarkingRules) {
    Fill({Entry("a.txt", 1), Entry("b.TXT", 2), Entry("c.doc", 4), Entry("d.bin", 8), Entry("e.bin", 16)});
    // Order: .., a.txt, b.TXT, c.doc, d.bin, e.bin
    FPanel->MarkItems("", 2, 1, false, false);
    FPanel->MarkItems("", 2, 2, false, false);
    FPanel->MarkItems("*.*", 2, -2, false, false); // invert: three marked, never ".."
    EXPECT_EQ(FPanel->FFolderItems.FMarkedCount, 3);
    EXPECT_EQ(FPanel->FFolderItems.FMarkedSize, 28);
    EXPECT_FALSE(FPanel->FFolderItems.FItems[0]->Marked);
    FPanel->MarkItems("*.*", 1, -2, false, false);
    FPanel->MarkItems("*.txt;*.doc", 0, -2, false, false);
    EXPECT_EQ(FPanel->FFolderItems.FMarkedCount, 3);
    FPanel->MarkItems("", 0, -2, false, false);
    EXPECT_EQ(FPanel->FFolderItems.FMarkedCount, 3);

    // Repaint: the cursor item repaints the cursor (after moving down when asked); another item
    // repaints all.
    FView.Clear();
    FPanel->FFolderItems.SetItemIndex(4);
    FPanel->MarkItems("*.*", 2, -1, true, false);
    EXPECT_TRUE(FPanel->FFolderItems.FItems[4]->Marked);
    EXPECT_EQ(FView.FCursorRepaints, 1);
    FPanel->MarkItems("*.*", 2, 1, true, false);
    EXPECT_EQ(FView.FFullRepaints, 1);

    // Ctrl+Del takes the marked items off the list only.
    FPanel->RemoveFromList();
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "a.txt", "e.bin"}));
    EXPECT_EQ(FPanel->FFolderItems.FMarkedCount, 0);
    FPanel->FFolderItems.SetItemIndex(2);
    FPanel->RemoveFromList();
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "a.txt"}));
}

TEST_F(PanelTest, DriveListToggleMarksFixedDisks) {
    FPanel->SetPanelType(ptDriveList);
    for (const auto& [root, type] :
         std::vector<std::pair<std::string, int>>{{"/", 3}, {"/media/usb/", 2}, {"/data/", 3}}) {
        auto item = std::make_unique<TKFiles>();
        item->Name = root;
        item->Kind = ikDrive;
        item->Attr = static_cast<std::uint32_t>(type);
        FPanel->FFolderItems.FItems.push_back(std::move(item));
    }
    FPanel->AddItem("Browse...", "<BROWSE>", ikFolder, "", 0, false);
    for (int round = 0; round < 2; ++round) {
        FPanel->MarkItems("*.*", 2, -2, false, false);
        EXPECT_EQ(FPanel->FFolderItems.FMarkedCount, 2);
    }
    EXPECT_FALSE(FPanel->FFolderItems.FItems[1]->Marked);
    EXPECT_EQ(FPanel->ItemFullName(1), "/media/usb/");
    EXPECT_EQ(FPanel->GetItemInfo(), "2  items with size  0 B");
}

TEST_F(PanelTest, SortCommandsSortAndReport) {
    FPanel->SetPanelType(ptFindResult);
    for (const auto& [name, size] :
         std::vector<std::pair<std::string, int>>{{"b.zip", 10}, {"a.txt", 9}, {"c", 10}})
        FPanel->AddSearchRecItem(FPanel->FFindItems, Entry(name, static_cast<std::uint64_t>(size)), false);
    TPanelOptions shared;
    TKMYFILEPANEL other(FOptions, nullptr);
    FPanel->FOtherPanel = &other;
    int reported = 0;
    FPanel->OnShowSortedStatus = [&] { ++reported; };
    FPanel->ChangeSortOption(3, false, false);
    EXPECT_EQ(FOptions.PanelSortMode, 3);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.zip", "c"}));
    FPanel->ChangeSortOption(2, false, false);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "a.txt", "b.zip"}));
    FPanel->ChangeSortOption(0, true, true);
    EXPECT_FALSE(FOptions.PanelFolderFirst);
    EXPECT_FALSE(FOptions.PanelExecutableFirst);
    EXPECT_EQ(reported, 3);
}

TEST_F(PanelTest, AskFallsBackToTheDefaultButton) {
    // The not-ready question after start-up: Cancel (the default) shows the drive list.
    FOptions.PanelStartupDone = true;
    FOptions.PanelDriveSizeAtOnce = false;
    FSystem.FDrives = {{"/", 3, ""}, {"/media/usb/", 2, ""}};
    FPanel->FFolderItems.FPath = "/media/usb/stick";
    FPanel->ReadPanel(false, false);
    EXPECT_EQ(FPanel->PanelType(), ptDriveList);
    EXPECT_EQ(FPanel->FFolderItems.FCurrentItem->Name, "/media/usb/");
}

} // namespace
} // namespace ks
