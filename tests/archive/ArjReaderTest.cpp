#include "archive/ArjReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>
#include <regex>
#include <sstream>

#include "archive/ArchiveNames.h"
#include "archive/ArjAceBuilder.h"
#include "foundation/System.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::ArjHeader;
using test::RarImage;
using test::TempTree;

class TCollectSink : public TKArchiveSink {
public:
    explicit TCollectSink(std::size_t stopAfter = std::numeric_limits<std::size_t>::max())
        : FStopAfter(stopAfter) {}
    bool AddEntry(const TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return Entries.size() < FStopAfter;
    }
    std::vector<TArchiveEntry> Entries;

private:
    std::size_t FStopAfter;
};

struct TListing {
    Result<void> Outcome;
    std::vector<TArchiveEntry> Entries;
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const TArchiveEntry& entry : Entries)
            names.push_back(entry.Name);
        return names;
    }
};

TListing ListFile(const std::string& path, std::size_t stopAfter = std::numeric_limits<std::size_t>::max()) {
    TArjReader reader;
    TCollectSink sink(stopAfter);
    Result<void> outcome = reader.ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries};
}

TListing ListBytes(const std::string& bytes) {
    TCollectSink sink;
    Result<void> outcome = ReadArjDirectory(bytes, sink);
    return {outcome, sink.Entries};
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// "YY-MM-DD hh:mm:ss" of an entry's time, as the archiver lists it in UTC.
std::string TimeText(const TArchiveEntry& entry) {
    char text[32];
    if (entry.ModTime != 0) {
        const std::time_t seconds = entry.ModTime;
        std::tm utc{};
        ::gmtime_r(&seconds, &utc);
        std::strftime(text, sizeof text, "%y-%m-%d %H:%M:%S", &utc);
        return text;
    }
    const std::uint32_t t = entry.Time;
    std::snprintf(text, sizeof text, "%02u-%02u-%02u %02u:%02u:%02u", (80 + (t >> 25)) % 100, (t >> 21) & 15,
                  (t >> 16) & 31, (t >> 11) & 31, (t >> 5) & 63, (t & 31) * 2);
    return text;
}

// What `arj v` says of each entry of the volumes of a set, the parts of a split file joined.
struct TArjListed {
    std::string Name;
    std::uint64_t Size = 0;
    std::uint64_t Packed = 0;
    std::string Time;
    int Version = 0;
    std::string Host;
    bool Folder = false;
};

std::vector<TArjListed> ArjListing(const std::vector<std::string>& volumes) {
    std::vector<TArjListed> entries;
    const std::regex nameLine(R"(^\d{3}\) (.*)$)");
    const std::regex fieldLine(R"(^ *(\d+) (\S+) +(\d+) +(\d+) \S+ (\S+ \S+) (\S+).*?([<>*])? *$)");
    bool continued = false;
    for (const std::string& volume : volumes) {
        const test::TRunResult run = test::Run({"arj", "v", volume}, {"TZ=UTC", "LC_ALL=C"}, 120000);
        EXPECT_EQ(run.ExitCode, 0) << volume;
        std::istringstream lines(run.Out);
        std::string line;
        std::string name;
        std::smatch match;
        while (std::getline(lines, line)) {
            if (std::regex_match(line, match, nameLine)) {
                name = match[1];
                continue;
            }
            if (name.empty() || !std::regex_match(line, match, fieldLine))
                continue;
            const std::uint64_t size = std::stoull(match[3]);
            const std::uint64_t packed = std::stoull(match[4]);
            if (continued && !entries.empty() && entries.back().Name == name) {
                entries.back().Size += size;
                entries.back().Packed += packed;
            } else {
                entries.push_back(
                    {name, size, packed, match[5], std::stoi(match[1]), match[2], match[6].str()[0] == 'd'});
            }
            // ">" marks a file going on in the next volume, "*" one going on from and into others.
            const std::string mark = match[7];
            continued = mark == ">" || mark == "*";
            name.clear();
        }
    }
    return entries;
}

void ExpectSameAsArj(const TListing& listing, const std::vector<TArjListed>& expected) {
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TArchiveEntry& entry = listing.Entries[i];
        SCOPED_TRACE(expected[i].Name);
        EXPECT_EQ(entry.Name, expected[i].Name);
        EXPECT_EQ(entry.StoredName, expected[i].Name);
        EXPECT_EQ(entry.Size, expected[i].Size);
        EXPECT_EQ(entry.PackedSize, expected[i].Packed);
        EXPECT_EQ(TimeText(entry), expected[i].Time);
        EXPECT_EQ(entry.Time, 0u);
        EXPECT_EQ(entry.PackerVersion, expected[i].Version);
        EXPECT_EQ(expected[i].Host, "UNIX");
        EXPECT_EQ(entry.HostOS, 3);
        EXPECT_EQ(entry.Attr, expected[i].Folder ? 0x10u : 0x20u);
    }
}

// A tool run in folder with a fixed time zone; it must succeed.
void Tool(const std::string& folder, std::vector<std::string> argv) {
    std::string line;
    for (const std::string& arg : argv)
        line += arg + " ";
    argv.insert(argv.begin(), {"env", "-C", folder});
    EXPECT_EQ(test::Run(argv, {"TZ=UTC", "LC_ALL=C"}, 120000).ExitCode, 0) << line;
}

void MakeTree(const TempTree& base) {
    base.File("tree/docs/readme.txt", "hello\n");
    std::string picture;
    for (int i = 0; i < 30000; ++i)
        picture += static_cast<char>((i * 7919 + i / 97) % 251);
    base.File("tree/docs/img/pic.bin", picture);
    base.File("tree/ro.txt", "read only\n");
    ::chmod((base / "tree/ro.txt").c_str(), 0444);
    base.File("tree/\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.txt", "horse\n");
    base.Folder("tree/empty");
}

TEST(ArjReaderTest, ListsWhatTheArchiverWrote) {
    ASSERT_TRUE(test::OnPath("arj"));
    struct TCase {
        const char* Label;
        std::vector<std::string> Argv; ///< writes out.arj in the base folder
        std::vector<std::string> Volumes;
    };
    const TCase cases[] = {
        {"default method", {"arj", "a", "-r", "-a1", "-y", "out.arj", "tree"}, {"out.arj"}},
        {"stored", {"arj", "a", "-r", "-a1", "-y", "-m0", "out.arj", "tree"}, {"out.arj"}},
        {"fastest", {"arj", "a", "-r", "-a1", "-y", "-m4", "out.arj", "tree"}, {"out.arj"}},
        {"volumes",
         {"arj", "a", "-r", "-a1", "-y", "-m0", "-v12K", "out.arj", "tree"},
         {"out.arj", "out.a01", "out.a02"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TempTree base;
        MakeTree(base);
        Tool(base.Path(), c.Argv);
        std::vector<std::string> volumes;
        for (const std::string& volume : c.Volumes) {
            ASSERT_TRUE(Exists(base / volume)) << volume;
            volumes.push_back(base / volume);
        }
        const std::vector<TArjListed> expected = ArjListing(volumes);
        ASSERT_GE(expected.size(), 7u);
        const TListing listing = ListFile(volumes[0]);
        ExpectSameAsArj(listing, expected);
        // Stored data can be checked to the byte: the archiver's sizes are the file's.
        const auto pic =
            std::find_if(listing.Entries.begin(), listing.Entries.end(),
                         [](const TArchiveEntry& e) { return e.Name == "tree/docs/img/pic.bin"; });
        ASSERT_NE(pic, listing.Entries.end());
        EXPECT_EQ(pic->Size, 30000u);
        EXPECT_EQ(pic->PackMethod, c.Argv[5] == "-m0" ? '0' : c.Argv[5] == "-m4" ? '1' : '4');

        // An archive comment lives in the main header and lists nothing.
        if (volumes.size() == 1) {
            base.File("comment.txt", "a comment\n");
            Tool(base.Path(), {"arj", "c", c.Volumes[0], "-zcomment.txt", "-y"});
            ExpectSameAsArj(ListFile(volumes[0]), ArjListing(volumes));
        }
    }
}

TEST(ArjReaderTest, AMissingVolumeEndsTheListingNamingIt) {
    ASSERT_TRUE(test::OnPath("arj"));
    TempTree base;
    base.File("big.bin", std::string(40000, 'b'));
    base.File("a.txt", "a");
    Tool(base.Path(), {"arj", "a", "-y", "-m0", "-v12K", "set.arj", "a.txt", "big.bin"});
    ASSERT_TRUE(Exists(base / "set.a02"));
    ASSERT_EQ(::unlink((base / "set.a01").c_str()), 0);

    const TListing listing = ListFile(base / "set.arj");
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(listing.Outcome.error().Path, base / "set.a01");
    EXPECT_NE(listing.Outcome.error().Detail.find("set.a01"), std::string::npos);
    // The split file is still listed, with the part that is there.
    ASSERT_EQ(listing.Names(), (std::vector<std::string>{"a.txt", "big.bin"}));
    EXPECT_LT(listing.Entries[1].Size, 40000u);
}

ArjHeader File(std::string name, std::string data = {}) {
    ArjHeader file;
    file.Name = std::move(name);
    file.Size = static_cast<std::uint32_t>(data.size());
    file.Data = std::move(data);
    return file;
}

TEST(ArjReaderTest, HeaderFieldsAndWhatIsNoEntry) {
    struct TCase {
        const char* What;
        ArjHeader Header;
        bool Listed;
        std::string Name;
        std::uint32_t Attr;
        int HostOS;
        int PackMethod;
    };
    auto with = [](ArjHeader header, auto change) {
        change(header);
        return header;
    };
    const TCase cases[] = {
        {"DOS, stored", with(File("DIR\\A.TXT", "abc"), [](ArjHeader& h) { h.Crc = 0xCAFEBABE; }), true,
         "DIR/A.TXT", 0x20, 0, '0'},
        {"Unix keeps backslashes", with(File("a\\b", "x"), [](ArjHeader& h) { h.Host = 2; }), true, "a\\b",
         0x20, 3, '0'},
        {"text file, method 1", with(File("t.txt"), [](ArjHeader& h) { h.Type = 1, h.Method = 1; }), true,
         "t.txt", 0x20, 0, '4'},
        {"folder whatever its mode", with(File("dir"), [](ArjHeader& h) { h.Type = 3, h.Mode = 0100644; }),
         true, "dir", 0x10, 0, '0'},
        {"method 2", with(File("m2"), [](ArjHeader& h) { h.Method = 2; }), true, "m2", 0x20, 0, '3'},
        {"method 3", with(File("m3"), [](ArjHeader& h) { h.Method = 3, h.Host = 4; }), true, "m3", 0x20, 4,
         '2'},
        {"method 4", with(File("m4"), [](ArjHeader& h) { h.Method = 4, h.Host = 5; }), true, "m4", 0x20, 1,
         '1'},
        {"unknown method", with(File("m9"), [](ArjHeader& h) { h.Method = 9, h.Host = 10; }), true, "m9",
         0x20, 2, -1},
        {"unknown host", with(File("h"), [](ArjHeader& h) { h.Host = 3; }), true, "h", 0x20, 99, '0'},
        {"Win32 host of arj32", with(File("w"), [](ArjHeader& h) { h.Host = 11; }), true, "w", 0x20, 2, '0'},
        {"code page 437", File("caf\x82.txt"), true, "caf\xC3\xA9.txt", 0x20, 0, '0'},
        {"long first header, comment, extended headers",
         with(File("long.txt", "12345"),
              [](ArjHeader& h) {
                  h.FirstSize = 46, h.Comment = "file comment", h.Extended = {"ext1", "ext22"};
              }),
         true, "long.txt", 0x20, 0, '0'},
        {"volume label", with(File("LABEL", "x"), [](ArjHeader& h) { h.Type = 4; }), false, {}, 0, 0, 0},
        {"chapter label", with(File("<<001>>"), [](ArjHeader& h) { h.Type = 5; }), false, {}, 0, 0, 0},
        {"comment header", with(File("c"), [](ArjHeader& h) { h.Type = 2; }), false, {}, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        RarImage image;
        image.Append(test::ArjMain("fields.arj", "archive comment"));
        test::AddArjFile(image, c.Header);
        test::AddArjFile(image, File("after.txt", "after"));
        image.Append(test::ArjEnd());
        const TListing listing = ListBytes(image.Bytes());
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), c.Listed ? 2u : 1u);
        EXPECT_EQ(listing.Entries.back().Name, "after.txt");
        EXPECT_EQ(listing.Entries.back().Size, 5u);
        if (!c.Listed)
            continue;
        const TArchiveEntry& entry = listing.Entries[0];
        EXPECT_EQ(entry.Name, c.Name);
        EXPECT_EQ(entry.StoredName, c.Header.Name);
        EXPECT_EQ(entry.Attr, c.Attr);
        EXPECT_EQ(entry.HostOS, c.HostOS);
        EXPECT_EQ(entry.PackMethod, c.PackMethod);
        const bool unix = c.Header.Host == 2;
        EXPECT_EQ(entry.Time, unix ? 0 : c.Header.DosTime);
        EXPECT_EQ(entry.ModTime, unix ? c.Header.DosTime : 0);
        EXPECT_EQ(entry.Size, c.Header.Size);
        EXPECT_EQ(entry.PackedSize, c.Header.Data.size());
        EXPECT_EQ(entry.CheckValue, c.Header.Crc);
        EXPECT_EQ(entry.HeaderFlags, c.Header.Flags);
        EXPECT_EQ(entry.PackerVersion, 11);
    }
}

/// Three small entries, and the offsets where each piece starts: main, then header and data for
/// each file, then the end header.
RarImage Sample() {
    RarImage image;
    image.Append(test::ArjMain());
    for (const char* name : {"one.txt", "two.txt", "three.txt"})
        test::AddArjFile(image, File(name, std::string(name) + " data"));
    image.Append(test::ArjEnd());
    return image;
}

// Cut at every length: what was read before the cut is listed, and the error names the header
// where the walk stopped.
TEST(ArjReaderTest, TruncatedArchivesKeepTheEntriesBeforeTheCut) {
    const RarImage image = Sample();
    const std::string bytes = image.Bytes();
    const std::vector<std::uint64_t> starts = image.Starts();
    const std::vector<std::string> names = {"one.txt", "two.txt", "three.txt"};
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const TListing listing = ListBytes(bytes.substr(0, cut));
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        std::size_t complete = 0;
        for (std::size_t file = 0; file < names.size(); ++file)
            if (cut >= starts[2 + 2 * file])
                complete = file + 1;
        ASSERT_EQ(listing.Entries.size(), complete);
        for (std::size_t i = 0; i < complete; ++i)
            EXPECT_EQ(listing.Entries[i].Name, names[i]);
        std::size_t piece =
            static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), cut) - starts.begin()) -
            1;
        // Within data the walk stopped at the header before it.
        if (piece >= 2 && piece % 2 == 0 && piece < starts.size() - 1)
            --piece;
        const std::string at = "at offset " + std::to_string(starts[piece]) + ":";
        EXPECT_NE(listing.Outcome.error().Detail.find(at), std::string::npos)
            << listing.Outcome.error().Detail;
    }
    EXPECT_TRUE(ListBytes(bytes).Outcome);
}

TEST(ArjReaderTest, DamagedHeadersAreNamedByPlace) {
    const RarImage image = Sample();
    const std::string bytes = image.Bytes();
    const std::vector<std::uint64_t> starts = image.Starts();
    const std::string second = test::ArjHeaderBytes(File("two.txt", "two.txt data"));
    std::string badCrc = second;
    badCrc[12] ^= 0x01;
    std::string bigBasic = second;
    bigBasic[2] = '\x00';
    bigBasic[3] = '\x20';
    ArjHeader tinyFirst = File("two.txt", "two.txt data");
    tinyFirst.FirstSize = 20;
    // A first header size past the basic header, its CRC made right again.
    std::string hugeFirst = second;
    const std::size_t basicSize =
        static_cast<unsigned char>(second[2]) | static_cast<unsigned char>(second[3]) << 8;
    hugeFirst[4] = static_cast<char>(200);
    hugeFirst.replace(4 + basicSize, 4,
                      test::LittleEndian(test::RarCrc32(hugeFirst.substr(4, basicSize)), 4));
    ArjHeader hugeData = File("two.txt", "two.txt data");
    hugeData.PackedSize = 0xF0000000;
    const std::string at = std::to_string(starts[3]);
    struct TCase {
        const char* What;
        std::string Second;
        std::size_t Listed;
        std::string Detail;
    };
    const TCase cases[] = {
        {"checksum", badCrc, 1, "local header 2 at offset " + at + ": header checksum mismatch"},
        {"basic header size", bigBasic, 1,
         "local header 2 at offset " + at + ": basic header size 8192 is out of range"},
        {"first header size", test::ArjHeaderBytes(tinyFirst), 1,
         "local header 2 at offset " + at + ": first header size 20 is out of range"},
        {"first header past the basic one", hugeFirst, 1,
         "local header 2 at offset " + at + ": first header size 200 is out of range"},
        {"header id", "XX" + second.substr(2), 1, "header at offset " + at + ": no ARJ header id"},
        {"data size", test::ArjHeaderBytes(hugeData), 2,
         "local header 2 at offset " + at + ": data of 4026531840 bytes runs past the end of the file"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string damaged = bytes.substr(0, starts[3]) + c.Second + bytes.substr(starts[4]);
        const TListing listing = ListBytes(damaged);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Detail, c.Detail);
        EXPECT_EQ(listing.Entries.size(), c.Listed);
    }
}

// Every byte changed in turn: the checksums catch most, and none may crash or list more.
TEST(ArjReaderTest, EveryByteFlippedStaysBounded) {
    const std::string bytes = Sample().Bytes();
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
            std::string damaged = bytes;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            EXPECT_LE(ListBytes(damaged).Entries.size(), 3u) << at;
        }
    }
}

TEST(ArjReaderTest, TheSinkStopsTheListing) {
    TempTree tree;
    RarImage image = Sample();
    ASSERT_TRUE(image.Write(tree / "stop.arj"));
    const TListing listing = ListFile(tree / "stop.arj", 2);
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(listing.Names(), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST(ArjReaderTest, FilesThatAreNoArjArchivesAreRefused) {
    TempTree tree;
    const std::string cases[] = {"", "\x60", std::string("PK\x03\x04", 4) + std::string(40, '\0'),
                                 test::ArjEnd()};
    for (const std::string& bytes : cases) {
        const TListing listing = ListFile(tree.File("x.arj", bytes));
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Path, tree / "x.arj");
        EXPECT_EQ(listing.Outcome.error().Detail.rfind("main header at offset 0: ", 0), 0u);
    }
    EXPECT_EQ(ListFile(tree / "missing.arj").Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(ListFile(tree.Folder("folder.arj")).Outcome.error().Code, TErrorCode::ecNotRegular);
}

TEST(ArjReaderTest, NextVolumeNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/set.arj", "/a/set.a01"},       {"/a/SET.ARJ", "/a/SET.A01"}, {"/a/set.a01", "/a/set.a02"},
        {"/a/set.a09", "/a/set.a10"},       {"/a/set.a99", "/a/set.100"}, {"/a/set.100", "/a/set.101"},
        {"/a/v1.0/set", "/a/v1.0/set.a01"},
    };
    for (const auto& [name, next] : cases)
        EXPECT_EQ(NextArjVolumeName(name), next) << name;
}

} // namespace
} // namespace ks
