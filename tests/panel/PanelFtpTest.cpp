// A panel as an FTP client: against pyftpdlib for walking, deleting trees, making and renaming,
// and against a scripted server for time-outs, lost connections and hostile listings.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "controls/MessageBox.h"
#include "ftp/FtpSession.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxNetwork.h"
#include "platform/LinuxSystem.h"
#include "support/FtpServers.h"
#include "support/ScriptedAnswers.h"
#include "support/ScriptedFtpServer.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;
using test::TFtpServer;
using test::TFtpServerKind;
using test::TScriptedAnswers;
using test::TScriptedFtpServer;

class PanelFtp : public testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&System, &Disk);
        Options.PanelStartupDone = true;
        Panel.FOtherPanel = &Other;
        Other.FOtherPanel = &Panel;
        Panel.FFolderItems.FPath = Local.Path();
        Panel.ReadPanel(false, false);
        Panel.MakeRemoteSession = [this] { return std::make_unique<TFtpSession>(Network); };
        Panel.OnFTPStatus = [this](const std::string& line) { Status.push_back(line); };
        Panel.OnFTPDisconnect = [this] { ++Disconnects; };
        Panel.OnAfterChange = [this](TKAfterChange what, const std::string& text) {
            if (what == acProgress)
                ItemLine.push_back(text);
        };
        Panel.OnDeleteItems = [](bool& del, bool&, bool&) { del = true; };
        Answers.Attach(Panel);
    }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    void Connect(const std::string& host, int port, const std::string& user, const std::string& password) {
        Panel.OnFTPConnections = [=](TKFtpConnection& connection) {
            connection.DisableFTP = false;
            connection.Host = host;
            connection.Port = port;
            connection.Name = user;
            connection.Password = password;
        };
        Panel.ConnectFTP();
    }

    void ConnectTo(const TFtpServer& server) {
        Connect(server.Host(), server.Port(), TFtpServer::User, TFtpServer::Password);
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : Panel.FItemsStruc->FItems)
            names.push_back(item->Name + (item->Kind == ikFolder ? "/" : ""));
        return names;
    }

    void Enter(const std::string& name) {
        ASSERT_GE(Panel.FindItem(name, true), 0) << name;
        Panel.ExecuteItem(false);
    }

    void Mark(const std::string& name) {
        Panel.MarkItem(Panel.FItemsStruc->GetFileItem(Panel.FindItem(name, false)), mmMark);
    }

    TKLinuxSystem System;
    TKLinuxFileSystem Disk;
    TempTree Local;
    TPanelOptions Options;
    TKMYFILEPANEL Panel{Options};
    TKMYFILEPANEL Other{Options};
    TKLinuxNetwork Network;
    TScriptedAnswers Answers;
    std::vector<std::string> Status;
    std::vector<std::string> ItemLine;
    int Disconnects = 0;
};

TEST_F(PanelFtp, WalksTheServerAndComesBackToItsFolder) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    std::filesystem::create_directories(server.Root() + "/docs/img");
    std::ofstream(server.Root() + "/read me.txt") << "hello";
    ConnectTo(server);
    ASSERT_EQ(Panel.PanelType(), ptFTP);
    EXPECT_EQ(Panel.GetPanelPath(), "FTP: /");
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "docs/", "read me.txt"}));
    const TKFiles& file = *Panel.FItemsStruc->GetFileItem(2);
    EXPECT_EQ(file.Size, 5);
    EXPECT_NE(Panel.DateText(file), Panel.DateText(TKFiles{}));
    ASSERT_TRUE(file.Extra);
    EXPECT_EQ(file.Extra->AttrText.substr(0, 1), "-");

    Enter("docs");
    EXPECT_EQ(Panel.GetPanelPath(), "FTP: /docs");
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "img/"}));
    Enter("..");
    EXPECT_EQ(Panel.GetPanelPath(), "FTP: /");
    ASSERT_NE(Panel.FItemsStruc->FCurrentItem, nullptr);
    EXPECT_EQ(Panel.FItemsStruc->FCurrentItem->Name, "docs");

    // Every command and reply is reported, never the password.
    EXPECT_NE(std::find(Status.begin(), Status.end(), "PASS ****"), Status.end());
    for (const std::string& line : Status)
        EXPECT_EQ(line.find(TFtpServer::Password + std::string(" ")), std::string::npos);

    // The way up from the server's root leads back to the folder on this disk; QUIT is sent.
    Enter("..");
    EXPECT_EQ(Panel.PanelType(), ptFolder);
    EXPECT_EQ(Panel.GetPanelPath(), Local.Path());
    EXPECT_EQ(Disconnects, 1);
    EXPECT_EQ(Status.back().substr(0, 4), "QUIT");
}

TEST_F(PanelFtp, DeletesTreesWithTheQuestionsOfTheDisk) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    const std::string root = server.Root();
    std::filesystem::create_directories(root + "/tree/sub/deeper");
    std::filesystem::create_directories(root + "/keep/inner");
    std::filesystem::create_directories(root + "/empty");
    for (const char* name :
         {"/tree/a.txt", "/tree/sub/b.txt", "/tree/sub/deeper/c.txt", "/keep/inner/k.txt", "/file.txt"})
        std::ofstream(root + name) << "data";
    ConnectTo(server);
    ASSERT_EQ(Panel.PanelType(), ptFTP);

    for (const char* name : {"tree", "keep", "empty", "file.txt"})
        Mark(name);
    Answers.Script = {{"The following folder will be deleted: keep", mrNo},
                      {"The following folder will be deleted: tree", mrYes}};
    Panel.DeleteItems();
    EXPECT_TRUE(Answers.Script.empty());
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "keep/"}));
    EXPECT_FALSE(std::filesystem::exists(root + "/tree"));
    EXPECT_FALSE(std::filesystem::exists(root + "/empty"));
    EXPECT_FALSE(std::filesystem::exists(root + "/file.txt"));
    EXPECT_TRUE(std::filesystem::exists(root + "/keep/inner/k.txt"));
    EXPECT_EQ(Panel.FItemsStruc->FMarkedCount, 0);
    EXPECT_NE(std::find(ItemLine.begin(), ItemLine.end(), "DELETING... |4|4|"), ItemLine.end());
}

TEST_F(PanelFtp, MakesRenamesAndSendsRawCommands) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    ConnectTo(server);
    ASSERT_TRUE(Panel.FtpMakeDir("made"));
    EXPECT_TRUE(std::filesystem::is_directory(server.Root() + "/made"));
    EXPECT_FALSE(Panel.FtpMakeDir("made"));
    ASSERT_TRUE(Panel.FtpRename("made", "renamed"));
    EXPECT_TRUE(std::filesystem::is_directory(server.Root() + "/renamed"));
    EXPECT_EQ(Panel.FItemsStruc->FCurrentItem->Name, "renamed");
    Answers.Script = {{"The server did not rename the item.", mrOk}};
    EXPECT_FALSE(Panel.FtpRename("missing", "other"));
    const Result<TFtpReply> reply = Panel.FtpRawCommand("NOOP");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Code, 200);
}

TEST_F(PanelFtp, ALostConnectionIsReportedAndAskedAbout) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    std::filesystem::create_directories(server.Root() + "/docs");
    ConnectTo(server);
    ASSERT_EQ(Panel.PanelType(), ptFTP);
    server.Stop();
    Panel.CheckFtpAlive();
    EXPECT_EQ(ItemLine.back(), "FTP: the server closed the connection.");
    EXPECT_EQ(Disconnects, 1);
    EXPECT_EQ(Panel.PanelType(), ptFTP);
    Answers.Script = {{"The server closed the connection. Connect again?", mrNo}};
    Enter("docs");
    EXPECT_TRUE(Answers.Script.empty());
    EXPECT_EQ(Panel.PanelType(), ptFolder);
    EXPECT_EQ(Panel.GetPanelPath(), Local.Path());
}

TEST_F(PanelFtp, YesConnectsAgainWithTheStoredEntryAndReturnsToTheFolder) {
    TFtpServer server;
    ASSERT_TRUE(server.Start(TFtpServerKind::fkPyFtpdlib)) << server.Error();
    std::filesystem::create_directories(server.Root() + "/docs/inner");
    ConnectTo(server);
    Enter("docs");
    ASSERT_EQ(Panel.GetPanelPath(), "FTP: /docs");
    // The server says goodbye to a QUIT typed as a raw command and closes the connection.
    (void)Panel.FtpRawCommand("QUIT");
    Panel.CheckFtpAlive();
    EXPECT_EQ(ItemLine.back(), "FTP: the server closed the connection.");
    Answers.Script = {{"The server closed the connection. Connect again?", mrYes}};
    Enter("inner");
    EXPECT_TRUE(Answers.Script.empty());
    ASSERT_EQ(Panel.PanelType(), ptFTP);
    EXPECT_EQ(Panel.GetPanelPath(), "FTP: /docs/inner");
}

void ScriptLogin(TScriptedFtpServer& server) {
    server.Send("220 ready\r\n");
    server.Expect("USER").Send("331 pw\r\n");
    server.Expect("PASS").Send("230 in\r\n");
    server.Expect("SYST").Send("215 UNIX\r\n");
    server.Expect("FEAT").Send("500 no\r\n");
    server.Expect("PWD").Send("257 \"/\"\r\n");
}

TEST_F(PanelFtp, ATimeOutSaysWhatAndReturnsToTheFolder) {
    TScriptedFtpServer server;
    ScriptLogin(server);
    server.Expect("TYPE A").Hang();
    server.Start();
    Panel.FFtpLimits = TRemoteLimits{2000, 300, 300};
    Answers.Script = {{"FTP: the reply to TYPE did not come in time. The connection was closed.", mrOk}};
    Connect(server.Host(), server.Port(), "joe", "pw");
    EXPECT_TRUE(Answers.Script.empty());
    EXPECT_EQ(Panel.PanelType(), ptFolder);
    EXPECT_EQ(Panel.GetPanelPath(), Local.Path());
    EXPECT_NE(std::find(Status.begin(), Status.end(), "FTP: no reply to TYPE within 1 seconds."),
              Status.end());
    EXPECT_EQ(server.Finish(), "");
}

TEST_F(PanelFtp, HostileNamesAreNeitherShownNorWalked) {
    const std::string top = "drwxr-xr-x 2 a a 0 Jan 01 2024 ..\r\n"
                            "drwxr-xr-x 2 a a 0 Jan 01 2024 evil\r\n"
                            "-rw-r--r-- 1 a a 9 Jan 01 2024 a/b\r\n"
                            "drwxr-xr-x 2 a a 0 Jan 01 2024 /\r\n";
    const std::string inside = "drwxr-xr-x 2 a a 0 Jan 01 2024 ..\r\n"
                               "drwxr-xr-x 2 a a 0 Jan 01 2024 .\r\n"
                               "-rw-r--r-- 1 a a 9 Jan 01 2024 x\r\n";
    TScriptedFtpServer server;
    ScriptLogin(server);
    server.Expect("TYPE A").Send("200 ok\r\n");
    server.Expect("EPSV").AcceptPasv(top);
    server.Expect("LIST").Send("150 here\r\n").AwaitData().Send("226 done\r\n");
    server.Expect("PWD").Send("257 \"/\"\r\n");
    // Deleting "evil": it is not empty, so the question, then its tree, never ".." or "/".
    server.Expect("RMD evil").Send("550 not empty\r\n");
    server.Expect("CWD evil").Send("250 ok\r\n");
    server.Expect("EPSV").AcceptPasv(inside);
    server.Expect("LIST").Send("150 here\r\n").AwaitData().Send("226 done\r\n");
    server.Expect("DELE x").Send("250 gone\r\n");
    server.Expect("CDUP").Send("250 up\r\n");
    server.Expect("RMD evil").Send("250 gone\r\n");
    server.Expect("EPSV").AcceptPasv("");
    server.Expect("LIST").Send("150 here\r\n").AwaitData().Send("226 done\r\n");
    server.Expect("PWD").Send("257 \"/\"\r\n");
    server.Start();
    Connect(server.Host(), server.Port(), "joe", "pw");
    ASSERT_EQ(Panel.PanelType(), ptFTP);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "evil/"}));
    Mark("evil");
    Answers.Script = {{"The following folder will be deleted: evil", mrYes}};
    Panel.DeleteItems();
    EXPECT_EQ(Names(), (std::vector<std::string>{".."}));
    EXPECT_EQ(server.Finish(), "");
}

} // namespace
} // namespace ks
