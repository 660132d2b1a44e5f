#pragma once

#include "controls/ui/KMYFORM.h"
#include "fileops/ArchiveRun.h"

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QTimer;

namespace ks {

/// What the archive manager window watches: a running manager, seen through three calls so the
/// window needs no process of its own to be tried out.
struct TArchiveRunWatch {
    std::string ManagerName;
    /// The outcome once the manager ended, nothing while it runs; must not block.
    std::function<std::optional<TArchiveRunOutcome>()> Poll;
    /// Stops the manager; a later Poll gives the outcome.
    std::function<void()> Cancel;
};

/// The modal window shown while an archive manager runs ("Archive manager..."): the manager's
/// name in `ManagerName`, a busy bar and "&Cancel" (or Escape), which stops the manager. It polls
/// the run every 50 ms without ever waiting on it and closes itself with the outcome.
/// Thread: the GUI thread.
class TArchiveProgressForm : public TKMYFORM {
public:
    static constexpr int PollInterval = 50;

    explicit TArchiveProgressForm(TArchiveRunWatch watch, QWidget* parent = nullptr);

    /// Shows the window until the run ended; a window that went with its parent cancels the run
    /// and gives rsCancelled.
    static TArchiveRunOutcome Execute(TArchiveRunWatch watch, QWidget* parent = nullptr);
    /// The same for a started run.
    static TArchiveRunOutcome Execute(TArchiveRun& run, QWidget* parent = nullptr) {
        return Execute(
            TArchiveRunWatch{run.ManagerName(), [&run] { return run.Poll(0); }, [&run] { run.Cancel(); }},
            parent);
    }

    /// The outcome; meaningful once the window closed by itself.
    const std::optional<TArchiveRunOutcome>& Outcome() const { return FOutcome; }
    /// One poll, as the timer does it.
    void Tick();

    /// "&Cancel", Escape and the close box: stops the manager; the window closes on its end.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TArchiveRunWatch FWatch;
    std::optional<TArchiveRunOutcome> FOutcome;
    bool FCancelled = false;
    QTimer* FTimer = nullptr;
};

} // namespace ks
