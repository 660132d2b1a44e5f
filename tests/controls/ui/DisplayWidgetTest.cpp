#include "controls/ui/DisplayWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

const QColor FontColour(240, 120, 30);
const QColor DarkColour(160, 80, 20); // FontColour with each part divided by 1.5
const QColor BackColour(20, 20, 60);

/// Counts the paint events a widget gets.
class TPaintCounter : public QObject {
public:
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

/// Runs the event loop until condition holds or ms pass.
template <class TCondition> bool WaitFor(TCondition condition, int ms = 5000) {
    QTimer wake; // guarantees the loop wakes up even when nothing else happens
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

class DisplayWidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() != nullptr)
            return;
        static int argc = 1;
        static char name[] = "ks_controls_ui_tests";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends: other suites of this binary share it.
        new QApplication(argc, argv);
    }

    void SetUp() override {
        FWidget.setFont(QFont("DejaVu Sans", 10));
        FWidget.resize(300, 24);
        FWidget.SetFontColor(FontColour);
        FWidget.SetBackgroundColor(BackColour);
        FWidget.Model().SetCaption("cmd>");
    }

    QImage Render() {
        QImage image(FWidget.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        FWidget.render(&image);
        return image;
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(&FWidget, &press);
    }

    void Type(const QString& text) {
        for (const QChar c : text)
            Key(c.toUpper().unicode(), Qt::NoModifier, QString(c)); // Qt key codes are upper-case ASCII
    }

    /// The colour in the middle of the caret block the layout places.
    QColor CaretPixel() {
        const TKMYDISPLAYLayout layout = FWidget.Layout();
        const QImage image = Render();
        return image.pixelColor(layout.CaretX + layout.CaretWidth / 2, FWidget.TextTop());
    }

    TKDisplayWidget FWidget;
};

TEST_F(DisplayWidgetTest, TypingEditsTheModelAndRepaints) {
    FWidget.SetEditable(true);
    int changes = 0;
    FWidget.Model().OnChangeText = [&](TKMYDISPLAY&) { ++changes; };
    TPaintCounter paints;
    FWidget.installEventFilter(&paints);
    FWidget.show();
    ASSERT_TRUE(WaitFor([&] { return paints.Count > 0; }));

    const int before = paints.Count;
    Type("abc");
    EXPECT_EQ(FWidget.Model().Text(), "abc");
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(WaitFor([&] { return paints.Count > before; }));

    // Backspace, then Ctrl+Backspace for the rest of the word; Escape clears.
    Key(Qt::Key_Backspace);
    EXPECT_EQ(FWidget.Model().Text(), "ab");
    Type("c d");
    Key(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(FWidget.Model().Text(), "abc ");
    Key(Qt::Key_Left);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(FWidget.Model().GetSelectedText(), "c");
    Key(Qt::Key_Escape);
    EXPECT_EQ(FWidget.Model().Text(), "");

    // Ctrl and Alt combinations are shortcuts, not text; they go on to the parent.
    QKeyEvent ctrlB(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier, "b");
    QCoreApplication::sendEvent(&FWidget, &ctrlB);
    EXPECT_FALSE(ctrlB.isAccepted());
    EXPECT_EQ(FWidget.Model().Text(), "");
    FWidget.hide();
}

TEST_F(DisplayWidgetTest, ReadOnlyDisplayIgnoresKeys) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(&FWidget, &press);
    EXPECT_FALSE(press.isAccepted());
    EXPECT_EQ(FWidget.Model().Text(), "");
    EXPECT_EQ(FWidget.focusPolicy(), Qt::NoFocus);
}

TEST_F(DisplayWidgetTest, CaretBlockIsDrawnAtTheLayoutPositionInTheDarkenedFontColour) {
    EXPECT_EQ(FWidget.CaretColor(), DarkColour);
    FWidget.Model().SetText("abc");
    FWidget.Model().SetTextPosition(3);
    const TKMYDISPLAYLayout atEnd = FWidget.Layout();
    ASSERT_TRUE(atEnd.EditorShown);
    EXPECT_EQ(atEnd.CaretWidth, EndCaretWidth);
    QImage image = Render();
    const int y = FWidget.TextTop() + FWidget.fontMetrics().height() / 2;
    EXPECT_EQ(image.pixelColor(atEnd.CaretX, y), DarkColour);
    EXPECT_EQ(image.pixelColor(atEnd.CaretX + atEnd.CaretWidth - 1, y), DarkColour);
    EXPECT_EQ(image.pixelColor(atEnd.CaretX + atEnd.CaretWidth + 1, y), BackColour);

    // On a character the block spans that character; its top row is above every glyph.
    FWidget.Model().SetTextPosition(1);
    const TKMYDISPLAYLayout onB = FWidget.Layout();
    EXPECT_GT(onB.CaretX, atEnd.EditX);
    image = Render();
    EXPECT_EQ(image.pixelColor(onB.CaretX, FWidget.TextTop()), DarkColour);
    EXPECT_EQ(image.pixelColor(onB.CaretX + onB.CaretWidth - 1, FWidget.TextTop()), DarkColour);
    EXPECT_NE(image.pixelColor(onB.CaretX + onB.CaretWidth, FWidget.TextTop()), DarkColour);
}

TEST_F(DisplayWidgetTest, SelectionIsUnderlinedBelowTheText) {
    FWidget.Model().SetText("abcdef");
    FWidget.Model().SetTextPosition(6);
    for (int i = 0; i < 3; ++i)
        FWidget.Model().PressKey(VK_LEFT, ssShift);
    const TKMYDISPLAYLayout layout = FWidget.Layout();
    ASSERT_TRUE(layout.SelectionShown);
    const QImage image = Render();
    const int y = FWidget.TextTop() + FWidget.fontMetrics().height();
    EXPECT_EQ(image.pixelColor(layout.SelectionX1, y), FontColour);
    EXPECT_EQ(image.pixelColor(layout.SelectionX2 - 1, y), FontColour);
    EXPECT_EQ(image.pixelColor(layout.SelectionX1 - 2, y), BackColour);
    EXPECT_EQ(image.pixelColor(layout.SelectionX2 + 1, y), BackColour);
}

TEST_F(DisplayWidgetTest, LongPathIsShortenedAndAnyWidthPaints) {
    const std::string path = "/home/someone/projects/a-rather-long-folder-name/with/many/levels/inside/it";
    TKMYDISPLAY& model = FWidget.Model();
    model.SetIsFolder(true);
    model.SetCaption(path);
    FWidget.resize(200, 24);
    const std::string shown = FWidget.Layout().CaptionShown;
    EXPECT_EQ(shown, TKMYDISPLAY::ShortenPath(path));
    EXPECT_EQ(shown, "/|..|" + path.substr(path.size() - PathTailChars));
    EXPECT_FALSE(FWidget.Layout().EditorShown);

    for (const int width : {0, 1, 5000}) {
        SCOPED_TRACE(width);
        FWidget.resize(width, 24);
        EXPECT_EQ(FWidget.Layout().CaptionShown, width == 5000 ? path : shown);
        if (width > 0)
            Render();
        // The command line form: a long text with the caret in the middle.
        model.SetText(std::string(300, 'x'));
        model.SetTextPosition(150);
        const TKMYDISPLAYLayout layout = FWidget.Layout();
        EXPECT_LE(layout.VisibleStart, layout.VisibleEnd);
        if (width > 0)
            Render();
        model.SetText({});
    }
}

TEST_F(DisplayWidgetTest, LongTextShowsScrollMarkers) {
    FWidget.Model().SetText(std::string(200, 'x'));
    FWidget.Model().SetTextPosition(100);
    const TKMYDISPLAYLayout layout = FWidget.Layout();
    ASSERT_TRUE(layout.LeftMarker);
    ASSERT_TRUE(layout.RightMarker);
    const QImage image = Render();
    // Some pixel of each marker's glyphs is not background.
    const auto inked = [&](int x1, int x2) {
        for (int x = std::max(0, x1); x < std::min(x2, image.width()); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) != BackColour)
                    return true;
        return false;
    };
    const QFontMetrics metrics = FWidget.fontMetrics();
    EXPECT_TRUE(inked(layout.LeftMarkerX, layout.LeftMarkerX + metrics.horizontalAdvance("< ")));
    EXPECT_TRUE(inked(layout.RightMarkerX, image.width()));
}

TEST_F(DisplayWidgetTest, BlinkTicksHideAndShowTheCaret) {
    FWidget.Model().SetText("abc");
    FWidget.Model().SetTextPosition(3);
    for (int tick = 1; tick <= BlinkCycle; ++tick) {
        SCOPED_TRACE(tick);
        FWidget.Model().BlinkTick();
        const bool shown = tick < CaretHiddenFrom || tick == BlinkCycle;
        EXPECT_EQ(CaretPixel(), shown ? DarkColour : BackColour);
    }
    FWidget.Model().SetBlinkingCursor(false);
    for (int tick = 0; tick < CaretHiddenFrom; ++tick)
        FWidget.Model().BlinkTick();
    EXPECT_EQ(CaretPixel(), DarkColour);
}

// The caret has one clock, its owner's 100 ms background tick: a shown editable display steps it
// once per tick of the owner and never by itself, so a cycle of ten ticks lasts one second.
TEST_F(DisplayWidgetTest, EditableDisplayBlinksOnlyOnItsOwnersTicks) {
    FWidget.SetEditable(true);
    FWidget.Model().SetText("abc");
    FWidget.show();
    EXPECT_FALSE(FWidget.hasFocus());
    int ticks = 0;
    QTimer owner;
    QObject::connect(&owner, &QTimer::timeout, [&] {
        ++ticks;
        FWidget.Model().BlinkTick();
    });
    owner.start(100);
    EXPECT_TRUE(WaitFor([&] { return ticks >= 4; }));
    EXPECT_EQ(FWidget.Model().BlinkCount(), ticks % BlinkCycle);
    FWidget.hide();
}

TEST_F(DisplayWidgetTest, BackgroundPictureIsTakenFromBehindTheWidget) {
    QImage picture(120, 40, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 0; y < 40; ++y)
        for (int x = 100; x < 120; ++x)
            picture.setPixelColor(x, y, Qt::blue);
    FWidget.Model().SetCaption("");
    FWidget.SetActiveBackground(picture, QPoint(95, 10));
    const QImage image = Render();
    EXPECT_EQ(image.pixelColor(2, 1), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(10, 1), QColor(Qt::blue));
    // Past the picture's right edge the colour fills in.
    EXPECT_EQ(image.pixelColor(30, 1), BackColour);
}

TEST_F(DisplayWidgetTest, DecoderIsUsedForMeasuring) {
    FWidget.SetTextDecoder([](std::string_view bytes) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    });
    FWidget.Model().SetCaption("\xE9t\xE9");
    const QFontMetrics metrics = FWidget.fontMetrics();
    EXPECT_EQ(FWidget.Layout().EditX, TKDisplayWidget::TextMargin +
                                          metrics.horizontalAdvance(QString::fromUtf8("\u00e9t\u00e9")) +
                                          EditAreaGap + metrics.horizontalAdvance("< "));
}

TEST_F(DisplayWidgetTest, ClipboardKeysUseTheSystemClipboard) {
    FWidget.SetEditable(true);
    Type("abc");
    Key(Qt::Key_A, Qt::ControlModifier, "a");
    Key(Qt::Key_C, Qt::ControlModifier, "c");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "abc");
    Key(Qt::Key_Escape);
    QGuiApplication::clipboard()->setText("x\ny");
    Key(Qt::Key_V, Qt::ControlModifier, "v");
    EXPECT_EQ(FWidget.Model().Text(), "xy");
}

} // namespace
} // namespace ks
