#include "foundation/ui/KeyMap.h"

#include <QKeyEvent>

#include "foundation/Keys.h"

namespace ks {

int MapQtKey(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return VK_A + (key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return VK_F1 + (key - Qt::Key_F1);
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? 0 : VK_0 + (key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_Menu:
        return VK_APPS;
    case Qt::Key_Backslash:
        return VK_OEM_5;
    case Qt::Key_Asterisk:
        return keypad ? VK_MULTIPLY : 0;
    case Qt::Key_Plus:
        return keypad ? VK_ADD : 0;
    case Qt::Key_Minus:
        return keypad ? VK_SUBTRACT : 0;
    default:
        return 0;
    }
}

std::uint32_t MapQtModifiers(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    std::uint32_t shift = ssNone;
    if (modifiers & Qt::ShiftModifier)
        shift |= ssShift;
    if (modifiers & Qt::AltModifier)
        shift |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        shift |= ssCtrl;
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

} // namespace ks
