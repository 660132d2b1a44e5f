#include "controls/ui/ProgressBar.h"

#include <QPainter>

#include <algorithm>

namespace ks {

TKProgressBar::TKProgressBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TKProgressBar::setRange(int minimum, int maximum) {
    FMinimum = minimum;
    FMaximum = std::max(minimum, maximum);
    setValue(FValue);
}

void TKProgressBar::setValue(int value) {
    FValue = std::clamp(value, FMinimum, FMaximum);
    if (FilledWidthFor(FValue) != FPaintedWidth)
        update();
}

void TKProgressBar::SetColours(QColor filled, QColor empty) {
    FFilled = filled;
    FEmpty = empty;
    update();
}

int TKProgressBar::FilledWidth() const {
    return FilledWidthFor(FValue);
}

int TKProgressBar::FilledWidthFor(int value) const {
    const int inner = std::max(0, width() - 2);
    if (FMaximum <= FMinimum)
        return 0;
    const double fraction = static_cast<double>(value - FMinimum) / static_cast<double>(FMaximum - FMinimum);
    return static_cast<int>(fraction * inner);
}

QSize TKProgressBar::sizeHint() const {
    return {100, 14};
}

void TKProgressBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.setPen(FFilled.darker(160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    FPaintedWidth = FilledWidth();
    painter.fillRect(QRect(inner.left(), inner.top(), FPaintedWidth, inner.height()), FFilled);
    painter.fillRect(
        QRect(inner.left() + FPaintedWidth, inner.top(), inner.width() - FPaintedWidth, inner.height()),
        FEmpty);
}

void TKProgressBar::resizeEvent(QResizeEvent* event) {
    FPaintedWidth = -1;
    QWidget::resizeEvent(event);
}

} // namespace ks
