#include "fileops/ui/CopyProgressForm.h"

#include "controls/ui/ProgressBar.h"
#include "fileops/CopyEngine.h"
#include "fileops/CopyThread.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace ks {

namespace {

constexpr int PollInterval = 20;
// The modal result of the Background button (mrIgnore).
constexpr int BackgroundResult = 5;
constexpr int ValueWidth = 300;

QString SizeText(bool useUnits, std::uint64_t bytes) {
    const auto limited =
        static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<std::int64_t>::max()));
    return QString::fromStdString(FormatSize(useUnits, limited));
}

// Labels are set only when their text changes: a QLabel relays itself out and repaints on every
// setText, which at 50 polls a second would cost more than the copy's own bookkeeping.
void SetText(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

void SetValue(TKProgressBar* bar, int value) {
    if (bar->value() != value)
        bar->setValue(value);
}

std::int64_t SystemClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TCopyProgressForm::TCopyProgressForm(TCopyEngine& engine, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FEngine(engine) {
    setObjectName(QStringLiteral("CopyProgressForm"));
    setWindowTitle(QStringLiteral("Progress..."));
    Clock = SystemClockMs;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    layout->addLayout(grid);

    int row = 0;
    auto caption = [&](const char* name, const char* text) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setObjectName(QString::fromUtf8(name));
        grid->addWidget(label, row, 0);
        return label;
    };
    auto value = [&](const char* name, int column, int span, const char* hint = nullptr) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(QString::fromUtf8(name));
        // Long names are cut at the window's edge instead of widening the window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setTextFormat(Qt::PlainText);
        // Opaque, so a new value repaints the label alone and not the window behind it.
        label->setAutoFillBackground(true);
        QPalette body = label->palette();
        body.setColor(QPalette::Window, BodyColor());
        label->setPalette(body);
        if (hint != nullptr)
            label->setToolTip(QString::fromUtf8(hint));
        grid->addWidget(label, row, column, 1, span);
        return label;
    };
    auto bar = [&](const char* name) {
        auto* progress = new TKProgressBar(this);
        progress->setObjectName(QString::fromUtf8(name));
        // 64-bit byte counts do not fit the bar's int range; the bar shows the fraction.
        progress->setRange(0, BarScale);
        progress->setFixedHeight(14);
        grid->addWidget(progress, row, 1, 1, 3);
        return progress;
    };

    caption("CurrentCaption", "Current");
    FCurrentProgress = bar("CurrentProgress");
    ++row;
    caption("TotalCaption", "Total");
    FTotalProgress = bar("TotalProgress");
    ++row;
    caption("SubTreeCaption", "Subtree");
    FSubTree = value("CurrentSubTreeLabel", 1, 3);
    ++row;
    caption("FileNameCaption", "File name");
    FFileName = value("CurrentFileNameLabel", 1, 3);
    ++row;
    FDetails.push_back(caption("FileSizeCaption", "File size"));
    FFileSize = value("CurrentFileSizeLabel", 1, 3);
    FDetails.push_back(FFileSize);
    ++row;
    FDetails.push_back(caption("SuccessfulCaption", "Successful"));
    FTotalPos = value("TotalPosLabel", 1, 1);
    FTotalSize = value("TotalSizeLabel", 2, 2);
    FDetails.push_back(FTotalPos);
    FDetails.push_back(FTotalSize);
    ++row;
    FDetails.push_back(caption("ElapsedCaption", "Elapsed time"));
    FElapsed = value("TotalElapsedLabel", 1, 1, "Elapsed time");
    FEstimated = value("TotalEstimatedLabel", 2, 1, "Estimated time");
    FRemaining = value("TotalRemainingLabel", 3, 1, "Remaining time");
    FDetails.insert(FDetails.end(), {FElapsed, FEstimated, FRemaining});
    ++row;
    FDetails.push_back(caption("SpeedCaption", "Average speed"));
    FSpeed = value("TotalAverageSpeedLabel", 1, 3);
    FDetails.push_back(FSpeed);
    ++row;
    caption("PriorityCaption", "System priority");
    FPriority = value("PriorityTextLabel", 1, 3);
    grid->setColumnMinimumWidth(1, ValueWidth / 3);
    grid->setColumnMinimumWidth(2, ValueWidth / 3);
    grid->setColumnMinimumWidth(3, ValueWidth / 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);

    layout->addSpacing(6);
    auto* buttons = new QHBoxLayout;
    FShowDetail = SavedCheckBox(this, "SettingsCopyProgressShowDetail", QStringLiteral("SD"), true);
    FShowDetail->setToolTip(QStringLiteral("Show details..."));
    FShowDetail->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(FShowDetail);
    buttons->addStretch();
    auto* background = new QPushButton(QStringLiteral("&Background"), this);
    background->setObjectName(QStringLiteral("KButtonBackgound"));
    buttons->addWidget(background);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("KButtonCancel"));
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(background, &QPushButton::clicked, this, [this] { SendToBackground(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(FShowDetail, &QCheckBox::toggled, this, [this](bool on) { ShowDetails(on); });
    ShowDetails(FShowDetail->isChecked());

    FTimer = new QTimer(this);
    FTimer->setInterval(PollInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

TCopyProgressForm::~TCopyProgressForm() = default;

bool TCopyProgressForm::Run(std::shared_ptr<TCopyThread> job) {
    FJob = std::move(job);
    FSentToBackground = false;
    exec();
    return FSentToBackground;
}

int TCopyProgressForm::BarPosition(std::uint64_t pos, std::uint64_t max) {
    if (max == 0)
        return 0;
    pos = std::min(pos, max);
    // A long double holds every 64-bit count exactly, so the fraction is that of the counts.
    const long double fraction = static_cast<long double>(pos) / static_cast<long double>(max);
    return static_cast<int>(std::floor(fraction * BarScale));
}

QString TCopyProgressForm::TimeText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool TCopyProgressForm::TimerActive() const {
    return FTimer->isActive();
}

void TCopyProgressForm::Tick() {
    if (!FJob) {
        Finish();
        return;
    }
    if (FEngine.IndexOfJob(FJob.get()) == -1) {
        FJob.reset();
        Finish();
        return;
    }
    TCopyThread& job = *FJob;
    if (job.FFinished.load()) {
        Finish();
        return;
    }

    SetText(FPriority, QString::fromLatin1(PriorityName(job.Priority())));
    SetText(FSubTree, LocalText(job.CurrentSubtree()));
    SetText(FFileName, LocalText(job.FCopier.CurrentFile()));
    const auto fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(job.FCopier.FFileSize.load(), 0));
    const auto fileDone = static_cast<std::uint64_t>(std::max<std::int64_t>(job.FCopier.FFileDone.load(), 0));
    SetText(FFileSize, SizeText(false, fileSize));
    SetValue(FCurrentProgress, BarPosition(fileDone, fileSize));
    const std::uint64_t done = job.BytesDone();
    const std::uint64_t total = job.FTotalSize.load();
    SetText(FTotalPos, SizeText(true, done));
    SetText(FTotalSize, SizeText(true, total));
    SetValue(FTotalProgress, BarPosition(done, total));

    const std::int64_t start = job.FStartTime.load();
    if (start == 0)
        return;
    const std::int64_t elapsedMs = std::max<std::int64_t>(Clock() - start, 0);
    // The times and the speed follow the elapsed time as shown, in whole seconds: redrawn on
    // every poll, a speed that wavers by a few kilobytes would cost more than all the rest.
    if (elapsedMs / 1000 == FShownElapsedSeconds)
        return;
    FShownElapsedSeconds = elapsedMs / 1000;
    const long double elapsed = elapsedMs / 1000.0L;
    SetText(FElapsed, TimeText(elapsedMs / 1000));
    const long double fraction =
        total == 0 ? 0.0L : static_cast<long double>(std::min(done, total)) / static_cast<long double>(total);
    if (fraction != 0.0L) {
        const long double estimated = elapsed / fraction;
        SetText(FEstimated, TimeText(static_cast<std::int64_t>(estimated)));
        SetText(FRemaining, TimeText(static_cast<std::int64_t>(estimated - elapsed)));
    } else {
        SetText(FEstimated, QStringLiteral("n/a"));
        SetText(FRemaining, QStringLiteral("n/a"));
    }
    if (elapsedMs == 0) {
        SetText(FSpeed, QStringLiteral("n/a"));
    } else {
        const long double speed = static_cast<long double>(done) / elapsed;
        const auto rounded = static_cast<std::uint64_t>(std::llround(speed));
        SetText(FSpeed, SizeText(true, rounded) + QStringLiteral("/s"));
    }
}

void TCopyProgressForm::reject() {
    if (FSentToBackground || !FJob || FEngine.IndexOfJob(FJob.get()) == -1 || FJob->FFinished.load()) {
        Finish();
        return;
    }
    // Cancelling never kills the job: it stops at its next check and the window stays until the
    // timer sees it gone, so the user sees it stop.
    FJob->Cancel();
}

void TCopyProgressForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FSentToBackground = false;
    FShownElapsedSeconds = -1;
    SetValue(FCurrentProgress, 0);
    SetValue(FTotalProgress, 0);
    for (QLabel* label : {FSubTree, FFileName, FFileSize, FTotalPos, FTotalSize, FElapsed, FEstimated,
                          FRemaining, FSpeed, FPriority})
        SetText(label, QStringLiteral("-"));
    if (FJob) {
        setWindowTitle(FJob->FMove ? CopyLangText("title_MovingFiles", "Moving files...")
                                   : CopyLangText("title_CopyingFiles", "Copying files..."));
        FEngine.StartJob();
        // A job that is not the engine's current one would otherwise never end, and the window
        // would wait for it for ever.
        if (!FJob->Started())
            FJob->Start(FJob);
    }
    FTimer->start();
}

void TCopyProgressForm::hideEvent(QHideEvent* event) {
    FTimer->stop();
    TKMYFORM::hideEvent(event);
}

void TCopyProgressForm::keyPressEvent(QKeyEvent* event) {
    if (FJob && event->modifiers().testFlag(Qt::KeypadModifier) &&
        (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus)) {
        const int step = event->key() == Qt::Key_Plus ? 1 : -1;
        FJob->SetPriority(std::clamp(FJob->Priority() + step, LowestPriority, HighestPriority));
        SetText(FPriority, QString::fromLatin1(PriorityName(FJob->Priority())));
        event->accept();
        return;
    }
    TKMYFORM::keyPressEvent(event);
}

void TCopyProgressForm::SendToBackground() {
    if (FJob)
        FJob->FSourcePanel = nullptr;
    if (OnBackground)
        OnBackground();
    FSentToBackground = true;
    Finish();
}

void TCopyProgressForm::ShowDetails(bool on) {
    for (QWidget* widget : FDetails)
        widget->setVisible(on);
    if (isVisible()) {
        // The layout takes the hidden rows out only when it is activated again.
        layout()->activate();
        FitToContents();
    }
}

void TCopyProgressForm::Finish() {
    FTimer->stop();
    if (isVisible())
        done(FSentToBackground ? BackgroundResult : QDialog::Accepted);
}

} // namespace ks
