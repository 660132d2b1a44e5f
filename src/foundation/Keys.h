#pragma once

#include <cstdint>

namespace ks {

/// The program's key codes: the classic virtual key numbers, into which the GUI maps its own
/// key events once (`MapQtKey`). The panels, the text displays and the main window's key map all
/// speak these codes, so one key event reaches any of them unchanged.
enum TVirtualKey : int {
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33, ///< PageUp
    VK_NEXT = 34,  ///< PageDown
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_INSERT = 45,
    VK_DELETE = 46,
    VK_0 = 48,    ///< the main keyboard's digits are 48 to 57
    VK_A = 65,    ///< letters are their upper-case ASCII codes
    VK_APPS = 93, ///< the menu key
    VK_MULTIPLY = 106,
    VK_ADD = 107,
    VK_SUBTRACT = 109,
    VK_F1 = 112, ///< F1 to F12 are 112 to 123
    VK_F10 = 121,
    VK_OEM_PERIOD = 190, ///< the "." key
    VK_OEM_4 = 219,      ///< the "[" key of a US keyboard
    VK_OEM_5 = 220,      ///< the "\" key
    VK_OEM_6 = 221,      ///< the "]" key of a US keyboard
};

constexpr int VK_F(int n) {
    return VK_F1 + n - 1;
}
constexpr int VK_LETTER(char upper) {
    return static_cast<int>(upper);
}

/// Modifier keys and mouse buttons held, as a bit set.
enum TShiftState : std::uint32_t {
    ssNone = 0,
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
};

/// The modifier part of a shift state (Shift, Alt, Ctrl), without the mouse buttons.
constexpr std::uint32_t Modifiers(std::uint32_t shift) {
    return shift & (ssShift | ssAlt | ssCtrl);
}

/// Mouse buttons.
enum TMouseButton { mbLeftButton, mbRightButton, mbMiddleButton };

} // namespace ks
