#include "archive/AceReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "archive/ArjAceBuilder.h"
#include "foundation/System.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::AceFile;
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
    TAceReader reader;
    TCollectSink sink(stopAfter);
    Result<void> outcome = reader.ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries};
}

TListing ListBytes(const std::string& bytes) {
    TCollectSink sink;
    Result<void> outcome = ReadAceDirectory(bytes, sink);
    return {outcome, sink.Entries};
}

AceFile File(std::string name, std::string data = {}) {
    AceFile file;
    file.Name = std::move(name);
    file.Data = std::move(data);
    return file;
}

std::uint32_t HeadCrc(const std::string& header) {
    return static_cast<unsigned char>(header[0]) | static_cast<unsigned char>(header[1]) << 8;
}

TEST(AceReaderTest, EntriesCarryTheirHeaderFields) {
    AceFile readme = File("docs\\readme.txt", "hello");
    readme.Method = 2;
    readme.Quality = 4;
    readme.DataCrc = 0x12345678;
    AceFile lz77 = File("lz77.bin", "abc");
    lz77.Method = 1;
    lz77.Quality = 3;
    AceFile folder = File("docs");
    folder.Attr = 0x10;
    AceFile fastest = File("fast.txt", "f");
    fastest.Method = 2;
    fastest.Quality = 0;
    fastest.Trailer = test::LittleEndian(3, 2) + "cmt";
    fastest.Flags = test::AceComment;
    AceFile big = File("big.iso");
    big.Wide = true;
    big.Size = 5 * GiB + 7;
    big.PackedSize = 5 * GiB + 3;
    AceFile dos = File("caf\x82.txt", "x");
    dos.DosTime = 0x4B2A1234;

    RarImage image;
    // A main header with an advert and a comment, which stay inside it.
    image.Append(test::AceMain(20, 2, test::AceComment | 0x1000,
                               std::string(1, '\x03') + "adv" + test::LittleEndian(4, 2) + "cmnt"));
    test::AddAceFile(image, readme);
    // A recovery record with its data, and an unknown block with a 64-bit data size.
    image.Append(test::AceHeader(2, test::AceAddSize, test::LittleEndian(6, 4) + "**ACE**")).Append("rcvry!");
    test::AddAceFile(image, lz77);
    image.Append(test::AceHeader(5, test::AceAddSize | test::AceWide, test::LittleEndian(4, 8)))
        .Append("blob");
    test::AddAceFile(image, folder);
    test::AddAceFile(image, fastest);
    test::AddAceFile(image, big);
    test::AddAceFile(image, dos);
    TempTree tree;
    ASSERT_TRUE(image.Write(tree / "fields.ace"));
    const TListing listing = ListFile(tree / "fields.ace");

    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    struct TExpected {
        std::string Name;
        const AceFile* File;
        std::uint64_t Size;
        int PackMethod;
    };
    const TExpected expected[] = {
        {"docs/readme.txt", &readme, 5, '5'},
        {"lz77.bin", &lz77, 3, -1},
        {"docs", &folder, 0, '0'},
        {"fast.txt", &fastest, 1, '1'},
        {"big.iso", &big, 5 * GiB + 7, '0'},
        {"caf\xC3\xA9.txt", &dos, 1, '0'},
    };
    ASSERT_EQ(listing.Entries.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const TArchiveEntry& entry = listing.Entries[i];
        const AceFile& file = *expected[i].File;
        SCOPED_TRACE(file.Name);
        EXPECT_EQ(entry.Name, expected[i].Name);
        EXPECT_EQ(entry.StoredName, file.Name);
        EXPECT_EQ(entry.Attr, file.Attr);
        EXPECT_EQ(entry.Time, file.DosTime);
        EXPECT_EQ(entry.ModTime, 0);
        EXPECT_EQ(entry.Size, expected[i].Size);
        EXPECT_EQ(entry.PackedSize, file.PackedSize.value_or(file.Data.size()));
        EXPECT_EQ(entry.HostOS, 2);
        EXPECT_EQ(entry.CheckValue, HeadCrc(test::AceFileHeader(file)));
        EXPECT_EQ(entry.PackerVersion, 20);
        EXPECT_EQ(entry.PackMethod, expected[i].PackMethod);
        EXPECT_EQ(entry.HeaderFlags, test::AceAddSize | (file.Wide ? test::AceWide : 0) | file.Flags);
    }
}

TEST(AceReaderTest, TheHostComesFromTheMainHeader) {
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 99}, {12, 99}};
    for (const auto& [host, expected] : cases) {
        const TListing listing = ListBytes(test::AceMain(12, host) + test::AceFileHeader(File("a")));
        ASSERT_TRUE(listing.Outcome) << host << " " << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), 1u);
        EXPECT_EQ(listing.Entries[0].HostOS, expected) << host;
        EXPECT_EQ(listing.Entries[0].PackerVersion, 12);
    }
}

/// Three small entries; the pieces are the main header, then header and data for each file.
RarImage Sample() {
    RarImage image;
    image.Append(test::AceMain());
    for (const char* name : {"one.txt", "two.txt", "three.txt"})
        test::AddAceFile(image, File(name, std::string(name) + " data"));
    return image;
}

// Cut at every length: the entries whose headers were whole are listed; a cut inside a header
// or data is named by that header's offset, and a cut between entries is a shorter archive.
TEST(AceReaderTest, TruncatedArchivesKeepTheEntriesBeforeTheCut) {
    const RarImage image = Sample();
    const std::string bytes = image.Bytes();
    const std::vector<std::uint64_t> starts = image.Starts();
    const std::vector<std::string> names = {"one.txt", "two.txt", "three.txt"};
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const TListing listing = ListBytes(bytes.substr(0, cut));
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
        const bool atBoundary = cut == bytes.size() || (cut == starts[piece] && piece % 2 == 1);
        if (atBoundary && cut >= starts[1]) {
            EXPECT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
            continue;
        }
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        if (piece >= 2 && piece % 2 == 0)
            --piece;
        const std::string at = "at offset " + std::to_string(starts[piece]) + ":";
        EXPECT_NE(listing.Outcome.error().Detail.find(at), std::string::npos)
            << listing.Outcome.error().Detail;
    }
}

TEST(AceReaderTest, DamagedHeadersAreNamedByPlace) {
    const RarImage image = Sample();
    const std::string bytes = image.Bytes();
    const std::vector<std::uint64_t> starts = image.Starts();
    const AceFile two = File("two.txt", "two.txt data");
    std::string badCrc = test::AceFileHeader(two);
    badCrc[20] ^= 0x01;
    AceFile hugeData = two;
    hugeData.PackedSize = 1ull << 40;
    hugeData.Wide = true;
    std::string longName = test::AceFileHeader(two);
    const std::string at = std::to_string(starts[3]);
    struct TCase {
        const char* What;
        std::string Second;
        std::size_t Listed;
        std::string Detail;
    };
    const TCase cases[] = {
        {"checksum", badCrc, 1, "file header 2 at offset " + at + ": header checksum mismatch"},
        {"header size", test::AceHeader(1, 0, "").substr(0, 2) + std::string("\x02\x00\x01\x01", 4), 1,
         "header at offset " + at + ": header size 2 is too small"},
        {"name size",
         test::AceHeader(1, test::AceAddSize,
                         test::AceFileHeader(two).substr(7, 26) + test::LittleEndian(200, 2)),
         1, "file header 2 at offset " + at + ": name size 200 runs past the header"},
        {"short file header", test::AceHeader(1, test::AceAddSize, test::LittleEndian(0, 8)), 1,
         "file header 2 at offset " + at + ": the header ends inside its fields"},
        {"no data size", test::AceHeader(1, 0, test::AceFileHeader(two).substr(7)), 1,
         "file header 2 at offset " + at + ": a file header without a data size"},
        {"second main header", test::AceMain(), 1, "header at offset " + at + ": a second main header"},
        {"data size", test::AceFileHeader(hugeData), 2,
         "file header 2 at offset " + at + ": data of 1099511627776 bytes runs past the end of the file"},
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
TEST(AceReaderTest, EveryByteFlippedStaysBounded) {
    const std::string bytes = Sample().Bytes();
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
            std::string damaged = bytes;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            EXPECT_LE(ListBytes(damaged).Entries.size(), 3u) << at;
        }
    }
}

/// A set of three volumes: a.txt, then big.bin over all three (10 bytes), then z.txt.
std::vector<RarImage> VolumeSet() {
    std::vector<RarImage> volumes(3);
    const std::string parts[] = {"1111", "2222", "33"};
    for (int i = 0; i < 3; ++i) {
        RarImage& image = volumes[static_cast<std::size_t>(i)];
        image.Append(test::AceMain(20, 2, test::AceMultiVolume));
        if (i == 0)
            test::AddAceFile(image, File("a.txt", "A"));
        AceFile part = File("big.bin", parts[i]);
        part.Size = 10;
        part.Flags = (i > 0 ? test::AceContinuedBefore : 0) | (i < 2 ? test::AceContinuedAfter : 0);
        test::AddAceFile(image, part);
        if (i == 2)
            test::AddAceFile(image, File("z.txt", "Z"));
    }
    return volumes;
}

TEST(AceReaderTest, VolumeSetsListEachEntryOnceWithItsWholeSize) {
    TempTree tree;
    const std::vector<RarImage> volumes = VolumeSet();
    const char* names[] = {"set.ace", "set.c00", "set.c01"};
    for (std::size_t i = 0; i < volumes.size(); ++i)
        ASSERT_TRUE(volumes[i].Write(tree / names[i]));
    // A volume after the last one is never read.
    tree.File("set.c02", "junk");

    const TListing listing = ListFile(tree / "set.ace");
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Names(), (std::vector<std::string>{"a.txt", "big.bin", "z.txt"}));
    EXPECT_EQ(listing.Entries[1].Size, 10u);
    EXPECT_EQ(listing.Entries[1].PackedSize, 10u);

    const TListing fromSecond = ListFile(tree / "set.c00");
    ASSERT_TRUE(fromSecond.Outcome) << fromSecond.Outcome.error().Detail;
    ASSERT_EQ(fromSecond.Names(), (std::vector<std::string>{"big.bin", "z.txt"}));
    EXPECT_EQ(fromSecond.Entries[0].PackedSize, 6u);

    ASSERT_EQ(::unlink((tree / "set.c00").c_str()), 0);
    const TListing missing = ListFile(tree / "set.ace");
    ASSERT_FALSE(missing.Outcome);
    EXPECT_EQ(missing.Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(missing.Outcome.error().Path, tree / "set.c00");
    EXPECT_NE(missing.Outcome.error().Detail.find("set.c00"), std::string::npos);
    ASSERT_EQ(missing.Names(), (std::vector<std::string>{"a.txt", "big.bin"}));
    EXPECT_EQ(missing.Entries[1].PackedSize, 4u);
}

TEST(AceReaderTest, TheSinkStopsTheListing) {
    TempTree tree;
    ASSERT_TRUE(Sample().Write(tree / "stop.ace"));
    const TListing listing = ListFile(tree / "stop.ace", 2);
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(listing.Names(), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST(AceReaderTest, FilesThatAreNoAceArchivesAreRefused) {
    TempTree tree;
    std::string wrongType = test::AceMain();
    wrongType[4] = '\x01';
    std::string badCrc = test::AceMain();
    badCrc[0] ^= 0x01;
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file ends inside the header"},
        {"**ACE**", "the file ends inside the header"},
        {std::string("PK\x03\x04", 4) + std::string(40, '\0'), "no ACE signature"},
        {wrongType, "no ACE signature"},
        {badCrc, "header checksum mismatch"},
    };
    for (const auto& [bytes, detail] : cases) {
        const TListing listing = ListFile(tree.File("x.ace", bytes));
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Path, tree / "x.ace");
        EXPECT_EQ(listing.Outcome.error().Detail, "main header at offset 0: " + detail);
    }
    EXPECT_EQ(ListFile(tree / "missing.ace").Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(ListFile(tree.Folder("folder.ace")).Outcome.error().Code, TErrorCode::ecNotRegular);
}

TEST(AceReaderTest, NextVolumeNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/set.ace", "/a/set.c00"},       {"/a/SET.ACE", "/a/SET.C00"}, {"/a/set.c00", "/a/set.c01"},
        {"/a/set.c09", "/a/set.c10"},       {"/a/set.c99", "/a/set.d00"}, {"/a/set", "/a/set.c00"},
        {"/a/v1.0/set", "/a/v1.0/set.c00"},
    };
    for (const auto& [name, next] : cases)
        EXPECT_EQ(NextAceVolumeName(name), next) << name;
}

} // namespace
} // namespace ks
