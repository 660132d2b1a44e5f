#include "foundation/Json.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace ks {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], 0 when the byte does not start one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (byte < 0x80)
        return 1;
    if (byte >= 0xC2 && byte <= 0xDF)
        length = 2;
    else if (byte >= 0xE0 && byte <= 0xEF)
        length = 3;
    else if (byte >= 0xF0 && byte <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

// Appends text quoted; runs of characters that need no escape are copied at once, since the
// probe quotes every field of every listed item.
void AppendQuoted(std::string& out, std::string_view text) {
    static const char Hex[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++i;
            continue;
        }
        const std::size_t length = byte >= 0x80 ? Utf8Length(text, i) : 0;
        if (length > 0) {
            i += length;
            continue;
        }
        out.append(text.substr(plain, i - plain));
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else {
            // Control characters and bytes that start no valid UTF-8 sequence.
            out += "\\u00";
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
        }
        plain = ++i;
    }
    out.append(text.substr(plain));
    out += '"';
}

} // namespace

std::string JsonQuote(std::string_view text) {
    std::string out;
    AppendQuoted(out, text);
    return out;
}

void TJsonLine::Key(std::string_view key) {
    if (!FBody.empty())
        FBody += ',';
    AppendQuoted(FBody, key);
    FBody += ':';
}

TJsonLine& TJsonLine::Add(std::string_view key, std::string_view text) {
    Key(key);
    AppendQuoted(FBody, text);
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view key, std::int64_t number) {
    Key(key);
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    (void)error;
    FBody.append(digits, static_cast<std::size_t>(end - digits));
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view key, bool flag) {
    Key(key);
    FBody += flag ? "true" : "false";
    return *this;
}

TJsonLine& TJsonLine::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    FBody += json;
    return *this;
}

std::string JsonArray(const std::vector<std::string>& texts) {
    std::string array = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            array += ',';
        AppendQuoted(array, texts[i]);
    }
    return array + "]";
}

void TJsonLine::Print() const {
    const std::string line = Text() + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

} // namespace ks
