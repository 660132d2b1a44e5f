// The pack search window over real folders, and installing the language and skin packs it found.

#include "fileops/ui/PackInstall.h"
#include "fileops/ui/SearchPackagesForm.h"

#include "archive/KPL.h"
#include "controls/MessageBox.h"
#include "controls/ui/MessageForm.h"
#include "foundation/FileSystem.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ks {
namespace {

using test::TempTree;

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString LabelText(QObject& form, const char* name) {
    QLabel* label = Child<QLabel>(form, name);
    return label != nullptr ? label->text() : QString();
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

// The installed file system, except that opening the folder Gate waits until the test opens
// the gate (five seconds at most), so the test can act while the search is known to be running.
class TGatedFileSystem : public TKFileSystem {
public:
    explicit TGatedFileSystem(std::string gate) : FGate(std::move(gate)) {}

    Result<void> ListFolder(const std::string& path,
                            const std::function<bool(const TDirEntry&)>& each) override {
        return FileSystem().ListFolder(path, each);
    }
    Result<void> ListFolderTypes(const std::string& path,
                                 const std::function<bool(std::string_view, TEntryType)>& each) override {
        return FileSystem().ListFolderTypes(path, each);
    }
    Result<TDirEntry> Stat(const std::string& path) override { return FileSystem().Stat(path); }
    bool CanOpenFolder(const std::string& path) override { return FileSystem().CanOpenFolder(path); }
    bool Exists(const std::string& path) override { return FileSystem().Exists(path); }
    Result<std::unique_ptr<TKFolder>> OpenFolder(const std::string& path) override {
        if (path == FGate) {
            Waiting = true;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!Open && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return FileSystem().OpenFolder(path);
    }

    std::atomic<bool> Waiting{false};
    std::atomic<bool> Open{false};

private:
    std::string FGate;
};

class PackFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }
    void SetUp() override { FSavedLanguage = CurrentLanguage(); }
    void TearDown() override { CurrentLanguage() = FSavedLanguage; }

    // A library of id holding one file "pack.txt" with content.
    std::string MakePack(const std::string& relative, std::int32_t id, const std::string& content) {
        const std::string source = FSources.File(relative + ".src/pack.txt", content);
        TKMYKPLIB writer(FileSystem());
        writer.BaseFolder = FSources / (relative + ".src/");
        writer.Items = {source};
        writer.LibraryId = id;
        const std::string library = FTree / relative;
        if (const std::size_t slash = relative.rfind('/'); slash != std::string::npos)
            FTree.Folder(relative.substr(0, slash));
        EXPECT_TRUE(writer.WriteLibrary(library));
        return library;
    }

    TLanguage FSavedLanguage;
    TempTree FTree;
    TempTree FSources;
};

TEST_F(PackFormsTest, WindowFileMatchesTheForm) {
    TSearchPackagesForm form(FileSystem(), {}, KplLanguagePackId);
    QFile file(QStringLiteral(KS_SOURCE_DIR "/data/lang/ENGLISH/F_") + form.objectName() +
               QStringLiteral(".dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int lines = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        ++lines;
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
    EXPECT_EQ(lines, 6);
    for (const char* counter : {"ProcessedText", "KPLfoundText", "AvailableKPLFoundText"})
        EXPECT_EQ(LabelText(form, counter), QStringLiteral("0")) << counter;
    EXPECT_EQ(LabelText(form, "SearchingPathText"), QString());
}

TEST_F(PackFormsTest, SearchFindsTheLanguagePacksAmongOtherLibraries) {
    const std::string english = MakePack("packs/deep/er/english2.kpl", KplLanguagePackId, "en");
    const std::string slovak = MakePack("packs/SLOVAK.KPL", KplLanguagePackId, "sk");
    MakePack("packs/blue.kpl", KplSkinPackId, "skin");
    MakePack("user.kpl", KplUserLibraryId, "user");
    FTree.File("notes.txt", "not a library");
    FTree.File("fake.kpl", "no header");

    std::vector<std::string> found;
    bool shownFinished = false;
    test::ShowAndAct([&] { found = TSearchPackagesForm::Execute({FTree.Path()}, KplLanguagePackId); },
                     [&](QDialog& dialog) {
                         auto& form = dynamic_cast<TSearchPackagesForm&>(dialog);
                         // The search runs while the window's own loop runs, so wait in it.
                         QTimer* poll = new QTimer(&form);
                         QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, &shownFinished] {
                             if (!form.Finished())
                                 return;
                             poll->stop();
                             // A search that ran to its end leaves the totals on show.
                             shownFinished = form.isVisible();
                             EXPECT_EQ(LabelText(form, "ProcessedText"), QStringLiteral("6"));
                             EXPECT_EQ(LabelText(form, "KPLfoundText"), QStringLiteral("5"));
                             EXPECT_EQ(LabelText(form, "AvailableKPLFoundText"), QStringLiteral("2"));
                             EXPECT_FALSE(LabelText(form, "SearchingPathText").isEmpty());
                             Child<QPushButton>(form, "CloseButton")->click();
                         });
                         poll->start(5);
                     });
    EXPECT_TRUE(shownFinished);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{slovak, english}));
}

TEST_F(PackFormsTest, CloseDuringTheSearchStopsItAndKeepsWhatWasFound) {
    const std::string first = MakePack("a/first.kpl", KplLanguagePackId, "1");
    FTree.Folder("gate");
    MakePack("b/second.kpl", KplLanguagePackId, "2");
    TGatedFileSystem fileSystem(FTree / "gate");
    struct Case {
        const char* What;
        std::function<void(TSearchPackagesForm&)> Close;
    } cases[] = {
        {"&Close", [](TSearchPackagesForm& form) { Child<QPushButton>(form, "CloseButton")->click(); }},
        {"the close box", [](TSearchPackagesForm& form) { form.close(); }},
        {"Escape",
         [](TSearchPackagesForm& form) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QCoreApplication::sendEvent(form.focusWidget() ? form.focusWidget() : &form, &press);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        fileSystem.Waiting = false;
        fileSystem.Open = false;
        TSearchPackagesForm form(fileSystem, {FTree / "a", FTree / "gate", FTree / "b"}, KplLanguagePackId);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!fileSystem.Waiting || fileSystem.Open)
                return;
            // The counters reach the window while the worker still runs.
            if (LabelText(form, "AvailableKPLFoundText") != QStringLiteral("1"))
                return;
            c.Close(form);
            // Only a stop so far: the window waits for the worker.
            EXPECT_TRUE(form.isVisible());
            EXPECT_TRUE(form.Working());
            fileSystem.Open = true;
        });
        poll.start(5);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [&form] { form.done(-1); });
        limit.start(5000);
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_TRUE(limit.isActive()) << "the window did not close by itself";
        EXPECT_TRUE(fileSystem.Open);
        EXPECT_EQ(form.Found(), std::vector<std::string>{first});
    }
}

TEST_F(PackFormsTest, InstallAsksFirstAndTellsWhatWasSkipped) {
    CurrentLanguage().SetLangText("str_SettInstallLangPack", "L-%d languages?");
    CurrentLanguage().SetLangText("str_SettInstallSkinPack", "L-%d skins?");
    CurrentLanguage().SetLangText("_STRPacksInstalled", "L-installed:%s");
    CurrentLanguage().SetLangText("_STRPacksNotInstalled", "L-not:%s");
    CurrentLanguage().SetLangText("_STRPackExists", "L-exists");
    const std::string english = MakePack("found/english2.kpl", KplLanguagePackId, "en");
    const std::string slovak = MakePack("found/slovak.kpl", KplLanguagePackId, "sk");
    const std::string blue = MakePack("found/blue.kpl", KplSkinPackId, "blue");
    const std::string data = FTree / "data";
    FTree.File("data/lang/slovak/mine.txt", "mine");

    struct Case {
        const char* What;
        TPackKind Kind;
        std::vector<std::string> Libraries;
        const char* Answer;
        std::vector<std::string> Told; // the start of each box's text
        bool Installed;
        const char* SkippedLine; // how the last box ends, naming the pack passed over
    } cases[] = {
        {"Cancel", pkLanguage, {english, slovak}, "mmbCancel", {"L-2 languages?"}, false, ""},
        {"nothing found", pkLanguage, {}, "mmbOK", {}, false, ""},
        {"OK",
         pkLanguage,
         {english, slovak},
         "mmbOK",
         {"L-2 languages?", "L-installed:\n" + data + "/lang/english2\n\nL-not:\n"},
         true,
         "slovak (L-exists)"},
        {"a skin",
         pkSkin,
         {blue},
         "mmbOK",
         {"L-1 skins?", "L-installed:\n" + data + "/skins/blue"},
         true,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<int> focused;
        TBoxWatcher boxes([&](TMessageForm& box) {
            focused.push_back(box.Layout().Focused);
            auto* button =
                box.findChild<QPushButton*>(QString::fromLatin1(focused.size() == 1 ? c.Answer : "mmbOK"));
            ASSERT_NE(button, nullptr);
            button->click();
        });
        EXPECT_EQ(InstallFoundPacks(FileSystem(), data, c.Kind, c.Libraries), c.Installed);
        ASSERT_EQ(boxes.FTexts.size(), c.Told.size());
        for (std::size_t i = 0; i < c.Told.size(); ++i)
            EXPECT_EQ(boxes.FTexts[i].substr(0, c.Told[i].size()), c.Told[i]) << boxes.FTexts[i];
        if (!c.Told.empty()) {
            const std::string& last = boxes.FTexts.back();
            const std::string ending = c.SkippedLine;
            EXPECT_EQ(last.substr(last.size() - std::min(last.size(), ending.size())), ending) << last;
        }
        if (!focused.empty()) {
            EXPECT_EQ(focused[0], MessageButtonOfDefault(3)) << "Cancel pre-selected";
        }
    }
    EXPECT_EQ(TempTree::ReadFile(data + "/lang/english2/pack.txt"), "en");
    EXPECT_EQ(TempTree::ReadFile(data + "/skins/blue/pack.txt"), "blue");
    // The installed pack of that name stays as it was, and the report says why.
    EXPECT_EQ(TempTree::ReadFile(data + "/lang/slovak/mine.txt"), "mine");
    EXPECT_FALSE(FileSystem().Exists(data + "/lang/slovak/pack.txt"));
}

} // namespace
} // namespace ks
