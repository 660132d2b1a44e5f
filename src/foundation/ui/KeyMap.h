#pragma once

#include <cstdint>

#include <Qt>

class QKeyEvent;

namespace ks {

/// The program's key code (`TVirtualKey`) of a Qt key event, for the panels, the text displays
/// and the main window alike; 0 for keys that have none. The numeric pad's "*", "+" and "-" have
/// codes of their own only when Qt reports them from the pad, so the main keyboard's "+" never
/// selects.
int MapQtKey(const QKeyEvent& event);
/// The `TShiftState` bits of Qt's modifier keys and mouse buttons.
std::uint32_t MapQtModifiers(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

} // namespace ks
