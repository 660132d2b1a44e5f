#include "foundation/IniFile.h"

#include "foundation/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "foundation/DELTA9.h"
#include "foundation/System.h"

namespace ks {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

TError TooLarge(const std::string& path) {
    TError error;
    error.Code = TErrorCode::ecUnsupported;
    error.Path = path;
    error.Detail = "ini file larger than " + std::to_string(MaxIniFileSize) + " bytes";
    return error;
}

} // namespace

Result<void> TIniFile::Load(const std::string& path) {
    Clear();
    // Read without blocking, so a FIFO under the name is refused instead of waited on.
    Result<std::string> data = FileSystem().ReadFile(path, MaxIniFileSize);
    if (!data) {
        const TError& error = data.error();
        if (error.Code == TErrorCode::ecNotFound)
            return {};
        if (error.Code == TErrorCode::ecTooLarge)
            return TooLarge(path);
        return ErrnoError(path, error.Errno);
    }
    SetText(*data);
    return {};
}

void TIniFile::Clear() {
    FLines.clear();
    FLfOnly = false;
    FUtf8Bom = false;
}

void TIniFile::SetText(std::string_view text) {
    Clear();
    if (text.size() > MaxIniFileSize)
        text = text.substr(0, MaxIniFileSize);
    if (text.substr(0, Utf8Bom.size()) == Utf8Bom) {
        FUtf8Bom = true;
        text.remove_prefix(Utf8Bom.size());
    }
    const std::size_t firstBreak = text.find('\n');
    FLfOnly = firstBreak != npos && (firstBreak == 0 || text[firstBreak - 1] != '\r');

    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == npos ? text.size() : end + 1);
        // Stray CRs before the break go with it, so a line reads the same under either break.
        while (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);

        TLine line;
        line.Raw = raw;
        const std::string_view trimmed = TrimBlanks(raw);
        const std::size_t close = trimmed.find(']');
        const std::size_t equals = trimmed.find('=');
        if (!trimmed.empty() && trimmed.front() == '[' && close != npos) {
            line.Kind = TLineKind::lkSection;
            // Anything after "]" (a trailing comment) is not part of the name.
            line.Name = TrimBlanks(trimmed.substr(1, close - 1));
            inSection = true;
        } else if (inSection && !trimmed.empty() && trimmed.front() != ';' && equals != npos &&
                   !TrimBlanks(trimmed.substr(0, equals)).empty()) {
            line.Kind = TLineKind::lkValue;
            line.Name = TrimBlanks(trimmed.substr(0, equals));
            line.Value = TrimBlanks(trimmed.substr(equals + 1));
        }
        FLines.push_back(std::move(line));
    }
}

std::string TIniFile::Text() const {
    const std::string_view lineBreak = FLfOnly ? "\n" : "\r\n";
    std::string text;
    if (FUtf8Bom)
        text += Utf8Bom;
    for (const TLine& line : FLines) {
        // Lines as read are written back byte for byte; only new and changed ones are rebuilt.
        if (line.Kind == TLineKind::lkOther || !line.Raw.empty()) {
            text += line.Raw;
            text += lineBreak;
            continue;
        }
        switch (line.Kind) {
        case TLineKind::lkSection:
            text += '[';
            text += line.Name;
            text += ']';
            break;
        case TLineKind::lkValue:
            text += line.Name;
            text += '=';
            text += line.Value;
            break;
        case TLineKind::lkOther:
            text += line.Raw;
            break;
        }
        text += lineBreak;
    }
    return text;
}

Result<void> TIniFile::Save(const std::string& path) const {
    return ReplaceFile(path, Text());
}

std::size_t TIniFile::FindSection(std::string_view section) const {
    const std::string_view name = TrimBlanks(section);
    for (std::size_t i = 0; i < FLines.size(); ++i) {
        if (FLines[i].Kind == TLineKind::lkSection && SameText(FLines[i].Name, name))
            return i;
    }
    return npos;
}

std::size_t TIniFile::SectionEnd(std::size_t sectionLine) const {
    std::size_t i = sectionLine + 1;
    while (i < FLines.size() && FLines[i].Kind != TLineKind::lkSection)
        ++i;
    return i;
}

std::size_t TIniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
    const std::string_view name = TrimBlanks(key);
    const std::size_t end = SectionEnd(sectionLine);
    for (std::size_t i = sectionLine + 1; i < end; ++i) {
        if (FLines[i].Kind == TLineKind::lkValue && SameText(FLines[i].Name, name))
            return i;
    }
    return npos;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    const std::size_t header = FindSection(section);
    if (header == npos)
        return std::string(fallback);
    const std::size_t line = FindKey(header, key);
    if (line == npos)
        return std::string(fallback);
    return FLines[line].Value;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view sectionName = TrimBlanks(section);
    const std::string_view keyName = TrimBlanks(key);
    if (sectionName.empty() || sectionName.find_first_of("]\r\n") != npos)
        return false;
    if (keyName.empty() || keyName.find_first_of("=\r\n") != npos || keyName.front() == '[' ||
        keyName.front() == ';')
        return false;
    std::string text(TrimBlanks(value));
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    text = std::string(TrimBlanks(text));

    std::size_t header = FindSection(sectionName);
    if (header == npos) {
        TLine line;
        line.Kind = TLineKind::lkSection;
        line.Name = sectionName;
        FLines.push_back(std::move(line));
        header = FLines.size() - 1;
    }
    const std::size_t existing = FindKey(header, keyName);
    if (existing != npos) {
        FLines[existing].Value = std::move(text);
        FLines[existing].Raw.clear();
        return true;
    }
    // After the last key of the section, so blank lines and comments that close it stay last.
    std::size_t insertAt = header + 1;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (FLines[i].Kind == TLineKind::lkValue)
            insertAt = i + 1;
    }
    TLine line;
    line.Kind = TLineKind::lkValue;
    line.Name = keyName;
    line.Value = std::move(text);
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
    return true;
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != npos;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    return header != npos && FindKey(header, key) != npos;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    const std::size_t header = FindSection(section);
    if (header == npos)
        return keys;
    std::unordered_set<std::string> seen;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (FLines[i].Kind == TLineKind::lkValue && seen.insert(UpperCase(FLines[i].Name)).second)
            keys.push_back(FLines[i].Name);
    }
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const TLine& line : FLines) {
        if (line.Kind == TLineKind::lkSection && seen.insert(UpperCase(line.Name)).second)
            names.push_back(line.Name);
    }
    return names;
}

} // namespace ks
