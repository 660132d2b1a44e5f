#include "fileops/ui/ArchiveProgressForm.h"

#include "fileops/ui/CopyFormTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace ks {

TArchiveProgressForm::TArchiveProgressForm(TArchiveRunWatch watch, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FWatch(std::move(watch)) {
    // Nothing to watch is a run that cannot end well; the window must still close.
    if (!FWatch.Poll)
        FWatch.Poll = [] { return TArchiveRunOutcome{TArchiveRunOutcome::rsFailed, -1, {}}; };
    setObjectName(QStringLiteral("ArchiveProgressForm"));
    setWindowTitle(QStringLiteral("Archive manager..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* running = new QLabel(QStringLiteral("Running:"), this);
    running->setObjectName(QStringLiteral("RunningLabel"));
    layout->addWidget(running);
    auto* name = new QLabel(LocalText(FWatch.ManagerName), this);
    name->setObjectName(QStringLiteral("ManagerName"));
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    // The manager tells nothing of its progress, so the bar only shows that it works.
    auto* busy = new QProgressBar(this);
    busy->setObjectName(QStringLiteral("BusyProgress"));
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setMinimumWidth(300);
    busy->setMaximumHeight(14);
    layout->addWidget(busy);
    layout->addSpacing(4);

    auto* cancel = AddButtonRow(layout, {{"CancelButton", "&Cancel", false}}).front();
    // Enter must not stop a manager by accident; only a deliberate Cancel does.
    cancel->setDefault(false);
    cancel->setAutoDefault(false);

    FTimer = new QTimer(this);
    FTimer->setInterval(PollInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

TArchiveRunOutcome TArchiveProgressForm::Execute(TArchiveRunWatch watch, QWidget* parent) {
    std::function<void()> cancel = watch.Cancel;
    std::optional<TArchiveRunOutcome> outcome;
    ExecForm(new TArchiveProgressForm(std::move(watch), parent),
             [&outcome](TArchiveProgressForm& form) { outcome = form.Outcome(); });
    if (outcome)
        return *outcome;
    // The window went away before the manager ended (its parent closed): the manager must not
    // run on unwatched.
    if (cancel)
        cancel();
    TArchiveRunOutcome cancelled;
    cancelled.State = TArchiveRunOutcome::rsCancelled;
    return cancelled;
}

void TArchiveProgressForm::Tick() {
    if (FOutcome)
        return;
    FOutcome = FWatch.Poll();
    if (!FOutcome)
        return;
    FTimer->stop();
    TKMYFORM::accept();
}

void TArchiveProgressForm::reject() {
    if (FOutcome) {
        TKMYFORM::reject();
        return;
    }
    if (!FCancelled && FWatch.Cancel) {
        FCancelled = true;
        FWatch.Cancel();
    }
    // The outcome of the stopped manager closes the window on the next poll.
    Tick();
}

void TArchiveProgressForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    // The first look waits for the window's own event loop: a manager that ended already would
    // otherwise close the window before that loop runs, and the loop would wait for nothing.
    FTimer->start();
    QTimer::singleShot(0, this, [this] { Tick(); });
}

} // namespace ks
