// The peer of the start-up benchmark: the least a Qt Widgets program does to put a window on the
// screen. It shows one window the size of kSable's and quits as soon as its first paint has been
// flushed to the display.

#include <QApplication>
#include <QColor>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

class TFirstPaintWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(30, 34, 40));
        // The backing store is flushed right after this returns; a zero timer runs after that.
        if (!FPainted) {
            FPainted = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }

private:
    bool FPainted = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TFirstPaintWindow window;
    window.setWindowTitle("minimal");
    window.resize(900, 620);
    window.show();
    return app.exec();
}
