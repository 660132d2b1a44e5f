#pragma once

#include <cstdint>
#include <string_view>

// The little-endian fields, checksums and their checks every archive reader shares.

namespace ks {

/// Little-endian fields at offset at of bytes; the caller has checked that they fit.
inline std::uint32_t Le16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}
inline std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}
inline std::uint64_t Le64(std::string_view bytes, std::size_t at) {
    return Le32(bytes, at) | static_cast<std::uint64_t>(Le32(bytes, at + 4)) << 32;
}

/// The CRC-32 register (polynomial 0xEDB88320) after bytes, from crc; no final inversion.
std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes);
/// The CRC-32 of bytes, as ZIP, RAR and ARJ store it.
inline std::uint32_t Crc32(std::string_view bytes) {
    return ~Crc32Update(0xFFFFFFFFu, bytes);
}

/// Whether a checksum read from an archive matches the computed one. A fuzzing build takes every
/// checksum as right, so that mutated headers reach the code behind the check.
bool ChecksumMatches(std::uint32_t computed, std::uint32_t stored);

} // namespace ks
