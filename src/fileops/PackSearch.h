#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileops/CopyQuestions.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"
#include "foundation/System.h"

namespace ks {

/// The counters of a pack search, as the search window shows them.
struct TPackSearchProgress {
    std::string SearchingPath;   ///< the folder being searched
    std::uint64_t Processed = 0; ///< files looked at
    std::uint64_t Found = 0;     ///< ".kpl" files among them
    std::uint64_t Available = 0; ///< libraries with the wanted id
};

/// The roots a pack search walks: the mounted local file systems (drive type 3).
std::vector<std::string> LocalPackRoots(const TKSystem& system);

/// Finds the KPL libraries with library id wantedId below the roots given: every regular file
/// whose extension is "KPL" in any case is looked at (its header only). Each root is walked
/// through open folders: the current directory never changes, symbolic links are never followed,
/// a folder on another file system than its root (another mount) is not entered, nor are /proc,
/// /sys and /dev, and a folder met twice (a bind mount) is walked once. onProgress (optional)
/// runs after each folder entered and each file; cancelled stops the search after the current
/// entry. Returns the full paths of the libraries found, in walk order; a root that cannot be
/// opened is passed over. Thread: the caller's.
std::vector<std::string> SearchPackages(TKFileSystem& fileSystem, const std::vector<std::string>& roots,
                                        std::int32_t wantedId,
                                        const std::function<void(const TPackSearchProgress&)>& onProgress,
                                        const std::atomic<bool>& cancelled);

/// What installing packs did: the packs unpacked, and those passed over with why (a folder of
/// that name exists, or the unpack failed).
struct TPackInstall {
    std::vector<std::string> Installed; ///< the folders made and unpacked into
    std::vector<TError> Problems;
};

/// Installs the libraries found by a search: for each, the folder dataFolder + kind + "/" + the
/// library's file name without extension is created (dataFolder is the user's data folder,
/// `TKSystem::UserDataDir`; kind "lang" or "skins"), and only when it was new the library is
/// unpacked into it (wantedId required, questions through the slot). A folder that existed
/// unpacks nothing. Thread: the caller's.
TPackInstall InstallPacks(TKFileSystem& fileSystem, const std::string& dataFolder, const std::string& kind,
                          const std::vector<std::string>& libraries, std::int32_t wantedId,
                          TQuestionSlot& questions);

} // namespace ks
