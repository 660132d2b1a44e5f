// The archive windows: the manager list and its edit dialog, "Add items to archive...", the KPL
// library dialog over real folders, and the window that watches a running archive manager.

#include "fileops/ui/AddArchiveForm.h"
#include "fileops/ui/AddToArchiveForm.h"
#include "fileops/ui/ArchiveManagerList.h"
#include "fileops/ui/ArchiveProgressForm.h"
#include "fileops/ui/CreateKPLFileForm.h"

#include "controls/MessageBox.h"
#include "controls/ui/ImageButton.h"
#include "controls/ui/KComboBox.h"
#include "controls/ui/MessageForm.h"
#include "controls/ui/ProgressBar.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ks {
namespace {

using test::ShowAndAct;
using test::TempTree;

const std::string ProgramFolder = KS_SOURCE_DIR "/data/";

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

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

void SendKey(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
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

// Hands every message box that comes up to act, once, from a 5 ms timer: a box runs its own
// event loop under whatever waits for it, so only a timer reaches it.
class TBoxWatcher {
public:
    explicit TBoxWatcher(std::function<void(TMessageForm&)> act) : FAct(std::move(act)) {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto* box = dynamic_cast<TMessageForm*>(QApplication::activeModalWidget());
            if (box == nullptr || box == FLast)
                return;
            FLast = box;
            FTexts.push_back(box->TextArea()->toPlainText().toStdString());
            FAct(*box);
        });
        FTimer.start(5);
    }

    std::vector<std::string> FTexts;

private:
    std::function<void(TMessageForm&)> FAct;
    QTimer FTimer;
    QPointer<TMessageForm> FLast;
};

void ClickBox(TMessageForm& box, const char* buttonName) {
    auto* button = box.findChild<QPushButton*>(QString::fromUtf8(buttonName));
    ASSERT_NE(button, nullptr) << buttonName;
    button->click();
}

class ArchiveFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }
    void SetUp() override { FSavedLanguage = CurrentLanguage(); }
    void TearDown() override { CurrentLanguage() = FSavedLanguage; }

    TLanguage FSavedLanguage;
    TempTree FTree;
};

TEST_F(ArchiveFormsTest, WindowFilesMatchTheForms) {
    std::vector<std::string> history;
    TAddArchiveForm addArchive;
    TAddToArchiveForm addToArchive(history, {}, "x");
    TCreateKPLFileForm kpl(FileSystem(), kmUnpack, "a.kpl", "/tmp/");
    TArchiveProgressForm progress(TArchiveRunWatch{"7z", {}, {}});
    for (QWidget* form : std::vector<QWidget*>{&addArchive, &addToArchive, &kpl, &progress})
        ExpectWindowFileMatches(*form);
    EXPECT_NE(Child<TKProgressBar>(kpl, "CurrentProgress"), nullptr);
}

TEST_F(ArchiveFormsTest, ManagerListAddsEditsAndDeletesByKeyAndImage) {
    CurrentLanguage().SetLangText("str_DeleteItemFromList", "L-remove?");
    const std::string located =
        "ZIP;Z##|Zip archive|/usr/bin/7z a #ARCHIVENAME#.zip @#FILELIST#|/usr/bin/7z d|"
        "/usr/bin/7z x|auto|";
    const std::string own = "RAR;R##|Rar archive|rar a|rar d|rar x|";
    TArchiveManagerList list(ProgramFolder);
    int changes = 0;
    list.OnChange = [&changes] { ++changes; };
    list.SetEntries({located, own});
    list.resize(420, 200);
    list.show();
    ASSERT_TRUE(WaitFor([&] { return list.isVisible(); }));
    QListWidget* box = list.ListBox();
    EXPECT_EQ(box->objectName(), QStringLiteral("ArchiveList"));
    EXPECT_EQ(box->currentRow(), 0);
    EXPECT_EQ(box->sizeHintForRow(0), 24);
    // The pictures are the connection list's: the middle of the plus is green.
    EXPECT_EQ(Child<TKImageButton>(list, "ArchiveAdd")->grab().toImage().pixelColor(7, 7),
              QColor(86, 190, 96));

    // The selected row has the selection colour; the bold description starts at x 150.
    const QImage rows = box->viewport()->grab().toImage();
    const QColor highlight = box->palette().color(QPalette::Highlight);
    EXPECT_EQ(rows.pixelColor(4, 2), highlight);
    const auto firstInk = [&rows](int y0, int from, int to, const QColor& background) {
        for (int x = from; x < to; ++x)
            for (int y = y0; y < y0 + 24; ++y)
                if (rows.pixelColor(x, y) != background)
                    return x;
        return -1;
    };
    EXPECT_GE(firstInk(0, 0, 40, highlight), 12);
    EXPECT_LE(firstInk(0, 0, 40, highlight), 14);
    const int descriptionInk = firstInk(0, 120, 200, highlight);
    EXPECT_GE(descriptionInk, 150);
    EXPECT_LE(descriptionInk, 152);

    const auto keyAndAct = [&](int key, const std::function<void(QDialog&)>& act) {
        ShowAndAct([&] { SendKey(box, key); }, act);
    };
    // OK on an entry as it was shown is no edit: a located entry stays located.
    keyAndAct(Qt::Key_F2, [](QDialog& dialog) {
        auto* masks = Child<QLineEdit>(dialog, "ArchiveExtensionsEdit");
        EXPECT_EQ(dialog.focusWidget(), masks);
        EXPECT_EQ(masks->text(), QStringLiteral("ZIP;Z##"));
        EXPECT_EQ(Child<QLineEdit>(dialog, "ArchiveExtractEdit")->text(), QStringLiteral("/usr/bin/7z x"));
        Child<QPushButton>(dialog, "OKButton")->click();
    });
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{located, own}));
    EXPECT_EQ(changes, 0);
    // An edit makes it the user's, so locating again keeps it.
    keyAndAct(Qt::Key_F2, [](QDialog& dialog) {
        Child<QLineEdit>(dialog, "ArchiveDescEdit")->setText(QStringLiteral("Zip"));
        Child<QPushButton>(dialog, "OKButton")->click();
    });
    EXPECT_EQ(list.Entries()[0],
              "ZIP;Z##|Zip|/usr/bin/7z a #ARCHIVENAME#.zip @#FILELIST#|/usr/bin/7z d|/usr/bin/7z x|");
    EXPECT_EQ(changes, 1);

    // Insert starts empty; OK waits for a mask; "|" cannot be typed into a field.
    keyAndAct(Qt::Key_Insert, [](QDialog& dialog) {
        auto* masks = Child<QLineEdit>(dialog, "ArchiveExtensionsEdit");
        EXPECT_TRUE(masks->text().isEmpty());
        auto* ok = Child<QPushButton>(dialog, "OKButton");
        EXPECT_FALSE(ok->isEnabled());
        for (const QString& key : {QStringLiteral("7"), QStringLiteral("|"), QStringLiteral("Z")})
            SendKey(masks,
                    key == QStringLiteral("|") ? static_cast<int>(Qt::Key_Bar)
                                               : static_cast<int>(key.at(0).unicode()),
                    key);
        EXPECT_EQ(masks->text(), QStringLiteral("7Z"));
        EXPECT_TRUE(ok->isEnabled());
        Child<QLineEdit>(dialog, "ArchiveAddEdit")->setText(QStringLiteral("7z a #ARCHIVENAME#"));
        ok->click();
    });
    ASSERT_EQ(list.Entries().size(), 3u);
    EXPECT_EQ(list.Entries()[2], "7Z||7z a #ARCHIVENAME#|||");
    EXPECT_EQ(box->currentRow(), 2);
    // Escape cancels an add; the image opens the same dialog.
    ShowAndAct([&] { Click(Child<TKImageButton>(list, "ArchiveAdd")); },
               [](QDialog& dialog) {
                   Child<QLineEdit>(dialog, "ArchiveExtensionsEdit")->setText(QStringLiteral("TAR"));
                   SendKey(dialog.focusWidget(), Qt::Key_Escape);
               });
    EXPECT_EQ(list.Entries().size(), 3u);
    EXPECT_EQ(changes, 2);

    // Delete asks first with OK pre-selected; Cancel keeps the entry, OK removes it.
    for (const char* answer : {"mmbCancel", "mmbOK"}) {
        SCOPED_TRACE(answer);
        bool asked = false;
        ShowAndAct([&] { SendKey(box, Qt::Key_Delete); },
                   [&](QDialog& dialog) {
                       auto* question = dynamic_cast<TMessageForm*>(&dialog);
                       ASSERT_NE(question, nullptr);
                       asked = true;
                       EXPECT_EQ(question->TextArea()->toPlainText(), QStringLiteral("L-remove?"));
                       EXPECT_EQ(question->Layout().Focused, MessageButtonOfDefault(2));
                       Child<QPushButton>(dialog, answer)->click();
                   });
        EXPECT_TRUE(asked);
    }
    EXPECT_EQ(list.Entries().size(), 2u);
    EXPECT_EQ(list.Entries()[1], own);
    EXPECT_EQ(box->currentRow(), 1);
    EXPECT_EQ(changes, 3);
    list.hide();
}

TEST_F(ArchiveFormsTest, ProposedNameFollowsCursorFolderAndRoot) {
    struct Case {
        const char* What;
        TAddToArchiveSource Source;
        const char* Name;
    } cases[] = {
        {"item under the cursor", {"/home/u/work", false, "my report.txt", "/tmp/out/"}, "/tmp/out/myreport"},
        {"selection: the folder", {"/home/u/my work/", true, "report.txt", "/tmp/out"}, "/tmp/out/mywork"},
        {"folder with a dot", {"/home/u/v1.2", true, "x", "/tmp"}, "/tmp/v1"},
        {"the root", {"/", true, "x", "/tmp"}, "/tmp/Archive"},
        {"cursor on nothing", {"/srv/data", false, "", "/tmp"}, "/tmp/data"},
        {"a name of dots only", {"/home/u", false, ".profile", "/tmp"}, "/tmp/Archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(ProposeArchiveName(c.Source), c.Name);
    }
}

TEST_F(ArchiveFormsTest, AddToArchiveOffersManagersThatAddAndHandsBackTheChosenOne) {
    const std::vector<std::string> managers = {
        "ZIP;Z##|Zip archive|7z a #ARCHIVENAME#.zip @#FILELIST#|7z d|7z x|auto|",
        "ARJ;A##|Arj archive||arj d|arj x|auto|",
        "not an entry",
        "RAR;R##|Rar archive|rar a -r #ARCHIVENAME#.rar @#FILELIST#|rar d|rar x|",
    };
    std::vector<std::string> history = {"/old/a.zip"};
    const TAddToArchiveSource source{"/home/u/my work", true, "", "/tmp/out/"};
    struct Case {
        int Row;
        const char* Typed; // nullptr: the proposed name
        const char* Name;
        int Entry;
    } cases[] = {
        // A KPL name without extension gets ".kpl"; one with an extension keeps it.
        {0, nullptr, "/tmp/out/mywork.kpl", -1},
        {0, "/tmp/b.lib", "/tmp/b.lib", -1},
        // A name with spaces stays as typed: it reaches the manager as one argument.
        {2, "/tmp/my backup", "/tmp/my backup", 3},
        {1, "/tmp/z", "/tmp/z", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TAddToArchiveChoice choice;
        ShowAndAct([&] { choice = TAddToArchiveForm::Execute(history, managers, source); },
                   [&](QDialog& form) {
                       auto* name = Child<TKComboBox>(form, "INPUT");
                       EXPECT_TRUE(form.focusWidget() == name || form.focusWidget() == name->lineEdit());
                       EXPECT_EQ(name->lineEdit()->text(), QStringLiteral("/tmp/out/mywork"));
                       EXPECT_EQ(name->lineEdit()->selectedText(), QStringLiteral("/tmp/out/mywork"));
                       auto* archiver = Child<QComboBox>(form, "ArchiverCombo");
                       ASSERT_EQ(archiver->count(), 3);
                       EXPECT_EQ(archiver->currentIndex(), 0);
                       EXPECT_EQ(archiver->itemText(0), QStringLiteral("KPL - internal format"));
                       EXPECT_EQ(archiver->itemText(1), QStringLiteral("ZIP - Zip archive"));
                       EXPECT_EQ(archiver->itemText(2), QStringLiteral("RAR - Rar archive"));
                       archiver->setCurrentIndex(c.Row);
                       if (c.Typed != nullptr)
                           name->lineEdit()->setText(QString::fromUtf8(c.Typed));
                       Child<QPushButton>(form, "AddButton")->click();
                   });
        EXPECT_TRUE(choice.Add);
        EXPECT_EQ(choice.Name, c.Name);
        EXPECT_EQ(choice.Entry, c.Entry);
        EXPECT_EQ(history.front(), c.Name);
    }

    // An empty name adds nothing and keeps the dialog open; Escape then cancels.
    TAddToArchiveChoice choice;
    ShowAndAct([&] { choice = TAddToArchiveForm::Execute(history, managers, source); },
               [](QDialog& form) {
                   Child<TKComboBox>(form, "INPUT")->lineEdit()->clear();
                   Child<QPushButton>(form, "AddButton")->click();
                   EXPECT_TRUE(form.isVisible());
                   SendKey(form.focusWidget(), Qt::Key_Escape);
               });
    EXPECT_FALSE(choice.Add);
    EXPECT_EQ(history.size(), 5u);
}

TEST_F(ArchiveFormsTest, KplCreateThenUnpackAsksBeforeReplacing) {
    FTree.File("src/docs/a.txt", "alpha");
    FTree.File("src/docs/sub/b.txt", "beta");
    FTree.File("src/top.txt", "top");
    const std::string library = FTree / "out/pack";
    FTree.Folder("out");
    TKplFormOutcome made;
    {
        TBoxWatcher noBox([](TMessageForm& box) {
            ADD_FAILURE() << box.TextArea()->toPlainText().toStdString();
            box.done(-1);
        });
        made = TCreateKPLFileForm::Create(FileSystem(), library,
                                          {{FTree / "src/docs", true}, {FTree / "src/top.txt", false}});
    }
    EXPECT_FALSE(made.Stopped);
    EXPECT_FALSE(made.Error.has_value());
    EXPECT_TRUE(made.LeftOut.empty());

    // ".kpl" was added; folders are entries of their own, relative to the items' folder.
    TKMYKPLIB listing(FileSystem());
    ASSERT_TRUE(listing.ListLibrary(library + ".kpl", false));
    ASSERT_EQ(listing.Items.size(), 5u);
    EXPECT_EQ(listing.Items[0].substr(0, 6), "docs||");
    EXPECT_EQ(listing.Items[4], "top.txt||32|3|");

    // Unpacking over an existing file asks; No keeps it and the rest is written.
    FTree.File("dst/top.txt", "mine");
    std::vector<std::string> questions;
    TKplFormOutcome unpacked;
    {
        TBoxWatcher answer([&](TMessageForm& box) {
            questions.push_back(box.TextArea()->toPlainText().toStdString());
            ClickBox(box, "mmbNo");
        });
        unpacked = TCreateKPLFileForm::Unpack(FileSystem(), library + ".kpl", FTree / "dst");
    }
    EXPECT_FALSE(unpacked.Error.has_value());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("top.txt"), std::string::npos);
    EXPECT_EQ(TempTree::ReadFile(FTree / "dst/docs/sub/b.txt"), "beta");
    EXPECT_EQ(TempTree::ReadFile(FTree / "dst/top.txt"), "mine");
    EXPECT_EQ(unpacked.Counts.Files, 2u);
    EXPECT_EQ(unpacked.Counts.Skipped, 1u);
}

TEST_F(ArchiveFormsTest, KplCloseRequestDuringAQuestionStopsTheWorkSilently) {
    FTree.File("src/a.txt", "new");
    const std::string library = FTree / "a.kpl";
    TKMYKPLIB writer(FileSystem());
    writer.BaseFolder = FTree / "src/";
    writer.Items = {FTree / "src/a.txt"};
    ASSERT_TRUE(writer.WriteLibrary(library));
    FTree.File("dst/a.txt", "old");

    TCreateKPLFileForm form(FileSystem(), kmUnpack, library, FTree / "dst/");
    QPointer<TMessageForm> question;
    // The question's box runs its own event loop, so only a timer reaches the window under it.
    TBoxWatcher closer([&](TMessageForm& box) {
        question = &box;
        // The first close request only stops; the worker's end closes the window.
        form.reject();
        EXPECT_TRUE(form.isVisible());
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&form] { form.done(-1); });
    limit.start(5000);
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_TRUE(limit.isActive()) << "the window did not close by itself";
    EXPECT_TRUE(WaitFor([&] { return question == nullptr || !question->isVisible(); }));
    EXPECT_TRUE(form.Outcome().Stopped);
    EXPECT_FALSE(form.Outcome().Error.has_value());
    EXPECT_EQ(TempTree::ReadFile(FTree / "dst/a.txt"), "old");
    EXPECT_EQ(TCreateKPLFileForm::FailureText(kmUnpack, library, form.Outcome()), "");
}

TEST_F(ArchiveFormsTest, KplFailuresAreTold) {
    CurrentLanguage().SetLangText("_STRKplWriteFailed", "L-write %s: %s");
    CurrentLanguage().SetLangText("_STRKplUnpackFailed", "L-unpack %s: %s");
    CurrentLanguage().SetLangText("_STRKplLeftOut", "L-left %s:%s");
    FTree.File("src/a.txt", "a");
    FTree.File("bad.kpl", std::string("\x03\x00\x00\x00\x0dKPL\x0d\x09", 10));
    FTree.Folder("dst");
    struct Case {
        const char* What;
        std::function<TKplFormOutcome()> Run;
        std::string Told;
    } cases[] = {
        {"a write into a missing folder",
         [&] {
             return TCreateKPLFileForm::Create(FileSystem(), FTree / "none/x.kpl", {{FTree / "src/a.txt"}});
         },
         "L-write " + (FTree / "none/x.kpl") + ": " + std::strerror(ENOENT)},
        {"a damaged library",
         [&] { return TCreateKPLFileForm::Unpack(FileSystem(), FTree / "bad.kpl", FTree / "dst"); },
         "L-unpack " + (FTree / "bad.kpl") + ": "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TBoxWatcher boxes([](TMessageForm& box) { ClickBox(box, "mmbOK"); });
        const TKplFormOutcome outcome = c.Run();
        EXPECT_TRUE(outcome.Error.has_value());
        ASSERT_EQ(boxes.FTexts.size(), 1u);
        EXPECT_EQ(boxes.FTexts[0].substr(0, c.Told.size()), c.Told);
    }

    // Files a write left out are listed with why.
    TKplFormOutcome leftOut;
    leftOut.LeftOut = {TError{TErrorCode::ecIo, EIO, "/data/x", {}}};
    EXPECT_EQ(TCreateKPLFileForm::FailureText(kmCreate, "/tmp/a.kpl", leftOut),
              "L-left /tmp/a.kpl:\n/data/x (" + std::string(std::strerror(EIO)) + ")");
}

// A run that ends when the test says so, counting the calls the window makes.
struct TFakeRun {
    std::optional<TArchiveRunOutcome> Result;
    int Polls = 0;
    int Cancels = 0;
    TArchiveRunWatch Watch() {
        return {"/usr/bin/7z",
                [this] {
                    ++Polls;
                    return Result;
                },
                [this] {
                    ++Cancels;
                    Result = TArchiveRunOutcome{TArchiveRunOutcome::rsCancelled, 143, {}};
                }};
    }
};

TEST_F(ArchiveFormsTest, ArchiveProgressClosesWithTheOutcomeOrCancels) {
    struct Case {
        const char* What;
        std::function<void(QDialog&, TFakeRun&)> Act;
        TArchiveRunOutcome::TState State;
        int Cancels;
    } cases[] = {
        {"the manager ends",
         [](QDialog&, TFakeRun& run) {
             run.Result = TArchiveRunOutcome{TArchiveRunOutcome::rsFailed, 2, "bad"};
         },
         TArchiveRunOutcome::rsFailed, 0},
        {"Cancel", [](QDialog& form, TFakeRun&) { Child<QPushButton>(form, "CancelButton")->click(); },
         TArchiveRunOutcome::rsCancelled, 1},
        {"Escape",
         [](QDialog& form, TFakeRun&) {
             SendKey(form.focusWidget() ? form.focusWidget() : &form, Qt::Key_Escape);
         },
         TArchiveRunOutcome::rsCancelled, 1},
        // Enter is no cancel: the window keeps watching until the manager ends.
        {"Enter",
         [](QDialog& form, TFakeRun& run) {
             SendKey(form.focusWidget() ? form.focusWidget() : &form, Qt::Key_Return);
             EXPECT_TRUE(form.isVisible());
             run.Result = TArchiveRunOutcome{};
         },
         TArchiveRunOutcome::rsDone, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TFakeRun run;
        TArchiveRunOutcome outcome;
        ShowAndAct([&] { outcome = TArchiveProgressForm::Execute(run.Watch()); },
                   [&](QDialog& form) {
                       EXPECT_EQ(Child<QLabel>(form, "ManagerName")->text(), QStringLiteral("/usr/bin/7z"));
                       c.Act(form, run);
                   });
        EXPECT_EQ(outcome.State, c.State);
        EXPECT_EQ(run.Cancels, c.Cancels);
    }

    SCOPED_TRACE("a manager that ended before the window showed");
    TFakeRun done;
    done.Result = TArchiveRunOutcome{};
    // Should the window miss the end, this ends its wait instead of the test hanging.
    QTimer::singleShot(3000, [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(widget))
                dialog->done(QDialog::Rejected);
    });
    EXPECT_EQ(TArchiveProgressForm::Execute(done.Watch()).State, TArchiveRunOutcome::rsDone);
    EXPECT_EQ(done.Cancels, 0);
}

} // namespace
} // namespace ks
