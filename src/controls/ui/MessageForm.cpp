#include "controls/ui/MessageForm.h"

#include "foundation/Language.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace ks {

namespace {

// The language string of each button, in the order of MessageButtons.
constexpr std::array<std::string TLangStrings::*, 8> ButtonCaptions = {
    &TLangStrings::MSGBOX_Yes,     &TLangStrings::MSGBOX_YesToAll, &TLangStrings::MSGBOX_No,
    &TLangStrings::MSGBOX_NoToAll, &TLangStrings::MSGBOX_OK,       &TLangStrings::MSGBOX_Cancel,
    &TLangStrings::MSGBOX_Retry,   &TLangStrings::MSGBOX_Abort,
};

constexpr int InnerTop = TKMYFORM::InnerTop;
constexpr int IconSize = 32;
constexpr int IconLeft = 12;
constexpr int IconTop = InnerTop + 12;
constexpr int TextLeft = IconLeft + IconSize + 8;
constexpr int TextRight = 12;
constexpr int TextTop = InnerTop + 8;
constexpr int MinTextHeight = 40;
// Longer messages scroll inside the text area instead of growing the window off the screen.
constexpr int MaxTextHeight = 320;
constexpr int ButtonHeight = 25;
constexpr int ButtonSpacing = 12;
// Room left and right of a caption that does not fit the standard button width.
constexpr int CaptionPadding = 16;

TMessageForm::TTextDecoder& Decoder() {
    static TMessageForm::TTextDecoder decoder;
    return decoder;
}

// A caption as it is drawn: "&x" marks x as the mnemonic, "&&" stands for "&".
QString DrawnCaption(const QString& caption) {
    QString drawn;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (++i >= caption.size())
                break;
        }
        drawn += caption[i];
    }
    return drawn;
}

} // namespace

TMessageForm::TMessageForm(const std::string& text, int buttons, int defaultButton, QWidget* parent)
    : TKMYFORM(parent), FButtonSet(buttons) {
    setObjectName(QStringLiteral("MessageForm"));
    setModal(true);
    const QFont font = this->font();
    setStyleSheet(DialogStyleSheet() +
                  QStringLiteral("QPushButton { padding: 0px; }"
                                 "QTextEdit { background: transparent; color: #dadde2; border: none; }"));

    const TLangStrings& lang = LangStrings();
    const std::string& caption =
        lang.MSGBOX_Caption.empty() ? std::string(MessageCaptionDefault) : lang.MSGBOX_Caption;
    setWindowTitle(DecodeText(caption));

    const QFontMetrics metrics(font);
    std::array<int, 8> widths{};
    for (std::size_t i = 0; i < MessageButtons.size(); ++i) {
        const std::string& langCaption = lang.*ButtonCaptions[i];
        const QString buttonCaption =
            langCaption.empty()
                ? QString::fromUtf8(MessageButtons[i].DefaultCaption.data(),
                                    static_cast<qsizetype>(MessageButtons[i].DefaultCaption.size()))
                : DecodeText(langCaption);
        auto* button = new QPushButton(buttonCaption, this);
        button->setObjectName(QString::fromLatin1(MessageButtons[i].Name.data(),
                                                  static_cast<qsizetype>(MessageButtons[i].Name.size())));
        // A translated caption longer than the standard button widens its button.
        widths[i] = std::max(DefaultMessageButtonWidth,
                             metrics.horizontalAdvance(DrawnCaption(buttonCaption)) + CaptionPadding);
        const int result = MessageButtons[i].ModalResult;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        button->setVisible((buttons & MessageButtons[i].Bit) != 0);
        FButtons[i] = button;
    }
    FLayout = LayoutMessageBox(buttons, defaultButton, widths);
    const int width = FLayout.ClientWidth;

    FImage = new QLabel(this);
    FImage->setGeometry(IconLeft, IconTop, IconSize, IconSize);

    FText = new QTextEdit(this);
    FText->setReadOnly(true);
    FText->setFocusPolicy(Qt::NoFocus);
    FText->setTextInteractionFlags(Qt::NoTextInteraction);
    FText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FText->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The message sits on the dialog's own colour: the text area's viewport paints nothing.
    FText->setFrameShape(QFrame::NoFrame);
    FText->viewport()->setAutoFillBackground(false);
    QPalette textPalette = FText->palette();
    textPalette.setColor(QPalette::Base, Qt::transparent);
    textPalette.setColor(QPalette::Text, QColor(0xda, 0xdd, 0xe2));
    FText->setPalette(textPalette);
    FText->document()->setDefaultFont(font);
    QTextOption option = FText->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    // Paths have no spaces to break at; they still have to wrap inside the window.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    FText->document()->setDefaultTextOption(option);
    FText->setPlainText(DecodeText(text));
    QTextCursor cursor(FText->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(centred);
    const int textWidth = width - TextLeft - TextRight;
    // Measured on a copy: the text area's own document is laid out by the widget for its current
    // size, which is not yet the final one.
    const std::unique_ptr<QTextDocument> measure(FText->document()->clone());
    measure->setTextWidth(textWidth);
    const int textHeight =
        std::clamp(static_cast<int>(std::ceil(measure->size().height())), MinTextHeight, MaxTextHeight);
    FText->setGeometry(TextLeft, TextTop, textWidth, textHeight);

    const int buttonTop = std::max(TextTop + textHeight, IconTop + IconSize) + ButtonSpacing;
    for (std::size_t k = 0; k < FLayout.Visible.size(); ++k) {
        const int index = FLayout.Visible[k];
        FButtons[static_cast<std::size_t>(index)]->setGeometry(
            FLayout.ButtonLeft[k], buttonTop, widths[static_cast<std::size_t>(index)], ButtonHeight);
    }
    setFixedSize(width, buttonTop + ButtonHeight + ButtonSpacing);

    if (FLayout.Focused >= 0) {
        QPushButton* focused = FButtons[static_cast<std::size_t>(FLayout.Focused)];
        focused->setDefault(true);
        focused->setFocus(Qt::OtherFocusReason);
    }

    FTimer = new QTimer(this);
    FTimer->setInterval(MessageIconInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { TickIcon(); });
}

void TMessageForm::SetTextDecoder(TTextDecoder decoder) {
    Decoder() = std::move(decoder);
}

QString TMessageForm::DecodeText(const std::string& bytes) {
    if (Decoder())
        return Decoder()(bytes);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

int TMessageForm::Execute() {
    // The form may be gone when exec() returns (its parent closed under it), so nothing of it is
    // touched afterwards; a form destroyed that way counts as closed.
    const int buttons = FButtonSet;
    FTimer->start();
    const int result = exec();
    return MessageBoxResult(result == mrNone ? mrCancel : result, buttons);
}

void TMessageForm::TickIcon() {
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxWarning;
    switch (FIconCycle.Tick()) {
    case miError:
        pixmap = QStyle::SP_MessageBoxCritical;
        break;
    case miQuestion:
        pixmap = QStyle::SP_MessageBoxQuestion;
        break;
    default:
        break;
    }
    FImage->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(IconSize, IconSize));
}

bool TMessageForm::IconTimerActive() const {
    return FTimer->isActive();
}

void TMessageForm::done(int result) {
    FTimer->stop();
    QDialog::done(result);
}

void TMessageForm::reject() {
    // Escape, the close box and closing the window all answer Cancel.
    done(mrCancel);
}

int ShowMessageForm(const std::string& text, int /*kind*/, int buttons, int defaultButton, int /*reserved*/,
                    QWidget* parent) {
    // Built on the heap and watched: a parent destroyed while the box is open takes the box with
    // it, which must not end in a second delete.
    QPointer<TMessageForm> form = new TMessageForm(text, buttons, defaultButton, parent);
    const int result = form->Execute();
    delete form.data();
    return result;
}

} // namespace ks
