#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRegion>

#include "panel/KMYFILEPANEL.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

TEST(BlendBar, BlendsEveryByteWithTruncatingDivision) {
    struct Case {
        QColor under, bar;
        int weight;
        QColor expected;
    };
    const Case cases[] = {
        {QColor(10, 20, 30), QColor(0, 128, 128), 255, QColor(0, 128, 128)},
        {QColor(10, 20, 30), QColor(0, 128, 128), 0, QColor(10, 20, 30)},
        {QColor(0, 0, 0), QColor(0, 0, 128), 96, QColor(0, 0, 48)},
        // 200 + (100 x -200) / 255 = 200 - 78 (toward zero, not -79)
        {QColor(200, 200, 200), QColor(0, 0, 0), 100, QColor(122, 122, 122)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weight);
        QImage image(4, 3, QImage::Format_RGB888);
        image.fill(Qt::white);
        image.setPixelColor(1, 1, c.under);
        // The rectangle runs past the image's edge; only the part inside is blended.
        BlendBar(image, QRect(1, 1, 10, 10), c.bar, 0);
        EXPECT_EQ(image.pixelColor(1, 1), c.under);
        BlendBar(image, QRect(1, 1, 10, 10), c.bar, c.weight);
        EXPECT_EQ(image.pixelColor(1, 1), c.expected);
        EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    }
}

TEST(MaskRowRect, NarrowsToTheTightestBoundsOfTheCoveredRows) {
    TPanelMaskData mask;
    EXPECT_EQ(MaskRowRect(mask, QRect(0, 0, 100, 10)), QRect(0, 0, 100, 10));
    mask.Loaded = true;
    for (auto& entry : mask.Entries)
        entry = {5, 90};
    mask.Entries[12] = {20, 95};
    mask.Entries[13] = {3, 60};
    EXPECT_EQ(MaskRowRect(mask, QRect(0, 0, 100, 10)), QRect(QPoint(5, 0), QPoint(90, 9)));
    EXPECT_EQ(MaskRowRect(mask, QRect(0, 10, 100, 10)), QRect(QPoint(20, 10), QPoint(60, 19)));
    // Rows below the table are clipped like its last row.
    mask.Entries.back() = {7, 40};
    EXPECT_EQ(MaskRowRect(mask, QRect(0, 1000, 100, 10)), QRect(QPoint(7, 1000), QPoint(40, 1009)));
    mask.Entries[0] = {50, 10};
    EXPECT_TRUE(MaskRowRect(mask, QRect(0, 0, 100, 10)).isEmpty());
}

class PanelWidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "ks_panel_ui_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }

    void SetUp() override {
        SetPlatform(&FSystem, &FFiles);
        FOptions.PanelAlphaActive = 96;
        FOptions.PanelColorCursor = RGB(0, 0, 128);
        FPanel = std::make_unique<TKMYFILEPANEL>(FOptions);
        FPanel->FActive = true;
        FWidget = std::make_unique<TKPanelWidget>(*FPanel);
        QPalette palette = FWidget->palette();
        palette.setColor(QPalette::Window, Qt::black);
        FWidget->setPalette(palette);
        FWidget->resize(240, 160);
        FWidget->show();
    }

    void TearDown() override {
        FWidget.reset();
        FPanel.reset();
        SetPlatform(nullptr, nullptr);
    }

    void Read(const std::string& path) {
        FPanel->FFolderItems.FPath = path;
        FPanel->ReadPanel(false, true);
        ASSERT_TRUE(FWidget->WaitIdle(10000));
    }

    test::TempTree FTree;
    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFiles;
    TPanelOptions FOptions;
    std::unique_ptr<TKMYFILEPANEL> FPanel;
    std::unique_ptr<TKPanelWidget> FWidget;
};

TEST_F(PanelWidgetTest, CursorRowCarriesTheBlendedBarAndKeysMoveIt) {
    FTree.File("a.txt", "a");
    FTree.File("b.txt", "b");
    Read(FTree.Path());
    ASSERT_GE(FPanel->FItemsStruc->Count(), 3);
    const int ih = FPanel->FItemHeight;
    ASSERT_EQ(ih, FWidget->RowHeight());
    ASSERT_GE(FPanel->FVisibleRows, 3);
    const int x = FWidget->width() - 1; // behind the right column's two trailing spaces
    auto rowPixel = [&](int row) { return FWidget->RowImage().pixelColor(x, row * ih + ih / 2); };
    EXPECT_EQ(rowPixel(0), QColor(0, 0, 48));
    EXPECT_EQ(rowPixel(1), QColor(Qt::black));
    // Below the last row: background.
    EXPECT_EQ(FWidget->RowImage().pixelColor(x, FWidget->height() - 1), QColor(Qt::black));

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(FWidget.get(), &down);
    EXPECT_EQ(FPanel->FItemsStruc->FItemIndex, 1);
    ASSERT_TRUE(FWidget->WaitIdle(10000));
    EXPECT_EQ(rowPixel(0), QColor(Qt::black));
    EXPECT_EQ(rowPixel(1), QColor(0, 0, 48));

    // What the window shows is the off-screen image.
    const QImage shown = FWidget->grab().toImage();
    EXPECT_EQ(shown.pixelColor(x, ih + ih / 2), QColor(0, 0, 48));

    // Icons are looked up once per item, the same type sharing one.
    FOptions.PanelShowIcons = true;
    FWidget->RepaintAll();
    ASSERT_TRUE(FWidget->WaitIdle(10000));
    const TKITEMSSTRUC& items = *FPanel->FItemsStruc;
    EXPECT_NE(items.FItems[1]->Icon, IconNotLookedUp);
    EXPECT_EQ(items.FItems[1]->Icon, items.FItems[2]->Icon);
}

TEST_F(PanelWidgetTest, EmptyListShowsItsTextCentredInTheFirstRow) {
    Read(FTree.Path());
    FPanel->FFolderItems.ClearItems(true);
    FWidget->RepaintAll();
    ASSERT_TRUE(FWidget->WaitIdle(10000));
    const QImage image = FWidget->RowImage();
    const int ih = FPanel->FItemHeight;
    int lit = 0, litLeft = image.width(), litRight = -1;
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::black)) {
                ++lit;
                litLeft = std::min(litLeft, x);
                litRight = std::max(litRight, x);
            }
    EXPECT_GT(lit, 10);
    // Centred: the text's margins differ by a few pixels at most.
    EXPECT_LE(std::abs(litLeft - (image.width() - 1 - litRight)), 4);
    for (int y = ih; y < image.height(); ++y)
        for (int x = 0; x < image.width(); x += 7)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::black)) << x << "," << y;
}

TEST_F(PanelWidgetTest, MaskClipsTheRowsAndLeavesTheBackgroundOutside) {
    FOptions.PanelAlphaActive = 255;
    TPanelMaskData mask;
    mask.Loaded = true;
    for (auto& entry : mask.Entries)
        entry = {10, 200};
    mask.Entries[3] = {30, 150}; // narrows the whole first row
    FWidget->SetMask(mask);
    FTree.File("a.txt", "a");
    Read(FTree.Path());
    const int ih = FPanel->FItemHeight;
    ASSERT_GT(ih, 4);
    const QImage image = FWidget->RowImage();
    const QColor bar(0, 0, 128);
    for (int y = 0; y < ih; ++y) {
        SCOPED_TRACE(y);
        EXPECT_EQ(image.pixelColor(29, y), QColor(Qt::black));
        EXPECT_EQ(image.pixelColor(30, y), bar);
        EXPECT_EQ(image.pixelColor(150, y), bar);
        EXPECT_EQ(image.pixelColor(151, y), QColor(Qt::black));
    }
}

TEST_F(PanelWidgetTest, NewFontRedrawsTheTextsInIt) {
    FTree.File("a.txt", "a");
    FTree.File("bbbbbbbb.txt", "b");
    Read(FTree.Path());
    const QImage before = FWidget->RowImage();
    QFont bold = FWidget->font();
    bold.setBold(true);
    FWidget->setFont(bold);
    ASSERT_TRUE(FWidget->WaitIdle(10000));
    const QImage after = FWidget->RowImage();
    EXPECT_NE(after, before);

    // The rows equal those of a widget that had the font from the start.
    TKMYFILEPANEL panel(FOptions);
    panel.FActive = true;
    TKPanelWidget fresh(panel);
    fresh.setPalette(FWidget->palette());
    fresh.setFont(bold);
    fresh.resize(FWidget->size());
    fresh.show();
    panel.FFolderItems.FPath = FTree.Path();
    panel.ReadPanel(false, true);
    ASSERT_TRUE(fresh.WaitIdle(10000));
    EXPECT_EQ(after, fresh.RowImage());
}

// The parts of a widget its paint events covered.
class TPaintRecorder : public QObject {
public:
    QRegion Painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            Painted += static_cast<QPaintEvent*>(event)->region();
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(PanelWidgetTest, CursorMoveRepaintsOnlyTheOldAndTheNewCursorRow) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt", "i.txt",
                             "j.txt", "k.txt", "l.txt", "m.txt", "n.txt"})
        FTree.File(name, "x");
    Read(FTree.Path());
    const int ih = FPanel->FItemHeight;
    const int rows = FPanel->FVisibleRows;
    ASSERT_GE(rows, 4);
    ASSERT_GT(FPanel->FItemsStruc->Count(), rows + 1);
    const auto settle = [&] {
        ASSERT_TRUE(FWidget->WaitIdle(10000));
        // The painter's results reach the screen through queued calls and update requests.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    };
    const auto rowsArea = [&](int first, int last) {
        return QRegion(0, first * ih, FWidget->width(), (last - first + 1) * ih);
    };
    settle();
    TPaintRecorder recorder;
    FWidget->installEventFilter(&recorder);
    const auto press = [&](Qt::Key key) {
        recorder.Painted = QRegion();
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(FWidget.get(), &event);
        settle();
    };

    press(Qt::Key_Down);
    EXPECT_EQ(FPanel->FItemsStruc->FItemIndex, 1);
    EXPECT_EQ(recorder.Painted, rowsArea(0, 1));
    press(Qt::Key_Down);
    EXPECT_EQ(recorder.Painted, rowsArea(1, 2));
    // What was drawn row by row is what a full pass draws.
    const QImage moved = FWidget->RowImage();
    FWidget->RepaintAll();
    settle();
    EXPECT_EQ(FWidget->RowImage(), moved);

    // Past the last row the list scrolls: every row shows another item.
    while (FPanel->FItemsStruc->FItemIndex < rows - 1)
        press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(FPanel->FItemsStruc->FTopIndex, 1);
    EXPECT_EQ(recorder.Painted, rowsArea(0, rows - 1));
    FWidget->removeEventFilter(&recorder);
}

// A panel widget whose drags are recorded instead of run.
class TDragRecorder : public TKPanelWidget {
public:
    explicit TDragRecorder(TKMYFILEPANEL& panel) : TKPanelWidget(panel), FModel(panel) {}
    int FDrags = 0;
    bool FDraggingDuringDrag = false;
    QStringList FFormats;
    QByteArray FUris;

protected:
    Qt::DropAction RunDrag(QDrag& drag) override {
        ++FDrags;
        FDraggingDuringDrag = FModel.FDragging;
        FFormats = drag.mimeData()->formats();
        FUris = drag.mimeData()->data("text/uri-list");
        return Qt::IgnoreAction;
    }

private:
    TKMYFILEPANEL& FModel;
};

class PanelDragTest : public PanelWidgetTest {
protected:
    int IndexOf(const std::string& name) {
        const TKITEMSSTRUC& list = *FPanel->FItemsStruc;
        for (int i = 0; i < list.Count(); ++i)
            if (list.GetFileItem(i)->Name == name)
                return i;
        ADD_FAILURE() << name << " not listed";
        return -1;
    }
    static std::string Uri(const std::string& encodedPath) { return "file://" + encodedPath + "\r\n"; }
};

TEST_F(PanelDragTest, DragDataNamesTheMarkedItemsOrTheCursorItem) {
    FTree.File("a b.txt", "a");
    FTree.File("n\xff\xfe.bin", "n");
    FTree.File("p%#?.txt", "p");
    FTree.Folder("sub");
    Read(FTree.Path());
    const std::string base = QByteArray::fromStdString(FTree.Path()).toPercentEncoding("/").toStdString();
    struct Case {
        const char* Label;
        std::vector<std::string> Marked;
        std::string Cursor;
        std::string Uris;
    };
    const Case cases[] = {
        {"the up-folder under the cursor is no file", {}, "..", ""},
        {"cursor item", {}, "a b.txt", Uri(base + "/a%20b.txt")},
        {"bytes that are no text", {}, "n\xff\xfe.bin", Uri(base + "/n%FF%FE.bin")},
        {"URI delimiters in a name", {}, "p%#?.txt", Uri(base + "/p%25%23%3F.txt")},
        // In the list's order, folders first.
        {"marked items, not the cursor item",
         {"a b.txt", "sub"},
         "p%#?.txt",
         Uri(base + "/sub") + Uri(base + "/a%20b.txt")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        TKITEMSSTRUC& list = *FPanel->FItemsStruc;
        for (int i = 0; i < list.Count(); ++i)
            list.MarkItem(list.GetFileItem(i), mmUnmark);
        for (const std::string& name : c.Marked)
            list.MarkItem(list.GetFileItem(IndexOf(name)), mmMark);
        list.SetItemIndex(IndexOf(c.Cursor));

        const std::string& expected = c.Uris;
        const std::unique_ptr<QMimeData> data = MakePanelDragData(*FWidget, *FPanel);
        EXPECT_EQ(data->data("text/uri-list").toStdString(), expected);
        EXPECT_EQ(data->hasFormat("text/uri-list"), !expected.empty());
        EXPECT_TRUE(data->hasFormat(PanelItemsMimeType));
        // What a program reading the list as URLs gets back is the local file itself.
        if (!expected.empty() && c.Marked.empty()) {
            EXPECT_EQ(QByteArray::fromPercentEncoding(data->urls().front().toEncoded(QUrl::FullyEncoded)),
                      QByteArray::fromStdString("file://" + FTree.Path() + "/" + c.Cursor));
        }
    }
}

TEST_F(PanelDragTest, OnlyAnotherPanelOfThisProcessIsADropSource) {
    TKMYFILEPANEL otherPanel(FOptions);
    TKPanelWidget other(otherPanel);
    TKMYFILEPANEL thirdPanel(FOptions);
    TKPanelWidget third(thirdPanel);
    QWidget plain;
    const std::unique_ptr<QMimeData> fromOther = MakePanelDragData(other, otherPanel);
    const std::unique_ptr<QMimeData> fromSelf = MakePanelDragData(*FWidget, *FPanel);
    const std::unique_ptr<QMimeData> fromThird = MakePanelDragData(third, thirdPanel);
    QMimeData uriOnly;
    uriOnly.setData("text/uri-list", "file:///etc/hosts\r\n");
    QMimeData otherProcess;
    QByteArray tag = fromOther->data(PanelItemsMimeType);
    otherProcess.setData(PanelItemsMimeType, "1" + tag);
    struct Case {
        const char* Label;
        const QObject* Source;
        const QMimeData* Data;
        const TKPanelWidget* Expected;
    };
    const Case cases[] = {
        {"the other panel", &other, fromOther.get(), &other},
        {"itself", FWidget.get(), fromSelf.get(), nullptr},
        {"data naming a third panel", &other, fromThird.get(), nullptr},
        {"no private format", &other, &uriOnly, nullptr},
        {"another process's tag", &other, &otherProcess, nullptr},
        {"a widget that is no panel", &plain, fromOther.get(), nullptr},
        {"another program (no source object)", nullptr, fromOther.get(), nullptr},
        {"no data", &other, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(FWidget->PanelDropSource(c.Source, c.Data), c.Expected);
    }
}

TEST_F(PanelDragTest, DropsFromOtherProgramsAreRefused) {
    int drops = 0;
    FWidget->OnDropFromPanel = [&](TKPanelWidget&) { ++drops; };
    EXPECT_TRUE(FWidget->acceptDrops());
    TKMYFILEPANEL otherPanel(FOptions);
    TKPanelWidget other(otherPanel);
    // Even data naming a real panel: an event without a source object came from outside.
    const std::unique_ptr<QMimeData> data = MakePanelDragData(other, otherPanel);
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWidget.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWidget.get(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(drops, 0);
}

TEST_F(PanelDragTest, DraggingOutSidewaysRunsOneDragAndEndsThePress) {
    FTree.File("a.txt", "a");
    FTree.File("b.txt", "b");
    TKMYFILEPANEL panel(FOptions);
    panel.FActive = true;
    TDragRecorder widget(panel);
    widget.resize(240, 160);
    widget.show();
    panel.FFolderItems.FPath = FTree.Path();
    panel.ReadPanel(false, true);
    ASSERT_TRUE(widget.WaitIdle(10000));
    const int ih = panel.FItemHeight;
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    };
    const QPoint onB(20, 2 * ih + ih / 2);
    const QPoint outside(widget.width() + 30, 2 * ih + ih / 2);
    struct Case {
        const char* Label;
        bool Enabled;
        Qt::MouseButton Button;
        int Drags;
    };
    const Case cases[] = {
        {"drag option off", false, Qt::LeftButton, 0},
        {"right button", true, Qt::RightButton, 0},
        {"left button", true, Qt::LeftButton, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        FOptions.PanelDragEnabled = c.Enabled;
        widget.FDrags = 0;
        send(QEvent::MouseButtonPress, onB, c.Button, c.Button);
        send(QEvent::MouseMove, outside, Qt::NoButton, c.Button);
        send(QEvent::MouseMove, outside + QPoint(5, 0), Qt::NoButton, c.Button);
        EXPECT_EQ(widget.FDrags, c.Drags);
        if (c.Drags == 0) {
            send(QEvent::MouseButtonRelease, outside, c.Button, Qt::NoButton);
            continue;
        }
        EXPECT_TRUE(widget.FDraggingDuringDrag);
        EXPECT_TRUE(widget.FFormats.contains(PanelItemsMimeType));
        EXPECT_EQ(widget.FUris.toStdString(),
                  "file://" + QByteArray::fromStdString(FTree.Path()).toPercentEncoding("/").toStdString() +
                      "/b.txt\r\n");
        // The drag ended without a release reaching the panel: nothing of the press is left.
        EXPECT_FALSE(panel.FDragging);
        EXPECT_FALSE(panel.FMouseTracking);
        const int cursor = panel.FItemsStruc->FItemIndex;
        send(QEvent::MouseMove, QPoint(20, ih / 2), Qt::NoButton, Qt::LeftButton);
        EXPECT_EQ(panel.FItemsStruc->FItemIndex, cursor);
    }
}

} // namespace
} // namespace ks
