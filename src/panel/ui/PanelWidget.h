#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "panel/KMYFILEPANEL.h"
#include "panel/PanelMask.h"
#include "panel/ui/RowTextCache.h"

class QDrag;
class QMimeData;

namespace ks {

class TKPanelWidget;

/// The format of a drag between the panels of one process; its data names the source widget.
inline constexpr char PanelItemsMimeType[] = "application/x-ksable-panel-items";

/// The full names a drag of panel's items carries to other programs: the marked items, or the
/// cursor item when none is marked; files and folders of a folder or find-result panel only
/// (items of archives, FTP sites and drive lists are no files another program could open).
std::vector<std::string> PanelDragNames(const TKMYFILEPANEL& panel);

/// The data of a drag of panel's items from the widget source: the private format naming source
/// and this process, and "text/uri-list" of `PanelDragNames` (left out when there is none).
std::unique_ptr<QMimeData> MakePanelDragData(const TKPanelWidget& source, const TKMYFILEPANEL& panel);

/// Blends colour over rect of image (Format_RGB888) with weight 0..255: every byte becomes
/// under + (weight x (bar - under)) / 255, the division truncating toward zero. The part of rect
/// outside the image is left out.
void BlendBar(QImage& image, QRect rect, QColor colour, int weight);

/// A row rectangle (inclusive coordinates) narrowed by a panel mask: left becomes the largest and
/// right the smallest bound over the pixel rows it covers. Pixel rows below the table use its
/// last entry. Without a loaded mask the rectangle is returned unchanged.
QRect MaskRowRect(const TPanelMaskData& mask, QRect rect);

/// The display text of a file name as the OS gives it: the locale's encoding, or, when the bytes
/// are not valid in it, one character per byte (Latin-1), so no two names look alike.
QString DecodeFileName(const std::string& bytes);

/// The painted file panel: shows a `TKMYFILEPANEL` and hands it keys, mouse input, its size and
/// the focus. Rows are rendered into an off-screen image by a painter thread of the widget's own;
/// the GUI thread only copies that image to the screen.
///
/// A paint request takes a snapshot of the visible rows (texts, colours, icons, weights) on the
/// GUI thread, so the painter never reads the model. A new request ends the running pass after
/// its current row. The painter remembers what each row shows: a cursor pass draws only the rows
/// whose snapshot differs (a cursor move: the old and the new cursor row), a full pass draws every
/// row, and only the drawn rows are copied to the screen. Row texts are laid out once and kept
/// as masks (`TRowTextCache`), so a scrolled list blends the texts it showed one row away.
class TKPanelWidget : public QWidget, public TKPanelView {
public:
    /// Decodes a language text (a code-page string) for display.
    using TTextDecoder = std::function<QString(const std::string&)>;

    /// A widget showing panel; panel must outlive the widget. Install the widget as the panel's
    /// `FView` (the constructor does so).
    explicit TKPanelWidget(TKMYFILEPANEL& panel, QWidget* parent = nullptr);
    ~TKPanelWidget() override;
    TKPanelWidget(const TKPanelWidget&) = delete;
    TKPanelWidget& operator=(const TKPanelWidget&) = delete;

    /// The decoder of language texts ("EMPTY LIST", the right column); UTF-8 by default.
    void SetTextDecoder(TTextDecoder decoder);
    /// The skin's row mask for this panel.
    void SetMask(const TPanelMaskData& mask);
    /// The skin's background picture and where the panel's top-left corner lies in it; a null
    /// image fills the rows with the widget's background colour (its palette's Window role).
    void SetBackground(const QImage& background, QPoint offset);

    // TKPanelView
    void RepaintCursor() override;
    void RepaintAll() override;
    void DrawItem(int index, int weight) override;
    void LockPainting(bool locked) override;
    /// Whether painting is locked (`LockPainting`).
    bool PaintingLocked() const { return FPaintLocked; }
    void StartTimer(TKPanelTimer timer, int intervalMs) override;
    void StopTimer(TKPanelTimer timer) override;
    void TakeFocus() override;

    /// Test hook: processes events until no pass is pending or running, at most ms
    /// milliseconds; true when the painter is idle.
    bool WaitIdle(int ms);
    /// A copy of the off-screen image.
    QImage RowImage() const;

    /// The panel widget a drag with dragData from source came from, when this widget takes it:
    /// source is another `TKPanelWidget` of this process and dragData carries `PanelItemsMimeType` naming
    /// it. Null otherwise (drags from other programs have no source object).
    TKPanelWidget* PanelDropSource(const QObject* source, const QMimeData* dragData) const;

    /// Items of another panel were dropped on this one. Fired from the event loop once the drag
    /// has ended, so the handler may run modal windows; source is the panel they came from.
    std::function<void(TKPanelWidget& source)> OnDropFromPanel;
    /// The row height for the current font and line spacing.
    int RowHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    /// Runs the drag of this panel's items until it is dropped or given up; the action taken.
    virtual Qt::DropAction RunDrag(QDrag& drag);

public:
    /// How the cursor bar of a row is drawn.
    enum TBarMode { bmNone, bmBlend, bmInvert, bmDotted };
    /// One row of a pass, ready to render without the model.
    struct TRowJob {
        int Row = 0; ///< offset from the top row
        bool HasItem = false;
        bool EmptyText = false; ///< the "EMPTY LIST" row
        QString Left, Right;
        QColor Text;
        QImage Icon;
        TBarMode Bar = bmNone;
        int Weight = 0;
        /// Whether both rows look the same when drawn with the same pass settings.
        bool SameLook(const TRowJob& other) const;
    };
    /// Everything one pass draws.
    struct TPassJob {
        QSize Size;
        int ItemHeight = 1;
        int VisibleRows = 0;
        QFont Font;
        QColor PanelColour;
        QColor BarColour;
        QImage Background;
        QPoint BackgroundOffset;
        TPanelMaskData Mask;
        bool ShowIcons = false;
        std::vector<TRowJob> Rows; ///< in drawing order
        /// Whether rows drawn with either job look the same.
        bool SameSettings(const TPassJob& other) const;
    };

    /// Renders one row of job into image (on any thread), its texts through texts.
    static void RenderRow(QImage& image, const TPassJob& job, const TRowJob& row, TRowTextCache& texts);
    /// Puts the background of rect into image.
    static void PutBackground(QImage& image, const TPassJob& job, QRect rect);

private:
    void StartDrag();
    TPassJob MakeJob(bool trailRules, int onlyIndex, int onlyWeight);
    void Request(bool full);
    void ShowDirty();
    // Under FMutex: renders row into FRowBitmap, remembers it and adds its rectangle to FDirty.
    void RenderAndKeep(const TPassJob& job, const TRowJob& row);
    TRowJob MakeRow(int index, int row, int weight, bool forceBar);
    QImage IconFor(TKFiles& item, int index);
    void PainterLoop();
    void StopPass();
    void WaitPainterIdle();
    void UpdateGeometry();
    void ResetImage(QSize newSize);
    QColor PanelColour() const;

    TKMYFILEPANEL& FPanel;
    TTextDecoder FDecoder;
    TPanelMaskData FMask;
    QImage FBackground;
    QPoint FBackgroundOffset;
    QTimer FWatchTimer;
    QTimer FAutoScrollTimer;
    /// Icons looked up once per content type; an item's `Icon` holds its index here.
    std::vector<QImage> FIcons;
    std::map<QString, std::uint32_t> FIconIndex;
    bool FPaintLocked = false;
    bool FPendingWhileLocked = false;
    /// The off-screen image is made anew when painting resumes (`ResetImage` while locked).
    bool FResetWhenUnlocked = false;
    /// Wheel movement short of a whole step (120 units), kept for the next event.
    int FWheelRest = 0;

    // Shared with the painter thread, under FMutex.
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    QImage FRowBitmap;
    TRowTextCache FTexts;
    TPassJob FPendingJob;
    bool FHasJob = false;
    /// The next pass draws every row (a full request, or a full pass that was cut short).
    bool FFullPass = true;
    /// What each row of FRowBitmap shows (by row offset) and the settings it was drawn with;
    /// a row without an entry is drawn by the next pass.
    std::vector<TRowJob> FShownRows;
    std::vector<bool> FShownValid;
    TPassJob FShownSettings;
    /// Drawn into FRowBitmap and not yet copied to the screen.
    QRegion FDirty;
    bool FPainting = false;
    bool FRestartPaint = false;
    bool FQuit = false;
    std::thread FPainter;
};

} // namespace ks
