#pragma once

class QWidget;

namespace ks {

/// What the delete dialog returns.
struct TDeleteChoice {
    bool Delete = false;         ///< OK was pressed
    bool ToRecycle = true;       ///< "&Delete to recycle bin"
    bool EraseAllTracks = false; ///< wipe the files before deleting
};

/// Shows the delete dialog (`TDeleteFiles`, "Delete files...") modally. noTrash disables the
/// Trash choice: archive entries are deleted by the archiver, and what a server deletes is gone.
TDeleteChoice ShowDeleteFilesForm(bool noTrash, QWidget* parent = nullptr);

} // namespace ks
