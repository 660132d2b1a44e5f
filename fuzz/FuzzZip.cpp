// Any bytes must list as a ZIP archive without harm: the same entries through one buffer and
// through the smallest window, each display name safe to show (UTF-8, no "..", "." or empty
// parts, no leading "/", no control characters), and never more entries than the bytes hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveNames.h"
#include "archive/ZipReader.h"

namespace {

class TCollect : public ks::TKArchiveSink {
public:
    std::vector<ks::TArchiveEntry> Entries;
    bool AddEntry(const ks::TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return true;
    }
};

void CheckName(const std::string& name) {
    if (!ks::IsValidUtf8(name))
        __builtin_trap();
    if (name.empty())
        return;
    const std::string parts = "/" + name + "/";
    if (parts.find("//") != std::string::npos || parts.find("/./") != std::string::npos ||
        parts.find("/../") != std::string::npos)
        __builtin_trap();
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TCollect whole;
    const ks::Result<void> wholeDone = ks::ReadZipDirectory(input, whole);
    TCollect windowed;
    const ks::Result<void> windowedDone = ks::ReadZipDirectory(input, windowed, 1);
    if (whole.Entries.size() > size / 46 || whole.Entries.size() != windowed.Entries.size() ||
        wholeDone.has_value() != windowedDone.has_value())
        __builtin_trap();
    for (std::size_t i = 0; i < whole.Entries.size(); ++i) {
        const ks::TArchiveEntry& entry = whole.Entries[i];
        CheckName(entry.Name);
        if (entry.Name != windowed.Entries[i].Name || entry.Size != windowed.Entries[i].Size ||
            entry.StoredName != windowed.Entries[i].StoredName)
            __builtin_trap();
    }
    if (!wholeDone && (wholeDone.error().Detail != windowedDone.error().Detail))
        __builtin_trap();
    return 0;
}
