#include "controls/KMYDISPLAY.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ks {
namespace {

constexpr int Left = VK_LEFT;
constexpr int Right = VK_RIGHT;
constexpr int Del = VK_DELETE;
constexpr std::uint32_t Shift = ssShift;
constexpr std::uint32_t Ctrl = ssCtrl;

// A monospace font of 7 pixels per byte.
constexpr int CharWidth = 7;
int Monospace(std::string_view text) {
    return static_cast<int>(text.size()) * CharWidth;
}

using TAction = std::function<void(TKMYDISPLAY&)>;

TAction Key(int key, std::uint32_t shift = 0) {
    return [=](TKMYDISPLAY& display) { display.PressKey(key, shift); };
}
TAction Type(std::u32string_view characters) {
    return [=](TKMYDISPLAY& display) {
        for (const char32_t c : characters)
            display.KeyPress(c);
    };
}
TAction Repeat(int times, TAction action) {
    return [=](TKMYDISPLAY& display) {
        for (int i = 0; i < times; ++i)
            action(display);
    };
}

struct TEditCase {
    const char* Name;
    std::string Text;
    std::size_t Caret;
    std::vector<TAction> Actions;
    std::string ExpectText;
    std::size_t ExpectCaret;
};

TKMYDISPLAY Editor(const std::string& text, std::size_t caret) {
    TKMYDISPLAY display;
    display.SetText(text);
    display.SetTextPosition(caret);
    return display;
}

TEST(KMYDISPLAYTest, Defaults) {
    TKMYDISPLAY display;
    EXPECT_EQ(display.Caption(), "   ");
    EXPECT_EQ(display.Text(), "");
    EXPECT_EQ(display.TextPosition(), 0u);
    EXPECT_FALSE(display.IsFolder());
    EXPECT_EQ(display.Width(), 100);
    EXPECT_EQ(display.SelStart(), -1);
    EXPECT_FALSE(display.Layout().EditorShown);
}

TEST(KMYDISPLAYTest, EditingRules) {
    const std::vector<TEditCase> cases = {
        {"typing into an empty line", "", 0, {Type(U"ls -l")}, "ls -l", 5},
        {"typing in the middle", "ac", 1, {Type(U"b")}, "abc", 2},
        {"backspace at 0 does nothing", "abc", 0, {Type(U"\b")}, "abc", 0},
        {"backspace deletes before the caret", "abc", 2, {Type(U"\b")}, "ac", 1},
        {"Del deletes after the caret", "abc", 1, {Key(Del)}, "ac", 1},
        {"Del at the end does nothing", "abc", 3, {Key(Del)}, "abc", 3},
        {"Ctrl+Del does nothing", "abc", 1, {Key(Del, Ctrl)}, "abc", 1},
        {"Left stops at 0", "ab", 1, {Repeat(3, Key(Left))}, "ab", 0},
        {"Right stops at the end", "ab", 1, {Repeat(3, Key(Right))}, "ab", 2},
        {"Esc clears", "abc", 2, {Key(VK_ESCAPE)}, "", 0},
        {"Shift+Esc does nothing", "abc", 2, {Key(VK_ESCAPE, Shift)}, "abc", 2},
        {"Home and End have no effect", "abc", 1, {Key(VK_HOME), Key(VK_END)}, "abc", 1},
        {"control characters are not typed", "ab", 1, {Type(U"\t\n\x1b")}, "ab", 1},
        {"a surrogate code is not typed", "ab", 1, {Type(U"\xD800")}, "ab", 1},
        {"Ctrl+Backspace deletes a path word", "cd /usr/lib", 11, {Type(U"\x7f")}, "cd ", 3},
        {"Ctrl+Backspace deletes a run of spaces", "abc   ", 6, {Type(U"\x7f")}, "abc", 3},
        {"Ctrl+Backspace in the middle", "one two three", 7, {Type(U"\x7f")}, "one  three", 4},
        {"Ctrl+Backspace at 0 does nothing", "abc", 0, {Type(U"\x7f")}, "abc", 0},
        {"Shift+Left three times, then a letter replaces",
         "hello",
         5,
         {Repeat(3, Key(Left, Shift)), Type(U"X")},
         "heX",
         3},
        {"Backspace deletes the selection",
         "hello",
         1,
         {Repeat(2, Key(Right, Shift)), Type(U"\b")},
         "hlo",
         1},
        {"Del deletes the selection", "hello", 4, {Repeat(2, Key(Left, Shift)), Key(Del)}, "heo", 2},
        {"a plain move ends the selection", "hello", 5, {Key(Left, Shift), Key(Left), Key(Del)}, "helo", 3},
        {"Ctrl+Shift+Left selects a word",
         "cd /usr/lib",
         11,
         {Key(Left, Shift | Ctrl), Type(U"bin")},
         "cd /usr/bin",
         11},
        {"Shift+Right after Shift+Left shrinks the selection",
         "abcd",
         4,
         {Repeat(2, Key(Left, Shift)), Key(Right, Shift), Type(U"X")},
         "abcX",
         4},
        {"typing é inserts its two bytes",
         "ab",
         1,
         {Type(U"é")},
         "a\xC3\xA9"
         "b",
         3},
        {"Right steps over a whole character", "\xC3\xA9z", 0, {Key(Right), Key(Del)}, "\xC3\xA9", 2},
        {"backspace removes a whole 4-byte character", "a\xF0\x9F\x98\x80", 5, {Type(U"\b")}, "a", 1},
        {"Del removes a whole 3-byte character", "\xE2\x82\xAC!", 0, {Key(Del)}, "!", 0},
        {"Shift selection over UTF-8",
         "x\xC3\xA9\xC3\xA9",
         5,
         {Repeat(2, Key(Left, Shift)), Key(Del)},
         "x",
         1},
    };
    for (const TEditCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TKMYDISPLAY display = Editor(c.Text, c.Caret);
        for (const TAction& action : c.Actions)
            action(display);
        EXPECT_EQ(display.Text(), c.ExpectText);
        EXPECT_EQ(display.TextPosition(), c.ExpectCaret);
    }
}

TEST(KMYDISPLAYTest, WordMoves) {
    struct TCase {
        std::string Text;
        std::size_t Caret;
        int Key;
        std::size_t Expect;
    };
    const std::vector<TCase> cases = {
        {"C:/WINDOWS/SYSTEM", 17, Left, 11}, // stops after the last "/"
        {"C:/WINDOWS/SYSTEM", 11, Left, 3},
        {"/usr/lib", 5, Left, 1}, // starting after a "/" skips over it to the word before
        {"/usr/lib", 1, Left, 0},
        {"cd  foo", 7, Left, 4},
        {"cd  foo", 4, Left, 2}, // from after spaces: to the end of the word before
        {"abc", 0, Left, 0},
        {"C:/WINDOWS/SYSTEM", 0, Right, 2}, // stops before a "/"
        {"C:/WINDOWS/SYSTEM", 2, Right, 10},
        {"C:/WINDOWS/SYSTEM", 10, Right, 17},
        {"ab  cd", 2, Right, 4}, // from before spaces: to the start of the next word
        {"ab  cd", 0, Right, 2},
        {"abc", 3, Right, 3},
        {"\xC3\xA9t\xC3\xA9/\xC3\xBC", 8, Left, 6}, // "été/ü": stops after the "/"
        {"\xC3\xA9t\xC3\xA9/\xC3\xBC", 0, Right, 5},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text + " from " + std::to_string(c.Caret) + (c.Key == Left ? " left" : " right"));
        TKMYDISPLAY display = Editor(c.Text, c.Caret);
        display.PressKey(c.Key, Ctrl);
        EXPECT_EQ(display.TextPosition(), c.Expect);
        EXPECT_FALSE(display.HasSelection());
    }
}

TEST(KMYDISPLAYTest, SelectionEndsAndText) {
    TKMYDISPLAY display = Editor("hello", 5);
    for (int i = 0; i < 3; ++i)
        display.PressKey(Left, Shift);
    EXPECT_EQ(display.SelStart(), 5);
    EXPECT_EQ(display.SelLength(), -3);
    EXPECT_EQ(display.GetSelectedText(), "llo");
    display.PressKey(VK_HOME, Shift); // any other key ends the selection
    EXPECT_EQ(display.SelStart(), -1);
    EXPECT_EQ(display.GetSelectedText(), "");

    // A shorter text pulls the caret and the selection back inside it.
    display.SetTextPosition(5);
    display.PressKey(Left, Shift);
    display.SetText("he");
    EXPECT_EQ(display.TextPosition(), 2u);
    EXPECT_EQ(display.GetSelectedText(), "");
}

TEST(KMYDISPLAYTest, ChangeTextFiresOncePerChange) {
    TKMYDISPLAY display;
    std::vector<std::string> seen;
    display.OnChangeText = [&](TKMYDISPLAY& sender) { seen.push_back(sender.Text()); };
    display.KeyPress(U'a');
    EXPECT_EQ(display.LastChar(), U'a');
    display.KeyPress(U'b');
    display.PressKey(Right, 0); // no change
    display.PressKey(Del, 0);   // nothing after the caret
    display.SetText("ab");      // the same text
    display.PressKey(Left, Shift);
    display.PressKey(Left, Shift);
    // Deleting a selection is a text change like any other: the prompt and the locate mode follow
    // the text through this event.
    display.PressKey(Del, 0);
    display.SetText("xyz");
    EXPECT_EQ(display.LastChar(), 0u);
    display.ClearText();
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab", "", "xyz", ""}));
}

TEST(KMYDISPLAYTest, KeyDownHandlerRunsFirst) {
    TKMYDISPLAY display = Editor("abc", 3);
    display.PressKey(Left, Shift);
    int seenKey = 0;
    display.OnKeyDown = [&](TKMYDISPLAY&, int& key, std::uint32_t) {
        seenKey = key;
        key = 0;
    };
    display.PressKey(Left, 0);
    EXPECT_EQ(seenKey, Left);
    EXPECT_EQ(display.TextPosition(), 2u); // the key was taken; the selection still ends
    EXPECT_FALSE(display.HasSelection());
}

TEST(KMYDISPLAYTest, Utf8Boundaries) {
    // Well-formed characters of 1 to 4 bytes, then malformed bytes that count one each: a lone
    // continuation byte, a lead byte without its continuation, an overlong "/" (C0 AF), a
    // surrogate (ED A0 80) and a truncated 3-byte sequence at the end.
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                             "\x80\xC3z\xC0\xAF\xED\xA0\x80\xE2\x82";
    const std::vector<std::size_t> expect = {0, 1, 3, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    std::vector<std::size_t> forward = {0};
    for (std::size_t pos = 0; pos < text.size();)
        forward.push_back(pos = NextCharBoundary(text, pos));
    EXPECT_EQ(forward, expect);
    std::vector<std::size_t> backward = {text.size()};
    for (std::size_t pos = text.size(); pos > 0;)
        backward.insert(backward.begin(), pos = PrevCharBoundary(text, pos));
    EXPECT_EQ(backward, expect);
    EXPECT_EQ(CharCount(text, 0, text.size()), expect.size() - 1);
    for (std::size_t pos = 0; pos <= text.size() + 2; ++pos) {
        SCOPED_TRACE(pos);
        const std::size_t snapped = SnapToCharBoundary(text, pos);
        const auto at = std::upper_bound(expect.begin(), expect.end(), pos);
        EXPECT_EQ(snapped, *(at - 1));
    }

    TKMYDISPLAY display = Editor(text, 0);
    display.SetTextPosition(8); // inside the 4-byte character
    EXPECT_EQ(display.TextPosition(), 6u);
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t next = NextCharBoundary(text, pos);
        if (next - pos == 1 && static_cast<unsigned char>(text[pos]) >= 0x80)
            return false;
        pos = next;
    }
    return true;
}

// Random edits on a narrow, scrolling command line never split a character, leave the caret off
// a boundary or scroll past the caret.
TEST(KMYDISPLAYTest, RandomEditsKeepCharactersWhole) {
    TKMYDISPLAY display;
    display.SetMeasure(Monospace);
    display.SetWidth(200);
    display.SetText("\xC3\xA9t\xC3\xA9 /\xE2\x82\xAC/\xF0\x9F\x98\x80 x");
    const std::u32string typed = U"a /\u00e9\u20ac\U0001F600\b\x7f";
    const std::vector<std::uint32_t> shifts = {0, Shift, Ctrl, Shift | Ctrl};
    unsigned seed = 12345;
    const auto next = [&seed](unsigned bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int step = 0; step < 5000; ++step) {
        switch (next(4)) {
        case 0:
            display.KeyPress(typed[next(static_cast<unsigned>(typed.size()))]);
            break;
        case 1:
            display.PressKey(next(2) == 0 ? Left : Right, shifts[next(4)]);
            break;
        case 2:
            display.PressKey(Del, 0);
            break;
        default:
            display.SetTextPosition(next(40));
            break;
        }
        const std::string& text = display.Text();
        ASSERT_TRUE(IsValidUtf8(text)) << step;
        ASSERT_EQ(SnapToCharBoundary(text, display.TextPosition()), display.TextPosition()) << step;
        ASSERT_TRUE(IsValidUtf8(display.GetSelectedText())) << step;
        ASSERT_LE(display.ScrollPos(), display.TextPosition()) << step;
    }
}

TEST(KMYDISPLAYTest, ShortenPath) {
    const std::string tail30 = "/projects/ksable/src/controls/"; // 30 characters
    ASSERT_EQ(tail30.size(), PathTailChars);
    struct TCase {
        const char* Name;
        std::string Path;
        std::string Expect;
    };
    const std::vector<TCase> cases = {
        {"a long absolute path keeps the root", "/home/someone/work" + tail30, "/|..|" + tail30},
        {"a home-relative path keeps \"~/\"", "~/work/old" + tail30, "~/|..|" + tail30},
        {"no \"/\" in the head: the first three characters", "abcdefgh" + tail30, "abc|..|" + tail30},
        {"a path with no \"/\" at all", "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGH",
         "abc|..|opqrstuvwxyz0123456789ABCDEFGH"},
        {"cutting four characters gains nothing", "/abcd" + tail30, "/abcd" + tail30},
        {"cutting five characters does", "/abcde" + tail30, "/|..|" + tail30},
        {"a short path stays", "/tmp", "/tmp"},
        {"empty", "", ""},
        {"a multi-byte character at the cut stays whole", "/aaaaaaaaaa\xC3\xA9" + tail30.substr(1),
         "/|..|\xC3\xA9" + tail30.substr(1)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TKMYDISPLAY::ShortenPath(c.Path), c.Expect);
    }
}

TEST(KMYDISPLAYTest, PathCaptionShortenedOnlyWhenWider) {
    const std::string path = "/home/someone/work/projects/ksable/src/controls/deep"; // 52 bytes
    struct TCase {
        bool IsFolder;
        int Width;
        bool Shortened;
    };
    const std::vector<TCase> cases = {
        {true, 52 * CharWidth, false},    // exact fit
        {true, 52 * CharWidth - 1, true}, // one pixel short
        {true, 5, true},                  // very narrow: still the short form, clipped by the widget
        {false, 5, false},                // not a path display
        {true, 52 * CharWidth + 100, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + (c.IsFolder ? " folder" : ""));
        TKMYDISPLAY display;
        display.SetMeasure(Monospace);
        display.SetWidth(c.Width);
        display.SetIsFolder(c.IsFolder);
        display.SetCaption(path);
        EXPECT_EQ(display.Layout().CaptionShown, c.Shortened ? TKMYDISPLAY::ShortenPath(path) : path);
    }
}

// The command line with the prompt "CMD> " at 7 pixels per byte: the edit area starts at
// 35 + 16 + 14 = 65 and leaves room for 40 characters of text plus "mm" before " >".
class KMYDISPLAYScrollTest : public ::testing::Test {
protected:
    static constexpr int EditX = 65;
    static constexpr int Room = 40;
    static constexpr int ControlWidth = EditX + (Room + 2) * CharWidth + 14;

    void SetUp() override {
        FDisplay.SetMeasure([this](std::string_view text) {
            ++FMeasures;
            return Monospace(text);
        });
        FDisplay.SetWidth(ControlWidth);
        FDisplay.SetCaption("CMD> ");
    }

    // What holds after every change on a control at least twenty characters wide.
    void ExpectCaretInView() {
        const TKMYDISPLAYLayout layout = FDisplay.Layout();
        const std::size_t caret = FDisplay.TextPosition();
        EXPECT_EQ(layout.VisibleStart % ScrollStep, 0u);
        EXPECT_TRUE(layout.VisibleStart == 0 || caret >= layout.VisibleStart + ScrollStep) << caret;
        EXPECT_LE(caret, layout.VisibleEnd);
        EXPECT_TRUE(layout.VisibleEnd == FDisplay.Text().size() || caret + ScrollStep <= layout.VisibleEnd)
            << caret;
        EXPECT_EQ(layout.LeftMarker, layout.VisibleStart > 0);
        EXPECT_EQ(layout.RightMarker, layout.VisibleEnd < FDisplay.Text().size());
        EXPECT_EQ(layout.CaretX, EditX + static_cast<int>(caret - layout.VisibleStart) * CharWidth);
    }

    TKMYDISPLAY FDisplay;
    int FMeasures = 0;
};

TEST_F(KMYDISPLAYScrollTest, ShortTextHasNoMarkers) {
    FDisplay.SetText("echo hi");
    FDisplay.SetTextPosition(7);
    const TKMYDISPLAYLayout layout = FDisplay.Layout();
    EXPECT_TRUE(layout.EditorShown);
    EXPECT_EQ(layout.EditX, EditX);
    EXPECT_FALSE(layout.LeftMarker);
    EXPECT_FALSE(layout.RightMarker);
    EXPECT_EQ(layout.VisibleEnd, 7u);
    EXPECT_EQ(layout.CaretWidth, EndCaretWidth); // after the last character
    FDisplay.SetTextPosition(2);
    EXPECT_EQ(FDisplay.Layout().CaretWidth, CharWidth);
    EXPECT_EQ(FDisplay.Layout().CaretCharEnd, 3u);
}

TEST_F(KMYDISPLAYScrollTest, LongTextScrollsInStepsOfTen) {
    std::string typed;
    for (int i = 0; i < 60; ++i) {
        FDisplay.KeyPress(static_cast<char32_t>('a' + i % 26));
        SCOPED_TRACE(i);
        ExpectCaretInView();
    }
    TKMYDISPLAYLayout layout = FDisplay.Layout();
    EXPECT_EQ(layout.VisibleStart, 20u);
    EXPECT_TRUE(layout.LeftMarker);
    EXPECT_EQ(layout.LeftMarkerX, EditX - 14);
    EXPECT_FALSE(layout.RightMarker);

    for (int i = 0; i < 60; ++i) {
        FDisplay.PressKey(Left, 0);
        SCOPED_TRACE(FDisplay.TextPosition());
        ExpectCaretInView();
    }
    FDisplay.SetTextPosition(35);
    layout = FDisplay.Layout();
    EXPECT_EQ(layout.VisibleStart, 10u);
    EXPECT_TRUE(layout.LeftMarker);
    EXPECT_TRUE(layout.RightMarker);
    EXPECT_EQ(layout.RightMarkerX, ControlWidth - 14);
    EXPECT_EQ(layout.VisibleEnd, 10u + Room);

    for (int i = 0; i < 60; ++i) {
        FDisplay.PressKey(Right, Ctrl);
        SCOPED_TRACE(FDisplay.TextPosition());
        ExpectCaretInView();
    }
}

TEST_F(KMYDISPLAYScrollTest, SelectionUnderlineIsClippedToTheVisiblePart) {
    FDisplay.SetText(std::string(60, 'x'));
    FDisplay.SetTextPosition(60);
    for (int i = 0; i < 50; ++i)
        FDisplay.PressKey(Left, Shift);
    const TKMYDISPLAYLayout layout = FDisplay.Layout();
    ASSERT_EQ(layout.VisibleStart, 0u);
    EXPECT_TRUE(layout.SelectionShown);
    EXPECT_EQ(layout.SelectionX1, EditX + 10 * CharWidth);
    EXPECT_EQ(layout.SelectionX2, EditX + Room * CharWidth);
}

TEST_F(KMYDISPLAYScrollTest, NarrowControlsEndTheLayout) {
    for (const int width : {0, 10, EditX + 5 * CharWidth, EditX + 25 * CharWidth}) {
        SCOPED_TRACE(width);
        FDisplay.SetWidth(width);
        FDisplay.ClearText();
        for (int i = 0; i < 45; ++i)
            FDisplay.KeyPress(U'q');
        for (int i = 0; i < 45; ++i) {
            FDisplay.PressKey(Left, i % 2 == 0 ? 0u : Ctrl);
            EXPECT_LE(FDisplay.ScrollPos(), FDisplay.TextPosition());
        }
        EXPECT_EQ(FDisplay.ScrollPos(), 0u);
    }
}

TEST_F(KMYDISPLAYScrollTest, HugePasteScrollsAtOnce) {
    const std::string big(200000, 'p');
    FDisplay.OnGetClipboardText = [&] { return big; };
    FMeasures = 0;
    FDisplay.PasteFromClipboard();
    EXPECT_EQ(FDisplay.TextPosition(), big.size());
    EXPECT_LT(FMeasures, 200);
    ExpectCaretInView();
}

TEST_F(KMYDISPLAYScrollTest, ShowEditorDecides) {
    bool answer = true;
    FDisplay.OnShowEditor = [&](TKMYDISPLAY&, bool& showIt) { showIt = answer; };
    EXPECT_TRUE(FDisplay.Layout().EditorShown); // forced on an empty text
    FDisplay.SetText("ls");
    answer = false;
    EXPECT_FALSE(FDisplay.Layout().EditorShown);
}

TEST(KMYDISPLAYTest, CaretBlinks) {
    TKMYDISPLAY display;
    int redraws = 0;
    display.OnRedraw = [&] { ++redraws; };
    display.SetBlinkingCursor(true);
    redraws = 0;

    for (int tick = 1; tick <= 10; ++tick) // an empty text is not redrawn
        display.BlinkTick();
    EXPECT_EQ(redraws, 0);

    display.SetText("dir");
    redraws = 0;
    std::string shown;
    for (int tick = 1; tick <= 20; ++tick) {
        display.BlinkTick();
        shown += display.CaretVisible() ? '+' : '-';
    }
    EXPECT_EQ(shown, "+++++++--++++++++--+"); // hidden for 200 ms of every second
    EXPECT_EQ(redraws, 4);                    // on hiding and on showing
    EXPECT_EQ(display.Layout().CaretBlockShown, display.CaretVisible());

    display.SetBlinkingCursor(false);
    redraws = 0;
    for (int tick = 1; tick <= 10; ++tick) {
        display.BlinkTick();
        EXPECT_TRUE(display.CaretVisible());
        EXPECT_EQ(display.BlinkCount(), 0);
    }
    EXPECT_EQ(redraws, 0);
}

TEST(KMYDISPLAYTest, Clipboard) {
    TKMYDISPLAY display = Editor("cd /tmp", 7);
    std::string clipboard = "unchanged";
    display.OnSetClipboardText = [&](std::string_view text) { clipboard = text; };
    display.OnGetClipboardText = [&] { return clipboard; };

    EXPECT_FALSE(display.CopyToClipboard());
    EXPECT_EQ(clipboard, "unchanged");

    display.SelectAll();
    EXPECT_EQ(display.GetSelectedText(), "cd /tmp");
    display.PressKey(Left, Shift); // a Shift move goes on from the select-all
    EXPECT_EQ(display.GetSelectedText(), "cd /tm");
    EXPECT_TRUE(display.CutToClipboard());
    EXPECT_EQ(clipboard, "cd /tm");
    EXPECT_EQ(display.Text(), "p");
    EXPECT_EQ(display.TextPosition(), 0u);

    clipboard = "ls\n-l\t/x\x7f\r\n";
    display.PasteFromClipboard();
    EXPECT_EQ(display.Text(), "ls-l/xp");
    EXPECT_EQ(display.TextPosition(), 6u);

    // Without hooks nothing happens.
    TKMYDISPLAY bare = Editor("abc", 3);
    bare.SelectAll();
    EXPECT_TRUE(bare.CopyToClipboard());
    bare.PasteFromClipboard();
    EXPECT_EQ(bare.Text(), "abc");

    TKMYDISPLAY empty;
    empty.SelectAll();
    EXPECT_FALSE(empty.HasSelection());
}

} // namespace
} // namespace ks
