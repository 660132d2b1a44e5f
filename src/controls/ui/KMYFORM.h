#pragma once

#include <QDialog>
#include <QRect>

class QPushButton;

namespace ks {

/// The frame every dialog of the program draws itself: no system frame, a dark frame with a
/// black title bar holding the caption in white bold, and a 12 × 12 close box at the top right.
/// Any spot not covered by a control drags the window; Escape and the close box reject it.
/// A child widget named "PANELW" is kept at (3, 30) with the size of the window less 6 × 32.
/// The dialog's own controls get the program's dark look (`DialogStyleSheet`); a dialog that
/// sets a style sheet of its own appends to it. Thread: the GUI thread.
class TKMYFORM : public QDialog {
public:
    /// Bottom of the black title bar and top of the inner area.
    static constexpr int TitleBarBottom = 27;
    static constexpr int InnerLeft = 4;
    static constexpr int InnerTop = 30;
    static constexpr int CloseBoxSize = 12;

    explicit TKMYFORM(QWidget* parent = nullptr);

    /// One fifth of the average of the system button face's red, green and blue, used for all
    /// three (a dark grey that follows the theme).
    static QColor FrameColor();
    /// The colour of the inner area.
    static QColor BodyColor();
    /// The style of the dialogs' controls: light text on dark buttons, boxes and lists.
    static QString DialogStyleSheet();
    /// The area inside the frame: from (4, 30) to (W-4, H-4).
    QRect InnerRect() const;
    /// The close box, named "CLOSE".
    QPushButton* CloseBox() const { return FCloseBox; }

    /// The layout's size, widened when the caption needs more room beside the close box.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

    /// Resizes the dialog to its contents keeping its centre where it was; dialogs call it after
    /// their captions changed (a translation) so that longer texts still fit.
    void FitToContents();

private:
    void PlaceChildren();

    QPushButton* FCloseBox = nullptr;
};

} // namespace ks
