#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The item clipboard as the desktop's clipboard carries it: file URIs (RFC 8089) in a URI list
// (RFC 2483, "text/uri-list") and in the file managers' "x-special/gnome-copied-files" text.
// Names are the bytes the OS gives, so names that are no valid text survive the round trip.

namespace ks {

/// Full names put on or taken from the desktop's clipboard, and whether they were cut.
struct TClipboardItems {
    std::vector<std::string> Names;
    bool Cut = false;
};

/// Bounds on what another program's clipboard may hand over: a longer list or a longer line
/// is refused as a whole.
inline constexpr std::size_t MaxClipboardNames = 100000;
inline constexpr std::size_t MaxClipboardLine = 64 * 1024;

/// The file URI of an absolute name: "file://" and the name with every byte outside the
/// unreserved set (letters, digits, "-", ".", "_", "~") and "/" percent-encoded. Empty for a
/// name that is not absolute or holds a NUL byte.
std::string FileUri(std::string_view fullName);

/// The absolute name a file URI stands for: "file:///name", "file://localhost/name" or
/// "file:/name" (the scheme and host in any case), percent escapes decoded. Repeated and
/// trailing "/" are dropped. Nothing for another scheme or host, a query or fragment, a broken
/// escape, control characters, a decoded NUL, a "." or ".." part, the root alone, or a URI
/// longer than `MaxClipboardLine`.
std::optional<std::string> FileNameOfUri(std::string_view uri);

/// A URI list of the names: one `FileUri` a line, each line ended by CRLF. Names `FileUri`
/// refuses are left out.
std::string UriListText(const std::vector<std::string>& names);

/// The "x-special/gnome-copied-files" text: "copy" or "cut", then one `FileUri` a line, the
/// lines separated by LF. Names `FileUri` refuses are left out.
std::string GnomeCopiedFilesText(const TClipboardItems& items);

/// The names of a URI list. Lines may end with CRLF or LF; empty lines and "#" comment lines
/// are skipped. All or nothing: nothing when any line is no acceptable file URI
/// (`FileNameOfUri`), when no name is left, or when there are more than `MaxClipboardNames`,
/// so a paste never copies a part of what the other program meant.
std::optional<std::vector<std::string>> ParseUriList(std::string_view text);

/// The names of a "x-special/gnome-copied-files" text and its cut flag: the first line is
/// "copy" or "cut", the others are read as by `ParseUriList`. Nothing for another first line.
std::optional<TClipboardItems> ParseGnomeCopiedFiles(std::string_view text);

} // namespace ks
