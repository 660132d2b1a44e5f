#include "foundation/DELTA9.h"

#include <cerrno>
#include <utility>

#include "foundation/TreeWalk.h"

namespace ks {

namespace {

// Registry key paths may come with a leading "\" (the root written out); both forms name the same key.
std::string_view TrimKey(std::string_view key) {
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    return key;
}

// True when nothing is left under name in folder. A failure to look (a folder without search
// permission) is not taken for absence, so a deletion is never reported as done when it cannot be
// checked.
bool Gone(TKFolder& folder, std::string_view name) {
    const Result<TDirEntry> entry = folder.Describe(name);
    return !entry && entry.error().Code == TErrorCode::ecNotFound;
}

// The same for a full name.
bool GonePath(const std::string& path) {
    const Result<TDirEntry> entry = FileSystem().Stat(path);
    return !entry && entry.error().Code == TErrorCode::ecNotFound;
}

// True when the error says the entry is no folder to enter any more (a symlink or a file has
// taken its place): it is then removed as a file.
bool NoLongerAFolder(const TError& error) {
    return error.Errno == ELOOP || error.Errno == ENOTDIR;
}

// A full name the deleting helpers accept: absolute, not the root, and free of "." and ".."
// parts, so that a damaged list cannot reach a folder above the one it names.
bool SafeFullName(std::string_view path) {
    if (path.empty() || path.front() != '/' || RemoveTrailingSeparator(path).empty())
        return false;
    return ForEachField(path.substr(1), '/',
                        [](std::string_view part) { return part != "." && part != ".."; });
}

// Removes a file, a symbolic link or a whole folder tree. Symbolic links to folders are removed
// as links and never followed; the tree is walked through its open folders, so a folder swapped
// for a link meanwhile cannot lead the removal elsewhere.
bool RemoveTree(const std::string& path) {
    Result<TFolderEntry> parent = OpenEntryFolder(FileSystem(), path);
    if (!parent)
        return parent.error().Code == TErrorCode::ecNotFound && GonePath(path);
    TKFolder& folder = *parent->Folder;
    const std::string& name = parent->Name;
    const Result<TDirEntry> top = folder.Describe(name);
    if (!top)
        return top.error().Code == TErrorCode::ecNotFound;
    const auto removeFile = [](TKFolder& in, std::string_view entry) {
        return static_cast<bool>(in.RemoveFile(entry)) || Gone(in, entry);
    };
    if (!top->IsFolder || top->IsLink)
        return removeFile(folder, name);
    Result<std::unique_ptr<TKFolder>> opened = folder.Open(name);
    if (!opened)
        return NoLongerAFolder(opened.error()) ? removeFile(folder, name) : Gone(folder, name);
    TTreeWalk walk;
    walk.OnEntry = [&](TKFolder& in, const TWalkEntry& entry) {
        if (entry.Type == TEntryType::etFolder)
            return TWalkStep::wsEnter;
        // A failure inside shows as the folder above it staying; the final check reports it.
        removeFile(in, entry.Name);
        return TWalkStep::wsNext;
    };
    walk.OnError = [&](TKFolder* in, const TWalkEntry& entry, const TError& error) {
        if (in != nullptr && NoLongerAFolder(error))
            removeFile(*in, entry.Name);
        return TWalkStep::wsNext;
    };
    walk.OnLeave = [](TKFolder& in, const TWalkEntry& entry, bool) {
        (void)in.RemoveFolder(entry.Name); // what stays shows in the final check
        return TWalkStep::wsNext;
    };
    walk.Run(**opened, path);
    opened->reset();
    (void)folder.RemoveFolder(name);
    return Gone(folder, name);
}

} // namespace

std::string GetDriveRoot(const std::string& path) {
    return path.empty() ? std::string() : System().DriveRoot(path);
}

bool ExpandPathMacro(std::string& path) {
    const std::string word = UpperCase(path);
    std::string folder;
    if (word == ".DOC" || word == ".D")
        folder = GetShellFolder("Personal");
    else if (word == ".DESKTOP" || word == ".DESK")
        folder = GetShellFolder("Desktop");
    else if (word == ".WINDOWS" || word == ".WIN" || word == ".W")
        folder = GetWindowsDir();
    else if (word == ".SYSTEM" || word == ".SYS")
        folder = GetSystemDir();
    else if (word == ".COMMON")
        folder = GetCommonFilesDir();
    else if (word == ".PROGRAMFILES" || word == ".PF")
        folder = GetProgramFilesDir();
    else if (word == ".STARTUP" || word == ".SUP")
        folder = GetShellFolder("Startup");
    else if (word == ".TEMP" || word == ".T")
        folder = GetTempDir();
    else
        return false;
    path = std::move(folder);
    return true;
}

void SplitCommandLine(std::string_view text, std::string& program, std::string& parameters) {
    program.clear();
    parameters.clear();
    if (text.empty() || text.front() != '/') {
        const std::size_t space = text.find(' ');
        program = text.substr(0, space);
        if (space != std::string_view::npos)
            parameters = text.substr(space + 1);
        return;
    }
    // An absolute program path may hold spaces; the first space after a name that exists ends it.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ')
            continue;
        const std::string gathered(text.substr(0, i));
        if (FileSystem().Exists(gathered)) {
            program = gathered;
            parameters = text.substr(i + 1);
            return;
        }
    }
    program = text;
}

std::string GetAppPath() {
    return AddBackslash(System().AppPath());
}
std::string GetTempDir() {
    return System().TempDir();
}
std::string GetWindowsDir() {
    return System().WindowsDir();
}
std::string GetSystemDir() {
    return System().SystemDir();
}
std::string GetCommonFilesDir() {
    return System().CommonFilesDir();
}
std::string GetProgramFilesDir() {
    return System().ProgramFilesDir();
}
std::string GetShellFolder(std::string_view name) {
    return System().ShellFolder(name);
}

std::string RegReadString(TRegRoot root, std::string_view key, std::string_view valueName) {
    const std::string_view path = TrimKey(key);
    switch (root) {
    case TRegRoot::rrCurrentUser: {
        const TKRegistryStore* store = RegistryStore();
        if (store == nullptr)
            return {};
        return store->Read(path, valueName).value_or(std::string());
    }
    case TRegRoot::rrLocalMachine:
        if (SameText(path, "System\\CurrentControlSet\\Control\\Nls\\Locale") && valueName.empty())
            return System().LocaleId();
        if (SameText(path, "Software\\Microsoft\\Windows\\CurrentVersion")) {
            if (SameText(valueName, "ProgramFilesDir"))
                return GetProgramFilesDir();
            if (SameText(valueName, "CommonFilesDir"))
                return GetCommonFilesDir();
        }
        return {};
    case TRegRoot::rrClassesRoot:
        // Only extension keys (".txt") are answered, from the shared MIME database.
        if (path.size() < 2 || path.front() != '.' || path.find('\\') != std::string_view::npos)
            return {};
        if (valueName.empty())
            return System().FileTypeName(path);
        if (SameText(valueName, "Content Type"))
            return System().ContentType(path);
        return {};
    case TRegRoot::rrCurrentConfig:
        // The display depth is not offered; an empty answer reads as "a deep enough display".
        return {};
    }
    return {};
}

void RegWriteString(TRegRoot root, std::string_view key, std::string_view valueName, std::string_view text) {
    if (root != TRegRoot::rrCurrentUser)
        return;
    TKRegistryStore* store = RegistryStore();
    const std::string_view path = TrimKey(key);
    if (store == nullptr || path.empty())
        return;
    store->Write(path, valueName, text);
}

std::string GetFileTypeName(std::string_view ext) {
    return RegReadString(TRegRoot::rrClassesRoot, ext, "");
}

std::string GetContentType(std::string_view ext) {
    return RegReadString(TRegRoot::rrClassesRoot, ext, "Content Type");
}

bool FolderExists(const std::string& path) {
    return !path.empty() && FileSystem().CanOpenFolder(path);
}

bool DriveReady(const std::string& path) {
    const std::string root = GetDriveRoot(path);
    return !root.empty() && FileSystem().CanOpenFolder(root);
}

std::optional<TVolumeInfo> GetVolumeInfo(const std::string& root) {
    if (root.empty())
        return std::nullopt;
    return System().VolumeInfo(root);
}

std::int64_t GetDiskSize(const std::string& path) {
    return path.empty() ? 0 : System().DiskSize(path);
}

std::int64_t GetDiskFree(const std::string& path) {
    return path.empty() ? 0 : System().DiskFree(path);
}

std::int64_t TFolderSizeWalk::Run(const std::string& path) {
    FFolders = 0;
    FFiles = 0;
    FBytes = 0;
    FUnreadable = 0;
    FFirstUnreadable.clear();
    if (FAbort)
        return 0;
    const auto unreadable = [this](std::string_view folder, const TError& error) {
        // A folder that went away, or was replaced by something else, while it was counted held
        // nothing to count.
        if (error.Code == TErrorCode::ecNotFound || NoLongerAFolder(error))
            return;
        if (FUnreadable++ == 0)
            FFirstUnreadable = folder;
    };
    Result<std::unique_ptr<TKFolder>> top = FileSystem().OpenFolder(path);
    if (!top) {
        unreadable(path, top.error());
        return 0;
    }
    TTreeWalk walk;
    walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) {
        if (FAbort)
            return TWalkStep::wsStop;
        TWalkStep step = TWalkStep::wsNext;
        if (entry.Type == TEntryType::etFolder) {
            ++FFolders;
            step = TWalkStep::wsEnterLater;
        } else if (entry.Type == TEntryType::etOther) {
            ++FFiles;
        } else {
            const Result<TDirEntry> described = folder.Describe(entry.Name);
            if (!described && described.error().Code == TErrorCode::ecNotFound)
                return TWalkStep::wsNext; // gone since the folder was listed
            // A folder readable but not searchable gives names only: a file of unknown size.
            if (described && described->IsFolder) {
                ++FFolders;
            } else {
                ++FFiles;
                if (described)
                    FBytes += static_cast<std::int64_t>(described->Size);
            }
        }
        if (ProcessMessages)
            ProcessMessages();
        return FAbort ? TWalkStep::wsStop : step;
    };
    walk.OnError = [&](TKFolder*, const TWalkEntry& entry, const TError& error) {
        unreadable(entry.Path(), error);
        return TWalkStep::wsNext;
    };
    walk.OnLeave = [&](TKFolder&, const TWalkEntry& entry, bool) {
        if (entry.Depth == 1 && AfterSubFolder)
            AfterSubFolder();
        return FAbort ? TWalkStep::wsStop : TWalkStep::wsNext;
    };
    walk.Run(**top, path);
    return FBytes;
}

std::int64_t FolderSize(const std::string& path) {
    TFolderSizeWalk walk;
    return walk.Run(path);
}

TFileDeleted DeleteFileAt(TKFolder& folder, std::string_view name, bool wipe) {
    // Most files go with one unlink (a folder is refused by it); the rest needs a closer look.
    if (!wipe && folder.RemoveFile(name))
        return TFileDeleted::fdGone;
    const Result<TDirEntry> entry = folder.Describe(name);
    if (!entry)
        return entry.error().Code == TErrorCode::ecNotFound ? TFileDeleted::fdGone : TFileDeleted::fdFailed;
    if (entry->IsFolder && !entry->IsLink)
        return TFileDeleted::fdFailed;
    bool unwiped = false;
    // Only a regular file has contents to wipe: writing through a link would destroy its target,
    // and writing into a device or a pipe would damage a disk or block.
    if (wipe && !entry->IsLink && (entry->Attr & 4) == 0) {
        const Result<TWipeOutcome> wiped = folder.Wipe(name);
        if (!wiped)
            return TFileDeleted::fdFailed;
        unwiped = *wiped == TWipeOutcome::woOtherLinks;
    }
    const TFileDeleted done = unwiped ? TFileDeleted::fdGoneUnwiped : TFileDeleted::fdGone;
    if (folder.RemoveFile(name) || Gone(folder, name))
        return done;
    // The permission of a symbolic link is its target's, and that of a file with other names is
    // theirs too: neither is ever changed.
    const bool readOnly = (entry->Attr & 1) != 0 && !entry->IsLink && entry->Links <= 1;
    if (!readOnly || !folder.SetWritable(name, true))
        return TFileDeleted::fdFailed;
    if (folder.RemoveFile(name) || Gone(folder, name))
        return done;
    (void)folder.SetWritable(name, false);
    return TFileDeleted::fdFailed;
}

bool DeleteFileEx(const std::string& name, bool wipe) {
    Result<TFolderEntry> parent = OpenEntryFolder(FileSystem(), name);
    if (!parent)
        return parent.error().Code == TErrorCode::ecNotFound && !name.empty() && name.front() == '/' &&
               GonePath(name);
    return DeleteFileAt(*parent->Folder, parent->Name, wipe) != TFileDeleted::fdFailed;
}

bool RecycleDelete(std::string_view list, bool toRecycleBin) {
    bool named = false;
    bool allGone = true;
    const int count = FieldCount(list, ';');
    for (int i = 0; i < count; ++i) {
        const std::string entry = GetField(list, ';', i);
        if (entry.empty())
            continue;
        named = true;
        if (!SafeFullName(entry)) {
            allGone = false;
            continue;
        }
        if (toRecycleBin) {
            const Result<void> trashed = System().MoveToTrash(entry);
            if (!trashed || !GonePath(entry))
                allGone = false;
        } else if (!RemoveTree(entry)) {
            allGone = false;
        }
    }
    return named && allGone;
}

bool RunProgram(const std::string& file, const std::string& parameters, const std::string& folder) {
    return static_cast<bool>(System().RunProgram(file, parameters, folder));
}

void CopyTextToClipboard(const std::string& text) {
    System().CopyTextToClipboard(text);
}

std::string GetClipboardText() {
    return System().GetClipboardText();
}

Result<void> LogOff() {
    return System().LogOff();
}

Result<void> CloseCdTray() {
    return System().CloseCdTray();
}

} // namespace ks
