#include "panel/KMYFILEPANEL.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "controls/MessageBox.h"
#include "foundation/Language.h"
#include "panel/ItemDates.h"
#include "panel/Sorting.h"

namespace ks {

namespace {

constexpr int WatchIntervalMs = 1000;
constexpr int MaxPathComponents = 50;

// Lexical normal form of a full path: "." and empty parts dropped, ".." takes the part before
// it away (never above "/"), no trailing "/" except for "/" itself. Never asks the file system,
// so a symbolic link followed into a folder is left the way it came.
std::string NormalPath(std::string_view path) {
    std::vector<std::string_view> parts;
    ForEachField(path, '/', [&](std::string_view part) {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        return true;
    });
    if (parts.empty())
        return "/";
    std::string out;
    for (const std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out;
}

// Folders of these drive types report changes reliably (removable, fixed, RAM disk); network
// and CD-ROM folders are neither watched nor re-read keeping state.
bool IsWatchedDriveType(int type) {
    return type == dtRemovable || type == dtFixed || type == dtRamDisk;
}

int DriveTypeOf(const std::string& path) {
    const std::optional<TVolumeInfo> info = System().VolumeInfo(System().DriveRoot(path));
    return info ? info->DriveType : dtUnknown;
}

const std::string& DriveTypeText(int type) {
    const TLangStrings& t = LangStrings();
    switch (type) {
    case dtRemovable:
        return t.STR_REMOVABLE;
    case dtFixed:
        return t.STR_FIXED;
    case dtNetwork:
        return t.STR_REMOTE;
    case dtCdRom:
        return t.STR_CDROM;
    case dtRamDisk:
        return t.STR_RAMDISK;
    default:
        return t.STR_UNKNOWN;
    }
}

// The nearest folder of path that can be opened: its parts are entered one after another from
// "/" (at most 50), and the last folder reached is taken.
std::string NearestExistingFolder(const std::string& path) {
    std::string reached = "/";
    std::string_view rest(path);
    for (int i = 0; i < MaxPathComponents && !rest.empty(); ++i) {
        while (!rest.empty() && rest.front() == '/')
            rest.remove_prefix(1);
        if (rest.empty())
            break;
        const std::size_t end = std::min(rest.find('/'), rest.size());
        const std::string next = AddBackslash(reached) + std::string(rest.substr(0, end));
        if (!FileSystem().CanOpenFolder(next))
            break;
        reached = next;
        rest.remove_prefix(end);
    }
    return reached;
}

// The up-folder entry the panel adds itself (listings leave out "." and ".."), dated like the
// parent folder.
TDirEntry UpFolderEntry(const std::string& folder) {
    TDirEntry entry;
    entry.Name = "..";
    entry.IsFolder = true;
    entry.Attr = 16;
    entry.Mode = ModeFolder | 0755;
    if (Result<TDirEntry> parent = FileSystem().Stat(NormalPath(folder + "/.."))) {
        entry.MTimeNs = parent->MTimeNs;
        entry.Mode = parent->Mode;
    }
    return entry;
}

std::uint32_t DosTimeOf(std::int64_t mtimeNs) {
    if (mtimeNs == 0)
        return 0;
    const std::int64_t seconds = mtimeNs >= 0 ? mtimeNs / 1000000000 : -((-mtimeNs + 999999999) / 1000000000);
    return DosDateTimeFromUnix(seconds);
}

std::string PathOfRoot(const std::string& root) {
    return root.size() > 1 ? RemoveTrailingSeparator(root) : std::string("/");
}

} // namespace

void TKMYFILEPANEL::ReadPanel(bool keepState, bool repaint) {
    if (!FEnabled || FLoading)
        return;
    if (FPanelType == ptFTP) {
        // The listing comes over the network, with painting going on while it waits.
        ReadFtpPanel(keepState, repaint);
        return;
    }
    FState |= psReading | psQuiet;
    if (FWatcher)
        FWatcher->SetActive(false);
    FWatching = false;
    if (FView != nullptr)
        FView->LockPainting(true);

    switch (FPanelType) {
    case ptFolder:
        ReadFolder(keepState);
        break;
    case ptDriveList:
        ReadDriveList();
        break;
    case ptFTP:
        break;
    case ptItemInfo:
        BuildItemInfo();
        break;
    case ptFindResult:
        PruneFindResults();
        break;
    case ptArchive:
    case ptPlaylist:
        break;
    }

    RecountMarked();
    FItemsStruc->SetItemIndex(FItemsStruc->FItemIndex);
    if (FView != nullptr)
        FView->LockPainting(false);
    if (repaint)
        RepaintAll();
    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acList, GetItemInfo());
    FState &= ~static_cast<std::uint32_t>(psQuiet | psReading);
}

void TKMYFILEPANEL::ReadFolder(bool keepState) {
    if (keepState && ReadFolderKeepingState())
        return;
    TKITEMSSTRUC& h = FFolderItems;
    const std::string home = HasPlatform() ? NormalPath(System().HomeDir()) : std::string("/");
    for (;;) {
        h.ClearItems(false);
        h.FDriveFree = 0;
        h.FDriveSize = 0;
        if (h.FPath.empty()) {
            ReadDriveList();
            return;
        }
        h.FPath = NormalPath(h.FPath);
        if (FileSystem().CanOpenFolder(System().DriveRoot(h.FPath)))
            break;
        if (!Options.PanelStartupDone) {
            // Before start-up has finished a missing mount is replaced by the home folder
            // silently; the home folder itself is read whatever it gives.
            if (h.FPath == home)
                break;
            h.FPath = home;
            continue;
        }
        const int answer =
            Ask(LangStrings().STR_MSG_DRIVE_DOESNOT_EXISTS, miExclamation, mbRetry | mbCancel, 3);
        if (answer != mrRetry) {
            ReadDriveList();
            return;
        }
        break;
    }
    if (!FileSystem().CanOpenFolder(h.FPath))
        h.FPath = NearestExistingFolder(h.FPath);

    const int driveType = DriveTypeOf(h.FPath);
    if (h.FPath != "/")
        AddSearchRecItem(h, UpFolderEntry(h.FPath), false);
    // A failing listing leaves what was read so far.
    (void)FileSystem().ListFolder(h.FPath, [&](const TDirEntry& entry) {
        AddSearchRecItem(h, entry, false);
        return true;
    });
    ::ks::SortItems(h, Options);
    h.FDriveFree = System().DiskFree(h.FPath);
    h.FDriveSize = System().DiskSize(h.FPath);
    if (FWatcher && IsWatchedDriveType(driveType)) {
        FWatcher->SetMonitoredDirectory(h.FPath);
        FWatcher->SetActive(true);
        FWatching = true;
    }
}

bool TKMYFILEPANEL::ReadFolderKeepingState() {
    TKITEMSSTRUC& h = FFolderItems;
    if (h.FItems.empty() || h.FPath.empty() || !IsWatchedDriveType(DriveTypeOf(h.FPath)) ||
        !FileSystem().CanOpenFolder(h.FPath))
        return false;

    // Old items by name, so each listed entry is found at once: a folder of 100,000 entries
    // re-reads in about the time of a full read instead of a scan per entry.
    std::unordered_map<std::string_view, TKFiles*> byName;
    byName.reserve(h.FItems.size());
    for (const auto& item : h.FItems) {
        item->Seen = item->Kind == ikUpFolder;
        byName.emplace(item->Name, item.get());
    }
    TKITEMSSTRUC added;
    // A failing listing keeps what was read; entries not reached count as gone.
    (void)FileSystem().ListFolder(h.FPath, [&](const TDirEntry& entry) {
        const auto found = byName.find(entry.Name);
        if (found == byName.end()) {
            if (TKFiles* item = AddSearchRecItem(added, entry, false))
                item->Seen = true;
            return true;
        }
        TKFiles& item = *found->second;
        if (item.Kind == ikFile) {
            // A rewritten file shows its new size and date.
            item.Size = static_cast<std::int64_t>(entry.Size);
            item.MTimeNs = entry.MTimeNs;
            item.Time = DosTimeOf(entry.MTimeNs);
        }
        item.Attr = entry.Attr;
        item.Mode = entry.Mode;
        item.Seen = true;
        return true;
    });

    // Entries gone from the folder leave the list in one pass.
    std::erase_if(h.FItems, [](const std::unique_ptr<TKFiles>& item) { return !item->Seen; });

    // New entries go before the first old item whose key is greater (equal keys after), as if
    // inserted one by one; placed in one merge so many new entries cost no more than a sort.
    if (!added.FItems.empty()) {
        ::ks::SortItems(added, Options);
        std::vector<int> at;
        at.reserve(added.FItems.size());
        for (const auto& item : added.FItems)
            at.push_back(SortedInsertIndex(h, *item, Options));
        std::vector<std::unique_ptr<TKFiles>> merged;
        merged.reserve(h.FItems.size() + added.FItems.size());
        std::size_t next = 0;
        for (std::size_t i = 0; i <= h.FItems.size(); ++i) {
            while (next < added.FItems.size() && static_cast<std::size_t>(at[next]) <= i)
                merged.push_back(std::move(added.FItems[next++]));
            if (i < h.FItems.size())
                merged.push_back(std::move(h.FItems[i]));
        }
        h.FItems = std::move(merged);
    }
    h.FCurrentItem = h.GetFileItem(h.FItemIndex);
    h.FDriveFree = System().DiskFree(h.FPath);
    h.FDriveSize = System().DiskSize(h.FPath);
    if (FWatcher) {
        FWatcher->SetMonitoredDirectory(h.FPath);
        FWatcher->SetActive(true);
        FWatching = true;
    }
    return true;
}

void TKMYFILEPANEL::ReadDriveList() {
    SetPanelType(ptDriveList);
    TKITEMSSTRUC& h = FFolderItems;
    h.ClearItems(true);
    for (const TDriveEntry& drive : System().ListDrives()) {
        if (drive.DriveType == dtLeftOut)
            continue;
        auto item = std::make_unique<TKFiles>();
        item->Name = drive.Root;
        item->Attr = static_cast<std::uint32_t>(drive.DriveType);
        item->Kind = ikDrive;
        std::string caption = drive.Root;
        if (drive.DriveType == dtFixed && !drive.Label.empty())
            caption += "  [" + drive.Label + "]";
        item->SetCaption(std::move(caption));
        item->SetInfo(DriveTypeText(drive.DriveType));
        h.FItems.push_back(std::move(item));
    }
    const TLangStrings& t = LangStrings();
    auto special = [&](const std::string& caption, const std::string& folder, const char* info) {
        if (!folder.empty())
            AddItem(caption, NormalPath(folder), ikFolder, info, 0, false);
    };
    // The right column holds fixed words, not language texts.
    special(t.STR_PANEL_DOCUMENTS, System().ShellFolder("Personal"), "Documents");
    special(t.STR_PANEL_DESKTOP, System().ShellFolder("Desktop"), "Desktop");
    special(t.STR_PANEL_STARTMENU, System().ShellFolder("Programs"), "Applications");
    special(t.STR_PANEL_PROGRAMFILES, System().ProgramFilesDir(), "Add-on programs");
    special(t.STR_PANEL_STARTUP, System().ShellFolder("Startup"), "Autostart");
    AddItem(t.STR_PANEL_TYPE, "<TYPE>", ikFolder, "", 0, false);
    AddItem(t.STR_PANEL_BROWSE, "<BROWSE>", ikFolder, "", 0, false);
    AddItem(t.STR_PANEL_BROWSENET, "<BROWSENET>", ikFolder, "", 0, false);
    RecountMarked();
    if (Options.PanelDriveSizeAtOnce) {
        // The count runs as F3 would, under F3's rule and with its callback; while reading it
        // unmarks the drives again and sends no result. Its own state bits must not end the
        // reading ones.
        const std::uint32_t readingBits = FState & (psReading | psQuiet);
        ViewOrCountSizes();
        FState |= readingBits;
    }
    if (!h.FPath.empty())
        FindItem(System().DriveRoot(h.FPath), true);
}

void TKMYFILEPANEL::PruneFindResults() {
    TKITEMSSTRUC& h = FFindItems;
    std::erase_if(h.FItems, [](const std::unique_ptr<TKFiles>& item) {
        const std::string full = AddBackslash(item->Folder()) + item->Name;
        switch (item->Kind) {
        case ikUpFolder:
            return false;
        case ikFolder:
            return !FileSystem().CanOpenFolder(full);
        case ikFile:
            return !FileSystem().Exists(full);
        default:
            return true;
        }
    });
    h.SetItemIndex(h.FItemIndex);
}

void TKMYFILEPANEL::ExecuteItem(bool alternate) {
    if (OnInfoList)
        OnInfoList("");
    FLastTop = -1;
    FLastCursor = -1;
    TKITEMSSTRUC& h = *FItemsStruc;
    const TKFiles* item = h.FCurrentItem;
    if (item == nullptr)
        return;
    if (FPanelType == ptFTP) {
        ExecuteFtpItem();
        return;
    }
    const bool listing = FPanelType == ptFolder || FPanelType == ptFindResult;
    if (listing && item->IsPacked && alternate != Options.PanelArchiveAsFolder) {
        OpenArchive(ItemFullName(h.FItemIndex), {});
        return;
    }
    if (FPanelType == ptArchive) {
        if (item->Kind == ikFolder) {
            FArchiveFolder = item->Name + "/";
            ShowArchiveFolder(FArchiveFolder);
        } else if (item->Kind == ikUpFolder && FArchiveFolder.empty()) {
            CloseArchive();
        } else if (item->Kind == ikUpFolder) {
            // "docs/img/" becomes "docs/", the cursor on "img".
            const std::string inner = FArchiveFolder.substr(0, FArchiveFolder.size() - 1);
            const std::size_t slash = inner.rfind('/');
            const std::string left = slash == std::string::npos ? inner : inner.substr(slash + 1);
            FArchiveFolder = slash == std::string::npos ? std::string() : inner.substr(0, slash + 1);
            ShowArchiveFolder(FArchiveFolder);
            FindItem(left, true);
            RepaintAll();
        }
        return; // a file inside an archive is not run
    }

    // The item may be freed by the type change below: take what is needed first.
    const std::string name = item->Name;
    const std::string fullName = ItemFullName(h.FItemIndex);
    const TKItemKind kind = item->Kind;
    const std::uint32_t attr = item->Attr;

    if (FPanelType == ptFindResult && (kind == ikFolder || (kind == ikFile && alternate))) {
        const std::string folder = kind == ikFolder ? fullName : item->Folder();
        const std::string cursorName = kind == ikFolder ? std::string("..") : name;
        SetPanelType(ptFolder);
        FFolderItems.FPath = NormalPath(folder);
        ReadPanel(false, false);
        FindItem(cursorName, true);
        RepaintAll();
        return;
    }

    switch (kind) {
    case ikUpFolder:
        if (FPanelType == ptFolder) {
            // Going up is lexical: the panel keeps its own path and never changes the process's
            // current directory.
            const std::string left = LastPathPart(h.FPath);
            h.FPath = NormalPath(h.FPath + "/..");
            ReadPanel(false, false);
            FindItem(left, true);
            RepaintAll();
        } else if (FPanelType == ptFindResult) {
            SetPanelType(ptFolder);
            ReadPanel(true, true);
        }
        break;
    case ikFolder: {
        if (FPanelType != ptFolder && FPanelType != ptDriveList)
            break; // item-information headings are not folders to enter
        const std::string upper = UpperCase(name);
        if (upper == "<BROWSE>") {
            if (OnExecute_Browse)
                OnExecute_Browse();
            break;
        }
        if (upper == "<BROWSENET>") {
            if (OnExecute_BrowseNET)
                OnExecute_BrowseNET();
            break;
        }
        if (upper == "<TYPE>") {
            if (OnExecute_Type)
                OnExecute_Type();
            break;
        }
        CursorHome();
        std::string target;
        if (!name.empty() && name.front() == '/') {
            target = NormalPath(name);
            SetPanelType(ptFolder);
        } else {
            target = NormalPath(AddBackslash(h.FPath) + name);
        }
        FFolderItems.FPath = target;
        ReadPanel(false, true);
        CursorHome();
        break;
    }
    case ikFile:
        if (FPanelType == ptFolder || FPanelType == ptFindResult) {
            const std::string folder = FPanelType == ptFolder ? h.FPath : ItemFolder(h.FItemIndex);
            const Result<void> started = System().RunProgram(fullName, "", folder);
            if (!started)
                Ask(started.error().Detail.empty() ? fullName : started.error().Detail, miError, mbOK, 2);
        }
        break;
    case ikDrive: {
        std::string path = PathOfRoot(name);
        // A drive already shown in the other panel opens on that panel's folder.
        if (FOtherPanel != nullptr) {
            const std::string& other = FOtherPanel->FFolderItems.FPath;
            if (!other.empty() && System().DriveRoot(other) == name)
                path = other;
        }
        SetPanelType(ptFolder);
        FFolderItems.FPath = path;
        if (attr == dtCdRom)
            (void)System().CloseCdTray();
        ReadPanel(false, true);
        break;
    }
    default:
        break;
    }
}

void TKMYFILEPANEL::GoToRoot() {
    if (FPanelType != ptFolder)
        return;
    FFolderItems.FPath = PathOfRoot(System().DriveRoot(FFolderItems.FPath));
    ReadPanel(false, true);
    CursorHome();
}

void TKMYFILEPANEL::SwitchDrive(bool forward) {
    const std::string root = System().DriveRoot(FFolderItems.FPath);
    if (root.empty())
        return;
    std::vector<std::string> roots;
    for (const TDriveEntry& drive : System().ListDrives()) {
        if (drive.DriveType != dtLeftOut)
            roots.push_back(drive.Root);
    }
    const auto found = std::find(roots.begin(), roots.end(), root);
    if (found == roots.end())
        return;
    const std::size_t at = static_cast<std::size_t>(found - roots.begin());
    const std::size_t n = roots.size();
    const std::string& next = roots[forward ? (at + 1) % n : (at + n - 1) % n];
    SetPanelType(ptFolder);
    FFolderItems.FPath = PathOfRoot(next);
    CursorHome();
    ReadPanel(false, true);
}

// The panel never makes its folder the process's current directory: started programs get their
// working folder passed, and walks use full paths.
void TKMYFILEPANEL::GotFocus() {
    FActive = true;
    if (FOtherPanel != nullptr)
        FOtherPanel->FActive = false;
    // With the trail on, the trail timer repaints both cursors as their weights change.
    if (!Options.PanelAlphaCursorTrail) {
        RepaintCursor();
        if (FOtherPanel != nullptr)
            FOtherPanel->RepaintCursor();
    }
}

void TKMYFILEPANEL::WatcherChanged() {
    if (!FWatching || FItemsStruc != &FFolderItems || FView == nullptr)
        return;
    // Each report restarts the timer: a burst of changes gives one re-read a second after the
    // last one.
    FView->StopTimer(ptmWatch);
    FView->StartTimer(ptmWatch, WatchIntervalMs);
}

void TKMYFILEPANEL::TimerTick(TKPanelTimer timer) {
    if (timer == ptmAutoScroll) {
        AutoScrollTick();
        return;
    }
    if (FPanelType == ptFTP) {
        // An FTP panel has no folder watch; its timer looks after the connection instead.
        CheckFtpAlive();
        return;
    }
    if (FView != nullptr)
        FView->StopTimer(ptmWatch);
    if ((FState & psReading) == 0 && FPanelType == ptFolder)
        ReadPanel(true, true);
}

} // namespace ks
