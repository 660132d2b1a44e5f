#include "controls/ui/KMYFORM.h"

#include "controls/ui/DialogStyle.h"
#include "controls/ui/TranslateForm.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

// Distance of the close box from the top and right edges.
constexpr int CloseBoxMargin = 8;
// Least gap between the end of the caption and the close box.
constexpr int CaptionGap = 16;

// Draws a one-pixel frame round the rectangle from (left, top) to (right, bottom), exclusive.
void FrameRect(QPainter& painter, int left, int top, int right, int bottom, const QColor& color) {
    if (right <= left || bottom <= top)
        return;
    painter.fillRect(left, top, right - left, 1, color);
    painter.fillRect(left, bottom - 1, right - left, 1, color);
    painter.fillRect(left, top, 1, bottom - top, color);
    painter.fillRect(right - 1, top, 1, bottom - top, color);
}

QFont CaptionFont(const QFont& formFont) {
    QFont bold = formFont;
    bold.setBold(true);
    return bold;
}

// The cross on the close box.
QPixmap CloseGlyph() {
    QPixmap glyph(TKMYFORM::CloseBoxSize - 4, TKMYFORM::CloseBoxSize - 4);
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(200, 204, 212), 1.4));
    const qreal end = glyph.width() - 1.5;
    painter.drawLine(QPointF(1.5, 1.5), QPointF(end, end));
    painter.drawLine(QPointF(1.5, end), QPointF(end, 1.5));
    return glyph;
}

} // namespace

TKMYFORM::TKMYFORM(QWidget* parent, TFormTexts texts)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), FTexts(texts) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    setFont(font);

    // The palette serves the controls the style sheet leaves to the style (lists, edits, focus
    // rectangles), so they are dark too.
    QPalette dark = palette();
    const QColor text(218, 221, 226);
    dark.setColor(QPalette::Window, BodyColor());
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, QColor(22, 25, 31));
    dark.setColor(QPalette::AlternateBase, QColor(30, 34, 41));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(48, 54, 63));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(62, 116, 190));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(22, 25, 31));
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(110, 116, 126));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(110, 116, 126));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(110, 116, 126));
    setPalette(dark);
    // The style goes first: the style sheet's drawing wraps the style the widget has when the
    // sheet is set, and the check boxes' boxes and the focus frames come from it.
    setStyle(TKDialogStyle::Instance());
    setStyleSheet(DialogStyleSheet());

    FCloseBox = new QPushButton(this);
    FCloseBox->setObjectName(QStringLiteral("CLOSE"));
    FCloseBox->setFocusPolicy(Qt::NoFocus);
    FCloseBox->setToolTip(QStringLiteral("ALT+F4"));
    FCloseBox->setFixedSize(CloseBoxSize, CloseBoxSize);
    FCloseBox->setIcon(CloseGlyph());
    FCloseBox->setIconSize(QSize(CloseBoxSize - 4, CloseBoxSize - 4));
    connect(FCloseBox, &QPushButton::clicked, this, [this] { reject(); });
    PlaceChildren();
}

QColor TKMYFORM::FrameColor() {
    const QColor face = QGuiApplication::palette().color(QPalette::Button);
    const int grey = static_cast<int>(std::lround((face.red() + face.green() + face.blue()) / 3.0 / 5.0));
    return QColor(grey, grey, grey);
}

QColor TKMYFORM::BodyColor() {
    return QColor(36, 41, 49);
}

QString TKMYFORM::DialogStyleSheet() {
    return QStringLiteral(
        "QPushButton { background: #30363f; color: #dadde2; border: 1px solid #566070; padding: 3px 12px; }"
        "QPushButton:hover { background: #3a414c; }"
        "QPushButton:default { border: 1px solid #7a8aa0; }"
        "QPushButton:focus { border: 1px solid #c8dcf8; outline: none; }"
        "QPushButton:pressed { background: #181b21; }"
        "QPushButton:disabled { color: #6e747e; border: 1px solid #3a414c; }"
        "QPushButton#CLOSE { background: #000000; border: 1px solid #a0a0a0; padding: 0px; }"
        "QPushButton#CLOSE:hover { background: #8a1f1f; }"
        "QCheckBox { color: #dadde2; spacing: 6px; }"
        "QCheckBox:disabled { color: #6e747e; }"
        "QCheckBox:focus { color: #ffffff; }"
        "QLabel { color: #dadde2; }"
        "QListWidget { background: #16191f; color: #dadde2; border: 1px solid #454c58; }"
        "QListWidget::item:selected { background: #3e74be; color: #ffffff; }"
        "QMenuBar { background: #242931; color: #dadde2; }"
        "QMenuBar::item:selected { background: #3e74be; color: #ffffff; }"
        "QMenu { background: #1e2229; color: #dadde2; border: 1px solid #454c58; }"
        "QMenu::item:selected { background: #3e74be; color: #ffffff; }"
        "QToolTip { background: #16191f; color: #dadde2; border: 1px solid #566070; }");
}

QRect TKMYFORM::InnerRect() const {
    return QRect(InnerLeft, InnerTop, width() - 2 * InnerLeft, height() - InnerTop - 4);
}

QSize TKMYFORM::sizeHint() const {
    QSize hint = QDialog::sizeHint();
    // Without a layout there is no size to widen.
    if (!hint.isValid())
        return hint;
    const QFontMetrics metrics(CaptionFont(font()));
    const int at = (TitleBarBottom + 1 - metrics.height()) / 2;
    const int captionWidth =
        at + metrics.horizontalAdvance(windowTitle()) + CaptionGap + CloseBoxSize + CloseBoxMargin;
    hint.setWidth(std::max(hint.width(), captionWidth));
    return hint;
}

void TKMYFORM::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    // Recomputed for every paint, so a theme change shows at once.
    const QColor frameColor = FrameColor();

    painter.fillRect(rect(), BodyColor());
    FrameRect(painter, 0, 0, w, h, frameColor);
    FrameRect(painter, 1, TitleBarBottom, w - 1, h - 1, frameColor);
    FrameRect(painter, 2, TitleBarBottom + 1, w - 2, h - 2, frameColor);
    FrameRect(painter, 3, TitleBarBottom + 2, w - 3, h - 3, frameColor);
    painter.fillRect(1, 1, w - 2, TitleBarBottom - 1, Qt::black);

    const QFont bold = CaptionFont(font());
    painter.setFont(bold);
    painter.setPen(Qt::white);
    const QFontMetrics metrics(bold);
    const int at = (TitleBarBottom + 1 - metrics.height()) / 2;
    const QString title = metrics.elidedText(windowTitle(), Qt::ElideRight,
                                             w - at - CaptionGap - CloseBoxSize - CloseBoxMargin);
    painter.drawText(at, at + metrics.ascent(), title);
}

void TKMYFORM::mousePressEvent(QMouseEvent* event) {
    // The window has no system frame, so any free spot of it drags it.
    if (FDrag.Press(*this, *event)) {
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void TKMYFORM::mouseMoveEvent(QMouseEvent* event) {
    if (FDrag.Move(*this, *event)) {
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void TKMYFORM::mouseReleaseEvent(QMouseEvent* event) {
    if (FDrag.Release(*event)) {
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void TKMYFORM::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceChildren();
}

void TKMYFORM::showEvent(QShowEvent* event) {
    if (FTexts == ftTranslated) {
        TranslateForm(this);
        FitToContents();
    }
    PlaceChildren();
    QDialog::showEvent(event);
}

bool TKMYFORM::event(QEvent* event) {
    // A "PANELW" may be created (or named) after the form; it is placed once it is polished.
    if (event->type() == QEvent::ChildPolished)
        PlaceChildren();
    return QDialog::event(event);
}

void TKMYFORM::FitToContents() {
    // A dialog not yet placed is centred over its parent by QDialog's show event, which runs
    // after this; one that was placed keeps its centre.
    const QPoint centre = geometry().center();
    adjustSize();
    if (testAttribute(Qt::WA_Moved))
        move(centre - rect().center());
}

std::vector<QPushButton*> TKMYFORM::AddButtonRow(QBoxLayout* layout,
                                                 std::initializer_list<TFormButton> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    std::vector<QPushButton*> made;
    for (const TFormButton& button : buttons) {
        auto* pushButton = new QPushButton(QString::fromUtf8(button.Caption), this);
        pushButton->setObjectName(QString::fromUtf8(button.Name));
        pushButton->setDefault(made.empty());
        if (button.Accepts)
            connect(pushButton, &QPushButton::clicked, this, &QDialog::accept);
        else
            connect(pushButton, &QPushButton::clicked, this, &QDialog::reject);
        row->addWidget(pushButton);
        made.push_back(pushButton);
    }
    layout->addLayout(row);
    return made;
}

QPushButton* TKMYFORM::AddOkRow(QBoxLayout* layout) {
    return AddButtonRow(layout, {{"OKButton", "&OK"}}).front();
}

void TKMYFORM::PlaceChildren() {
    if (FCloseBox != nullptr) {
        FCloseBox->move(width() - CloseBoxSize - CloseBoxMargin, CloseBoxMargin);
        FCloseBox->raise();
    }
    auto* panel = findChild<QWidget*>(QStringLiteral("PANELW"), Qt::FindDirectChildrenOnly);
    if (panel == nullptr)
        return;
    if (auto* frame = qobject_cast<QFrame*>(panel)) {
        if (frame->frameShape() != QFrame::Panel || frame->frameShadow() != QFrame::Raised) {
            frame->setFrameShape(QFrame::Panel);
            frame->setFrameShadow(QFrame::Raised);
        }
    }
    const QRect place(3, InnerTop, width() - 6, height() - 32);
    if (panel->geometry() != place)
        panel->setGeometry(place);
}

} // namespace ks
