#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveManagers.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/WindowDrag.h"
#include "foundation/FileWatcher.h"
#include "foundation/Network.h"
#include "panel/KMYFILEPANEL.h"
#include "panel/PanelOptions.h"
#include "shell/CommandLine.h"
#include "shell/MainCommands.h"
#include "shell/SkinData.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace ks {

class TCopyBackForm;
class TCopyEngine;
class TCopyFilesForm;
class TCopyProgressForm;
class TCopyQuestionPump;
class TCopyThread;
class TExtractStage;
class TData;
class TDesktopClipboard;
class TFTPLoginForm;
class TFTPStatusForm;
class TKRegistryStore;
class TKPanelWidget;
class TKDisplayWidget;
class TMenuForm;
class TPOSEditorForm;
class TSplashForm;

/// What the composition root hands the main window.
struct TMainFormServices {
    TData* Data = nullptr;
    /// Makes the change-notification backend of one panel; may be empty (no watching).
    std::function<std::unique_ptr<TKFileWatchBackend>()> MakeWatchBackend;
    /// The start-up picture, closed when the window is first shown; may be null.
    TSplashForm* Splash = nullptr;
    /// Where the window's state is written for outside checks (empty: not written).
    QString StateFile;
    /// Quit as soon as both panels have painted their first frame (start-up measurements).
    bool QuitAfterPaint = false;
    /// Called after the window asked to be minimised: takes it off the screen where no window
    /// manager does so (a bare X display), and does nothing where one does. May be empty.
    std::function<void(QWidget&)> IconifyUnmanaged;
    /// The network the FTP panels connect through; null: no FTP connections.
    TKNetwork* Network = nullptr;
};

/// The main window `TMainForm`: the frameless, skin-shaped window with both file panels, the
/// four information lines, the command line `INFOLINE`, three picture buttons and the pop-up
/// menu holding every command. It sees every key of the panels first (key preview), runs the
/// commands, answers the panels' events and saves the settings on close. Thread: the GUI thread.
///
/// Its parts live in files of their own: construction, start-up, shut-down and the state report
/// (MainForm.cpp), the menu and the commands (MainFormCommands.cpp), copying and moving with the
/// copy windows, the item clipboard and dragging between the panels (MainFormCopy.cpp), the command
/// line's wiring (MainFormCommandLine.cpp), the key routing of the panels (MainFormKeys.cpp) and
/// the skin (MainFormSkin.cpp).
class TMainForm : public QWidget {
public:
    explicit TMainForm(TMainFormServices services, QWidget* parent = nullptr);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // The parts are named as the skin and the language files name them.
    TKMYFILEPANEL& LeftPanel() { return *FLeft; }
    TKMYFILEPANEL& RightPanel() { return *FRight; }
    TKPanelWidget* LEFTPANEL = nullptr;
    TKPanelWidget* RIGHTPANEL = nullptr;
    TKDisplayWidget* LEFTPINFO = nullptr;
    TKDisplayWidget* RIGHTPINFO = nullptr;
    TKDisplayWidget* LEFTIINFO = nullptr;
    TKDisplayWidget* RIGHTIINFO = nullptr;
    TKDisplayWidget* INFOLINE = nullptr;
    TKImageButton* BTNCLOSE = nullptr;
    TKImageButton* BTNMINI = nullptr;
    TKImageButton* BTNMENU = nullptr;
    QLabel* ImgMenu = nullptr;
    QLabel* KImage = nullptr;
    QMenu* Menu = nullptr;
    TPanelOptions& Options() { return FOptions; }

    /// The panel commands act on.
    TKMYFILEPANEL* ActivePanel() const { return FActivePanel; }
    TKMYFILEPANEL& OtherPanel(const TKMYFILEPANEL& panel) { return &panel == FLeft.get() ? *FRight : *FLeft; }
    /// The command line's mode.
    TCmdMode CmdMode() const { return FCommandLine.Mode(); }
    /// Start-up done and both panels painted once.
    bool Ready() const { return FReady; }
    /// The skin in force.
    const TSkinData& Skin() const { return FSkin; }
    /// The window shape in force (no shape: a rectangle).
    const TWindowShape& Shape() const { return FShape; }
    /// The result of the last closed message box; -1 before any.
    int LastMessageResult() const { return FLastMessageResult; }
    /// The item clipboard of Copy items / Cut items.
    const std::vector<std::string>& ClipboardItems() const { return FClipItems; }
    bool ClipboardCut() const { return FClipCut; }

    /// The copy engine of every job the window starts.
    TCopyEngine& CopyEngine() { return *FCopyEngine; }
    /// The background operations window ("Back op."), made the first time it is needed.
    TCopyBackForm& CopyBackForm();
    /// `SetPanelsReady`: lets directory changes re-read the panels (true) or not (false).
    void SetPanelsReady(bool flag);

    /// `MenuPopup`: visibility, enabled state and check marks of every entry.
    void MenuPopup();
    /// The state of the entries as `MenuPopup` left it.
    const TMenuState& MenuState() const { return FMenuState; }
    /// The menu action of a command (null for commands without an entry).
    QAction* Action(TMainCommand command) const;
    /// Runs a command as its menu entry would (nothing when the entry is hidden or disabled).
    void RunCommand(TMainCommand command);
    /// The key preview of both panels: a key with its `TShiftState` bits and the typed text;
    /// returns true when the main window used it up (the panel then never sees it).
    bool PanelKeyDown(TKMYFILEPANEL& sender, int key, std::uint32_t shift, const QString& text);
    void PanelKeyPress(TKMYFILEPANEL& sender, const QString& text);
    void PanelKeyUp(int qtKey, Qt::KeyboardModifiers modifiers);

    /// `LoadSkin`: the skin's settings, then its pictures and shape; `AttachBackground`.
    void LoadSkin();
    /// `SelectSkin` by folder: saves the current skin's positions, loads the other one.
    void SelectSkin(const std::string& skinPath);
    /// `SaveSkin` of the current skin folder; false when "data.ini" could not be written.
    bool SaveSkin();
    /// Gives the background picture to the panels and the displays.
    void AttachBackground();

    /// The state for outside checks, one JSON object.
    std::string StateJson() const;
    /// The 100 ms background tick: the panels' outside work, the command line's caret blink and
    /// the state report.
    const QTimer& BackgroundTimer() const { return KMMTimer1Normal; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void BuildMenu();
    void ConnectPanel(TKMYFILEPANEL& panel, TKPanelWidget* widget, TKDisplayWidget* pathLine,
                      TKDisplayWidget* itemLine);
    void SelectActivePanel(const TKMYFILEPANEL* sender);
    void Tick();
    void ItemInfoTick();
    void MoreInfo();
    void LoadAllEdits();
    void StoreSettings();
    void ShowInfo(const std::string& text);
    void InfoList(const TKMYFILEPANEL* sender, const std::string& text);
    void InfolineChangeText();
    bool CommandLineKey(TKMYFILEPANEL& sender, int key, std::uint32_t shift);
    void TypeText(const std::string& text);
    void RunCommandLine();
    /// Alt+F7: the find dialog for the active panel, then its search.
    void FindFilesClick();
    /// Alt+F8: the history dialog; the chosen command goes into the command line.
    void ShowCommandHistory();
    /// Alt+F3 and "Type..." of the drive list: the typed folder (or the one browsed to) in the
    /// active panel, or the not-found text in the command line.
    void TypePanelPath();
    /// ".FTP": the line as one raw command on the active panel's FTP connection.
    void RunFtpCommandLine(const std::string& line);
    void ShowSortedStatus();
    void OpenFolder(TKMYFILEPANEL& panel, const std::string& folder);
    void BrowsePath();
    void RunTool(TMainCommand command);
    void OpenInEditor(bool external);
    void OpenInViewer();
    void FillItemClipboard(bool cut);
    void PasteItems();
    /// `CopyItemsClick` of the Copy and Move commands.
    void CopyItemsClick(bool move);
    /// The drop of items dragged from source onto target.
    void PanelDragDrop(TKMYFILEPANEL& target, TKMYFILEPANEL& source);
    /// Runs the current job in the progress window between `SetPanelsReady`(false) and (true),
    /// then re-reads both panels keeping their state.
    void RunCopyJob(const std::shared_ptr<TCopyThread>& job);
    void ShowBackOpWindow();
    /// The close query while jobs exist: true when the window may close now.
    bool CloseQueryJobs();
    void MakeCopyEngine();
    /// `NewJob` with the copy buffer size the settings hold.
    std::shared_ptr<TCopyThread> NewCopyJob(bool move, bool copyAttributes, bool makeBackup);
    std::string CopyStateJson() const;
    /// The status window for outside checks: shown, its line count, its last line.
    std::string FtpStateJson() const;
    /// The FTP side of a panel: sessions, the connection list, status lines, login prompts.
    void ConnectPanelFtp(TKMYFILEPANEL& panel);
    /// `OnFTPConnections`: the connection list; the chosen entry split for connecting.
    void FTPConnections(TKFtpConnection& connection);
    TFTPStatusForm& FtpStatusForm();
    void ShowFtpStatus();
    /// A text prompt (the login questions); false when cancelled.
    bool AskText(const std::string& title, const std::string& prompt, std::string& value, bool masked);
    /// True while a panel's FTP command waits: the wait is asked to stop and the caller retries.
    bool CancelFtpWaits();
    void ShowPositionEditor();
    void ShowFlyingMenu(bool show);
    void PopupAt(QPoint global);
    int Ask(const std::string& text, int kind, int buttons, int defaultButton);
    TMenuContext MenuContext() const;
    std::string ToolPath(TMainCommand command) const;
    std::string FindTool(TMainCommand command) const;
    std::string ViewerPath() const;
    /// The check box setting name under key of the settings store (its default without a store).
    static bool CheckBox(std::string_view name, std::string_view key);
    static bool CheckBox(std::string_view name);
    /// The text setting name of the program key; empty without a store.
    static std::string AutoSaveText(std::string_view name);
    void CheckReady();
    void WriteState();
    QString DecodeDisplay(std::string_view bytes) const;

    TMainFormServices FServices;
    TData& FData;
    TCommandLine FCommandLine;
    TPanelOptions FOptions;
    std::unique_ptr<TKMYFILEPANEL> FLeft;
    std::unique_ptr<TKMYFILEPANEL> FRight;
    TKMYFILEPANEL* FActivePanel = nullptr;
    TSkinData FSkin;
    TWindowShape FShape;
    QImage FBackground;
    QColor FMainColor{0, 0, 0};
    TMenuState FMenuState;
    TKWindowDrag FDrag;
    std::map<int, QAction*> FActions;
    std::vector<QAction*> FEntryActions; ///< by index in MainMenuEntries
    QTimer KMMTimer1Normal;
    QTimer ItemInfoTimer;
    bool FFirstShow = true;
    bool FTimerBusy = false;
    bool FReady = false;
    bool FClosing = false;
    bool FAltAlone = false;
    int FLastKeyDown = 0;
    bool FLastKeyPad = false;
    int FLastMessageResult = -1;
    std::vector<std::string> FClipItems;
    bool FClipCut = false;
    // The pump answers the engine's questions: it is made first and goes last.
    std::unique_ptr<TCopyQuestionPump> FQuestionPump;
    std::unique_ptr<TCopyEngine> FCopyEngine;
    TCopyFilesForm* FCopyFilesForm = nullptr;
    TCopyProgressForm* FCopyProgressForm = nullptr;
    TCopyBackForm* FCopyBackForm = nullptr;
    TDesktopClipboard* FDesktopClipboard = nullptr;
    /// Set once the user agreed to stop the jobs to close; the window closes when they ended.
    bool FCloseWhenIdle = false;
    QTimer FCloseWait;
    std::chrono::steady_clock::time_point FCloseDeadline;
    TFTPStatusForm* FFtpStatusForm = nullptr;
    TFTPLoginForm* FFtpLoginForm = nullptr;
    TMenuForm* FFlyingMenu = nullptr;
    TPOSEditorForm* FPosEditor = nullptr;
    std::string FLastState;
    mutable std::array<std::optional<std::string>, cmCommandCount> FToolPaths;
    mutable std::optional<std::string> FViewerPath;

    // The in-place rename (MainFormRename.cpp): the editor over the cursor row, the panel and the
    // item being renamed, with the name's bytes and the text it was shown as.
    void RenameItemClick();
    void EndRenameItem(bool rename);
    bool RenameEditorVisible() const;
    QLineEdit* RenameItemEdit = nullptr;
    TKMYFILEPANEL* FRenamePanel = nullptr;
    const TKFiles* FRenameItem = nullptr;
    int FRenameIndex = -1;
    std::string FRenameName;
    QString FRenameShown;

    // Create new and the select dialog (MainFormCreateSel.cpp): F7 opens the create-new dialog
    // with a folder chosen, Shift+F4 with a text file; Num+ and Num- ask for a mask.
    void CreateNewClick(bool textFile);
    void GetMaskForSelect(TKSelectType& operation, std::string& mask);
    // The attributes dialog (MainFormAttributes.cpp): the marked items (or the cursor item) of the
    // active panel get the boxes and the time chosen; failures are told afterwards.
    void ChangeAttributesClick();
    // The compare and shortcut dialogs (MainFormItemForms.cpp): Ctrl+B compares the active panel
    // with the other; the shortcut command writes a desktop entry for the cursor item.
    void ComparePanelsClick();
    void CreateShortcutClick();

    // Archives changed by their managers (MainFormArchive.cpp).
    struct TArchiveSelection {
        std::vector<std::string> Names; ///< the marked entries' stored names, folders ending in "/"
        std::vector<std::string> Shown; ///< the same entries' display paths
        bool Everything = false;        ///< every entry of the archive's root is marked
    };
    /// What a move out of an archive deletes from it once every extracted item reached the target.
    struct TArchiveMoveOut {
        std::string ArchiveName;
        std::vector<std::string> Names;
        TArchiveManager Manager;
    };
    /// An extraction whose results the copier moves into the target; the stage goes when the
    /// job has ended (also when it went on in the background).
    struct TPendingStage {
        std::weak_ptr<TCopyThread> Job;
        std::unique_ptr<TExtractStage> Stage;
        std::vector<std::string> Sources; ///< what the copier moves out of the stage
        std::optional<TArchiveMoveOut> MoveOut;
    };
    /// At start-up, when "SettingsArchiveAutoLocate" is on: the located managers rebuilt, the
    /// user's own entries kept.
    void LocateArchiveManagersAtStart();
    std::optional<TArchiveManager> ArchiveManagerFor(const std::string& archiveName);
    /// Runs one manager command in its window; false (and told) when it could not run, failed or
    /// was cancelled.
    bool RunArchiveManager(const std::string& templ, const TManagerCall& call, const std::string& listPrefix,
                           const std::string& workFolder);
    /// Extracts with the program's own reader (archives no manager serves) into folder.
    bool ExtractWithOwnReader(const std::string& archiveName, const std::vector<std::string>& names,
                              const std::string& folder);
    void ReopenArchive(TKMYFILEPANEL& panel, const std::string& archiveName, const std::string& folder,
                       const std::string& cursor);
    TArchiveSelection ArchiveSelection(TKMYFILEPANEL& panel);
    /// F5 or F6 out of an archive panel (and a drop of its items): the entries are extracted into
    /// a stage in the target folder and moved in by the copier with its questions.
    void ExtractFromArchive(TKMYFILEPANEL& archive, const std::string& targetPath, bool move);
    void MoveInExtracted(std::unique_ptr<TExtractStage> stage, std::vector<std::string> sources,
                         const std::string& targetFolder, std::optional<TArchiveMoveOut> moveOut);
    void SweepExtractStages();
    void DeleteFromArchiveWith(const TArchiveManager& manager, const std::string& archiveName,
                               const std::vector<std::string>& names);
    /// `OnArchiveDeleteItems`: F8 in an archive panel.
    void DeleteArchiveItems(TKMYFILEPANEL& panel, const std::string& archiveName,
                            const std::vector<std::string>& names);
    /// F5 onto an archive panel: the source panel's items added by the archive's manager.
    void AddToArchivePanel(TKMYFILEPANEL& source, TKMYFILEPANEL& archive);
    /// Alt+A: "Add items to archive..." for the active folder panel, into a KPL library or by
    /// the chosen manager.
    void AddToArchiveClick();
    std::vector<TPendingStage> FStages;
    std::vector<std::string> FAddArchiveHistory;
};

} // namespace ks
