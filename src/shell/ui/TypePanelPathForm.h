#pragma once

#include "controls/ui/KMYFORM.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QShowEvent;

namespace ks {

class TKComboBox;

/// What the "Type new path for panel..." dialog was closed with.
struct TTypePathChoice {
    enum TKind {
        tpNone,   ///< closed with Esc, "&Cancel" or the close box
        tpLocate, ///< "&Locate": Typed is the text, Folder what it names (`ResolveTypedPath`)
        tpBrowse, ///< "&Browse": Folder is the folder picked
    };
    TKind Kind = tpNone;
    /// The text as typed (tpLocate), as it went to the history.
    std::string Typed;
    /// The folder to list, without a trailing "/" ("/" for the root); empty after tpLocate when
    /// the text names no folder that can be listed.
    std::string Folder;
};

/// The "Type new path for panel..." dialog: the active panel's folder in `CurrentPath`, the
/// history box `SettingsTypeNewPath` (focused, holding the newest history entry, selected) for a
/// folder to go to,
/// "&Locate" (the default button) to go there, "&Browse" for a folder picker, "&Cancel" (or Esc)
/// to stay. "&Browse" is a check box used as a button: it is cleared again at once. A picker left
/// without a folder keeps the dialog open. Thread: the GUI thread.
class TTypePanelPathForm : public TKMYFORM {
public:
    /// history is the box's list (newest first), read here and extended by "&Locate"; it must
    /// outlive the dialog. activeFolder is the folder the panel shows, the base of relative texts.
    TTypePanelPathForm(std::vector<std::string>& history, std::string activeFolder,
                       QWidget* parent = nullptr);

    /// Shows the dialog modally over parent and returns how it was closed; tpNone when it went
    /// away with its parent.
    static TTypePathChoice Execute(std::vector<std::string>& history, const std::string& activeFolder,
                                   QWidget* parent = nullptr);

    /// How the dialog was closed; meaningful once it has.
    const TTypePathChoice& Choice() const { return FChoice; }

    /// The folder picker of "&Browse": the start folder and the caption in, the chosen folder out
    /// (nothing when the user cancelled). A folder-only file dialog unless replaced.
    std::function<std::optional<std::string>(const std::string& start, const QString& caption)> PickFolder;

    /// "&Locate": the text goes to the history, a path macro in it is written back expanded, and
    /// the folder it names is looked up.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Browse();

    std::vector<std::string>& FHistory;
    std::string FActiveFolder;
    TTypePathChoice FChoice;
    QLabel* FCurrentPath = nullptr;
    TKComboBox* FInput = nullptr;
    QPushButton* FLocate = nullptr;
    QCheckBox* FBrowse = nullptr;
};

} // namespace ks
