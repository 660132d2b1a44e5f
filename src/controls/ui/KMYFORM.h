#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <initializer_list>
#include <vector>

#include "controls/ui/WindowDrag.h"

class QBoxLayout;
class QPushButton;

namespace ks {

/// Whether a dialog takes its captions from the language's window file each time it is shown.
enum TFormTexts { ftFixed, ftTranslated };

/// One button of a dialog's bottom row.
struct TFormButton {
    const char* Name;    ///< the object name, by which the window file translates it
    const char* Caption; ///< the built-in caption
    bool Accepts = true; ///< pressed, it accepts the dialog; otherwise it rejects it
};

/// The frame every dialog of the program draws itself: no system frame, a dark frame with a
/// black title bar holding the caption in white bold, and a 12 × 12 close box at the top right.
/// Any spot not covered by a control drags the window; Escape and the close box reject it.
/// A child widget named "PANELW" is kept at (3, 30) with the size of the window less 6 × 32.
/// The dialog's own controls get the program's dark look (`DialogStyleSheet`) drawn on
/// `TKDialogStyle` (ticked check boxes, a frame round the focused control); a dialog that sets a
/// style sheet of its own appends to it. A translated dialog (`ftTranslated`) applies its
/// window file (`TranslateForm`) and fits itself to the new texts each time it is shown, before
/// the show events of the classes below it. Thread: the GUI thread.
class TKMYFORM : public QDialog {
public:
    /// Bottom of the black title bar and top of the inner area.
    static constexpr int TitleBarBottom = 27;
    static constexpr int InnerLeft = 4;
    static constexpr int InnerTop = 30;
    static constexpr int CloseBoxSize = 12;

    explicit TKMYFORM(QWidget* parent = nullptr, TFormTexts texts = ftFixed);

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
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

    /// Resizes the dialog to its contents keeping its centre where it was; dialogs call it after
    /// their captions changed (a translation) so that longer texts still fit.
    void FitToContents();
    /// Adds the bottom row to layout: the buttons at its right end, the first one the default.
    /// Returns them in the order given.
    std::vector<QPushButton*> AddButtonRow(QBoxLayout* layout, std::initializer_list<TFormButton> buttons);
    /// The common bottom row: one "&OK" button, named "OKButton", that accepts.
    QPushButton* AddOkRow(QBoxLayout* layout);

private:
    void PlaceChildren();

    QPushButton* FCloseBox = nullptr;
    TFormTexts FTexts;
    TKWindowDrag FDrag;
};

/// Runs form, made with new, modally and deletes it. The form is watched while it runs: a parent
/// destroyed meanwhile takes the form with it, which must not end in a second delete. closed is
/// called with the finished form before it is deleted, and not at all when the form went with its
/// parent; returns whether it was called.
template <class TForm, class TClosed> bool ExecForm(TForm* form, TClosed&& closed) {
    QPointer<TForm> watched = form;
    watched->exec();
    if (watched == nullptr)
        return false;
    closed(*watched);
    delete watched.data();
    return true;
}

/// `ExecForm` for a form whose state nobody reads after it closed.
template <class TForm> bool ExecForm(TForm* form) {
    return ExecForm(form, [](TForm&) {});
}

} // namespace ks
