#include "shell/ui/MainForm.h"

#include "fileops/ui/CompareForm.h"
#include "fileops/ui/CreateShortcutForm.h"

#include <optional>
#include <utility>

namespace ks {

void TMainForm::ComparePanelsClick() {
    TKMYFILEPANEL& panel = *FActivePanel;
    if (panel.Busy())
        return;
    if (const std::optional<TCompareOptions> options = TCompareForm::Execute(this))
        panel.ComparePanels(*options);
}

void TMainForm::CreateShortcutClick() {
    TKMYFILEPANEL& panel = *FActivePanel;
    if (panel.PanelType() != ptFolder && panel.PanelType() != ptFindResult)
        return;
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    const TKFiles* current = list.FCurrentItem;
    std::optional<TShortcutItem> item;
    if (current != nullptr && current->Kind != ikUpFolder && current->Kind != ikDrive)
        item = TShortcutItem{panel.ItemFullName(list.FItemIndex), current->Name,
                             current->Kind == ikFile && current->IsExecutable};
    const TKMYFILEPANEL& other = &panel == FLeft.get() ? *FRight : *FLeft;
    if (!TCreateShortcutForm::Execute(std::move(item), other.FFolderItems.FPath, this))
        return;
    // A shortcut written into a panel's folder shows there at once.
    for (TKMYFILEPANEL* shown : {FLeft.get(), FRight.get()})
        if (shown->PanelType() == ptFolder)
            shown->ReadPanel(true, true);
}

} // namespace ks
