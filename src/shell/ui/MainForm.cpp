#include "shell/ui/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScreen>
#include <QStringDecoder>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <utility>

#include "controls/ui/DisplayWidget.h"
#include "controls/ui/MessageForm.h"
#include "controls/ui/TranslateForm.h"
#include "fileops/ArchiveRun.h"
#include "fileops/CopyEngine.h"
#include "fileops/ui/CopyQuestionPump.h"
#include "fileops/ui/DeleteFilesForm.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/ui/KeyMap.h"
#include "panel/ui/PanelWidget.h"
#include "shell/ui/MenuForm.h"
#include "shell/ui/POSEditorForm.h"
#include "shell/ui/SplashForm.h"

namespace ks {

namespace {

constexpr int TickInterval = 100;
constexpr int ItemInfoInterval = 100;
// The items the state report lists per panel.
constexpr std::size_t StateItemLimit = 300;

const std::string GraphicsKey = std::string(ProgramKey) + "\\graphics";

} // namespace

TMainForm::TMainForm(TMainFormServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FServices(std::move(services)),
      FData(*FServices.Data), FCommandLine(FData.History) {
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
    INFOLINE->Model().OnShowEditor = [this](TKMYDISPLAY&, bool& showIt) {
        showIt = FCommandLine.ShowsEditor();
    };
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

    MakeCopyEngine();
    // Until the first show the panels keep still.
    SetPanelsReady(false);
}

TMainForm::~TMainForm() {
    KMMTimer1Normal.stop();
    ItemInfoTimer.stop();
    FCloseWait.stop();
    // The jobs unmark items of the panels and ask through windows of this one: they end first.
    FCopyEngine.reset();
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
    panel.OnGetMaskForSelect = [this](TKSelectType& operation, std::string& mask) {
        GetMaskForSelect(operation, mask);
    };
    panel.OnDeleteItems = [this, &panel](bool& del, bool& toRecycle, bool& eraseAllTracks) {
        const TDeleteChoice choice =
            ShowDeleteFilesForm(panel.PanelType() == ptArchive || panel.PanelType() == ptFTP, this);
        del = choice.Delete;
        toRecycle = choice.ToRecycle;
        eraseAllTracks = choice.EraseAllTracks;
    };
    panel.OnArchiveDeleteItems = [this, &panel](const std::string& archiveName,
                                                const std::vector<std::string>& names) {
        DeleteArchiveItems(panel, archiveName, names);
    };
    panel.OnCalcDirSizeCallBack = [this, &panel](bool& runIt) {
        const TKFiles* item = panel.FItemsStruc->FCurrentItem;
        if (item != nullptr && item->Kind == ikFile) {
            runIt = false;
            SelectActivePanel(&panel);
            OpenInViewer();
        }
    };
    ConnectPanelFtp(panel);
    panel.OnExecute_Type = [this, &panel] {
        SelectActivePanel(&panel);
        TypePanelPath();
    };
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

bool TMainForm::CheckBox(std::string_view name, std::string_view key) {
    if (const TKRegistryStore* store = RegistryStore())
        return AutoSaveValue(*store, key, name) == "1";
    for (const auto& value : AutoSaveValues)
        if (value.Name == name)
            return value.Default == "1";
    return false;
}

bool TMainForm::CheckBox(std::string_view name) {
    return CheckBox(name, ProgramKey);
}

std::string TMainForm::AutoSaveText(std::string_view name) {
    if (const TKRegistryStore* store = RegistryStore())
        return AutoSaveValue(*store, ProgramKey, name);
    return {};
}

void TMainForm::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), FMainColor);
    if (!FBackground.isNull())
        painter.drawImage(0, 0, FBackground);
}

void TMainForm::mousePressEvent(QMouseEvent* event) {
    // The background drags the window.
    if (FDrag.Press(*this, *event)) {
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

void TMainForm::mouseMoveEvent(QMouseEvent* event) {
    if (FDrag.Move(*this, *event)) {
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TMainForm::mouseReleaseEvent(QMouseEvent* event) {
    if (FDrag.Release(*event)) {
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FFirstShow)
        FormShow();
}

void TMainForm::LoadAllEdits() {
    LoadStoredPanelOptions(RegistryStore(), FOptions);
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
    LocateArchiveManagersAtStart();
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
        panel.FFolderItems.FPath = AddBackslash(path);
        panel.SetPanelType(ptFolder);
        panel.ReadPanel(false, true);
        // The saved name itself, else the same name in another case, else the item sharing the
        // longest prefix with it: an item renamed meanwhile still brings the cursor near it.
        if (!cursor.empty() && panel.FindItem(cursor, true) < 0)
            panel.FindBestItem(cursor, true);
    };
    open(*FLeft, FData.LeftPanelPath, FData.LeftCursorName);
    open(*FRight, FData.RightPanelPath, FData.RightCursorName);
    FOptions.PanelStartupDone = true;
    SetPanelsReady(true);
    LEFTPANEL->RepaintAll();
    RIGHTPANEL->RepaintAll();
    LEFTPANEL->setFocus();
    FLeft->GotFocus();

    ShowInfo(language.GetLangText("nfo_Welcome"));
    KMMTimer1Normal.start();
    MenuPopup();
    if (CheckBox("SettingsShowFlyingMenu"))
        ShowFlyingMenu(true);
    // The start-up title ("...loading...") ends with the first show: from here on the window and
    // its task bar entry carry the application title. The window was titled when it was made, so
    // it is titled again.
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(FData.AppTitle));
    if (QWindow* window = windowHandle())
        window->setTitle(windowTitle());
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
    // Extractions whose moving-in went on in the background finish once their job ended; what
    // that asks waits until no other window is open.
    if (!FStages.empty() && QApplication::activeModalWidget() == nullptr)
        SweepExtractStages();
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
    // Running copy jobs are stopped only with the user's consent, and the window closes once
    // they have ended; a refused close writes no settings.
    if (!CloseQueryJobs()) {
        event->ignore();
        return;
    }
    // A waiting FTP command is stopped first; the window closes once its wait has ended.
    if (CancelFtpWaits()) {
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    for (TKMYFILEPANEL* panel : {FLeft.get(), FRight.get()})
        if (panel->PanelType() == ptFTP)
            panel->SetPanelType(ptFolder);
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

std::string TMainForm::StateJson() const {
    const auto panelJson = [this](const TKMYFILEPANEL& panel, const QWidget* widget,
                                  const TKDisplayWidget* pathLine, const TKDisplayWidget* itemLine) {
        const TKITEMSSTRUC& h = *panel.FItemsStruc;
        std::vector<std::string> names, marked;
        for (int i = 0; i < h.Count(); ++i) {
            const TKFiles* item = h.GetFileItem(i);
            // Item information lines have captions only.
            if (static_cast<std::size_t>(i) < StateItemLimit)
                names.push_back(panel.PanelType() == ptItemInfo
                                    ? item->Caption() + "|" + panel.InfoText(*item)
                                    : item->Name);
            if (item->Marked)
                marked.push_back(item->Name);
        }
        return TJsonLine()
            .Add("PanelType", static_cast<int>(panel.PanelType()))
            .Add("FPath", h.FPath)
            .Add("FItemIndex", h.FItemIndex)
            .Add("FTopIndex", h.FTopIndex)
            .Add("FItemHeight", panel.FItemHeight)
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
        .Add("Minimized", isMinimized())
        .Add("Exposed", windowHandle() != nullptr && windowHandle()->isExposed())
        .Add("Shaped", FShape.HasShape)
        .Add("Skin", FSkin.Name)
        .Add("ActivePanel", FActivePanel == FRight.get() ? "RIGHTPANEL" : "LEFTPANEL")
        .Add("InfoCaption", INFOLINE->Model().Caption())
        .Add("InfoText", INFOLINE->Model().Text())
        .Add("CmdMode", static_cast<int>(FCommandLine.Mode()))
        .Add("Dialog", modal != nullptr ? modal->objectName().toStdString() : std::string())
        .Add("MenuOpen", Menu->isVisible())
        .Add("RenameEditor", RenameEditorVisible())
        .Add("LastMessageResult", FLastMessageResult)
        .Add("UserMode", FData.UserMode)
        .AddRaw("BTNCLOSE", rectJson(BTNCLOSE))
        .AddRaw("BTNMENU", rectJson(BTNMENU))
        .AddRaw("LEFTPANEL", panelJson(*FLeft, LEFTPANEL, LEFTPINFO, LEFTIINFO))
        .AddRaw("RIGHTPANEL", panelJson(*FRight, RIGHTPANEL, RIGHTPINFO, RIGHTIINFO))
        .AddRaw("Copy", CopyStateJson())
        .AddRaw("FtpStatus", FtpStateJson())
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
