#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace ks {

/// Modal results of the message box: what a pressed button (or closing) gives the caller.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

/// Button-set bits: a message box shows the buttons whose bits are in its buttons argument.
inline constexpr int mbYes = 1;
inline constexpr int mbNo = 2;
inline constexpr int mbOK = 4;
inline constexpr int mbCancel = 8;
inline constexpr int mbAbort = 16;
inline constexpr int mbRetry = 32;
inline constexpr int mbNoToAll = 256;
inline constexpr int mbYesToAll = 512;

/// Button width of the skinned buttons, in pixels.
inline constexpr int DefaultMessageButtonWidth = 83;
/// The client width never goes below this many pixels.
inline constexpr int MinMessageBoxWidth = 250;
/// Width of the icon column and of the margins on both sides of the button row.
inline constexpr int MessageBoxMargin = 32;
/// Gap between two buttons.
inline constexpr int MessageButtonGap = 5;
/// The icon changes this often, in milliseconds.
inline constexpr int MessageIconInterval = 750;

/// One button of the message box.
struct TMessageButton {
    std::string_view Name;           ///< component name
    int Bit;                         ///< button-set bit
    int ModalResult;                 ///< what pressing it returns
    std::string_view LangKey;        ///< identifier of its caption in the language table
    std::string_view DefaultCaption; ///< caption before any language is loaded
    int DefaultIndex;                ///< the caller's default-button index that names it
};

/// The eight buttons in the order they are laid out from left to right.
inline constexpr std::array<TMessageButton, 8> MessageButtons = {{
    {"mmbYes", mbYes, mrYes, "MSGBOX_Yes", "&Yes", 0},
    {"mmbYesToAll", mbYesToAll, mrYesToAll, "MSGBOX_YesToAll", "Yes to &all", 9},
    {"mmbNo", mbNo, mrNo, "MSGBOX_No", "&No", 1},
    {"mmbNoToAll", mbNoToAll, mrNoToAll, "MSGBOX_NoToAll", "No &to all", 8},
    {"mmbOK", mbOK, mrOk, "MSGBOX_OK", "&OK", 2},
    {"mmbCancel", mbCancel, mrCancel, "MSGBOX_Cancel", "&Cancel", 3},
    {"mmbRetry", mbRetry, mrRetry, "MSGBOX_Retry", "&Retry", 5},
    {"mmbAbort", mbAbort, mrAbort, "MSGBOX_Abort", "A&bort", 4},
}};

/// Identifier of the message box's window caption in the language table, and its English text.
inline constexpr std::string_view MessageCaptionKey = "MSGBOX_Caption";
inline constexpr std::string_view MessageCaptionDefault = "message...";

/// A question's button set and the default-button index of the button it pre-selects.
struct TMessageQuestion {
    int Buttons;
    int DefaultButton;
};

/// The delete questions. A read-only folder: Yes, No, Abort with No pre-selected, so Enter keeps
/// the folder. Something that cannot be deleted: Yes (try again), No, Abort, No to all, with No
/// pre-selected, so Enter never repeats a failing removal. A folder that is not empty: the same
/// with Yes to all, Yes pre-selected (the user chose to delete it).
inline constexpr TMessageQuestion DeleteReadOnlyQuestion = {mbYes | mbNo | mbAbort, 1};
inline constexpr TMessageQuestion DeleteRetryQuestion = {mbYes | mbNo | mbAbort | mbNoToAll, 1};
inline constexpr TMessageQuestion DeleteFolderQuestion = {mbYes | mbNo | mbAbort | mbNoToAll | mbYesToAll, 0};

/// Index into `MessageButtons` of the button a default-button index names (0 Yes, 1 No, 2 OK,
/// 3 Cancel, 4 Abort, 5 Retry, 8 No to all, 9 Yes to all); -1 for any other index.
int MessageButtonOfDefault(int defaultButton);

/// Where everything of one message box goes.
struct TMessageBoxLayout {
    /// Indexes into `MessageButtons` of the visible buttons, left to right.
    std::vector<int> Visible;
    /// Left edge of each visible button, parallel to `Visible`.
    std::vector<int> ButtonLeft;
    /// Index into `MessageButtons` of the focused button; -1 when no button is visible.
    int Focused = -1;
    int ClientWidth = MinMessageBoxWidth;
    /// Left edge of the first button.
    int Left = 0;
};

/// Lays out a message box: the buttons whose bits are in buttons, in table order, 5 pixels apart;
/// the client width is 32 + the buttons with their gaps + 32, at least 250; the row starts at
/// (client width - row width) / 2. widths holds each button's width by table index.
/// The button named by defaultButton gets the focus; when that button is not shown, the first
/// visible one does (a hidden button cannot take the focus).
TMessageBoxLayout LayoutMessageBox(int buttons, int defaultButton,
                                   const std::array<int, 8>& widths = {
                                       DefaultMessageButtonWidth, DefaultMessageButtonWidth,
                                       DefaultMessageButtonWidth, DefaultMessageButtonWidth,
                                       DefaultMessageButtonWidth, DefaultMessageButtonWidth,
                                       DefaultMessageButtonWidth, DefaultMessageButtonWidth});

/// What the box returns for a modal result, given the buttons it showed. Cancel is also what
/// Escape and closing the window give: it stays Cancel when the Cancel button was shown, else it
/// becomes No when No was shown, else Abort. Other results are returned as they are.
int MessageBoxResult(int modalResult, int buttons);

/// The system icons the message box cycles through.
enum TMessageIcon { miNone, miExclamation, miError, miQuestion };

/// The animated icon: empty until the first tick; each tick shows the icon of the current phase
/// (1 exclamation, 2 error, 3 question) and advances the phase 1, 2, 3, 1, ...
class TMessageIconCycle {
public:
    /// Shows the next icon and returns it.
    TMessageIcon Tick();
    TMessageIcon Icon() const { return FIcon; }
    /// The phase the next tick shows.
    int Phase() const { return FPhase; }

private:
    int FPhase = 1;
    TMessageIcon FIcon = miNone;
};

} // namespace ks
