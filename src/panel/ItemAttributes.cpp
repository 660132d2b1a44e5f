#include "panel/ItemAttributes.h"

#include "foundation/FileSystem.h"
#include "panel/KMYFILEPANEL.h"

namespace ks {

TAttrBoxes InitialAttrBoxes(const std::vector<std::uint32_t>& attrs) {
    TAttrBoxes boxes{TAttrBoxState::abClear, TAttrBoxState::abClear, TAttrBoxState::abClear,
                     TAttrBoxState::abClear};
    if (attrs.empty())
        return boxes;
    const std::uint32_t reference = attrs.front();
    std::uint32_t differing = 0;
    for (const std::uint32_t attr : attrs)
        differing |= attr ^ reference;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::uint32_t bit = AttrBoxBits[i];
        if ((differing & bit) != 0)
            boxes[i] = TAttrBoxState::abGrayed;
        else if ((reference & bit) != 0)
            boxes[i] = TAttrBoxState::abSet;
    }
    return boxes;
}

std::uint32_t ApplyAttrBoxes(std::uint32_t attr, const TAttrBoxes& boxes) {
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i] == TAttrBoxState::abSet)
            attr |= AttrBoxBits[i];
        else if (boxes[i] == TAttrBoxState::abClear)
            attr &= ~AttrBoxBits[i];
    }
    return attr;
}

std::vector<TAttrItem> AttributeItems(const TKMYFILEPANEL& panel) {
    std::vector<TAttrItem> items;
    const TKPanelType type = panel.PanelType();
    if (type != ptFolder && type != ptFindResult)
        return items;
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    const auto take = [&](int index) {
        const TKFiles* item = list.GetFileItem(index);
        if (item == nullptr || item->Kind == ikUpFolder || item->Kind == ikDrive)
            return;
        items.push_back({panel.ItemFullName(index), item->Attr});
    };
    if (list.FMarkedCount == 0) {
        take(list.FItemIndex);
        return items;
    }
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetFileItem(i)->Marked)
            take(i);
    return items;
}

namespace {

// Applies the change to one entry of folder; false when anything of it failed.
bool ChangeEntry(TKFolder& folder, const std::string& name, const TAttrItem& item,
                 const TAttrChange& change) {
    // The entry as it is now, not as it was listed: bits the dialog does not show stay as they are.
    Result<TFileInfo> info = folder.Info(name);
    if (!info)
        return false;
    bool ok = true;
    // A grayed read-only box leaves the mode alone altogether, whatever the listing said.
    if (info->Type != TEntryType::etLink && change.Boxes[0] != TAttrBoxState::abGrayed) {
        const std::uint32_t attr = ApplyAttrBoxes(item.Attr, change.Boxes);
        const std::uint32_t mode =
            (attr & AttrReadOnly) != 0 ? info->Mode & ~ModeOwnerWrite : info->Mode | ModeOwnerWrite;
        if (mode != info->Mode && !folder.SetMode(name, mode))
            ok = false;
    }
    if (change.ModifyTimeNs && !folder.SetTimes(name, info->AccessTimeNs, *change.ModifyTimeNs))
        ok = false;
    return ok;
}

} // namespace

std::vector<std::string> ChangeItemAttributes(TKFileSystem& fileSystem, const std::vector<TAttrItem>& items,
                                              const TAttrChange& change) {
    std::vector<std::string> failed;
    for (const TAttrItem& item : items) {
        Result<TFolderEntry> entry = OpenEntryFolder(fileSystem, item.FullName);
        if (!entry || !ChangeEntry(*entry->Folder, entry->Name, item, change))
            failed.push_back(item.FullName);
    }
    return failed;
}

} // namespace ks
