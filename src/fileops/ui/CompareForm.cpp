#include "fileops/ui/CompareForm.h"

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

TCompareForm::TCompareForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("CompareForm"));
    setWindowTitle(QStringLiteral("Compare panels..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 16, InnerTop + 12, 20, 14);
    layout->setSpacing(6);

    auto* label = new QLabel(QStringLiteral("Compare by :"), this);
    label->setObjectName(QStringLiteral("CompareLabel"));
    layout->addWidget(label);

    FName = AddBox("CheckBoxName", "&Name", false);
    FName->setChecked(true);
    FSize = AddBox("CheckBoxSize", "&Item size", true);
    FAttr = AddBox("CheckBoxAttr", "I&tem attributes", true);
    FDate = AddBox("CheckBoxDate", "C&reation date", true);
    FFolderContents = AddBox("CheckBoxFolderContents", "Folder contents", true);
    FFileContents = AddBox("CheckBoxFileContents", "File contents", true);

    layout->addSpacing(6);
    AddButtonRow(layout, {{"CompareButton", "C&ompare"}, {"CancelButton", "&Cancel", false}});
}

QCheckBox* TCompareForm::AddBox(const char* name, const char* caption, bool saved) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), this);
    box->setObjectName(QString::fromUtf8(name));
    static_cast<QBoxLayout*>(layout())->addWidget(box);
    if (!saved)
        return box;
    if (const TKRegistryStore* store = RegistryStore())
        box->setChecked(AutoSaveValue(*store, DefaultAutoSaveKey, name) == "1");
    const std::string key(name);
    connect(box, &QCheckBox::toggled, this, [key](bool checked) {
        if (TKRegistryStore* store = RegistryStore())
            SaveCheckBoxState(*store, DefaultAutoSaveKey, key, checked);
    });
    return box;
}

TCompareOptions TCompareForm::Options() const {
    TCompareOptions options;
    options.ByName = FName->isChecked();
    options.BySize = FSize->isChecked();
    options.ByAttr = FAttr->isChecked();
    options.ByDate = FDate->isChecked();
    options.ByFolderContents = FFolderContents->isChecked();
    options.ByFileContents = FFileContents->isChecked();
    return options;
}

void TCompareForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FSize->setFocus(Qt::OtherFocusReason);
}

std::optional<TCompareOptions> TCompareForm::Execute(QWidget* parent) {
    std::optional<TCompareOptions> options;
    ExecForm(new TCompareForm(parent), [&options](TCompareForm& form) {
        if (form.result() == QDialog::Accepted)
            options = form.Options();
    });
    return options;
}

} // namespace ks
