#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace ks {

/// What a shortcut to one item says: a freedesktop desktop entry, "Type=Application" for an
/// executable, "Type=Link" with a file:// URL for anything else.
struct TShortcutEntry {
    std::string Target;      ///< the item's full path, bytes as the OS gives them
    std::string Name;        ///< shown by the desktop (the item's name)
    std::string Description; ///< the "Comment" line; none when empty
    bool Executable = false;
};

/// The file name of a shortcut to an item: its name without the extension, then ".desktop".
/// A leading "." starts no extension.
std::string ShortcutFileName(std::string_view itemName);

/// One argument of an "Exec" line: always in double quotes, with `"`, "`", "$" and "\" escaped
/// inside them, "%" doubled (no field code) and the backslashes of that escaped again as every
/// string value needs, so the desktop starts exactly this argument.
std::string QuoteExecArgument(std::string_view argument);

/// "file://" and path with every byte other than letters, digits, "-._~" and "/" percent-encoded.
std::string FileUrl(std::string_view path);

/// The text of the desktop entry. A target that is no valid UTF-8 cannot be written on an
/// "Exec" line, so such an executable gets a link entry, whose URL carries any bytes.
std::string DesktopEntryText(const TShortcutEntry& entry);

/// How `SaveShortcutFile` ended without an error.
enum class TShortcutSaved { ssWritten, ssKept };

/// Writes text to folder/fileName with the execute bits (0755): a temporary file beside it is
/// written, flushed and renamed to the name. An existing entry of that name is replaced only when
/// overwrite, asked with the full name, says so (ssKept otherwise); a new file never replaces one
/// made meanwhile. A fileName that is no single entry name fails with ecParse. On failure nothing is left
/// behind and the error names what failed.
Result<TShortcutSaved> SaveShortcutFile(const std::string& folder, const std::string& fileName,
                                        std::string_view text,
                                        const std::function<bool(const std::string& fullName)>& overwrite);

} // namespace ks
