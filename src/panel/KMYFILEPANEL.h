#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/DELTA9.h"
#include "foundation/FileWatcher.h"
#include "foundation/Keys.h"
#include "foundation/System.h"
#include "panel/KITEMSSTRUC.h"
#include "panel/PanelOptions.h"

namespace ks {

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

/// What the FTP connection handler fills in for Ctrl+F.
struct TKFtpConnection {
    bool DisableFTP = true;
    bool UseProxy = false;
    std::string Host, Name, Password, ProxyName;
    int Port = 21;
    int ProxyPort = 0;
};

/// The widget side of a panel: repaint requests, the painting lock, timers and focus. The
/// model never paints; it asks. Every call comes on the GUI thread.
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
/// every operation on the lists and the events that report them. The widget that paints it
/// implements `TKPanelView` and hands in keys, mouse input and the row geometry.
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
    /// Owns every item read from an archive; never shown as a whole.
    std::vector<std::unique_ptr<TKFiles>> FPendingItems;

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
    std::function<void(const std::string& archiveName, const std::string& listFile)> OnArchiveDeleteItems;
    std::function<void(TKFtpConnection& connection)> OnFTPConnections;
    std::function<void()> OnFTPDisconnect;
    std::function<void(const std::string& text)> OnFTPStatus;
    std::function<void()> OnExecute_Browse;
    std::function<void()> OnExecute_BrowseNET;
    std::function<void()> OnExecute_Type;
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
    void RecountMarked();
    std::string GetItemInfo() const;
    std::string GetPanelPath() const;
    /// The size column text of an item ("up-folder", "folder" or the formatted size).
    std::string SizeText(const TKFiles& item) const;
    /// The right column text: the item's own info, else its size text.
    std::string InfoText(const TKFiles& item) const;
    /// The date column text, or the "n/a" text when the item has no date.
    std::string DateText(const TKFiles& item) const;

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
    /// Opens an archive file as a folder; archives come with their own readers later, so this
    /// opens nothing yet.
    void OpenArchive(const std::string& fullName);

    void SortItems();
    void MarkItem(TKFiles* item, int mode);
    void MarkItems(const std::string& masks, int mode, int index, bool repaint, bool moveDown);
    /// Ctrl+F1..F3, Ctrl+F6, Ctrl+F7: changes a sort option, sorts, re-reads folder panels.
    void ChangeSortOption(int sortMode, bool toggleFolderFirst, bool toggleExecutableFirst);
    /// Ctrl+Del: takes the marked items (or the cursor item) off the list only.
    void RemoveFromList();

    void KeyDown(int key, std::uint32_t shift);
    void PressKey(int key, std::uint32_t shift) { KeyDown(key, shift); }
    void CursorUp();
    void CursorDown();
    void ScrollUp();
    void ScrollDown();
    void PageUp();
    void PageDown();
    void CursorHome();
    void CursorEnd();
    void CopyNameToClipboard();

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
    void DoubleClick();
    /// A wheel step: negative delta rolls toward the user (the list scrolls down).
    void MouseWheel(int delta);

    void CountSizes();
    void DeleteItems();
    void FindFiles(const std::string& startFolder, const std::string& masks, const std::string& text,
                   bool caseSensitive, bool subfolders, bool inMarkedFolders);
    void ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate);
    /// Fills the item-information list from the other panel's cursor item.
    void BuildItemInfo();

private:
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

    TKPanelType FPanelType = ptFolder;
    std::unique_ptr<TKFileWatcher> FWatcher;
};

} // namespace ks
