#include "fileops/ui/AddToArchiveForm.h"

#include "archive/ArchiveManagers.h"
#include "controls/ui/KComboBox.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace ks {

std::string ProposeArchiveName(const TAddToArchiveSource& source) {
    std::string name = !source.HasSelection ? source.CursorItem : std::string();
    if (name.empty())
        name = LastPathPart(source.PanelFolder);
    if (name.empty())
        name = "Archive.xxx";
    name = ExtractNameNoExt(name);
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    if (name.empty())
        name = "Archive";
    return AddBackslash(source.OtherFolder) + name;
}

TAddToArchiveForm::TAddToArchiveForm(std::vector<std::string>& history,
                                     const std::vector<std::string>& managers,
                                     const std::string& proposedName, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHistory(history), FProposedName(proposedName) {
    setObjectName(QStringLiteral("AddToArchiveForm"));
    setWindowTitle(QStringLiteral("Add items to archive..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* form = new QFormLayout;
    auto* nameLabel = new QLabel(QStringLiteral("&Name"), this);
    nameLabel->setObjectName(QStringLiteral("NameLabel"));
    FName = new TKComboBox(this);
    FName->setObjectName(QStringLiteral("INPUT"));
    FName->setMinimumWidth(360);
    FName->SetHistory(FHistory);
    nameLabel->setBuddy(FName);
    form->addRow(nameLabel, FName);

    auto* archiverLabel = new QLabel(QStringLiteral("&Archiver"), this);
    archiverLabel->setObjectName(QStringLiteral("ArchiverLabel"));
    FArchiver = new QComboBox(this);
    FArchiver->setObjectName(QStringLiteral("ArchiverCombo"));
    FArchiver->addItem(QStringLiteral("KPL - internal format"), -1);
    for (std::size_t i = 0; i < managers.size(); ++i) {
        const std::optional<TArchiveManager> manager = ParseArchiveManager(managers[i]);
        if (!manager || manager->AddTemplate.empty())
            continue;
        const std::string firstMask = manager->Masks.substr(0, manager->Masks.find(';'));
        FArchiver->addItem(LocalText(firstMask + " - " + manager->Description), static_cast<int>(i));
    }
    archiverLabel->setBuddy(FArchiver);
    form->addRow(archiverLabel, FArchiver);
    layout->addLayout(form);
    layout->addSpacing(4);

    AddButtonRow(layout, {{"AddButton", "&Add"}, {"CancelButton", "&Cancel", false}});
}

TAddToArchiveChoice TAddToArchiveForm::Execute(std::vector<std::string>& history,
                                               const std::vector<std::string>& managers,
                                               const TAddToArchiveSource& source, QWidget* parent) {
    TAddToArchiveChoice choice;
    ExecForm(new TAddToArchiveForm(history, managers, ProposeArchiveName(source), parent),
             [&choice](TAddToArchiveForm& form) { choice = form.Choice(); });
    return choice;
}

void TAddToArchiveForm::accept() {
    std::string name = FName->Text();
    if (name.empty())
        return;
    const int entry = FArchiver->currentData().toInt();
    if (entry < 0 && ExtractExt(name).empty())
        name += ".kpl";
    FName->SetText(name);
    FName->AddTextToHistory();
    FHistory = FName->History();
    FChoice.Add = true;
    FChoice.Name = name;
    FChoice.Entry = entry;
    TKMYFORM::accept();
}

void TAddToArchiveForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FChoice = {};
    FArchiver->setCurrentIndex(0);
    FName->SetText(FProposedName);
    FName->setFocus(Qt::OtherFocusReason);
    FName->lineEdit()->selectAll();
}

} // namespace ks
