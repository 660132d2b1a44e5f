#include "panel/KMYFILEPANEL.h"

#include <algorithm>

#include "foundation/Language.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

// One run of CountSizes: the totals so far and the walks that add to them.
class TCountSizes {
public:
    explicit TCountSizes(TKMYFILEPANEL& panel)
        : FPanel(panel), FList(*panel.FItemsStruc), FLang(LangStrings()), FType(panel.PanelType()),
          FReading((panel.FState & psReading) != 0) {}

    void Run() {
        if (FType != ptDriveList && FType != ptFolder && FType != ptFindResult)
            return;
        if (FList.Count() == 0)
            return;

        if (FType == ptDriveList && FList.FMarkedCount == 0) {
            for (const auto& item : FList.FItems)
                FList.MarkItem(item.get(),
                               item->Kind == ikDrive && item->Attr == dtFixed ? mmMark : mmUnmark);
        }

        const std::uint32_t stateBefore = FPanel.FState;
        FPanel.FState |= psCounting | psBusy | psQuiet;
        FPanel.Pump();
        FPanel.FireAfterRefresh(FLang.STR_MSG_WORKING);
        FPanel.FAbort = false;

        MarkCursorItemWhenNoneMarked(FList);

        for (int i = 0; i < FList.Count() && !FPanel.FAbort; ++i) {
            TKFiles* item = FList.GetFileItem(i);
            if (item == nullptr || !item->Marked || item->Kind == ikUpFolder)
                continue;
            if (item->Kind == ikDrive)
                Drive(*item, i);
            else if (item->Kind == ikFolder)
                Folder(*item, i);
            else
                File(*item);
        }
        FPanel.RecountMarked();
        FPanel.FireAfterRefresh(FPanel.GetPanelPath());
        if (!FReading)
            Report();
        FPanel.FState = stateBefore;
        FPanel.FAbort = true;
    }

private:
    // One progress text per counted entry: every one of the first hundred, then every fifth.
    void Progress() {
        const std::int64_t counted = FFolders + FFiles;
        if (counted < 101 || counted % 5 == 0)
            FPanel.FireAfterChange(acProgress,
                                   FormatLangText(FLang.STR_MSG_COUNTING,
                                                  {Num(FFolders), Num(FFiles), FormatSize(true, FBytes)}));
    }

    void Drive(TKFiles& item, int index) {
        const std::int64_t free = std::max<std::int64_t>(System().DiskFree(item.Name), 0);
        const std::int64_t total = std::max<std::int64_t>(System().DiskSize(item.Name), 0);
        item.SetInfo(FormatSize(true, free) + " [" + FormatSize(true, total) + "]");
        item.Size = total;
        FFreeSum += free;
        FTotalSum += total;
        if (FReading)
            FList.MarkItem(&item, mmUnmark);
        DrawRow(FPanel, index);
        Progress();
    }

    void Folder(TKFiles& item, int index) {
        // A special folder of the drive list is named by its full path.
        const std::string path = FType == ptDriveList ? item.Name : FPanel.ItemFullName(index);
        ++FFolders;
        Progress();
        if (path.empty() || path.front() != '/')
            return;
        const std::int64_t bytes = Tree(path);
        item.Size = bytes;
        item.SetInfo(FormatSize(FPanel.Options.PanelSizeInUnits, bytes));
        DrawRow(FPanel, index);
    }

    void File(const TKFiles& item) {
        ++FFiles;
        FBytes += item.Size;
        Progress();
    }

    // Counts one folder's tree and gives its bytes; after each of its direct sub-folders the
    // panel tells which marked folder it is counting.
    std::int64_t Tree(const std::string& path) {
        const std::string working = FLang.STR_MSG_WORKING + "[" + LastPathPart(path) + "]";
        const std::int64_t baseFolders = FFolders;
        const std::int64_t baseFiles = FFiles;
        const std::int64_t baseBytes = FBytes;
        TFolderSizeWalk walk;
        const auto take = [&] {
            FFolders = baseFolders + walk.Folders();
            FFiles = baseFiles + walk.Files();
            FBytes = baseBytes + walk.Bytes();
        };
        walk.ProcessMessages = [&] {
            take();
            Progress();
            FPanel.Pump();
            if (FPanel.FAbort)
                walk.Abort();
        };
        walk.AfterSubFolder = [&] {
            take();
            FPanel.FireAfterRefresh(working);
        };
        const std::int64_t bytes = walk.Run(path);
        take();
        if (walk.Unreadable() > 0) {
            if (FUnreadable == 0)
                FFirstUnreadable = walk.FirstUnreadable();
            FUnreadable += walk.Unreadable();
        }
        return bytes;
    }

    void Report() {
        if (!FPanel.OnInfoList)
            return;
        if (FType == ptDriveList)
            FPanel.OnInfoList(FormatLangText(FLang.nfo_CalcFolderSizeDr,
                                             {FormatSize(false, FFreeSum), FormatSize(false, FTotalSum)}));
        else if (FUnreadable > 0)
            // A total that leaves folders out is never shown as the answer.
            FPanel.OnInfoList(
                FormatLangText(FLang.nfo_CalcFolderSizeUnread,
                               {Num(FFolders), Num(FFiles), FormatSize(false, FBytes), FFirstUnreadable}));
        else
            FPanel.OnInfoList(FormatLangText(FLang.nfo_CalcFolderSize,
                                             {Num(FFolders), Num(FFiles), FormatSize(false, FBytes)}));
    }

    TKMYFILEPANEL& FPanel;
    TKITEMSSTRUC& FList;
    const TLangStrings& FLang;
    const TKPanelType FType;
    const bool FReading;
    std::int64_t FFolders = 0;
    std::int64_t FFiles = 0;
    std::int64_t FBytes = 0;
    std::int64_t FFreeSum = 0;
    std::int64_t FTotalSum = 0;
    // Folders that could not be read in full, and the first of them.
    std::int64_t FUnreadable = 0;
    std::string FFirstUnreadable;
};

void TKMYFILEPANEL::CountSizes() {
    TCountSizes(*this).Run();
}

} // namespace ks
