#include "controls/ui/ImageButton.h"

#include <QMouseEvent>
#include <QPainter>

namespace ks {

TKImageButton::TKImageButton(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void TKImageButton::SetPictures(const QImage& normal, const QImage& hover) {
    FNormal = normal;
    FHover2 = hover.isNull() ? normal : hover;
    update();
}

void TKImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QImage& picture = FHover || FPressed ? FHover2 : FNormal;
    if (!picture.isNull())
        painter.drawImage(FPressed ? QPoint(1, 1) : QPoint(0, 0), picture);
}

void TKImageButton::enterEvent(QEnterEvent* /*event*/) {
    FHover = true;
    update();
}

void TKImageButton::leaveEvent(QEvent* /*event*/) {
    FHover = false;
    update();
}

void TKImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FPressed = true;
        update();
    }
}

void TKImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = FPressed;
    FPressed = false;
    update();
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick();
}

} // namespace ks
