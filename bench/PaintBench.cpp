// The painted panel widget's figures, against one frame of a 60 Hz display (16.667 ms), printed
// like bench/lib.sh:
//   NAME  ksable=<s>  peer=0.016667s  ratio=<ksable/frame>
//
//   ks_bench_paint DIR [ROUNDS] [PEER_CPU_PER_PRESS]
//
// DIR holds the files to list (the .bench.sh script makes 100,000 of them). The widget is sized
// for 40 rows and runs offscreen. Figures:
// - one full paint pass: a repaint request until the painter thread is idle and the window has
//   taken the new rows (median of ROUNDS passes);
// - holding Down: 2,000 key presses sent one after the other, each timed on the GUI thread until
//   the panel's cursor has moved (median and 99th percentile); the painter works meanwhile;
// - the CPU time of the whole process (GUI and painter thread) per Down press, each followed by
//   the painting it causes: 200 presses past the first page (each scrolls) against
//   PEER_CPU_PER_PRESS (seconds, another file manager's CPU per press measured the same way by
//   the .bench.sh script) when given, else against 0.5 ms; and, in ms, the presses within the
//   first page.

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "panel/KMYFILEPANEL.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace {

using ks::bench::Median;
using ks::bench::Seconds;

constexpr double Frame = 1.0 / 60.0;
constexpr int Rows = 40;
constexpr int Presses = 2000;

// The value below which the fraction share of values lies (nearest rank).
double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}

void PrintLine(const std::string& name, double ours, double peer = Frame) {
    std::printf("%-48s ksable=%.6fs  peer=%.6fs  ratio=%.3f\n", name.c_str(), ours, peer, ours / peer);
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: ks_bench_paint DIR [ROUNDS]\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string dir = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 51;

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
    panel.FFolderItems.FPath = dir;
    panel.ReadPanel(false, true);
    if (!widget.WaitIdle(60000) || panel.FVisibleRows != Rows) {
        std::fprintf(stderr, "ks_bench_paint: the panel did not settle at %d rows (%d)\n", Rows,
                     panel.FVisibleRows);
        return 1;
    }
    const int count = panel.FItemsStruc->Count();

    std::vector<double> passes;
    for (int i = 0; i < rounds; ++i) {
        passes.push_back(Seconds([&] {
            widget.RepaintAll();
            widget.WaitIdle(10000);
        }));
    }
    PrintLine("paint_pass_40_rows", Median(passes));

    // Key repeat: every press is handled before the next arrives; the events a real loop would
    // run between two repeats (the painter's results reaching the window) run untimed.
    std::vector<double> latency;
    int missed = 0;
    for (int i = 0; i < Presses && i + 1 < count; ++i) {
        const int before = panel.FItemsStruc->FItemIndex;
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        latency.push_back(Seconds([&] { QApplication::sendEvent(&widget, &down); }));
        missed += panel.FItemsStruc->FItemIndex == before + 1 ? 0 : 1;
        QCoreApplication::processEvents();
    }
    widget.WaitIdle(10000);
    if (missed > 0 || latency.empty()) {
        std::fprintf(stderr, "ks_bench_paint: %d of %zu presses did not move the cursor\n", missed,
                     latency.size());
        return 1;
    }
    const std::string items = std::to_string(count) + " items";
    PrintLine("hold_down_key_to_cursor_median (" + items + ")", Median(latency));
    PrintLine("hold_down_key_to_cursor_p99 (" + items + ")", Percentile(latency, 0.99));

    // CPU per press, painting included: from the top, each press followed by the painting it
    // causes until the window has taken it. Within the first page only the two cursor rows
    // change; past it every press scrolls the list and every row shows another item.
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&widget, &home);
    widget.WaitIdle(10000);
    const auto cpuPerPress = [&](int presses) {
        const double before = ProcessCpuSeconds();
        for (int i = 0; i < presses; ++i) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&widget, &down);
            widget.WaitIdle(10000);
        }
        return (ProcessCpuSeconds() - before) / presses;
    };
    const double inPage = cpuPerPress(Rows - 1);
    constexpr int CpuPresses = 200;
    const double perPress = cpuPerPress(CpuPresses);
    if (panel.FItemsStruc->FItemIndex != Rows - 1 + CpuPresses) {
        std::fprintf(stderr, "ks_bench_paint: the cursor is at %d after %d presses\n",
                     panel.FItemsStruc->FItemIndex, Rows - 1 + CpuPresses);
        return 1;
    }
    const double peerPerPress = argc > 3 ? std::atof(argv[3]) : 0.0;
    if (peerPerPress > 0)
        PrintLine("hold_down_cpu_per_press vs mc (" + items + ")", perPress, peerPerPress);
    else
        PrintLine("hold_down_cpu_per_press vs 0.5 ms (" + items + ")", perPress, 0.0005);
    std::printf("hold_down_cpu_per_press_ms (%s) scrolling=%.3f within_page=%.3f\n", items.c_str(),
                perPress * 1000, inPage * 1000);
    return 0;
}
