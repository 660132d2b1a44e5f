// Any bytes must list as a KPL library without harm, and unpacking them into a folder must
// change nothing outside that folder: not through "..", absolute folders, NUL bytes, nor through
// the symbolic link planted in the target that leads outside. Every display name is safe to show.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "archive/ArchiveNames.h"
#include "archive/KPL.h"
#include "controls/MessageBox.h"
#include "fileops/KplUnpack.h"
#include "support/MemoryFileSystem.h"

namespace {

class TCount : public ks::TKArchiveSink {
public:
    std::size_t Entries = 0;
    bool AddEntry(const ks::TArchiveEntry& entry) override {
        ++Entries;
        if (!ks::IsValidUtf8(entry.Name))
            __builtin_trap();
        if (entry.Name.empty())
            return true;
        const std::string parts = "/" + entry.Name + "/";
        if (parts.find("/../") != std::string::npos || parts.find("//") != std::string::npos ||
            (!entry.Name.empty() && entry.Name.front() == '/'))
            __builtin_trap();
        return true;
    }
};

// Overwrites whatever exists, so replacing paths are walked too.
class TYesAsker : public ks::TKCopyAsker {
public:
    int Ask(const ks::TCopyQuestion&, const std::atomic<bool>&) override { return ks::mrYes; }
};

class TBytes : public ks::TKArchiveBytes {
public:
    explicit TBytes(std::string_view data) : FData(data) {}
    std::uint64_t Size() const override { return FData.size(); }
    ks::Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FData.size())
            return std::size_t{0};
        const std::size_t n = count < FData.size() - offset ? count : FData.size() - offset;
        FData.copy(buffer, n, offset);
        return n;
    }

private:
    std::string_view FData;
};

std::map<std::string, std::string> Outside(const ks::test::MemoryFileSystem& disk) {
    std::map<std::string, std::string> nodes;
    for (const auto& [path, node] : disk.FNodes)
        if (path != "/target" && path.rfind("/target/", 0) != 0)
            nodes[path] = node.Content + "|" + node.LinkTarget;
    return nodes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TCount listed;
    (void)ks::ReadKplDirectory(input, listed);
    // No record is shorter than its fixed fields (a version 1 record: name and two integers).
    if (listed.Entries > size / 15 + 1)
        __builtin_trap();

    ks::test::MemoryFileSystem disk;
    disk.AddFolder("/target");
    disk.AddFolder("/outside");
    disk.AddFile("/outside/victim", 4, 32, "keep");
    disk.AddFile("/target/a", 3, 32, "old");
    disk.AddLink("/target/planted", "/outside", true);
    disk.AddLink("/target/b", "/outside/victim", false);
    const std::map<std::string, std::string> before = Outside(disk);
    ks::Result<std::unique_ptr<ks::TKFolder>> target = disk.OpenFolder("/target");
    if (!target)
        __builtin_trap();
    TYesAsker asker;
    ks::TQuestionSlot questions(&asker);
    ks::TKMYKPLIB library(disk);
    TBytes bytes(input);
    (void)ks::UnpackLibrary(library, bytes, **target, "/target", questions);
    if (Outside(disk) != before)
        __builtin_trap();
    return 0;
}
