#pragma once

#include "controls/ui/KMYFORM.h"

#include <string>
#include <vector>

class QComboBox;
class QShowEvent;

namespace ks {

class TKComboBox;

/// Where the proposed archive name comes from (local 8-bit names).
struct TAddToArchiveSource {
    std::string PanelFolder;   ///< the active panel's folder
    bool HasSelection = false; ///< items are selected in the active panel
    std::string CursorItem;    ///< the name of the item under the cursor
    std::string OtherFolder;   ///< the other panel's folder
};

/// The name "Add items to archive..." proposes: the item under the cursor when nothing is
/// selected, else the last part of the panel's folder, or "Archive.xxx" at the root; without its
/// extension and its spaces, behind the other panel's folder. A name that would be left empty
/// (".profile") is "Archive".
std::string ProposeArchiveName(const TAddToArchiveSource& source);

/// How "Add items to archive..." was closed.
struct TAddToArchiveChoice {
    bool Add = false; ///< "&Add" was pressed
    std::string Name; ///< the archive's full name as typed, one argument as it stands
    int Entry = -1;   ///< the position of the chosen manager in the list; -1 for KPL
};

/// The "Add items to archive..." dialog (`TAddToArchiveForm`): the name box `INPUT` (a history
/// box, focused with its text selected) and `ArchiverCombo` with "KPL - internal format" first,
/// then every manager that can add ("first mask - description"). It only collects the choice:
/// the caller packs. Thread: the GUI thread.
class TAddToArchiveForm : public TKMYFORM {
public:
    /// history is the name box's list, extended by "&Add"; it must outlive the dialog. managers
    /// are the stored entries ("m_archivelist").
    TAddToArchiveForm(std::vector<std::string>& history, const std::vector<std::string>& managers,
                      const std::string& proposedName, QWidget* parent = nullptr);

    /// Shows the dialog modally with the name proposed for source.
    static TAddToArchiveChoice Execute(std::vector<std::string>& history,
                                       const std::vector<std::string>& managers,
                                       const TAddToArchiveSource& source, QWidget* parent = nullptr);

    const TAddToArchiveChoice& Choice() const { return FChoice; }

    /// "&Add": an empty name adds nothing; a KPL name without extension gets ".kpl". The name is
    /// never quoted, since it reaches the manager as one argument.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::string>& FHistory;
    std::string FProposedName;
    TAddToArchiveChoice FChoice;
    TKComboBox* FName = nullptr;
    QComboBox* FArchiver = nullptr;
};

} // namespace ks
