#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/ArchiveReader.h"

namespace ks {

/// One volume of a RAR set, as the reader sees it: bytes read at an offset.
class TKRarVolume {
public:
    virtual ~TKRarVolume() = default;
    virtual std::uint64_t Size() const = 0;
    /// Up to count bytes at offset; fewer only at the end of the volume.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) = 0;
};

/// Opens the volume of a set by its name; ecNotFound when there is none of that name.
using TRarVolumeOpener = std::function<Result<std::unique_ptr<TKRarVolume>>(const std::string& name)>;

/// A volume over bytes the caller keeps alive (an archive held in memory).
class TRarMemoryVolume : public TKRarVolume {
public:
    explicit TRarMemoryVolume(std::string_view bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override;

private:
    std::string_view FBytes;
};

/// Lists a RAR archive (the 1.5 to 4 block format and the 5 format), following its later volumes
/// by name. Only headers are read: packed data is stepped over by its size and never checked.
/// Every header's checksum is checked; an entry split over volumes is reported once, when its
/// last part has been seen, with the packed sizes of all its parts added up. Headers that are
/// encrypted fail with ecUnsupported; damage fails with ecParse whose Detail names the header
/// and its offset, and whose Path is the volume; a missing later volume fails with ecNotFound
/// naming it. Whatever was read before a failure has been reported.
Result<void> ReadRarVolumes(const TRarVolumeOpener& open, const std::string& firstName, TKArchiveSink& sink);

/// The name of the volume after name: with newNumbering the last group of digits before the
/// extension counts up ("a.part09.rar" → "a.part10.rar"); otherwise the extension does ("a.rar"
/// → "a.r00", "a.r99" → "a.s00"). A name with no digits to count always takes the second form.
std::string NextRarVolumeName(const std::string& name, bool newNumbering);

/// The RAR directory reader of the archive view.
class TRarReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

} // namespace ks
