// The main window's figures while copy jobs run in the background, printed like bench/lib.sh:
//   NAME  ksable=<s>  peer=<target>  ratio=<ksable/target>
//
//   ks_bench_jobs PANEL_DIR SOURCE_A SOURCE_B TARGET [POLL_SECONDS]
//
// PANEL_DIR holds the files the 40-row panel lists (the .bench.sh script makes 100,000 of
// them); SOURCE_A and SOURCE_B are folders of files under ten copy buffers each, which two copy
// jobs copy into folders of TARGET with the smallest copy buffer setting, so every chunk is one
// system call and both jobs keep a core busy for the whole run. Runs offscreen. Figures:
// - holding Down as bench/PaintBench.cpp times it (2,000 presses sent one after the other, each
//   timed on the GUI thread until the cursor has moved, median and 99th percentile), first with
//   no job, then with both jobs running and the background strip shown and polling; against one
//   frame of a 60 Hz display;
// - the GUI thread's CPU time (CLOCK_THREAD_CPUTIME_ID) as a share of one core over
//   POLL_SECONDS (default 3) while (a) the strip shows the two running jobs, (b) the modal
//   progress window follows one running job; against 2% of a core.

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "fileops/CopyEngine.h"
#include "fileops/CopyThread.h"
#include "fileops/ui/CopyBackForm.h"
#include "fileops/ui/CopyProgressForm.h"
#include "foundation/System.h"
#include "panel/KMYFILEPANEL.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace {

using ks::bench::Median;
using ks::bench::Seconds;
using Clock = std::chrono::steady_clock;

constexpr double Frame = 1.0 / 60.0;
constexpr double PollShare = 0.02;
constexpr int Rows = 40;
constexpr int Presses = 2000;
// "SettingsMaxCopyBufferSize" of 0 kilobytes: the copier's smallest chunk for files under ten
// buffers, one system call per 64 bytes.
constexpr std::int64_t SmallestCopyBuffer = 0;
// Time for the jobs to pass their counting phase and the windows to show, before a figure.
constexpr int SettleMs = 300;

// The value below which the fraction share of values lies (nearest rank).
double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}

void PrintLine(const std::string& name, double ours, double peer) {
    std::printf("%-48s ksable=%.6fs  peer=%.6fs  ratio=%.3f\n", name.c_str(), ours, peer, ours / peer);
}

// A share of one core, against PollShare.
void PrintShare(const std::string& name, double share) {
    std::printf("%-48s ksable=%.4f  peer=%.4f  ratio=%.3f\n", name.c_str(), share, PollShare,
                share / PollShare);
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A skin-like background, so every pass copies picture rows as the program's panels do.
QImage Background() {
    QImage image(900, 2000, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 900, 2000);
    gradient.setColorAt(0, QColor(22, 26, 32));
    gradient.setColorAt(1, QColor(40, 48, 60));
    painter.fillRect(image.rect(), gradient);
    return image;
}

// Runs the event loop for ms milliseconds, timers and painting included.
void RunLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Running(const ks::TCopyEngine& engine, const std::shared_ptr<ks::TCopyThread>& job) {
    return job->Started() && engine.IndexOfJob(job.get()) >= 0 && !job->FFinished.load();
}

// The GUI thread's CPU time over wall-clock time while the loop runs for ms milliseconds.
double GuiShare(int ms) {
    const double cpu = ThreadCpuSeconds();
    const auto start = Clock::now();
    RunLoop(ms);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return (ThreadCpuSeconds() - cpu) / wall;
}

struct THoldResult {
    std::vector<double> Latency;
    int Missed = 0;
};

// Key repeat from the top of the list: every press is handled before the next arrives; the
// events a real loop would run between two repeats (the painter's results reaching the window,
// the strip's timer) run untimed.
THoldResult HoldDown(ks::TKMYFILEPANEL& panel, ks::TKPanelWidget& widget) {
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&widget, &home);
    widget.WaitIdle(10000);
    THoldResult result;
    const int count = panel.FItemsStruc->Count();
    for (int i = 0; i < Presses && i + 1 < count; ++i) {
        const int before = panel.FItemsStruc->FItemIndex;
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        result.Latency.push_back(Seconds([&] { QApplication::sendEvent(&widget, &down); }));
        result.Missed += panel.FItemsStruc->FItemIndex == before + 1 ? 0 : 1;
        QCoreApplication::processEvents();
    }
    widget.WaitIdle(10000);
    return result;
}

std::shared_ptr<ks::TCopyThread> StartCopy(ks::TCopyEngine& engine, const std::string& source,
                                           const std::string& target) {
    engine.FMaxCopyBufferSize = SmallestCopyBuffer;
    std::shared_ptr<ks::TCopyThread> job = engine.NewJob(false, true, false);
    engine.AddEntry(source, target);
    return job;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: ks_bench_jobs PANEL_DIR SOURCE_A SOURCE_B TARGET [POLL_SECONDS]\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string panelDir = argv[1];
    const std::string sourceA = argv[2];
    const std::string sourceB = argv[3];
    const std::string target = argv[4];
    const int pollMs = 1000 * (argc > 5 ? std::max(1, std::atoi(argv[5])) : 3);
    for (const char* folder : {"/a", "/b", "/p"})
        std::filesystem::create_directories(target + folder);

    ks::TKLinuxSystem system;
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);
    ks::TPanelOptions options;
    options.PanelStartupDone = true;
    ks::TKMYFILEPANEL panel(options);
    panel.FActive = true;
    ks::TKPanelWidget widget(panel);
    widget.SetBackground(Background(), QPoint(16, 84));
    widget.resize(426, Rows * widget.RowHeight());
    widget.show();
    panel.FFolderItems.FPath = panelDir;
    panel.ReadPanel(false, true);
    if (!widget.WaitIdle(60000) || panel.FVisibleRows != Rows) {
        std::fprintf(stderr, "ks_bench_jobs: the panel did not settle at %d rows (%d)\n", Rows,
                     panel.FVisibleRows);
        return 1;
    }
    const std::string items = std::to_string(panel.FItemsStruc->Count()) + " items";

    // The engine as the main window makes it: jobs take their thread priority from the system.
    ks::TCopyEngine engine(fileSystem);
    engine.SetPriorityHandler([](int priority) { (void)ks::System().SetThreadPriority(priority); });
    const auto report = [&](const std::string& name, const THoldResult& hold) {
        if (hold.Missed > 0 || hold.Latency.empty()) {
            std::fprintf(stderr, "ks_bench_jobs: %d of %zu presses did not move the cursor\n", hold.Missed,
                         hold.Latency.size());
            return false;
        }
        PrintLine(name + "_median (" + items + ")", Median(hold.Latency), Frame);
        PrintLine(name + "_p99 (" + items + ")", Percentile(hold.Latency, 0.99), Frame);
        return true;
    };
    // The first pass over the rows warms what both measured passes then find warm.
    (void)HoldDown(panel, widget);
    if (!report("hold_down_no_jobs", HoldDown(panel, widget)))
        return 1;

    std::shared_ptr<ks::TCopyThread> jobA = StartCopy(engine, sourceA, target + "/a");
    engine.StartJob();
    std::shared_ptr<ks::TCopyThread> jobB = StartCopy(engine, sourceB, target + "/b");
    engine.StartJob();
    ks::TCopyBackForm strip(engine);
    // The main window takes the keyboard back after every change of the strip.
    strip.OnGiveFocusBack = [&widget] {
        widget.activateWindow();
        widget.setFocus();
    };
    strip.ShowStrip();
    RunLoop(SettleMs);
    const auto bothRunning = [&](const char* when) {
        if (Running(engine, jobA) && Running(engine, jobB) && strip.TimerActive())
            return true;
        std::fprintf(stderr, "ks_bench_jobs: a job ended %s; give the jobs more data\n", when);
        return false;
    };
    if (!bothRunning("before the presses"))
        return 1;
    const THoldResult withJobs = HoldDown(panel, widget);
    if (!bothRunning("during the presses") || !report("hold_down_two_jobs_strip", withJobs))
        return 1;

    const double stripShare = GuiShare(pollMs);
    if (!bothRunning("while the strip was measured"))
        return 1;
    PrintShare("gui_cpu_share_strip_two_jobs", stripShare);

    // The progress window follows a job of its own; the strip and its jobs are gone first, so
    // only the window's polling runs on the GUI thread.
    strip.hide();
    engine.CancelAll();
    if (!engine.WaitIdle(30000)) {
        std::fputs("ks_bench_jobs: the cancelled jobs did not end\n", stderr);
        return 1;
    }
    std::shared_ptr<ks::TCopyThread> jobP = StartCopy(engine, sourceA, target + "/p");
    ks::TCopyProgressForm progress(engine);
    double progressShare = -1;
    bool followed = false;
    QTimer::singleShot(SettleMs, &progress, [&] {
        progressShare = GuiShare(pollMs);
        followed = Running(engine, jobP) && progress.TimerActive();
        progress.reject();
    });
    // Run returns once the cancelled job has ended; the deadline only guards a job that hangs.
    QTimer::singleShot(SettleMs + pollMs + 30000, &progress, [&] { progress.done(0); });
    progress.Run(jobP);
    if (!followed || progressShare < 0) {
        std::fputs("ks_bench_jobs: the progress window's job ended before its measurement did\n", stderr);
        return 1;
    }
    PrintShare("gui_cpu_share_progress_one_job", progressShare);
    return 0;
}
