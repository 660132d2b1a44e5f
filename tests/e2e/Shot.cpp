// Screenshot of an X display for the end-to-end tests:
//
//   ks-e2e-shot OUT.png X Y W H    the rectangle of the screen
//   ks-e2e-shot OUT.png            the whole screen, cut to what differs from the black root window
//
// Run with DISPLAY set and QT_QPA_PLATFORM=xcb. The program under test paints rows on a thread of
// its own, so the screen is grabbed until two grabs 40 ms apart are the same (at most 3 s) and
// the last grab is saved.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The bounding box of the pixels that are not black; the whole image when all are.
QRect ContentBox(const QImage& image) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xffffffU) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return image.rect();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6) {
        std::fputs("usage: ks-e2e-shot OUT.png [X Y W H]\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fputs("ks-e2e-shot: no screen\n", stderr);
        return 1;
    }
    QRect area = screen->geometry();
    if (argc == 6)
        area = QRect(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (area.isEmpty()) {
        std::fputs("ks-e2e-shot: empty rectangle\n", stderr);
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    QImage last;
    for (;;) {
        const QImage shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        const bool steady = !last.isNull() && shot == last;
        last = shot;
        if (steady || clock.elapsed() > 3000)
            break;
        QThread::msleep(40);
    }
    if (last.isNull()) {
        std::fputs("ks-e2e-shot: the screen could not be grabbed\n", stderr);
        return 1;
    }
    if (argc == 2)
        last = last.copy(ContentBox(last));
    if (!last.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "ks-e2e-shot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
