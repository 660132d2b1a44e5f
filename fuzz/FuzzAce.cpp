// An ACE archive is outside input: every byte sequence must list without harm, report no more
// entries than its headers could hold, and name the place of any damage. The same bytes serve as
// every later volume the set asks for, up to a few, so the walk across volumes is fed too.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "archive/AceReader.h"

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

class TBytes : public ks::TKArchiveBytes {
public:
    explicit TBytes(std::string_view bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    ks::Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FBytes.size())
            return std::size_t{0};
        const std::string_view part = FBytes.substr(static_cast<std::size_t>(offset), count);
        part.copy(buffer, part.size());
        return part.size();
    }

private:
    std::string_view FBytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    int opened = 0;
    const ks::TAceVolumeOpener open =
        [&](const std::string& name) -> ks::Result<std::unique_ptr<ks::TKArchiveBytes>> {
        if (++opened > MaxVolumes)
            return ks::TError{ks::TErrorCode::ecNotFound, 0, name, {}};
        return std::unique_ptr<ks::TKArchiveBytes>(std::make_unique<TBytes>(bytes));
    };
    TCountSink sink;
    const ks::Result<void> outcome = ks::ReadAceVolumes(open, "fuzz.ace", sink);
    // The smallest file header (checksum, size, type, flags and 28 bytes of fields) takes more
    // than 30 bytes.
    if (sink.Count > static_cast<std::size_t>(MaxVolumes) * (size / 30 + 1))
        __builtin_trap();
    if (!outcome && outcome.error().Code == ks::TErrorCode::ecParse && outcome.error().Detail.empty())
        __builtin_trap();
    return 0;
}
