#pragma once

#include <optional>
#include <string>
#include <string_view>

// The folder a user types into the "Type new path for panel..." dialog, without the window.

namespace ks {

/// Turns the text typed for the active panel into the folder it names, or nothing when it names
/// no folder that can be listed. The whole text may be a path macro (`ExpandPathMacro`, any
/// case); "~" and a text starting with "~/" stand for the home folder (System().HomeDir()); any
/// other text not starting with "/" is taken relative to activeFolder. "." and ".." parts and
/// repeated "/" are resolved by the text alone, without following links, and ".." never climbs
/// above "/". Letters keep the case they were typed in, as Linux names are case-sensitive. The
/// folder is checked with `FolderExists` and comes without a trailing "/" ("/" for the root).
///
/// Nothing for an empty text, a macro whose folder is unknown, a relative text when
/// activeFolder is not absolute, or a text holding a NUL byte (no file name can). Uses the
/// installed platform (System() for the home folder and the macros, FileSystem() for the check).
std::optional<std::string> ResolveTypedPath(std::string_view typed, const std::string& activeFolder);

/// path with "." parts and repeated "/" dropped and each ".." taking away the part before it,
/// by the text alone; ".." at the root stays at the root. path must be absolute; the result has
/// no trailing "/" unless it is "/".
std::string NormalizeAbsolutePath(std::string_view path);

} // namespace ks
