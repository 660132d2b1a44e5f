#include "controls/ui/DialogStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

namespace ks {

namespace {

void DrawCheckBox(const QStyleOption& option, QPainter& painter) {
    const bool enabled = option.state.testFlag(QStyle::State_Enabled);
    const bool checked = option.state.testFlag(QStyle::State_On);
    const bool partly = option.state.testFlag(QStyle::State_NoChange);
    const QRectF box = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(enabled ? QColor(138, 147, 163) : QColor(69, 76, 88), 1));
    painter.setBrush(enabled ? QColor(22, 26, 32) : QColor(36, 41, 49));
    painter.drawRect(box);
    const QColor mark = enabled ? TKDialogStyle::MarkColor() : QColor(110, 116, 126);
    const double side = box.width();
    const QPointF at = box.topLeft();
    if (checked) {
        // A tick from the middle of the left side down to the lower middle and up to the upper
        // right: a filled box alone reads as a button, not as a ticked one.
        QPainterPath tick;
        tick.moveTo(at + QPointF(0.22 * side, 0.52 * side));
        tick.lineTo(at + QPointF(0.42 * side, 0.74 * side));
        tick.lineTo(at + QPointF(0.80 * side, 0.28 * side));
        painter.setPen(QPen(mark, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    } else if (partly) {
        painter.setPen(QPen(mark, 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(at + QPointF(0.25 * side, 0.5 * side), at + QPointF(0.75 * side, 0.5 * side));
    }
    painter.restore();
}

// A radio button in the colours of the check boxes: a dark round box with a light dot when it
// is chosen, so the chosen one of a group stands out as a tick does.
void DrawRadioButton(const QStyleOption& option, QPainter& painter) {
    const bool enabled = option.state.testFlag(QStyle::State_Enabled);
    const bool checked = option.state.testFlag(QStyle::State_On);
    const QRectF ring = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(enabled ? QColor(138, 147, 163) : QColor(69, 76, 88), 1));
    painter.setBrush(enabled ? QColor(22, 26, 32) : QColor(36, 41, 49));
    painter.drawEllipse(ring);
    if (checked) {
        const double inset = ring.width() * 0.28;
        painter.setPen(Qt::NoPen);
        painter.setBrush(enabled ? TKDialogStyle::MarkColor() : QColor(110, 116, 126));
        painter.drawEllipse(ring.adjusted(inset, inset, -inset, -inset));
    }
    painter.restore();
}

} // namespace

TKDialogStyle::TKDialogStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

TKDialogStyle* TKDialogStyle::Instance() {
    // Owned by the application, so it goes with it and a later application makes a new one.
    static QPointer<TKDialogStyle> style;
    if (style == nullptr) {
        style = new TKDialogStyle;
        style->setParent(qApp);
    }
    return style;
}

void TKDialogStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const {
    if (element == PE_IndicatorCheckBox) {
        DrawCheckBox(*option, *painter);
        return;
    }
    if (element == PE_IndicatorRadioButton) {
        DrawRadioButton(*option, *painter);
        return;
    }
    if (element == PE_FrameFocusRect) {
        painter->save();
        painter->setPen(QPen(MarkColor(), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

int TKDialogStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight || metric == PM_ExclusiveIndicatorWidth ||
        metric == PM_ExclusiveIndicatorHeight)
        return IndicatorSize;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

} // namespace ks
