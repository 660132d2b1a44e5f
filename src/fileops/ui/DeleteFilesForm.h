#pragma once

class QWidget;

namespace ks {

/// What the delete dialog returns.
struct TDeleteChoice {
    bool Delete = false;         ///< OK was pressed
    bool ToRecycle = true;       ///< "&Delete to recycle bin"
    bool EraseAllTracks = false; ///< wipe the files before deleting
};

/// Shows the delete dialog (`TDeleteFiles`, "Delete files...") modally. archivePanel disables
/// the recycle bin choice (archive entries are deleted by the archiver).
TDeleteChoice ShowDeleteFilesForm(bool archivePanel, QWidget* parent = nullptr);

} // namespace ks
