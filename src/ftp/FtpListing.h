#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ks {

/// One entry of a server folder as a listing line gave it.
struct TFtpEntry {
    std::string Name;         ///< the name alone; never empty, never ".", "..", nor holding "/"
    std::int64_t Size = 0;    ///< bytes; 0 when the listing gives none
    bool IsFolder = false;    ///< a folder (UNIX "d", DOS "<DIR>", MLSD type=dir)
    bool IsLink = false;      ///< a symbolic link: a name CWD may try
    std::string LinkTarget;   ///< what a UNIX link line names after " -> "
    std::int64_t MTimeNs = 0; ///< modification time, nanoseconds since 1970 UTC; 0 when none
    bool HasTime = false;
    std::string AttrText; ///< up to 10 characters: the permission column ("drwxr-xr-x"), or
                          ///< what MLSD facts give ("d---------" style), else empty
};

/// What a listing line is.
enum TFtpLineKind {
    flEntry,   ///< an entry: the out parameter holds it
    flSkip,    ///< a line that names no entry: "total 12", an empty line, ".", ".."
    flUnsafe,  ///< a line naming "/" or a name holding "/": dropped, never shown or walked
    flUnknown, ///< a line of no known format
};

/// Reads one line of a LIST reply (without its line end), by format rather than by columns:
/// UNIX "ls -l" lines of any column widths (the name starts after the date, so names keep
/// their spaces; "name -> target" gives the name of a link; sizes up to 63 bits; a date with a
/// year or with a time, the time in the year that makes it no later than nowNs plus a day, as
/// ls prints it), MS-DOS/IIS lines ("01-31-24  09:15PM  <DIR>  name", 12- and 24-hour times,
/// two- and four-digit years). Dates carry no zone and are read as UTC. nowNs is "now" for
/// UNIX dates without a year. The name starts after the spaces that follow the date (leading
/// spaces of a name cannot be told from padding); its inner and trailing spaces stay. A size of
/// more digits than 63 bits hold makes the line flUnknown rather than a clamped entry, since
/// such a line cannot be trusted.
TFtpLineKind ParseFtpListLine(std::string_view line, std::int64_t nowNs, TFtpEntry& entry);

/// Reads one line of an MLSD reply: "fact=value;fact=value; name". type=dir/file/cdir/pdir
/// (cdir and pdir give flSkip), size, modify (YYYYMMDDHHMMSS[.sss], UTC), unix.mode; facts
/// are matched without regard to case. The name is everything after the first space, leading
/// spaces included. A size that is not a number of at most 63 bits makes the line flUnknown; a
/// modify fact that is not a real date leaves the entry without a time.
TFtpLineKind ParseMlsdLine(std::string_view line, TFtpEntry& entry);

/// Splits a whole listing (lines ending with CR LF or LF; a last line without one counts) and
/// appends its entries, MLSD lines when mlsd is set, else LIST lines. Returns how many lines
/// were dropped as unsafe.
int ParseFtpListing(std::string_view data, bool mlsd, std::int64_t nowNs, std::vector<TFtpEntry>& entries);

} // namespace ks
