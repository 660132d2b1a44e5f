#include "controls/ui/KComboBox.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "shell/ui/HistoryForm.h"
#include "shell/ui/TypePanelPathForm.h"

#include "support/FakeSystem.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ks {
namespace {

using test::ShowAndAct;

void SendKey(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &release);
}

void SendKeyToFocus(QWidget& dialog, int key) {
    SendKey(dialog.focusWidget() != nullptr ? *dialog.focusWidget() : dialog, key);
}

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Every line of the shipped English window file names a control of the form and carries the
// form's own caption, so a translation reaches every text.
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
            continue;
        }
        auto* control = form.findChild<QAbstractButton*>(key);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->text(), text);
    }
}

std::vector<std::string> Listed(QListWidget& list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list.count(); ++i)
        rows.push_back(list.item(i)->text().toStdString());
    return rows;
}

class CommandFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }

    void SetUp() override {
        FSavedLanguage = CurrentLanguage();
        FDisk = &FileSystem();
        FSystem.FHomeDir = FTree / "home";
        FTree.Folder("home/Docs");
        FTree.Folder("work/Src");
        FTree.Folder("work/MiXed");
        SetPlatform(&FSystem, FDisk);
    }
    void TearDown() override {
        SetPlatform(nullptr, FDisk);
        CurrentLanguage() = FSavedLanguage;
    }

    TLanguage FSavedLanguage;
    test::TempTree FTree;
    test::FakeSystem FSystem;
    TKFileSystem* FDisk = nullptr;
};

TEST_F(CommandFormsTest, HistoryOfAFreshStoreOffersNothing) {
    // A fresh settings store holds one empty line: nothing to list, OK stays disabled, and
    // neither Enter nor a double click can choose anything.
    std::optional<std::string> chosen = "?";
    ShowAndAct([&] { chosen = THistoryForm::Execute({""}); },
               [](QDialog& form) {
                   EXPECT_EQ(form.objectName(), QStringLiteral("HistoryForm"));
                   ExpectWindowFileMatches(form);
                   auto* list = Child<QListWidget>(form, "HistoryList");
                   EXPECT_EQ(list->count(), 0);
                   EXPECT_EQ(form.focusWidget(), list);
                   EXPECT_FALSE(Child<QPushButton>(form, "OKButton")->isEnabled());
                   SendKeyToFocus(form, Qt::Key_Return);
                   EXPECT_TRUE(form.isVisible());
                   SendKeyToFocus(form, Qt::Key_Escape);
               });
    EXPECT_EQ(chosen, std::nullopt);
}

TEST_F(CommandFormsTest, HistoryReturnsTheLineChosen) {
    const std::vector<std::string> history = {"make all", "", "gcc -v hello.c", "ls -la"};
    struct TCase {
        const char* Name;
        std::function<void(QDialog&, QListWidget&)> Act;
        std::optional<std::string> Expected;
    };
    const TCase cases[] = {
        {"Enter takes the first line, selected on show",
         [](QDialog& form, QListWidget&) { SendKeyToFocus(form, Qt::Key_Return); }, "make all"},
        {"Down then Enter takes the next older one",
         [](QDialog& form, QListWidget& list) {
             SendKey(list, Qt::Key_Down);
             SendKeyToFocus(form, Qt::Key_Return);
         },
         "gcc -v hello.c"},
        {"a click selects a line, a double click takes it",
         [](QDialog& form, QListWidget& list) {
             const QPoint at = list.visualItemRect(list.item(2)).center();
             QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                               Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(list.viewport(), &press);
             QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at),
                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
             QCoreApplication::sendEvent(list.viewport(), &release);
             // A single click only selects.
             EXPECT_TRUE(form.isVisible());
             EXPECT_EQ(list.currentRow(), 2);
             QMouseEvent twice(QEvent::MouseButtonDblClick, at, list.viewport()->mapToGlobal(at),
                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(list.viewport(), &twice);
         },
         "ls -la"},
        {"Esc chooses nothing",
         [](QDialog& form, QListWidget& list) {
             SendKey(list, Qt::Key_Down);
             SendKeyToFocus(form, Qt::Key_Escape);
         },
         std::nullopt},
        {"Cancel chooses nothing",
         [](QDialog& form, QListWidget&) { Child<QPushButton>(form, "CancelButton")->click(); },
         std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::optional<std::string> chosen = "?";
        ShowAndAct(
            [&] { chosen = THistoryForm::Execute(history); },
            [&](QDialog& form) {
                auto* list = Child<QListWidget>(form, "HistoryList");
                EXPECT_EQ(Listed(*list), (std::vector<std::string>{"make all", "gcc -v hello.c", "ls -la"}));
                EXPECT_EQ(list->currentRow(), 0);
                EXPECT_EQ(form.focusWidget(), list);
                EXPECT_TRUE(Child<QPushButton>(form, "OKButton")->isEnabled());
                c.Act(form, *list);
            });
        EXPECT_EQ(chosen, c.Expected);
    }
}

TEST_F(CommandFormsTest, HistoryLinesAreAsHighAsTheTextPlusSixAndShowTheSelection) {
    THistoryForm form({"first command", "second command"});
    form.show();
    QListWidget& list = *form.HistoryList();
    ASSERT_EQ(list.count(), 2);
    for (const int pixels : {12, 23}) {
        SCOPED_TRACE(pixels);
        QFont font = list.font();
        font.setPixelSize(pixels);
        list.setFont(font);
        list.doItemsLayout();
        const int expected = QFontMetrics(font).size(Qt::TextSingleLine, QStringLiteral("a")).height() + 6;
        EXPECT_EQ(list.visualItemRect(list.item(0)).height(), expected);
        EXPECT_EQ(list.visualItemRect(list.item(1)).top(), list.visualItemRect(list.item(0)).bottom() + 1);
    }

    // Right of the text, inside the frame: the selected line has the selection colour, the other
    // one the list's background.
    const QImage image = list.viewport()->grab().toImage();
    const auto inside = [&](int row) {
        const QRect line = list.visualItemRect(list.item(row));
        return QColor(image.pixel(line.right() - 4, line.center().y()));
    };
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(inside(0), list.palette().color(QPalette::Highlight));
    EXPECT_EQ(inside(1), list.palette().color(QPalette::Base));
    // The command is drawn in bold from 6 pixels on: nothing of it left of that.
    const QRect first = list.visualItemRect(list.item(1));
    bool inkBefore = false;
    bool inkAfter = false;
    for (int y = first.top() + 2; y < first.bottom() - 1; ++y) {
        for (int x = first.left() + 2; x < first.left() + 6; ++x)
            inkBefore = inkBefore || QColor(image.pixel(x, y)) != list.palette().color(QPalette::Base);
        for (int x = first.left() + 6; x < first.left() + 30; ++x)
            inkAfter = inkAfter || QColor(image.pixel(x, y)) != list.palette().color(QPalette::Base);
    }
    EXPECT_FALSE(inkBefore);
    EXPECT_TRUE(inkAfter);
    form.close();
}

TEST_F(CommandFormsTest, TypePathLocatesWhatWasTypedAndKeepsItInTheHistory) {
    std::vector<std::string> history = {""};
    const std::string active = FTree / "work";
    struct TCase {
        const char* Typed;
        std::string Folder; // empty: not found
    };
    const TCase cases[] = {
        {"Src", FTree / "work/Src"},
        {"~/Docs", FTree / "home/Docs"},
        {"~", FTree / "home"},
        // Linux names are case-sensitive: the case typed is the case kept.
        {"MiXed/", FTree / "work/MiXed"},
        {"mixed", ""},
        {"Missing", ""},
        {"Src", FTree / "work/Src"},
    };
    std::string previous;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed);
        TTypePathChoice choice;
        ShowAndAct([&] { choice = TTypePanelPathForm::Execute(history, active); },
                   [&](QDialog& form) {
                       EXPECT_EQ(Child<QLabel>(form, "CurrentPath")->text().toStdString(), active);
                       auto* input = Child<TKComboBox>(form, "SettingsTypeNewPath");
                       // The last text typed comes back, selected, so typing replaces it.
                       EXPECT_EQ(input->Text(), previous);
                       EXPECT_EQ(input->lineEdit()->selectedText().toStdString(), previous);
                       EXPECT_TRUE(input->isAncestorOf(form.focusWidget()) || form.focusWidget() == input);
                       input->lineEdit()->setText(QString::fromUtf8(c.Typed));
                       SendKeyToFocus(form, Qt::Key_Return);
                       EXPECT_FALSE(form.isVisible());
                   });
        EXPECT_EQ(choice.Kind, TTypePathChoice::tpLocate);
        EXPECT_EQ(choice.Typed, c.Typed);
        EXPECT_EQ(choice.Folder, c.Folder);
        previous = c.Typed;
    }
    // Each text once, newest first; the store's empty line stays where it was.
    EXPECT_EQ(history, (std::vector<std::string>{"Missing", "mixed", "MiXed/", "~", "~/Docs", "Src", ""}));
}

TEST_F(CommandFormsTest, TypePathEscAndBrowse) {
    std::vector<std::string> history = {"~/Docs"};
    const std::string active = FTree / "work";
    TTypePathChoice choice;
    ShowAndAct([&] { choice = TTypePanelPathForm::Execute(history, active); },
               [](QDialog& form) {
                   EXPECT_EQ(form.objectName(), QStringLiteral("TypePanelPathForm"));
                   ExpectWindowFileMatches(form);
                   Child<TKComboBox>(form, "SettingsTypeNewPath")->lineEdit()->setText(QStringLiteral("Src"));
                   SendKeyToFocus(form, Qt::Key_Escape);
               });
    EXPECT_EQ(choice.Kind, TTypePathChoice::tpNone);
    EXPECT_EQ(history, std::vector<std::string>{"~/Docs"});

    CurrentLanguage().SetLangText("STR_BROWSE_USER_PATH", "L-browse");
    std::vector<std::string> starts;
    std::vector<std::optional<std::string>> picks = {std::nullopt, FTree / "work//Src/"};
    TTypePanelPathForm form(history, active);
    form.PickFolder = [&](const std::string& start, const QString& caption) {
        starts.push_back(start);
        EXPECT_EQ(caption, QStringLiteral("L-browse"));
        std::optional<std::string> pick = picks.front();
        picks.erase(picks.begin());
        return pick;
    };
    ShowAndAct([&] { form.exec(); },
               [&](QDialog&) {
                   auto* browse = Child<QCheckBox>(form, "BrowseButton");
                   // A picker left without a folder keeps the dialog, and the box never stays ticked.
                   browse->click();
                   EXPECT_FALSE(browse->isChecked());
                   EXPECT_TRUE(form.isVisible());
                   browse->click();
                   EXPECT_FALSE(browse->isChecked());
                   EXPECT_FALSE(form.isVisible());
               });
    EXPECT_EQ(starts, (std::vector<std::string>{active, active}));
    EXPECT_EQ(form.Choice().Kind, TTypePathChoice::tpBrowse);
    EXPECT_EQ(form.Choice().Folder, FTree / "work/Src");
    // A browsed folder is no typed text.
    EXPECT_EQ(history, std::vector<std::string>{"~/Docs"});
}

} // namespace
} // namespace ks
