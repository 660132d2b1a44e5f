#include "controls/ui/KMYFORM.h"

#include <QPushButton>

namespace ks {

TKMYFORM::TKMYFORM(QWidget* parent) : QDialog(parent) {}

QColor TKMYFORM::FrameColor() {
    return QColor(40, 40, 40);
}

QRect TKMYFORM::InnerRect() const {
    return QRect(InnerLeft, InnerTop, width() - 2 * InnerLeft, height() - InnerTop - 4);
}

void TKMYFORM::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
}

void TKMYFORM::mousePressEvent(QMouseEvent* event) {
    QDialog::mousePressEvent(event);
}

void TKMYFORM::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
}

void TKMYFORM::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
}

void TKMYFORM::PlaceChildren() {}

} // namespace ks
