#include "shell/ItemClipboard.h"

namespace ks {

namespace {

constexpr std::string_view HexDigits = "0123456789ABCDEF";

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive prefix test for the ASCII scheme and host.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != prefix[i])
            return false;
    return true;
}

std::string_view Trimmed(std::string_view line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && blank(line.back()))
        line.remove_suffix(1);
    return line;
}

// Calls take(line) for each line of text (without its LF); stops and returns false when take does.
template <typename TTake> bool ForEachLine(std::string_view text, TTake take) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!take(line))
            return false;
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return true;
}

// The URI lines of a list (or of the lines after a gnome-copied-files header) as names.
std::optional<std::vector<std::string>> ParseUriLines(std::string_view text) {
    std::vector<std::string> names;
    const bool whole = ForEachLine(text, [&](std::string_view raw) {
        if (raw.size() > MaxClipboardLine)
            return false;
        const std::string_view line = Trimmed(raw);
        if (line.empty() || line.front() == '#')
            return true;
        if (names.size() == MaxClipboardNames)
            return false;
        std::optional<std::string> name = FileNameOfUri(line);
        if (!name)
            return false;
        names.push_back(std::move(*name));
        return true;
    });
    if (!whole || names.empty())
        return std::nullopt;
    return names;
}

} // namespace

std::string FileUri(std::string_view fullName) {
    if (fullName.empty() || fullName.front() != '/' || fullName.find('\0') != std::string_view::npos)
        return {};
    std::string uri = "file://";
    uri.reserve(uri.size() + fullName.size());
    for (const char c : fullName) {
        const auto byte = static_cast<unsigned char>(c);
        if (Unreserved(byte) || c == '/') {
            uri += c;
            continue;
        }
        uri += '%';
        uri += HexDigits[byte >> 4];
        uri += HexDigits[byte & 15];
    }
    return uri;
}

std::optional<std::string> FileNameOfUri(std::string_view uri) {
    if (uri.size() > MaxClipboardLine || !StartsWithNoCase(uri, "file:"))
        return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        // The host: empty (this machine) or "localhost"; a name on another machine is no file here.
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/')
        return std::nullopt;

    std::string decoded;
    decoded.reserve(rest.size());
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        const auto byte = static_cast<unsigned char>(c);
        // A raw "?" or "#" starts a query or fragment, which no local file has.
        if (byte < 0x20 || byte == 0x7f || c == '?' || c == '#')
            return std::nullopt;
        if (c != '%') {
            decoded += c;
            continue;
        }
        if (i + 2 >= rest.size())
            return std::nullopt;
        const int high = HexValue(rest[i + 1]);
        const int low = HexValue(rest[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }

    // Rebuilt part by part: another program's list is outside input, and a "." or ".." part
    // would name a file other than the one its text shows.
    std::string name;
    name.reserve(decoded.size());
    std::string_view parts = decoded;
    while (!parts.empty()) {
        const std::size_t slash = parts.find('/');
        const std::string_view part = parts.substr(0, slash);
        if (part == "." || part == "..")
            return std::nullopt;
        if (!part.empty()) {
            name += '/';
            name += part;
        }
        if (slash == std::string_view::npos)
            break;
        parts.remove_prefix(slash + 1);
    }
    if (name.empty())
        return std::nullopt;
    return name;
}

std::string UriListText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        const std::string uri = FileUri(name);
        if (uri.empty())
            continue;
        text += uri;
        text += "\r\n";
    }
    return text;
}

std::string GnomeCopiedFilesText(const TClipboardItems& items) {
    std::string text = items.Cut ? "cut" : "copy";
    for (const std::string& name : items.Names) {
        const std::string uri = FileUri(name);
        if (uri.empty())
            continue;
        text += '\n';
        text += uri;
    }
    return text;
}

std::optional<std::vector<std::string>> ParseUriList(std::string_view text) {
    return ParseUriLines(text);
}

std::optional<TClipboardItems> ParseGnomeCopiedFiles(std::string_view text) {
    const std::size_t end = text.find('\n');
    const std::string_view header = Trimmed(text.substr(0, end));
    TClipboardItems items;
    if (header == "cut")
        items.Cut = true;
    else if (header != "copy")
        return std::nullopt;
    if (end == std::string_view::npos)
        return std::nullopt;
    std::optional<std::vector<std::string>> names = ParseUriLines(text.substr(end + 1));
    if (!names)
        return std::nullopt;
    items.Names = std::move(*names);
    return items;
}

} // namespace ks
