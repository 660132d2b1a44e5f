// Any bytes must list as an LZH archive without harm: the same entries whether the bytes come in one
// piece or a few at a time, each display name safe to show (UTF-8, no "..", "." or empty parts,
// no leading "/", no control characters), never more entries than the bytes hold, and every
// damage named.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveNames.h"
#include "archive/LzhReader.h"

namespace {

class TCollect : public ks::TKArchiveSink {
public:
    std::vector<ks::TArchiveEntry> Entries;
    bool AddEntry(const ks::TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return true;
    }
};

/// Hands out at most seven bytes a read, so every read loop has to go round.
class TTrickle : public ks::TKArchiveBytes {
public:
    explicit TTrickle(std::string_view bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    ks::Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FBytes.size())
            return std::size_t{0};
        const std::size_t n = std::min<std::size_t>({count, 7, FBytes.size() - offset});
        std::memcpy(buffer, FBytes.data() + offset, n);
        return n;
    }

private:
    std::string_view FBytes;
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
    const ks::Result<void> wholeDone = ks::ReadLzhDirectory(input, whole);
    TTrickle trickle(input);
    TCollect pieces;
    const ks::Result<void> piecesDone = ks::ReadLzhDirectory(trickle, pieces);
    // The smallest entry takes 24 bytes.
    if (whole.Entries.size() > size / 24 || whole.Entries.size() != pieces.Entries.size() ||
        wholeDone.has_value() != piecesDone.has_value())
        __builtin_trap();
    for (std::size_t i = 0; i < whole.Entries.size(); ++i) {
        const ks::TArchiveEntry& entry = whole.Entries[i];
        CheckName(entry.Name);
        if (entry.Name != pieces.Entries[i].Name || entry.Size != pieces.Entries[i].Size ||
            entry.StoredName != pieces.Entries[i].StoredName)
            __builtin_trap();
    }
    if (!wholeDone &&
        (wholeDone.error().Detail.empty() || wholeDone.error().Detail != piecesDone.error().Detail))
        __builtin_trap();
    return 0;
}
