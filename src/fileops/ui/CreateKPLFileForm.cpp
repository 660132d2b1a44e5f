#include "fileops/ui/CreateKPLFileForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/MessageForm.h"
#include "controls/ui/ProgressBar.h"
#include "fileops/ui/CopyFormTexts.h"
#include "fileops/ui/CopyQuestionPump.h"
#include "foundation/DELTA9.h"
#include "foundation/FileSystem.h"
#include "foundation/Language.h"

#include <QCloseEvent>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

namespace ks {

namespace {

// As often as the copy progress windows look at their jobs.
constexpr int TickInterval = 20;
// A longer list of left-out files is cut, so the message box stays readable.
constexpr std::size_t MaxListedFiles = 20;

// Why something failed, in the words of the OS where there are some.
std::string ReasonOf(const TError& error) {
    if (error.Errno != 0)
        return std::strerror(error.Errno);
    if (!error.Detail.empty())
        return error.Detail;
    int errnoValue = EIO;
    switch (error.Code) {
    case TErrorCode::ecNotFound:
        errnoValue = ENOENT;
        break;
    case TErrorCode::ecAccess:
        errnoValue = EACCES;
        break;
    case TErrorCode::ecExists:
        errnoValue = EEXIST;
        break;
    case TErrorCode::ecNoSpace:
        errnoValue = ENOSPC;
        break;
    case TErrorCode::ecTooLarge:
        errnoValue = EFBIG;
        break;
    case TErrorCode::ecNotRegular:
        errnoValue = EISDIR;
        break;
    default:
        break;
    }
    return std::strerror(errnoValue);
}

// The folder holding fullName, with its trailing "/".
std::string FolderOf(const std::string& fullName) {
    const std::string trimmed = RemoveTrailingSeparator(fullName);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? std::string() : trimmed.substr(0, slash + 1);
}

void Tell(const std::string& text, QWidget* parent) {
    if (!text.empty())
        ShowMessageForm(text, 0, mbOK, 2, 0, parent);
}

} // namespace

TCreateKPLFileForm::TCreateKPLFileForm(TKFileSystem& fileSystem, TKplFormMode mode,
                                       std::string libraryFileName, std::string targetName,
                                       std::vector<TKplSourceItem> items, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FFileSystem(fileSystem), FMode(mode),
      FLibraryFileName(std::move(libraryFileName)), FTargetName(std::move(targetName)),
      FItems(std::move(items)), FLibrary(fileSystem) {
    setObjectName(QStringLiteral("CreateKPLFileForm"));
    setWindowTitle(QStringLiteral("KPL library..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* name = new QLabel(LocalText(FMode == kmCreate ? FTargetName : FLibraryFileName), this);
    name->setObjectName(QStringLiteral("LibraryName"));
    // A file name, not markup.
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    FCurrentProgress = new TKProgressBar(this);
    FCurrentProgress->setObjectName(QStringLiteral("CurrentProgress"));
    FCurrentProgress->setMinimumWidth(320);
    FCurrentProgress->setRange(0, 10);
    layout->addWidget(FCurrentProgress);
    layout->addSpacing(4);

    FPump = new TCopyQuestionPump(this);
    FQuestions.SetAsker(FPump->Asker());
    FTimer = new QTimer(this);
    FTimer->setInterval(TickInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

TCreateKPLFileForm::~TCreateKPLFileForm() {
    if (FWorker.joinable()) {
        Stop();
        FWorker.join();
    }
}

TKplFormOutcome TCreateKPLFileForm::Create(TKFileSystem& fileSystem, const std::string& targetName,
                                           const std::vector<TKplSourceItem>& items, QWidget* parent) {
    std::string name = targetName;
    if (ExtractExt(name).empty())
        name += ".kpl";
    TKplFormOutcome outcome;
    ExecForm(new TCreateKPLFileForm(fileSystem, kmCreate, {}, name, items, parent),
             [&outcome](TCreateKPLFileForm& form) { outcome = form.Outcome(); });
    Tell(FailureText(kmCreate, name, outcome), parent);
    return outcome;
}

TKplFormOutcome TCreateKPLFileForm::Unpack(TKFileSystem& fileSystem, const std::string& libraryFileName,
                                           const std::string& targetFolder, QWidget* parent) {
    TKplFormOutcome outcome;
    ExecForm(
        new TCreateKPLFileForm(fileSystem, kmUnpack, libraryFileName, AddBackslash(targetFolder), {}, parent),
        [&outcome](TCreateKPLFileForm& form) { outcome = form.Outcome(); });
    Tell(FailureText(kmUnpack, libraryFileName, outcome), parent);
    return outcome;
}

std::string TCreateKPLFileForm::FailureText(TKplFormMode mode, const std::string& name,
                                            const TKplFormOutcome& outcome) {
    std::string text;
    if (outcome.Error) {
        const std::string reason = ReasonOf(*outcome.Error);
        text = mode == kmCreate
                   ? FormatLangText(
                         LangTextOr("_STRKplWriteFailed", "The library '%s' could not be written: %s"),
                         {name, reason})
                   : FormatLangText(LangTextOr("_STRKplUnpackFailed",
                                               "The library '%s' could not be unpacked completely: %s"),
                                    {name, reason});
    }
    if (!outcome.LeftOut.empty()) {
        std::string list;
        for (std::size_t i = 0; i < outcome.LeftOut.size() && i < MaxListedFiles; ++i)
            list += "\n" + outcome.LeftOut[i].Path + " (" + ReasonOf(outcome.LeftOut[i]) + ")";
        if (outcome.LeftOut.size() > MaxListedFiles)
            list += "\n...";
        if (!text.empty())
            text += "\n\n";
        text += FormatLangText(
            LangTextOr("_STRKplLeftOut",
                       "These items could not be read and were left out of the library '%s':%s"),
            {name, list});
    }
    return text;
}

void TCreateKPLFileForm::Work() {
    TKplFormOutcome outcome;
    FLibrary.OnProgress = [this](std::int32_t position, std::int32_t max) {
        FPosition = position;
        FMax = max;
        // An operation clears Stopped when it starts, so a request made just before would be lost.
        if (FStopRequested)
            FLibrary.Stopped = true;
    };
    try {
        if (FMode == kmCreate) {
            FLibrary.Items.clear();
            for (const TKplSourceItem& item : FItems) {
                if (FStopRequested)
                    break;
                FLibrary.BaseFolder = FolderOf(item.FullName);
                if (!item.Folder) {
                    FLibrary.Items.push_back(item.FullName);
                } else if (Result<void> scanned = FLibrary.ScanFolder(item.FullName); !scanned) {
                    TError error = scanned.error();
                    if (error.Path.empty())
                        error.Path = item.FullName;
                    outcome.LeftOut.push_back(std::move(error));
                }
            }
            if (!FStopRequested && !FLibrary.Items.empty()) {
                FLibrary.LibraryId = KplUserLibraryId;
                if (Result<void> written = FLibrary.WriteLibrary(FTargetName); !written)
                    outcome.Error = written.error();
                outcome.LeftOut.insert(outcome.LeftOut.end(), FLibrary.LeftOut.begin(),
                                       FLibrary.LeftOut.end());
            }
        } else {
            FLibrary.LibraryId = KplAnyLibraryId;
            if (Result<void> unpacked = UnpackLibrary(FLibrary, FFileSystem, FLibraryFileName, FTargetName,
                                                      FQuestions, &outcome.Counts);
                !unpacked)
                outcome.Error = unpacked.error();
        }
    } catch (const std::exception& failure) {
        outcome.Error = TError{TErrorCode::ecIo, 0, {}, failure.what()};
    }
    // A stop (by the user, or Abort on a question) is no failure to tell.
    if (FStopRequested || (outcome.Error && outcome.Error->Code == TErrorCode::ecCancelled)) {
        outcome.Stopped = true;
        outcome.Error.reset();
    }
    FOutcome = std::move(outcome);
    FWorkerDone = true;
}

void TCreateKPLFileForm::Tick() {
    const std::int32_t max = FMax;
    FCurrentProgress->setRange(0, max);
    FCurrentProgress->setValue(FPosition);
    if (!FWorkerDone)
        return;
    FTimer->stop();
    FWorker.join();
    TKMYFORM::accept();
}

void TCreateKPLFileForm::Stop() {
    FStopRequested = true;
    FLibrary.Stopped = true;
    FQuestions.Release();
}

void TCreateKPLFileForm::reject() {
    if (FWorker.joinable()) {
        Stop();
        return;
    }
    TKMYFORM::reject();
}

void TCreateKPLFileForm::closeEvent(QCloseEvent* event) {
    if (FWorker.joinable()) {
        Stop();
        event->ignore();
        return;
    }
    TKMYFORM::closeEvent(event);
}

void TCreateKPLFileForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    if (FWorker.joinable() || FWorkerDone)
        return;
    FPosition = 0;
    FMax = 10;
    FCurrentProgress->setRange(0, 10);
    FCurrentProgress->setValue(0);
    FWorker = std::thread([this] { Work(); });
    FTimer->start();
}

} // namespace ks
