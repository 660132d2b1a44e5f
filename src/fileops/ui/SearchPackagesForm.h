#pragma once

#include "controls/ui/KMYFORM.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QCloseEvent;
class QLabel;
class QShowEvent;
class QTimer;

namespace ks {

class TKFileSystem;

/// The pack search window ("Search KPL..."): walks the roots for KPL libraries with the wanted
/// library id on a worker thread while the counters follow it. The search starts when the window
/// shows; "&Close", Escape and the close box stop a running search after the current entry and
/// the window closes once the worker has ended; after a search that ran to its end the window
/// stays, showing the totals, until the user closes it.
///
/// Thread: the GUI thread; the worker only touches the file system and the shared counters.
class TSearchPackagesForm : public TKMYFORM {
public:
    TSearchPackagesForm(TKFileSystem& fileSystem, std::vector<std::string> roots, std::int32_t wantedId,
                        QWidget* parent = nullptr);
    ~TSearchPackagesForm() override;

    /// Shows the window modally over the roots and returns the full paths of the libraries with
    /// wantedId that were found (those found so far when the user stopped the search).
    static std::vector<std::string> Execute(const std::vector<std::string>& roots, std::int32_t wantedId,
                                            QWidget* parent = nullptr);

    /// The libraries found; complete once the worker ended.
    const std::vector<std::string>& Found() const { return FFound; }
    bool Working() const { return FWorker.joinable(); }
    /// True once a search has run (to its end or to a stop).
    bool Finished() const { return FFinished; }

    /// A close request: stops a running search; the window closes once the worker ended.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Work();
    void Tick();
    void ShowCounters();

    TKFileSystem& FFileSystem;
    std::vector<std::string> FRoots;
    std::int32_t FWantedId;
    std::thread FWorker;
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FWorkerDone{false};
    bool FFinished = false;
    std::atomic<std::uint64_t> FProcessed{0};
    std::atomic<std::uint64_t> FFoundCount{0};
    std::atomic<std::uint64_t> FAvailable{0};
    std::mutex FPathLock;
    std::string FSearchingPath;      // guarded by FPathLock
    std::vector<std::string> FFound; // written by the worker, read once it ended
    QLabel* FSearchingPathText = nullptr;
    QLabel* FProcessedText = nullptr;
    QLabel* FKPLfoundText = nullptr;
    QLabel* FAvailableKPLFoundText = nullptr;
    QTimer* FTimer = nullptr;
};

} // namespace ks
