#include "panel/Sorting.h"

#include <algorithm>
#include <cstdio>

#include "foundation/DELTA9.h"
#include "foundation/System.h"

namespace ks {

namespace {

char GroupOf(const TKFiles& item, const TPanelOptions& options) {
    if (item.Kind == ikUpFolder)
        return '0';
    char group = (item.Kind == ikFolder && options.PanelFolderFirst) ? '1' : '3';
    if (item.IsExecutable && options.PanelExecutableFirst)
        group = '2';
    return group;
}

std::string PadLeft(std::string text, std::size_t width) {
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

} // namespace

std::string SortKey(const TKFiles* item, const TPanelOptions& options) {
    if (item == nullptr)
        return {};
    std::string key(1, GroupOf(*item, options));
    switch (options.PanelSortMode) {
    case 2:
        key += PadLeft(UpperCase(ExtractExt(item->Name)), 4);
        break;
    case 3:
        key += PadLeft(std::to_string(item->Size), 15);
        break;
    default:
        break;
    }
    key += UpperCase(item->Name);
    return key;
}

void SortItems(TKITEMSSTRUC& list, const TPanelOptions& options) {
    if (list.Count() < 2)
        return;
    // Each key is built once; a stable sort keeps equal keys in their listed order.
    std::vector<std::pair<std::string, std::unique_ptr<TKFiles>>> keyed;
    keyed.reserve(list.FItems.size());
    for (auto& item : list.FItems) {
        std::string key = SortKey(item.get(), options);
        keyed.emplace_back(std::move(key), std::move(item));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        list.FItems[i] = std::move(keyed[i].second);
    list.FCurrentItem = list.GetFileItem(list.FItemIndex);
}

int SortedInsertIndex(const TKITEMSSTRUC& list, const TKFiles& item, const TPanelOptions& options) {
    const std::string key = SortKey(&item, options);
    // Binary search for the first greater key, the same place a front-to-back scan finds in a
    // sorted list.
    const auto it = std::upper_bound(list.FItems.begin(), list.FItems.end(), key,
                                     [&](const std::string& k, const std::unique_ptr<TKFiles>& other) {
                                         return k < SortKey(other.get(), options);
                                     });
    return static_cast<int>(it - list.FItems.begin());
}

void MarkMatching(TKITEMSSTRUC& list, std::string_view masks, int mode, bool driveList) {
    if (driveList && mode == mmToggle) {
        for (auto& item : list.FItems) {
            if (item->Kind == ikDrive && item->Attr == dtFixed)
                list.MarkItem(item.get(), mmMark);
        }
        return;
    }
    const std::string maskList(masks);
    const int fields = FieldCount(maskList, ';');
    for (auto& item : list.FItems) {
        for (int i = 0; i < fields; ++i) {
            const std::string mask = GetField(maskList, ';', i);
            if (!mask.empty() && MatchMask(item->Name, mask))
                list.MarkItem(item.get(), mode);
        }
    }
}

} // namespace ks
