#include "archive/RarNames.h"

#include <algorithm>

#include "archive/ArchiveNames.h"
#include "foundation/FileSystem.h"

namespace ks::rar {

namespace {

// Bounds a RAR 4 Unicode name: no name of a real archive comes near it.
constexpr std::size_t MaxNameUnits = 64 * 1024;
constexpr std::uint32_t AttrReadOnly = 0x01;
constexpr std::uint32_t AttrFolder = 0x10;

} // namespace

// Windows FILETIME (100 ns steps since 1601) to seconds since 1970.
std::int64_t FileTimeToUnix(std::uint64_t fileTime) {
    return static_cast<std::int64_t>(fileTime / 10000000u) - 11644473600LL;
}

// The attribute bits of a Unix mode: folder and, without any write bit, read-only.
std::uint32_t AttrOfMode(std::uint64_t mode) {
    std::uint32_t attr = 0;
    if ((mode & ModeTypeMask) == ModeFolder)
        attr |= AttrFolder;
    if ((mode & 0222) == 0)
        attr |= AttrReadOnly;
    return attr;
}

static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
static std::string Utf16ToUtf8(const std::u16string& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// The Unicode form of a RAR 4 name: the bytes after the zero that ends its 8-bit form. The first
// byte is the high byte most characters share; then every two bits of a flag byte say how the
// next character is coded: 0 one byte (high byte 0), 1 one byte with the shared high byte, 2 two
// bytes, 3 a run copied from the 8-bit form (count + 2), optionally with a correction added to
// the low byte and the shared high byte set.
std::string DecodeRar4UnicodeName(std::string_view ascii, std::string_view encoded) {
    std::u16string units;
    std::size_t pos = 0;
    if (encoded.empty())
        return {};
    const std::uint32_t highByte = static_cast<unsigned char>(encoded[pos++]);
    std::uint32_t flags = 0;
    int flagBits = 0;
    auto byteAt = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(encoded[at]));
    };
    auto asciiAt = [&](std::size_t at) {
        return at < ascii.size() ? static_cast<std::uint32_t>(static_cast<unsigned char>(ascii[at])) : 0u;
    };
    while (pos < encoded.size() && units.size() < MaxNameUnits) {
        if (flagBits == 0) {
            flags = byteAt(pos++);
            flagBits = 8;
            if (pos >= encoded.size())
                break;
        }
        switch (flags >> 6 & 3) {
        case 0:
            units += static_cast<char16_t>(byteAt(pos++));
            break;
        case 1:
            units += static_cast<char16_t>(byteAt(pos++) + (highByte << 8));
            break;
        case 2:
            if (pos + 1 >= encoded.size()) {
                pos = encoded.size();
                break;
            }
            units += static_cast<char16_t>(byteAt(pos) + (byteAt(pos + 1) << 8));
            pos += 2;
            break;
        default: {
            std::uint32_t length = byteAt(pos++);
            if ((length & 0x80) != 0) {
                if (pos >= encoded.size()) {
                    pos = encoded.size();
                    break;
                }
                const std::uint32_t correction = byteAt(pos++);
                for (length = (length & 0x7F) + 2; length > 0 && units.size() < MaxNameUnits; --length)
                    units += static_cast<char16_t>(((asciiAt(units.size()) + correction) & 0xFF) +
                                                   (highByte << 8));
            } else {
                for (length += 2; length > 0 && units.size() < MaxNameUnits; --length)
                    units += static_cast<char16_t>(asciiAt(units.size()));
            }
            break;
        }
        }
        flags = flags << 2 & 0xFF;
        flagBits -= 2;
    }
    const std::size_t end = units.find(u'\0');
    if (end != std::u16string::npos)
        units.resize(end);
    return Utf16ToUtf8(units);
}

// Fills the display name from the stored one: "\" between parts where the archive was made on a
// system that writes them, and 8-bit names that are no UTF-8 read as code page 437.
void SetDisplayName(TArchiveEntry& entry, bool backslashSeparators) {
    std::string name = IsValidUtf8(entry.StoredName) ? entry.StoredName : Cp437ToUtf8(entry.StoredName);
    if (backslashSeparators)
        std::replace(name.begin(), name.end(), '\\', '/');
    entry.Name = ArchiveDisplayName(name);
}

} // namespace ks::rar
