// The copy dialog, the progress window, the background strip and the question pump, over the
// real copy engine on real folders.

#include "controls/ui/ProgressBar.h"
#include "fileops/ui/CopyBackForm.h"
#include "fileops/ui/CopyFilesForm.h"
#include "fileops/ui/CopyProgressForm.h"
#include "fileops/ui/CopyQuestionPump.h"

#include "controls/MessageBox.h"
#include "controls/ui/KComboBox.h"
#include "controls/ui/MessageForm.h"
#include "fileops/CopyEngine.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ks {
namespace {

using test::TempTree;

constexpr std::uint64_t GiB = std::uint64_t{1} << 30;

// Runs the event loop until done() holds, at most ms milliseconds; returns done().
bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::yield();
    }
    return true;
}

void SendKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &release);
}

template <class TWidget> TWidget* Child(QWidget& form, const char* name) {
    auto* child = form.findChild<TWidget*>(QString::fromUtf8(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString LabelText(QWidget& form, const char* name) {
    auto* label = Child<QLabel>(form, name);
    return label != nullptr ? label->text() : QString();
}

// Hands every message box that comes up to act, once, from a 5 ms timer: a box runs its own
// event loop under whatever waits for it, so only a timer reaches it.
class TBoxWatcher {
public:
    explicit TBoxWatcher(std::function<void(TMessageForm&)> act) : FAct(std::move(act)) {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto* box = dynamic_cast<TMessageForm*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            if (box == FLast) {
                // A box left open would stop the test in its event loop.
                if (FOpenSince.elapsed() > 5000) {
                    ADD_FAILURE() << "a message box stayed open";
                    box->done(-1);
                }
                return;
            }
            FLast = box;
            FOpenSince.start();
            ++FSeen;
            FAct(*box);
        });
        FTimer.start(5);
    }

    int FSeen = 0;

private:
    std::function<void(TMessageForm&)> FAct;
    QTimer FTimer;
    QPointer<TMessageForm> FLast;
    QElapsedTimer FOpenSince;
};

void ClickBox(TMessageForm& box, const char* buttonName) {
    auto* button = box.findChild<QPushButton*>(QString::fromUtf8(buttonName));
    ASSERT_NE(button, nullptr) << buttonName;
    ASSERT_TRUE(button->isVisible()) << buttonName;
    button->click();
}

class CopyFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }

    void SetUp() override {
        SetPlatform(&FSystem, &FDisk);
        FSavedLanguage = CurrentLanguage();
        // Texts of our own, so a wrong language key shows as the built-in English text.
        for (const auto& [id, text] :
             std::vector<std::pair<const char*, const char*>>{{"title_CopyFiles", "L-copy"},
                                                              {"title_MoveFiles", "L-move"},
                                                              {"title_CopyingFiles", "L-copying"},
                                                              {"title_MovingFiles", "L-moving"},
                                                              {"STR_BROWSE_USER_PATH", "L-browse"},
                                                              {"nfo_CopyBacKOPDone", "L-done"},
                                                              {"nfo_CopyBacKOPCanceled", "L-cancelled"},
                                                              {"nfo_CopyBacKOPDefHint1", "L-hint1"},
                                                              {"nfo_CopyBacKOPDefHint2", "L-hint2"},
                                                              {"nfo_CopyBacKOP_StopCurrent", "L-stop?"}})
            CurrentLanguage().SetLangText(id, text);
        FStore = std::make_unique<TKRegistryStore>(FTree / "registry.reg");
        ASSERT_TRUE(FStore->Load());
        SetRegistryStore(FStore.get());
    }

    void TearDown() override {
        SetRegistryStore(nullptr);
        CurrentLanguage() = FSavedLanguage;
        SetPlatform(nullptr, nullptr);
    }

    std::optional<bool> Stored(const char* name) const {
        return LoadCheckBoxState(*FStore, ProgramKey, name);
    }

    // A job of the engine that copies src/f onto an existing dst/f, so it waits in the
    // "already exists" question (after copying src/a, 1 MiB, when given) until answered.
    std::shared_ptr<TCopyThread> AskingJob(TCopyEngine& engine, const std::string& name, bool move = false,
                                           bool withFirstFile = false) {
        std::shared_ptr<TCopyThread> job = engine.NewJob(move, true, false);
        if (withFirstFile)
            engine.AddEntry(FTree.File(name + "/src/a", std::string(1 << 20, 'a')), FTree / (name + "/dst"));
        engine.AddEntry(FTree.File(name + "/src/f", "new"), FTree / (name + "/dst"));
        FTree.File(name + "/dst/f", "old");
        return job;
    }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FDisk;
    TLanguage FSavedLanguage;
    TempTree FTree;
    std::unique_ptr<TKRegistryStore> FStore;
};

// ---- the copy dialog ----

TEST_F(CopyFormsTest, CopyDialogRulesFollowTheWordsTheMoveAndTheTypedPath) {
    struct TCase {
        const char* Name;
        bool Move;
        TCopyTargetWord Word;
        const char* Typed; // typed over the path after the show, key by key released
        const char* Path;
        const char* Title;
        bool DeleteChecked, DeleteEnabled, AttrEnabled, BackupEnabled;
    };
    const TCase cases[] = {
        {"copy", false, twNone, nullptr, "/data/other", "L-copy", false, true, true, true},
        {"move disables the backup", true, twNone, nullptr, "/data/other", "L-move", true, true, true, false},
        {"archive target", true, twArchive, nullptr, "archive", "L-copy", false, false, false, false},
        {"ftp target", false, twFtp, nullptr, "ftp", "L-copy", false, true, false, false},
        {"ftp target of a move", true, twFtp, nullptr, "ftp", "L-move", true, true, false, false},
        {"typed past archive", false, twArchive, "archives", "archives", "L-copy", false, true, true, true},
        {"typed archive", false, twNone, "archive", "archive", "L-copy", false, false, false, false},
        {"typed ftp", false, twNone, "ftp", "ftp", "L-copy", false, true, false, false},
    };
    std::vector<std::string> history;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCopyFilesForm form(history);
        auto* backup = Child<QCheckBox>(form, "SettingsMakeBackup");
        // A backup asked for last time is not asked for again.
        backup->setChecked(true);
        form.Prepare("/data/other", c.Move, c.Word);
        form.show();
        auto* input = Child<TKComboBox>(form, "INPUT");
        if (c.Typed != nullptr) {
            // The rules follow the key going up, not the text changing.
            input->lineEdit()->setText(QString::fromUtf8(c.Typed));
            SendKey(input->lineEdit(), Qt::Key_S);
        }
        auto* del = Child<QCheckBox>(form, "SettingsDeleteAfterCopy");
        auto* attr = Child<QCheckBox>(form, "SettingsDeleteFileAttr");
        EXPECT_EQ(input->Text(), c.Path);
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(c.Title));
        EXPECT_EQ(del->isChecked(), c.DeleteChecked);
        EXPECT_EQ(del->isEnabled(), c.DeleteEnabled);
        EXPECT_EQ(attr->isEnabled(), c.AttrEnabled);
        EXPECT_EQ(backup->isEnabled(), c.BackupEnabled);
        EXPECT_FALSE(backup->isChecked());
        EXPECT_EQ(form.focusWidget(), input);
        form.hide();
    }
}

TEST_F(CopyFormsTest, CopyDialogChoiceAfterOkEscapeAndBrowse) {
    std::vector<std::string> history = {"/old/one", "/old/two"};
    std::string desktop = ".DESKTOP";
    ASSERT_TRUE(ExpandPathMacro(desktop));

    struct TCase {
        const char* Name;
        bool Move;
        TCopyTargetWord Word;
        std::function<void(TCopyFilesForm&)> Act;
        bool Accepted;
        std::string Path;
        bool ChoiceMove, Attributes, Backup;
        std::vector<std::string> History;
    };
    const std::vector<TCase> cases = {
        {"a macro is expanded and goes to the top of the history",
         false,
         twNone,
         [](TCopyFilesForm& form) {
             Child<TKComboBox>(form, "INPUT")->SetText(".DESKTOP");
             Child<QCheckBox>(form, "SettingsMakeBackup")->click();
             Child<QPushButton>(form, "KButtonOK")->click();
         },
         true,
         desktop,
         false,
         true,
         true,
         {desktop, "/old/one", "/old/two"}},
        {"a path in the history is not added twice",
         false,
         twNone,
         [](TCopyFilesForm& form) {
             Child<TKComboBox>(form, "INPUT")->SetText("/old/two");
             Child<QPushButton>(form, "KButtonOK")->click();
         },
         true,
         "/old/two",
         false,
         true,
         false,
         {desktop, "/old/one", "/old/two"}},
        {"a move never backs up, even when the box was ticked before",
         false,
         twNone,
         [](TCopyFilesForm& form) {
             Child<QCheckBox>(form, "SettingsMakeBackup")->click();
             Child<QCheckBox>(form, "SettingsDeleteAfterCopy")->click();
             Child<QPushButton>(form, "KButtonOK")->click();
         },
         true,
         "/new/target",
         true,
         true,
         false,
         {"/new/target", desktop, "/old/one", "/old/two"}},
        {"disabled options are off",
         true,
         twArchive,
         [](TCopyFilesForm& form) { Child<QPushButton>(form, "KButtonOK")->click(); },
         true,
         "archive",
         false,
         false,
         false,
         {"archive", "/new/target", desktop, "/old/one", "/old/two"}},
        {"Escape cancels and keeps the history",
         false,
         twNone,
         [](TCopyFilesForm& form) {
             Child<TKComboBox>(form, "INPUT")->SetText("/typed/away");
             SendKey(form.focusWidget(), Qt::Key_Escape);
         },
         false,
         "/typed/away",
         false,
         true,
         false,
         {"archive", "/new/target", desktop, "/old/one", "/old/two"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCopyFilesForm form(history);
        form.Prepare("/new/target", c.Move, c.Word);
        test::ShowAndAct([&form] { form.exec(); }, [&c, &form](QDialog&) { c.Act(form); });
        const TCopyFilesChoice choice = form.Choice();
        EXPECT_EQ(choice.Accepted, c.Accepted);
        EXPECT_EQ(choice.Path, c.Path);
        EXPECT_EQ(choice.Move, c.ChoiceMove);
        EXPECT_EQ(choice.CopyAttributes, c.Attributes);
        EXPECT_EQ(choice.MakeBackup, c.Backup);
        EXPECT_EQ(history, c.History);
    }

    // Browse starts at the typed path with the language's prompt; a cancelled pick changes nothing.
    TCopyFilesForm form(history);
    std::vector<std::pair<std::string, QString>> asked;
    std::optional<std::string> picked = "/picked/folder";
    form.PickFolder = [&](const std::string& start, const QString& prompt) {
        asked.emplace_back(start, prompt);
        return picked;
    };
    form.Prepare("/start", false, twNone);
    form.show();
    auto* input = Child<TKComboBox>(form, "INPUT");
    Child<QPushButton>(form, "KButtonBrowse")->click();
    EXPECT_EQ(input->Text(), "/picked/folder");
    picked.reset();
    Child<QPushButton>(form, "KButtonBrowse")->click();
    EXPECT_EQ(input->Text(), "/picked/folder");
    ASSERT_EQ(asked.size(), 2U);
    EXPECT_EQ(asked[0].first, "/start");
    EXPECT_EQ(asked[0].second, QStringLiteral("L-browse"));
    EXPECT_EQ(asked[1].first, "/picked/folder");
    EXPECT_EQ(form.focusWidget(), input);
}

TEST_F(CopyFormsTest, CopyDialogPathBoxCompletesNamesAndEnterIsOk) {
    FTree.File("complete/folder-one/x");
    FTree.File("complete/file-two");
    FTree.File("complete/Fold-upper");
    std::vector<std::string> history;
    TCopyFilesForm form(history);
    form.Prepare("", false, twNone);
    std::vector<std::string> completions;
    test::ShowAndAct([&form] { form.exec(); },
                     [&](QDialog&) {
                         auto* input = Child<TKComboBox>(form, "INPUT");
                         QLineEdit* edit = input->lineEdit();
                         const QString typed = QString::fromStdString(FTree / "complete/f");
                         for (const QChar ch : typed) {
                             QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
                             QCoreApplication::sendEvent(edit, &press);
                         }
                         QCompleter* completer = input->PathCompleter();
                         // The folder is read on the model's own thread; the window goes on meanwhile.
                         EXPECT_TRUE(WaitFor([&] { return completer->completionCount() == 2; }));
                         for (int i = 0; completer->setCurrentRow(i); ++i)
                             completions.push_back(completer->currentCompletion().toStdString());
                         SendKey(edit, Qt::Key_Return);
                     });
    std::sort(completions.begin(), completions.end());
    // Case-sensitive: "Fold-upper" is not offered.
    EXPECT_EQ(completions,
              (std::vector<std::string>{FTree / "complete/file-two", FTree / "complete/folder-one"}));
    EXPECT_TRUE(form.Choice().Accepted);
    EXPECT_EQ(form.Choice().Path, FTree / "complete/f");
}

TEST_F(CopyFormsTest, CopyDialogBoxesTheUserClicksAreRememberedButNotTheBackup) {
    std::vector<std::string> history;
    {
        TCopyFilesForm form(history);
        form.Prepare("/x", false, twNone);
        form.show();
        EXPECT_TRUE(Child<QCheckBox>(form, "SettingsDeleteFileAttr")->isChecked());
        Child<QCheckBox>(form, "SettingsDeleteFileAttr")->click();
        Child<QCheckBox>(form, "SettingsMakeBackup")->click();
        // A move checks the box itself: not the user's choice.
        form.Prepare("/x", true, twNone);
    }
    EXPECT_EQ(Stored("SettingsDeleteFileAttr"), false);
    EXPECT_EQ(Stored("SettingsMakeBackup"), std::nullopt);
    EXPECT_EQ(Stored("SettingsDeleteAfterCopy"), std::nullopt);
    TCopyFilesForm again(history);
    EXPECT_FALSE(Child<QCheckBox>(again, "SettingsDeleteFileAttr")->isChecked());
}

// ---- the progress window ----

TEST_F(CopyFormsTest, ProgressFollowsARealCopyThroughItsQuestionToTheEnd) {
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    std::shared_ptr<TCopyThread> job = AskingJob(engine, "run", false, true);
    TCopyProgressForm form(engine);
    bool background = true;
    test::ShowAndAct(
        [&] { background = form.Run(job); },
        [&](QDialog&) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("L-copying"));
            EXPECT_TRUE(form.TimerActive());
            ASSERT_TRUE(WaitFor([&] { return asker.Pending().has_value(); }));
            // The window catches up with the job within a few polls.
            EXPECT_TRUE(
                WaitFor([&] { return LabelText(form, "TotalPosLabel") == QStringLiteral("1 024 kB"); }));
            EXPECT_EQ(LabelText(form, "TotalSizeLabel"), QStringLiteral("1 024 kB"));
            EXPECT_EQ(LabelText(form, "PriorityTextLabel"), QStringLiteral("normal"));
            EXPECT_EQ(Child<TKProgressBar>(form, "TotalProgress")->value(),
                      std::int64_t{TCopyProgressForm::BarScale} * (1 << 20) / ((1 << 20) + 3));
            EXPECT_TRUE(WaitFor(
                [&] { return LabelText(form, "TotalAverageSpeedLabel").endsWith(QStringLiteral("/s")); }));
            EXPECT_TRUE(LabelText(form, "TotalElapsedLabel").startsWith(QStringLiteral("0:00:")));
            EXPECT_EQ(LabelText(form, "CurrentFileNameLabel"), QStringLiteral("f"));
            asker.Answer(mrYes);
        });
    EXPECT_FALSE(background);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.TimerActive());
    EXPECT_EQ(TempTree::ReadFile(FTree / "run/dst/f"), "new");
    EXPECT_TRUE(engine.WaitIdle(10000));
}

TEST_F(CopyFormsTest, ProgressShowsSixtyFourBitCountsTimesAndSpeed) {
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    std::shared_ptr<TCopyThread> job = AskingJob(engine, "counts");
    // Suspended before it starts, the job waits before its size pass, so the counters are the
    // test's own.
    job->Suspend();
    TCopyProgressForm form(engine);
    std::int64_t now = 0;
    form.Clock = [&now] { return now; };
    struct TCase {
        const char* Name;
        std::uint64_t Done, Total;
        std::int64_t FileDone, FileSize;
        std::int64_t ElapsedMs;
        const char *Pos, *Size, *FileSizeText, *Elapsed, *Estimated, *Remaining, *Speed;
        int TotalBar, CurrentBar;
    };
    const TCase cases[] = {
        {"beyond 4 GiB", 3 * GiB, 12 * GiB, 4 * std::int64_t(GiB), 5 * std::int64_t(GiB), 3723000, "3 072 MB",
         "12 GB", "5 368 709 120 B", "1:02:03", "4:08:12", "3:06:09", "844 kB/s", 250000, 800000},
        {"hours past a day", 12 * GiB, 12 * GiB, 0, 0, 90000000, "12 GB", "12 GB", "0 B", "25:00:00",
         "25:00:00", "0:00:00", "139 kB/s", 1000000, 0},
        {"nothing done yet", 0, 8 * GiB + 1, 0, 0, 0, "0 B", "8 192 MB", "0 B", "0:00:00", "n/a", "n/a",
         "n/a", 0, 0},
        {"done past the total", 5, 4, 7, 3, 1000, "5 B", "4 B", "3 B", "0:00:01", "0:00:01", "0:00:00",
         "5 B/s", 1000000, 1000000},
    };
    test::ShowAndAct([&] { form.Run(job); },
                     [&](QDialog&) {
                         for (const TCase& c : cases) {
                             SCOPED_TRACE(c.Name);
                             job->FDoneSize = c.Done;
                             job->FTotalSize = c.Total;
                             job->FCopier.FFileDone = c.FileDone;
                             job->FCopier.FFileSize = c.FileSize;
                             job->FStartTime = 1000000;
                             now = 1000000 + c.ElapsedMs;
                             form.Tick();
                             EXPECT_EQ(LabelText(form, "TotalPosLabel").toStdString(), c.Pos);
                             EXPECT_EQ(LabelText(form, "TotalSizeLabel").toStdString(), c.Size);
                             EXPECT_EQ(LabelText(form, "CurrentFileSizeLabel").toStdString(), c.FileSizeText);
                             EXPECT_EQ(LabelText(form, "TotalElapsedLabel").toStdString(), c.Elapsed);
                             EXPECT_EQ(LabelText(form, "TotalEstimatedLabel").toStdString(), c.Estimated);
                             EXPECT_EQ(LabelText(form, "TotalRemainingLabel").toStdString(), c.Remaining);
                             EXPECT_EQ(LabelText(form, "TotalAverageSpeedLabel").toStdString(), c.Speed);
                             EXPECT_EQ(Child<TKProgressBar>(form, "TotalProgress")->value(), c.TotalBar);
                             EXPECT_EQ(Child<TKProgressBar>(form, "CurrentProgress")->value(), c.CurrentBar);
                         }
                         job->Cancel();
                     });
    EXPECT_TRUE(engine.WaitIdle(10000));
    EXPECT_EQ(engine.IndexOfJob(job.get()), -1);
}

TEST_F(CopyFormsTest, ProgressCancelWaitsForTheJobToEnd) {
    struct TCase {
        const char* Name;
        bool InQuestion; // else suspended before its size pass
        std::function<void(TCopyProgressForm&)> Cancel;
    };
    const TCase cases[] = {
        {"Cancel while it asks", true,
         [](TCopyProgressForm& f) { Child<QPushButton>(f, "KButtonCancel")->click(); }},
        {"Escape while it waits to count", false, [](TCopyProgressForm& f) { SendKey(&f, Qt::Key_Escape); }},
        {"the close box while it asks", true, [](TCopyProgressForm& f) { f.CloseBox()->click(); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPolledAsker asker;
        TCopyEngine engine(FDisk, &asker);
        // A closing phase long enough to see that the window waits for it to begin.
        engine.SetClosingMs(300);
        std::shared_ptr<TCopyThread> job = AskingJob(engine, "cancel");
        if (!c.InQuestion)
            job->Suspend();
        TCopyProgressForm form(engine);
        bool endedWhenClosed = false;
        test::ShowAndAct([&] { form.Run(job); },
                         [&](QDialog&) {
                             if (c.InQuestion) {
                                 ASSERT_TRUE(WaitFor([&] { return asker.Pending().has_value(); }));
                             }
                             c.Cancel(form);
                             EXPECT_TRUE(job->FCancelled.load());
                             EXPECT_TRUE(form.isVisible());
                             WaitFor([&] { return !form.isVisible(); });
                             endedWhenClosed = job->FFinished.load() || engine.IndexOfJob(job.get()) == -1;
                         });
        EXPECT_TRUE(endedWhenClosed);
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(engine.WaitIdle(10000));
        EXPECT_EQ(TempTree::ReadFile(FTree / "cancel/dst/f"), "old");
    }
}

TEST_F(CopyFormsTest, ProgressBackgroundLetsTheJobGoOnAndKeypadKeysChangeItsPriority) {
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    std::shared_ptr<TCopyThread> job = AskingJob(engine, "background", true);
    TPanelOptions options;
    TKMYFILEPANEL panel(options);
    job->FSourcePanel = &panel;
    TCopyProgressForm form(engine);
    TKMYFILEPANEL* panelWhenCalled = &panel;
    int calls = 0;
    form.OnBackground = [&] {
        ++calls;
        panelWhenCalled = job->FSourcePanel.load();
    };
    bool background = false;
    test::ShowAndAct(
        [&] { background = form.Run(job); },
        [&](QDialog&) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("L-moving"));
            struct TKey {
                int Key;
                Qt::KeyboardModifiers Modifiers;
                const char* Shown;
            };
            const TKey keys[] = {
                {Qt::Key_Plus, Qt::KeypadModifier, "high"},    {Qt::Key_Plus, Qt::KeypadModifier, "highest"},
                {Qt::Key_Plus, Qt::KeypadModifier, "highest"}, {Qt::Key_Plus, Qt::NoModifier, "highest"},
                {Qt::Key_Minus, Qt::KeypadModifier, "high"},   {Qt::Key_Minus, Qt::KeypadModifier, "normal"},
                {Qt::Key_Minus, Qt::KeypadModifier, "low"},    {Qt::Key_Minus, Qt::KeypadModifier, "lowest"},
                {Qt::Key_Minus, Qt::KeypadModifier, "lowest"}, {Qt::Key_Plus, Qt::KeypadModifier, "low"},
            };
            for (const TKey& key : keys) {
                SendKey(&form, key.Key, key.Modifiers);
                form.Tick();
                EXPECT_EQ(LabelText(form, "PriorityTextLabel").toStdString(), key.Shown);
            }
            EXPECT_EQ(job->Priority(), 2);
            Child<QPushButton>(form, "KButtonBackgound")->click();
        });
    EXPECT_TRUE(background);
    EXPECT_TRUE(form.FSentToBackground);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(panelWhenCalled, nullptr);
    // The job goes on without the window: still there, still asking.
    EXPECT_NE(engine.IndexOfJob(job.get()), -1);
    ASSERT_TRUE(WaitFor([&] { return asker.Pending().has_value(); }));
    asker.Answer(mrYes);
    EXPECT_TRUE(engine.WaitIdle(10000));
    EXPECT_EQ(TempTree::ReadFile(FTree / "background/dst/f"), "new");
}

TEST_F(CopyFormsTest, ProgressDetailBoxHidesTheDetailRowsAndIsRemembered) {
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    TCopyProgressForm form(engine);
    auto* detail = Child<QCheckBox>(form, "SettingsCopyProgressShowDetail");
    EXPECT_TRUE(detail->isChecked());
    EXPECT_EQ(detail->toolTip(), QStringLiteral("Show details..."));
    form.show();
    const char* details[] = {"CurrentFileSizeLabel",  "TotalPosLabel",       "TotalSizeLabel",
                             "TotalElapsedLabel",     "TotalEstimatedLabel", "TotalRemainingLabel",
                             "TotalAverageSpeedLabel"};
    const char* always[] = {"CurrentSubTreeLabel", "CurrentFileNameLabel", "PriorityTextLabel"};
    const int tall = form.height();
    detail->click();
    for (const char* name : details)
        EXPECT_FALSE(Child<QLabel>(form, name)->isVisible()) << name;
    for (const char* name : always)
        EXPECT_TRUE(Child<QLabel>(form, name)->isVisible()) << name;
    EXPECT_LT(form.height(), tall);
    EXPECT_EQ(Stored("SettingsCopyProgressShowDetail"), false);
    form.hide();
    TCopyProgressForm again(engine);
    EXPECT_FALSE(Child<QCheckBox>(again, "SettingsCopyProgressShowDetail")->isChecked());
}

// ---- the background strip ----

QColor PixelAt(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// True when a pixel brighter than mid grey is inside the rectangle of image.
bool HasText(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).lightness() > 128)
                return true;
    return false;
}

void SendMouse(QWidget& strip, QEvent::Type type, const QPoint& picturePoint, Qt::MouseButton button) {
    const QPointF local(picturePoint + QPoint(TKMYFORM::InnerLeft, TKMYFORM::InnerTop));
    QMouseEvent event(type, local, strip.mapToGlobal(local), button,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &event);
}

TEST_F(CopyFormsTest, StripDrawsOneRowPerJobAndTheCancelledTextWhileAJobCloses) {
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    engine.SetClosingMs(1500);
    std::shared_ptr<TCopyThread> copy = AskingJob(engine, "stripcopy");
    copy->Suspend();
    engine.StartJob();
    std::shared_ptr<TCopyThread> move = AskingJob(engine, "stripmove", true);
    engine.StartJob();
    ASSERT_TRUE(WaitFor([&] { return asker.Pending().has_value(); }));
    // The suspended copy waits before its size pass and the move in its question: their
    // counters are the test's.
    copy->FTotalSize = 8 * GiB;
    copy->FDoneSize = 2 * GiB;
    move->FTotalSize = 100;
    move->FDoneSize = 50;
    move->FInFile = false;

    TCopyBackForm strip(engine);
    int focusBack = 0;
    strip.OnGiveFocusBack = [&focusBack] { ++focusBack; };
    strip.ShowStrip();
    EXPECT_TRUE(strip.isVisible());
    EXPECT_TRUE(strip.TimerActive());
    EXPECT_FALSE(strip.isActiveWindow());
    EXPECT_TRUE(strip.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(strip.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(strip.windowTitle(), QStringLiteral("Back op."));
    EXPECT_EQ(strip.height(), 2 * 16 + 34);
    EXPECT_EQ(strip.width(), 130 + 8);
    EXPECT_GE(focusBack, 1);

    const QImage picture = strip.Picture();
    ASSERT_EQ(picture.size(), QSize(130, 32));
    // Bars from x 32 to 126, rows 4 pixels in from top and bottom; 2 of 8 GiB is 24 of 94
    // pixels, half of the move 47.
    struct TPixel {
        const char* What;
        QPoint At;
        QColor Colour;
    };
    const TPixel pixels[] = {
        {"row background", {2, 1}, Qt::black},
        {"row background below the bar", {60, 13}, Qt::black},
        {"suspended mark", {5, 6}, Qt::red},
        {"running mark", {5, 16 + 6}, Qt::green},
        {"copy bar filled", {33, 6}, QColor(0, 0, 255)},
        {"copy bar filled end", {32 + 23, 10}, QColor(0, 0, 255)},
        {"copy bar unfilled", {32 + 24, 4}, QColor(0, 0, 128)},
        {"copy bar end", {125, 6}, QColor(0, 0, 128)},
        {"past the copy bar", {126, 6}, Qt::black},
        {"move bar filled", {32 + 46, 16 + 6}, QColor(255, 255, 0)},
        {"move bar unfilled", {32 + 47, 16 + 10}, QColor(255, 192, 16)},
        {"above the move bar", {60, 16 + 3}, Qt::black},
    };
    for (const TPixel& pixel : pixels)
        EXPECT_EQ(PixelAt(picture, pixel.At.x(), pixel.At.y()), pixel.Colour) << pixel.What;
    EXPECT_TRUE(HasText(picture, QRect(12, 0, 10, 16)));
    EXPECT_TRUE(HasText(picture, QRect(12, 16, 10, 16)));

    // A move bar with nothing done shows its background.
    move->FDoneSize = 0;
    strip.Tick();
    EXPECT_EQ(PixelAt(strip.Picture(), 33, 16 + 6), QColor(255, 192, 16));

    // Right-clicking the suspended row cancels that job; it shows the cancelled text while it
    // closes, the other row stays as it was.
    SendMouse(strip, QEvent::MouseButtonPress, {60, 8}, Qt::RightButton);
    ASSERT_TRUE(WaitFor([&] { return copy->FFinished.load(); }));
    ASSERT_TRUE(WaitFor([&] { return PixelAt(strip.Picture(), 5, 6) == QColor(Qt::black); }));
    QImage expected(130, 16, QImage::Format_RGB32);
    expected.fill(Qt::black);
    {
        QPainter painter(&expected);
        painter.setFont(strip.font());
        painter.setPen(Qt::white);
        painter.drawText(QRect(12, 0, 106, 16), Qt::AlignCenter | Qt::TextSingleLine,
                         QStringLiteral("L-cancelled"));
    }
    EXPECT_EQ(strip.Picture().copy(0, 0, 130, 16), expected);
    EXPECT_EQ(PixelAt(strip.Picture(), 5, 16 + 6), QColor(Qt::green));

    // Auto-close: the strip goes once the last job has ended, and says so in the settings.
    strip.SetAutoClose(true);
    move->Cancel();
    EXPECT_TRUE(WaitFor([&] { return !strip.isVisible(); }, 20000));
    EXPECT_FALSE(strip.TimerActive());
    EXPECT_EQ(Stored("SettingsShowBackOpsWindow"), false);
}

TEST_F(CopyFormsTest, StripMouseRules) {
    struct TCase {
        const char* Name;
        QPoint At;
        Qt::MouseButton Button;
        int Priority;
        bool Suspended;
        int PriorityAfter;
        bool SuspendedAfter;
        bool CancelledAfter;
    };
    const int column = [this] {
        TPolledAsker asker;
        TCopyEngine engine(FDisk, &asker);
        return TCopyBackForm(engine).PriorityColumnWidth();
    }();
    const TCase cases[] = {
        {"left on the digit lowers", {10, 8}, Qt::LeftButton, 3, false, 2, false, false},
        {"left on the digit stops at 1", {10, 8}, Qt::LeftButton, 1, false, 1, false, false},
        {"right on the digit raises", {column - 1, 8}, Qt::RightButton, 3, true, 4, true, false},
        {"right on the digit stops at 5", {10, 8}, Qt::RightButton, 5, false, 5, false, false},
        {"left at the mark suspends", {8, 8}, Qt::LeftButton, 3, false, 3, true, false},
        {"left past the digit suspends", {column, 8}, Qt::LeftButton, 3, false, 3, true, false},
        {"left on the bar resumes", {60, 8}, Qt::LeftButton, 3, true, 3, false, false},
        {"right on the bar cancels", {60, 8}, Qt::RightButton, 3, false, 3, false, true},
        {"right cancels and resumes a suspended job", {60, 15}, Qt::RightButton, 3, true, 3, false, true},
        {"below the last row nothing", {60, 16 + 8}, Qt::RightButton, 3, true, 3, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPolledAsker asker;
        TCopyEngine engine(FDisk, &asker);
        std::shared_ptr<TCopyThread> job = AskingJob(engine, "mouse");
        engine.StartJob();
        ASSERT_TRUE(WaitFor([&] { return asker.Pending().has_value(); }));
        job->SetPriority(c.Priority);
        if (c.Suspended)
            job->Suspend();
        TCopyBackForm strip(engine);
        int focusBack = 0;
        strip.ShowStrip();
        strip.OnGiveFocusBack = [&focusBack] { ++focusBack; };
        SendMouse(strip, QEvent::MouseButtonPress, c.At, c.Button);
        EXPECT_EQ(job->Priority(), c.PriorityAfter);
        EXPECT_EQ(job->Suspended(), c.SuspendedAfter);
        EXPECT_EQ(job->FCancelled.load(), c.CancelledAfter);
        EXPECT_GE(focusBack, 1);
        if (c.CancelledAfter) {
            EXPECT_TRUE(engine.WaitIdle(10000));
        }
        job->Resume();
        strip.hide();
    }

    // A double click turns every job over by its own state.
    TPolledAsker asker;
    TCopyEngine engine(FDisk, &asker);
    std::shared_ptr<TCopyThread> first = AskingJob(engine, "double1");
    engine.StartJob();
    std::shared_ptr<TCopyThread> second = AskingJob(engine, "double2");
    second->Suspend();
    engine.StartJob();
    TCopyBackForm strip(engine);
    strip.ShowStrip();
    SendMouse(strip, QEvent::MouseButtonDblClick, {60, 40}, Qt::LeftButton);
    EXPECT_TRUE(first->Suspended());
    EXPECT_FALSE(second->Suspended());

    // The hint: the two help lines, and over a job's row its number, bytes done and total.
    EXPECT_EQ(strip.HintFor(5).toStdString(), "L-hint1\nL-hint2");
    first->FTotalSize = 3 * GiB;
    first->FDoneSize = 2048;
    first->FInFile = false;
    EXPECT_EQ(strip.HintFor(0).toStdString(), "L-hint1\nL-hint2\nTask:#1 / 2 048 B / 3 072 MB");
    // The first job waits in its question, so its counters hold still.
    SendMouse(strip, QEvent::MouseMove, {60, 4}, Qt::NoButton);
    EXPECT_EQ(QToolTip::text().toStdString(), strip.HintFor(0).toStdString());
    first->Cancel();
    second->Cancel();
    second->Resume();
}

TEST_F(CopyFormsTest, ClosingTheStripWithJobsAsksWhetherToStopThem) {
    struct TCase {
        const char* Name;
        const char* Button;
        bool Cancelled;
    };
    const TCase cases[] = {{"OK stops the jobs", "mmbOK", true},
                           {"Cancel lets them run", "mmbCancel", false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPolledAsker asker;
        TCopyEngine engine(FDisk, &asker);
        std::shared_ptr<TCopyThread> job = AskingJob(engine, "close");
        job->Suspend();
        engine.StartJob();
        TCopyBackForm strip(engine);
        strip.ShowStrip();
        SaveCheckBoxState(*FStore, ProgramKey, "SettingsShowBackOpsWindow", true);
        TBoxWatcher watcher([&](TMessageForm& box) {
            EXPECT_EQ(box.TextArea()->toPlainText(), QStringLiteral("L-stop?"));
            EXPECT_EQ(box.focusWidget(), box.findChild<QPushButton*>(QStringLiteral("mmbOK")));
            ClickBox(box, c.Button);
        });
        strip.CloseBox()->click();
        EXPECT_EQ(watcher.FSeen, 1);
        EXPECT_FALSE(strip.isVisible());
        EXPECT_FALSE(strip.TimerActive());
        EXPECT_EQ(job->FCancelled.load(), c.Cancelled);
        EXPECT_EQ(Stored("SettingsShowBackOpsWindow"), false);
        job->Cancel();
        job->Resume();
    }
}

// ---- the question pump ----

TEST_F(CopyFormsTest, PumpAsksOverTheModalWindowAndTheAnswerReachesTheJob) {
    TCopyQuestionPump pump;
    TCopyEngine engine(FDisk, pump.Asker());
    std::shared_ptr<TCopyThread> job = AskingJob(engine, "pump");
    engine.AddEntry(FTree.File("pump/src/g", "new g"), FTree / "pump/dst");
    FTree.File("pump/dst/g", "old g");
    TCopyProgressForm form(engine);
    // Two questions, one box after the other, each over the progress window.
    std::vector<QWidget*> parents;
    std::vector<const char*> answers = {"mmbYes", "mmbNo"};
    TBoxWatcher watcher([&](TMessageForm& box) {
        parents.push_back(box.parentWidget());
        EXPECT_TRUE(pump.Showing());
        ASSERT_LT(parents.size(), 3U);
        ClickBox(box, answers[parents.size() - 1]);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&job] { job->Cancel(); });
    limit.start(10000);
    form.Run(job);
    EXPECT_TRUE(limit.isActive()) << "the job did not end by itself";
    ASSERT_EQ(parents.size(), 2U);
    EXPECT_EQ(parents[0], &form);
    EXPECT_EQ(parents[1], &form);
    EXPECT_FALSE(pump.Showing());
    EXPECT_TRUE(engine.WaitIdle(10000));
    EXPECT_EQ(TempTree::ReadFile(FTree / "pump/dst/f"), "new");
    EXPECT_EQ(TempTree::ReadFile(FTree / "pump/dst/g"), "old g");
}

TEST_F(CopyFormsTest, PumpTakesDownTheBoxOfACancelledJob) {
    TCopyQuestionPump pump;
    TCopyEngine engine(FDisk, pump.Asker());
    std::shared_ptr<TCopyThread> job = AskingJob(engine, "withdrawn");
    QPointer<TMessageForm> shown;
    TBoxWatcher watcher([&](TMessageForm& box) {
        shown = &box;
        job->Cancel();
    });
    engine.StartJob();
    EXPECT_TRUE(WaitFor([&] { return watcher.FSeen == 1 && shown == nullptr && !pump.Showing(); }));
    EXPECT_TRUE(engine.WaitIdle(10000));
    EXPECT_EQ(TempTree::ReadFile(FTree / "withdrawn/dst/f"), "old");
}

} // namespace
} // namespace ks
