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

void TKMYFILEPANEL::FindFiles(const std::string& startFolder, const std::string& masks,
                              const std::string& text, bool caseSensitive, bool subfolders,
                              bool inMarkedFolders) {
    const TLangStrings& lang = LangStrings();
    const std::uint32_t stateBefore = FState;
    FState |= psSearching | psBusy | psQuiet;
    Pump();
    FireAfterRefresh(lang.STR_MSG_WORKING);
    const std::string remembered = FFolderItems.FPath;
    FAbort = false;
    int foldersFound = 0;
    int filesFound = 0;
    bool found = false;
    std::string firstUnreadable;

    std::vector<std::string> starts;
    if (inMarkedFolders) {
        const TKITEMSSTRUC& list = *FItemsStruc;
        for (int i = 0; i < list.Count(); ++i) {
            const TKFiles* item = list.GetFileItem(i);
            if (item != nullptr && item->Marked && item->Kind == ikFolder)
                starts.push_back(ItemFullName(i));
        }
    } else if (!startFolder.empty()) {
        starts.push_back(startFolder);
    } else {
        for (const TDriveEntry& drive : System().ListDrives())
            if (drive.DriveType == 3)
                starts.push_back(drive.Root);
    }

    const std::vector<std::string> maskList = SplitMasks(masks);
    std::unique_ptr<TContentSearch> content;
    if (!text.empty())
        content = std::make_unique<TContentSearch>(text, caseSensitive);

    const auto sendFound = [&] {
        FireAfterChange(acProgress,
                        FormatLangText(lang.STR_MSG_FINDING, {Num(foldersFound), Num(filesFound)}));
    };
    const auto matchesMask = [&](std::string_view name) {
        return std::any_of(maskList.begin(), maskList.end(),
                           [&](const std::string& mask) { return MatchMask(name, mask); });
    };
    const auto unreadable = [&](std::string_view path, const TError& error) {
        if (firstUnreadable.empty() && WorthReporting(error))
            firstUnreadable = path;
        return TWalkStep::wsNext;
    };

    // Each folder's entries are tested in listing order, then its sub-folders are searched, in
    // listing order, through the open folder (no depth limit, and a folder swapped for a link
    // meanwhile is not followed).
    for (const std::string& start : starts) {
        if (FAbort)
            break;
        const std::string startPath = start.size() > 1 ? RemoveTrailingSeparator(start) : start;
        Result<std::unique_ptr<TKFolder>> top = FileSystem().OpenFolder(startPath);
        if (!top) {
            unreadable(startPath, top.error());
            continue;
        }
        const std::uint64_t startDevice = (*top)->Id().Device;
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) {
            // Hidden entries are neither found nor entered while the panel hides them (a folder
            // is hidden by its name alone); a symlinked folder is never entered, so a link loop
            // cannot run forever.
            const bool hiddenName = entry.Name.front() == '.' && !Options.PanelShowHidden;
            const TWalkStep enter = subfolders && entry.Type == TEntryType::etFolder && !hiddenName
                                        ? TWalkStep::wsEnterLater
                                        : TWalkStep::wsNext;
            // Names and kinds are enough to walk and to test masks; only the entries whose names
            // match are described in full, so a search of a large tree costs no stat per entry.
            if (hiddenName || !matchesMask(entry.Name))
                return enter;
            TDirEntry described;
            if (!DescribeListed(folder, entry.Name, entry.Type, described))
                return enter;
            if (Hidden(described) && !Options.PanelShowHidden)
                return enter;
            if (content) {
                // Only regular files of the tree itself have contents to read: a device or a pipe
                // could block, and a link may lead anywhere (into /proc, say).
                if (entry.Type != TEntryType::etFile || described.IsLink || (described.Attr & 32) == 0)
                    return enter;
                Result<std::unique_ptr<TKFileReader>> file = folder.OpenRead(entry.Name);
                if (!file)
                    return enter;
                const bool hit = content->Matches(**file, [&](int percent) {
                    FireAfterChange(acProgress,
                                    FormatLangText(lang.STR_MSG_FINDING_DETAIL,
                                                   {Num(foldersFound), Num(filesFound), Num(percent)}));
                    Pump();
                    return !FAbort;
                });
                if (FAbort)
                    return TWalkStep::wsStop;
                if (!hit)
                    return enter;
            }
            if (!found) {
                found = true;
                SetPanelType(ptFindResult);
                FFindItems.ClearItems(true);
                AddItem("..", remembered, ikUpFolder, lang.STR_PANEL_UPDIR, 0, false);
                RepaintAll();
            }
            TKFiles* item = AddSearchRecItem(FFindItems, described, false);
            if (item != nullptr) {
                item->SetFolder(std::string(entry.FolderPath));
                ++(described.IsFolder ? foldersFound : filesFound);
                if (RowVisible(*this, FFindItems.Count() - 1))
                    RepaintCursor();
            }
            Pump();
            return FAbort ? TWalkStep::wsStop : enter;
        };
        walk.OnEnter = [&](TKFolder&, TKFolder& folder, const TWalkEntry& entry) {
            if (entry.Depth != 1)
                return TWalkStep::wsEnter;
            // The search stays on the file system of its start folder, as a search of one drive
            // would: kernel file systems mounted below "/" (/proc, /sys, /dev) hold files whose
            // reading never ends or blocks. Mounts are looked for one level down, where they sit.
            if (folder.Id().Device != startDevice)
                return TWalkStep::wsNext;
            FireAfterRefresh(lang.STR_MSG_WORKING + "[" + std::string(entry.Name) + "]");
            return TWalkStep::wsEnter;
        };
        walk.OnError = [&](TKFolder*, const TWalkEntry& entry, const TError& error) {
            return unreadable(entry.Path(), error);
        };
        walk.OnLeave = [&](TKFolder&, const TWalkEntry&, bool) {
            sendFound();
            return FAbort ? TWalkStep::wsStop : TWalkStep::wsNext;
        };
        walk.Run(**top, startPath);
        sendFound();
    }
    FAbort = true;
    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acProgress, GetItemInfo());
    // A search that could not look everywhere says so: "nothing found" is not the answer then.
    if (!firstUnreadable.empty() && OnInfoList)
        OnInfoList(FormatLangText(lang.nfo_FindUnread, {firstUnreadable}));
    FState = stateBefore;
}

} // namespace ks
