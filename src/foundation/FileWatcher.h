#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "foundation/Result.h"

namespace ks {

/// One kind of change a folder watch reports. The values are the Windows change-notification
/// bits, so a set of them stored as a number keeps its meaning.
enum class TFileSysNotify : std::uint32_t {
    FILE_NAME = 1,   ///< a file created, deleted or renamed
    DIR_NAME = 2,    ///< a folder created, deleted or renamed
    ATTRIBUTES = 4,  ///< attributes (permissions, owner, times set explicitly)
    SIZE = 8,        ///< a write that changes a file's size
    LAST_WRITE = 16, ///< a write to a file
    SECURITY = 256,  ///< access rights
};

/// A set of `TFileSysNotify` members, written like a set literal:
/// `TNotifyFilter{TFileSysNotify::FILE_NAME, TFileSysNotify::SIZE}`.
class TNotifyFilter {
public:
    constexpr TNotifyFilter() = default;
    constexpr TNotifyFilter(std::initializer_list<TFileSysNotify> members) {
        for (const TFileSysNotify member : members)
            FBits |= static_cast<std::uint32_t>(member);
    }
    /// The set from its bits; bits that name no member are dropped.
    static constexpr TNotifyFilter FromBits(std::uint32_t bits) {
        TNotifyFilter filter;
        filter.FBits = bits & AllBits;
        return filter;
    }

    constexpr bool Contains(TFileSysNotify member) const {
        return (FBits & static_cast<std::uint32_t>(member)) != 0;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr std::uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TNotifyFilter&) const = default;

private:
    static constexpr std::uint32_t AllBits = 1 | 2 | 4 | 8 | 16 | 256;
    std::uint32_t FBits = 0;
};

/// What a watch backend reports.
enum class TFileWatchEvent {
    weChanged, ///< something in the watched folder changed (one sign may stand for many changes)
    weEnded,   ///< the watch ended by itself (the folder went away, or the wait failed); nothing follows
};

/// The OS side of a folder watch: waits for changes on a thread of its own. One watch at a
/// time per object.
///
/// Thread: `Start` and `Stop` are called from one thread (the owner's); the callback is called
/// from the backend's own thread.
class TKFileWatchBackend {
public:
    using TCallback = std::function<void(TFileWatchEvent event)>;

    virtual ~TKFileWatchBackend() = default;

    /// Starts watching folder (and its sub-folders when subtree is set) for the kinds of change
    /// in filter, stopping a watch still running first. callback is called from another thread
    /// for every batch of changes, and once with weEnded when the watch ends by itself. The
    /// watched folder itself being deleted, moved away or unmounted is reported (weChanged, then
    /// weEnded) whatever the filter holds. Fails, calling nothing, when the folder cannot be
    /// watched or the filter is empty.
    virtual Result<void> Start(const std::string& folder, bool subtree, TNotifyFilter filter,
                               TCallback callback) = 0;
    /// Stops the watch; returns only when no further callback can come. Nothing when no watch
    /// runs.
    virtual void Stop() = 0;
};

/// Reports changes in one folder: the file panel owns one and re-reads its folder when it
/// reports. The waiting happens in a `TKFileWatchBackend`; every report is handed to the owner's
/// thread through the post function and fires `OnFileSysChange` there.
///
/// `Active` is the owner's switch: it reads True from `SetActive`(true) until watching is
/// switched off, also when the backend could not watch or its watch ended by itself (a restart
/// on another folder, subtree switch or filter then tries again). `Watching` tells whether a
/// watch actually runs.
///
/// No report is delivered for a watch that was stopped or replaced, even when its posted call
/// was queued before the switch; posted calls that run after the watcher is destroyed do
/// nothing.
///
/// Thread: the owner's thread only. The backend and the post function are the only parts other
/// threads reach.
class TKFileWatcher {
public:
    /// Runs a function later on the owner's thread (the GUI posts it to its event loop). Called
    /// from the backend's thread; it must not wait for the owner's thread.
    using TPost = std::function<void(std::function<void()>)>;

    /// A watcher, inactive, on no folder, without sub-folders, reporting file names. The
    /// default folder is empty: there is no Windows folder to watch here. post is required;
    /// folder checks use `ks::FileSystem()`, so the platform objects must be installed.
    TKFileWatcher(std::unique_ptr<TKFileWatchBackend> backend, TPost post);
    /// Switches watching off.
    ~TKFileWatcher();
    TKFileWatcher(const TKFileWatcher&) = delete;
    TKFileWatcher& operator=(const TKFileWatcher&) = delete;

    const std::string& MonitoredDirectory() const { return FMonitoredDirectory; }
    /// Nothing when folder equals the current value (exact comparison). A folder that can be
    /// opened (`TKFileSystem::CanOpenFolder`) is stored and an active watcher restarts on it;
    /// any other leaves the value unchanged and switches watching off.
    void SetMonitoredDirectory(const std::string& folder);

    bool WatchSubtree() const { return FWatchSubtree; }
    /// A different value restarts an active watcher.
    void SetWatchSubtree(bool watchSubtree);

    TNotifyFilter NotifyFilter() const { return FNotifyFilter; }
    /// A different value restarts an active watcher.
    void SetNotifyFilter(TNotifyFilter notifyFilter);

    bool Active() const { return FActive; }
    /// True starts watching the current folder (nothing when already active; an empty folder is
    /// not watched); False stops at once, and no report of the stopped watch is delivered.
    void SetActive(bool active);

    /// True while the backend watches: False when inactive, when the folder is empty, when the
    /// backend could not start, and after its watch ended by itself.
    bool Watching() const { return FWatching; }

    /// Fired on the owner's thread for every reported change, with the watched folder as
    /// given to `SetMonitoredDirectory`. Optional. It may switch the watcher off or destroy it.
    std::function<void(const std::string& directory)> OnFileSysChange;

private:
    struct TState;

    void Start();
    void Stop();
    void Restart();
    void Deliver(TFileWatchEvent event, const std::string& folder);

    std::unique_ptr<TKFileWatchBackend> FBackend;
    TPost FPost;
    std::shared_ptr<TState> FState;
    std::string FMonitoredDirectory;
    bool FWatchSubtree = false;
    TNotifyFilter FNotifyFilter{TFileSysNotify::FILE_NAME};
    bool FActive = false;
    bool FWatching = false;
};

} // namespace ks
