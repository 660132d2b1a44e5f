#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/ArchiveReader.h"
#include "foundation/DELTA9.h"
#include "foundation/FileWatcher.h"
#include "foundation/Keys.h"
#include "foundation/System.h"
#include "ftp/RemoteSession.h"
#include "panel/KITEMSSTRUC.h"
#include "panel/PanelCommands.h"
#include "panel/PanelOptions.h"

namespace ks {

class TCountSizes;
class TFindFiles;
class TComparePanels;
class TFtpDelete;

/// Busy bits of `FState`.
enum TKPanelState : std::uint32_t {
    psReading = 1,
    psBusy = 2,
    psQuiet = 4,
    psCounting = 8,
    psDeleting = 16,
    psSearching = 32,
    psComparing = 64,
    psOpeningArchive = 128,
};

/// The panel's timers, run by its view.
enum TKPanelTimer { ptmWatch, ptmAutoScroll };

/// The index of `MarkItems` that stands for the cursor item, and the one for every item matching
/// the masks.
inline constexpr int MarkCursorItem = -1;
inline constexpr int MarkMatchingItems = -2;

/// What the FTP connection handler fills in for Ctrl+F.
struct TKFtpConnection {
    bool DisableFTP = true;
    bool UseProxy = false;
    std::string Host, Name, Password, ProxyName;
    int Port = 21;
    int ProxyPort = 0;
    /// Data connections in passive mode (the entry's passive field).
    bool Passive = true;
    /// The server folder to show first; empty: the one the server starts in.
    std::string Folder;
};

/// The widget side of a panel: repaint requests, the painting lock, timers and focus. The
/// model never paints; it asks. Every call comes on the GUI thread.
/// What `TKMYFILEPANEL::ComparePanels` compares. The two content checks read local items only:
/// an item whose contents cannot be read (an archive or FTP entry, a read error) is never equal.
struct TCompareOptions {
    bool ByName = true;
    bool BySize = false;
    bool ByAttr = false;
    bool ByDate = false;
    bool ByFolderContents = false; ///< two folders are equal only when the names inside them are
    bool ByFileContents = false;   ///< two files are equal only when their bytes are
};

class TKPanelView {
public:
    virtual ~TKPanelView() = default;
    /// A pass for the cursor rows / for every row (see the painter).
    virtual void RepaintCursor() = 0;
    virtual void RepaintAll() = 0;
    /// Draws one row at once; weight -1 is the weight of the panel's active state.
    virtual void DrawItem(int index, int weight) = 0;
    /// Stops a running pass and keeps passes out (true), or lets them run again (false).
    virtual void LockPainting(bool locked) = 0;
    virtual void StartTimer(TKPanelTimer timer, int intervalMs) = 0;
    virtual void StopTimer(TKPanelTimer timer) = 0;
    /// The panel wants the keyboard focus (a click or Alt+F1 moving to the other panel).
    virtual void TakeFocus() = 0;
};

/// The file panel without its window: the three list holders, the pending list, the state bits,
/// the operations on the lists, the commands its keys run and the events that report them. The
/// long operations (count, delete, find, compare) are objects of their own that the entry points
/// below build and run. The widget that paints it implements `TKPanelView` and hands in keys,
/// mouse input and the row geometry.
///
/// Thread: the GUI thread only. The painter thread reads the current list while a pass runs;
/// the model locks painting (through the view) before it changes a list.
class TKMYFILEPANEL {
public:
    /// A panel showing a folder list on the home folder. options is shared with the other
    /// panel; view, the watch backend and post (which runs a call later on this thread) may be
    /// empty for a panel without a window or watching.
    TKMYFILEPANEL(TPanelOptions& options, TKPanelView* view = nullptr,
                  std::unique_ptr<TKFileWatchBackend> watchBackend = nullptr,
                  std::function<void(std::function<void()>)> post = {});
    ~TKMYFILEPANEL();
    TKMYFILEPANEL(const TKMYFILEPANEL&) = delete;
    TKMYFILEPANEL& operator=(const TKMYFILEPANEL&) = delete;

    TPanelOptions& Options;
    TKPanelView* FView = nullptr;
    /// "LEFTPANEL" or "RIGHTPANEL": Alt+F1 and Alt+F2 ask for the drive list of one of them.
    std::string FName;
    TKMYFILEPANEL* FOtherPanel = nullptr;
    bool FActive = false;
    bool FAbort = false;
    bool FLoading = false;
    bool FEnabled = true;
    std::uint32_t FState = 0;
    int FItemHeight = 15;
    int FVisibleRows = 0;
    /// Size of the control in pixels, given by the view.
    int FWidth = 100;
    int FHeight = 200;
    bool FWatching = false;

    TKITEMSSTRUC FFolderItems;
    TKITEMSSTRUC FInfoItems;
    TKITEMSSTRUC FFindItems;
    /// The holder in use: follows `PanelType`.
    TKITEMSSTRUC* FItemsStruc = &FFolderItems;
    /// Items added for later (`AddItem` with toPending); never shown as a whole.
    std::vector<std::unique_ptr<TKFiles>> FPendingItems;
    /// Every entry read from the open archive and every folder made up for them, in the order
    /// they came. Kept compact: items are made only for the folder on show.
    std::vector<TArchivePending> FArchiveEntries;

    // Browsing an archive as a folder (panel type ptArchive). Paths inside an archive use "/":
    // `FArchiveFolder` is empty at the root, else a path ending in "/" ("docs/img/").
    std::string FArchiveFileName;
    std::string FArchiveFolder;
    int FArchiveKind = 7;
    std::string FArchiveKindName;
    TKPanelType FPanelTypeBeforeArchive = ptFolder;
    int FArchiveFolderCount = 0;
    int FArchiveFileCount = 0;
    /// Where the last archive read stopped early, as the reader said it; empty when it read to
    /// the end. The user sees the language's message; this is for the probe and the tests.
    std::string FArchiveError;

    TKPanelType PanelType() const { return FPanelType; }
    void SetPanelType(TKPanelType value);
    bool Busy() const { return (FState & psBusy) != 0; }
    bool Quiet() const { return (FState & psQuiet) != 0; }

    // Painting state the model keeps (the painter reads it).
    int FLastTop = -1;
    int FLastCursor = -1;
    int FCurrentAlpha = 0;
    /// One trail weight per visible row, for at most 101 rows.
    std::array<int, 101> FTrail{};

    // Mouse state.
    int FMouseIndex = -1;
    int FPressIndex = 0;
    int FMouseY = 0;
    bool FMouseTracking = false;
    bool FRightMarking = false;
    bool FRightMarkState = false;
    bool FDragging = false;
    /// The auto-scroll timer runs (moves outside the rows must not restart it).
    bool FAutoScrolling = false;
    /// The connection the Ctrl+F handler filled in; the FTP session connects with it.
    TKFtpConnection FFtpConnection;
    /// Makes the session an FTP panel talks through (the owner sets it); without one Ctrl+F
    /// connects nothing.
    std::function<std::unique_ptr<TKRemoteSession>()> MakeRemoteSession;
    /// The session while the panel is an FTP panel.
    std::unique_ptr<TKRemoteSession> FRemote;
    /// The server's current folder as it last reported it.
    std::string FFtpCurrentDir;
    /// The time limits of the session's waits (the owner sets them from the settings).
    TRemoteLimits FFtpLimits;
    /// A session command is waiting (`FFtpWaiting`); Esc asks it to stop (`FFtpCancel`).
    bool FFtpWaiting = false;
    bool FFtpCancel = false;
    /// The loss of the connection was reported; the next command asks to connect again.
    bool FFtpLostReported = false;

    // The events; each is optional and skipped when empty.
    std::function<void(TKAfterChange what, const std::string& itemInfo)> OnAfterChange;
    std::function<void(const std::string& panelInfo)> OnAfterRefresh;
    std::function<void(const std::string& panelInfo)> OnInfoList;
    /// x, y relative to this panel's top-left corner; atOtherPanel asks for the menu at the
    /// other panel's top-left corner instead (the menu key).
    std::function<void(int x, int y, bool atOtherPanel)> OnPopUpMenu;
    std::function<void()> OnShowSortedStatus;
    std::function<void(TKSelectType& operation, std::string& mask)> OnGetMaskForSelect;
    std::function<void(bool& del, bool& toRecycle, bool& eraseAllTracks)> OnDeleteItems;
    std::function<void(bool& runIt)> OnCalcDirSizeCallBack;
    /// names: the marked entries as the archive stores them, a folder ending in "/".
    std::function<void(const std::string& archiveName, const std::vector<std::string>& names)>
        OnArchiveDeleteItems;
    std::function<void(TKFtpConnection& connection)> OnFTPConnections;
    std::function<void()> OnFTPDisconnect;
    std::function<void(const std::string& text)> OnFTPStatus;
    std::function<void()> OnExecute_Browse;
    std::function<void()> OnExecute_BrowseNET;
    std::function<void()> OnExecute_Type;
    /// Asks for a text (title, prompt, value shown and returned, masked echo); false when the
    /// user cancels. Without one, nothing can be asked and the question counts as cancelled.
    std::function<bool(const std::string& title, const std::string& prompt, std::string& value, bool masked)>
        AskText;
    /// A dragging of items out of the panel starts (the view runs the drag).
    std::function<void()> OnStartDrag;
    std::function<void()> OnCancelDrag;

    /// Asks the user: the message box with its button set and default button; returns the
    /// modal result. Without one, every question is answered with its default button's result.
    std::function<int(const std::string& text, int kind, int buttons, int defaultButton)> AskUser;
    /// Runs pending window messages during long operations (Esc sets `FAbort` meanwhile).
    std::function<void()> ProcessMessages;
    /// The modifier keys held right now (`TShiftState` bits); Alt changes the item info text.
    std::function<std::uint32_t()> KeyboardState;

    void AddInfoLine(const std::string& caption, const std::string& value, TKItemKind kind);
    TKFiles* AddItem(const std::string& caption, const std::string& name, TKItemKind kind,
                     const std::string& info, std::int64_t size, bool toPending);
    /// Adds a listed entry to holder (at the end, or in sorted position); null when it is left
    /// out (".", hidden or system entries while hidden files are not shown, or a panel type
    /// that lists no entries).
    TKFiles* AddSearchRecItem(TKITEMSSTRUC& holder, const TDirEntry& entry, bool sorted);
    void DeleteItem(int index);
    int FindItem(const std::string& name, bool moveCursor);
    int FindBestItem(const std::string& name, bool moveCursor);
    std::string ItemFolder(int index) const;
    std::string ItemFullName(int index) const;
    /// The name an archive manager is given for the item at index of an archive panel: the
    /// entry's name as the archive stores it, a folder's with one trailing "/".
    std::string ArchiveStoredName(int index) const;
    void RecountMarked();
    /// Asks for the item at index of the current list to be unmarked on the GUI thread, provided
    /// it still is the item named fullName there (a list re-read or re-sorted meanwhile is left
    /// as it is); with redraw its row is redrawn when visible. Any thread: copy jobs call it as
    /// they finish items, and never touch the list themselves. The request runs through the
    /// panel's post function, or at the next `RunRequests` when the panel has none.
    void RequestUnmark(int index, std::string fullName, bool redraw);
    /// Runs the requests that came from other threads. GUI thread.
    void RunRequests();
    std::string GetItemInfo() const;
    std::string GetPanelPath() const;
    /// The size column text of an item ("up-folder", "folder" or the formatted size).
    std::string SizeText(const TKFiles& item) const;
    /// The right column text: the item's own info, else its size text.
    std::string InfoText(const TKFiles& item) const;
    /// The date column text, or the "n/a" text when the item has no date.
    std::string DateText(const TKFiles& item) const;

    /// Fills the list of the panel type: a folder is listed (keepState keeps marks, cursor and
    /// counted sizes of a folder on a drive that reports its changes), the drive list is built
    /// (and, with `PanelDriveSizeAtOnce`, counted as F3 would), the item information is built from
    /// the other panel, find results lose the entries gone from the disk. Then the marked totals
    /// are recounted, `OnAfterRefresh` gets the panel path and `OnAfterChange` the list. Does
    /// nothing while `FLoading` is set or the panel is disabled. A folder that cannot be opened
    /// gives way to the nearest one that can; a missing mount asks to retry (before start-up has
    /// finished the home folder replaces it silently) and gives the drive list otherwise; a
    /// failing listing keeps what it read. Runs on the GUI thread with painting locked; the
    /// drive-list count calls `ProcessMessages`.
    void ReadPanel(bool keepState, bool repaint);
    void ExecuteItem(bool alternate);
    void GoToRoot();
    void SwitchDrive(bool forward);
    /// The panel gained the focus: it becomes active and the other panel inactive.
    void GotFocus();
    /// A change report of the watcher; restarts the one-second watch timer.
    void WatcherChanged();
    /// A tick of one of the panel's timers (the view calls it).
    void TimerTick(TKPanelTimer timer);
    /// `OpenArchive`: reads the directory of the archive file fullName once (the reader chosen by
    /// the name's extension) into `FPendingItems`, making up the folders it implies, and shows
    /// folder (empty: the root). A damaged archive keeps what was read and says so; Esc stops the
    /// read. GUI thread; runs pending messages every entry.
    void OpenArchive(const std::string& fullName, const std::string& folder);
    /// `ShowArchiveFolder`: the up-folder item and the pending items of folder (matched without
    /// regard to case), sorted.
    void ShowArchiveFolder(const std::string& folder);
    /// `CloseArchive`: back to the panel type before the archive, the cursor on its file.
    void CloseArchive();
    /// `AddArchiveFolders`: the folders above name (a "/" path) that are not yet in the pending
    /// list, the deepest first handled first, as made-up folder items.
    void AddArchiveFolders(const std::string& name);
    /// `AddArchiveItem`: one stored entry as a pending entry; a folder entry replaces the folder
    /// made up for it before. Null for an entry without a name.
    const TArchivePending* AddArchiveItem(const TArchiveEntry& entry);
    /// `ReportArchiveProgress`: counts the entry and shows the progress text every 30 entries.
    void ReportArchiveProgress(const TArchivePending& entry);
    /// The panel item of a pending archive entry, as a folder of the archive shows it.
    std::unique_ptr<TKFiles> MakeArchiveItem(const TArchivePending& entry) const;
    void SortItems();
    /// Marks, unmarks or toggles one item of the current list by mode (a `TKMarkMode`), keeping
    /// the marked totals; null and the up-folder are left alone. Fires nothing, paints nothing.
    void MarkItem(TKFiles* item, int mode);
    /// Index `MarkCursorItem` marks the cursor item, `MarkMatchingItems` every item whose name
    /// matches one of the ";"-separated masks (in a drive list toggling marks every fixed disk);
    /// any other index marks that item, and an index outside the list marks nothing. mode is a
    /// `TKMarkMode`. With repaint, the cursor row is repainted when the marked item is the cursor
    /// item (moveDown first moves the cursor down), otherwise every row. Then `OnAfterChange`
    /// reports the list. GUI thread.
    void MarkItems(const std::string& masks, int mode, int index, bool repaint, bool moveDown);
    /// Ctrl+F1..F3, Ctrl+F6, Ctrl+F7: changes a sort option, sorts, re-reads folder panels.
    void ChangeSortOption(int sortMode, bool toggleFolderFirst, bool toggleExecutableFirst);
    /// Ctrl+Del: takes the marked items (or the cursor item) off the list only.
    void RemoveFromList();

    /// A key of the panel: runs the key's commands (`MapPanelKey`) in order, each through its
    /// method and so under its rule. GUI thread; a command may run a long operation, which calls
    /// `ProcessMessages` before this returns.
    void KeyDown(int key, std::uint32_t shift);
    /// The same as `KeyDown`.
    void PressKey(int key, std::uint32_t shift) { KeyDown(key, shift); }
    void CursorUp();
    void CursorDown();
    void ScrollUp();
    void ScrollDown();
    void PageUp();
    void PageDown();
    void CursorHome();
    void CursorEnd();

    /// The view reports its size and row height; the visible row count follows.
    void SetGeometry(int width, int height, int itemHeight);
    TRect ItemRect(int index) const;
    int ItemAtPos(int y) const;
    /// The cursor checks a paint pass makes before drawing; true when the top row moved (the
    /// pass must then draw completely).
    bool CheckCursor();
    /// One step of the trail fading (every 100 ms).
    void ExternalThread();
    void MouseDown(TMouseButton button, std::uint32_t shift, int x, int y);
    void MouseMove(std::uint32_t shift, int x, int y);
    void MouseUp(TMouseButton button, std::uint32_t shift, int x, int y);
    /// The view's drag of this panel's items ended (dropped or not): the drag took the mouse
    /// meanwhile, so no release reached the panel. Tracking, right marking and auto-scrolling end.
    void EndDrag();
    void DoubleClick();
    /// A wheel step: negative delta rolls toward the user (the list scrolls down).
    void MouseWheel(int delta);

    /// Runs one command through its method below (the moves repaint the cursor row after them).
    void RunCommand(TPanelCommand command);
    /// The rule of a command (`PanelCommandAllowed`) with this panel's state and options.
    bool CommandAllowed(TPanelCommand command) const;

    // The commands. Each runs on the GUI thread and does nothing when its rule refuses it: every
    // one but Esc, the moves, the FTP connection and saving a folder waits while the panel is
    // busy. Those that start a long operation call `ProcessMessages` before they return.

    /// Esc: asks a running long operation to stop (`FAbort`).
    void AbortOperation();
    /// Alt+F1 (leftPanel) or Alt+F2: the drive list in "LEFTPANEL" or "RIGHTPANEL". When the other
    /// panel is the one named, it takes the focus and the command; when this one is and it is
    /// not busy, it says so through `OnInfoList` and lists the drives.
    void ShowDriveList(bool leftPanel);
    /// Ctrl+F: asks `OnFTPConnections` for a connection; when the handler enables FTP, the panel
    /// keeps the connection and becomes an FTP panel. Nothing without a handler.
    void ConnectFTP();
    /// Ctrl+0..9: keeps the folder list's path in slot (0 to 9) and says so through `OnInfoList`.
    void SaveFolder(int slot);
    /// Alt+0..9: lists the folder of slot (0 to 9); an empty slot gives the drive list.
    void OpenSavedFolder(int slot);
    /// The menu key, Shift+F10: `OnPopUpMenu` at the other panel's top-left corner.
    void ShowPopUpMenu();
    /// Enter (Shift+Enter for alternate): `ExecuteItem` on the cursor item.
    void OpenItem(bool alternate);
    /// Ctrl+PageUp, Backspace: to the parent folder, with the cursor on the folder left; nothing
    /// without an up-folder item.
    void OpenParentFolder();
    /// Ctrl+\: `GoToRoot`.
    void OpenRootFolder();
    /// Ctrl+Right (forward) and Ctrl+Left: `SwitchDrive`.
    void OpenNextDrive(bool forward);
    /// Ctrl+Insert: the cursor item's caption (the folder for the up-folder, the value of an
    /// item-information line) goes to the clipboard. Nothing without a platform or an item.
    void CopyNameToClipboard();
    /// Ctrl+F1..F3: `ChangeSortOption` with sortMode 1 name, 2 extension, 3 size.
    void SetSortMode(int sortMode);
    /// Ctrl+F6 and Ctrl+F7: `ChangeSortOption` toggling folders or executables first.
    void ToggleFolderFirst();
    void ToggleExecutableFirst();
    /// Ctrl+R: `ReadPanel`(true, true).
    void Reread();
    /// Insert: toggles the cursor item's mark, then moves the cursor down.
    void ToggleMarkAndMoveDown();
    /// Space: toggles the cursor item's mark; a folder marked so in a folder or find-result
    /// panel is counted unless `PanelCountDisabled` is set.
    void ToggleMarkAndCount();
    /// Num*: inverts every mark (in a drive list, marks the fixed disks).
    void InvertMarks();
    /// Num+ (stSelect) and Num-: asks `OnGetMaskForSelect` for the masks, starting from "*.*"
    /// (the handler may change the operation too), and marks or unmarks the matching items; an
    /// empty mask marks nothing.
    void MarkByMask(TKSelectType operation);
    /// Ctrl+Num+, Ctrl+A and Ctrl+Num-: marks or unmarks every item.
    void MarkAll();
    void UnmarkAll();
    /// F3: unless `PanelCountDisabled` is set, asks `OnCalcDirSizeCallBack` (run true on entry;
    /// the main window views a file instead and says false) and counts (`CountSizes`) when it
    /// stays true.
    void ViewOrCountSizes();
    /// Ctrl+Q: `CountSizes` unless `PanelCountDisabled` is set.
    void CountItemSizes();
    /// F8, Del: `DeleteItems` unless `PanelDeleteDisabled` is set.
    void DeleteMarked();
    /// Ctrl+Del: `RemoveFromList`.
    void RemoveMarkedFromList();
    /// Ctrl+S: sorts the list as it is (find results come unsorted), fires `OnShowSortedStatus`
    /// and repaints every row.
    void SortList();

    /// Counts the sizes of the marked items, or of the cursor item when none is marked (in a
    /// drive list with none marked, every fixed disk): folders are walked to the bottom, drives
    /// give their free and total space, each counted row shows its size. Only in drive-list,
    /// folder and find-result panels with items. The panel is busy meanwhile and sends the
    /// progress through `OnAfterChange`; unless it is reading, the result goes to `OnInfoList`,
    /// which names the first folder that could not be read in full instead of giving a short
    /// total. Ends with `FAbort` set. Runs on the GUI thread and calls `ProcessMessages` after
    /// every entry, so Esc stops it.
    void CountSizes();
    /// Asks `OnDeleteItems` whether to delete, to the Trash or wiping, then deletes the marked
    /// items (the cursor item when none is marked): in a folder or find-result panel through the
    /// open folders of a tree walk, asking through `AskUser` about failures, read-only items and
    /// folders that are not empty; an archive panel hands the stored names of the marked entries
    /// to `OnArchiveDeleteItems`, whose archive manager deletes them; an FTP panel deletes on the server,
    /// folders with their trees. Only in those panel types with items. Afterwards the panel is re-read
    /// keeping its state, and so is the other panel when it shows the same path. Runs on the GUI thread and
    /// calls `ProcessMessages` after every entry, so Esc stops it.
    void DeleteItems();
    /// Gives the item at index of a folder, find-result or FTP panel the name newName in the
    /// folder it lies in; the same name is done at once. A name that is empty, "." or "..", or
    /// holds "/" or NUL is refused. On the server this is `FtpRename`; locally the rename goes
    /// through the open folder of the item and never replaces a taken name. Afterwards a
    /// find-result item carries the new name, the panel is re-read (as is the other panel when it
    /// shows the same folder) and the cursor is on the item. Every failure is told through
    /// `AskUser` (taken, not permitted, invalid, or the system's reason) and renames nothing;
    /// no item, an up-folder, another panel type or a busy panel fail without a message.
    /// GUI thread; an FTP rename runs pending messages while it waits.
    Result<void> RenameItem(int index, const std::string& newName);
    /// Searches startFolder, or the marked folders (inMarkedFolders), or every fixed disk when
    /// startFolder is empty, for names matching one of the ";"-separated masks ("*" when there
    /// are none) and, with text, for regular files holding it (caseSensitive or not). subfolders
    /// searches the whole tree: hidden entries only while they are shown, folder links never
    /// entered, other file systems mounted below a start folder's first level left out. The
    /// first hit turns the panel into a find-result list whose up-folder leads back. Progress
    /// goes to `OnAfterChange`; a folder that could not be read is named through `OnInfoList`.
    /// Runs on the GUI thread and calls `ProcessMessages` after every entry, so Esc stops it.
    void FindFiles(const std::string& startFolder, const std::string& masks, const std::string& text,
                   bool caseSensitive, bool subfolders, bool inMarkedFolders);
    /// Marks, in both panels, every pair of items equal in the chosen properties: the name
    /// without regard to case, the size, the attributes, the modification time. Up-folders are
    /// never compared. Nothing without another panel, or while it is quiet. Both panels are busy
    /// meanwhile. Runs on the GUI thread; calls `ProcessMessages` once before it starts.
    void ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate);
    /// The same with the content checks as well; Esc stops a long comparison of contents.
    void ComparePanels(const TCompareOptions& options);
    /// Fills the item-information list from the other panel's cursor item.
    void BuildItemInfo();
    /// Runs one command of the FTP session with both panels busy and Esc able to stop its wait;
    /// a failure is answered as the user needs it (a message, the panel back on its folder after a
    /// time-out or a broken connection, the connection loss in the item line). With reconnect,
    /// a session the server closed asks to connect again first. GUI thread; runs pending messages.
    Result<void> RunFtp(const std::function<Result<void>(TKRemoteSession&)>& operation,
                        bool reconnect = true);
    /// MKD name in the server's current folder; true when it was made.
    bool FtpMakeDir(const std::string& name);
    /// RNFR/RNTO; on success the list is re-read with the cursor on the new name, otherwise the
    /// "ftp_rename_failed" text is shown.
    bool FtpRename(const std::string& from, const std::string& to);
    /// Sends a command line as typed and re-reads the list; the server's answer.
    Result<TFtpReply> FtpRawCommand(const std::string& line);
    /// Back from the server to the folder the panel showed before (QUIT is sent).
    void LeaveFtp();
    /// The idle check: reports in the item line when the server closed the connection.
    void CheckFtpAlive();

    /// Ctrl+I on the other panel: with show, the panel lists the item information of the other
    /// panel's cursor item; without, it gives back the list it showed before with its marks,
    /// cursor and top row (a folder is re-read keeping that state, so what changed meanwhile
    /// shows; an FTP panel, whose session closed, returns to its folder). GUI thread.
    void ShowItemInfo(bool show);

private:
    // The long operations run as objects of their own that fire the panel's events.
    friend class TCountSizes;
    friend class TFindFiles;
    friend class TComparePanels;
    friend class TFtpDelete;

    void FireAfterChange(TKAfterChange what, const std::string& text);
    void FireAfterRefresh(const std::string& text);
    void RepaintCursor();
    void RepaintAll();
    void Pump();
    int Ask(const std::string& text, int kind, int buttons, int defaultButton);
    void ReadFolder(bool keepState);
    bool ReadFolderKeepingState();
    void ReadDriveList();
    void PruneFindResults();
    void AutoScrollTick();
    void ConnectFtpSession();
    void CloseFtpSession();
    bool Reconnect();
    void HandleFtpFailure(const TError& error);
    void ReportFtpLost();
    void ReadFtpPanel(bool keepState, bool repaint);
    void ExecuteFtpItem();
    void DeleteFtpMarked();

    TKPanelType FPanelType = ptFolder;
    // What the panel showed before its item information.
    TKPanelType FPanelTypeBeforeInfo = ptFolder;
    std::unique_ptr<TKFileWatcher> FWatcher;
    std::function<void(std::function<void()>)> FPost;
    struct TUnmarkRequest {
        int Index;
        std::string FullName;
        bool Redraw;
    };
    std::mutex FRequestLock;
    std::vector<TUnmarkRequest> FRequests;
    /// The folder items of the pending list by their exact name, and whether each was made up.
    struct TArchiveFolderSlot {
        std::size_t Index;
        bool MadeUp;
    };
    // Looked up by string_view, so the reader's names are not copied to be found.
    struct TNameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
    };
    std::unordered_map<std::string, TArchiveFolderSlot, TNameHash, std::equal_to<>> FArchiveFolders;
};

} // namespace ks
