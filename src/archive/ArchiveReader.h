#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// The archive kinds the panel tells apart, in the numbering its settings and texts use.
/// 8 and up are the kinds a Linux desktop adds, read through libarchive.
enum TArchiveKind : int {
    akKPL = 0,
    akACE,
    akARJ,
    akCAB,
    akLZH,
    akRAR,
    akZIP,
    akUnknown,
    akTAR, ///< plain and compressed tar
    ak7Z,
    akISO,
    akDEB,
};

/// A packed size nobody knows.
inline constexpr std::uint64_t UnknownPackedSize = std::numeric_limits<std::uint64_t>::max();

/// One stored entry of an archive's directory, as a reader reports it.
struct TArchiveEntry {
    /// The entry's path exactly as the archive stores it (bytes, the archive's own separators);
    /// every list later handed to an archiver uses this form.
    std::string StoredName;
    /// The path as display text: UTF-8, "/" between parts, no leading or trailing "/". Parts
    /// that could not be shown safely ("..", control characters, invalid UTF-8) are already made
    /// harmless here; it is never used as a path on the disk.
    std::string Name;
    std::uint32_t Attr = 0; ///< attribute bits; 0x10 marks a folder
    std::uint32_t Time = 0; ///< DOS date (high 16 bits) and time (low 16 bits); 0 when none
    /// The full modification time in seconds since 1970 (UTC) when the format stores one
    /// (Unix or Windows times); 0 when only the DOS time is known.
    std::int64_t ModTime = 0;
    std::uint64_t Size = 0;
    std::uint64_t PackedSize = UnknownPackedSize;
    std::uint32_t HeaderFlags = 0;
    int HostOS = 99; ///< 0 MS-DOS, 1 OS/2, 2 Win32, 3 Unix, 4 Mac OS, 5 BeOS, 99 unknown
    std::uint32_t CheckValue = 0;
    int PackerVersion = -1; ///< version of the packer times ten; -1 not available
    int PackMethod = -1;    ///< '0'..'5' (48..53) from storing to best; other values: not available
};

/// Where a reader reports what it reads. The panel implements it (made-up folders, items,
/// progress); the readers never see a panel. Thread: the reader's caller.
class TKArchiveSink {
public:
    virtual ~TKArchiveSink() = default;
    /// One stored entry, in the order of the archive's directory. Returning false stops the
    /// reader (the user pressed Esc); the reader then returns ecCancelled.
    virtual bool AddEntry(const TArchiveEntry& entry) = 0;
    /// Called now and then while a reader works through a long stretch without entries (a huge
    /// member's data being decompressed to skip it), so the panel can pump its messages there
    /// too. Returning false stops the reader as `AddEntry` does.
    virtual bool Progress() { return true; }
};

/// Reads the directory of one kind of archive. A reader reads through the file system given,
/// never extracts anything, bounds every count and size it reads before it sizes an allocation,
/// and reports the entries it could read before damage; its error names where it stopped
/// (`TError::Detail`, for example "central directory entry 12 at offset 4711: ...").
class TKArchiveReader {
public:
    virtual ~TKArchiveReader() = default;
    virtual Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                                       TKArchiveSink& sink) = 0;
};

} // namespace ks
