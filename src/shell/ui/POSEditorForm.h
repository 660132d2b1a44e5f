#pragma once

#include "controls/ui/KMYFORM.h"

#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QKeyEvent;
class QListWidget;
class QTimer;

namespace ks {

/// One part of the main window the position editor moves.
struct TPOSEditorPart {
    std::string Name; ///< "LEFTPINFO", ..., "BTNMENU"
    QWidget* Widget = nullptr;
};

/// The position editor ("Position editor..."): a list of the main window's parts; with one
/// selected, Alt+arrows move it by a pixel and Shift+Alt+arrows change its width (Left, Right)
/// or height (Up, Down); Enter re-attaches the skin background; "Frames" draws a frame round
/// every part (red for the selected one) over host; "&Save" writes the positions to the skin.
/// A part whose widget is gone is skipped. Thread: the GUI thread.
class TPOSEditorForm : public TKMYFORM {
public:
    TPOSEditorForm(std::vector<TPOSEditorPart> parts, QWidget* host, std::function<void()> reattach,
                   std::function<void()> save, QWidget* parent = nullptr);
    ~TPOSEditorForm() override;

    /// The list of part names.
    QListWidget* PartList() const { return FList; }
    /// The "Frames" box.
    QCheckBox* FramesBox() const { return FFrames; }
    /// The layer drawing the frames over host while "Frames" is checked; null otherwise.
    QWidget* FrameOverlay() const { return FOverlay; }
    /// The widget of the selected part, or null.
    QWidget* SelectedWidget() const;
    /// Moves the selected part by (dx, dy) and changes its size by (dw, dh); the size stays at
    /// least one pixel.
    void AdjustSelected(int dx, int dy, int dw, int dh);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    /// Runs the editor's keys; false for any other key.
    bool HandleKey(const QKeyEvent& event);
    void SetFramesShown(bool shown);
    void PaintFrames(QWidget& overlay);

    struct TPart {
        std::string Name;
        QPointer<QWidget> Widget;
    };
    std::vector<TPart> FParts;
    QPointer<QWidget> FHost;
    std::function<void()> FReattach;
    std::function<void()> FSave;
    QListWidget* FList = nullptr;
    QCheckBox* FFrames = nullptr;
    QTimer* FFrameTimer = nullptr;
    QPointer<QWidget> FOverlay;
};

} // namespace ks
