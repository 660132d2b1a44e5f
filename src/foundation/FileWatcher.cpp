#include "foundation/FileWatcher.h"

#include <utility>

#include "foundation/System.h"

namespace ks {

// What posted calls share with the watcher. Only the watcher holds it strongly, so a posted call
// that runs after the watcher is gone finds nothing. Generation grows with every stop: a posted
// call of an older watch sees a different number and is dropped.
struct TKFileWatcher::TState {
    TKFileWatcher* Owner = nullptr;
    std::uint64_t Generation = 0;
};

TKFileWatcher::TKFileWatcher(std::unique_ptr<TKFileWatchBackend> backend, TPost post)
    : FBackend(std::move(backend)), FPost(std::move(post)), FState(std::make_shared<TState>()) {
    FState->Owner = this;
}

TKFileWatcher::~TKFileWatcher() {
    if (FActive)
        Stop();
}

void TKFileWatcher::SetMonitoredDirectory(const std::string& folder) {
    if (folder == FMonitoredDirectory)
        return;
    if (!FileSystem().CanOpenFolder(folder)) {
        SetActive(false);
        return;
    }
    FMonitoredDirectory = folder;
    Restart();
}

void TKFileWatcher::SetWatchSubtree(bool watchSubtree) {
    if (watchSubtree == FWatchSubtree)
        return;
    FWatchSubtree = watchSubtree;
    Restart();
}

void TKFileWatcher::SetNotifyFilter(TNotifyFilter notifyFilter) {
    if (notifyFilter == FNotifyFilter)
        return;
    FNotifyFilter = notifyFilter;
    Restart();
}

void TKFileWatcher::SetActive(bool active) {
    if (active == FActive)
        return;
    if (active)
        Start();
    else
        Stop();
}

void TKFileWatcher::Restart() {
    if (!FActive)
        return;
    Stop();
    Start();
}

void TKFileWatcher::Start() {
    FActive = true;
    FWatching = false;
    if (FMonitoredDirectory.empty())
        return;
    std::weak_ptr<TState> state = FState;
    const std::uint64_t generation = FState->Generation;
    auto callback = [state, generation, post = FPost, folder = FMonitoredDirectory](TFileWatchEvent event) {
        post([state, generation, folder, event] {
            const std::shared_ptr<TState> alive = state.lock();
            if (alive == nullptr || alive->Generation != generation)
                return;
            alive->Owner->Deliver(event, folder);
        });
    };
    FWatching =
        FBackend->Start(FMonitoredDirectory, FWatchSubtree, FNotifyFilter, std::move(callback)).has_value();
}

void TKFileWatcher::Stop() {
    ++FState->Generation;
    FBackend->Stop();
    FActive = false;
    FWatching = false;
}

void TKFileWatcher::Deliver(TFileWatchEvent event, const std::string& folder) {
    if (event == TFileWatchEvent::weEnded) {
        // The backend's thread has finished; joining it now frees it without waiting for the
        // owner to switch off. Active stays as the owner set it.
        ++FState->Generation;
        FBackend->Stop();
        FWatching = false;
        return;
    }
    // A copy, because the handler may destroy this watcher and with it the member.
    const auto handler = OnFileSysChange;
    if (handler)
        handler(folder);
}

} // namespace ks
