#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Opens the volume of a set by its name; ecNotFound when there is none of that name.
using TArjVolumeOpener = std::function<Result<std::unique_ptr<TKArchiveBytes>>(const std::string& name)>;

/// Lists an ARJ archive by walking its headers from the start of each volume, following later
/// volumes by name ("x.arj", "x.a01", ...) while the main header says another follows. Packed
/// data is stepped over by its size and never read; every basic header's CRC-32 is checked and
/// its extended headers are stepped over. Only stored files and folders become entries: the main
/// (comment) header and volume and chapter labels are skipped, and a file split over volumes is
/// reported once, when its last part has been read, with the sizes of all parts added up.
///
/// Name: the stored name up to its zero, "\" read as "/" unless made on Unix, names that are no
/// UTF-8 read as code page 437. Attr 0x10 for a folder (file type 3), else 0x20. Time: the DOS
/// time, or for an archive made on Unix ModTime from its Unix time; Size and PackedSize as stored;
/// HeaderFlags the ARJ flags byte; CheckValue the file's CRC-32; PackerVersion the archiver version number.
/// HostOS: MS-DOS 0, Unix 3, Mac OS 4, OS/2 1, Win95 2, else 99. PackMethod: stored '0', method 1 '4', 2 '3',
/// 3 '2', 4 '1', else -1.
///
/// Fails with ecParse when the file is no ARJ archive or is damaged (Detail: "local header N at
/// offset X: ..."; the entries before stay reported, Path is the volume), also when it ends
/// without its end header, ecNotFound naming a missing later volume, ecCancelled when the sink
/// stops the read, or the error of a read. Thread: the caller's.
Result<void> ReadArjVolumes(const TArjVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink);

/// The name of the volume after name: "x.arj" → "x.a01", "x.a09" → "x.a10", "x.a99" → "x.100"
/// (upper case kept).
std::string NextArjVolumeName(const std::string& name);

/// The ARJ directory reader of the archive view: `ReadArjVolumes` over the file system.
class TArjReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists one ARJ volume given as bytes (a file split into the next volume is reported with the
/// parts seen); errors carry no path.
Result<void> ReadArjDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists an ARJ archive held in memory.
Result<void> ReadArjDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
