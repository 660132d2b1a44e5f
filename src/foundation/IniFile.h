#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"

namespace ks {

/// An ini file is read up to this size; a larger file is refused rather than cut, so saving it
/// back can never lose its end. Skin layout files are a few kilobytes.
inline constexpr std::size_t MaxIniFileSize = 4 * 1024 * 1024;

/// An ini text held in memory, read and changed there and written back as a whole.
///
/// Lines "[section]" open a section, lines "key=value" inside one hold a value: the key is the
/// text before the first "=" (blanks around it dropped), the value the text after it (leading
/// blanks dropped; the line's trailing blanks are dropped too). Sections and keys are compared
/// ignoring ASCII case; where a name repeats, the first one counts. Every other line (";"
/// comments, blank lines, text without "=", keys before the first section) is kept and written back
/// in place. Lines as read are saved byte for byte until they are changed; sections and keys stay
/// in their file order.
///
/// Lines end with LF or CR LF; saving uses LF when the text's first line ended with a bare LF and
/// CR LF otherwise. A UTF-8 byte-order mark is kept. Any bytes are accepted, NUL included.
class TIniFile {
public:
    /// Reads the file at path. A missing file gives an empty ini and succeeds. A file that is not
    /// a regular file, cannot be read, or is larger than `MaxIniFileSize` fails and leaves the
    /// ini empty.
    Result<void> Load(const std::string& path);
    /// Replaces the contents by the lines of text (at most `MaxIniFileSize` bytes are looked at).
    void SetText(std::string_view text);
    /// The whole ini as it would be saved; every line ends with the line break in use.
    std::string Text() const;
    /// Writes `Text` to path at once: a temporary file in the same folder, flushed to the disk,
    /// then renamed over path, so a failure leaves the old file as it was.
    Result<void> Save(const std::string& path) const;

    /// Drops everything.
    void Clear();

    /// The value of key in section; fallback when either is missing. An existing key with an
    /// empty value gives the empty string.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
    /// Sets the value of key in section, adding the section at the end and the key after the
    /// section's last key when missing. An existing key keeps its spelling. Line breaks in value
    /// become spaces. Returns false (and changes nothing) for a section or key that no ini line
    /// could carry: empty, with a line break, a section with "]", a key with "=" or starting
    /// with "[" or ";".
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    /// True when section has a header line.
    bool SectionExists(std::string_view section) const;
    /// True when key is set in section.
    bool ValueExists(std::string_view section, std::string_view key) const;
    /// The keys of section in file order (a repeated key once, as first spelt); empty when the
    /// section is missing.
    std::vector<std::string> ReadSection(std::string_view section) const;
    /// The section names in file order (a repeated section once).
    std::vector<std::string> ReadSections() const;

private:
    enum class TLineKind { lkOther, lkSection, lkValue };
    struct TLine {
        TLineKind Kind = TLineKind::lkOther;
        std::string Raw;   ///< the line as read; empty for lines added or changed since
        std::string Name;  ///< section name or key
        std::string Value; ///< for lkValue
    };

    // Index of the header line of section, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the line of key in the section whose header is at sectionLine, or npos.
    std::size_t FindKey(std::size_t sectionLine, std::string_view key) const;
    // Index one past the last line of the section whose header is at sectionLine.
    std::size_t SectionEnd(std::size_t sectionLine) const;

    std::vector<TLine> FLines;
    bool FLfOnly = false;
    bool FUtf8Bom = false;
};

} // namespace ks
