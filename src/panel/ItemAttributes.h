#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ks {

class TKFileSystem;
class TKMYFILEPANEL;

/// The attribute bits the attributes dialog shows, in the order of its boxes.
inline constexpr std::uint32_t AttrReadOnly = 1;
inline constexpr std::uint32_t AttrHidden = 2;
inline constexpr std::uint32_t AttrSystem = 4;
inline constexpr std::uint32_t AttrArchive = 32;
inline constexpr std::array<std::uint32_t, 4> AttrBoxBits = {AttrReadOnly, AttrArchive, AttrHidden,
                                                             AttrSystem};

/// One three-state box of the attributes dialog.
enum class TAttrBoxState {
    abClear,  ///< the bit is cleared on every item
    abSet,    ///< the bit is set on every item
    abGrayed, ///< every item keeps its own bit
};

/// The four boxes, indexed like `AttrBoxBits`.
using TAttrBoxes = std::array<TAttrBoxState, 4>;

/// The boxes as the dialog opens for items with these bits (in panel order): the first item is
/// the reference; a box is grayed when any later item's bit differs from it, else set or clear as
/// the reference's bit is. No items give four clear boxes.
TAttrBoxes InitialAttrBoxes(const std::vector<std::uint32_t>& attrs);

/// An item's bits after the boxes: a set box sets its bit, a clear one clears it, a grayed one
/// keeps it.
std::uint32_t ApplyAttrBoxes(std::uint32_t attr, const TAttrBoxes& boxes);

/// One item the dialog acts on.
struct TAttrItem {
    std::string FullName;
    std::uint32_t Attr = 0; ///< the bits as the panel listed them
};

/// The items of the operation: the marked items of a folder or find-results panel in panel order,
/// or the cursor item when none is marked (never the up-folder). Empty for other panels.
std::vector<TAttrItem> AttributeItems(const TKMYFILEPANEL& panel);

/// What Change does to every item.
struct TAttrChange {
    TAttrBoxes Boxes{TAttrBoxState::abGrayed, TAttrBoxState::abGrayed, TAttrBoxState::abGrayed,
                     TAttrBoxState::abGrayed};
    /// The new modification time, nanoseconds since 1970 UTC; nothing leaves the times alone.
    std::optional<std::int64_t> ModifyTimeNs;
};

/// Applies change to each item through the folder holding it. On a local disk only read-only
/// can change: it is the owner's write bit, which a symlink does not have (its mode is left
/// alone). The modification time goes to files, folders and symlinks alike (a symlink's own
/// time, never its target's); the access time stays as it was. Returns the full names of the
/// items on which anything failed, in the order given.
std::vector<std::string> ChangeItemAttributes(TKFileSystem& fileSystem, const std::vector<TAttrItem>& items,
                                              const TAttrChange& change);

} // namespace ks
