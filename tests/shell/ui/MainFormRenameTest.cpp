// F2 in the main window: the rename editor over the cursor row, and how the edit ends.
#include "shell/ui/MainForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

namespace ks {
namespace {

namespace fs = std::filesystem;

const std::string Key = std::string(ProgramKey) + "\\";

// A main window on a temporary settings store with the left panel on a small folder, its cursor
// on "notes.txt".
class MainFormRename : public ::testing::Test {
protected:
    void SetUp() override {
        test::QtApp();
        fs::copy(std::string(KS_BIN_DIR) + "/skins", Tree / "skins", fs::copy_options::recursive);
        Tree.File("left/alpha/inside.txt", "x");
        Tree.File("left/notes.txt", "notes");
        Tree.File("left/taken.txt", "taken");
        Tree.Folder("right");
        Store = std::make_unique<TKRegistryStore>(Tree / "registry");
        Store->Write(Key + "m_settings", "first_run", "0");
        Store->Write(Key + "m_settings", "skin_path", Tree / "skins/default/");
        Store->Write(Key + "m_lpanel", "ppath", Tree / "left");
        Store->Write(Key + "m_lpanel", "pposit", "notes.txt");
        Store->Write(Key + "m_rpanel", "ppath", Tree / "right");
        ASSERT_TRUE(Store->Flush().has_value());
        SetPlatform(&System, &FileSystem);
        SetRegistryStore(Store.get());
    }

    void TearDown() override {
        Form.reset();
        Data.reset();
        SetRegistryStore(nullptr);
    }

    TMainForm& Start() {
        Data = std::make_unique<TData>(*Store, System, FileSystem);
        TMainFormServices services;
        services.Data = Data.get();
        Form = std::make_unique<TMainForm>(services);
        Form->show();
        Form->activateWindow();
        EXPECT_TRUE(WaitFor([this] { return Form->Ready(); }));
        Form->LEFTPANEL->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(CursorName(), "notes.txt");
        return *Form;
    }

    static bool WaitFor(const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 5000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    static void Press(QWidget* widget, int key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &up);
    }

    std::string CursorName() const {
        const TKFiles* item = Form->LeftPanel().FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Name : std::string();
    }

    // F2 on the left panel; the editor it opened.
    QLineEdit* OpenEditor() {
        Press(Form->LEFTPANEL, Qt::Key_F2);
        auto* edit = Form->findChild<QLineEdit*>(QStringLiteral("RenameItemEdit"));
        EXPECT_NE(edit, nullptr);
        if (edit != nullptr) {
            EXPECT_TRUE(WaitFor([edit] { return edit->isVisible() && edit->hasFocus(); }));
        }
        return edit;
    }

    test::TempTree Tree;
    TKLinuxSystem System;
    TKLinuxFileSystem FileSystem;
    std::unique_ptr<TKRegistryStore> Store;
    std::unique_ptr<TData> Data;
    std::unique_ptr<TMainForm> Form;
};

TEST_F(MainFormRename, F2PlacesTheEditorOverTheCursorRowWithTheNameSelected) {
    TMainForm& form = Start();
    TKMYFILEPANEL& panel = form.LeftPanel();
    QLineEdit* edit = OpenEditor();
    ASSERT_NE(edit, nullptr);
    const TRect row = panel.ItemRect(panel.FItemsStruc->FItemIndex);
    const QRect widget = form.LEFTPANEL->geometry();
    EXPECT_EQ(edit->geometry(), QRect(widget.x() + row.Left, widget.y() + row.Top, row.Right - row.Left + 1,
                                      row.Bottom - row.Top + 1));
    EXPECT_EQ(edit->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("notes.txt"));
    EXPECT_EQ(edit->font(), form.LEFTPANEL->font());
    EXPECT_EQ(edit->palette().color(QPalette::Base), form.LEFTPANEL->palette().color(QPalette::Window));
    EXPECT_NE(form.StateJson().find("\"RenameEditor\":true"), std::string::npos);

    // The panel's keys wait while the editor is open.
    const int cursor = panel.FItemsStruc->FItemIndex;
    Press(form.LEFTPANEL, Qt::Key_Down);
    EXPECT_EQ(panel.FItemsStruc->FItemIndex, cursor);
    EXPECT_TRUE(edit->isVisible());
}

TEST_F(MainFormRename, EnterRenamesOnDiskAndTheOtherWaysOutChangeNothing) {
    struct TCase {
        const char* What;
        bool UpperCase;
        std::function<void(TMainForm&, QLineEdit&)> End;
        std::string Renamed; ///< the name on disk afterwards; "notes.txt" when nothing was renamed
    };
    const std::vector<TCase> cases = {
        {"Enter", false, [](TMainForm&, QLineEdit& edit) { Press(&edit, Qt::Key_Return); }, "renamed.txt"},
        {"Enter, upper-cased by the create-new setting", true,
         [](TMainForm&, QLineEdit& edit) { Press(&edit, Qt::Key_Enter); }, "RENAMED.TXT"},
        {"Esc", false, [](TMainForm&, QLineEdit& edit) { Press(&edit, Qt::Key_Escape); }, "notes.txt"},
        {"F2", false, [](TMainForm&, QLineEdit& edit) { Press(&edit, Qt::Key_F2); }, "notes.txt"},
        {"the focus going to the other panel", false,
         [](TMainForm& form, QLineEdit&) { form.RIGHTPANEL->setFocus(Qt::MouseFocusReason); }, "notes.txt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Store->Write(ProgramKey, "SettingsCreateNewUpperCase", c.UpperCase ? "1" : "0");
        Store->Write(Key + "m_lpanel", "pposit", "notes.txt");
        TMainForm& form = Start();
        QLineEdit* edit = OpenEditor();
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("renamed.txt"));
        c.End(form, *edit);
        EXPECT_TRUE(WaitFor([edit] { return !edit->isVisible(); }));
        EXPECT_TRUE(fs::exists(Tree / ("left/" + c.Renamed)));
        EXPECT_EQ(fs::exists(Tree / "left/notes.txt"), c.Renamed == "notes.txt");
        EXPECT_EQ(CursorName(), c.Renamed);
        if (c.Renamed != "notes.txt") {
            EXPECT_TRUE(form.LEFTPANEL->hasFocus());
            fs::rename(Tree / ("left/" + c.Renamed), Tree / "left/notes.txt");
        }
        EXPECT_NE(form.StateJson().find("\"RenameEditor\":false"), std::string::npos);
        Form.reset();
        Data.reset();
    }
}

TEST_F(MainFormRename, ANameThatIsNoTextKeepsTheBytesTheUserDidNotTouch) {
    Tree.File("left/\xFF\xFE.bin", "raw");
    TMainForm& form = Start();
    ASSERT_GE(form.LeftPanel().FindItem("\xFF\xFE.bin", true), 0);
    QLineEdit* edit = OpenEditor();
    ASSERT_NE(edit, nullptr);
    // Shown a character per byte, as the panel shows it.
    EXPECT_EQ(edit->text(), QString::fromLatin1("\xFF\xFE.bin"));
    edit->setCursorPosition(2);
    edit->insert(QStringLiteral("-2"));
    Press(edit, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([edit] { return !edit->isVisible(); }));
    EXPECT_EQ(test::TempTree::ReadFile(Tree / "left/\xFF\xFE-2.bin"), "raw");
    EXPECT_EQ(CursorName(), "\xFF\xFE-2.bin");
}

TEST_F(MainFormRename, ATakenNameIsToldOnceAndBothFilesStay) {
    TMainForm& form = Start();
    QLineEdit* edit = OpenEditor();
    ASSERT_NE(edit, nullptr);
    edit->setText(QStringLiteral("taken.txt"));
    int messages = 0;
    test::ShowAndAct([&] { Press(edit, Qt::Key_Return); },
                     [&](QDialog& dialog) {
                         ++messages;
                         dialog.accept();
                     });
    EXPECT_EQ(messages, 1);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(test::TempTree::ReadFile(Tree / "left/notes.txt"), "notes");
    EXPECT_EQ(test::TempTree::ReadFile(Tree / "left/taken.txt"), "taken");
    EXPECT_EQ(CursorName(), "notes.txt");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    (void)form;
}

} // namespace
} // namespace ks
