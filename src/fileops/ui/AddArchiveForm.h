#pragma once

#include "archive/ArchiveManagers.h"
#include "controls/ui/KMYFORM.h"

class QLineEdit;
class QPushButton;
class QShowEvent;

namespace ks {

/// The edit dialog of one archive manager entry ("Archive settings..."): the extension masks
/// `ArchiveExtensionsEdit` (focused on show), `ArchiveDescEdit`, and the add, delete and extract
/// templates `ArchiveAddEdit`, `ArchiveDeleteEdit`, `ArchiveExtractEdit`. "|" cannot be typed
/// (it ends a field of the stored line), and "&OK" stays disabled while no mask is given, since
/// such an entry would never be found. Escape cancels. Thread: the GUI thread.
class TAddArchiveForm : public TKMYFORM {
public:
    explicit TAddArchiveForm(QWidget* parent = nullptr);

    /// Fills the boxes (local 8-bit texts, like the program names they hold).
    void SetValues(const TArchiveManager& manager);
    /// What the boxes hold now; never `Located`: what the user typed is the user's.
    TArchiveManager Values() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateOk();

    QLineEdit* FExtensions = nullptr;
    QLineEdit* FDescription = nullptr;
    QLineEdit* FAdd = nullptr;
    QLineEdit* FDelete = nullptr;
    QLineEdit* FExtract = nullptr;
    QPushButton* FOk = nullptr;
};

} // namespace ks
