#pragma once

#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Lists an ARJ archive by walking its headers from the start of the file; packed data is
/// stepped over by its size and never read. Every basic header's CRC-32 is checked, and its
/// extended headers are stepped over. Only stored files and folders become entries: the main
/// (comment) header, volume and chapter labels and the part of a file continued from an earlier
/// volume are skipped.
///
/// Name: the stored name up to its zero, "\" read as "/" unless made on Unix, names that are no
/// UTF-8 read as code page 437. Attr 0x10 for a folder (file type 3), else 0x20. Time: the DOS
/// time; Size and PackedSize as stored; HeaderFlags the ARJ flags byte; CheckValue the file's
/// CRC-32; PackerVersion the archiver version number. HostOS: MS-DOS 0, Unix 3, Mac OS 4, OS/2 1,
/// Win95 2, else 99. PackMethod: stored '0', method 1 '4', 2 '3', 3 '2', 4 '1', else -1.
///
/// Fails with ecParse when the file is no ARJ archive or is damaged (Detail: "local header N at
/// offset X: ..."; the entries before stay reported), also when it ends without its end header,
/// ecCancelled when the sink stops the read, or the error of a read. Thread: the caller's.
class TArjReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists one ARJ archive given as bytes; errors carry no path.
Result<void> ReadArjDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists an ARJ archive held in memory.
Result<void> ReadArjDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
