#include "foundation/RegistryStore.h"

#include "foundation/DELTA9.h"
#include "foundation/RegistryFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <unordered_map>

#include "foundation/System.h"

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
// not end a line, a line that is neither a key, a value, a ";" comment nor blank, or a key path
// of more than 512 parts or with a part of more than 255 bytes makes the file damaged; so does
// a file of more than 64 MiB, 65,536 keys or 262,144 values, or anything that is not a regular
// file. Lines end in LF when written; LF or CR LF are read.
//
// Keys are written in the order they were created, which is also the order of sub-keys. A key
// without values is left out when the key after it is one of its sub-keys: that key's line
// implies it, in the same place. Any other empty key gets a line of its own, so it survives a
// reload.

namespace ks {

using namespace registry;

namespace {

constexpr std::string_view RootName = "HKEY_CURRENT_USER";
// Registry keys nest at most 512 deep and a key's own name is at most 255 bytes. Together the
// caps bound every key line, so reading a hostile file stays linear in its size.
constexpr std::size_t MaxKeyDepth = 512;
constexpr std::size_t MaxKeyPartSize = 255;
// A store holds a few dozen keys and a few hundred values. Each costs far more memory than the
// shortest line that names it, so a file of more is damaged rather than loaded.
constexpr std::size_t MaxKeys = 65536;
constexpr std::size_t MaxValues = 262144;

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
    const bool storable = ForEachField(keyPath, '\\', [&](std::string_view part) {
        if (part.empty())
            return true;
        if (part.size() > MaxKeyPartSize ||
            part.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
            ++depth > MaxKeyDepth)
            return false;
        if (!out.empty())
            out += '\\';
        out += part;
        return true;
    });
    if (!storable || out.empty())
        return std::nullopt;
    return out;
}

// Calls visit with every part of a normal key path, in order.
template <class TVisit> void ForEachPart(std::string_view path, TVisit visit) {
    while (!path.empty()) {
        const std::size_t end = std::min(path.find('\\'), path.size());
        visit(path.substr(0, end));
        path.remove_prefix(std::min(end + 1, path.size()));
    }
}

// One key of a store. A key holds only its own part of the path; the full path is spelled out
// only when a key line is written, so deep keys cost memory in proportion to their names.
struct TKeyNode {
    std::string Name; // the key's own part, in the case it was created with
    TKeyNode* Parent = nullptr;
    std::size_t Depth = 0; // parts in the key's path; 0 for the root
    TKeyNode* FirstChild = nullptr;
    TKeyNode* LastChild = nullptr;
    TKeyNode* NextSibling = nullptr;
    std::vector<std::pair<std::string, std::string>> Values;
    // Folded value name -> place in Values; made with the first value, as most keys have none.
    std::unique_ptr<std::unordered_map<std::string, std::size_t>> ValueIndex;
    std::list<TKeyNode>::iterator Place; // in the creation order of TContent
};

// A sub-key, found by its parent and its name folded to lower case.
struct TNameKey {
    const TKeyNode* Owner;
    std::string Folded;
    bool operator==(const TNameKey&) const = default;
};

struct TNameKeyHash {
    std::size_t operator()(const TNameKey& key) const {
        const std::size_t name = std::hash<std::string>()(key.Folded);
        return name ^
               (std::hash<const TKeyNode*>()(key.Owner) + 0x9e3779b97f4a7c15u + (name << 6) + (name >> 2));
    }
};

// True when other is a sub-key of key, at any depth.
bool IsAncestor(const TKeyNode& key, const TKeyNode& other) {
    const TKeyNode* up = &other;
    while (up->Depth > key.Depth)
        up = up->Parent;
    return up == &key && &other != &key;
}

// The path of a key without the root.
std::string PathOf(const TKeyNode& key) {
    std::vector<const TKeyNode*> chain;
    std::size_t size = 0;
    for (const TKeyNode* up = &key; up->Depth > 0; up = up->Parent) {
        chain.push_back(up);
        size += up->Name.size() + 1;
    }
    std::string path;
    path.reserve(size);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += '\\';
        path += (*it)->Name;
    }
    return path;
}

// The keys of a store as a tree below an unnamed root, and in creation order; every key's
// parents come before it. Keys point at each other, so a content moves but is never copied.
class TContent {
public:
    TContent() : FRoot(std::make_unique<TKeyNode>()) {}
    TContent(TContent&&) = default;
    TContent& operator=(TContent&&) = default;
    TContent(const TContent&) = delete;
    TContent& operator=(const TContent&) = delete;

    const TKeyNode& Root() const { return *FRoot; }
    // The keys other than the root, in creation order.
    const std::list<TKeyNode>& Keys() const { return FOrder; }

    // The key of a normal path; nullptr when it does not exist.
    const TKeyNode* Find(std::string_view path) const { return Lookup(path); }

    // Finds or creates the key of a normal path, creating missing parents first.
    TKeyNode& Create(std::string_view path) {
        TKeyNode* key = FRoot.get();
        ForEachPart(path, [&](std::string_view part) { key = &CreateChild(*key, part); });
        return *key;
    }

    // The text of a value; nullptr when the key has no value of that name.
    static const std::string* FindValue(const TKeyNode& key, std::string_view name) {
        if (!key.ValueIndex)
            return nullptr;
        const auto it = key.ValueIndex->find(LowerCase(name));
        return it == key.ValueIndex->end() ? nullptr : &key.Values[it->second].second;
    }

    static void SetValue(TKeyNode& key, std::string_view name, std::string_view value) {
        if (!key.ValueIndex)
            key.ValueIndex = std::make_unique<std::unordered_map<std::string, std::size_t>>();
        const auto [it, added] = key.ValueIndex->try_emplace(LowerCase(name), key.Values.size());
        if (added)
            key.Values.emplace_back(std::string(name), std::string(value));
        else
            key.Values[it->second].second = value;
    }

    void SetValue(std::string_view path, std::string_view name, std::string_view value) {
        SetValue(Create(path), name, value);
    }

    void DeleteValue(std::string_view path, std::string_view name) {
        TKeyNode* key = Lookup(path);
        if (key == nullptr)
            return;
        if (!key->ValueIndex)
            return;
        const auto it = key->ValueIndex->find(LowerCase(name));
        if (it == key->ValueIndex->end())
            return;
        const std::size_t place = it->second;
        key->ValueIndex->erase(it);
        key->Values.erase(key->Values.begin() + static_cast<std::ptrdiff_t>(place));
        // The values after it move up one place.
        for (std::size_t i = place; i < key->Values.size(); ++i)
            key->ValueIndex->find(LowerCase(key->Values[i].first))->second = i;
    }

    void DeleteKey(std::string_view path) {
        TKeyNode* key = Lookup(path);
        if (key == nullptr)
            return;
        TKeyNode& parent = *key->Parent;
        TKeyNode* previous = nullptr;
        for (TKeyNode* sibling = parent.FirstChild; sibling != key; sibling = sibling->NextSibling)
            previous = sibling;
        (previous != nullptr ? previous->NextSibling : parent.FirstChild) = key->NextSibling;
        if (parent.LastChild == key)
            parent.LastChild = previous;
        FChildIndex.erase(TNameKey{&parent, LowerCase(key->Name)});
        // Keys nest up to 512 deep; an explicit stack keeps that off the call stack.
        std::vector<TKeyNode*> pending{key};
        while (!pending.empty()) {
            TKeyNode* node = pending.back();
            pending.pop_back();
            for (TKeyNode* child = node->FirstChild; child != nullptr; child = child->NextSibling) {
                FChildIndex.erase(TNameKey{node, LowerCase(child->Name)});
                pending.push_back(child);
            }
            FOrder.erase(node->Place);
        }
    }

    // The names of the direct sub-keys, in creation order.
    static std::vector<std::string> SubKeys(const TKeyNode& key) {
        std::vector<std::string> names;
        for (const TKeyNode* child = key.FirstChild; child != nullptr; child = child->NextSibling)
            names.push_back(child->Name);
        return names;
    }

private:
    // The key of a normal path; nullptr when it does not exist. Find hands it out read-only;
    // the members that change keys use it as it is.
    TKeyNode* Lookup(std::string_view path) const {
        TKeyNode* key = FRoot.get();
        ForEachPart(path, [&](std::string_view part) {
            if (key == nullptr)
                return;
            const auto it = FChildIndex.find(TNameKey{key, LowerCase(part)});
            key = it == FChildIndex.end() ? nullptr : it->second;
        });
        return key;
    }

    TKeyNode& CreateChild(TKeyNode& parent, std::string_view name) {
        TNameKey indexKey{&parent, LowerCase(name)};
        if (const auto it = FChildIndex.find(indexKey); it != FChildIndex.end())
            return *it->second;
        TKeyNode& key = FOrder.emplace_back();
        key.Place = std::prev(FOrder.end());
        key.Name = name;
        key.Parent = &parent;
        key.Depth = parent.Depth + 1;
        (parent.LastChild != nullptr ? parent.LastChild->NextSibling : parent.FirstChild) = &key;
        parent.LastChild = &key;
        FChildIndex.emplace(std::move(indexKey), &key);
        return key;
    }

    std::unique_ptr<TKeyNode> FRoot;
    std::list<TKeyNode> FOrder;
    std::unordered_map<TNameKey, TKeyNode*, TNameKeyHash> FChildIndex;
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

// Appends the lines of one key: a blank line, the key line and its values.
void AppendKey(std::string& out, std::string_view path,
               const std::vector<std::pair<std::string, std::string>>& values) {
    out += "\n[";
    out += RootName;
    out += '\\';
    out += path;
    out += "]\n";
    for (const auto& [name, value] : values) {
        if (name.empty())
            out += '@';
        else
            AppendQuoted(out, name);
        out += '=';
        AppendQuoted(out, value);
        out += '\n';
    }
}

std::string FormatContent(const TContent& content) {
    std::string out = "REGEDIT4\n";
    const std::list<TKeyNode>& keys = content.Keys();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        const auto next = std::next(it);
        if (it->Values.empty() && next != keys.end() && IsAncestor(*it, *next))
            continue;
        AppendKey(out, PathOf(*it), it->Values);
    }
    return out;
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
    TKeyNode* currentKey = nullptr;
    std::size_t values = 0;
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
            const std::optional<std::string> path = NormalKeyPath(inner.substr(RootName.size() + 1));
            if (!path)
                return ParseError(lineNumber, "key path cannot be stored");
            currentKey = &content.Create(*path);
            if (content.Keys().size() > MaxKeys)
                return ParseError(lineNumber, "more than " + std::to_string(MaxKeys) + " keys");
            continue;
        }
        if (line.front() != '"' && line.front() != '@')
            return ParseError(lineNumber, "neither a key nor a value");
        if (currentKey == nullptr)
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
        if (++values > MaxValues)
            return ParseError(lineNumber, "more than " + std::to_string(MaxValues) + " values");
        content.SetValue(*currentKey, name, value);
    }
    if (lineNumber == 0)
        return ParseError(1, "not a REGEDIT4 file");
    return content;
}

// What the store file holds. A file that is there but cannot be a store (not a regular file,
// larger than MaxFileSize, or text that does not parse) has the reason in Damage, with the
// content left empty.
struct TStoreFile {
    std::optional<TError> Damage;
    TContent Content;
    /// The file's bytes, when it exists and was read whole.
    std::optional<std::string> Text;
};

// Reads and parses the store file; an empty content when it does not exist. Only a failure to
// read is an error.
Result<TStoreFile> ReadStoreFile(TKFileSystem& files, const std::string& path) {
    Result<TStoreText> text = ReadStoreText(files, path);
    if (!text)
        return text.error();
    TStoreFile file;
    file.Damage = std::move(text->Damage);
    if (file.Damage || !text->Text)
        return file;
    Result<TContent> parsed = ParseContent(*text->Text);
    if (parsed)
        file.Content = std::move(*parsed);
    else
        file.Damage = parsed.error();
    file.Text = std::move(text->Text);
    return file;
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
    for (const TKeyNode& key : content->Keys())
        keys.push_back(TRegistryKeyText{PathOf(key), key.Values});
    return keys;
}

std::string FormatRegistryText(const std::vector<TRegistryKeyText>& keys) {
    std::string out = "REGEDIT4\n";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].Values.empty() && i + 1 < keys.size() && IsBelow(keys[i + 1].Path, keys[i].Path))
            continue;
        AppendKey(out, keys[i].Path, keys[i].Values);
    }
    return out;
}

struct TKRegistryStore::TImpl {
    std::string FilePath;
    TKFileSystem* FFileSystem = nullptr; // null: the installed one, asked at every use
    TContent FContent;
    std::vector<TOp> FJournal;

    std::string LockPath() const { return FilePath + ".lock"; }
    TKFileSystem& Files() const { return FFileSystem != nullptr ? *FFileSystem : FileSystem(); }

    void Record(TOp op) {
        Apply(FContent, op);
        FJournal.push_back(std::move(op));
    }
};

TKRegistryStore::TKRegistryStore(std::string filePath) : FImpl(std::make_unique<TImpl>()) {
    FImpl->FilePath = std::move(filePath);
}

TKRegistryStore::TKRegistryStore(std::string filePath, TKFileSystem& fileSystem)
    : TKRegistryStore(std::move(filePath)) {
    FImpl->FFileSystem = &fileSystem;
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
    TKFileSystem& files = impl.Files();
    TStoreLock lock;
    if (lock.Acquire(files, impl.LockPath()))
        RemoveStaleTemps(files, impl.FilePath);
    Result<TStoreFile> file = ReadStoreFile(files, impl.FilePath);
    if (!file) {
        replay();
        return file.error();
    }
    if (!file->Damage) {
        impl.FContent = std::move(file->Content);
        replay();
        return {};
    }
    replay();
    const TError& damage = *file->Damage;
    if (!lock.Held()) {
        TError error = DamagedError(impl.FilePath, damage);
        error.Detail += " (the damaged file could not be set aside)";
        return error;
    }
    Result<std::string> asideName = SetAside(files, impl.FilePath);
    if (!asideName) {
        TError error = DamagedError(impl.FilePath, damage);
        error.Detail += " (the damaged file could not be set aside: " + asideName.error().Detail + ")";
        return error;
    }
    return DamagedError(*asideName, damage);
}

std::optional<std::string> TKRegistryStore::Read(std::string_view keyPath, std::string_view name) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    if (!path)
        return std::nullopt;
    const TKeyNode* key = FImpl->FContent.Find(*path);
    if (key == nullptr)
        return std::nullopt;
    const std::string* value = TContent::FindValue(*key, name);
    if (value == nullptr)
        return std::nullopt;
    return *value;
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
    const TKeyNode* key = FImpl->FContent.Find(*path);
    return key == nullptr ? std::vector<std::pair<std::string, std::string>>() : key->Values;
}

std::vector<std::string> TKRegistryStore::SubKeys(std::string_view keyPath) const {
    const std::optional<std::string> path = NormalKeyPath(keyPath);
    if (path) {
        const TKeyNode* key = FImpl->FContent.Find(*path);
        return key == nullptr ? std::vector<std::string>() : TContent::SubKeys(*key);
    }
    if (keyPath.find_first_not_of('\\') == std::string_view::npos)
        return TContent::SubKeys(FImpl->FContent.Root());
    return {};
}

bool TKRegistryStore::Dirty() const {
    return !FImpl->FJournal.empty();
}

Result<void> TKRegistryStore::Flush() {
    TImpl& impl = *FImpl;
    if (impl.FJournal.empty())
        return {};
    TKFileSystem& files = impl.Files();
    // Folders made for the store are private to the user.
    if (Result<void> made = files.CreateFolders(FolderOf(impl.FilePath), 0700); !made)
        return made;
    TStoreLock lock;
    if (Result<void> locked = lock.Acquire(files, impl.LockPath()); !locked)
        return locked;
    RemoveStaleTemps(files, impl.FilePath);

    // Start from what the file holds now: other processes may have flushed since the load.
    Result<TStoreFile> file = ReadStoreFile(files, impl.FilePath);
    if (!file)
        return file.error();
    if (file->Damage) {
        if (Result<std::string> asideName = SetAside(files, impl.FilePath); !asideName)
            return asideName.error();
    }
    TContent merged = std::move(file->Content);
    for (const TOp& op : impl.FJournal)
        Apply(merged, op);
    // Changes that leave the file's bytes as they are (a program that saves its settings at
    // every exit) write nothing: no temporary file, no wait for the disk.
    const std::string text = FormatContent(merged);
    const bool unchanged = !file->Damage && file->Text && *file->Text == text;
    if (!unchanged) {
        if (Result<void> replaced = ReplaceStoreFile(files, impl.FilePath, text); !replaced)
            return replaced;
    }
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
