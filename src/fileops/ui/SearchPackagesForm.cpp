#include "fileops/ui/SearchPackagesForm.h"

#include "fileops/PackSearch.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/System.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <utility>

namespace ks {

namespace {

// Often enough to look live, seldom enough that a fast walk is not slowed by painting.
constexpr int TickInterval = 50;

QLabel* AddRow(QGridLayout* grid, QWidget* parent, int row, const char* name, const char* caption,
               const char* valueName) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    grid->addWidget(label, row, 0);
    auto* value = new QLabel(parent);
    value->setObjectName(QString::fromLatin1(valueName));
    // A folder name, not markup; a long one must not widen the window.
    value->setTextFormat(Qt::PlainText);
    value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(value, row, 1);
    return value;
}

} // namespace

TSearchPackagesForm::TSearchPackagesForm(TKFileSystem& fileSystem, std::vector<std::string> roots,
                                         std::int32_t wantedId, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FFileSystem(fileSystem), FRoots(std::move(roots)), FWantedId(wantedId) {
    setObjectName(QStringLiteral("SearchPackagesForm"));
    setWindowTitle(QStringLiteral("Search KPL..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setColumnMinimumWidth(1, 300);
    grid->setColumnStretch(1, 1);
    FSearchingPathText = AddRow(grid, this, 0, "SearchingLabel", "Searching...", "SearchingPathText");
    FProcessedText = AddRow(grid, this, 1, "ProcessedLabel", "Processed...", "ProcessedText");
    FKPLfoundText = AddRow(grid, this, 2, "KPLfoundLabel", "KPL files found:", "KPLfoundText");
    FAvailableKPLFoundText = AddRow(grid, this, 3, "AvailableLabel", "Available:", "AvailableKPLFoundText");
    layout->addLayout(grid);
    layout->addSpacing(4);
    AddButtonRow(layout, {{"CloseButton", "&Close", false}});

    FTimer = new QTimer(this);
    FTimer->setInterval(TickInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
    ShowCounters();
}

TSearchPackagesForm::~TSearchPackagesForm() {
    if (FWorker.joinable()) {
        FStopRequested = true;
        FWorker.join();
    }
}

std::vector<std::string> TSearchPackagesForm::Execute(const std::vector<std::string>& roots,
                                                      std::int32_t wantedId, QWidget* parent) {
    std::vector<std::string> found;
    ExecForm(new TSearchPackagesForm(FileSystem(), roots, wantedId, parent),
             [&found](TSearchPackagesForm& form) { found = form.Found(); });
    return found;
}

void TSearchPackagesForm::Work() {
    std::vector<std::string> found;
    try {
        found = SearchPackages(
            FFileSystem, FRoots, FWantedId,
            [this](const TPackSearchProgress& progress) {
                FProcessed = progress.Processed;
                FFoundCount = progress.Found;
                FAvailable = progress.Available;
                std::lock_guard lock(FPathLock);
                if (FSearchingPath != progress.SearchingPath)
                    FSearchingPath = progress.SearchingPath;
            },
            FStopRequested);
    } catch (const std::exception&) {
        // Out of memory in a huge tree: what was found is lost, the window must still close.
    }
    FFound = std::move(found);
    FWorkerDone = true;
}

void TSearchPackagesForm::ShowCounters() {
    {
        std::lock_guard lock(FPathLock);
        FSearchingPathText->setText(LocalText(FSearchingPath));
    }
    FProcessedText->setText(QString::number(FProcessed.load()));
    FKPLfoundText->setText(QString::number(FFoundCount.load()));
    FAvailableKPLFoundText->setText(QString::number(FAvailable.load()));
}

void TSearchPackagesForm::Tick() {
    ShowCounters();
    if (!FWorkerDone)
        return;
    FTimer->stop();
    FWorker.join();
    FFinished = true;
    // A search the user stopped closes the window; a finished one leaves the totals on show.
    if (FStopRequested)
        TKMYFORM::accept();
}

void TSearchPackagesForm::reject() {
    if (FWorker.joinable()) {
        FStopRequested = true;
        return;
    }
    TKMYFORM::reject();
}

void TSearchPackagesForm::closeEvent(QCloseEvent* event) {
    if (FWorker.joinable()) {
        FStopRequested = true;
        event->ignore();
        return;
    }
    TKMYFORM::closeEvent(event);
}

void TSearchPackagesForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    if (FWorker.joinable() || FFinished)
        return;
    FStopRequested = false;
    FWorkerDone = false;
    FProcessed = 0;
    FFoundCount = 0;
    FAvailable = 0;
    {
        std::lock_guard lock(FPathLock);
        FSearchingPath.clear();
    }
    ShowCounters();
    FWorker = std::thread([this] { Work(); });
    FTimer->start();
}

} // namespace ks
