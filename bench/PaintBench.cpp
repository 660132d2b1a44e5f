// The painted panel widget's figures, against one frame of a 60 Hz display (16.667 ms), printed
// like bench/lib.sh:
//   NAME  ksable=<s>  peer=0.016667s  ratio=<ksable/frame>
//
//   ks_bench_paint DIR [ROUNDS]
//
// DIR holds the files to list (the .bench.sh script makes 100,000 of them). The widget is sized
// for 40 rows and runs offscreen. Figures:
// - one full paint pass: a repaint request until the painter thread is idle and the window has
//   taken the new rows (median of ROUNDS passes);
// - holding Down: 2,000 key presses sent one after the other, each timed on the GUI thread until
//   the panel's cursor has moved (median and 99th percentile); the painter works meanwhile.

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

void PrintLine(const std::string& name, double ours) {
    std::printf("%-48s ksable=%.6fs  peer=%.6fs  ratio=%.3f\n", name.c_str(), ours, Frame, ours / Frame);
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
    return 0;
}
