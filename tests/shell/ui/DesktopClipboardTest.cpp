// The desktop's clipboard between this process and a second program (ks_clipboard_peer, Qt
// alone) on an X server of the tests' own.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Harness.h"
#include "shell/ui/DesktopClipboard.h"
#include "support/Process.h"
#include "support/TempTree.h"
#include "support/X11Display.h"

namespace ks {
namespace {

using TClock = std::chrono::steady_clock;

const std::string Peer = std::string(KS_BIN_DIR) + "/ks_clipboard_peer";

// Runs the event loop a tick at a time until done holds or ms pass; whether it held.
template <typename TDone> bool SpinUntil(TDone done, int ms = 10000) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (TClock::now() >= deadline)
            return false;
        QEventLoop tick;
        QTimer::singleShot(10, &tick, &QEventLoop::quit);
        tick.exec();
    }
    return true;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of a gnome-copied-files text read without kSable's code: its first line, then
// each "file://" URI percent-decoded.
std::vector<std::string> DecodedLines(const std::string& text, std::string& header) {
    std::vector<std::string> names;
    std::stringstream lines(text);
    std::string line;
    std::getline(lines, header);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("file://", 0) == 0)
            names.push_back(
                QByteArray::fromPercentEncoding(QByteArray::fromStdString(line.substr(7))).toStdString());
        else
            names.push_back("not a file URI: " + line);
    }
    return names;
}

class DesktopClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::X11Display().empty()) {
            if (e2e::E2ERequired())
                FAIL() << test::X11Missing() << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << test::X11Missing();
        }
    }

    std::vector<std::string> PeerEnv() const {
        return {"DISPLAY=" + test::X11Display(), "QT_QPA_PLATFORM=xcb"};
    }

    // The peer's `get`, while this process's event loop answers its requests for our data.
    test::TRunResult PeerGet(const std::string& format = {}) {
        std::vector<std::string> argv = {Peer, "get"};
        if (!format.empty())
            argv.push_back(format);
        test::TRunResult result;
        std::atomic<bool> done = false;
        std::thread runner([&] {
            result = test::Run(argv, PeerEnv(), 15000);
            done = true;
        });
        SpinUntil([&] { return done.load(); }, 20000);
        runner.join();
        return result;
    }

    // Starts the peer owning the clipboard with names; true once it said so.
    bool PeerPut(test::TProcess& peer, const std::string& command, bool cut,
                 const std::vector<std::string>& names) {
        const std::string log = FTree / ("peer" + std::to_string(++FPeers) + ".log");
        std::vector<std::string> argv = {Peer, command, cut ? "cut" : "copy"};
        argv.insert(argv.end(), names.begin(), names.end());
        if (!peer.Start(argv, PeerEnv(), log))
            return false;
        const bool ready = SpinUntil([&] { return ReadAll(log).find("ready\n") != std::string::npos; });
        EXPECT_TRUE(ready) << ReadAll(log);
        return ready;
    }

    // What TakeForeign gives once the peer's ownership has reached this process.
    std::optional<TClipboardItems> WaitForeign(TDesktopClipboard& clipboard) {
        std::optional<TClipboardItems> items;
        SpinUntil([&] {
            items = clipboard.TakeForeign();
            return items.has_value();
        });
        return items;
    }

    test::TempTree FTree;
    int FPeers = 0;
};

TEST_F(DesktopClipboardTest, AnotherProgramReadsWhatWasPut) {
    const std::string base = FTree.Path();
    const std::vector<std::string> names = {base + "/a b.txt", base + "/\xff\xfe raw", base + "/sub/#%?"};
    TDesktopClipboard clipboard;
    for (const bool cut : {true, false}) {
        SCOPED_TRACE(cut);
        clipboard.Put(names, cut);
        const test::TRunResult gnome = PeerGet();
        ASSERT_EQ(gnome.ExitCode, 0);
        std::string header;
        EXPECT_EQ(DecodedLines(gnome.Out, header), names);
        EXPECT_EQ(header, cut ? "cut" : "copy");

        const test::TRunResult uris = PeerGet("text/uri-list");
        ASSERT_EQ(uris.ExitCode, 0);
        EXPECT_EQ(DecodedLines("header\n" + uris.Out, header), names);
        EXPECT_EQ(uris.Out.substr(uris.Out.size() - 2), "\r\n");
        EXPECT_EQ(PeerGet("application/x-kde-cutselection").Out, cut ? "1" : "0");
        EXPECT_EQ(PeerGet("text/plain").Out.substr(0, base.size() + 9), base + "/a b.txt\n");
    }
}

TEST_F(DesktopClipboardTest, FilesAnotherProgramPutAfterOursArePasted) {
    const std::string base = FTree.Path();
    const std::vector<std::string> names = {base + "/with  spaces ", base + "/\x80\xff latin-1 \xe9",
                                            base + "/line\nbreak"};
    TDesktopClipboard clipboard;
    clipboard.Put({base + "/ours"}, false);
    struct Case {
        const char* Command;
        bool Cut;
    };
    // The second form is what a file manager without the gnome text offers.
    for (const Case& c : {Case{"put", true}, Case{"put", false}, Case{"put-uri-list", true}}) {
        SCOPED_TRACE(std::string(c.Command) + (c.Cut ? " cut" : " copy"));
        test::TProcess peer;
        ASSERT_TRUE(PeerPut(peer, c.Command, c.Cut, names));
        const std::optional<TClipboardItems> items = WaitForeign(clipboard);
        ASSERT_TRUE(items);
        EXPECT_EQ(items->Names, names);
        EXPECT_EQ(items->Cut, c.Cut);
        // The clipboard keeps them: a second paste gets the same.
        const std::optional<TClipboardItems> again = clipboard.TakeForeign();
        ASSERT_TRUE(again);
        EXPECT_EQ(again->Names, names);
        // Our next copy takes the clipboard back; the peer sees it go.
        clipboard.Put({base + "/ours"}, false);
        EXPECT_FALSE(clipboard.TakeForeign());
        std::optional<int> exit;
        SpinUntil([&] { return (exit = peer.WaitExit(0)).has_value(); });
        EXPECT_EQ(exit, 0);
    }
}

TEST_F(DesktopClipboardTest, OurOwnCopyIsNotTakenForAnotherProgramsAndFilesFromBeforeTheStartAre) {
    const std::string base = FTree.Path();
    test::TProcess peer;
    ASSERT_TRUE(PeerPut(peer, "put", false, {base + "/theirs"}));
    // A clipboard made after the other program copied: its files count.
    TDesktopClipboard clipboard;
    const std::optional<TClipboardItems> items = WaitForeign(clipboard);
    ASSERT_TRUE(items);
    EXPECT_EQ(items->Names, std::vector<std::string>{base + "/theirs"});

    clipboard.Put({base + "/ours"}, true);
    EXPECT_FALSE(clipboard.TakeForeign());
    std::optional<int> exit;
    SpinUntil([&] { return (exit = peer.WaitExit(0)).has_value(); });
    EXPECT_EQ(exit, 0);
    // Events that follow our own change (the owner notices) leave it ours.
    int ticks = 0;
    SpinUntil([&] { return ++ticks > 10; });
    EXPECT_FALSE(clipboard.TakeForeign());
    std::string header;
    EXPECT_EQ(DecodedLines(PeerGet().Out, header), std::vector<std::string>{base + "/ours"});
    EXPECT_EQ(header, "cut");
}

} // namespace
} // namespace ks
