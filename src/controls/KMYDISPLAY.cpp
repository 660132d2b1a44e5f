#include "controls/KMYDISPLAY.h"

#include <algorithm>
#include <utility>

namespace ks {

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

/// Length of the well-formed UTF-8 sequence at pos (overlong forms, surrogates and code points
/// above U+10FFFF are not well-formed), or 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead == 0xE0) {
        length = 3;
        low = 0xA0;
    } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
        length = 3;
    } else if (lead == 0xED) {
        length = 3;
        high = 0x9F;
    } else if (lead == 0xF0) {
        length = 4;
        low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        length = 4;
    } else if (lead == 0xF4) {
        length = 4;
        high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!IsContinuation(static_cast<unsigned char>(text[pos + i])))
            return 0;
    return length;
}

std::size_t Advance(std::string_view text, std::size_t pos, std::size_t chars) {
    for (std::size_t i = 0; i < chars && pos < text.size(); ++i)
        pos = NextCharBoundary(text, pos);
    return pos;
}

std::size_t Back(std::string_view text, std::size_t pos, std::size_t chars) {
    for (std::size_t i = 0; i < chars && pos > 0; ++i)
        pos = PrevCharBoundary(text, pos);
    return pos;
}

/// Characters from `from` to `to`, negative when `to` lies before `from`.
std::ptrdiff_t SignedCharCount(std::string_view text, std::size_t from, std::size_t to) {
    if (to >= from)
        return static_cast<std::ptrdiff_t>(CharCount(text, from, to));
    return -static_cast<std::ptrdiff_t>(CharCount(text, to, from));
}

std::string EncodeUtf8(char32_t code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

bool IsWordStop(char c) {
    return c == ' ' || c == '/';
}

} // namespace

std::size_t NextCharBoundary(std::string_view text, std::size_t pos) {
    if (pos >= text.size())
        return text.size();
    const std::size_t length = SequenceLength(text, pos);
    return pos + (length == 0 ? 1 : length);
}

std::size_t PrevCharBoundary(std::string_view text, std::size_t pos) {
    pos = std::min(pos, text.size());
    if (pos == 0)
        return 0;
    // The character before pos is either a well-formed sequence ending exactly at pos, whose lead
    // byte is at most three continuation bytes back, or the single byte before pos.
    std::size_t start = pos - 1;
    for (int i = 0; i < 3 && start > 0 && IsContinuation(static_cast<unsigned char>(text[start])); ++i)
        --start;
    if (!IsContinuation(static_cast<unsigned char>(text[start])) &&
        SequenceLength(text, start) == pos - start)
        return start;
    return pos - 1;
}

std::size_t SnapToCharBoundary(std::string_view text, std::size_t pos) {
    if (pos >= text.size())
        return text.size();
    std::size_t start = pos;
    for (int i = 0; i < 3 && start > 0 && IsContinuation(static_cast<unsigned char>(text[start])); ++i)
        --start;
    if (start < pos && !IsContinuation(static_cast<unsigned char>(text[start]))) {
        const std::size_t length = SequenceLength(text, start);
        if (length != 0 && start + length > pos)
            return start;
    }
    return pos;
}

std::size_t CharCount(std::string_view text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    std::size_t count = 0;
    for (std::size_t pos = from; pos < to; pos = NextCharBoundary(text, pos))
        ++count;
    return count;
}

TKMYDISPLAY::TKMYDISPLAY() = default;

void TKMYDISPLAY::SetCaption(std::string_view caption) {
    if (caption == FCaption)
        return;
    FCaption = caption;
    Redraw();
}

void TKMYDISPLAY::SetText(std::string_view text) {
    StoreText(std::string(text), FTextPosition);
}

void TKMYDISPLAY::SetTextPosition(std::size_t position) {
    position = SnapToCharBoundary(FText, position);
    if (position == FTextPosition)
        return;
    FTextPosition = position;
    Redraw();
}

void TKMYDISPLAY::SetIsFolder(bool isFolder) {
    if (isFolder == FIsFolder)
        return;
    FIsFolder = isFolder;
    Redraw();
}

void TKMYDISPLAY::SetBlinkingCursor(bool blinking) {
    FBlinkingCursor = blinking;
    FBlinkCount = 0;
    Redraw();
}

void TKMYDISPLAY::SetMeasure(TTextMeasure measure) {
    FMeasure = std::move(measure);
    Redraw();
}

void TKMYDISPLAY::SetWidth(int width) {
    if (width == FWidth)
        return;
    FWidth = width;
    Redraw();
}

void TKMYDISPLAY::BlinkTick() {
    if (!FBlinkingCursor) {
        FBlinkCount = 0;
        return;
    }
    FBlinkCount = (FBlinkCount + 1) % BlinkCycle;
    if ((FBlinkCount == 0 || FBlinkCount == CaretHiddenFrom) && !FText.empty())
        Redraw();
}

void TKMYDISPLAY::ClearText() {
    SetText({});
    SetTextPosition(0);
}

std::string TKMYDISPLAY::GetSelectedText() const {
    if (!HasSelection())
        return {};
    const auto first = static_cast<std::size_t>(std::min(FSelStart, FSelStart + FSelLength));
    const auto last = static_cast<std::size_t>(std::max(FSelStart, FSelStart + FSelLength));
    if (first >= FText.size())
        return {};
    return FText.substr(first, std::min(last, FText.size()) - first);
}

void TKMYDISPLAY::PressKey(int key, std::uint32_t shift) {
    if (OnKeyDown)
        OnKeyDown(*this, key, shift);
    const bool ctrl = (shift & ssCtrl) != 0;
    const bool modified = (shift & (ssShift | ssAlt | ssCtrl)) != 0;
    const bool extend = (shift & ssShift) != 0 && (key == VK_LEFT || key == VK_RIGHT);
    switch (key) {
    case VK_ESCAPE:
        if (!modified)
            ClearText();
        break;
    case VK_LEFT:
        MoveCaret(ctrl ? WordLeft() : PrevCharBoundary(FText, FTextPosition), extend);
        break;
    case VK_RIGHT:
        MoveCaret(ctrl ? WordRight() : NextCharBoundary(FText, FTextPosition), extend);
        break;
    case VK_DELETE:
        if (!modified)
            DeleteForward();
        break;
    default:
        // Home and End, like every other key, only end the selection: the panel owns them.
        break;
    }
    if (!extend)
        EndSelection();
    Redraw();
}

bool TKMYDISPLAY::IsEditKey(int key) {
    switch (key) {
    case VK_ESCAPE:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_DELETE:
        return true;
    default:
        return false;
    }
}

void TKMYDISPLAY::KeyPress(char32_t character) {
    if (character == 8) {
        DeleteBackward(false);
        return;
    }
    if (character == 127) {
        DeleteBackward(true);
        return;
    }
    if (character <= 31 || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return;
    ReplaceSelection(EncodeUtf8(character));
    FLastChar = character;
}

void TKMYDISPLAY::SelectAll() {
    if (FText.empty())
        return;
    FSelecting = true;
    FSelStart = 0;
    FTextPosition = FText.size();
    FSelLength = static_cast<std::ptrdiff_t>(FTextPosition);
    Redraw();
}

bool TKMYDISPLAY::CopyToClipboard() {
    if (!HasSelection())
        return false;
    if (OnSetClipboardText)
        OnSetClipboardText(GetSelectedText());
    return true;
}

bool TKMYDISPLAY::CutToClipboard() {
    if (!CopyToClipboard())
        return false;
    ReplaceSelection({});
    return true;
}

void TKMYDISPLAY::PasteFromClipboard() {
    if (!OnGetClipboardText)
        return;
    // A one-line editor: line breaks, tabs and other control characters are left out, as typing
    // them would leave them out. Bytes of multi-byte UTF-8 characters are all 0x80 or above.
    std::string pasted;
    for (const char c : OnGetClipboardText()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 31 && byte != 127)
            pasted += c;
    }
    if (!pasted.empty())
        ReplaceSelection(pasted);
}

TKMYDISPLAYLayout TKMYDISPLAY::Layout() {
    TKMYDISPLAYLayout layout;
    layout.CaptionShown = CaptionShown();
    bool showIt = !FText.empty();
    if (OnShowEditor)
        OnShowEditor(*this, showIt);
    layout.EditorShown = showIt;
    const int editX = EditX(layout.CaptionShown);
    const std::size_t scroll = std::min(FScrollPos, FText.size());
    const TVisible visible = VisiblePart(scroll, editX);
    layout.EditX = editX;
    layout.VisibleStart = scroll;
    layout.VisibleEnd = visible.End;
    layout.LeftMarker = scroll > 0;
    layout.LeftMarkerX = editX - Measure(ScrolledLeftMarker);
    layout.RightMarker = visible.Cut;
    layout.RightMarkerX = FWidth - Measure(ScrolledRightMarker);

    const std::string_view text = FText;
    const std::size_t caret = std::max(FTextPosition, scroll);
    layout.CaretPos = FTextPosition;
    layout.CaretCharEnd = NextCharBoundary(text, FTextPosition);
    layout.CaretX = editX + Measure(text.substr(scroll, caret - scroll));
    layout.CaretWidth = FTextPosition < text.size()
                            ? Measure(text.substr(FTextPosition, layout.CaretCharEnd - FTextPosition))
                            : EndCaretWidth;
    layout.CaretBlockShown = CaretVisible();

    if (HasSelection()) {
        const auto first = static_cast<std::size_t>(std::min(FSelStart, FSelStart + FSelLength));
        const auto last = static_cast<std::size_t>(std::max(FSelStart, FSelStart + FSelLength));
        const std::size_t from = std::clamp(first, scroll, visible.End);
        const std::size_t to = std::clamp(last, scroll, visible.End);
        if (from < to) {
            layout.SelectionShown = true;
            layout.SelectionX1 = editX + Measure(text.substr(scroll, from - scroll));
            layout.SelectionX2 = editX + Measure(text.substr(scroll, to - scroll));
        }
    }
    return layout;
}

std::string TKMYDISPLAY::ShortenPath(std::string_view path) {
    const std::size_t headChars = Advance(path, 0, 3);
    std::size_t headEnd = headChars;
    const std::size_t slash = path.substr(0, headChars).rfind('/');
    if (slash != std::string_view::npos)
        headEnd = slash + 1;
    const std::size_t tailStart = Back(path, path.size(), PathTailChars);
    // Only a path that gets shorter is cut; a short caption in a narrow control stays as it is
    // instead of showing its head and its tail twice.
    if (tailStart <= headEnd || tailStart - headEnd <= PathCutMarker.size())
        return std::string(path);
    std::string shortened(path.substr(0, headEnd));
    shortened += PathCutMarker;
    shortened += path.substr(tailStart);
    return shortened;
}

void TKMYDISPLAY::Redraw() {
    UpdateScroll();
    if (OnRedraw)
        OnRedraw();
}

void TKMYDISPLAY::EndSelection() {
    FSelecting = false;
    FSelStart = -1;
    FSelLength = 0;
}

void TKMYDISPLAY::StoreText(std::string text, std::size_t caret) {
    if (text == FText) {
        SetTextPosition(caret);
        return;
    }
    FText = std::move(text);
    FTextPosition = SnapToCharBoundary(FText, caret);
    if (FSelStart >= 0) {
        if (static_cast<std::size_t>(FSelStart) > FText.size()) {
            EndSelection();
        } else {
            FSelStart =
                static_cast<std::ptrdiff_t>(SnapToCharBoundary(FText, static_cast<std::size_t>(FSelStart)));
            FSelLength = static_cast<std::ptrdiff_t>(FTextPosition) - FSelStart;
        }
    }
    FLastChar = 0;
    if (OnChangeText)
        OnChangeText(*this);
    Redraw();
}

void TKMYDISPLAY::ReplaceSelection(std::string_view insert) {
    std::size_t first = FTextPosition;
    std::size_t last = FTextPosition;
    if (HasSelection()) {
        first = std::min(static_cast<std::size_t>(std::min(FSelStart, FSelStart + FSelLength)), FText.size());
        last = std::min(static_cast<std::size_t>(std::max(FSelStart, FSelStart + FSelLength)), FText.size());
    }
    EndSelection();
    std::string text = FText.substr(0, first);
    text += insert;
    text += std::string_view(FText).substr(last);
    StoreText(std::move(text), first + insert.size());
}

void TKMYDISPLAY::MoveCaret(std::size_t position, bool extend) {
    if (extend && !FSelecting) {
        FSelecting = true;
        FSelStart = static_cast<std::ptrdiff_t>(FTextPosition);
    }
    FTextPosition = position;
    if (extend)
        FSelLength = static_cast<std::ptrdiff_t>(FTextPosition) - FSelStart;
}

std::size_t TKMYDISPLAY::WordLeft() const {
    const std::string_view text = FText;
    std::size_t pos = FTextPosition;
    if (pos == 0)
        return 0;
    const bool fromSpace = text[pos - 1] == ' ';
    pos = PrevCharBoundary(text, pos);
    while (pos > 0) {
        const char before = text[pos - 1];
        if (fromSpace ? before != ' ' : IsWordStop(before))
            break;
        pos = PrevCharBoundary(text, pos);
    }
    return pos;
}

std::size_t TKMYDISPLAY::WordRight() const {
    const std::string_view text = FText;
    std::size_t pos = FTextPosition;
    if (pos >= text.size())
        return text.size();
    const bool fromSpace = text[pos] == ' ';
    pos = NextCharBoundary(text, pos);
    while (pos < text.size()) {
        const char after = text[pos];
        if (fromSpace ? after != ' ' : IsWordStop(after))
            break;
        pos = NextCharBoundary(text, pos);
    }
    return pos;
}

void TKMYDISPLAY::DeleteBackward(bool wholeWord) {
    if (HasSelection()) {
        ReplaceSelection({});
        return;
    }
    EndSelection();
    const std::string_view text = FText;
    const std::size_t caret = FTextPosition;
    if (caret == 0)
        return;
    // Ctrl+Backspace removes the run of spaces or of non-spaces before the caret; "/" belongs to
    // the run, so a whole path goes at once.
    const bool space = text[caret - 1] == ' ';
    std::size_t pos = PrevCharBoundary(text, caret);
    while (wholeWord && pos > 0 && (text[pos - 1] == ' ') == space)
        pos = PrevCharBoundary(text, pos);
    std::string rest(text.substr(0, pos));
    rest += text.substr(caret);
    StoreText(std::move(rest), pos);
}

void TKMYDISPLAY::DeleteForward() {
    if (HasSelection()) {
        ReplaceSelection({});
        return;
    }
    const std::size_t caret = FTextPosition;
    if (caret >= FText.size())
        return;
    std::string rest = FText.substr(0, caret);
    rest += std::string_view(FText).substr(NextCharBoundary(FText, caret));
    StoreText(std::move(rest), caret);
}

int TKMYDISPLAY::Measure(std::string_view text) const {
    return FMeasure ? FMeasure(text) : 0;
}

int TKMYDISPLAY::EditX(std::string_view captionShown) const {
    return Measure(captionShown) + EditAreaGap + Measure(ScrolledLeftMarker);
}

std::string TKMYDISPLAY::CaptionShown() const {
    if (FIsFolder && Measure(FCaption) > FWidth)
        return ShortenPath(FCaption);
    return FCaption;
}

TKMYDISPLAY::TVisible TKMYDISPLAY::VisiblePart(std::size_t scroll, int editX) const {
    const std::string_view text = FText;
    if (scroll >= text.size())
        return {text.size(), false};
    // Room for "mm" stays free after the text, enough for the caret block at the end.
    const int room = FWidth - Measure(ScrolledRightMarker) - editX - Measure("mm");
    const auto fits = [&](std::size_t end) { return Measure(text.substr(scroll, end - scroll)) <= room; };
    // Grow the prefix by doubling before the binary search, so a long text costs measures of about
    // the visible length only.
    std::size_t goodChars = 0;
    std::size_t chars = 16;
    std::size_t badChars = 0;
    for (;;) {
        const std::size_t end = Advance(text, scroll, chars);
        if (!fits(end)) {
            badChars = chars;
            break;
        }
        if (end == text.size())
            return {text.size(), false};
        goodChars = chars;
        chars *= 2;
    }
    while (badChars - goodChars > 1) {
        const std::size_t middle = goodChars + (badChars - goodChars) / 2;
        if (fits(Advance(text, scroll, middle)))
            goodChars = middle;
        else
            badChars = middle;
    }
    return {Advance(text, scroll, goodChars), true};
}

void TKMYDISPLAY::UpdateScroll() {
    const std::string_view text = FText;
    const std::size_t caret = FTextPosition;
    std::size_t scroll = SnapToCharBoundary(text, std::min(FScrollPos, text.size()));
    // Keep ScrollStep characters left of the caret visible.
    while (scroll > 0 && SignedCharCount(text, scroll, caret) < static_cast<std::ptrdiff_t>(ScrollStep))
        scroll = Back(text, scroll, ScrollStep);
    // Keep ScrollStep characters right of the caret visible while text is hidden on the right.
    // The caret never goes left of the scroll position here, so the two rules cannot undo each
    // other on a narrow control and the loop ends.
    const int editX = EditX(CaptionShown());
    for (;;) {
        const TVisible visible = VisiblePart(scroll, editX);
        if (!visible.Cut)
            break;
        const std::ptrdiff_t room = SignedCharCount(text, caret, visible.End);
        if (room >= static_cast<std::ptrdiff_t>(ScrollStep))
            break;
        const std::size_t leftOfCaret = CharCount(text, scroll, caret);
        if (leftOfCaret < ScrollStep)
            break;
        // A caret far beyond the visible end takes several steps at once.
        std::size_t steps = room < 0 ? static_cast<std::size_t>(-room) / ScrollStep : 1;
        steps = std::clamp<std::size_t>(steps, 1, leftOfCaret / ScrollStep);
        scroll = Advance(text, scroll, steps * ScrollStep);
    }
    FScrollPos = scroll;
}

} // namespace ks
