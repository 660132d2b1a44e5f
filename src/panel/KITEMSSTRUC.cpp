#include "panel/KITEMSSTRUC.h"

#include "foundation/DELTA9.h"

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
    if (mode == mmToggle)
        mode = item->Marked ? mmUnmark : mmMark;
    if (mode == mmMark && !item->Marked) {
        item->Marked = true;
        FMarkedSize += item->Size;
        ++FMarkedCount;
    } else if (mode == mmUnmark && item->Marked) {
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

int TKITEMSSTRUC::FindIndex(std::string_view name, bool byCaption) const {
    for (int i = 0; i < Count(); ++i) {
        const TKFiles& item = *FItems[static_cast<std::size_t>(i)];
        if ((byCaption ? item.Caption() : item.Name) == name)
            return i;
    }
    return -1;
}

int TKITEMSSTRUC::FindBestIndex(std::string_view name) const {
    if (name.empty())
        return -1;
    const std::string wanted = UpperCase(name);
    int best = -1;
    std::size_t bestLength = 0;
    for (int i = 0; i < Count(); ++i) {
        const std::string caption = UpperCase(FItems[static_cast<std::size_t>(i)]->Caption());
        if (caption == wanted)
            return i;
        std::size_t common = 0;
        while (common < caption.size() && common < wanted.size() && caption[common] == wanted[common])
            ++common;
        if (common > bestLength) {
            best = i;
            bestLength = common;
        }
    }
    return best;
}

} // namespace ks
