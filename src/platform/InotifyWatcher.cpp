#include "platform/InotifyWatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks {
namespace {

constexpr std::uint32_t NameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t WriteEvents = IN_MODIFY | IN_CLOSE_WRITE;
constexpr std::uint32_t SelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

// The inotify mask of every watched folder. IN_EXCL_UNLINK keeps a file that was deleted while
// still open from reporting the writes nobody can see any more.
std::uint32_t MaskFor(TNotifyFilter filter, bool subtree) {
    std::uint32_t mask = IN_ONLYDIR | IN_EXCL_UNLINK;
    if (filter.Contains(TFileSysNotify::FILE_NAME) || filter.Contains(TFileSysNotify::DIR_NAME))
        mask |= NameEvents;
    if (filter.Contains(TFileSysNotify::SIZE) || filter.Contains(TFileSysNotify::LAST_WRITE))
        mask |= WriteEvents;
    if (filter.Contains(TFileSysNotify::ATTRIBUTES) || filter.Contains(TFileSysNotify::SECURITY))
        mask |= IN_ATTRIB;
    // New sub-folders need watches of their own and moved ones a new path, whatever is reported.
    if (subtree)
        mask |= IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO;
    return mask;
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

enum class TAdded { adNew, adSkipped, adFull };

// Closing an inotify descriptor waits until the kernel has retired its watches, which takes tens
// of milliseconds when another instance watches the same folder (both panels on one folder). A
// thread of its own closes it, so a folder change does not wait for that, and at exit the two
// panels' descriptors are retired side by side instead of one after the other.
void CloseAside(int fd) {
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (const std::system_error&) {
        ::close(fd);
    }
}

} // namespace

// One running watch. Start fills it before the thread starts; from then on only the thread
// touches it, until Stop has joined the thread.
struct TKInotifyWatchBackend::TWatch {
    int Fd = -1;
    int StopFd = -1;
    int RootWd = -1;
    bool Subtree = false;
    TNotifyFilter Filter;
    std::uint32_t Mask = 0;
    std::size_t MaxWatches = 0;
    TCallback Callback;
    std::map<int, std::string> Folders; // every watched folder by its descriptor, the root too
    std::thread Thread;

    ~TWatch() {
        if (Fd >= 0)
            CloseAside(Fd);
        if (StopFd >= 0)
            ::close(StopFd);
    }

    TAdded WatchFolder(const std::string& folder);
    void WatchSubFolders(const std::string& top);
    void UnwatchTree(const std::string& folder);
    void Handle(const inotify_event& event, std::string_view name, bool& changed, bool& ended);
    bool Notify(TFileWatchEvent event);
    void Run();
};

// Adds a watch for a sub-folder found in the tree.
TAdded TKInotifyWatchBackend::TWatch::WatchFolder(const std::string& folder) {
    if (Folders.size() >= MaxWatches)
        return TAdded::adFull;
    const int wd = ::inotify_add_watch(Fd, folder.c_str(), Mask | IN_DONT_FOLLOW);
    if (wd < 0)
        return errno == ENOSPC || errno == ENOMEM ? TAdded::adFull : TAdded::adSkipped;
    // A folder reached a second time (a bind mount of its own ancestor) gives a descriptor we
    // already hold; descending again would loop.
    return Folders.emplace(wd, folder).second ? TAdded::adNew : TAdded::adSkipped;
}

// Watches the sub-folders below top (not top itself), breadth first, so that a limit leaves the
// folders nearest to the root watched.
void TKInotifyWatchBackend::TWatch::WatchSubFolders(const std::string& top) {
    std::deque<std::string> pending{top};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.front());
        pending.pop_front();
        const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0)
            continue;
        DIR* dir = ::fdopendir(folderFd);
        if (dir == nullptr) {
            ::close(folderFd);
            continue;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info {};
                isFolder = ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(info.st_mode);
            }
            if (!isFolder)
                continue;
            std::string child = Join(folder, name);
            const TAdded added = WatchFolder(child);
            if (added == TAdded::adFull) {
                ::closedir(dir);
                return;
            }
            if (added == TAdded::adNew)
                pending.push_back(std::move(child));
        }
        ::closedir(dir);
    }
}

// Drops the watches of a sub-folder that moved and of everything below it: their paths are
// stale, and a moved-in folder is watched again under its new name.
void TKInotifyWatchBackend::TWatch::UnwatchTree(const std::string& folder) {
    const std::string below = Join(folder, "");
    for (auto it = Folders.begin(); it != Folders.end();) {
        if (it->first != RootWd && (it->second == folder || it->second.starts_with(below))) {
            ::inotify_rm_watch(Fd, it->first);
            it = Folders.erase(it);
        } else {
            ++it;
        }
    }
}

void TKInotifyWatchBackend::TWatch::Handle(const inotify_event& event, std::string_view name, bool& changed,
                                           bool& ended) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        changed = true;
        return;
    }
    if (event.wd == RootWd && (event.mask & (SelfEvents | IN_IGNORED | IN_UNMOUNT)) != 0) {
        changed = true;
        ended = true;
        return;
    }
    if ((event.mask & IN_IGNORED) != 0) {
        Folders.erase(event.wd);
        return;
    }
    // Events without a name concern a watched folder itself (its attributes); only what
    // happens inside is reported.
    if (name.empty())
        return;
    const bool isFolder = (event.mask & IN_ISDIR) != 0;
    if ((event.mask & NameEvents) != 0 &&
        Filter.Contains(isFolder ? TFileSysNotify::DIR_NAME : TFileSysNotify::FILE_NAME))
        changed = true;
    if ((event.mask & WriteEvents) != 0 &&
        (Filter.Contains(TFileSysNotify::SIZE) || Filter.Contains(TFileSysNotify::LAST_WRITE)))
        changed = true;
    if ((event.mask & IN_ATTRIB) != 0 &&
        (Filter.Contains(TFileSysNotify::ATTRIBUTES) || Filter.Contains(TFileSysNotify::SECURITY)))
        changed = true;
    if (!Subtree || !isFolder)
        return;
    const auto parent = Folders.find(event.wd);
    if (parent == Folders.end())
        return;
    const std::string child = Join(parent->second, name);
    if ((event.mask & IN_MOVED_FROM) != 0)
        UnwatchTree(child);
    // A folder moved in arrives with its contents, so the whole tree below it is added.
    if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 && WatchFolder(child) == TAdded::adNew)
        WatchSubFolders(child);
}

// False when the callback failed: the watch then ends, as nothing can be reported any more.
bool TKInotifyWatchBackend::TWatch::Notify(TFileWatchEvent event) {
    try {
        Callback(event);
        return true;
    } catch (...) {
        return false;
    }
}

void TKInotifyWatchBackend::TWatch::Run() {
    // Room for many events; one event is at most sizeof(inotify_event) + NAME_MAX + 1 bytes.
    alignas(inotify_event) char buffer[32 * 1024];
    pollfd waits[2] = {{Fd, POLLIN, 0}, {StopFd, POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            Notify(TFileWatchEvent::weEnded);
            return;
        }
        if (waits[1].revents != 0)
            return;
        if ((waits[0].revents & POLLIN) == 0) {
            if (waits[0].revents != 0) {
                Notify(TFileWatchEvent::weEnded);
                return;
            }
            continue;
        }
        const ssize_t got = ::read(Fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            Notify(TFileWatchEvent::weEnded);
            return;
        }
        bool changed = false;
        bool ended = false;
        for (std::size_t offset = 0; offset + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char* nameStart = buffer + offset + sizeof event;
            const std::size_t nameRoom =
                std::min<std::size_t>(event.len, static_cast<std::size_t>(got) - offset - sizeof event);
            const std::string_view name(nameStart, ::strnlen(nameStart, nameRoom));
            Handle(event, name, changed, ended);
            if (ended)
                break;
            offset += sizeof event + event.len;
        }
        if (changed && !Notify(TFileWatchEvent::weChanged))
            return;
        if (ended) {
            Notify(TFileWatchEvent::weEnded);
            return;
        }
    }
}

TKInotifyWatchBackend::TKInotifyWatchBackend(std::size_t maxWatches) : FMaxWatches(maxWatches) {}

TKInotifyWatchBackend::~TKInotifyWatchBackend() {
    Stop();
}

Result<void> TKInotifyWatchBackend::Start(const std::string& folder, bool subtree, TNotifyFilter filter,
                                          TCallback callback) {
    Stop();
    if (filter.Empty())
        return TError{TErrorCode::ecUnsupported, EINVAL, folder, "empty notify filter"};
    auto watch = std::make_unique<TWatch>();
    watch->Fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->Fd < 0)
        return ErrnoError(folder, errno, "inotify_init1");
    watch->StopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watch->StopFd < 0)
        return ErrnoError(folder, errno, "eventfd");
    watch->Subtree = subtree;
    watch->Filter = filter;
    watch->Mask = MaskFor(filter, subtree);
    watch->MaxWatches = FMaxWatches == 0 ? 1 : FMaxWatches;
    watch->Callback = std::move(callback);
    watch->RootWd = ::inotify_add_watch(watch->Fd, folder.c_str(), watch->Mask | SelfEvents);
    if (watch->RootWd < 0)
        return ErrnoError(folder, errno, "inotify_add_watch");
    watch->Folders.emplace(watch->RootWd, folder);
    if (subtree)
        watch->WatchSubFolders(folder);
    try {
        watch->Thread = std::thread([running = watch.get()] { running->Run(); });
    } catch (const std::system_error& error) {
        return TError{TErrorCode::ecIo, error.code().value(), folder, "thread"};
    }
    FWatch = std::move(watch);
    return {};
}

void TKInotifyWatchBackend::Stop() {
    if (FWatch == nullptr)
        return;
    const std::uint64_t one = 1;
    // Writing to an eventfd fails only when its counter would overflow, which one write a
    // watch cannot cause.
    [[maybe_unused]] const ssize_t written = ::write(FWatch->StopFd, &one, sizeof one);
    if (FWatch->Thread.joinable())
        FWatch->Thread.join();
    FWatch.reset();
}

} // namespace ks
