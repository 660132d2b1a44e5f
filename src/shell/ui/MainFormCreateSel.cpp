#include "shell/ui/MainForm.h"

#include "controls/MessageBox.h"
#include "fileops/CreateNew.h"
#include "fileops/ui/CreateNewForm.h"
#include "fileops/ui/SelectForm.h"
#include "foundation/Data.h"
#include "foundation/System.h"

namespace ks {

void TMainForm::CreateNewClick(bool textFile) {
    TKMYFILEPANEL& panel = *FActivePanel;
    const TKPanelType type = panel.PanelType();
    if ((type != ptFolder && type != ptFTP) || panel.Busy())
        return;
    const TCreateNewChoice choice =
        TCreateNewForm::Execute(FData.ComboHistories[chCreateNew], panel.GetPanelPath(), type == ptFTP,
                                textFile ? TCreateNewKind::cnTextFile : TCreateNewKind::cnFolder, this);
    // The panel may have become something else while the dialog was open (a lost connection).
    if (!choice.Create || panel.PanelType() != type || panel.Busy())
        return;
    if (!ValidNewItemName(choice.Name)) {
        Ask(CreateNewBadNameText(choice.Name), miExclamation, mbOK, 2);
        return;
    }

    if (type == ptFTP) {
        // The panel answers a lost connection or a time-out itself; a refused MKD is told here
        // with the server's own words.
        const Result<void> made =
            panel.RunFtp([&choice](TKRemoteSession& session) { return session.MakeFolder(choice.Name); });
        if (!made) {
            if (made.error().Code == TErrorCode::ecRefused && panel.PanelType() == ptFTP)
                Ask(made.error().Detail, miExclamation, mbOK, 2);
            return;
        }
        panel.ReadPanel(false, true);
        panel.FindItem(choice.Name, true);
        WriteState();
        return;
    }

    const TCreateNewOutcome outcome =
        CreateNewItem(FileSystem(), panel.FFolderItems.FPath, choice.Name, choice.Kind);
    panel.ReadPanel(false, true);
    const int index = panel.FindItem(choice.Name, true);
    WriteState();
    if (outcome.State == TCreateNewOutcome::csFailed) {
        Ask(outcome.Message, miExclamation, mbOK, 2);
        return;
    }
    // A new or existing text file opens in the editor, so the user can start writing.
    if (choice.Kind == TCreateNewKind::cnTextFile && index >= 0)
        OpenInEditor(false);
}

void TMainForm::GetMaskForSelect(TKSelectType& operation, std::string& mask) {
    TSelectForm::Execute(FData.ComboHistories[chSelect], operation, mask, this);
    WriteState();
}

} // namespace ks
