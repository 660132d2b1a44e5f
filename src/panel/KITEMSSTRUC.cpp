#include "panel/KITEMSSTRUC.h"

namespace ks {

namespace {
const std::string EmptyText;
} // namespace

TKFilesExtra& TKFiles::Extras() {
    if (!Extra)
        Extra = std::make_unique<TKFilesExtra>();
    return *Extra;
}

const std::string& TKFiles::Folder() const {
    return Extra ? Extra->Folder : EmptyText;
}

const std::string& TKFiles::Caption() const {
    return Extra && Extra->HasCaption ? Extra->Caption : Name;
}

void TKFiles::SetCaption(std::string caption) {
    if (caption == Name && !Extra)
        return;
    Extras().Caption = std::move(caption);
    Extra->HasCaption = true;
}

void TKFiles::SetInfo(std::string info) {
    Extras().Info = std::move(info);
    Extra->HasInfo = true;
}

void TKFiles::SetFolder(std::string folder) {
    Extras().Folder = std::move(folder);
}

TKITEMSSTRUC::TKITEMSSTRUC(std::string path) : FPath(std::move(path)) {
    SetItemIndex(0);
}

TKFiles* TKITEMSSTRUC::GetFileItem(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return FItems[static_cast<std::size_t>(index)].get();
}

void TKITEMSSTRUC::SetItemIndex(int index) {
    FItemIndex = index;
    FCurrentItem = GetFileItem(index);
    if (OnCursorChange)
        OnCursorChange(false);
}

void TKITEMSSTRUC::ClearItems(bool home) {
    FItems.clear();
    FCurrentItem = nullptr;
    FMarkedCount = 0;
    FMarkedSize = 0;
    if (home && OnCursorHome)
        OnCursorHome();
    if (OnCursorChange)
        OnCursorChange(true);
}

void TKITEMSSTRUC::MarkItem(TKFiles* item, int mode) {
    if (item == nullptr || item->Kind == ikUpFolder)
        return;
    if (mode == 2)
        mode = item->Marked ? 1 : 0;
    if (mode == 0 && !item->Marked) {
        item->Marked = true;
        FMarkedSize += item->Size;
        ++FMarkedCount;
    } else if (mode == 1 && item->Marked) {
        item->Marked = false;
        FMarkedSize -= item->Size;
        --FMarkedCount;
    }
}

void TKITEMSSTRUC::RecountTotals() {
    FMarkedCount = 0;
    FMarkedSize = 0;
    for (const auto& item : FItems) {
        if (item->Marked) {
            ++FMarkedCount;
            FMarkedSize += item->Size;
        }
    }
}

} // namespace ks
