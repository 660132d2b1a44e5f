// The main window's find command: the find dialog for the active panel, whose search fills a
// find-results list.

#include "shell/ui/MainForm.h"

#include "fileops/ui/FindFilesForm.h"
#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"

namespace ks {

namespace {

constexpr std::string_view FindFilesKey = "Software\\delta9\\[sable!]\\findfiles";

} // namespace

void TMainForm::FindFilesClick() {
    TKMYFILEPANEL& panel = *FActivePanel;
    bool upperCase = CheckBox("FindFilesUpperCase", FindFilesKey);
    const std::string folder = panel.FFolderItems.FPath;
    const std::optional<TFindRequest> request =
        TFindFilesForm::Execute(FData.ComboHistories[chFind], FData.ComboHistories[chFindText], upperCase,
                                folder, System().DriveRoot(folder), this);
    if (TKRegistryStore* store = RegistryStore())
        SaveCheckBoxState(*store, FindFilesKey, "FindFilesUpperCase", upperCase);
    if (!request)
        return;
    // The case box makes the text search match case exactly.
    panel.FindFiles(request->SearchRoot, request->Masks, request->Text, request->UpperCase,
                    request->Recursive, request->SelectedOnly);
}

} // namespace ks
