// F7, Shift+F4, Num+ and Num- in the main window: the create-new and select dialogs over a real
// folder, and what the panel shows afterwards.
#include "shell/ui/MainForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

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

// The real system, except that programs are recorded instead of started (no editor opens).
class TRecordingSystem : public TKLinuxSystem {
public:
    Result<void> StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string&) override {
        Started.push_back(arguments.empty() ? program : arguments.front());
        return {};
    }
    std::vector<std::string> Started;
};

// Hands each modal dialog that comes up, in turn, to the next of acts; a dialog left open (or
// one more than expected) is closed after five seconds so a fault fails instead of hanging.
// Returns how many dialogs were seen.
int RunWithDialogs(const std::function<void()>& run, const std::vector<std::function<void(QDialog&)>>& acts) {
    std::size_t next = 0;
    int seen = 0;
    QPointer<QDialog> last;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog == last)
            return;
        last = dialog;
        ++seen;
        if (next < acts.size())
            acts[next++](*dialog);
        else
            dialog->done(-1);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(-1);
    });
    poll.start();
    limit.start(5000);
    run();
    return seen;
}

class MainFormCreateSel : public ::testing::Test {
protected:
    void SetUp() override {
        test::QtApp();
        fs::copy(std::string(KS_BIN_DIR) + "/skins", Tree / "skins", fs::copy_options::recursive);
        Tree.Folder("left/alpha");
        Tree.File("left/notes.txt", "notes");
        Tree.File("left/taken.txt", "taken");
        Tree.File("left/picture.bmp", "bmp");
        Tree.Folder("right");
        Store = std::make_unique<TKRegistryStore>(Tree / "registry");
        Store->Write(Key + "m_settings", "first_run", "0");
        Store->Write(Key + "m_settings", "skin_path", Tree / "skins/default/");
        Store->Write(Key + "m_lpanel", "ppath", Tree / "left");
        Store->Write(Key + "m_rpanel", "ppath", Tree / "right");
        ASSERT_TRUE(Store->Flush().has_value());
        SetPlatform(&System, &FileSystem);
        SetRegistryStore(Store.get());
        Data = std::make_unique<TData>(*Store, System, FileSystem);
        TMainFormServices services;
        services.Data = Data.get();
        Form = std::make_unique<TMainForm>(services);
        Form->show();
        Form->activateWindow();
        ASSERT_TRUE(WaitFor([this] { return Form->Ready(); }));
        Form->LEFTPANEL->setFocus(Qt::OtherFocusReason);
    }

    void TearDown() override {
        Form.reset();
        Data.reset();
        SetRegistryStore(nullptr);
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

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent down(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(Form->LEFTPANEL, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers);
        QCoreApplication::sendEvent(Form->LEFTPANEL, &up);
    }

    std::string CursorName() const {
        const TKFiles* item = Form->LeftPanel().FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Name : std::string();
    }

    std::vector<std::string> MarkedNames() const {
        std::vector<std::string> names;
        TKITEMSSTRUC& list = *Form->LeftPanel().FItemsStruc;
        for (int i = 0;; ++i) {
            const TKFiles* item = list.GetFileItem(i);
            if (item == nullptr)
                break;
            if (item->Marked)
                names.push_back(item->Name);
        }
        return names;
    }

    // The create-new dialog's act: the name typed, the kind box clicked when given, Create.
    static std::function<void(QDialog&)> CreateAct(const QString& name, const char* kindBox = nullptr) {
        return [name, kindBox](QDialog& dialog) {
            EXPECT_EQ(dialog.objectName(), QStringLiteral("CreateNewForm"));
            if (kindBox != nullptr)
                dialog.findChild<QCheckBox*>(QString::fromLatin1(kindBox))->click();
            dialog.findChild<QComboBox*>(QStringLiteral("SettingsCreateNewName"))->lineEdit()->setText(name);
            dialog.findChild<QPushButton*>(QStringLiteral("CreateButton"))->click();
        };
    }

    test::TempTree Tree;
    TRecordingSystem System;
    TKLinuxFileSystem FileSystem;
    std::unique_ptr<TKRegistryStore> Store;
    std::unique_ptr<TData> Data;
    std::unique_ptr<TMainForm> Form;
};

TEST_F(MainFormCreateSel, F7AndShiftF4CreateAndPutTheCursorOnTheNewItem) {
    struct TCase {
        const char* What;
        Qt::KeyboardModifiers Modifiers;
        QString Typed;
        bool UpperCase;
        std::string Made;    ///< the name the cursor ends on
        bool Folder;         ///< made as a folder
        std::string Content; ///< of a text file afterwards
        bool Edited;         ///< opened in the editor
    };
    const std::vector<TCase> cases = {
        {"F7, upper-cased", Qt::NoModifier, "new", true, "NEW", true, "", false},
        {"Shift+F4, a new text file", Qt::ShiftModifier, "todo.txt", false, "todo.txt", false, "", true},
        {"Shift+F4, an existing text file is opened as it is", Qt::ShiftModifier, "notes.txt", false,
         "notes.txt", false, "notes", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Store->Write(ProgramKey, "SettingsCreateNewUpperCase", c.UpperCase ? "1" : "0");
        System.Started.clear();
        const int dialogs = RunWithDialogs(
            [&] { Press(c.Modifiers & Qt::ShiftModifier ? Qt::Key_F4 : Qt::Key_F7, c.Modifiers); },
            {CreateAct(c.Typed)});
        EXPECT_EQ(dialogs, 1);
        const std::string made = Tree / ("left/" + c.Made);
        EXPECT_EQ(fs::is_directory(made), c.Folder);
        if (!c.Folder) {
            EXPECT_EQ(test::TempTree::ReadFile(made), c.Content);
        }
        EXPECT_EQ(CursorName(), c.Made);
        EXPECT_EQ(System.Started, c.Edited ? std::vector<std::string>{made} : std::vector<std::string>{});
    }
    EXPECT_EQ(Data->ComboHistories[chCreateNew].front(), "notes.txt");
}

TEST_F(MainFormCreateSel, ARefusedNameIsToldAndNothingIsMade) {
    std::string told;
    const int dialogs = RunWithDialogs(
        [&] { Press(Qt::Key_F7); }, {CreateAct(QStringLiteral("alpha")), [&told](QDialog& message) {
                                         EXPECT_EQ(message.objectName(), QStringLiteral("MessageForm"));
                                         told = message.findChild<QTextEdit*>()->toPlainText().toStdString();
                                         message.done(0);
                                     }});
    EXPECT_EQ(dialogs, 2);
    EXPECT_NE(told.find("exists already"), std::string::npos) << told;
    EXPECT_TRUE(fs::is_empty(Tree / "left/alpha"));
    EXPECT_EQ(CursorName(), "alpha");
}

TEST_F(MainFormCreateSel, NumPlusAndNumMinusMarkByTheMaskOfTheSelectDialog) {
    auto select = [](const QString& mask, const char* button, bool expectDeselect) {
        return [=](QDialog& dialog) {
            EXPECT_EQ(dialog.objectName(), QStringLiteral("SelectForm"));
            EXPECT_EQ(dialog.findChild<QCheckBox*>(QStringLiteral("SelectType"))->isChecked(),
                      expectDeselect);
            dialog.findChild<QComboBox*>(QStringLiteral("INPUT"))->lineEdit()->setText(mask);
            dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
        };
    };
    EXPECT_EQ(RunWithDialogs([&] { Press(Qt::Key_Plus, Qt::KeypadModifier); },
                             {select(QStringLiteral("*.txt"), "OKButton", false)}),
              1);
    EXPECT_EQ(MarkedNames(), (std::vector<std::string>{"notes.txt", "taken.txt"}));
    // Cancel leaves the marks alone.
    EXPECT_EQ(RunWithDialogs([&] { Press(Qt::Key_Minus, Qt::KeypadModifier); },
                             {select(QStringLiteral("*.*"), "CancelButton", true)}),
              1);
    EXPECT_EQ(MarkedNames(), (std::vector<std::string>{"notes.txt", "taken.txt"}));
    // The menu's "Unselect items..." asks the same dialog; "&All" unmarks everything.
    EXPECT_EQ(RunWithDialogs([&] { Form->RunCommand(cmSelUnSelectSome); },
                             {select(QStringLiteral("*.bmp"), "AllButton", true)}),
              1);
    EXPECT_EQ(MarkedNames(), std::vector<std::string>{});
    EXPECT_EQ(Data->ComboHistories[chSelect].front(), "*.*");
}

} // namespace
} // namespace ks
