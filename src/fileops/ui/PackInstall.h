#pragma once

#include "fileops/PackSearch.h"

#include <string>
#include <vector>

class QWidget;

namespace ks {

class TKFileSystem;
class TKSystem;

/// Which packs a search looks for and where they are installed.
enum TPackKind { pkLanguage, pkSkin };

/// The message telling what an install did: the packs installed, then those passed over with
/// why; empty when there is nothing to tell.
std::string PackInstallText(const TPackInstall& install);

/// After a search that found libraries: asks whether to install them (str_SettInstallLangPack or
/// str_SettInstallSkinPack with their number, OK and Cancel, Cancel pre-selected); on OK
/// installs them below dataFolder ("lang" or "skins", see `InstallPacks`) and tells what was
/// installed and what was not. Nothing is asked when libraries is empty. Returns true when a
/// pack was installed, so the caller reloads its lists. Thread: the GUI thread.
bool InstallFoundPacks(TKFileSystem& fileSystem, const std::string& dataFolder, TPackKind kind,
                       const std::vector<std::string>& libraries, QWidget* parent = nullptr);

/// The settings dialog's "Search all local harddrives": searches the local file systems for
/// packs of kind in `TSearchPackagesForm` and installs what it found into the user's data
/// folder (`InstallFoundPacks`). Returns true when a pack was installed.
bool SearchAndInstallPacks(const TKSystem& system, TPackKind kind, QWidget* parent = nullptr);

} // namespace ks
