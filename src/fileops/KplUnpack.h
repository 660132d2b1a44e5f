#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/KPL.h"
#include "fileops/CopyQuestions.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// What an unpack did.
struct TKplUnpackCounts {
    std::uint64_t Files = 0;   ///< files written (new or replaced)
    std::uint64_t Folders = 0; ///< folders created
    std::uint64_t Skipped = 0; ///< existing files kept because the answer was No
    std::uint64_t Bytes = 0;   ///< data bytes written
};

/// Writes the entries of a library below one target folder, and nowhere else: every folder is
/// reached through the open folder above it (a symbolic link is never followed, whether planted
/// before or during the unpack), entry paths that could lead out (absolute, "..", NUL) stop the
/// unpack with ecParse, and each file is written under a partial name and renamed into place
/// when complete. An existing file is replaced only after the copier's question 4 ("The file
/// '%s' already exists! Overwrite?") is answered Yes or Yes to all; No and No to all keep it,
/// Abort stops the unpack with ecCancelled. Missing folders on an entry's path are created.
///
/// Thread: the unpacking thread; the questions go through the slot (which may wait for a window).
class TKplUnpacker : public TKKplTarget {
public:
    /// target: the open folder unpacked into; targetPath its name for questions and errors.
    /// cancelled: the flag that stops a waiting question (the library's `Stopped`).
    TKplUnpacker(TKFolder& target, std::string targetPath, TQuestionSlot& questions,
                 const std::atomic<bool>& cancelled);
    ~TKplUnpacker() override;

    Result<void> Entry(const TKplRecord& record, TKArchiveBytes& bytes) override;
    const TKplUnpackCounts& Counts() const { return FCounts; }

private:
    Result<TKFolder*> FolderOf(const std::vector<std::string>& parts, std::size_t count);
    Result<void> WriteFile(TKFolder& folder, const std::string& name, const TKplRecord& record,
                           TKArchiveBytes& bytes, bool replace);

    TKFolder& FTarget;
    std::string FTargetPath;
    TQuestionSlot& FQuestions;
    const std::atomic<bool>& FCancelled;
    // The folders of the last entry's path, opened one below the other, so entries of one folder
    // do not open their path again.
    std::vector<std::string> FOpenParts;
    std::vector<std::unique_ptr<TKFolder>> FOpenFolders;
    int FAllAnswer = 0; ///< mrYesToAll or mrNoToAll once given, else 0
    TKplUnpackCounts FCounts;
    std::vector<char> FBuffer;
};

/// Unpacks the library fileName below targetFolder (which must exist) with `TKplUnpacker`;
/// library's `OnProgress` reports the entries and its `Stopped` cancels (ecCancelled). The
/// library's `LibraryId` must match, as for every read. counts (when given) tells what was done,
/// also when the unpack failed part way. Everything written is flushed to the disk at the end.
Result<void> UnpackLibrary(TKMYKPLIB& library, TKFileSystem& fileSystem, const std::string& fileName,
                           const std::string& targetFolder, TQuestionSlot& questions,
                           TKplUnpackCounts* counts = nullptr);
/// The same from bytes already open into an open folder (a library in memory, say).
Result<void> UnpackLibrary(TKMYKPLIB& library, TKArchiveBytes& bytes, TKFolder& target,
                           const std::string& targetPath, TQuestionSlot& questions,
                           TKplUnpackCounts* counts = nullptr);

} // namespace ks
