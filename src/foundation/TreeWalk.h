#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// One entry met by a tree walk. The texts point into the walk's own data: valid during the
/// event only.
struct TWalkEntry {
    std::string_view Name;
    TEntryType Type = TEntryType::etOther; ///< as the folder's listing gave it
    /// The full name of the folder holding the entry (empty for the root "/" itself). For messages
    /// and results only: the walk never opens a path.
    std::string_view FolderPath;
    int Depth = 0; ///< 0 the top folder, 1 its entries, 2 theirs, ...

    /// The entry's full name, for messages and results (made on demand: most entries need none).
    std::string Path() const;
};

/// What a walk does after a visitor's answer.
enum class TWalkStep {
    wsNext,       ///< go on with the next entry
    wsEnter,      ///< walk this folder now, before the next entry of its folder
    wsEnterLater, ///< walk this folder after every entry of its folder has been visited
    wsStop,       ///< end the walk at once; no further event comes
};

/// The one way to walk a folder tree: every folder is reached through the open folder above it
/// (`TKFolder::Open`, which never follows a symbolic link), so a folder renamed or swapped for a
/// link while the walk runs cannot redirect it, and no full path is ever re-resolved. Depth is no
/// limit: at most `FMaxOpen` folders stay open; the walk returns to a folder it let go through
/// the ".." of the one below and goes on only when that is the very folder it left (same
/// `TFileId`); otherwise it reports ecChanged through OnError and stops.
///
/// Each folder is listed completely before its first entry is visited, so what a visitor
/// removes or creates cannot disturb the listing.
///
/// Thread: one walk at a time per object; walks of different objects may run on several threads.
class TTreeWalk {
public:
    /// Every entry of every folder walked, in listing order, with the folder holding it. A
    /// folder is walked only when the answer is wsEnter or wsEnterLater (other kinds are never
    /// entered, whatever the answer). Required.
    std::function<TWalkStep(TKFolder& folder, const TWalkEntry& entry)> OnEntry;
    /// A folder just opened and listed, before its first entry (and before OnError about a failed
    /// listing); wsNext leaves it without visiting anything in it (and without OnLeave), wsStop
    /// ends the walk, any other answer walks it. Optional.
    std::function<TWalkStep(TKFolder& parent, TKFolder& folder, const TWalkEntry& entry)> OnEnter;
    /// A folder after everything in it was visited, with the folder holding it. complete is false
    /// when it could not be listed in full (OnError told why). Optional.
    std::function<TWalkStep(TKFolder& parent, const TWalkEntry& entry, bool complete)> OnLeave;
    /// A folder that could not be opened or listed. parent is the folder holding it, null for the
    /// top folder and for the ecChanged stop. A folder that could not be opened is then left
    /// (no OnEnter, no OnLeave); one listed only in part is walked as far as it was listed.
    /// Without a handler the walk goes on. Optional.
    std::function<TWalkStep(TKFolder* parent, const TWalkEntry& entry, const TError& error)> OnError;

    /// Walks everything below top, whose full name is topPath (used for the entries' Path texts
    /// only). True when the walk went through to the end, false when a visitor or the walk
    /// itself stopped it.
    bool Run(TKFolder& top, const std::string& topPath);

    /// How many folders the walk keeps open at once (at least 2).
    std::size_t FMaxOpen = 48;
};

} // namespace ks
