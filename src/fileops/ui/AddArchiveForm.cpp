#include "fileops/ui/AddArchiveForm.h"

#include "fileops/ui/CopyFormTexts.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

namespace {

std::string LocalOf(const QLineEdit* edit) {
    return edit->text().toLocal8Bit().toStdString();
}

} // namespace

TAddArchiveForm::TAddArchiveForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("AddArchiveForm"));
    setWindowTitle(QStringLiteral("Archive settings..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    // "|" separates the fields of the stored entry, so a box must never hold one.
    auto* noBar = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^|]*")), this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    int row = 0;
    const auto addRow = [&](const char* labelName, const char* caption, const char* editName) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromUtf8(editName));
        edit->setValidator(noBar);
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QString::fromUtf8(labelName));
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
        return edit;
    };
    FExtensions = addRow("ArchiveExtensionsLabel", "E&xtensions", "ArchiveExtensionsEdit");
    FExtensions->setPlaceholderText(QStringLiteral("ZIP;Z##"));
    FDescription = addRow("ArchiveDescLabel", "&Description", "ArchiveDescEdit");
    FAdd = addRow("ArchiveAddLabel", "&Add to archive", "ArchiveAddEdit");
    FDelete = addRow("ArchiveDeleteLabel", "&Delete from a.", "ArchiveDeleteEdit");
    FExtract = addRow("ArchiveExtractLabel", "&Extract from a.", "ArchiveExtractEdit");
    FAdd->setMinimumWidth(360);
    layout->addLayout(grid);

    auto* hint = new QLabel(QStringLiteral("#ARCHIVENAME#, #FILELIST#, #EXTRACTPATH# are filled in"), this);
    hint->setObjectName(QStringLiteral("ArchivePlaceholderLabel"));
    layout->addWidget(hint);
    layout->addSpacing(4);

    FOk = AddButtonRow(layout, {{"OKButton", "&OK"}, {"CancelButton", "&Cancel", false}}).front();
    connect(FExtensions, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    UpdateOk();
}

void TAddArchiveForm::SetValues(const TArchiveManager& manager) {
    FExtensions->setText(LocalText(manager.Masks));
    FDescription->setText(LocalText(manager.Description));
    FAdd->setText(LocalText(manager.AddTemplate));
    FDelete->setText(LocalText(manager.DeleteTemplate));
    FExtract->setText(LocalText(manager.ExtractTemplate));
    UpdateOk();
}

TArchiveManager TAddArchiveForm::Values() const {
    TArchiveManager manager;
    manager.Masks = LocalOf(FExtensions);
    manager.Description = LocalOf(FDescription);
    manager.AddTemplate = LocalOf(FAdd);
    manager.DeleteTemplate = LocalOf(FDelete);
    manager.ExtractTemplate = LocalOf(FExtract);
    return manager;
}

void TAddArchiveForm::UpdateOk() {
    FOk->setEnabled(!FExtensions->text().trimmed().isEmpty());
}

void TAddArchiveForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FExtensions->setFocus(Qt::OtherFocusReason);
    FExtensions->selectAll();
}

} // namespace ks
