#pragma once

#include <string>

namespace ks::test {

/// A real folder in the temporary directory, removed with everything in it when the object
/// goes away.
class TempTree {
public:
    TempTree();
    /// A folder inside base instead of the temporary directory.
    explicit TempTree(const std::string& base);
    /// A base for trees of many folders: /dev/shm where it is a writable memory file system
    /// (removing thousands of folders from some disks takes milliseconds each), else the
    /// temporary directory.
    static std::string MemoryBase();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    /// The folder, without a trailing "/".
    const std::string& Path() const { return FPath; }
    /// Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return FPath + "/" + relative; }

    /// Writes a file (creating its folders) and returns its full path.
    std::string File(const std::string& relative, const std::string& content = {}) const;
    /// Creates a folder (and its parents) and returns its full path.
    std::string Folder(const std::string& relative) const;
    /// A chain of depth folders named "dd" below the folder relative (created), with a file "f"
    /// holding content in the deepest. Made through descriptors, so its full path may be far
    /// longer than PATH_MAX. False when it could not be made.
    bool DeepChain(const std::string& relative, int depth, const std::string& content) const;
    /// Reads a whole file; empty when it cannot be read.
    static std::string ReadFile(const std::string& path);

private:
    std::string FPath;
};

} // namespace ks::test
