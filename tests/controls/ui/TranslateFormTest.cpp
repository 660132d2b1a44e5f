#include "controls/ui/TranslateForm.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include <memory>
#include <string>

#include "foundation/Language.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

namespace ks {
namespace {

// A language folder of its own for each test; the current language's folder and the decoder
// are put back afterwards.
class TranslateFormTest : public ::testing::Test {
protected:
    TranslateFormTest() : FOldPath(CurrentLanguage().LangPath) {
        test::QtApp();
        CurrentLanguage().LangPath = FTree.Folder("lang") + "/";
    }
    ~TranslateFormTest() override {
        CurrentLanguage().LangPath = FOldPath;
        SetTranslateDecoder({});
    }

    test::TempTree FTree;
    std::string FOldPath;
};

TEST_F(TranslateFormTest, AppliesCaptionsHintsAndTitleByName) {
    // Written in the pack's code page (Latin-1 here), with both line ends and a file name whose
    // case differs from the window's name.
    FTree.File("lang/f_TESTFORM.DAT", "FormCaption|Caf\xe9 window\r\n"
                                      "formcaption|must not become the title\r\n"
                                      "labelone|COUNTING... |%d|%d| = %s\n"
                                      "LEFTPANEL~|Left panel hint\r\n"
                                      "EditBox|not a caption\r\n"
                                      "EditBox~|Type here\r\n"
                                      "Group|Options\r\n"
                                      "CHECKIT|&Upper cased\r\n"
                                      "MenuFile|&File\r\n"
                                      "actopen|&Open\r\n"
                                      "ActOrphan|Orphan\r\n"
                                      "Unknown|nobody\r\n"
                                      "a line without a bar\r\n"
                                      "~|empty name\r\n");
    SetTranslateDecoder([](const std::string& bytes) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    });

    QWidget form;
    form.setObjectName("TestForm");
    form.setWindowTitle("old");
    auto* label = new QLabel("old", &form);
    label->setObjectName("LabelOne");
    auto* panel = new QLabel("panel", &form);
    panel->setObjectName("LEFTPANEL");
    auto* edit = new QLineEdit("user text", &form);
    edit->setObjectName("EditBox");
    auto* group = new QGroupBox("old", &form);
    group->setObjectName("Group");
    auto* check = new QCheckBox("old", group);
    check->setObjectName("CheckIt");
    auto* menu = new QMenu("old", &form);
    menu->setObjectName("MenuFile");
    QAction* open = menu->addAction("old");
    open->setObjectName("ActOpen");
    // An action listed in a submenu but owned by nothing the form holds.
    auto* submenu = new QMenu("sub");
    submenu->setObjectName("SubMenu");
    menu->addMenu(submenu);
    const auto orphan = std::make_unique<QAction>("old");
    orphan->setObjectName("ActOrphan");
    submenu->addAction(orphan.get());

    TranslateForm(&form);

    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Caf\xc3\xa9 window"));
    EXPECT_EQ(label->text(), "COUNTING... |%d|%d| = %s");
    EXPECT_EQ(panel->text(), "panel");
    EXPECT_EQ(panel->toolTip(), "Left panel hint");
    EXPECT_EQ(edit->text(), "user text");
    EXPECT_EQ(edit->toolTip(), "Type here");
    EXPECT_EQ(group->title(), "Options");
    EXPECT_EQ(check->text(), "&Upper cased");
    EXPECT_EQ(menu->title(), "&File");
    EXPECT_EQ(open->text(), "&Open");
    EXPECT_EQ(orphan->text(), "Orphan");
    delete submenu;
}

TEST_F(TranslateFormTest, MissingFileOrNamelessFormChangesNothing) {
    FTree.File("lang/F_.dat", "FormCaption|wrong\r\n");
    for (const char* name : {"NoSuchForm", "", "../lang/F_TestForm"}) {
        SCOPED_TRACE(name);
        QWidget form;
        form.setObjectName(name);
        form.setWindowTitle("kept");
        auto* label = new QLabel("kept", &form);
        label->setObjectName("FormCaption");
        TranslateForm(&form);
        EXPECT_EQ(form.windowTitle(), "kept");
        EXPECT_EQ(label->text(), "kept");
    }
    TranslateForm(nullptr);
}

} // namespace
} // namespace ks
