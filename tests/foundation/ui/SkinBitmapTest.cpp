#include "foundation/ui/SkinBitmap.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ks {
namespace {

using test::TempTree;

// Four solid quarters, so lossy JPEG keeps the colours close to the source.
QImage Picture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y,
                           right ? (bottom ? qRgb(0, 0, 255) : qRgb(0, 255, 0))
                                 : (bottom ? qRgb(255, 255, 255) : qRgb(255, 0, 0)));
        }
    }
    return image;
}

std::string Save(const TempTree& tree, const std::string& name, const QImage& image, const char* format) {
    const std::string path = tree / name;
    EXPECT_TRUE(image.save(QString::fromStdString(path), format, 100)) << name;
    return path;
}

void ExpectCorners(const QImage& image, int tolerance) {
    const QRgb expected[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 255), qRgb(0, 0, 255)};
    const QPoint points[] = {
        {1, 1}, {image.width() - 2, 1}, {1, image.height() - 2}, {image.width() - 2, image.height() - 2}};
    for (int i = 0; i < 4; ++i) {
        const QRgb got = image.pixel(points[i]);
        EXPECT_LE(std::abs(qRed(got) - qRed(expected[i])), tolerance) << i;
        EXPECT_LE(std::abs(qGreen(got) - qGreen(expected[i])), tolerance) << i;
        EXPECT_LE(std::abs(qBlue(got) - qBlue(expected[i])), tolerance) << i;
    }
}

class SkinBitmap : public ::testing::Test {
protected:
    void SetUp() override {
        Save(FTree, "Back.BMP", Picture(12, 10), "BMP");
        Save(FTree, "Panel.JPG", Picture(32, 16), "JPG");
    }
    TempTree FTree;
};

TEST_F(SkinBitmap, LoadsBmpAndJpegWithoutRegardToCase) {
    struct TCase {
        std::string Name;
        int Width;
        int Tolerance;
    };
    const TCase cases[] = {
        {"Back.BMP", 12, 0},   {"back.bmp", 12, 0},
        {"BACK.bmp", 12, 0},   {"panel.bmp", 32, 24}, // no BMP of that name: the JPEG beside it
        {"PANEL.BMP", 32, 24}, {"Panel.jpg", 32, 24}, // any other extension is read as a JPEG
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QImage bitmap;
        ASSERT_TRUE(LoadSkinBitmap(FTree / c.Name, bitmap));
        EXPECT_EQ(bitmap.format(), QImage::Format_RGB888);
        EXPECT_EQ(bitmap.width(), c.Width);
        ExpectCorners(bitmap, c.Tolerance);
    }
}

TEST_F(SkinBitmap, PlainBitmapsReadRowForRowAsTheGeneralDecoderReadsThem) {
    // An odd width pads every row; distinct channels show any byte swap.
    QImage source(13, 7, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x * 19, y * 37, (x * 7 + y * 11) % 256));
    const std::string bottomUp = Save(FTree, "odd.bmp", source, "BMP");
    std::string bytes = TempTree::ReadFile(bottomUp);
    ASSERT_EQ(static_cast<unsigned char>(bytes[28]), 24u); // written as a plain 24-bit bitmap
    const QImage reference = QImage(QString::fromStdString(bottomUp)).convertToFormat(QImage::Format_RGB888);

    QImage bitmap;
    ASSERT_TRUE(LoadSkinBitmap(bottomUp, bitmap));
    EXPECT_EQ(bitmap, reference);

    // The same picture stored top-down: a negative height and the rows in the other order.
    const std::size_t offset = static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11])
                                                                           << 8;
    const std::size_t stride = (13 * 3 + 3) / 4 * 4;
    std::string topDown = bytes.substr(0, offset);
    for (int row = 6; row >= 0; --row)
        topDown += bytes.substr(offset + stride * static_cast<std::size_t>(row), stride);
    const std::int32_t negative = -7;
    std::memcpy(topDown.data() + 22, &negative, 4);
    ASSERT_TRUE(LoadSkinBitmap(FTree.File("top.bmp", topDown), bitmap));
    EXPECT_EQ(bitmap, reference);

    // Rows cut short are refused, not read past the end.
    ASSERT_FALSE(LoadSkinBitmap(FTree.File("short.bmp", bytes.substr(0, bytes.size() - 5)), bitmap));
}

TEST_F(SkinBitmap, MissingAndDamagedFilesGiveANullImage) {
    const std::string jpeg = TempTree::ReadFile(FTree / "Panel.JPG");
    const std::string bmp = TempTree::ReadFile(FTree / "Back.BMP");
    FTree.File("cut.jpg", jpeg.substr(0, jpeg.size() / 2));
    FTree.File("headonly.jpg", jpeg.substr(0, 20));
    FTree.File("noise.jpg", "\xFF\xD8\xFF\xE0 this is not really a JPEG at all");
    FTree.File("cutbmp.bmp", bmp.substr(0, bmp.size() / 2));
    FTree.File("noise.bmp", "BM garbage, garbage, garbage, garbage, garbage, garbage");
    FTree.File("empty.bmp", "");
    Save(FTree, "wide.bmp", Picture(20000, 2), "BMP");
    Save(FTree, "tall.jpg", Picture(2, 17000), "JPG");
    FTree.Folder("folder.bmp");

    const char* names[] = {"missing.bmp", "nofolder/back.bmp", "Back.png",  "cut.bmp",   "headonly.jpg",
                           "noise.jpg",   "cutbmp.bmp",        "noise.bmp", "empty.bmp", "wide.bmp",
                           "tall.bmp",    "folder.bmp",        "",          "Back"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        QImage bitmap = Picture(4, 4);
        EXPECT_FALSE(LoadSkinBitmap(FTree / name, bitmap));
        EXPECT_TRUE(bitmap.isNull());
    }
}

TEST_F(SkinBitmap, ADamagedBmpFallsBackToTheJpeg) {
    FTree.File("both.bmp", "BM not a bitmap");
    Save(FTree, "both.jpg", Picture(8, 8), "JPG");
    QImage bitmap;
    ASSERT_TRUE(LoadSkinBitmap(FTree / "both.bmp", bitmap));
    EXPECT_EQ(bitmap.size(), QSize(8, 8));
}

} // namespace
} // namespace ks
