#pragma once

#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Lists one cabinet (a Microsoft CAB file) from its file entries; nothing is unpacked and the
/// other cabinets of a set are not opened. Files whose folder goes on from the cabinet before or
/// into the next one are listed like the others. Names flagged UTF-8 (attribute 0x80) are read
/// as UTF-8, others as UTF-8 when they are well-formed and as code page 437 when not; "\"
/// separates parts. Every entry has Time 0, an unknown PackedSize, HostOS 99, PackerVersion 0,
/// PackMethod 0, CheckValue 0 and HeaderFlags 0; Attr holds the stored attribute bits.
///
/// Damage fails with ecParse whose Detail names where ("file entry 3 at offset 120: ...") and
/// whose Path is the cabinet; ecCancelled when the sink stops the read. Whatever was read before
/// a failure has been reported.
class TCabReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists a cabinet read through bytes. Errors carry no path.
Result<void> ReadCabDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists a cabinet held in memory.
Result<void> ReadCabDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
