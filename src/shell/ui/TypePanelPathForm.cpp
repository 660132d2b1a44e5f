#include "shell/ui/TypePanelPathForm.h"

#include "controls/ui/KComboBox.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"
#include "shell/TypePath.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <utility>

namespace ks {

namespace {

std::optional<std::string> PickFolderWithDialog(QWidget* parent, const std::string& start,
                                                const QString& caption) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent, caption, LocalText(start), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toLocal8Bit().toStdString();
}

} // namespace

TTypePanelPathForm::TTypePanelPathForm(std::vector<std::string>& history, std::string activeFolder,
                                       QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FHistory(history), FActiveFolder(std::move(activeFolder)) {
    setObjectName(QStringLiteral("TypePanelPathForm"));
    setWindowTitle(QStringLiteral("Type new path for panel..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    FCurrentPath = new QLabel(LocalText(FActiveFolder), this);
    FCurrentPath->setObjectName(QStringLiteral("CurrentPath"));
    // The folder is the file system's, not markup.
    FCurrentPath->setTextFormat(Qt::PlainText);
    layout->addWidget(FCurrentPath);

    FInput = new TKComboBox(this);
    FInput->setObjectName(QStringLiteral("SettingsTypeNewPath"));
    FInput->setMinimumWidth(380);
    FInput->SetHistory(FHistory);
    // The last folder typed is offered again, selected, so typing replaces it.
    for (const std::string& entry : FHistory) {
        if (!entry.empty()) {
            FInput->SetText(entry);
            break;
        }
    }
    layout->addWidget(FInput);
    layout->addSpacing(4);

    auto* row = new QHBoxLayout;
    FBrowse = new QCheckBox(QStringLiteral("&Browse"), this);
    FBrowse->setObjectName(QStringLiteral("BrowseButton"));
    row->addWidget(FBrowse);
    row->addStretch();
    FLocate = new QPushButton(QStringLiteral("&Locate"), this);
    FLocate->setObjectName(QStringLiteral("LocateButton"));
    FLocate->setDefault(true);
    row->addWidget(FLocate);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    row->addWidget(cancel);
    layout->addLayout(row);

    PickFolder = [this](const std::string& start, const QString& caption) {
        return PickFolderWithDialog(this, start, caption);
    };
    connect(FLocate, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FBrowse, &QCheckBox::clicked, this, [this] { Browse(); });
}

TTypePathChoice TTypePanelPathForm::Execute(std::vector<std::string>& history,
                                            const std::string& activeFolder, QWidget* parent) {
    TTypePathChoice choice;
    ExecForm(new TTypePanelPathForm(history, activeFolder, parent),
             [&choice](TTypePanelPathForm& form) { choice = form.Choice(); });
    return choice;
}

void TTypePanelPathForm::accept() {
    const std::string typed = FInput->Text();
    FInput->AddTextToHistory();
    FHistory = FInput->History();
    std::string expanded = typed;
    if (ExpandPathMacro(expanded))
        FInput->SetText(expanded);
    FChoice.Kind = TTypePathChoice::tpLocate;
    FChoice.Typed = typed;
    FChoice.Folder = ResolveTypedPath(typed, FActiveFolder).value_or(std::string());
    TKMYFORM::accept();
}

void TTypePanelPathForm::showEvent(QShowEvent* event) {
    // The window file is applied first; the folder shown is no caption and stays.
    TKMYFORM::showEvent(event);
    FChoice = {};
    FInput->setFocus(Qt::OtherFocusReason);
    FInput->lineEdit()->selectAll();
}

void TTypePanelPathForm::Browse() {
    // A check box that acts as a button: it never stays ticked.
    FBrowse->setChecked(false);
    const std::optional<std::string> folder =
        PickFolder ? PickFolder(FActiveFolder, CopyLangText("STR_BROWSE_USER_PATH", "Choose a folder:"))
                   : std::nullopt;
    if (!folder || folder->empty()) {
        FInput->setFocus(Qt::OtherFocusReason);
        return;
    }
    FChoice.Kind = TTypePathChoice::tpBrowse;
    FChoice.Typed.clear();
    FChoice.Folder = folder->front() == '/' ? NormalizeAbsolutePath(*folder) : *folder;
    // Straight to done(): the browsed folder is no typed text for the history.
    done(QDialog::Accepted);
}

} // namespace ks
