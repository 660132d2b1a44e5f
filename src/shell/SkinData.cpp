#include "shell/SkinData.h"

#include "foundation/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

#include "foundation/Language.h"

namespace ks {

const std::array<std::string_view, SkinPartCount> SkinPositionKeys = {
    "mlpanelnfo", "mlpanel",   "mlitemnfo", "mrpanelnfo", "mrpanel",  "mritemnfo",
    "mnfoline",   "mbtnClose", "mbtnMini",  "mbtnMenu",   "mImgMenu",
};

const std::array<std::string_view, SkinDisplayPartCount> SkinColorKeys = {
    "mlpanelnfoc", "mlpanelc", "mlitemnfoc", "mrpanelnfoc", "mrpanelc", "mritemnfoc", "mnfolinec",
};

namespace {

constexpr std::string_view InfoSection = "s_nfo";
constexpr std::string_view MainSection = "m_settings";
constexpr std::string_view PositionSection = "m_pos";
constexpr std::string_view DesignerSection = "vis_settings";
constexpr std::string_view UserSection = "user";
constexpr std::string_view FontKey = "panelfont";

// The largest main window side a skin may ask for; anything beyond is a damaged value.
constexpr int MaxSkinSide = 32767;
// Row height factors outside this range would make panel rows vanish or overflow.
constexpr double MinLineSpacing = 0.1;
constexpr double MaxLineSpacing = 10.0;

struct TColourKey {
    std::string_view Key;
    TColorRef TPanelColours::*Member;
};
constexpr std::array<TColourKey, 6> PanelColourKeys = {{
    {"itemcolalphacur", &TPanelColours::Cursor},
    {"itemcolupfolder", &TPanelColours::UpFolder},
    {"itemcolfolder", &TPanelColours::Folder},
    {"itemcolexe", &TPanelColours::Exe},
    {"itemcolother", &TPanelColours::Other},
    {"itemcolpacked", &TPanelColours::Packed},
}};

int ReadSide(const TIniFile& ini, std::string_view key, int fallback) {
    int value = 0;
    if (!TryStrToInt(ini.ReadString(MainSection, key, ""), value) || value < 1 || value > MaxSkinSide)
        return fallback;
    return value;
}

// The factor is written with "." whatever the user's locale says, so it is read without the
// locale: from_chars always takes ".".
double ParseLineSpacing(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < MinLineSpacing || value > MaxLineSpacing)
        return 1.0;
    return value;
}

std::uint32_t ReadU32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

std::int32_t ReadI32(std::string_view bytes, std::size_t at) {
    return static_cast<std::int32_t>(ReadU32(bytes, at));
}

TError ShapeError(std::string detail) {
    TError error;
    error.Code = TErrorCode::ecParse;
    error.Detail = "window shape: " + std::move(detail);
    return error;
}

} // namespace

TSkinRect TSkinPosition::ApplyTo(TSkinRect current) const {
    if (Fields > 0)
        current.Left = Rect.Left;
    if (Fields > 1)
        current.Top = Rect.Top;
    if (Fields > 2)
        current.Width = Rect.Width;
    if (Fields > 3)
        current.Height = Rect.Height;
    return current;
}

TSkinPosition ParseSkinPosition(std::string_view text) {
    TSkinPosition position;
    position.Fields = 0;
    int* const fields[] = {&position.Rect.Left, &position.Rect.Top, &position.Rect.Width,
                           &position.Rect.Height};
    for (int i = 0; i < 4; ++i) {
        if (!TryStrToInt(GetField(text, '|', i), *fields[i]))
            break;
        position.Fields = i + 1;
    }
    return position;
}

TPanelColours ReadPanelColours(const TIniFile& ini, std::string_view section, const TPanelColours& current) {
    TPanelColours colours = current;
    for (const TColourKey& key : PanelColourKeys)
        colours.*key.Member = StringToColor(ini.ReadString(section, key.Key, ""), current.*key.Member);
    return colours;
}

TPanelMaskData ParsePanelMask(std::string_view bytes) {
    TPanelMaskData mask;
    mask.Loaded = true;
    std::array<unsigned char, PanelMaskBytes> raw{};
    const std::size_t count = std::min(bytes.size(), raw.size());
    std::copy_n(bytes.begin(), count, raw.begin());
    for (std::size_t i = 0; i < PanelMaskEntries; ++i) {
        mask.Entries[i].Left = static_cast<std::uint16_t>(raw[4 * i] | (raw[4 * i + 1] << 8));
        mask.Entries[i].Right = static_cast<std::uint16_t>(raw[4 * i + 2] | (raw[4 * i + 3] << 8));
    }
    return mask;
}

TPanelMaskData LoadPanelMask(const std::string& skinPath, std::string_view name) {
    if (skinPath.empty())
        return {};
    const std::optional<std::string> bytes =
        ReadFileStart(FindFileNoCase(AddBackslash(skinPath), name), PanelMaskBytes);
    if (!bytes)
        return {};
    return ParsePanelMask(*bytes);
}

Result<TWindowShape> ParseWindowShape(std::string_view bytes) {
    constexpr std::size_t HeaderSize = 32;
    constexpr std::size_t RectSize = 16;
    constexpr std::uint32_t RectanglesType = 1;
    if (bytes.size() < 4)
        return ShapeError("no byte count");
    const std::uint32_t length = ReadU32(bytes, 0);
    if (length == 0)
        return TWindowShape{};
    const std::string_view region = bytes.substr(4);
    if (length > region.size())
        return ShapeError("byte count " + std::to_string(length) + " beyond the " +
                          std::to_string(region.size()) + " bytes there");
    if (length < HeaderSize)
        return ShapeError("region data shorter than its header");
    if (ReadU32(region, 0) != HeaderSize || ReadU32(region, 4) != RectanglesType)
        return ShapeError("not a rectangle region");
    const std::uint32_t count = ReadU32(region, 8);
    if (count > (length - HeaderSize) / RectSize)
        return ShapeError(std::to_string(count) + " rectangles do not fit " + std::to_string(length) +
                          " bytes");
    TWindowShape shape;
    shape.HasShape = true;
    shape.Rects.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = HeaderSize + i * RectSize;
        const TShapeRect rect{ReadI32(region, at), ReadI32(region, at + 4), ReadI32(region, at + 8),
                              ReadI32(region, at + 12)};
        if (rect.Right > rect.Left && rect.Bottom > rect.Top)
            shape.Rects.push_back(rect);
    }
    return shape;
}

Result<TWindowShape> LoadWindowShape(const std::string& skinPath) {
    if (skinPath.empty())
        return TWindowShape{};
    const std::string path = FindFileNoCase(AddBackslash(skinPath), SkinShapeFileName);
    // Nothing there, or a symlink leading nowhere: the skin has no shape.
    const Result<TDirEntry> entry = FileSystem().Stat(path);
    if (entry ? !Resolves(*entry) : entry.error().Errno == ENOENT)
        return TWindowShape{};
    const std::optional<std::string> bytes = ReadFileStart(path, MaxSkinShapeFileSize);
    if (!bytes)
        return ErrnoError(path, EIO, "window shape: file cannot be read");
    Result<TWindowShape> shape = ParseWindowShape(*bytes);
    if (!shape) {
        TError error = shape.error();
        error.Path = path;
        return error;
    }
    return shape;
}

TSkinData ParseSkinSettings(const TIniFile& ini, const TPanelColours& currentColours,
                            const TFontSpec& currentFont) {
    TSkinData data;
    data.Name = ini.ReadString(InfoSection, "sname", "");
    data.MainWidth = ReadSide(ini, "mwid", DefaultSkinWidth);
    data.MainHeight = ReadSide(ini, "mhei", DefaultSkinHeight);
    data.MainColor = StringToColor(ini.ReadString(MainSection, "mcolor", ""), 0);
    data.PanelLineSpacing = ParseLineSpacing(ini.ReadString(MainSection, "mitemheikoef", "1"));
    for (std::size_t i = 0; i < SkinPartCount; ++i)
        data.Positions[i] =
            ParseSkinPosition(ini.ReadString(PositionSection, SkinPositionKeys[i], "0|0|0|0"));
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i)
        data.PartColors[i] = StringToColor(ini.ReadString(PositionSection, SkinColorKeys[i], "0|0|0"), 0);

    // The designer's font and colours first, then the user's own choices over them.
    const std::string designerFont = ini.ReadString(DesignerSection, FontKey, DefaultSkinFont);
    data.Colours = ReadPanelColours(ini, DesignerSection, currentColours);
    data.FontString = ini.ReadString(UserSection, FontKey, designerFont);
    data.Colours = ReadPanelColours(ini, UserSection, data.Colours);

    data.Font = currentFont;
    Result<void> font = StringToFont(data.FontString, data.Font);
    if (!font) {
        data.FontFailed = true;
        data.Status = font.error();
    }
    return data;
}

TSkinData LoadSkinSettings(const std::string& skinPath, const TPanelColours& currentColours,
                           const TFontSpec& currentFont) {
    const std::string folder = AddBackslash(skinPath);
    TIniFile ini;
    Result<void> loaded;
    if (!folder.empty())
        loaded = ini.Load(FindFileNoCase(folder, SkinDataFileName));
    TSkinData data = ParseSkinSettings(ini, currentColours, currentFont);
    if (!loaded)
        data.Status = loaded;
    data.LeftMask = LoadPanelMask(folder, LeftPanelMaskFileName);
    data.RightMask = LoadPanelMask(folder, RightPanelMaskFileName);
    return data;
}

Result<void> SaveSkin(const std::string& skinPath, const TSkinSaveData& data) {
    const std::string folder = AddBackslash(skinPath);
    if (folder.empty())
        return TError{TErrorCode::ecNotFound, 0, skinPath, "no skin folder"};
    const std::string path = FindFileNoCase(folder, SkinDataFileName);
    TIniFile ini;
    if (Result<void> loaded = ini.Load(path); !loaded)
        return loaded;
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i) {
        const TSkinRect& r = data.Positions[i];
        ini.WriteString(PositionSection, SkinPositionKeys[i],
                        std::to_string(r.Left) + "|" + std::to_string(r.Top) + "|" + std::to_string(r.Width) +
                            "|" + std::to_string(r.Height));
    }
    ini.WriteString(UserSection, FontKey, FontToString(data.Font));
    for (const TColourKey& key : PanelColourKeys)
        ini.WriteString(UserSection, key.Key, ColorToString(data.Colours.*key.Member));
    return ini.Save(path);
}

} // namespace ks
