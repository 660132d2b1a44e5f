// Browsing an archive as a folder: the directory is read once into the pending list, folders the
// archive implies are made up, and moving between its folders only filters that list again.

#include <algorithm>

#include "archive/ArchiveKinds.h"
#include "foundation/DELTA9.h"
#include "foundation/Language.h"
#include "panel/ItemDates.h"
#include "panel/KMYFILEPANEL.h"
#include "panel/Sorting.h"

namespace ks {

namespace {

constexpr std::uint32_t FolderAttr = 0x10;
constexpr std::uint32_t psShowingArchiveFolder = 256;
// The progress text is raised once per this many entries.
constexpr int ProgressEvery = 30;

// The kind by the extension tests, first match wins; the content is not looked at here, each
// reader checks its own signature.
TArchiveKind KindOf(const std::string& fileName) {
    if (IsAceName(fileName))
        return akACE;
    if (IsArjName(fileName))
        return akARJ;
    if (IsCabName(fileName))
        return akCAB;
    if (IsLzhName(fileName))
        return akLZH;
    if (IsRarName(fileName))
        return akRAR;
    if (IsZipName(fileName))
        return akZIP;
    if (IsKplName(fileName))
        return akKPL;
    if (IsTarName(fileName))
        return akTAR;
    if (Is7zName(fileName))
        return ak7Z;
    if (IsIsoName(fileName))
        return akISO;
    if (IsDebName(fileName))
        return akDEB;
    return akUnknown;
}

// The last part of a "/" path and what comes before it (with its "/").
std::string_view LastPart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameFolderIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// The reader's view of the panel: every entry becomes a pending item after the folders above
// it; pending messages run after each, and Esc stops the read.
class TPanelArchiveSink : public TKArchiveSink {
public:
    explicit TPanelArchiveSink(TKMYFILEPANEL& panel) : FPanel(panel) {}

    bool AddEntry(const TArchiveEntry& entry) override {
        if (!entry.Name.empty()) {
            FPanel.AddArchiveFolders(entry.Name);
            if (const TArchivePending* added = FPanel.AddArchiveItem(entry))
                FPanel.ReportArchiveProgress(*added);
        }
        if (FPanel.ProcessMessages)
            FPanel.ProcessMessages();
        return !FPanel.FAbort;
    }

private:
    TKMYFILEPANEL& FPanel;
};

} // namespace

void TKMYFILEPANEL::OpenArchive(const std::string& fullName, const std::string& folder) {
    FState |= psOpeningArchive | psBusy | psQuiet;
    FAbort = false;
    FireAfterRefresh("WORKING... ");
    if (ProcessMessages)
        ProcessMessages();

    FArchiveFileName = fullName;
    FArchiveFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    FArchiveFolderCount = 0;
    FArchiveFileCount = 0;
    FArchiveError.clear();
    if (FPanelType != ptArchive)
        FPanelTypeBeforeArchive = FPanelType;
    SetPanelType(ptArchive);
    // The folder holding the archive is not on show: its changes re-read nothing meanwhile.
    if (FWatcher)
        FWatcher->SetActive(false);
    FWatching = false;
    FItemsStruc->ClearItems(true);
    FArchiveEntries.clear();
    FArchiveFolders.clear();

    const TArchiveKind kind = KindOf(fullName);
    FArchiveKind = kind;
    // The kinds a Linux desktop adds have their names in the language pack; the design's kinds
    // keep their fixed names unless a pack names them too.
    FArchiveKindName = ArchiveKindName(kind);
    if (std::string text; CurrentLanguage().GetLangText(FArchiveKindName, text) && !text.empty())
        FArchiveKindName = text;
    if (std::unique_ptr<TKArchiveReader> reader = MakeArchiveReader(kind);
        reader != nullptr && HasPlatform()) {
        TPanelArchiveSink sink(*this);
        const Result<void> read = reader->ReadDirectory(FileSystem(), fullName, sink);
        if (!read) {
            FArchiveError = read.error().Detail.empty() ? std::string("error") : read.error().Detail;
            // Esc is the user's own doing; anything else is named, keeping what was read.
            if (read.error().Code != TErrorCode::ecCancelled)
                Ask(FormatLangText(LangStrings().arch_EOPEN, {fullName}), 1, 4, 2);
        }
    }
    FArchiveEntries.shrink_to_fit();
    FState &= ~static_cast<std::uint32_t>(psBusy | psQuiet);
    ShowArchiveFolder(FArchiveFolder);
    FState &= ~static_cast<std::uint32_t>(psOpeningArchive);
}

void TKMYFILEPANEL::ShowArchiveFolder(const std::string& folder) {
    FState |= psShowingArchiveFolder | psBusy | psQuiet;
    TKITEMSSTRUC& h = *FItemsStruc;
    h.ClearItems(true);
    // The up-folder names the real folder that holds the archive file.
    const std::size_t slash = FArchiveFileName.rfind('/');
    const std::string holder =
        slash == std::string::npos ? std::string() : FArchiveFileName.substr(0, slash + 1);
    AddItem("..", holder.empty() ? h.FPath : holder, ikUpFolder, LangStrings().STR_PANEL_UPDIR, 0, false);
    const std::string_view wanted =
        std::string_view(folder).substr(0, folder.empty() ? 0 : folder.size() - 1);
    for (const TArchivePending& pending : FArchiveEntries) {
        if (SameFolderIgnoringCase(std::string_view(pending.Name).substr(0, pending.FolderLength), wanted))
            h.FItems.push_back(MakeArchiveItem(pending));
    }
    ::ks::SortItems(h, Options);
    h.SetItemIndex(0);
    RecountMarked();
    FState &= ~static_cast<std::uint32_t>(psShowingArchiveFolder | psBusy | psQuiet);
    RepaintAll();
    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acList, GetItemInfo());
}

std::string TKMYFILEPANEL::ArchiveStoredName(int index) const {
    const TKFiles* item = FItemsStruc->GetFileItem(index);
    if (item == nullptr)
        return {};
    std::string name =
        item->Extra && !item->Extra->StoredName.empty() ? item->Extra->StoredName : ItemFullName(index);
    if (item->Kind == ikFolder) {
        while (!name.empty() && (name.back() == '/' || name.back() == '\\'))
            name.pop_back();
        name += '/';
    }
    return name;
}

void TKMYFILEPANEL::CloseArchive() {
    const std::string archive = std::string(LastPart(FArchiveFileName));
    SetPanelType(FPanelTypeBeforeArchive);
    FArchiveFolder.clear();
    ReadPanel(false, false);
    FindItem(archive, true);
    RepaintAll();
}

void TKMYFILEPANEL::AddArchiveFolders(const std::string& name) {
    // The ancestors from the deepest up; each that is missing becomes a made-up folder. The
    // index by name keeps this linear in the number of entries.
    std::string_view rest = name;
    for (;;) {
        const std::size_t slash = rest.rfind('/');
        if (slash == std::string_view::npos || slash == 0)
            return;
        rest = rest.substr(0, slash);
        if (FArchiveFolders.contains(rest))
            return; // its own ancestors were handled when it was added
        TArchiveEntry folder;
        folder.Name = std::string(rest);
        folder.Attr = FolderAttr;
        folder.PackedSize = 0;
        folder.HostOS = 99;
        folder.PackerVersion = 0;
        folder.PackMethod = 0;
        AddArchiveItem(folder);
        FArchiveFolders[folder.Name].MadeUp = true;
    }
}

const TArchivePending* TKMYFILEPANEL::AddArchiveItem(const TArchiveEntry& entry) {
    if (entry.Name.empty())
        return nullptr;
    const bool folder = (entry.Attr & FolderAttr) != 0;
    TArchivePending* pending = nullptr;
    if (folder) {
        // A folder stored after entries inside it takes the place of the folder made up for it.
        if (auto found = FArchiveFolders.find(entry.Name);
            found != FArchiveFolders.end() && found->second.MadeUp) {
            pending = &FArchiveEntries[found->second.Index];
            found->second.MadeUp = false;
        }
    }
    if (pending == nullptr) {
        pending = &FArchiveEntries.emplace_back();
        if (folder)
            FArchiveFolders[entry.Name] = {FArchiveEntries.size() - 1, false};
    }
    pending->Name = entry.Name;
    pending->StoredName = entry.StoredName != entry.Name ? entry.StoredName : std::string();
    pending->Size = static_cast<std::int64_t>(entry.Size);
    pending->PackedSize =
        entry.PackedSize == UnknownPackedSize ? -1 : static_cast<std::int64_t>(entry.PackedSize);
    pending->MTimeNs = entry.ModTime * 1'000'000'000;
    pending->Time = entry.Time != 0      ? entry.Time
                    : entry.ModTime != 0 ? DosDateTimeFromUnix(entry.ModTime)
                                         : 0;
    pending->Attr = entry.Attr;
    pending->HeaderFlags = entry.HeaderFlags;
    pending->CheckValue = entry.CheckValue;
    pending->HostOS = entry.HostOS;
    pending->PackerVersion = entry.PackerVersion;
    pending->PackMethod = entry.PackMethod;
    const std::size_t slash = entry.Name.rfind('/');
    pending->FolderLength = slash == std::string::npos ? 0 : static_cast<std::uint32_t>(slash);
    pending->IsFolder = folder;
    return pending;
}

std::unique_ptr<TKFiles> TKMYFILEPANEL::MakeArchiveItem(const TArchivePending& entry) const {
    auto item = std::make_unique<TKFiles>();
    item->Name = entry.Name;
    const std::string caption(LastPart(entry.Name));
    item->SetCaption(caption);
    item->Kind = entry.IsFolder ? ikFolder : ikFile;
    item->Size = entry.Size;
    item->SetInfo(entry.IsFolder ? LangStrings().STR_PANEL_FOLDER
                                 : FormatSize(Options.PanelSizeInUnits, entry.Size));
    item->MTimeNs = entry.MTimeNs;
    item->Time = entry.Time;
    item->Attr = entry.Attr;
    item->IsExecutable = !entry.IsFolder && IsExecutableName(caption);
    item->SetFolder(entry.Name.substr(0, entry.FolderLength));
    TKFilesExtra& extra = *item->Extra;
    extra.PackedSize = entry.PackedSize;
    extra.HeaderFlags = entry.HeaderFlags;
    extra.HostOS = static_cast<std::uint32_t>(entry.HostOS);
    extra.CheckValue = entry.CheckValue;
    extra.PackerVersion = static_cast<std::uint32_t>(entry.PackerVersion);
    extra.PackMethod = static_cast<std::uint32_t>(entry.PackMethod);
    extra.StoredName = entry.StoredName;
    return item;
}

void TKMYFILEPANEL::ReportArchiveProgress(const TArchivePending& entry) {
    if (entry.IsFolder)
        ++FArchiveFolderCount;
    else
        ++FArchiveFileCount;
    if ((FArchiveFolderCount + FArchiveFileCount) % ProgressEvery == 0)
        FireAfterChange(acProgress, FormatLangText(LangStrings().STR_MSG_ARCHIVEOPEN,
                                                   {std::to_string(FArchiveFolderCount),
                                                    std::to_string(FArchiveFileCount)}));
}

} // namespace ks
