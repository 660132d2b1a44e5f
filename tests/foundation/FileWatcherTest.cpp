#include "foundation/FileWatcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/LinuxFileSystem.h"
#include "support/FakeSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using TCalls = std::vector<std::string>;

// What the fake backend was asked, shared with the test so it outlives the watcher.
struct TBackendLog {
    TCalls Calls;
    TKFileWatchBackend::TCallback Callback; // of the running watch; empty when none runs
    bool FailStart = false;
};

class FakeBackend : public TKFileWatchBackend {
public:
    explicit FakeBackend(std::shared_ptr<TBackendLog> log) : FLog(std::move(log)) {}

    Result<void> Start(const std::string& folder, bool subtree, TNotifyFilter filter,
                       TCallback callback) override {
        Stop();
        FLog->Calls.push_back("start " + folder + (subtree ? " subtree " : " ") +
                              std::to_string(filter.Bits()));
        if (FLog->FailStart)
            return TError{TErrorCode::ecNotFound, 2, folder, {}};
        FLog->Callback = std::move(callback);
        return {};
    }
    void Stop() override {
        if (!FLog->Callback)
            return;
        FLog->Calls.push_back("stop");
        FLog->Callback = nullptr;
    }

private:
    std::shared_ptr<TBackendLog> FLog;
};

class FileWatcher : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&FSystem, &FFolders);
        FWatcher = std::make_unique<TKFileWatcher>(std::make_unique<FakeBackend>(FLog),
                                                   [this](std::function<void()> call) {
                                                       std::lock_guard lock(FQueueLock);
                                                       FQueue.push_back(std::move(call));
                                                   });
        FWatcher->OnFileSysChange = [this](const std::string& directory) { FReports.push_back(directory); };
    }
    void TearDown() override {
        FWatcher.reset();
        SetPlatform(nullptr, nullptr);
    }

    // Reports a change the way a backend does: from a thread of its own.
    void Fire(TFileWatchEvent event = TFileWatchEvent::weChanged) {
        ASSERT_TRUE(FLog->Callback) << "no watch runs";
        std::thread waiter([callback = FLog->Callback, event] { callback(event); });
        waiter.join();
    }

    // Runs the posted calls on this (the owner's) thread.
    void Drain() {
        std::vector<std::function<void()>> calls;
        {
            std::lock_guard lock(FQueueLock);
            calls.swap(FQueue);
        }
        for (const auto& call : calls)
            call();
    }

    // The backend calls since the last look.
    TCalls TakeCalls() { return std::exchange(FLog->Calls, {}); }

    test::FakeSystem FSystem;
    TKLinuxFileSystem FFolders;
    test::TempTree FTree;
    std::shared_ptr<TBackendLog> FLog = std::make_shared<TBackendLog>();
    std::mutex FQueueLock;
    std::vector<std::function<void()>> FQueue;
    std::unique_ptr<TKFileWatcher> FWatcher;
    std::vector<std::string> FReports;
};

TEST_F(FileWatcher, StartsInactiveOnNoFolderAndWatchesNothingWhenSwitchedOnSo) {
    EXPECT_EQ(FWatcher->MonitoredDirectory(), "");
    EXPECT_FALSE(FWatcher->WatchSubtree());
    EXPECT_EQ(FWatcher->NotifyFilter(), TNotifyFilter{TFileSysNotify::FILE_NAME});
    EXPECT_FALSE(FWatcher->Active());

    FWatcher->SetActive(true);
    EXPECT_TRUE(FWatcher->Active());
    EXPECT_FALSE(FWatcher->Watching());
    EXPECT_EQ(TakeCalls(), TCalls{});
}

TEST_F(FileWatcher, MonitoredDirectoryRestartsOnAnotherFolderAndSwitchesOffOnOneThatCannotBeOpened) {
    const std::string a = FTree.Folder("a");
    const std::string b = FTree.Folder("b");
    const std::string file = FTree.File("file.txt");

    FWatcher->SetMonitoredDirectory(a);
    EXPECT_EQ(FWatcher->MonitoredDirectory(), a);
    EXPECT_EQ(TakeCalls(), TCalls{}) << "stored while inactive, nothing started";
    FWatcher->SetActive(true);
    EXPECT_EQ(TakeCalls(), TCalls{"start " + a + " 1"});
    EXPECT_TRUE(FWatcher->Watching());

    FWatcher->SetMonitoredDirectory(a);
    EXPECT_EQ(TakeCalls(), TCalls{}) << "the same folder again";
    FWatcher->SetMonitoredDirectory(a + "/");
    EXPECT_EQ(TakeCalls(), (TCalls{"stop", "start " + a + "/ 1"})) << "names compare exactly";
    FWatcher->SetMonitoredDirectory(b);
    EXPECT_EQ(TakeCalls(), (TCalls{"stop", "start " + b + " 1"}));

    for (const std::string& bad : {FTree / "missing", file, std::string()}) {
        SCOPED_TRACE(bad);
        FWatcher->SetActive(true);
        TakeCalls();
        FWatcher->SetMonitoredDirectory(bad);
        EXPECT_EQ(FWatcher->MonitoredDirectory(), b);
        EXPECT_FALSE(FWatcher->Active());
        EXPECT_FALSE(FWatcher->Watching());
        EXPECT_EQ(TakeCalls(), TCalls{"stop"});
        FWatcher->SetMonitoredDirectory(bad);
        EXPECT_EQ(FWatcher->MonitoredDirectory(), b) << "inactive, still kept";
        EXPECT_EQ(TakeCalls(), TCalls{});
    }
}

TEST_F(FileWatcher, SubtreeAndFilterRestartAnActiveWatcherOnlyWhenTheyChange) {
    const std::string a = FTree.Folder("a");
    FWatcher->SetMonitoredDirectory(a);
    FWatcher->SetWatchSubtree(true);
    FWatcher->SetNotifyFilter({TFileSysNotify::DIR_NAME});
    EXPECT_EQ(TakeCalls(), TCalls{}) << "inactive";
    FWatcher->SetActive(true);
    EXPECT_EQ(TakeCalls(), TCalls{"start " + a + " subtree 2"});

    FWatcher->SetWatchSubtree(true);
    FWatcher->SetNotifyFilter({TFileSysNotify::DIR_NAME});
    EXPECT_EQ(TakeCalls(), TCalls{}) << "same values";

    FWatcher->SetWatchSubtree(false);
    EXPECT_EQ(TakeCalls(), (TCalls{"stop", "start " + a + " 2"}));
    FWatcher->SetNotifyFilter({TFileSysNotify::FILE_NAME, TFileSysNotify::DIR_NAME, TFileSysNotify::SIZE});
    EXPECT_EQ(TakeCalls(), (TCalls{"stop", "start " + a + " 11"}));
    FWatcher->SetNotifyFilter(
        {TFileSysNotify::ATTRIBUTES, TFileSysNotify::LAST_WRITE, TFileSysNotify::SECURITY});
    EXPECT_EQ(TakeCalls(), (TCalls{"stop", "start " + a + " 276"}));
    EXPECT_EQ(TNotifyFilter::FromBits(0xFFFFFFFF).Bits(), 1u + 2 + 4 + 8 + 16 + 256);
}

TEST_F(FileWatcher, ChangesReachTheHandlerOnlyWhenTheOwnerRunsThePostedCalls) {
    const std::string a = FTree.Folder("a");
    FWatcher->SetMonitoredDirectory(a);
    FWatcher->SetActive(true);
    Fire();
    Fire();
    EXPECT_TRUE(FReports.empty()) << "nothing fires on the backend's thread";
    Drain();
    EXPECT_EQ(FReports, (std::vector<std::string>{a, a}));

    FWatcher->OnFileSysChange = nullptr;
    Fire();
    Drain(); // no handler: skipped
    EXPECT_EQ(FReports.size(), 2u);
}

TEST_F(FileWatcher, ReportsQueuedBeforeASwitchAreDropped) {
    const std::string a = FTree.Folder("a");
    const std::string b = FTree.Folder("b");
    const std::vector<std::pair<std::string, std::function<void()>>> switches = {
        {"another folder",
         [&] { FWatcher->SetMonitoredDirectory(FWatcher->MonitoredDirectory() == a ? b : a); }},
        {"off and on",
         [&] {
             FWatcher->SetActive(false);
             FWatcher->SetActive(true);
         }},
        {"subtree", [&] { FWatcher->SetWatchSubtree(!FWatcher->WatchSubtree()); }},
        {"filter",
         [&] { FWatcher->SetNotifyFilter(TNotifyFilter::FromBits(FWatcher->NotifyFilter().Bits() ^ 8)); }},
        {"a folder that cannot be opened", [&] { FWatcher->SetMonitoredDirectory(FTree / "missing"); }},
    };
    for (const auto& [name, change] : switches) {
        SCOPED_TRACE(name);
        FWatcher->SetMonitoredDirectory(a);
        FWatcher->SetActive(true);
        FReports.clear();
        Fire();
        change();
        Drain();
        EXPECT_TRUE(FReports.empty());
        if (!FWatcher->Active())
            continue;
        Fire();
        Drain();
        EXPECT_EQ(FReports, std::vector<std::string>{FWatcher->MonitoredDirectory()})
            << "the new watch reports";
    }
}

TEST_F(FileWatcher, QueuedReportsDoNothingOnceTheWatcherIsGoneEvenWhenTheHandlerDestroysIt) {
    FWatcher->SetMonitoredDirectory(FTree.Folder("a"));
    FWatcher->SetActive(true);
    Fire();
    FWatcher.reset();
    EXPECT_EQ(TakeCalls().back(), "stop") << "destruction switches watching off";
    Drain();
    EXPECT_TRUE(FReports.empty());

    SetUp();
    FWatcher->SetMonitoredDirectory(FTree.Folder("a"));
    FWatcher->SetActive(true);
    int handled = 0;
    FWatcher->OnFileSysChange = [&](const std::string& directory) {
        FWatcher.reset(); // the handler's own captures must survive this
        handled += directory.empty() ? 0 : 1;
    };
    Fire();
    Fire();
    Drain();
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(FWatcher, nullptr);
}

TEST_F(FileWatcher, AWatchThatFailsOrEndsStaysActiveUntilSwitchedOffAndRetriesOnARestart) {
    const std::string a = FTree.Folder("a");
    const std::string b = FTree.Folder("b");
    FWatcher->SetMonitoredDirectory(a);
    FLog->FailStart = true;
    FWatcher->SetActive(true);
    EXPECT_TRUE(FWatcher->Active());
    EXPECT_FALSE(FWatcher->Watching());

    FLog->FailStart = false;
    FWatcher->SetMonitoredDirectory(b);
    EXPECT_TRUE(FWatcher->Watching()) << "a restart tries again";
    TakeCalls();

    Fire(TFileWatchEvent::weChanged);
    Fire(TFileWatchEvent::weEnded);
    EXPECT_TRUE(FWatcher->Watching()) << "the end is news only on the owner's thread";
    Drain();
    EXPECT_EQ(FReports, std::vector<std::string>{b});
    EXPECT_FALSE(FWatcher->Watching());
    EXPECT_TRUE(FWatcher->Active());
    EXPECT_EQ(TakeCalls(), TCalls{"stop"}) << "the ended watch is released at once";

    FWatcher->SetActive(false);
    EXPECT_FALSE(FWatcher->Active());
    FWatcher->SetActive(true);
    EXPECT_TRUE(FWatcher->Watching());
}

} // namespace
} // namespace ks
