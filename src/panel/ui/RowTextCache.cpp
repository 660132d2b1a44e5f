#include "panel/ui/RowTextCache.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>

namespace ks {

namespace {

// A few screens of rows; a folder scrolled through draws its texts again as they come.
constexpr std::size_t MaxMaskBytes = 8u << 20;
// Longer texts are cut there; no row is that wide.
constexpr int MaxMaskWidth = 16384;

} // namespace

void TRowTextCache::Use(const QFont& font, int rowHeight) {
    if (FReady && rowHeight == FRowHeight && font == FFont)
        return;
    FMasks.clear();
    FBytes = 0;
    FFont = font;
    FRowHeight = std::max(rowHeight, 1);
    const QFontMetrics metrics(font);
    FPad = metrics.height();
    FBaseline = (FRowHeight - metrics.height()) / 2 + metrics.ascent();
    FReady = true;
}

const TRowTextCache::TMask& TRowTextCache::MaskOf(const QString& text) {
    const auto found = FMasks.find(text);
    if (found != FMasks.end())
        return found->second;
    if (FBytes > MaxMaskBytes) {
        FMasks.clear();
        FBytes = 0;
    }
    TMask mask;
    mask.Advance = QFontMetrics(FFont).horizontalAdvance(text);
    const int width = std::clamp(mask.Advance + 2 * FPad, 1, MaxMaskWidth);
    mask.Coverage = QImage(width, FRowHeight, QImage::Format_RGB888);
    mask.Coverage.fill(Qt::black);
    {
        QPainter painter(&mask.Coverage);
        painter.setFont(FFont);
        painter.setPen(Qt::white);
        painter.drawText(QPoint(FPad, FBaseline), text);
    }
    // Only the part with ink is blended.
    mask.InkLeft = width;
    mask.InkTop = FRowHeight;
    for (int y = 0; y < FRowHeight; ++y) {
        const uchar* line = mask.Coverage.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if ((line[3 * x] | line[3 * x + 1] | line[3 * x + 2]) == 0)
                continue;
            mask.InkLeft = std::min(mask.InkLeft, x);
            mask.InkRight = std::max(mask.InkRight, x);
            mask.InkTop = std::min(mask.InkTop, y);
            mask.InkBottom = y;
        }
    }
    FBytes += static_cast<std::size_t>(mask.Coverage.sizeInBytes()) + sizeof(TMask) +
              static_cast<std::size_t>(text.size()) * sizeof(QChar);
    return FMasks.emplace(text, std::move(mask)).first->second;
}

int TRowTextCache::Advance(const QString& text) {
    return text.isEmpty() ? 0 : MaskOf(text).Advance;
}

void TRowTextCache::Draw(QImage& image, const QString& text, int x, int top, QColor colour, QRect clip) {
    if (text.isEmpty() || image.format() != QImage::Format_RGB888)
        return;
    const TMask& mask = MaskOf(text);
    if (mask.InkRight < mask.InkLeft)
        return;
    const int originX = x - FPad;
    const QRect ink(QPoint(originX + mask.InkLeft, top + mask.InkTop),
                    QPoint(originX + mask.InkRight, top + mask.InkBottom));
    clip = clip.intersected(image.rect()).intersected(ink);
    if (clip.isEmpty())
        return;
    // One tint byte per coverage byte, so the loop below runs over plain byte arrays.
    const int bytes = 3 * clip.width();
    const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(colour.red()),
                                 static_cast<std::uint8_t>(colour.green()),
                                 static_cast<std::uint8_t>(colour.blue())};
    FTint.resize(static_cast<std::size_t>(bytes));
    for (std::size_t i = 0; i < FTint.size(); i += 3)
        std::copy(rgb, rgb + 3, FTint.begin() + static_cast<std::ptrdiff_t>(i));
    const std::uint8_t* tint = FTint.data();
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const uchar* cover = mask.Coverage.constScanLine(y - top) + (clip.left() - originX) * 3;
        uchar* line = image.scanLine(y) + clip.left() * 3;
        for (int i = 0; i < bytes; ++i) {
            // under x (255 - a) + tint x a, divided by 255 and rounded; the sum fits 16 bits,
            // and (v + 1 + (v >> 8)) >> 8 is v / 255 for every such v.
            const auto a = static_cast<std::uint16_t>(cover[i]);
            const auto v = static_cast<std::uint16_t>(line[i] * (255 - a) + tint[i] * a + 127);
            line[i] = static_cast<uchar>((v + 1 + (v >> 8)) >> 8);
        }
    }
}

} // namespace ks
