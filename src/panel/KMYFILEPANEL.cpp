#include "panel/KMYFILEPANEL.h"

#include "controls/MessageBox.h"

namespace ks {

TKMYFILEPANEL::TKMYFILEPANEL(TPanelOptions& options, TKPanelView* view,
                             std::unique_ptr<TKFileWatchBackend> watchBackend,
                             std::function<void(std::function<void()>)> post)
    : Options(options), FView(view) {
    FLoading = true;
    // Cursor moves report the new item unless the panel is quiet; a cleared list always does.
    for (TKITEMSSTRUC* holder : {&FFolderItems, &FInfoItems, &FFindItems}) {
        holder->FPath = AddBackslash(HasPlatform() ? System().HomeDir() : std::string("/"));
        holder->OnCursorChange = [this](bool forced) {
            if (forced || !Quiet())
                FireAfterChange(acItem, GetItemInfo());
        };
        holder->OnCursorHome = [this] { CursorHome(); };
    }
    if (watchBackend) {
        FWatcher = std::make_unique<TKFileWatcher>(std::move(watchBackend), std::move(post));
        FWatcher->SetNotifyFilter(
            TNotifyFilter{TFileSysNotify::FILE_NAME, TFileSysNotify::DIR_NAME, TFileSysNotify::SIZE});
        FWatcher->OnFileSysChange = [this](const std::string&) { WatcherChanged(); };
    }
    FLoading = false;
}

TKMYFILEPANEL::~TKMYFILEPANEL() = default;

void TKMYFILEPANEL::SetPanelType(TKPanelType value) {
    FPanelType = value;
}
void TKMYFILEPANEL::AddInfoLine(const std::string&, const std::string&, TKItemKind) {}
TKFiles* TKMYFILEPANEL::AddItem(const std::string&, const std::string&, TKItemKind, const std::string&,
                                std::int64_t, bool) {
    return nullptr;
}
TKFiles* TKMYFILEPANEL::AddSearchRecItem(TKITEMSSTRUC&, const TDirEntry&, bool) {
    return nullptr;
}
void TKMYFILEPANEL::DeleteItem(int) {}
int TKMYFILEPANEL::FindItem(const std::string&, bool) {
    return -1;
}
int TKMYFILEPANEL::FindBestItem(const std::string&, bool) {
    return -1;
}
std::string TKMYFILEPANEL::ItemFolder(int) const {
    return {};
}
std::string TKMYFILEPANEL::ItemFullName(int) const {
    return {};
}
void TKMYFILEPANEL::RecountMarked() {}
std::string TKMYFILEPANEL::GetItemInfo() const {
    return {};
}
std::string TKMYFILEPANEL::GetPanelPath() const {
    return {};
}
std::string TKMYFILEPANEL::SizeText(const TKFiles&) const {
    return {};
}
std::string TKMYFILEPANEL::InfoText(const TKFiles&) const {
    return {};
}
std::string TKMYFILEPANEL::DateText(const TKFiles&) const {
    return {};
}
void TKMYFILEPANEL::OpenArchive(const std::string&) {}
void TKMYFILEPANEL::SortItems() {}
void TKMYFILEPANEL::MarkItem(TKFiles*, int) {}
void TKMYFILEPANEL::MarkItems(const std::string&, int, int, bool, bool) {}
void TKMYFILEPANEL::ChangeSortOption(int, bool, bool) {}
void TKMYFILEPANEL::RemoveFromList() {}
void TKMYFILEPANEL::FireAfterChange(TKAfterChange, const std::string&) {}
void TKMYFILEPANEL::FireAfterRefresh(const std::string&) {}
void TKMYFILEPANEL::RepaintCursor() {}
void TKMYFILEPANEL::RepaintAll() {}
void TKMYFILEPANEL::Pump() {}
int TKMYFILEPANEL::Ask(const std::string&, int, int, int) {
    return 0;
}

} // namespace ks
