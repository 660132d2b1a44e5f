// The inotify backend and the watcher on it, on real folders.
#include "platform/InotifyWatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "platform/LinuxFileSystem.h"
#include "support/FakeSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Long enough for any change to arrive on a loaded machine; passing tests never wait for it.
constexpr auto Patience = 5s;
// How long nothing must arrive to conclude that nothing will.
constexpr auto Quiet = 300ms;

const TNotifyFilter PanelFilter{TFileSysNotify::FILE_NAME, TFileSysNotify::DIR_NAME, TFileSysNotify::SIZE};

// Counts a backend's reports as they come from its thread.
class TEvents {
public:
    TKFileWatchBackend::TCallback Callback() {
        return [this](TFileWatchEvent event) {
            std::lock_guard lock(FLock);
            ++(event == TFileWatchEvent::weChanged ? FChanges : FEnds);
            FArrived.notify_all();
        };
    }
    bool WaitForChange() {
        return WaitFor([this] { return FChanges > 0; }, Patience);
    }
    bool WaitForEnd() {
        return WaitFor([this] { return FEnds > 0; }, Patience);
    }
    // True when nothing at all arrives for the quiet period.
    bool StaysQuiet(std::chrono::milliseconds quiet = Quiet) {
        std::unique_lock lock(FLock);
        const int before = FChanges + FEnds;
        return !FArrived.wait_for(lock, quiet, [&] { return FChanges + FEnds != before; });
    }
    int Changes() {
        std::lock_guard lock(FLock);
        return FChanges;
    }
    int Ends() {
        std::lock_guard lock(FLock);
        return FEnds;
    }
    void Reset() {
        std::lock_guard lock(FLock);
        FChanges = FEnds = 0;
    }

private:
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        std::unique_lock lock(FLock);
        return FArrived.wait_for(lock, limit, done);
    }

    std::mutex FLock;
    std::condition_variable FArrived;
    int FChanges = 0;
    int FEnds = 0;
};

void Append(const std::string& path) {
    std::ofstream(path, std::ios::app) << "more";
}
void Chmod(const std::string& path, mode_t mode) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

struct TCase {
    const char* Name;
    TNotifyFilter Filter;
    bool Subtree;
    bool Reported;
    std::function<void(const test::TempTree&)> Act; // on "w/", the watched folder
};

TEST(InotifyWatcher, ReportsTheChangesTheFilterAsksForAndNothingElse) {
    const TNotifyFilter fileNames{TFileSysNotify::FILE_NAME};
    const TNotifyFilter folderNames{TFileSysNotify::DIR_NAME};
    const TNotifyFilter sizes{TFileSysNotify::SIZE};
    const TNotifyFilter attributes{TFileSysNotify::ATTRIBUTES};
    const std::vector<TCase> cases = {
        {"create a file", PanelFilter, false, true, [](auto& tree) { tree.File("w/new.txt", "x"); }},
        {"rename a file", PanelFilter, false, true,
         [](auto& tree) { fs::rename(tree / "w/old.txt", tree / "w/renamed.txt"); }},
        {"delete a file", PanelFilter, false, true, [](auto& tree) { fs::remove(tree / "w/old.txt"); }},
        {"chmod a file", PanelFilter, false, false, [](auto& tree) { Chmod(tree / "w/old.txt", 0604); }},
        {"chmod a file, attributes asked", attributes, false, true,
         [](auto& tree) { Chmod(tree / "w/old.txt", 0604); }},
        {"append to a file", sizes, false, true, [](auto& tree) { Append(tree / "w/old.txt"); }},
        {"append to a file, last write asked", TNotifyFilter{TFileSysNotify::LAST_WRITE}, false, true,
         [](auto& tree) { Append(tree / "w/old.txt"); }},
        {"append to a file, names asked", fileNames, false, false,
         [](auto& tree) { Append(tree / "w/old.txt"); }},
        {"create a folder, file names asked", fileNames, false, false,
         [](auto& tree) { tree.Folder("w/dir"); }},
        {"create a folder, folder names asked", folderNames, false, true,
         [](auto& tree) { tree.Folder("w/dir"); }},
        {"create a file, folder names asked", folderNames, false, false,
         [](auto& tree) { tree.File("w/f"); }},
        {"create in a sub-folder", PanelFilter, false, false, [](auto& tree) { tree.File("w/sub/new"); }},
        {"create in a sub-folder, subtree", PanelFilter, true, true,
         [](auto& tree) { tree.File("w/sub/new"); }},
        {"append in a sub-sub-folder, subtree", sizes, true, true,
         [](auto& tree) { Append(tree / "w/sub/deeper/old.txt"); }},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        test::TempTree tree;
        tree.File("w/old.txt", "old");
        tree.File("w/sub/deeper/old.txt", "old");
        TEvents events;
        TKInotifyWatchBackend backend;
        ASSERT_TRUE(backend.Start(tree / "w", row.Subtree, row.Filter, events.Callback()));
        row.Act(tree);
        if (row.Reported)
            EXPECT_TRUE(events.WaitForChange());
        else
            EXPECT_TRUE(events.StaysQuiet()) << events.Changes() << " changes reported";
        backend.Stop();
        EXPECT_EQ(events.Ends(), 0);
    }
}

TEST(InotifyWatcher, TheWatchedFolderGoingAwayIsReportedAndEndsTheWatch) {
    const std::vector<std::pair<const char*, std::function<void(const test::TempTree&)>>> goings = {
        {"deleted with its contents", [](auto& tree) { fs::remove_all(tree / "w"); }},
        {"renamed", [](auto& tree) { fs::rename(tree / "w", tree / "elsewhere"); }},
    };
    for (const auto& [name, go] : goings) {
        for (const TNotifyFilter filter : {PanelFilter, TNotifyFilter{TFileSysNotify::SECURITY}}) {
            SCOPED_TRACE(std::string(name) + ", filter " + std::to_string(filter.Bits()));
            test::TempTree tree;
            tree.File("w/sub/f", "x");
            TEvents events;
            TKInotifyWatchBackend backend;
            ASSERT_TRUE(backend.Start(tree / "w", true, filter, events.Callback()));
            go(tree);
            ASSERT_TRUE(events.WaitForEnd());
            EXPECT_GE(events.Changes(), 1) << "a change comes before the end";
            tree.File("w/again", "x"); // a new folder of the same name is not the watched one
            EXPECT_TRUE(events.StaysQuiet());
            EXPECT_EQ(events.Ends(), 1);
            backend.Stop();
        }
    }
}

TEST(InotifyWatcher, StopIsPromptAndNoCallbackComesAfterItReturns) {
    test::TempTree tree;
    const std::string folder = tree.Folder("w");
    std::atomic<bool> stopped = false;
    std::atomic<int> late = 0;
    TEvents events;
    const auto counting = events.Callback();
    TKInotifyWatchBackend backend;
    ASSERT_TRUE(backend.Start(folder, false, PanelFilter, [&](TFileWatchEvent event) {
        if (stopped)
            ++late;
        counting(event);
    }));

    std::atomic<bool> writing = true;
    std::atomic<int> written = 0;
    std::thread writer([&] {
        for (int i = 0; writing || written < 200; ++i, ++written) {
            const std::string file = folder + "/f" + std::to_string(i % 20);
            std::ofstream(file) << i;
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    });
    ASSERT_TRUE(events.WaitForChange());
    const auto before = std::chrono::steady_clock::now();
    backend.Stop();
    const auto took = std::chrono::steady_clock::now() - before;
    stopped = true;
    written = 0;
    writing = false; // the writer goes on for 200 more files
    writer.join();

    EXPECT_LT(took, 1s);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(events.Ends(), 0) << "a stop is no end of the watch";
    backend.Stop(); // again: nothing
}

TEST(InotifyWatcher, StartFailsOnWhatCannotBeWatched) {
    test::TempTree tree;
    const std::string file = tree.File("file.txt", "x");
    TKInotifyWatchBackend backend;
    TEvents events;
    const auto missing = backend.Start(tree / "missing", false, PanelFilter, events.Callback());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().Errno, ENOENT);
    const auto notFolder = backend.Start(file, false, PanelFilter, events.Callback());
    ASSERT_FALSE(notFolder);
    EXPECT_EQ(notFolder.error().Errno, ENOTDIR);
    const auto nothingAsked = backend.Start(tree.Path(), false, TNotifyFilter{}, events.Callback());
    ASSERT_FALSE(nothingAsked);
    EXPECT_EQ(nothingAsked.error().Code, TErrorCode::ecUnsupported);
}

// A moved sub-folder keeps being watched under its new name, and so do folders made in it
// afterwards.
TEST(InotifyWatcher, SubtreeFollowsSubFoldersCreatedAndMovedInside) {
    test::TempTree tree;
    const std::string folder = tree.Folder("w");
    TEvents events;
    TKInotifyWatchBackend backend;
    ASSERT_TRUE(backend.Start(folder, true, {TFileSysNotify::FILE_NAME, TFileSysNotify::DIR_NAME},
                              events.Callback()));
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"make a folder", [&] { tree.Folder("w/new"); }},
        {"a file in it", [&] { tree.File("w/new/f", "x"); }},
        {"move it", [&] { fs::rename(tree / "w/new", tree / "w/moved"); }},
        {"a folder in the moved one", [&] { tree.Folder("w/moved/deeper"); }},
        {"a file in that", [&] { tree.File("w/moved/deeper/f", "x"); }},
        {"a folder moved in from outside",
         [&] {
             tree.File("outside/inner/f", "x");
             fs::rename(tree / "outside", tree / "w/came");
         }},
        {"a file in its sub-folder", [&] { tree.File("w/came/inner/g", "x"); }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        events.Reset();
        step();
        ASSERT_TRUE(events.WaitForChange());
        // The watch adds a new folder's watch before it reports the batch that made it; a short
        // calm lets a batch split over two reads settle before the next step relies on it.
        events.StaysQuiet(100ms);
    }
}

TEST(InotifyWatcher, ASubtreeBeyondTheWatchLimitOrWithALinkLoopIsStillWatched) {
    test::TempTree tree;
    const std::string folder = tree.Folder("w");
    for (const char* sub : {"a/a1/a2", "b/b1", "c", "d", "e"})
        tree.Folder(std::string("w/") + sub);
    fs::create_directory_symlink(folder, tree / "w/a/loop");
    for (const std::size_t limit : {std::size_t{3}, TKInotifyWatchBackend::DefaultMaxWatches}) {
        SCOPED_TRACE(limit);
        TEvents events;
        TKInotifyWatchBackend backend(limit);
        ASSERT_TRUE(backend.Start(folder, true, PanelFilter, events.Callback()));
        tree.File("w/new" + std::to_string(limit), "x");
        EXPECT_TRUE(events.WaitForChange());
    }
}

// The watcher on the real backend, with the owner's queue drained by the test.
TEST(InotifyWatcher, TheWatcherReportsOnTheOwnersThreadAndDropsTheOldFolderAfterASwitch) {
    test::FakeSystem system;
    TKLinuxFileSystem files;
    SetPlatform(&system, &files);
    test::TempTree tree;
    const std::string a = tree.Folder("a");
    const std::string b = tree.Folder("b");

    std::mutex lock;
    std::condition_variable posted;
    std::vector<std::function<void()>> queue;
    auto drainAfterPost = [&] {
        std::vector<std::function<void()>> calls;
        {
            std::unique_lock held(lock);
            if (!posted.wait_for(held, Patience, [&] { return !queue.empty(); }))
                return false;
            calls.swap(queue);
        }
        for (const auto& call : calls)
            call();
        return true;
    };
    std::vector<std::string> reports;
    {
        TKFileWatcher watcher(std::make_unique<TKInotifyWatchBackend>(), [&](std::function<void()> call) {
            std::lock_guard held(lock);
            queue.push_back(std::move(call));
            posted.notify_all();
        });
        watcher.OnFileSysChange = [&](const std::string& directory) { reports.push_back(directory); };
        watcher.SetNotifyFilter(PanelFilter);
        watcher.SetMonitoredDirectory(a);
        watcher.SetActive(true);
        ASSERT_TRUE(watcher.Watching());

        tree.File("a/one", "x"); // creation and write may come as one report or as two
        ASSERT_TRUE(drainAfterPost());
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(std::count(reports.begin(), reports.end(), a), std::ssize(reports));

        reports.clear();
        tree.File("a/two", "x");
        {
            std::unique_lock held(lock);
            ASSERT_TRUE(posted.wait_for(held, Patience, [&] { return !queue.empty(); }));
        }
        watcher.SetMonitoredDirectory(b); // the report of "two" waits in the queue
        tree.File("b/three", "x");
        while (reports.empty() && drainAfterPost()) {
        }
        EXPECT_FALSE(reports.empty());
        EXPECT_EQ(std::count(reports.begin(), reports.end(), a), 0);

        fs::remove_all(b);
        while (watcher.Watching() && drainAfterPost()) {
        }
        EXPECT_FALSE(watcher.Watching()) << "the folder went away";
        EXPECT_TRUE(watcher.Active());
    }
    SetPlatform(nullptr, nullptr);
}

} // namespace
} // namespace ks
