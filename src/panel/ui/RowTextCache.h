#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

namespace ks {

/// The texts of panel rows, each laid out and rendered once into a coverage mask (white text on
/// black, one coverage byte per colour channel, so subpixel rendering survives) and then blended
/// in the row's colour wherever it is shown. A list that scrolls by one row shows the same texts
/// one row higher, so a scroll blends masks instead of laying the texts out again.
///
/// Not thread-safe: the owner guards it (the panel widget uses it under its painter mutex).
class TRowTextCache {
public:
    /// Makes the masks the ones for font and rows of rowHeight pixels; masks drawn with other
    /// values are dropped.
    void Use(const QFont& font, int rowHeight);
    /// The advance of text in the font.
    int Advance(const QString& text);
    /// Blends text in colour into image (Format_RGB888): the text starts at x, in the row whose
    /// top pixel row is top; only the pixels inside clip change.
    void Draw(QImage& image, const QString& text, int x, int top, QColor colour, QRect clip);
    /// The number of texts kept (for tests).
    std::size_t Size() const { return FMasks.size(); }

private:
    struct TMask {
        QImage Coverage; ///< Format_RGB888, the text drawn from FPad on FBaseline
        int Advance = 0;
        int InkLeft = 0;   ///< the first column with coverage
        int InkRight = -1; ///< the last column with coverage
        int InkTop = 0;    ///< the first pixel row with coverage
        int InkBottom = -1;
    };
    const TMask& MaskOf(const QString& text);

    QFont FFont;
    int FRowHeight = 0;
    /// The bytes of all masks; past a bound they are dropped and drawn again as needed.
    std::size_t FBytes = 0;
    /// Room left and right of the advance for glyphs that reach past it.
    int FPad = 0;
    int FBaseline = 0;
    bool FReady = false;
    std::unordered_map<QString, TMask> FMasks;
    std::vector<std::uint8_t> FTint;
};

} // namespace ks
