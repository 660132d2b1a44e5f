// The real program on a virtual X display, driven as a person would: keys and clicks through
// xdotool, the program's state read from the file it keeps up to date (KSABLE_STATE_FILE).

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QJsonDocument>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "support/TempTree.h"

namespace ks::e2e {
namespace {

const std::string ProgramKey = "Software\\delta9\\[sable!]";

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string PathOf(const QJsonObject& state, const char* panel) {
    return WithoutSlash(state.value(panel).toObject().value("FPath").toString().toStdString());
}

std::string CursorOf(const QJsonObject& state, const char* panel) {
    return state.value(panel).toObject().value("CursorName").toString().toStdString();
}

std::vector<std::string> NamesOf(const QJsonObject& state, const char* panel) {
    return Strings(state.value(panel).toObject().value("Names"));
}

std::set<std::string> MarkedOf(const QJsonObject& state, const char* panel) {
    const std::vector<std::string> marked = Strings(state.value(panel).toObject().value("Marked"));
    return {marked.begin(), marked.end()};
}

int IntOf(const QJsonObject& state, const char* panel, const char* key) {
    return state.value(panel).toObject().value(key).toInt(-1);
}

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// The colour most pixels of a rectangle of image have.
QRgb MainColour(const QImage& image, const QRect& rect) {
    std::map<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[image.pixel(x, y)];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// Pixels of a rectangle far from its main colour: the glyphs of a text drawn on it.
int Ink(const QImage& image, const QRect& rect) {
    const QRgb main = MainColour(image, rect);
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += Distance(image.pixel(x, y), main) > 150 ? 1 : 0;
    return ink;
}

// A panel in a screenshot of the main window, checked row by row where the state puts its rows:
// every row that lists an item shows text, the rows below the last item show none, and the
// cursor row alone is the colour of the cursor bar, far from the colour of the empty rows.
::testing::AssertionResult PanelPainted(const std::string& shot, const QJsonObject& state, const char* name) {
    const QImage image = QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32);
    const QJsonObject panel = state.value(name).toObject();
    const QRect rect = RectOf(panel);
    const int rowHeight = panel.value("FItemHeight").toInt();
    if (image.isNull() || rect.isEmpty() || !image.rect().contains(rect) || rowHeight <= 0)
        return ::testing::AssertionFailure() << "no panel " << name << " in " << shot;
    const int rows = rect.height() / rowHeight;
    const int listed = panel.value("Count").toInt() - panel.value("FTopIndex").toInt();
    const int cursor = panel.value("FItemIndex").toInt() - panel.value("FTopIndex").toInt();
    if (listed >= rows)
        return ::testing::AssertionFailure() << name << " has no empty row to compare with";
    const auto row = [&](int r) {
        return QRect(rect.x(), rect.y() + r * rowHeight, rect.width(), rowHeight);
    };
    const QRgb empty = MainColour(image, row(rows - 1));
    for (int r = 0; r < rows; ++r) {
        const int ink = Ink(image, row(r));
        if (r < listed && ink < 8)
            return ::testing::AssertionFailure() << name << " row " << r << " shows no text in " << shot;
        if (r >= listed && ink > 0)
            return ::testing::AssertionFailure()
                   << name << " row " << r << " below the items shows " << ink << " text pixels in " << shot;
        const int fromEmpty = Distance(MainColour(image, row(r)), empty);
        if (r == cursor && fromEmpty < 24)
            return ::testing::AssertionFailure()
                   << name << " shows no cursor bar on row " << r << " in " << shot;
        if (r != cursor && fromEmpty >= 24)
            return ::testing::AssertionFailure()
                   << name << " row " << r << " is coloured like a cursor in " << shot;
    }
    return ::testing::AssertionSuccess();
}

class E2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            // A developer's machine may lack them; the project's test command installs them.
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";

        // Two folders with names whose orders by name, extension and size all differ.
        FLeft = FTree.Folder("files/left");
        FTree.File("files/left/alpha/inner.txt", "in alpha");
        FTree.File("files/left/beta/inner.txt", "in beta");
        FTree.File("files/left/a.zip", std::string(300, 'z'));
        FTree.File("files/left/b.txt", "bbbbb");
        FTree.File("files/left/c.doc", std::string(20, 'c'));
        FRight = FTree.Folder("files/right");
        FTree.Folder("files/right/gamma");
        for (const char* name : {"x1.txt", "x2.txt", "x3.txt"})
            FTree.File(std::string("files/right/") + name, name);

        FKsable = std::make_unique<TKsable>(*FServer, FTree.Folder("home"));
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", FLeft + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", FRight + "/");
    }

    void NoSplash() const { FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0"); }

    // Sends keys and waits until the state shows their effect.
    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    // Tab until panel is the active one (there are two).
    ::testing::AssertionResult MakeActive(const QString& panel) {
        if (FKsable->State().value("ActivePanel").toString() == panel)
            return ::testing::AssertionSuccess();
        return KeysThen({"Tab"}, panel.toStdString() + " active",
                        [&](const QJsonObject& s) { return s.value("ActivePanel").toString() == panel; });
    }

    test::TempTree FTree;
    std::string FLeft, FRight;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(E2ETest, BrowsesMarksSortsAndReopensWhereItWasLeft) {
    NoSplash();
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();

    // Two listed folder panels side by side inside the window.
    {
        const QJsonObject s = ks.State();
        EXPECT_EQ(IntOf(s, "LEFTPANEL", "PanelType"), 1);
        EXPECT_EQ(IntOf(s, "RIGHTPANEL", "PanelType"), 1);
        EXPECT_EQ(PathOf(s, "LEFTPANEL"), FLeft);
        EXPECT_EQ(PathOf(s, "RIGHTPANEL"), FRight);
        EXPECT_EQ(NamesOf(s, "LEFTPANEL"),
                  (std::vector<std::string>{"..", "alpha", "beta", "a.zip", "b.txt", "c.doc"}));
        EXPECT_EQ(NamesOf(s, "RIGHTPANEL"),
                  (std::vector<std::string>{"..", "gamma", "x1.txt", "x2.txt", "x3.txt"}));
        EXPECT_EQ(s.value("LastMessageResult").toInt(), -1);
        const QRect window(0, 0, s.value("Width").toInt(), s.value("Height").toInt());
        const QRect left = RectOf(s.value("LEFTPANEL").toObject());
        const QRect right = RectOf(s.value("RIGHTPANEL").toObject());
        EXPECT_FALSE(left.isEmpty());
        EXPECT_FALSE(right.isEmpty());
        EXPECT_TRUE(window.contains(left) && window.contains(right));
        EXPECT_LT(left.right(), right.left());
    }
    const std::string start = ks.Shot("start");
    ASSERT_FALSE(start.empty()) << ks.Failure();
    EXPECT_TRUE(PanelPainted(start, ks.State(), "LEFTPANEL"));
    EXPECT_TRUE(PanelPainted(start, ks.State(), "RIGHTPANEL"));

    // Tab hands the active panel over; a click on a panel takes it back.
    const std::string first = ks.State().value("ActivePanel").toString().toStdString();
    ASSERT_TRUE(first == "LEFTPANEL" || first == "RIGHTPANEL") << first;
    const std::string second = first == "LEFTPANEL" ? "RIGHTPANEL" : "LEFTPANEL";
    ASSERT_TRUE(KeysThen({"Tab"}, "Tab to the other panel", [&](const QJsonObject& s) {
        return s.value("ActivePanel").toString().toStdString() == second;
    }));
    {
        const QRect panel = RectOf(ks.State().value(first.c_str()).toObject());
        ASSERT_TRUE(ks.Click(panel.center().x(), panel.top() + 4)) << ks.Failure();
        ASSERT_TRUE(ks.WaitFor("the click on " + first, [&](const QJsonObject& s) {
            return s.value("ActivePanel").toString().toStdString() == first;
        })) << ks.Failure();
    }
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(KeysThen({"Home"}, "the cursor on the up-folder",
                         [](const QJsonObject& s) { return CursorOf(s, "LEFTPANEL") == ".."; }));

    // Enter opens a folder; Backspace and Enter on ".." come back with the cursor on it.
    ASSERT_TRUE(KeysThen({"Down", "Down"}, "the cursor on beta",
                         [](const QJsonObject& s) { return CursorOf(s, "LEFTPANEL") == "beta"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "beta opened", [&](const QJsonObject& s) {
        return PathOf(s, "LEFTPANEL") == FLeft + "/beta" &&
               NamesOf(s, "LEFTPANEL") == std::vector<std::string>{"..", "inner.txt"};
    }));
    ASSERT_TRUE(KeysThen({"BackSpace"}, "back from beta", [&](const QJsonObject& s) {
        return PathOf(s, "LEFTPANEL") == FLeft && CursorOf(s, "LEFTPANEL") == "beta";
    }));
    ASSERT_TRUE(KeysThen({"Up", "Return"}, "alpha opened",
                         [&](const QJsonObject& s) { return PathOf(s, "LEFTPANEL") == FLeft + "/alpha"; }));
    ASSERT_TRUE(KeysThen({"Home", "Return"}, "back from alpha through ..", [&](const QJsonObject& s) {
        return PathOf(s, "LEFTPANEL") == FLeft && CursorOf(s, "LEFTPANEL") == "alpha";
    }));

    // Insert marks the cursor item and moves down; Num* inverts every mark but the up-folder's.
    ASSERT_TRUE(KeysThen({"Insert", "Insert", "Insert"}, "three items marked", [](const QJsonObject& s) {
        return MarkedOf(s, "LEFTPANEL") == std::set<std::string>{"alpha", "beta", "a.zip"} &&
               IntOf(s, "LEFTPANEL", "FMarkedCount") == 3 && CursorOf(s, "LEFTPANEL") == "b.txt";
    }));
    EXPECT_FALSE(ks.Shot("marked").empty()) << ks.Failure();
    ASSERT_TRUE(KeysThen({"KP_Multiply"}, "the marks inverted", [](const QJsonObject& s) {
        return MarkedOf(s, "LEFTPANEL") == std::set<std::string>{"b.txt", "c.doc"} &&
               IntOf(s, "LEFTPANEL", "FMarkedCount") == 2;
    }));

    // Ctrl+F2, Ctrl+F3, Ctrl+F1: by extension, by size, by name; both panels follow.
    struct Sort {
        const char* Key;
        int Mode;
        std::vector<std::string> Names;
    };
    const Sort sorts[] = {
        {"ctrl+F2", 2, {"..", "alpha", "beta", "c.doc", "b.txt", "a.zip"}},
        {"ctrl+F3", 3, {"..", "alpha", "beta", "b.txt", "c.doc", "a.zip"}},
        {"ctrl+F1", 1, {"..", "alpha", "beta", "a.zip", "b.txt", "c.doc"}},
    };
    for (const Sort& sort : sorts) {
        SCOPED_TRACE(sort.Key);
        EXPECT_TRUE(
            KeysThen({sort.Key}, std::string("the order after ") + sort.Key, [&](const QJsonObject& s) {
                return IntOf(s, "LEFTPANEL", "PanelSortMode") == sort.Mode &&
                       IntOf(s, "RIGHTPANEL", "PanelSortMode") == sort.Mode &&
                       NamesOf(s, "LEFTPANEL") == sort.Names;
            }));
    }

    // Leave each panel on an item of its own, then close with the close button.
    ASSERT_TRUE(KeysThen({"End"}, "the cursor on c.doc",
                         [](const QJsonObject& s) { return CursorOf(s, "LEFTPANEL") == "c.doc"; }));
    ASSERT_TRUE(KeysThen(
        {"Tab", "Home", "Down", "Down", "Down"}, "the right cursor on x2.txt", [](const QJsonObject& s) {
            return s.value("ActivePanel").toString() == "RIGHTPANEL" && CursorOf(s, "RIGHTPANEL") == "x2.txt";
        }));
    ASSERT_TRUE(ks.ClickControl("BTNCLOSE")) << ks.Failure();
    const std::optional<int> code = ks.WaitExit();
    ASSERT_TRUE(code.has_value()) << "the close button did not end the program";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(WithoutSlash(ks.Setting(ProgramKey + "\\m_lpanel", "ppath").value_or("")), FLeft);
    EXPECT_EQ(ks.Setting(ProgramKey + "\\m_lpanel", "pposit").value_or(""), "c.doc");
    EXPECT_EQ(WithoutSlash(ks.Setting(ProgramKey + "\\m_rpanel", "ppath").value_or("")), FRight);
    EXPECT_EQ(ks.Setting(ProgramKey + "\\m_rpanel", "pposit").value_or(""), "x2.txt");

    // The next start reopens both folders with the same cursor items.
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    const QJsonObject s = ks.State();
    EXPECT_EQ(PathOf(s, "LEFTPANEL"), FLeft);
    EXPECT_EQ(CursorOf(s, "LEFTPANEL"), "c.doc");
    EXPECT_EQ(PathOf(s, "RIGHTPANEL"), FRight);
    EXPECT_EQ(CursorOf(s, "RIGHTPANEL"), "x2.txt");
}

// This run keeps the splash window on.
TEST_F(E2ETest, AltF1AndAltF2OpenTheDriveListInTheirPanel) {
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    EXPECT_EQ(ks.State().value("Dialog").toString().toStdString(), "");

    // Alt+F1 from the right panel: the left panel takes the focus and shows the drives.
    ASSERT_TRUE(MakeActive("RIGHTPANEL"));
    // The drive list counts the drives' sizes while it is built, handling window messages: the
    // list is complete once its cursor stands on one of its items and the hint is shown.
    ASSERT_TRUE(KeysThen({"alt+F1"}, "the left drive list", [](const QJsonObject& s) {
        const std::vector<std::string> names = NamesOf(s, "LEFTPANEL");
        return IntOf(s, "LEFTPANEL", "PanelType") == 0 && s.value("ActivePanel").toString() == "LEFTPANEL" &&
               std::find(names.begin(), names.end(), CursorOf(s, "LEFTPANEL")) != names.end() &&
               s.value("InfoCaption").toString().contains("Choose drive");
    }));
    {
        const QJsonObject s = ks.State();
        const std::vector<std::string> names = NamesOf(s, "LEFTPANEL");
        EXPECT_NE(std::find(names.begin(), names.end(), "/"), names.end())
            << "the root file system is a drive";
        EXPECT_NE(std::find(names.begin(), names.end(), CursorOf(s, "LEFTPANEL")), names.end());
        EXPECT_TRUE(
            s.value("InfoCaption").toString().contains("Choose drive or folder you'd like to work with..."))
            << QJsonDocument(s).toJson().toStdString();
        EXPECT_EQ(IntOf(s, "RIGHTPANEL", "PanelType"), 1);
    }
    EXPECT_FALSE(ks.Shot("drive-list").empty()) << ks.Failure();

    // Enter on the root drive opens it as a folder: its root, or the other panel's folder when
    // that one lies on the same drive.
    const std::vector<std::string> names = NamesOf(ks.State(), "LEFTPANEL");
    const auto root = std::find(names.begin(), names.end(), "/");
    ASSERT_NE(root, names.end());
    std::vector<std::string> keys = {"Home"};
    keys.insert(keys.end(), static_cast<std::size_t>(root - names.begin()), "Down");
    keys.emplace_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the root drive opened", [&](const QJsonObject& s) {
        return IntOf(s, "LEFTPANEL", "PanelType") == 1 &&
               (PathOf(s, "LEFTPANEL") == "/" || PathOf(s, "LEFTPANEL") == FRight);
    }));

    ASSERT_TRUE(KeysThen({"alt+F2"}, "the right drive list", [](const QJsonObject& s) {
        return IntOf(s, "RIGHTPANEL", "PanelType") == 0 && s.value("ActivePanel").toString() == "RIGHTPANEL";
    }));
}

TEST_F(E2ETest, EscapeOnTheDeleteQuestionKeepsTheFolder) {
    NoSplash();
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(KeysThen({"Home", "Down"}, "the cursor on alpha",
                         [](const QJsonObject& s) { return CursorOf(s, "LEFTPANEL") == "alpha"; }));
    ASSERT_TRUE(KeysThen({"F8"}, "the delete dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the question for the folder",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    EXPECT_FALSE(ks.Shot("message-box", true).empty()) << ks.Failure();

    // Yes, No and Abort are offered: Escape answers No.
    ASSERT_TRUE(KeysThen({"Escape"}, "the question answered", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && s.value("LastMessageResult").toInt() != -1;
    }));
    EXPECT_EQ(ks.State().value("LastMessageResult").toInt(), 7);
    EXPECT_TRUE(std::filesystem::exists(FLeft + "/alpha/inner.txt"));
    // The panel still lists it once it has settled.
    ASSERT_TRUE(ks.WaitFor("alpha still listed", [](const QJsonObject& s) {
        const std::vector<std::string> names = NamesOf(s, "LEFTPANEL");
        return std::find(names.begin(), names.end(), "alpha") != names.end();
    })) << ks.Failure();
}

// No window manager runs on the test display: the frameless window handles its title, its
// background drag, Alt+F4 and Alt+M itself.
TEST_F(E2ETest, TitleDragCloseAndMinimiseWithoutAWindowManager) {
    NoSplash();
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    EXPECT_EQ(ks.Title(), "kSable") << "the start-up title outlived the start";

    // Dragged by the background between the panels, the window follows the pointer.
    const QJsonObject before = ks.State();
    const QRect left = RectOf(before.value("LEFTPANEL").toObject());
    const QRect right = RectOf(before.value("RIGHTPANEL").toObject());
    const int x = before.value("X").toInt();
    const int y = before.value("Y").toInt();
    ASSERT_LT(left.right() + 2, right.left());
    ASSERT_TRUE(ks.Drag((left.right() + right.left()) / 2, left.center().y(), 40, 30)) << ks.Failure();
    ASSERT_TRUE(ks.WaitFor("the window moved by the drag", [&](const QJsonObject& s) {
        return s.value("X").toInt() == x + 40 && s.value("Y").toInt() == y + 30;
    })) << ks.Failure();

    // Alt+F4 closes it in order: the folder it shows and its new place are saved.
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(KeysThen({"Home", "Down", "Down", "Return"}, "beta opened",
                         [&](const QJsonObject& s) { return PathOf(s, "LEFTPANEL") == FLeft + "/beta"; }));
    ASSERT_TRUE(ks.Keys({"alt+F4"})) << ks.Failure();
    const std::optional<int> code = ks.WaitExit();
    ASSERT_TRUE(code.has_value()) << "Alt+F4 did not end the program";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(WithoutSlash(ks.Setting(ProgramKey + "\\m_lpanel", "ppath").value_or("")), FLeft + "/beta");
    EXPECT_EQ(ks.Setting(ProgramKey + "\\m_position", "mleft").value_or(""), std::to_string(x + 40));
    EXPECT_EQ(ks.Setting(ProgramKey + "\\m_position", "mtop").value_or(""), std::to_string(y + 30));

    // Alt+M takes the window off the screen, as a window manager minimises it.
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(ks.Viewable());
    ASSERT_TRUE(KeysThen({"alt+m"}, "the window minimised", [](const QJsonObject& s) {
        return s.value("Minimized").toBool() && !s.value("Exposed").toBool();
    }));
    EXPECT_FALSE(ks.Viewable());
}

TEST_F(E2ETest, MarkedFileAndFolderAreDeletedFromDiskAndPanel) {
    NoSplash();
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(KeysThen({"Home", "Down", "Insert", "Down", "Insert"}, "alpha and a.zip marked",
                         [](const QJsonObject& s) {
                             return MarkedOf(s, "LEFTPANEL") == std::set<std::string>{"alpha", "a.zip"};
                         }));
    ASSERT_TRUE(KeysThen({"F8"}, "the delete dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    EXPECT_FALSE(ks.Shot("delete-dialog", true).empty()) << ks.Failure();
    // The focus is on "Delete to recycle bin": Space clears it, Enter deletes for good; the
    // folder holds a file, which is asked about, and Enter answers Yes.
    ASSERT_TRUE(KeysThen({"space", "Return"}, "the question for the folder",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the items deleted", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() &&
               NamesOf(s, "LEFTPANEL") == std::vector<std::string>{"..", "beta", "b.txt", "c.doc"};
    }));
    EXPECT_EQ(ks.State().value("LastMessageResult").toInt(), 6);
    EXPECT_FALSE(std::filesystem::exists(FLeft + "/alpha"));
    EXPECT_FALSE(std::filesystem::exists(FLeft + "/a.zip"));
    EXPECT_TRUE(std::filesystem::exists(FLeft + "/beta/inner.txt"));
    EXPECT_TRUE(MarkedOf(ks.State(), "LEFTPANEL").empty());
    // Nothing went to the Trash.
    EXPECT_FALSE(std::filesystem::exists(FTree.Path() + "/home/.local/share/Trash/files/alpha"));
    const std::string shot = ks.Shot("deleted");
    ASSERT_FALSE(shot.empty()) << ks.Failure();
    EXPECT_TRUE(PanelPainted(shot, ks.State(), "LEFTPANEL"));
}

TEST_F(E2ETest, EnterOpensAZipAsAFolderAndItsItemsShowTheirArchiveDetails) {
    FTree.File("files/zipsrc/docs/readme.txt", "read me");
    const TRunResult zip = e2e::Run({"sh", "-c", "cd \"$0\" && exec zip -qr \"$1\" docs",
                                     FTree.Path() + "/files/zipsrc", FLeft + "/real.zip"},
                                    {});
    ASSERT_EQ(zip.ExitCode, 0) << zip.Out;
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    const std::vector<std::string> names = NamesOf(ks.State(), "LEFTPANEL");
    const auto at = std::find(names.begin(), names.end(), "real.zip");
    ASSERT_NE(at, names.end());
    std::vector<std::string> keys = {"Home"};
    keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
    keys.push_back("Return");
    // The up-folder item names the real folder that holds the archive.
    ASSERT_TRUE(KeysThen(keys, "the archive's root", [&](const QJsonObject& s) {
        const QJsonObject left = s.value("LEFTPANEL").toObject();
        const std::vector<std::string> listed = NamesOf(s, "LEFTPANEL");
        return left.value("PInfo").toString() == "ArchiveZIP: " && listed.size() == 2 &&
               listed[1] == "docs" && WithoutSlash(listed[0]) == FLeft;
    }));
    ASSERT_TRUE(KeysThen({"End", "Return"}, "the folder docs inside", [&](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("PInfo").toString() == "ArchiveZIP: docs/" &&
               NamesOf(s, "LEFTPANEL").size() == 2 && NamesOf(s, "LEFTPANEL")[1] == "docs/readme.txt";
    }));
    ASSERT_TRUE(KeysThen({"End", "ctrl+i"}, "the archive details of readme.txt", [](const QJsonObject& s) {
        const std::vector<std::string> rows = NamesOf(s, "RIGHTPANEL");
        return std::find(rows.begin(), rows.end(), " - archive item details - |") != rows.end() &&
               std::find(rows.begin(), rows.end(), "Host OS: |Unix") != rows.end() &&
               std::find(rows.begin(), rows.end(), "Unpack size: |7 B") != rows.end();
    }));
    EXPECT_FALSE(ks.Shot("archive-details").empty()) << ks.Failure();
    ASSERT_TRUE(KeysThen({"ctrl+i", "Home", "Return", "Home", "Return"}, "back in the folder on the archive",
                         [&](const QJsonObject& s) {
                             return PathOf(s, "LEFTPANEL") == FLeft && CursorOf(s, "LEFTPANEL") == "real.zip";
                         }));
}

TEST_F(E2ETest, EnterOpensATarGzAsAFolder) {
    FTree.File("files/tarsrc/docs/guide.txt", "a guide");
    FTree.File("files/tarsrc/top.txt", "top");
    const TRunResult tar = e2e::Run(
        {"tar", "-czf", FLeft + "/src.tar.gz", "-C", FTree.Path() + "/files/tarsrc", "docs", "top.txt"}, {});
    ASSERT_EQ(tar.ExitCode, 0) << tar.Out;
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    const std::vector<std::string> names = NamesOf(ks.State(), "LEFTPANEL");
    const auto at = std::find(names.begin(), names.end(), "src.tar.gz");
    ASSERT_NE(at, names.end());
    std::vector<std::string> keys = {"Home"};
    keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
    keys.push_back("Return");
    ASSERT_TRUE(KeysThen(keys, "the tarball's root", [](const QJsonObject& s) {
        const std::vector<std::string> listed = NamesOf(s, "LEFTPANEL");
        return s.value("LEFTPANEL").toObject().value("PInfo").toString() == "ArchiveTAR: " &&
               listed.size() == 3 && listed[1] == "docs" && listed[2] == "top.txt";
    }));
    ASSERT_TRUE(KeysThen({"Home", "Down", "Return"}, "the folder docs inside", [](const QJsonObject& s) {
        const std::vector<std::string> listed = NamesOf(s, "LEFTPANEL");
        return s.value("LEFTPANEL").toObject().value("PInfo").toString() == "ArchiveTAR: docs/" &&
               listed.size() == 2 && listed[1] == "docs/guide.txt";
    }));
    const std::string shot = ks.Shot("tar-gz-folder");
    ASSERT_FALSE(shot.empty()) << ks.Failure();
    EXPECT_TRUE(PanelPainted(shot, ks.State(), "LEFTPANEL"));
}

} // namespace
} // namespace ks::e2e
