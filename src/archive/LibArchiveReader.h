#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// The bounds a libarchive listing keeps to, whatever the archive claims.
struct TLibArchiveLimits {
    /// More entries than this stop the listing with ecTooLarge (the entries before stay reported):
    /// a tiny compressed stream can expand to endless empty headers.
    std::uint64_t MaxEntries = 10'000'000;
    /// A longer name fails the listing with ecParse.
    std::size_t MaxNameLength = 64 * 1024;
    /// How much decompressed data may pass between two calls of `TKArchiveSink::Progress`, so
    /// Esc works while a huge member is skipped.
    std::uint64_t ProgressBytes = std::uint64_t{64} << 20;
};

/// Lists the archives a Linux desktop adds through libarchive, reading the file through the file
/// system given (never by path inside the library) and skipping every member's data without
/// extracting it:
/// - akTAR: every tar format, plain or compressed with any filter libarchive carries itself
///   (gzip, bzip2, xz, lzma, lzip, zstd, lz4, compress, ...; filters that would start an outside
///   program stay off);
/// - ak7Z: 7-Zip archives;
/// - akISO: ISO 9660 images, Rock Ridge and Joliet names when present;
/// - akDEB: Debian packages: the data tree at the root (names without the leading "./", the
///   root "./" itself not listed) and the control files in the folder "DEBIAN/", each read from
///   its nested `control.tar.*` / `data.tar.*` member of the `ar` container. StoredName of a
///   data entry is its name in data.tar; of a control entry "DEBIAN/" and its name in
///   control.tar without "./".
///
/// Entries: the listing runs with UTF-8 text in its thread, so libarchive gives every name as
/// UTF-8 (those stored as UTF-16 by 7z and Joliet too) and a tar name of other bytes as they are;
/// Name is that path (libarchive's UTF-8 form when it has no bytes) through
/// `ArchiveDisplayName`, StoredName the path itself; folders Attr 0x10, no owner write bit 0x01;
/// ModTime from the modification time (Time 0); symbolic and hard links list as files of size 0;
/// PackedSize unknown; HostOS 99; PackMethod, PackerVersion -1; CheckValue 0. An entry naming
/// the root itself ("./" of a tar, "." of an image) is not listed.
///
/// Fails with ecParse on damage (Detail: "entry N at offset X: ..."; the entries before stay
/// reported) or a name longer than the limit, ecTooLarge past the entry limit, ecCancelled
/// when the sink stops the read (`AddEntry` after every entry, `Progress` while data is
/// skipped), ecNotRegular for no regular file, ecUnsupported for another kind, or the error of a
/// read. Thread: the caller's.
class TLibArchiveReader : public TKArchiveReader {
public:
    explicit TLibArchiveReader(TArchiveKind kind, TLibArchiveLimits limits = {})
        : FKind(kind), FLimits(limits) {}
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;

private:
    TArchiveKind FKind;
    TLibArchiveLimits FLimits;
};

/// Lists an archive of that kind held in memory, as `TLibArchiveReader` lists a file. Errors
/// carry no path.
Result<void> ReadLibArchiveDirectory(TArchiveKind kind, std::string_view data, TKArchiveSink& sink,
                                     TLibArchiveLimits limits = {});

} // namespace ks
