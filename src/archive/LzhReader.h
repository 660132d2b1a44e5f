#pragma once

#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"

namespace ks {

/// Lists an LZH (LHA) archive, header levels 0 to 3, walking from the start of the file and
/// stepping over the packed data by its size; nothing is unpacked. The folder name of the
/// extended headers goes in front of the file name, a long or Unicode name replaces the short
/// one, 64-bit sizes replace the 32-bit ones, and Unix or Windows times become ModTime (levels 0
/// and 1 also keep their DOS time in Time). Folder entries (`-lhd-`) carry attribute 0x10. HostOS
/// comes from the OS ID: "M" MS-DOS, "2" OS/2, "W" Win32, "U" Unix, "m" Mac OS, others (and a
/// level 0 header without one) 99. PackMethod from the method's digit: "0" storing,
/// "1" fastest, "4" and "5" normal, others 0 (not available). CheckValue is the header's checksum
/// (levels 0 and 1) or its CRC-16 (levels 2 and 3, 0 when it stores none).
///
/// The archive ends at a zero byte where a header would start, or where the file ends between
/// two entries. Damage fails with ecParse whose Detail names the header ("header 3 at offset
/// 812: ...") and whose Path is the archive; ecCancelled when the sink stops the read. Whatever
/// was read before a failure has been reported.
class TLzhReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists an LZH archive read through bytes. Errors carry no path.
Result<void> ReadLzhDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);

/// Lists an LZH archive held in memory.
Result<void> ReadLzhDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
