#include "panel/KMYFILEPANEL.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/Language.h"
#include "foundation/TreeWalk.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

namespace {

/// Contents are searched in blocks of this many bytes.
constexpr std::size_t SearchBlockSize = 32768;

// One text searched for in file contents; the bytes of a file are compared in upper case (ASCII
// letters only) unless the case counts.
class TContentSearch {
public:
    TContentSearch(std::string text, bool caseSensitive)
        : FText(caseSensitive ? std::move(text) : UpperCase(text)), FCaseSensitive(caseSensitive),
          FBuffer(FText.size() + SearchBlockSize) {}

    // Reads the file block by block, never more than the size it reported when it was opened (a
    // file of a kernel file system may report 0 and never end); after each block progress gets
    // the percent read and says whether to go on. True when the text occurs in the file.
    template <typename TProgress> bool Matches(TKFileReader& file, TProgress&& progress) {
        const std::uint64_t size = file.Size();
        // The last text length - 1 bytes of a block are kept before the next one, so a match
        // that straddles a block boundary is found.
        const std::size_t keep = FText.size() - 1;
        std::size_t carried = 0;
        std::uint64_t done = 0;
        char* data = FBuffer.data();
        while (done < size) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(SearchBlockSize, size - done));
            const Result<std::size_t> read = file.Read(data + carried, want);
            if (!read || *read == 0)
                return false;
            const std::size_t got = *read;
            if (!FCaseSensitive)
                for (char *p = data + carried, *end = data + carried + got; p != end; ++p)
                    if (*p >= 'a' && *p <= 'z')
                        *p = static_cast<char>(*p - 32);
            const std::string_view window(data, carried + got);
            if (window.find(FText) != std::string_view::npos)
                return true;
            done += got;
            const int percent =
                static_cast<int>(std::min<std::uint64_t>(100, (done * 200 + size) / (size * 2)));
            if (!progress(percent))
                return false;
            carried = std::min(keep, window.size());
            std::memmove(data, data + window.size() - carried, carried);
        }
        return false;
    }

private:
    std::string FText;
    bool FCaseSensitive;
    std::vector<char> FBuffer;
};

std::vector<std::string> SplitMasks(const std::string& masks) {
    std::vector<std::string> result;
    const int count = FieldCount(masks, ';');
    for (int i = 0; i < count; ++i) {
        std::string mask = GetField(masks, ';', i);
        const auto first = mask.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        mask = mask.substr(first, mask.find_last_not_of(' ') - first + 1);
        result.push_back(mask);
    }
    if (result.empty())
        result.emplace_back("*");
    return result;
}

bool Hidden(const TDirEntry& entry) {
    return (entry.Attr & 6) != 0;
}

} // namespace

// One run of FindFiles: what is searched for, where, and what was found so far. Each folder's
// entries are tested in listing order, then its sub-folders are searched, in listing order,
// through the open folder (no depth limit, and a folder swapped for a link meanwhile is not
// followed).
class TFindFiles {
public:
    TFindFiles(TKMYFILEPANEL& panel, const std::string& masks, const std::string& text, bool caseSensitive,
               bool subfolders)
        : FPanel(panel), FLang(LangStrings()), FMasks(SplitMasks(masks)), FSubfolders(subfolders) {
        if (!text.empty())
            FContent = std::make_unique<TContentSearch>(text, caseSensitive);
    }

    void Run(const std::string& startFolder, bool inMarkedFolders) {
        const std::uint32_t stateBefore = FPanel.FState;
        FPanel.FState |= psSearching | psBusy | psQuiet;
        FPanel.Pump();
        FPanel.FireAfterRefresh(FLang.STR_MSG_WORKING);
        FRemembered = FPanel.FFolderItems.FPath;
        FPanel.FAbort = false;
        for (const std::string& start : Starts(startFolder, inMarkedFolders)) {
            if (FPanel.FAbort)
                break;
            Search(start);
        }
        FPanel.FAbort = true;
        FPanel.FireAfterRefresh(FPanel.GetPanelPath());
        FPanel.FireAfterChange(acProgress, FPanel.GetItemInfo());
        // A search that could not look everywhere says so: "nothing found" is not the answer then.
        if (!FFirstUnreadable.empty() && FPanel.OnInfoList)
            FPanel.OnInfoList(FormatLangText(FLang.nfo_FindUnread, {FFirstUnreadable}));
        FPanel.FState = stateBefore;
    }

private:
    std::vector<std::string> Starts(const std::string& startFolder, bool inMarkedFolders) const {
        std::vector<std::string> starts;
        if (inMarkedFolders) {
            const TKITEMSSTRUC& list = *FPanel.FItemsStruc;
            for (int i = 0; i < list.Count(); ++i) {
                const TKFiles* item = list.GetFileItem(i);
                if (item != nullptr && item->Marked && item->Kind == ikFolder)
                    starts.push_back(FPanel.ItemFullName(i));
            }
        } else if (!startFolder.empty()) {
            starts.push_back(startFolder);
        } else {
            // Every disk and user-visible memory file system, each from its own root once; the
            // walk does not cross into other mounts, so a separate /home is searched as itself.
            for (const TDriveEntry& drive : System().ListDrives())
                if (drive.DriveType == dtFixed || drive.DriveType == dtRamDisk)
                    starts.push_back(drive.Root);
        }
        return starts;
    }

    void SendFound() {
        FPanel.FireAfterChange(acProgress,
                               FormatLangText(FLang.STR_MSG_FINDING, {Num(FFoldersFound), Num(FFilesFound)}));
    }

    bool MatchesMask(std::string_view name) const {
        return std::any_of(FMasks.begin(), FMasks.end(),
                           [&](const std::string& mask) { return MatchMask(name, mask); });
    }

    TWalkStep Unreadable(std::string_view path, const TError& error) {
        if (FFirstUnreadable.empty() && WorthReporting(error))
            FFirstUnreadable = path;
        return TWalkStep::wsNext;
    }

    void Search(const std::string& start) {
        const std::string startPath = start.size() > 1 ? RemoveTrailingSeparator(start) : start;
        Result<std::unique_ptr<TKFolder>> top = FileSystem().OpenFolder(startPath);
        if (!top) {
            Unreadable(startPath, top.error());
            return;
        }
        const std::uint64_t startDevice = (*top)->Id().Device;
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) { return Entry(folder, entry); };
        walk.OnEnter = [&](TKFolder&, TKFolder& folder, const TWalkEntry& entry) {
            // The search stays on the file system of its start folder, as a search of one drive
            // would, at every depth: kernel file systems mounted below "/" (/proc, /sys, /dev)
            // hold files whose reading never ends or blocks, and a removable or network disk
            // mounted anywhere below is no part of this one.
            if (folder.Id().Device != startDevice)
                return TWalkStep::wsNext;
            if (entry.Depth != 1)
                return TWalkStep::wsEnter;
            FPanel.FireAfterRefresh(FLang.STR_MSG_WORKING + "[" + std::string(entry.Name) + "]");
            return TWalkStep::wsEnter;
        };
        walk.OnError = [&](TKFolder*, const TWalkEntry& entry, const TError& error) {
            return Unreadable(entry.Path(), error);
        };
        walk.OnLeave = [&](TKFolder&, const TWalkEntry&, bool) {
            SendFound();
            return FPanel.FAbort ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.Run(**top, startPath);
        SendFound();
    }

    // Tests one listed entry and says whether the walk enters it.
    TWalkStep Entry(TKFolder& folder, const TWalkEntry& entry) {
        const bool showHidden = FPanel.Options.PanelShowHidden;
        // Hidden entries are neither found nor entered while the panel hides them (a folder is
        // hidden by its name alone); a symlinked folder is never entered, so a link loop cannot
        // run forever.
        const bool hiddenName = entry.Name.front() == '.' && !showHidden;
        const TWalkStep enter = FSubfolders && entry.Type == TEntryType::etFolder && !hiddenName
                                    ? TWalkStep::wsEnterLater
                                    : TWalkStep::wsNext;
        // Names and kinds are enough to walk and to test masks; only the entries whose names
        // match are described in full, so a search of a large tree costs no stat per entry.
        if (hiddenName || !MatchesMask(entry.Name))
            return enter;
        TDirEntry described;
        if (!DescribeListed(folder, entry.Name, entry.Type, described))
            return enter;
        if (Hidden(described) && !showHidden)
            return enter;
        if (FContent) {
            // Only regular files of the tree itself have contents to read: a device or a pipe
            // could block, and a link may lead anywhere (into /proc, say).
            if (entry.Type != TEntryType::etFile || described.IsLink || (described.Attr & 32) == 0)
                return enter;
            Result<std::unique_ptr<TKFileReader>> file = folder.OpenRead(entry.Name);
            if (!file)
                return enter;
            const bool hit = FContent->Matches(**file, [&](int percent) {
                FPanel.FireAfterChange(acProgress,
                                       FormatLangText(FLang.STR_MSG_FINDING_DETAIL,
                                                      {Num(FFoldersFound), Num(FFilesFound), Num(percent)}));
                FPanel.Pump();
                return !FPanel.FAbort;
            });
            if (FPanel.FAbort)
                return TWalkStep::wsStop;
            if (!hit)
                return enter;
        }
        Add(entry, described);
        FPanel.Pump();
        return FPanel.FAbort ? TWalkStep::wsStop : enter;
    }

    // The first hit turns the panel into a find-result list, led by the way back to the folder.
    void Add(const TWalkEntry& entry, const TDirEntry& described) {
        if (!FFound) {
            FFound = true;
            FPanel.SetPanelType(ptFindResult);
            FPanel.FFindItems.ClearItems(true);
            FPanel.AddItem("..", FRemembered, ikUpFolder, FLang.STR_PANEL_UPDIR, 0, false);
            FPanel.RepaintAll();
        }
        TKFiles* item = FPanel.AddSearchRecItem(FPanel.FFindItems, described, false);
        if (item == nullptr)
            return;
        item->SetFolder(std::string(entry.FolderPath));
        ++(described.IsFolder ? FFoldersFound : FFilesFound);
        if (RowVisible(FPanel, FPanel.FFindItems.Count() - 1))
            FPanel.RepaintCursor();
    }

    TKMYFILEPANEL& FPanel;
    const TLangStrings& FLang;
    const std::vector<std::string> FMasks;
    const bool FSubfolders;
    std::unique_ptr<TContentSearch> FContent;
    std::string FRemembered;
    int FFoldersFound = 0;
    int FFilesFound = 0;
    bool FFound = false;
    std::string FFirstUnreadable;
};

void TKMYFILEPANEL::FindFiles(const std::string& startFolder, const std::string& masks,
                              const std::string& text, bool caseSensitive, bool subfolders,
                              bool inMarkedFolders) {
    TFindFiles(*this, masks, text, caseSensitive, subfolders).Run(startFolder, inMarkedFolders);
}

} // namespace ks
