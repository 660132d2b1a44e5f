#pragma once

#include "controls/KMYDISPLAY.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>
#include <string_view>

namespace ks {

/// The one-line skinned text display on screen: the panels' path and item lines and the command
/// line. It owns a TKMYDISPLAY, gives it the font's text measure and the widget's width, draws what
/// the model's Layout returns on the skin background, and hands keys and typed characters to it.
///
/// Only an editable display (the command line) takes keys. Its caret blinks by the model's
/// BlinkTick, which the owner calls from its 100 ms background tick; the display keeps no timer of
/// its own, so the tick has one source and the caret keeps the model's rate (800 ms shown, 200 ms
/// hidden) with or without the focus. Mouse input is not used. Thread: the GUI thread.
class TKDisplayWidget : public QWidget {
public:
    /// Turns the bytes of the caption and the text into display text.
    using TTextDecoder = std::function<QString(std::string_view)>;

    /// The caret block is the font colour darkened by this factor.
    static constexpr double CaretDarkening = 1.5;
    /// Free pixels between each side edge and the text: skins draw the displays as wells with
    /// rounded corners inside a frame (radius 4 inside a 1-pixel frame in the shipped ones), which
    /// the text clears with a pixel to spare.
    static constexpr int TextMargin = 6;

    explicit TKDisplayWidget(QWidget* parent = nullptr);

    /// The display's logic; its OnRedraw, OnSetClipboardText and OnGetClipboardText belong to the
    /// widget, the other events are free for the caller.
    TKMYDISPLAY& Model() { return FModel; }
    const TKMYDISPLAY& Model() const { return FModel; }

    /// An editable display takes the keyboard focus, handles keys and blinks its caret.
    void SetEditable(bool editable);
    bool Editable() const { return FEditable; }

    /// Installs the decoder for the caption and text bytes (language texts in the language's
    /// character set); an empty one restores UTF-8. Measures and redraws.
    void SetTextDecoder(TTextDecoder decoder);
    QString DecodeText(std::string_view bytes) const;

    /// The skin picture the display is drawn on; offset is this widget's position minus the
    /// picture's position, taken once when the background is set. A null image means no picture:
    /// the background colour fills the widget. Parts outside the picture get the colour too.
    void SetActiveBackground(const QImage& background, QPoint offset);
    /// Background without a picture; (192, 192, 192) at creation.
    void SetBackgroundColor(const QColor& color);
    /// Colour of the caption, the text, the markers and the underline; black at creation.
    void SetFontColor(const QColor& color);
    QColor FontColor() const { return FFontColor; }
    /// The font colour darkened for the caret block.
    QColor CaretColor() const;

    /// The model's layout for the text area (the widget less `TextMargin` on each side), its
    /// positions in the widget's own pixels. A hidden widget gets its resize event only when it
    /// is shown, so the width is taken here as well.
    TKMYDISPLAYLayout Layout();

    /// Top of the text line: the line is centred vertically in the widget.
    int TextTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int MeasureText(std::string_view text) const;
    int TextWidth() const;
    bool HandleKey(QKeyEvent* event);

    TKMYDISPLAY FModel;
    TTextDecoder FDecoder;
    QImage FBackground;
    QPoint FBackgroundOffset;
    QColor FBackgroundColor{192, 192, 192};
    QColor FFontColor{0, 0, 0};
    bool FEditable = false;
};

} // namespace ks
