// The FTP session against real servers on the loopback addresses: pyftpdlib (a user with every
// right) and vsftpd (anonymous, read-only), in passive and active mode, over IPv4 and IPv6.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ftp/FtpSession.h"
#include "platform/LinuxNetwork.h"
#include "support/FtpServers.h"

namespace ks {
namespace {

using test::TFtpServer;
using test::TFtpServerKind;

struct TServerCase {
    TFtpServerKind Kind;
    bool IPv6;
    bool Passive;
};

std::string CaseName(const testing::TestParamInfo<TServerCase>& info) {
    const TServerCase& c = info.param;
    return std::string(c.Kind == TFtpServerKind::fkPyFtpdlib ? "pyftpdlib" : "vsftpd") +
           (c.IPv6 ? "_v6" : "_v4") + (c.Passive ? "_passive" : "_active");
}

class FtpRealServer : public testing::TestWithParam<TServerCase> {
protected:
    void SetUp() override {
        const TServerCase& c = GetParam();
        if (!Server.Start(c.Kind, c.IPv6)) {
            if (Server.Unavailable())
                GTEST_SKIP() << Server.Error();
            FAIL() << Server.Error();
        }
        std::ofstream(Server.Root() + "/read me.txt") << "hello";
        std::ofstream(Server.Root() + "/caf\xc3\xa9.txt") << "x";
        Hooks.OnStatus = [this](const std::string& line) { Status.push_back(line); };
        Session.SetHooks(Hooks);
    }

    TRemoteLogin Login() const {
        const bool user = Server.HasUser();
        return TRemoteLogin{Server.Host(), Server.Port(), user ? TFtpServer::User : "anonymous",
                            user ? TFtpServer::Password : "guest@example.org", GetParam().Passive};
    }

    std::vector<std::string> Names() {
        std::vector<TRemoteEntry> entries;
        const Result<void> listed = Session.List(entries);
        EXPECT_TRUE(listed) << (listed ? "" : listed.error().Detail) << "\n" << Server.Log();
        std::vector<std::string> names;
        for (const TRemoteEntry& entry : entries)
            names.push_back(entry.Name + (entry.IsFolder ? "/" : ""));
        std::sort(names.begin(), names.end());
        return names;
    }

    TFtpServer Server;
    TKLinuxNetwork Network;
    TFtpSession Session{Network};
    TRemoteHooks Hooks;
    std::vector<std::string> Status;
};

TEST_P(FtpRealServer, LogsInListsAndWalks) {
    std::filesystem::create_directories(Server.Root() + "/sub folder/inner");
    std::ofstream(Server.Root() + "/sub folder/f.bin") << std::string(1234, 'z');
    ASSERT_TRUE(Session.Connect(Login())) << Server.Log();
    EXPECT_EQ(Session.CurrentFolder(), "/");
    EXPECT_EQ(Names(), (std::vector<std::string>{"caf\xc3\xa9.txt", "read me.txt", "sub folder/"}));
    ASSERT_TRUE(Session.ChangeFolder("sub folder"));
    std::vector<TRemoteEntry> entries;
    ASSERT_TRUE(Session.List(entries));
    ASSERT_TRUE(Session.PrintDir());
    EXPECT_EQ(Session.CurrentFolder(), "/sub folder");
    const auto file =
        std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.Name == "f.bin"; });
    ASSERT_NE(file, entries.end());
    EXPECT_EQ(file->Size, 1234);
    EXPECT_TRUE(file->HasTime);
    ASSERT_TRUE(Session.ChangeToParent());
    ASSERT_TRUE(Session.PrintDir());
    EXPECT_EQ(Session.CurrentFolder(), "/");
    Session.Disconnect(true);
    EXPECT_FALSE(Session.Connected());
    EXPECT_NE(std::find(Status.begin(), Status.end(), "QUIT"), Status.end());
}

// Servers with a login that may write.
class FtpRealServerWritable : public FtpRealServer {};

TEST_P(FtpRealServerWritable, ChangesTheServerFolder) {
    ASSERT_TRUE(Server.HasUser());
    ASSERT_TRUE(Session.Connect(Login()));
    ASSERT_TRUE(Session.MakeFolder("new dir"));
    ASSERT_TRUE(Session.Rename("read me.txt", "renamed.txt"));
    ASSERT_TRUE(Session.DeleteFile("caf\xc3\xa9.txt"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"new dir/", "renamed.txt"}));
    ASSERT_TRUE(Session.RemoveFolder("new dir"));
    const Result<void> again = Session.RemoveFolder("new dir");
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().Code, TErrorCode::ecRefused);
    EXPECT_EQ(Session.LastReply().Code / 100, 5);
    const Result<TFtpReply> raw = Session.RawCommand("NOOP");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->Code, 200);
    EXPECT_EQ(Names(), (std::vector<std::string>{"renamed.txt"}));
}

const TServerCase ServerCases[] = {
    {TFtpServerKind::fkPyFtpdlib, false, true}, {TFtpServerKind::fkPyFtpdlib, false, false},
    {TFtpServerKind::fkPyFtpdlib, true, true},  {TFtpServerKind::fkPyFtpdlib, true, false},
    {TFtpServerKind::fkVsftpd, false, true},    {TFtpServerKind::fkVsftpd, false, false},
};
INSTANTIATE_TEST_SUITE_P(Servers, FtpRealServer, testing::ValuesIn(ServerCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Servers, FtpRealServerWritable, testing::ValuesIn(ServerCases, ServerCases + 4),
                         CaseName);

TEST(FtpRealServerLogin, AWrongPasswordIsAskedAboutAndCanBeAbandoned) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    TKLinuxNetwork network;
    TFtpSession session(network);
    TRemoteHooks hooks;
    int asked = 0;
    hooks.Ask = [&](const std::string&, int, int, int) { return ++asked == 1 ? 7 /* No */ : 3 /* Abort */; };
    // No: the user name stays, the right password is typed.
    hooks.AskText = [](const std::string&, const std::string&, std::string& value, bool masked) {
        if (masked)
            value = TFtpServer::Password;
        return true;
    };
    session.SetHooks(hooks);
    ASSERT_TRUE(session.Connect(TRemoteLogin{server.Host(), server.Port(), TFtpServer::User, "wrong", true}));
    EXPECT_EQ(asked, 1);
    TFtpSession refused(network);
    TRemoteHooks abandon;
    abandon.Ask = [](const std::string&, int, int, int) { return 3; };
    refused.SetHooks(abandon);
    const Result<void> connected =
        refused.Connect(TRemoteLogin{server.Host(), server.Port(), TFtpServer::User, "wrong", true});
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().Code, TErrorCode::ecAccess);
}

TEST(FtpRealServerLogin, ANameNobodyKnowsAndAPortNobodyListensOn) {
    TKLinuxNetwork network;
    TFtpSession session(network);
    session.SetLimits(TRemoteLimits{5000, 5000, 5000});
    const Result<void> unknown = session.Connect(TRemoteLogin{"nonexistent.invalid", 21, "a", "b", true});
    ASSERT_FALSE(unknown);
    EXPECT_TRUE(unknown.error().Code == TErrorCode::ecNotFound ||
                unknown.error().Code == TErrorCode::ecTimeout);
    const Result<void> refused = session.Connect(TRemoteLogin{"127.0.0.1", 1, "a", "b", true});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().Code, TErrorCode::ecIo);
}

} // namespace
} // namespace ks
