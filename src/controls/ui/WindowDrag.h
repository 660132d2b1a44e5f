#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

namespace ks {

/// Moves a frameless top-level window while the left button drags it by a free spot. The window
/// system's own move is asked for first (it follows the pointer with the window manager's edges
/// and snapping); where none is offered (a bare X display without a window manager, offscreen),
/// the window follows the pointer itself until the button is released. The window forwards its
/// mouse press, move and release events. Thread: the GUI thread.
class TKWindowDrag {
public:
    /// A press on the window's free spot: true when it was the left button, which starts a drag.
    bool Press(QWidget& window, const QMouseEvent& event);
    /// The pointer moved: the window follows it while a drag of its own runs; true then.
    bool Move(QWidget& window, const QMouseEvent& event);
    /// A button released: true when it ended a drag of the window's own.
    bool Release(const QMouseEvent& event);
    /// A drag of the window's own runs (the window system's move is not counted).
    bool Dragging() const { return FDragging; }

private:
    bool FDragging = false;
    QPoint FPressAt;
    QPoint FWindowAt;
};

} // namespace ks
