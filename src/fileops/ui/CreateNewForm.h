#pragma once

#include "controls/ui/KMYFORM.h"
#include "fileops/CreateNew.h"

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QShowEvent;

namespace ks {

class TKComboBox;

/// What the "Create new..." dialog was closed with.
struct TCreateNewChoice {
    bool Create = false; ///< "C&reate" was pressed
    TCreateNewKind Kind = TCreateNewKind::cnFolder;
    /// The name as it went to the history, upper-cased with "&Upper cased"; local 8-bit bytes.
    std::string Name;
};

/// The "Create new..." dialog (`TCreateNewForm`): the panel's folder in `WherePath`, the name box
/// `SettingsCreateNewName` (a history box, focused with its text selected), "&New folder" and
/// "N&ew simple text-file" as a pair of radio buttons (the text file is not offered for an FTP
/// folder), "&Upper cased" (stored as "SettingsCreateNewUpperCase"), "C&reate" and "&Cancel".
/// It only collects the choice: the caller makes the item. Thread: the GUI thread.
class TCreateNewForm : public TKMYFORM {
public:
    /// history is the name box's list (newest first), extended by "C&reate"; it must outlive the
    /// dialog. where is the panel's path, shown as it is. kind is the box checked first.
    TCreateNewForm(std::vector<std::string>& history, const std::string& where, bool ftpPanel,
                   TCreateNewKind kind, QWidget* parent = nullptr);

    /// Shows the dialog modally over parent; nothing created when it went away with its parent.
    static TCreateNewChoice Execute(std::vector<std::string>& history, const std::string& where,
                                    bool ftpPanel, TCreateNewKind kind, QWidget* parent = nullptr);

    /// How the dialog was closed; meaningful once it has.
    const TCreateNewChoice& Choice() const { return FChoice; }

    /// "C&reate": the name goes to the history, upper-cased first (and shown so) with
    /// "&Upper cased".
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CheckKind(TCreateNewKind kind);

    std::vector<std::string>& FHistory;
    bool FFtpPanel;
    TCreateNewKind FKind;
    TCreateNewChoice FChoice;
    QLabel* FWherePath = nullptr;
    TKComboBox* FName = nullptr;
    QCheckBox* FFolder = nullptr;
    QCheckBox* FFile = nullptr;
    QCheckBox* FUpperCase = nullptr;
};

} // namespace ks
