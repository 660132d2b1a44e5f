#include "archive/RarReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "archive/ArchiveNames.h"
#include "archive/RarBuilder.h"
#include "foundation/System.h"
#include "support/MemoryFileSystem.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::RarFile;
using test::RarImage;
using test::TempTree;

constexpr std::uint64_t GiB = 1024ull * 1024 * 1024;

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
    TRarReader reader;
    TCollectSink sink(stopAfter);
    Result<void> outcome = reader.ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries};
}

/// Lists one volume held in memory, as the fuzz target does.
TListing ListBytes(const std::string& bytes) {
    TCollectSink sink;
    const TRarVolumeOpener open = [&bytes](const std::string& name) -> Result<std::unique_ptr<TKRarVolume>> {
        if (name != "mem.rar")
            return TError{TErrorCode::ecNotFound, 0, name, {}};
        return std::unique_ptr<TKRarVolume>(std::make_unique<TRarMemoryVolume>(bytes));
    };
    Result<void> outcome = ReadRarVolumes(open, "mem.rar", sink);
    return {outcome, sink.Entries};
}

std::string Write(const TempTree& tree, const std::string& name, const RarImage& image) {
    const std::string path = tree / name;
    EXPECT_TRUE(image.Write(path)) << path;
    return path;
}

RarFile Unix(std::string name, std::uint32_t mode, std::string data = {}) {
    RarFile file;
    file.Name = std::move(name);
    file.HostOS = 1;
    file.Attr = mode;
    file.Data = std::move(data);
    return file;
}

RarFile Dos(std::string name, std::string data = {}) {
    RarFile file;
    file.Name = std::move(name);
    file.HostOS = 0;
    file.Data = std::move(data);
    file.DosTime = 0x5A8C6000;
    return file;
}

// The fields every row checks, so a table can state them side by side.
struct TExpected {
    std::string Name;
    std::string StoredName;
    std::uint32_t Attr;
    std::uint32_t Time;
    std::int64_t ModTime;
    std::uint64_t Size;
    std::uint64_t PackedSize;
    int HostOS;
    std::uint32_t CheckValue;
    int PackerVersion;
    int PackMethod;
};

void ExpectEntry(const TArchiveEntry& entry, const TExpected& expected) {
    SCOPED_TRACE(expected.StoredName);
    EXPECT_EQ(entry.Name, expected.Name);
    EXPECT_EQ(entry.StoredName, expected.StoredName);
    EXPECT_EQ(entry.Attr, expected.Attr);
    EXPECT_EQ(entry.Time, expected.Time);
    EXPECT_EQ(entry.ModTime, expected.ModTime);
    EXPECT_EQ(entry.Size, expected.Size);
    EXPECT_EQ(entry.PackedSize, expected.PackedSize);
    EXPECT_EQ(entry.HostOS, expected.HostOS);
    EXPECT_EQ(entry.CheckValue, expected.CheckValue);
    EXPECT_EQ(entry.PackerVersion, expected.PackerVersion);
    EXPECT_EQ(entry.PackMethod, expected.PackMethod);
}

std::uint32_t Rar4HeadCrc(const std::string& header) {
    return static_cast<unsigned char>(header[0]) | static_cast<unsigned char>(header[1]) << 8;
}

/// A RAR 4 header patched at offset, with its checksum made right again.
std::string PatchRar4(std::string header, std::size_t at, const std::string& bytes) {
    header.replace(at, bytes.size(), bytes);
    const std::uint32_t crc = test::RarCrc32(header.substr(2)) & 0xFFFF;
    header[0] = static_cast<char>(crc & 0xFF);
    header[1] = static_cast<char>(crc >> 8);
    return header;
}

TEST(RarReaderTest, Rar5EntriesCarryTheirHeaderFields) {
    RarFile readme = Unix("docs/readme.txt", 0100644, "hello");
    readme.ExtraTime = 1700000000;
    readme.DataCrc = 0x12345678;
    readme.Method = 3;
    RarFile locked = Unix("docs/locked", 0100444, "x");
    locked.UnixTime = 1600000000;
    RarFile folder = Unix("docs", 040755);
    folder.Flags = test::Rar5Directory;
    RarFile windows;
    windows.Name = "win\\sub\\a.txt";
    windows.HostOS = 0;
    windows.Attr = 0x21;
    windows.Data = "abc";
    windows.ExtraTime = (1700000000ull + 11644473600ull) * 10000000ull;
    windows.ExtraTimeIsFileTime = true;
    RarFile big = Unix("big.iso", 0100600);
    big.Size = 5 * GiB + 7;
    big.PackedSize = 5 * GiB + 3;
    big.Method = 5;
    RarFile comment = Unix("CMT", 0, "a comment");

    RarImage image;
    image.Append(test::Rar5Marker()).Append(test::Rar5Main(test::Rar5Solid));
    test::AddRar5File(image, readme);
    test::AddRar5File(image, comment, /*service=*/true);
    test::AddRar5File(image, locked);
    test::AddRar5File(image, folder);
    test::AddRar5File(image, windows);
    test::AddRar5File(image, big);
    image.Append(test::Rar5End());
    TempTree tree;
    const TListing listing = ListFile(Write(tree, "fields.rar", image));

    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), 5u);
    const TExpected expected[] = {
        {"docs/readme.txt", "docs/readme.txt", 0, 0, 1700000000, 5, 5, 3, 0x12345678, 50, '3'},
        {"docs/locked", "docs/locked", 0x01, 0, 1600000000, 1, 1, 3, 0, 50, '0'},
        {"docs", "docs", 0x10, 0, 0, 0, 0, 3, 0, 50, '0'},
        {"win/sub/a.txt", "win\\sub\\a.txt", 0x21, 0, 1700000000, 3, 3, 2, 0, 50, '0'},
        {"big.iso", "big.iso", 0, 0, 0, 5 * GiB + 7, 5 * GiB + 3, 3, 0, 50, '5'},
    };
    for (std::size_t i = 0; i < listing.Entries.size(); ++i)
        ExpectEntry(listing.Entries[i], expected[i]);
}

TEST(RarReaderTest, Rar4EntriesCarryTheirHeaderFields) {
    RarFile readme = Dos("readme.txt", "abc");
    readme.Method = 3;
    RarFile folder = Dos("dir\\sub");
    folder.Flags = test::Rar4Directory;
    folder.Attr = 0x10;
    RarFile tool = Unix("bin/tool", 0100555, "#!");
    tool.HostOS = 3;
    tool.DosTime = 0x4B2A1234;
    RarFile big = Dos("big.img");
    big.HostOS = 2;
    big.Size = 6 * GiB + 1;
    big.PackedSize = 6 * GiB;
    RarFile russian = Dos("?????.txt", "p");
    russian.EncodedName = test::EncodeRar4Name(u"Жжжжж.txt");
    RarFile utf8 = Dos("na\xC3\xAFve.txt");
    utf8.Flags = test::Rar4Unicode;

    RarImage image;
    image.Append(test::Rar4Marker()).Append(test::Rar4Main(test::Rar4Solid));
    test::AddRar4File(image, readme);
    image.Append(test::Rar4Block(0x75, 0, "old comment"));
    test::AddRar4File(image, folder);
    image.Append(test::Rar4Block(0x78, 0, "recovery", 9)).Append("123456789");
    test::AddRar4File(image, tool);
    image.Append(test::Rar4File(Dos("CMT", "comment"), /*service=*/true)).Append("comment");
    test::AddRar4File(image, big);
    test::AddRar4File(image, russian);
    test::AddRar4File(image, utf8);
    image.Append(test::Rar4End());
    TempTree tree;
    const TListing listing = ListFile(Write(tree, "fields.rar", image));

    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), 6u);
    const std::uint32_t dos = 0x5A8C6000;
    const TExpected expected[] = {
        {"readme.txt", "readme.txt", 0x20, dos, 0, 3, 3, 0, Rar4HeadCrc(test::Rar4File(readme)), 29, '3'},
        {"dir/sub", "dir\\sub", 0x10, dos, 0, 0, 0, 0, Rar4HeadCrc(test::Rar4File(folder)), 29, '0'},
        {"bin/tool", "bin/tool", 0x01, 0x4B2A1234, 0, 2, 2, 3, Rar4HeadCrc(test::Rar4File(tool)), 29, '0'},
        {"big.img", "big.img", 0x20, dos, 0, 6 * GiB + 1, 6 * GiB, 2, Rar4HeadCrc(test::Rar4File(big)), 29,
         '0'},
        {"Жжжжж.txt", "Жжжжж.txt", 0x20, dos, 0, 1, 1, 0, Rar4HeadCrc(test::Rar4File(russian)), 29, '0'},
        {"na\xC3\xAFve.txt", "na\xC3\xAFve.txt", 0x20, dos, 0, 0, 0, 0, Rar4HeadCrc(test::Rar4File(utf8)), 29,
         '0'},
    };
    for (std::size_t i = 0; i < listing.Entries.size(); ++i)
        ExpectEntry(listing.Entries[i], expected[i]);
    EXPECT_EQ(listing.Entries[1].HeaderFlags & test::Rar4Directory, test::Rar4Directory);
    EXPECT_NE(listing.Entries[3].HeaderFlags & test::Rar4Large, 0u);
}

TEST(RarReaderTest, Rar4UnicodeNamesDecodeEveryCodingOfTheirCharacters) {
    struct TCase {
        std::string Ascii;
        std::string Encoded;
        std::string Expected;
    };
    const TCase cases[] = {
        {"abc.txt", std::string("\x00\xC0\x05", 3), "abc.txt"}, // a run copied as is
        {"??", std::string("\x04\x50\x16\x36", 4), "Жж"},       // the shared high byte
        {"\xC6\xE6", std::string("\x04\xC0\x80\x50", 4), "Жж"}, // a run with a correction
        {"a?",
         std::string("\x00\x20"
                     "a\xAC\x20",
                     5),
         "a\xE2\x82\xAC"},                                                     // one byte, then two
        {"?", std::string("\x00\xA0\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"}, // a surrogate pair
        {"x", std::string("\x00\x80\x41", 3), "x"},                            // cut short: the 8-bit form
        {"ab",
         std::string("\x00\x00"
                     "a\x00"
                     "b",
                     5),
         "a"}, // a zero ends the name
    };
    for (const TCase& c : cases) {
        RarFile file = Dos(c.Ascii);
        file.EncodedName = c.Encoded;
        const std::string bytes =
            test::Rar4Marker() + test::Rar4Main() + test::Rar4File(file) + test::Rar4End();
        const TListing listing = ListBytes(bytes);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), 1u);
        EXPECT_EQ(listing.Entries[0].Name, c.Expected) << c.Ascii;
    }
}

TEST(RarReaderTest, EightBitNamesThatAreNoUtf8AreShownAsCodePage437) {
    const std::string stored = "caf\x82\\men\x94.txt";
    const std::string bytes =
        test::Rar4Marker() + test::Rar4Main() + test::Rar4File(Dos(stored)) + test::Rar4End();
    const TListing listing = ListBytes(bytes);
    ASSERT_TRUE(listing.Outcome);
    ASSERT_EQ(listing.Entries.size(), 1u);
    std::string expected = IsValidUtf8(stored) ? stored : Cp437ToUtf8(stored);
    std::replace(expected.begin(), expected.end(), '\\', '/');
    EXPECT_EQ(listing.Entries[0].Name, ArchiveDisplayName(expected));
    EXPECT_EQ(listing.Entries[0].StoredName, stored);
}

TEST(RarReaderTest, EncryptedHeadersAreRefused) {
    const std::string rar4 =
        test::Rar4Marker() + test::Rar4Main(test::Rar4Password) + std::string(40, '\x5A');
    const std::string rar5 = test::Rar5Marker() + test::Rar5Header(4, 0, test::Vint(0) + test::Vint(0x0F)) +
                             std::string(40, '\x5A');
    for (const std::string& bytes : {rar4, rar5}) {
        const TListing listing = ListBytes(bytes);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecUnsupported);
        EXPECT_NE(listing.Outcome.error().Detail.find("encrypted"), std::string::npos);
        EXPECT_TRUE(listing.Entries.empty());
    }
}

TEST(RarReaderTest, FilesThatAreNoRarArchivesAreRefused) {
    TempTree tree;
    const std::string cases[] = {"", "Rar!", std::string("PK\x03\x04", 4) + std::string(40, '\0'),
                                 "MZ" + std::string(100, '\0') + test::Rar5Marker()};
    for (const std::string& bytes : cases) {
        const TListing listing = ListFile(tree.File("x.rar", bytes));
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Path, tree / "x.rar");
    }
    EXPECT_EQ(ListFile(tree / "missing.rar").Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(ListFile(tree.Folder("folder.rar")).Outcome.error().Code, TErrorCode::ecNotRegular);
}

/// Three small entries in each format, and the offsets where each header starts.
struct TSample {
    RarImage Image;
    std::vector<std::string> Names;
};

TSample Sample(bool rar5) {
    TSample sample;
    sample.Names = {"one.txt", "two.txt", "three.txt"};
    RarImage& image = sample.Image;
    image.Append(rar5 ? test::Rar5Marker() : test::Rar4Marker());
    image.Append(rar5 ? test::Rar5Main() : test::Rar4Main());
    for (const std::string& name : sample.Names) {
        if (rar5)
            test::AddRar5File(image, Unix(name, 0100644, name + " data"));
        else
            test::AddRar4File(image, Dos(name, name + " data"));
    }
    image.Append(rar5 ? test::Rar5End() : test::Rar4End());
    return sample;
}

TEST(RarReaderTest, TheSinkStopsTheListing) {
    for (const bool rar5 : {false, true}) {
        TempTree tree;
        const TListing listing = ListFile(Write(tree, "stop.rar", Sample(rar5).Image), 2);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecCancelled);
        EXPECT_EQ(listing.Names(), (std::vector<std::string>{"one.txt", "two.txt"}));
    }
}

// Cut at every length: what was read before the cut is listed, a cut inside a header is named by
// the header's offset, and nothing else is reported.
TEST(RarReaderTest, TruncatedArchivesKeepTheEntriesBeforeTheCut) {
    for (const bool rar5 : {false, true}) {
        const TSample sample = Sample(rar5);
        const std::string bytes = sample.Image.Bytes();
        const std::vector<std::uint64_t> starts = sample.Image.Starts();
        for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
            SCOPED_TRACE((rar5 ? "RAR 5 cut at " : "RAR 4 cut at ") + std::to_string(cut));
            const TListing listing = ListBytes(bytes.substr(0, cut));
            // Pieces: marker, main, then header and data for each file, then the end header.
            std::size_t complete = 0;
            for (std::size_t file = 0; file < sample.Names.size(); ++file)
                if (cut >= starts[3 + 2 * file])
                    complete = file + 1;
            ASSERT_EQ(listing.Entries.size(), complete);
            for (std::size_t i = 0; i < complete; ++i)
                EXPECT_EQ(listing.Entries[i].Name, sample.Names[i]);
            const std::size_t index =
                static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), cut) -
                                         starts.begin()) -
                1;
            const std::uint64_t piece = starts[index];
            const bool insideHeader = piece != cut && (index == 1 || index % 2 == 0);
            if (rar5 || cut < starts[2] || insideHeader) {
                ASSERT_FALSE(listing.Outcome);
                EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
                if (cut >= starts[2] && insideHeader) {
                    EXPECT_NE(listing.Outcome.error().Detail.find("at offset " + std::to_string(piece) + ":"),
                              std::string::npos)
                        << listing.Outcome.error().Detail;
                }
            } else {
                // The first versions wrote no end block: a RAR 4 archive may end after any entry.
                EXPECT_TRUE(listing.Outcome);
            }
        }
    }
}

TEST(RarReaderTest, DamagedHeadersAreNamedByPlace) {
    struct TCase {
        const char* What;
        bool Rar5;
        std::string SecondHeader; ///< replaces the second file's header
        std::size_t Listed;
        std::string Detail;
    };
    const RarFile two4 = Dos("two.txt", "two.txt data");
    const RarFile two5 = Unix("two.txt", 0100644, "two.txt data");
    const std::string header4 = test::Rar4File(two4);
    std::string badCrc4 = header4;
    badCrc4[35] ^= 0x01;
    std::string badCrc5 = test::Rar5File(two5);
    badCrc5[20] ^= 0x01;
    RarFile hugeData = two5;
    hugeData.PackedSize = 1ull << 40;
    const TSample sample4 = Sample(false);
    const TSample sample5 = Sample(true);
    const std::string at4 = std::to_string(sample4.Image.Starts()[4]);
    const std::string at5 = std::to_string(sample5.Image.Starts()[4]);
    const TCase cases[] = {
        {"RAR 4 checksum", false, badCrc4, 1,
         "file header 2 at offset " + at4 + ": header checksum mismatch"},
        {"RAR 4 name size", false, PatchRar4(header4, 26, "\xFF\x00"), 1,
         "file header 2 at offset " + at4 + ": name size 255 runs past the header"},
        {"RAR 4 header size", false, PatchRar4(header4, 5, std::string("\x03\x00", 2)), 1,
         "file header 2 at offset " + at4 + ": header size 3 is too small"},
        {"RAR 5 checksum", true, badCrc5, 1, "file header 2 at offset " + at5 + ": header checksum mismatch"},
        {"RAR 5 header size", true, std::string(4, '\0') + test::Vint(3 << 20), 1,
         "header at offset " + at5 + ": header size 3145728 is out of range"},
        {"RAR 5 data size", true, test::Rar5File(hugeData), 2,
         "file header 2 at offset " + at5 + ": data of 1099511627776 bytes runs past the end of the file"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const TSample& sample = c.Rar5 ? sample5 : sample4;
        const std::string bytes = sample.Image.Bytes();
        const std::vector<std::uint64_t> starts = sample.Image.Starts();
        const std::string damaged = bytes.substr(0, starts[4]) + c.SecondHeader + bytes.substr(starts[5]);
        const TListing listing = ListBytes(damaged);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Detail, c.Detail);
        EXPECT_EQ(listing.Outcome.error().Path, "mem.rar");
        EXPECT_EQ(listing.Entries.size(), c.Listed);
    }
}

// Every byte changed in turn: the checksums catch most, and none may crash or list more.
TEST(RarReaderTest, EveryByteFlippedStaysBounded) {
    for (const bool rar5 : {false, true}) {
        const std::string bytes = Sample(rar5).Image.Bytes();
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
                std::string damaged = bytes;
                damaged[at] = static_cast<char>(damaged[at] ^ mask);
                EXPECT_LE(ListBytes(damaged).Entries.size(), 3u) << at;
            }
        }
    }
}

// A read that fails behind large packed data ends the listing with the read's error, placed.
TEST(RarReaderTest, AFailedReadKeepsWhatWasListed) {
    for (const bool rar5 : {false, true}) {
        SCOPED_TRACE(rar5 ? "RAR 5" : "RAR 4");
        RarImage image;
        image.Append(rar5 ? test::Rar5Marker() : test::Rar4Marker())
            .Append(rar5 ? test::Rar5Main() : test::Rar4Main());
        const std::string large(300 * 1024, 'x');
        for (const char* name : {"one", "two"}) {
            if (rar5)
                test::AddRar5File(image, Unix(name, 0100644, large));
            else
                test::AddRar4File(image, Dos(name, large));
        }
        image.Append(rar5 ? test::Rar5End() : test::Rar4End());
        test::MemoryFileSystem memory;
        memory.AddFolder("/a");
        memory.AddFile("/a/x.rar", 0, 32, image.Bytes());
        memory.FailCall(test::MemoryFileSystem::TCall::fcRead, 2, EIO);
        TRarReader reader;
        TCollectSink sink;
        const Result<void> outcome = reader.ReadDirectory(memory, "/a/x.rar", sink);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error().Errno, EIO);
        EXPECT_EQ(outcome.error().Detail.rfind("header at offset " + std::to_string(image.Starts()[4]), 0),
                  0u)
            << outcome.error().Detail;
        ASSERT_EQ(sink.Entries.size(), 1u);
        EXPECT_EQ(sink.Entries[0].Name, "one");
    }
}

TEST(RarReaderTest, NextVolumeNames) {
    struct TCase {
        const char* Name;
        bool NewNumbering;
        const char* Next;
    };
    const TCase cases[] = {
        {"/a/set.part1.rar", true, "/a/set.part2.rar"},
        {"/a/set.part09.rar", true, "/a/set.part10.rar"},
        {"/a/set.part099.rar", true, "/a/set.part100.rar"},
        {"/a/set.part9.rar", true, "/a/set.part10.rar"},
        {"/a/v2.0/set.rar", true, "/a/v2.0/set.r00"},
        {"/a/set.rar", false, "/a/set.r00"},
        {"/a/SET.RAR", false, "/a/SET.R00"},
        {"/a/set.r00", false, "/a/set.r01"},
        {"/a/set.r09", false, "/a/set.r10"},
        {"/a/set.r99", false, "/a/set.s00"},
        {"/a/set", false, "/a/set.r00"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(NextRarVolumeName(c.Name, c.NewNumbering), c.Next) << c.Name;
}

/// A set of three volumes: a.txt, then big.bin over all three (10 bytes unpacked), then z.txt.
std::vector<RarImage> VolumeSet(bool rar5, bool newNumbering, bool endBlocks) {
    std::vector<RarImage> volumes(3);
    const std::string parts[] = {"1111", "2222", "33"};
    for (int i = 0; i < 3; ++i) {
        RarImage& image = volumes[static_cast<std::size_t>(i)];
        RarFile part = rar5 ? Unix("big.bin", 0100644, parts[i]) : Dos("big.bin", parts[i]);
        part.Size = 10;
        const std::uint32_t before = rar5 ? test::Rar5SplitBefore : test::Rar4SplitBefore;
        const std::uint32_t after = rar5 ? test::Rar5SplitAfter : test::Rar4SplitAfter;
        (rar5 ? part.BlockFlags : part.Flags) = (i > 0 ? before : 0) | (i < 2 ? after : 0);
        if (rar5) {
            image.Append(test::Rar5Marker());
            image.Append(i == 0 ? test::Rar5Main(test::Rar5Volume) : test::Rar5Main(test::Rar5Volume, i));
            if (i == 0)
                test::AddRar5File(image, Unix("a.txt", 0100644, "A"));
            test::AddRar5File(image, part);
            if (i == 2)
                test::AddRar5File(image, Unix("z.txt", 0100644, "Z"));
            image.Append(test::Rar5End(i < 2 ? 1 : 0));
        } else {
            image.Append(test::Rar4Marker());
            image.Append(test::Rar4Main(test::Rar4Volume | (newNumbering ? test::Rar4NewNumbering : 0) |
                                        (i == 0 ? test::Rar4FirstVolume : 0)));
            if (i == 0)
                test::AddRar4File(image, Dos("a.txt", "A"));
            test::AddRar4File(image, part);
            if (i == 2)
                test::AddRar4File(image, Dos("z.txt", "Z"));
            if (endBlocks)
                image.Append(test::Rar4End(i < 2 ? 1 : 0));
        }
    }
    return volumes;
}

struct TVolumeCase {
    const char* What;
    bool Rar5;
    bool NewNumbering;
    bool EndBlocks;
    std::vector<std::string> Names;
};

const TVolumeCase VolumeCases[] = {
    {"RAR 5", true, true, true, {"set.part1.rar", "set.part2.rar", "set.part3.rar"}},
    {"RAR 4 new numbering", false, true, true, {"set.part01.rar", "set.part02.rar", "set.part03.rar"}},
    {"RAR 4 old numbering", false, false, true, {"set.rar", "set.r00", "set.r01"}},
    {"RAR 4 without end blocks", false, false, false, {"set.rar", "set.r00", "set.r01"}},
};

TEST(RarReaderTest, VolumeSetsListEachEntryOnceWithItsWholeSize) {
    for (const TVolumeCase& c : VolumeCases) {
        SCOPED_TRACE(c.What);
        TempTree tree;
        const std::vector<RarImage> volumes = VolumeSet(c.Rar5, c.NewNumbering, c.EndBlocks);
        for (std::size_t i = 0; i < volumes.size(); ++i)
            Write(tree, c.Names[i], volumes[i]);
        // A later volume of another set is never reached.
        tree.File("set.part4.rar", "junk");
        tree.File("set.r02", "junk");

        const TListing listing = ListFile(tree / c.Names[0]);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Names(), (std::vector<std::string>{"a.txt", "big.bin", "z.txt"}));
        EXPECT_EQ(listing.Entries[1].Size, 10u);
        EXPECT_EQ(listing.Entries[1].PackedSize, 10u);

        // From the second volume on, the entry continued from the first is listed with the parts
        // that are there.
        const TListing fromSecond = ListFile(tree / c.Names[1]);
        ASSERT_TRUE(fromSecond.Outcome) << fromSecond.Outcome.error().Detail;
        ASSERT_EQ(fromSecond.Names(), (std::vector<std::string>{"big.bin", "z.txt"}));
        EXPECT_EQ(fromSecond.Entries[0].PackedSize, 6u);
    }
}

TEST(RarReaderTest, AMissingVolumeEndsTheListingNamingIt) {
    for (const TVolumeCase& c : VolumeCases) {
        SCOPED_TRACE(c.What);
        TempTree tree;
        const std::vector<RarImage> volumes = VolumeSet(c.Rar5, c.NewNumbering, c.EndBlocks);
        Write(tree, c.Names[0], volumes[0]);
        Write(tree, c.Names[2], volumes[2]);

        const TListing listing = ListFile(tree / c.Names[0]);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecNotFound);
        EXPECT_EQ(listing.Outcome.error().Path, tree / c.Names[1]);
        EXPECT_NE(listing.Outcome.error().Detail.find(c.Names[1]), std::string::npos);
        ASSERT_EQ(listing.Names(), (std::vector<std::string>{"a.txt", "big.bin"}));
        EXPECT_EQ(listing.Entries[1].PackedSize, 4u);
    }
}

/// Path, size and packed size of every entry `7z l -slt` lists, or nothing when it cannot list.
std::optional<std::vector<std::string>> SevenZipListing(const std::string& path) {
    const test::TRunResult run = test::Run({"7z", "l", "-slt", path}, {}, 30000);
    if (run.ExitCode != 0)
        return std::nullopt;
    std::vector<std::string> rows;
    std::istringstream lines(run.Out.substr(std::min(run.Out.find("\n----------"), run.Out.size())));
    std::string line;
    std::string row;
    while (std::getline(lines, line)) {
        if (line.rfind("Path = ", 0) == 0)
            row = line.substr(7);
        else if (line.rfind("Size = ", 0) == 0)
            row += " " + line.substr(7);
        else if (line.rfind("Packed Size = ", 0) == 0)
            rows.push_back(row + " " + line.substr(14));
    }
    return rows;
}

// The archives built here are checked against another reader of the format, where one that reads
// RAR is installed, so the builder cannot share a misreading with the reader it tests.
TEST(RarReaderTest, ListsAsAnotherReaderOfTheFormatDoes) {
    if (!test::OnPath("7z") || test::Run({"7z", "i"}, {}).Out.find("Rar5") == std::string::npos)
        GTEST_SKIP() << "no 7z that reads RAR archives";
    TempTree tree;
    RarFile unicode = Dos("?????.txt", "p");
    unicode.EncodedName = test::EncodeRar4Name(u"\u0416\u0436\u0436\u0436\u0436.txt");
    RarFile big4 = Dos("big.img", "q");
    big4.Size = 6 * GiB + 1;
    RarFile folder4 = Dos("dir\\sub");
    folder4.Flags = test::Rar4Directory;
    folder4.Attr = 0x10;
    RarImage rar4;
    rar4.Append(test::Rar4Marker()).Append(test::Rar4Main());
    for (const RarFile& file : {Dos("readme.txt", "abc"), folder4, unicode, big4})
        test::AddRar4File(rar4, file);
    rar4.Append(test::Rar4End());
    RarFile folder5 = Unix("docs", 040755);
    folder5.Flags = test::Rar5Directory;
    RarFile big5 = Unix("docs/big.iso", 0100600, "xyz");
    big5.Size = 5 * GiB;
    RarImage rar5;
    rar5.Append(test::Rar5Marker()).Append(test::Rar5Main());
    for (const RarFile& file : {Unix("docs/readme.txt", 0100644, "hello"), folder5, big5})
        test::AddRar5File(rar5, file);
    rar5.Append(test::Rar5End());
    const std::vector<RarImage> volumes = VolumeSet(true, true, true);
    for (std::size_t i = 0; i < volumes.size(); ++i)
        Write(tree, "set.part" + std::to_string(i + 1) + ".rar", volumes[i]);

    for (const std::string& path :
         {Write(tree, "four.rar", rar4), Write(tree, "five.rar", rar5), tree / "set.part1.rar"}) {
        SCOPED_TRACE(path);
        const std::optional<std::vector<std::string>> expected = SevenZipListing(path);
        ASSERT_TRUE(expected);
        const TListing listing = ListFile(path);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        std::vector<std::string> rows;
        for (const TArchiveEntry& entry : listing.Entries)
            rows.push_back(entry.Name + " " + std::to_string(entry.Size) + " " +
                           std::to_string(entry.PackedSize));
        EXPECT_EQ(rows, *expected);
    }
}

TEST(RarReaderTest, ManyEntriesListInOnePass) {
    RarImage image;
    image.Append(test::Rar5Marker()).Append(test::Rar5Main());
    constexpr int Count = 20000;
    for (int i = 0; i < Count; ++i)
        test::AddRar5File(
            image, Unix("folder" + std::to_string(i % 50) + "/file" + std::to_string(i), 0100644, "d"));
    image.Append(test::Rar5End());
    TempTree tree;
    const TListing listing = ListFile(Write(tree, "many.rar", image));
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), static_cast<std::size_t>(Count));
    EXPECT_EQ(listing.Entries.back().Name,
              "folder" + std::to_string((Count - 1) % 50) + "/file" + std::to_string(Count - 1));
}

} // namespace
} // namespace ks
