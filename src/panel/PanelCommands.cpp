#include "panel/PanelCommands.h"

#include "foundation/Keys.h"
#include "foundation/Language.h"
#include "panel/KMYFILEPANEL.h"

namespace ks {

namespace {

bool IsDigitKey(int key) {
    return key >= VK_0 && key <= VK_0 + 9;
}

TPanelCommand Offset(TPanelCommand first, int n) {
    return static_cast<TPanelCommand>(first + n);
}

// The keys of each modifier; each key has at most one command there.
TPanelCommand PlainKeyCommand(int key, const TPanelKeyContext& context) {
    switch (key) {
    case VK_LEFT:
        return pcPageUp;
    case VK_RIGHT:
        return pcPageDown;
    case VK_RETURN:
        return pcOpenItem;
    case VK_BACK:
        return context.BackspaceUp ? pcUpFolder : pcNone;
    case VK_INSERT:
        return pcToggleMarkDown;
    case VK_SPACE:
        return pcToggleMarkCount;
    case VK_MULTIPLY:
        return pcInvertMarks;
    case VK_ADD:
        return pcSelectByMask;
    case VK_SUBTRACT:
        return pcDeselectByMask;
    case VK_F(3):
        return pcViewOrCount;
    case VK_F(8):
        return pcDelete;
    case VK_DELETE:
        return context.DelKeyDeletes ? pcDelete : pcNone;
    default:
        return pcNone;
    }
}

TPanelCommand CtrlKeyCommand(int key) {
    if (IsDigitKey(key))
        return Offset(pcSaveFolder0, key - VK_0);
    switch (key) {
    case VK_PRIOR:
        return pcUpFolder;
    case VK_LEFT:
        return pcPreviousDrive;
    case VK_RIGHT:
        return pcNextDrive;
    case VK_OEM_5:
        return pcRootFolder;
    case VK_INSERT:
        return pcCopyName;
    case VK_F(1):
        return pcSortByName;
    case VK_F(2):
        return pcSortByExt;
    case VK_F(3):
        return pcSortBySize;
    case VK_F(6):
        return pcToggleFolderFirst;
    case VK_F(7):
        return pcToggleExecutableFirst;
    case VK_LETTER('F'):
        return pcConnectFTP;
    case VK_LETTER('R'):
        return pcReread;
    case VK_LETTER('A'):
    case VK_ADD:
        return pcMarkAll;
    case VK_SUBTRACT:
        return pcUnmarkAll;
    case VK_LETTER('Q'):
        return pcCount;
    case VK_DELETE:
        return pcRemoveFromList;
    case VK_LETTER('S'):
        return pcSortList;
    default:
        return pcNone;
    }
}

TPanelCommand AltKeyCommand(int key) {
    if (IsDigitKey(key))
        return Offset(pcOpenFolder0, key - VK_0);
    if (key == VK_F(1))
        return pcDriveListLeft;
    if (key == VK_F(2))
        return pcDriveListRight;
    return pcNone;
}

TPanelCommand ShiftKeyCommand(int key) {
    if (key == VK_RETURN)
        return pcOpenItemAlternate;
    if (key == VK_F10)
        return pcPopUpMenu;
    return pcNone;
}

} // namespace

TPanelKeyAction MapPanelKey(int key, std::uint32_t shift, const TPanelKeyContext& context) {
    const std::uint32_t mods = Modifiers(shift);
    const bool ctrl = mods == ssCtrl;
    // Esc, the moves and the menu key take any modifiers; Ctrl turns Up and Down into scrolls,
    // and Ctrl+PageUp pages up before it goes to the parent folder.
    switch (key) {
    case VK_ESCAPE:
        return {pcAbort};
    case VK_UP:
        return {ctrl ? pcScrollUp : pcCursorUp};
    case VK_DOWN:
        return {ctrl ? pcScrollDown : pcCursorDown};
    case VK_PRIOR:
        return {pcPageUp, ctrl ? pcUpFolder : pcNone};
    case VK_NEXT:
        return {pcPageDown};
    case VK_HOME:
        return {pcCursorHome};
    case VK_END:
        return {pcCursorEnd};
    case VK_APPS:
        return {pcPopUpMenu};
    default:
        break;
    }
    switch (mods) {
    case ssNone:
        return {PlainKeyCommand(key, context)};
    case ssCtrl:
        return {CtrlKeyCommand(key)};
    case ssAlt:
        return {AltKeyCommand(key)};
    case ssShift:
        return {ShiftKeyCommand(key)};
    default:
        return {};
    }
}

bool PanelCommandAllowed(TPanelCommand command, const TPanelCommandContext& context) {
    if (command <= pcNone || command >= pcCommandCount)
        return false;
    switch (command) {
    case pcAbort:
    case pcCursorUp:
    case pcCursorDown:
    case pcScrollUp:
    case pcScrollDown:
    case pcPageUp:
    case pcPageDown:
    case pcCursorHome:
    case pcCursorEnd:
    case pcConnectFTP:
        return true;
    case pcViewOrCount:
    case pcCount:
        return !context.Busy && !context.CountDisabled;
    case pcDelete:
        return !context.Busy && !context.DeleteDisabled;
    default:
        // Saving a folder only writes its slot, so it runs while the panel works.
        if (command >= pcSaveFolder0 && command <= pcSaveFolder9)
            return true;
        return !context.Busy;
    }
}

void TKMYFILEPANEL::KeyDown(int key, std::uint32_t shift) {
    TPanelKeyContext context;
    context.BackspaceUp = Options.PanelBackspaceUp;
    context.DelKeyDeletes = Options.PanelDelKeyDeletes;
    const TPanelKeyAction action = MapPanelKey(key, shift, context);
    RunCommand(action.First);
    RunCommand(action.Then);
}

bool TKMYFILEPANEL::CommandAllowed(TPanelCommand command) const {
    TPanelCommandContext context;
    context.Busy = Busy();
    context.CountDisabled = Options.PanelCountDisabled;
    context.DeleteDisabled = Options.PanelDeleteDisabled;
    return PanelCommandAllowed(command, context);
}

void TKMYFILEPANEL::RunCommand(TPanelCommand command) {
    switch (command) {
    case pcNone:
    case pcCommandCount:
        return;
    case pcAbort:
        AbortOperation();
        return;
    case pcCursorUp:
        CursorUp();
        break;
    case pcCursorDown:
        CursorDown();
        break;
    case pcScrollUp:
        ScrollUp();
        break;
    case pcScrollDown:
        ScrollDown();
        break;
    case pcPageUp:
        PageUp();
        break;
    case pcPageDown:
        PageDown();
        break;
    case pcCursorHome:
        CursorHome();
        break;
    case pcCursorEnd:
        CursorEnd();
        break;
    case pcDriveListLeft:
    case pcDriveListRight:
        ShowDriveList(command == pcDriveListLeft);
        return;
    case pcConnectFTP:
        ConnectFTP();
        return;
    case pcPopUpMenu:
        ShowPopUpMenu();
        return;
    case pcOpenItem:
    case pcOpenItemAlternate:
        OpenItem(command == pcOpenItemAlternate);
        return;
    case pcUpFolder:
        OpenParentFolder();
        return;
    case pcRootFolder:
        OpenRootFolder();
        return;
    case pcPreviousDrive:
    case pcNextDrive:
        OpenNextDrive(command == pcNextDrive);
        return;
    case pcCopyName:
        CopyNameToClipboard();
        return;
    case pcSortByName:
        SetSortMode(1);
        return;
    case pcSortByExt:
        SetSortMode(2);
        return;
    case pcSortBySize:
        SetSortMode(3);
        return;
    case pcToggleFolderFirst:
        ToggleFolderFirst();
        return;
    case pcToggleExecutableFirst:
        ToggleExecutableFirst();
        return;
    case pcReread:
        Reread();
        return;
    case pcToggleMarkDown:
        ToggleMarkAndMoveDown();
        return;
    case pcToggleMarkCount:
        ToggleMarkAndCount();
        return;
    case pcInvertMarks:
        InvertMarks();
        return;
    case pcSelectByMask:
    case pcDeselectByMask:
        MarkByMask(command == pcSelectByMask ? stSelect : stDeselect);
        return;
    case pcMarkAll:
        MarkAll();
        return;
    case pcUnmarkAll:
        UnmarkAll();
        return;
    case pcViewOrCount:
        ViewOrCountSizes();
        return;
    case pcCount:
        CountItemSizes();
        return;
    case pcDelete:
        DeleteMarked();
        return;
    case pcRemoveFromList:
        RemoveMarkedFromList();
        return;
    case pcSortList:
        SortList();
        return;
    default:
        if (command >= pcSaveFolder0 && command <= pcSaveFolder9)
            SaveFolder(command - pcSaveFolder0);
        else if (command >= pcOpenFolder0 && command <= pcOpenFolder9)
            OpenSavedFolder(command - pcOpenFolder0);
        return;
    }
    // A move ends with the cursor rows repainted.
    RepaintCursor();
}

void TKMYFILEPANEL::AbortOperation() {
    FAbort = true;
    if (FFtpWaiting)
        FFtpCancel = true;
}

void TKMYFILEPANEL::ShowDriveList(bool leftPanel) {
    const std::string wanted = leftPanel ? "LEFTPANEL" : "RIGHTPANEL";
    if (FOtherPanel != nullptr && FOtherPanel->FName == wanted) {
        if (FOtherPanel->FView != nullptr)
            FOtherPanel->FView->TakeFocus();
        FOtherPanel->GotFocus();
        FOtherPanel->ShowDriveList(leftPanel);
        return;
    }
    if (FName != wanted || !CommandAllowed(leftPanel ? pcDriveListLeft : pcDriveListRight))
        return;
    if (OnInfoList)
        OnInfoList(LangStrings().nfo_ChooseDrive);
    SetPanelType(ptDriveList);
    ReadPanel(false, true);
}

void TKMYFILEPANEL::ConnectFTP() {
    if (!CommandAllowed(pcConnectFTP) || !OnFTPConnections)
        return;
    // A session command of either panel is waiting: a connection now would run inside its wait.
    if (FFtpWaiting || (FOtherPanel != nullptr && FOtherPanel->FFtpWaiting))
        return;
    TKFtpConnection connection;
    connection.DisableFTP = true;
    OnFTPConnections(connection);
    if (connection.DisableFTP)
        return;
    FFtpConnection = connection;
    // Connecting again while connected starts a new session with the new server.
    if (FPanelType == ptFTP)
        CloseFtpSession();
    SetPanelType(ptFTP);
    ConnectFtpSession();
}

void TKMYFILEPANEL::SaveFolder(int slot) {
    if (slot < 0 || slot > 9 || !CommandAllowed(Offset(pcSaveFolder0, slot)))
        return;
    Options.SavedFolders[static_cast<std::size_t>(slot)] = FFolderItems.FPath;
    if (OnInfoList)
        OnInfoList(FormatLangText(LangStrings().nfo_FolderDefined,
                                  {std::string(1, static_cast<char>('0' + slot)), FFolderItems.FPath}));
}

void TKMYFILEPANEL::OpenSavedFolder(int slot) {
    if (slot < 0 || slot > 9 || !CommandAllowed(Offset(pcOpenFolder0, slot)))
        return;
    SetPanelType(ptFolder);
    FFolderItems.FPath = Options.SavedFolders[static_cast<std::size_t>(slot)];
    ReadPanel(false, true);
}

void TKMYFILEPANEL::ShowPopUpMenu() {
    if (CommandAllowed(pcPopUpMenu) && OnPopUpMenu)
        OnPopUpMenu(0, 0, true);
}

void TKMYFILEPANEL::OpenItem(bool alternate) {
    if (CommandAllowed(alternate ? pcOpenItemAlternate : pcOpenItem))
        ExecuteItem(alternate);
}

void TKMYFILEPANEL::OpenParentFolder() {
    if (CommandAllowed(pcUpFolder) && FindItem("..", true) >= 0)
        ExecuteItem(false);
}

void TKMYFILEPANEL::OpenRootFolder() {
    if (CommandAllowed(pcRootFolder))
        GoToRoot();
}

void TKMYFILEPANEL::OpenNextDrive(bool forward) {
    if (CommandAllowed(forward ? pcNextDrive : pcPreviousDrive))
        SwitchDrive(forward);
}

void TKMYFILEPANEL::CopyNameToClipboard() {
    if (!CommandAllowed(pcCopyName))
        return;
    const TKITEMSSTRUC& h = *FItemsStruc;
    const TKFiles* item = h.FCurrentItem;
    if (item == nullptr || !HasPlatform())
        return;
    std::string text = item->Kind == ikUpFolder ? h.FPath : item->Caption();
    // An item-information line gives its value, not its heading.
    if (FPanelType == ptItemInfo)
        text = InfoText(*item);
    System().CopyTextToClipboard(text);
}

void TKMYFILEPANEL::SetSortMode(int sortMode) {
    const TPanelCommand command = sortMode == 1 ? pcSortByName : sortMode == 2 ? pcSortByExt : pcSortBySize;
    if (sortMode >= 1 && sortMode <= 3 && CommandAllowed(command))
        ChangeSortOption(sortMode, false, false);
}

void TKMYFILEPANEL::ToggleFolderFirst() {
    if (CommandAllowed(pcToggleFolderFirst))
        ChangeSortOption(0, true, false);
}

void TKMYFILEPANEL::ToggleExecutableFirst() {
    if (CommandAllowed(pcToggleExecutableFirst))
        ChangeSortOption(0, false, true);
}

void TKMYFILEPANEL::Reread() {
    if (CommandAllowed(pcReread))
        ReadPanel(true, true);
}

void TKMYFILEPANEL::ToggleMarkAndMoveDown() {
    if (CommandAllowed(pcToggleMarkDown))
        MarkItems("", mmToggle, MarkCursorItem, true, true);
}

void TKMYFILEPANEL::ToggleMarkAndCount() {
    if (!CommandAllowed(pcToggleMarkCount))
        return;
    MarkItems("", mmToggle, MarkCursorItem, true, false);
    const TKFiles* item = FItemsStruc->FCurrentItem;
    if (item != nullptr && item->Marked && item->Kind == ikFolder &&
        (FPanelType == ptFolder || FPanelType == ptFindResult) && !Options.PanelCountDisabled)
        CountSizes();
}

void TKMYFILEPANEL::InvertMarks() {
    if (CommandAllowed(pcInvertMarks))
        MarkItems("*.*", mmToggle, MarkMatchingItems, true, false);
}

void TKMYFILEPANEL::MarkByMask(TKSelectType operation) {
    if (!CommandAllowed(operation == stSelect ? pcSelectByMask : pcDeselectByMask))
        return;
    std::string mask = "*.*";
    if (OnGetMaskForSelect)
        OnGetMaskForSelect(operation, mask);
    if (!mask.empty())
        MarkItems(mask, operation == stSelect ? mmMark : mmUnmark, MarkMatchingItems, true, false);
}

void TKMYFILEPANEL::MarkAll() {
    if (CommandAllowed(pcMarkAll))
        MarkItems("*.*", mmMark, MarkMatchingItems, true, false);
}

void TKMYFILEPANEL::UnmarkAll() {
    if (CommandAllowed(pcUnmarkAll))
        MarkItems("*.*", mmUnmark, MarkMatchingItems, true, false);
}

void TKMYFILEPANEL::ViewOrCountSizes() {
    if (!CommandAllowed(pcViewOrCount))
        return;
    bool runIt = true;
    if (OnCalcDirSizeCallBack)
        OnCalcDirSizeCallBack(runIt);
    if (runIt)
        CountSizes();
}

void TKMYFILEPANEL::CountItemSizes() {
    if (CommandAllowed(pcCount))
        CountSizes();
}

void TKMYFILEPANEL::DeleteMarked() {
    if (CommandAllowed(pcDelete))
        DeleteItems();
}

void TKMYFILEPANEL::RemoveMarkedFromList() {
    if (CommandAllowed(pcRemoveFromList))
        RemoveFromList();
}

void TKMYFILEPANEL::SortList() {
    if (!CommandAllowed(pcSortList))
        return;
    SortItems();
    if (OnShowSortedStatus)
        OnShowSortedStatus();
    RepaintAll();
}

} // namespace ks
