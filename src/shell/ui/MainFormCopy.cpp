#include "shell/ui/MainForm.h"

#include <QApplication>
#include <QLabel>

#include <charconv>
#include <chrono>
#include <utility>

#include "controls/ui/MessageForm.h"
#include "controls/ui/ProgressBar.h"
#include "fileops/CopyEngine.h"
#include "fileops/ui/CopyBackForm.h"
#include "fileops/ui/CopyFilesForm.h"
#include "fileops/ui/CopyProgressForm.h"
#include "fileops/ui/CopyQuestionPump.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "panel/ui/PanelWidget.h"
#include "shell/ItemClipboard.h"
#include "shell/ui/DesktopClipboard.h"

namespace ks {

namespace {

// How long a close waits for cancelled jobs to end before it closes regardless: a job stuck in
// the system (a hung network disk) must not keep the program open for ever.
constexpr int CloseWaitMs = 10000;
constexpr int CloseWaitTick = 20;

} // namespace

void TMainForm::MakeCopyEngine() {
    FQuestionPump = std::make_unique<TCopyQuestionPump>(this);
    FCopyEngine = std::make_unique<TCopyEngine>(FileSystem(), FQuestionPump->Asker());
    FCopyEngine->SetPriorityHandler([](int priority) { (void)System().SetThreadPriority(priority); });
    FDesktopClipboard = new TDesktopClipboard(this);
    LEFTPANEL->OnDropFromPanel = [this](TKPanelWidget&) { PanelDragDrop(*FLeft, *FRight); };
    RIGHTPANEL->OnDropFromPanel = [this](TKPanelWidget&) { PanelDragDrop(*FRight, *FLeft); };
    FCloseWait.setInterval(CloseWaitTick);
    connect(&FCloseWait, &QTimer::timeout, this, [this] {
        if (!FCopyEngine->Jobs().empty() && std::chrono::steady_clock::now() < FCloseDeadline)
            return;
        FCloseWait.stop();
        close();
    });
}

std::shared_ptr<TCopyThread> TMainForm::NewCopyJob(bool move, bool copyAttributes, bool makeBackup) {
    // The stored buffer size counts from the start, not only once the settings dialog has
    // touched it; a value that is not a number keeps the default.
    const std::string stored = AutoSaveText("SettingsMaxCopyBufferSize");
    std::int64_t kilobytes = 128;
    if (!stored.empty()) {
        const auto [end, error] = std::from_chars(stored.data(), stored.data() + stored.size(), kilobytes);
        if (error != std::errc() || end != stored.data() + stored.size())
            kilobytes = 128;
    }
    FCopyEngine->FMaxCopyBufferSize = kilobytes;
    return FCopyEngine->NewJob(move, copyAttributes, makeBackup);
}

void TMainForm::SetPanelsReady(bool flag) {
    FLeft->FWatching = flag;
    FRight->FWatching = flag;
}

TCopyBackForm& TMainForm::CopyBackForm() {
    if (FCopyBackForm == nullptr) {
        FCopyBackForm = new TCopyBackForm(*FCopyEngine, this);
        FCopyBackForm->OnGiveFocusBack = [this] {
            activateWindow();
            (FActivePanel == FRight.get() ? RIGHTPANEL : LEFTPANEL)->setFocus();
        };
    }
    return *FCopyBackForm;
}

void TMainForm::ShowBackOpWindow() {
    TCopyBackForm& strip = CopyBackForm();
    strip.SetAutoClose(CheckBox("SettingsAutoClosingBackOpsWindow"));
    strip.ShowStrip();
}

void TMainForm::CopyItemsClick(bool move) {
    MenuPopup();
    if (!FMenuState.Visible[cmCopyItems] || (move && !FMenuState.Visible[cmMoveItems]))
        return;
    TKMYFILEPANEL& ap = *FActivePanel;
    TKMYFILEPANEL& op = OtherPanel(ap);
    if (FCopyFilesForm == nullptr) {
        FCopyFilesForm = new TCopyFilesForm(FData.ComboHistories[chCopy], this);
    }
    const TCopyTargetWord word = op.PanelType() == ptArchive ? twArchive
                                 : op.PanelType() == ptFTP   ? twFtp
                                                             : twNone;
    FCopyFilesForm->Prepare(op.FFolderItems.FPath, move, word);
    WriteState();
    if (FCopyFilesForm->exec() != QDialog::Accepted)
        return;
    const TCopyFilesChoice choice = FCopyFilesForm->Choice();
    // An archive is changed by its archive manager, which extracts into the target or adds the
    // items; FTP transfers are still to come, and such a copy makes no job and says why.
    if (ap.PanelType() == ptArchive) {
        ExtractFromArchive(ap, choice.Path.empty() ? op.FFolderItems.FPath : choice.Path, choice.Move);
        return;
    }
    if (word == twArchive && choice.Path == "archive") {
        AddToArchivePanel(ap, op);
        return;
    }
    if ((word == twFtp && choice.Path == "ftp") || ap.PanelType() == ptFTP) {
        Ask(CurrentLanguage().GetLangText("_STRCopyTargetNotReady"), 1, mbOK, 2);
        return;
    }
    SetPanelsReady(false);
    std::shared_ptr<TCopyThread> job = NewCopyJob(choice.Move, choice.CopyAttributes, choice.MakeBackup);
    FCopyEngine->FillFromPanels(ap, op, choice.Path);
    RunCopyJob(job);
}

void TMainForm::PanelDragDrop(TKMYFILEPANEL& target, TKMYFILEPANEL& source) {
    MenuPopup();
    if (!FMenuState.Visible[cmCopyItems] || target.PanelType() != ptFolder)
        return;
    if (source.PanelType() == ptArchive) {
        ExtractFromArchive(source, target.FFolderItems.FPath, false);
        return;
    }
    if (source.PanelType() != ptFolder && source.PanelType() != ptFindResult)
        return;
    SetPanelsReady(false);
    std::shared_ptr<TCopyThread> job = NewCopyJob(false, true, false);
    FCopyEngine->FillFromPanels(source, target, {});
    RunCopyJob(job);
}

void TMainForm::FillItemClipboard(bool cut) {
    TKMYFILEPANEL& ap = *FActivePanel;
    FClipItems.clear();
    FClipCut = cut;
    if (ap.FItemsStruc->Count() > 0 && ap.FItemsStruc->FMarkedCount == 0)
        ap.MarkItems("*.*", mmMark, MarkMatchingItems, true, false);
    for (int i = 0; i < ap.FItemsStruc->Count(); ++i) {
        const TKFiles* item = ap.FItemsStruc->GetFileItem(i);
        if (item != nullptr && item->Marked && (item->Kind == ikFolder || item->Kind == ikFile))
            FClipItems.push_back(ap.ItemFullName(i));
    }
    // Other file managers paste what the desktop's clipboard holds; names of archive entries or
    // FTP files are no files of this disk and stay in the program's own list.
    std::vector<std::string> local;
    for (const std::string& name : FClipItems)
        if (!name.empty() && name.front() == '/')
            local.push_back(name);
    if (!local.empty() && FDesktopClipboard != nullptr)
        FDesktopClipboard->Put(local, cut);
}

void TMainForm::PasteItems() {
    TKMYFILEPANEL& ap = *FActivePanel;
    if (ap.PanelType() != ptFolder)
        return;
    std::vector<std::string> names = FClipItems;
    bool cut = FClipCut;
    // Files another program put on the desktop's clipboard after our own Copy or Cut are the
    // newer wish of the user.
    if (FDesktopClipboard != nullptr) {
        if (std::optional<TClipboardItems> foreign = FDesktopClipboard->TakeForeign()) {
            names = std::move(foreign->Names);
            cut = foreign->Cut;
        }
    }
    if (names.empty())
        return;
    SetPanelsReady(false);
    std::shared_ptr<TCopyThread> job = NewCopyJob(cut, true, false);
    const std::string folder = RemoveTrailingSeparator(ap.FFolderItems.FPath);
    for (const std::string& name : names)
        FCopyEngine->AddEntry(name, folder);
    RunCopyJob(job);
}

void TMainForm::RunCopyJob(const std::shared_ptr<TCopyThread>& job) {
    if (FCopyProgressForm == nullptr) {
        FCopyProgressForm = new TCopyProgressForm(*FCopyEngine, this);
        FCopyProgressForm->OnBackground = [this] { ShowBackOpWindow(); };
    }
    WriteState();
    FCopyProgressForm->Run(job);
    SetPanelsReady(true);
    FLeft->ReadPanel(true, true);
    FRight->ReadPanel(true, true);
    WriteState();
}

bool TMainForm::CloseQueryJobs() {
    if (FCopyEngine == nullptr || FCopyEngine->Jobs().empty())
        return true;
    if (FCloseWhenIdle)
        return false;
    ShowBackOpWindow();
    const int answer = Ask(CurrentLanguage().GetLangText("str_CopyAtBack"), 1, mbOK | mbCancel, 3);
    if (answer != mrOk)
        return false;
    // The jobs stop at their next check; the strip shows them ending and the window closes once
    // the last one is gone (or the wait runs out).
    FCloseWhenIdle = true;
    FCopyEngine->CancelAll();
    FCloseDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(CloseWaitMs);
    FCloseWait.start();
    return false;
}

std::string TMainForm::CopyStateJson() const {
    std::string jobs = "[";
    bool first = true;
    for (const std::shared_ptr<TCopyThread>& job : FCopyEngine->Jobs()) {
        if (!first)
            jobs += ",";
        first = false;
        jobs += TJsonLine()
                    .Add("FJobID", job->FJobID)
                    .Add("FMove", job->FMove)
                    .Add("Started", job->Started())
                    .Add("Suspended", job->Suspended())
                    .Add("FCancelled", job->FCancelled.load())
                    .Add("FFinished", job->FFinished.load())
                    .Add("Priority", job->Priority())
                    .Add("BytesDone", static_cast<std::int64_t>(job->BytesDone()))
                    .Add("FTotalSize", static_cast<std::int64_t>(job->FTotalSize.load()))
                    .Text();
    }
    jobs += "]";
    const auto rectJson = [](const QWidget* widget) {
        if (widget == nullptr || !widget->isVisible())
            return std::string("null");
        const QRect frame = widget->frameGeometry();
        return TJsonLine()
            .Add("X", frame.x())
            .Add("Y", frame.y())
            .Add("Width", frame.width())
            .Add("Height", frame.height())
            .Text();
    };
    // Where the strip draws its rows, on the screen.
    const auto rowsJson = [this] {
        if (FCopyBackForm == nullptr || !FCopyBackForm->isVisible())
            return std::string("null");
        const QPoint corner = FCopyBackForm->mapToGlobal(QPoint(TKMYFORM::InnerLeft, TKMYFORM::InnerTop));
        return TJsonLine()
            .Add("X", corner.x())
            .Add("Y", corner.y())
            .Add("Width", FCopyBackForm->width() - 2 * TKMYFORM::InnerLeft)
            .Add("Height", FCopyBackForm->height() - TKMYFORM::InnerTop - 4)
            .Text();
    };
    // What the progress window shows, for outside checks.
    TJsonLine labels;
    if (FCopyProgressForm != nullptr && FCopyProgressForm->isVisible()) {
        for (const char* name :
             {"CurrentFileNameLabel", "TotalPosLabel", "TotalSizeLabel", "TotalElapsedLabel",
              "TotalEstimatedLabel", "TotalRemainingLabel", "TotalAverageSpeedLabel", "PriorityTextLabel"})
            if (const auto* label = FCopyProgressForm->findChild<QLabel*>(QString::fromLatin1(name)))
                labels.Add(name, label->text().toStdString());
        if (const auto* bar = FCopyProgressForm->findChild<TKProgressBar*>(QStringLiteral("TotalProgress")))
            labels.Add("TotalProgress", bar->value()).Add("TotalProgressMaximum", bar->maximum());
    }
    return TJsonLine()
        .AddRaw("ProgressWindow", labels.Text())
        .AddRaw("Jobs", jobs)
        .AddRaw("BackOp", rectJson(FCopyBackForm))
        .AddRaw("BackOpRows", rowsJson())
        .AddRaw("Progress", rectJson(FCopyProgressForm))
        .Add("ClipboardItems", static_cast<int>(FClipItems.size()))
        .Add("ClipboardCut", FClipCut)
        .Text();
}

} // namespace ks
