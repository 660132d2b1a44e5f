#pragma once

#include <cstddef>
#include <memory>

#include "foundation/FileWatcher.h"

namespace ks {

/// Folder watching with inotify: one thread per running watch, asleep in poll() on the inotify
/// descriptor and on an eventfd that `Stop` signals, so stopping takes no polling interval.
///
/// Filter: FILE_NAME and DIR_NAME report creations, deletions and renames of files or of
/// folders (told apart by IN_ISDIR); SIZE and LAST_WRITE report writes (IN_MODIFY, covering
/// truncation, and IN_CLOSE_WRITE); ATTRIBUTES and SECURITY report IN_ATTRIB. Permissions,
/// owners and explicitly set times all arrive as IN_ATTRIB, so they are reported only with one
/// of the last two. Changes of the watched folder's own attributes are not reported; the folder
/// being deleted, moved away or unmounted is, and ends the watch. The raw events of one read are
/// reported as one change.
///
/// Subtree: every sub-folder gets a watch of its own, breadth first, also sub-folders created or
/// moved in later. Symbolic links are not followed. At most maxWatches folders are watched per
/// watch, and adding stops quietly when the user's inotify limit is reached: the folders
/// watched by then keep reporting.
///
/// Thread: `Start` and `Stop` from one thread; the callback runs on the watch's thread. `Stop`
/// returns once the watch's thread has ended; the inotify descriptor is closed on a short-lived
/// thread of its own, as that close waits for the kernel to retire the watches.
class TKInotifyWatchBackend : public TKFileWatchBackend {
public:
    static constexpr std::size_t DefaultMaxWatches = 8192;

    explicit TKInotifyWatchBackend(std::size_t maxWatches = DefaultMaxWatches);
    /// Stops a running watch.
    ~TKInotifyWatchBackend() override;
    TKInotifyWatchBackend(const TKInotifyWatchBackend&) = delete;
    TKInotifyWatchBackend& operator=(const TKInotifyWatchBackend&) = delete;

    /// Fails with the errno of inotify_add_watch when the folder cannot be watched (missing, not
    /// a folder, no access), and with ecUnsupported for an empty filter. The sub-folders of a
    /// subtree are added before it returns.
    Result<void> Start(const std::string& folder, bool subtree, TNotifyFilter filter,
                       TCallback callback) override;
    void Stop() override;

private:
    struct TWatch;
    std::size_t FMaxWatches;
    std::unique_ptr<TWatch> FWatch;
};

} // namespace ks
