#include "shell/ui/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPixmap>

#include <initializer_list>

#include "controls/ui/TranslateForm.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Keys.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "foundation/ui/SkinBitmap.h"
#include "panel/ui/PanelWidget.h"
#include "shell/ui/AboutForm.h"
#include "shell/ui/UserModeForm.h"

namespace ks {

namespace {

// The first of names that PATH has, as a full name.
std::string FindOnPath(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (std::string found = System().FindProgram(name); !found.empty())
            return found;
    return {};
}

} // namespace

void TMainForm::BuildMenu() {
    Menu = new QMenu(this);
    Menu->setObjectName("Menu");
    // The menu wears the program's dark look; the submenus are its children and follow.
    Menu->setStyleSheet(QStringLiteral(
        "QMenu { background: #1e2229; color: #dadde2; border: 1px solid #454c58; padding: 3px 0px; }"
        "QMenu::item { padding: 4px 24px 4px 22px; }"
        "QMenu::item:selected { background: #3e74be; color: #ffffff; }"
        "QMenu::item:disabled { color: #646a75; }"
        "QMenu::separator { height: 1px; background: #3a414c; margin: 3px 8px; }"
        "QMenu::indicator { width: 11px; height: 11px; left: 6px; border: 1px solid #8a93a3; background: "
        "#161a20; }"
        "QMenu::indicator:checked { background: #3e74be; border: 1px solid #a8c4ea; }"));
    std::map<std::string_view, QMenu*> submenus;
    const auto& entries = MainMenuEntries();
    FEntryActions.assign(entries.size(), nullptr);
    auto* radios = new QActionGroup(Menu);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TMenuEntry& entry = entries[i];
        QMenu* parentMenu = Menu;
        if (!entry.Parent.empty())
            if (auto found = submenus.find(entry.Parent); found != submenus.end())
                parentMenu = found->second;
        QAction* action = nullptr;
        if (entry.Kind == mkSubmenu) {
            QMenu* sub = parentMenu->addMenu(QString::fromUtf8(entry.Caption.data(), entry.Caption.size()));
            sub->setObjectName(QString::fromUtf8(entry.Name.data(), entry.Name.size()));
            submenus[entry.Name] = sub;
            action = sub->menuAction();
        } else if (entry.Kind == mkSeparator) {
            action = parentMenu->addSeparator();
            action->setObjectName(QString::fromUtf8(entry.Name.data(), entry.Name.size()));
        } else {
            action = new QAction(QString::fromUtf8(entry.Caption.data(), entry.Caption.size()), parentMenu);
            action->setObjectName(QString::fromUtf8(entry.Name.data(), entry.Name.size()));
            parentMenu->addAction(action);
            if (entry.Kind == mkRadio || entry.Kind == mkToggle)
                action->setCheckable(true);
            if (entry.Kind == mkRadio)
                radios->addAction(action);
            if (entry.Default) {
                QFont bold = action->font();
                bold.setBold(true);
                action->setFont(bold);
            }
            const TMainCommand command = entry.Command;
            connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
            FActions[command] = action;
        }
        FEntryActions[i] = action;
    }
}

QAction* TMainForm::Action(TMainCommand command) const {
    const auto found = FActions.find(command);
    return found == FActions.end() ? nullptr : found->second;
}

std::string TMainForm::ViewerPath() const {
    if (!FViewerPath) {
        const std::string path = FData.AppPath + "tview";
        FViewerPath = FileSystem().Exists(path) ? path : std::string();
    }
    return *FViewerPath;
}

std::string TMainForm::ToolPath(TMainCommand command) const {
    // PATH is searched once per tool: the menu asks on every opening and before every command.
    auto& cached = FToolPaths[static_cast<std::size_t>(command)];
    if (!cached)
        cached = FindTool(command);
    return *cached;
}

std::string TMainForm::FindTool(TMainCommand command) const {
    switch (command) {
    case cmCommandShell:
        return System().TerminalProgram();
    case cmControlPanel:
        return FindOnPath({"gnome-control-center", "systemsettings", "xfce4-settings-manager"});
    case cmControlPanelAppWiz:
        return FindOnPath({"gnome-software", "plasma-discover"});
    case cmDiskCleaner:
        return FindOnPath({"baobab", "filelight"});
    case cmDiskDefrag:
    case cmScanDisk:
        return FindOnPath({"gnome-disks"});
    case cmSystemWatcher:
        return FindOnPath({"gnome-system-monitor", "plasma-systemmonitor", "xfce4-taskmanager"});
    default:
        return {};
    }
}

TMenuContext TMainForm::MenuContext() const {
    TMenuContext context;
    const TKMYFILEPANEL& ap = *FActivePanel;
    const TKMYFILEPANEL& op = ap.FOtherPanel != nullptr ? *ap.FOtherPanel : ap;
    context.UserMode = FData.UserMode;
    context.ActiveType = ap.PanelType();
    context.OtherType = op.PanelType();
    context.ActiveHasItems = ap.FItemsStruc->Count() > 0;
    context.CursorKind =
        ap.FItemsStruc->FCurrentItem != nullptr ? ap.FItemsStruc->FCurrentItem->Kind : ikOther;
    context.FolderFirst = FOptions.PanelFolderFirst;
    context.ExecutableFirst = FOptions.PanelExecutableFirst;
    context.SortMode = FOptions.PanelSortMode;
    context.OtherShowsItemInfo = op.PanelType() == ptItemInfo;
    context.ViewerExists = !ViewerPath().empty();
    for (TMainCommand tool : {cmCommandShell, cmControlPanel, cmControlPanelAppWiz, cmDiskCleaner,
                              cmDiskDefrag, cmScanDisk, cmSystemWatcher})
        context.ToolFound[tool] = !ToolPath(tool).empty();
    return context;
}

void TMainForm::MenuPopup() {
    FMenuState = ComputeMenuState(MenuContext());
    FOptions.PanelCountDisabled = FMenuState.PanelCountDisabled;
    FOptions.PanelDeleteDisabled = FMenuState.PanelDeleteDisabled;
    const auto& entries = MainMenuEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QAction* action = FEntryActions[i];
        if (action == nullptr)
            continue;
        const TMenuEntry& entry = entries[i];
        if (entry.Command == cmNone) {
            if (i < FMenuState.EntryVisible.size())
                action->setVisible(FMenuState.EntryVisible[i]);
            continue;
        }
        action->setVisible(FMenuState.Visible[entry.Command]);
        action->setEnabled(FMenuState.Enabled[entry.Command]);
        if (action->isCheckable())
            action->setChecked(FMenuState.Checked[entry.Command]);
        // The shortcut is shown, not bound: the key map handles the keys.
        QString text = action->text();
        if (const auto tab = text.indexOf(u'\t'); tab >= 0)
            text.truncate(tab);
        if (entry.Command >= cmUserFolder1 && entry.Command <= cmUserFolder10) {
            const std::string& folder =
                FOptions.SavedFolders[static_cast<std::size_t>(entry.Command - cmUserFolder1)];
            if (!folder.empty()) {
                text = DecodeDisplay(folder);
                text.replace(u'&', QStringLiteral("&&"));
            }
        }
        if (!entry.Shortcut.empty())
            text += u'\t' + QString::fromUtf8(entry.Shortcut.data(), entry.Shortcut.size());
        action->setText(text);
    }
}

void TMainForm::PopupAt(QPoint global) {
    Menu->popup(global);
    WriteState();
}

void TMainForm::SelectActivePanel(const TKMYFILEPANEL* sender) {
    if (sender == FLeft.get())
        FActivePanel = FLeft.get();
    else if (sender == FRight.get() || FRight->FActive)
        FActivePanel = FRight.get();
    else
        FActivePanel = FLeft.get();
}

void TMainForm::RunCommand(TMainCommand command) {
    SelectActivePanel(nullptr);
    MenuPopup();
    if (command != cmPanelMenu && command != cmCreateNewFile) {
        if (command <= cmNone || command >= cmCommandCount || !FMenuState.Visible[command] ||
            !FMenuState.Enabled[command])
            return;
    }
    TKMYFILEPANEL& ap = *FActivePanel;
    TKMYFILEPANEL& op = OtherPanel(ap);
    switch (command) {
    case cmChangeLeftPanel:
        ap.SetPanelType(ptDriveList);
        ap.ReadPanel(false, true);
        break;
    case cmBrowsePath:
        BrowsePath();
        break;
    case cmRereadPanel:
        ap.ReadPanel(true, true);
        break;
    case cmShowFlyingMenu:
        if (TKRegistryStore* store = RegistryStore())
            SaveCheckBoxState(*store, ProgramKey, "SettingsShowFlyingMenu", true);
        ShowFlyingMenu(true);
        break;
    case cmSortFoldersFirst:
        ap.ChangeSortOption(0, true, false);
        break;
    case cmSortExeFirst:
        ap.ChangeSortOption(0, false, true);
        break;
    case cmSortByName:
        ap.ChangeSortOption(1, false, false);
        break;
    case cmSortByExt:
        ap.ChangeSortOption(2, false, false);
        break;
    case cmSortBySize:
        ap.ChangeSortOption(3, false, false);
        break;
    case cmSortItems:
        ap.SortList();
        break;
    case cmIExecuteFile:
        ap.OpenItem(false);
        break;
    case cmLocateItem:
        ap.OpenItem(true);
        break;
    case cmMoreInfo:
        MoreInfo();
        break;
    case cmCalculSizes:
        ap.CountItemSizes();
        break;
    case cmTextView:
        if (ap.FItemsStruc->FCurrentItem != nullptr && ap.FItemsStruc->FCurrentItem->Kind == ikFile)
            OpenInViewer();
        else
            ap.ViewOrCountSizes();
        break;
    case cmViewFile:
        OpenInEditor(false);
        break;
    case cmViewFileExt:
        OpenInEditor(true);
        break;
    case cmDeleteItems:
        ap.DeleteMarked();
        break;
    case cmRenameItem:
        RenameItemClick();
        break;
    case cmChangeFileAttributes:
        ChangeAttributesClick();
        break;
    case cmComparePanels:
        ComparePanelsClick();
        break;
    case cmCreateShortcut:
        CreateShortcutClick();
        break;
    case cmAddToArchive:
        AddToArchiveClick();
        break;
    case cmSelInvert:
        ap.ToggleMarkAndMoveDown();
        break;
    case cmSelSelectAll:
        ap.MarkAll();
        break;
    case cmSelUnselectAll:
        ap.UnmarkAll();
        break;
    case cmSelInvertAll:
        ap.InvertMarks();
        break;
    case cmSelSelectSome:
        ap.MarkByMask(stSelect);
        break;
    case cmSelUnSelectSome:
        ap.MarkByMask(stDeselect);
        break;
    case cmCreateNew:
        CreateNewClick(false);
        break;
    case cmCreateNewFile:
        CreateNewClick(true);
        break;
    case cmCCopy:
        FillItemClipboard(false);
        break;
    case cmCCut:
        FillItemClipboard(true);
        break;
    case cmCPaste:
        PasteItems();
        break;
    case cmCopyItems:
        CopyItemsClick(false);
        break;
    case cmMoveItems:
        CopyItemsClick(true);
        break;
    case cmShowBackOpWindow:
        ShowBackOpWindow();
        break;
    case cmFTP:
        ap.ConnectFTP();
        break;
    case cmCmdLineHistory:
        ShowCommandHistory();
        break;
    case cmFindFile:
        FindFilesClick();
        break;
    case cmTypePath:
        TypePanelPath();
        break;
    case cmShowFTPStatus:
        ShowFtpStatus();
        break;
    case cmCommandShell:
    case cmControlPanel:
    case cmControlPanelAppWiz:
    case cmDiskCleaner:
    case cmDiskDefrag:
    case cmScanDisk:
    case cmSystemWatcher:
        RunTool(command);
        break;
    case cmUserMode:
        ShowUserModeForm(FData.UserMode, this);
        MenuPopup();
        InfoList(nullptr, {});
        break;
    case cmAboutSable:
        ShowAboutForm(this);
        break;
    case cmMinimize:
        showMinimized();
        if (FServices.IconifyUnmanaged)
            FServices.IconifyUnmanaged(*this);
        break;
    case cmQuit:
        close();
        break;
    case cmPanelMenu:
        ap.ShowPopUpMenu();
        break;
    default:
        if (command >= cmUserFolder1 && command <= cmUserFolder10) {
            const std::string folder =
                FOptions.SavedFolders[static_cast<std::size_t>(command - cmUserFolder1)];
            if (!folder.empty())
                OpenFolder(ap, folder);
        }
        // Everything else belongs to work this build does not have; its entry is disabled.
        break;
    }
    (void)op;
    WriteState();
}

void TMainForm::OpenFolder(TKMYFILEPANEL& panel, const std::string& folder) {
    panel.SetPanelType(ptFolder);
    panel.FFolderItems.FPath = AddBackslash(folder);
    panel.ReadPanel(false, true);
}

void TMainForm::BrowsePath() {
    TKMYFILEPANEL& ap = *FActivePanel;
    const QString caption = DecodeLangText(CurrentLanguage().GetLangText("STR_BROWSE_USER_PATH"));
    const QString start = QString::fromLocal8Bit(ap.FFolderItems.FPath.c_str());
    QFileDialog dialog(this, caption.isEmpty() ? QStringLiteral("Browse path...") : caption, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    OpenFolder(ap, dialog.selectedFiles().front().toLocal8Bit().toStdString());
}

void TMainForm::RunTool(TMainCommand command) {
    const std::string program = ToolPath(command);
    if (!program.empty())
        System().RunProgram(program, "", AddBackslash(FActivePanel->FFolderItems.FPath));
}

void TMainForm::OpenInEditor(bool external) {
    TKMYFILEPANEL& ap = *FActivePanel;
    if (ap.FItemsStruc->FCurrentItem == nullptr || ap.FItemsStruc->FCurrentItem->Kind != ikFile)
        return;
    const std::string file = ap.ItemFullName(ap.FItemsStruc->FItemIndex);
    // Only a file on this disk is opened. An archive or FTP entry is known by its bare name,
    // which a program would look for in the wrong folder and might read as one of its options.
    if (file.empty() || file.front() != '/')
        return;
    std::string editor;
    if (external)
        editor = AutoSaveText("SettingsExternalEditorPath");
    if (editor.empty() || editor == " ")
        editor = FindOnPath({"gnome-text-editor", "gedit", "kate", "mousepad", "xed", "pluma", "featherpad"});
    if (editor.empty()) {
        // No known editor: the desktop opens the file with its own handler, also when the file
        // could be run itself (opening to edit never starts it).
        System().StartProgram("xdg-open", {file}, ap.ItemFolder(ap.FItemsStruc->FItemIndex));
        return;
    }
    // The editor setting is a program path picked in a file dialog, spaces and all, and the file
    // follows as one argument of its own; starting with "/", it cannot pass for an option.
    System().StartProgram(editor, {file}, ap.ItemFolder(ap.FItemsStruc->FItemIndex));
}

void TMainForm::OpenInViewer() {
    TKMYFILEPANEL& ap = *FActivePanel;
    const std::string viewer = ViewerPath();
    if (viewer.empty() || ap.FItemsStruc->FCurrentItem == nullptr)
        return;
    const std::string file = ap.ItemFullName(ap.FItemsStruc->FItemIndex);
    if (file.empty() || file.front() != '/')
        return;
    System().StartProgram(viewer, {file}, FData.AppPath);
}

void TMainForm::MoreInfo() {
    TKMYFILEPANEL& op = OtherPanel(*FActivePanel);
    TKPanelWidget* opWidget = &op == FLeft.get() ? LEFTPANEL : RIGHTPANEL;
    if (op.PanelType() == ptItemInfo) {
        opWidget->show();
        KImage->hide();
        ItemInfoTimer.stop();
        op.ShowItemInfo(false);
    } else {
        ItemInfoTimer.start();
        op.ShowItemInfo(true);
    }
}

void TMainForm::ItemInfoTick() {
    TKMYFILEPANEL& ap = *FActivePanel;
    TKMYFILEPANEL& op = OtherPanel(ap);
    if (op.PanelType() != ptItemInfo)
        return;
    TKPanelWidget* opWidget = &op == FLeft.get() ? LEFTPANEL : RIGHTPANEL;
    bool preview = false;
    const TKFiles* item = ap.FItemsStruc->FCurrentItem;
    if ((ap.PanelType() == ptFolder || ap.PanelType() == ptFindResult) && item != nullptr &&
        item->Kind == ikFile && CheckBox("SettingsShowImagePreview")) {
        const std::string ext = UpperCase(ExtractExt(item->Name));
        if (ext == "BMP" || ext == "JPG" || ext == "JPEG") {
            QImage picture;
            if (LoadSkinBitmap(ap.ItemFullName(ap.FItemsStruc->FItemIndex), picture) && !picture.isNull()) {
                const QRect area = opWidget->geometry();
                const TRect inner{0, 0, picture.width() - 1, picture.height() - 1};
                const TRect outer{0, 0, area.width() - 1, area.height() - 1};
                QImage shown = picture;
                if (picture.width() > area.width() || picture.height() > area.height()) {
                    const TRect fit = FitRect(inner, outer);
                    shown = picture.scaled(fit.Right - fit.Left + 1, fit.Bottom - fit.Top + 1,
                                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
                KImage->setGeometry(area);
                KImage->setPixmap(QPixmap::fromImage(shown));
                KImage->show();
                KImage->raise();
                opWidget->hide();
                preview = true;
            }
        }
    }
    if (!preview) {
        opWidget->show();
        KImage->hide();
    }
    op.ReadPanel(false, true);
}

void TMainForm::ShowSortedStatus() {
    const TLanguage& language = CurrentLanguage();
    const std::string folders = FOptions.PanelFolderFirst ? language.GetLangText("nfo_SortFoldersFirst") : "";
    const std::string exe = FOptions.PanelExecutableFirst ? language.GetLangText("nfo_SortExeFirst") : "";
    const char* byId = FOptions.PanelSortMode == 2   ? "nfo_SortByExte"
                       : FOptions.PanelSortMode == 3 ? "nfo_SortBySize"
                                                     : "nfo_SortByName";
    ShowInfo(
        FormatLangText(language.GetLangText("nfo_SortResult"), {folders, exe, language.GetLangText(byId)}));
}

} // namespace ks
