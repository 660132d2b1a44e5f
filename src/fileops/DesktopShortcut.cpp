#include "fileops/DesktopShortcut.h"

#include <chrono>
#include <cstdint>
#include <memory>

#include "foundation/DELTA9.h"
#include "foundation/FileSystem.h"
#include "foundation/System.h"

namespace ks {

namespace {

constexpr std::uint32_t ShortcutMode = 0755;

// True when text is valid UTF-8 (no overlong forms, no surrogates): the only text a desktop
// entry may hold.
bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        std::uint32_t min = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            min = 0x80;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            min = 0x800;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            min = 0x10000;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size())
            return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

// Text as valid UTF-8: each byte that starts no valid sequence becomes "?".
std::string Utf8Text(std::string_view text) {
    if (IsUtf8(text))
        return std::string(text);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// A value of type string: backslashes and control characters escaped, a leading space kept.
std::string StringValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            // Other control characters have no escape; they would end or break the line.
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string TemporaryName(const std::string& fileName) {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return "." + fileName + ".tmp-" + std::to_string(static_cast<std::uint64_t>(ticks) % 1000000007u);
}

// Writes the temporary file completely: content, mode, flushed, closed.
Result<void> WriteTemporary(TKFolder& folder, const std::string& name, std::string_view text) {
    Result<std::unique_ptr<TKFile>> file = folder.OpenFile(name, ofWrite | ofCreate | ofExclusive, 0600);
    if (!file)
        return file.error();
    if (Result<void> r = (*file)->Write(text); !r)
        return r;
    if (Result<void> r = (*file)->SetMode(ShortcutMode); !r)
        return r;
    if (Result<void> r = (*file)->Sync(); !r)
        return r;
    return (*file)->Close();
}

} // namespace

std::string ShortcutFileName(std::string_view itemName) {
    const std::size_t dot = itemName.find_last_of('.');
    const std::string_view stem =
        dot == std::string_view::npos || dot == 0 ? itemName : itemName.substr(0, dot);
    return std::string(stem) + ".desktop";
}

std::string QuoteExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        switch (c) {
        case '"':
        case '`':
        case '$':
            quoted += '\\';
            quoted += c;
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '%':
            quoted += "%%";
            break;
        default:
            quoted += c;
        }
    }
    quoted += '"';
    // The string escapes are undone before the quotes are read, so every backslash doubles.
    return StringValue(quoted);
}

std::string FileUrl(std::string_view path) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += Hex[byte >> 4];
            url += Hex[byte & 15];
        }
    }
    return url;
}

std::string DesktopEntryText(const TShortcutEntry& entry) {
    const bool application = entry.Executable && IsUtf8(entry.Target);
    std::string text = "[Desktop Entry]\n";
    text += application ? "Type=Application\n" : "Type=Link\n";
    text += "Name=" + StringValue(Utf8Text(entry.Name)) + "\n";
    if (!entry.Description.empty())
        text += "Comment=" + StringValue(Utf8Text(entry.Description)) + "\n";
    if (application) {
        text += "Exec=" + QuoteExecArgument(entry.Target) + "\n";
        const std::string folder = FolderOf(entry.Target);
        if (!folder.empty())
            text += "Path=" + StringValue(folder) + "\n";
    } else {
        text += "URL=" + FileUrl(entry.Target) + "\n";
    }
    return text;
}

Result<TShortcutSaved> SaveShortcutFile(const std::string& folderPath, const std::string& fileName,
                                        std::string_view text,
                                        const std::function<bool(const std::string& fullName)>& overwrite) {
    const std::string fullName = AddBackslash(folderPath) + fileName;
    // The name is one entry of the folder: it never leads elsewhere.
    if (fileName.empty() || fileName == "." || fileName == ".." || fileName.find('/') != std::string::npos ||
        fileName.find('\0') != std::string::npos)
        return TError{TErrorCode::ecParse, 0, fullName, "not a file name"};
    Result<std::unique_ptr<TKFolder>> folder = FileSystem().OpenFolder(folderPath);
    if (!folder)
        return folder.error();
    const auto replace = [&]() -> Result<TShortcutSaved> {
        if (!overwrite || !overwrite(fullName))
            return TShortcutSaved::ssKept;
        if (Result<void> r = (*folder)->ReplaceFile(fileName, text, TReplaceMode::rmSet, ShortcutMode); !r)
            return r.error();
        return TShortcutSaved::ssWritten;
    };
    if ((*folder)->Info(fileName))
        return replace();

    const std::string temporary = TemporaryName(fileName);
    if (Result<void> r = WriteTemporary(**folder, temporary, text); !r) {
        (*folder)->RemoveFile(temporary);
        return r.error();
    }
    Result<void> renamed = (*folder)->Rename(temporary, **folder, fileName, true);
    if (!renamed) {
        (*folder)->RemoveFile(temporary);
        // Someone made the name meanwhile: it is theirs unless the user says otherwise.
        if (renamed.error().Code == TErrorCode::ecExists)
            return replace();
        return renamed.error();
    }
    (*folder)->Sync();
    return TShortcutSaved::ssWritten;
}

} // namespace ks
