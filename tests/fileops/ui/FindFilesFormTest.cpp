// The find dialog: its scopes as one choice and the search arguments each gives, the histories,
// the case box, Start and Esc.

#include "fileops/ui/FindFilesForm.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>

#include "controls/ui/KComboBox.h"
#include "support/QtApp.h"

namespace ks {
namespace {

void Press(QWidget* widget, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &up);
}

TEST(FindFilesForm, EachScopeGivesItsSearchArguments) {
    struct TCase {
        TFindScope Scope;
        std::string Root;
        bool Recursive;
        bool SelectedOnly;
    };
    const TCase cases[] = {
        {fsAllDrives, "", true, false},
        {fsRootFolder, "/mnt/data", true, false},
        {fsCurrentWithSubfolders, "/mnt/data/work/src", true, false},
        {fsCurrent, "/mnt/data/work/src", false, false},
        {fsSelected, "/mnt/data/work/src", true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Scope));
        const TFindRequest request = FindRequestFor(c.Scope, "/mnt/data/work/src", "/mnt/data");
        EXPECT_EQ(request.SearchRoot, c.Root);
        EXPECT_EQ(request.Recursive, c.Recursive);
        EXPECT_EQ(request.SelectedOnly, c.SelectedOnly);
    }
}

TEST(FindFilesForm, StartTakesTheBoxesAndKeepsTheirHistoriesEscTakesNothing) {
    test::QtApp();
    std::vector<std::string> masks;
    std::vector<std::string> texts;
    bool upperCase = false;
    std::optional<TFindRequest> request;
    test::ShowAndAct(
        [&] { request = TFindFilesForm::Execute(masks, texts, upperCase, "/srv/work", "/srv", nullptr); },
        [](QDialog& dialog) {
            auto& form = static_cast<TFindFilesForm&>(dialog);
            // The scopes are one choice; the dialog opens on the folder with its subfolders.
            EXPECT_EQ(form.Scope(), fsCurrentWithSubfolders);
            form.findChild<QRadioButton*>("FindFilesSearchRoot")->click();
            EXPECT_FALSE(form.findChild<QRadioButton*>("FindFilesSearchCurrentWithSubfolders")->isChecked());
            EXPECT_EQ(form.MaskBox()->Text(), "*.*");
            form.MaskBox()->SetText("*.txt;*.md");
            form.TextBox()->SetText("TODO");
            form.UpperCaseBox()->setChecked(true);
            Press(form.MaskBox()->lineEdit(), Qt::Key_Return);
        });
    ASSERT_TRUE(request);
    EXPECT_EQ(request->SearchRoot, "/srv");
    EXPECT_EQ(request->Masks, "*.txt;*.md");
    EXPECT_EQ(request->Text, "TODO");
    EXPECT_TRUE(request->UpperCase);
    EXPECT_TRUE(upperCase);
    EXPECT_EQ(masks, std::vector<std::string>{"*.txt;*.md"});
    EXPECT_EQ(texts, std::vector<std::string>{"TODO"});

    test::ShowAndAct(
        [&] { request = TFindFilesForm::Execute(masks, texts, upperCase, "/srv/work", "/srv", nullptr); },
        [](QDialog& dialog) {
            auto& form = static_cast<TFindFilesForm&>(dialog);
            // Every show starts on the folder with its subfolders again.
            EXPECT_EQ(form.Scope(), fsCurrentWithSubfolders);
            Press(&dialog, Qt::Key_Escape);
        });
    EXPECT_FALSE(request);
    EXPECT_EQ(masks.size(), 1u);
}

} // namespace
} // namespace ks
