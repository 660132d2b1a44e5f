#include "shell/ui/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRegion>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "controls/ui/DisplayWidget.h"
#include "controls/ui/MessageForm.h"
#include "controls/ui/TranslateForm.h"
#include "fileops/ui/DeleteFilesForm.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "foundation/Keys.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "foundation/ui/KeyMap.h"
#include "foundation/ui/SkinBitmap.h"
#include "panel/ui/PanelWidget.h"
#include "shell/ui/AboutForm.h"
#include "shell/ui/MenuForm.h"
#include "shell/ui/POSEditorForm.h"
#include "shell/ui/SplashForm.h"
#include "shell/ui/UserModeForm.h"

namespace ks {

namespace {

constexpr int TickInterval = 100;
constexpr int ItemInfoInterval = 100;
// The items the state report lists per panel.
constexpr std::size_t StateItemLimit = 300;

const std::string GraphicsKey = std::string(ProgramKey) + "\\graphics";

QColor ToQColor(TColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

QFont ToQFont(const TFontSpec& source) {
    QFont font(QString::fromStdString(source.Name));
    if (source.Height < 0)
        font.setPixelSize(-source.Height);
    else if (source.Size > 0)
        font.setPointSize(source.Size);
    font.setBold(source.Bold);
    font.setItalic(source.Italic);
    font.setUnderline(source.Underline);
    font.setStrikeOut(source.StrikeOut);
    return font;
}

QRect ToQRect(const TSkinRect& r) {
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

TSkinRect FromQRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

bool CheckBox(std::string_view name, std::string_view key = ProgramKey) {
    if (const TKRegistryStore* store = RegistryStore())
        return AutoSaveValue(*store, key, name) == "1";
    for (const auto& value : AutoSaveValues)
        if (value.Name == name)
            return value.Default == "1";
    return false;
}

std::string AutoSaveText(std::string_view name) {
    if (const TKRegistryStore* store = RegistryStore())
        return AutoSaveValue(*store, ProgramKey, name);
    return {};
}

std::string FindOnPath(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found.toStdString();
    }
    return {};
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

// The shape rectangles as a window region.
QRegion ShapeRegion(const TWindowShape& shape) {
    QRegion region;
    for (const TShapeRect& r : shape.Rects)
        region += QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    return region;
}

std::string LastFolderName(const std::string& path) {
    return LastPathPart(path);
}

} // namespace

// --- TKImageButton -----------------------------------------------------------------------------

TKImageButton::TKImageButton(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void TKImageButton::SetPictures(const QImage& normal, const QImage& hover) {
    FNormal = normal;
    FHover2 = hover.isNull() ? normal : hover;
    update();
}

void TKImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QImage& picture = FHover || FPressed ? FHover2 : FNormal;
    if (!picture.isNull())
        painter.drawImage(FPressed ? QPoint(1, 1) : QPoint(0, 0), picture);
}

void TKImageButton::enterEvent(QEnterEvent* /*event*/) {
    FHover = true;
    update();
}

void TKImageButton::leaveEvent(QEvent* /*event*/) {
    FHover = false;
    update();
}

void TKImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FPressed = true;
        update();
    }
}

void TKImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = FPressed;
    FPressed = false;
    update();
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick();
}

// --- construction ------------------------------------------------------------------------------

TMainForm::TMainForm(TMainFormServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FServices(std::move(services)),
      FData(*FServices.Data) {
    setObjectName("MainForm");
    setWindowTitle("kSable");
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(646, 470);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(9);
    setFont(font);
    // Hints on a warm yellow, as the program has always shown them.
    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, QColor(255, 210, 32));
    hints.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hints);

    auto post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    auto backend = [this] {
        return FServices.MakeWatchBackend ? FServices.MakeWatchBackend()
                                          : std::unique_ptr<TKFileWatchBackend>();
    };
    FLeft = std::make_unique<TKMYFILEPANEL>(FOptions, nullptr, backend(), post);
    FRight = std::make_unique<TKMYFILEPANEL>(FOptions, nullptr, backend(), post);
    FLeft->FName = "LEFTPANEL";
    FRight->FName = "RIGHTPANEL";
    // FormCreate: the panels wait for the first show before they list anything.
    FLeft->FLoading = true;
    FRight->FLoading = true;
    FActivePanel = FLeft.get();

    auto display = [this](const char* name, bool folder) {
        auto* widget = new TKDisplayWidget(this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->Model().SetIsFolder(folder);
        widget->SetTextDecoder([this](std::string_view bytes) { return DecodeDisplay(bytes); });
        return widget;
    };
    LEFTPINFO = display("LEFTPINFO", true);
    RIGHTPINFO = display("RIGHTPINFO", true);
    LEFTIINFO = display("LEFTIINFO", false);
    RIGHTIINFO = display("RIGHTIINFO", false);
    INFOLINE = display("INFOLINE", false);
    INFOLINE->SetEditable(true);
    INFOLINE->setFocusPolicy(Qt::NoFocus);
    INFOLINE->Model().OnShowEditor = [this](TKMYDISPLAY&, bool& showIt) { showIt = FCmdMode != 0; };
    INFOLINE->Model().OnChangeText = [this](TKMYDISPLAY&) { InfolineChangeText(); };

    LEFTPANEL = new TKPanelWidget(*FLeft, this);
    RIGHTPANEL = new TKPanelWidget(*FRight, this);
    LEFTPANEL->setObjectName("LEFTPANEL");
    RIGHTPANEL->setObjectName("RIGHTPANEL");
    const auto decoder = [](const std::string& bytes) { return DecodeLangText(bytes); };
    LEFTPANEL->SetTextDecoder(decoder);
    RIGHTPANEL->SetTextDecoder(decoder);
    ConnectPanel(*FLeft, LEFTPANEL, LEFTPINFO, LEFTIINFO);
    ConnectPanel(*FRight, RIGHTPANEL, RIGHTPINFO, RIGHTIINFO);

    // A click on a path line asks for the drive list of its panel.
    LEFTPINFO->installEventFilter(this);
    RIGHTPINFO->installEventFilter(this);

    BTNCLOSE = new TKImageButton(this);
    BTNMINI = new TKImageButton(this);
    BTNMENU = new TKImageButton(this);
    BTNCLOSE->setObjectName("BTNCLOSE");
    BTNMINI->setObjectName("BTNMINI");
    BTNMENU->setObjectName("BTNMENU");
    BTNCLOSE->OnClick = [this] { RunCommand(cmQuit); };
    BTNMINI->OnClick = [this] { RunCommand(cmMinimize); };
    BTNMENU->OnClick = [this] {
        MenuPopup();
        Menu->popup(BTNMENU->mapToGlobal(QPoint(0, BTNMENU->height())));
    };
    ImgMenu = new QLabel(this);
    ImgMenu->setObjectName("ImgMenu");
    KImage = new QLabel(this);
    KImage->setObjectName("KImage");
    KImage->setAlignment(Qt::AlignCenter);
    KImage->hide();

    BuildMenu();

    KMMTimer1Normal.setInterval(TickInterval);
    connect(&KMMTimer1Normal, &QTimer::timeout, this, [this] { Tick(); });
    ItemInfoTimer.setInterval(ItemInfoInterval);
    ItemInfoTimer.setSingleShot(true);
    connect(&ItemInfoTimer, &QTimer::timeout, this, [this] { ItemInfoTick(); });

    // Until the first show the panels keep still.
    FLeft->FWatching = false;
    FRight->FWatching = false;
}

TMainForm::~TMainForm() {
    KMMTimer1Normal.stop();
    ItemInfoTimer.stop();
    // The widgets paint the models: they go first.
    delete LEFTPANEL;
    delete RIGHTPANEL;
    LEFTPANEL = nullptr;
    RIGHTPANEL = nullptr;
    delete FFlyingMenu;
}

QString TMainForm::DecodeDisplay(std::string_view bytes) const {
    // Paths are the file system's bytes (UTF-8 here) while messages are language texts in the
    // pack's code page: a line that is valid UTF-8 is shown as such, anything else through the
    // language's decoder.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return DecodeLangText(std::string(bytes));
}

void TMainForm::ConnectPanel(TKMYFILEPANEL& panel, TKPanelWidget* widget, TKDisplayWidget* pathLine,
                             TKDisplayWidget* itemLine) {
    widget->installEventFilter(this);
    panel.OnAfterRefresh = [pathLine](const std::string& text) { pathLine->Model().SetCaption(text); };
    panel.OnAfterChange = [this, &panel, itemLine](TKAfterChange, const std::string& text) {
        itemLine->Model().SetCaption(text);
        if (OtherPanel(panel).PanelType() == ptItemInfo && !FClosing)
            ItemInfoTimer.start();
    };
    panel.OnInfoList = [this, &panel](const std::string& text) { InfoList(&panel, text); };
    panel.OnPopUpMenu = [this, &panel, widget](int x, int y, bool atOtherPanel) {
        SelectActivePanel(&panel);
        QWidget* at = atOtherPanel ? (widget == LEFTPANEL ? RIGHTPANEL : LEFTPANEL) : widget;
        MenuPopup();
        PopupAt(at->mapToGlobal(atOtherPanel ? QPoint(0, 0) : QPoint(x, y)));
    };
    panel.OnShowSortedStatus = [this] { ShowSortedStatus(); };
    // The select dialog comes with the find and select dialogs; until then nothing is selected.
    panel.OnGetMaskForSelect = [](TKSelectType&, std::string& mask) { mask.clear(); };
    panel.OnDeleteItems = [this, &panel](bool& del, bool& toRecycle, bool& eraseAllTracks) {
        const TDeleteChoice choice = ShowDeleteFilesForm(panel.PanelType() == ptArchive, this);
        del = choice.Delete;
        toRecycle = choice.ToRecycle;
        eraseAllTracks = choice.EraseAllTracks;
    };
    panel.OnCalcDirSizeCallBack = [this, &panel](bool& runIt) {
        const TKFiles* item = panel.FItemsStruc->FCurrentItem;
        if (item != nullptr && item->Kind == ikFile) {
            runIt = false;
            SelectActivePanel(&panel);
            OpenInViewer();
        }
    };
    panel.OnFTPConnections = [](TKFtpConnection& connection) { connection.DisableFTP = true; };
    panel.OnExecute_Browse = [this, &panel] {
        SelectActivePanel(&panel);
        BrowsePath();
    };
    panel.AskUser = [this](const std::string& text, int kind, int buttons, int defaultButton) {
        return Ask(text, kind, buttons, defaultButton);
    };
    panel.ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); };
    panel.KeyboardState = [] {
        return MapQtModifiers(QGuiApplication::queryKeyboardModifiers(), Qt::NoButton);
    };
}

int TMainForm::Ask(const std::string& text, int kind, int buttons, int defaultButton) {
    FLastMessageResult = -1;
    const int result = ShowMessageForm(text, kind, buttons, defaultButton, 0, this);
    FLastMessageResult = result;
    WriteState();
    return result;
}

// --- the menu ------------------------------------------------------------------------------------

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
    case cmCommandShell: {
        if (std::string found = FindOnPath({"x-terminal-emulator"}); !found.empty())
            return found;
        if (const char* terminal = std::getenv("TERMINAL"); terminal != nullptr && *terminal != '\0')
            if (std::string found = FindOnPath({terminal}); !found.empty())
                return found;
        return FindOnPath({"gnome-terminal", "konsole", "xfce4-terminal", "xterm"});
    }
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

// --- commands ----------------------------------------------------------------------------------

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
        ap.KeyDown(VK_LETTER('S'), ssCtrl);
        break;
    case cmIExecuteFile:
        ap.KeyDown(VK_RETURN, ssNone);
        break;
    case cmLocateItem:
        ap.KeyDown(VK_RETURN, ssShift);
        break;
    case cmMoreInfo:
        MoreInfo();
        break;
    case cmCalculSizes:
        ap.KeyDown(VK_LETTER('Q'), ssCtrl);
        break;
    case cmTextView:
        if (ap.FItemsStruc->FCurrentItem != nullptr && ap.FItemsStruc->FCurrentItem->Kind == ikFile)
            OpenInViewer();
        else
            ap.KeyDown(VK_F(3), ssNone);
        break;
    case cmViewFile:
        OpenInEditor(false);
        break;
    case cmViewFileExt:
        OpenInEditor(true);
        break;
    case cmDeleteItems:
        ap.KeyDown(VK_F(8), ssNone);
        break;
    case cmSelInvert:
        ap.KeyDown(VK_INSERT, ssNone);
        break;
    case cmSelSelectAll:
        ap.KeyDown(VK_ADD, ssCtrl);
        break;
    case cmSelUnselectAll:
        ap.KeyDown(VK_SUBTRACT, ssCtrl);
        break;
    case cmSelInvertAll:
        ap.KeyDown(VK_MULTIPLY, ssNone);
        break;
    case cmCCopy:
        FillItemClipboard(false);
        break;
    case cmCCut:
        FillItemClipboard(true);
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
        break;
    case cmQuit:
        close();
        break;
    case cmPanelMenu:
        ap.KeyDown(VK_F10, ssShift);
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
    panel.FFolderItems.FPath = WithSlash(folder);
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
        System().RunProgram(program, "", WithSlash(FActivePanel->FFolderItems.FPath));
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

void TMainForm::FillItemClipboard(bool cut) {
    TKMYFILEPANEL& ap = *FActivePanel;
    FClipItems.clear();
    FClipCut = cut;
    if (ap.FItemsStruc->Count() > 0 && ap.FItemsStruc->FMarkedCount == 0)
        ap.MarkItems("*.*", 0, -2, true, false);
    for (int i = 0; i < ap.FItemsStruc->Count(); ++i) {
        const TKFiles* item = ap.FItemsStruc->GetFileItem(i);
        if (item != nullptr && item->Marked && (item->Kind == ikFolder || item->Kind == ikFile))
            FClipItems.push_back(ap.ItemFullName(i));
    }
}

void TMainForm::MoreInfo() {
    TKMYFILEPANEL& op = OtherPanel(*FActivePanel);
    TKPanelWidget* opWidget = &op == FLeft.get() ? LEFTPANEL : RIGHTPANEL;
    if (op.PanelType() == ptItemInfo) {
        opWidget->show();
        KImage->hide();
        op.SetPanelType(ptFolder);
        ItemInfoTimer.stop();
    } else {
        op.SetPanelType(ptItemInfo);
        ItemInfoTimer.start();
    }
    op.ReadPanel(false, true);
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

// --- command line --------------------------------------------------------------------------------

void TMainForm::ShowInfo(const std::string& text) {
    INFOLINE->Model().SetCaption(text);
}

void TMainForm::InfoList(const TKMYFILEPANEL* sender, const std::string& text) {
    switch (FCmdMode) {
    case 1:
        ShowInfo("CMD> ");
        break;
    case 2:
        ShowInfo("LOC> ");
        break;
    default:
        if (text.empty())
            ShowInfo(text);
        else
            ShowInfo((sender == FRight.get() ? "R: " : "L: ") + text);
        break;
    }
}

void TMainForm::InfolineChangeText() {
    const bool empty = INFOLINE->Model().Text().empty();
    if (!empty && FCmdMode == 0)
        FCmdMode = 1;
    else if (empty && FCmdMode == 1)
        FCmdMode = 0;
    if (FCmdMode != 0)
        InfoList(nullptr, {});
    if (FCmdMode == 2 && !empty) {
        FActivePanel->FindBestItem(INFOLINE->Model().Text(), true);
        if (FActivePanel->FView != nullptr)
            FActivePanel->FView->RepaintCursor();
    }
    INFOLINE->update();
}

void TMainForm::TypeText(const std::string& text) {
    // Characters go in one by one, as if typed.
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        length = std::min(length, text.size() - i);
        const QString piece = DecodeDisplay(std::string_view(text).substr(i, length));
        for (const char32_t c : piece.toUcs4())
            if (c > 31)
                INFOLINE->Model().KeyPress(c);
        i += length;
    }
}

bool TMainForm::CommandLineKey(TKMYFILEPANEL& sender, int key, std::uint32_t shift) {
    TKMYDISPLAY& line = INFOLINE->Model();
    const std::uint32_t mods = shift & (ssShift | ssAlt | ssCtrl);
    const auto cursorName = [](const TKMYFILEPANEL& panel) {
        const TKFiles* item = panel.FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Caption() + " " : std::string();
    };
    if (mods == ssCtrl && key == VK_LETTER('E')) {
        if (!FData.History.empty()) {
            if (FHistoryIndex < 0 || FHistoryIndex >= static_cast<int>(FData.History.size()))
                FHistoryIndex = 0;
            line.ClearText();
            TypeText(FData.History[static_cast<std::size_t>(FHistoryIndex)]);
            FHistoryIndex = (FHistoryIndex + 1) % static_cast<int>(FData.History.size());
        }
        return true;
    }
    if (mods == ssShift && key == VK_INSERT) {
        TypeText(System().GetClipboardText());
        return true;
    }
    if (mods == ssCtrl && key == VK_INSERT) {
        const std::string selected = line.GetSelectedText();
        if (!selected.empty())
            System().CopyTextToClipboard(selected);
        return true;
    }
    if (mods == ssCtrl && key == VK_RETURN) {
        TypeText(cursorName(sender));
        return true;
    }
    if (mods == ssCtrl && (key == VK_OEM_4 || key == VK_OEM_6)) {
        TypeText(WithSlash((key == VK_OEM_4 ? *FLeft : *FRight).FFolderItems.FPath));
        return true;
    }
    if (mods == ssAlt && (key == VK_OEM_4 || key == VK_OEM_6)) {
        TypeText(cursorName(key == VK_OEM_4 ? *FLeft : *FRight));
        return true;
    }
    if (line.Text().empty())
        return false;
    switch (key) {
    case VK_BACK:
        return true; // the character arrives as typed text
    case VK_LEFT:
    case VK_RIGHT:
    case VK_SPACE:
    case VK_DELETE:
        line.PressKey(key, shift);
        return true;
    case VK_ESCAPE:
        if (sender.Busy())
            return false;
        FCmdMode = 0;
        line.PressKey(VK_ESCAPE, shift);
        line.ClearText();
        InfoList(nullptr, {});
        return true;
    default:
        return (mods == ssNone || mods == ssShift) &&
               ((key >= VK_LETTER('A') && key <= VK_LETTER('Z')) || (key >= VK_0 && key <= VK_0 + 9));
    }
}

void TMainForm::RunCommandLine() {
    const std::string text = INFOLINE->Model().Text();
    if (text.size() > 4 && std::find(FData.History.begin(), FData.History.end(), text) == FData.History.end())
        FData.History.insert(FData.History.begin(), text);
    FHistoryIndex = 0;
    std::string program, parameters;
    SplitCommandLine(text, program, parameters);
    INFOLINE->Model().ClearText();
    FCmdMode = 0;
    InfoList(nullptr, {});
    const std::string word = UpperCase(program);
    if (word == ".POSEDIT") {
        ShowPositionEditor();
        return;
    }
    if (word == ".LANGSAVE") {
        (void)CurrentLanguage().SaveLanguage();
        return;
    }
    std::string macro = program;
    if (!program.empty() && program[0] == '.' && ExpandPathMacro(macro)) {
        OpenFolder(*FActivePanel, macro);
        FActivePanel->CursorHome();
        return;
    }
    // The other dot commands (FTP, skin and language searches, session end) come with their
    // subsystems; they start nothing.
    if (!program.empty() && program[0] == '.')
        return;
    System().RunProgram(program, parameters, WithSlash(FActivePanel->FFolderItems.FPath));
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

// --- keys -----------------------------------------------------------------------------------------

bool TMainForm::PanelKeyDown(TKMYFILEPANEL& sender, int key, std::uint32_t shift, const QString& text) {
    SelectActivePanel(&sender);
    const std::uint32_t mods = shift & (ssShift | ssAlt | ssCtrl);
    FLastKeyDown = key;
    const bool letter = key >= VK_LETTER('A') && key <= VK_LETTER('Z');
    const bool digit = key >= VK_0 && key <= VK_0 + 9 && !FLastKeyPad;
    const bool dot = text == QStringLiteral(".");

    // Locate mode ends on any key that cannot be part of a name; the key goes on.
    if (FCmdMode == 2 && !(key == VK_BACK || letter || digit || dot)) {
        FCmdMode = 0;
        INFOLINE->Model().ClearText();
        InfolineChangeText();
        InfoList(nullptr, {});
    }
    if (key == VK_RETURN && mods == ssNone && !INFOLINE->Model().Text().empty() && !sender.Busy()) {
        RunCommandLine();
        return true;
    }
    if (dot && !INFOLINE->Model().Text().empty())
        return true;
    if (digit && (mods == ssNone || mods == ssShift) && !INFOLINE->Model().Text().empty())
        return true;

    TKeyContext context;
    context.ActiveBusy = sender.Busy();
    context.CommandLineHasText = !INFOLINE->Model().Text().empty();
    context.LocateMode = FCmdMode == 2;
    context.CursorOnFile =
        sender.FItemsStruc->FCurrentItem != nullptr && sender.FItemsStruc->FCurrentItem->Kind == ikFile;
    context.ExternalEditor = CheckBox("SettingsExternalEditor");
    const TKeyAction action = MapMainKey(key, shift, context);
    switch (action.Target) {
    case ktCommandLine:
        if (CommandLineKey(sender, key, shift))
            return true;
        break;
    case ktCommand:
        if (action.Command == cmTextView) {
            // F3 on a file always views it, whatever the menu shows: viewing changes nothing.
            OpenInViewer();
            return true;
        }
        RunCommand(action.Command);
        return true;
    case ktPanel:
        break;
    }
    return false;
}

void TMainForm::PanelKeyPress(TKMYFILEPANEL& sender, const QString& text) {
    if (text.isEmpty())
        return;
    const char32_t c = text.toUcs4().value(0);
    if (sender.PanelType() == ptDriveList) {
        // A letter opens the first mounted file system whose folder name starts with it.
        if (c < 128 && std::isalpha(static_cast<int>(c))) {
            const char wanted = static_cast<char>(std::toupper(static_cast<int>(c)));
            for (int i = 0; i < sender.FItemsStruc->Count(); ++i) {
                const TKFiles* item = sender.FItemsStruc->GetFileItem(i);
                if (item == nullptr || item->Kind != ikDrive)
                    continue;
                const std::string name = LastFolderName(item->Name);
                if (!name.empty() && std::toupper(static_cast<unsigned char>(name[0])) == wanted) {
                    sender.FItemsStruc->SetItemIndex(i);
                    sender.ExecuteItem(false);
                    break;
                }
            }
        }
        return;
    }
    TKMYDISPLAY& line = INFOLINE->Model();
    if (line.Text().empty() && FLastKeyDown == VK_SPACE)
        return;
    if (FLastKeyPad)
        return;
    if (c == 8 || c == 127) {
        if (!line.Text().empty())
            line.KeyPress(c);
        return;
    }
    if (c > 31)
        line.KeyPress(c);
}

void TMainForm::PanelKeyUp(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (qtKey == Qt::Key_Alt && (modifiers & ~Qt::AltModifier) == Qt::NoModifier && FAltAlone) {
        FCmdMode = FCmdMode == 2 ? 1 : 2;
        InfolineChangeText();
        if (FCmdMode == 0)
            InfoList(nullptr, {});
    }
    FAltAlone = false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LEFTPINFO || watched == RIGHTPINFO) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            SelectActivePanel(nullptr);
            FActivePanel->KeyDown(VK_F(watched == LEFTPINFO ? 1 : 2), ssAlt);
            WriteState();
            return true;
        }
        return false;
    }
    if (watched != LEFTPANEL && watched != RIGHTPANEL)
        return false;
    TKMYFILEPANEL& sender = watched == LEFTPANEL ? *FLeft : *FRight;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Every key belongs to the panels and the command line: none is a shortcut.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        FAltAlone =
            keyEvent->key() == Qt::Key_Alt && (keyEvent->modifiers() & ~Qt::AltModifier) == Qt::NoModifier;
        FLastKeyPad = (keyEvent->modifiers() & Qt::KeypadModifier) != 0 &&
                      (keyEvent->key() == Qt::Key_Asterisk || keyEvent->key() == Qt::Key_Plus ||
                       keyEvent->key() == Qt::Key_Minus || keyEvent->key() == Qt::Key_Comma);
        if ((keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab) &&
            (keyEvent->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) == 0) {
            // Tab moves the keyboard, and with it the commands, to the other panel.
            TKPanelWidget* other = watched == LEFTPANEL ? RIGHTPANEL : LEFTPANEL;
            if (other->isVisible())
                other->setFocus(Qt::TabFocusReason);
            SelectActivePanel(&OtherPanel(sender));
            WriteState();
            return true;
        }
        const int key = MapQtKey(*keyEvent);
        const std::uint32_t shift = MapQtModifiers(keyEvent->modifiers(), QApplication::mouseButtons());
        bool used = false;
        if (key != 0)
            used = PanelKeyDown(sender, key, shift, keyEvent->text());
        if (!used && key != 0)
            sender.KeyDown(key, shift);
        // Alt and Ctrl combinations type nothing.
        QString text = keyEvent->text();
        if ((keyEvent->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) != 0)
            text = key == VK_BACK && (keyEvent->modifiers() & Qt::ControlModifier) ? QString(QChar(127))
                                                                                   : QString();
        PanelKeyPress(sender, text);
        WriteState();
        return true;
    }
    case QEvent::KeyRelease: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (!keyEvent->isAutoRepeat())
            PanelKeyUp(keyEvent->key(), keyEvent->modifiers());
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::FocusIn:
        SelectActivePanel(&sender);
        QTimer::singleShot(0, this, [this] { WriteState(); });
        return false;
    default:
        return false;
    }
}

// --- the window ----------------------------------------------------------------------------------

void TMainForm::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), FMainColor);
    if (!FBackground.isNull())
        painter.drawImage(0, 0, FBackground);
}

void TMainForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        // The background drags the window.
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        SelectActivePanel(nullptr);
        MenuPopup();
        PopupAt(mapToGlobal(QPoint(0, 0)));
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FFirstShow)
        FormShow();
}

void TMainForm::LoadAllEdits() {
    FOptions.PanelShowHidden = CheckBox("SettingsShowHidden");
    FOptions.PanelSizeInUnits = !CheckBox("SettingsShowSizeInMB");
    FOptions.PanelDriveSizeAtOnce = CheckBox("SettingsShowDriveSizeAtOnce");
    FOptions.PanelDelKeyDeletes = CheckBox("SettingsDelKeyForDelete");
    FOptions.PanelBackspaceUp = CheckBox("SettingsBkSpKeyForUpFolder");
    FOptions.PanelCtrlRightClickMenu = CheckBox("SettingsRightClickWithCtrl");
    FOptions.PanelDragEnabled = CheckBox("SettingsDragNDropEnable");
    FOptions.PanelFolderFirst = CheckBox("SettingsFolderFirst");
    FOptions.PanelExecutableFirst = CheckBox("SettingsExecutableFirst");
    FOptions.PanelArchiveAsFolder = CheckBox("SettingsArchiveOpenLikeFolder");
    FOptions.PanelShowIcons = CheckBox("GraphicsShowIcons", GraphicsKey);
    FOptions.PanelAlphaCursorTrail = CheckBox("GraphicsAlphaCursorTrail", GraphicsKey);
    FOptions.PanelAlphaCursor = CheckBox("GraphicsAlphaCursor", GraphicsKey);
    if (int step = 0; TryStrToInt(AutoSaveText("SettingsMouseWheelStep"), step) && step > 0 && step < 100)
        FOptions.PanelWheelStep = step;
    INFOLINE->Model().SetBlinkingCursor(CheckBox("GraphicsBlinkingCursor", GraphicsKey));
}

void TMainForm::FormShow() {
    FFirstShow = false;
    if (FServices.Splash != nullptr) {
        FServices.Splash->close();
        FServices.Splash->deleteLater();
        FServices.Splash = nullptr;
    }
    FLeft->FOtherPanel = FRight.get();
    FRight->FOtherPanel = FLeft.get();

    TScreenLayout screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen.ScreenWidth = primary->availableGeometry().width();
        screen.ScreenHeight = primary->availableGeometry().height();
    }
    screen.MainWidth = width();
    screen.MainHeight = height();
    FData.LoadSettings(screen);
    LoadAllEdits();
    FOptions.PanelSortMode = FData.PanelSortMode;
    FOptions.PanelAlphaActive = FData.PanelAlphaActive;
    FOptions.PanelAlphaInactive = FData.PanelAlphaInactive;
    FOptions.SavedFolders = FData.MemFolders;

    TLanguage& language = CurrentLanguage();
    language.LangPath = FData.LangPath;
    language.DefaultLangPath = FData.DefaultLangPath;
    language.LoadLanguage(true);
    TranslateForm(this);

    LoadSkin();
    // The stored corner was checked against the design size; the skin's size decides, so the
    // whole window stays on the screen where it fits.
    QPoint corner(FData.MainPos.Left, FData.MainPos.Top);
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        const QRect area = primary->availableGeometry();
        corner.setX(std::max(area.left(), std::min(corner.x(), area.right() + 1 - width())));
        corner.setY(std::max(area.top(), std::min(corner.y(), area.bottom() + 1 - height())));
    }
    move(corner);

    FLeft->FLoading = false;
    FRight->FLoading = false;
    const auto open = [](TKMYFILEPANEL& panel, const std::string& path, const std::string& cursor) {
        panel.FFolderItems.FPath = path.empty() ? std::string() : WithSlash(path);
        panel.SetPanelType(ptFolder);
        panel.ReadPanel(false, true);
        if (!cursor.empty())
            panel.FindItem(cursor, true);
    };
    open(*FLeft, FData.LeftPanelPath, FData.LeftCursorName);
    open(*FRight, FData.RightPanelPath, FData.RightCursorName);
    FOptions.PanelStartupDone = true;
    FLeft->FWatching = true;
    FRight->FWatching = true;
    LEFTPANEL->RepaintAll();
    RIGHTPANEL->RepaintAll();
    LEFTPANEL->setFocus();
    FLeft->GotFocus();

    ShowInfo(language.GetLangText("nfo_Welcome"));
    KMMTimer1Normal.start();
    MenuPopup();
    if (CheckBox("SettingsShowFlyingMenu"))
        ShowFlyingMenu(true);
    QTimer::singleShot(0, this, [this] { CheckReady(); });
    if (FData.FirstRun && !FServices.QuitAfterPaint) {
        // The desktop shortcut and the settings dialog's language page come with the settings
        // dialog; the user level is chosen now.
        QTimer::singleShot(0, this, [this] { RunCommand(cmUserMode); });
    }
}

void TMainForm::CheckReady() {
    LEFTPANEL->WaitIdle(2000);
    RIGHTPANEL->WaitIdle(2000);
    repaint();
    FReady = true;
    WriteState();
    if (FServices.QuitAfterPaint)
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void TMainForm::Tick() {
    if (FTimerBusy)
        return;
    FTimerBusy = true;
    FLeft->ExternalThread();
    FRight->ExternalThread();
    INFOLINE->Model().BlinkTick();
    WriteState();
    FTimerBusy = false;
}

void TMainForm::StoreSettings() {
    const auto cursorName = [](const TKMYFILEPANEL& panel) {
        const TKFiles* item = panel.FFolderItems.FCurrentItem;
        return item != nullptr ? item->Name : std::string();
    };
    FData.LeftPanelPath = FLeft->FFolderItems.FPath;
    FData.RightPanelPath = FRight->FFolderItems.FPath;
    FData.LeftCursorName = cursorName(*FLeft);
    FData.RightCursorName = cursorName(*FRight);
    FData.MainPos = {x(), y()};
    if (FFlyingMenu != nullptr)
        FData.MenuPos = {FFlyingMenu->x(), FFlyingMenu->y()};
    FData.PanelSortMode = FOptions.PanelSortMode;
    FData.MemFolders = FOptions.SavedFolders;
    if (TKRegistryStore* store = RegistryStore()) {
        SaveCheckBoxState(*store, ProgramKey, "SettingsFolderFirst", FOptions.PanelFolderFirst);
        SaveCheckBoxState(*store, ProgramKey, "SettingsExecutableFirst", FOptions.PanelExecutableFirst);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // No copy jobs run in this build, so the close is always allowed.
    FClosing = true;
    KMMTimer1Normal.stop();
    ItemInfoTimer.stop();
    StoreSettings();
    const bool haveItems = FLeft->FFolderItems.Count() > 0 || FRight->FFolderItems.Count() > 0;
    FData.SaveSettings(haveItems);
    if (FFlyingMenu != nullptr)
        FFlyingMenu->close();
    if (FPosEditor != nullptr)
        FPosEditor->close();
    event->accept();
}

void TMainForm::ShowFlyingMenu(bool show) {
    if (!show) {
        if (FFlyingMenu != nullptr)
            FFlyingMenu->hide();
        return;
    }
    if (FFlyingMenu == nullptr) {
        FFlyingMenu = new TMenuForm(
            [this](QPoint at) {
                SelectActivePanel(nullptr);
                MenuPopup();
                PopupAt(at);
            },
            [this] {
                if (TKRegistryStore* store = RegistryStore())
                    SaveCheckBoxState(*store, ProgramKey, "SettingsShowFlyingMenu", false);
                ShowFlyingMenu(false);
            });
        FFlyingMenu->move(FData.MenuPos.Left, FData.MenuPos.Top);
    }
    FFlyingMenu->show();
}

void TMainForm::ShowPositionEditor() {
    if (FPosEditor == nullptr) {
        std::vector<TPOSEditorPart> parts = {
            {"LEFTPINFO", LEFTPINFO},   {"RIGHTPINFO", RIGHTPINFO}, {"LEFTPANEL", LEFTPANEL},
            {"RIGHTPANEL", RIGHTPANEL}, {"LEFTIINFO", LEFTIINFO},   {"RIGHTIINFO", RIGHTIINFO},
            {"INFOLINE", INFOLINE},     {"BTNMINI", BTNMINI},       {"BTNCLOSE", BTNCLOSE},
            {"BTNMENU", BTNMENU},
        };
        FPosEditor = new TPOSEditorForm(
            std::move(parts), this,
            [this] {
                AttachBackground();
                update();
            },
            [this] { SaveSkin(); }, this);
    }
    FPosEditor->show();
    FPosEditor->raise();
}

// --- skin ------------------------------------------------------------------------------------

void TMainForm::LoadSkin() {
    TPanelColours colours{FOptions.PanelColorCursor, FOptions.PanelColorUpFolder, FOptions.PanelColorFolder,
                          FOptions.PanelColorExe,    FOptions.PanelColorOther,    FOptions.PanelColorPacked};
    TFontSpec currentFont;
    currentFont.Name = "Verdana";
    currentFont.Height = -9;
    FSkin = LoadSkinSettings(FData.SkinPath, colours, currentFont);

    setFixedSize(std::max(FSkin.MainWidth, 1), std::max(FSkin.MainHeight, 1));
    FMainColor = ToQColor(FSkin.MainColor);
    FOptions.PanelLineSpacing = FSkin.PanelLineSpacing;
    const std::array<QWidget*, SkinPartCount> parts = {LEFTPINFO,  LEFTPANEL,  LEFTIINFO, RIGHTPINFO,
                                                       RIGHTPANEL, RIGHTIINFO, INFOLINE,  BTNCLOSE,
                                                       BTNMINI,    BTNMENU,    ImgMenu};
    for (std::size_t i = 0; i < SkinPartCount; ++i)
        parts[i]->setGeometry(ToQRect(FSkin.Positions[i].ApplyTo(FromQRect(parts[i]->geometry()))));
    const std::array<TKDisplayWidget*, 5> displays = {LEFTPINFO, LEFTIINFO, RIGHTPINFO, RIGHTIINFO, INFOLINE};
    const std::array<TSkinPart, 5> displayParts = {spLeftPanelInfo, spLeftItemInfo, spRightPanelInfo,
                                                   spRightItemInfo, spInfoLine};
    for (std::size_t i = 0; i < displays.size(); ++i)
        displays[i]->SetBackgroundColor(ToQColor(FSkin.PartColors[displayParts[i]]));
    for (auto [widget, part] : {std::pair{LEFTPANEL, spLeftPanel}, std::pair{RIGHTPANEL, spRightPanel}}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, ToQColor(FSkin.PartColors[part]));
        widget->setPalette(palette);
    }
    LEFTPANEL->SetMask(FSkin.LeftMask);
    RIGHTPANEL->SetMask(FSkin.RightMask);

    FOptions.PanelColorCursor = FSkin.Colours.Cursor;
    FOptions.PanelColorUpFolder = FSkin.Colours.UpFolder;
    FOptions.PanelColorFolder = FSkin.Colours.Folder;
    FOptions.PanelColorExe = FSkin.Colours.Exe;
    FOptions.PanelColorOther = FSkin.Colours.Other;
    FOptions.PanelColorPacked = FSkin.Colours.Packed;
    const QFont panelFont = ToQFont(FSkin.Font);
    LEFTPANEL->setFont(panelFont);
    RIGHTPANEL->setFont(panelFont);
    for (TKDisplayWidget* display : displays) {
        display->setFont(panelFont);
        display->SetFontColor(ToQColor(FSkin.Font.Color));
    }

    // The pictures and the shape; a malformed font string skips them, as it skips the rest of
    // the load.
    if (!FSkin.FontFailed) {
        const std::string& path = FData.SkinPath;
        auto picture = [&path](std::string_view name) {
            QImage image;
            const std::string file = FindFileNoCase(path, name);
            LoadSkinBitmap(file.empty() ? path + std::string(name) : file, image);
            return image;
        };
        if (auto shape = LoadWindowShape(path); shape && shape->HasShape)
            FShape = *shape;
        else
            FShape = {};
        if (FShape.HasShape)
            setMask(ShapeRegion(FShape));
        else
            clearMask();
        FBackground = picture("Back.bmp");
        if (const QImage icon = picture("icon.bmp"); !icon.isNull())
            setWindowIcon(QIcon(QPixmap::fromImage(icon)));
        BTNCLOSE->SetPictures(picture("btnClose.bmp"), picture("btnClose2.bmp"));
        BTNMINI->SetPictures(picture("btnMini.bmp"), picture("btnMini2.bmp"));
        BTNMENU->SetPictures(picture("btnMenu.bmp"), picture("btnMenu2.bmp"));
        const std::string language = LastFolderName(FData.LangPath);
        QImage menuPicture = picture(language + ".bmp");
        if (menuPicture.isNull())
            menuPicture = picture(language + ".jpg");
        ImgMenu->setPixmap(QPixmap::fromImage(menuPicture));
    }
    AttachBackground();
    LEFTPINFO->Model().SetCaption(FLeft->GetPanelPath());
    RIGHTPINFO->Model().SetCaption(FRight->GetPanelPath());
    update();
}

void TMainForm::AttachBackground() {
    for (TKPanelWidget* panel : {LEFTPANEL, RIGHTPANEL})
        panel->SetBackground(FBackground, panel->pos());
    for (TKDisplayWidget* display : {LEFTPINFO, LEFTIINFO, RIGHTPINFO, RIGHTIINFO, INFOLINE})
        display->SetActiveBackground(FBackground, display->pos());
    LEFTPANEL->RepaintAll();
    RIGHTPANEL->RepaintAll();
}

bool TMainForm::SaveSkin() {
    TSkinSaveData saved;
    const std::array<QWidget*, SkinDisplayPartCount> parts = {LEFTPINFO,  LEFTPANEL,  LEFTIINFO, RIGHTPINFO,
                                                              RIGHTPANEL, RIGHTIINFO, INFOLINE};
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i)
        saved.Positions[i] = FromQRect(parts[i]->geometry());
    saved.Font = FSkin.Font;
    saved.Colours = {FOptions.PanelColorCursor, FOptions.PanelColorUpFolder, FOptions.PanelColorFolder,
                     FOptions.PanelColorExe,    FOptions.PanelColorOther,    FOptions.PanelColorPacked};
    return ks::SaveSkin(FData.SkinPath, saved).has_value();
}

void TMainForm::SelectSkin(const std::string& skinPath) {
    SaveSkin();
    FData.SkinPath = WithSlash(skinPath);
    LoadSkin();
}

// --- state for outside checks -----------------------------------------------------------------

std::string TMainForm::StateJson() const {
    const auto panelJson = [this](const TKMYFILEPANEL& panel, const QWidget* widget,
                                  const TKDisplayWidget* pathLine, const TKDisplayWidget* itemLine) {
        const TKITEMSSTRUC& h = *panel.FItemsStruc;
        std::vector<std::string> names, marked;
        for (int i = 0; i < h.Count(); ++i) {
            const TKFiles* item = h.GetFileItem(i);
            if (static_cast<std::size_t>(i) < StateItemLimit)
                names.push_back(item->Name);
            if (item->Marked)
                marked.push_back(item->Name);
        }
        return TJsonLine()
            .Add("PanelType", static_cast<int>(panel.PanelType()))
            .Add("FPath", h.FPath)
            .Add("FItemIndex", h.FItemIndex)
            .Add("FTopIndex", h.FTopIndex)
            .Add("FMarkedCount", h.FMarkedCount)
            .Add("Count", h.Count())
            .Add("CursorName", h.FCurrentItem != nullptr ? h.FCurrentItem->Name : std::string())
            .Add("PanelSortMode", FOptions.PanelSortMode)
            .Add("PanelFolderFirst", FOptions.PanelFolderFirst)
            .Add("FActive", panel.FActive)
            .Add("Visible", widget->isVisible())
            .Add("X", widget->x())
            .Add("Y", widget->y())
            .Add("Width", widget->width())
            .Add("Height", widget->height())
            .AddRaw("Names", JsonArray(names))
            .AddRaw("Marked", JsonArray(marked))
            .Add("PInfo", pathLine->Model().Caption())
            .Add("IInfo", itemLine->Model().Caption())
            .Text();
    };
    const auto rectJson = [](const QWidget* widget) {
        return TJsonLine()
            .Add("X", widget->x())
            .Add("Y", widget->y())
            .Add("Width", widget->width())
            .Add("Height", widget->height())
            .Text();
    };
    const QWidget* modal = QApplication::activeModalWidget();
    const QRect frame = geometry();
    return TJsonLine()
        .Add("Ready", FReady)
        .Add("WinId", static_cast<std::int64_t>(winId()))
        .Add("X", frame.x())
        .Add("Y", frame.y())
        .Add("Width", frame.width())
        .Add("Height", frame.height())
        .Add("Shaped", FShape.HasShape)
        .Add("Skin", FSkin.Name)
        .Add("ActivePanel", FActivePanel == FRight.get() ? "RIGHTPANEL" : "LEFTPANEL")
        .Add("InfoCaption", INFOLINE->Model().Caption())
        .Add("InfoText", INFOLINE->Model().Text())
        .Add("CmdMode", FCmdMode)
        .Add("Dialog", modal != nullptr ? modal->objectName().toStdString() : std::string())
        .Add("MenuOpen", Menu->isVisible())
        .Add("LastMessageResult", FLastMessageResult)
        .Add("UserMode", FData.UserMode)
        .AddRaw("BTNCLOSE", rectJson(BTNCLOSE))
        .AddRaw("BTNMENU", rectJson(BTNMENU))
        .AddRaw("LEFTPANEL", panelJson(*FLeft, LEFTPANEL, LEFTPINFO, LEFTIINFO))
        .AddRaw("RIGHTPANEL", panelJson(*FRight, RIGHTPANEL, RIGHTPINFO, RIGHTIINFO))
        .Text();
}

void TMainForm::WriteState() {
    if (FServices.StateFile.isEmpty())
        return;
    std::string state = StateJson();
    if (state == FLastState)
        return;
    QSaveFile file(FServices.StateFile);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(state.data(), static_cast<qint64>(state.size()));
    file.write("\n", 1);
    if (file.commit())
        FLastState = std::move(state);
}

} // namespace ks
