#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ks {

/// Bytes of a panel mask file that are read.
inline constexpr std::size_t PanelMaskBytes = 1200;
/// Entries filled from them: a left and a right bound of 16 bits each per pixel row.
inline constexpr std::size_t PanelMaskEntries = PanelMaskBytes / 4;

/// One row of a panel mask: the left and the right pixel bound.
struct TPanelMaskEntry {
    std::uint16_t Left = 0;
    std::uint16_t Right = 0;

    bool operator==(const TPanelMaskEntry&) const = default;
};

/// A panel's row mask as the skin gives it: the painted rows are narrowed to its bounds.
struct TPanelMaskData {
    bool Loaded = false;
    /// The first `PanelMaskEntries` rows; rows the file did not reach keep both bounds 0.
    std::array<TPanelMaskEntry, PanelMaskEntries> Entries{};
};

} // namespace ks
