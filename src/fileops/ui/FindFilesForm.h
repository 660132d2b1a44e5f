#pragma once

#include "controls/ui/KMYFORM.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QRadioButton;
class QShowEvent;

namespace ks {

class TKComboBox;

/// Where a search runs, as the find dialog's five scope boxes choose it.
enum TFindScope : int {
    fsAllDrives,             ///< `FindFilesSearchAllDrives`: every non-removable file system
    fsRootFolder,            ///< `FindFilesSearchRoot`: the mount root of the panel's folder
    fsCurrentWithSubfolders, ///< `FindFilesSearchCurrentWithSubfolders`
    fsCurrent,               ///< `FindFilesSearchCurrent`: the panel's folder only
    fsSelected,              ///< `FindFilesSearchSelected`: the marked folders, whole
};

/// What "Sta&rt" hands the panel's search: the start folder (`FSearchRoot`, empty for every
/// non-removable drive), `FRecursive`, `FSelectedOnly`, the masks, the text and the case option.
struct TFindRequest {
    std::string SearchRoot;
    bool Recursive = true;
    bool SelectedOnly = false;
    std::string Masks;
    std::string Text;
    bool UpperCase = false;
};

/// The search arguments of a scope for a panel showing folder on the file system mounted at
/// root.
TFindRequest FindRequestFor(TFindScope scope, const std::string& folder, const std::string& root);

/// The "Find files..." dialog: the masks `SettingsFindFileMask` ("*.*" at first) and the text
/// `SettingsFindFileContainingText`, each with its history; "&Upper case" (`FindFilesUpperCase`,
/// saved); the five scopes as one radio group, "Cure&nt folder with subfolders" chosen on every
/// show; "Sta&rt" and "&Cancel" (Esc). Thread: the GUI thread.
class TFindFilesForm : public TKMYFORM {
public:
    /// maskHistory and textHistory (newest first) are read and extended by Start and must outlive
    /// the dialog; upperCase is the saved state of the case box.
    TFindFilesForm(std::vector<std::string>& maskHistory, std::vector<std::string>& textHistory,
                   bool upperCase, QWidget* parent = nullptr);

    /// Shows the dialog over parent for a panel on folder (mounted at root); the request on
    /// Start, nothing on Cancel.
    static std::optional<TFindRequest> Execute(std::vector<std::string>& maskHistory,
                                               std::vector<std::string>& textHistory, bool& upperCase,
                                               const std::string& folder, const std::string& root,
                                               QWidget* parent = nullptr);

    TFindScope Scope() const;
    void SetScope(TFindScope scope);
    TKComboBox* MaskBox() const { return FMask; }
    TKComboBox* TextBox() const { return FText; }
    QCheckBox* UpperCaseBox() const { return FUpperCase; }
    /// The request of the last Start.
    const std::optional<TFindRequest>& Request() const { return FRequest; }
    /// The folder the search is for (set by `Execute`).
    std::string Folder;
    std::string Root;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::string>& FMaskHistory;
    std::vector<std::string>& FTextHistory;
    TKComboBox* FMask = nullptr;
    TKComboBox* FText = nullptr;
    QCheckBox* FUpperCase = nullptr;
    std::array<QRadioButton*, 5> FScopes{};
    std::optional<TFindRequest> FRequest;
};

} // namespace ks
