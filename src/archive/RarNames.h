#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"

// Names, times and attributes of RAR headers, shared by the readers of both formats.

namespace ks::rar {

/// A Windows FILETIME (100 ns steps since 1601) as seconds since 1970.
std::int64_t FileTimeToUnix(std::uint64_t fileTime);
/// The attribute bits of a Unix mode: folder and, without any write bit, read-only.
std::uint32_t AttrOfMode(std::uint64_t mode);
/// The Unicode form of a RAR 4 name (the bytes after the zero that ends its 8-bit form) as UTF-8.
std::string DecodeRar4UnicodeName(std::string_view ascii, std::string_view encoded);
/// Fills entry's display name from its stored one: "\" between parts where the archive was made
/// on a system that writes them, and names that are no UTF-8 read as code page 437.
void SetDisplayName(TArchiveEntry& entry, bool backslashSeparators);

} // namespace ks::rar
