#include "archive/ArchiveNames.h"

#include <cstdint>

namespace ks {

namespace {

// The characters of bytes 0x80..0xFF in code page 437; the lower half is ASCII.
constexpr char16_t Cp437Upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at text[pos] (its character in c), or 0 when
// the bytes there are no such sequence: a stray continuation byte, a cut sequence, an overlong
// form, a surrogate or a value above U+10FFFF.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - pos < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

std::string Cp437ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const auto value = static_cast<unsigned char>(b);
        if (value < 0x80)
            out += b;
        else
            AppendUtf8(out, Cp437Upper[value - 0x80]);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    char32_t c = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = DecodeUtf8(text, pos, c);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

namespace {

// Most names are plain ASCII paths with nothing to repair: they are shown as they are, which
// keeps opening an archive of a hundred thousand entries as fast as listing it.
bool NeedsNoRepair(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.back() == '/')
        return false;
    std::size_t partStart = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/') {
            const std::string_view part = name.substr(partStart, i - partStart);
            if (part.empty() || part == "." || part == "..")
                return false;
            partStart = i + 1;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c >= 0x7f)
            return false;
    }
    return true;
}

} // namespace

std::string ArchiveDisplayName(std::string_view utf8Name) {
    if (NeedsNoRepair(utf8Name))
        return std::string(utf8Name);
    std::string out;
    out.reserve(utf8Name.size());
    std::string part;
    const auto flush = [&] {
        if (part.empty() || part == ".")
            return;
        if (!out.empty())
            out += '/';
        // ".." shown as the two-dot leader, so the text can never name a parent folder.
        out += part == ".." ? std::string_view("\xE2\x80\xA5") : std::string_view(part);
    };
    char32_t c = 0;
    for (std::size_t pos = 0; pos < utf8Name.size();) {
        if (utf8Name[pos] == '/') {
            flush();
            part.clear();
            ++pos;
            continue;
        }
        const std::size_t length = DecodeUtf8(utf8Name, pos, c);
        if (length == 0) {
            // Each byte that starts no well-formed character stands for one replacement.
            AppendUtf8(part, Replacement);
            ++pos;
            continue;
        }
        if (IsControl(c))
            AppendUtf8(part, Replacement);
        else
            part.append(utf8Name.substr(pos, length));
        pos += length;
    }
    flush();
    return out;
}

} // namespace ks
