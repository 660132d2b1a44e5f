#pragma once

#include "controls/ui/KMYFORM.h"
#include "panel/KITEMSSTRUC.h"

#include <string>
#include <vector>

class QCheckBox;
class QShowEvent;

namespace ks {

class TKComboBox;

/// The select dialog (`TSelectForm`) of Num+ and Num-: the hint `Info`, the mask box `INPUT` (a
/// history box, reset to "*.*" and focused on every show), `SelectType` "D&eselect items"
/// (stored in the registry; the caption is "strSel_UnSelectTitle" while it is checked and
/// "strSel_SelectTitle" while not), "&OK", "&All" (the mask "*.*", then OK) and "&Cancel".
/// Thread: the GUI thread.
class TSelectForm : public TKMYFORM {
public:
    /// history is the mask box's list (newest first), extended by OK; it must outlive the dialog.
    explicit TSelectForm(std::vector<std::string>& history, QWidget* parent = nullptr);

    /// `OnGetMaskForSelect`: shows the dialog with `SelectType` checked for stDeselect; on OK
    /// operation follows the box and mask is the mask typed, on Cancel (or the parent going
    /// away) mask is empty and operation stays.
    static void Execute(std::vector<std::string>& history, TKSelectType& operation, std::string& mask,
                        QWidget* parent = nullptr);

    /// Checks or clears `SelectType`; the caption follows.
    void SetOperation(TKSelectType operation);
    TKSelectType Operation() const;
    /// The mask typed (local 8-bit).
    std::string Mask() const;

    /// OK: the mask goes to the history.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FollowSelectType();

    std::vector<std::string>& FHistory;
    TKComboBox* FInput = nullptr;
    QCheckBox* FSelectType = nullptr;
};

} // namespace ks
