// Copying and moving in the real program on a virtual X display: the copy dialog, the progress
// window, the background strip, the questions of a job, closing while a job runs, dragging from
// one panel onto the other, and the desktop's clipboard shared with another program.

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "support/TempTree.h"

namespace ks::e2e {
namespace {

const std::string ProgramKey = "Software\\delta9\\[sable!]";
// The window names the state reports for the open modal window.
const QString CopyDialog = QStringLiteral("CopyFilesForm");
const QString ProgressWindow = QStringLiteral("CopyProgressForm");
const QString MessageBox = QStringLiteral("MessageForm");

std::vector<std::string> NamesOf(const QJsonObject& state, const char* panel) {
    return Strings(state.value(panel).toObject().value("Names"));
}

bool Lists(const QJsonObject& state, const char* panel, const std::string& name) {
    const std::vector<std::string> names = NamesOf(state, panel);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::set<std::string> MarkedOf(const QJsonObject& state, const char* panel) {
    const std::vector<std::string> marked = Strings(state.value(panel).toObject().value("Marked"));
    return {marked.begin(), marked.end()};
}

QString DialogOf(const QJsonObject& state) {
    return state.value("Dialog").toString();
}

QJsonArray JobsOf(const QJsonObject& state) {
    return state.value("Copy").toObject().value("Jobs").toArray();
}

QJsonObject ProgressOf(const QJsonObject& state) {
    return state.value("Copy").toObject().value("ProgressWindow").toObject();
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes of the regular files below folder, and whether a partial copy is among them.
std::uintmax_t TreeBytes(const std::string& folder, bool* partial = nullptr) {
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        bytes += it->file_size(error);
        if (partial != nullptr && it->path().filename().string().rfind(".kS-", 0) == 0)
            *partial = true;
    }
    return bytes;
}

class CopyE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";
        FLeft = FTree.Folder("files/left");
        FRight = FTree.Folder("files/right");
        FKsable = std::make_unique<TKsable>(*FServer, FTree.Folder("home"));
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", FLeft + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", FRight + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
    }

    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate,
                                        int ms = 15000) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate, ms))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult MakeActive(const QString& panel) {
        if (FKsable->State().value("ActivePanel").toString() == panel)
            return ::testing::AssertionSuccess();
        return KeysThen({"Tab"}, panel.toStdString() + " active",
                        [&](const QJsonObject& s) { return s.value("ActivePanel").toString() == panel; });
    }

    // Moves the cursor of the active panel onto name.
    ::testing::AssertionResult CursorTo(const char* panel, const std::string& name) {
        const std::vector<std::string> names = NamesOf(FKsable->State(), panel);
        const auto at = std::find(names.begin(), names.end(), name);
        if (at == names.end())
            return ::testing::AssertionFailure() << panel << " does not list " << name;
        std::vector<std::string> keys = {"Home"};
        keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
        return KeysThen(keys, "the cursor on " + name, [&](const QJsonObject& s) {
            return s.value(panel).toObject().value("CursorName").toString().toStdString() == name;
        });
    }

    // A folder of count files of size bytes each, real data on the disk (holes would be skipped).
    void BigFolder(const std::string& folder, int count, std::size_t size) {
        const std::string data(size, 'k');
        for (int i = 0; i < count; ++i)
            FTree.File(folder + "/part" + std::to_string(100 + i) + ".bin", data);
    }

    // F5 on the cursor item into the other panel's folder, sent to the background once it copies.
    ::testing::AssertionResult CopyToBackground(std::size_t jobsBefore) {
        if (auto r = KeysThen({"F5"}, "the copy dialog",
                              [](const QJsonObject& s) { return DialogOf(s) == CopyDialog; });
            !r)
            return r;
        if (auto r = KeysThen({"Return"}, "the job copying",
                              [&](const QJsonObject& s) {
                                  const QJsonArray jobs = JobsOf(s);
                                  return DialogOf(s) == ProgressWindow &&
                                         static_cast<std::size_t>(jobs.size()) == jobsBefore + 1 &&
                                         jobs.last().toObject().value("BytesDone").toDouble() > 0;
                              });
            !r)
            return r;
        return KeysThen({"alt+b"}, "the job in the background", [&](const QJsonObject& s) {
            return DialogOf(s).isEmpty() && !s.value("Copy").toObject().value("BackOp").isNull() &&
                   static_cast<std::size_t>(JobsOf(s).size()) == jobsBefore + 1;
        });
    }

    // Clicks button on row of the strip: in the priority column or on the bar.
    bool ClickStrip(int row, bool onPriority, int button) {
        const QRect strip = RectOf(FKsable->State().value("Copy").toObject().value("BackOpRows").toObject());
        const int x = strip.x() + (onPriority ? 14 : strip.width() / 2);
        const int y = strip.y() + 16 * row + 8;
        return FKsable->XDo(
            {"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
    }

    test::TempTree FTree;
    std::string FLeft, FRight;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(CopyE2ETest, F5CopiesMarkedFilesAndF6MovesATree) {
    FTree.File("files/left/a.txt", "alpha");
    FTree.File("files/left/b.txt", "beta");
    FTree.File("files/left/c.txt", "gamma");
    FTree.File("files/left/tree/top.txt", "top");
    FTree.File("files/left/tree/sub/deep.txt", "deep");
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));

    ASSERT_TRUE(CursorTo("LEFTPANEL", "a.txt"));
    ASSERT_TRUE(KeysThen({"Insert", "Insert"}, "a.txt and b.txt marked", [](const QJsonObject& s) {
        return MarkedOf(s, "LEFTPANEL") == std::set<std::string>{"a.txt", "b.txt"};
    }));
    ASSERT_TRUE(
        KeysThen({"F5"}, "the copy dialog", [](const QJsonObject& s) { return DialogOf(s) == CopyDialog; }));
    EXPECT_FALSE(ks.Shot("copy-dialog", true).empty()) << ks.Failure();
    ASSERT_TRUE(KeysThen({"Return"}, "both files copied and unmarked", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && Lists(s, "RIGHTPANEL", "a.txt") && Lists(s, "RIGHTPANEL", "b.txt") &&
               MarkedOf(s, "LEFTPANEL").empty();
    }));
    EXPECT_EQ(Contents(FRight + "/a.txt"), "alpha");
    EXPECT_EQ(Contents(FRight + "/b.txt"), "beta");
    EXPECT_FALSE(std::filesystem::exists(FRight + "/c.txt"));
    EXPECT_TRUE(std::filesystem::exists(FLeft + "/a.txt"));

    ASSERT_TRUE(CursorTo("LEFTPANEL", "tree"));
    ASSERT_TRUE(
        KeysThen({"F6"}, "the move dialog", [](const QJsonObject& s) { return DialogOf(s) == CopyDialog; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the tree moved", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && Lists(s, "RIGHTPANEL", "tree") && !Lists(s, "LEFTPANEL", "tree");
    }));
    EXPECT_EQ(Contents(FRight + "/tree/sub/deep.txt"), "deep");
    EXPECT_EQ(Contents(FRight + "/tree/top.txt"), "top");
    EXPECT_FALSE(std::filesystem::exists(FLeft + "/tree"));
}

TEST_F(CopyE2ETest, ExistingTargetsAskOnceWhenYesToAllIsAnswered) {
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"}) {
        FTree.File(std::string("files/left/") + name, std::string("new ") + name);
        FTree.File(std::string("files/right/") + name, "old");
    }
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(CursorTo("LEFTPANEL", "x1.txt"));
    ASSERT_TRUE(KeysThen({"Insert", "Insert", "Insert"}, "three files marked",
                         [](const QJsonObject& s) { return MarkedOf(s, "LEFTPANEL").size() == 3; }));
    ASSERT_TRUE(
        KeysThen({"F5"}, "the copy dialog", [](const QJsonObject& s) { return DialogOf(s) == CopyDialog; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the overwrite question",
                         [](const QJsonObject& s) { return DialogOf(s) == MessageBox; }));
    EXPECT_FALSE(ks.Shot("copy-question", true).empty()) << ks.Failure();
    // "Yes to &all": the other two are overwritten without a question, so the job ends by itself.
    ASSERT_TRUE(KeysThen({"alt+a"}, "the job done", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && JobsOf(s).isEmpty() && MarkedOf(s, "LEFTPANEL").empty();
    }));
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"})
        EXPECT_EQ(Contents(FRight + "/" + name), std::string("new ") + name);
}

// The copy runs with the smallest copy buffer setting (64-byte chunks), so that it lasts long
// enough to be watched and handled on any disk.
TEST_F(CopyE2ETest, BigCopyShowsProgressAndRunsInTheStripUntilCancelled) {
    FKsable->SetSetting(ProgramKey, "SettingsMaxCopyBufferSize", "0");
    FKsable->SetSetting(ProgramKey, "SettingsAutoClosingBackOpsWindow", "1");
    // 108 files of 10,000,000 bytes: a little over 1 GiB, each small enough for the setting's chunk.
    BigFolder("files/left/big", 108, 10'000'000);
    BigFolder("files/left/more", 20, 10'000'000);
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(CursorTo("LEFTPANEL", "big"));

    ASSERT_TRUE(
        KeysThen({"F5"}, "the copy dialog", [](const QJsonObject& s) { return DialogOf(s) == CopyDialog; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the progress window with times and speed", [](const QJsonObject& s) {
        const QJsonObject p = ProgressOf(s);
        return DialogOf(s) == ProgressWindow && p.value("TotalProgress").toInt() > 0 &&
               p.value("TotalAverageSpeedLabel").toString().endsWith("/s") &&
               p.value("TotalElapsedLabel").toString().contains(':');
    }));
    const int firstPosition = ProgressOf(ks.State()).value("TotalProgress").toInt();
    EXPECT_FALSE(ks.Shot("copy-progress", true).empty()) << ks.Failure();
    ASSERT_TRUE(ks.WaitFor("the bar moving", [&](const QJsonObject& s) {
        return ProgressOf(s).value("TotalProgress").toInt() > firstPosition;
    })) << ks.Failure();
    EXPECT_NE(ProgressOf(ks.State()).value("TotalRemainingLabel").toString(), "-");

    // Background: the strip shows the job; a second job makes a second row.
    ASSERT_TRUE(KeysThen({"alt+b"}, "the job in the background", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && !s.value("Copy").toObject().value("BackOp").isNull() &&
               JobsOf(s).size() == 1;
    }));
    ASSERT_TRUE(CursorTo("LEFTPANEL", "more"));
    ASSERT_TRUE(CopyToBackground(1));
    ASSERT_TRUE(ks.WaitFor("two rows", [](const QJsonObject& s) {
        return RectOf(s.value("Copy").toObject().value("BackOpRows").toObject()).height() == 32;
    })) << ks.Failure();

    // A left click on the first row suspends its job: it stops growing.
    ASSERT_TRUE(ClickStrip(0, false, 1)) << ks.Failure();
    ASSERT_TRUE(ks.WaitFor("the first job suspended", [](const QJsonObject& s) {
        return JobsOf(s).size() == 2 && JobsOf(s)[0].toObject().value("Suspended").toBool();
    })) << ks.Failure();
    EXPECT_FALSE(ks.Shot("copy-strip", true).empty()) << ks.Failure();
    {
        // The state marks: red for the suspended job, green for the running one.
        const QRect rows = RectOf(ks.State().value("Copy").toObject().value("BackOpRows").toObject());
        const std::string shot = ks.Shot("copy-strip-rows", rows);
        ASSERT_FALSE(shot.empty()) << ks.Failure();
        const QImage image = QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), rows.size());
        const QRgb suspended = image.pixel(6, 8);
        const QRgb running = image.pixel(6, 16 + 8);
        EXPECT_TRUE(qRed(suspended) > 200 && qGreen(suspended) < 60) << std::hex << suspended;
        EXPECT_TRUE(qGreen(running) > 100 && qRed(running) < 60) << std::hex << running;
    }
    // The job stops between chunks of 64 bytes; once its counter has kept still over two state
    // reports, the disk must keep still too.
    double done = JobsOf(ks.State())[0].toObject().value("BytesDone").toDouble();
    ASSERT_TRUE(ks.WaitFor("the counter still", [&](const QJsonObject& s) {
        const double now = JobsOf(s)[0].toObject().value("BytesDone").toDouble();
        const bool still = now == done;
        done = now;
        return still;
    })) << ks.Failure();
    const std::uintmax_t suspendedBytes = TreeBytes(FRight + "/big");
    const double secondDone = JobsOf(ks.State())[1].toObject().value("BytesDone").toDouble();
    ASSERT_TRUE(ks.WaitFor("the second job going on", [&](const QJsonObject& s) {
        return JobsOf(s).size() == 2 &&
               JobsOf(s)[1].toObject().value("BytesDone").toDouble() > secondDone + 1e6;
    })) << ks.Failure();
    EXPECT_EQ(TreeBytes(FRight + "/big"), suspendedBytes) << "a suspended job kept writing";

    // A right click on the second row cancels that job; the first stays.
    ASSERT_TRUE(ClickStrip(1, false, 3)) << ks.Failure();
    ASSERT_TRUE(ks.WaitFor("the second job gone", [](const QJsonObject& s) { return JobsOf(s).size() == 1; }))
        << ks.Failure();
    bool partial = false;
    TreeBytes(FRight + "/more", &partial);
    EXPECT_FALSE(partial) << "the cancelled job left a partial copy";

    // Closing asks first: Cancel keeps the job running, OK ends it and closes.
    ASSERT_TRUE(KeysThen({"alt+F4"}, "the close question",
                         [](const QJsonObject& s) { return DialogOf(s) == MessageBox; }));
    EXPECT_FALSE(ks.Shot("close-question", true).empty()) << ks.Failure();
    ASSERT_TRUE(KeysThen({"Escape"}, "the question closed",
                         [](const QJsonObject& s) { return DialogOf(s).isEmpty(); }));
    ASSERT_EQ(JobsOf(ks.State()).size(), 1);
    ASSERT_TRUE(ClickStrip(0, false, 1)) << ks.Failure(); // resumed
    ASSERT_TRUE(ks.WaitFor("the first job running", [](const QJsonObject& s) {
        return JobsOf(s).size() == 1 && !JobsOf(s)[0].toObject().value("Suspended").toBool();
    })) << ks.Failure();
    ASSERT_TRUE(KeysThen({"alt+F4"}, "the close question again",
                         [](const QJsonObject& s) { return DialogOf(s) == MessageBox; }));
    ASSERT_TRUE(ks.Keys({"alt+o"})) << ks.Failure();
    const std::optional<int> code = ks.WaitExit();
    ASSERT_TRUE(code.has_value()) << "OK did not close the program";
    EXPECT_EQ(*code, 0);
    partial = false;
    const std::uintmax_t copied = TreeBytes(FRight + "/big", &partial);
    EXPECT_FALSE(partial);
    EXPECT_LT(copied, TreeBytes(FLeft + "/big"));
}

TEST_F(CopyE2ETest, DraggingAFileOntoTheOtherPanelCopiesIt) {
    FKsable->SetSetting(ProgramKey, "SettingsDragNDropEnable", "1");
    FTree.File("files/left/dragme.txt", "dragged");
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(CursorTo("LEFTPANEL", "dragme.txt"));
    const QJsonObject state = ks.State();
    const QJsonObject left = state.value("LEFTPANEL").toObject();
    const QRect leftRect = RectOf(left);
    const QRect rightRect = RectOf(state.value("RIGHTPANEL").toObject());
    const int rowHeight = left.value("FItemHeight").toInt();
    const int row = left.value("FItemIndex").toInt() - left.value("FTopIndex").toInt();
    const int x = state.value("X").toInt() + leftRect.x() + leftRect.width() / 2;
    const int y = state.value("Y").toInt() + leftRect.y() + row * rowHeight + rowHeight / 2;
    const int toX = state.value("X").toInt() + rightRect.center().x();
    std::vector<std::string> drag = {"mousemove",       "--sync",    std::to_string(x),
                                     std::to_string(y), "mousedown", "1"};
    // The drag starts where the pointer leaves the panel sideways; then it travels over the other
    // panel in steps, as a hand would, before the button is let go.
    for (int step = 1; step <= 8; ++step) {
        drag.insert(drag.end(), {"mousemove", "--sync", std::to_string(x + (toX - x) * step / 8),
                                 std::to_string(y), "sleep", "0.05"});
    }
    drag.insert(drag.end(), {"mouseup", "1"});
    ASSERT_TRUE(ks.XDo(drag)) << ks.Failure();
    ASSERT_TRUE(ks.WaitFor("the file copied", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && Lists(s, "RIGHTPANEL", "dragme.txt");
    })) << ks.Failure();
    EXPECT_EQ(Contents(FRight + "/dragme.txt"), "dragged");
    EXPECT_TRUE(std::filesystem::exists(FLeft + "/dragme.txt"));
}

// Another program on the display (Qt alone, none of kSable's code) reads what Ctrl+C put on the
// desktop's clipboard, then cuts a file of its own, which Ctrl+V in kSable moves.
TEST_F(CopyE2ETest, TheDesktopClipboardGoesBothWaysWithAnotherProgram) {
    FTree.File("files/left/one file.txt", "one");
    const std::string elsewhere = FTree.File("elsewhere/moved.txt", "moved");
    TKsable& ks = *FKsable;
    ASSERT_TRUE(ks.Start()) << ks.Failure();
    ASSERT_TRUE(MakeActive("LEFTPANEL"));
    ASSERT_TRUE(CursorTo("LEFTPANEL", "one file.txt"));
    ASSERT_TRUE(KeysThen({"ctrl+c"}, "the item clipboard filled", [](const QJsonObject& s) {
        return s.value("Copy").toObject().value("ClipboardItems").toInt() == 1;
    }));
    const std::vector<std::string> display = {"DISPLAY=" + FServer->Display()};
    const TRunResult got = e2e::Run({KS_BIN_DIR "/ks_clipboard_peer", "get"}, display);
    ASSERT_EQ(got.ExitCode, 0) << got.Out;
    EXPECT_EQ(got.Out, "copy\nfile://" + FLeft + "/one%20file.txt");

    // The other program cuts a file after kSable's own Ctrl+C: Ctrl+V in the right panel moves it.
    const std::string peerLog = FTree.Path() + "/peer.log";
    TProcess peer;
    ASSERT_TRUE(peer.Start({KS_BIN_DIR "/ks_clipboard_peer", "put", "cut", elsewhere}, display, peerLog));
    ASSERT_TRUE(ks.WaitFor("the other program owning the clipboard", [&](const QJsonObject&) {
        return Contents(peerLog).find("ready") != std::string::npos;
    })) << ks.Failure();
    ASSERT_TRUE(MakeActive("RIGHTPANEL"));
    ASSERT_TRUE(KeysThen({"ctrl+v"}, "the cut file moved here", [](const QJsonObject& s) {
        return DialogOf(s).isEmpty() && Lists(s, "RIGHTPANEL", "moved.txt");
    }));
    EXPECT_EQ(Contents(FRight + "/moved.txt"), "moved");
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
    EXPECT_FALSE(std::filesystem::exists(FRight + "/one file.txt"));
}

} // namespace
} // namespace ks::e2e
