#pragma once

#include <cstdint>

// The file panel's commands without the panel: the key map that turns a key of a panel into its
// commands, and the rules that let a command run.

namespace ks {

/// Every command a key of the panel runs; each has a method of `TKMYFILEPANEL` (see `RunCommand`).
enum TPanelCommand : int {
    pcNone,
    pcAbort,    ///< Esc: `AbortOperation`
    pcCursorUp, ///< the moves: `CursorUp` and so on, then a cursor repaint
    pcCursorDown,
    pcScrollUp,
    pcScrollDown,
    pcPageUp,
    pcPageDown,
    pcCursorHome,
    pcCursorEnd,
    pcDriveListLeft,  ///< Alt+F1: `ShowDriveList`(true)
    pcDriveListRight, ///< Alt+F2: `ShowDriveList`(false)
    pcConnectFTP,     ///< Ctrl+F: `ConnectFTP`
    pcSaveFolder0,    ///< Ctrl+0 .. Ctrl+9: pcSaveFolder0 + n is `SaveFolder`(n)
    pcSaveFolder9 = pcSaveFolder0 + 9,
    pcPopUpMenu,         ///< the menu key, Shift+F10: `ShowPopUpMenu`
    pcOpenItem,          ///< Enter: `OpenItem`(false)
    pcOpenItemAlternate, ///< Shift+Enter: `OpenItem`(true)
    pcUpFolder,          ///< Ctrl+PageUp, Backspace: `OpenParentFolder`
    pcRootFolder,        ///< Ctrl+\: `OpenRootFolder`
    pcPreviousDrive,     ///< Ctrl+Left: `OpenNextDrive`(false)
    pcNextDrive,         ///< Ctrl+Right: `OpenNextDrive`(true)
    pcOpenFolder0,       ///< Alt+0 .. Alt+9: pcOpenFolder0 + n is `OpenSavedFolder`(n)
    pcOpenFolder9 = pcOpenFolder0 + 9,
    pcCopyName,              ///< Ctrl+Insert: `CopyNameToClipboard`
    pcSortByName,            ///< Ctrl+F1: `SetSortMode`(1)
    pcSortByExt,             ///< Ctrl+F2: `SetSortMode`(2)
    pcSortBySize,            ///< Ctrl+F3: `SetSortMode`(3)
    pcToggleFolderFirst,     ///< Ctrl+F6: `ToggleFolderFirst`
    pcToggleExecutableFirst, ///< Ctrl+F7: `ToggleExecutableFirst`
    pcReread,                ///< Ctrl+R: `Reread`
    pcToggleMarkDown,        ///< Insert: `ToggleMarkAndMoveDown`
    pcToggleMarkCount,       ///< Space: `ToggleMarkAndCount`
    pcInvertMarks,           ///< Num*: `InvertMarks`
    pcSelectByMask,          ///< Num+: `MarkByMask`(stSelect)
    pcDeselectByMask,        ///< Num-: `MarkByMask`(stDeselect)
    pcMarkAll,               ///< Ctrl+Num+, Ctrl+A: `MarkAll`
    pcUnmarkAll,             ///< Ctrl+Num-: `UnmarkAll`
    pcViewOrCount,           ///< F3: `ViewOrCountSizes`
    pcCount,                 ///< Ctrl+Q: `CountItemSizes`
    pcDelete,                ///< F8, Del: `DeleteMarked`
    pcRemoveFromList,        ///< Ctrl+Del: `RemoveMarkedFromList`
    pcSortList,              ///< Ctrl+S: `SortList`
    pcCommandCount
};

/// The options the key map looks at.
struct TPanelKeyContext {
    bool BackspaceUp = false;   ///< `PanelBackspaceUp`: Backspace goes to the parent folder
    bool DelKeyDeletes = false; ///< `PanelDelKeyDeletes`: Del deletes like F8
};

/// The commands of one key, run in this order; pcNone for none.
struct TPanelKeyAction {
    TPanelCommand First = pcNone;
    TPanelCommand Then = pcNone; ///< only Ctrl+PageUp runs two: a page up, then the parent folder
};

/// The panel's key map for a virtual key and a shift state (`TShiftState` bits; mouse buttons
/// held change nothing). A key written with a modifier means exactly that modifier; the moves
/// and Esc take any modifiers.
TPanelKeyAction MapPanelKey(int key, std::uint32_t shift, const TPanelKeyContext& context);

/// What the command rules look at.
struct TPanelCommandContext {
    bool Busy = false;           ///< the panel runs a long operation
    bool CountDisabled = false;  ///< `PanelCountDisabled`
    bool DeleteDisabled = false; ///< `PanelDeleteDisabled`
};

/// Whether a command may run now. While the panel is busy only Esc, the moves, the FTP connection
/// and saving a folder run (a drive-list key naming the other panel still goes on to that one);
/// counting and deleting follow their options. Rules that need more of the panel (Space counts
/// only a folder it has just marked, Ctrl+F needs its handler) stay in the command's method.
bool PanelCommandAllowed(TPanelCommand command, const TPanelCommandContext& context);

} // namespace ks
