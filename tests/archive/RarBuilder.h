#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Builds RAR archives byte by byte from the format's header tables, with correct header
// checksums, so the reader can be tested without the archiver. Data is always stored; an entry
// may declare packed data it does not carry, which then becomes a hole of that size in the
// volume (written as a sparse file).

namespace ks::test {

/// The bytes of one volume: pieces at offsets, holes between them read as zeros.
class RarImage {
public:
    RarImage& Append(const std::string& bytes);
    RarImage& Hole(std::uint64_t size);
    std::uint64_t Size() const { return FSize; }
    /// The whole volume; only for volumes without large holes.
    std::string Bytes() const;
    /// Writes the volume to path, holes left unwritten (a sparse file). False on failure.
    bool Write(const std::string& path) const;
    /// Offsets at which each appended piece starts (the headers, for damage tests).
    std::vector<std::uint64_t> Starts() const;

private:
    std::vector<std::pair<std::uint64_t, std::string>> FPieces;
    std::uint64_t FSize = 0;
};

/// One stored entry.
struct RarFile {
    std::string Name;        ///< RAR 4: the 8-bit form; RAR 5: UTF-8
    std::string EncodedName; ///< RAR 4: the Unicode form as encoded, stored after a zero
    std::string Data;
    std::optional<std::uint64_t> PackedSize; ///< declared instead of Data's size, data left a hole
    std::optional<std::uint64_t> Size;       ///< declared instead of Data's size
    std::uint32_t Attr = 0x20;
    int HostOS = 2; ///< as the format numbers it
    std::uint32_t DosTime = 0;
    std::optional<std::uint32_t> UnixTime;  ///< RAR 5: the time field of the file header
    std::optional<std::uint64_t> ExtraTime; ///< RAR 5: a time record (Unix seconds or FILETIME)
    bool ExtraTimeIsFileTime = false;
    std::optional<std::uint32_t> DataCrc; ///< RAR 5: the data CRC field; RAR 4 always has one
    std::uint32_t Flags = 0;              ///< RAR 4 head flags / RAR 5 file flags added to the computed ones
    std::uint32_t BlockFlags = 0;         ///< RAR 5 header flags added (split before/after)
    int Method = 0;                       ///< 0..5
    int Version = 29;                     ///< RAR 4 UNP_VER
};

// RAR 4 (1.5 to 4.x block format).
inline constexpr std::uint32_t Rar4Volume = 0x01, Rar4Solid = 0x08, Rar4NewNumbering = 0x10,
                               Rar4Password = 0x80, Rar4FirstVolume = 0x100;
inline constexpr std::uint32_t Rar4SplitBefore = 0x01, Rar4SplitAfter = 0x02, Rar4Directory = 0xe0,
                               Rar4Large = 0x100, Rar4Unicode = 0x200;
std::string Rar4Marker();
std::string Rar4Main(std::uint32_t flags = 0);
/// A file header (type 0x74) or, with service, a service header (0x7a); data not included.
std::string Rar4File(const RarFile& file, bool service = false);
/// Any block: the base header with type and flags, then body; with addSize a 4-byte ADD_SIZE
/// and flag 0x8000.
std::string Rar4Block(int type, std::uint32_t flags, const std::string& body,
                      std::optional<std::uint32_t> addSize = {});
std::string Rar4End(std::uint32_t flags = 0);
/// The Unicode name form: every character in two bytes.
std::string EncodeRar4Name(const std::u16string& name);
/// Appends a file header and its data (or a hole).
void AddRar4File(RarImage& image, const RarFile& file);

// RAR 5.
inline constexpr std::uint64_t Rar5Volume = 0x01, Rar5VolumeNumber = 0x02, Rar5Solid = 0x04;
inline constexpr std::uint32_t Rar5SplitBefore = 0x08, Rar5SplitAfter = 0x10;
inline constexpr std::uint32_t Rar5Directory = 0x01;
std::string Vint(std::uint64_t value);
std::string Rar5Marker();
/// A header: CRC32, size, type, flags and the extra and data sizes the flags call for.
std::string Rar5Header(std::uint64_t type, std::uint64_t flags, const std::string& fields,
                       const std::string& extra = {}, std::optional<std::uint64_t> dataSize = {});
std::string Rar5Main(std::uint64_t archiveFlags = 0, std::optional<std::uint64_t> volumeNumber = {});
std::string Rar5File(const RarFile& file, bool service = false);
std::string Rar5End(std::uint64_t flags = 0);
void AddRar5File(RarImage& image, const RarFile& file, bool service = false);

std::uint32_t RarCrc32(const std::string& bytes);

} // namespace ks::test
