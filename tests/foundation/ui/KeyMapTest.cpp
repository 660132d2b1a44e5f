#include "foundation/ui/KeyMap.h"

#include "foundation/Keys.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

namespace ks {
namespace {

TEST(KeyMap, MapsQtKeysToVirtualKeys) {
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int expected;
    };
    const Case cases[] = {
        {Qt::Key_Down, Qt::NoModifier, VK_DOWN},
        {Qt::Key_Up, Qt::NoModifier, VK_UP},
        {Qt::Key_Left, Qt::NoModifier, VK_LEFT},
        {Qt::Key_Right, Qt::NoModifier, VK_RIGHT},
        {Qt::Key_PageUp, Qt::NoModifier, VK_PRIOR},
        {Qt::Key_PageDown, Qt::NoModifier, VK_NEXT},
        {Qt::Key_Home, Qt::NoModifier, VK_HOME},
        {Qt::Key_End, Qt::NoModifier, VK_END},
        {Qt::Key_Insert, Qt::NoModifier, VK_INSERT},
        {Qt::Key_Delete, Qt::NoModifier, VK_DELETE},
        {Qt::Key_Return, Qt::NoModifier, VK_RETURN},
        {Qt::Key_Enter, Qt::KeypadModifier, VK_RETURN},
        {Qt::Key_Escape, Qt::NoModifier, VK_ESCAPE},
        {Qt::Key_Backspace, Qt::NoModifier, VK_BACK},
        {Qt::Key_Space, Qt::NoModifier, VK_SPACE},
        {Qt::Key_F1, Qt::NoModifier, VK_F1},
        {Qt::Key_F10, Qt::AltModifier, VK_F10},
        {Qt::Key_F12, Qt::NoModifier, VK_F(12)},
        {Qt::Key_A, Qt::NoModifier, VK_LETTER('A')},
        {Qt::Key_Z, Qt::ControlModifier, VK_LETTER('Z')},
        {Qt::Key_0, Qt::NoModifier, 48},
        {Qt::Key_9, Qt::ControlModifier, 57},
        {Qt::Key_5, Qt::KeypadModifier, 0},
        {Qt::Key_Menu, Qt::NoModifier, VK_APPS},
        {Qt::Key_Backslash, Qt::NoModifier, VK_OEM_5},
        {Qt::Key_Asterisk, Qt::KeypadModifier, VK_MULTIPLY},
        {Qt::Key_Plus, Qt::KeypadModifier, VK_ADD},
        {Qt::Key_Minus, Qt::KeypadModifier, VK_SUBTRACT},
        {Qt::Key_Asterisk, Qt::ShiftModifier, 0},
        {Qt::Key_Plus, Qt::ShiftModifier, 0},
        {Qt::Key_Minus, Qt::NoModifier, 0},
        {Qt::Key_Tab, Qt::NoModifier, 0},
        {Qt::Key_Shift, Qt::ShiftModifier, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.qtKey);
        const QKeyEvent event(QEvent::KeyPress, c.qtKey, c.modifiers);
        EXPECT_EQ(MapQtKey(event), c.expected);
    }
}

TEST(KeyMap, MapsModifiersAndButtons) {
    EXPECT_EQ(MapQtModifiers(Qt::NoModifier, Qt::NoButton), ssNone);
    EXPECT_EQ(MapQtModifiers(Qt::ShiftModifier | Qt::KeypadModifier, Qt::NoButton), ssShift);
    EXPECT_EQ(MapQtModifiers(Qt::ControlModifier | Qt::AltModifier, Qt::NoButton), ssCtrl | ssAlt);
    EXPECT_EQ(MapQtModifiers(Qt::ShiftModifier, Qt::LeftButton | Qt::RightButton),
              ssShift | ssLeft | ssRight);
    EXPECT_EQ(MapQtModifiers(Qt::NoModifier, Qt::MiddleButton), ssMiddle);
}

} // namespace
} // namespace ks
