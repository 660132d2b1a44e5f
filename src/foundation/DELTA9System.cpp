#include "foundation/DELTA9.h"

#include <utility>

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

// True when nothing is left at path. A failure to look (a folder without search permission) is
// not taken for absence, so a deletion is never reported as done when it cannot be checked.
bool Gone(const std::string& path) {
    const Result<TDirEntry> entry = FileSystem().Stat(path);
    return !entry && entry.error().Code == TErrorCode::ecNotFound;
}

// A full name the deleting helpers accept: absolute, not the root, and free of "." and ".."
// parts, so that a damaged list cannot reach a folder above the one it names.
bool SafeFullName(std::string_view path) {
    if (path.empty() || path.front() != '/' || RemoveTrailingSeparator(path).empty())
        return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// Removes a file, a symbolic link or a whole folder tree. Symbolic links to folders are removed
// as links and never followed. The tree is walked with an explicit stack, so a deep tree cannot
// exhaust the call stack, and each folder is listed completely before anything in it is removed.
bool RemoveTree(const std::string& path) {
    TKFileSystem& fs = FileSystem();
    const Result<TDirEntry> top = fs.Stat(path);
    if (!top)
        return top.error().Code == TErrorCode::ecNotFound;
    if (!top->IsFolder || top->IsLink) {
        const Result<void> removed = fs.RemoveFile(path);
        return removed || Gone(path);
    }
    struct TPending {
        std::string Path;
        bool Listed = false;
    };
    std::vector<TPending> pending{{RemoveTrailingSeparator(path), false}};
    while (!pending.empty()) {
        if (pending.back().Listed) {
            (void)fs.RemoveFolder(pending.back().Path);
            pending.pop_back();
            continue;
        }
        pending.back().Listed = true;
        const std::string folder = AddBackslash(pending.back().Path);
        std::vector<std::string> files;
        std::vector<std::string> folders;
        // Kinds are all the walk needs: a symlink is etLink and goes as a file.
        (void)fs.ListFolderTypes(pending.back().Path, [&](std::string_view name, TEntryType type) {
            (type == TEntryType::etFolder ? folders : files).push_back(folder + std::string(name));
            return true;
        });
        // A failure inside shows as the folder above it staying; the final check reports it.
        for (const std::string& file : files)
            (void)fs.RemoveFile(file);
        for (std::string& sub : folders)
            pending.push_back({std::move(sub), false});
    }
    return Gone(path);
}

} // namespace

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

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
    TKFileSystem& fs = FileSystem();
    // Each folder is listed completely before its sub-folders are walked, so only one folder is
    // open at a time however deep the tree is; the totals are those of a recursive walk.
    std::vector<std::string> pending{path};
    while (!pending.empty() && !FAbort) {
        const std::string folderPath = std::move(pending.back());
        pending.pop_back();
        const std::string folder = AddBackslash(folderPath);
        std::vector<std::string> subFolders;
        (void)fs.ListFolder(folderPath, [&](const TDirEntry& entry) {
            if (FAbort)
                return false;
            if (entry.IsFolder) {
                ++FFolders;
                if (!entry.IsLink)
                    subFolders.push_back(folder + entry.Name);
            } else {
                ++FFiles;
                FBytes += static_cast<std::int64_t>(entry.Size);
            }
            if (ProcessMessages)
                ProcessMessages();
            return !FAbort;
        });
        // Reversed, so the folder listed first is walked first.
        pending.insert(pending.end(), std::make_move_iterator(subFolders.rbegin()),
                       std::make_move_iterator(subFolders.rend()));
    }
    return FBytes;
}

std::int64_t FolderSize(const std::string& path) {
    TFolderSizeWalk walk;
    return walk.Run(path);
}

bool DeleteFileEx(const std::string& name, bool wipe) {
    TKFileSystem& fs = FileSystem();
    const Result<TDirEntry> entry = fs.Stat(name);
    if (!entry)
        return entry.error().Code == TErrorCode::ecNotFound;
    if (entry->IsFolder && !entry->IsLink)
        return false;
    // The permission of a symbolic link is its target's: it is never changed through the link.
    const bool readOnly = (entry->Attr & 1) != 0 && !entry->IsLink;
    bool madeWritable = false;
    const auto makeWritable = [&] {
        if (readOnly && !madeWritable && fs.SetWritable(name, true))
            madeWritable = true;
        return madeWritable;
    };
    const auto giveUp = [&] {
        if (madeWritable)
            (void)fs.SetWritable(name, false);
        return false;
    };
    // Only a regular file has contents to wipe: writing through a link would destroy its target,
    // and writing into a device or a pipe would damage a disk or block.
    if (wipe && !entry->IsLink && (entry->Attr & 4) == 0) {
        Result<void> wiped = fs.OverwriteRandom(name);
        if (!wiped && makeWritable())
            wiped = fs.OverwriteRandom(name);
        if (!wiped)
            return giveUp();
    }
    Result<void> removed = fs.RemoveFile(name);
    if (!removed && !madeWritable && makeWritable())
        removed = fs.RemoveFile(name);
    if (removed || Gone(name))
        return true;
    return giveUp();
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
            if (!trashed || !Gone(entry))
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
