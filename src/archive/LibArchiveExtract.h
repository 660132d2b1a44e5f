#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// What an extraction wrote and what it left out.
struct TExtractCounts {
    std::uint64_t Files = 0;   ///< regular files and symbolic links written
    std::uint64_t Folders = 0; ///< folders created
    std::uint64_t Bytes = 0;   ///< data written into the files
    /// The stored names of the entries not written because they could lead outside the folder or
    /// are of a kind never extracted: an absolute name, a ".." part, a NUL, an empty name, a
    /// symbolic link whose target leaves the folder, a hard link, a device, a FIFO or a socket,
    /// and an entry below a symbolic link.
    std::vector<std::string> Skipped;
};

/// Extracts from archiveName the entries selected by names (stored names with "/" between parts,
/// as the panel's items hold them; a name ending in "/" or naming a folder selects everything
/// below it; empty: everything) into folder, and nowhere else.
///
/// Every archive kind libarchive reads is taken (tar with the compressions it decodes itself,
/// cpio, zip, 7z, rar, cab, lha, ISO 9660, ar, xar); the file is read through fileSystem.
/// Entries keep their path below folder ("./" and empty parts dropped). Writing goes through
/// folders opened one below the other, never through a symbolic link: a file is written under a
/// partial name created exclusively, then renamed into place without replacing anything.
/// Modification times are kept (folders' once their contents are in); permissions are those
/// stored, owner read and write always (and owner search for folders), never setuid, setgid or
/// sticky.
///
/// folder is meant to be fresh and private; a name already taken in it is not replaced: the
/// extraction fails with ecExists, Path the full name. Other failures: ecCancelled when
/// cancelled is set (checked after every block; the file being written is removed), ecParse for
/// damage, ecUnsupported for an encrypted entry or one packed by an unknown method (both with
/// Path archiveName and Detail starting with the entry's name; what was written before stays),
/// the error of the open, read or write. progress gets the data bytes written so far after
/// every block. Thread: the caller's.
Result<TExtractCounts> ExtractWithLibArchive(TKFileSystem& fileSystem, const std::string& archiveName,
                                             const std::vector<std::string>& names, const std::string& folder,
                                             const std::atomic<bool>& cancelled,
                                             const std::function<void(std::uint64_t bytesDone)>& progress);

/// Whether libarchive can read this archive kind at all (format detection on the file's start).
bool LibArchiveCanExtract(TKFileSystem& fileSystem, const std::string& archiveName);

} // namespace ks
