#include "panel/ui/PanelWidget.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <QApplication>
#include <QFileIconProvider>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStringDecoder>
#include <QWheelEvent>

#include "foundation/Language.h"
#include "foundation/ui/KeyMap.h"

namespace ks {

namespace {

// Item icons store an index into the widget's icon table; this one means "looked up, none".
constexpr std::uint32_t NoIcon = IconNotLookedUp - 1;
// One wheel notch.
constexpr int WheelStep = 120;

QColor ColourOf(TColor colour) {
    return QColor(static_cast<int>(colour & 255), static_cast<int>((colour >> 8) & 255),
                  static_cast<int>((colour >> 16) & 255));
}

TMouseButton ButtonOf(Qt::MouseButton button, bool& known) {
    known = true;
    switch (button) {
    case Qt::LeftButton:
        return mbLeftButton;
    case Qt::RightButton:
        return mbRightButton;
    case Qt::MiddleButton:
        return mbMiddleButton;
    default:
        known = false;
        return mbLeftButton;
    }
}

} // namespace

void BlendBar(QImage& image, QRect rect, QColor colour, int weight) {
    if (image.format() != QImage::Format_RGB888)
        return;
    rect = rect.intersected(image.rect());
    if (rect.isEmpty())
        return;
    const int w = std::clamp(weight, 0, 255);
    const int bar[3] = {colour.red(), colour.green(), colour.blue()};
    // Every byte value blends the same way: one table per channel, filled once per bar.
    uchar blended[3][256];
    for (int c = 0; c < 3; ++c)
        for (int under = 0; under < 256; ++under)
            // C++ division truncates toward zero, also for a negative difference.
            blended[c][under] = static_cast<uchar>(under + (w * (bar[c] - under)) / 255);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        uchar* line = image.scanLine(y) + rect.left() * 3;
        for (int x = 0; x < rect.width(); ++x) {
            for (int c = 0; c < 3; ++c)
                line[c] = blended[c][line[c]];
            line += 3;
        }
    }
}

QRect MaskRowRect(const TPanelMaskData& mask, QRect rect) {
    if (!mask.Loaded || rect.isEmpty())
        return rect;
    int left = rect.left();
    int right = rect.right();
    const int last = static_cast<int>(mask.Entries.size()) - 1;
    for (int y = std::max(rect.top(), 0); y <= rect.bottom(); ++y) {
        // Pixel rows below the table are clipped like its last row.
        const TPanelMaskEntry& entry = mask.Entries[static_cast<std::size_t>(std::min(y, last))];
        left = std::max(left, static_cast<int>(entry.Left));
        right = std::min(right, static_cast<int>(entry.Right));
    }
    if (right < left)
        return {};
    QRect narrowed = rect;
    narrowed.setLeft(left);
    narrowed.setRight(right);
    return narrowed;
}

QString DecodeFileName(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TKPanelWidget::TKPanelWidget(TKMYFILEPANEL& panel, QWidget* parent)
    : QWidget(parent), FPanel(panel), FDecoder([](const std::string& text) {
          return QString::fromUtf8(text.data(), qsizetype(text.size()));
      }) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    FPanel.FView = this;
    connect(&FWatchTimer, &QTimer::timeout, this, [this] { FPanel.TimerTick(ptmWatch); });
    connect(&FAutoScrollTimer, &QTimer::timeout, this, [this] { FPanel.TimerTick(ptmAutoScroll); });
    ResetImage(size());
    FPainter = std::thread([this] { PainterLoop(); });
}

TKPanelWidget::~TKPanelWidget() {
    FWatchTimer.stop();
    FAutoScrollTimer.stop();
    {
        std::lock_guard lock(FMutex);
        FQuit = true;
        FRestartPaint = true;
    }
    FWake.notify_all();
    FPainter.join();
    if (FPanel.FView == this)
        FPanel.FView = nullptr;
}

void TKPanelWidget::SetTextDecoder(TTextDecoder decoder) {
    if (decoder)
        FDecoder = std::move(decoder);
    RepaintAll();
}

void TKPanelWidget::SetMask(const TPanelMaskData& mask) {
    FMask = mask;
    ResetImage(size());
    RepaintAll();
}

void TKPanelWidget::SetBackground(const QImage& background, QPoint offset) {
    FBackground = background.isNull() ? QImage() : background.convertToFormat(QImage::Format_RGB888);
    FBackgroundOffset = offset;
    ResetImage(size());
    RepaintAll();
}

bool TKPanelWidget::TRowJob::SameLook(const TRowJob& other) const {
    return Row == other.Row && HasItem == other.HasItem && EmptyText == other.EmptyText && Bar == other.Bar &&
           Weight == other.Weight && Text == other.Text && Icon.cacheKey() == other.Icon.cacheKey() &&
           Left == other.Left && Right == other.Right;
}

bool TKPanelWidget::TPassJob::SameSettings(const TPassJob& other) const {
    return Size == other.Size && ItemHeight == other.ItemHeight && Font == other.Font &&
           PanelColour == other.PanelColour && BarColour == other.BarColour &&
           Background.cacheKey() == other.Background.cacheKey() &&
           BackgroundOffset == other.BackgroundOffset && ShowIcons == other.ShowIcons;
}

// The whole area behind the panel goes in at once; rows follow with the next pass. Pixels the
// mask keeps rows off thus always show the background. While painting is locked, settings that
// come together (a skin's geometry, mask, font and background) make one image when it resumes,
// or when the widget is painted before.
void TKPanelWidget::ResetImage(QSize newSize) {
    if (FPaintLocked) {
        FResetWhenUnlocked = true;
        return;
    }
    FResetWhenUnlocked = false;
    QImage image(std::max(newSize.width(), 1), std::max(newSize.height(), 1), QImage::Format_RGB888);
    TPassJob job;
    job.PanelColour = PanelColour();
    job.Background = FBackground;
    job.BackgroundOffset = FBackgroundOffset;
    PutBackground(image, job, image.rect());
    std::lock_guard lock(FMutex);
    // A running pass sees the new size and ends; the request that follows draws again.
    FRestartPaint = true;
    FRowBitmap = image;
    FShownRows.clear();
    FShownValid.clear();
    FFullPass = true;
    FDirty = QRegion(image.rect());
}

QColor TKPanelWidget::PanelColour() const {
    return palette().color(QPalette::Window);
}

int TKPanelWidget::RowHeight() const {
    const double height = QFontMetrics(font()).height() * FPanel.Options.PanelLineSpacing;
    return std::max(static_cast<int>(height + 0.5), 1);
}

void TKPanelWidget::UpdateGeometry() {
    FPanel.SetGeometry(width(), height(), RowHeight());
}

void TKPanelWidget::RepaintCursor() {
    // Holding a key moves the cursor many times a second: only the rows that look different
    // (the old and the new cursor row) are drawn and copied to the screen.
    Request(false);
}

void TKPanelWidget::RepaintAll() {
    Request(true);
}

void TKPanelWidget::Request(bool full) {
    if (FPaintLocked) {
        FPendingWhileLocked = true;
        if (full) {
            std::lock_guard lock(FMutex);
            FFullPass = true;
        }
        return;
    }
    TPassJob job = MakeJob(true, -1, -1);
    {
        std::lock_guard lock(FMutex);
        FPendingJob = std::move(job);
        FHasJob = true;
        if (full)
            FFullPass = true;
        // A running pass ends after its current row.
        FRestartPaint = true;
    }
    FWake.notify_all();
}

void TKPanelWidget::StopPass() {
    std::unique_lock lock(FMutex);
    if (FHasJob) {
        // A snapshot taken before the change is of no use any more.
        FHasJob = false;
        FPendingWhileLocked = true;
    }
    FRestartPaint = true;
    FWake.wait(lock, [this] { return !FPainting; });
}

void TKPanelWidget::WaitPainterIdle() {
    // Passes draw at most one screen of rows, so this wait is short.
    std::unique_lock lock(FMutex);
    FWake.wait(lock, [this] { return !FPainting && !FHasJob; });
}

void TKPanelWidget::LockPainting(bool locked) {
    if (locked) {
        if (!FPaintLocked)
            StopPass();
        FPaintLocked = true;
        return;
    }
    FPaintLocked = false;
    if (FResetWhenUnlocked)
        ResetImage(size());
    if (FPendingWhileLocked) {
        FPendingWhileLocked = false;
        Request(false);
    }
}

void TKPanelWidget::DrawItem(int index, int weight) {
    if (FPaintLocked)
        return;
    if (height() / std::max(RowHeight(), 1) != FPanel.FVisibleRows) {
        UpdateGeometry();
        RepaintAll();
        return;
    }
    const TKITEMSSTRUC& h = *FPanel.FItemsStruc;
    const int row = index - h.FTopIndex;
    if (row < 0 || row >= std::max(FPanel.FVisibleRows, 1))
        return;
    // A pending pass holds an older snapshot; it must not paint over this row afterwards.
    WaitPainterIdle();
    TPassJob job = MakeJob(weight == -1, index, weight);
    {
        std::lock_guard lock(FMutex);
        if (FRowBitmap.size() == job.Size)
            for (const TRowJob& r : job.Rows)
                RenderAndKeep(job, r);
    }
    ShowDirty();
}

void TKPanelWidget::RenderAndKeep(const TPassJob& job, const TRowJob& row) {
    RenderRow(FRowBitmap, job, row, FTexts);
    if (!FShownSettings.SameSettings(job)) {
        // Rows drawn with other settings (a font, colour or background since) are drawn again.
        FShownRows.clear();
        FShownValid.clear();
        FShownSettings = job;
        FShownSettings.Rows.clear();
    }
    const auto slot = static_cast<std::size_t>(row.Row);
    if (FShownRows.size() <= slot) {
        FShownRows.resize(slot + 1);
        FShownValid.resize(slot + 1, false);
    }
    FShownRows[slot] = row;
    FShownValid[slot] = true;
    FDirty += QRect(0, row.Row * job.ItemHeight, job.Size.width(), job.ItemHeight);
}

void TKPanelWidget::ShowDirty() {
    QRegion dirty;
    {
        std::lock_guard lock(FMutex);
        dirty.swap(FDirty);
    }
    if (!dirty.isEmpty())
        update(dirty);
}

void TKPanelWidget::StartTimer(TKPanelTimer timer, int intervalMs) {
    (timer == ptmWatch ? FWatchTimer : FAutoScrollTimer).start(intervalMs);
}

void TKPanelWidget::StopTimer(TKPanelTimer timer) {
    (timer == ptmWatch ? FWatchTimer : FAutoScrollTimer).stop();
}

void TKPanelWidget::TakeFocus() {
    setFocus(Qt::OtherFocusReason);
}

// Runs on the GUI thread: the cursor checks, the trail weights and every text and colour the
// rows need. onlyIndex >= 0 builds that one row (DrawItem) with onlyWeight, or with the trail
// rules when trailRules is set.
TKPanelWidget::TPassJob TKPanelWidget::MakeJob(bool trailRules, int onlyIndex, int onlyWeight) {
    TPanelOptions& o = FPanel.Options;
    TPassJob job;
    {
        std::lock_guard lock(FMutex);
        job.Size = FRowBitmap.size();
    }
    if (onlyIndex < 0)
        FPanel.CheckCursor();
    const TKITEMSSTRUC& h = *FPanel.FItemsStruc;
    job.ItemHeight = std::max(FPanel.FItemHeight, 1);
    job.VisibleRows = FPanel.FVisibleRows;
    job.Font = font();
    job.PanelColour = PanelColour();
    job.BarColour = ColourOf(o.PanelColorCursor);
    job.Background = FBackground;
    job.BackgroundOffset = FBackgroundOffset;
    job.Mask = FMask;
    job.ShowIcons = o.PanelShowIcons;

    const int stateWeight = FPanel.FActive ? o.PanelAlphaActive : o.PanelAlphaInactive;
    const int cursor = h.FItemIndex;
    const bool trail = o.PanelAlphaCursorTrail && trailRules;
    auto add = [&](int index, int weight) {
        const int row = index - h.FTopIndex;
        if (row < 0 || row >= std::max(job.VisibleRows, 1))
            return;
        bool forceBar = false;
        if (trail && row < static_cast<int>(FPanel.FTrail.size())) {
            int& trailWeight = FPanel.FTrail[static_cast<std::size_t>(row)];
            if (index == cursor)
                trailWeight = FPanel.FCurrentAlpha;
            forceBar = trailWeight > 0;
            weight = trailWeight;
        } else if (trail) {
            weight = -1;
        }
        job.Rows.push_back(MakeRow(index, row, weight == -1 ? stateWeight : weight, forceBar));
    };

    if (onlyIndex >= 0) {
        add(onlyIndex, onlyWeight);
        return job;
    }
    job.Rows.reserve(static_cast<std::size_t>(std::max(job.VisibleRows, 0)) + 2);
    add(cursor, -1);
    if (FPanel.FLastCursor != cursor && FPanel.FLastTop == h.FTopIndex)
        add(FPanel.FLastCursor, -1);
    for (int row = 0; row < job.VisibleRows; ++row)
        add(h.FTopIndex + row, -1);
    // With the trail on, the trail timer moves the weight to the panel's state (and repaints);
    // a pass that set it here would leave the first bar drawn with the old weight.
    if (o.PanelAlphaCursor && !o.PanelAlphaCursorTrail)
        FPanel.FCurrentAlpha = stateWeight;
    FPanel.FLastTop = h.FTopIndex;
    FPanel.FLastCursor = cursor;
    return job;
}

TKPanelWidget::TRowJob TKPanelWidget::MakeRow(int index, int row, int weight, bool forceBar) {
    const TPanelOptions& o = FPanel.Options;
    const TKITEMSSTRUC& h = *FPanel.FItemsStruc;
    TRowJob r;
    r.Row = row;
    TKFiles* item = h.GetFileItem(index);
    if (item == nullptr) {
        if (index == 0 && h.Count() == 0) {
            r.EmptyText = true;
            r.Left = FDecoder(LangStrings().STR_EMPTYLIST);
            r.Text = ColourOf(o.PanelColorOther);
        }
        return r;
    }
    r.HasItem = true;
    TColor colour = o.PanelColorOther;
    switch (item->Kind) {
    case ikUpFolder:
        colour = o.PanelColorUpFolder;
        break;
    case ikFolder:
    case ikDrive:
        colour = o.PanelColorFolder;
        break;
    case ikFile:
        colour = item->IsExecutable ? o.PanelColorExe : o.PanelColorOther;
        break;
    default:
        break;
    }
    if (item->IsPacked)
        colour = o.PanelColorPacked;
    r.Text = item->Marked ? QColor(255, 255, 0) : ColourOf(colour);
    r.Left = QStringLiteral("  ") + DecodeFileName(item->Caption());
    r.Right = FDecoder(FPanel.InfoText(*item)) + QStringLiteral("  ");
    if (o.PanelShowIcons)
        r.Icon = IconFor(*item, index);
    if (index == h.FItemIndex || forceBar) {
        if (o.PanelAlphaCursor) {
            r.Bar = bmBlend;
            r.Weight = weight;
        } else if (index == h.FItemIndex) {
            r.Bar = FPanel.FActive ? bmInvert : bmDotted;
        }
    }
    return r;
}

// Icons come from the desktop theme by content type, looked up once per item (the item keeps the
// index into this widget's table) and once per type.
QImage TKPanelWidget::IconFor(TKFiles& item, int index) {
    if (item.Icon == IconNotLookedUp) {
        QString type;
        QFileIconProvider::IconType fallback = QFileIconProvider::File;
        if (item.Kind == ikFolder || item.Kind == ikUpFolder) {
            type = QStringLiteral("inode/directory");
            fallback = QFileIconProvider::Folder;
        } else if (item.Kind == ikDrive) {
            type = QStringLiteral("drive-harddisk");
            fallback = QFileIconProvider::Drive;
        } else {
            static const QMimeDatabase database;
            type = database
                       .mimeTypeForFile(DecodeFileName(FPanel.ItemFullName(index)),
                                        QMimeDatabase::MatchExtension)
                       .name();
        }
        auto found = FIconIndex.find(type);
        if (found != FIconIndex.end()) {
            item.Icon = found->second;
        } else if (FIcons.size() >= NoIcon) {
            item.Icon = NoIcon;
        } else {
            QIcon icon;
            if (item.Kind == ikDrive) {
                icon = QIcon::fromTheme(type);
            } else {
                static const QMimeDatabase database;
                const QMimeType mime = database.mimeTypeForName(type);
                if (mime.isValid())
                    icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
            }
            if (icon.isNull())
                icon = QFileIconProvider().icon(fallback);
            const int size = std::max(FPanel.FItemHeight - 2, 1);
            const QImage image = icon.isNull() ? QImage() : icon.pixmap(size, size).toImage();
            const auto slot = static_cast<std::uint32_t>(FIcons.size());
            FIcons.push_back(image);
            FIconIndex.emplace(type, slot);
            item.Icon = slot;
        }
    }
    return item.Icon < FIcons.size() ? FIcons[item.Icon] : QImage();
}

// The rendering below runs on any thread.

void TKPanelWidget::PutBackground(QImage& image, const TPassJob& job, QRect rect) {
    rect = rect.intersected(image.rect());
    if (rect.isEmpty())
        return;
    const bool plain = image.format() == QImage::Format_RGB888 &&
                       (job.Background.isNull() || job.Background.format() == QImage::Format_RGB888);
    if (!plain) {
        QPainter painter(&image);
        painter.fillRect(rect, job.PanelColour);
        if (!job.Background.isNull())
            painter.drawImage(rect.topLeft(), job.Background, rect.translated(job.BackgroundOffset));
        return;
    }
    // Rows are drawn many times a second: the pixels are copied without a painter. The panel
    // colour shows where the picture does not reach.
    const uchar fill[3] = {static_cast<uchar>(job.PanelColour.red()),
                           static_cast<uchar>(job.PanelColour.green()),
                           static_cast<uchar>(job.PanelColour.blue())};
    const QRect source = rect.translated(job.BackgroundOffset).intersected(job.Background.rect());
    const QRect covered = source.translated(-job.BackgroundOffset);
    const auto fillSpan = [&](uchar* line, int first, int last) {
        for (int x = first; x <= last; ++x)
            std::copy(fill, fill + 3, line + 3 * x);
    };
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        uchar* line = image.scanLine(y);
        if (covered.isEmpty() || y < covered.top() || y > covered.bottom()) {
            fillSpan(line, rect.left(), rect.right());
            continue;
        }
        fillSpan(line, rect.left(), covered.left() - 1);
        std::copy_n(job.Background.constScanLine(y + job.BackgroundOffset.y()) + 3 * source.left(),
                    3 * source.width(), line + 3 * covered.left());
        fillSpan(line, covered.right() + 1, rect.right());
    }
}

void TKPanelWidget::RenderRow(QImage& image, const TPassJob& job, const TRowJob& row, TRowTextCache& texts) {
    const int ih = job.ItemHeight;
    const QRect full(0, row.Row * ih, job.Size.width(), ih);
    const QRect rect = MaskRowRect(job.Mask, full).intersected(image.rect());
    if (rect.isEmpty())
        return;
    PutBackground(image, job, rect);
    texts.Use(job.Font, ih);
    if (row.HasItem) {
        int textStart = rect.left();
        if (job.ShowIcons) {
            textStart += 2;
            if (!row.Icon.isNull()) {
                const int size = std::max(ih - 2, 1);
                QPainter painter(&image);
                painter.setClipRect(rect);
                painter.drawImage(QRect(textStart, rect.top() + 1, size, size), row.Icon);
                textStart += size;
            }
        }
        const int rightWidth = texts.Advance(row.Right);
        texts.Draw(image, row.Right, rect.right() + 1 - rightWidth, rect.top(), row.Text, rect);
        // The left column ends where the right one (with a gap of two spaces) begins.
        const int leftEnd = rect.right() + 1 - rightWidth - texts.Advance(QStringLiteral("  "));
        const QRect leftClip = QRect(QPoint(textStart, rect.top()), QPoint(leftEnd - 1, rect.bottom()));
        if (leftEnd > textStart)
            texts.Draw(image, row.Left, textStart, rect.top(), row.Text, leftClip.intersected(rect));
    } else if (row.EmptyText) {
        const int textWidth = texts.Advance(row.Left);
        texts.Draw(image, row.Left, rect.left() + (rect.width() - textWidth) / 2, rect.top(), row.Text, rect);
    }
    if (row.Bar == bmDotted) {
        QPainter painter(&image);
        painter.setClipRect(rect);
        painter.setPen(QPen(job.BarColour, 1, Qt::DotLine));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
    if (row.Bar == bmBlend) {
        BlendBar(image, rect, job.BarColour, row.Weight);
    } else if (row.Bar == bmInvert) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            uchar* line = image.scanLine(y) + rect.left() * 3;
            for (int x = 0; x < rect.width() * 3; ++x)
                line[x] = static_cast<uchar>(255 - line[x]);
        }
    }
}

void TKPanelWidget::PainterLoop() {
    for (;;) {
        std::unique_lock lock(FMutex);
        FWake.wait(lock, [this] { return FQuit || FHasJob; });
        if (FQuit)
            return;
        const TPassJob job = std::move(FPendingJob);
        FPendingJob = TPassJob();
        FHasJob = false;
        FRestartPaint = false;
        FPainting = true;
        const bool full = FFullPass || !FShownSettings.SameSettings(job);
        lock.unlock();

        bool ended = false;
        std::size_t drawn = 0;
        // The cursor rows come first and may come again in the rows from the top.
        std::vector<bool> done(static_cast<std::size_t>(std::max(job.VisibleRows, 1)), false);
        for (const TRowJob& row : job.Rows) {
            std::lock_guard rowLock(FMutex);
            if (FRestartPaint || FQuit) {
                ended = true;
                break;
            }
            // A resize since the snapshot: the pass it requested draws the new size.
            if (FRowBitmap.size() != job.Size) {
                ended = true;
                break;
            }
            const auto slot = static_cast<std::size_t>(row.Row);
            if (slot < done.size()) {
                if (done[slot])
                    continue;
                done[slot] = true;
            }
            if (!full && slot < FShownRows.size() && FShownValid[slot] && FShownRows[slot].SameLook(row))
                continue;
            RenderAndKeep(job, row);
            // The cursor rows come first; show them before the rest is redrawn.
            if (++drawn == 2)
                QMetaObject::invokeMethod(
                    this, [this] { ShowDirty(); }, Qt::QueuedConnection);
        }
        lock.lock();
        if (!ended && FRowBitmap.size() == job.Size) {
            if (full) {
                const int top = job.VisibleRows * job.ItemHeight;
                const QRect below(0, top, job.Size.width(), job.Size.height() - top);
                PutBackground(FRowBitmap, job, below);
                FDirty += below;
            }
            FFullPass = false;
        }
        FPainting = false;
        lock.unlock();
        FWake.notify_all();
        QMetaObject::invokeMethod(
            this, [this] { ShowDirty(); }, Qt::QueuedConnection);
    }
}

bool TKPanelWidget::WaitIdle(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        bool idle = false;
        {
            std::unique_lock lock(FMutex);
            idle = FWake.wait_until(
                lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5)),
                [this] { return !FPainting && !FHasJob; });
        }
        QCoreApplication::processEvents();
        if (idle)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

QImage TKPanelWidget::RowImage() const {
    std::lock_guard lock(FMutex);
    return FRowBitmap.copy();
}

void TKPanelWidget::paintEvent(QPaintEvent* event) {
    if (FResetWhenUnlocked) {
        const bool locked = FPaintLocked;
        FPaintLocked = false;
        ResetImage(size());
        FPaintLocked = locked;
    }
    QPainter painter(this);
    std::lock_guard lock(FMutex);
    const QRect area = event->rect().intersected(FRowBitmap.rect());
    painter.drawImage(area.topLeft(), FRowBitmap, area);
}

void TKPanelWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ResetImage(size());
    UpdateGeometry();
    RepaintAll();
}

void TKPanelWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateGeometry();
        RepaintAll();
    }
}

void TKPanelWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    FPanel.GotFocus();
}

bool TKPanelWidget::event(QEvent* event) {
    // The arrows and F1 belong to the panel: no shortcut or focus chain may take them.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down ||
            key == Qt::Key_F1) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QWidget::event(event);
}

void TKPanelWidget::keyPressEvent(QKeyEvent* event) {
    const int key = MapQtKey(*event);
    if (key == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    FPanel.KeyDown(key, MapQtModifiers(event->modifiers(), QApplication::mouseButtons()));
}

void TKPanelWidget::mousePressEvent(QMouseEvent* event) {
    bool known = false;
    const TMouseButton button = ButtonOf(event->button(), known);
    if (!known)
        return;
    const QPoint p = event->position().toPoint();
    FPanel.MouseDown(button, MapQtModifiers(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TKPanelWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const bool wasDragging = FPanel.FDragging;
    FPanel.MouseMove(MapQtModifiers(event->modifiers(), event->buttons()), p.x(), p.y());
    // The model decides when a drag starts (out of the panel sideways, drag option on, not busy).
    if (!wasDragging && FPanel.FDragging && (event->buttons() & Qt::LeftButton) != 0)
        StartDrag();
}

void TKPanelWidget::mouseReleaseEvent(QMouseEvent* event) {
    bool known = false;
    const TMouseButton button = ButtonOf(event->button(), known);
    if (!known)
        return;
    const QPoint p = event->position().toPoint();
    FPanel.MouseUp(button, MapQtModifiers(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TKPanelWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        FPanel.DoubleClick();
}

void TKPanelWidget::wheelEvent(QWheelEvent* event) {
    // Fine-grained wheels and touchpads send parts of a notch; whole notches scroll.
    FWheelRest += event->angleDelta().y();
    while (std::abs(FWheelRest) >= WheelStep) {
        const int sign = FWheelRest > 0 ? 1 : -1;
        FPanel.MouseWheel(sign);
        FWheelRest -= sign * WheelStep;
    }
    event->accept();
}

} // namespace ks
