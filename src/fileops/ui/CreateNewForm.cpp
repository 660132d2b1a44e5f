#include "fileops/ui/CreateNewForm.h"

#include "controls/ui/KComboBox.h"
#include "fileops/ui/CopyFormTexts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

TCreateNewForm::TCreateNewForm(std::vector<std::string>& history, const std::string& where, bool ftpPanel,
                               TCreateNewKind kind, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHistory(history), FFtpPanel(ftpPanel), FKind(kind) {
    setObjectName(QStringLiteral("CreateNewForm"));
    setWindowTitle(QStringLiteral("Create new..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* what = new QLabel(QStringLiteral("What to create?"), this);
    what->setObjectName(QStringLiteral("WhatLabel"));
    layout->addWidget(what);

    auto* form = new QFormLayout;
    auto* whereLabel = new QLabel(QStringLiteral("Where ?"), this);
    whereLabel->setObjectName(QStringLiteral("WhereLabel"));
    FWherePath = new QLabel(LocalText(where), this);
    FWherePath->setObjectName(QStringLiteral("WherePath"));
    // The folder is the file system's, not markup.
    FWherePath->setTextFormat(Qt::PlainText);
    form->addRow(whereLabel, FWherePath);

    auto* nameLabel = new QLabel(QStringLiteral("N&ame"), this);
    nameLabel->setObjectName(QStringLiteral("NameLabel"));
    FName = new TKComboBox(this);
    FName->setObjectName(QStringLiteral("SettingsCreateNewName"));
    FName->setMinimumWidth(320);
    FName->SetHistory(FHistory);
    nameLabel->setBuddy(FName);
    form->addRow(nameLabel, FName);
    layout->addLayout(form);

    FFolder = new QCheckBox(QStringLiteral("&New folder"), this);
    FFolder->setObjectName(QStringLiteral("SettingsCreateFolder"));
    layout->addWidget(FFolder);
    FFile = new QCheckBox(QStringLiteral("N&ew simple text-file"), this);
    FFile->setObjectName(QStringLiteral("SettingsCreateFile"));
    layout->addWidget(FFile);
    FUpperCase = SavedCheckBox(this, "SettingsCreateNewUpperCase", QStringLiteral("&Upper cased"), false);
    layout->addWidget(FUpperCase);

    // The two kinds act as radio buttons: a click always leaves exactly the clicked one checked.
    connect(FFolder, &QCheckBox::clicked, this, [this] { CheckKind(TCreateNewKind::cnFolder); });
    connect(FFile, &QCheckBox::clicked, this, [this] { CheckKind(TCreateNewKind::cnTextFile); });

    layout->addSpacing(4);
    AddButtonRow(layout, {{"CreateButton", "C&reate"}, {"CancelButton", "&Cancel", false}});
}

TCreateNewChoice TCreateNewForm::Execute(std::vector<std::string>& history, const std::string& where,
                                         bool ftpPanel, TCreateNewKind kind, QWidget* parent) {
    TCreateNewChoice choice;
    ExecForm(new TCreateNewForm(history, where, ftpPanel, kind, parent),
             [&choice](TCreateNewForm& form) { choice = form.Choice(); });
    return choice;
}

void TCreateNewForm::CheckKind(TCreateNewKind kind) {
    FFolder->setChecked(kind == TCreateNewKind::cnFolder);
    FFile->setChecked(kind == TCreateNewKind::cnTextFile);
}

void TCreateNewForm::accept() {
    if (FUpperCase->isChecked())
        FName->lineEdit()->setText(FName->lineEdit()->text().toUpper());
    FName->AddTextToHistory();
    FHistory = FName->History();
    FChoice.Create = true;
    FChoice.Kind =
        FFile->isChecked() && FFile->isEnabled() ? TCreateNewKind::cnTextFile : TCreateNewKind::cnFolder;
    FChoice.Name = FName->Text();
    TKMYFORM::accept();
}

void TCreateNewForm::showEvent(QShowEvent* event) {
    // The window file is applied first; the folder shown is no caption and stays.
    TKMYFORM::showEvent(event);
    FChoice = {};
    // An FTP server is asked for folders only.
    FFile->setEnabled(!FFtpPanel);
    CheckKind(FFtpPanel ? TCreateNewKind::cnFolder : FKind);
    FName->setFocus(Qt::OtherFocusReason);
    FName->lineEdit()->selectAll();
}

} // namespace ks
