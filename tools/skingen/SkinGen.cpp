// ksable-skingen: draws kSable's shipped skins and splash pictures.
//
// Usage: ksable-skingen [--rect] SKIN_FOLDER
//        ksable-skingen --splash PROGRAM_FOLDER
//        ksable-skingen --all DATA_FOLDER
//
// The first form writes the shaped dark skin (or, with --rect, the rectangular blue one) into
// SKIN_FOLDER; --splash writes "sablesp.jpg" and "sablespm.jpg"; --all writes
// DATA_FOLDER/skins/default, DATA_FOLDER/skins/classic and the two splash pictures into
// DATA_FOLDER. Folders are created as needed; only the files named here are written.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRect>
#include <QString>
#include <QStringList>

namespace ks {
namespace {

/// Where the parts of the main window sit, in window pixels.
struct TSkinLayout {
    int Width = 0;
    int Height = 0;
    int TitleHeight = 0;
    QRect LeftPathLine, LeftPanel, LeftItemLine;
    QRect RightPathLine, RightPanel, RightItemLine;
    QRect InfoLine, BtnClose, BtnMini, BtnMenu, ImgMenu;
};

/// Everything that differs between the shipped skins.
struct TSkinStyle {
    QString Name;
    bool Shaped = false;
    bool PanelMasks = false; // write "msk_lp" and "msk_rp"
    int CornerRadius = 0;
    // Vertical layout, top to bottom: title strip, gap, path lines, gap, panel wells, gap, item
    // lines, gap, command line, bottom margin.
    int TitleHeight = 40;
    int LineHeight = 20;
    int PanelHeight = 0;
    int CommandGap = 10;
    int CommandHeight = 22;
    int BottomMargin = 14;
    int ButtonWidth = 26;
    int ButtonHeight = 20;
    int BadgeWidth = 36;
    QString LineSpacing;
    QColor WindowTop, WindowBottom;  // background gradient
    QColor Frame, FrameLight;        // outer frame and its inner highlight
    QColor Well, WellFrame, WellLip; // panel wells: fill, dark edge, light lower lip
    QColor Strip;                    // fill of the path, item and command lines
    QColor Title, TitleDim;          // title text
    QColor Glyph, GlyphHover, ButtonHover, CloseHover;
    QColor Accent;
    QColor FontColour;
    QColor Cursor, UpFolder, Folder, Exe, Other, Packed;
};

constexpr int Margin = 14;
constexpr int Gap = 12;
constexpr int LineGap = 6;
constexpr int WellInset = 2;
constexpr double WellRadius = 6;

// The skin loader reads at most 1200 bytes of a panel mask file: 300 pixel rows of two 16-bit
// bounds. The panel clips the rows below the table like the table's last row, so the file holds
// the top of the panel's outline and then a constant bound.
constexpr int MaskRows = 300;
// Free pixels between a panel row's ends and the well's inner edge.
constexpr int MaskPadding = 2;

TSkinLayout MakeLayout(const TSkinStyle& s) {
    TSkinLayout layout;
    layout.Width = 900;
    layout.TitleHeight = s.TitleHeight;
    const int panelWidth = (layout.Width - 2 * Margin - Gap) / 2;
    const int leftX = Margin;
    const int rightX = layout.Width - Margin - panelWidth;

    int y = s.TitleHeight + LineGap;
    layout.LeftPathLine = QRect(leftX, y, panelWidth, s.LineHeight);
    layout.RightPathLine = QRect(rightX, y, panelWidth, s.LineHeight);
    y += s.LineHeight + LineGap;
    // The panel sits inside its well, so the well's frame stays visible around the rows.
    layout.LeftPanel = QRect(leftX + WellInset, y + WellInset, panelWidth - 2 * WellInset, s.PanelHeight);
    layout.RightPanel = QRect(rightX + WellInset, y + WellInset, panelWidth - 2 * WellInset, s.PanelHeight);
    y += s.PanelHeight + 2 * WellInset + LineGap;
    layout.LeftItemLine = QRect(leftX, y, panelWidth, s.LineHeight);
    layout.RightItemLine = QRect(rightX, y, panelWidth, s.LineHeight);
    y += s.LineHeight + s.CommandGap;
    layout.InfoLine = QRect(leftX, y, layout.Width - 2 * Margin, s.CommandHeight);
    y += s.CommandHeight + s.BottomMargin;
    layout.Height = y;

    const int buttonTop = (s.TitleHeight - s.ButtonHeight) / 2 + 1;
    int x = layout.Width - Margin - s.ButtonWidth;
    layout.BtnClose = QRect(x, buttonTop, s.ButtonWidth, s.ButtonHeight);
    x -= s.ButtonWidth + 4;
    layout.BtnMini = QRect(x, buttonTop, s.ButtonWidth, s.ButtonHeight);
    x -= s.ButtonWidth + 4;
    layout.BtnMenu = QRect(x, buttonTop, s.ButtonWidth, s.ButtonHeight);
    layout.ImgMenu = QRect(Margin, buttonTop, s.BadgeWidth, s.ButtonHeight);
    return layout;
}

TSkinStyle DarkStyle() {
    TSkinStyle s;
    s.Name = "kSable Default";
    s.Shaped = true;
    s.PanelMasks = true;
    s.CornerRadius = 14;
    // 900 x 620: a taller title strip and lines than the classic skin's, and panels of 448 pixel
    // rows, 28 rows of 16 pixels with the shipped font (14 pixels high) and line spacing.
    s.TitleHeight = 48;
    s.LineHeight = 22;
    s.PanelHeight = 448;
    s.CommandGap = 12;
    s.CommandHeight = 26;
    s.BottomMargin = 20;
    s.ButtonWidth = 30;
    s.ButtonHeight = 24;
    s.BadgeWidth = 40;
    s.LineSpacing = "1.15";
    s.WindowTop = QColor(48, 54, 64);
    s.WindowBottom = QColor(30, 34, 41);
    s.Frame = QColor(14, 16, 20);
    s.FrameLight = QColor(78, 86, 100);
    s.Well = QColor(22, 25, 31);
    s.WellFrame = QColor(12, 14, 17);
    s.WellLip = QColor(66, 73, 86);
    s.Strip = QColor(36, 41, 49);
    s.Title = QColor(226, 230, 236);
    s.TitleDim = QColor(120, 130, 146);
    s.Glyph = QColor(168, 176, 190);
    s.GlyphHover = QColor(255, 255, 255);
    s.ButtonHover = QColor(76, 86, 102);
    s.CloseHover = QColor(200, 60, 56);
    s.Accent = QColor(84, 146, 222);
    s.FontColour = QColor(220, 220, 220);
    s.Cursor = QColor(62, 116, 190);
    s.UpFolder = QColor(178, 200, 226);
    s.Folder = QColor(128, 188, 255);
    s.Exe = QColor(126, 218, 142);
    s.Other = QColor(218, 221, 226);
    s.Packed = QColor(232, 150, 206);
    return s;
}

TSkinStyle ClassicStyle() {
    TSkinStyle s;
    s.Name = "kSable Classic";
    s.Shaped = false;
    s.CornerRadius = 0;
    // No panel masks: the panel rows use the full width of their square wells.
    s.PanelHeight = 468;
    s.LineSpacing = "1.1";
    // Light window chrome around deep blue wells: marked items are always drawn in pure yellow,
    // which needs a dark field to stay readable, and the path, item and command lines share the
    // panel font's colour.
    s.WindowTop = QColor(230, 233, 238);
    s.WindowBottom = QColor(204, 209, 217);
    s.Frame = QColor(120, 128, 140);
    s.FrameLight = QColor(252, 253, 255);
    s.Well = QColor(14, 34, 84);
    s.WellFrame = QColor(60, 70, 92);
    s.WellLip = QColor(250, 251, 253);
    s.Strip = QColor(22, 46, 104);
    s.Title = QColor(34, 40, 52);
    s.TitleDim = QColor(104, 112, 128);
    s.Glyph = QColor(64, 72, 88);
    s.GlyphHover = QColor(255, 255, 255);
    s.ButtonHover = QColor(52, 92, 168);
    s.CloseHover = QColor(206, 58, 52);
    s.Accent = QColor(40, 96, 186);
    s.FontColour = QColor(214, 224, 240);
    s.Cursor = QColor(40, 160, 200);
    s.UpFolder = QColor(196, 208, 230);
    s.Folder = QColor(120, 214, 255);
    s.Exe = QColor(128, 236, 150);
    s.Other = QColor(214, 224, 240);
    s.Packed = QColor(255, 156, 214);
    return s;
}

/// Per pixel row, the first and one-past-last column inside a rounded rectangle of size w x h.
/// A pixel belongs to the shape when its centre lies inside the corner circle.
std::vector<std::pair<int, int>> RoundedSpans(int w, int h, int radius) {
    std::vector<std::pair<int, int>> spans(static_cast<size_t>(h), {0, w});
    if (radius <= 0)
        return spans;
    for (int y = 0; y < radius && y < h; ++y) {
        const double dy = radius - (y + 0.5);
        const double dx = std::sqrt(std::max(0.0, double(radius) * radius - dy * dy));
        const int inset = static_cast<int>(std::ceil(radius - dx - 0.5));
        spans[static_cast<size_t>(y)] = {inset, w - inset};
        spans[static_cast<size_t>(h - 1 - y)] = {inset, w - inset};
    }
    return spans;
}

void PutInt32(QByteArray& out, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void PutUInt16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

/// "Back.msk": a 4-byte byte count, then Win32 RGNDATA (RGNDATAHEADER and its RECTs). Equal
/// consecutive rows become one band, as GetRegionData would return them.
QByteArray RegionFile(int w, int h, const std::vector<std::pair<int, int>>& spans) {
    struct TBand {
        int Left, Top, Right, Bottom;
    };
    std::vector<TBand> bands;
    for (int y = 0; y < h; ++y) {
        const auto& span = spans[static_cast<size_t>(y)];
        if (span.first >= span.second)
            continue;
        if (!bands.empty() && bands.back().Bottom == y && bands.back().Left == span.first &&
            bands.back().Right == span.second) {
            bands.back().Bottom = y + 1;
            continue;
        }
        bands.push_back({span.first, y, span.second, y + 1});
    }
    const auto count = static_cast<int32_t>(bands.size());
    QByteArray data;
    PutInt32(data, 32);         // dwSize
    PutInt32(data, 1);          // iType = RDH_RECTANGLES
    PutInt32(data, count);      // nCount
    PutInt32(data, count * 16); // nRgnSize
    PutInt32(data, 0);          // rcBound
    PutInt32(data, 0);
    PutInt32(data, w);
    PutInt32(data, h);
    for (const TBand& band : bands) {
        PutInt32(data, band.Left);
        PutInt32(data, band.Top);
        PutInt32(data, band.Right);
        PutInt32(data, band.Bottom);
    }
    QByteArray file;
    PutInt32(file, static_cast<int32_t>(data.size()));
    return file + data;
}

/// A panel mask: MaskRows pairs of 16-bit little-endian bounds (left, right; both columns
/// inclusive), relative to the panel. A bound keeps every row MaskPadding pixels away from the
/// well's side and clear of the well's rounded inner edge at the top (and, when the panel ends
/// inside the table, at the bottom). Rows past the table are clipped like its last entry, so the
/// last entry is the plain side bound. A row that lies wholly outside the curve gets left > right.
QByteArray PanelMaskFile(int panelWidth, int panelHeight) {
    // PaintWell draws the fill inside a half-pixel-inset rounded rectangle with a 1-pixel frame;
    // a pixel is clean fill when its centre lies at most (radius - 1) from the corner centre. In
    // panel coordinates the fill's path runs 1.5 px above the panel and 0.5 px below it (the
    // light lip takes the well's last pixel row), and 1.5 px beside it.
    const double clean = WellRadius - 1;
    const double centreX = WellRadius - WellInset + 0.5;
    const double topCentreY = centreX;
    const double bottomCentreY = panelHeight + 0.5 - WellRadius;
    QByteArray out;
    for (int y = 0; y < MaskRows; ++y) {
        const int row = std::min(y, panelHeight - 1);
        const double cy = row + 0.5;
        double dy = 0;
        if (cy < topCentreY)
            dy = topCentreY - cy;
        else if (y < panelHeight && cy > bottomCentreY)
            dy = cy - bottomCentreY;
        int inset = MaskPadding;
        if (dy > clean) {
            inset = panelWidth; // the row lies outside the well's fill
        } else if (dy > 0) {
            const double firstCentre = centreX - std::sqrt(clean * clean - dy * dy);
            inset = std::max(inset, static_cast<int>(std::ceil(firstCentre - 0.5)));
        }
        // Past the panel's last row the table repeats the plain side bound.
        if (y >= panelHeight)
            inset = MaskPadding;
        PutUInt16(out, static_cast<uint16_t>(inset));
        PutUInt16(out, static_cast<uint16_t>(std::max(panelWidth - 1 - inset, 0)));
    }
    return out;
}

QFont UiFont(int pixelSize, QFont::Weight weight) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

/// A sunken rounded box: dark edge, fill and a light lower lip.
void PaintWell(QPainter& p, const QRect& r, const QColor& fill, const TSkinStyle& s, double radius) {
    const QRectF outer = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(s.WellLip);
    p.drawRoundedRect(outer.adjusted(0, 1, 0, 0), radius, radius);
    p.setBrush(fill);
    p.setPen(QPen(s.WellFrame, 1));
    p.drawRoundedRect(outer.adjusted(0, 0, 0, -1), radius, radius);
}

QImage PaintBackground(const TSkinStyle& s, const TSkinLayout& l) {
    QImage image(l.Width, l.Height, QImage::Format_RGB32);
    image.fill(s.Frame);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF whole(0, 0, l.Width, l.Height);
    const double radius = s.CornerRadius;
    QLinearGradient body(0, 0, 0, l.Height);
    body.setColorAt(0, s.WindowTop);
    body.setColorAt(0.12, s.WindowTop.darker(104));
    body.setColorAt(1, s.WindowBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(s.Frame);
    p.drawRoundedRect(whole, radius, radius);
    p.setBrush(body);
    p.drawRoundedRect(whole.adjusted(1, 1, -1, -1), std::max(0.0, radius - 1), std::max(0.0, radius - 1));
    // An inner highlight along the top and sides gives the frame some depth.
    p.setBrush(Qt::NoBrush);
    QLinearGradient shine(0, 0, 0, l.Height);
    QColor light = s.FrameLight;
    shine.setColorAt(0, light);
    light.setAlpha(40);
    shine.setColorAt(0.5, light);
    light.setAlpha(0);
    shine.setColorAt(1, light);
    p.setPen(QPen(QBrush(shine), 1));
    p.drawRoundedRect(whole.adjusted(1.5, 1.5, -1.5, -1.5), std::max(0.0, radius - 1.5),
                      std::max(0.0, radius - 1.5));

    // Title bar: a faint separator under it and the program's name beside the language badge.
    QColor separator = s.Frame;
    separator.setAlpha(110);
    p.setPen(QPen(separator, 1));
    p.drawLine(QPointF(Margin, l.TitleHeight + 0.5), QPointF(l.Width - Margin, l.TitleHeight + 0.5));
    QColor lip = s.FrameLight;
    lip.setAlpha(50);
    p.setPen(QPen(lip, 1));
    p.drawLine(QPointF(Margin, l.TitleHeight + 1.5), QPointF(l.Width - Margin, l.TitleHeight + 1.5));

    const int titleX = l.ImgMenu.right() + 12;
    const QRect titleBox(titleX, 0, 300, l.TitleHeight + 2);
    p.setFont(UiFont(16, QFont::Bold));
    p.setPen(s.Title);
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, "kSable");
    const int nameWidth = p.fontMetrics().horizontalAdvance("kSable");
    p.setFont(UiFont(11, QFont::Normal));
    p.setPen(s.TitleDim);
    p.drawText(titleBox.adjusted(nameWidth + 10, 2, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, "file manager");
    // A small accent mark under the name.
    p.setPen(Qt::NoPen);
    p.setBrush(s.Accent);
    p.drawRoundedRect(QRectF(titleX, l.TitleHeight - 9, 18, 2.5), 1.2, 1.2);

    // Wells: panels, their path and item lines, the command line.
    for (const QRect& r : {l.LeftPathLine, l.RightPathLine, l.LeftItemLine, l.RightItemLine})
        PaintWell(p, r, s.Strip, s, 4);
    PaintWell(p, l.InfoLine, s.Strip, s, 4);
    for (const QRect& panel : {l.LeftPanel, l.RightPanel}) {
        const QRect well = panel.adjusted(-WellInset, -WellInset, WellInset, WellInset);
        PaintWell(p, well, s.Well, s, 6);
        // A soft shade at the top of the well, as if it were recessed.
        QLinearGradient shade(0, well.top(), 0, well.top() + 14);
        QColor dark(0, 0, 0, 70);
        shade.setColorAt(0, dark);
        dark.setAlpha(0);
        shade.setColorAt(1, dark);
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawRoundedRect(QRectF(well).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    }
    p.end();
    return image;
}

enum class TButtonKind { Close, Mini, Menu };

/// A button picture: the background under the button with the glyph drawn on it, so the picture
/// blends into the skin; the mouse-over state gets a filled face.
QImage PaintButton(const QImage& back, const QRect& r, TButtonKind kind, bool hover, const TSkinStyle& s) {
    QImage image = back.copy(r);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(0, 0, r.width(), r.height()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (hover) {
        const QColor fill = kind == TButtonKind::Close ? s.CloseHover : s.ButtonHover;
        QLinearGradient g(0, 0, 0, r.height());
        g.setColorAt(0, fill.lighter(112));
        g.setColorAt(1, fill.darker(108));
        p.setPen(QPen(fill.darker(130), 1));
        p.setBrush(g);
        p.drawRoundedRect(face, 4, 4);
    } else {
        QColor edge = s.Glyph;
        edge.setAlpha(s.Shaped ? 46 : 70);
        QColor fill = s.Shaped ? QColor(255, 255, 255, 10) : QColor(255, 255, 255, 120);
        p.setPen(QPen(edge, 1));
        p.setBrush(fill);
        p.drawRoundedRect(face, 4, 4);
    }
    const QColor glyph = hover ? s.GlyphHover : s.Glyph;
    p.setPen(QPen(glyph, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c(r.width() / 2.0, r.height() / 2.0);
    switch (kind) {
    case TButtonKind::Close:
        p.drawLine(c + QPointF(-4, -4), c + QPointF(4, 4));
        p.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
        break;
    case TButtonKind::Mini:
        p.drawLine(c + QPointF(-4.5, 4), c + QPointF(4.5, 4));
        break;
    case TButtonKind::Menu:
        for (double dy : {-4.0, 0.0, 4.0})
            p.drawLine(c + QPointF(-5, dy), c + QPointF(5, dy));
        break;
    }
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

/// The language badge shown as ImgMenu ("EN" for English).
QImage PaintLanguageBadge(const QImage& back, const QRect& r, const QString& text, const TSkinStyle& s) {
    QImage image = back.copy(r);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF face = QRectF(0, 0, r.width(), r.height()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(0, 0, 0, r.height());
    g.setColorAt(0, s.Accent.lighter(115));
    g.setColorAt(1, s.Accent.darker(115));
    p.setPen(QPen(s.Accent.darker(150), 1));
    p.setBrush(g);
    p.drawRoundedRect(face, 4, 4);
    p.setFont(UiFont(11, QFont::Bold));
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(0, 0, r.width(), r.height()), Qt::AlignCenter, text);
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

/// The program icon: two panels side by side on a rounded tile.
QImage PaintIcon(const TSkinStyle& s) {
    constexpr int size = 32;
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(s.WindowBottom);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, QColor(70, 132, 214));
    g.setColorAt(1, QColor(36, 82, 160));
    p.setPen(QPen(QColor(24, 52, 104), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(236, 242, 250));
    p.drawRoundedRect(QRectF(5, 7, 10, 19), 2, 2);
    p.drawRoundedRect(QRectF(17, 7, 10, 19), 2, 2);
    p.setBrush(QColor(86, 150, 230));
    p.drawRect(QRectF(6, 13, 8, 3));
    p.setBrush(QColor(150, 160, 176));
    for (double y : {9.0, 18.0, 21.0})
        p.drawRect(QRectF(6, y, 7, 1.5));
    for (double y : {9.0, 12.0, 15.0, 18.0})
        p.drawRect(QRectF(18, y, 7, 1.5));
    p.end();
    return image;
}

QString Position(const QRect& r) {
    return QString("%1|%2|%3|%4").arg(r.left()).arg(r.top()).arg(r.width()).arg(r.height());
}

QString Colour(const QColor& c) {
    return QString("%1|%2|%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

QByteArray DataIni(const TSkinStyle& s, const TSkinLayout& l) {
    QStringList lines;
    lines << "[s_nfo]"
          << "sname=" + s.Name << "";
    lines << "[m_settings]" << QString("mwid=%1").arg(l.Width) << QString("mhei=%1").arg(l.Height)
          << "mcolor=" + Colour(s.WindowBottom) << "mitemheikoef=" + s.LineSpacing << "";
    lines << "[m_pos]";
    lines << "mlpanelnfo=" + Position(l.LeftPathLine) << "mlpanel=" + Position(l.LeftPanel)
          << "mlitemnfo=" + Position(l.LeftItemLine) << "mrpanelnfo=" + Position(l.RightPathLine)
          << "mrpanel=" + Position(l.RightPanel) << "mritemnfo=" + Position(l.RightItemLine)
          << "mnfoline=" + Position(l.InfoLine) << "mbtnClose=" + Position(l.BtnClose)
          << "mbtnMini=" + Position(l.BtnMini) << "mbtnMenu=" + Position(l.BtnMenu)
          << "mImgMenu=" + Position(l.ImgMenu);
    lines << "mlpanelnfoc=" + Colour(s.Strip) << "mlpanelc=" + Colour(s.Well)
          << "mlitemnfoc=" + Colour(s.Strip) << "mrpanelnfoc=" + Colour(s.Strip)
          << "mrpanelc=" + Colour(s.Well) << "mritemnfoc=" + Colour(s.Strip) << "mnfolinec=" + Colour(s.Strip)
          << "";
    // Font fields: colour, height (negative: character height in pixels), face, pitch, pixels per
    // inch, character set (1 = default), point size, bold/italic/underline/strike-out.
    lines << "[vis_settings]"
          << "panelfont=" + Colour(s.FontColour) + "|-12|DejaVu Sans|0|96|1|9|nnnn"
          << "itemcolalphacur=" + Colour(s.Cursor) << "itemcolupfolder=" + Colour(s.UpFolder)
          << "itemcolfolder=" + Colour(s.Folder) << "itemcolexe=" + Colour(s.Exe)
          << "itemcolother=" + Colour(s.Other) << "itemcolpacked=" + Colour(s.Packed);
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

bool SaveBmp(const QImage& image, const QString& path) {
    // Qt writes 32-bit RGB images as 24-bit BMPs without alpha.
    return image.convertToFormat(QImage::Format_RGB32).save(path, "BMP");
}

bool SaveJpeg(const QImage& image, const QString& path) {
    // Three colour components even for the grey mask, so a reader that wants RGB gets RGB.
    return image.convertToFormat(QImage::Format_RGB32).save(path, "JPG", 96);
}

bool WriteSkin(const QString& folder, const TSkinStyle& s) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return false;
    }
    const QDir dir(folder);
    const TSkinLayout l = MakeLayout(s);
    const QImage back = PaintBackground(s, l);
    bool ok = WriteFile(dir.filePath("data.ini"), DataIni(s, l));
    ok = ok && SaveBmp(back, dir.filePath("Back.bmp"));
    if (s.Shaped) {
        const auto spans = RoundedSpans(l.Width, l.Height, s.CornerRadius);
        ok = ok && WriteFile(dir.filePath("Back.msk"), RegionFile(l.Width, l.Height, spans));
    } else if (QFile::exists(dir.filePath("Back.msk"))) {
        ok = ok && QFile::remove(dir.filePath("Back.msk"));
    }
    const std::pair<TButtonKind, QString> buttons[] = {
        {TButtonKind::Close, "btnClose"}, {TButtonKind::Mini, "btnMini"}, {TButtonKind::Menu, "btnMenu"}};
    for (const auto& [kind, name] : buttons) {
        const QRect r = kind == TButtonKind::Close  ? l.BtnClose
                        : kind == TButtonKind::Mini ? l.BtnMini
                                                    : l.BtnMenu;
        ok = ok && SaveBmp(PaintButton(back, r, kind, false, s), dir.filePath(name + ".bmp"));
        ok = ok && SaveBmp(PaintButton(back, r, kind, true, s), dir.filePath(name + "2.bmp"));
    }
    if (s.PanelMasks) {
        ok =
            ok && WriteFile(dir.filePath("msk_lp"), PanelMaskFile(l.LeftPanel.width(), l.LeftPanel.height()));
        ok = ok &&
             WriteFile(dir.filePath("msk_rp"), PanelMaskFile(l.RightPanel.width(), l.RightPanel.height()));
    } else {
        for (const char* name : {"msk_lp", "msk_rp"})
            if (QFile::exists(dir.filePath(name)))
                ok = ok && QFile::remove(dir.filePath(name));
    }
    ok = ok && SaveBmp(PaintIcon(s), dir.filePath("icon.bmp"));
    ok = ok && SaveBmp(PaintLanguageBadge(back, l.ImgMenu, "EN", s), dir.filePath("ENGLISH.bmp"));
    if (!ok)
        std::fprintf(stderr, "cannot write the skin files in %s\n", qPrintable(folder));
    return ok;
}

bool WriteSplash(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return false;
    }
    constexpr int w = 480;
    constexpr int h = 240;
    constexpr double radius = 20;
    const TSkinStyle s = DarkStyle();
    const QRectF shape(0, 0, w, h);

    // The picture's background runs past the rounded shape, so the half-opaque edge pixels of
    // the mask blend the same colour and JPEG ringing at the edge stays invisible.
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(s.WindowBottom);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient body(0, 0, 0, h);
    body.setColorAt(0, QColor(44, 52, 66));
    body.setColorAt(1, QColor(22, 26, 33));
    p.fillRect(shape, body);
    QRadialGradient glow(QPointF(w * 0.3, h * 0.2), w * 0.7);
    glow.setColorAt(0, QColor(84, 146, 222, 70));
    glow.setColorAt(1, QColor(84, 146, 222, 0));
    p.fillRect(shape, glow);
    p.setPen(QPen(QColor(96, 108, 126), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(shape.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1.5, radius - 1.5);

    // Two panels as the emblem.
    const QRectF emblem(44, 70, 84, 84);
    p.setPen(Qt::NoPen);
    QLinearGradient tile(0, emblem.top(), 0, emblem.bottom());
    tile.setColorAt(0, QColor(78, 140, 222));
    tile.setColorAt(1, QColor(38, 86, 166));
    p.setBrush(tile);
    p.drawRoundedRect(emblem, 16, 16);
    p.setBrush(QColor(236, 242, 250));
    p.drawRoundedRect(QRectF(emblem.left() + 13, emblem.top() + 17, 26, 52), 4, 4);
    p.drawRoundedRect(QRectF(emblem.left() + 45, emblem.top() + 17, 26, 52), 4, 4);
    p.setBrush(QColor(150, 160, 176));
    for (double y : {24.0, 32.0, 48.0, 56.0})
        p.drawRoundedRect(QRectF(emblem.left() + 17, emblem.top() + y, 16, 3), 1.5, 1.5);
    for (double y : {24.0, 32.0, 40.0, 48.0})
        p.drawRoundedRect(QRectF(emblem.left() + 49, emblem.top() + y, 16, 3), 1.5, 1.5);
    p.setBrush(QColor(86, 150, 230));
    p.drawRoundedRect(QRectF(emblem.left() + 15, emblem.top() + 39, 22, 6), 2, 2);

    p.setPen(QColor(236, 240, 246));
    p.setFont(UiFont(52, QFont::Bold));
    p.drawText(QRectF(152, 62, 300, 66), Qt::AlignLeft | Qt::AlignVCenter, "kSable");
    p.setPen(QColor(150, 162, 180));
    p.setFont(UiFont(15, QFont::Normal));
    p.drawText(QRectF(156, 128, 300, 24), Qt::AlignLeft | Qt::AlignVCenter, "two-panel file manager");
    p.setPen(Qt::NoPen);
    p.setBrush(s.Accent);
    p.drawRoundedRect(QRectF(156, 160, 44, 3), 1.5, 1.5);
    p.end();

    QImage mask(w, h, QImage::Format_RGB32);
    mask.fill(Qt::black);
    QPainter m(&mask);
    m.setRenderHint(QPainter::Antialiasing);
    m.setPen(Qt::NoPen);
    m.setBrush(Qt::white);
    m.drawRoundedRect(shape, radius, radius);
    m.end();

    const QDir dir(folder);
    const bool ok =
        SaveJpeg(picture, dir.filePath("sablesp.jpg")) && SaveJpeg(mask, dir.filePath("sablespm.jpg"));
    if (!ok)
        std::fprintf(stderr, "cannot write the splash pictures in %s\n", qPrintable(folder));
    return ok;
}

int Usage() {
    std::fprintf(stderr, "usage: ksable-skingen [--rect] SKIN_FOLDER\n"
                         "       ksable-skingen --splash PROGRAM_FOLDER\n"
                         "       ksable-skingen --all DATA_FOLDER\n");
    return 2;
}

} // namespace
} // namespace ks

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && !args[0].startsWith("--"))
        return ks::WriteSkin(args[0], ks::DarkStyle()) ? 0 : 1;
    if (args.size() != 2 || args[1].startsWith("--"))
        return ks::Usage();
    const QString& folder = args[1];
    if (args[0] == "--rect")
        return ks::WriteSkin(folder, ks::ClassicStyle()) ? 0 : 1;
    if (args[0] == "--splash")
        return ks::WriteSplash(folder) ? 0 : 1;
    if (args[0] == "--all") {
        const QDir data(folder);
        const bool ok = ks::WriteSkin(data.filePath("skins/default"), ks::DarkStyle()) &&
                        ks::WriteSkin(data.filePath("skins/classic"), ks::ClassicStyle()) &&
                        ks::WriteSplash(folder);
        return ok ? 0 : 1;
    }
    return ks::Usage();
}
