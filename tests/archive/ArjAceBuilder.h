#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/RarBuilder.h"

// Builds ARJ and ACE archives byte by byte from the formats' header tables, with correct
// header checksums, so the readers can be tested on what no archiver here writes. Data is
// always stored; an entry may declare packed data it does not carry, which then becomes a hole
// of that size in the image (written as a sparse file).

namespace ks::test {

/// One ARJ header: a local header, or with Type 2 the main header.
struct ArjHeader {
    std::string Name;
    std::string Comment;
    std::string Data;
    std::optional<std::uint32_t> PackedSize; ///< declared instead of Data's size, data left a hole
    std::uint32_t Size = 0;
    int Version = 11;
    int Host = 0; ///< as the format numbers it
    std::uint32_t Flags = 0;
    int Method = 0;
    int Type = 0; ///< 0 binary, 1 text, 2 comment (main) header, 3 folder, 4 volume label, 5 chapter
    std::uint32_t DosTime = 0x5A8C6000;
    std::uint32_t Crc = 0;
    std::uint32_t Mode = 0;
    int FirstSize = 30;                ///< the first header's size; above 30 filled with zeros
    std::vector<std::string> Extended; ///< extended headers, each with its CRC
};

/// The header bytes: id, sizes, the basic header, its CRC and the extended headers.
std::string ArjHeaderBytes(const ArjHeader& header);
/// A main header named name.
std::string ArjMain(const std::string& name = "test.arj", const std::string& comment = {});
/// The end of the archive: the header id with basic header size 0.
std::string ArjEnd();
/// Appends a local header and its data (or a hole).
void AddArjFile(RarImage& image, const ArjHeader& header);

/// One ACE file header.
struct AceFile {
    std::string Name;
    std::string Data;
    std::optional<std::uint64_t> PackedSize; ///< declared instead of Data's size, data left a hole
    std::optional<std::uint64_t> Size;       ///< declared instead of Data's size
    bool Wide = false;                       ///< a 64-bit file header (type 3)
    std::uint32_t Flags = 0;                 ///< added to the data-size flag (and the 64-bit one)
    std::uint32_t Attr = 0x20;
    std::uint32_t DosTime = 0x5A8C6000;
    std::uint32_t DataCrc = 0;
    int Method = 0;
    int Quality = 0;
    std::string Trailer; ///< bytes after the name (a comment, security data)
};

inline constexpr std::uint32_t AceAddSize = 0x0001, AceComment = 0x0002, AceWide = 0x0004,
                               AceMultiVolume = 0x0800, AceContinuedBefore = 0x1000,
                               AceContinuedAfter = 0x2000, AcePassword = 0x4000;
/// Any header: checksum and size, then type, flags and fields.
std::string AceHeader(int type, std::uint32_t flags, const std::string& fields);
/// The main header: signature, versions and host, then extra (adverts, comments) as given.
std::string AceMain(int version = 20, int host = 2, std::uint32_t flags = 0, const std::string& extra = {});
std::string AceFileHeader(const AceFile& file);
/// Appends a file header and its data (or a hole).
void AddAceFile(RarImage& image, const AceFile& file);

/// Little-endian bytes of value.
std::string LittleEndian(std::uint64_t value, int bytes);

} // namespace ks::test
