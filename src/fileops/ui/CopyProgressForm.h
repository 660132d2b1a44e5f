#pragma once

#include "controls/ui/KMYFORM.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace ks {

class TCopyEngine;
class TKProgressBar;
class TCopyThread;

/// The modal progress window of one copy or move job ("Progress..."): the current file's and
/// the whole job's bars, the folder and file under way, sizes, times, speed and the job's
/// priority, read from the job every 20 ms. Cancel asks the job to stop and waits for it to end,
/// so the user sees it stop; Background lets the job go on without the window.
/// Thread: the GUI thread.
class TCopyProgressForm : public TKMYFORM {
public:
    explicit TCopyProgressForm(TCopyEngine& engine, QWidget* parent = nullptr);
    ~TCopyProgressForm() override;

    /// Runs job modally: starts it (engine.StartJob(); the job must be the engine's current
    /// job, one that is not is started by itself) and returns once it ended or was sent to the
    /// background; true when sent to the background.
    bool Run(std::shared_ptr<TCopyThread> job);

    /// The Background button calls it after clearing the job's `FSourcePanel`: the caller shows
    /// the background window.
    std::function<void()> OnBackground;

    std::shared_ptr<TCopyThread> FJob;
    bool FSentToBackground = false;

    /// Milliseconds since 1970, as the job's `FStartTime`; the system clock unless replaced.
    std::function<std::int64_t()> Clock;

    /// The bar position of pos out of max on the bars' fixed scale of `BarScale`; 0 for an empty
    /// maximum, pos limited to max.
    static int BarPosition(std::uint64_t pos, std::uint64_t max);
    static constexpr int BarScale = 1000000;
    /// Seconds as "H:MM:SS", hours counted on past 24.
    static QString TimeText(std::int64_t seconds);

    /// One poll of the job, as the 20 ms timer does it.
    void Tick();
    bool TimerActive() const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SendToBackground();
    void ShowDetails(bool on);
    void Finish();

    TCopyEngine& FEngine;
    QTimer* FTimer = nullptr;
    TKProgressBar* FCurrentProgress = nullptr;
    TKProgressBar* FTotalProgress = nullptr;
    QLabel* FSubTree = nullptr;
    QLabel* FFileName = nullptr;
    QLabel* FFileSize = nullptr;
    QLabel* FTotalPos = nullptr;
    QLabel* FTotalSize = nullptr;
    QLabel* FElapsed = nullptr;
    QLabel* FEstimated = nullptr;
    QLabel* FRemaining = nullptr;
    QLabel* FSpeed = nullptr;
    QLabel* FPriority = nullptr;
    QCheckBox* FShowDetail = nullptr;
    /// The widgets of the detail rows, hidden with "SD" off.
    std::vector<QWidget*> FDetails;
    std::int64_t FShownElapsedSeconds = -1;
};

} // namespace ks
