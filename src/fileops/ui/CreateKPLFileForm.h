#pragma once

#include "archive/KPL.h"
#include "controls/ui/KMYFORM.h"
#include "fileops/CopyQuestions.h"
#include "fileops/KplUnpack.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QCloseEvent;
class QShowEvent;
class QTimer;

namespace ks {

class TCopyQuestionPump;
class TKFileSystem;
class TKProgressBar;

/// What the KPL library dialog works on.
enum TKplFormMode { kmCreate = 1, kmUnpack = 2 };

/// One marked item packed into a new library.
struct TKplSourceItem {
    std::string FullName; ///< the item's full name
    bool Folder = false;  ///< a folder is packed with everything below it
};

/// How the library work ended.
struct TKplFormOutcome {
    bool Stopped = false;        ///< the user stopped it
    std::optional<TError> Error; ///< the write or unpack failed (not set for a stop)
    std::vector<TError> LeftOut; ///< files a write could not read and left out
    TKplUnpackCounts Counts;     ///< what an unpack did
};

/// The KPL library dialog ("KPL library..."): writes a new library or unpacks one on a worker
/// thread while the bar `CurrentProgress` follows the entries. A close request (Escape, the
/// close box) stops the work after the current entry and the dialog closes once the worker has
/// ended; the unpack's overwrite questions are shown on the GUI thread while the worker waits.
/// Failures are told in the message box after the dialog closed; a stop is not.
///
/// Thread: the GUI thread; the library (`KMYKPLIB`) is used by the worker while it runs.
class TCreateKPLFileForm : public TKMYFORM {
public:
    /// kmCreate: packs items (each relative to its own folder; the last item's folder is the
    /// base of all, as the library has one) into targetName. kmUnpack: unpacks libraryFileName
    /// into the folder targetName.
    TCreateKPLFileForm(TKFileSystem& fileSystem, TKplFormMode mode, std::string libraryFileName,
                       std::string targetName, std::vector<TKplSourceItem> items = {},
                       QWidget* parent = nullptr);
    ~TCreateKPLFileForm() override;

    /// Packs items into the library targetName (".kpl" appended when it has no extension) with a
    /// user library id, and tells what failed.
    static TKplFormOutcome Create(TKFileSystem& fileSystem, const std::string& targetName,
                                  const std::vector<TKplSourceItem>& items, QWidget* parent = nullptr);
    /// Unpacks the whole library libraryFileName (any library id) into targetFolder, and tells
    /// what failed.
    static TKplFormOutcome Unpack(TKFileSystem& fileSystem, const std::string& libraryFileName,
                                  const std::string& targetFolder, QWidget* parent = nullptr);

    /// The message for what failed, empty when nothing did (or the work was stopped).
    static std::string FailureText(TKplFormMode mode, const std::string& name,
                                   const TKplFormOutcome& outcome);

    const TKplFormOutcome& Outcome() const { return FOutcome; }
    TKMYKPLIB& Library() { return FLibrary; }
    bool Working() const { return FWorker.joinable(); }

    /// A close request: stops the work; the dialog closes once the worker ended.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Work();
    void Tick();
    void Stop();

    TKFileSystem& FFileSystem;
    TKplFormMode FMode;
    std::string FLibraryFileName;
    std::string FTargetName;
    std::vector<TKplSourceItem> FItems;
    TKMYKPLIB FLibrary;
    TCopyQuestionPump* FPump = nullptr;
    TQuestionSlot FQuestions;
    std::thread FWorker;
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FWorkerDone{false};
    std::atomic<std::int32_t> FPosition{0};
    std::atomic<std::int32_t> FMax{10};
    TKplFormOutcome FOutcome; // written by the worker, read once it ended
    TKProgressBar* FCurrentProgress = nullptr;
    QTimer* FTimer = nullptr;
};

} // namespace ks
