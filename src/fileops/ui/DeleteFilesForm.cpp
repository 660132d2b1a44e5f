#include "fileops/ui/DeleteFilesForm.h"

#include "controls/ui/KMYFORM.h"
#include "foundation/Data.h"
#include "foundation/RegistryStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ks {

namespace {

/// The delete confirmation: "&Delete" confirms, "&Cancel", Escape and the close box do not.
/// "&Move to the Trash" remembers its state between runs.
class TDeleteFiles : public TKMYFORM {
public:
    TDeleteFiles(bool noTrash, QWidget* parent) : TKMYFORM(parent, ftTranslated), FNoTrash(noTrash) {
        setObjectName(QStringLiteral("DeleteFiles"));
        setWindowTitle(QStringLiteral("Delete files..."));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(InnerLeft + 16, InnerTop + 14, 20, 14);
        layout->setSpacing(8);

        auto* label =
            new QLabel(QStringLiteral("Please confirm deleting of selected items!!  Be careful!"), this);
        label->setObjectName(QStringLiteral("ConfirmLabel"));
        layout->addWidget(label);
        layout->addSpacing(4);

        FToRecycle = new QCheckBox(QStringLiteral("&Move to the Trash"), this);
        FToRecycle->setObjectName(QStringLiteral("ToRecycle"));
        FToRecycle->setChecked(true);
        if (const TKRegistryStore* store = RegistryStore()) {
            if (const std::optional<bool> stored = LoadCheckBoxState(*store, ProgramKey, "ToRecycle"))
                FToRecycle->setChecked(*stored);
        }
        // Only the user's own changes are stored; the state a disabled box shows is not a choice.
        connect(FToRecycle, &QCheckBox::clicked, this, [](bool checked) {
            if (TKRegistryStore* store = RegistryStore())
                SaveCheckBoxState(*store, ProgramKey, "ToRecycle", checked);
        });
        layout->addWidget(FToRecycle);

        FEraseAllTracks = new QCheckBox(QStringLiteral("Erase all \"tracks\""), this);
        FEraseAllTracks->setObjectName(QStringLiteral("EraseAllTracks"));
        connect(FEraseAllTracks, &QCheckBox::toggled, this, [this] { ApplyRule(); });
        layout->addWidget(FEraseAllTracks);

        layout->addSpacing(6);
        FDeleteButton =
            AddButtonRow(layout, {{"DeleteButton", "&Delete"}, {"CancelButton", "&Cancel", false}}).front();
    }

    /// The choice the dialog was closed with.
    TDeleteChoice Choice() const {
        TDeleteChoice choice;
        choice.Delete = result() == QDialog::Accepted;
        // A disabled box is not offered, so it cannot send the items to the recycle bin.
        choice.ToRecycle = FToRecycle->isEnabled() && FToRecycle->isChecked();
        choice.EraseAllTracks = FEraseAllTracks->isEnabled() && FEraseAllTracks->isChecked();
        return choice;
    }

protected:
    void showEvent(QShowEvent* event) override {
        // Wiping is never offered: the box only shows that it exists.
        FEraseAllTracks->setChecked(false);
        FEraseAllTracks->setEnabled(false);
        FToRecycle->setEnabled(true);
        ApplyRule();
        if (FToRecycle->isEnabled())
            FToRecycle->setFocus(Qt::OtherFocusReason);
        else
            FDeleteButton->setFocus(Qt::OtherFocusReason);
        TKMYFORM::showEvent(event);
    }

private:
    void ApplyRule() { FToRecycle->setEnabled(!FEraseAllTracks->isChecked() && !FNoTrash); }

    bool FNoTrash;
    QCheckBox* FToRecycle = nullptr;
    QCheckBox* FEraseAllTracks = nullptr;
    QPushButton* FDeleteButton = nullptr;
};

} // namespace

TDeleteChoice ShowDeleteFilesForm(bool noTrash, QWidget* parent) {
    // A parent destroyed while the dialog is open takes the dialog with it, which counts as
    // cancelled.
    TDeleteChoice choice{false, false, false};
    ExecForm(new TDeleteFiles(noTrash, parent), [&choice](TDeleteFiles& form) { choice = form.Choice(); });
    return choice;
}

} // namespace ks
