// The panel's keys, cursor and scroll moves, row geometry, cursor checks, trail and mouse,
// without a window: a recording view stands in for the widget, an in-memory file system for the
// disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "panel/KMYFILEPANEL.h"
#include "support/FakePanelView.h"
#include "support/FakeSystem.h"
#include "support/MemoryFileSystem.h"

namespace ks {
namespace {

// A folder of the in-memory disk with plain files of 100 bytes and empty sub-folders.
void AddFolder(test::MemoryFileSystem& files, const std::string& path, const std::vector<std::string>& names,
               const std::vector<std::string>& folders = {}) {
    const std::string prefix = path == "/" ? "" : path;
    files.AddFolder(path);
    for (const std::string& name : folders)
        files.AddFolder(prefix + "/" + name);
    for (const std::string& name : names)
        files.AddFile(prefix + "/" + name, 100);
}

// Every folder lies on a fixed disk, so re-reads keep the panel's state.
class FixedDiskSystem : public test::FakeSystem {
public:
    std::optional<TVolumeInfo> VolumeInfo(const std::string&) const override {
        TVolumeInfo info;
        info.DriveType = 3;
        return info;
    }
};

constexpr int RowHeight = 15;

class PanelInputTest : public ::testing::Test {
protected:
    PanelInputTest() {
        SetPlatform(&FSystem, &FFiles);
        AddFolder(FFiles, "/", {}, {"data"});
        AddFolder(FFiles, "/data", {"a.txt", "b.txt"}, {"temp"});
        AddFolder(FFiles, "/data/temp", {"t.txt"}, {"sub"});
        AddFolder(FFiles, "/data/temp/sub", {"s.txt"});
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions, &FView);
        FPanel->FName = "LEFTPANEL";
        FPanel->FActive = true;
        FPanel->OnAfterChange = [this](TKAfterChange what, const std::string&) {
            if (what == acItem)
                ++FItemReports;
        };
        FPanel->OnInfoList = [this](const std::string& text) { FInfo.push_back(text); };
        FPanel->OnAfterRefresh = [this](const std::string& text) { FRefresh.push_back(text); };
    }
    ~PanelInputTest() override { SetPlatform(nullptr, nullptr); }

    // count plain files "f00", "f01", ... of 10 bytes each, rows visible rows, cursor and top.
    void Fill(int count, int rows = 5, int cursor = 0, int top = 0) {
        TKITEMSSTRUC& h = FPanel->FFolderItems;
        h.FItems.clear();
        for (int i = 0; i < count; ++i) {
            auto item = std::make_unique<TKFiles>();
            item->Name = (i < 10 ? "f0" : "f") + std::to_string(i);
            item->Size = 10;
            h.FItems.push_back(std::move(item));
        }
        h.RecountTotals();
        FPanel->SetGeometry(200, rows * RowHeight, RowHeight);
        h.FTopIndex = top;
        h.SetItemIndex(cursor);
        FView.Clear();
        FItemReports = 0;
    }
    TKITEMSSTRUC& List() { return *FPanel->FItemsStruc; }
    int Cursor() { return List().FItemIndex; }
    int Top() { return List().FTopIndex; }
    std::vector<int> MarkedIndexes() {
        std::vector<int> marked;
        for (int i = 0; i < List().Count(); ++i) {
            if (List().FItems[static_cast<std::size_t>(i)]->Marked)
                marked.push_back(i);
        }
        return marked;
    }
    void Open(TKMYFILEPANEL& panel, const std::string& path) {
        panel.SetPanelType(ptFolder);
        panel.FFolderItems.FPath = path;
        panel.ReadPanel(false, false);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& item : List().FItems)
            names.push_back(item->Name);
        return names;
    }

    FixedDiskSystem FSystem;
    test::MemoryFileSystem FFiles;
    TPanelOptions FOptions;
    test::FakePanelView FView;
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    int FItemReports = 0;
    std::vector<std::string> FInfo;
    std::vector<std::string> FRefresh;
};

// --- the moving keys ---------------------------------------------------------------------------

struct MoveCase {
    const char* Name;
    int Key;
    std::uint32_t Shift;
    int Cursor, Top;       // before; 20 items, 5 visible rows
    int NewCursor, NewTop; // after
};

TEST_F(PanelInputTest, MovingKeysFollowTheTable) {
    const MoveCase cases[] = {
        {"Up", VK_UP, 0, 5, 3, 4, 3},
        {"Shift+Up like Up", VK_UP, ssShift, 5, 3, 4, 3},
        {"Alt+Up like Up", VK_UP, ssAlt, 5, 3, 4, 3},
        {"Up above the top row pulls the top", VK_UP, 0, 3, 3, 2, 2},
        {"Up on the first item", VK_UP, 0, 0, 0, 0, 0},
        {"Ctrl+Up scrolls, the cursor stays", VK_UP, ssCtrl, 5, 3, 5, 2},
        {"Ctrl+Up drags a cursor on the last row", VK_UP, ssCtrl, 7, 3, 6, 2},
        {"Ctrl+Up at the top moves the cursor", VK_UP, ssCtrl, 2, 0, 1, 0},
        {"Ctrl+Shift+Up is a plain Up", VK_UP, ssCtrl | ssShift, 5, 3, 4, 3},
        {"Down", VK_DOWN, 0, 5, 3, 6, 3},
        {"Down off the last row pushes the top", VK_DOWN, 0, 7, 3, 8, 4},
        {"Down on the last item", VK_DOWN, 0, 19, 15, 19, 15},
        {"Shift+Down like Down", VK_DOWN, ssShift, 5, 3, 6, 3},
        {"Ctrl+Down scrolls, the cursor stays", VK_DOWN, ssCtrl, 5, 3, 5, 4},
        {"Ctrl+Down drags a cursor on the top row", VK_DOWN, ssCtrl, 3, 3, 4, 4},
        {"Ctrl+Down at the end moves the cursor", VK_DOWN, ssCtrl, 17, 15, 18, 15},
        {"PageUp", VK_PRIOR, 0, 12, 10, 7, 7},
        {"PageUp near the start", VK_PRIOR, 0, 2, 0, 0, 0},
        {"Shift+PageUp", VK_PRIOR, ssShift, 12, 10, 7, 7},
        {"PageDown", VK_NEXT, 0, 3, 0, 8, 4},
        {"PageDown near the end", VK_NEXT, 0, 17, 15, 19, 15},
        {"Home", VK_HOME, ssShift, 12, 10, 0, 0},
        {"End", VK_END, 0, 2, 0, 19, 15},
        {"Left pages up", VK_LEFT, 0, 12, 10, 7, 7},
        {"Right pages down", VK_RIGHT, 0, 3, 0, 8, 4},
        {"Shift+Left does nothing", VK_LEFT, ssShift, 12, 10, 12, 10},
        {"Alt+Right does nothing", VK_RIGHT, ssAlt, 3, 0, 3, 0},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Fill(20, 5, c.Cursor, c.Top);
        FPanel->KeyDown(c.Key, c.Shift);
        EXPECT_EQ(Cursor(), c.NewCursor);
        EXPECT_EQ(Top(), c.NewTop);
        EXPECT_EQ(List().FCurrentItem, List().GetFileItem(c.NewCursor));
        const bool moves = (c.Key != VK_LEFT && c.Key != VK_RIGHT) || c.Shift == 0;
        if (moves) {
            ASSERT_FALSE(FView.FCalls.empty());
            EXPECT_EQ(FView.FCalls.back(), "RepaintCursor");
        } else {
            EXPECT_TRUE(FView.FCalls.empty());
        }
        // One report per moved key, however many rows it moved.
        EXPECT_EQ(FItemReports, c.NewCursor != c.Cursor ? 1 : 0);
    }
}

TEST_F(PanelInputTest, PageMovesLockPainting) {
    for (const int key : {VK_PRIOR, VK_NEXT, VK_END}) {
        SCOPED_TRACE(key);
        Fill(20, 5, 10, 8);
        FPanel->KeyDown(key, 0);
        EXPECT_EQ(FView.FCalls, (std::vector<std::string>{"Lock 1", "Lock 0", "RepaintCursor"}));
        EXPECT_FALSE(FView.FLocked);
    }
}

TEST_F(PanelInputTest, MovesOnAnEmptyListOrWithoutRows) {
    Fill(0);
    for (const int key : {VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_END, VK_HOME}) {
        FPanel->KeyDown(key, 0);
        FPanel->KeyDown(key, ssCtrl);
    }
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(Top(), 0);
    EXPECT_EQ(List().FCurrentItem, nullptr);
    // Clearing a list sends the cursor home even though the list is empty now.
    Fill(20, 5, 12, 10);
    List().ClearItems(true);
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(Top(), 0);
    // Before the view reported a height the cursor still stays in sight.
    Fill(20, 0, 0, 0);
    FPanel->KeyDown(VK_DOWN, 0);
    FPanel->KeyDown(VK_DOWN, 0);
    EXPECT_EQ(Cursor(), 2);
    EXPECT_EQ(Top(), 2);
    // A cursor left past the end of a shrunk list moves from the last item.
    Fill(20, 5, 30, 28);
    FPanel->KeyDown(VK_UP, 0);
    EXPECT_EQ(Cursor(), 18);
    EXPECT_EQ(Top(), 18);
}

TEST_F(PanelInputTest, WheelScrollsByTheStep) {
    Fill(20, 5, 2, 0);
    FPanel->MouseWheel(-120);
    EXPECT_EQ(Top(), 3);
    EXPECT_EQ(Cursor(), 3);
    EXPECT_EQ(FView.FCalls.back(), "RepaintCursor");
    FOptions.PanelWheelStep = 1;
    FPanel->MouseWheel(120);
    EXPECT_EQ(Top(), 2);
    EXPECT_EQ(Cursor(), 3);
    FView.Clear();
    FPanel->MouseWheel(0);
    EXPECT_TRUE(FView.FCalls.empty());
    // At the end of the list the wheel moves the cursor on instead.
    Fill(20, 5, 16, 15);
    FOptions.PanelWheelStep = 3;
    FPanel->MouseWheel(-1);
    EXPECT_EQ(Top(), 15);
    EXPECT_EQ(Cursor(), 19);
}

// --- marking keys --------------------------------------------------------------------------------

TEST_F(PanelInputTest, MarkingKeys) {
    Fill(6, 5, 1);
    FPanel->KeyDown(VK_INSERT, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1}));
    EXPECT_EQ(Cursor(), 2);
    FPanel->KeyDown(VK_INSERT, ssShift); // not a marking key
    FPanel->KeyDown(VK_SPACE, 0);        // a file: marked, nothing counted, the cursor stays
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Cursor(), 2);
    EXPECT_TRUE(FRefresh.empty());
    FPanel->KeyDown(VK_SPACE, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1}));
    FPanel->KeyDown(VK_MULTIPLY, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_EQ(List().FMarkedCount, 5);
    EXPECT_EQ(List().FMarkedSize, 50);
    FPanel->KeyDown(VK_SUBTRACT, ssCtrl);
    EXPECT_TRUE(MarkedIndexes().empty());
    FPanel->KeyDown(VK_ADD, ssCtrl);
    EXPECT_EQ(List().FMarkedCount, 6);
    FPanel->KeyDown(VK_SUBTRACT, ssCtrl);
    FPanel->KeyDown(VK_LETTER('A'), ssCtrl);
    EXPECT_EQ(List().FMarkedCount, 6);
    FPanel->KeyDown(VK_SUBTRACT, ssCtrl);
    FPanel->KeyDown(VK_LETTER('A'), 0);
    FPanel->KeyDown(VK_MULTIPLY, ssShift);
    EXPECT_EQ(List().FMarkedCount, 0);

    // Num+ and Num- ask for the mask; the handler may change the operation; empty cancels.
    std::vector<TKSelectType> asked;
    std::string answer = "F01;f03*;f05";
    TKSelectType answerOperation = stSelect;
    FPanel->OnGetMaskForSelect = [&](TKSelectType& operation, std::string& mask) {
        asked.push_back(operation);
        EXPECT_EQ(mask, "*.*");
        mask = answer;
        operation = answerOperation;
    };
    FPanel->KeyDown(VK_ADD, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1, 3, 5}));
    answer = "f01";
    answerOperation = stDeselect;
    FPanel->KeyDown(VK_SUBTRACT, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{3, 5}));
    answer = "";
    answerOperation = stDeselect;
    FPanel->KeyDown(VK_SUBTRACT, 0);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{3, 5}));
    EXPECT_EQ(asked, (std::vector<TKSelectType>{stSelect, stDeselect, stDeselect}));
}

TEST_F(PanelInputTest, SpaceCountsAFolderItJustMarked) {
    Open(*FPanel, "/data");
    ASSERT_EQ(Names(), (std::vector<std::string>{"..", "temp", "a.txt", "b.txt"}));
    FPanel->FindItem("temp", true);
    FRefresh.clear();
    FPanel->KeyDown(VK_SPACE, 0);
    EXPECT_TRUE(List().FCurrentItem->Marked);
    ASSERT_FALSE(FRefresh.empty());
    EXPECT_EQ(FRefresh.front(), "WORKING... ");
    // Unmarking does not count; nor does a marked folder while counting is disabled.
    FRefresh.clear();
    FPanel->KeyDown(VK_SPACE, 0);
    EXPECT_TRUE(FRefresh.empty());
    FOptions.PanelCountDisabled = true;
    FPanel->KeyDown(VK_SPACE, 0);
    EXPECT_TRUE(List().FCurrentItem->Marked);
    EXPECT_TRUE(FRefresh.empty());
}

// --- command keys --------------------------------------------------------------------------------

TEST_F(PanelInputTest, CountDeleteAndRemoveKeysFollowTheirOptions) {
    Open(*FPanel, "/data");
    FPanel->FindItem("a.txt", true);
    int deleteAsked = 0;
    FPanel->OnDeleteItems = [&](bool&, bool&, bool&) { ++deleteAsked; };
    std::vector<bool> runIts;
    bool stop = true;
    FPanel->OnCalcDirSizeCallBack = [&](bool& runIt) {
        runIts.push_back(runIt);
        if (stop)
            runIt = false;
    };
    const auto counted = [&] {
        const bool any = !FRefresh.empty() && FRefresh.front() == "WORKING... ";
        FRefresh.clear();
        return any;
    };
    FRefresh.clear();

    FPanel->KeyDown(VK_F(3), 0);
    EXPECT_FALSE(counted());
    stop = false;
    FPanel->KeyDown(VK_F(3), 0);
    EXPECT_TRUE(counted());
    EXPECT_EQ(runIts, (std::vector<bool>{true, true}));
    FPanel->KeyDown(VK_LETTER('Q'), ssCtrl);
    EXPECT_TRUE(counted());
    FPanel->KeyDown(VK_LETTER('Q'), 0);
    EXPECT_FALSE(counted());
    FOptions.PanelCountDisabled = true;
    FPanel->KeyDown(VK_F(3), 0);
    FPanel->KeyDown(VK_LETTER('Q'), ssCtrl);
    EXPECT_FALSE(counted());
    EXPECT_EQ(runIts.size(), 2u);

    FPanel->KeyDown(VK_DELETE, 0);
    EXPECT_EQ(deleteAsked, 0);
    FPanel->KeyDown(VK_F(8), 0);
    EXPECT_EQ(deleteAsked, 1);
    FOptions.PanelDelKeyDeletes = true;
    FPanel->KeyDown(VK_DELETE, 0);
    EXPECT_EQ(deleteAsked, 2);
    FPanel->KeyDown(VK_F(8), ssShift);
    FOptions.PanelDeleteDisabled = true;
    FPanel->KeyDown(VK_F(8), 0);
    FPanel->KeyDown(VK_DELETE, 0);
    EXPECT_EQ(deleteAsked, 2);

    // Ctrl+Del takes the cursor item off the list only.
    FPanel->KeyDown(VK_DELETE, ssCtrl);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "temp", "b.txt"}));
    EXPECT_EQ(deleteAsked, 2);
}

TEST_F(PanelInputTest, SortKeys) {
    Open(*FPanel, "/data");
    int sortedStatus = 0;
    FPanel->OnShowSortedStatus = [&] { ++sortedStatus; };
    FPanel->KeyDown(VK_F(3), ssCtrl);
    EXPECT_EQ(FOptions.PanelSortMode, 3);
    FPanel->KeyDown(VK_F(2), ssCtrl);
    EXPECT_EQ(FOptions.PanelSortMode, 2);
    FPanel->KeyDown(VK_F(1), ssCtrl);
    EXPECT_EQ(FOptions.PanelSortMode, 1);
    FPanel->KeyDown(VK_F(6), ssCtrl);
    EXPECT_FALSE(FOptions.PanelFolderFirst);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "a.txt", "b.txt", "temp"}));
    FPanel->KeyDown(VK_F(7), ssCtrl);
    EXPECT_FALSE(FOptions.PanelExecutableFirst);
    FPanel->KeyDown(VK_F(6), 0); // F6 alone is not a sort key
    EXPECT_FALSE(FOptions.PanelFolderFirst);
    EXPECT_EQ(sortedStatus, 5);

    // Ctrl+S sorts the list as it is (find results come unsorted).
    FOptions.PanelFolderFirst = true;
    FView.Clear();
    FPanel->KeyDown(VK_LETTER('S'), ssCtrl);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "temp", "a.txt", "b.txt"}));
    EXPECT_EQ(sortedStatus, 6);
    EXPECT_EQ(FView.FCalls.back(), "RepaintAll");
}

TEST_F(PanelInputTest, CtrlRRereadsKeepingMarksAndCursor) {
    Open(*FPanel, "/data");
    FPanel->FindItem("b.txt", true);
    FPanel->KeyDown(VK_INSERT, 0);
    FFiles.AddFile("/data/c.txt", 100);
    FPanel->KeyDown(VK_LETTER('R'), ssCtrl);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "temp", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{3}));
}

TEST_F(PanelInputTest, CopyNameToClipboard) {
    Open(*FPanel, "/data");
    FPanel->FindItem("a.txt", true);
    FPanel->KeyDown(VK_INSERT, ssCtrl);
    EXPECT_EQ(FSystem.FClipboard, "a.txt");
    FPanel->KeyDown(VK_HOME, 0);
    FPanel->KeyDown(VK_INSERT, ssCtrl);
    EXPECT_EQ(FSystem.FClipboard, "/data");
    // An item-information line gives its value.
    FPanel->SetPanelType(ptItemInfo);
    FPanel->AddInfoLine("Size", "1 234 B", ikFile);
    List().SetItemIndex(0);
    FPanel->KeyDown(VK_INSERT, ssCtrl);
    EXPECT_EQ(FSystem.FClipboard, "1 234 B");
}

TEST_F(PanelInputTest, EscMenuKeyAndFtpKey) {
    Fill(3);
    std::vector<std::string> menus;
    FPanel->OnPopUpMenu = [&](int x, int y, bool atOther) {
        menus.push_back(std::to_string(x) + "," + std::to_string(y) + (atOther ? " other" : ""));
    };
    FPanel->KeyDown(VK_ESCAPE, ssShift);
    EXPECT_TRUE(FPanel->FAbort);
    FPanel->KeyDown(VK_APPS, 0);
    FPanel->KeyDown(VK_APPS, ssCtrl);
    FPanel->KeyDown(VK_F10, ssShift);
    FPanel->KeyDown(VK_F10, 0);
    EXPECT_EQ(menus, (std::vector<std::string>{"0,0 other", "0,0 other", "0,0 other"}));

    // Without a handler Ctrl+F does nothing; a handler that leaves FTP disabled neither.
    FPanel->KeyDown(VK_LETTER('F'), ssCtrl);
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    FPanel->OnFTPConnections = [](TKFtpConnection& connection) { EXPECT_TRUE(connection.DisableFTP); };
    FPanel->KeyDown(VK_LETTER('F'), ssCtrl);
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    FPanel->OnFTPConnections = [](TKFtpConnection& connection) {
        connection.DisableFTP = false;
        connection.Host = "ftp.example.org";
        connection.Port = 2121;
    };
    FPanel->KeyDown(VK_LETTER('F'), ssCtrl | ssShift);
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    // The connection is kept; with no session to connect through the panel stays on its folder.
    FPanel->KeyDown(VK_LETTER('F'), ssCtrl);
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    EXPECT_EQ(FPanel->FFtpConnection.Host, "ftp.example.org");
    EXPECT_EQ(FPanel->FFtpConnection.Port, 2121);
}

TEST_F(PanelInputTest, WhileBusyOnlyMovesEscAndSavingRun) {
    Open(*FPanel, "/data");
    FPanel->FindItem("temp", true);
    int deleteAsked = 0;
    FPanel->OnDeleteItems = [&](bool&, bool&, bool&) { ++deleteAsked; };
    int menus = 0;
    FPanel->OnPopUpMenu = [&](int, int, bool) { ++menus; };
    FPanel->FState |= psBusy | psCounting;
    FInfo.clear();

    FPanel->KeyDown(VK_RETURN, 0);
    FPanel->KeyDown(VK_RETURN, ssShift);
    FPanel->KeyDown(VK_F(8), 0);
    FPanel->KeyDown(VK_APPS, 0);
    FPanel->KeyDown(VK_INSERT, 0);
    FPanel->KeyDown(VK_F(1), ssAlt);
    FPanel->KeyDown(VK_PRIOR, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data");
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
    EXPECT_EQ(deleteAsked, 0);
    EXPECT_EQ(menus, 0);
    EXPECT_TRUE(MarkedIndexes().empty());
    EXPECT_TRUE(FInfo.empty());

    FPanel->KeyDown(VK_END, 0);
    EXPECT_EQ(Cursor(), 3);
    FPanel->KeyDown(VK_UP, 0);
    EXPECT_EQ(Cursor(), 2);
    FPanel->KeyDown(VK_LETTER('2'), ssCtrl);
    EXPECT_EQ(FOptions.SavedFolders[2], "/data");
    FPanel->KeyDown(VK_ESCAPE, 0);
    EXPECT_TRUE(FPanel->FAbort);
}

// --- keys that walk --------------------------------------------------------------------------------

TEST_F(PanelInputTest, EnterAndParentFolderKeys) {
    Open(*FPanel, "/data");
    FPanel->FindItem("temp", true);
    FPanel->KeyDown(VK_RETURN, ssCtrl); // not an Enter row
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data");
    FPanel->KeyDown(VK_RETURN, 0);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data/temp");
    FPanel->FindItem("sub", true);
    FPanel->KeyDown(VK_RETURN, 0);
    ASSERT_EQ(FPanel->FFolderItems.FPath, "/data/temp/sub");

    // Ctrl+PageUp pages up, then goes up with the cursor on the folder left.
    FPanel->KeyDown(VK_END, 0);
    FPanel->KeyDown(VK_PRIOR, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data/temp");
    ASSERT_NE(List().FCurrentItem, nullptr);
    EXPECT_EQ(List().FCurrentItem->Name, "sub");

    // Backspace goes up only with its option on.
    FPanel->KeyDown(VK_BACK, 0);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data/temp");
    FOptions.PanelBackspaceUp = true;
    FPanel->KeyDown(VK_BACK, ssShift);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data/temp");
    FPanel->KeyDown(VK_BACK, 0);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data");
    EXPECT_EQ(List().FCurrentItem->Name, "temp");

    // Shift+Enter runs a file like Enter (it only differs for archives).
    FPanel->FindItem("a.txt", true);
    FPanel->KeyDown(VK_RETURN, ssShift);
    EXPECT_EQ(FSystem.FStarted, (std::vector<std::string>{"/data/a.txt "}));

    // Ctrl+\ goes to the root of the mount.
    FPanel->KeyDown(VK_OEM_5, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/");
    EXPECT_EQ(Names(), (std::vector<std::string>{"data"}));
}

TEST_F(PanelInputTest, CtrlLeftRightSwitchMounts) {
    FSystem.FDrives = {{"/", 3, ""}, {"/media/usb/", 2, "USB"}};
    AddFolder(FFiles, "/media/usb", {"u.txt"});
    Open(*FPanel, "/data");
    FPanel->KeyDown(VK_RIGHT, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/media/usb");
    FPanel->KeyDown(VK_RIGHT, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/");
    FPanel->KeyDown(VK_LEFT, ssCtrl);
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/media/usb");
    EXPECT_EQ(Cursor(), 0);
}

class TwoPanelsTest : public PanelInputTest {
protected:
    TwoPanelsTest() {
        FRight = std::make_unique<TKMYFILEPANEL>(FOptions, &FRightView);
        FRight->FName = "RIGHTPANEL";
        FRight->OnInfoList = [this](const std::string& text) { FRightInfo.push_back(text); };
        FPanel->FOtherPanel = FRight.get();
        FRight->FOtherPanel = FPanel.get();
        Open(*FPanel, "/data");
        Open(*FRight, "/data/temp");
    }
    test::FakePanelView FRightView;
    std::unique_ptr<TKMYFILEPANEL> FRight;
    std::vector<std::string> FRightInfo;
};

TEST_F(TwoPanelsTest, AltF1AndAltF2OpenTheDriveListOfTheirPanel) {
    FRight->GotFocus();
    FInfo.clear();
    // Alt+F1 in the right panel: the left one takes the focus and shows the drive list.
    FRight->KeyDown(VK_F(1), ssAlt);
    EXPECT_EQ(FView.FFocusRequests, 1);
    EXPECT_TRUE(FPanel->FActive);
    EXPECT_FALSE(FRight->FActive);
    EXPECT_EQ(FPanel->PanelType(), ptDriveList);
    EXPECT_EQ(FInfo, (std::vector<std::string>{"Choose drive or folder you'd like to work with..."}));
    EXPECT_EQ(FRight->PanelType(), ptFolder);
    EXPECT_TRUE(FRightInfo.empty());
    ASSERT_GT(FPanel->FFolderItems.Count(), 0);
    EXPECT_EQ(FPanel->FFolderItems.FItems[0]->Name, "/");

    // Alt+F2 in the right panel: its own drive list. Alt+F1 with Ctrl is no drive key.
    FRight->KeyDown(VK_F(2), ssAlt | ssCtrl);
    EXPECT_EQ(FRight->PanelType(), ptFolder);
    FRight->KeyDown(VK_F(2), ssAlt);
    EXPECT_EQ(FRight->PanelType(), ptDriveList);
    EXPECT_EQ(FRightView.FFocusRequests, 0);

    // A busy panel does not switch.
    Open(*FPanel, "/data");
    FPanel->FState |= psBusy;
    FPanel->KeyDown(VK_F(1), ssAlt);
    EXPECT_EQ(FPanel->PanelType(), ptFolder);
}

TEST_F(TwoPanelsTest, SavedFoldersAreSharedByBothPanels) {
    // A slot never saved opens the drive list.
    FRight->KeyDown(VK_LETTER('1'), ssAlt);
    EXPECT_EQ(FRight->PanelType(), ptDriveList);

    FInfo.clear();
    Open(*FPanel, "/data/temp");
    FPanel->KeyDown(VK_LETTER('1'), ssCtrl);
    EXPECT_EQ(FOptions.SavedFolders[1], "/data/temp");
    EXPECT_EQ(FInfo, (std::vector<std::string>{"Folder saved: 1 - /data/temp"}));
    FPanel->KeyDown(VK_0 + 9, ssCtrl);
    EXPECT_EQ(FInfo.back(), "Folder saved: 9 - /data/temp");

    FRight->KeyDown(VK_LETTER('1'), ssAlt);
    EXPECT_EQ(FRight->PanelType(), ptFolder);
    EXPECT_EQ(FRight->FFolderItems.FPath, "/data/temp");
    EXPECT_EQ(FRight->FFolderItems.Count(), 3); // "..", sub, t.txt
    // Shift+1 and Ctrl+Alt+1 are no slot keys.
    FRight->KeyDown(VK_LETTER('2'), ssShift);
    FRight->KeyDown(VK_LETTER('2'), ssAlt | ssCtrl);
    EXPECT_EQ(FRight->FFolderItems.FPath, "/data/temp");
    EXPECT_EQ(FOptions.SavedFolders[2], "");
}

// --- geometry and cursor checks ---------------------------------------------------------------------

TEST_F(PanelInputTest, GeometryRowsAndHits) {
    FPanel->SetGeometry(200, 0, 15);
    EXPECT_EQ(FPanel->FVisibleRows, 0);
    FPanel->SetGeometry(200, 104, 15);
    EXPECT_EQ(FPanel->FVisibleRows, 6);
    FPanel->SetGeometry(200, 104, 0); // a zero row height keeps the last one
    EXPECT_EQ(FPanel->FItemHeight, 15);

    Fill(0, 4);
    EXPECT_EQ(FPanel->ItemAtPos(0), -1);
    Fill(10, 4, 0, 3);
    EXPECT_EQ(FPanel->ItemAtPos(-1), -1);
    EXPECT_EQ(FPanel->ItemAtPos(0), 3);
    EXPECT_EQ(FPanel->ItemAtPos(14), 3);
    EXPECT_EQ(FPanel->ItemAtPos(15), 4);
    EXPECT_EQ(FPanel->ItemAtPos(59), 6);
    EXPECT_EQ(FPanel->ItemAtPos(60), -1); // below the last whole row
    Fill(10, 4, 0, 8);
    EXPECT_EQ(FPanel->ItemAtPos(20), 9);
    EXPECT_EQ(FPanel->ItemAtPos(30), -1); // a row without an item

    EXPECT_EQ(FPanel->ItemRect(8), (TRect{0, 0, 199, 14}));
    EXPECT_EQ(FPanel->ItemRect(10), (TRect{0, 30, 199, 44}));
    EXPECT_EQ(FPanel->ItemRect(7), (TRect{0, -15, 199, -1}));
}

TEST_F(PanelInputTest, CursorChecksOfAPass) {
    Fill(10, 4, 2, 0);
    EXPECT_FALSE(FPanel->CheckCursor());
    EXPECT_EQ(Cursor(), 2);

    Fill(10, 4, -3, -2);
    EXPECT_TRUE(FPanel->CheckCursor()); // the top was clamped
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(Top(), 0);

    Fill(10, 4, 25, 0); // past the end: to the last item, in view
    EXPECT_TRUE(FPanel->CheckCursor());
    EXPECT_EQ(Cursor(), 9);
    EXPECT_EQ(Top(), 6);
    EXPECT_EQ(List().FCurrentItem, List().GetFileItem(9));

    Fill(10, 4, 7, 1); // below the view
    EXPECT_TRUE(FPanel->CheckCursor());
    EXPECT_EQ(Top(), 4);
    EXPECT_EQ(Cursor(), 7);

    Fill(10, 4, 2, 5); // above the view
    EXPECT_TRUE(FPanel->CheckCursor());
    EXPECT_EQ(Top(), 2);

    Fill(0, 4, 5, 3);
    EXPECT_TRUE(FPanel->CheckCursor());
    EXPECT_EQ(Top(), 0);
    EXPECT_EQ(Cursor(), 0);
}

// --- trail ---------------------------------------------------------------------------------------------

TEST_F(PanelInputTest, TrailFadesInThreeSteps) {
    Fill(10, 5, 3, 0);
    FPanel->FCurrentAlpha = 96;
    FPanel->FTrail[0] = 96; // rows the cursor left
    FPanel->FTrail[1] = 50;
    FPanel->FTrail[3] = 96; // the cursor row keeps its weight

    FPanel->ExternalThread(); // the trail is off: nothing
    EXPECT_EQ(FPanel->FTrail[0], 96);
    EXPECT_TRUE(FView.FCalls.empty());

    FOptions.PanelAlphaCursorTrail = true;
    const std::vector<std::vector<int>> steps = {{64, 18}, {32, 0}, {0, 0}};
    for (const std::vector<int>& expected : steps) {
        FView.Clear();
        FPanel->ExternalThread();
        EXPECT_EQ(FPanel->FTrail[0], expected[0]);
        EXPECT_EQ(FPanel->FTrail[1], expected[1]);
        EXPECT_EQ(FPanel->FTrail[3], 96);
        EXPECT_EQ(FView.FCalls, (std::vector<std::string>{"RepaintCursor"}));
    }
    FView.Clear();
    FPanel->ExternalThread();
    EXPECT_TRUE(FView.FCalls.empty());

    // A very light bar still fades.
    FPanel->FCurrentAlpha = 2;
    FOptions.PanelAlphaActive = 2;
    FPanel->FTrail[0] = 2;
    FPanel->ExternalThread();
    FPanel->ExternalThread();
    EXPECT_EQ(FPanel->FTrail[0], 0);
}

TEST_F(PanelInputTest, FocusChangeFadesTheBarToTheOtherWeight) {
    Fill(10, 5, 3, 0);
    FOptions.PanelAlphaCursorTrail = true;
    FPanel->FCurrentAlpha = FOptions.PanelAlphaActive;
    FPanel->ExternalThread();
    EXPECT_TRUE(FView.FCalls.empty());
    FPanel->FActive = false;
    FPanel->ExternalThread();
    EXPECT_EQ(FPanel->FCurrentAlpha, FOptions.PanelAlphaInactive);
    EXPECT_EQ(FView.FCalls, (std::vector<std::string>{"RepaintCursor"}));
    // A cursor out of view leaves the weight alone.
    Fill(10, 5, 8, 0);
    FPanel->FActive = true;
    FPanel->ExternalThread();
    EXPECT_EQ(FPanel->FCurrentAlpha, FOptions.PanelAlphaInactive);
}

// --- mouse ---------------------------------------------------------------------------------------------

TEST_F(PanelInputTest, PressMovesTheCursorAndTracks) {
    Fill(20, 5, 0, 2);
    FPanel->FActive = false;
    FPanel->MouseDown(mbLeftButton, 0, 10, 2 * RowHeight + 3);
    EXPECT_EQ(FView.FFocusRequests, 1);
    EXPECT_TRUE(FPanel->FActive);
    EXPECT_EQ(Cursor(), 4);
    EXPECT_EQ(FPanel->FPressIndex, 4);
    EXPECT_TRUE(FPanel->FMouseTracking);
    FPanel->MouseMove(ssLeft, 10, 4 * RowHeight);
    EXPECT_EQ(Cursor(), 6);
    EXPECT_EQ(FView.FCalls.back(), "RepaintCursor");
    // A move without a button held ends the tracking.
    FPanel->MouseMove(0, 10, 1);
    EXPECT_FALSE(FPanel->FMouseTracking);
    EXPECT_EQ(Cursor(), 6);

    // A press below the items does not track; the active panel keeps its focus.
    Fill(2, 5);
    FPanel->MouseDown(mbLeftButton, 0, 10, 4 * RowHeight);
    EXPECT_FALSE(FPanel->FMouseTracking);
    EXPECT_EQ(FView.FFocusRequests, 0);
    EXPECT_EQ(Cursor(), 0);
}

TEST_F(PanelInputTest, AutoScrollSpeedGrowsWithTheDistance) {
    Fill(100, 5, 50, 48);
    const int height = 5 * RowHeight;
    FPanel->MouseDown(mbLeftButton, 0, 10, RowHeight);
    EXPECT_EQ(Cursor(), 49);
    FPanel->MouseMove(ssLeft, 10, height - 1); // the last whole row ends at height - 1
    EXPECT_EQ(Cursor(), 52);
    EXPECT_FALSE(FView.TimerRunning(ptmAutoScroll));
    FPanel->MouseMove(ssLeft, 10, height);
    EXPECT_EQ(FView.FTimers.at(ptmAutoScroll), 50);
    FPanel->MouseMove(ssLeft, 10, height + 40); // does not restart the running timer
    EXPECT_EQ(std::count(FView.FCalls.begin(), FView.FCalls.end(), "StartTimer 1 50"), 1);

    struct Tick {
        int Y;
        int Rows; // moved per tick, negative up
    };
    const Tick ticks[] = {{height, 1},      {height + 29, 1}, {height + 30, 2},
                          {height + 95, 4}, {height - 3, 0},  {-1, -1},
                          {-30, -2},        {-61, -3},        {-2 * RowHeight, -2}};
    for (const Tick& t : ticks) {
        SCOPED_TRACE(t.Y);
        FPanel->FMouseY = t.Y;
        const int before = Cursor();
        FView.Clear();
        FPanel->TimerTick(ptmAutoScroll);
        EXPECT_EQ(Cursor() - before, t.Rows);
        EXPECT_EQ(FView.FCalls.back(), "RepaintAll");
    }

    // Above the panel the cursor goes to the top row; back inside the timer stops.
    FPanel->MouseMove(ssLeft, 10, -5);
    EXPECT_EQ(Cursor(), Top());
    FPanel->MouseMove(ssLeft, 10, 2 * RowHeight);
    EXPECT_FALSE(FView.TimerRunning(ptmAutoScroll));
    EXPECT_EQ(Cursor(), Top() + 2);
    FPanel->MouseMove(ssLeft, 10, height + 10);
    EXPECT_TRUE(FView.TimerRunning(ptmAutoScroll));
    FPanel->MouseUp(mbLeftButton, 0, 10, height + 10);
    EXPECT_FALSE(FView.TimerRunning(ptmAutoScroll));
    EXPECT_FALSE(FPanel->FMouseTracking);
    // A tick arriving after the release moves nothing.
    const int cursor = Cursor();
    FPanel->TimerTick(ptmAutoScroll);
    EXPECT_EQ(Cursor(), cursor);
}

TEST_F(PanelInputTest, RightDragMarksByTheFirstItemsState) {
    for (const bool startMarked : {false, true}) {
        SCOPED_TRACE(startMarked);
        Fill(10, 8);
        for (const int i : {1, 3, 5})
            List().MarkItem(List().GetFileItem(i), startMarked ? 0 : 1);
        List().MarkItem(List().GetFileItem(2), startMarked ? 0 : 1);
        FPanel->MouseDown(mbRightButton, 0, 10, 1 * RowHeight);
        for (const int row : {2, 2, 3, 5})
            FPanel->MouseMove(ssRight, 10, row * RowHeight + 1);
        FPanel->MouseUp(mbRightButton, 0, 10, 5 * RowHeight + 1);
        // Rows 1, 2, 3 and 5 get the opposite of row 1's old state; row 4 was jumped over.
        if (startMarked)
            EXPECT_TRUE(MarkedIndexes().empty());
        else
            EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1, 2, 3, 5}));
        EXPECT_EQ(Cursor(), 5);
        EXPECT_EQ(List().FMarkedCount, static_cast<int>(MarkedIndexes().size()));
        EXPECT_FALSE(FPanel->FRightMarking);
    }
    // While busy nothing is marked (the cursor still follows).
    Fill(10, 8);
    FPanel->FState |= psBusy;
    FPanel->MouseDown(mbRightButton, 0, 10, RowHeight);
    FPanel->MouseMove(ssRight, 10, 3 * RowHeight);
    EXPECT_TRUE(MarkedIndexes().empty());
    EXPECT_EQ(Cursor(), 3);
}

TEST_F(PanelInputTest, ShiftLeftDragMarksEachItemPassed) {
    Fill(10, 8);
    FPanel->MouseDown(mbLeftButton, ssShift, 10, 1 * RowHeight);
    for (const int row : {2, 3, 6})
        FPanel->MouseMove(ssLeft | ssShift, 10, row * RowHeight);
    FPanel->MouseMove(ssLeft, 10, 7 * RowHeight);        // Shift let go
    FPanel->MouseMove(ssLeft | ssShift | ssCtrl, 10, 0); // not exactly Shift
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1, 2, 3, 6}));
    // Marking only marks: passing a marked item again keeps it.
    FPanel->MouseMove(ssLeft | ssShift, 10, 2 * RowHeight);
    EXPECT_EQ(MarkedIndexes(), (std::vector<int>{1, 2, 3, 6}));
}

TEST_F(PanelInputTest, PopupMenuFollowsTheCtrlOption) {
    Fill(5);
    std::vector<std::string> menus;
    FPanel->OnPopUpMenu = [&](int x, int y, bool atOther) {
        menus.push_back(std::to_string(x) + "," + std::to_string(y) + (atOther ? " other" : ""));
    };
    struct Click {
        bool CtrlOption;
        TMouseButton Button;
        std::uint32_t Shift;
        bool Busy;
        bool Menu;
    };
    const Click clicks[] = {
        {true, mbRightButton, 0, false, false},
        {true, mbRightButton, ssCtrl, false, true},
        {true, mbRightButton, ssCtrl | ssShift, false, false},
        {false, mbRightButton, 0, false, true},
        {false, mbRightButton, ssCtrl, false, false},
        {true, mbLeftButton, ssCtrl, false, false},
        {true, mbRightButton, ssCtrl, true, false},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(std::to_string(c.CtrlOption) + " " + std::to_string(c.Shift) + " " +
                     std::to_string(c.Button));
        FOptions.PanelCtrlRightClickMenu = c.CtrlOption;
        FPanel->FState = c.Busy ? static_cast<std::uint32_t>(psBusy) : 0U;
        menus.clear();
        FPanel->MouseDown(c.Button, c.Shift, 30, 20);
        FPanel->MouseUp(c.Button, c.Shift, 30, 20);
        EXPECT_EQ(menus, c.Menu ? std::vector<std::string>{"30,20"} : std::vector<std::string>{});
    }
}

TEST_F(PanelInputTest, DoubleClickIsIgnoredWhileBusy) {
    Open(*FPanel, "/data");
    FPanel->FindItem("temp", true);
    FPanel->FState |= psBusy;
    FPanel->DoubleClick();
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data");
    FPanel->FState = 0;
    FPanel->DoubleClick();
    EXPECT_EQ(FPanel->FFolderItems.FPath, "/data/temp");
}

TEST_F(PanelInputTest, DraggingOutSideways) {
    Fill(10, 8);
    int started = 0;
    int cancelled = 0;
    FPanel->OnStartDrag = [&] { ++started; };
    FPanel->OnCancelDrag = [&] { ++cancelled; };

    // Off by default.
    FPanel->MouseDown(mbLeftButton, 0, 10, 2 * RowHeight);
    FPanel->MouseMove(ssLeft, -5, 2 * RowHeight);
    EXPECT_EQ(started, 0);
    FPanel->MouseUp(mbLeftButton, 0, -5, 2 * RowHeight);

    FOptions.PanelDragEnabled = true;
    FPanel->MouseDown(mbLeftButton, 0, 10, 2 * RowHeight);
    FPanel->MouseMove(ssLeft, 10, 5 * RowHeight);
    EXPECT_EQ(Cursor(), 5);
    FView.Clear();
    FPanel->MouseMove(ssLeft, 201, 6 * RowHeight);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(FPanel->FDragging);
    EXPECT_EQ(Cursor(), 2); // the dragged item is the one pressed
    EXPECT_EQ(FView.FCalls.front(), "RepaintAll");
    FPanel->MouseMove(ssLeft, 250, 7 * RowHeight); // still outside: the drag runs on
    FPanel->MouseMove(ssLeft, 200, 7 * RowHeight); // on the edge: not strictly inside
    EXPECT_EQ(started, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(Cursor(), 2);
    FPanel->MouseMove(ssLeft, 100, 7 * RowHeight);
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(FPanel->FDragging);
    FPanel->MouseUp(mbLeftButton, 0, 100, 7 * RowHeight);

    // A busy panel does not drag, nor does a press that tracks nothing.
    FPanel->FState |= psBusy;
    FPanel->MouseDown(mbLeftButton, 0, 10, 2 * RowHeight);
    FPanel->MouseMove(ssLeft, -5, 2 * RowHeight);
    FPanel->MouseUp(mbLeftButton, 0, -5, 2 * RowHeight);
    FPanel->FState = 0;
    FPanel->MouseMove(ssLeft, -5, 2 * RowHeight);
    EXPECT_EQ(started, 1);
}

TEST_F(PanelInputTest, EndDragLeavesNoMouseStateBehind) {
    // The drag takes the mouse, so the release never reaches the panel; what the press set up
    // must end with the drag.
    FOptions.PanelDragEnabled = true;
    int cancelled = 0;
    FPanel->OnCancelDrag = [&] { ++cancelled; };
    for (const TMouseButton button : {mbLeftButton, mbRightButton}) {
        SCOPED_TRACE(button);
        const std::uint32_t held = button == mbLeftButton ? ssLeft : ssRight;
        Fill(10, 8);
        FPanel->MouseDown(button, 0, 10, 2 * RowHeight);
        FPanel->MouseMove(held, 201, 2 * RowHeight);
        ASSERT_TRUE(FPanel->FDragging);
        const std::vector<int> marked = MarkedIndexes();
        FPanel->EndDrag();
        EXPECT_FALSE(FPanel->FDragging);
        // A stale button state on the next move neither cancels a drag nor moves or marks.
        FPanel->MouseMove(held, 10, 6 * RowHeight);
        EXPECT_EQ(cancelled, 0);
        EXPECT_EQ(Cursor(), 2);
        EXPECT_EQ(MarkedIndexes(), marked);
    }
    // A press that was auto-scrolling stops its timer; a late tick moves nothing.
    Fill(30, 8);
    FPanel->MouseDown(mbLeftButton, 0, 10, 2 * RowHeight);
    FPanel->MouseMove(ssLeft, 10, 9 * RowHeight);
    ASSERT_TRUE(FView.TimerRunning(ptmAutoScroll));
    FPanel->EndDrag();
    EXPECT_FALSE(FView.TimerRunning(ptmAutoScroll));
    const int cursor = Cursor();
    FPanel->TimerTick(ptmAutoScroll);
    EXPECT_EQ(Cursor(), cursor);
}

} // namespace
} // namespace ks
