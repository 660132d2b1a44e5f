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

/// The word the copy dialog puts into its path box for a target panel that is not a folder.
enum TCopyTargetWord { twNone, twArchive, twFtp };

/// What the copy dialog was closed with.
struct TCopyFilesChoice {
    bool Accepted = false;
    std::string Path; ///< the target as typed, path macros expanded
    bool Move = false;
    bool CopyAttributes = true;
    bool MakeBackup = false;
};

/// The copy dialog ("Copy files..."): where to copy or move the marked items and how. The path
/// box offers the earlier targets and completes path names; "Delete afte&r copy" and "Copy file
/// &attributes" remember their state between runs, "Make a backup of each file (.bak)" starts
/// unchecked every time. The typed words "archive" and "ftp" (which the dialog puts there
/// itself for such target panels) switch off the options those targets cannot honour.
/// Thread: the GUI thread.
class TCopyFilesForm : public TKMYFORM {
public:
    /// history is the path box's list, which the dialog reads when prepared and extends on OK;
    /// it must outlive the dialog.
    explicit TCopyFilesForm(std::vector<std::string>& history, QWidget* parent = nullptr);

    /// Readies the dialog before exec(): otherFolder into the path box, "Delete afte&r copy"
    /// checked for a move, and word (for an archive or FTP target panel) to replace the path
    /// when the dialog shows.
    void Prepare(const std::string& otherFolder, bool move, TCopyTargetWord word);
    /// The choice after exec(): options whose boxes are disabled count as off, and a move never
    /// makes backups.
    TCopyFilesChoice Choice() const;

    /// The browse button's folder picker: the start folder and the prompt in, the chosen folder
    /// out (nothing when the user cancelled). A non-native folder dialog unless replaced.
    std::function<std::optional<std::string>(const std::string& start, const QString& prompt)> PickFolder;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplyRules();
    void Browse();

    std::vector<std::string>& FHistory;
    TCopyTargetWord FWord = twNone;
    QLabel* FInfo = nullptr;
    QLabel* FName = nullptr;
    TKComboBox* FInput = nullptr;
    QPushButton* FBrowse = nullptr;
    QCheckBox* FDeleteAfterCopy = nullptr;
    QCheckBox* FCopyAttributes = nullptr;
    QCheckBox* FMakeBackup = nullptr;
    QPushButton* FOk = nullptr;
};

} // namespace ks
