// The connection list, its add/edit dialog, the status window and the copy progress window,
// driven by keys and clicks with the shipped English texts and pictures.

#include "ftp/ui/FTPAddLoginForm.h"
#include "ftp/ui/FTPCopyProgressForm.h"
#include "ftp/ui/FTPLoginForm.h"
#include "ftp/ui/FTPStatusForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/MessageForm.h"
#include "foundation/Language.h"
#include "ftp/FtpConnections.h"
#include "support/QtApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ks {
namespace {

using test::ShowAndAct;

const std::string ProgramFolder = KS_SOURCE_DIR "/data/";

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::yield();
    }
    return true;
}

void SendKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

void Click(QWidget* target) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }
}

template <class TWidget> TWidget* Child(QWidget& form, const char* name) {
    auto* child = form.findChild<TWidget*>(QString::fromUtf8(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString TextOf(QWidget& form, const char* name) {
    auto* edit = Child<QLineEdit>(form, name);
    return edit != nullptr ? edit->text() : QString();
}

void Type(QWidget& form, const char* name, const char* text) {
    if (auto* edit = Child<QLineEdit>(form, name))
        edit->setText(QString::fromUtf8(text));
}

class FtpFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }

    void SetUp() override {
        FSavedLanguage = CurrentLanguage();
        // The shipped window files, and a question text of our own so the language key shows.
        CurrentLanguage().LangPath = ProgramFolder + "lang/ENGLISH/";
        CurrentLanguage().SetLangText("str_DeleteItemFromList", "L-remove?");
    }

    void TearDown() override { CurrentLanguage() = FSavedLanguage; }

    std::vector<std::string> Rows() const { return FForm.List(); }

    // Sends key to the list and hands the dialog it opens to act.
    void KeyAndAct(int key, const std::function<void(QDialog&)>& act) {
        ShowAndAct([&] { SendKey(FForm.ListBox(), key); }, act);
    }

    TLanguage FSavedLanguage;
    TFTPLoginForm FForm{ProgramFolder};
};

TEST_F(FtpFormsTest, ListKeysAddEditAndDeleteAfterAsking) {
    // A new entry starts passive, with the usual port and an anonymous login.
    EXPECT_EQ(MakeFtpEntry(FForm.AddLoginForm()->Values()), "new connection||21|anonymous||0||3128|1");
    const std::string only = "only|h1|21|u|p|0||3128";
    FForm.SetList({only});
    FForm.show();
    ASSERT_TRUE(WaitFor([&] { return FForm.isVisible(); }));
    QListWidget* list = FForm.ListBox();
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(FForm.focusWidget(), list);
    EXPECT_EQ(list->sizeHintForRow(0), 24);
    // The pictures come from the program folder: the middle of the plus is green.
    const QImage add = Child<TKImageButton>(FForm, "ItemAdd")->grab().toImage();
    EXPECT_EQ(add.pixelColor(7, 7), QColor(86, 190, 96));

    // Editing the only entry and cancelling changes nothing, not even the passive field.
    KeyAndAct(Qt::Key_F2, [](QDialog& dialog) {
        ASSERT_NE(dynamic_cast<TFTPAddLoginForm*>(&dialog), nullptr);
        EXPECT_EQ(TextOf(dialog, "NameEdit"), QStringLiteral("only"));
        EXPECT_FALSE(Child<QCheckBox>(dialog, "CheckboxPassive")->isChecked());
        Type(dialog, "NameEdit", "changed");
        SendKey(dialog.focusWidget(), Qt::Key_Escape);
    });
    EXPECT_EQ(Rows(), std::vector<std::string>{only});

    // Insert opens the dialog with what it showed last; a new entry goes to the end.
    KeyAndAct(Qt::Key_Insert, [](QDialog& dialog) {
        EXPECT_EQ(dialog.focusWidget(), Child<QLineEdit>(dialog, "NameEdit"));
        EXPECT_EQ(TextOf(dialog, "NameEdit"), QStringLiteral("changed"));
        EXPECT_EQ(Child<QLineEdit>(dialog, "PasswordEdit")->echoMode(), QLineEdit::Password);
        Type(dialog, "NameEdit", "two");
        Type(dialog, "HostEdit", "ftp.lan");
        Type(dialog, "PasswordEdit", "se|cret");
        Child<QCheckBox>(dialog, "CheckboxPassive")->setChecked(true);
        Child<QPushButton>(dialog, "OKButton")->click();
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{only, "two|ftp.lan|21|u|secret|0||3128|1"}));
    EXPECT_EQ(list->currentRow(), 1);

    KeyAndAct(Qt::Key_F2, [](QDialog& dialog) {
        EXPECT_EQ(TextOf(dialog, "PasswordEdit"), QStringLiteral("secret"));
        Type(dialog, "PortEdit", "2121");
        Child<QCheckBox>(dialog, "CheckboxEnableProxy")->setChecked(true);
        Child<QPushButton>(dialog, "OKButton")->click();
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{only, "two|ftp.lan|2121|u|secret|1||3128|1"}));

    // Delete asks first, with OK pre-selected; Cancel, by key or on the image, keeps the entry.
    const auto answer = [](const char* button, bool* asked) {
        return [button, asked](QDialog& dialog) {
            auto* box = dynamic_cast<TMessageForm*>(&dialog);
            ASSERT_NE(box, nullptr);
            *asked = true;
            EXPECT_EQ(box->TextArea()->toPlainText(), QStringLiteral("L-remove?"));
            EXPECT_EQ(box->Layout().Focused, MessageButtonOfDefault(2));
            Child<QPushButton>(dialog, button)->click();
        };
    };
    bool asked = false;
    KeyAndAct(Qt::Key_Delete, answer("mmbCancel", &asked));
    EXPECT_TRUE(asked);
    EXPECT_EQ(Rows().size(), 2u);
    asked = false;
    ShowAndAct([&] { Click(Child<TKImageButton>(FForm, "ItemDelete")); }, answer("mmbCancel", &asked));
    EXPECT_TRUE(asked);
    EXPECT_EQ(Rows().size(), 2u);
    asked = false;
    KeyAndAct(Qt::Key_Delete, answer("mmbOK", &asked));
    EXPECT_TRUE(asked);
    EXPECT_EQ(Rows(), std::vector<std::string>{only});
    EXPECT_EQ(list->currentRow(), 0);

    FForm.hide();
}

TEST_F(FtpFormsTest, ConnectGivesTheSelectedEntryAndShowsTheStatus) {
    const std::vector<std::string> entries = {"a|h1|21|u|p|0||3128|1", "b|h2|21|u|p|0||3128|1"};
    int statusShown = 0;
    FForm.OnShowStatus = [&] { ++statusShown; };

    struct TCase {
        const char* Name;
        std::function<void(QDialog&)> Act;
        std::optional<std::string> Chosen;
        int StatusShown;
    };
    const std::vector<TCase> cases = {
        {"connect with the second entry",
         [](QDialog& dialog) {
             Child<QListWidget>(dialog, "FTPList")->setCurrentRow(1);
             Child<QPushButton>(dialog, "ConnectButton")->click();
         },
         entries[1], 1},
        {"Return connects with the first entry, selected on show",
         [](QDialog& dialog) { SendKey(Child<QListWidget>(dialog, "FTPList"), Qt::Key_Return); }, entries[0],
         1},
        {"Escape cancels",
         [](QDialog& dialog) { SendKey(Child<QListWidget>(dialog, "FTPList"), Qt::Key_Escape); },
         std::nullopt, 0},
        {"an entry added before a cancel stays",
         [](QDialog& dialog) {
             ShowAndAct([&] { SendKey(Child<QListWidget>(dialog, "FTPList"), Qt::Key_Insert); },
                        [](QDialog& add) { Child<QPushButton>(add, "OKButton")->click(); });
             Child<QPushButton>(dialog, "CancelButton")->click();
         },
         std::nullopt, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> list = entries;
        statusShown = 0;
        std::optional<std::string> chosen;
        ShowAndAct([&] { chosen = FForm.Execute(list); }, c.Act);
        EXPECT_EQ(chosen, c.Chosen);
        EXPECT_EQ(statusShown, c.StatusShown);
        EXPECT_EQ(list.size(), std::string(c.Name).find("added") != std::string::npos ? 3u : 2u);
    }
}

// Every key of a shipped window file names a control of its form, with the form's own caption
// or hint, so a translation reaches every text.
TEST_F(FtpFormsTest, WindowFilesMatchTheForms) {
    TFTPLoginForm login(ProgramFolder);
    TFTPAddLoginForm add;
    TFTPStatusForm status;
    TFTPCopyProgressForm progress;
    for (QWidget* form : std::vector<QWidget*>{&login, &add, &status, &progress}) {
        SCOPED_TRACE(form->objectName().toStdString());
        QFile file(QString::fromStdString(ProgramFolder) + QStringLiteral("lang/ENGLISH/F_") +
                   form->objectName() + QStringLiteral(".dat"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (const QByteArray& raw : file.readAll().split('\n')) {
            if (raw.isEmpty())
                continue;
            ASSERT_TRUE(raw.endsWith('\r'));
            const QString line = QString::fromLatin1(raw.chopped(1));
            const QString key = line.section(u'|', 0, 0);
            const QString text = line.section(u'|', 1);
            SCOPED_TRACE(key.toStdString());
            if (key == QStringLiteral("FormCaption")) {
                EXPECT_EQ(form->windowTitle(), text);
                continue;
            }
            const bool hint = key.endsWith(u'~');
            auto* control = form->findChild<QWidget*>(hint ? key.chopped(1) : key);
            ASSERT_NE(control, nullptr);
            QString caption = QStringLiteral("<no caption>");
            if (hint)
                caption = control->toolTip();
            else if (auto* label = qobject_cast<QLabel*>(control))
                caption = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                caption = button->text();
            EXPECT_EQ(caption, text);
        }
    }
}

TEST_F(FtpFormsTest, StatusWindowStaysOnTopKeepsNoFocusAndNeverPasses501Lines) {
    QWidget mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &mainWindow; }));

    auto* status = new TFTPStatusForm(&mainWindow);
    EXPECT_TRUE(status->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(status->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(status->pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    status->ShowWithoutFocus();
    // Some window systems activate every window they show; the status window hands it back.
    ASSERT_TRUE(
        WaitFor([&] { return status->windowHandle() != nullptr && status->windowHandle()->isExposed(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &mainWindow; }));

    QPlainTextEdit* memo = status->Memo();
    for (int i = 1; i <= 1100; ++i) {
        status->AddLine("line " + std::to_string(i));
        ASSERT_LE(memo->document()->blockCount(), TFtpStatusLog::MaxLines) << i;
        if (i == 501) {
            EXPECT_EQ(memo->document()->blockCount(), 501);
        }
        if (i == 502) {
            ASSERT_EQ(memo->toPlainText(), QStringLiteral("line 502"));
        }
    }
    EXPECT_EQ(memo->document()->blockCount(), 1100 - 1002);
    EXPECT_EQ(memo->document()->lastBlock().text(), QStringLiteral("line 1100"));
    EXPECT_TRUE(memo->isReadOnly());
}

TEST_F(FtpFormsTest, CopyProgressWindowEmptiesItsStatusAndCancelCloses) {
    TFTPCopyProgressForm progress;
    QLabel* label = Child<QLabel>(progress, "FTPStatus");
    EXPECT_EQ(label->text(), QStringLiteral("..."));
    progress.show();
    EXPECT_EQ(label->text(), QString());
    Child<QPushButton>(progress, "CancelButton")->click();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.result(), QDialog::Rejected);
}

} // namespace
} // namespace ks
