#pragma once

#include "controls/ui/KMYFORM.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QTimer;

namespace ks {

class TCopyEngine;

/// The background window ("Back op."): a small strip, always on top, with one 16-pixel row per
/// copy job: a state mark (green running, red suspended), the priority digit and the job's bar
/// (yellow on orange for a move, blue on navy for a copy), or "done" / "cancelled" while a job
/// closes. Clicks suspend, resume, cancel and re-prioritise jobs. The strip never keeps the
/// focus: it hands it back to the main window after every click, key and repaint.
/// Thread: the GUI thread.
class TCopyBackForm : public TKMYFORM {
public:
    /// Width of the picture inside the frame.
    static constexpr int ClientWidth = 130;
    static constexpr int RowHeight = 16;

    explicit TCopyBackForm(TCopyEngine& engine, QWidget* parent = nullptr);
    ~TCopyBackForm() override;

    /// Shows the strip without activating it and starts its timer.
    void ShowStrip();
    /// Called after a click, a key or a repaint: the main window takes the focus back.
    std::function<void()> OnGiveFocusBack;
    /// "SettingsAutoClosingBackOpsWindow": the strip closes itself when no job is left.
    void SetAutoClose(bool on) { FAutoClose = on; }

    /// The last drawn picture (`ClientWidth` × 16 per job).
    const QImage& Picture() const { return FPicture; }
    /// The row at y of the picture, -1 above it.
    int RowAt(int y) const;
    /// The hint for the row, as the mouse shows it: the two help lines, and for a job's row
    /// "Task:#n / done / total".
    QString HintFor(int row) const;
    /// Width of the priority column: twice the width of "0" plus 12.
    int PriorityColumnWidth() const;

    /// One pass of the 20 ms timer.
    void Tick();
    bool TimerActive() const;

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    /// What a row shows; the picture is drawn again only when one of them changed.
    struct TRowState {
        bool Finishing = false;
        bool Cancelled = false;
        bool Suspended = false;
        bool Move = false;
        int Priority = 0;
        int Filled = 0;
        bool operator==(const TRowState&) const = default;
    };

    void Draw(const std::vector<TRowState>& rows);
    void CloseStrip();
    void GiveFocusBack();
    /// The picture's point of a window point.
    QPoint PictureAt(const QPoint& windowPoint) const;

    TCopyEngine& FEngine;
    QTimer* FTimer = nullptr;
    QImage FPicture;
    std::vector<TRowState> FRows;
    bool FDrawn = false;
    bool FAutoClose = false;
    bool FClosing = false;
    int FMouseRow = -1;
};

} // namespace ks
