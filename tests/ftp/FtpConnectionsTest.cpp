// Connection entries as the list stores them, split for connecting, and the status log's limit.

#include "ftp/FtpConnections.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

TEST(FtpConnectionsTest, EntriesSplitForConnecting) {
    struct TCase {
        const char* Entry;
        bool Connects;
        const char* Host = "";
        int Port = 0;
        const char* User = "";
        const char* Password = "";
        bool UseProxy = false;
        const char* ProxyName = "";
        int ProxyPort = 0;
        bool Passive = false;
    };
    const TCase cases[] = {
        {"home|ftp.example.org|21|anonymous|me@host.io|0||3128|1", true, "ftp.example.org", 21, "anonymous",
         "me@host.io", false, "", 3128, true},
        {"home|h|2121|u|p|0|||1", true, "h", 2121, "u", "p", false, "", 0, true},
        {"proxied|h|21|u|p|1|proxy.lan|8080|0", true, "h", 21, "u", "p", true, "proxy.lan", 8080, false},
        // Stored before the passive field existed.
        {"old|h|21|u|p|0||3128", true, "h", 21, "u", "p", false, "", 3128, false},
        {"odd flag|h|21|u|p|yes||3128|1", true, "h", 21, "u", "p", false, "", 3128, true},
        {"port word|h|ftp|u|p|0||3128|1", false},
        {"port empty|h||u|p|0||3128|1", false},
        {"port zero|h|0|u|p|0||3128|1", false},
        {"port too big|h|65536|u|p|0||3128|1", false},
        {"port trailing|h|21x|u|p|0||3128|1", false},
        {"proxy port word|h|21|u|p|1|px|squid|1", false},
        {"proxy port too big|h|21|u|p|1|px|99999|1", false},
        {"", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Entry);
        const std::optional<TFtpTarget> target = SplitFtpEntry(c.Entry);
        ASSERT_EQ(target.has_value(), c.Connects);
        if (!target)
            continue;
        EXPECT_EQ(target->Host, c.Host);
        EXPECT_EQ(target->Port, c.Port);
        EXPECT_EQ(target->User, c.User);
        EXPECT_EQ(target->Password, c.Password);
        EXPECT_EQ(target->UseProxy, c.UseProxy);
        EXPECT_EQ(target->ProxyName, c.ProxyName);
        EXPECT_EQ(target->ProxyPort, c.ProxyPort);
        EXPECT_EQ(target->Passive, c.Passive);
    }
}

TEST(FtpConnectionsTest, EntryLinesKeepTheDialogValues) {
    TFtpEntryValues values;
    EXPECT_EQ(MakeFtpEntry(values), "new connection||21|anonymous||0||3128|1");

    values.Name = "a|b";
    values.Host = "ftp.lan|";
    values.Password = "p|w\r\nx";
    values.UseProxy = true;
    values.Proxy = "px";
    values.ProxyPort = "";
    values.Passive = false;
    const std::string entry = MakeFtpEntry(values);
    EXPECT_EQ(entry, "ab|ftp.lan|21|anonymous|pwx|1|px||0");

    const TFtpEntryValues read = ReadFtpEntry(entry);
    EXPECT_EQ(read.Name, "ab");
    EXPECT_EQ(read.Host, "ftp.lan");
    EXPECT_EQ(read.Port, "21");
    EXPECT_EQ(read.Login, "anonymous");
    EXPECT_EQ(read.Password, "pwx");
    EXPECT_TRUE(read.UseProxy);
    EXPECT_EQ(read.Proxy, "px");
    EXPECT_EQ(read.ProxyPort, "");
    EXPECT_FALSE(read.Passive);

    // Missing fields read as empty and unchecked, not as a new entry's values.
    const TFtpEntryValues shortEntry = ReadFtpEntry("only name");
    EXPECT_EQ(shortEntry.Name, "only name");
    EXPECT_EQ(shortEntry.Port, "");
    EXPECT_EQ(shortEntry.Login, "");
    EXPECT_EQ(shortEntry.ProxyPort, "");
    EXPECT_FALSE(shortEntry.UseProxy);
    EXPECT_FALSE(shortEntry.Passive);
    EXPECT_FALSE(ReadFtpEntry("old|h|21|u|p|1|px|3128").Passive);
}

TEST(FtpConnectionsTest, StatusLogStartsAgainInsteadOfPassing501Lines) {
    TFtpStatusLog log;
    for (int i = 0; i < TFtpStatusLog::MaxLines; ++i)
        ASSERT_FALSE(log.Append("line " + std::to_string(i)));
    ASSERT_EQ(log.Lines().size(), 501u);
    EXPECT_TRUE(log.Append("next"));
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines().front(), "next");

    // A reply of several lines counts each of them; its closing line break opens no line.
    log.Clear();
    for (int i = 0; i < 499; ++i)
        log.Append("x");
    EXPECT_TRUE(log.Append("220-one\r\n220-two\r\n220 three\r\n"));
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines().front(), "220 three");
    EXPECT_FALSE(log.Append(""));
    EXPECT_EQ(log.Lines().back(), "");
}

} // namespace
} // namespace ks
