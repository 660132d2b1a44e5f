// The compare dialog and the shortcut dialog over the settings store and real folders.

#include "fileops/ui/CompareForm.h"
#include "fileops/ui/CreateShortcutForm.h"

#include "controls/MessageBox.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "platform/LinuxFileSystem.h"
#include "support/FakeSystem.h"
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

using test::TempTree;

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Every line of the shipped English window file names a control of the form and carries its
// caption.
void ExpectWindowFileMatches(QWidget& form) {
    QFile file(QStringLiteral(KS_SOURCE_DIR "/data/lang/ENGLISH/F_") + form.objectName() +
               QStringLiteral(".dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << form.objectName().toStdString();
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        ASSERT_TRUE(raw.endsWith('\r'));
        const QString line = QString::fromLatin1(raw.chopped(1));
        const QString key = line.section(u'|', 0, 0);
        const QString text = line.section(u'|', 1);
        SCOPED_TRACE(key.toStdString());
        if (key == QStringLiteral("FormCaption")) {
            EXPECT_EQ(form.windowTitle(), text);
        } else if (auto* button = form.findChild<QAbstractButton*>(key)) {
            EXPECT_EQ(button->text(), text);
        } else {
            auto* label = form.findChild<QLabel*>(key);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), text);
        }
    }
}

class CompareShortcutFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }

    void SetUp() override {
        FSystem.FHomeDir = FTree.Path();
        FSystem.FPrograms["gio"] = "/usr/bin/gio";
        SetPlatform(&FSystem, &FDisk);
        FSavedLanguage = CurrentLanguage();
        CurrentLanguage().SetLangText("_strCRSHDescription", "L-for %s");
        CurrentLanguage().SetLangText("_STRShortcutExists", "L-exists %s");
        CurrentLanguage().SetLangText("_STRShortcutFailed", "L-failed %s: %s");
        FStore = std::make_unique<TKRegistryStore>(FTree / "registry.reg");
        ASSERT_TRUE(FStore->Load());
        SetRegistryStore(FStore.get());
    }

    void TearDown() override {
        SetRegistryStore(nullptr);
        CurrentLanguage() = FSavedLanguage;
        SetPlatform(nullptr, nullptr);
    }

    TempTree FTree;
    test::FakeSystem FSystem;
    TKLinuxFileSystem FDisk;
    TLanguage FSavedLanguage;
    std::unique_ptr<TKRegistryStore> FStore;
};

TEST_F(CompareShortcutFormsTest, CompareBoxesComeBackAsSavedAndGiveTheOptions) {
    SaveCheckBoxState(*FStore, DefaultAutoSaveKey, "CheckBoxDate", true);
    SaveCheckBoxState(*FStore, DefaultAutoSaveKey, "CheckBoxFileContents", true);
    TCompareForm form;
    form.show();
    ExpectWindowFileMatches(form);
    EXPECT_EQ(form.focusWidget(), Child<QCheckBox>(form, "CheckBoxSize"));
    TCompareOptions options = form.Options();
    EXPECT_TRUE(options.ByName);
    EXPECT_FALSE(options.BySize);
    EXPECT_FALSE(options.ByAttr);
    EXPECT_TRUE(options.ByDate);
    EXPECT_FALSE(options.ByFolderContents);
    EXPECT_TRUE(options.ByFileContents);

    Child<QCheckBox>(form, "CheckBoxName")->click();
    Child<QCheckBox>(form, "CheckBoxSize")->click();
    Child<QCheckBox>(form, "CheckBoxFolderContents")->click();
    Child<QCheckBox>(form, "CheckBoxFileContents")->click();
    options = form.Options();
    EXPECT_FALSE(options.ByName);
    EXPECT_TRUE(options.BySize);
    EXPECT_TRUE(options.ByFolderContents);
    EXPECT_FALSE(options.ByFileContents);
    for (const auto& [name, stored] :
         std::vector<std::pair<const char*, std::optional<bool>>>{{"CheckBoxName", std::nullopt},
                                                                  {"CheckBoxSize", true},
                                                                  {"CheckBoxDate", true},
                                                                  {"CheckBoxFolderContents", true},
                                                                  {"CheckBoxFileContents", false}})
        EXPECT_EQ(LoadCheckBoxState(*FStore, DefaultAutoSaveKey, name), stored) << name;

    SCOPED_TRACE("Compare gives the options, Cancel nothing");
    std::optional<TCompareOptions> result;
    test::ShowAndAct([&] { result = TCompareForm::Execute(); },
                     [](QDialog& dialog) { Child<QPushButton>(dialog, "CompareButton")->click(); });
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->BySize && result->ByDate && result->ByFolderContents && result->ByName);
    test::ShowAndAct([&] { result = TCompareForm::Execute(); },
                     [](QDialog& dialog) { Child<QPushButton>(dialog, "CancelButton")->click(); });
    EXPECT_FALSE(result);
}

TEST_F(CompareShortcutFormsTest, ShortcutGoesWhereTheButtonSaysAndAsksBeforeReplacing) {
    const std::string item = FTree.File("left/readme.txt", "text");
    const std::string other = FTree.Folder("right");
    FTree.Folder("Desktop");
    FTree.Folder("Documents");
    struct TCase {
        const char* Name;
        const char* Button;
        std::string TargetText; ///< typed over the other panel's folder; empty keeps it
        std::string Expected;   ///< the file written; empty for none
        std::string TargetAfter;
    };
    const std::vector<TCase> cases = {
        {"create", "CreateButton", "", FTree / "right/readme.desktop", other},
        {"on desktop", "DesktopButton", "", FTree / "Desktop/readme.desktop", other},
        {"macro", "CreateButton", ".DOC", FTree / "Documents/readme.desktop", FTree / "Documents"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCreateShortcutForm form(TShortcutItem{item, "readme.txt", false}, other);
        std::vector<std::string> asked;
        form.AskUser = [&](const std::string& text, int, int, int) {
            asked.push_back(text);
            return mrNo;
        };
        form.show();
        auto* target = Child<QLineEdit>(form, "TargetPathEdit");
        EXPECT_EQ(form.focusWidget(), target);
        EXPECT_EQ(target->text().toStdString(), other);
        EXPECT_EQ(target->selectedText(), target->text());
        EXPECT_EQ(Child<QLabel>(form, "WherePath")->text(), QStringLiteral("readme.txt"));
        EXPECT_EQ(Child<QLineEdit>(form, "FileNameEdit")->text(), QStringLiteral("readme.desktop"));
        EXPECT_EQ(Child<QLineEdit>(form, "DescriptionEdit")->text(), QStringLiteral("L-for readme.txt"));
        if (!c.TargetText.empty())
            target->setText(QString::fromStdString(c.TargetText));
        Child<QPushButton>(form, c.Button)->click();
        EXPECT_EQ(target->text().toStdString(), c.TargetAfter);
        EXPECT_EQ(form.Written(), c.Expected);
        EXPECT_TRUE(asked.empty());
        EXPECT_EQ(form.result(), QDialog::Accepted);
        // The new launcher is marked as trusted through gio.
        ASSERT_FALSE(FSystem.FStartedPrograms.empty());
        EXPECT_EQ(FSystem.FStartedPrograms.back(),
                  (test::FakeSystem::TStart{"/usr/bin/gio",
                                            {"set", c.Expected, "metadata::trusted", "true"},
                                            c.Expected.substr(0, c.Expected.rfind('/'))}));
        const std::string text = TempTree::ReadFile(c.Expected);
        EXPECT_NE(text.find("Type=Link\n"), std::string::npos) << text;
        EXPECT_NE(text.find("URL=file://" + FTree.Path() + "/left/readme.txt\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Comment=L-for readme.txt\n"), std::string::npos) << text;
    }

    SCOPED_TRACE("an existing file is kept when the user says no");
    FTree.File("right/readme.desktop", "mine");
    {
        TCreateShortcutForm form(TShortcutItem{item, "readme.txt", false}, other);
        std::vector<std::string> asked;
        form.AskUser = [&](const std::string& text, int, int buttons, int) {
            asked.push_back(text);
            EXPECT_EQ(buttons, mbYes | mbNo);
            return mrNo;
        };
        form.show();
        Child<QPushButton>(form, "CreateButton")->click();
        EXPECT_EQ(asked, std::vector<std::string>{"L-exists " + FTree / "right/readme.desktop"});
        EXPECT_EQ(TempTree::ReadFile(FTree / "right/readme.desktop"), "mine");
        // A file the user kept is not marked.
        EXPECT_NE(FSystem.FStartedPrograms.back().Arguments.at(1), FTree / "right/readme.desktop");
        EXPECT_TRUE(form.Written().empty());
    }

    SCOPED_TRACE("a folder that does not exist is reported and the dialog stays");
    {
        TCreateShortcutForm form(TShortcutItem{item, "readme.txt", true}, FTree / "gone");
        std::vector<std::string> asked;
        form.AskUser = [&](const std::string& text, int, int, int) {
            asked.push_back(text);
            return mrOk;
        };
        form.show();
        Child<QPushButton>(form, "CreateButton")->click();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].rfind("L-failed " + FTree / "gone/readme.desktop: ", 0), 0u) << asked[0];
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.Written().empty());
    }

    SCOPED_TRACE("without an item nothing is written");
    {
        TCreateShortcutForm form(std::nullopt, other);
        form.show();
        ExpectWindowFileMatches(form);
        Child<QPushButton>(form, "DesktopButton")->click();
        EXPECT_TRUE(form.Written().empty());
        EXPECT_FALSE(form.isVisible());
    }
}

} // namespace
} // namespace ks
