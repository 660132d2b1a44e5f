#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/Result.h"

namespace ks {

class TKFileSystem;

/// The persistent HKEY_CURRENT_USER store: one REGEDIT4-style text file.
///
/// Key paths are given without the root, with "\" between parts
/// ("Software\delta9\[sable!]\m_lpanel"); keys and value names compare without regard to ASCII
/// case and keep the case they were created with. Values keep their creation order.
///
/// Writes collect in memory and reach the file on `Flush`, which takes an exclusive lock on a
/// lock file beside the store, re-reads the file, applies only this object's changes since the
/// last flush, writes a temporary file, fsyncs it and renames it over the old one (a flush
/// that would write the bytes the file already holds leaves it alone). Two processes
/// sharing one file therefore keep each other's values, and a writer killed at any moment leaves
/// either the complete old or the complete new file.
///
/// The file is reached through a `TKFileSystem`: the one given, or the installed platform's
/// (`ks::FileSystem()`, asked at every `Load` and `Flush`).
///
/// Thread: one thread at a time (the GUI thread in the program).
class TKRegistryStore {
public:
    /// A store over filePath on the installed file system; nothing is read until `Load`.
    explicit TKRegistryStore(std::string filePath);
    /// A store over filePath on fileSystem, which must outlive the store.
    TKRegistryStore(std::string filePath, TKFileSystem& fileSystem);
    ~TKRegistryStore();
    TKRegistryStore(const TKRegistryStore&) = delete;
    TKRegistryStore& operator=(const TKRegistryStore&) = delete;

    /// Reads the file. A missing file is an empty store. A damaged file (text that does not
    /// parse, more than 64 MiB, 65,536 keys or 262,144 values, or not a regular file at all: a
    /// FIFO, a device, a socket, a folder) is renamed to "registry.bad-<time>" beside it, the
    /// store starts empty, and the result carries the new name in the error's Path and ecParse as
    /// its code (callers report it once). The file is opened without blocking, so a FIFO or a
    /// device never stalls it.
    Result<void> Load();

    const std::string& FilePath() const;

    /// The value, or nothing when the key or the value is missing.
    std::optional<std::string> Read(std::string_view keyPath, std::string_view name) const;
    /// Sets a value, creating the key and its parents; held until the next `Flush`. Empty parts
    /// of a key path (a leading, trailing or doubled "\") are ignored. A key path that is empty,
    /// deeper than 512 parts, has a part longer than 255 bytes or holds a CR, LF or NUL byte
    /// cannot be stored and is skipped; a file with such a key line is damaged.
    void Write(std::string_view keyPath, std::string_view name, std::string_view value);
    /// Removes a key with all its values and sub-keys; held until the next `Flush`.
    void DeleteKey(std::string_view keyPath);
    /// Removes one value; held until the next `Flush`.
    void DeleteValue(std::string_view keyPath, std::string_view name);

    bool KeyExists(std::string_view keyPath) const;
    /// The values of a key, name and text, in creation order.
    std::vector<std::pair<std::string, std::string>> Values(std::string_view keyPath) const;
    /// The names of the direct sub-keys, in creation order.
    std::vector<std::string> SubKeys(std::string_view keyPath) const;

    /// True when changes wait for a `Flush`.
    bool Dirty() const;
    /// Writes the pending changes to the file (see the class comment). A file found damaged on
    /// the re-read is set aside as by `Load`, and the new file holds only the pending changes.
    /// On failure the changes stay pending and the old file is untouched.
    Result<void> Flush();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

/// One key of a store file: the key path without the root and its values, name and text, in
/// order. In a parsed list every key's parents come before it.
struct TRegistryKeyText {
    std::string Path;
    std::vector<std::pair<std::string, std::string>> Values;
    bool operator==(const TRegistryKeyText&) const = default;
};

/// Parses the text of a store file into its keys, in file order (a key named twice is one key,
/// a value named twice keeps its first place and its last text). A damaged text gives ecParse
/// with the line number in the error's Detail. No file is touched.
Result<std::vector<TRegistryKeyText>> ParseRegistryText(std::string_view text);
/// The file text of keys, as `Flush` writes it; `ParseRegistryText` gives the keys back.
std::string FormatRegistryText(const std::vector<TRegistryKeyText>& keys);

/// The root handles of the registry helpers.
enum class TRegRoot { rrCurrentUser, rrLocalMachine, rrClassesRoot, rrCurrentConfig };

/// The process's store of HKEY_CURRENT_USER, installed by the composition root (not owned).
/// Without one, reads give nothing and writes are skipped.
void SetRegistryStore(TKRegistryStore* store);
TKRegistryStore* RegistryStore();

} // namespace ks
