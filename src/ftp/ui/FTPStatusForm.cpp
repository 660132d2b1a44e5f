#include "ftp/ui/FTPStatusForm.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace ks {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TFTPStatusForm::TFTPStatusForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("FTPStatusForm"));
    setWindowTitle(QStringLiteral("FTP status"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 4, InnerTop + 4, 8, 8);
    FMemo = new QPlainTextEdit(this);
    FMemo->setObjectName(QStringLiteral("Memo"));
    FMemo->setReadOnly(true);
    // The text can still be selected with the mouse, but the keyboard stays with the main window.
    FMemo->setFocusPolicy(Qt::NoFocus);
    FMemo->setMinimumSize(420, 180);
    layout->addWidget(FMemo);

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().topLeft());
}

void TFTPStatusForm::AddLine(const std::string& text) {
    const std::size_t before = FLog.Lines().size();
    const std::vector<std::string>& lines = FLog.Lines();
    if (FLog.Append(text)) {
        QStringList all;
        all.reserve(static_cast<qsizetype>(lines.size()));
        for (const std::string& line : lines)
            all.push_back(Utf8(line));
        FMemo->setPlainText(all.join(QLatin1Char('\n')));
    } else {
        for (std::size_t i = before; i < lines.size(); ++i)
            FMemo->appendPlainText(Utf8(lines[i]));
    }
    FMemo->verticalScrollBar()->setValue(FMemo->verticalScrollBar()->maximum());
}

void TFTPStatusForm::ShowWithoutFocus() {
    if (!isVisible())
        show();
}

bool TFTPStatusForm::event(QEvent* event) {
    // The log is only watched; a click on it must not take the keyboard from the panels.
    // A window that shares its parent's activation is told so too; only its own activation is
    // handed back, or it would take the activation from whatever window the user went to.
    if (event->type() == QEvent::WindowActivate && parentWidget() != nullptr &&
        QApplication::activeWindow() == this)
        parentWidget()->window()->activateWindow();
    return TKMYFORM::event(event);
}

} // namespace ks
