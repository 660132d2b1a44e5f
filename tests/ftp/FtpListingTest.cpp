#include "ftp/FtpListing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ks {
namespace {

constexpr std::int64_t Ns = 1'000'000'000;
// 2024-06-15 12:00:00 UTC.
constexpr std::int64_t Now = 1718452800 * Ns;
constexpr std::int64_t NoTime = -1;

struct TWant {
    std::string Name;
    std::int64_t Size = 0;
    bool IsFolder = false;
    bool IsLink = false;
    std::string LinkTarget;
    std::int64_t Seconds = NoTime; ///< UTC seconds since 1970, NoTime when the entry has none
    std::string AttrText;
};

struct TCase {
    const char* Name;
    std::string Line;
    TFtpLineKind Kind;
    TWant Want = {};
};

void ExpectEntry(const TFtpEntry& got, const TWant& want) {
    EXPECT_EQ(got.Name, want.Name);
    EXPECT_EQ(got.Size, want.Size);
    EXPECT_EQ(got.IsFolder, want.IsFolder);
    EXPECT_EQ(got.IsLink, want.IsLink);
    EXPECT_EQ(got.LinkTarget, want.LinkTarget);
    EXPECT_EQ(got.HasTime, want.Seconds != NoTime);
    EXPECT_EQ(got.MTimeNs, want.Seconds == NoTime ? 0 : want.Seconds * Ns);
    EXPECT_EQ(got.AttrText, want.AttrText);
}

TEST(FtpListing, ReadsListLinesOfTheCommonServers) {
    const std::string longName(70000, 'n');
    const TCase cases[] = {
        // pyftpdlib pads the day with a zero and separates the name with one space.
        {"pyftpdlib file",
         "-rw-r--r--   1 ftp      ftp          1234 Jan 05 12:30 name with  spaces ",
         flEntry,
         {"name with  spaces ", 1234, false, false, "", 1704457800, "-rw-r--r--"}},
        {"pyftpdlib folder with a year",
         "drwxr-xr-x   2 ftp      ftp          4096 Mar 14  2023 docs",
         flEntry,
         {"docs", 4096, true, false, "", 1678752000, "drwxr-xr-x"}},
        {"vsftpd numeric owner",
         "-rw-r--r--    1 1000     1000            0 Jan  5 12:30 empty.txt",
         flEntry,
         {"empty.txt", 0, false, false, "", 1704457800, "-rw-r--r--"}},
        {"ProFTPD two-word name",
         "-rw-r--r-- 1 ftp ftp 123 Mar 14  2023 a b.txt",
         flEntry,
         {"a b.txt", 123, false, false, "", 1678752000, "-rw-r--r--"}},
        {"link",
         "lrwxrwxrwx   1 root     root            7 Jan  5 12:30 latest -> v2/build",
         flEntry,
         {"latest", 7, false, true, "v2/build", 1704457800, "lrwxrwxrwx"}},
        {"no group column, date later this year is last year",
         "-rw-r--r-- 1 ftp 99 Jun 20 09:00 nogroup",
         flEntry,
         {"nogroup", 99, false, false, "", 1687251600, "-rw-r--r--"}},
        {"no links or group columns, date tomorrow stays this year",
         "-rw-r--r-- ftp 5 Jun 16 10:00 soon",
         flEntry,
         {"soon", 5, false, false, "", 1718532000, "-rw-r--r--"}},
        {"character device",
         "crw-rw----   1 root     tty       4,   0 Jan  1  2024 tty0",
         flEntry,
         {"tty0", 0, false, false, "", 1704067200, "crw-rw----"}},
        {"block device, numbers joined",
         "brw-rw---- 1 root disk 8,0 Jan  1  2020 sda",
         flEntry,
         {"sda", 0, false, false, "", 1577836800, "brw-rw----"}},
        {"access-list marker",
         "drwxr-xr-x+  3 u g 4096 Jan  5 12:30 acl",
         flEntry,
         {"acl", 4096, true, false, "", 1704457800, "drwxr-xr-x"}},
        {"month-like words in the name",
         "-rw-r--r-- 1 u g 1 Jan  5 12:30 Feb 3 2020 notes",
         flEntry,
         {"Feb 3 2020 notes", 1, false, false, "", 1704457800, "-rw-r--r--"}},
        {"largest size",
         "-rw-r--r-- 1 u g 9223372036854775807 Jan  1  2024 huge",
         flEntry,
         {"huge", INT64_MAX, false, false, "", 1704067200, "-rw-r--r--"}},
        {"bytes not UTF-8 kept",
         "-rw-r--r-- 1 u g 1 Jan  1  2024 caf\xe9\xff",
         flEntry,
         {"caf\xe9\xff", 1, false, false, "", 1704067200, "-rw-r--r--"}},
        {"no such day: an entry without a time",
         "-rw-r--r-- 1 u g 1 Feb 30  2023 odd",
         flEntry,
         {"odd", 1, false, false, "", NoTime, "-rw-r--r--"}},
        {"leading spaces are padding",
         "-rw-r--r-- 1 u g 1 Jan  1  2024    padded",
         flEntry,
         {"padded", 1, false, false, "", 1704067200, "-rw-r--r--"}},
        {"long name",
         "-rw-r--r-- 1 u g 1 Jan  1  2024 " + longName,
         flEntry,
         {longName, 1, false, false, "", 1704067200, "-rw-r--r--"}},
        {"IIS folder, 12-hour",
         "01-31-24  09:15PM       <DIR>          My Folder",
         flEntry,
         {"My Folder", 0, true, false, "", 1706735700, ""}},
        {"IIS file, 24-hour, four-digit year",
         "01-31-2024  21:15  1234 file.txt",
         flEntry,
         {"file.txt", 1234, false, false, "", 1706735700, ""}},
        {"IIS midnight, 1990s",
         "12-01-99  12:05AM                   10 old  name",
         flEntry,
         {"old  name", 10, false, false, "", 944006700, ""}},
        {"IIS noon, two-digit year below 70",
         "03-04-69  12:00PM 5 x",
         flEntry,
         {"x", 5, false, false, "", 3129624000, ""}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFtpEntry entry;
        ASSERT_EQ(ParseFtpListLine(c.Line, Now, entry), c.Kind);
        ExpectEntry(entry, c.Want);
    }
}

TEST(FtpListing, DropsListLinesThatAreNotSafeEntries) {
    const struct {
        const char* Name;
        std::string Line;
        TFtpLineKind Kind;
    } cases[] = {
        {"total", "total 12", flSkip},
        {"empty", "", flSkip},
        {"spaces", "   ", flSkip},
        {"dot", "drwxr-xr-x 2 u g 4096 Jan  5 12:30 .", flSkip},
        {"dot dot", "drwxr-xr-x 2 u g 4096 Jan  5 12:30 ..", flSkip},
        {"link named dot dot", "lrwxrwxrwx 1 u g 1 Jan  5 12:30 .. -> /etc", flSkip},
        {"no name", "-rw-r--r-- 1 u g 1 Jan  5 12:30", flSkip},
        {"only a space for a name", "-rw-r--r-- 1 u g 1 Jan  5 12:30 ", flSkip},
        {"IIS parent", "01-31-24  09:15PM       <DIR>          ..", flSkip},
        {"slash", "drwxr-xr-x 2 u g 4096 Jan  5 12:30 /", flUnsafe},
        {"name with a slash", "-rw-r--r-- 1 u g 1 Jan  5 12:30 a/b", flUnsafe},
        {"climbing name", "drwxr-xr-x 2 u g 1 Jan  5 12:30 ../../etc", flUnsafe},
        {"link name with a slash", "lrwxrwxrwx 1 u g 1 Jan  5 12:30 a/b -> c", flUnsafe},
        {"NUL in a name", std::string("-rw-r--r-- 1 u g 1 Jan  5 12:30 a\0b", 34), flUnsafe},
        {"IIS slash", "01-31-24  09:15PM  1 x/y", flUnsafe},
        {"40-digit size", "-rw-r--r-- 1 u g 1234567890123456789012345678901234567890 Jan  5 12:30 big",
         flUnknown},
        {"size one past 63 bits", "-rw-r--r-- 1 u g 9223372036854775808 Jan  5 12:30 big", flUnknown},
        {"IIS 40-digit size", "01-31-24  09:15PM 1234567890123456789012345678901234567890 big", flUnknown},
        {"IIS bad month", "13-31-24  09:15PM 1 x", flUnknown},
        {"IIS hour 13 PM", "01-31-24  13:15PM 1 x", flUnknown},
        {"garbage", "hello world", flUnknown},
        {"permissions only", "drwxr-xr-x", flUnknown},
        {"no date", "-rw-r--r-- 1 u g 1 sometime name", flUnknown},
        {"server message", "550 No files found", flUnknown},
        {"over-long garbage", std::string(100000, 'x'), flUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFtpEntry entry;
        EXPECT_EQ(ParseFtpListLine(c.Line, Now, entry), c.Kind);
    }
}

TEST(FtpListing, DatesWithoutAYearTakeTheLatestYearNotAfterTomorrow) {
    const struct {
        const char* Name;
        std::int64_t NowSeconds;
        std::string Date;
        std::int64_t Seconds;
    } cases[] = {
        {"new year's eve, a time just past midnight", 1704067140 - 3600, "Jan  1 00:30", 1704067200 + 1800},
        {"early January, last December", 1704067200 + 86400, "Dec 31 23:59", 1704067140},
        {"leap day seen in a year without one", 1709164800 + 365 * 86400, "Feb 29 10:00", 1709164800 + 36000},
        {"before 1970", -315619200 + 86400 * 100, "Feb 29 00:00", -310521600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFtpEntry entry;
        ASSERT_EQ(ParseFtpListLine("-rw-r--r-- 1 u g 1 " + c.Date + " f", c.NowSeconds * Ns, entry), flEntry);
        EXPECT_TRUE(entry.HasTime);
        EXPECT_EQ(entry.MTimeNs, c.Seconds * Ns);
    }
}

TEST(FtpListing, ReadsMlsdLines) {
    const TCase cases[] = {
        {"file with mode",
         "type=file;size=123;modify=20240131211500;unix.mode=0644; name with spaces",
         flEntry,
         {"name with spaces", 123, false, false, "", 1706735700, "-rw-r--r--"}},
        {"a mode written with its 0o prefix",
         "type=file;size=3;unix.mode=0o640; a.txt",
         flEntry,
         {"a.txt", 3, false, false, "", NoTime, "-rw-r-----"}},
        {"facts in any case, fraction, leading spaces kept",
         "Type=DIR;Modify=20240131211500.5;UNIX.mode=0755;  leading",
         flEntry,
         {" leading", 0, true, false, "", NoTime, "drwxr-xr-x"}},
        {"folder without a mode",
         "type=dir;modify=20240131211500; sub",
         flEntry,
         {"sub", 0, true, false, "", 1706735700, "d---------"}},
        {"file without a mode or time",
         "type=file;size=5; x ",
         flEntry,
         {"x ", 5, false, false, "", NoTime, "----------"}},
        {"set-user bit",
         "type=file;unix.mode=4755; suid",
         flEntry,
         {"suid", 0, false, false, "", NoTime, "-rwsr-xr-x"}},
        {"sticky folder",
         "type=dir;unix.mode=1777; tmp",
         flEntry,
         {"tmp", 0, true, false, "", NoTime, "drwxrwxrwt"}},
        {"set-group without execute",
         "type=file;unix.mode=2644; sg",
         flEntry,
         {"sg", 0, false, false, "", NoTime, "-rw-r-Sr--"}},
        {"mode not octal",
         "type=file;unix.mode=0x9; m",
         flEntry,
         {"m", 0, false, false, "", NoTime, "----------"}},
        {"no such date",
         "type=file;modify=20240231000000; d",
         flEntry,
         {"d", 0, false, false, "", NoTime, "----------"}},
        {"unknown facts ignored",
         "type=file;perm=adfr;UNIQUE=801U1;lang=en; u",
         flEntry,
         {"u", 0, false, false, "", NoTime, "----------"}},
        {"no facts", " bare", flEntry, {"bare", 0, false, false, "", NoTime, "----------"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFtpEntry entry;
        ASSERT_EQ(ParseMlsdLine(c.Line, entry), c.Kind);
        if (std::string_view(c.Name).find("fraction") != std::string_view::npos) {
            EXPECT_TRUE(entry.HasTime);
            EXPECT_EQ(entry.MTimeNs, 1706735700 * Ns + 500'000'000);
            entry.HasTime = false;
            entry.MTimeNs = 0;
        }
        ExpectEntry(entry, c.Want);
    }

    const struct {
        const char* Name;
        std::string Line;
        TFtpLineKind Kind;
    } dropped[] = {
        {"current folder", "type=cdir;modify=20240131211500; /pub", flSkip},
        {"parent folder", "type=pdir; ..", flSkip},
        {"parent by name", "type=dir; ..", flSkip},
        {"dot", "type=dir; .", flSkip},
        {"empty name", "type=file;size=1; ", flSkip},
        {"empty line", "", flSkip},
        {"slash", "type=dir; /", flUnsafe},
        {"name with a slash", "type=file; a/b", flUnsafe},
        {"NUL", std::string("type=file; a\0b", 14), flUnsafe},
        {"40-digit size", "type=file;size=1234567890123456789012345678901234567890; big", flUnknown},
        {"size not a number", "type=file;size=-1; neg", flUnknown},
        {"no space", "type=file;size=1;name", flUnknown},
        {"garbage", "hello world", flUnknown},
    };
    for (const auto& c : dropped) {
        SCOPED_TRACE(c.Name);
        TFtpEntry entry;
        EXPECT_EQ(ParseMlsdLine(c.Line, entry), c.Kind);
    }
}

TEST(FtpListing, SplitsAWholeListingAndCountsUnsafeLines) {
    std::vector<TFtpEntry> entries;
    const int unsafe = ParseFtpListing("total 8\r\n"
                                       "drwxr-xr-x 2 u g 4096 Jan  5 12:30 ..\r\n"
                                       "-rw-r--r-- 1 u g 3 Jan  5 12:30 one\r\n"
                                       "-rw-r--r-- 1 u g 3 Jan  5 12:30 ../x\n"
                                       "garbage\n"
                                       "\n"
                                       "-rw-r--r-- 1 u g 3 Jan  5 12:30 last",
                                       false, Now, entries);
    EXPECT_EQ(unsafe, 1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, "one");
    EXPECT_EQ(entries[1].Name, "last");

    entries.clear();
    EXPECT_EQ(ParseFtpListing("type=cdir; .\r\ntype=file;size=1; a\r\ntype=dir; b/c\r\ntype=dir; d\r\n", true,
                              Now, entries),
              1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, "a");
    EXPECT_TRUE(entries[1].IsFolder);
}

} // namespace
} // namespace ks
