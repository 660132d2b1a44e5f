#include "shell/ui/MainForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <cctype>

#include "controls/ui/DisplayWidget.h"
#include "foundation/DELTA9.h"
#include "foundation/Keys.h"
#include "foundation/ui/KeyMap.h"
#include "panel/ui/PanelWidget.h"

namespace ks {

bool TMainForm::PanelKeyDown(TKMYFILEPANEL& sender, int key, std::uint32_t shift, const QString& text) {
    SelectActivePanel(&sender);
    const std::uint32_t mods = shift & (ssShift | ssAlt | ssCtrl);
    FLastKeyDown = key;
    const bool digit = key >= VK_0 && key <= VK_0 + 9 && !FLastKeyPad;
    const bool dot = text == QStringLiteral(".");

    // Locate mode ends on any key that cannot be part of a name; the key goes on.
    if (FCommandLine.KeyDown(key, dot)) {
        INFOLINE->Model().ClearText();
        InfolineChangeText();
        InfoList(nullptr, {});
    }
    if (key == VK_RETURN && mods == ssNone && !INFOLINE->Model().Text().empty() && !sender.Busy()) {
        RunCommandLine();
        return true;
    }
    if (dot && !INFOLINE->Model().Text().empty())
        return true;
    if (digit && (mods == ssNone || mods == ssShift) && !INFOLINE->Model().Text().empty())
        return true;

    TKeyContext context;
    context.ActiveBusy = sender.Busy();
    context.CommandLineHasText = !INFOLINE->Model().Text().empty();
    context.LocateMode = FCommandLine.Mode() == cmdLocate;
    context.CursorOnFile =
        sender.FItemsStruc->FCurrentItem != nullptr && sender.FItemsStruc->FCurrentItem->Kind == ikFile;
    context.ExternalEditor = CheckBox("SettingsExternalEditor");
    const TKeyAction action = MapMainKey(key, shift, context);
    switch (action.Target) {
    case ktCommandLine:
        if (CommandLineKey(sender, key, shift))
            return true;
        break;
    case ktCommand:
        if (action.Command == cmTextView) {
            // F3 on a file always views it, whatever the menu shows: viewing changes nothing.
            OpenInViewer();
            return true;
        }
        RunCommand(action.Command);
        return true;
    case ktPanel:
        break;
    }
    return false;
}

void TMainForm::PanelKeyPress(TKMYFILEPANEL& sender, const QString& text) {
    if (text.isEmpty())
        return;
    const char32_t c = text.toUcs4().value(0);
    if (sender.PanelType() == ptDriveList) {
        // A letter opens the first mounted file system whose folder name starts with it.
        if (c < 128 && std::isalpha(static_cast<int>(c))) {
            const char wanted = static_cast<char>(std::toupper(static_cast<int>(c)));
            for (int i = 0; i < sender.FItemsStruc->Count(); ++i) {
                const TKFiles* item = sender.FItemsStruc->GetFileItem(i);
                if (item == nullptr || item->Kind != ikDrive)
                    continue;
                const std::string name = LastPathPart(item->Name);
                if (!name.empty() && std::toupper(static_cast<unsigned char>(name[0])) == wanted) {
                    sender.FItemsStruc->SetItemIndex(i);
                    sender.ExecuteItem(false);
                    break;
                }
            }
        }
        return;
    }
    TKMYDISPLAY& line = INFOLINE->Model();
    if (line.Text().empty() && FLastKeyDown == VK_SPACE)
        return;
    if (FLastKeyPad)
        return;
    if (c == 8 || c == 127) {
        if (!line.Text().empty())
            line.KeyPress(c);
        return;
    }
    if (c > 31)
        line.KeyPress(c);
}

void TMainForm::PanelKeyUp(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (qtKey == Qt::Key_Alt && (modifiers & ~Qt::AltModifier) == Qt::NoModifier && FAltAlone) {
        FCommandLine.AltTapped();
        InfolineChangeText();
        if (FCommandLine.Mode() == cmdInfo)
            InfoList(nullptr, {});
    }
    FAltAlone = false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LEFTPINFO || watched == RIGHTPINFO) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            SelectActivePanel(nullptr);
            FActivePanel->ShowDriveList(watched == LEFTPINFO);
            WriteState();
            return true;
        }
        return false;
    }
    if (watched != LEFTPANEL && watched != RIGHTPANEL)
        return false;
    TKMYFILEPANEL& sender = watched == LEFTPANEL ? *FLeft : *FRight;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Every key belongs to the panels and the command line: none is a shortcut.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        // The rename editor over the panel has the keys while it is open.
        if (RenameEditorVisible())
            return true;
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        FAltAlone =
            keyEvent->key() == Qt::Key_Alt && (keyEvent->modifiers() & ~Qt::AltModifier) == Qt::NoModifier;
        FLastKeyPad = (keyEvent->modifiers() & Qt::KeypadModifier) != 0 &&
                      (keyEvent->key() == Qt::Key_Asterisk || keyEvent->key() == Qt::Key_Plus ||
                       keyEvent->key() == Qt::Key_Minus || keyEvent->key() == Qt::Key_Comma);
        if ((keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab) &&
            (keyEvent->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) == 0) {
            // Tab moves the keyboard, and with it the commands, to the other panel.
            TKPanelWidget* other = watched == LEFTPANEL ? RIGHTPANEL : LEFTPANEL;
            if (other->isVisible())
                other->setFocus(Qt::TabFocusReason);
            SelectActivePanel(&OtherPanel(sender));
            WriteState();
            return true;
        }
        const int key = MapQtKey(*keyEvent);
        const std::uint32_t shift = MapQtModifiers(keyEvent->modifiers(), QApplication::mouseButtons());
        bool used = false;
        if (key != 0)
            used = PanelKeyDown(sender, key, shift, keyEvent->text());
        if (!used && key != 0)
            sender.KeyDown(key, shift);
        // Alt and Ctrl combinations type nothing.
        QString text = keyEvent->text();
        if ((keyEvent->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) != 0)
            text = key == VK_BACK && (keyEvent->modifiers() & Qt::ControlModifier) ? QString(QChar(127))
                                                                                   : QString();
        PanelKeyPress(sender, text);
        WriteState();
        return true;
    }
    case QEvent::KeyRelease: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (!keyEvent->isAutoRepeat())
            PanelKeyUp(keyEvent->key(), keyEvent->modifiers());
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::FocusIn:
        SelectActivePanel(&sender);
        QTimer::singleShot(0, this, [this] { WriteState(); });
        return false;
    default:
        return false;
    }
}

} // namespace ks
