#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Result.h"

// Whole-file reads and writes by path on the installed file system (`ks::FileSystem()`); the
// calls themselves are `TKFileSystem::ReadFile`, `TKFileSystem::ReplaceFile` and `TKFile`.

namespace ks {

/// Replaces the file at path with content: a temporary file beside it is written, flushed to the
/// disk and renamed over the old one, so readers see either the old or the new file, never a
/// part. The new file keeps the old one's permissions (0644 for a new file). On failure the old
/// file is untouched and the temporary file is gone.
Result<void> ReplaceFile(const std::string& path, std::string_view content);

/// The start of a regular file, at most maxBytes of it. Nothing for a missing file, a folder, a
/// device or a FIFO (opened without blocking and never read). A failing read gives nothing, or,
/// with keepPartial, the bytes read before it (nothing when none were).
std::optional<std::string> ReadFileStart(const std::string& path, std::size_t maxBytes,
                                         bool keepPartial = false);

} // namespace ks
