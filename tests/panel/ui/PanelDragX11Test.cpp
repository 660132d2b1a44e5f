// A real drag between two panels of one window, on an X server of the tests' own: the pointer is
// moved with xdotool while this process runs the drag.

#include <gtest/gtest.h>

#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Harness.h"
#include "panel/KMYFILEPANEL.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/Process.h"
#include "support/TempTree.h"
#include "support/X11Display.h"

namespace ks {
namespace {

using TClock = std::chrono::steady_clock;

// Runs the event loop a tick at a time until done holds or ms pass; whether it held.
template <typename TDone> bool SpinUntil(TDone done, int ms = 15000) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (TClock::now() >= deadline)
            return false;
        QEventLoop tick;
        QTimer::singleShot(10, &tick, &QEventLoop::quit);
        tick.exec();
    }
    return true;
}

// Something the GUI thread saw, waited for by the pointer thread.
class TSignal {
public:
    void Set() {
        {
            std::lock_guard lock(FMutex);
            FSet = true;
        }
        FWake.notify_all();
    }
    bool IsSet() {
        std::lock_guard lock(FMutex);
        return FSet;
    }
    /// Whether it was set within ten seconds.
    bool Wait() {
        std::unique_lock lock(FMutex);
        return FWake.wait_for(lock, std::chrono::seconds(10), [this] { return FSet; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FSet = false;
};

// Sets a signal when a widget gets an event of one of the types.
class TEventSignal : public QObject {
public:
    TEventSignal(QWidget& widget, std::vector<QEvent::Type> types) : FTypes(std::move(types)) {
        widget.installEventFilter(this);
    }
    TSignal FSeen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        for (const QEvent::Type type : FTypes)
            if (event->type() == type)
                FSeen.Set();
        return QObject::eventFilter(watched, event);
    }

private:
    std::vector<QEvent::Type> FTypes;
};

class PanelDragX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::X11Display().empty() || !test::OnPath("xdotool")) {
            const std::string missing =
                test::X11Display().empty() ? test::X11Missing() : "xdotool is missing";
            if (e2e::E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        SetPlatform(&FSystem, &FFiles);
        FOptions.PanelDragEnabled = true;
        FTree.File("left/a.txt", "a");
        FTree.File("left/b.txt", "b");
        FTree.Folder("right");
        FWindow = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        FWindow->setGeometry(0, 0, 520, 300);
        for (TKMYFILEPANEL** panel : {&FLeftPanel, &FRightPanel}) {
            FPanels.push_back(std::make_unique<TKMYFILEPANEL>(FOptions));
            *panel = FPanels.back().get();
        }
        FLeft = new TKPanelWidget(*FLeftPanel, FWindow.get());
        FLeft->setGeometry(0, 0, 240, 300);
        FRight = new TKPanelWidget(*FRightPanel, FWindow.get());
        FRight->setGeometry(280, 0, 240, 300);
        FWindow->show();
        ASSERT_TRUE(SpinUntil(
            [&] { return FWindow->windowHandle() != nullptr && FWindow->windowHandle()->isExposed(); }));
        Read(*FLeftPanel, *FLeft, FTree / "left");
        Read(*FRightPanel, *FRight, FTree / "right");
    }

    void TearDown() override {
        FWindow.reset();
        FPanels.clear();
        SetPlatform(nullptr, nullptr);
    }

    void Read(TKMYFILEPANEL& panel, TKPanelWidget& widget, const std::string& path) {
        panel.FFolderItems.FPath = path;
        panel.ReadPanel(false, true);
        ASSERT_TRUE(widget.WaitIdle(10000));
    }

    bool Pointer(const std::vector<std::string>& actions) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), actions.begin(), actions.end());
        return test::Run(argv, {"DISPLAY=" + test::X11Display()}).ExitCode == 0;
    }

    // Presses the left button on the second item of the left panel, leaves the panel sideways,
    // moves over target until it sees the drag and releases the button there. Runs the pointer
    // on a thread of its own while this thread runs the drag; false when a step did not happen.
    bool DragOnto(TKPanelWidget& target) {
        const int row = FLeftPanel->FItemHeight * 2 + FLeftPanel->FItemHeight / 2;
        const QPoint press = FLeft->mapToGlobal(QPoint(40, row));
        const QPoint out = FLeft->mapToGlobal(QPoint(FLeft->width() + 10, row));
        const QPoint over = target.mapToGlobal(QPoint(60, row));
        TEventSignal pressed(*FLeft, {QEvent::MouseButtonPress});
        TEventSignal seen(target, {QEvent::DragEnter, QEvent::DragMove});
        TSignal started;
        FLeftPanel->OnStartDrag = [&] { started.Set(); };
        std::atomic<bool> done = false;
        std::atomic<bool> stepsDone = false;
        std::thread pointer([&] {
            const auto at = [](QPoint p) {
                return std::vector<std::string>{std::to_string(p.x()), std::to_string(p.y())};
            };
            bool ok = Pointer({"mousemove", at(press)[0], at(press)[1], "mousedown", "1"}) &&
                      pressed.FSeen.Wait() && Pointer({"mousemove", at(out)[0], at(out)[1]}) &&
                      started.Wait();
            // The drag looks for its target as the pointer moves on.
            for (int step = 0; ok && step < 50 && !seen.FSeen.IsSet(); ++step)
                ok = Pointer({"mousemove", at(over + QPoint(step % 5, 0))[0], at(over)[1]});
            ok = ok && seen.FSeen.IsSet();
            Pointer({"mouseup", "1"});
            stepsDone = ok;
            done = true;
        });
        SpinUntil([&] { return done.load(); }, 30000);
        pointer.join();
        FLeftPanel->OnStartDrag = nullptr;
        return stepsDone;
    }

    test::TempTree FTree;
    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFiles;
    TPanelOptions FOptions;
    std::vector<std::unique_ptr<TKMYFILEPANEL>> FPanels;
    TKMYFILEPANEL* FLeftPanel = nullptr;
    TKMYFILEPANEL* FRightPanel = nullptr;
    std::unique_ptr<QWidget> FWindow;
    TKPanelWidget* FLeft = nullptr;
    TKPanelWidget* FRight = nullptr;
};

TEST_F(PanelDragX11Test, ItemsDroppedOnTheOtherPanelAreReportedThere) {
    std::vector<TKPanelWidget*> droppedOnRight, droppedOnLeft;
    FRight->OnDropFromPanel = [&](TKPanelWidget& source) { droppedOnRight.push_back(&source); };
    FLeft->OnDropFromPanel = [&](TKPanelWidget& source) { droppedOnLeft.push_back(&source); };
    struct Case {
        const char* Label;
        bool OntoRight;
    };
    for (const Case& c : {Case{"onto the other panel", true}, Case{"back onto itself", false}}) {
        SCOPED_TRACE(c.Label);
        droppedOnRight.clear();
        ASSERT_TRUE(DragOnto(c.OntoRight ? *FRight : *FLeft));
        // The report comes from the event loop once the drag has ended.
        SpinUntil([&] { return !droppedOnRight.empty(); }, c.OntoRight ? 5000 : 300);
        EXPECT_EQ(droppedOnRight,
                  c.OntoRight ? std::vector<TKPanelWidget*>{FLeft} : std::vector<TKPanelWidget*>{});
        EXPECT_TRUE(droppedOnLeft.empty());
        // The press ended with the drag: nothing follows the pointer any more.
        EXPECT_FALSE(FLeftPanel->FDragging);
        EXPECT_FALSE(FLeftPanel->FMouseTracking);
        EXPECT_EQ(FLeftPanel->FItemsStruc->FItemIndex, 2);
    }
}

} // namespace
} // namespace ks
