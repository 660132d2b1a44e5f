#pragma once

#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Lists an ACE archive (the 1.x and 2.x format, with 32-bit and 64-bit file headers) by walking
/// its headers from the start of the file; packed data, recovery records and every other block
/// are stepped over by their sizes and never read. Every header's checksum (the low half of the
/// format's CRC-32) is checked. Only the file headers that start a file become entries: the part
/// of a file continued from an earlier volume is skipped, and comments and adverts stay inside
/// the headers that carry them.
///
/// Name: the stored name, "\" read as "/", names that are no UTF-8 read as code page 437. Attr,
/// Time (DOS), Size and PackedSize as stored; HeaderFlags the file header's flags; CheckValue its
/// header checksum. PackerVersion and HostOS come from the main header: the creating version, and
/// the host when it is 0 to 4, else 99. PackMethod: stored '0'; the blocked method (type 2) '1'
/// plus its quality 0 to 4; else -1.
///
/// Fails with ecParse when the file is no ACE archive or is damaged (Detail: "file header N at
/// offset X: ..."; the entries before stay reported), ecCancelled when the sink stops the read,
/// or the error of a read. Thread: the caller's.
class TAceReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists one ACE archive given as bytes; errors carry no path.
Result<void> ReadAceDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists an ACE archive held in memory.
Result<void> ReadAceDirectory(std::string_view data, TKArchiveSink& sink);

/// The checksum ACE keeps of a header: the low 16 bits of its CRC-32 (begun with all bits set,
/// never inverted at the end) over the bytes after the header size.
std::uint32_t AceHeaderCrc(std::string_view bytes);

} // namespace ks
