// tview: the small text viewer kSable starts for F3 on a file.
//
//   tview FILE
//
// Shows the file read-only in a monospaced font. Text that is not valid UTF-8 is shown one
// character per byte, so nothing is hidden. Files larger than the limit show their beginning and
// say so. Esc or F3 closes the window; F2 switches line wrapping.

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QStringDecoder>

#include <cstdio>

namespace {

constexpr qint64 ViewLimit = 32 * 1024 * 1024;

class TViewer : public QPlainTextEdit {
public:
    TViewer() {
        setReadOnly(true);
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        setStyleSheet(
            "QPlainTextEdit { background: #16191f; color: #dadde2; selection-background-color: #3e74be; }");
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_F3 || event->key() == Qt::Key_F10) {
            close();
            return;
        }
        if (event->key() == Qt::Key_F2) {
            setLineWrapMode(lineWrapMode() == NoWrap ? WidgetWidth : NoWrap);
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }
};

QString Decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tview FILE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tview: cannot open %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    const QByteArray bytes = file.read(ViewLimit);
    TViewer viewer;
    QString title = QFileInfo(path).fileName() + " - tview";
    if (file.size() > ViewLimit)
        title += QStringLiteral(" (first %1 MB of %2 MB)").arg(ViewLimit >> 20).arg(file.size() >> 20);
    viewer.setWindowTitle(title);
    viewer.setPlainText(Decode(bytes));
    viewer.resize(900, 640);
    viewer.show();
    return app.exec();
}
