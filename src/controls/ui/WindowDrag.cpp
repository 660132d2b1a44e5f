#include "controls/ui/WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace ks {

bool TKWindowDrag::Press(QWidget& window, const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton)
        return false;
    FDragging = false;
    if (QWindow* handle = window.windowHandle(); handle != nullptr && handle->startSystemMove())
        return true;
    FDragging = true;
    FPressAt = event.globalPosition().toPoint();
    FWindowAt = window.pos();
    return true;
}

bool TKWindowDrag::Move(QWidget& window, const QMouseEvent& event) {
    if (!FDragging)
        return false;
    // A release that went elsewhere (a grab taken by another window) ends the drag too.
    if ((event.buttons() & Qt::LeftButton) == 0) {
        FDragging = false;
        return false;
    }
    window.move(FWindowAt + event.globalPosition().toPoint() - FPressAt);
    return true;
}

bool TKWindowDrag::Release(const QMouseEvent& event) {
    if (!FDragging || event.button() != Qt::LeftButton)
        return false;
    FDragging = false;
    return true;
}

} // namespace ks
