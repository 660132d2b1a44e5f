#include "panel/KMYFILEPANEL.h"

#include <algorithm>

#include "foundation/Language.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

namespace {

struct TCountState {
    std::int64_t Folders = 0;
    std::int64_t Files = 0;
    std::int64_t Bytes = 0;
    std::int64_t FreeSum = 0;
    std::int64_t TotalSum = 0;
    // Folders that could not be read in full, and the first of them.
    std::int64_t Unreadable = 0;
    std::string FirstUnreadable;
};

} // namespace

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

    // Counts one folder's tree; after each of its direct sub-folders the panel tells which
    // marked folder it is counting.
    const auto countFolder = [&](const std::string& path) -> std::int64_t {
        const std::string working = lang.STR_MSG_WORKING + "[" + LastPathPart(path) + "]";
        const TCountState base = count;
        TFolderSizeWalk walk;
        const auto take = [&] {
            count.Folders = base.Folders + walk.Folders();
            count.Files = base.Files + walk.Files();
            count.Bytes = base.Bytes + walk.Bytes();
        };
        walk.ProcessMessages = [&] {
            take();
            progress();
            Pump();
            if (FAbort)
                walk.Abort();
        };
        walk.AfterSubFolder = [&] {
            take();
            FireAfterRefresh(working);
        };
        const std::int64_t bytes = walk.Run(path);
        take();
        if (walk.Unreadable() > 0) {
            if (count.Unreadable == 0)
                count.FirstUnreadable = walk.FirstUnreadable();
            count.Unreadable += walk.Unreadable();
        }
        return bytes;
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
        else if (count.Unreadable > 0)
            // A total that leaves folders out is never shown as the answer.
            OnInfoList(FormatLangText(lang.nfo_CalcFolderSizeUnread,
                                      {Num(count.Folders), Num(count.Files), FormatSize(false, count.Bytes),
                                       count.FirstUnreadable}));
        else
            OnInfoList(FormatLangText(lang.nfo_CalcFolderSize, {Num(count.Folders), Num(count.Files),
                                                                FormatSize(false, count.Bytes)}));
    }
    FState = stateBefore;
    FAbort = true;
}

} // namespace ks
