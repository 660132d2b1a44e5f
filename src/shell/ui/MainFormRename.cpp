#include "shell/ui/MainForm.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <functional>

#include "panel/ui/PanelWidget.h"

namespace ks {

namespace {

// The editor of the in-place rename. It keeps its keys from the window and reports how the edit
// ends: Enter renames; Esc, F2 and the focus moving to another widget of the window cancel.
class TRenameItemEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    std::function<void(bool rename)> OnEnd;

protected:
    bool event(QEvent* event) override {
        // Every key belongs to the edit while it is open: none is a shortcut of the window.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            End(true);
            return;
        case Qt::Key_Escape:
        case Qt::Key_F2:
            End(false);
            return;
        default:
            QLineEdit::keyPressEvent(event);
        }
    }

    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        // Another program or a menu taking the keyboard for a while leaves the edit open.
        if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
            End(false);
    }

private:
    void End(bool rename) {
        if (OnEnd)
            OnEnd(rename);
    }
};

QColor ColourOf(TColor colour) {
    return QColor(static_cast<int>(colour & 255), static_cast<int>((colour >> 8) & 255),
                  static_cast<int>((colour >> 16) & 255));
}

// True when the panel shows the name byte for byte as Latin-1: bytes that are no text in the
// locale's encoding.
bool ShownAsLatin1(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    // The decoder works when its result becomes a string.
    const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return decoder.hasError();
}

// The bytes of an edited name: a name shown as Latin-1 keeps that encoding while every character
// fits, so the bytes the user did not touch stay as they were.
std::string EncodeEditedName(const QString& text, bool latin1) {
    if (latin1 && std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 256; })) {
        const QByteArray bytes = text.toLatin1();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    QStringEncoder encoder(QStringEncoder::System);
    const QByteArray bytes = encoder(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

bool TMainForm::RenameEditorVisible() const {
    return RenameItemEdit != nullptr && RenameItemEdit->isVisible();
}

void TMainForm::RenameItemClick() {
    if (RenameEditorVisible())
        return;
    TKMYFILEPANEL& panel = *FActivePanel;
    const TKPanelType type = panel.PanelType();
    if (type != ptFolder && type != ptFindResult && type != ptFTP)
        return;
    TKITEMSSTRUC& list = *panel.FItemsStruc;
    const TKFiles* item = list.FCurrentItem;
    if (item == nullptr || item->Kind == ikUpFolder || item->Kind == ikDrive || panel.Busy())
        return;
    TKPanelWidget* widget = &panel == FLeft.get() ? LEFTPANEL : RIGHTPANEL;

    if (RenameItemEdit == nullptr) {
        auto* edit = new TRenameItemEdit(this);
        edit->setObjectName(QStringLiteral("RenameItemEdit"));
        edit->setFrame(false);
        edit->hide();
        edit->OnEnd = [this](bool rename) { EndRenameItem(rename); };
        RenameItemEdit = edit;
    }
    FRenamePanel = &panel;
    FRenameItem = item;
    FRenameIndex = list.FItemIndex;
    FRenameName = item->Name;
    FRenameShown = DecodeFileName(item->Name);

    // The panel's own look: its font, its background, the colour of the item's kind, the cursor
    // bar as the selection.
    const TPanelOptions& o = FOptions;
    TColor text = o.PanelColorOther;
    if (item->Kind == ikFolder)
        text = o.PanelColorFolder;
    else if (item->IsExecutable)
        text = o.PanelColorExe;
    if (item->IsPacked)
        text = o.PanelColorPacked;
    RenameItemEdit->setFont(widget->font());
    QPalette palette = RenameItemEdit->palette();
    const QColor background = widget->palette().color(QPalette::Window);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Text, ColourOf(text));
    palette.setColor(QPalette::Highlight, ColourOf(o.PanelColorCursor));
    palette.setColor(QPalette::HighlightedText, ColourOf(text));
    RenameItemEdit->setPalette(palette);
    // The row's text starts after two spaces.
    RenameItemEdit->setTextMargins(QFontMetrics(widget->font()).horizontalAdvance(QStringLiteral("  ")), 0, 0,
                                   0);

    const TRect row = panel.ItemRect(list.FItemIndex);
    RenameItemEdit->setGeometry(widget->x() + row.Left, widget->y() + row.Top, row.Right - row.Left + 1,
                                row.Bottom - row.Top + 1);
    RenameItemEdit->setText(FRenameShown);
    RenameItemEdit->show();
    RenameItemEdit->raise();
    RenameItemEdit->setFocus(Qt::OtherFocusReason);
    RenameItemEdit->selectAll();
    WriteState();
}

void TMainForm::EndRenameItem(bool rename) {
    if (FRenamePanel == nullptr)
        return;
    TKMYFILEPANEL& panel = *FRenamePanel;
    QString text = RenameItemEdit->text();
    // The edit ends before the rename: a message about a failure takes the focus, which must not
    // end the edit a second time.
    FRenamePanel = nullptr;
    RenameItemEdit->hide();
    TKPanelWidget* widget = &panel == FLeft.get() ? LEFTPANEL : RIGHTPANEL;
    widget->setFocus(Qt::OtherFocusReason);
    SelectActivePanel(&panel);

    if (rename) {
        if (CheckBox("SettingsCreateNewUpperCase"))
            text = text.toUpper();
        const std::string newName =
            text == FRenameShown ? FRenameName : EncodeEditedName(text, ShownAsLatin1(FRenameName));
        // The list may have been read again meanwhile: the item is looked up where it was, then
        // by its name.
        TKITEMSSTRUC& list = *panel.FItemsStruc;
        int index = FRenameIndex;
        const TKFiles* item = list.GetFileItem(index);
        if (item != FRenameItem || item == nullptr || item->Name != FRenameName)
            index = panel.FindItem(FRenameName, false);
        if (index >= 0)
            (void)panel.RenameItem(index, newName);
    }
    FRenameItem = nullptr;
    WriteState();
}

} // namespace ks
