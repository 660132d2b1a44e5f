#include "panel/KMYFILEPANEL.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <unordered_map>

#include <sys/stat.h>

#include "controls/MessageBox.h"
#include "shell/Language.h"

namespace ks {

namespace {

// Default-button indexes of the message box.
constexpr int DefaultYes = 0;
constexpr int DefaultNo = 1;
// Message kinds: a question about something that went wrong, and a confirmation.
constexpr int KindQuestion = 1;
constexpr int KindConfirm = 3;

/// Contents are searched in blocks of this many bytes.
constexpr std::size_t SearchBlockSize = 32768;

std::string Num(std::int64_t value) {
    return std::to_string(value);
}

bool RowVisible(const TKMYFILEPANEL& panel, int index) {
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    return panel.FView != nullptr && index >= list.FTopIndex &&
           index < list.FTopIndex + std::max(panel.FVisibleRows, 1);
}

void DrawRow(TKMYFILEPANEL& panel, int index) {
    if (RowVisible(panel, index))
        panel.FView->DrawItem(index, -1);
}

// With nothing marked, the cursor item is marked (never the up-folder).
void MarkCursorItemWhenNoneMarked(TKITEMSSTRUC& list) {
    if (list.FMarkedCount != 0)
        return;
    TKFiles* current = list.GetFileItem(list.FItemIndex);
    if (current != nullptr && current->Kind != ikUpFolder)
        list.MarkItem(current, 0);
}

bool Hidden(const TDirEntry& entry) {
    return (entry.Attr & 6) != 0;
}

// The full description of an entry a typed listing gave at path; false when it has gone since.
// An entry of a folder that can be read but not searched cannot be stat'ed: it is described by
// its name and kind alone, with no size, time or read-only bit.
bool Describe(const std::string& path, std::string_view name, TEntryType type, TDirEntry& entry) {
    Result<TDirEntry> described = FileSystem().Stat(path);
    if (described) {
        entry = std::move(*described);
        return true;
    }
    if (described.error().Code == TErrorCode::ecNotFound)
        return false;
    entry = TDirEntry();
    entry.Name.assign(name);
    switch (type) {
    case TEntryType::etFile:
        entry.Mode = S_IFREG | S_IWUSR;
        entry.Attr = 32;
        break;
    case TEntryType::etFolder:
        entry.Mode = S_IFDIR | S_IWUSR;
        entry.IsFolder = true;
        entry.Attr = 16;
        break;
    case TEntryType::etLink:
        entry.Mode = S_IFLNK | S_IWUSR;
        entry.IsLink = true;
        break;
    case TEntryType::etOther:
        entry.Attr = 4;
        break;
    }
    if (!name.empty() && name.front() == '.')
        entry.Attr |= 2;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Counting

struct TCountState {
    std::int64_t Folders = 0;
    std::int64_t Files = 0;
    std::int64_t Bytes = 0;
    std::int64_t FreeSum = 0;
    std::int64_t TotalSum = 0;
};

// ---------------------------------------------------------------------------------------------
// Searching

// One text searched for in file contents; the bytes of a file are compared in upper case (ASCII
// letters only) unless the case counts.
class TContentSearch {
public:
    TContentSearch(std::string text, bool caseSensitive)
        : FText(caseSensitive ? std::move(text) : UpperCase(text)), FCaseSensitive(caseSensitive),
          FBuffer(FText.size() + SearchBlockSize) {}

    // Reads path block by block; after each block of a non-empty file progress gets the percent
    // read and says whether to go on. True when the text occurs in the file.
    template <typename TProgress>
    bool Matches(const std::string& path, std::uint64_t size, TProgress&& progress) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr)
            return false;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
        // The last text length - 1 bytes of a block are kept before the next one, so a match
        // that straddles a block boundary is found.
        const std::size_t keep = FText.size() - 1;
        std::size_t carried = 0;
        std::uint64_t done = 0;
        char* data = FBuffer.data();
        for (;;) {
            const std::size_t got = std::fread(data + carried, 1, SearchBlockSize, file);
            if (got == 0)
                return false;
            if (!FCaseSensitive)
                for (char *p = data + carried, *end = data + carried + got; p != end; ++p)
                    if (*p >= 'a' && *p <= 'z')
                        *p = static_cast<char>(*p - 32);
            const std::string_view window(data, carried + got);
            if (window.find(FText) != std::string_view::npos)
                return true;
            done += got;
            if (size > 0) {
                const int percent =
                    static_cast<int>(std::min<std::uint64_t>(100, (done * 200 + size) / (size * 2)));
                if (!progress(percent))
                    return false;
            }
            if (got < SearchBlockSize && std::feof(file))
                return false;
            carried = std::min(keep, window.size());
            std::memmove(data, data + window.size() - carried, carried);
        }
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

} // namespace

// =============================================================================================
// Counting sizes

void TKMYFILEPANEL::CountSizes() {
    const TKPanelType type = PanelType();
    if (type != ptDriveList && type != ptFolder && type != ptFindResult)
        return;
    TKITEMSSTRUC& list = *FItemsStruc;
    if (list.Count() == 0)
        return;
    const TLangStrings& lang = LangStrings();
    const bool reading = (FState & psReading) != 0;

    if (type == ptDriveList && list.FMarkedCount == 0) {
        for (const auto& item : list.FItems)
            list.MarkItem(item.get(), item->Kind == ikDrive && item->Attr == 3 ? 0 : 1);
    }

    const std::uint32_t stateBefore = FState;
    FState |= psCounting | psBusy | psQuiet;
    Pump();
    FireAfterRefresh(lang.STR_MSG_WORKING);
    FAbort = false;
    TCountState count;

    MarkCursorItemWhenNoneMarked(list);

    // One progress text per counted entry: every one of the first hundred, then every fifth.
    const auto progress = [&] {
        const std::int64_t counted = count.Folders + count.Files;
        if (counted < 101 || counted % 5 == 0)
            FireAfterChange(acProgress,
                            FormatLangText(lang.STR_MSG_COUNTING, {Num(count.Folders), Num(count.Files),
                                                                   FormatSize(true, count.Bytes)}));
    };

    // Walks one folder: its own entries here, each sub-tree with a folder-size walk, so the
    // panel can tell after each sub-folder which marked folder it is counting.
    const auto countFolder = [&](const std::string& path) -> std::int64_t {
        const std::string folder = AddBackslash(path);
        const std::string working = lang.STR_MSG_WORKING + "[" + LastPathPart(path) + "]";
        std::int64_t own = 0;
        std::vector<std::string> subFolders;
        (void)FileSystem().ListFolder(path, [&](const TDirEntry& entry) {
            if (entry.IsFolder) {
                ++count.Folders;
                // A symlinked folder counts as a folder and is never entered, so a link loop
                // cannot run forever.
                if (!entry.IsLink)
                    subFolders.push_back(folder + entry.Name);
            } else {
                ++count.Files;
                count.Bytes += static_cast<std::int64_t>(entry.Size);
                own += static_cast<std::int64_t>(entry.Size);
            }
            progress();
            Pump();
            return !FAbort;
        });
        TFolderSizeWalk walk;
        std::int64_t baseFolders = 0;
        std::int64_t baseFiles = 0;
        std::int64_t baseBytes = 0;
        // Called after every entry the walk counts.
        walk.ProcessMessages = [&] {
            count.Folders = baseFolders + walk.Folders();
            count.Files = baseFiles + walk.Files();
            count.Bytes = baseBytes + walk.Bytes();
            progress();
            Pump();
            if (FAbort)
                walk.Abort();
        };
        for (const std::string& sub : subFolders) {
            if (FAbort)
                break;
            baseFolders = count.Folders;
            baseFiles = count.Files;
            baseBytes = count.Bytes;
            own += walk.Run(sub);
            count.Folders = baseFolders + walk.Folders();
            count.Files = baseFiles + walk.Files();
            count.Bytes = baseBytes + walk.Bytes();
            FireAfterRefresh(working);
        }
        return own;
    };

    for (int i = 0; i < list.Count() && !FAbort; ++i) {
        TKFiles* item = list.GetFileItem(i);
        if (item == nullptr || !item->Marked || item->Kind == ikUpFolder)
            continue;
        if (item->Kind == ikDrive) {
            std::int64_t free = System().DiskFree(item->Name);
            std::int64_t total = System().DiskSize(item->Name);
            free = std::max<std::int64_t>(free, 0);
            total = std::max<std::int64_t>(total, 0);
            item->SetInfo(FormatSize(true, free) + " [" + FormatSize(true, total) + "]");
            item->Size = total;
            count.FreeSum += free;
            count.TotalSum += total;
            if (reading)
                list.MarkItem(item, 1);
            DrawRow(*this, i);
            progress();
        } else if (item->Kind == ikFolder) {
            // A special folder of the drive list is named by its full path.
            const std::string path = type == ptDriveList ? item->Name : ItemFullName(i);
            ++count.Folders;
            progress();
            if (!path.empty() && path.front() == '/') {
                const std::int64_t bytes = countFolder(path);
                item->Size = bytes;
                item->SetInfo(FormatSize(Options.PanelSizeInUnits, bytes));
                DrawRow(*this, i);
            }
        } else {
            ++count.Files;
            count.Bytes += item->Size;
            progress();
        }
    }
    RecountMarked();
    FireAfterRefresh(GetPanelPath());
    if (!reading && OnInfoList) {
        if (type == ptDriveList)
            OnInfoList(FormatLangText(lang.nfo_CalcFolderSizeDr,
                                      {FormatSize(false, count.FreeSum), FormatSize(false, count.TotalSum)}));
        else
            OnInfoList(FormatLangText(lang.nfo_CalcFolderSize, {Num(count.Folders), Num(count.Files),
                                                                FormatSize(false, count.Bytes)}));
    }
    FState = stateBefore;
    FAbort = true;
}

// =============================================================================================
// Deleting

namespace {

enum TToAll { taNone, taYesToAll, taNoToAll };

// One run of DeleteItems on a folder or find-result panel.
class TLocalDelete {
public:
    TLocalDelete(TKMYFILEPANEL& panel, std::function<int(const std::string&, int, int, int)> ask,
                 std::function<void()> pump, bool toRecycle, bool wipe)
        : FPanel(panel), FAsk(std::move(ask)), FPump(std::move(pump)), FToRecycle(toRecycle), FWipe(wipe) {}

    /// Deletes one marked item (a full name); true when it is gone.
    void Item(const std::string& path) {
        const Result<TDirEntry> entry = FileSystem().Stat(path);
        if (!entry) {
            if (entry.error().Code != TErrorCode::ecNotFound)
                ++FFailed;
            return;
        }
        // A symlink to a folder is removed as a link.
        if (entry->IsFolder && !entry->IsLink)
            TopFolder(path, *entry);
        else
            File(path);
    }

    int FFoldersDeleted = 0;
    int FFilesDeleted = 0;
    /// Entries that stayed although they were to go (skips the user chose are not counted).
    int FFailed = 0;

private:
    bool Aborted() const { return FPanel.FAbort; }

    void Progress() {
        if (FPanel.OnAfterChange)
            FPanel.OnAfterChange(acProgress, FormatLangText(LangStrings().STR_MSG_DELETING,
                                                            {Num(FFoldersDeleted), Num(FFilesDeleted)}));
    }

    // The retry question of a file (or of a folder that stays) that could not be deleted.
    // True to try again.
    bool AskRetry(const std::string& path) {
        if (FSkipFailingFiles)
            return false;
        const int answer = FAsk(FormatLangText(LangStrings().STRErrDeleteFile, {path}), KindQuestion,
                                mbYes | mbNo | mbAbort | mbNoToAll, DefaultNo);
        if (answer == mrYes)
            return true;
        if (answer == mrNoToAll)
            FSkipFailingFiles = true;
        else if (answer == mrAbort)
            FPanel.FAbort = true;
        return false;
    }

    bool RemoveOneFile(const std::string& path) {
        if (FToRecycle)
            return static_cast<bool>(System().MoveToTrash(path)) && !FileSystem().Exists(path);
        // Most files go with one unlink; the helper handles read-only files and wiping.
        if (!FWipe && FileSystem().RemoveFile(path))
            return true;
        return DeleteFileEx(path, FWipe);
    }

    void File(const std::string& path) {
        if (Aborted())
            return;
        for (;;) {
            if (RemoveOneFile(path)) {
                ++FFilesDeleted;
                break;
            }
            if (!AskRetry(path)) {
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
                                mbYes | mbNo | mbAbort, DefaultYes);
        if (answer == mrAbort)
            FPanel.FAbort = true;
        return answer == mrYes;
    }

    void TopFolder(const std::string& path, const TDirEntry& entry) {
        if (Aborted())
            return;
        // An empty folder goes at once (to the Trash, too, when that was asked for).
        if (!FToRecycle && FileSystem().RemoveFolder(path)) {
            ++FFoldersDeleted;
            Progress();
            return;
        }
        if (!Empty(path)) {
            if (FFolderAnswer == taNoToAll)
                return;
            if (FFolderAnswer == taNone) {
                const int answer =
                    FAsk(FormatLangText(LangStrings().STRConDeleteFolder, {LastPathPart(path)}), KindConfirm,
                         mbYes | mbNo | mbAbort | mbNoToAll | mbYesToAll, DefaultYes);
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
                if (!AskRetry(path)) {
                    ++FFailed;
                    break;
                }
            }
            Progress();
            return;
        }
        Tree(path, entry);
    }

    bool Empty(const std::string& path) {
        bool empty = true;
        (void)FileSystem().ListFolder(path, [&](const TDirEntry&) {
            empty = false;
            return false;
        });
        return empty;
    }

    // Deletes a folder with everything below it; symlinks are removed, never followed.
    void Tree(const std::string& path, const TDirEntry& entry) {
        TKFileSystem& fs = FileSystem();
        // Without the owner's write permission nothing inside a folder can be removed; the
        // user agreed to delete it, so it is made writable (and read-only again if it stays).
        const bool readOnly = (entry.Attr & 1) != 0;
        const bool madeWritable = readOnly && fs.SetWritable(path, true);
        const std::string folder = AddBackslash(path);
        // Listed completely before anything goes, so removing cannot disturb the listing. Files
        // need no description to be removed; only sub-folders are stat'ed, for their read-only
        // bit.
        std::vector<std::pair<std::string, bool>> entries; // name, is a folder (never a link)
        const Result<void> listed = fs.ListFolderTypes(path, [&](std::string_view name, TEntryType type) {
            entries.emplace_back(name, type == TEntryType::etFolder);
            return true;
        });
        const int failedBefore = FFailed;
        bool skipped = false;
        if (listed) {
            for (const auto& [name, isFolder] : entries) {
                if (Aborted())
                    break;
                const std::string subPath = folder + name;
                TDirEntry sub;
                if (!isFolder) {
                    File(subPath);
                } else if (!Describe(subPath, name, TEntryType::etFolder, sub)) {
                    // Gone since the listing: nothing to do.
                } else if (sub.IsLink || !sub.IsFolder) {
                    // Swapped for something else since the listing: removed as a file.
                    File(subPath);
                } else if (ConfirmReadOnly(subPath, sub)) {
                    Tree(subPath, sub);
                } else {
                    skipped = true;
                }
                FPump();
            }
        }
        if (fs.RemoveFolder(path)) {
            ++FFoldersDeleted;
            Progress();
            return;
        }
        if (madeWritable)
            (void)fs.SetWritable(path, false);
        // A folder that stays for no choice of the user (nor a failure already reported inside
        // it) is reported too.
        if (!Aborted() && !skipped && FFailed == failedBefore && listed) {
            if (AskRetry(path)) {
                Tree(path, entry);
                return;
            }
        }
        if (!skipped)
            ++FFailed;
        Progress();
    }

    TKMYFILEPANEL& FPanel;
    std::function<int(const std::string&, int, int, int)> FAsk;
    std::function<void()> FPump;
    bool FToRecycle;
    bool FWipe;
    TToAll FFolderAnswer = taNone;
    bool FSkipFailingFiles = false;
};

// Deleting on an FTP server needs the FTP session; until it exists nothing is deleted there.
void DeleteFtpItems(TKMYFILEPANEL&) {}

} // namespace

void TKMYFILEPANEL::DeleteItems() {
    const TKPanelType type = PanelType();
    if (type != ptFolder && type != ptFindResult && type != ptArchive && type != ptFTP)
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
        // The archiver deletes from the archive; the panel only writes the list of its names.
        const std::string listFile = AddBackslash(System().TempDir()) + "kSDelA";
        std::string text;
        for (int i = 0; i < list.Count(); ++i) {
            const TKFiles* item = list.GetFileItem(i);
            if (item != nullptr && item->Marked)
                text += ItemFullName(i) + "\r\n";
        }
        bool written = false;
        if (std::FILE* file = std::fopen(listFile.c_str(), "wb")) {
            written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
            written = std::fclose(file) == 0 && written;
        }
        if (written && OnArchiveDeleteItems)
            OnArchiveDeleteItems(FFolderItems.FPath, listFile);
        FAbort = true;
    } else if (type == ptFTP) {
        DeleteFtpItems(*this);
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
            list.MarkItem(item, 1);
            DrawRow(*this, i);
        }
        FAbort = true;
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

// =============================================================================================
// Searching

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

    // Walks with an explicit stack of folders still to search; each folder is listed once, its
    // entries tested in listing order and its sub-folders searched after it, in listing order.
    struct TPending {
        std::string Path;
        int Depth; // 0 a start folder, 1 its direct sub-folders, ...
    };
    for (const std::string& start : starts) {
        if (FAbort)
            break;
        std::vector<TPending> pending{{start.size() > 1 ? RemoveTrailingSeparator(start) : start, 0}};
        const std::string startRoot = System().DriveRoot(pending.front().Path);
        while (!pending.empty() && !FAbort) {
            const TPending current = std::move(pending.back());
            pending.pop_back();
            if (current.Depth == 1)
                FireAfterRefresh(lang.STR_MSG_WORKING + "[" + LastPathPart(current.Path) + "]");
            const std::string folder = AddBackslash(current.Path);
            std::vector<std::string> subFolders;
            // Names and kinds are enough to walk and to test masks; only the entries whose names
            // match are described in full, so a search of a large tree costs no stat per entry.
            (void)FileSystem().ListFolderTypes(current.Path, [&](std::string_view name, TEntryType type) {
                // Hidden entries are neither found nor entered while the panel hides them (a
                // folder is hidden by its name alone); a symlinked folder is never entered, so a
                // link loop cannot run forever.
                const bool hiddenName = !name.empty() && name.front() == '.' && !Options.PanelShowHidden;
                if (subfolders && type == TEntryType::etFolder && !hiddenName)
                    subFolders.push_back(folder + std::string(name));
                if (hiddenName || !matchesMask(name))
                    return true;
                TDirEntry entry;
                if (!Describe(folder + std::string(name), name, type, entry))
                    return true;
                if (Hidden(entry) && !Options.PanelShowHidden)
                    return true;
                if (content) {
                    // Only regular files have contents to read: a device or a pipe could block.
                    if (entry.IsFolder || (entry.Attr & 32) == 0)
                        return true;
                    const bool hit = content->Matches(folder + entry.Name, entry.Size, [&](int percent) {
                        FireAfterChange(acProgress,
                                        FormatLangText(lang.STR_MSG_FINDING_DETAIL,
                                                       {Num(foldersFound), Num(filesFound), Num(percent)}));
                        Pump();
                        return !FAbort;
                    });
                    if (!hit)
                        return !FAbort;
                }
                if (!found) {
                    found = true;
                    SetPanelType(ptFindResult);
                    FFindItems.ClearItems(true);
                    AddItem("..", remembered, ikUpFolder, lang.STR_PANEL_UPDIR, 0, false);
                    RepaintAll();
                }
                TKFiles* item = AddSearchRecItem(FFindItems, entry, false);
                if (item != nullptr) {
                    item->SetFolder(current.Path);
                    ++(entry.IsFolder ? foldersFound : filesFound);
                    if (RowVisible(*this, FFindItems.Count() - 1))
                        RepaintCursor();
                }
                Pump();
                return !FAbort;
            });
            sendFound();
            for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it) {
                // The search stays on the file system of its start folder, as a search of one
                // drive would: kernel file systems mounted below "/" (/proc, /sys, /dev) hold
                // files whose reading never ends or blocks. Mounts are looked for one level
                // down only, where they sit, so a deep tree costs no mount-table reads.
                if (current.Depth == 0 && System().DriveRoot(*it) != startRoot)
                    continue;
                pending.push_back({std::move(*it), current.Depth + 1});
            }
        }
        sendFound();
    }
    FAbort = true;
    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acProgress, GetItemInfo());
    FState = stateBefore;
}

// =============================================================================================
// Comparing

void TKMYFILEPANEL::ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate) {
    TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->Quiet())
        return;
    const std::uint32_t bits = psComparing | psBusy | psQuiet;
    const std::uint32_t stateBefore = FState;
    const std::uint32_t otherBefore = other->FState;
    FState |= bits;
    other->FState |= bits;
    Pump();
    FireAfterRefresh(LangStrings().STR_MSG_WORKING);
    FAbort = false;

    TKITEMSSTRUC& mine = *FItemsStruc;
    TKITEMSSTRUC& theirs = *other->FItemsStruc;
    const auto equal = [&](const TKFiles& a, const TKFiles& b) {
        if (bySize && a.Size != b.Size)
            return false;
        if (byAttr && a.Attr != b.Attr)
            return false;
        if (byDate) {
            if (a.MTimeNs != 0 && b.MTimeNs != 0 ? a.MTimeNs != b.MTimeNs : a.Time != b.Time)
                return false;
        }
        return !byName || SameText(a.Name, b.Name);
    };
    const auto markPair = [&](int i, int j) {
        mine.MarkItem(mine.GetFileItem(i), 0);
        theirs.MarkItem(theirs.GetFileItem(j), 0);
        DrawRow(*this, i);
        DrawRow(*other, j);
    };

    if (theirs.Count() > 0) {
        if (byName) {
            // Compared by name, only items of the same name can be equal: an index keeps the
            // work linear for large folders.
            std::unordered_multimap<std::string, int> byUpperName;
            byUpperName.reserve(static_cast<std::size_t>(theirs.Count()));
            for (int j = 0; j < theirs.Count(); ++j) {
                const TKFiles* b = theirs.GetFileItem(j);
                if (b->Kind != ikUpFolder)
                    byUpperName.emplace(UpperCase(b->Name), j);
            }
            for (int i = 0; i < mine.Count(); ++i) {
                const TKFiles* a = mine.GetFileItem(i);
                if (a->Kind == ikUpFolder)
                    continue;
                const auto range = byUpperName.equal_range(UpperCase(a->Name));
                for (auto it = range.first; it != range.second; ++it)
                    if (equal(*a, *theirs.GetFileItem(it->second)))
                        markPair(i, it->second);
            }
        } else {
            for (int i = 0; i < mine.Count(); ++i) {
                const TKFiles* a = mine.GetFileItem(i);
                if (a->Kind == ikUpFolder)
                    continue;
                for (int j = 0; j < theirs.Count(); ++j) {
                    const TKFiles* b = theirs.GetFileItem(j);
                    if (b->Kind != ikUpFolder && equal(*a, *b))
                        markPair(i, j);
                }
            }
        }
    }

    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acProgress, GetItemInfo());
    FState = stateBefore;
    other->FState = otherBefore;
}

// =============================================================================================
// Item information

void TKMYFILEPANEL::BuildItemInfo() {
    FInfoItems.ClearItems(true);
    if (PanelType() != ptItemInfo)
        return;
    const TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->PanelType() == ptItemInfo)
        return;
    const TKITEMSSTRUC& list = *other->FItemsStruc;
    const TKFiles* x = list.GetFileItem(list.FItemIndex);
    if (x == nullptr)
        return;
    const TLangStrings& lang = LangStrings();
    const TKPanelType otherType = other->PanelType();
    AddInfoLine(lang.strItemNfo_Standart, "", ikFolder);
    if (x->Kind == ikFolder) {
        if (otherType == ptDriveList) {
            AddInfoLine(lang.strItemNfoLoc, x->Name, ikFile);
            AddInfoLine(lang.strItemNfoName, x->Caption(), ikFile);
        } else {
            if (otherType != ptArchive) {
                // A find result lies in its own folder.
                std::string location = other->ItemFolder(list.FItemIndex);
                if (location.empty())
                    location = other->GetPanelPath();
                AddInfoLine(lang.strItemNfoLoc, location, ikFile);
            }
            AddInfoLine(lang.strItemNfoName, x->Name, ikFile);
        }
        AddInfoLine(lang.strItemNfoDate, other->DateText(*x), ikFile);
        AddInfoLine(lang.strItemNfoAttr, AttrToString(x->Attr), ikFile);
    } else if (x->Kind == ikFile) {
        AddInfoLine(lang.strItemNfoName, x->Name, ikFile);
        AddInfoLine(lang.strItemNfoSize, other->SizeText(*x), ikFile);
        AddInfoLine(lang.strItemNfoDate, other->DateText(*x), ikFile);
        AddInfoLine(lang.strItemNfoAttr, AttrToString(x->Attr), ikFile);
        const std::string ext = ExtractExt(x->Name);
        if (!ext.empty()) {
            AddInfoLine(lang.strItemNfoSDesc, System().FileTypeName("." + ext), ikFile);
            AddInfoLine(lang.strItemNfoSDescCon, System().ContentType("." + ext), ikFile);
        }
    }
    if (otherType == ptArchive && x->Kind != ikUpFolder && x->Kind != ikDrive) {
        AddInfoLine(lang.strItemNfo_Archive, "", ikFolder);
        AddInfoLine(lang.strItemNfoArchUpnSize, other->SizeText(*x), ikFile);
        const TKFilesExtra empty;
        const TKFilesExtra& extra = x->Extra ? *x->Extra : empty;
        if (extra.PackedSize >= 0)
            AddInfoLine(lang.strItemNfoArchPacSize, FormatSize(Options.PanelSizeInUnits, extra.PackedSize),
                        ikFile);
        if (extra.PackerVersion != 0xFFFFFFFFu)
            AddInfoLine(lang.strItemNfoArchUnpVer,
                        Num(extra.PackerVersion / 10) + "." + Num(extra.PackerVersion % 10), ikFile);
        static const char* const hostNames[] = {"MS DOS", "OS/2", "Win32", "Unix", "Mac OS", "BeOS"};
        const std::string host = extra.HostOS < 6     ? hostNames[extra.HostOS]
                                 : extra.HostOS == 99 ? "unknown"
                                                      : lang.STR_PANEL_UNKNOWNDATE;
        AddInfoLine(lang.strItemNfoArchHostOS, host, ikFile);
        static const char* const methods[] = {"storing",          "fastest compression",
                                              "fast compression", "normal compression",
                                              "good compression", "best compression"};
        const std::string method = extra.PackMethod >= 48 && extra.PackMethod <= 53
                                       ? methods[extra.PackMethod - 48]
                                       : lang.STR_PANEL_UNKNOWNDATE;
        AddInfoLine(lang.strItemNfoArchMethod, method, ikFile);
    }
}

} // namespace ks
