// A RAR archive is outside input: every byte sequence must list without harm, report no more
// entries than its headers could hold, and name the place of any damage. The same bytes serve as
// every later volume the set asks for, up to a few, so the walk across volumes is fed too.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "archive/RarReader.h"

namespace {

constexpr int MaxVolumes = 4;

class TCountSink : public ks::TKArchiveSink {
public:
    bool AddEntry(const ks::TArchiveEntry& /*entry*/) override {
        ++Count;
        return true;
    }
    std::size_t Count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    int opened = 0;
    const ks::TRarVolumeOpener open =
        [&](const std::string& name) -> ks::Result<std::unique_ptr<ks::TKRarVolume>> {
        if (++opened > MaxVolumes)
            return ks::TError{ks::TErrorCode::ecNotFound, 0, name, {}};
        return std::unique_ptr<ks::TKRarVolume>(std::make_unique<ks::TRarMemoryVolume>(bytes));
    };
    TCountSink sink;
    const ks::Result<void> outcome = ks::ReadRarVolumes(open, "fuzz.part1.rar", sink);
    // The smallest entry header of either format takes more than seven bytes.
    if (sink.Count > static_cast<std::size_t>(MaxVolumes) * (size / 7 + 1))
        __builtin_trap();
    if (!outcome && outcome.error().Code == ks::TErrorCode::ecParse && outcome.error().Detail.empty())
        __builtin_trap();
    return 0;
}
