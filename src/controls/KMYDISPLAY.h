#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/Keys.h"

namespace ks {

/// Measures the drawn width of a UTF-8 text in pixels in the display's font; supplied by the
/// widget. It must not shrink when the text grows.
using TTextMeasure = std::function<int(std::string_view)>;

/// Marks text scrolled out to the left and to the right of the edit area.
inline constexpr std::string_view ScrolledLeftMarker = "< ";
inline constexpr std::string_view ScrolledRightMarker = " >";
/// Stands for the omitted middle of a shortened path.
inline constexpr std::string_view PathCutMarker = "|..|";
/// A shortened path keeps this many characters of its end.
inline constexpr std::size_t PathTailChars = 30;
/// Gap between the caption and the edit area, before the left marker, in pixels.
inline constexpr int EditAreaGap = 16;
/// Width of the caret block when the caret stands after the last character.
inline constexpr int EndCaretWidth = 6;
/// The scroll position moves in steps of this many characters, and the caret keeps this many
/// characters away from both ends of the visible part.
inline constexpr std::size_t ScrollStep = 10;
/// The caret blink cycle in ticks; the caret is hidden from tick CaretHiddenFrom on.
inline constexpr int BlinkCycle = 10;
inline constexpr int CaretHiddenFrom = 8;

/// Where the parts of a text display go, in pixels from the control's left edge and byte offsets
/// into `Text`. Computed by TKMYDISPLAY::Layout for the widget to draw.
struct TKMYDISPLAYLayout {
    std::string CaptionShown;     ///< the caption as drawn (a long path shortened)
    bool EditorShown = false;     ///< the edit part (text, caret, markers) is drawn
    int EditX = 0;                ///< left edge of the edit area
    std::size_t VisibleStart = 0; ///< first byte of the text shown (the scroll position)
    std::size_t VisibleEnd = 0;   ///< byte after the last one shown
    bool LeftMarker = false;      ///< text is hidden on the left: draw "< " at LeftMarkerX
    int LeftMarkerX = 0;          ///<
    bool RightMarker = false;     ///< text is hidden on the right: draw " >" at RightMarkerX
    int RightMarkerX = 0;         ///<
    std::size_t CaretPos = 0;     ///< byte offset of the caret
    std::size_t CaretCharEnd = 0; ///< end of the character drawn on the caret block
    int CaretX = 0;               ///< left edge of the caret block
    int CaretWidth = 0;           ///< width of the caret block
    bool CaretBlockShown = false; ///< the block is drawn now (blinking)
    bool SelectionShown = false;  ///< a part of the selection is visible: underline it
    int SelectionX1 = 0;          ///< underline from here
    int SelectionX2 = 0;          ///< to here
};

/// The logic of the one-line skinned text display: the path lines and item lines of the panels
/// and the command line `INFOLINE`, which adds an editable text with a block caret, a selection,
/// word moves and horizontal scrolling after its caption. The widget draws what Layout returns and
/// forwards keys (PressKey), typed characters (KeyPress) and the 100 ms tick (BlinkTick).
///
/// The text is UTF-8. Positions (`TextPosition`, the selection ends, the scroll position) are byte
/// offsets that always stand on a character boundary; caret moves and deletes step over whole
/// characters. A byte that does not start a valid UTF-8 sequence (a file name in another encoding)
/// counts as one character. "/" is the folder separator for word moves and path shortening.
///
/// Used on the GUI thread only.
class TKMYDISPLAY {
public:
    TKMYDISPLAY();

    /// Fired after an edit or an assignment changed `Text`.
    std::function<void(TKMYDISPLAY& sender)> OnChangeText;
    /// Asked on every layout whether to draw the edit part; showIt comes in as "Text is not empty".
    std::function<void(TKMYDISPLAY& sender, bool& showIt)> OnShowEditor;
    /// Fired by PressKey before the display handles the key; setting key to 0 leaves only the
    /// ending of the selection and a redraw.
    std::function<void(TKMYDISPLAY& sender, int& key, std::uint32_t shift)> OnKeyDown;
    /// The display changed and must be drawn again.
    std::function<void()> OnRedraw;
    /// Puts a text on the system clipboard.
    std::function<void(std::string_view text)> OnSetClipboardText;
    /// Returns the system clipboard's text.
    std::function<std::string()> OnGetClipboardText;

    const std::string& Caption() const { return FCaption; }
    /// Redraws when the value changes.
    void SetCaption(std::string_view caption);

    const std::string& Text() const { return FText; }
    /// When different: stores the text, fires OnChangeText, clears the last typed character and
    /// redraws. The caret and the selection are pulled back inside a shorter text.
    void SetText(std::string_view text);

    /// The caret position: bytes of text before the caret.
    std::size_t TextPosition() const { return FTextPosition; }
    /// Moves the caret; a position past the end goes to the end, one inside a character to that
    /// character's start. Redraws when the value changes.
    void SetTextPosition(std::size_t position);

    bool IsFolder() const { return FIsFolder; }
    /// A path display: a caption wider than the control is shown shortened (ShortenPath).
    void SetIsFolder(bool isFolder);

    /// Switches caret blinking (the "Blinking cursor in command line" option).
    void SetBlinkingCursor(bool blinking);
    bool BlinkingCursor() const { return FBlinkingCursor; }

    /// Supplies the text measure and the control width in pixels; both are needed by Layout and
    /// for scrolling. Without a measure the text does not scroll.
    void SetMeasure(TTextMeasure measure);
    void SetWidth(int width);
    int Width() const { return FWidth; }

    /// One tick of the 100 ms timer: steps the blink counter 0..9 and redraws when the caret is
    /// shown or hidden (only when there is text).
    void BlinkTick();
    /// The caret block is drawn now: always without blinking, otherwise for the first 8 ticks.
    bool CaretVisible() const { return !FBlinkingCursor || FBlinkCount < CaretHiddenFrom; }

    /// Empties the text and puts the caret at 0.
    void ClearText();
    /// The characters between the two selection ends (empty without a selection).
    std::string GetSelectedText() const;
    /// Runs the key handler as if the key (a `TVirtualKey`) were pressed with the modifiers
    /// (`TShiftState` bits). The display acts on `IsEditKey` keys; any other only ends the
    /// selection.
    void PressKey(int key, std::uint32_t shift);
    /// The keys the display takes as keys rather than as typed text: Escape, Home, End, Left,
    /// Right and Delete.
    static bool IsEditKey(int key);
    /// A typed character: 8 backspace, 127 Ctrl+Backspace (deletes the word before the caret),
    /// anything above 31 is inserted at the caret; other control codes are ignored. A code that is
    /// not a Unicode scalar value is ignored.
    void KeyPress(char32_t character);

    /// Selects the whole text with the caret at the end.
    void SelectAll();
    /// Puts the selection on the clipboard; false (and nothing copied) without a selection.
    bool CopyToClipboard();
    /// Copies the selection to the clipboard and deletes it; false without a selection.
    bool CutToClipboard();
    /// Replaces the selection with the clipboard's text, control characters left out.
    void PasteFromClipboard();

    /// Byte offset where the selection began, -1 without a selection.
    std::ptrdiff_t SelStart() const { return FSelStart; }
    /// Caret position minus SelStart, in bytes (negative when the selection was made leftwards).
    std::ptrdiff_t SelLength() const { return FSelLength; }
    bool HasSelection() const { return FSelStart >= 0 && FSelLength != 0; }
    /// Byte offset of the first character shown in the edit area.
    std::size_t ScrollPos() const { return FScrollPos; }
    int BlinkCount() const { return FBlinkCount; }
    /// The last character typed, 0 after the text was set.
    char32_t LastChar() const { return FLastChar; }

    /// Where everything is drawn for the current width and measure. Asks OnShowEditor.
    TKMYDISPLAYLayout Layout();

    /// The caption form of a long path: its drive part (the first three characters, cut back to
    /// just after the last "/" among them), "|..|" and its last 30 characters. A path that would
    /// not get shorter is returned unchanged.
    static std::string ShortenPath(std::string_view path);

private:
    struct TVisible {
        std::size_t End = 0;
        bool Cut = false;
    };

    void Redraw();
    void EndSelection();
    /// Commits an edit: the new text and caret, then OnChangeText when the text differs.
    void StoreText(std::string text, std::size_t caret);
    /// Replaces the selection (or inserts at the caret without one) and ends the selection.
    void ReplaceSelection(std::string_view insert);
    void MoveCaret(std::size_t position, bool extend);
    std::size_t WordLeft() const;
    std::size_t WordRight() const;
    void DeleteBackward(bool wholeWord);
    void DeleteForward();
    void UpdateScroll();
    int Measure(std::string_view text) const;
    int EditX(std::string_view captionShown) const;
    std::string CaptionShown() const;
    TVisible VisiblePart(std::size_t scroll, int editX) const;

    std::string FCaption = "   ";
    std::string FText;
    std::size_t FTextPosition = 0;
    bool FIsFolder = false;
    std::ptrdiff_t FSelStart = -1;
    std::ptrdiff_t FSelLength = 0;
    bool FSelecting = false;
    std::size_t FScrollPos = 0;
    int FBlinkCount = 0;
    bool FBlinkingCursor = true;
    char32_t FLastChar = 0;
    TTextMeasure FMeasure;
    int FWidth = 100;
};

/// UTF-8 character steps used by the display: the boundary after / before the character at pos.
/// An invalid byte is a character of its own.
std::size_t NextCharBoundary(std::string_view text, std::size_t pos);
std::size_t PrevCharBoundary(std::string_view text, std::size_t pos);
/// pos moved back to the start of the character that contains it (and to at most the length).
std::size_t SnapToCharBoundary(std::string_view text, std::size_t pos);
/// Number of characters in text[from, to).
std::size_t CharCount(std::string_view text, std::size_t from, std::size_t to);

} // namespace ks
