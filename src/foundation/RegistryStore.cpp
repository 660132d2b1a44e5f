#include "foundation/RegistryStore.h"

#include "foundation/DELTA9.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The store file is REGEDIT4 text:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\delta9\[sable!]\m_lpanel]
//   "ppath"="/home/ann"
//   @="the default value"
//
// Every value is a string. Inside the quotes "\\" stands for a backslash and "\"" for a quote.
// REGEDIT4 has no way to write a line break inside a value, so this file adds three escapes of
// its own: "\n" for LF, "\r" for CR and "\0" for a NUL byte; any other byte, non-UTF-8 ones
// included, is written as it is. Every other backslash sequence, a raw NUL byte, a CR that does
// not end a line or a line that is neither a key, a value, a ";" comment nor blank makes the file
// damaged. Lines end in LF when written; LF or CR LF are read.
//
// Keys are written in the order they were created, which is also the order of sub-keys. A key
// without values is left out when the key after it is one of its sub-keys: that key's line
// implies it, in the same place. Any other empty key gets a line of its own, so it survives a
// reload.

namespace ks {

namespace {

constexpr std::string_view RootName = "HKEY_CURRENT_USER";
// Registry keys nest at most 512 deep; the limit also keeps parsing a hostile file linear.
constexpr std::size_t MaxKeyDepth = 512;
// How long a flush waits for another process's flush to finish.
constexpr int LockWaitMs = 10000;

TKRegistryStore* GRegistryStore = nullptr;

// True when child names a key below parent (compared without regard to case).
bool IsBelow(std::string_view child, std::string_view parent) {
    return child.size() > parent.size() && child[parent.size()] == '\\' &&
           SameText(child.substr(0, parent.size()), parent);
}

// The parts of a key path joined by single backslashes; nothing when the path cannot be stored.
std::optional<std::string> NormalKeyPath(std::string_view keyPath) {
    std::string out;
    std::size_t depth = 0;
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        std::size_t end = keyPath.find('\\', start);
        if (end == std::string_view::npos)
            end = keyPath.size();
        const std::string_view part = keyPath.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        if (part.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            return std::nullopt;
        if (++depth > MaxKeyDepth)
            return std::nullopt;
        if (!out.empty())
            out += '\\';
        out += part;
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

struct TKeyEntry {
    TRegistryKeyText Key;
    std::string Folded;                                 // Key.Path folded to lower case
    std::unordered_map<std::string, std::size_t> Index; // folded value name -> place in Values
};

// The keys of a store in creation order; every key's parents come before it.
class TContent {
public:
    const TKeyEntry* Find(std::string_view path) const {
        const auto it = FIndex.find(LowerCase(path));
        return it == FIndex.end() ? nullptr : &FKeys[it->second];
    }

    // Finds or creates the key of a normal path, creating missing parents first.
    TKeyEntry& Create(std::string_view path) {
        const std::string folded = LowerCase(path);
        if (const auto it = FIndex.find(folded); it != FIndex.end())
            return FKeys[it->second];
        constexpr std::size_t None = std::string::npos;
        std::size_t parent = None;
        for (std::size_t partStart = 0;;) {
            const std::size_t end = folded.find('\\', partStart);
            std::string prefix = folded.substr(0, end);
            if (const auto it = FIndex.find(prefix); it != FIndex.end()) {
                parent = it->second;
            } else {
                // A new key keeps its parent's case and takes its own part as given.
                TKeyEntry entry;
                const std::string_view part = path.substr(partStart, prefix.size() - partStart);
                if (parent != None)
                    entry.Key.Path = FKeys[parent].Key.Path + "\\";
                entry.Key.Path += part;
                entry.Folded = prefix;
                parent = FKeys.size();
                FIndex.emplace(std::move(prefix), parent);
                FKeys.push_back(std::move(entry));
            }
            if (end == None)
                return FKeys[parent];
            partStart = end + 1;
        }
    }

    void SetValue(std::string_view path, std::string_view name, std::string_view value) {
        TKeyEntry& key = Create(path);
        std::string foldedName = LowerCase(name);
        if (const auto it = key.Index.find(foldedName); it != key.Index.end()) {
            key.Key.Values[it->second].second = value;
            return;
        }
        key.Index.emplace(std::move(foldedName), key.Key.Values.size());
        key.Key.Values.emplace_back(std::string(name), std::string(value));
    }

    void DeleteValue(std::string_view path, std::string_view name) {
        const auto keyIt = FIndex.find(LowerCase(path));
        if (keyIt == FIndex.end())
            return;
        TKeyEntry& key = FKeys[keyIt->second];
        const auto it = key.Index.find(LowerCase(name));
        if (it == key.Index.end())
            return;
        key.Key.Values.erase(key.Key.Values.begin() + static_cast<std::ptrdiff_t>(it->second));
        key.Index.clear();
        for (std::size_t i = 0; i < key.Key.Values.size(); ++i)
            key.Index.emplace(LowerCase(key.Key.Values[i].first), i);
    }

    void DeleteKey(std::string_view path) {
        const std::string folded = LowerCase(path);
        if (FIndex.find(folded) == FIndex.end())
            return;
        std::erase_if(
            FKeys, [&](const TKeyEntry& key) { return key.Folded == folded || IsBelow(key.Folded, folded); });
        FIndex.clear();
        for (std::size_t i = 0; i < FKeys.size(); ++i)
            FIndex.emplace(FKeys[i].Folded, i);
    }

    // The direct sub-keys of a normal path ("" for the root), in creation order.
    std::vector<std::string> SubKeys(std::string_view path) const {
        const std::string prefix = path.empty() ? std::string() : LowerCase(path) + "\\";
        std::vector<std::string> names;
        for (const TKeyEntry& key : FKeys) {
            if (key.Folded.size() <= prefix.size() || key.Folded.compare(0, prefix.size(), prefix) != 0)
                continue;
            if (key.Folded.find('\\', prefix.size()) == std::string::npos)
                names.push_back(key.Key.Path.substr(prefix.size()));
        }
        return names;
    }

    const std::vector<TKeyEntry>& Keys() const { return FKeys; }

private:
    std::vector<TKeyEntry> FKeys;
    std::unordered_map<std::string, std::size_t> FIndex; // folded path -> place in FKeys
};

enum class TOpKind { okWrite, okDeleteValue, okDeleteKey };

// One change waiting for a flush; the key path is already normal.
struct TOp {
    TOpKind Kind;
    std::string Key;
    std::string Name;
    std::string Value;
};

void Apply(TContent& content, const TOp& op) {
    switch (op.Kind) {
    case TOpKind::okWrite:
        content.SetValue(op.Key, op.Name, op.Value);
        break;
    case TOpKind::okDeleteValue:
        content.DeleteValue(op.Key, op.Name);
        break;
    case TOpKind::okDeleteKey:
        content.DeleteKey(op.Key);
        break;
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
            break;
        }
    }
    out += '"';
}

template <class TGet> std::string FormatKeys(std::size_t count, TGet get) {
    std::string out = "REGEDIT4\n";
    for (std::size_t i = 0; i < count; ++i) {
        const TRegistryKeyText& key = get(i);
        if (key.Values.empty() && i + 1 < count && IsBelow(get(i + 1).Path, key.Path))
            continue;
        out += "\n[";
        out += RootName;
        out += '\\';
        out += key.Path;
        out += "]\n";
        for (const auto& [name, value] : key.Values) {
            if (name.empty())
                out += '@';
            else
                AppendQuoted(out, name);
            out += '=';
            AppendQuoted(out, value);
            out += '\n';
        }
    }
    return out;
}

std::string FormatContent(const TContent& content) {
    const auto& keys = content.Keys();
    return FormatKeys(keys.size(), [&](std::size_t i) -> const TRegistryKeyText& { return keys[i].Key; });
}

TError ParseError(std::size_t lineNumber, const std::string& what) {
    TError error;
    error.Code = TErrorCode::ecParse;
    error.Detail = "line " + std::to_string(lineNumber) + ": " + what;
    return error;
}

// Reads a quoted string starting at line[pos] (the opening quote); pos ends after the closing one.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size())
            return false;
        switch (line[pos]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        default:
            return false;
        }
    }
    return false;
}

std::string_view Trim(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

Result<TContent> ParseContent(std::string_view text) {
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return ParseError(1 + static_cast<std::size_t>(std::count(
                                  text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n')),
                          "NUL byte");
    // A UTF-8 byte-order mark from an editor is not part of the first line.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    TContent content;
    std::optional<std::string> currentKey;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos)
            return ParseError(lineNumber, "CR inside a line");
        line = Trim(line);
        if (lineNumber == 1) {
            if (line != "REGEDIT4")
                return ParseError(lineNumber, "not a REGEDIT4 file");
            continue;
        }
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2)
                return ParseError(lineNumber, "key line without ']'");
            const std::string_view inner = line.substr(1, line.size() - 2);
            if (inner.size() <= RootName.size() || inner[RootName.size()] != '\\' ||
                !SameText(inner.substr(0, RootName.size()), RootName))
                return ParseError(lineNumber, "key outside HKEY_CURRENT_USER");
            currentKey = NormalKeyPath(inner.substr(RootName.size() + 1));
            if (!currentKey)
                return ParseError(lineNumber, "key path cannot be stored");
            content.Create(*currentKey);
            continue;
        }
        if (line.front() != '"' && line.front() != '@')
            return ParseError(lineNumber, "neither a key nor a value");
        if (!currentKey)
            return ParseError(lineNumber, "value before the first key");
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@')
            pos = 1;
        else if (!ReadQuoted(line, pos, name))
            return ParseError(lineNumber, "bad value name");
        if (pos >= line.size() || line[pos] != '=')
            return ParseError(lineNumber, "'=' missing");
        ++pos;
        std::string value;
        if (!ReadQuoted(line, pos, value))
            return ParseError(lineNumber, "bad value text (only strings are stored)");
        if (pos != line.size())
            return ParseError(lineNumber, "text after the value");
        content.SetValue(*currentKey, name, value);
    }
    if (lineNumber == 0)
        return ParseError(1, "not a REGEDIT4 file");
    return content;
}

// ---- files ----

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class TFd {
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Assign(int fd) {
        Reset();
        FFd = fd;
    }
    // Closes now and returns close's own result (write errors can show up only here).
    int Reset() {
        const int result = FFd >= 0 ? ::close(FFd) : 0;
        FFd = -1;
        return result;
    }

private:
    int FFd;
};

// The whole file; nothing when it does not exist.
Result<std::optional<std::string>> ReadWholeFile(const std::string& path) {
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT)
            return std::optional<std::string>();
        return ErrnoError(path, errno);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ErrnoError(path, errno);
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return std::optional<std::string>(std::move(text));
}

// Creates the folder and its missing parents, new ones private to the user.
Result<void> MakeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return {};
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0) {
            // An existing folder may answer EACCES instead of EEXIST when its parent is not ours.
            const int error = errno;
            if (::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                return ErrnoError(part, error);
        }
        if (slash == std::string::npos)
            return {};
    }
}

// An exclusive flock on the lock file beside the store, held while the object lives. flock
// locks die with the process, so a writer killed while holding one blocks nobody.
class TStoreLock {
public:
    Result<void> Acquire(const std::string& lockPath) {
        FFd.Assign(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (FFd.Get() < 0)
            return ErrnoError(lockPath, errno);
        // flock itself would wait forever on a stuck holder; polling keeps the wait bounded.
        for (int waited = 0;; waited += 5) {
            if (::flock(FFd.Get(), LOCK_EX | LOCK_NB) == 0)
                return {};
            if (errno != EWOULDBLOCK && errno != EINTR)
                return ErrnoError(lockPath, errno);
            if (waited >= LockWaitMs) {
                return ErrnoError(lockPath, ETIMEDOUT, "another process holds the store lock");
            }
            const timespec pause{0, 5'000'000};
            ::nanosleep(&pause, nullptr);
        }
    }
    bool Held() const { return FFd.Get() >= 0; }

private:
    TFd FFd;
};

// Removes temporary files that writers killed during a flush left. Called with the lock held,
// so no live writer owns any of them.
void RemoveStaleTemps(const std::string& filePath) {
    const std::string folder = FolderOf(filePath);
    const std::string prefix = BaseName(filePath) + ".tmp-";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string_view(entry->d_name).starts_with(prefix))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Renames a damaged store to "<name>.bad-<YYYYMMDD-HHMMSS>" (with "-2", "-3"... when that name
// is taken) and returns the new name. Never replaces an existing file.
Result<std::string> SetAside(const std::string& filePath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = filePath + ".bad-" + stamp;
    for (int n = 1; n <= 1000; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        if (::renameat2(AT_FDCWD, filePath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return ErrnoError(filePath, errno);
        // A file system without RENAME_NOREPLACE: check first (the store lock is held).
        struct stat info {};
        if (::lstat(target.c_str(), &info) == 0)
            continue;
        if (::rename(filePath.c_str(), target.c_str()) == 0)
            return target;
        return ErrnoError(filePath, errno);
    }
    return ErrnoError(filePath, EEXIST, "no free name to set the damaged file aside");
}

// Writes text to a temporary file beside filePath, flushes it to the disk and renames it over
// filePath, so the file is at every moment either the old or the new one. On failure the old
// file is untouched and the temporary file is gone.
Result<void> ReplaceFile(const std::string& filePath, const std::string& text) {
    const std::string tempPath = filePath + ".tmp-" + std::to_string(::getpid());
    TFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0)
        return ErrnoError(tempPath, errno);
    auto fail = [&](int errnoValue) -> Result<void> {
        fd.Reset();
        ::unlink(tempPath.c_str());
        return ErrnoError(tempPath, errnoValue);
    };
    // The umask may have taken bits away; the store is private whatever it says.
    if (::fchmod(fd.Get(), 0600) != 0)
        return fail(errno);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::fsync(fd.Get()) != 0)
        return fail(errno);
    if (fd.Reset() != 0)
        return fail(errno);
    if (::rename(tempPath.c_str(), filePath.c_str()) != 0)
        return fail(errno);
    // The rename is done and visible; syncing the folder makes it survive a power cut. Some
    // file systems refuse to sync a folder, and the new file is in place either way, so a
    // failure here is not reported.
    TFd folder(::open(FolderOf(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
    return {};
}

TError DamagedError(const std::string& path, const TError& parseError) {
    TError error = parseError;
    error.Path = path;
    return error;
}

} // namespace

Result<std::vector<TRegistryKeyText>> ParseRegistryText(std::string_view text) {
    Result<TContent> content = ParseContent(text);
    if (!content)
        return content.error();
    std::vector<TRegistryKeyText> keys;
    keys.reserve(content->Keys().size());
    for (const TKeyEntry& entry : content->Keys())
        keys.push_back(entry.Key);
    return keys;
}

std::string FormatRegistryText(const std::vector<TRegistryKeyText>& keys) {
    return FormatKeys(keys.size(), [&](std::size_t i) -> const TRegistryKeyText& { return keys[i]; });
}

struct TKRegistryStore::TImpl {
    std::string FilePath;
    TContent FContent;
    std::vector<TOp> FJournal;

    std::string LockPath() const { return FilePath + ".lock"; }

    void Record(TOp op) {
        Apply(FContent, op);
        FJournal.push_back(std::move(op));
    }
};

TKRegistryStore::TKRegistryStore(std::string filePath) : FImpl(std::make_unique<TImpl>()) {
    FImpl->FilePath = std::move(filePath);
}

TKRegistryStore::~TKRegistryStore() = default;

const std::string& TKRegistryStore::FilePath() const {
    return FImpl->FilePath;
}

Result<void> TKRegistryStore::Load() {
    TImpl& impl = *FImpl;
    impl.FContent = TContent();
    // Changes not flushed yet stay visible on top of what the file holds.
    auto replay = [&] {
        for (const TOp& op : impl.FJournal)
            Apply(impl.FContent, op);
    };
    // The lock guards setting a damaged file aside and removing stale temporary files. Without
    // it (a read-only or missing folder) the file can still be read: it is only ever replaced
    // by a rename, so a reader sees one whole version.
    TStoreLock lock;
    if (lock.Acquire(impl.LockPath()))
        RemoveStaleTemps(impl.FilePath);
    Result<std::optional<std::string>> text = ReadWholeFile(impl.FilePath);
    if (!text) {
        replay();
        return text.error();
    }
    if (!*text) {
        replay();
        return {};
    }
    Result<TContent> parsed = ParseContent(**text);
    if (parsed) {
        impl.FContent = std::move(*parsed);
        replay();
        return {};
    }
    replay();
    if (!lock.Held()) {
        TError error = DamagedError(impl.FilePath, parsed.error());
        error.Detail += " (the damaged file could not be set aside)";
        return error;
    }
    Result<std::string> asideName = SetAside(impl.FilePath);
    if (!asideName) {
        TError error = DamagedError(impl.FilePath, parsed.error());
        error.Detail += " (the damaged file could not be set aside: " + asideName.error().Detail + ")";
        return error;
    }
    return DamagedError(*asideName, parsed.error());
}

std::optional<std::string> TKRegistryStore::Read(std::string_view keyPath, std::string_view name) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    if (!path)
        return std::nullopt;
    const TKeyEntry* key = FImpl->FContent.Find(*path);
    if (key == nullptr)
        return std::nullopt;
    const auto it = key->Index.find(LowerCase(name));
    if (it == key->Index.end())
        return std::nullopt;
    return key->Key.Values[it->second].second;
}

void TKRegistryStore::Write(std::string_view keyPath, std::string_view name, std::string_view value) {
    std::optional<std::string> path = NormalKeyPath(keyPath);
    if (path)
        FImpl->Record(TOp{TOpKind::okWrite, std::move(*path), std::string(name), std::string(value)});
}

void TKRegistryStore::DeleteKey(std::string_view keyPath) {
    std::optional<std::string> path = NormalKeyPath(keyPath);
    if (path)
        FImpl->Record(TOp{TOpKind::okDeleteKey, std::move(*path), {}, {}});
}

void TKRegistryStore::DeleteValue(std::string_view keyPath, std::string_view name) {
    std::optional<std::string> path = NormalKeyPath(keyPath);
    if (path)
        FImpl->Record(TOp{TOpKind::okDeleteValue, std::move(*path), std::string(name), {}});
}

bool TKRegistryStore::KeyExists(std::string_view keyPath) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    // The root always exists; it cannot hold values here.
    if (!path)
        return keyPath.find_first_not_of('\\') == std::string_view::npos;
    return FImpl->FContent.Find(*path) != nullptr;
}

std::vector<std::pair<std::string, std::string>> TKRegistryStore::Values(std::string_view keyPath) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    if (!path)
        return {};
    const TKeyEntry* key = FImpl->FContent.Find(*path);
    return key == nullptr ? std::vector<std::pair<std::string, std::string>>() : key->Key.Values;
}

std::vector<std::string> TKRegistryStore::SubKeys(std::string_view keyPath) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    if (path)
        return FImpl->FContent.Find(*path) == nullptr ? std::vector<std::string>()
                                                      : FImpl->FContent.SubKeys(*path);
    if (keyPath.find_first_not_of('\\') == std::string_view::npos)
        return FImpl->FContent.SubKeys({});
    return {};
}

bool TKRegistryStore::Dirty() const {
    return !FImpl->FJournal.empty();
}

Result<void> TKRegistryStore::Flush() {
    TImpl& impl = *FImpl;
    if (impl.FJournal.empty())
        return {};
    if (Result<void> made = MakeFolders(FolderOf(impl.FilePath)); !made)
        return made;
    TStoreLock lock;
    if (Result<void> locked = lock.Acquire(impl.LockPath()); !locked)
        return locked;
    RemoveStaleTemps(impl.FilePath);

    // Start from what the file holds now: other processes may have flushed since the load.
    Result<std::optional<std::string>> text = ReadWholeFile(impl.FilePath);
    if (!text)
        return text.error();
    TContent merged;
    if (*text) {
        Result<TContent> parsed = ParseContent(**text);
        if (parsed) {
            merged = std::move(*parsed);
        } else if (Result<std::string> asideName = SetAside(impl.FilePath); !asideName) {
            return asideName.error();
        }
    }
    for (const TOp& op : impl.FJournal)
        Apply(merged, op);
    if (Result<void> replaced = ReplaceFile(impl.FilePath, FormatContent(merged)); !replaced)
        return replaced;
    impl.FJournal.clear();
    impl.FContent = std::move(merged);
    return {};
}

void SetRegistryStore(TKRegistryStore* store) {
    GRegistryStore = store;
}

TKRegistryStore* RegistryStore() {
    return GRegistryStore;
}

} // namespace ks
