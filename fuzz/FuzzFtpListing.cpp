// Listings come from any server: every byte sequence must read, as LIST and as MLSD lines,
// into entries the panel can walk and delete without leaving the folder.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "ftp/FtpListing.h"

namespace {

void Check(const ks::TFtpEntry& entry) {
    const std::string_view name = entry.Name;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        __builtin_trap();
    if (entry.Size < 0 || entry.AttrText.size() > 10 || (!entry.HasTime && entry.MTimeNs != 0))
        __builtin_trap();
    if (!entry.LinkTarget.empty() && !entry.IsLink)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first eight bytes, when there are that many, are "now", so dates without a year meet
    // every clock, the extremes included.
    std::int64_t nowNs = 1718452800LL * 1'000'000'000LL;
    if (size >= 8) {
        std::memcpy(&nowNs, data, 8);
        data += 8;
        size -= 8;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    for (const bool mlsd : {false, true}) {
        std::vector<ks::TFtpEntry> entries;
        const int unsafe = ks::ParseFtpListing(input, mlsd, nowNs, entries);
        if (unsafe < 0 || entries.size() + static_cast<std::size_t>(unsafe) > input.size() + 1)
            __builtin_trap();
        for (const ks::TFtpEntry& entry : entries)
            Check(entry);
    }

    // The whole input as one line too, the way a caller with its own line splitting hands it over.
    ks::TFtpEntry entry;
    if (ks::ParseFtpListLine(input, nowNs, entry) == ks::flEntry)
        Check(entry);
    entry = {};
    if (ks::ParseMlsdLine(input, entry) == ks::flEntry)
        Check(entry);
    return 0;
}
