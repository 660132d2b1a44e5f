// An FTP server in a panel of the real program on a virtual X display: Ctrl+F and the stored
// connection list, walking a server folder, deleting on the server, the status window, and a
// server that stops answering.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "support/FtpServers.h"
#include "support/ScriptedFtpServer.h"
#include "support/TempTree.h"

namespace ks::e2e {
namespace {

using test::TFtpServer;
using test::TFtpServerKind;
using test::TScriptedFtpServer;

const std::string ProgramKey = "Software\\delta9\\[sable!]";

std::vector<std::string> NamesOf(const QJsonObject& state) {
    return Strings(state.value("LEFTPANEL").toObject().value("Names"));
}

bool Lists(const QJsonObject& state, const std::string& name) {
    const std::vector<std::string> names = NamesOf(state);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string PathLine(const QJsonObject& state) {
    return state.value("LEFTPANEL").toObject().value("PInfo").toString().toStdString();
}

class FtpE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";
        FLocal = FTree.Folder("files/local");
        FKsable = std::make_unique<TKsable>(*FServer, FTree.Folder("home"));
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_settings", "musermode", "4");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", FLocal + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", FLocal + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
    }

    void StoreConnection(const std::string& host, int port) {
        FKsable->SetSetting(ProgramKey + "\\m_ftplist", "linescount", "0");
        FKsable->SetSetting(ProgramKey + "\\m_ftplist", "line0",
                            "test server|" + host + "|" + std::to_string(port) + "|" + TFtpServer::User +
                                "|" + TFtpServer::Password + "|0||3128|1");
    }

    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate,
                                        int ms = 15000) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate, ms))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult CursorTo(const std::string& name) {
        const std::vector<std::string> names = NamesOf(FKsable->State());
        const auto at = std::find(names.begin(), names.end(), name);
        if (at == names.end())
            return ::testing::AssertionFailure() << "the panel does not list " << name;
        std::vector<std::string> keys = {"Home"};
        keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
        return KeysThen(keys, "the cursor on " + name, [&](const QJsonObject& s) {
            return s.value("LEFTPANEL").toObject().value("CursorName").toString().toStdString() == name;
        });
    }

    ::testing::AssertionResult Connect() {
        if (auto opened =
                KeysThen({"ctrl+f"}, "the connection list",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "FTPLoginForm"; });
            !opened)
            return opened;
        FKsable->Shot("ftp-connection-list", true);
        return KeysThen({"Return"}, "the server's root in the left panel",
                        [](const QJsonObject& s) { return PathLine(s) == "FTP: /" && Lists(s, "docs"); });
    }

    test::TempTree FTree;
    std::string FLocal;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(FtpE2ETest, ConnectsWalksDeletesAndShowsTheStatusWindow) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    std::filesystem::create_directories(server.Root() + "/docs/old");
    std::ofstream(server.Root() + "/docs/old/notes.txt") << "notes";
    std::ofstream(server.Root() + "/docs/read me.txt") << "hello";
    std::ofstream(server.Root() + "/index.html") << "<html>";
    StoreConnection(server.Host(), server.Port());
    ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();

    ASSERT_TRUE(Connect());
    ASSERT_TRUE(FKsable->WaitFor("the status window with the session's lines", [](const QJsonObject& s) {
        const QJsonObject status = s.value("FtpStatus").toObject();
        return status.value("Visible").toBool() && status.value("Lines").toInt() > 5;
    })) << FKsable->Failure();
    FKsable->Shot("ftp-root-and-status", true);
    // The status window opens over the left panel's top; moved aside, the listing shows.
    FKsable->XDo({"search", "--name", "^FTP status$", "windowmove", "%@", "300", "650"});

    // ".FTP" on the command line sends its line to the server as typed.
    ASSERT_TRUE(KeysThen({"period", "f", "t", "p", "space", "N", "O", "O", "P", "Return"},
                         "the server's answer to NOOP in the command line", [](const QJsonObject& s) {
                             return s.value("InfoCaption").toString().startsWith("200 ");
                         }));
    ASSERT_TRUE(CursorTo("docs"));
    ASSERT_TRUE(KeysThen({"Return"}, "the docs folder of the server", [](const QJsonObject& s) {
        return PathLine(s) == "FTP: /docs" && Lists(s, "read me.txt") && Lists(s, "old");
    }));
    FKsable->Shot("ftp-docs", true);

    // F8 on a folder with contents: the delete dialog, then the folder question.
    ASSERT_TRUE(CursorTo("old"));
    ASSERT_TRUE(KeysThen({"F8"}, "the delete dialog",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the folder question",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    FKsable->Shot("ftp-delete-question", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the folder gone from the server", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && !Lists(s, "old");
    }));
    EXPECT_FALSE(std::filesystem::exists(server.Root() + "/docs/old"));
    EXPECT_TRUE(std::filesystem::exists(server.Root() + "/docs/read me.txt"));

    // Up again, the cursor on the folder left.
    ASSERT_TRUE(CursorTo(".."));
    ASSERT_TRUE(KeysThen({"Return"}, "the root with the cursor on docs", [](const QJsonObject& s) {
        return PathLine(s) == "FTP: /" &&
               s.value("LEFTPANEL").toObject().value("CursorName").toString() == "docs";
    }));
    // The password never shows; the last line is the server's answer to the last command.
    EXPECT_EQ(FKsable->State().value("FtpStatus").toObject().value("Last").toString().left(3), "257");
    // Leaving the server's root brings back the folder on this disk.
    ASSERT_TRUE(CursorTo(".."));
    ASSERT_TRUE(KeysThen({"Return"}, "the local folder again", [&](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 1;
    }));
}

TEST_F(FtpE2ETest, AServerThatStopsAnsweringNeverFreezesTheWindow) {
    TScriptedFtpServer server;
    server.Send("220 ready\r\n");
    server.Expect("USER").Send("331 pw\r\n");
    server.Expect("PASS").Send("230 in\r\n");
    server.Expect("SYST").Hang();
    server.Start();
    StoreConnection(server.Host(), server.Port());
    FKsable->SetSetting(ProgramKey, "SettingsFtpReplyTimeout", "3");
    ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    ASSERT_TRUE(KeysThen({"ctrl+f"}, "the connection list", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "FTPLoginForm";
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "the wait for SYST in the status window", [](const QJsonObject& s) {
        return s.value("FtpStatus").toObject().value("Last").toString() == "SYST";
    }));
    // The window goes on answering while the panel waits: the other panel takes the focus.
    ASSERT_TRUE(
        KeysThen({"Tab"}, "the right panel active while the left one waits",
                 [](const QJsonObject& s) { return s.value("ActivePanel").toString() == "RIGHTPANEL"; }));
    ASSERT_TRUE(FKsable->WaitFor("the time-out message", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "MessageForm";
    })) << FKsable->Failure();
    FKsable->Shot("ftp-timeout", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the panel back on its folder", [&](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() &&
               s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 1;
    }));
    EXPECT_EQ(server.Finish(), "");
}

TEST_F(FtpE2ETest, EscEndsAWaitAtOnce) {
    TScriptedFtpServer server;
    server.Send("220 ready\r\n");
    server.Expect("USER").Send("331 pw\r\n");
    server.Expect("PASS").Hang();
    server.Start();
    StoreConnection(server.Host(), server.Port());
    ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    ASSERT_TRUE(KeysThen({"ctrl+f"}, "the connection list", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "FTPLoginForm";
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "the wait for the password's answer", [](const QJsonObject& s) {
        return s.value("FtpStatus").toObject().value("Last").toString() == "PASS ****";
    }));
    // The reply limit is 30 s; Esc ends the wait long before it.
    ASSERT_TRUE(KeysThen(
        {"Escape"}, "the panel back on its folder",
        [](const QJsonObject& s) { return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 1; },
        5000));
    EXPECT_EQ(server.Finish(), "");
}

} // namespace
} // namespace ks::e2e
