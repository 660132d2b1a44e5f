#include "foundation/DELTA9.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace ks {

namespace {

char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Positions are ints because -1 is the "not there" answer; the texts handled here stay far
// below INT_MAX characters.
int ToPosition(std::size_t index) {
    return static_cast<int>(index) + 1;
}

// Splits at the last dot: the name part and the extension part (empty without a dot).
std::pair<std::string_view, std::string_view> SplitAtLastDot(std::string_view s) {
    const std::size_t dot = s.rfind('.');
    if (dot == std::string_view::npos)
        return {s, {}};
    return {s.substr(0, dot), s.substr(dot + 1)};
}

// Expands one part of a mask against the same part of a name. Mask and name positions run in
// step: "?" takes the name's character at that position (nothing past its end), "*" takes the
// rest of the name from there and ends the part, "#" (when hashIsDigit) takes the name's
// character when it is a digit, and every other character is taken as it is.
std::string ExpandMaskPart(std::string_view maskPart, std::string_view namePart, bool hashIsDigit) {
    std::string result;
    for (std::size_t i = 0; i < maskPart.size(); ++i) {
        const char c = maskPart[i];
        if (c == '*') {
            if (i < namePart.size())
                result.append(namePart.substr(i));
            break;
        }
        if (c == '?') {
            if (i < namePart.size())
                result += namePart[i];
            continue;
        }
        if (c == '#' && hashIsDigit && i < namePart.size() && IsDigit(namePart[i])) {
            result += namePart[i];
            continue;
        }
        result += c;
    }
    return result;
}

// Whether ExpandMaskPart(maskPart, namePart, hashIsDigit) gives namePart again, ignoring ASCII
// case, without building the expansion: every character the expansion takes must be the name's
// character at the same place of the result. Masks are tested against every name of a searched
// tree, so this allocates nothing.
bool PartMatches(std::string_view maskPart, std::string_view namePart, bool hashIsDigit) {
    const std::size_t size = namePart.size();
    std::size_t taken = 0;
    const auto take = [&](char c) {
        if (taken >= size || UpperChar(namePart[taken]) != UpperChar(c))
            return false;
        ++taken;
        return true;
    };
    for (std::size_t i = 0; i < maskPart.size(); ++i) {
        const char c = maskPart[i];
        if (c == '*')
            return i < size ? taken == i : taken == size;
        if (c == '?') {
            if (i < size && !take(namePart[i]))
                return false;
            continue;
        }
        if (c == '#' && hashIsDigit && i < size && IsDigit(namePart[i])) {
            if (!take(namePart[i]))
                return false;
            continue;
        }
        if (!take(c))
            return false;
    }
    return taken == size;
}

// The extension of a name as ExtractExt gives it, without a copy.
std::string_view ExtView(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos && slash > dot)
        return {};
    return name.substr(dot + 1);
}

std::string UpperExt(std::string_view name) {
    return UpperCase(ExtractExt(name));
}

// "X" followed by two digits: the numbered volumes of a multi-part archive.
bool IsVolumeExt(std::string_view ext, char first) {
    return ext.size() == 3 && ext[0] == first && IsDigit(ext[1]) && IsDigit(ext[2]);
}

int ClampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int ClampToInt(double value) {
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp<double>(value, INT_MIN, INT_MAX));
}

} // namespace

std::string UpperCase(std::string_view s) {
    std::string result(s);
    std::transform(result.begin(), result.end(), result.begin(), UpperChar);
    return result;
}

std::string LowerCase(std::string_view s) {
    std::string result(s);
    std::transform(result.begin(), result.end(), result.begin(), LowerChar);
    return result;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerChar(x) == LowerChar(y); });
}

int CharPos(char c, std::string_view s) {
    const std::size_t at = s.find(c);
    return at == std::string_view::npos ? -1 : ToPosition(at);
}

int LastCharPos(char c, std::string_view s) {
    const std::size_t at = s.rfind(c);
    return at == std::string_view::npos ? -1 : ToPosition(at);
}

std::string TextBefore(std::string_view s, char c) {
    return std::string(s.substr(0, s.find(c)));
}

std::string LeftPart(std::string_view s, int count) {
    if (count <= 0)
        return {};
    return std::string(s.substr(0, static_cast<std::size_t>(count)));
}

std::string RightPart(std::string_view s, int count) {
    if (count <= 0)
        return {};
    const std::size_t n = std::min(s.size(), static_cast<std::size_t>(count));
    return std::string(s.substr(s.size() - n));
}

std::string InsertText(std::string_view s, int pos, std::string_view text) {
    const std::size_t at = pos <= 1 ? 0 : std::min(s.size(), static_cast<std::size_t>(pos - 1));
    std::string result(s.substr(0, at));
    result.append(text);
    result.append(s.substr(at));
    return result;
}

std::string DeleteText(std::string_view s, int pos, int count) {
    if (pos < 1 || static_cast<std::size_t>(pos) > s.size() || count <= 0)
        return std::string(s);
    std::string result(s);
    result.erase(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(count));
    return result;
}

std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replacement,
                       bool caseSensitive) {
    if (find.empty())
        return std::string(s);
    // Searching a lower-case copy keeps the positions of the original, whose untouched parts
    // keep their case.
    const std::string haystack = caseSensitive ? std::string(s) : LowerCase(s);
    const std::string needle = caseSensitive ? std::string(find) : LowerCase(find);
    std::string result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = haystack.find(needle, from);
        if (at == std::string::npos)
            break;
        result.append(s.substr(from, at - from));
        result.append(replacement);
        from = at + needle.size();
    }
    result.append(s.substr(from));
    return result;
}

int FieldCount(std::string_view s, char sep) {
    if (s.empty())
        return 0;
    return static_cast<int>(std::count(s.begin(), s.end(), sep)) + 1;
}

std::string GetField(std::string_view s, char sep, int index) {
    if (index < 0)
        return {};
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t next = s.find(sep, start);
        if (next == std::string_view::npos)
            return {};
        start = next + 1;
    }
    const std::size_t end = s.find(sep, start);
    return std::string(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string NextToken(std::string_view separators, std::string& s) {
    const std::size_t start = s.find_first_not_of(separators);
    if (start == std::string::npos) {
        s.clear();
        return {};
    }
    const std::size_t end = s.find_first_of(separators, start);
    std::string token = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
    s.erase(0, end == std::string::npos ? s.size() : end);
    return token;
}

std::string FontToString(const TFontSpec& font) {
    std::string result = ColorToString(font.Color);
    result += '|' + std::to_string(font.Height) + '|' + font.Name + '|' + std::to_string(font.Pitch) + '|' +
              std::to_string(font.PixelsPerInch) + '|' + std::to_string(font.Charset) + '|' +
              std::to_string(font.Size) + '|';
    for (const bool flag : {font.Bold, font.Italic, font.Underline, font.StrikeOut})
        result += flag ? 'y' : 'n';
    return result;
}

Result<void> StringToFont(std::string_view s, TFontSpec& font) {
    if (s.empty())
        return {};
    std::string rest(s);
    const auto number = [&rest](int& value) {
        const std::string token = NextToken("|", rest);
        return TryStrToInt(token, value);
    };
    int red = 0, green = 0, blue = 0;
    TFontSpec result = font;
    // Fields are taken one after the other, so a missing one shows as the next one failing to
    // convert; the caller's font stays as it was.
    if (!number(red) || !number(green) || !number(blue) || !number(result.Height))
        return TError{TErrorCode::ecParse, 0, {}, "font string: bad number in \"" + std::string(s) + "\""};
    result.Color = MakeColor(red, green, blue);
    result.Name = NextToken("|", rest);
    if (!number(result.Pitch) || !number(result.PixelsPerInch) || !number(result.Charset) ||
        !number(result.Size))
        return TError{TErrorCode::ecParse, 0, {}, "font string: bad number in \"" + std::string(s) + "\""};
    // The style letters follow the separator that ends the ninth field.
    const auto style = [&rest](std::size_t i) { return rest.size() > i + 1 && rest[i + 1] == 'y'; };
    result.Bold = style(0);
    result.Italic = style(1);
    result.Underline = style(2);
    result.StrikeOut = style(3);
    font = std::move(result);
    return {};
}

std::string ColorToString(TColorRef c) {
    return std::to_string(RedOf(c)) + '|' + std::to_string(GreenOf(c)) + '|' + std::to_string(BlueOf(c));
}

TColorRef StringToColor(std::string_view s, TColorRef fallback) {
    const std::size_t first = s.find('|');
    if (first == std::string_view::npos)
        return fallback;
    const std::size_t second = s.find('|', first + 1);
    if (second == std::string_view::npos)
        return fallback;
    int red = 0, green = 0, blue = 0;
    if (!TryStrToInt(s.substr(0, first), red) ||
        !TryStrToInt(s.substr(first + 1, second - first - 1), green) ||
        !TryStrToInt(s.substr(second + 1), blue))
        return fallback;
    return MakeColor(red, green, blue);
}

TColorRef BlendColors(TColorRef c1, TColorRef c2, int weight) {
    const int w = std::clamp(weight, 0, 255);
    const auto mix = [w](int a, int b) { return (a * w + b * (255 - w) + 127) / 255; };
    return MakeColor(mix(RedOf(c1), RedOf(c2)), mix(GreenOf(c1), GreenOf(c2)), mix(BlueOf(c1), BlueOf(c2)));
}

TColorRef DarkenColor(TColorRef c, double factor) {
    if (!(factor > 0))
        return c;
    const auto part = [factor](int v) {
        return static_cast<int>(std::min(255.0, std::nearbyint(static_cast<double>(v) / factor)));
    };
    return MakeColor(part(RedOf(c)), part(GreenOf(c)), part(BlueOf(c)));
}

std::string BoolToString(bool value) {
    return value ? "1" : "0";
}

std::string FormatSize(bool useUnits, std::int64_t bytes) {
    const bool negative = bytes < 0;
    // The magnitude as unsigned, so the most negative count has one too.
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    const char* unit = " B";
    if (useUnits && !negative) {
        if (magnitude < 51200) {
            unit = " B";
        } else if (magnitude < 9437184) {
            magnitude >>= 10;
            unit = " kB";
        } else if (magnitude <= 9663676415ULL) {
            magnitude >>= 20;
            unit = " MB";
        } else {
            magnitude >>= 30;
            unit = " GB";
        }
    }
    std::string text = std::to_string(magnitude);
    // Each space goes in at a fixed distance from the end, measured after the previous one was
    // inserted; there are never more than three.
    if (text.size() > 3)
        text.insert(text.size() - 3, 1, ' ');
    if (text.size() > 7)
        text.insert(text.size() - 7, 1, ' ');
    if (text.size() > 11)
        text.insert(text.size() - 11, 1, ' ');
    return (negative ? "-" : "") + text + unit;
}

std::string AttrToString(std::uint32_t attr) {
    std::string result;
    if (attr & 1)
        result += "ROn ";
    if (attr & 2)
        result += "Hid ";
    if (attr & 4)
        result += "Sys ";
    if (attr & 32)
        result += "Arc ";
    return result;
}

std::string AddBackslash(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != '/')
        result += '/';
    return result;
}

std::string RemoveTrailingSeparator(std::string_view path) {
    if (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

std::string LastPathPart(std::string_view path) {
    const std::string trimmed = RemoveTrailingSeparator(path);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string ExtractExt(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    // A dot in a folder name is no extension.
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos && slash > dot)
        return {};
    return std::string(name.substr(dot + 1));
}

std::string ExtractNameNoExt(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::string(name);
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos && slash > dot)
        return std::string(name);
    return std::string(name.substr(0, dot));
}

bool IsExecutableName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "EXE" || ext == "COM" || ext == "BAT" || ext == "SH";
}

const std::vector<std::string>& ArchiveMaskList() {
    static const std::vector<std::string> masks = {"ACE;C##", "ARJ;A##", "CAB",    "LHA;LZH",
                                                   "KPL",     "RAR;R##", "ZIP;Z##"};
    return masks;
}

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
    if (name.size() <= ending.size())
        return false;
    const std::string_view tail = name.substr(name.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (UpperChar(tail[i]) != UpperChar(ending[i]))
            return false;
    return true;
}

} // namespace

bool IsTarName(std::string_view name) {
    for (std::string_view ending :
         {".tar", ".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tar.xz", ".txz", ".tar.zst", ".tzst"})
        if (EndsWithNoCase(name, ending))
            return true;
    return false;
}

bool Is7zName(std::string_view name) {
    return EndsWithNoCase(name, ".7z");
}

bool IsIsoName(std::string_view name) {
    return EndsWithNoCase(name, ".iso");
}

bool IsDebName(std::string_view name) {
    return EndsWithNoCase(name, ".deb");
}

bool IsArchiveName(std::string_view name) {
    if (IsTarName(name) || Is7zName(name) || IsIsoName(name) || IsDebName(name))
        return true;
    // Every listed file is tested: no copies of the extension or of the masks.
    const std::string_view ext = ExtView(name);
    for (const std::string& entry : ArchiveMaskList()) {
        std::string_view rest = entry;
        for (;;) {
            const std::size_t semicolon = rest.find(';');
            const std::string_view mask = rest.substr(0, semicolon);
            // A mask that starts with a letter or a digit matches only extensions that start
            // with it.
            const char first = mask.empty() ? '?' : UpperChar(mask[0]);
            const bool literal = IsDigit(first) || (first >= 'A' && first <= 'Z');
            const bool firstFits = !literal || (!ext.empty() && UpperChar(ext[0]) == first);
            if (firstFits && MatchMask(ext, mask))
                return true;
            if (semicolon == std::string_view::npos)
                break;
            rest.remove_prefix(semicolon + 1);
        }
    }
    return false;
}

bool IsAceName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "ACE" || IsVolumeExt(ext, 'C');
}

bool IsArjName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "ARJ" || IsVolumeExt(ext, 'A');
}

bool IsCabName(std::string_view name) {
    return UpperExt(name) == "CAB";
}

bool IsLzhName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "LZH" || ext == "LHA";
}

bool IsKplName(std::string_view name) {
    return UpperExt(name) == "KPL";
}

bool IsRarName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "RAR" || IsVolumeExt(ext, 'R');
}

bool IsZipName(std::string_view name) {
    const std::string ext = UpperExt(name);
    return ext == "ZIP" || IsVolumeExt(ext, 'Z');
}

bool MatchMask(std::string_view name, std::string_view mask) {
    const auto [nameBase, nameExt] = SplitAtLastDot(name);
    const auto [maskBase, maskExt] = SplitAtLastDot(mask);
    return PartMatches(maskBase, nameBase, true) && PartMatches(maskExt, nameExt, false);
}

std::string ApplyRenameMask(std::string_view source, std::string_view mask) {
    const auto [sourceBase, sourceExt] = SplitAtLastDot(source);
    const auto [maskBase, maskExt] = SplitAtLastDot(mask);
    std::string result = ExpandMaskPart(maskBase, sourceBase, false);
    if (maskExt.empty())
        return result;
    const std::string ext = ExpandMaskPart(maskExt, sourceExt, false);
    // "*.*" must leave a name without a dot as it is: a trailing dot is part of a name here, so
    // "Makefile" would otherwise become "Makefile.".
    if (!ext.empty() || source.find('.') != std::string_view::npos)
        result += '.' + ext;
    return result;
}

int RectWidth(const TRect& r) {
    return ClampToInt(std::llabs(static_cast<long long>(r.Right) - r.Left) + 1);
}

int RectHeight(const TRect& r) {
    return ClampToInt(std::llabs(static_cast<long long>(r.Bottom) - r.Top) + 1);
}

TRect CenterRect(const TRect& inner, const TRect& outer) {
    const long long width = RectWidth(inner);
    const long long height = RectHeight(inner);
    const long long left = outer.Left + (RectWidth(outer) - width) / 2;
    const long long top = outer.Top + (RectHeight(outer) - height) / 2;
    return {ClampToInt(left), ClampToInt(top), ClampToInt(left + width - 1), ClampToInt(top + height - 1)};
}

TRect FitRect(const TRect& inner, const TRect& outer) {
    const double width = RectWidth(inner);
    const double height = RectHeight(inner);
    const double ratio = std::min(RectWidth(outer) / width, RectHeight(outer) / height);
    TRect result;
    result.Left = outer.Left;
    result.Top = outer.Top;
    // Halves round to even here, as the image preview always has.
    result.Right = ClampToInt(std::nearbyint(width * ratio + result.Left - 1) - 1);
    result.Bottom = ClampToInt(std::nearbyint(height * ratio + result.Top - 1) - 1);
    return result;
}

TRect OffsetRect(const TRect& r, int dx, int dy) {
    return {ClampToInt(static_cast<long long>(r.Left) + dx), ClampToInt(static_cast<long long>(r.Top) + dy),
            ClampToInt(static_cast<long long>(r.Right) + dx),
            ClampToInt(static_cast<long long>(r.Bottom) + dy)};
}

int MinOfArray(std::span<const int> values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

int MaxOfArray(std::span<const int> values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

int SmallerOf(int a, int b) {
    return a < b ? a : b;
}

TFrame3D DrawFrame3D(const TRect& rect, TColorRef colorA, int style, TColorRef colorB) {
    TFrame3D frame;
    if (style == 4)
        return frame;
    TColorRef topLeft = colorB;
    TColorRef bottomRight = colorB;
    if (style == 1) {
        bottomRight = colorA;
    } else if (style == 2) {
        topLeft = colorA;
        bottomRight = colorA;
    } else if (style == 3) {
        topLeft = colorA;
    }
    const int l = rect.Left, t = rect.Top, r = rect.Right, b = rect.Bottom;
    frame.Edges = {
        {l, t, l, b, topLeft}, {l, t, r, t, topLeft}, {r, t, r, b, bottomRight}, {l, b, r, b, bottomRight}};
    return frame;
}

TFrame3D DrawFrame3D(const TRect& rect, TColorRef colorA, int style, TColorRef colorB, TColorRef background) {
    TFrame3D frame = DrawFrame3D(rect, colorA, style, colorB);
    frame.Fill = background;
    return frame;
}

bool TryStrToInt(std::string_view text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result < INT_MIN || result > INT_MAX)
        return false;
    value = static_cast<int>(result);
    return true;
}

} // namespace ks
