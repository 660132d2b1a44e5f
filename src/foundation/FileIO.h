#pragma once

#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace ks {

/// Replaces the file at path with content: a temporary file beside it is written, flushed to the
/// disk and renamed over the old one, so readers see either the old or the new file, never a
/// part. The new file keeps the old one's permissions (0644 for a new file). On failure the old
/// file is untouched and the temporary file is gone.
Result<void> ReplaceFile(const std::string& path, std::string_view content);

} // namespace ks
