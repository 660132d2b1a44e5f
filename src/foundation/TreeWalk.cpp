#include "foundation/TreeWalk.h"

#include <utility>
#include <vector>

namespace ks {

namespace {

// One listed entry: its name lies in the frame's Names.
struct TListed {
    std::size_t Offset;
    std::size_t Size;
    TEntryType Type;
};

// One folder on the way down from the top.
struct TFrame {
    std::unique_ptr<TKFolder> Owned; // empty for the top folder, which the caller owns
    TKFolder* Folder = nullptr;      // null while the walk has let the folder go
    TFileId Id;
    std::string Path;
    // The names of all entries one after the other: one buffer per folder instead of a string
    // per entry.
    std::string Names;
    std::vector<TListed> Entries;
    std::size_t Next = 0;
    std::vector<std::size_t> Later; // entries to walk once every entry has been visited
    std::size_t NextLater = 0;
    std::size_t IndexInParent = 0;
    bool Complete = true;
};

// The folder part and the last part of a full name ("/a/b" gives "/a" and "b"; "/" gives "" and
// "/").
std::pair<std::string_view, std::string_view> SplitLast(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || path.size() == 1)
        return {std::string_view(), path};
    return {slash == 0 ? path.substr(0, 1) : path.substr(0, slash), path.substr(slash + 1)};
}

TError ListInto(TKFolder& folder, TFrame& frame, bool& failed) {
    const Result<void> listed = folder.List([&](std::string_view name, TEntryType type) {
        frame.Entries.push_back({frame.Names.size(), name.size(), type});
        frame.Names.append(name);
        return true;
    });
    failed = !listed;
    return listed ? TError() : listed.error();
}

} // namespace

std::string TWalkEntry::Path() const {
    std::string path(FolderPath);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += Name;
    return path;
}

bool TTreeWalk::Run(TKFolder& top, const std::string& topPath) {
    const std::size_t maxOpen = FMaxOpen < 3 ? 3 : FMaxOpen;
    std::vector<TFrame> frames;
    frames.emplace_back();
    frames[0].Folder = &top;
    frames[0].Id = top.Id();
    frames[0].Path = topPath;

    // Entry i of frame f.
    const auto entryOf = [&](std::size_t f, std::size_t i) {
        const TFrame& frame = frames[f];
        const TListed& listed = frame.Entries[i];
        return TWalkEntry{std::string_view(frame.Names).substr(listed.Offset, listed.Size), listed.Type,
                          frame.Path, static_cast<int>(f) + 1};
    };
    // The folder of frame f as an entry of the folder holding it.
    const auto folderOf = [&](std::size_t f) {
        if (f == 0) {
            const auto [folder, name] = SplitLast(topPath);
            return TWalkEntry{name, TEntryType::etFolder, folder, 0};
        }
        return entryOf(f - 1, frames[f].IndexInParent);
    };

    {
        bool failed = false;
        const TError error = ListInto(top, frames[0], failed);
        if (failed) {
            frames[0].Complete = false;
            if (OnError && OnError(nullptr, folderOf(0), error) == TWalkStep::wsStop)
                return false;
        }
    }

    // Opens entry i of the last frame and pushes it; false to stop the walk.
    const auto descend = [&](std::size_t i) -> bool {
        const std::size_t parentIndex = frames.size() - 1;
        const TWalkEntry entry = entryOf(parentIndex, i);
        TKFolder& parent = *frames[parentIndex].Folder;
        Result<std::unique_ptr<TKFolder>> opened = parent.Open(entry.Name);
        if (!opened)
            return !(OnError && OnError(&parent, entry, opened.error()) == TWalkStep::wsStop);
        TFrame frame;
        frame.Owned = std::move(*opened);
        frame.Folder = frame.Owned.get();
        frame.Id = frame.Folder->Id();
        frame.Path = entry.Path();
        frame.IndexInParent = i;
        bool failed = false;
        const TError error = ListInto(*frame.Folder, frame, failed);
        if (OnEnter) {
            const TWalkStep step = OnEnter(parent, *frame.Folder, entry);
            if (step == TWalkStep::wsStop)
                return false;
            if (step == TWalkStep::wsNext)
                return true;
        }
        if (failed) {
            frame.Complete = false;
            if (OnError && OnError(&parent, entry, error) == TWalkStep::wsStop)
                return false;
        }
        frames.push_back(std::move(frame));
        // Only the folders nearest the bottom stay open; the top is the caller's and stays too.
        if (frames.size() > maxOpen) {
            TFrame& released = frames[frames.size() - maxOpen];
            released.Folder = nullptr;
            released.Owned.reset();
        }
        return true;
    };

    while (!frames.empty()) {
        const std::size_t current = frames.size() - 1;
        TFrame& frame = frames[current];
        if (frame.Next < frame.Entries.size()) {
            const std::size_t i = frame.Next++;
            const TWalkEntry entry = entryOf(current, i);
            const TWalkStep step = OnEntry(*frame.Folder, entry);
            if (step == TWalkStep::wsStop)
                return false;
            if (entry.Type != TEntryType::etFolder)
                continue;
            if (step == TWalkStep::wsEnter) {
                if (!descend(i))
                    return false;
            } else if (step == TWalkStep::wsEnterLater) {
                frame.Later.push_back(i);
            }
            continue;
        }
        if (frame.NextLater < frame.Later.size()) {
            const std::size_t i = frame.Later[frame.NextLater++];
            if (!descend(i))
                return false;
            continue;
        }
        if (current == 0)
            return true;

        TFrame& parent = frames[current - 1];
        if (parent.Folder == nullptr) {
            // The walk let the parent go on the way down; it comes back through "..", and only
            // to the very folder it left: a folder moved elsewhere meanwhile ends the walk.
            Result<std::unique_ptr<TKFolder>> up = frame.Folder->OpenParent();
            if (!up || (*up)->Id() != parent.Id) {
                const TError error =
                    up ? TError{TErrorCode::ecChanged, 0, parent.Path, "the folder was moved during the walk"}
                       : up.error();
                if (OnError)
                    OnError(nullptr, folderOf(current - 1), error);
                return false;
            }
            parent.Owned = std::move(*up);
            parent.Folder = parent.Owned.get();
        }
        if (OnLeave && OnLeave(*parent.Folder, folderOf(current), frame.Complete) == TWalkStep::wsStop)
            return false;
        frames.pop_back();
    }
    return true;
}

} // namespace ks
