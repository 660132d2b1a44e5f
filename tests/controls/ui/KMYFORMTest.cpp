#include "controls/ui/KMYFORM.h"

#include "controls/ui/MessageForm.h"

#include "support/QtApp.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace ks {
namespace {

class KMYFORMTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }
};

// Runs form modally and hands it to act once it is on screen; a form act leaves open is closed
// with -1 after five seconds, so a fault fails the test instead of hanging it.
int ExecAndAct(TKMYFORM& form, const std::function<void(TKMYFORM&)>& act) {
    QTimer::singleShot(0, &form, [&form, &act] { act(form); });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &form, [&form] { form.done(-1); });
    limit.start(5000);
    return form.exec();
}

TEST_F(KMYFORMTest, FrameTitleBarAndPanelPlacement) {
    TKMYFORM form;
    form.setWindowTitle(QStringLiteral("Delete files..."));
    auto* panel = new QFrame(&form);
    panel->setObjectName(QStringLiteral("PANELW"));
    form.resize(300, 200);
    form.show();
    QCoreApplication::processEvents();

    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(panel->geometry(), QRect(3, 30, 294, 168));
    EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.InnerRect(), QRect(4, 30, 292, 166));
    form.resize(320, 240);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->geometry(), QRect(3, 30, 314, 208));

    QPushButton* close = form.CloseBox();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->objectName(), QStringLiteral("CLOSE"));
    EXPECT_EQ(close->toolTip(), QStringLiteral("ALT+F4"));
    EXPECT_EQ(close->geometry(), QRect(320 - 12 - 8, 8, 12, 12));
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);

    delete panel;
    const QImage image = form.grab().toImage();
    const QColor frame = TKMYFORM::FrameColor();
    EXPECT_EQ(frame.red(), frame.green());
    EXPECT_EQ(frame.green(), frame.blue());
    // Outer frame, then three nested frames from y = 27 down; the title bar between is black.
    for (const QPoint p : {QPoint(0, 0), QPoint(319, 100), QPoint(160, 239), QPoint(1, 27), QPoint(2, 28),
                           QPoint(3, 29), QPoint(316, 236), QPoint(160, 27)}) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        EXPECT_EQ(QColor(image.pixel(p)), frame);
    }
    for (const QPoint p : {QPoint(1, 1), QPoint(250, 2), QPoint(200, 26)})
        EXPECT_EQ(QColor(image.pixel(p)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(160, 120)), TKMYFORM::BodyColor());
    // The caption is drawn in white somewhere in the left part of the bar.
    bool whiteCaption = false;
    for (int x = 4; x < 120 && !whiteCaption; ++x) {
        for (int y = 4; y < 24 && !whiteCaption; ++y)
            whiteCaption = QColor(image.pixel(x, y)) == QColor(Qt::white);
    }
    EXPECT_TRUE(whiteCaption);
}

TEST_F(KMYFORMTest, CloseBoxAndEscapeReject) {
    TKMYFORM form;
    form.resize(300, 200);
    auto* ok = new QPushButton(QStringLiteral("&OK"), &form);
    ok->setGeometry(100, 150, 80, 25);
    QObject::connect(ok, &QPushButton::clicked, &form, &QDialog::accept);
    EXPECT_EQ(ExecAndAct(form, [](TKMYFORM& f) { f.CloseBox()->click(); }), QDialog::Rejected);
    EXPECT_EQ(ExecAndAct(form,
                         [](TKMYFORM& f) {
                             QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                             QCoreApplication::sendEvent(f.focusWidget() ? f.focusWidget() : &f, &press);
                         }),
              QDialog::Rejected);
    EXPECT_EQ(ExecAndAct(form, [ok](TKMYFORM&) { ok->click(); }), QDialog::Accepted);
}

TEST_F(KMYFORMTest, SizeHintMakesRoomForTheWholeCaption) {
    TKMYFORM form;
    form.setWindowTitle(QStringLiteral("Choose your new user-level..."));
    auto* layout = new QVBoxLayout(&form);
    layout->setContentsMargins(TKMYFORM::InnerLeft + 8, TKMYFORM::InnerTop + 8, 12, 12);
    layout->addWidget(new QLabel(QStringLiteral("OK"), &form));
    form.resize(form.sizeHint());
    const QImage image = form.grab().toImage();
    ASSERT_FALSE(image.isNull());
    // The caption's last light pixel keeps a gap to the close box (a cut caption would end in an
    // ellipsis right at the gap's start, so the gap itself is checked too).
    int right = 0;
    for (int x = 0; x < form.CloseBox()->x(); ++x) {
        for (int y = 2; y < TKMYFORM::TitleBarBottom - 1; ++y) {
            if (QColor(image.pixel(x, y)).lightness() > 128)
                right = x;
        }
    }
    EXPECT_GT(right, 150);
    EXPECT_LE(right, form.CloseBox()->x() - 12);
    QFont bold = form.font();
    bold.setBold(true);
    EXPECT_GE(form.width(), QFontMetrics(bold).horizontalAdvance(form.windowTitle()) + 12 + 8 + 16);
}

// The offscreen window system offers no move of its own, as a bare X display does not: the form
// follows the pointer itself from a free spot, and only while the left button is held.
int Luminance(QRgb pixel) {
    return (299 * qRed(pixel) + 587 * qGreen(pixel) + 114 * qBlue(pixel)) / 1000;
}

// A checked box shows a tick: the path from the middle of its left side down to the lower middle
// and up to the upper right is drawn bright, the box's free corners stay dark; unchecked, the path
// is dark too. A filled box (no tick) fails on the path's bend.
TEST_F(KMYFORMTest, CheckedBoxShowsATick) {
    TKMYFORM form;
    auto* layout = new QVBoxLayout(&form);
    layout->setContentsMargins(10, 40, 10, 10);
    auto* box = new QCheckBox(QStringLiteral("Frames"), &form);
    layout->addWidget(box);
    form.show();
    QCoreApplication::processEvents();
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    ASSERT_GE(indicator.width(), 9);
    const double side = indicator.width();
    // The brightest pixel within one pixel of a point of the box.
    const auto brightness = [&](const QImage& image, double x, double y) {
        int most = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                most = std::max(most, Luminance(image.pixel(indicator.x() + int(x * side) + dx,
                                                            indicator.y() + int(y * side) + dy)));
        return most;
    };
    const auto pixel = [&](const QImage& image, double x, double y) {
        return Luminance(image.pixel(indicator.x() + int(x * side), indicator.y() + int(y * side)));
    };
    struct TPoint {
        double X, Y;
    };
    const TPoint onTick[] = {{0.42, 0.72}, {0.32, 0.62}, {0.62, 0.50}, {0.74, 0.36}};
    const TPoint corners[] = {{0.25, 0.22}, {0.78, 0.78}, {0.25, 0.80}};

    box->setChecked(true);
    const QImage checked = form.grab(box->geometry()).toImage();
    box->setChecked(false);
    const QImage unchecked = form.grab(box->geometry()).toImage();
    for (const TPoint& point : onTick) {
        SCOPED_TRACE(testing::Message() << point.X << ", " << point.Y);
        for (const TPoint& corner : corners)
            EXPECT_GE(brightness(checked, point.X, point.Y) - pixel(checked, corner.X, corner.Y), 80);
        EXPECT_LT(brightness(unchecked, point.X, point.Y), 80);
    }
}

// A chosen radio button shows a light dot on the dark ring of the check boxes; the others stay
// dark inside, so the chosen one of a group stands out.
TEST_F(KMYFORMTest, ChosenRadioButtonShowsALightDotOnADarkRing) {
    TKMYFORM form;
    auto* layout = new QVBoxLayout(&form);
    layout->setContentsMargins(10, 40, 10, 10);
    auto* chosen = new QRadioButton(QStringLiteral("Root folder"), &form);
    auto* other = new QRadioButton(QStringLiteral("Current folder"), &form);
    layout->addWidget(chosen);
    layout->addWidget(other);
    chosen->setChecked(true);
    form.show();
    QCoreApplication::processEvents();
    const auto centre = [&form](QRadioButton* button) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect indicator =
            button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
        const QImage image = form.grab(button->geometry()).toImage();
        return Luminance(image.pixel(indicator.center()));
    };
    EXPECT_GE(centre(chosen), 160);
    EXPECT_LT(centre(other), 80);
}

// Shows form and waits, at most five seconds, until it is the active window, the one whose controls
// get the focus.
void ShowActive(QWidget& form) {
    form.show();
    form.activateWindow();
    QElapsedTimer timer;
    timer.start();
    while (!form.isActiveWindow() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(form.isActiveWindow());
}

// Gives control of the shown form the focus, moving it there from other, and checks that the
// focused control is framed in a colour that stands out from what it covers: a closed outline of
// pixels whose brightness changed markedly from the unfocused picture.
void ExpectFocusFrame(QWidget& form, QWidget* control, QWidget* other) {
    SCOPED_TRACE(testing::Message() << form.windowTitle().toStdString() << " "
                                    << control->objectName().toStdString() << " "
                                    << control->metaObject()->className());
    other->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(other->hasFocus());
    const QImage before = form.grab(control->geometry()).toImage();
    control->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(control->hasFocus());
    const QImage after = form.grab(control->geometry()).toImage();
    ASSERT_EQ(before.size(), after.size());
    const auto marked = [&](int x, int y) {
        return std::abs(Luminance(after.pixel(x, y)) - Luminance(before.pixel(x, y))) >= 60;
    };
    QRect frame;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (marked(x, y))
                frame |= QRect(x, y, 1, 1);
    ASSERT_GE(frame.width(), 8) << "no focus mark";
    ASSERT_GE(frame.height(), 8);
    const auto share = [&](int x0, int y0, int dx, int dy, int steps) {
        int hits = 0;
        for (int i = 0; i < steps; ++i)
            hits += marked(x0 + i * dx, y0 + i * dy) ? 1 : 0;
        return double(hits) / steps;
    };
    EXPECT_GE(share(frame.left(), frame.top(), 1, 0, frame.width()), 0.9);
    EXPECT_GE(share(frame.left(), frame.bottom(), 1, 0, frame.width()), 0.9);
    EXPECT_GE(share(frame.left(), frame.top(), 0, 1, frame.height()), 0.9);
    EXPECT_GE(share(frame.right(), frame.top(), 0, 1, frame.height()), 0.9);
}

// The focus shows though it came without a Tab: on a dialog's buttons, check boxes and lists, and
// on the message box, which adds a style sheet of its own.
TEST_F(KMYFORMTest, FocusedControlIsFramed) {
    {
        TKMYFORM form;
        auto* layout = new QVBoxLayout(&form);
        layout->setContentsMargins(10, 40, 10, 10);
        auto* list = new QListWidget(&form);
        list->addItems({QStringLiteral("Left panel"), QStringLiteral("Right panel")});
        list->setCurrentRow(0);
        list->setFixedHeight(60);
        layout->addWidget(list);
        auto* box = new QCheckBox(QStringLiteral("Frames"), &form);
        layout->addWidget(box);
        auto* ok = new QPushButton(QStringLiteral("&OK"), &form);
        ok->setDefault(true);
        layout->addWidget(ok);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), &form);
        layout->addWidget(cancel);
        ShowActive(form);
        for (QWidget* control : std::initializer_list<QWidget*>{ok, box, list})
            ExpectFocusFrame(form, control, cancel);
    }
    TMessageForm message("Overwrite?", mbYes | mbNo, 0);
    ShowActive(message);
    ExpectFocusFrame(message, message.Button(0), message.Button(2)); // Yes, No
}

TEST_F(KMYFORMTest, FreeSpotDragsTheFormWithoutASystemMove) {
    TKMYFORM form;
    form.resize(300, 200);
    form.move(100, 80);
    form.show();
    QCoreApplication::processEvents();
    const QPoint start = form.pos();
    const auto send = [&form](QEvent::Type type, QPoint global, Qt::MouseButton button,
                              Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(form.mapFromGlobal(global)), QPointF(global), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &event);
    };
    const QPoint grip = form.mapToGlobal(QPoint(150, 100));
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grip + QPoint(10, 5), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, grip + QPoint(35, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form.pos(), start + QPoint(35, 20));
    send(QEvent::MouseButtonRelease, grip + QPoint(35, 20), Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, grip + QPoint(80, 60), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.pos(), start + QPoint(35, 20));

    // The right button does not drag.
    send(QEvent::MouseButtonPress, grip, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, grip + QPoint(-30, 0), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(form.pos(), start + QPoint(35, 20));
}

} // namespace
} // namespace ks
