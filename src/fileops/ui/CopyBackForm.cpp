#include "fileops/ui/CopyBackForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/MessageForm.h"
#include "fileops/CopyEngine.h"
#include "fileops/CopyThread.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ks {

namespace {

constexpr int PollInterval = 20;
// The frame round the picture: the title bar above it, four pixels on the other sides.
constexpr int FrameHeight = TKMYFORM::InnerTop + 4;
constexpr int FrameWidth = 2 * TKMYFORM::InnerLeft;
constexpr int MarkLeft = 4;
constexpr int MarkWidth = 4;
constexpr int BarLeft = 32;
constexpr int BarRightGap = 4;
constexpr int BarInset = 4;
constexpr int PriorityLeft = 12;
constexpr int TextInset = 12;

const QColor MoveBack(255, 192, 16);
const QColor MoveFill(255, 255, 0);
const QColor CopyBack(0, 0, 128);
const QColor CopyFill(0, 0, 255);

QString SizeText(std::uint64_t bytes) {
    const auto limited =
        static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<std::int64_t>::max()));
    return QString::fromStdString(FormatSize(true, limited));
}

QString HelpLines() {
    return CopyLangText("nfo_CopyBacKOPDefHint1", "") + QLatin1Char('\n') +
           CopyLangText("nfo_CopyBacKOPDefHint2", "");
}

} // namespace

TCopyBackForm::TCopyBackForm(TCopyEngine& engine, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FEngine(engine) {
    setObjectName(QStringLiteral("CopyBackForm"));
    setWindowTitle(QStringLiteral("Back op."));
    // A strip beside the main window that stays on top and never takes the keyboard from it.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFixedSize(ClientWidth + FrameWidth, FrameHeight);
    setToolTip(HelpLines());

    FTimer = new QTimer(this);
    FTimer->setInterval(PollInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

TCopyBackForm::~TCopyBackForm() = default;

void TCopyBackForm::ShowStrip() {
    FClosing = false;
    FDrawn = false;
    show();
    FTimer->start();
    Tick();
}

int TCopyBackForm::RowAt(int y) const {
    return y < 0 ? -1 : y / RowHeight;
}

int TCopyBackForm::PriorityColumnWidth() const {
    return 2 * QFontMetrics(font()).horizontalAdvance(QLatin1Char('0')) + PriorityLeft;
}

QString TCopyBackForm::HintFor(int row) const {
    QString hint = HelpLines();
    const std::vector<std::shared_ptr<TCopyThread>> jobs = FEngine.Jobs();
    if (row < 0 || row >= static_cast<int>(jobs.size()))
        return hint;
    const TCopyThread& job = *jobs[static_cast<std::size_t>(row)];
    hint += QStringLiteral("\nTask:#%1 / %2 / %3")
                .arg(row + 1)
                .arg(SizeText(job.BytesDone()), SizeText(job.FTotalSize.load()));
    return hint;
}

bool TCopyBackForm::TimerActive() const {
    return FTimer->isActive();
}

void TCopyBackForm::Tick() {
    if (FClosing)
        return;
    const std::vector<std::shared_ptr<TCopyThread>> jobs = FEngine.Jobs();
    if (FAutoClose && jobs.empty()) {
        CloseStrip();
        return;
    }
    const int barWidth = ClientWidth - BarRightGap - BarLeft;
    std::vector<TRowState> rows;
    rows.reserve(jobs.size());
    for (const std::shared_ptr<TCopyThread>& job : jobs) {
        // A job that ended while the rows were read ends the pass; the next one shows the rest.
        if (FEngine.IndexOfJob(job.get()) == -1)
            return;
        TRowState row;
        row.Finishing = job->FFinished.load();
        row.Cancelled = job->FCancelled.load();
        row.Suspended = job->Suspended();
        row.Move = job->FMove;
        row.Priority = job->Priority();
        const std::uint64_t total = job->FTotalSize.load();
        const std::uint64_t done = std::min(job->BytesDone(), total);
        if (done != 0)
            row.Filled = static_cast<int>(
                std::llround(barWidth * static_cast<long double>(done) / static_cast<long double>(total)));
        rows.push_back(row);
    }
    const int height = RowHeight * static_cast<int>(rows.size()) + FrameHeight;
    const bool resized = this->height() != height;
    if (resized)
        setFixedSize(ClientWidth + FrameWidth, height);
    if (FDrawn && !resized && rows == FRows)
        return;
    Draw(rows);
    FRows = std::move(rows);
    FDrawn = true;
    update();
    GiveFocusBack();
}

void TCopyBackForm::Draw(const std::vector<TRowState>& rows) {
    const int count = static_cast<int>(rows.size());
    FPicture = QImage(ClientWidth, RowHeight * count, QImage::Format_RGB32);
    if (count == 0)
        return;
    FPicture.fill(palette().color(QPalette::Button));
    QPainter painter(&FPicture);
    painter.setFont(font());
    painter.setPen(Qt::white);
    const QFontMetrics metrics(font());
    const int barWidth = ClientWidth - BarRightGap - BarLeft;
    const int barHeight = RowHeight - 1 - 2 * BarInset;
    for (int i = 0; i < count; ++i) {
        const TRowState& row = rows[static_cast<std::size_t>(i)];
        const int top = RowHeight * i;
        painter.fillRect(0, top, ClientWidth, RowHeight, Qt::black);
        if (row.Finishing) {
            const QString text = row.Cancelled ? CopyLangText("nfo_CopyBacKOPCanceled", "cancelled")
                                               : CopyLangText("nfo_CopyBacKOPDone", "done");
            painter.drawText(QRect(TextInset, top, ClientWidth - 2 * TextInset, RowHeight),
                             Qt::AlignCenter | Qt::TextSingleLine, text);
            continue;
        }
        painter.fillRect(MarkLeft, top + BarInset, MarkWidth, barHeight,
                         row.Suspended ? QColor(Qt::red) : QColor(Qt::green));
        painter.fillRect(BarLeft, top + BarInset, barWidth, barHeight, row.Move ? MoveBack : CopyBack);
        if (row.Filled > 0)
            painter.fillRect(BarLeft, top + BarInset, row.Filled, barHeight, row.Move ? MoveFill : CopyFill);
        painter.drawText(PriorityLeft, top + metrics.ascent(), QString::number(row.Priority));
    }
}

void TCopyBackForm::paintEvent(QPaintEvent* event) {
    TKMYFORM::paintEvent(event);
    if (FPicture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(InnerLeft, InnerTop, FPicture);
}

QPoint TCopyBackForm::PictureAt(const QPoint& windowPoint) const {
    return windowPoint - QPoint(InnerLeft, InnerTop);
}

void TCopyBackForm::mousePressEvent(QMouseEvent* event) {
    const QPoint at = PictureAt(event->position().toPoint());
    if (at.y() < 0 || at.x() < 0 || at.x() >= ClientWidth) {
        // The title bar and the frame drag the strip.
        TKMYFORM::mousePressEvent(event);
        return;
    }
    const std::vector<std::shared_ptr<TCopyThread>> jobs = FEngine.Jobs();
    const int row = RowAt(at.y());
    if (row < static_cast<int>(jobs.size())) {
        TCopyThread& job = *jobs[static_cast<std::size_t>(row)];
        const bool left = event->button() == Qt::LeftButton;
        const bool right = event->button() == Qt::RightButton;
        if (at.x() > 8 && at.x() < PriorityColumnWidth()) {
            if (left && job.Priority() >= 2)
                job.SetPriority(job.Priority() - 1);
            else if (right && job.Priority() < HighestPriority)
                job.SetPriority(job.Priority() + 1);
        } else if (right) {
            job.Cancel();
            // A suspended job must run on to see its cancel and end.
            if (job.Suspended())
                job.Resume();
        } else if (left) {
            if (job.Suspended())
                job.Resume();
            else
                job.Suspend();
        }
    }
    event->accept();
    Tick();
    GiveFocusBack();
}

void TCopyBackForm::mouseDoubleClickEvent(QMouseEvent* event) {
    for (const std::shared_ptr<TCopyThread>& job : FEngine.Jobs()) {
        if (job->Suspended())
            job->Resume();
        else
            job->Suspend();
    }
    event->accept();
    Tick();
    GiveFocusBack();
}

void TCopyBackForm::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = PictureAt(event->position().toPoint());
    if (at.y() >= 0) {
        FMouseRow = RowAt(at.y());
        QToolTip::showText(event->globalPosition().toPoint(), HintFor(FMouseRow), this);
    }
    TKMYFORM::mouseMoveEvent(event);
}

void TCopyBackForm::keyPressEvent(QKeyEvent* event) {
    TKMYFORM::keyPressEvent(event);
    GiveFocusBack();
}

void TCopyBackForm::reject() {
    CloseStrip();
}

void TCopyBackForm::closeEvent(QCloseEvent* event) {
    CloseStrip();
    event->accept();
}

void TCopyBackForm::hideEvent(QHideEvent* event) {
    FTimer->stop();
    TKMYFORM::hideEvent(event);
}

void TCopyBackForm::CloseStrip() {
    if (FClosing)
        return;
    FClosing = true;
    if (!FEngine.Jobs().empty()) {
        const std::string question = CurrentLanguage().GetLangText("nfo_CopyBacKOP_StopCurrent");
        if (ShowMessageForm(question.empty() ? std::string("Stop all running copy jobs?") : question, 0,
                            mbOK | mbCancel, 2, 0, this) == mrOk)
            FEngine.CancelAll();
    }
    FTimer->stop();
    FMouseRow = -1;
    setToolTip(HelpLines());
    if (isVisible())
        done(QDialog::Rejected);
    if (TKRegistryStore* store = RegistryStore())
        SaveCheckBoxState(*store, ProgramKey, "SettingsShowBackOpsWindow", false);
}

void TCopyBackForm::GiveFocusBack() {
    if (OnGiveFocusBack)
        OnGiveFocusBack();
}

} // namespace ks
