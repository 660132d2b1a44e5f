#include "panel/KMYFILEPANEL.h"

#include <algorithm>

#include "controls/MessageBox.h"
#include "foundation/Language.h"
#include "panel/ItemDates.h"
#include "panel/Sorting.h"

namespace ks {

namespace {

std::int64_t FloorSeconds(std::int64_t ns) {
    return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
}

} // namespace

TKMYFILEPANEL::TKMYFILEPANEL(TPanelOptions& options, TKPanelView* view,
                             std::unique_ptr<TKFileWatchBackend> watchBackend,
                             std::function<void(std::function<void()>)> post)
    : Options(options), FView(view), FPost(post) {
    FLoading = true;
    // Cursor moves report the new item unless the panel is quiet; a cleared list always does.
    // Folders are held without a trailing "/" (only "/" keeps it).
    const std::string home = HasPlatform() ? System().HomeDir() : std::string("/");
    for (TKITEMSSTRUC* holder : {&FFolderItems, &FInfoItems, &FFindItems}) {
        holder->FPath = home.size() > 1 ? RemoveTrailingSeparator(home) : std::string("/");
        holder->OnCursorChange = [this](bool forced) {
            if (forced || !Quiet())
                FireAfterChange(acItem, GetItemInfo());
        };
        holder->OnCursorHome = [this] { CursorHome(); };
    }
    if (watchBackend) {
        FWatcher = std::make_unique<TKFileWatcher>(std::move(watchBackend), std::move(post));
        FWatcher->SetNotifyFilter(
            TNotifyFilter{TFileSysNotify::FILE_NAME, TFileSysNotify::DIR_NAME, TFileSysNotify::SIZE});
        FWatcher->OnFileSysChange = [this](const std::string&) { WatcherChanged(); };
    }
    FLoading = false;
}

TKMYFILEPANEL::~TKMYFILEPANEL() = default;

void TKMYFILEPANEL::SetPanelType(TKPanelType value) {
    if (value == FPanelType)
        return;
    if (FPanelType == ptFTP) {
        CloseFtpSession();
        if (OnFTPDisconnect)
            OnFTPDisconnect();
    }
    if ((FPanelType == ptFolder && value == ptDriveList) || (FPanelType == ptDriveList && value == ptFolder))
        FFolderItems.ClearItems(true);
    FPanelType = value;
    switch (value) {
    case ptDriveList:
    case ptFolder:
    case ptArchive:
    case ptFTP:
        FItemsStruc = &FFolderItems;
        break;
    case ptItemInfo:
        FItemsStruc = &FInfoItems;
        break;
    case ptFindResult:
        FItemsStruc = &FFindItems;
        break;
    case ptPlaylist:
        break;
    }
}

void TKMYFILEPANEL::AddInfoLine(const std::string& caption, const std::string& value, TKItemKind kind) {
    auto item = std::make_unique<TKFiles>();
    item->SetCaption(caption);
    item->SetInfo(value);
    item->Kind = kind;
    FItemsStruc->FItems.push_back(std::move(item));
}

TKFiles* TKMYFILEPANEL::AddItem(const std::string& caption, const std::string& name, TKItemKind kind,
                                const std::string& info, std::int64_t size, bool toPending) {
    if (name.empty())
        return nullptr;
    auto item = std::make_unique<TKFiles>();
    item->Name = name;
    item->SetCaption(caption);
    item->SetInfo(info);
    item->Kind = kind;
    item->Size = size;
    item->IsExecutable = IsExecutableName(caption);
    TKFiles* added = item.get();
    (toPending ? FPendingItems : FItemsStruc->FItems).push_back(std::move(item));
    return added;
}

TKFiles* TKMYFILEPANEL::AddSearchRecItem(TKITEMSSTRUC& holder, const TDirEntry& entry, bool sorted) {
    if (FPanelType != ptFolder && FPanelType != ptFindResult && FPanelType != ptFTP)
        return nullptr;
    if (entry.Name.empty() || entry.Name == ".")
        return nullptr;
    if (!Options.PanelShowHidden && (entry.Attr & 6) != 0 && entry.Name != "..")
        return nullptr;
    auto item = std::make_unique<TKFiles>();
    item->Name = entry.Name;
    item->MTimeNs = entry.MTimeNs;
    item->Time = entry.MTimeNs != 0 ? DosDateTimeFromUnix(FloorSeconds(entry.MTimeNs)) : 0;
    item->Attr = entry.Attr;
    item->Mode = entry.Mode;
    if (entry.Name == "..")
        item->Kind = ikUpFolder;
    else if (entry.IsFolder)
        item->Kind = ikFolder;
    else
        item->Kind = ikFile;
    // A folder's own size is that of its directory file; the panel shows it only once counted.
    item->Size = item->Kind == ikFile ? static_cast<std::int64_t>(entry.Size) : 0;
    // A local entry knows its mode: a regular file with an execute bit runs. Entries without a
    // mode (FTP listings without permissions) fall back to the extension.
    if (entry.Mode != 0)
        item->IsExecutable = IsFileMode(entry.Mode) && (entry.Mode & ModeAnyExecute) != 0;
    else
        item->IsExecutable = item->Kind == ikFile && IsExecutableName(entry.Name);
    item->IsPacked = item->Kind == ikFile && IsArchiveName(entry.Name);
    TKFiles* added = item.get();
    if (sorted) {
        const int at = SortedInsertIndex(holder, *item, Options);
        holder.FItems.insert(holder.FItems.begin() + at, std::move(item));
        holder.FCurrentItem = holder.GetFileItem(holder.FItemIndex);
    } else {
        holder.FItems.push_back(std::move(item));
    }
    return added;
}

void TKMYFILEPANEL::DeleteItem(int index) {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (index < 0 || index >= h.Count())
        return;
    h.FItems.erase(h.FItems.begin() + index);
    h.SetItemIndex(h.FItemIndex);
}

namespace {

// The cursor goes home and then down index times, so the top row follows as for key moves.
// The steps run quietly; one report follows when the panel was not quiet already.
void MoveCursorTo(TKMYFILEPANEL& panel, int index) {
    const bool wasQuiet = panel.Quiet();
    panel.FState |= psQuiet;
    panel.CursorHome();
    for (int i = 0; i < index; ++i)
        panel.CursorDown();
    TKITEMSSTRUC& h = *panel.FItemsStruc;
    // Without the cursor moves (a panel model under test without its key part) the cursor is
    // still put on the item.
    const int wanted = std::max(index, 0);
    if (h.FItemIndex != wanted)
        h.SetItemIndex(wanted);
    if (!wasQuiet)
        panel.FState &= ~static_cast<std::uint32_t>(psQuiet);
    h.SetItemIndex(h.FItemIndex);
}

} // namespace

int TKMYFILEPANEL::FindItem(const std::string& name, bool moveCursor) {
    const int index = FItemsStruc->FindIndex(name, FPanelType == ptArchive);
    if (moveCursor)
        MoveCursorTo(*this, index);
    return index;
}

int TKMYFILEPANEL::FindBestItem(const std::string& name, bool moveCursor) {
    const int index = FItemsStruc->FindBestIndex(name);
    if (moveCursor)
        MoveCursorTo(*this, index);
    return index;
}

std::string TKMYFILEPANEL::ItemFolder(int index) const {
    const TKFiles* item = FItemsStruc->GetFileItem(index);
    if (item == nullptr)
        return {};
    if (FPanelType == ptFolder)
        return FItemsStruc->FPath;
    if (FPanelType == ptFindResult)
        return item->Folder();
    return {};
}

std::string TKMYFILEPANEL::ItemFullName(int index) const {
    const TKFiles* item = FItemsStruc->GetFileItem(index);
    if (item == nullptr)
        return {};
    if (item->Kind == ikDrive)
        return item->Name;
    switch (FPanelType) {
    case ptFolder:
        return AddBackslash(FItemsStruc->FPath) + item->Name;
    case ptFindResult:
        return AddBackslash(item->Folder()) + item->Name;
    case ptArchive:
    case ptFTP:
        return item->Name;
    default:
        return {};
    }
}

void TKMYFILEPANEL::RequestUnmark(int index, std::string fullName, bool redraw) {
    bool first = false;
    {
        std::lock_guard lock(FRequestLock);
        first = FRequests.empty();
        FRequests.push_back({index, std::move(fullName), redraw});
    }
    // One posted call runs everything that came until it runs.
    if (first && FPost)
        FPost([this] { RunRequests(); });
}

void TKMYFILEPANEL::RunRequests() {
    std::vector<TUnmarkRequest> requests;
    {
        std::lock_guard lock(FRequestLock);
        requests.swap(FRequests);
    }
    bool changed = false;
    for (const TUnmarkRequest& request : requests) {
        TKFiles* item = FItemsStruc->GetFileItem(request.Index);
        if (item == nullptr || !item->Marked || ItemFullName(request.Index) != request.FullName)
            continue;
        FItemsStruc->MarkItem(item, mmUnmark);
        changed = true;
        if (request.Redraw && FView != nullptr && request.Index >= FItemsStruc->FTopIndex &&
            request.Index < FItemsStruc->FTopIndex + std::max(FVisibleRows, 1))
            FView->DrawItem(request.Index, -1);
    }
    if (changed)
        FireAfterChange(acList, GetItemInfo());
}

void TKMYFILEPANEL::RecountMarked() {
    FItemsStruc->RecountTotals();
    FireAfterChange(acList, GetItemInfo());
}

std::string TKMYFILEPANEL::GetItemInfo() const {
    const std::uint32_t shift = KeyboardState ? KeyboardState() : 0;
    const TKITEMSSTRUC& h = *FItemsStruc;
    const TLangStrings& texts = LangStrings();
    const std::string marked = FormatLangText(
        texts.strINFO_SELECTEDITEMS, {std::to_string(h.FMarkedCount), FormatSize(false, h.FMarkedSize)});
    switch (FPanelType) {
    case ptDriveList:
        return h.FMarkedCount > 0 ? marked : std::string();
    case ptItemInfo:
    case ptPlaylist:
        return {};
    default:
        break;
    }
    if (h.FMarkedCount > 0)
        return FPanelType == ptFTP ? std::string() : marked;
    const TKFiles* current = h.FCurrentItem;
    switch (FPanelType) {
    case ptFolder:
        if ((shift & ssAlt) != 0 && current != nullptr)
            return DateText(*current) + " _ " + AttrToString(current->Attr);
        return FormatLangText(texts.strINFO_DRIVEINFO,
                              {FormatSize(true, h.FDriveFree), FormatSize(true, h.FDriveSize)});
    case ptFindResult:
        return current != nullptr ? current->Folder() : std::string();
    case ptArchive:
        return current != nullptr ? DateText(*current) + " _ " + AttrToString(current->Attr) : std::string();
    case ptFTP:
        if (current == nullptr || current->Kind == ikUpFolder)
            return {};
        return DateText(*current) + " _ " + (current->Extra ? current->Extra->AttrText : std::string());
    default:
        return {};
    }
}

std::string TKMYFILEPANEL::GetPanelPath() const {
    switch (FPanelType) {
    case ptFolder:
        return FItemsStruc->FPath;
    case ptFindResult:
        return LangStrings().STR_MSG_FINDRES;
    case ptFTP:
        return "FTP: " + FFtpCurrentDir;
    case ptArchive:
        return FArchiveKindName + ": " + FArchiveFolder;
    default:
        return {};
    }
}

std::string TKMYFILEPANEL::SizeText(const TKFiles& item) const {
    if (item.Kind == ikUpFolder)
        return LangStrings().STR_PANEL_UPDIR;
    if (item.Kind == ikFolder)
        return LangStrings().STR_PANEL_FOLDER;
    return FormatSize(Options.PanelSizeInUnits, item.Size);
}

std::string TKMYFILEPANEL::InfoText(const TKFiles& item) const {
    return item.HasInfo() ? item.Extra->Info : SizeText(item);
}

std::string TKMYFILEPANEL::DateText(const TKFiles& item) const {
    // Drives and entries built from texts (special entries, item information) have no date.
    // Archive entries always have a date column: "n/a" when the archive stores no time.
    if (item.Kind == ikDrive ||
        (FPanelType != ptArchive && item.HasInfo() && item.Mode == 0 && item.MTimeNs == 0 && item.Time == 0))
        return {};
    std::string text = ItemDateText(item.MTimeNs, item.Time);
    return text.empty() ? LangStrings().STR_PANEL_UNKNOWNDATE : text;
}

void TKMYFILEPANEL::SortItems() {
    ::ks::SortItems(*FItemsStruc, Options);
}

void TKMYFILEPANEL::MarkItem(TKFiles* item, int mode) {
    FItemsStruc->MarkItem(item, mode);
}

void TKMYFILEPANEL::MarkItems(const std::string& masks, int mode, int index, bool repaint, bool moveDown) {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (index == MarkCursorItem)
        index = h.FItemIndex;
    if (index != MarkMatchingItems)
        MarkItem(h.GetFileItem(index), mode);
    else
        MarkMatching(h, masks, mode, FPanelType == ptDriveList);
    if (repaint) {
        if (index == h.FItemIndex) {
            if (moveDown)
                CursorDown();
            RepaintCursor();
        } else {
            RepaintAll();
        }
    }
    FireAfterChange(acList, GetItemInfo());
}

void TKMYFILEPANEL::ChangeSortOption(int sortMode, bool toggleFolderFirst, bool toggleExecutableFirst) {
    if (sortMode >= 1 && sortMode <= 3)
        Options.PanelSortMode = sortMode;
    if (toggleFolderFirst)
        Options.PanelFolderFirst = !Options.PanelFolderFirst;
    if (toggleExecutableFirst)
        Options.PanelExecutableFirst = !Options.PanelExecutableFirst;
    SortItems();
    if (FPanelType == ptFolder)
        ReadPanel(false, true);
    if (FOtherPanel != nullptr && FOtherPanel->PanelType() == ptFolder)
        FOtherPanel->ReadPanel(false, true);
    if (OnShowSortedStatus)
        OnShowSortedStatus();
}

void TKMYFILEPANEL::RemoveFromList() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.FMarkedCount > 0) {
        std::erase_if(h.FItems, [](const std::unique_ptr<TKFiles>& item) { return item->Marked; });
    } else if (h.FCurrentItem != nullptr) {
        h.FItems.erase(h.FItems.begin() + h.FItemIndex);
    }
    h.SetItemIndex(h.FItemIndex);
    RecountMarked();
    RepaintAll();
}

void TKMYFILEPANEL::FireAfterChange(TKAfterChange what, const std::string& text) {
    if (OnAfterChange)
        OnAfterChange(what, text);
}

void TKMYFILEPANEL::FireAfterRefresh(const std::string& text) {
    if (OnAfterRefresh)
        OnAfterRefresh(text);
}

void TKMYFILEPANEL::RepaintCursor() {
    if (FView != nullptr)
        FView->RepaintCursor();
}

void TKMYFILEPANEL::RepaintAll() {
    if (FView != nullptr)
        FView->RepaintAll();
}

void TKMYFILEPANEL::Pump() {
    if (ProcessMessages)
        ProcessMessages();
}

int TKMYFILEPANEL::Ask(const std::string& text, int kind, int buttons, int defaultButton) {
    if (AskUser)
        return AskUser(text, kind, buttons, defaultButton);
    const int button = MessageButtonOfDefault(defaultButton);
    return button >= 0 ? MessageButtons[static_cast<std::size_t>(button)].ModalResult : mrCancel;
}

} // namespace ks
