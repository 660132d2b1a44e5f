#include "fileops/ui/CreateShortcutForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/MessageForm.h"
#include "fileops/DesktopShortcut.h"
#include "fileops/ui/CopyFormTexts.h"
#include "foundation/DELTA9.h"
#include "foundation/Language.h"
#include "foundation/System.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cstring>
#include <utility>

namespace ks {

namespace {

std::string Bytes(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

TCreateShortcutForm::TCreateShortcutForm(std::optional<TShortcutItem> item, const std::string& otherFolder,
                                         QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FItem(std::move(item)) {
    setObjectName(QStringLiteral("CreateShortcutForm"));
    setWindowTitle(QStringLiteral("Create launcher for current item..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* info = new QLabel(QStringLiteral("Enter description..."), this);
    info->setObjectName(QStringLiteral("InfoLabel"));
    layout->addWidget(info);

    auto* grid = new QGridLayout;
    const auto addRow = [this, grid](int row, const char* name, const char* caption, QWidget* field) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QString::fromUtf8(name));
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
    };
    FWherePath = new QLabel(this);
    FWherePath->setObjectName(QStringLiteral("WherePath"));
    // The name is the file system's, not markup.
    FWherePath->setTextFormat(Qt::PlainText);
    addRow(0, "ItemNameLabel", "Item name", FWherePath);
    FTargetPath = new QLineEdit(this);
    FTargetPath->setObjectName(QStringLiteral("TargetPathEdit"));
    FTargetPath->setMinimumWidth(360);
    addRow(1, "TargetPathLabel", "&Target path", FTargetPath);
    FFileNameEdit = new QLineEdit(this);
    FFileNameEdit->setObjectName(QStringLiteral("FileNameEdit"));
    addRow(2, "FileNameLabel", "&File name", FFileNameEdit);
    FDescription = new QLineEdit(this);
    FDescription->setObjectName(QStringLiteral("DescriptionEdit"));
    addRow(3, "DescriptionLabel", "&Description", FDescription);
    layout->addLayout(grid);
    layout->addSpacing(4);

    const std::vector<QPushButton*> buttons = AddButtonRow(
        layout,
        {{"DesktopButton", "&On desktop"}, {"CreateButton", "&Create"}, {"CancelButton", "&Cancel", false}});
    // The row accepts on both; which one was pressed decides where the file goes.
    disconnect(buttons[0], nullptr, this, nullptr);
    disconnect(buttons[1], nullptr, this, nullptr);
    connect(buttons[0], &QPushButton::clicked, this, [this] { Create(true); });
    connect(buttons[1], &QPushButton::clicked, this, [this] { Create(false); });
    buttons[1]->setDefault(true);

    AskUser = [this](const std::string& text, int kind, int buttonSet, int defaultButton) {
        return ShowMessageForm(text, kind, buttonSet, defaultButton, 0, this);
    };

    if (FItem) {
        FWherePath->setText(LocalText(FItem->Name));
        FTargetPath->setText(LocalText(otherFolder));
        FFileName = ShortcutFileName(FItem->Name);
        FFileNameEdit->setText(LocalText(FFileName));
    }
}

void TCreateShortcutForm::showEvent(QShowEvent* event) {
    // The description is in the language shown now.
    if (FItem)
        FDescription->setText(
            LocalText(FormatLangText(LangTextOr("_strCRSHDescription", "Launcher for %s"), {FItem->Name})));
    TKMYFORM::showEvent(event);
    FTargetPath->setFocus(Qt::OtherFocusReason);
    FTargetPath->selectAll();
}

void TCreateShortcutForm::Create(bool onDesktop) {
    std::string target = Bytes(FTargetPath->text());
    if (ExpandPathMacro(target))
        FTargetPath->setText(LocalText(target));
    if (!FItem) {
        accept();
        return;
    }
    // A name the user left alone keeps its bytes, even those that are no text in the locale.
    const std::string fileName =
        FFileNameEdit->text() == LocalText(FFileName) ? FFileName : Bytes(FFileNameEdit->text());
    const std::string folder = onDesktop ? System().ShellFolder("Desktop") : target;
    const TShortcutEntry entry{FItem->FullName, FItem->Name, Bytes(FDescription->text()), FItem->Executable};
    const auto overwrite = [this](const std::string& fullName) {
        const std::string question =
            FormatLangText(LangTextOr("_STRShortcutExists", "%s exists already. Replace it?"), {fullName});
        return AskUser(question, 0, mbYes | mbNo, 1) == mrYes;
    };
    const Result<TShortcutSaved> saved =
        SaveShortcutFile(folder, fileName, DesktopEntryText(entry), overwrite);
    if (!saved) {
        const TError& error = saved.error();
        const std::string reason = error.Errno != 0 ? std::string(std::strerror(error.Errno)) : error.Detail;
        AskUser(FormatLangText(LangTextOr("_STRShortcutFailed", "Cannot write the launcher %s: %s"),
                               {AddBackslash(folder) + fileName, reason}),
                0, mbOK, 2);
        return;
    }
    if (*saved == TShortcutSaved::ssWritten) {
        FWritten = AddBackslash(folder) + fileName;
        // GNOME runs a launcher on the desktop only once it is marked as trusted; the mark is
        // kept by gio where the desktop has it, and nothing is lost where it has not.
        if (const std::string gio = System().FindProgram("gio"); !gio.empty())
            (void)System().StartProgram(gio, {"set", FWritten, "metadata::trusted", "true"}, folder);
    }
    accept();
}

bool TCreateShortcutForm::Execute(std::optional<TShortcutItem> item, const std::string& otherFolder,
                                  QWidget* parent) {
    bool written = false;
    ExecForm(new TCreateShortcutForm(std::move(item), otherFolder, parent),
             [&written](TCreateShortcutForm& form) { written = !form.Written().empty(); });
    return written;
}

} // namespace ks
