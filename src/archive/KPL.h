#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ZipReader.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// Library ids: libraries a user makes, language packs, skin packs; -1 in `TKMYKPLIB::LibraryId`
/// accepts any library when reading.
inline constexpr std::int32_t KplUserLibraryId = 0;
inline constexpr std::int32_t KplLanguagePackId = 15931297;
inline constexpr std::int32_t KplSkinPackId = 15996833;
inline constexpr std::int32_t KplAnyLibraryId = -1;
/// The format version written; versions 1 to this one are read.
inline constexpr std::int32_t KplFormatVersion = 4;
/// The attribute bit of a folder entry.
inline constexpr std::uint32_t KplFolderAttr = 0x10;
/// The longest folder or name field read; a longer one is damage (no path on a disk is longer).
inline constexpr std::size_t MaxKplTextField = 65536;
/// The largest entry a library can hold: its size fields are signed 32-bit.
inline constexpr std::uint64_t MaxKplEntrySize = 0x7FFFFFFF;

/// One entry of a library as `TKMYKPLIB::OnScanning` sees it.
struct TKMYKPLIB_ITEM {
    std::string Folder; ///< relative folder as stored, with its trailing "\" (or "/"); empty at the base
    std::string Name;
    std::int64_t PackedSize = 0;
    std::int64_t Size = 0;
    std::uint32_t Attributes = 0;
    std::uint32_t Method = 0;
};

/// The header of a library.
struct TKplHeader {
    std::int32_t FormatVersion = 0;
    std::int32_t LibraryId = 0;
    std::int32_t EntryCount = 0; ///< 0 for versions 1 and 2, which do not store it
    std::uint64_t RecordsStart = 0;
};

/// One record read: the item and where its data lies in the library.
struct TKplRecord {
    TKMYKPLIB_ITEM Item;
    std::uint64_t Offset = 0;     ///< where the record starts
    std::uint64_t DataOffset = 0; ///< where the data of a file starts
};

/// Reads the records of a library one after the other, through a window of the bytes. Every
/// field is bounded by what remains; errors (ecParse) name the record and its offset.
class TKplRecordReader {
public:
    explicit TKplRecordReader(TKArchiveBytes& bytes) : FBytes(bytes) {}
    /// Reads the header; ecParse "not a KPL library" for a wrong magic, ecUnsupported for a
    /// version outside 1 to 4.
    Result<TKplHeader> ReadHeader();
    /// Reads the next record (false at the end of the bytes) and moves past its data.
    Result<bool> Next(TKplRecord& record);
    std::uint64_t Position() const { return FPosition; }

private:
    Result<std::int32_t> ReadInt(const char* field);
    Result<std::string> ReadText(const char* field);
    Result<void> Fill(std::size_t count);

    TKArchiveBytes& FBytes;
    std::uint64_t FPosition = 0;
    std::string FWindow;
    std::uint64_t FWindowStart = 0;
    std::int32_t FVersion = 0;
    std::uint64_t FRecordNumber = 0;
};

/// The bytes of a library file opened for reading; the file is reachable for in-kernel copies.
class TKplFileBytes : public TKArchiveBytes {
public:
    explicit TKplFileBytes(std::unique_ptr<TKFile> file, std::uint64_t size)
        : FFile(std::move(file)), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override;
    TKFile& File() { return *FFile; }

private:
    std::unique_ptr<TKFile> FFile;
    std::uint64_t FSize;
};

/// Opens a library file: a regular file, opened without blocking (a symlink at the last part is
/// followed, as the user chose the name).
Result<std::unique_ptr<TKplFileBytes>> OpenKplFile(TKFileSystem& fileSystem, const std::string& fileName);

/// Where `TKMYKPLIB::ReadLibrary` unpacks to (fileops/KplUnpack.h makes one that writes below a
/// target folder). Each call returns an error to stop the read with it.
class TKKplTarget {
public:
    virtual ~TKKplTarget() = default;
    virtual Result<void> Entry(const TKplRecord& record, TKArchiveBytes& bytes) = 0;
};

/// The package library: writes the files and folders of `Items` into a library and reads one
/// back (lists, or unpacks through a `TKKplTarget`).
///
/// Thread: an operation runs on one thread (a worker's or the caller's); `Stopped` may be set
/// from any thread to stop it after the current entry. OnProgress and OnScanning run on the
/// operation's thread.
class TKMYKPLIB {
public:
    explicit TKMYKPLIB(TKFileSystem& fileSystem) : FFileSystem(fileSystem) {}

    /// Before a write: the full paths to store, in order. After a listing: one line per entry,
    /// name "|" folder "|" attributes "|" size "|".
    std::vector<std::string> Items;
    std::function<void(std::int32_t position, std::int32_t max)> OnProgress;
    std::function<void(TKMYKPLIB_ITEM& item)> OnScanning;
    /// False while an operation runs; true stops it after the current entry.
    std::atomic<bool> Stopped{true};
    /// The folder stored paths are relative to, with a trailing "/".
    std::string BaseFolder;
    /// Written by a write; when reading, the id required (-1 any).
    std::int32_t LibraryId = KplAnyLibraryId;
    std::int32_t FormatVersion = 0;
    std::int32_t FoundLibraryId = 0;
    /// The files a write had to leave out (they could not be opened or read), with why.
    std::vector<TError> LeftOut;

    /// Adds folder and everything below it to `Items`, depth first in listing order. The walk
    /// goes through open folders (the current directory never changes) and never follows a
    /// symbolic link; links, devices, FIFOs and sockets are not added. A folder that cannot be
    /// opened adds nothing below it. Fails only when folder itself cannot be opened.
    Result<void> ScanFolder(const std::string& folder);
    /// Writes `Items` as a library of format version 4 to fileName: under a temporary name beside
    /// it, renamed over fileName once complete and flushed. Lines naming nothing (or no file or
    /// folder) are skipped; a file that cannot be read is left out (see `LeftOut`). Fails with
    /// ecTooLarge, writing nothing, when an entry is larger than `MaxKplEntrySize` or there are
    /// more entries than the count holds; a failed write or rename leaves fileName as it was.
    Result<void> WriteLibrary(const std::string& fileName);
    /// Reads fileName: the header only; or lists the entries (listMode); or hands each entry to
    /// target. A wrong magic fails with ecParse, a version above 4 with ecUnsupported, a foreign
    /// library id with ecNotFound; damage after the header with ecParse naming the record (the
    /// entries before are listed or unpacked); a stop request with ecCancelled; an error of the
    /// target with it.
    Result<void> ReadLibrary(const std::string& fileName, bool listMode, bool headerOnly,
                             TKKplTarget* target = nullptr);
    /// `ReadLibrary` over bytes already open (a library in memory, for instance).
    Result<void> ReadLibrary(TKArchiveBytes& bytes, bool listMode, bool headerOnly,
                             TKKplTarget* target = nullptr);
    /// `ReadLibrary` (fileName, listMode true, headerOnly).
    Result<void> ListLibrary(const std::string& fileName, bool headerOnly);

private:
    TKFileSystem& FFileSystem;
};

/// The relative path of a stored entry with "/" between its parts: "\" and "/" of the folder
/// field both separate, empty parts are dropped. Fails (ecParse) for anything that could lead
/// out of the folder unpacked into: an absolute folder, a "." or ".." part, a NUL, a name that
/// is empty or holds a separator.
Result<std::vector<std::string>> KplEntryParts(const TKMYKPLIB_ITEM& item);

/// Lists a KPL library as a panel shows it (through `TKMYKPLIB::ListLibrary`). A file that is
/// not a library (wrong magic or version) lists nothing and is no failure. Thread: the caller's.
class TKplReader : public TKArchiveReader {
public:
    Result<void> ReadDirectory(TKFileSystem& fileSystem, const std::string& fileName,
                               TKArchiveSink& sink) override;
};

/// Lists a library given as bytes, as `TKplReader` does.
Result<void> ReadKplDirectory(TKArchiveBytes& bytes, TKArchiveSink& sink);
Result<void> ReadKplDirectory(std::string_view data, TKArchiveSink& sink);

} // namespace ks
