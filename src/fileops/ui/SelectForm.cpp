#include "fileops/ui/SelectForm.h"

#include "controls/ui/KComboBox.h"
#include "fileops/ui/CopyFormTexts.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

TSelectForm::TSelectForm(std::vector<std::string>& history, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHistory(history) {
    setObjectName(QStringLiteral("SelectForm"));
    setWindowTitle(QStringLiteral("Select items..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* info = new QLabel(QStringLiteral("Enter mask which will be used for de/selecting of items "
                                           "('*.*' = all items, '*.bmp;*.pcx')"),
                            this);
    info->setObjectName(QStringLiteral("Info"));
    info->setWordWrap(true);
    layout->addWidget(info);

    auto* maskLabel = new QLabel(QStringLiteral("&Mask"), this);
    maskLabel->setObjectName(QStringLiteral("MaskLabel"));
    layout->addWidget(maskLabel);
    FInput = new TKComboBox(this);
    FInput->setObjectName(QStringLiteral("INPUT"));
    FInput->setMinimumWidth(360);
    FInput->SetHistory(FHistory);
    maskLabel->setBuddy(FInput);
    layout->addWidget(FInput);

    FSelectType = SavedCheckBox(this, "SelectType", QStringLiteral("D&eselect items"), false);
    connect(FSelectType, &QCheckBox::toggled, this, [this] { FollowSelectType(); });
    layout->addWidget(FSelectType);

    layout->addSpacing(4);
    const std::vector<QPushButton*> buttons = AddButtonRow(
        layout, {{"OKButton", "&OK"}, {"AllButton", "&All", false}, {"CancelButton", "&Cancel", false}});
    // "&All" is an OK of its own with the mask for everything; it is wired here, not as a
    // rejecting button.
    QPushButton* all = buttons[1];
    disconnect(all, nullptr, this, nullptr);
    connect(all, &QPushButton::clicked, this, [this] {
        FInput->SetText("*.*");
        accept();
    });
}

void TSelectForm::Execute(std::vector<std::string>& history, TKSelectType& operation, std::string& mask,
                          QWidget* parent) {
    auto* form = new TSelectForm(history, parent);
    form->SetOperation(operation);
    bool chosen = false;
    TKSelectType chosenOperation = operation;
    std::string chosenMask;
    ExecForm(form, [&](TSelectForm& closed) {
        chosen = closed.result() == QDialog::Accepted;
        chosenOperation = closed.Operation();
        chosenMask = closed.Mask();
    });
    mask.clear();
    if (!chosen)
        return;
    operation = chosenOperation;
    mask = chosenMask;
}

void TSelectForm::SetOperation(TKSelectType operation) {
    FSelectType->setChecked(operation == stDeselect);
    FollowSelectType();
}

TKSelectType TSelectForm::Operation() const {
    return FSelectType->isChecked() ? stDeselect : stSelect;
}

std::string TSelectForm::Mask() const {
    return FInput->Text();
}

void TSelectForm::accept() {
    FInput->AddTextToHistory();
    FHistory = FInput->History();
    TKMYFORM::accept();
}

void TSelectForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    // The window file sets a caption of its own; the one that counts is the operation's.
    FollowSelectType();
    FInput->SetText("*.*");
    FInput->setFocus(Qt::OtherFocusReason);
    FInput->lineEdit()->selectAll();
}

void TSelectForm::FollowSelectType() {
    setWindowTitle(FSelectType->isChecked() ? CopyLangText("strSel_UnSelectTitle", "Deselect items...")
                                            : CopyLangText("strSel_SelectTitle", "Select items..."));
    update();
}

} // namespace ks
