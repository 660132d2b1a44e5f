#include "shell/ui/MainForm.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveManagers.h"
#include "archive/LibArchiveExtract.h"
#include "controls/MessageBox.h"
#include "fileops/ArchiveRun.h"
#include "fileops/CopyEngine.h"
#include "fileops/ui/AddToArchiveForm.h"
#include "fileops/ui/ArchiveProgressForm.h"
#include "fileops/ui/CreateKPLFileForm.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/System.h"

// Archives changed by their archive managers: extracting out of an archive panel, adding to one,
// deleting inside one. Every manager runs watched, with a window that can stop it, and what went
// wrong is told.

namespace ks {

namespace {

std::string LastPart(const std::string& path) {
    std::string name = path;
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

void TMainForm::LocateArchiveManagersAtStart() {
    // A list never stored reads as one empty line.
    std::erase(FData.ArchiveList, std::string());
    if (!CheckBox("SettingsArchiveAutoLocate"))
        return;
    FData.ArchiveList = MergeLocatedManagers(
        FData.ArchiveList,
        LocateArchiveManagers([](const std::string& name) { return System().FindProgram(name); }));
}

std::optional<TArchiveManager> TMainForm::ArchiveManagerFor(const std::string& archiveName) {
    const int index = FindArchiveManager(FData.ArchiveList, archiveName);
    if (index < 0)
        return std::nullopt;
    return ParseArchiveManager(FData.ArchiveList[static_cast<std::size_t>(index)]);
}

bool TMainForm::RunArchiveManager(const std::string& templ, const TManagerCall& givenCall,
                                  const std::string& listPrefix, const std::string& workFolder) {
    TManagerCall call = givenCall;
    call.ListFile = ArchiveListFileName(listPrefix);
    if (call.ListFile.empty()) {
        Ask(LangTextOr("_STRArchNoTempFolder",
                       "There is no private temporary folder for the archive manager's list."),
            miExclamation, mbOK, 2);
        return false;
    }
    Result<TManagerCommand> command = BuildManagerCommand(templ, call);
    if (!command) {
        Ask(FormatLangText(LangTextOr("_STRArchBadCommand", "The archive manager cannot be run: %s"),
                           {command.error().Detail.empty() ? command.error().Path : command.error().Detail}),
            miExclamation, mbOK, 2);
        return false;
    }
    const std::string program = command->Argv.empty() ? std::string() : LastPart(command->Argv.front());
    TArchiveRun run(program, std::move(*command), call.ListFile, workFolder);
    if (const Result<void> started = run.Start(); !started) {
        const TError& error = started.error();
        Ask(FormatLangText(
                LangTextOr("_STRArchCantStart", "Cannot start the archive manager %s: %s"),
                {program, error.Errno != 0 ? std::string(std::strerror(error.Errno)) : error.Detail}),
            miExclamation, mbOK, 2);
        return false;
    }
    WriteState();
    const TArchiveRunOutcome outcome = TArchiveProgressForm::Execute(run, this);
    if (outcome.State == TArchiveRunOutcome::rsCancelled)
        return false;
    if (outcome.State == TArchiveRunOutcome::rsFailed) {
        Ask(FormatLangText(LangTextOr("_STRArchFailed", "The archive manager %s ended with status %s.\n\n%s"),
                           {program, std::to_string(outcome.ExitStatus), outcome.OutputTail}),
            miExclamation, mbOK, 2);
        return false;
    }
    return true;
}

bool TMainForm::ExtractWithOwnReader(const std::string& archiveName, const std::vector<std::string>& names,
                                     const std::string& folder) {
    // The extraction runs on a thread of its own while the window shows it and can stop it.
    struct TShared {
        std::atomic<bool> Cancelled{false};
        std::atomic<bool> Done{false};
        Result<TExtractCounts> Outcome = TExtractCounts{};
    };
    auto shared = std::make_shared<TShared>();
    std::thread worker([shared, archiveName, names, folder] {
        shared->Outcome = ExtractWithLibArchive(FileSystem(), archiveName, names, folder, shared->Cancelled,
                                                [](std::uint64_t) {});
        shared->Done = true;
    });
    TArchiveRunWatch watch;
    watch.ManagerName = "libarchive";
    watch.Poll = [shared]() -> std::optional<TArchiveRunOutcome> {
        if (!shared->Done)
            return std::nullopt;
        TArchiveRunOutcome outcome;
        if (shared->Cancelled)
            outcome.State = TArchiveRunOutcome::rsCancelled;
        else if (!shared->Outcome)
            outcome.State = TArchiveRunOutcome::rsFailed;
        return outcome;
    };
    watch.Cancel = [shared] { shared->Cancelled = true; };
    WriteState();
    const TArchiveRunOutcome outcome = TArchiveProgressForm::Execute(std::move(watch), this);
    shared->Cancelled = shared->Cancelled || outcome.State == TArchiveRunOutcome::rsCancelled;
    worker.join();
    if (outcome.State == TArchiveRunOutcome::rsCancelled || shared->Cancelled)
        return false;
    if (!shared->Outcome) {
        const TError& error = shared->Outcome.error();
        Ask(FormatLangText(LangTextOr("_STRArchExtractFailed", "Cannot extract from %s: %s"),
                           {archiveName, error.Detail.empty() ? error.Path : error.Detail}),
            miExclamation, mbOK, 2);
        return false;
    }
    if (!shared->Outcome->Skipped.empty()) {
        std::string list;
        for (std::size_t i = 0; i < shared->Outcome->Skipped.size() && i < 10; ++i)
            list += "\n" + shared->Outcome->Skipped[i];
        Ask(FormatLangText(LangTextOr("_STRArchSkipped",
                                      "These entries were left out: they would have been "
                                      "written outside the target folder, or are no files:%s"),
                           {list}),
            miExclamation, mbOK, 2);
    }
    return true;
}

void TMainForm::ReopenArchive(TKMYFILEPANEL& panel, const std::string& archiveName, const std::string& folder,
                              const std::string& cursor) {
    // A manager that emptied the archive may have removed the file with its last entry.
    if (!FileSystem().Exists(archiveName)) {
        if (panel.PanelType() == ptArchive)
            panel.CloseArchive();
        return;
    }
    panel.OpenArchive(archiveName, folder);
    if (!cursor.empty())
        panel.FindItem(cursor, true);
}

TMainForm::TArchiveSelection TMainForm::ArchiveSelection(TKMYFILEPANEL& panel) {
    TKITEMSSTRUC& list = *panel.FItemsStruc;
    if (list.FMarkedCount == 0)
        panel.MarkItems("*.*", mmMark, MarkMatchingItems, true, false);
    TArchiveSelection selection;
    int entries = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TKFiles* item = list.GetFileItem(i);
        if (item == nullptr || item->Kind == ikUpFolder)
            continue;
        ++entries;
        if (item->Marked) {
            selection.Names.push_back(panel.ArchiveStoredName(i));
            selection.Shown.push_back(panel.ItemFullName(i));
        }
    }
    selection.Everything =
        panel.FArchiveFolder.empty() && entries > 0 && static_cast<int>(selection.Names.size()) == entries;
    return selection;
}

void TMainForm::ExtractFromArchive(TKMYFILEPANEL& archive, const std::string& targetPath, bool move) {
    if (archive.PanelType() != ptArchive || archive.Busy())
        return;
    const std::string archiveName = archive.FArchiveFileName;
    const std::optional<TCopyTarget> target =
        ResolveCopyTarget(FileSystem(), targetPath, archive.FFolderItems.FPath);
    if (!target)
        return;
    std::optional<TArchiveManager> manager = ArchiveManagerFor(archiveName);
    if (manager && manager->ExtractTemplate.empty())
        manager.reset();
    const bool kpl = archive.FArchiveKind == akKPL;
    // Without a manager the archive is read by the program itself, which can extract but not
    // delete.
    const bool ownReader = !manager && !kpl && LibArchiveCanExtract(FileSystem(), archiveName);
    if (!manager && !kpl && !ownReader) {
        Ask(FormatLangText(LangTextOr("_STRArchNoManager", "No archive manager for this kind of archive: %s"),
                           {archiveName}),
            miExclamation, mbOK, 2);
        return;
    }
    if (move && (!manager || manager->DeleteTemplate.empty())) {
        Ask(FormatLangText(LangTextOr("_STRArchNoDelete",
                                      "The archive manager of %s cannot delete from it, so "
                                      "nothing can be moved out of it."),
                           {archiveName}),
            miExclamation, mbOK, 2);
        return;
    }
    if (kpl) {
        // The library unpacks whole into the target, asking before it replaces a file.
        SetPanelsReady(false);
        const TKplFormOutcome outcome =
            TCreateKPLFileForm::Unpack(FileSystem(), archiveName, target->Folder, this);
        SetPanelsReady(true);
        if (const std::string failure = TCreateKPLFileForm::FailureText(kmUnpack, archiveName, outcome);
            !failure.empty())
            Ask(failure, miExclamation, mbOK, 2);
        OtherPanel(archive).ReadPanel(true, true);
        WriteState();
        return;
    }
    const TArchiveSelection selection = ArchiveSelection(archive);

    Result<std::unique_ptr<TExtractStage>> stage = TExtractStage::Make(FileSystem(), target->Folder);
    if (!stage) {
        const TError& error = stage.error();
        Ask(FormatLangText(
                LangTextOr("_STRArchNoStage", "Cannot extract into %s: %s"),
                {target->Folder, error.Errno != 0 ? std::string(std::strerror(error.Errno)) : error.Detail}),
            miExclamation, mbOK, 2);
        return;
    }
    TManagerCall call;
    call.ArchiveName = archiveName;
    // Everything at the root is the manager's own form of "all", so no entry is left behind.
    if (!selection.Everything)
        call.Names = selection.Names;
    call.ExtractPath = (*stage)->Path();
    if (ownReader ? !ExtractWithOwnReader(archiveName, call.Names, (*stage)->Path())
                  : !RunArchiveManager(manager->ExtractTemplate, call, "kSExtA", (*stage)->Path()))
        return;
    // What was asked for is taken from the stage, each item on its own, so items from a folder
    // inside the archive land in the target itself and whatever else a manager extracted stays
    // behind and goes with the stage.
    std::vector<std::string> sources;
    if (selection.Everything) {
        if (const Result<std::vector<std::string>> top = (*stage)->TopNames())
            for (const std::string& name : *top)
                sources.push_back((*stage)->Path() + name);
    } else {
        for (std::size_t i = 0; i < selection.Names.size(); ++i) {
            std::string stored = RemoveTrailingSeparator(selection.Names[i]);
            std::replace(stored.begin(), stored.end(), '\\', '/');
            std::string path = (*stage)->Path() + stored;
            if (!FileSystem().Exists(path))
                path = (*stage)->Path() + RemoveTrailingSeparator(selection.Shown[i]);
            sources.push_back(path);
        }
    }
    MoveInExtracted(std::move(*stage), std::move(sources), target->Folder,
                    move ? std::optional<TArchiveMoveOut>(TArchiveMoveOut{
                               archiveName, selection.Names, manager.value_or(TArchiveManager{})})
                         : std::nullopt);
    archive.MarkItems("*.*", mmUnmark, MarkMatchingItems, true, false);
}

void TMainForm::MoveInExtracted(std::unique_ptr<TExtractStage> stage, std::vector<std::string> sources,
                                const std::string& targetFolder, std::optional<TArchiveMoveOut> moveOut) {
    std::erase_if(sources, [](const std::string& source) { return !FileSystem().Exists(source); });
    if (sources.empty()) {
        (void)stage->Remove();
        Ask(LangTextOr("_STRArchNothingExtracted", "The archive manager extracted none of the items."),
            miExclamation, mbOK, 2);
        return;
    }
    SetPanelsReady(false);
    std::shared_ptr<TCopyThread> job = NewCopyJob(true, true, false);
    const std::string folder = RemoveTrailingSeparator(targetFolder);
    for (const std::string& source : sources)
        FCopyEngine->AddEntry(source, folder);
    FStages.push_back({job, std::move(stage), std::move(sources), std::move(moveOut)});
    RunCopyJob(job);
    SweepExtractStages();
}

void TMainForm::SweepExtractStages() {
    for (std::size_t i = 0; i < FStages.size();) {
        TPendingStage& pending = FStages[i];
        const std::shared_ptr<TCopyThread> job = pending.Job.lock();
        if (job && FCopyEngine->IndexOfJob(job.get()) >= 0) {
            ++i;
            continue;
        }
        TPendingStage done = std::move(pending);
        FStages.erase(FStages.begin() + static_cast<std::ptrdiff_t>(i));
        // What the copier left in the stage (a file the user chose to keep, a cancel) never
        // reached the target: the archive then keeps every entry.
        const bool allMoved =
            std::none_of(done.Sources.begin(), done.Sources.end(),
                         [](const std::string& source) { return FileSystem().Exists(source); });
        (void)done.Stage->Remove();
        if (!done.MoveOut)
            continue;
        if (!allMoved) {
            Ask(FormatLangText(LangTextOr("_STRArchKept",
                                          "Not everything was moved out of %s, so the archive was "
                                          "left as it was."),
                               {done.MoveOut->ArchiveName}),
                miExclamation, mbOK, 2);
            continue;
        }
        DeleteFromArchiveWith(done.MoveOut->Manager, done.MoveOut->ArchiveName, done.MoveOut->Names);
    }
}

void TMainForm::DeleteFromArchiveWith(const TArchiveManager& manager, const std::string& archiveName,
                                      const std::vector<std::string>& names) {
    TManagerCall call;
    call.ArchiveName = archiveName;
    call.Names = names;
    const std::string folder = archiveName.substr(0, archiveName.rfind('/') + 1);
    const bool deleted = RunArchiveManager(manager.DeleteTemplate, call, "kSDelA", folder);
    // The panels showing this archive show what it holds now, with the cursor where it was.
    for (TKMYFILEPANEL* panel : {FLeft.get(), FRight.get()}) {
        if (panel->PanelType() != ptArchive || panel->FArchiveFileName != archiveName)
            continue;
        const TKFiles* current = panel->FItemsStruc->FCurrentItem;
        const std::string cursor = current != nullptr ? current->Name : std::string();
        if (deleted)
            ReopenArchive(*panel, archiveName, panel->FArchiveFolder, cursor);
    }
    WriteState();
}

void TMainForm::DeleteArchiveItems(TKMYFILEPANEL& panel, const std::string& archiveName,
                                   const std::vector<std::string>& names) {
    const std::optional<TArchiveManager> manager = ArchiveManagerFor(archiveName);
    if (!manager || manager->DeleteTemplate.empty()) {
        Ask(FormatLangText(LangTextOr("_STRArchNoManager", "No archive manager for this kind of archive: %s"),
                           {archiveName}),
            miExclamation, mbOK, 2);
        return;
    }
    (void)panel;
    DeleteFromArchiveWith(*manager, archiveName, names);
}

void TMainForm::AddToArchivePanel(TKMYFILEPANEL& source, TKMYFILEPANEL& archive) {
    if (archive.PanelType() != ptArchive || source.Busy() || archive.Busy())
        return;
    if (!archive.FArchiveFolder.empty()) {
        Ask(CurrentLanguage().GetLangText("_STR_CanntAddToSubFolArch"), miExclamation, mbOK, 2);
        return;
    }
    const std::string archiveName = archive.FArchiveFileName;
    const std::optional<TArchiveManager> manager = ArchiveManagerFor(archiveName);
    if (!manager || manager->AddTemplate.empty()) {
        Ask(FormatLangText(
                LangTextOr("_STRArchNoAdder", "No archive manager can add to this kind of archive: %s"),
                {archiveName}),
            miExclamation, mbOK, 2);
        return;
    }
    // The names go relative to the folder each item is in; find results run the manager once
    // per folder.
    TKITEMSSTRUC& list = *source.FItemsStruc;
    if (list.FMarkedCount == 0)
        source.MarkItems("*.*", mmMark, MarkMatchingItems, true, false);
    std::map<std::string, std::vector<std::string>> byFolder;
    for (int i = 0; i < list.Count(); ++i) {
        const TKFiles* item = list.GetFileItem(i);
        if (item == nullptr || !item->Marked || (item->Kind != ikFile && item->Kind != ikFolder))
            continue;
        byFolder[AddBackslash(source.ItemFolder(i))].push_back(LastPart(source.ItemFullName(i)));
    }
    if (byFolder.empty())
        return;
    const TKFiles* current = archive.FItemsStruc->FCurrentItem;
    const std::string cursor = current != nullptr ? current->Name : std::string();
    bool added = false;
    for (const auto& [folder, names] : byFolder) {
        TManagerCall call;
        call.ArchiveName = archiveName;
        call.Names = names;
        if (!RunArchiveManager(manager->AddTemplate, call, "kSAddA", folder))
            break;
        added = true;
    }
    if (added) {
        source.MarkItems("*.*", mmUnmark, MarkMatchingItems, true, false);
        ReopenArchive(archive, archiveName, archive.FArchiveFolder, cursor);
    }
    WriteState();
}

} // namespace ks

namespace ks {

void TMainForm::AddToArchiveClick() {
    TKMYFILEPANEL& panel = *FActivePanel;
    if (panel.PanelType() != ptFolder || panel.Busy())
        return;
    TKITEMSSTRUC& list = *panel.FItemsStruc;
    TKFiles* const current = list.FCurrentItem;
    TAddToArchiveSource source;
    source.PanelFolder = panel.FFolderItems.FPath;
    source.HasSelection = list.FMarkedCount > 0;
    source.CursorItem = current != nullptr && current->Kind != ikUpFolder ? current->Name : std::string();
    source.OtherFolder = OtherPanel(panel).FFolderItems.FPath;
    WriteState();
    const TAddToArchiveChoice choice =
        TAddToArchiveForm::Execute(FAddArchiveHistory, FData.ArchiveList, source, this);
    if (!choice.Add || choice.Name.empty() || panel.PanelType() != ptFolder || panel.Busy())
        return;
    // A name typed without a folder goes beside the items.
    const std::string archiveName =
        choice.Name.front() == '/' ? choice.Name : AddBackslash(panel.FFolderItems.FPath) + choice.Name;

    if (list.FMarkedCount == 0 && current != nullptr && current->Kind != ikUpFolder)
        list.MarkItem(current, mmMark);
    std::vector<std::string> names;
    std::vector<TKplSourceItem> items;
    for (int i = 0; i < list.Count(); ++i) {
        const TKFiles* item = list.GetFileItem(i);
        if (item == nullptr || !item->Marked || (item->Kind != ikFile && item->Kind != ikFolder))
            continue;
        names.push_back(item->Name);
        items.push_back({panel.ItemFullName(i), item->Kind == ikFolder});
    }
    if (names.empty())
        return;

    bool done = false;
    if (choice.Entry < 0) {
        SetPanelsReady(false);
        const TKplFormOutcome outcome = TCreateKPLFileForm::Create(FileSystem(), archiveName, items, this);
        SetPanelsReady(true);
        if (const std::string failure = TCreateKPLFileForm::FailureText(kmCreate, archiveName, outcome);
            !failure.empty())
            Ask(failure, miExclamation, mbOK, 2);
        done = !outcome.Error && !outcome.Stopped;
    } else if (static_cast<std::size_t>(choice.Entry) < FData.ArchiveList.size()) {
        const std::optional<TArchiveManager> manager =
            ParseArchiveManager(FData.ArchiveList[static_cast<std::size_t>(choice.Entry)]);
        if (!manager || manager->AddTemplate.empty())
            return;
        TManagerCall call;
        call.ArchiveName = archiveName;
        call.Names = names;
        done = RunArchiveManager(manager->AddTemplate, call, "kSAddNA", panel.FFolderItems.FPath);
    }
    if (done)
        panel.MarkItems("*.*", mmUnmark, MarkMatchingItems, true, false);
    FLeft->ReadPanel(true, true);
    FRight->ReadPanel(true, true);
    WriteState();
}

} // namespace ks
