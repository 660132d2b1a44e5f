#include "panel/KMYFILEPANEL.h"

#include <memory>
#include <string_view>
#include <vector>

#include "controls/MessageBox.h"
#include "foundation/FileIO.h"
#include "foundation/Language.h"
#include "foundation/TreeWalk.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

namespace {

enum TToAll { taNone, taYesToAll, taNoToAll };

// One folder being emptied: what its removal at the end depends on.
struct TEmptying {
    bool MadeWritable = false; // made writable to be emptied; made read-only again if it stays
    bool Skipped = false;      // something inside stays by the user's choice
    int FailedBefore = 0;      // failures counted before it was entered
};

// One run of DeleteItems on a folder or find-result panel. Every folder tree is removed through
// the open folders of a TTreeWalk, so a folder renamed or swapped for a link meanwhile cannot
// send the deletion anywhere else.
class TLocalDelete {
public:
    TLocalDelete(TKMYFILEPANEL& panel, std::function<int(const std::string&, int, int, int)> ask,
                 std::function<void()> pump, bool toRecycle, bool wipe)
        : FPanel(panel), FAsk(std::move(ask)), FPump(std::move(pump)), FToRecycle(toRecycle), FWipe(wipe) {}

    /// Deletes one marked item, given by its full name.
    void Item(const std::string& path) {
        for (;;) {
            if (Aborted())
                return;
            Result<TFolderEntry> parent = OpenEntryFolder(FileSystem(), path);
            Result<TDirEntry> entry = parent ? parent->Folder->Describe(parent->Name) : parent.error();
            if (entry) {
                // A symlink to a folder is removed as a link.
                if (entry->IsFolder && !entry->IsLink)
                    TopFolder(*parent->Folder, parent->Name, path, *entry);
                else
                    File(*parent->Folder, parent->Name, path);
                return;
            }
            if (entry.error().Code == TErrorCode::ecNotFound)
                return;
            // The folder holding the item cannot be looked into: the item stays, and the user
            // hears of it.
            if (!AskRetry(LangStrings().STRErrDeleteFile, path)) {
                ++FFailed;
                Progress();
                return;
            }
        }
    }

    int FFoldersDeleted = 0;
    int FFilesDeleted = 0;
    /// Files removed without wiping because their data has other names.
    int FUnwiped = 0;
    /// Entries that stayed although they were to go (skips the user chose are not counted).
    int FFailed = 0;

private:
    bool Aborted() const { return FPanel.FAbort; }

    void Progress() {
        if (FPanel.OnAfterChange)
            FPanel.OnAfterChange(acProgress, FormatLangText(LangStrings().STR_MSG_DELETING,
                                                            {Num(FFoldersDeleted), Num(FFilesDeleted)}));
    }

    // The retry question of something that could not be deleted or read (text names it).
    // True to try again.
    bool AskRetry(const std::string& text, const std::string& path) {
        if (FSkipFailingFiles)
            return false;
        const int answer = FAsk(FormatLangText(text, {path}), KindQuestion, DeleteRetryQuestion.Buttons,
                                DeleteRetryQuestion.DefaultButton);
        if (answer == mrYes)
            return true;
        if (answer == mrNoToAll)
            FSkipFailingFiles = true;
        else if (answer == mrAbort)
            FPanel.FAbort = true;
        return false;
    }

    bool RemoveOneFile(TKFolder& folder, std::string_view name, const std::string& path) {
        // Only marked items go to the Trash one by one; a folder goes whole, so this is never a
        // file inside a walked tree.
        if (FToRecycle)
            return System().MoveToTrash(path) && !FileSystem().Exists(path);
        const TFileDeleted done = DeleteFileAt(folder, name, FWipe);
        if (done == TFileDeleted::fdGoneUnwiped)
            ++FUnwiped;
        return done != TFileDeleted::fdFailed;
    }

    void File(TKFolder& folder, std::string_view name, const std::string& path) {
        if (Aborted())
            return;
        for (;;) {
            if (RemoveOneFile(folder, name, path)) {
                ++FFilesDeleted;
                break;
            }
            if (!AskRetry(LangStrings().STRErrDeleteFile, path)) {
                ++FFailed;
                break;
            }
        }
        Progress();
    }

    // The read-only question; true to go on deleting the folder.
    bool ConfirmReadOnly(const std::string& path, const TDirEntry& entry) {
        if ((entry.Attr & 1) == 0)
            return true;
        const int answer = FAsk(FormatLangText(LangStrings().STRErrDeleteReadOnly, {path}), KindConfirm,
                                DeleteReadOnlyQuestion.Buttons, DeleteReadOnlyQuestion.DefaultButton);
        if (answer == mrAbort)
            FPanel.FAbort = true;
        return answer == mrYes;
    }

    static bool Empty(TKFolder& folder, std::string_view name) {
        Result<std::unique_ptr<TKFolder>> opened = folder.Open(name);
        if (!opened)
            return true; // the removal that follows reports it
        bool empty = true;
        (void)(*opened)->List([&](std::string_view, TEntryType) { return empty = false; });
        return empty;
    }

    void TopFolder(TKFolder& folder, const std::string& name, const std::string& path,
                   const TDirEntry& entry) {
        if (Aborted())
            return;
        // An empty folder goes at once (to the Trash, too, when that was asked for).
        if (!FToRecycle && folder.RemoveFolder(name)) {
            ++FFoldersDeleted;
            Progress();
            return;
        }
        if (!Empty(folder, name)) {
            if (FFolderAnswer == taNoToAll)
                return;
            if (FFolderAnswer == taNone) {
                const int answer =
                    FAsk(FormatLangText(LangStrings().STRConDeleteFolder, {LastPathPart(path)}), KindConfirm,
                         DeleteFolderQuestion.Buttons, DeleteFolderQuestion.DefaultButton);
                if (answer == mrAbort) {
                    FPanel.FAbort = true;
                    return;
                }
                if (answer == mrNoToAll)
                    FFolderAnswer = taNoToAll;
                else if (answer == mrYesToAll)
                    FFolderAnswer = taYesToAll;
                if (answer != mrYes && answer != mrYesToAll)
                    return;
            }
        }
        if (!ConfirmReadOnly(path, entry))
            return;
        if (FToRecycle) {
            // The whole folder goes to the Trash at once, so it can be restored as it was.
            for (;;) {
                if (System().MoveToTrash(path) && !FileSystem().Exists(path)) {
                    ++FFoldersDeleted;
                    break;
                }
                if (!AskRetry(LangStrings().STRErrDeleteFile, path)) {
                    ++FFailed;
                    break;
                }
            }
            Progress();
            return;
        }
        Tree(folder, name, path, entry);
    }

    // Removes an emptied folder; when it stays for no choice of the user (nor a failure already
    // reported inside it), asks whether to try the whole folder again.
    void Finish(TKFolder& parent, std::string_view name, const std::string& path, const TEmptying& emptying,
                bool listed, std::vector<TEmptying>& above) {
        if (parent.RemoveFolder(name)) {
            ++FFoldersDeleted;
            Progress();
            return;
        }
        if (emptying.MadeWritable)
            (void)parent.SetWritable(name, false);
        if (!Aborted() && !emptying.Skipped && FFailed == emptying.FailedBefore) {
            const std::string& text =
                listed ? LangStrings().STRErrDeleteFile : LangStrings().STRErrReadFolder;
            if (AskRetry(text, path)) {
                const Result<TDirEntry> again = parent.Describe(name);
                if (again && again->IsFolder && !again->IsLink) {
                    Tree(parent, std::string(name), path, *again);
                    return;
                }
            }
        }
        if (emptying.Skipped) {
            // What the user kept keeps every folder above it too, without further questions.
            if (!above.empty())
                above.back().Skipped = true;
        } else {
            ++FFailed;
        }
        Progress();
    }

    // Deletes a folder with everything below it; symlinks are removed, never followed.
    void Tree(TKFolder& parent, const std::string& name, const std::string& path, const TDirEntry& entry) {
        // Without the owner's write permission nothing inside a folder can be removed; the user
        // agreed to delete it, so it is made writable (and read-only again if it stays).
        TEmptying top;
        top.MadeWritable = (entry.Attr & 1) != 0 && parent.SetWritable(name, true);
        top.FailedBefore = FFailed;
        Result<std::unique_ptr<TKFolder>> opened = parent.Open(name);
        if (!opened) {
            if (top.MadeWritable)
                (void)parent.SetWritable(name, false);
            if (NoLongerAFolder(opened.error())) {
                File(parent, name, path); // swapped for a link or a file since it was looked at
                return;
            }
            std::vector<TEmptying> none;
            top.MadeWritable = false;
            Finish(parent, name, path, top, false, none);
            return;
        }

        // levels[0] is the top folder; one more for each folder the walk is inside.
        std::vector<TEmptying> levels{top};
        bool topListed = true;
        bool entering = false;     // OnEntry asked to enter a folder and the walk is opening it
        bool madeWritable = false; // ... after making it writable
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& sub) {
            if (Aborted())
                return TWalkStep::wsStop;
            TDirEntry described;
            if (sub.Type != TEntryType::etFolder) {
                File(folder, sub.Name, sub.Path());
            } else if (!DescribeListed(folder, sub.Name, sub.Type, described)) {
                // Gone since the listing: nothing to do.
            } else if (described.IsLink || !described.IsFolder) {
                File(folder, sub.Name, sub.Path()); // swapped since the listing
            } else if (ConfirmReadOnly(sub.Path(), described)) {
                entering = true;
                madeWritable = (described.Attr & 1) != 0 && folder.SetWritable(sub.Name, true);
                return TWalkStep::wsEnter;
            } else {
                levels.back().Skipped = true;
            }
            FPump();
            return Aborted() ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.OnEnter = [&](TKFolder&, TKFolder&, const TWalkEntry&) {
            TEmptying level;
            level.MadeWritable = madeWritable;
            level.FailedBefore = FFailed;
            levels.push_back(level);
            entering = false;
            return TWalkStep::wsEnter;
        };
        walk.OnError = [&](TKFolder* folder, const TWalkEntry& sub, const TError& error) {
            if (folder == nullptr) {
                if (error.Code == TErrorCode::ecChanged) {
                    FAsk(FormatLangText(LangStrings().STRErrFolderMoved, {sub.Path()}), KindQuestion, mbOK,
                         0);
                    ++FFailed;
                } else {
                    topListed = false;
                }
                return TWalkStep::wsNext;
            }
            if (!entering)
                return TWalkStep::wsNext; // listed in part: the folder's removal reports it
            entering = false;
            if (madeWritable)
                (void)folder->SetWritable(sub.Name, false);
            if (NoLongerAFolder(error)) {
                File(*folder, sub.Name, sub.Path());
            } else {
                TEmptying level;
                level.FailedBefore = FFailed;
                Finish(*folder, sub.Name, sub.Path(), level, false, levels);
            }
            FPump();
            return Aborted() ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.OnLeave = [&](TKFolder& folder, const TWalkEntry& sub, bool complete) {
            const TEmptying level = levels.back();
            levels.pop_back();
            Finish(folder, sub.Name, sub.Path(), level, complete, levels);
            FPump();
            return Aborted() ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        const bool walked = walk.Run(**opened, path);
        opened->reset();
        if (!walked && Aborted())
            return;
        std::vector<TEmptying> none;
        Finish(parent, name, path, levels.front(), topListed, none);
    }

    TKMYFILEPANEL& FPanel;
    std::function<int(const std::string&, int, int, int)> FAsk;
    std::function<void()> FPump;
    bool FToRecycle;
    bool FWipe;
    TToAll FFolderAnswer = taNone;
    bool FSkipFailingFiles = false;
};

// The archive manager deletes from the archive; the panel only names the marked entries as the
// archive stores them (a folder with a trailing "/", so its whole tree goes).
void DeleteArchiveItems(TKMYFILEPANEL& panel) {
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) {
        const TKFiles* item = list.GetFileItem(i);
        if (item == nullptr || !item->Marked || item->Kind == ikUpFolder)
            continue;
        names.push_back(panel.ArchiveStoredName(i));
    }
    if (!names.empty() && panel.OnArchiveDeleteItems)
        panel.OnArchiveDeleteItems(panel.FArchiveFileName, names);
}

} // namespace

void TKMYFILEPANEL::DeleteItems() {
    const TKPanelType type = PanelType();
    if (type != ptFolder && type != ptFindResult && type != ptArchive && type != ptFTP)
        return;
    // Without an archive manager to run the list, deleting in an archive asks nothing.
    if (type == ptArchive && !OnArchiveDeleteItems)
        return;
    TKITEMSSTRUC& list = *FItemsStruc;
    if (list.Count() == 0)
        return;
    bool del = false;
    bool toRecycle = false;
    bool eraseAllTracks = false;
    if (OnDeleteItems)
        OnDeleteItems(del, toRecycle, eraseAllTracks);
    if (!del)
        return;
    MarkCursorItemWhenNoneMarked(list);
    if (list.FMarkedCount == 0)
        return;

    const TLangStrings& lang = LangStrings();
    const std::uint32_t stateBefore = FState;
    FState |= psDeleting | psBusy | psQuiet;
    Pump();
    FireAfterRefresh(lang.STR_MSG_WORKING);
    FAbort = false;

    if (type == ptArchive) {
        DeleteArchiveItems(*this);
        FAbort = true;
    } else if (type == ptFTP) {
        DeleteFtpMarked();
    } else {
        TLocalDelete run(
            *this,
            [this](const std::string& text, int kind, int buttons, int defaultButton) {
                return Ask(text, kind, buttons, defaultButton);
            },
            [this] { Pump(); }, toRecycle, eraseAllTracks);
        for (int i = 0; i < list.Count() && !FAbort; ++i) {
            TKFiles* item = list.GetFileItem(i);
            if (item == nullptr || !item->Marked || item->Kind == ikUpFolder)
                continue;
            run.Item(ItemFullName(i));
            Pump();
            list.MarkItem(item, mmUnmark);
            DrawRow(*this, i);
        }
        FAbort = true;
        if (run.FUnwiped > 0 && OnInfoList)
            OnInfoList(FormatLangText(lang.nfo_WipeLinkedFiles, {Num(run.FUnwiped)}));
    }

    RecountMarked();
    FireAfterRefresh(GetPanelPath());
    FState = stateBefore;
    const std::string path = GetPanelPath();
    ReadPanel(true, true);
    if (FOtherPanel != nullptr && FOtherPanel != this && FOtherPanel->PanelType() == type &&
        FOtherPanel->GetPanelPath() == path)
        FOtherPanel->ReadPanel(true, true);
}

} // namespace ks
