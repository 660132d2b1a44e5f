#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// Random access to the bytes of one archive (a file, the parts of a split archive, memory).
class TKArchiveBytes {
public:
    virtual ~TKArchiveBytes() = default;
    virtual std::uint64_t Size() const = 0;
    /// Reads up to count bytes at offset; fewer only at the end.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) = 0;
};

/// Bytes held in memory (the fuzz targets' input); data must outlive the object.
class TMemoryBytes : public TKArchiveBytes {
public:
    explicit TMemoryBytes(std::string_view data) : FData(data) {}
    std::uint64_t Size() const override { return FData.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FData.size())
            return std::size_t{0};
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FData.size() - offset));
        std::copy_n(FData.data() + offset, n, buffer);
        return n;
    }

private:
    std::string_view FData;
};

/// An open file, read up to the size it had when the reader measured it (or its size now).
class TFileBytes : public TKArchiveBytes {
public:
    explicit TFileBytes(std::unique_ptr<TKFile> file) : FFile(std::move(file)), FSize(FFile->Size()) {}
    TFileBytes(std::unique_ptr<TKFile> file, std::uint64_t size) : FFile(std::move(file)), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FSize)
            return std::size_t{0};
        return FFile->ReadAt(offset, buffer,
                             static_cast<std::size_t>(std::min<std::uint64_t>(count, FSize - offset)));
    }

private:
    std::unique_ptr<TKFile> FFile;
    std::uint64_t FSize;
};

} // namespace ks
