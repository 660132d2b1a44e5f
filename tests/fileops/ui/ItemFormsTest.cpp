// The create-new and select dialogs: what they hand back, their histories, their stored boxes and
// the captions that follow the operation.

#include "fileops/ui/CreateNewForm.h"
#include "fileops/ui/SelectForm.h"

#include "controls/ui/KComboBox.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ks {
namespace {

using test::ShowAndAct;

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Every line of the shipped English window file names a control of the form and carries its
// built-in caption, so a translation reaches every text.
void ExpectWindowFileMatches(QWidget& form) {
    SCOPED_TRACE(form.objectName().toStdString());
    QFile file(QStringLiteral(KS_SOURCE_DIR "/data/lang/ENGLISH/F_") + form.objectName() +
               QStringLiteral(".dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        ASSERT_TRUE(raw.endsWith('\r')) << "lines end with CR LF";
        const QString line = QString::fromLatin1(raw.chopped(1));
        const QString key = line.section(u'|', 0, 0);
        const QString text = line.section(u'|', 1);
        SCOPED_TRACE(key.toStdString());
        if (key == QStringLiteral("FormCaption")) {
            EXPECT_EQ(form.windowTitle(), text);
        } else if (auto* label = form.findChild<QLabel*>(key)) {
            EXPECT_EQ(label->text(), text);
        } else {
            auto* control = form.findChild<QAbstractButton*>(key);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->text(), text);
        }
    }
}

class ItemFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }

    void SetUp() override {
        FSavedLanguage = CurrentLanguage();
        CurrentLanguage().SetLangText("strSel_SelectTitle", "L-select");
        CurrentLanguage().SetLangText("strSel_UnSelectTitle", "L-deselect");
        FStore = std::make_unique<TKRegistryStore>(FTree / "registry.reg", FileSystem());
        ASSERT_TRUE(FStore->Load());
        SetRegistryStore(FStore.get());
    }
    void TearDown() override {
        SetRegistryStore(nullptr);
        CurrentLanguage() = FSavedLanguage;
    }

    TLanguage FSavedLanguage;
    test::TempTree FTree;
    std::unique_ptr<TKRegistryStore> FStore;
};

TEST_F(ItemFormsTest, CreateNewKindsActAsRadioPairAndUpperCaseReachesHistoryAndStore) {
    std::vector<std::string> history = {"older"};
    TCreateNewChoice choice;
    ShowAndAct(
        [&] { choice = TCreateNewForm::Execute(history, "/work/src/", false, TCreateNewKind::cnTextFile); },
        [](QDialog& form) {
            EXPECT_EQ(form.objectName(), QStringLiteral("CreateNewForm"));
            ExpectWindowFileMatches(form);
            EXPECT_EQ(Child<QLabel>(form, "WherePath")->text(), QStringLiteral("/work/src/"));
            auto* name = Child<TKComboBox>(form, "SettingsCreateNewName");
            EXPECT_TRUE(form.focusWidget() == name || form.focusWidget() == name->lineEdit());
            auto* folder = Child<QCheckBox>(form, "SettingsCreateFolder");
            auto* file = Child<QCheckBox>(form, "SettingsCreateFile");
            // Shift+F4 opens with the text file chosen.
            EXPECT_FALSE(folder->isChecked());
            EXPECT_TRUE(file->isChecked());
            EXPECT_TRUE(file->isEnabled());
            folder->click();
            EXPECT_TRUE(folder->isChecked());
            EXPECT_FALSE(file->isChecked());
            // Clicking the chosen kind again keeps one kind chosen.
            folder->click();
            EXPECT_TRUE(folder->isChecked());
            EXPECT_FALSE(file->isChecked());
            Child<QCheckBox>(form, "SettingsCreateNewUpperCase")->click();
            name->lineEdit()->setText(QStringLiteral("new"));
            Child<QPushButton>(form, "CreateButton")->click();
        });
    EXPECT_TRUE(choice.Create);
    EXPECT_EQ(choice.Kind, TCreateNewKind::cnFolder);
    EXPECT_EQ(choice.Name, "NEW");
    EXPECT_EQ(history, (std::vector<std::string>{"NEW", "older"}));
    EXPECT_EQ(LoadCheckBoxState(*FStore, ProgramKey, "SettingsCreateNewUpperCase"),
              std::optional<bool>(true));

    // The stored box comes back checked; an FTP folder offers folders only; Cancel creates nothing.
    ShowAndAct([&] { choice = TCreateNewForm::Execute(history, "/pub/", true, TCreateNewKind::cnTextFile); },
               [](QDialog& form) {
                   EXPECT_TRUE(Child<QCheckBox>(form, "SettingsCreateNewUpperCase")->isChecked());
                   EXPECT_TRUE(Child<QCheckBox>(form, "SettingsCreateFolder")->isChecked());
                   auto* file = Child<QCheckBox>(form, "SettingsCreateFile");
                   EXPECT_FALSE(file->isEnabled());
                   EXPECT_FALSE(file->isChecked());
                   Child<TKComboBox>(form, "SettingsCreateNewName")->lineEdit()->setText(QStringLiteral("x"));
                   Child<QPushButton>(form, "CancelButton")->click();
               });
    EXPECT_FALSE(choice.Create);
    EXPECT_EQ(history, (std::vector<std::string>{"NEW", "older"}));
}

TEST_F(ItemFormsTest, SelectFormAnswersTheMaskQuestion) {
    struct Case {
        const char* What;
        TKSelectType Start;
        bool ToggleType;
        const char* Typed;
        const char* Button;
        TKSelectType Operation;
        std::string Mask;
        std::vector<std::string> History;
    };
    const std::vector<Case> cases = {
        {"deselect by a typed mask",
         stDeselect,
         false,
         "*.txt;*.doc",
         "OKButton",
         stDeselect,
         "*.txt;*.doc",
         {"*.txt;*.doc", "*.bak"}},
        {"switched to select", stDeselect, true, "*.c", "OKButton", stSelect, "*.c", {"*.c", "*.bak"}},
        {"all, whatever was typed", stSelect, true, "*.c", "AllButton", stDeselect, "*.*", {"*.*", "*.bak"}},
        {"cancel", stDeselect, true, "*.c", "CancelButton", stDeselect, "", {"*.bak"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> history = {"*.bak"};
        TKSelectType operation = c.Start;
        std::string mask = "*.*";
        ShowAndAct([&] { TSelectForm::Execute(history, operation, mask); },
                   [&c](QDialog& form) {
                       EXPECT_EQ(form.objectName(), QStringLiteral("SelectForm"));
                       ExpectWindowFileMatches(form);
                       auto* type = Child<QCheckBox>(form, "SelectType");
                       EXPECT_EQ(type->isChecked(), c.Start == stDeselect);
                       EXPECT_EQ(form.windowTitle(), c.Start == stDeselect ? QStringLiteral("L-deselect")
                                                                           : QStringLiteral("L-select"));
                       auto* input = Child<TKComboBox>(form, "INPUT");
                       EXPECT_EQ(input->lineEdit()->text(), QStringLiteral("*.*"));
                       EXPECT_TRUE(form.focusWidget() == input || form.focusWidget() == input->lineEdit());
                       if (c.ToggleType) {
                           type->click();
                           EXPECT_EQ(form.windowTitle(), c.Start == stDeselect
                                                             ? QStringLiteral("L-select")
                                                             : QStringLiteral("L-deselect"));
                       }
                       input->lineEdit()->setText(QString::fromLatin1(c.Typed));
                       Child<QPushButton>(form, c.Button)->click();
                   });
        EXPECT_EQ(operation, c.Operation);
        EXPECT_EQ(mask, c.Mask);
        EXPECT_EQ(history, c.History);
    }
}

} // namespace
} // namespace ks
