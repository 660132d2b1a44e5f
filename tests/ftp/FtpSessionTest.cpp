// The FTP session against a scripted server on the loopback address: the replies real servers
// rarely send, servers that stop answering or never open the data connection, and hostile ones.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/MessageBox.h"
#include "ftp/FtpSession.h"
#include "platform/LinuxNetwork.h"
#include "support/ScriptedFtpServer.h"

namespace ks {
namespace {

using test::TScriptedFtpServer;

// A session with short limits whose status lines are kept.
struct TSessionRig {
    TKLinuxNetwork Network;
    TFtpSession Session{Network, [] { return std::int64_t{1700000000} * 1000000000; }};
    std::vector<std::string> Status;
    std::vector<std::string> Asked;
    std::function<int()> Answer = [] { return mrAbort; };
    std::function<bool(std::string&)> Prompt = [](std::string&) { return false; };
    int Pumps = 0;
    int CancelAfterPumps = -1;

    explicit TSessionRig(int limitMs = 5000) {
        TRemoteHooks hooks;
        hooks.OnStatus = [this](const std::string& line) { Status.push_back(line); };
        hooks.Pump = [this] { ++Pumps; };
        hooks.Cancelled = [this] { return CancelAfterPumps >= 0 && Pumps >= CancelAfterPumps; };
        hooks.Ask = [this](const std::string& text, int, int, int) {
            Asked.push_back(text);
            return Answer();
        };
        hooks.AskText = [this](const std::string&, const std::string&, std::string& value, bool) {
            return Prompt(value);
        };
        Session.SetHooks(hooks);
        Session.SetLimits(TRemoteLimits{limitMs, limitMs, limitMs});
    }

    Result<void> Connect(const TScriptedFtpServer& server, bool passive = true) {
        return Session.Connect(TRemoteLogin{server.Host(), server.Port(), "joe", "secret", passive});
    }

    bool StatusHas(const std::string& part) const {
        return std::any_of(Status.begin(), Status.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
};

// The usual login after the greeting, with SYST, FEAT (features given) and PWD.
void ScriptLogin(TScriptedFtpServer& server, const std::string& features = "211 no features\r\n") {
    server.Expect("USER joe").Send("331 password please\r\n");
    server.Expect("PASS secret").Send("230 logged in\r\n");
    server.Expect("SYST").Send("215 UNIX Type: L8\r\n");
    server.Expect("FEAT").Send(features);
    if (features.find("UTF8") != std::string::npos)
        server.Expect("OPTS UTF8 ON").Send("200 ok\r\n");
    server.Expect("PWD").Send("257 \"/home/joe\" is the current directory\r\n");
}

TEST(FtpSession, GreetingsAndRepliesHoweverTheyArrive) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Greeting; // sent piece by piece
    };
    const std::vector<TCase> cases = {
        {"one line", {"220 ready\r\n"}},
        {"120 then 220", {"120 in a minute\r\n", "220 ready\r\n"}},
        {"in pieces", {"2", "20 rea", "dy\r", "\n"}},
        {"multi-line", {"220-Welcome\r\n", "220-to the ", "test server\r\n220 ready\r\n"}},
        {"multi-line with odd inner lines",
         {"220-Welcome\r\n 220 not the end\r\n221 nor this\r\n220 end\r\n"}},
        {"bare line feeds", {"220 ready\n"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedFtpServer server;
        for (const std::string& piece : c.Greeting)
            server.Send(piece);
        ScriptLogin(server);
        server.Start();
        TSessionRig rig;
        ASSERT_TRUE(rig.Connect(server));
        EXPECT_EQ(rig.Session.CurrentFolder(), "/home/joe");
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(FtpSession, CoalescedRepliesAreTakenOneByOne) {
    // The server answers PASS and, ahead of time, SYST in one write; both are used in turn.
    TScriptedFtpServer server;
    server.Send("220 ready\r\n");
    server.Expect("USER").Send("331 pw\r\n");
    server.Expect("PASS").Send("230 in\r\n215 UNIX\r\n");
    server.Expect("SYST");
    server.Expect("FEAT").Send("211-Features:\r\n MLST type*;size*;modify*;\r\n UTF8\r\n211 End\r\n");
    server.Expect("OPTS UTF8 ON").Send("200 ok\r\n");
    server.Expect("PWD").Send("257 \"/a \"\"quoted\"\" folder\"\r\n");
    server.Start();
    TSessionRig rig;
    ASSERT_TRUE(rig.Connect(server));
    EXPECT_TRUE(rig.Session.UsesMlsd());
    EXPECT_TRUE(rig.Session.UsesUtf8());
    EXPECT_EQ(rig.Session.CurrentFolder(), "/a \"quoted\" folder");
    EXPECT_EQ(server.Finish(), "");
}

TEST(FtpSession, RefusedLoginsFollowTheAnswerToTheRetryQuestion) {
    struct TCase {
        const char* Name;
        int Answer;
        bool PromptGiven;
        bool LoggedIn;
        std::string SecondUser;
    };
    const std::vector<TCase> cases = {
        {"Yes retries the same login", mrYes, false, true, "USER joe"},
        {"No asks for a new login", mrNo, true, true, "USER ann"},
        {"No, then the prompt cancelled", mrNo, false, false, ""},
        {"Abort ends the connection", mrAbort, false, false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        server.Expect("USER joe").Send("331 pw\r\n");
        server.Expect("PASS secret").Send("530 Login incorrect.\r\n");
        if (c.LoggedIn) {
            server.Expect(c.SecondUser).Send("331 pw\r\n");
            server.Expect("PASS").Send("230 in\r\n");
            server.Expect("SYST").Send("215 UNIX\r\n");
            server.Expect("FEAT").Send("500 no\r\n");
            server.Expect("PWD").Send("257 \"/\"\r\n");
        } else {
            server.Hang();
        }
        server.Start();
        TSessionRig rig;
        rig.Answer = [&] { return c.Answer; };
        rig.Prompt = [&](std::string& value) {
            value = value == "joe" ? "ann" : "pw2";
            return c.PromptGiven;
        };
        const Result<void> connected = rig.Connect(server);
        EXPECT_EQ(static_cast<bool>(connected), c.LoggedIn);
        if (!c.LoggedIn) {
            EXPECT_EQ(connected.error().Code, TErrorCode::ecAccess);
            EXPECT_FALSE(rig.Session.Connected());
        }
        ASSERT_EQ(rig.Asked.size(), 1u);
        EXPECT_EQ(rig.Asked[0], "Retry with same user and password ?\r530 Login incorrect.");
        EXPECT_EQ(server.Finish(), "");
        // The password never reaches the status window.
        for (const std::string& line : rig.Status)
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        EXPECT_TRUE(rig.StatusHas("PASS ****"));
    }
}

TEST(FtpSession, LoginRefusalsThatEndTheConnection) {
    // 421 closes the connection whatever it answers.
    for (const auto& [reply, code] : {std::pair{"500 what?\r\n", TErrorCode::ecAccess},
                                      std::pair{"421 going down\r\n", TErrorCode::ecDisconnected}}) {
        SCOPED_TRACE(reply);
        TScriptedFtpServer server;
        server.Send("220 ready\r\n").Expect("USER").Send(reply).Hang();
        server.Start();
        TSessionRig rig;
        const Result<void> connected = rig.Connect(server);
        ASSERT_FALSE(connected);
        EXPECT_EQ(connected.error().Code, code);
        EXPECT_FALSE(rig.Session.Connected());
        EXPECT_EQ(connected.error().Detail.substr(0, 3), std::string(reply).substr(0, 3));
        EXPECT_TRUE(rig.Asked.empty());
        EXPECT_EQ(server.Finish(), "");
    }
    TScriptedFtpServer server;
    server.Send("421 Too many users\r\n").Hang();
    server.Start();
    TSessionRig rig;
    const Result<void> connected = rig.Connect(server);
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().Code, TErrorCode::ecRefused);
    EXPECT_EQ(rig.Session.LastReply().Code, 421);
    EXPECT_EQ(server.Finish(), "");
}

TEST(FtpSession, WaitsEndAtTheirLimitAndOnEsc) {
    {
        SCOPED_TRACE("a server that stops answering");
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Expect("CWD pub").Hang();
        server.Start();
        TSessionRig rig(300);
        ASSERT_TRUE(rig.Connect(server));
        const Result<void> changed = rig.Session.ChangeFolder("pub");
        ASSERT_FALSE(changed);
        EXPECT_EQ(changed.error().Code, TErrorCode::ecTimeout);
        EXPECT_EQ(changed.error().Detail, "the reply to CWD");
        EXPECT_TRUE(rig.StatusHas("no reply to CWD"));
        EXPECT_FALSE(rig.Session.Connected());
        EXPECT_EQ(server.Finish(), "");
    }
    {
        SCOPED_TRACE("a greeting that never comes");
        TScriptedFtpServer server;
        server.Hang();
        server.Start();
        TSessionRig rig(300);
        const Result<void> connected = rig.Connect(server);
        ASSERT_FALSE(connected);
        EXPECT_EQ(connected.error().Code, TErrorCode::ecTimeout);
        EXPECT_EQ(server.Finish(), "");
    }
    {
        SCOPED_TRACE("Esc, then the late answer is read before the next command");
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Expect("MKD slow").Send("257 \"slow\" made\r\n");
        server.Expect("DELE x").Send("250 deleted\r\n");
        server.Start();
        TSessionRig rig;
        ASSERT_TRUE(rig.Connect(server));
        // Esc before the answer was read.
        rig.CancelAfterPumps = rig.Pumps;
        const Result<void> made = rig.Session.MakeFolder("slow");
        ASSERT_FALSE(made);
        EXPECT_EQ(made.error().Code, TErrorCode::ecCancelled);
        EXPECT_TRUE(rig.Session.Connected());
        rig.CancelAfterPumps = -1;
        EXPECT_TRUE(rig.Session.DeleteFile("x"));
        EXPECT_EQ(rig.Session.LastReply().Code, 250);
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(FtpSession, ServerClosingTheConnectionIsNoticed) {
    TScriptedFtpServer server;
    server.Send("220 ready\r\n");
    ScriptLogin(server);
    server.Close();
    server.Start();
    TSessionRig rig;
    ASSERT_TRUE(rig.Connect(server));
    EXPECT_EQ(server.Finish(), "");
    // The idle check sees it without a command.
    // The play has ended, so the server's end of the stream is already on this side.
    EXPECT_FALSE(rig.Session.CheckAlive());
    EXPECT_TRUE(rig.StatusHas("closed the connection"));
    const Result<void> changed = rig.Session.ChangeFolder("x");
    ASSERT_FALSE(changed);
    EXPECT_EQ(changed.error().Code, TErrorCode::ecDisconnected);
}

const std::string UnixListing = "total 8\r\n"
                                "drwxr-xr-x 2 joe users 4096 Jan 05 12:30 my folder\r\n"
                                "-rw-r--r-- 1 joe users 5000000000 Mar 14  2023 big file.iso\r\n"
                                "lrwxrwxrwx 1 joe users 7 Mar 14  2023 link -> target\r\n"
                                "drwxr-xr-x 2 joe users 4096 Jan 05 12:30 ..\r\n"
                                "drwxr-xr-x 2 joe users 4096 Jan 05 12:30 a/b\r\n";

void ExpectUnixEntries(const std::vector<TRemoteEntry>& entries) {
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "my folder");
    EXPECT_TRUE(entries[0].IsFolder);
    EXPECT_EQ(entries[1].Name, "big file.iso");
    EXPECT_EQ(entries[1].Size, 5000000000);
    EXPECT_EQ(entries[2].Name, "link");
    EXPECT_TRUE(entries[2].IsLink);
}

TEST(FtpSession, PassiveListingsGoToTheControlPeerWhateverTheReplyNames) {
    struct TCase {
        const char* Name;
        std::string EpsvReply; // empty: EPSV is answered with its data port
        std::string Shown;     // the address in the PASV reply
    };
    const std::vector<TCase> cases = {
        {"EPSV", "", ""},
        {"PASV after EPSV is refused", "500 EPSV not understood\r\n", ""},
        {"PASV naming a foreign host", "502 no\r\n", "10.1.2.3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Expect("TYPE A").Send("200 ok\r\n");
        if (c.EpsvReply.empty()) {
            server.Expect("EPSV").AcceptPasv(UnixListing);
        } else {
            server.Expect("EPSV").Send(c.EpsvReply);
            server.Expect("PASV").AcceptPasv(UnixListing, c.Shown);
        }
        server.Expect("LIST").Send("150 here it comes\r\n").AwaitData().Send("226 done\r\n");
        server.Start();
        TSessionRig rig;
        ASSERT_TRUE(rig.Connect(server));
        std::vector<TRemoteEntry> entries;
        ASSERT_TRUE(rig.Session.List(entries));
        ExpectUnixEntries(entries);
        EXPECT_EQ(rig.StatusHas("10.1.2.3"), !c.Shown.empty());
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(FtpSession, ActiveListingsAcceptOnlyTheServerAndFallBackToPassive) {
    struct TCase {
        const char* Name;
        std::function<void(TScriptedFtpServer&)> Data;
        bool FellBack;
    };
    const std::vector<TCase> cases = {
        {"the server connects", [](TScriptedFtpServer& s) { s.ConnectActive(UnixListing); }, false},
        {"a foreign host connects", [](TScriptedFtpServer& s) { s.ConnectActive("junk\r\n", "127.0.0.2"); },
         true},
        {"nobody connects", [](TScriptedFtpServer& s) { s.NeverConnect(); }, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Expect("TYPE A").Send("200 ok\r\n");
        // The first active listing offers port 1863 (7 * 256 + 71) unless another program has it.
        server.Expect("PORT 127,0,0,1,").Send("200 PORT ok\r\n");
        server.Expect("LIST").Send("150 opening\r\n");
        c.Data(server);
        if (c.FellBack) {
            server.Expect("ABOR").Send("426 aborted\r\n226 abort done\r\n");
            server.Expect("EPSV").AcceptPasv(UnixListing);
            server.Expect("LIST").Send("150 here\r\n");
        }
        server.AwaitData().Send("226 done\r\n");
        server.Start();
        TSessionRig rig(c.FellBack ? 400 : 5000);
        ASSERT_TRUE(rig.Connect(server, false));
        std::vector<TRemoteEntry> entries;
        const Result<void> listed = rig.Session.List(entries);
        ASSERT_TRUE(listed) << server.Finish();
        EXPECT_EQ(rig.Session.DataPort(), 1863);
        ExpectUnixEntries(entries);
        EXPECT_EQ(rig.StatusHas("trying passive mode"), c.FellBack);
        EXPECT_EQ(rig.StatusHas("refused a data connection from 127.0.0.2"), c.Name[0] == 'a');
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(FtpSession, MlsdWhenOffered) {
    TScriptedFtpServer server;
    server.Send("220 ready\r\n");
    ScriptLogin(server, "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n");
    server.Expect("TYPE A").Send("200 ok\r\n");
    server.Expect("EPSV").AcceptPasv("type=cdir; .\r\ntype=dir;modify=20240131211500; docs\r\n"
                                     "type=file;size=12;  two  spaces\r\n");
    server.Expect("MLSD").Send("150 here\r\n").AwaitData().Send("226 done\r\n");
    server.Start();
    TSessionRig rig;
    ASSERT_TRUE(rig.Connect(server));
    std::vector<TRemoteEntry> entries;
    ASSERT_TRUE(rig.Session.List(entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, "docs");
    EXPECT_TRUE(entries[0].IsFolder);
    EXPECT_TRUE(entries[0].HasTime);
    EXPECT_EQ(entries[1].Name, " two  spaces");
    EXPECT_EQ(entries[1].Size, 12);
    EXPECT_EQ(server.Finish(), "");
}

TEST(FtpSession, HostileRepliesAndNamesCannotDerailTheSession) {
    {
        SCOPED_TRACE("an endless reply line");
        TScriptedFtpServer server;
        server.Send("220 " + std::string(70 * 1024, 'x')).Hang();
        server.Start();
        TSessionRig rig;
        const Result<void> connected = rig.Connect(server);
        ASSERT_FALSE(connected);
        EXPECT_EQ(connected.error().Code, TErrorCode::ecParse);
        EXPECT_FALSE(rig.Session.Connected());
        EXPECT_EQ(server.Finish(), "");
    }
    {
        SCOPED_TRACE("a listing over the size limit, then the session goes on");
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Expect("TYPE A").Send("200 ok\r\n");
        server.Expect("EPSV").AcceptPasv(std::string(TFtpSession::MaxListingBytes + 4096, 'a'));
        server.Expect("LIST").Send("150 here\r\n").AwaitData().Send("426 broken\r\n");
        server.Expect("NOOP").Send("200 fine\r\n");
        server.Start();
        TSessionRig rig;
        ASSERT_TRUE(rig.Connect(server));
        std::vector<TRemoteEntry> entries;
        const Result<void> listed = rig.Session.List(entries);
        ASSERT_FALSE(listed);
        EXPECT_EQ(listed.error().Code, TErrorCode::ecTooLarge);
        const Result<TFtpReply> noop = rig.Session.RawCommand("NOOP");
        ASSERT_TRUE(noop);
        EXPECT_EQ(noop->Code, 200);
        EXPECT_EQ(server.Finish(), "");
    }
    {
        SCOPED_TRACE("a name holding a line break is never sent");
        TScriptedFtpServer server;
        server.Send("220 ready\r\n");
        ScriptLogin(server);
        server.Hang();
        server.Start();
        TSessionRig rig;
        ASSERT_TRUE(rig.Connect(server));
        const Result<void> deleted = rig.Session.DeleteFile("x\r\nRMD important");
        ASSERT_FALSE(deleted);
        EXPECT_EQ(deleted.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(server.Finish(), "");
        for (const std::string& command : server.Commands())
            EXPECT_EQ(command.find("RMD"), std::string::npos);
    }
}

} // namespace
} // namespace ks
