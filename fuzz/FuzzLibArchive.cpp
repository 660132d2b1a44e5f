// Any bytes must list as a tar (any compression), 7z, ISO image and Debian package without harm:
// each display name safe to show (UTF-8, no "..", "." or empty parts, no leading "/", no
// control characters), the entry limit kept, and a stop asked for while data is skipped obeyed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/ArchiveNames.h"
#include "archive/LibArchiveReader.h"

namespace {

constexpr std::uint64_t MaxEntries = 2000;
constexpr int MaxProgress = 16;

class TCheck : public ks::TKArchiveSink {
public:
    std::uint64_t Entries = 0;
    int ProgressCalls = 0;
    bool AddEntry(const ks::TArchiveEntry& entry) override {
        CheckName(entry.Name);
        if (entry.Name.empty() || (entry.Attr & ~0x11u) != 0 || entry.Time != 0 || entry.HostOS != 99)
            __builtin_trap();
        ++Entries;
        return true;
    }
    // A bomb of data stops here, as Esc stops it in the panel.
    bool Progress() override { return ++ProgressCalls < MaxProgress; }

private:
    static void CheckName(const std::string& name) {
        if (!ks::IsValidUtf8(name))
            __builtin_trap();
        const std::string parts = "/" + name + "/";
        if (parts.find("//") != std::string::npos || parts.find("/./") != std::string::npos ||
            parts.find("/../") != std::string::npos)
            __builtin_trap();
        for (const char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                __builtin_trap();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ks::TLibArchiveLimits limits;
    limits.MaxEntries = MaxEntries;
    limits.MaxNameLength = 4096;
    limits.ProgressBytes = std::uint64_t{1} << 20;
    for (const ks::TArchiveKind kind : {ks::akTAR, ks::ak7Z, ks::akISO, ks::akDEB}) {
        TCheck sink;
        const ks::Result<void> done = ks::ReadLibArchiveDirectory(kind, input, sink, limits);
        if (sink.Entries > MaxEntries || sink.ProgressCalls > MaxProgress)
            __builtin_trap();
        if (!done && done.error().Code == ks::TErrorCode::ecNone)
            __builtin_trap();
    }
    return 0;
}
