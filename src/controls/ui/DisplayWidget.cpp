#include "controls/ui/DisplayWidget.h"

#include "foundation/DELTA9.h"
#include "foundation/ui/KeyMap.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>

#include <algorithm>
#include <string>
#include <utility>

namespace ks {

namespace {

QString FromUtf8(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

TKDisplayWidget::TKDisplayWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    FModel.OnRedraw = [this] { update(); };
    FModel.OnSetClipboardText = [](std::string_view text) {
        QGuiApplication::clipboard()->setText(FromUtf8(text));
    };
    FModel.OnGetClipboardText = [] { return QGuiApplication::clipboard()->text().toStdString(); };
    FModel.SetMeasure([this](std::string_view text) { return MeasureText(text); });
    FModel.SetWidth(TextWidth());
}

void TKDisplayWidget::SetEditable(bool editable) {
    FEditable = editable;
    setFocusPolicy(editable ? Qt::StrongFocus : Qt::NoFocus);
}

void TKDisplayWidget::SetTextDecoder(TTextDecoder decoder) {
    FDecoder = std::move(decoder);
    // The widths change with the decoding: measure the scroll position again.
    FModel.SetMeasure([this](std::string_view text) { return MeasureText(text); });
}

QString TKDisplayWidget::DecodeText(std::string_view bytes) const {
    return FDecoder ? FDecoder(bytes) : FromUtf8(bytes);
}

void TKDisplayWidget::SetActiveBackground(const QImage& background, QPoint offset) {
    FBackground = background;
    FBackgroundOffset = offset;
    update();
}

void TKDisplayWidget::SetBackgroundColor(const QColor& color) {
    FBackgroundColor = color;
    update();
}

void TKDisplayWidget::SetFontColor(const QColor& color) {
    FFontColor = color;
    update();
}

QColor TKDisplayWidget::CaretColor() const {
    const TColorRef dark =
        DarkenColor(MakeColor(FFontColor.red(), FFontColor.green(), FFontColor.blue()), CaretDarkening);
    return QColor(RedOf(dark), GreenOf(dark), BlueOf(dark));
}

TKMYDISPLAYLayout TKDisplayWidget::Layout() {
    FModel.SetWidth(TextWidth());
    TKMYDISPLAYLayout layout = FModel.Layout();
    // The model places everything from the text area's left edge.
    for (int* x : {&layout.EditX, &layout.LeftMarkerX, &layout.RightMarkerX, &layout.CaretX,
                   &layout.SelectionX1, &layout.SelectionX2})
        *x += TextMargin;
    return layout;
}

int TKDisplayWidget::TextTop() const {
    return std::max(0, (height() - fontMetrics().height()) / 2);
}

void TKDisplayWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), FBackgroundColor);
    if (!FBackground.isNull()) {
        const QRect source = QRect(FBackgroundOffset, size()).intersected(FBackground.rect());
        if (!source.isEmpty())
            painter.drawImage(source.topLeft() - FBackgroundOffset, FBackground, source);
    }

    const TKMYDISPLAYLayout layout = Layout();
    const QFontMetrics metrics = fontMetrics();
    const int top = TextTop();
    const int baseline = top + metrics.ascent();
    // A caption longer than the text area (an item line) is cut at its end, clear of the edge.
    painter.setClipRect(QRect(TextMargin, 0, TextWidth(), height()));
    painter.setFont(font());
    painter.setPen(FFontColor);
    painter.drawText(QPoint(TextMargin, baseline), DecodeText(layout.CaptionShown));
    if (!layout.EditorShown)
        return;

    if (layout.LeftMarker)
        painter.drawText(QPoint(layout.LeftMarkerX, baseline), DecodeText(ScrolledLeftMarker));
    if (layout.RightMarker)
        painter.drawText(QPoint(layout.RightMarkerX, baseline), DecodeText(ScrolledRightMarker));
    // The block goes under the text, so the character on it is drawn with the rest of the line
    // and keeps the font's spacing.
    const bool caretInView = layout.CaretPos >= layout.VisibleStart && layout.CaretPos <= layout.VisibleEnd;
    if (layout.CaretBlockShown && caretInView)
        painter.fillRect(QRect(layout.CaretX, top, layout.CaretWidth, metrics.height()), CaretColor());
    const std::string_view text = FModel.Text();
    painter.drawText(QPoint(layout.EditX, baseline),
                     DecodeText(text.substr(layout.VisibleStart, layout.VisibleEnd - layout.VisibleStart)));
    if (layout.SelectionShown) {
        const int y = std::min(top + metrics.height(), height() - 1);
        painter.fillRect(QRect(layout.SelectionX1, y, layout.SelectionX2 - layout.SelectionX1, 1),
                         FFontColor);
    }
}

void TKDisplayWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FModel.SetWidth(TextWidth());
}

void TKDisplayWidget::keyPressEvent(QKeyEvent* event) {
    if (FEditable && HandleKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TKDisplayWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FModel.SetMeasure([this](std::string_view text) { return MeasureText(text); });
}

int TKDisplayWidget::MeasureText(std::string_view text) const {
    return fontMetrics().horizontalAdvance(DecodeText(text));
}

int TKDisplayWidget::TextWidth() const {
    return std::max(0, width() - 2 * TextMargin);
}

bool TKDisplayWidget::HandleKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        FModel.CopyToClipboard();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        FModel.CutToClipboard();
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        FModel.PasteFromClipboard();
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        FModel.SelectAll();
        return true;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (const int key = MapQtKey(*event); TKMYDISPLAY::IsEditKey(key)) {
        FModel.PressKey(key, MapQtModifiers(modifiers, Qt::NoButton));
        return true;
    }
    if (event->key() == Qt::Key_Backspace) {
        FModel.KeyPress((modifiers & Qt::ControlModifier) ? U'\x7F' : U'\b');
        return true;
    }
    // Ctrl and Alt combinations are the window's shortcuts, not text.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    bool typed = false;
    for (const auto code : event->text().toUcs4()) {
        // 127 would be taken as Ctrl+Backspace; the Delete key arrives above as a key.
        if (code > 31 && code != 127) {
            FModel.KeyPress(static_cast<char32_t>(code));
            typed = true;
        }
    }
    return typed;
}

} // namespace ks
