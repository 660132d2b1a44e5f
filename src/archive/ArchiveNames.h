#pragma once

#include <string>
#include <string_view>

namespace ks {

/// Decodes bytes in code page 437 (the original PC character set that ZIP uses for names not
/// flagged UTF-8) to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);

/// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

/// The display path of an entry from its name in UTF-8 (separators already "/"): invalid UTF-8
/// and control characters become U+FFFD, empty and "." parts and a leading "/" are dropped, and a
/// ".." part is shown as "\xE2\x80\xA5" (two dots leader), so the text can never walk out of the
/// archive's tree when it is shown or used as a key. Empty when nothing is left.
std::string ArchiveDisplayName(std::string_view utf8Name);

} // namespace ks
