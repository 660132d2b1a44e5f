#include "fileops/ui/CopyFilesForm.h"

#include "controls/ui/KComboBox.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

namespace {

constexpr const char* ArchiveWord = "archive";
constexpr const char* FtpWord = "ftp";

std::optional<std::string> PickFolderWithDialog(QWidget* parent, const std::string& start,
                                                const QString& prompt) {
    QFileDialog dialog(parent, prompt, QString::fromLocal8Bit(start.c_str()));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toLocal8Bit().toStdString();
}

} // namespace

TCopyFilesForm::TCopyFilesForm(std::vector<std::string>& history, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHistory(history) {
    setObjectName(QStringLiteral("CopyFilesForm"));
    setWindowTitle(QStringLiteral("Copy files..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    FInfo = new QLabel(QStringLiteral("Where to copy?"), this);
    FInfo->setObjectName(QStringLiteral("Info"));
    layout->addWidget(FInfo);

    auto* pathRow = new QHBoxLayout;
    FName = new QLabel(QStringLiteral("&Path"), this);
    FName->setObjectName(QStringLiteral("Name"));
    pathRow->addWidget(FName);
    FInput = new TKComboBox(this);
    FInput->setObjectName(QStringLiteral("INPUT"));
    FInput->setMinimumWidth(360);
    FName->setBuddy(FInput);
    pathRow->addWidget(FInput, 1);
    FBrowse = new QPushButton(QStringLiteral("..."), this);
    FBrowse->setObjectName(QStringLiteral("KButtonBrowse"));
    FBrowse->setAutoDefault(false);
    pathRow->addWidget(FBrowse);
    layout->addLayout(pathRow);
    layout->addSpacing(4);

    FDeleteAfterCopy =
        SavedCheckBox(this, "SettingsDeleteAfterCopy", QStringLiteral("Delete afte&r copy"), false);
    layout->addWidget(FDeleteAfterCopy);
    FCopyAttributes =
        SavedCheckBox(this, "SettingsDeleteFileAttr", QStringLiteral("Copy file &attributes"), true);
    layout->addWidget(FCopyAttributes);
    FMakeBackup = new QCheckBox(QStringLiteral("Make a backup of each file (.bak)"), this);
    FMakeBackup->setObjectName(QStringLiteral("SettingsMakeBackup"));
    layout->addWidget(FMakeBackup);
    layout->addSpacing(6);

    const std::vector<QPushButton*> buttons =
        AddButtonRow(layout, {{"KButtonOK", "C&opy"}, {"KButtonCancel", "&Cancel", false}});
    FOk = buttons.front();

    PickFolder = [this](const std::string& start, const QString& prompt) {
        return PickFolderWithDialog(this, start, prompt);
    };
    connect(FDeleteAfterCopy, &QCheckBox::toggled, this, [this] { ApplyRules(); });
    connect(FBrowse, &QPushButton::clicked, this, [this] { Browse(); });
    FInput->OnKeyUp = [this] { ApplyRules(); };
    FInput->SetHistory(FHistory);
}

void TCopyFilesForm::Prepare(const std::string& otherFolder, bool move, TCopyTargetWord word) {
    FInput->SetHistory(FHistory);
    FInput->SetText(otherFolder);
    FDeleteAfterCopy->setChecked(move);
    FWord = word;
}

TCopyFilesChoice TCopyFilesForm::Choice() const {
    TCopyFilesChoice choice;
    choice.Accepted = result() == QDialog::Accepted;
    choice.Path = FInput->Text();
    // A disabled box is not offered, so what it shows is no choice.
    choice.Move = FDeleteAfterCopy->isEnabled() && FDeleteAfterCopy->isChecked();
    choice.CopyAttributes = FCopyAttributes->isEnabled() && FCopyAttributes->isChecked();
    choice.MakeBackup = !choice.Move && FMakeBackup->isEnabled() && FMakeBackup->isChecked();
    return choice;
}

void TCopyFilesForm::accept() {
    std::string path = FInput->Text();
    ExpandPathMacro(path);
    FInput->SetText(path);
    FInput->AddTextToHistory();
    FHistory = FInput->History();
    TKMYFORM::accept();
}

void TCopyFilesForm::showEvent(QShowEvent* event) {
    // The window file is applied first, so the caption the options choose is the one shown.
    TKMYFORM::showEvent(event);
    FOk->setFocus(Qt::OtherFocusReason);
    FMakeBackup->setChecked(false);
    if (FWord == twArchive)
        FInput->SetText(ArchiveWord);
    else if (FWord == twFtp)
        FInput->SetText(FtpWord);
    ApplyRules();
    FInput->setFocus(Qt::OtherFocusReason);
    FInput->lineEdit()->selectAll();
}

void TCopyFilesForm::ApplyRules() {
    const std::string path = FInput->Text();
    if (path == ArchiveWord) {
        // Files added to an archive are neither moved, nor given attributes, nor backed up.
        FDeleteAfterCopy->setChecked(false);
        FDeleteAfterCopy->setEnabled(false);
        FCopyAttributes->setEnabled(false);
        FMakeBackup->setEnabled(false);
    } else if (path == FtpWord) {
        FDeleteAfterCopy->setEnabled(true);
        FCopyAttributes->setEnabled(false);
        FMakeBackup->setEnabled(false);
    } else {
        FDeleteAfterCopy->setEnabled(true);
        FCopyAttributes->setEnabled(true);
        // A moved file leaves nothing behind to back up.
        FMakeBackup->setEnabled(!FDeleteAfterCopy->isChecked());
    }
    const QString caption = FDeleteAfterCopy->isChecked() ? CopyLangText("title_MoveFiles", "Move files...")
                                                          : CopyLangText("title_CopyFiles", "Copy files...");
    if (caption != windowTitle()) {
        setWindowTitle(caption);
        update();
    }
}

void TCopyFilesForm::Browse() {
    if (PickFolder) {
        const std::optional<std::string> folder =
            PickFolder(FInput->Text(), CopyLangText("STR_BROWSE_USER_PATH", "Choose a folder:"));
        if (folder) {
            FInput->SetText(*folder);
            ApplyRules();
        }
    }
    FInput->setFocus(Qt::OtherFocusReason);
}

} // namespace ks
