#include "controls/ui/KComboBox.h"

#include <QCompleter>
#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QLineEdit>

namespace ks {

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

TKComboBox::TKComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // The history is the caller's: Enter must not add to it behind its back.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(24);
    setStyleSheet(QStringLiteral(
        "QComboBox { background: #16191f; color: #dadde2; border: 1px solid #454c58; padding: 2px 4px; }"
        "QComboBox:focus { border: 1px solid #c8dcf8; }"
        "QComboBox:disabled { color: #6e747e; }"
        "QComboBox::drop-down { border: none; width: 16px; }"
        "QComboBox QAbstractItemView { background: #16191f; color: #dadde2; border: 1px solid #454c58;"
        " selection-background-color: #3e74be; selection-color: #ffffff; }"));

    // QFileSystemModel reads folders on its own gatherer thread and fills in as the answers come,
    // so typing into a folder on a slow or hung mount never blocks the window.
    FModel = new QFileSystemModel(this);
    FModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    FModel->setResolveSymlinks(false);
    FModel->setReadOnly(true);
    FCompleter = new QCompleter(FModel, this);
    FCompleter->setCaseSensitivity(Qt::CaseSensitive);
    FCompleter->setCompletionMode(QCompleter::PopupCompletion);
    setCompleter(FCompleter);

    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { FollowTypedFolder(text); });
}

void TKComboBox::SetHistory(const std::vector<std::string>& history) {
    const QString text = lineEdit()->text();
    clear();
    for (const std::string& entry : history)
        addItem(FromLocal(entry));
    setCurrentIndex(-1);
    lineEdit()->setText(text);
}

std::vector<std::string> TKComboBox::History() const {
    std::vector<std::string> history;
    history.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        history.push_back(ToLocal(itemText(i)));
    return history;
}

void TKComboBox::AddTextToHistory() {
    const QString text = lineEdit()->text();
    if (text.isEmpty() || findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return;
    insertItem(0, text);
    // Inserting may move the current item; the edit field keeps what the user typed.
    lineEdit()->setText(text);
}

std::string TKComboBox::Text() const {
    return ToLocal(lineEdit()->text());
}

void TKComboBox::SetText(const std::string& text) {
    lineEdit()->setText(FromLocal(text));
}

bool TKComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyRelease && OnKeyUp)
        OnKeyUp();
    return QComboBox::eventFilter(watched, event);
}

void TKComboBox::FollowTypedFolder(const QString& text) {
    // The model reads only the folder being typed into (and what the completer walks down from
    // it), not the whole tree from the root.
    const qsizetype slash = text.lastIndexOf(u'/');
    if (slash < 0)
        return;
    const QString folder = slash == 0 ? QStringLiteral("/") : text.left(slash);
    if (folder == FModelFolder)
        return;
    FModelFolder = folder;
    FModel->setRootPath(folder);
}

} // namespace ks
