#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Opens the volume of a set by its name; ecNotFound when there is none of that name.
using TAceVolumeOpener = std::function<Result<std::unique_ptr<TKArchiveBytes>>(const std::string& name)>;

/// Lists an ACE archive (the 1.x and 2.x format, with 32-bit and 64-bit file headers) by walking
/// its headers from the start of each volume, following the later volumes of a set by name
/// ("x.ace", "x.c00", "x.c01", ...). Packed data, recovery records and every other block are
/// stepped over by their sizes and never read; every header's checksum (the low half of the
/// format's CRC-32) is checked. Only file headers become entries; comments and adverts stay
/// inside the headers that carry them, and a file split over volumes is reported once, when its
/// last part has been read, with the packed sizes of all parts added up. The set ends with the
/// first volume that has no file going on into the next, or with a volume that is not there.
///
/// Name: the stored name, "\" read as "/", names that are no UTF-8 read as code page 437. Attr,
/// Time (DOS), Size and PackedSize as stored; HeaderFlags the file header's flags; CheckValue its
/// header checksum. PackerVersion and HostOS come from the main header: the creating version, and
/// the host when it is 0 to 4, else 99. PackMethod: stored '0'; the blocked method (type 2) '1'
/// plus its quality 0 to 4; else -1.
///
/// Fails with ecParse when the file is no ACE archive or is damaged (Detail: "file header N at
/// offset X: ..."; the entries before stay reported, Path is the volume), ecNotFound naming the
/// missing volume a split file goes on in, ecCancelled when the sink stops the read, or the
/// error of a read. Thread: the caller's.
Result<void> ReadAceVolumes(const TAceVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink);

/// The name of the volume after name: "x.ace" → "x.c00", "x.c09" → "x.c10", "x.c99" → "x.d00"
/// (upper case kept).
std::string NextAceVolumeName(const std::string& name);

/// The ACE directory reader of the archive view: `ReadAceVolumes` over the file system.
class TAceReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists one ACE volume given as bytes (a file split into the next volume is reported with the
/// parts seen); errors carry no path.
Result<void> ReadAceDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists an ACE archive held in memory.
Result<void> ReadAceDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
