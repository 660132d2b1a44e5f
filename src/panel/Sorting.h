#pragma once

#include <string>
#include <string_view>

#include "panel/KITEMSSTRUC.h"
#include "panel/PanelOptions.h"

namespace ks {

/// The text an item sorts by: a group character (up-folder, folders, executables, the rest),
/// then the extension or the padded size by sort mode, then the upper-cased name. Keys compare
/// as byte strings. Empty for null.
std::string SortKey(const TKFiles* item, const TPanelOptions& options);

/// Sorts the list by key. Items with equal keys keep no particular order.
void SortItems(TKITEMSSTRUC& list, const TPanelOptions& options);

/// Where a new item goes in a sorted list: before the first item whose key is greater than its
/// own (equal keys go after).
int SortedInsertIndex(const TKITEMSSTRUC& list, const TKFiles& item, const TPanelOptions& options);

/// Marks, unmarks or toggles (mode, a `TKMarkMode`) every item whose name matches one of the
/// ";"-separated masks, once per matching mask. In a drive list, toggling marks every fixed
/// disk (dtFixed) instead and leaves the other entries alone.
void MarkMatching(TKITEMSSTRUC& list, std::string_view masks, int mode, bool driveList);

} // namespace ks
