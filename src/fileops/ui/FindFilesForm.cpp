#include "fileops/ui/FindFilesForm.h"

#include "controls/ui/KComboBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

TFindRequest FindRequestFor(TFindScope scope, const std::string& folder, const std::string& root) {
    TFindRequest request;
    request.SearchRoot = folder;
    switch (scope) {
    case fsAllDrives:
        request.SearchRoot.clear();
        break;
    case fsRootFolder:
        request.SearchRoot = root.empty() ? std::string("/") : root;
        break;
    case fsCurrentWithSubfolders:
        break;
    case fsCurrent:
        request.Recursive = false;
        break;
    case fsSelected:
        request.SelectedOnly = true;
        break;
    }
    return request;
}

TFindFilesForm::TFindFilesForm(std::vector<std::string>& maskHistory, std::vector<std::string>& textHistory,
                               bool upperCase, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FMaskHistory(maskHistory), FTextHistory(textHistory) {
    setObjectName(QStringLiteral("FindFilesForm"));
    setWindowTitle(QStringLiteral("Find files..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* info = new QLabel(
        QStringLiteral("What to find? (mask for all files = '*.*'  or several files = '*.bak;*.sh', etc...)"),
        this);
    info->setObjectName(QStringLiteral("Info"));
    info->setWordWrap(true);
    layout->addWidget(info);

    const auto labelled = [&](const QString& name, const QString& caption, TKComboBox*& box,
                              std::vector<std::string>& history) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(name + QStringLiteral("Label"));
        layout->addWidget(label);
        box = new TKComboBox(this);
        box->setObjectName(name);
        box->setMinimumWidth(380);
        box->SetHistory(history);
        label->setBuddy(box);
        layout->addWidget(box);
    };
    labelled(QStringLiteral("SettingsFindFileMask"), QStringLiteral("&Mask"), FMask, FMaskHistory);
    FMask->SetText("*.*");
    labelled(QStringLiteral("SettingsFindFileContainingText"), QStringLiteral("Containing &text"), FText,
             FTextHistory);

    FUpperCase = new QCheckBox(QStringLiteral("&Upper case"), this);
    FUpperCase->setObjectName(QStringLiteral("FindFilesUpperCase"));
    FUpperCase->setChecked(upperCase);
    layout->addWidget(FUpperCase);

    // The five scopes are one choice.
    auto* group = new QButtonGroup(this);
    const std::array<std::pair<const char*, const char*>, 5> scopes = {{
        {"FindFilesSearchAllDrives", "&All non-removable drives"},
        {"FindFilesSearchRoot", "R&oot folder"},
        {"FindFilesSearchCurrentWithSubfolders", "Cure&nt folder with subfolders"},
        {"FindFilesSearchCurrent", "Current &folder"},
        {"FindFilesSearchSelected", "&Selected folders"},
    }};
    for (std::size_t i = 0; i < scopes.size(); ++i) {
        FScopes[i] = new QRadioButton(QString::fromLatin1(scopes[i].second), this);
        FScopes[i]->setObjectName(QString::fromLatin1(scopes[i].first));
        group->addButton(FScopes[i], static_cast<int>(i));
        layout->addWidget(FScopes[i]);
    }

    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* start = new QPushButton(QStringLiteral("Sta&rt"), this);
    start->setObjectName(QStringLiteral("KButtonOK"));
    start->setDefault(true);
    row->addWidget(start);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("KButtonCancel"));
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(start, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<TFindRequest> TFindFilesForm::Execute(std::vector<std::string>& maskHistory,
                                                    std::vector<std::string>& textHistory, bool& upperCase,
                                                    const std::string& folder, const std::string& root,
                                                    QWidget* parent) {
    std::optional<TFindRequest> request;
    auto* form = new TFindFilesForm(maskHistory, textHistory, upperCase, parent);
    form->Folder = folder;
    form->Root = root;
    ExecForm(form, [&](TFindFilesForm& shown) {
        request = shown.Request();
        upperCase = shown.UpperCaseBox()->isChecked();
    });
    return request;
}

TFindScope TFindFilesForm::Scope() const {
    for (std::size_t i = 0; i < FScopes.size(); ++i)
        if (FScopes[i]->isChecked())
            return static_cast<TFindScope>(i);
    return fsCurrentWithSubfolders;
}

void TFindFilesForm::SetScope(TFindScope scope) {
    FScopes[static_cast<std::size_t>(scope)]->setChecked(true);
}

void TFindFilesForm::accept() {
    // A new, non-empty mask and text go to the top of their histories.
    FMask->AddTextToHistory();
    FMaskHistory = FMask->History();
    FText->AddTextToHistory();
    FTextHistory = FText->History();
    TFindRequest request = FindRequestFor(Scope(), Folder, Root);
    request.Masks = FMask->Text();
    request.Text = FText->Text();
    request.UpperCase = FUpperCase->isChecked();
    FRequest = request;
    TKMYFORM::accept();
}

void TFindFilesForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FRequest.reset();
    SetScope(fsCurrentWithSubfolders);
    FMask->setFocus(Qt::OtherFocusReason);
    FMask->lineEdit()->selectAll();
}

} // namespace ks
