// The panel on real folders: listing, walking, the state-keeping re-read, the watcher timer and
// the drive list.

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "panel/KMYFILEPANEL.h"
#include "platform/InotifyWatcher.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/FakePanelView.h"
#include "support/FakeSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

// The fake system with mounts of our choosing: a path's drive root is the longest listed root
// that holds it, and the volume type is the listed one.
class MountSystem : public test::FakeSystem {
public:
    std::string DriveRoot(const std::string& path) const override {
        std::string best;
        for (const TDriveEntry& d : FDrives) {
            if ((path + "/").rfind(d.Root, 0) == 0 && d.Root.size() > best.size())
                best = d.Root;
        }
        return path.empty() ? std::string() : best;
    }
    std::optional<TVolumeInfo> VolumeInfo(const std::string& root) const override {
        for (const TDriveEntry& d : FDrives) {
            if (d.Root == root) {
                TVolumeInfo info;
                info.DriveType = d.DriveType;
                return info;
            }
        }
        return std::nullopt;
    }
};

// Runs posted calls on the test's thread, as the GUI's event loop would.
class PostQueue {
public:
    std::function<void(std::function<void()>)> Poster() {
        return [this](std::function<void()> call) {
            std::lock_guard lock(FMutex);
            FCalls.push_back(std::move(call));
            FReady.notify_all();
        };
    }
    // Waits (at most 10 s) for posted calls and runs them; false when none came.
    bool RunPosted() {
        std::deque<std::function<void()>> calls;
        {
            std::unique_lock lock(FMutex);
            if (!FReady.wait_for(lock, std::chrono::seconds(10), [this] { return !FCalls.empty(); }))
                return false;
            calls.swap(FCalls);
        }
        for (auto& call : calls)
            call();
        return true;
    }

private:
    std::mutex FMutex;
    std::condition_variable FReady;
    std::deque<std::function<void()>> FCalls;
};

class PanelOnDiskTest : public ::testing::Test {
protected:
    PanelOnDiskTest() {
        FSystem.FDrives = {{"/", 3, ""}};
        FSystem.FHomeDir = FTree.Path();
        SetPlatform(&FSystem, &FFiles);
        FOptions.PanelDriveSizeAtOnce = false;
    }
    ~PanelOnDiskTest() override {
        FPanel.reset();
        SetPlatform(nullptr, nullptr);
    }
    TKMYFILEPANEL& Open(const std::string& path, std::unique_ptr<TKFileWatchBackend> backend = nullptr,
                        std::function<void(std::function<void()>)> post = {}) {
        if (!post)
            post = [](std::function<void()> call) { call(); };
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions, &FView, std::move(backend), std::move(post));
        FPanel->OnAfterRefresh = [this](const std::string& text) { FRefreshes.push_back(text); };
        FPanel->FFolderItems.FPath = path;
        FPanel->ReadPanel(false, false);
        return *FPanel;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : FPanel->FItemsStruc->FItems)
            names.push_back(item->Name);
        return names;
    }
    const TKFiles& Current() const { return *FPanel->FItemsStruc->FCurrentItem; }

    TempTree FTree;
    MountSystem FSystem;
    TKLinuxFileSystem FFiles;
    TPanelOptions FOptions;
    test::FakePanelView FView;
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    std::vector<std::string> FRefreshes;
};

TEST_F(PanelOnDiskTest, FullReadOrderAndHiddenFiles) {
    FTree.File("b.txt", "12345");
    FTree.File("A.TXT");
    FTree.File(".hidden");
    FTree.Folder("zdir");
    FTree.File("run.sh", "#!/bin/sh\n");
    std::filesystem::permissions(FTree / "run.sh", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    TKMYFILEPANEL& panel = Open(FTree.Path() + "/./");
    EXPECT_EQ(panel.FFolderItems.FPath, FTree.Path());
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "zdir", "run.sh", "A.TXT", "b.txt"}));
    EXPECT_EQ(panel.FFolderItems.FItems[4]->Size, 5);
    EXPECT_EQ(FRefreshes.back(), FTree.Path());
    EXPECT_EQ(panel.GetItemInfo(), "free 400 B from 1 000 B");
    EXPECT_EQ(FView.FCalls.front(), "Lock 1");
    EXPECT_EQ(FView.FCalls.back(), "Lock 0");
    EXPECT_EQ(panel.FState, 0u);

    FOptions.PanelShowHidden = true;
    panel.ReadPanel(false, true);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "zdir", "run.sh", ".hidden", "A.TXT", "b.txt"}));
    EXPECT_EQ(FView.FFullRepaints, 1);

    // Only "/" has no up-folder item.
    panel.FFolderItems.FPath = "/";
    panel.ReadPanel(false, false);
    ASSERT_GT(panel.FFolderItems.Count(), 0);
    EXPECT_NE(panel.FFolderItems.FItems[0]->Kind, ikUpFolder);
}

TEST_F(PanelOnDiskTest, StateKeepingReread) {
    for (const char* name : {"b.txt", "d.txt", "f.txt", "h.txt"})
        FTree.File(name, "x");
    TKMYFILEPANEL& panel = Open(FTree.Path());
    panel.MarkItems("*.*", 0, 2, false, false); // d.txt
    panel.FFolderItems.SetItemIndex(3);
    panel.FFolderItems.FTopIndex = 1;
    TKFiles* marked = panel.FFolderItems.FItems[2].get();

    FTree.File("c.txt");
    FTree.File("a.txt");
    FTree.File("d.txt", "longer"); // rewritten
    std::filesystem::remove(FTree / "f.txt");
    FTree.Folder("newdir");
    panel.ReadPanel(true, true);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"..", "newdir", "a.txt", "b.txt", "c.txt", "d.txt", "h.txt"}));
    // The same item keeps its mark and takes its new size; the cursor index and top row stay.
    EXPECT_EQ(panel.FFolderItems.FItems[5].get(), marked);
    EXPECT_TRUE(marked->Marked);
    EXPECT_EQ(marked->Size, 6);
    EXPECT_EQ(panel.FFolderItems.FMarkedSize, 6);
    EXPECT_EQ(panel.FFolderItems.FItemIndex, 3);
    EXPECT_EQ(panel.FFolderItems.FTopIndex, 1);
    EXPECT_EQ(Current().Name, "b.txt");

    // Without the watchable drive type the re-read is a full one: marks go.
    FSystem.FDrives = {{"/", 4, ""}};
    panel.ReadPanel(true, false);
    EXPECT_EQ(panel.FFolderItems.FMarkedCount, 0);
}

TEST_F(PanelOnDiskTest, MissingFolderFallsBackToTheNearestAncestor) {
    FTree.Folder("a/b");
    TKMYFILEPANEL& panel = Open(FTree / "a/b/gone/deeper");
    EXPECT_EQ(panel.FFolderItems.FPath, FTree / "a/b");
    EXPECT_EQ(panel.PanelType(), ptFolder);
}

TEST_F(PanelOnDiskTest, WalkingInAndOut) {
    FTree.Folder("sub/inner");
    FTree.File("sub/file.txt");
    FTree.Folder("other");
    TKMYFILEPANEL& panel = Open(FTree.Path());
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(panel.FindItem("sub", true), 2);
    panel.ExecuteItem(false);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree / "sub");
    EXPECT_EQ(panel.FFolderItems.FItemIndex, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "inner", "file.txt"}));
    panel.FindItem("inner", true);
    panel.ExecuteItem(false);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree / "sub/inner");
    // ".." lands on the folder left, twice over.
    panel.ExecuteItem(false);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree / "sub");
    EXPECT_EQ(Current().Name, "inner");
    panel.FindItem("..", true);
    panel.ExecuteItem(false);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree.Path());
    EXPECT_EQ(Current().Name, "sub");
    // The process's current directory never moves.
    EXPECT_EQ(std::filesystem::current_path().string(), cwd);

    // A file runs with its folder as working folder.
    panel.FFolderItems.FPath = FTree / "sub";
    panel.ReadPanel(false, false);
    panel.FindItem("file.txt", true);
    panel.ExecuteItem(false);
    EXPECT_EQ(FSystem.FStarted, (std::vector<std::string>{FTree / "sub/file.txt "}));
}

TEST_F(PanelOnDiskTest, FindResultsArePrunedAndWalked) {
    FTree.File("keep.txt");
    FTree.File("gone.txt");
    FTree.Folder("dir");
    TKMYFILEPANEL& panel = Open(FTree.Path());
    panel.SetPanelType(ptFindResult);
    panel.AddItem("..", "..", ikUpFolder, "", 0, false);
    for (const char* name : {"keep.txt", "gone.txt", "dir"}) {
        TDirEntry entry = FFiles.Stat(FTree / name).value();
        entry.Name = name;
        panel.AddSearchRecItem(panel.FFindItems, entry, false)->SetFolder(FTree.Path());
    }
    std::filesystem::remove(FTree / "gone.txt");
    panel.ReadPanel(false, false);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "keep.txt", "dir"}));
    // Shift+Enter on a found file opens its folder on it.
    panel.FFindItems.SetItemIndex(1);
    panel.ExecuteItem(true);
    EXPECT_EQ(panel.PanelType(), ptFolder);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree.Path());
    EXPECT_EQ(Current().Name, "keep.txt");
}

TEST_F(PanelOnDiskTest, WatcherRestartsTheTimerAndTheTickRereads) {
    FTree.File("a.txt");
    TKMYFILEPANEL& panel = Open(FTree.Path(), std::make_unique<TKInotifyWatchBackend>(), {});
    EXPECT_TRUE(panel.FWatching);
    FView.Clear();
    panel.WatcherChanged();
    panel.WatcherChanged();
    EXPECT_EQ(FView.FCalls, (std::vector<std::string>{"StopTimer 0", "StartTimer 0 1000", "StopTimer 0",
                                                      "StartTimer 0 1000"}));
    FTree.File("b.txt");
    panel.TimerTick(ptmWatch);
    EXPECT_FALSE(FView.TimerRunning(ptmWatch));
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "a.txt", "b.txt"}));

    // Reports are ignored while the panel shows another list, or a folder that is not watched.
    panel.SetPanelType(ptItemInfo);
    FView.Clear();
    panel.WatcherChanged();
    EXPECT_TRUE(FView.FCalls.empty());
    panel.SetPanelType(ptFolder);
    FSystem.FDrives = {{"/", 4, ""}};
    panel.ReadPanel(false, false);
    EXPECT_FALSE(panel.FWatching);
    FView.Clear();
    panel.WatcherChanged();
    EXPECT_TRUE(FView.FCalls.empty());
}

TEST_F(PanelOnDiskTest, InotifyChangeReachesTheTimerEndToEnd) {
    FTree.File("a.txt");
    PostQueue queue;
    TKMYFILEPANEL& panel = Open(FTree.Path(), std::make_unique<TKInotifyWatchBackend>(), queue.Poster());
    ASSERT_TRUE(panel.FWatching);
    FView.Clear();
    FTree.File("new.txt", "data");
    ASSERT_TRUE(queue.RunPosted());
    ASSERT_TRUE(FView.TimerRunning(ptmWatch));
    EXPECT_EQ(FView.FTimers[ptmWatch], 1000);
    panel.TimerTick(ptmWatch);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "a.txt", "new.txt"}));
    EXPECT_TRUE(panel.FWatching);
}

TEST_F(PanelOnDiskTest, DriveListAndDrives) {
    const std::string usb = FTree.Folder("usb");
    const std::string cd = FTree.Folder("cd");
    FTree.Folder("usb/photos");
    FSystem.FDrives = {{"/", 3, "ROOT"}, {usb + "/", 2, "STICK"}, {cd + "/", 5, ""}, {"/proc/", 1, ""}};
    TKMYFILEPANEL& panel = Open(FTree / "usb/photos");
    TKMYFILEPANEL other(FOptions, nullptr);
    panel.FOtherPanel = &other;
    other.FFolderItems.FPath = FTree / "usb/photos";
    panel.SetPanelType(ptDriveList);
    panel.ReadPanel(false, false);
    ASSERT_GE(panel.FFolderItems.Count(), 6);
    const auto& items = panel.FFolderItems.FItems;
    EXPECT_EQ(items[0]->Caption(), "/  [ROOT]");
    EXPECT_EQ(panel.InfoText(*items[0]), "Hard disk");
    EXPECT_EQ(items[1]->Caption(), usb + "/"); // labels show for fixed disks only
    EXPECT_EQ(panel.InfoText(*items[1]), "Removable drive");
    EXPECT_EQ(panel.InfoText(*items[2]), "CD-ROM drive");
    EXPECT_EQ(items[3]->Name, FTree / "Documents");
    EXPECT_EQ(items[3]->Caption(), "Documents");
    EXPECT_EQ(items.back()->Name, "<BROWSENET>");
    // The list opens on the drive last shown.
    EXPECT_EQ(Current().Name, usb + "/");

    int browse = 0;
    panel.OnExecute_Browse = [&] { ++browse; };
    panel.FindItem("<BROWSE>", true);
    panel.ExecuteItem(false);
    EXPECT_EQ(browse, 1);

    // Enter on a drive shown in the other panel opens the other panel's folder.
    panel.FindItem(usb + "/", true);
    panel.ExecuteItem(false);
    EXPECT_EQ(panel.PanelType(), ptFolder);
    EXPECT_EQ(panel.FFolderItems.FPath, FTree / "usb/photos");

    // Drive switching wraps both ways over the listed order.
    panel.SwitchDrive(true);
    EXPECT_EQ(panel.FFolderItems.FPath, cd);
    panel.SwitchDrive(true);
    EXPECT_EQ(panel.FFolderItems.FPath, "/");
    panel.SwitchDrive(false);
    EXPECT_EQ(panel.FFolderItems.FPath, cd);
    panel.FFolderItems.FPath = FTree / "usb/photos";
    panel.GoToRoot();
    EXPECT_EQ(panel.FFolderItems.FPath, usb);
}

TEST_F(PanelOnDiskTest, DriveSizesAreCountedWhenTheListOpens) {
    FSystem.FDrives = {{"/", 3, ""}, {FTree.Path() + "/", 6, ""}};
    FOptions.PanelDriveSizeAtOnce = true;
    TKMYFILEPANEL& panel = Open(FTree.Path());
    panel.SetPanelType(ptDriveList);
    panel.ReadPanel(false, false);
    // The fixed disk is counted, then unmarked again; the reading ends with no busy bit left.
    EXPECT_EQ(panel.FFolderItems.FItems[0]->Size, 1000);
    EXPECT_FALSE(panel.FFolderItems.FItems[0]->Marked);
    EXPECT_EQ(panel.FFolderItems.FMarkedCount, 0);
    EXPECT_EQ(panel.FState, 0u);
    EXPECT_EQ(Current().Name, FTree.Path() + "/");
}

TEST_F(PanelOnDiskTest, RealDriveListStartsWithRoot) {
    TKLinuxSystem real;
    SetPlatform(&real, &FFiles);
    TKMYFILEPANEL& panel = Open("/");
    panel.SetPanelType(ptDriveList);
    panel.ReadPanel(false, false);
    ASSERT_GT(panel.FFolderItems.Count(), 0);
    EXPECT_EQ(panel.FFolderItems.FItems[0]->Name, "/");
    EXPECT_EQ(panel.FFolderItems.FItems[0]->Kind, ikDrive);
    EXPECT_EQ(panel.FFolderItems.FItems.back()->Name, "<BROWSENET>");
    FPanel.reset();
}

TEST_F(PanelOnDiskTest, NonUtf8NamesKeepTheirBytes) {
    const std::string odd = "caf\xE9-\xFF.txt";
    FTree.File(odd, "abc");
    TKMYFILEPANEL& panel = Open(FTree.Path());
    ASSERT_EQ(panel.FindItem(odd, true), 1);
    EXPECT_EQ(panel.ItemFullName(1), FTree / odd);
    EXPECT_EQ(panel.InfoText(Current()), "3 B");
    std::uint32_t keys = ssAlt;
    panel.KeyboardState = [&] { return keys; };
    EXPECT_EQ(panel.GetItemInfo().substr(16), " _ Arc ");
}

} // namespace
} // namespace ks
