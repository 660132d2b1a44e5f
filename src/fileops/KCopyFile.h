#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fileops/CopyQuestions.h"
#include "foundation/FileSystem.h"

namespace ks {

/// Every copier's buffer size, and the chunk of files larger than ten buffers.
inline constexpr std::int64_t CopyBufferSize = 1048575;
/// The chunk of files up to ten buffers for a `SettingsMaxCopyBufferSize` value (kilobytes):
/// the value times 1024 limited to 1..8192, times 1024, divided by 16. 128 gives 524288, 0 or
/// less gives 64.
std::int64_t CopyChunkNormalFor(std::int64_t maxCopyBufferSize);
/// The name a copy is written under until it is complete: ".kS-<name>.part" beside the
/// target, with number before ".part" from 1 on (".kS-<name>.1.part"); name is cut so the whole
/// stays within 255 bytes.
std::string PartialName(std::string_view name, int number = 0);

/// Copies or moves one file at a time and settles every conflict or error of that file by
/// asking the user through the job's `TQuestionSlot`. A copy is written under `PartialName`
/// (created exclusively, 0600, locked while written) and renamed to the target only when
/// complete, so a failed, skipped or cancelled copy never leaves a partial file under the
/// target's name; an existing target is replaced only after the new data is flushed to the disk.
/// Symbolic links are copied as links; devices, FIFOs and sockets are never opened. The mode
/// bits (less set-user-id and set-group-id) always go with the copy, the modification time with
/// `FKeepDate`; holes of a sparse file stay holes. A move within one file system is a rename.
///
/// Thread: CopyFile on the job's thread. `FCancel` is set from any thread; `FFileSize`,
/// `FFileDone`, `CurrentFile` and `FLastCode` are read from any thread.
class TKCopyFile {
public:
    TKCopyFile(TKFileSystem& fileSystem, TQuestionSlot& questions);
    TKCopyFile(const TKCopyFile&) = delete;
    TKCopyFile& operator=(const TKCopyFile&) = delete;

    /// After every question, whatever the answer (also after the silent abort code 1).
    std::function<void()> OnProcessError;
    /// After every chunk written. The job waits here while it is suspended.
    std::function<void()> OnProcessing;

    /// The last question code raised; 1 means the job was aborted.
    std::atomic<int> FLastCode{qcNone};
    /// Size of the current source; 0 between files.
    std::atomic<std::int64_t> FFileSize{0};
    /// Bytes of the current file written so far; 0 between files.
    std::atomic<std::int64_t> FFileDone{0};
    bool FKeepDate = false;
    bool FMove = false;
    std::atomic<bool> FCancel{false};
    /// 0 ask, 1 overwrite all, 2 skip all.
    int FOverwriteMode = 0;
    /// Shown with the questions, so the user knows which job asks.
    int FJobID = 0;
    /// Set once a file's data was written (not only renamed): the job then flushes its targets.
    bool FWroteData = false;

    /// Sets the chunk of files up to ten buffers from a `SettingsMaxCopyBufferSize` value.
    void SetMaxCopyBufferSize(std::int64_t kilobytes) { FChunkNormal = CopyChunkNormalFor(kilobytes); }
    std::int64_t ChunkNormal() const { return FChunkNormal; }
    /// The name of the current target; empty between files.
    std::string CurrentFile() const;

    /// Copies (or moves) the file source to target, both full names. True when the file is done
    /// (copied, moved, or cancelled while copying); false when it was skipped, failed or the job
    /// was aborted (then `FLastCode` is 1).
    bool CopyFile(const std::string& source, const std::string& target);
    /// The same for the entry sourceName of sourceFolder to targetName of targetFolder; the full
    /// names are for the comparison of source and target and for messages.
    bool CopyFileAt(TKFolder& sourceFolder, std::string_view sourceName, const std::string& sourcePath,
                    TKFolder& targetFolder, std::string_view targetName, const std::string& targetPath);
    /// Raises a question code: sets `FLastCode`, asks the user (code 1 asks nothing), fires
    /// `OnProcessError` and returns the answer.
    int Ask(int code);
    /// True when the job is to stop: cancelled or aborted.
    bool Stopped() const { return FCancel.load() || FLastCode.load() == qcAborted; }

private:
    enum class TOutcome { Done, Skipped, Aborted, Cancelled };
    struct TTarget;

    TOutcome Copy(TKFolder& sourceFolder, std::string_view sourceName, const std::string& sourcePath,
                  TKFolder& targetFolder, std::string_view targetName, const std::string& targetPath);
    TOutcome CopyLink(TKFolder& sourceFolder, std::string_view sourceName, TKFolder& targetFolder,
                      std::string_view targetName, bool replace);
    /// Asks code: nothing when the answer is to try again (Retry for a missing source, Yes for
    /// the rest), else how the file ends (Abort ends the job, anything else skips the file).
    std::optional<TOutcome> AskAgain(int code);
    TOutcome AskOverwrite(bool& replace);
    TOutcome CreatePartial(TKFolder& targetFolder, std::string_view targetName, TTarget& target);
    TOutcome CopyData(TKFile& source, const TFileInfo& info, TTarget& target);
    TOutcome CopyRange(TKFile& source, std::uint64_t from, std::uint64_t to, bool toEnd, TTarget& target);
    TOutcome WriteBuffered(TKFile& source, std::uint64_t offset, std::size_t count, TTarget& target,
                           std::size_t& written);
    TOutcome Finish(TKFile& source, const TFileInfo& info, TTarget& target, TKFolder& targetFolder,
                    std::string_view targetName, bool replace);
    void SetCurrentFile(std::string name);

    TKFileSystem& FFileSystem;
    TQuestionSlot& FQuestions;
    std::int64_t FChunkNormal;
    std::int64_t FChunk = 0;
    std::vector<char> FBuffer;
    mutable std::mutex FNameLock;
    std::string FCurrentFile;
};

} // namespace ks
