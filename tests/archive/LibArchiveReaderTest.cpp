#include "archive/LibArchiveReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include "archive/ArchiveKinds.h"
#include "foundation/System.h"
#include "platform/LinuxSystem.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

// The real system for the length of a test: names outside ASCII come through its UTF-8 text
// locale, as in the program.
class TRealSystem {
public:
    TRealSystem() : FFiles(FileSystem()) { SetPlatform(&FSystem, &FFiles); }
    ~TRealSystem() { SetPlatform(nullptr, &FFiles); }

private:
    TKLinuxSystem FSystem;
    TKFileSystem& FFiles;
};

class TCollectSink : public TKArchiveSink {
public:
    explicit TCollectSink(std::size_t stopAfter = std::numeric_limits<std::size_t>::max(),
                          int progressStopAfter = -1)
        : FStopAfter(stopAfter), FProgressStopAfter(progressStopAfter) {}
    bool AddEntry(const TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return Entries.size() < FStopAfter;
    }
    bool Progress() override {
        ++ProgressCalls;
        return FProgressStopAfter < 0 || ProgressCalls < FProgressStopAfter;
    }
    std::vector<TArchiveEntry> Entries;
    int ProgressCalls = 0;

private:
    std::size_t FStopAfter;
    int FProgressStopAfter;
};

struct TListing {
    Result<void> Outcome;
    std::vector<TArchiveEntry> Entries;
    int ProgressCalls = 0;
};

TListing ListFile(TArchiveKind kind, const std::string& path, TLibArchiveLimits limits = {},
                  std::size_t stopAfter = std::numeric_limits<std::size_t>::max(),
                  int progressStopAfter = -1) {
    TLibArchiveReader reader(kind, limits);
    TCollectSink sink(stopAfter, progressStopAfter);
    Result<void> outcome = reader.ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries, sink.ProgressCalls};
}

std::string Tool(const std::string& folder, std::vector<std::string> argv) {
    std::string line;
    for (const std::string& arg : argv)
        line += arg + " ";
    argv.insert(argv.begin(), {"env", "-C", folder});
    const test::TRunResult run = test::Run(argv, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
    EXPECT_EQ(run.ExitCode, 0) << line;
    return run.Out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Days from 1970-01-01 to a date of the Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 719468;
}

// "2021-01-02 03:04:05" or "2021-01-02 03:04" in UTC.
std::int64_t ParseTime(const std::string& date, const std::string& time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::sscanf(date.c_str(), "%d-%d-%d", &y, &mo, &d);
    std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s);
    return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

constexpr std::int64_t TreeTime = 1600000000; // 2020-09-13 12:26:40 UTC

void SetTime(const std::string& path, std::int64_t when = TreeTime) {
    utimbuf times{static_cast<time_t>(when), static_cast<time_t>(when)};
    ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

// A small tree: files of several sizes, an empty folder, a read-only file, a UTF-8 name and a
// symbolic link; every time set, the folders' last.
void MakeTree(const TempTree& base) {
    base.File("tree/docs/readme.txt", "hello\n");
    std::string picture;
    for (int i = 0; i < 3000; ++i)
        picture += static_cast<char>((i * 7919) % 251);
    base.File("tree/docs/img/pic.bin", picture);
    base.File("tree/\xC3\xBC"
              "ber.txt",
              std::string(500, 'a'));
    base.File("tree/ro.txt", "read only\n");
    ASSERT_EQ(::chmod((base / "tree/ro.txt").c_str(), 0444), 0);
    base.Folder("tree/empty");
    ASSERT_EQ(::symlink("ro.txt", (base / "tree/link").c_str()), 0);
    for (const char* path : {"tree/docs/readme.txt", "tree/docs/img/pic.bin",
                             "tree/\xC3\xBC"
                             "ber.txt",
                             "tree/ro.txt", "tree/empty", "tree/docs/img", "tree/docs", "tree"})
        SetTime(base / path);
}

struct TToolEntry {
    std::string Name;
    std::uint64_t Size = 0;
    bool Folder = false;
    bool ReadOnly = false;
    std::int64_t Time = 0;
};

// `tar -tv --full-time` lines (also `dpkg-deb -c`, which prints minutes only):
// "drwxr-xr-x user/group 0 2020-09-13 12:26:40 tree/docs/".
std::vector<TToolEntry> TarToolListing(const std::string& out) {
    std::vector<TToolEntry> entries;
    for (const std::string& line : Lines(out)) {
        std::istringstream in(line);
        std::string perms, owner, date, time;
        TToolEntry entry;
        in >> perms >> owner >> entry.Size >> date >> time >> std::ws;
        std::getline(in, entry.Name);
        const std::size_t arrow = entry.Name.find(" -> ");
        if (arrow != std::string::npos)
            entry.Name.resize(arrow);
        entry.Folder = perms[0] == 'd';
        entry.ReadOnly = perms[2] != 'w';
        entry.Time = ParseTime(date, time);
        while (entry.Name.size() > 2 && entry.Name.substr(0, 2) == "./")
            entry.Name.erase(0, 2);
        if (!entry.Name.empty() && entry.Name.back() == '/')
            entry.Name.pop_back();
        if (entry.Name.empty() || entry.Name == ".")
            continue;
        entries.push_back(entry);
    }
    return entries;
}

void ExpectSameAsTool(const TListing& listing, const std::vector<TToolEntry>& listed,
                      bool checkSeconds = true) {
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const TArchiveEntry& entry = listing.Entries[i];
        SCOPED_TRACE(listed[i].Name);
        EXPECT_EQ(entry.Name, listed[i].Name);
        EXPECT_EQ(entry.Size, listed[i].Size);
        EXPECT_EQ((entry.Attr & 0x10) != 0, listed[i].Folder);
        EXPECT_EQ((entry.Attr & 0x01) != 0, listed[i].ReadOnly);
        EXPECT_EQ(checkSeconds ? entry.ModTime : entry.ModTime / 60 * 60, listed[i].Time);
        EXPECT_EQ(entry.Time, 0u);
        EXPECT_EQ(entry.PackedSize, UnknownPackedSize);
        EXPECT_EQ(entry.HostOS, 99);
        EXPECT_EQ(entry.PackMethod, -1);
        EXPECT_EQ(entry.PackerVersion, -1);
        EXPECT_EQ(entry.CheckValue, 0u);
    }
}

TEST(LibArchiveReader, ListsTarOfEveryCompressionAsTarListsIt) {
    for (const char* tool : {"tar", "gzip", "bzip2", "xz", "zstd"})
        ASSERT_TRUE(test::OnPath(tool)) << tool;
    TempTree base;
    MakeTree(base);
    struct TCase {
        const char* Flag;
        const char* File;
    };
    for (const TCase& c :
         {TCase{"--no-auto-compress", "out.tar"}, TCase{"--gzip", "out.tar.gz"},
          TCase{"--bzip2", "out.tar.bz2"}, TCase{"--xz", "out.tar.xz"}, TCase{"--zstd", "out.tar.zst"}}) {
        for (const char* format : {"gnu", "posix"}) {
            SCOPED_TRACE(std::string(c.File) + " " + format);
            const std::string archive = base / c.File;
            std::remove(archive.c_str());
            Tool(base.Path(), {"tar", "--format", format, c.Flag, "-cf", c.File, "tree"});
            const std::string out =
                Tool(base.Path(), {"tar", "--quoting-style=literal", "--full-time", "-tvf", c.File});
            const std::vector<TToolEntry> listed = TarToolListing(out);
            ASSERT_EQ(listed.size(), 9u) << out;
            ExpectSameAsTool(ListFile(akTAR, archive), listed);
        }
    }
}

// `7z l -slt` blocks: "Path = ...", "Size = ...", "Modified = 2020-09-13 12:26:40.xxx", "Attributes = D...".
std::vector<TToolEntry> SevenZipListing(const std::string& out) {
    std::vector<TToolEntry> entries;
    bool inEntries = false;
    TToolEntry entry;
    bool have = false;
    for (const std::string& line : Lines(out)) {
        if (line.rfind("----------", 0) == 0) {
            inEntries = true;
            continue;
        }
        if (!inEntries)
            continue;
        const std::size_t eq = line.find(" = ");
        if (line.empty() || eq == std::string::npos) {
            if (have)
                entries.push_back(entry);
            entry = {};
            have = false;
            continue;
        }
        const std::string key = line.substr(0, eq), value = line.substr(eq + 3);
        if (key == "Path") {
            entry.Name = value;
            have = true;
        } else if (key == "Size") {
            entry.Size = std::stoull(value);
        } else if (key == "Modified") {
            entry.Time = ParseTime(value.substr(0, 10), value.substr(11, 8));
        } else if (key == "Attributes") {
            entry.Folder = value.find('D') != std::string::npos;
            entry.ReadOnly = value.find('R') != std::string::npos;
        }
    }
    if (have)
        entries.push_back(entry);
    return entries;
}

TEST(LibArchiveReader, Lists7zAs7zListsIt) {
    const TRealSystem real;
    ASSERT_TRUE(test::OnPath("7z"));
    TempTree base;
    MakeTree(base);
    ASSERT_EQ(::unlink((base / "tree/link").c_str()), 0);
    Tool(base.Path(), {"7z", "a", "-bd", "out.7z", "tree"});
    const std::vector<TToolEntry> listed = SevenZipListing(Tool(base.Path(), {"7z", "l", "-slt", "out.7z"}));
    ASSERT_EQ(listed.size(), 8u);
    TListing listing = ListFile(ak7Z, base / "out.7z");
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    // Both list the archive's own order; folders carry no size.
    std::vector<TToolEntry> expected = listed;
    for (TToolEntry& entry : expected)
        if (entry.Folder)
            entry.Size = 0;
    ExpectSameAsTool(listing, expected);
}

// `isoinfo -l` listings: "Directory listing of /docs/" then
// "-r--r--r--   1    0    0              10 Sep 13 2020 [     30 00]  ro.txt".
std::map<std::string, TToolEntry> IsoToolListing(const std::string& out) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::map<std::string, TToolEntry> entries;
    std::string folder;
    for (const std::string& line : Lines(out)) {
        if (line.rfind("Directory listing of /", 0) == 0) {
            folder = line.substr(22);
            continue;
        }
        const std::size_t close = line.find("]  ");
        if (close == std::string::npos)
            continue;
        std::istringstream in(line);
        std::string perms, links, uid, gid, month;
        TToolEntry entry;
        int day = 0, year = 0;
        in >> perms >> links >> uid >> gid >> entry.Size >> month >> day >> year;
        entry.Name = line.substr(close + 3);
        while (!entry.Name.empty() && entry.Name.back() == ' ')
            entry.Name.pop_back();
        const std::size_t arrow = entry.Name.find(" -> ");
        if (arrow != std::string::npos)
            entry.Name.resize(arrow);
        if (entry.Name == "." || entry.Name == "..")
            continue;
        entry.Name = folder + entry.Name;
        entry.Folder = perms[0] == 'd';
        entry.ReadOnly = perms[2] != 'w';
        int monthNumber = 1;
        for (int m = 0; m < 12; ++m)
            if (month == months[m])
                monthNumber = m + 1;
        entry.Time = DaysFromCivil(year, monthNumber, day) * 86400;
        entries[entry.Name] = entry;
    }
    return entries;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            utf8 += ch;
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

TEST(LibArchiveReader, ListsIsoWithRockRidgeAndJolietNamesAsIsoinfoListsThem) {
    const TRealSystem real;
    for (const char* tool : {"genisoimage", "isoinfo"})
        ASSERT_TRUE(test::OnPath(tool)) << tool;
    TempTree base;
    MakeTree(base);
    base.File("tree/a name longer than eight dot three allows.text", "long");
    SetTime(base / "tree/a name longer than eight dot three allows.text");
    SetTime(base / "tree");
    struct TCase {
        const char* Names; ///< genisoimage's name extensions, isoinfo's reading of them
        const char* Read;
        std::size_t Count; ///< the symbolic link is one only with Rock Ridge, Joliet alone skips it
    };
    for (const TCase& c : {TCase{"-R", "-R", 9}, TCase{"-J", "-J", 8}, TCase{"-R -J", "-R", 9}}) {
        SCOPED_TRACE(c.Names);
        std::vector<std::string> make = {"genisoimage", "-quiet", "-input-charset", "utf-8", "-o", "out.iso"};
        if (std::string(c.Names).find("-R") != std::string::npos)
            make.push_back("-R");
        if (std::string(c.Names).find("-J") != std::string::npos)
            make.push_back("-J");
        make.push_back("tree");
        Tool(base.Path(), make);
        // isoinfo shows Joliet names in a code page, ours fits Latin-1.
        const bool joliet = std::string(c.Read) == "-J";
        std::vector<std::string> show = {"isoinfo", c.Read, "-l", "-i", "out.iso"};
        if (joliet)
            show.insert(show.begin() + 2, {"-j", "iso8859-1"});
        const std::string shown = Tool(base.Path(), show);
        const std::map<std::string, TToolEntry> listed = IsoToolListing(joliet ? Latin1ToUtf8(shown) : shown);
        const TListing listing = ListFile(akISO, base / "out.iso");
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), listed.size());
        EXPECT_EQ(listed.size(), c.Count);
        for (const TArchiveEntry& entry : listing.Entries) {
            SCOPED_TRACE(entry.Name);
            const auto found = listed.find(entry.Name);
            ASSERT_NE(found, listed.end());
            EXPECT_EQ((entry.Attr & 0x10) != 0, found->second.Folder);
            if (!found->second.Folder && found->second.Name != "link") {
                EXPECT_EQ(entry.Size, found->second.Size);
            }
            // The link's own time is the moment the tree was made.
            if (found->second.Name != "link") {
                EXPECT_EQ(entry.ModTime / 86400 * 86400, found->second.Time);
            }
            EXPECT_EQ(entry.Time, 0u);
        }
    }
}

void MakePackage(const TempTree& base) {
    base.File("pkg/DEBIAN/control", "Package: kstest\nVersion: 1.0\nArchitecture: all\n"
                                    "Maintainer: Someone <someone@example.org>\nDescription: test\n");
    base.File("pkg/DEBIAN/postinst", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod((base / "pkg/DEBIAN/postinst").c_str(), 0755), 0);
    base.File("pkg/usr/bin/kstool", std::string(1234, 'x'));
    base.File("pkg/usr/share/doc/kstest/README", "read me\n");
    for (const char* path :
         {"pkg/usr/bin/kstool", "pkg/usr/share/doc/kstest/README", "pkg/usr/share/doc/kstest",
          "pkg/usr/share/doc", "pkg/usr/share", "pkg/usr/bin", "pkg/usr", "pkg"})
        SetTime(base / path);
}

TEST(LibArchiveReader, ListsDebDataAtTheRootAndControlFilesInDebian) {
    for (const char* tool : {"dpkg-deb", "find"})
        ASSERT_TRUE(test::OnPath(tool)) << tool;
    TempTree base;
    MakePackage(base);
    for (const char* compression : {"xz", "gzip", "zstd", "none"}) {
        SCOPED_TRACE(compression);
        std::remove((base / "out.deb").c_str());
        Tool(base.Path(), {"dpkg-deb", "--root-owner-group", std::string("-Z") + compression, "--build",
                           "pkg", "out.deb"});
        std::vector<TToolEntry> listed = TarToolListing(Tool(base.Path(), {"dpkg-deb", "-c", "out.deb"}));
        ASSERT_EQ(listed.size(), 7u);
        // The control files as `dpkg-deb -R` lays them out, in front of the data.
        Tool(base.Path(), {"rm", "-rf", "unpacked"});
        Tool(base.Path(), {"dpkg-deb", "-R", "out.deb", "unpacked"});
        const std::vector<std::string> control =
            Lines(Tool(base / "unpacked", {"find", "DEBIAN", "-type", "f", "-printf", "%P %s\n"}));
        const TListing listing = ListFile(akDEB, base / "out.deb");
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), 1 + control.size() + listed.size());
        EXPECT_EQ(listing.Entries[0].Name, "DEBIAN");
        EXPECT_NE(listing.Entries[0].Attr & 0x10, 0u);
        std::map<std::string, std::uint64_t> controlFiles;
        for (const std::string& line : control)
            controlFiles["DEBIAN/" + line.substr(0, line.find(' '))] =
                std::stoull(line.substr(line.find(' ') + 1));
        EXPECT_EQ(controlFiles.size(), 2u);
        for (std::size_t i = 1; i <= control.size(); ++i) {
            SCOPED_TRACE(listing.Entries[i].Name);
            ASSERT_EQ(controlFiles.count(listing.Entries[i].Name), 1u);
            EXPECT_EQ(listing.Entries[i].Size, controlFiles[listing.Entries[i].Name]);
            EXPECT_EQ(listing.Entries[i].StoredName, listing.Entries[i].Name);
        }
        TListing data = listing;
        data.Entries.erase(data.Entries.begin(),
                           data.Entries.begin() + 1 + static_cast<long>(control.size()));
        ExpectSameAsTool(data, listed, false);
        EXPECT_EQ(data.Entries[0].StoredName, "./usr/");
    }
}

TEST(LibArchiveReader, KeepsTheBytesOfNamesThatAreNoUtf8) {
    TempTree base;
    base.File("tree/caf\xE9.txt", "latin-1 name");
    Tool(base.Path(), {"tar", "-cf", "out.tar", "tree/caf\xE9.txt"});
    const TListing listing = ListFile(akTAR, base / "out.tar");
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), 1u);
    EXPECT_EQ(listing.Entries[0].StoredName, "tree/caf\xE9.txt");
    EXPECT_EQ(listing.Entries[0].Name, "tree/caf\xEF\xBF\xBD.txt");
    EXPECT_EQ(listing.Entries[0].Size, 12u);
}

TEST(LibArchiveReader, CutArchivesKeepTheEntriesBeforeTheCut) {
    TempTree base;
    for (int i = 0; i < 20; ++i) {
        std::string noise;
        std::uint32_t state = 12345u + static_cast<std::uint32_t>(i);
        for (int k = 0; k < 20000; ++k) {
            state = state * 1103515245u + 12345u;
            noise += static_cast<char>(state >> 24);
        }
        base.File("tree/f" + std::to_string(i), noise);
    }
    struct TCase {
        const char* Flag;
        const char* File;
        TArchiveKind Kind;
    };
    for (const TCase& c : {TCase{"--no-auto-compress", "out.tar", akTAR},
                           TCase{"--gzip", "out.tar.gz", akTAR}, TCase{"--xz", "out.tar.xz", akTAR}}) {
        SCOPED_TRACE(c.File);
        Tool(base.Path(), {"tar", c.Flag, "-cf", c.File, "tree"});
        const std::string whole = TempTree::ReadFile(base / c.File);
        ASSERT_GT(whole.size(), 300000u);
        base.File("cut", whole.substr(0, whole.size() / 2));
        const TListing listing = ListFile(c.Kind, base / "cut");
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Path, base / "cut");
        EXPECT_NE(listing.Outcome.error().Detail.find("entry "), std::string::npos)
            << listing.Outcome.error().Detail;
        EXPECT_GE(listing.Entries.size(), 2u);
        EXPECT_LT(listing.Entries.size(), 21u);
    }
    // A package cut inside its data member keeps the control files and names the member.
    MakePackage(base);
    base.File("pkg/usr/bin/kstool", std::string(60000, 'x'));
    Tool(base.Path(), {"dpkg-deb", "--root-owner-group", "-Znone", "--build", "pkg", "out.deb"});
    const std::string package = TempTree::ReadFile(base / "out.deb");
    base.File("cut.deb", package.substr(0, package.size() / 2));
    const TListing cutPackage = ListFile(akDEB, base / "cut.deb");
    ASSERT_FALSE(cutPackage.Outcome);
    EXPECT_EQ(cutPackage.Outcome.error().Code, TErrorCode::ecParse);
    EXPECT_EQ(cutPackage.Outcome.error().Detail.rfind("data.tar: ", 0), 0u)
        << cutPackage.Outcome.error().Detail;
    ASSERT_GE(cutPackage.Entries.size(), 3u);
    EXPECT_EQ(cutPackage.Entries[0].Name, "DEBIAN");

    // A 7z cut anywhere loses its directory, which sits at the end.
    Tool(base.Path(), {"7z", "a", "-bd", "out.7z", "tree"});
    const std::string whole = TempTree::ReadFile(base / "out.7z");
    base.File("cut.7z", whole.substr(0, whole.size() - 10));
    const TListing listing = ListFile(ak7Z, base / "cut.7z");
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
}

// A ustar header of an empty file.
std::string EmptyFileHeader(const std::string& name) {
    std::string header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(100, 7, "0000644");
    header.replace(108, 7, "0000000");
    header.replace(116, 7, "0000000");
    header.replace(124, 11, "00000000000");
    header.replace(136, 11, "13666420400");
    header[156] = '0';
    header.replace(257, 6, std::string("ustar\0", 6));
    header.replace(263, 2, "00");
    header.replace(148, 8, "        ");
    unsigned sum = 0;
    for (const char ch : header)
        sum += static_cast<unsigned char>(ch);
    char text[8];
    std::snprintf(text, sizeof text, "%06o", sum);
    header.replace(148, 7, std::string(text, 6) + '\0');
    return header;
}

TEST(LibArchiveReader, ABombOfEmptyHeadersStopsAtTheEntryLimit) {
    TempTree base;
    std::string tar;
    for (int i = 0; i < 5000; ++i)
        tar += EmptyFileHeader("e" + std::to_string(i));
    tar += std::string(1024, '\0');
    base.File("bomb.tar", tar);
    Tool(base.Path(), {"xz", "-9", "bomb.tar"});
    ASSERT_LT(TempTree::ReadFile(base / "bomb.tar.xz").size(), 20000u);
    TLibArchiveLimits limits;
    limits.MaxEntries = 1000;
    const TListing listing = ListFile(akTAR, base / "bomb.tar.xz", limits);
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecTooLarge);
    EXPECT_NE(listing.Outcome.error().Detail.find("more than 1000 entries"), std::string::npos);
    EXPECT_EQ(listing.Entries.size(), 1000u);
    EXPECT_EQ(listing.Entries.back().Name, "e999");
    // Under the limit the same stream lists whole.
    limits.MaxEntries = 5000;
    EXPECT_TRUE(ListFile(akTAR, base / "bomb.tar.xz", limits).Outcome);
}

TEST(LibArchiveReader, TheSinkStopsTheListing) {
    TempTree base;
    MakePackage(base);
    Tool(base.Path(), {"tar", "-czf", "out.tar.gz", "pkg"});
    Tool(base.Path(), {"dpkg-deb", "--root-owner-group", "--build", "pkg", "out.deb"});
    for (const auto& [kind, file] : {std::pair{akTAR, "out.tar.gz"}, std::pair{akDEB, "out.deb"}}) {
        SCOPED_TRACE(file);
        const TListing listing = ListFile(kind, base / file, {}, 2);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecCancelled);
        EXPECT_EQ(listing.Entries.size(), 2u);
    }
}

TEST(LibArchiveReader, AskForProgressWhileAHugeMemberIsSkipped) {
    ASSERT_TRUE(test::OnPath("zstd"));
    TempTree base;
    base.File("tree/a-big", std::string(std::size_t{24} << 20, '\0'));
    base.File("tree/b-small", "after");
    Tool(base.Path(), {"tar", "--zstd", "-cf", "out.tar.zst", "tree/a-big", "tree/b-small"});
    TLibArchiveLimits limits;
    limits.ProgressBytes = std::size_t{1} << 20;
    const TListing whole = ListFile(akTAR, base / "out.tar.zst", limits);
    ASSERT_TRUE(whole.Outcome) << whole.Outcome.error().Detail;
    EXPECT_EQ(whole.Entries.size(), 2u);
    EXPECT_GE(whole.ProgressCalls, 8);
    // Esc while the big member is skipped: the small one after it is never reached.
    const TListing stopped =
        ListFile(akTAR, base / "out.tar.zst", limits, std::numeric_limits<std::size_t>::max(), 3);
    ASSERT_FALSE(stopped.Outcome);
    EXPECT_EQ(stopped.Outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(stopped.Entries.size(), 1u);
    EXPECT_EQ(stopped.ProgressCalls, 3);
}

TEST(LibArchiveReader, RefusesNamesLongerThanTheLimit) {
    TempTree base;
    const std::string longName(120, 'n');
    base.File("tree/short", "s");
    base.File("tree/" + longName, "l");
    Tool(base.Path(), {"tar", "--format", "posix", "-cf", "out.tar", "tree/short", "tree/" + longName});
    TLibArchiveLimits limits;
    limits.MaxNameLength = 100;
    const TListing listing = ListFile(akTAR, base / "out.tar", limits);
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
    EXPECT_NE(listing.Outcome.error().Detail.find("entry 2 at offset"), std::string::npos)
        << listing.Outcome.error().Detail;
    EXPECT_EQ(listing.Entries.size(), 1u);
    EXPECT_TRUE(ListFile(akTAR, base / "out.tar").Outcome);
}

TEST(LibArchiveReader, BytesListAsTheFileDoes) {
    TempTree base;
    MakeTree(base);
    Tool(base.Path(), {"tar", "-cJf", "out.tar.xz", "tree"});
    Tool(base.Path(), {"7z", "a", "-bd", "out.7z", "tree/docs"});
    Tool(base.Path(), {"genisoimage", "-quiet", "-R", "-J", "-o", "out.iso", "tree"});
    for (const auto& [kind, file] :
         {std::pair{akTAR, "out.tar.xz"}, std::pair{ak7Z, "out.7z"}, std::pair{akISO, "out.iso"}}) {
        SCOPED_TRACE(file);
        const TListing fromFile = ListFile(kind, base / file);
        ASSERT_TRUE(fromFile.Outcome) << fromFile.Outcome.error().Detail;
        TCollectSink sink;
        const Result<void> done = ReadLibArchiveDirectory(kind, TempTree::ReadFile(base / file), sink);
        ASSERT_TRUE(done) << done.error().Detail;
        ASSERT_EQ(sink.Entries.size(), fromFile.Entries.size());
        for (std::size_t i = 0; i < sink.Entries.size(); ++i) {
            EXPECT_EQ(sink.Entries[i].Name, fromFile.Entries[i].Name);
            EXPECT_EQ(sink.Entries[i].Size, fromFile.Entries[i].Size);
        }
        // Another kind's reader does not take it.
        TCollectSink other;
        EXPECT_FALSE(
            ReadLibArchiveDirectory(kind == ak7Z ? akISO : ak7Z, TempTree::ReadFile(base / file), other));
        EXPECT_TRUE(other.Entries.empty());
    }
}

TEST(LibArchiveReader, MissingFilesAndFoldersFail) {
    TempTree base;
    base.Folder("folder");
    EXPECT_EQ(ListFile(akTAR, base / "none.tar").Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(ListFile(akTAR, base / "folder").Outcome.error().Code, TErrorCode::ecNotRegular);
    base.File("garbage.tar.gz", std::string(4096, 'g'));
    const TListing garbage = ListFile(akTAR, base / "garbage.tar.gz");
    EXPECT_EQ(garbage.Outcome.error().Code, TErrorCode::ecParse);
}

TEST(LibArchiveReader, KindsHaveReadersAndNames) {
    const std::pair<TArchiveKind, const char*> kinds[] = {
        {akTAR, "ArchiveTAR"}, {ak7Z, "Archive7Z"}, {akISO, "ArchiveISO"}, {akDEB, "ArchiveDEB"}};
    for (const auto& [kind, name] : kinds) {
        EXPECT_STREQ(ArchiveKindName(kind), name);
        EXPECT_NE(dynamic_cast<TLibArchiveReader*>(MakeArchiveReader(kind).get()), nullptr);
    }
    EXPECT_STREQ(ArchiveKindName(akUnknown), "ArchiveUnknown");
    EXPECT_STREQ(ArchiveKindName(12), "ArchiveUnknown");
    EXPECT_STREQ(ArchiveKindName(akZIP), "ArchiveZIP");
}

} // namespace
} // namespace ks
