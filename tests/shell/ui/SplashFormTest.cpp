#include "shell/ui/SplashForm.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <cstdlib>
#include <string>

#include "support/QtApp.h"
#include "support/TempTree.h"

namespace ks {
namespace {

// A one-row 24-bit image from its bytes (three per pixel).
QImage Row(std::initializer_list<int> bytes) {
    QImage image(static_cast<int>(bytes.size() / 3), 1, QImage::Format_RGB888);
    int i = 0;
    for (int b : bytes)
        image.scanLine(0)[i++] = static_cast<uchar>(b);
    return image;
}

std::vector<int> Bytes(const QImage& image) {
    std::vector<int> out;
    for (int y = 0; y < image.height(); ++y)
        for (int i = 0; i < image.width() * 3; ++i)
            out.push_back(image.constScanLine(y)[i]);
    return out;
}

TEST(BlendSplash, EveryByteUsesTheMaskByteAtTheSamePlace) {
    struct TCase {
        int Screen, Picture, Mask, Result;
    };
    // (screen x (256 - mask) + picture x mask) >> 8: mask 0 keeps the screen, 255 leaves 1/256
    // of the screen in, 128 is the mean rounded down.
    const TCase cases[] = {{200, 10, 0, 200},  {0, 255, 255, 254}, {255, 255, 255, 255}, {100, 201, 128, 150},
                           {255, 0, 128, 127}, {7, 9, 1, 7},       {0, 0, 128, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Screen << " " << c.Picture << " " << c.Mask);
        const QImage result =
            BlendSplash(Row({c.Screen, c.Screen, c.Screen}), Row({c.Picture, c.Picture, c.Picture}),
                        Row({c.Mask, c.Mask, c.Mask}));
        EXPECT_EQ(Bytes(result), (std::vector<int>{c.Result, c.Result, c.Result}));
    }
    // A coloured mask: red, green and blue each take their own mask byte.
    const QImage mixed = BlendSplash(Row({200, 200, 100, 0, 0, 0}), Row({10, 10, 201, 255, 255, 255}),
                                     Row({0, 255, 128, 255, 0, 128}));
    EXPECT_EQ(Bytes(mixed), (std::vector<int>{200, 10, 150, 254, 0, 127}));
    EXPECT_EQ(mixed.format(), QImage::Format_RGB888);
}

TEST(BlendSplash, MissingScreenOrMaskAndOtherFormats) {
    const QImage picture = Row({255, 128, 0, 255, 128, 0});
    // No mask: 255 everywhere; no screen: black under the picture.
    EXPECT_EQ(Bytes(BlendSplash(QImage(), picture, QImage())), (std::vector<int>{254, 127, 0, 254, 127, 0}));
    // A mask one pixel wide and a screen copy of another format.
    QImage screen(2, 1, QImage::Format_RGB32);
    screen.fill(QColor(100, 100, 100));
    QImage mask(1, 1, QImage::Format_Grayscale8);
    mask.fill(0);
    EXPECT_EQ(Bytes(BlendSplash(screen, picture, mask)), (std::vector<int>{100, 100, 100, 254, 127, 0}));
    EXPECT_TRUE(BlendSplash(screen, QImage(), mask).isNull());
}

TEST(SplashAlphaImage, AlphaIsTheMaskGreyAndColourThePicture) {
    const QImage image = SplashAlphaImage(Row({10, 20, 30, 40, 50, 60}), Row({128, 128, 128}));
    ASSERT_EQ(image.size(), QSize(2, 1));
    EXPECT_EQ(image.pixel(0, 0), qRgba(10, 20, 30, 128));
    EXPECT_EQ(image.pixel(1, 0), qRgba(40, 50, 60, 255)); // past the mask: opaque
    EXPECT_TRUE(SplashAlphaImage(QImage(), QImage()).isNull());
}

class SplashFormTest : public ::testing::Test {
protected:
    SplashFormTest() { test::QtApp(); }

    std::string AppPath() const { return FTree.Path() + "/"; }

    // A bright picture; the mask is white (opaque) on the left half and black on the right.
    void WritePictures(const std::string& pictureName, const std::string& maskName) const {
        QImage picture(200, 100, QImage::Format_RGB32);
        picture.fill(QColor(240, 200, 40));
        ASSERT_TRUE(picture.save(QString::fromStdString(FTree / pictureName), "JPG", 95));
        QImage mask(200, 100, QImage::Format_RGB32);
        mask.fill(Qt::black);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                mask.setPixel(x, y, qRgb(255, 255, 255));
        ASSERT_TRUE(mask.save(QString::fromStdString(FTree / maskName), "JPG", 95));
    }

    test::TempTree FTree;
};

// The screen under the window is a fixed colour, so the shown pixels can be checked exactly.
class TBlueDesktopSplash : public TSplashForm {
public:
    using TSplashForm::TSplashForm;

protected:
    QImage ScreenUnder() const override {
        QImage image(size(), QImage::Format_RGB32);
        image.fill(QColor(20, 60, 180));
        return image;
    }
};

TEST_F(SplashFormTest, SizedToThePictureCentredAndBlendedOverTheScreen) {
    WritePictures("sablesp.jpg", "SableSpM.JPG"); // the mask's name in another case
    TBlueDesktopSplash splash(AppPath());
    ASSERT_TRUE(splash.Valid()) << splash.ErrorText().toStdString();
    ASSERT_EQ(splash.Picture().size(), QSize(200, 100));
    ASSERT_EQ(splash.Mask().size(), QSize(200, 100));
    EXPECT_EQ(splash.size(), QSize(200, 100));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(splash.pos(),
              QPoint(screen.x() + (screen.width() - 200) / 2, screen.y() + (screen.height() - 100) / 2));
    const Qt::WindowFlags flags = splash.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::SplashScreen);
    EXPECT_FALSE(splash.Translucent()); // the offscreen platform composites nothing

    splash.show();
    splash.ShowProgress("25%");
    auto* counter = splash.findChild<QLabel*>("counter");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->text(), "25%");

    // Above the counter (bottom right), the window shows the blend of the picture over the blue screen:
    // the picture on the opaque half, the screen on the clear half.
    QImage blue(200, 100, QImage::Format_RGB32);
    blue.fill(QColor(20, 60, 180));
    const QImage expected =
        BlendSplash(blue, splash.Picture(), splash.Mask()).convertToFormat(QImage::Format_RGB32);
    const QImage shown = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), expected.size());
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(shown.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(shown.pixel(180, 5), qRgb(20, 60, 180));
    const QRgb picture = splash.Picture().pixel(5, 5);
    EXPECT_LE(std::abs(qRed(shown.pixel(5, 5)) - qRed(picture)), 1);
    EXPECT_LE(std::abs(qGreen(shown.pixel(5, 5)) - qGreen(picture)), 1);
    splash.hide();
}

TEST_F(SplashFormTest, ShippedPicturesDecode) {
    TSplashForm splash(KS_SOURCE_DIR "/data/");
    EXPECT_TRUE(splash.Valid()) << splash.ErrorText().toStdString();
    EXPECT_FALSE(splash.Picture().isNull());
    EXPECT_EQ(splash.Mask().size(), splash.Picture().size());
    EXPECT_EQ(splash.size(), splash.Picture().size());
}

TEST_F(SplashFormTest, MissingPicturesGiveAnEmptySplash) {
    TSplashForm splash(AppPath());
    EXPECT_TRUE(splash.Valid());
    EXPECT_TRUE(splash.Picture().isNull());
    EXPECT_TRUE(splash.Mask().isNull());
    EXPECT_EQ(splash.size(), QSize(0, 0));
    splash.show();
    EXPECT_FALSE(splash.isVisible()); // no empty window on the screen
    splash.ShowProgress("0%");
    EXPECT_EQ(splash.findChild<QLabel*>("counter")->text(), "0%");
    splash.hide();
}

TEST_F(SplashFormTest, AnUndecodablePictureIsReportedNotFatal) {
    WritePictures("good.jpg", "goodmask.jpg");
    const std::string good = test::TempTree::ReadFile(FTree / "good.jpg");
    struct TCase {
        const char* Broken;
        std::string Bytes;
    };
    const TCase cases[] = {{"sablesp.jpg", "this is not a JPEG"},
                           {"sablesp.jpg", ""},
                           {"sablespm.jpg", std::string("\xff\xd8\xff\xe0 broken", 10)}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Broken);
        test::TempTree tree;
        tree.File("sablesp.jpg", good);
        tree.File("sablespm.jpg", good);
        tree.File(c.Broken, c.Bytes);
        TSplashForm splash(tree.Path() + "/");
        EXPECT_FALSE(splash.Valid());
        EXPECT_TRUE(splash.ErrorText().contains(c.Broken));
    }
}

} // namespace
} // namespace ks
