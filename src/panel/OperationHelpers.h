#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/FileSystem.h"
#include "panel/KMYFILEPANEL.h"

// Small pieces the panel's long operations (count, delete, find, compare) share.

namespace ks::operations {

// Message kinds: a question about something that went wrong, and a confirmation.
inline constexpr int KindQuestion = 1;
inline constexpr int KindConfirm = 3;

inline std::string Num(std::int64_t value) {
    return std::to_string(value);
}

inline bool RowVisible(const TKMYFILEPANEL& panel, int index) {
    const TKITEMSSTRUC& list = *panel.FItemsStruc;
    return panel.FView != nullptr && index >= list.FTopIndex &&
           index < list.FTopIndex + std::max(panel.FVisibleRows, 1);
}

inline void DrawRow(TKMYFILEPANEL& panel, int index) {
    if (RowVisible(panel, index))
        panel.FView->DrawItem(index, -1);
}

// With nothing marked, the cursor item is marked (never the up-folder).
inline void MarkCursorItemWhenNoneMarked(TKITEMSSTRUC& list) {
    if (list.FMarkedCount != 0)
        return;
    TKFiles* current = list.GetFileItem(list.FItemIndex);
    if (current != nullptr && current->Kind != ikUpFolder)
        list.MarkItem(current, mmMark);
}

// True when an error says an entry listed as a folder is no folder to enter any more: a symlink
// or a file has taken its place.
inline bool NoLongerAFolder(const TError& error) {
    return error.Errno == ELOOP || error.Errno == ENOTDIR;
}

// True when a folder that could not be read is worth telling about: one that vanished or was
// replaced meanwhile held nothing to report.
inline bool WorthReporting(const TError& error) {
    return error.Code != TErrorCode::ecNotFound && !NoLongerAFolder(error);
}

// The full description of an entry of folder that a typed listing gave; false when it has gone
// since. An entry of a folder that can be read but not searched cannot be described: it is
// taken by its name and kind alone, with no size, time or read-only bit.
inline bool DescribeListed(TKFolder& folder, std::string_view name, TEntryType type, TDirEntry& entry) {
    Result<TDirEntry> described = folder.Describe(name);
    if (described) {
        entry = std::move(*described);
        return true;
    }
    if (described.error().Code == TErrorCode::ecNotFound)
        return false;
    entry = TDirEntry();
    entry.Name.assign(name);
    switch (type) {
    case TEntryType::etFile:
        entry.Mode = ModeFile | ModeOwnerWrite;
        entry.Attr = 32;
        break;
    case TEntryType::etFolder:
        entry.Mode = ModeFolder | ModeOwnerWrite;
        entry.IsFolder = true;
        entry.Attr = 16;
        break;
    case TEntryType::etLink:
        entry.Mode = ModeLink | ModeOwnerWrite;
        entry.IsLink = true;
        break;
    case TEntryType::etOther:
        entry.Attr = 4;
        break;
    }
    if (!name.empty() && name.front() == '.')
        entry.Attr |= 2;
    return true;
}

} // namespace ks::operations
