#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/ArchiveBytes.h"
#include "archive/ArchiveReader.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// The largest central directory read into one buffer; a larger one is read through a window.
inline constexpr std::size_t MaxZipDirectoryBuffer = std::size_t{1} << 30;

/// Lists a ZIP archive from its central directory, found through the end record at the end
/// of the file, so archives with data in front (self-extractors), data descriptors, ZIP64
/// sizes and counts and split archives list as their archivers wrote them. A part named
/// "x.z01" (".z02", ...) reads the directory from the last part "x.zip" beside it.
///
/// Names flagged UTF-8, carrying an Info-ZIP Unicode path whose CRC matches, or simply
/// well-formed UTF-8 are read as UTF-8, others as code page 437; "\" from non-Unix hosts
/// becomes "/". HostOS: FAT 0, HPFS 1, NTFS (10 and 11, as archivers differ) and VFAT 2,
/// Unix 3, Macintosh and OS X 4, BeOS 5, else 99. PackMethod: stored '0'; deflate by its
/// level bits, super fast '1', fast '2', normal '3', maximum '5'; other methods -1.
/// PackerVersion is the "version made by" of the archiver.
///
/// Fails with ecNotFound when a part is missing (Detail names it), ecNotRegular for no regular
/// file, ecParse on damage (Detail: "central directory entry N at offset X: ..."; the entries
/// before stay reported), ecCancelled when the sink stops the read, or the error of a read.
/// Thread: the caller's.
class TZipReader : public TKArchiveReader {
public:
    /// maxDirectoryBuffer: the largest central directory read into one buffer (at least
    /// 256 KiB are always used for a window); larger ones are streamed.
    explicit TZipReader(std::size_t maxDirectoryBuffer = MaxZipDirectoryBuffer)
        : FMaxDirectoryBuffer(maxDirectoryBuffer) {}
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;

private:
    std::size_t FMaxDirectoryBuffer;
};

/// `TZipReader::ReadDirectory` with the default buffer.
Result<void> ReadZipDirectory(TKFileSystem& fileSystem, const std::string& fileName, TKArchiveSink& sink);

/// Lists one ZIP file given as bytes (no other parts: a directory that starts in an earlier
/// part of a split archive fails with ecNotFound). Errors carry no path.
Result<void> ReadZipDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink,
                              std::size_t maxDirectoryBuffer = MaxZipDirectoryBuffer);

/// Lists a ZIP file held in memory.
Result<void> ReadZipDirectory(std::string_view data, TKArchiveSink& sink,
                              std::size_t maxDirectoryBuffer = MaxZipDirectoryBuffer);

} // namespace ks
