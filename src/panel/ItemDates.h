#pragma once

#include <cstdint>
#include <string>

namespace ks {

/// Packs a local time into a DOS date and time (two-second steps); 0 for times the format cannot
/// hold (before 1980 or after 2107).
std::uint32_t DosDateTimeFromUnix(std::int64_t unixSeconds);
/// The Unix time of a packed DOS date and time read as local time; 0 for 0 or a value that names
/// no real date.
std::int64_t UnixFromDosDateTime(std::uint32_t dosDateTime);

/// Date and time text of an item: from the full modification time when one is known (so files
/// outside 1980-2107 show a real date), else from the DOS value; empty when neither is known,
/// so the caller shows its "n/a" text. The form is "YYYY-MM-DD HH:MM", 16 characters, which
/// sorts and lines up in a column.
std::string ItemDateText(std::int64_t mtimeNs, std::uint32_t dosDateTime);

} // namespace ks
