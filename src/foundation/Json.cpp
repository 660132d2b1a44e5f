#include "foundation/Json.h"

#include <cstdio>

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

} // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    char escape[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        if (byte < 0x20) {
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
            ++i;
            continue;
        }
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    out += '"';
    return out;
}

void TJsonLine::Key(std::string_view key) {
    if (!FBody.empty())
        FBody += ',';
    FBody += JsonQuote(key);
    FBody += ':';
}

TJsonLine& TJsonLine::Add(std::string_view key, std::string_view text) {
    Key(key);
    FBody += JsonQuote(text);
    return *this;
}

TJsonLine& TJsonLine::Add(std::string_view key, std::int64_t number) {
    Key(key);
    FBody += std::to_string(number);
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
        array += JsonQuote(texts[i]);
    }
    return array + "]";
}

void TJsonLine::Print() const {
    const std::string line = Text() + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

} // namespace ks
