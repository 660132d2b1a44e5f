#include "shell/ui/MainForm.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include "controls/MessageBox.h"
#include "controls/ui/DisplayWidget.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
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

// The real system, except that it ends no session: what would is recorded.
class TSessionSafeSystem : public TKLinuxSystem {
public:
    Result<void> LogOff() override {
        Ended.push_back("log off");
        return {};
    }
    Result<void> PowerOff() override {
        Ended.push_back("power off");
        return {};
    }
    std::vector<std::string> Ended;
};

// A main window on a temporary settings store, a copy of the shipped skins and two prepared
// folders, shown offscreen.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::QtApp();
        fs::copy(std::string(KS_BIN_DIR) + "/skins", Tree / "skins", fs::copy_options::recursive);
        Tree.File("left/alpha/inside.txt", "x");
        Tree.Folder("left/beta");
        Tree.File("left/notes.txt", "notes");
        Tree.File("left/picture.bmp");
        Tree.File("right/one.txt", "1");
        Store = std::make_unique<TKRegistryStore>(Tree / "registry");
        Store->Write(Key + "m_settings", "first_run", "0");
        Store->Write(Key + "m_settings", "skin_path", Tree / "skins/default/");
        Store->Write(Key + "m_lpanel", "ppath", Tree / "left");
        Store->Write(Key + "m_lpanel", "pposit", "beta");
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
        EXPECT_TRUE(WaitFor([this] { return Form->Ready(); }));
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

    // A key pressed and released on a panel widget, as the user would.
    static void Press(QWidget* panel, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      const QString& text = {}) {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(panel, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(panel, &up);
    }

    static void Type(QWidget* panel, const QString& text) {
        for (const QChar c : text)
            Press(panel, Qt::Key_A + (c.toUpper().unicode() - u'A'), Qt::NoModifier, QString(c));
    }

    static std::string CursorName(TKMYFILEPANEL& panel) {
        const TKFiles* item = panel.FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Name : std::string();
    }

    test::TempTree Tree;
    TSessionSafeSystem System;
    TKLinuxFileSystem FileSystem;
    std::unique_ptr<TKRegistryStore> Store;
    std::unique_ptr<TData> Data;
    std::unique_ptr<TMainForm> Form;
};

TEST_F(MainFormTest, StartsShapedWithTheSkinLayoutAndBothPanelsOnTheirSavedItems) {
    // A corner saved on a larger screen.
    Store->Write(Key + "m_position", "mleft", "5000");
    Store->Write(Key + "m_position", "mtop", "4000");
    TMainForm& form = Start();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(form.x(), area.left());
    EXPECT_TRUE(form.x() + form.width() <= area.right() + 1 || form.x() == area.left());
    EXPECT_TRUE(form.y() + form.height() <= area.bottom() + 1 || form.y() == area.top());
    const TSkinData& skin = form.Skin();
    EXPECT_EQ(form.size(), QSize(skin.MainWidth, skin.MainHeight));
    const TSkinRect panel = skin.Positions[spLeftPanel].Rect;
    EXPECT_EQ(form.LEFTPANEL->geometry(), QRect(panel.Left, panel.Top, panel.Width, panel.Height));
    const TSkinRect line = skin.Positions[spInfoLine].Rect;
    EXPECT_EQ(form.INFOLINE->geometry(), QRect(line.Left, line.Top, line.Width, line.Height));
    EXPECT_TRUE(form.Shape().HasShape);
    EXPECT_FALSE(form.mask().isEmpty());
    // A shaped window leaves its top-left corner out.
    EXPECT_FALSE(form.mask().contains(QPoint(0, 0)));

    EXPECT_EQ(form.LeftPanel().FFolderItems.FPath, Tree / "left");
    EXPECT_EQ(CursorName(form.LeftPanel()), "beta");
    EXPECT_EQ(form.RightPanel().FFolderItems.FPath, Tree / "right");
    EXPECT_EQ(form.INFOLINE->Model().Caption(), CurrentLanguage().GetLangText("nfo_Welcome"));
    EXPECT_EQ(form.LEFTPINFO->Model().Caption(), Tree / "left");

    const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(form.StateJson())).object();
    EXPECT_TRUE(state["Ready"].toBool());
    EXPECT_EQ(state["ActivePanel"].toString(), "LEFTPANEL");
    EXPECT_EQ(state["LEFTPANEL"].toObject()["CursorName"].toString(), "beta");
    EXPECT_EQ(state["RIGHTPANEL"].toObject()["Count"].toInt(), 2);
}

TEST_F(MainFormTest, SkinSwitchGivesARectangleAndBackAShapeKeepingSavedPositions) {
    TMainForm& form = Start();
    form.LEFTPANEL->move(form.LEFTPANEL->pos() + QPoint(3, 0));
    form.BTNCLOSE->move(form.BTNCLOSE->pos() + QPoint(5, 0));
    const QPoint moved = form.LEFTPANEL->pos();
    const QPoint buttonBefore = form.BTNCLOSE->pos() - QPoint(5, 0);

    form.SelectSkin(Tree / "skins/classic/");
    EXPECT_FALSE(form.Shape().HasShape);
    EXPECT_TRUE(form.mask().isEmpty());

    form.SelectSkin(Tree / "skins/default/");
    EXPECT_TRUE(form.Shape().HasShape);
    EXPECT_FALSE(form.mask().isEmpty());
    EXPECT_EQ(form.LEFTPANEL->pos(), moved);       // the display parts are saved with the skin
    EXPECT_EQ(form.BTNCLOSE->pos(), buttonBefore); // the buttons are not
}

// The shipped skins draw the path, item and command lines as wells with corners of radius 4 inside
// a 1-pixel frame: the text keeps clear of both ends.
TEST_F(MainFormTest, DisplaysKeepTheirTextOffTheRoundedEndsInBothSkins) {
    constexpr int Clearance = 6;
    TMainForm& form = Start();
    for (const char* skin : {"default", "classic"}) {
        form.SelectSkin(Tree / ("skins/" + std::string(skin) + "/"));
        for (TKDisplayWidget* display : {form.LEFTPINFO, form.RIGHTIINFO, form.INFOLINE}) {
            SCOPED_TRACE(testing::Message() << skin << " " << display->objectName().toStdString());
            display->Model().SetCaption("");
            const QImage blank = display->grab().toImage();
            // A path's first "/" and a line too long for the display.
            display->Model().SetCaption("/" + std::string(300, 'W'));
            const QImage text = display->grab().toImage();
            ASSERT_EQ(blank.size(), text.size());
            int first = text.width();
            int last = -1;
            for (int x = 0; x < text.width(); ++x)
                for (int y = 0; y < text.height(); ++y)
                    if (text.pixel(x, y) != blank.pixel(x, y)) {
                        first = std::min(first, x);
                        last = std::max(last, x);
                    }
            ASSERT_GE(last, 0) << "no text drawn";
            EXPECT_GE(first, Clearance);
            EXPECT_LT(last, text.width() - Clearance);
        }
    }
}

// The command line's caret steps once per tick of the window's 100 ms background timer, without
// the focus, and from nothing else: ten ticks make its cycle of 800 ms shown and 200 ms hidden.
TEST_F(MainFormTest, CommandLineCaretStepsOncePerBackgroundTick) {
    TMainForm& form = Start();
    ASSERT_FALSE(form.INFOLINE->hasFocus());
    const TKMYDISPLAY& model = form.INFOLINE->Model();
    const int start = model.BlinkCount();
    int ticks = 0;
    int hidden = 0;
    bool inStep = true;
    const QMetaObject::Connection counting =
        QObject::connect(&form.BackgroundTimer(), &QTimer::timeout, &form, [&] {
            ++ticks;
            inStep = inStep && model.BlinkCount() == (start + ticks) % BlinkCycle;
            hidden += model.CaretVisible() ? 0 : 1;
        });
    EXPECT_TRUE(WaitFor([&] { return ticks >= 2 * BlinkCycle; }));
    QObject::disconnect(counting);
    EXPECT_TRUE(inStep);
    EXPECT_EQ(hidden, 2 * (BlinkCycle - CaretHiddenFrom));
}

TEST_F(MainFormTest, KeyPreviewRoutesKeysToPanelsCommandLineAndCommands) {
    TMainForm& form = Start();
    QWidget* left = form.LEFTPANEL;

    Press(left, Qt::Key_Tab);
    EXPECT_EQ(form.ActivePanel(), &form.RightPanel());
    Press(form.RIGHTPANEL, Qt::Key_Tab);
    EXPECT_EQ(form.ActivePanel(), &form.LeftPanel());

    // Letters typed on a folder panel become a command.
    Type(left, "ls");
    EXPECT_EQ(form.CmdMode(), 1);
    EXPECT_EQ(form.INFOLINE->Model().Text(), "ls");
    EXPECT_EQ(form.INFOLINE->Model().Caption(), "CMD> ");
    Press(left, Qt::Key_Escape);
    EXPECT_EQ(form.CmdMode(), 0);
    EXPECT_TRUE(form.INFOLINE->Model().Text().empty());

    // Alt tapped alone switches to locate mode; typing moves the cursor by name.
    Press(left, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(form.CmdMode(), 2);
    EXPECT_EQ(form.INFOLINE->Model().Caption(), "LOC> ");
    Type(left, "no");
    EXPECT_EQ(CursorName(form.LeftPanel()), "notes.txt");
    // Any key that cannot be part of a name leaves locate mode and goes on to the panel.
    Press(left, Qt::Key_Down);
    EXPECT_EQ(form.CmdMode(), 0);

    Press(left, Qt::Key_Home);
    Press(left, Qt::Key_Down);
    Press(left, Qt::Key_Insert);
    EXPECT_EQ(form.LeftPanel().FFolderItems.FMarkedCount, 1);
    Press(left, Qt::Key_Asterisk, Qt::KeypadModifier, "*");
    EXPECT_EQ(form.LeftPanel().FFolderItems.FMarkedCount, 3);
    EXPECT_TRUE(form.INFOLINE->Model().Text().empty()); // the pad's * types nothing

    Press(left, Qt::Key_F3, Qt::ControlModifier);
    EXPECT_EQ(form.Options().PanelSortMode, 3);
    Press(left, Qt::Key_F1, Qt::ControlModifier);
    EXPECT_EQ(form.Options().PanelSortMode, 1);

    Press(left, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(form.RightPanel().PanelType(), ptItemInfo);
    Press(left, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(form.RightPanel().PanelType(), ptFolder);

    Press(left, Qt::Key_F1, Qt::AltModifier);
    EXPECT_EQ(form.LeftPanel().PanelType(), ptDriveList);
}

TEST_F(MainFormTest, ItemInformationPreviewsPicturesInTheOtherPanel) {
    QImage picture(40, 30, QImage::Format_RGB888);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(Tree / "left/picture.bmp"), "BMP"));
    TMainForm& form = Start();
    QWidget* left = form.LEFTPANEL;
    form.LeftPanel().FindItem("picture.bmp", true);
    Press(left, Qt::Key_I, Qt::ControlModifier);
    ASSERT_EQ(form.RightPanel().PanelType(), ptItemInfo);
    EXPECT_TRUE(WaitFor([&] { return form.KImage->isVisible(); }));
    EXPECT_FALSE(form.RIGHTPANEL->isVisible());
    EXPECT_EQ(form.KImage->pixmap().size(), QSize(40, 30)); // a small picture keeps its size

    form.LeftPanel().FindItem("notes.txt", true);
    Press(left, Qt::Key_Up);
    Press(left, Qt::Key_Down);
    EXPECT_TRUE(WaitFor([&] { return form.RIGHTPANEL->isVisible(); }));
    EXPECT_FALSE(form.KImage->isVisible());
    EXPECT_GT(form.RightPanel().FItemsStruc->Count(), 0); // the information list of notes.txt
}

TEST_F(MainFormTest, UserLevelHidesCommandsAndTheirKeys) {
    TMainForm& form = Start();
    Data->UserMode = 1;
    form.MenuPopup();
    ASSERT_NE(form.Action(cmCalculSizes), nullptr);
    EXPECT_FALSE(form.Action(cmCalculSizes)->isVisible());
    EXPECT_TRUE(form.Options().PanelCountDisabled);
    EXPECT_TRUE(form.Options().PanelDeleteDisabled);
    EXPECT_TRUE(form.Action(cmChangeLeftPanel)->isVisible());
    EXPECT_FALSE(form.Action(cmCopyItems)->isVisible());

    // Work that is not in this build shows, disabled.
    Data->UserMode = 4;
    form.MenuPopup();
    ASSERT_NE(form.Action(cmLangSettings), nullptr);
    EXPECT_TRUE(form.Action(cmLangSettings)->isVisible());
    EXPECT_FALSE(form.Action(cmLangSettings)->isEnabled());
    EXPECT_TRUE(form.Action(cmAddToArchive)->isEnabled());
    EXPECT_TRUE(form.Action(cmFindFile)->isEnabled());
    EXPECT_TRUE(form.Action(cmCopyItems)->isEnabled());
    EXPECT_TRUE(form.Action(cmCCopy)->isEnabled());
    EXPECT_TRUE(form.Action(cmCCopy)->text().endsWith("\tCtrl+C"));
}

TEST_F(MainFormTest, CopyItemsWithNothingMarkedTakesEveryFolderAndFile) {
    TMainForm& form = Start();
    Press(form.LEFTPANEL, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(form.ClipboardCut());
    std::vector<std::string> expected = {Tree / "left/alpha", Tree / "left/beta", Tree / "left/notes.txt",
                                         Tree / "left/picture.bmp"};
    std::vector<std::string> taken = form.ClipboardItems();
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(taken, expected);
}

// F5 runs the dialog, then the progress window; while it shows, no folder change re-reads a
// panel under the job, and afterwards both panels list what the job made.
TEST_F(MainFormTest, ACopyKeepsThePanelsFromReReadingUntilItEndsThenReReadsBoth) {
    TMainForm& form = Start();
    ASSERT_EQ(form.LeftPanel().FFolderItems.FCurrentItem->Name, "beta");
    bool progressShown = false;
    bool watchedDuringCopy = false;
    QTimer look;
    look.setInterval(1);
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        if (modal->objectName() == "CopyFilesForm") {
            static_cast<QDialog*>(modal)->accept();
        } else if (modal->objectName() == "CopyProgressForm") {
            progressShown = true;
            watchedDuringCopy |= form.LeftPanel().FWatching || form.RightPanel().FWatching;
        }
    });
    look.start();
    Press(form.LEFTPANEL, Qt::Key_F5);
    look.stop();
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(watchedDuringCopy);
    EXPECT_TRUE(fs::is_directory(Tree / "right/beta"));
    EXPECT_GE(form.RightPanel().FindItem("beta", false), 0);
    EXPECT_EQ(form.LeftPanel().FFolderItems.FCurrentItem->Name, "beta");
}

TEST_F(MainFormTest, ClosingSavesFoldersAndCursorsThatTheNextStartReopens) {
    TMainForm& form = Start();
    Press(form.LEFTPANEL, Qt::Key_Home);
    Press(form.LEFTPANEL, Qt::Key_Down); // alpha
    Press(form.LEFTPANEL, Qt::Key_Return);
    ASSERT_EQ(form.LeftPanel().FFolderItems.FPath, Tree / "left/alpha");
    Press(form.LEFTPANEL, Qt::Key_Down); // inside.txt
    form.close();
    ASSERT_TRUE(Store->Load().has_value());
    EXPECT_EQ(Store->Read(Key + "m_lpanel", "ppath"), Tree / "left/alpha");
    EXPECT_EQ(Store->Read(Key + "m_lpanel", "pposit"), "inside.txt");

    Form.reset();
    TMainForm& again = Start();
    EXPECT_EQ(again.LeftPanel().FFolderItems.FPath, Tree / "left/alpha");
    EXPECT_EQ(CursorName(again.LeftPanel()), "inside.txt");
    // ".." goes back up with the cursor on the folder left.
    Press(again.LEFTPANEL, Qt::Key_Home);
    Press(again.LEFTPANEL, Qt::Key_Return);
    EXPECT_EQ(again.LeftPanel().FFolderItems.FPath, Tree / "left");
    EXPECT_EQ(CursorName(again.LeftPanel()), "alpha");
}

TEST_F(MainFormTest, SizesShowInUnitsUnlessTheSettingsSayBytesOnly) {
    Tree.File("left/big.bin", std::string(60000, 'x'));
    const struct {
        const char* Stored; // nullptr: nothing stored
        const char* SizeText;
    } cases[] = {{nullptr, "58 kB"}, {"1", "58 kB"}, {"0", "60 000 B"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Stored != nullptr ? c.Stored : "nothing stored");
        if (c.Stored != nullptr) {
            Store->Write(std::string(ProgramKey), "SettingsShowSizeInMB", c.Stored);
            ASSERT_TRUE(Store->Flush().has_value());
        }
        TMainForm& form = Start();
        TKMYFILEPANEL& left = form.LeftPanel();
        const TKFiles* big = left.FFolderItems.GetFileItem(left.FindItem("big.bin", false));
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(left.SizeText(*big), c.SizeText);
        Form.reset();
    }
}

TEST_F(MainFormTest, TheSavedCursorNameFindsItsItemInAnyCaseOrByItsLongestPrefix) {
    Tree.File("left/README.TXT");
    Tree.File("left/reader.c");
    Tree.File("left/PICTURE.BMP");
    const struct {
        const char* Saved;
        const char* Cursor;
    } cases[] = {
        {"beta", "beta"},
        {"readme.txt", "README.TXT"}, // the same name in another case
        {"READ", "reader.c"},         // the first item starting with it
        {"picture.bmp", "picture.bmp"},
        {"PICTURE.BMP", "PICTURE.BMP"}, // the very name before one in another case
        {"zzz", ".."},                  // nothing in common: the first item
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Saved);
        Store->Write(Key + "m_lpanel", "pposit", c.Saved);
        ASSERT_TRUE(Store->Flush().has_value());
        TMainForm& form = Start();
        EXPECT_EQ(CursorName(form.LeftPanel()), c.Cursor);
        Form.reset();
    }
}

TEST_F(MainFormTest, ItemInformationTwiceGivesBackTheOtherPanelUntouched) {
    for (int i = 0; i < 80; ++i)
        Tree.File("right/file" + std::to_string(100 + i) + ".txt", "x");
    TMainForm& form = Start();
    TKMYFILEPANEL& right = form.RightPanel();
    Press(form.LEFTPANEL, Qt::Key_Tab);
    ASSERT_EQ(form.ActivePanel(), &right);
    Press(form.RIGHTPANEL, Qt::Key_Home);
    for (int i = 0; i < 4; ++i)
        Press(form.RIGHTPANEL, Qt::Key_Insert);
    Press(form.RIGHTPANEL, Qt::Key_PageDown);
    Press(form.RIGHTPANEL, Qt::Key_PageDown);
    Press(form.RIGHTPANEL, Qt::Key_Insert);
    Press(form.RIGHTPANEL, Qt::Key_PageDown);
    const auto marked = [&right] {
        std::vector<std::string> names;
        for (const auto& item : right.FFolderItems.FItems)
            if (item->Marked)
                names.push_back(item->Name);
        return names;
    };
    const std::vector<std::string> marks = marked();
    const int cursor = right.FFolderItems.FItemIndex;
    const int top = right.FFolderItems.FTopIndex;
    ASSERT_EQ(marks.size(), 4u);
    ASSERT_GT(top, 0);
    Press(form.RIGHTPANEL, Qt::Key_Tab);
    ASSERT_EQ(form.ActivePanel(), &form.LeftPanel());

    Press(form.LEFTPANEL, Qt::Key_I, Qt::ControlModifier);
    ASSERT_EQ(right.PanelType(), ptItemInfo);
    Press(form.LEFTPANEL, Qt::Key_I, Qt::ControlModifier);
    ASSERT_EQ(right.PanelType(), ptFolder);
    EXPECT_EQ(marked(), marks);
    EXPECT_EQ(right.FFolderItems.FMarkedCount, 4);
    EXPECT_EQ(right.FFolderItems.FItemIndex, cursor);
    EXPECT_EQ(right.FFolderItems.FTopIndex, top);
    EXPECT_EQ(right.FFolderItems.Count(), 82);
}

TEST_F(MainFormTest, EditorsAndViewerGetTheFileNameAsOneArgument) {
    // Stand-ins for the programs report their argument count and each argument, one a line.
    const std::string out = Tree.Folder("out");
    const auto reporter = [&](const std::string& relative, const std::string& report) {
        const std::string target = out + "/" + report;
        const std::string path = Tree.File(relative, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + target +
                                                         ".tmp'\nmv '" + target + ".tmp' '" + target + "'\n");
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        return path;
    };
    // The default editor is the first known one on PATH; the viewer is tview in the data folder.
    reporter("bin/gnome-text-editor", "editor");
    reporter("app/tview", "viewer");
    fs::create_directory_symlink(std::string(KS_BIN_DIR) + "/lang", Tree / "app/lang");
    // The external editor is a program path with a space in a folder name.
    Store->Write(std::string(ProgramKey), "SettingsExternalEditorPath",
                 reporter("my editors/edit", "external"));
    ASSERT_TRUE(Store->Flush().has_value());
    const std::string name = "notes\" -c \"!touch PWNED\" -c \"qa!";
    const std::string file = Tree.File("left/" + name, "x");

    struct TSavedEnv {
        std::string Name;
        QByteArray Value;
        bool Had;
        ~TSavedEnv() { Had ? qputenv(Name.c_str(), Value) : qunsetenv(Name.c_str()); }
    };
    const TSavedEnv path{"PATH", qgetenv("PATH"), qEnvironmentVariableIsSet("PATH")};
    const TSavedEnv data{"KSABLE_DATA_DIR", qgetenv("KSABLE_DATA_DIR"),
                         qEnvironmentVariableIsSet("KSABLE_DATA_DIR")};
    qputenv("PATH", QByteArray::fromStdString(Tree / "bin:") + path.Value);
    qputenv("KSABLE_DATA_DIR", QByteArray::fromStdString(Tree / "app/"));

    TMainForm& form = Start();
    ASSERT_GE(form.LeftPanel().FindItem(name, true), 0);
    struct TCase {
        const char* Report;
        int Key;
        Qt::KeyboardModifiers Modifiers;
    };
    const TCase cases[] = {
        {"editor", Qt::Key_F4, Qt::NoModifier},
        {"external", Qt::Key_F4, Qt::ControlModifier},
        {"viewer", Qt::Key_F3, Qt::NoModifier},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Report);
        Press(form.LEFTPANEL, c.Key, c.Modifiers);
        const std::string report = out + "/" + c.Report;
        ASSERT_TRUE(WaitFor([&] { return fs::exists(report); }));
        EXPECT_EQ(test::TempTree::ReadFile(report), "1\n" + file + "\n");
    }
}

TEST_F(MainFormTest, DotCommandsThatEndTheSessionAskFirstAndFailuresSayWhy) {
    TMainForm& form = Start();
    // A command line typed key by key, then Enter, in the left panel.
    const auto RunTyped = [](TMainForm& target, const QString& line) {
        for (const QChar c : line) {
            const int key = c == u'.'   ? Qt::Key_Period
                            : c == u' ' ? Qt::Key_Space
                                        : Qt::Key_A + (c.toUpper().unicode() - u'A');
            Press(target.LEFTPANEL, key, Qt::NoModifier, QString(c));
        }
        Press(target.LEFTPANEL, Qt::Key_Return);
    };
    struct TCase {
        QString Line;
        int Answer; // the button pressed on the question or message, 0 for none expected
        std::vector<std::string> Ended;
        std::string Message; // the start of the text shown
    };
    const std::vector<TCase> cases = {
        {".shutdown", mrNo, {}, "Power this computer off now?"},
        {".SHUTDOWN", mrYes, {"power off"}, "Power this computer off now?"},
        {".Restart", mrYes, {"log off"}, "Log off now?"},
        {"ksnoprogram", mrOk, {}, "Can't start ksnoprogram: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line.toStdString());
        System.Ended.clear();
        std::string shown;
        test::ShowAndAct([&] { RunTyped(form, c.Line); },
                         [&](QDialog& dialog) {
                             for (const QTextEdit* text : dialog.findChildren<QTextEdit*>())
                                 shown += text->toPlainText().toStdString();
                             dialog.done(c.Answer);
                         });
        EXPECT_EQ(shown.rfind(c.Message, 0), 0u) << shown;
        EXPECT_EQ(System.Ended, c.Ended);
    }
    // .SCANSKINS searches the disks for skin packs in the search window, which Close stops.
    QString searched;
    test::ShowAndAct([&] { RunTyped(form, ".scanskins"); },
                     [&](QDialog& dialog) {
                         searched = dialog.objectName();
                         dialog.reject();
                     });
    EXPECT_EQ(searched, QStringLiteral("SearchPackagesForm"));
    // Commands that ask nothing say in the command line what became of them.
    RunTyped(form, ".ftp noop");
    EXPECT_EQ(form.INFOLINE->Model().Caption(), "FTP: the active panel shows no FTP server.");
    RunTyped(form, ".nothing");
    EXPECT_EQ(form.INFOLINE->Model().Caption(), "Unknown command: .nothing");
    EXPECT_TRUE(System.Ended.empty());
}

} // namespace
} // namespace ks
