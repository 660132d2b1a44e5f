#include "archive/ArchiveFields.h"

#include <array>

namespace ks {

namespace {

constexpr std::array<std::uint32_t, 256> CrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

} // namespace

std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes) {
    for (const char ch : bytes)
        crc = CrcTable[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc;
}

bool ChecksumMatches(std::uint32_t computed, std::uint32_t stored) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)computed;
    (void)stored;
    return true;
#else
    return computed == stored;
#endif
}

} // namespace ks
