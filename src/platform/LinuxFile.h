#pragma once

#include <string>

#include <sys/stat.h>

#include "foundation/FileSystem.h"

namespace ks {

/// A local file held by an open descriptor: every call works on the descriptor (pread, pwrite,
/// lseek with SEEK_DATA and SEEK_HOLE, fsync, fstat, fchmod, futimens, copy_file_range, the
/// FICLONE ioctl, flock), never on a name.
///
/// Thread: one thread at a time.
class TKLinuxFile : public TKFile {
public:
    /// Takes over fd, an open file descriptor; path names it in errors only, size is its size
    /// when it was opened.
    TKLinuxFile(int fd, std::string path, std::uint64_t size);
    ~TKLinuxFile() override;
    TKLinuxFile(const TKLinuxFile&) = delete;
    TKLinuxFile& operator=(const TKLinuxFile&) = delete;

    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> Read(char* buffer, std::size_t count) override;
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override;
    Result<void> Write(std::string_view data) override;
    Result<void> WriteAt(std::uint64_t offset, std::string_view data) override;
    Result<std::optional<std::uint64_t>> NextData(std::uint64_t offset) override;
    Result<std::uint64_t> NextHole(std::uint64_t offset) override;
    Result<void> Truncate(std::uint64_t size) override;
    Result<void> Sync() override;
    Result<TFileInfo> Info() override;
    Result<void> SetMode(std::uint32_t mode) override;
    Result<void> SetTimes(std::int64_t accessTimeNs, std::int64_t modifyTimeNs) override;
    /// Works only from another `TKLinuxFile`.
    Result<std::size_t> CopyFrom(TKFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                                 std::size_t count) override;
    /// Works only from another `TKLinuxFile`.
    Result<void> CloneFrom(TKFile& source) override;
    /// Polls a non-blocking flock every 5 ms, so the wait has a limit.
    Result<void> Lock(int waitMs) override;
    Result<void> Close() override;

private:
    int FFd;
    std::string FPath;
    std::uint64_t FSize;
};

/// The description of st, an fstat or fstatat result.
TFileInfo FileInfoOf(const struct stat& st);
/// A time in nanoseconds since 1970 UTC as the time calls take it (earlier times too).
timespec TimeSpecOf(std::int64_t nanoseconds);

} // namespace ks
