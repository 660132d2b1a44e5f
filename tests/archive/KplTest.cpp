// The KPL library format: what a write stores, every older version read from bytes, listing a
// library as a panel does, and damaged or hostile libraries that must fail where they are damaged.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "archive/ArchiveKinds.h"
#include "archive/KPL.h"
#include "archive/KplBuilder.h"
#include "platform/LinuxFileSystem.h"
#include "support/TempTree.h"

namespace ks::test {

namespace {

class TCollect : public TKArchiveSink {
public:
    std::vector<TArchiveEntry> Entries;
    bool AddEntry(const TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return true;
    }
};

std::vector<std::string> Names(const TCollect& collect) {
    std::vector<std::string> names;
    for (const TArchiveEntry& entry : collect.Entries)
        names.push_back(entry.Name + (entry.Attr & 16 ? "/" : "") + ":" + std::to_string(entry.Size));
    return names;
}

} // namespace

TEST(KplTest, WriteStoresFoldersRelativeToTheBaseFolder) {
    TempTree tree;
    tree.File("data/docs/a.txt", "abc");
    tree.File("data/docs/sub dir/b \xC3\xA9.bin", std::string(3, '\0'));
    TKLinuxFileSystem disk;
    TKMYKPLIB library(disk);
    library.BaseFolder = tree / "data/";
    ASSERT_TRUE(library.ScanFolder(tree / "data/docs"));
    library.LibraryId = KplLanguagePackId;
    ASSERT_TRUE(library.WriteLibrary(tree / "lib.kpl"));
    EXPECT_TRUE(library.Stopped);

    TKplBuilder expected;
    expected.Header(4, KplLanguagePackId, 4)
        .Folder("", "docs")
        .File("docs\\", "a.txt", "abc")
        .Folder("docs\\", "sub dir")
        .File("docs\\sub dir\\", "b \xC3\xA9.bin", std::string(3, '\0'));
    // The listing order of a folder is the file system's; compare as sets of records by listing.
    const std::string written = TempTree::ReadFile(tree / "lib.kpl");
    ASSERT_EQ(written.size(), expected.Bytes.size());
    EXPECT_EQ(written.substr(0, 34), expected.Bytes.substr(0, 34)); // header and the "docs" entry's folder

    TKMYKPLIB reader(disk);
    ASSERT_TRUE(reader.ListLibrary(tree / "lib.kpl", false));
    EXPECT_EQ(reader.FormatVersion, 4);
    EXPECT_EQ(reader.FoundLibraryId, KplLanguagePackId);
    std::vector<std::string> lines = reader.Items;
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"a.txt|docs\\|32|3|", "b \xC3\xA9.bin|docs\\sub dir\\|32|3|",
                                               "docs||16|0|", "sub dir|docs\\|16|0|"}));
    // Only the partial name's rename made the library: nothing else is left beside it.
    std::vector<std::string> beside;
    ASSERT_TRUE(disk.ListFolder(tree.Path(), [&](const TDirEntry& e) {
        beside.push_back(e.Name);
        return true;
    }));
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"data", "lib.kpl"}));
}

TEST(KplTest, ReadsEveryFormatVersionFromBytes) {
    struct TCase {
        int Version;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {1, {"top.txt:2", "b.txt:1"}}, // no folder fields: everything at the base
        {2, {"top.txt:2", "d/:0", "d/b.txt:1"}},
        {3, {"top.txt:2", "d/:0", "d/b.txt:1"}},
        {4, {"top.txt:2", "d/:0", "d/b.txt:1"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Version);
        TKplBuilder lib;
        lib.Header(c.Version, 7, 3).File("", "top.txt", "hi");
        if (c.Version >= 2)
            lib.Folder("", "d");
        lib.File("d\\", "b.txt", "x");
        TCollect collect;
        ASSERT_TRUE(ReadKplDirectory(lib.Bytes, collect));
        EXPECT_EQ(Names(collect), c.Expected);
        ASSERT_FALSE(collect.Entries.empty());
        EXPECT_EQ(collect.Entries[0].PackerVersion, c.Version * 10);
        EXPECT_EQ(collect.Entries[0].PackMethod, '0');
    }
}

TEST(KplTest, AMethodBeyondEveryDigitShowsNoMethod) {
    TKplBuilder lib;
    lib.Header(4, 0, 1).Text("").Int(0x7FFFFFFE).Text("m.bin").Int(32).Int(1).Int(1);
    lib.Bytes += "x";
    TCollect collect;
    ASSERT_TRUE(ReadKplDirectory(lib.Bytes, collect));
    ASSERT_EQ(collect.Entries.size(), 1u);
    EXPECT_EQ(collect.Entries[0].PackMethod, -1);
}

TEST(KplTest, WhatIsNoLibraryListsNothingWithoutFailing) {
    const std::vector<std::string> inputs = {
        "",
        "KPL",
        "PK\x03\x04 not a library",
        TKplBuilder().Header(5).File("", "a", "b").Bytes, // a version above 4
        TKplBuilder().Header(0).File("", "a", "b").Bytes,
        TKplBuilder().Text("KPX").Int(4).Int(0).Int(-1).Int(0).Bytes,
    };
    for (const std::string& input : inputs) {
        TCollect collect;
        EXPECT_TRUE(ReadKplDirectory(input, collect));
        EXPECT_TRUE(collect.Entries.empty());
    }
    TKLinuxFileSystem disk;
    TKMYKPLIB library(disk);
    TKplBuilder v5;
    v5.Header(5);
    struct TBytes : TKArchiveBytes {
        std::string Data;
        std::uint64_t Size() const override { return Data.size(); }
        Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
            const std::size_t n =
                offset >= Data.size() ? 0 : std::min<std::size_t>(count, Data.size() - offset);
            Data.copy(buffer, n, offset);
            return n;
        }
    } bytes;
    bytes.Data = v5.Bytes;
    Result<void> read = library.ReadLibrary(bytes, true, false);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().Code, TErrorCode::ecUnsupported);
    EXPECT_EQ(library.FormatVersion, 0);
}

TEST(KplTest, CutAtEveryByteListsTheWholeRecordsAndNamesWhereItStopped) {
    TKplBuilder lib;
    lib.Header(4, 0, 3).Folder("", "d").File("d\\", "a.txt", "hello").File("", "b", "");
    std::vector<std::size_t> boundaries;
    {
        TKplBuilder header;
        header.Header(4, 0, 3);
        boundaries.push_back(header.Bytes.size());
        header.Folder("", "d");
        boundaries.push_back(header.Bytes.size());
        header.File("d\\", "a.txt", "hello");
        boundaries.push_back(header.Bytes.size());
    }
    for (std::size_t cut = 0; cut < lib.Bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        TCollect collect;
        const Result<void> read = ReadKplDirectory(std::string_view(lib.Bytes).substr(0, cut), collect);
        std::size_t whole = 0;
        while (whole < boundaries.size() && boundaries[whole] <= cut)
            ++whole;
        // Whole records before the cut are listed; a cut header lists nothing and is no failure.
        EXPECT_EQ(collect.Entries.size(), whole == 0 ? 0 : whole - 1);
        const bool atBoundary = cut < boundaries[0] || (whole > 0 && boundaries[whole - 1] == cut);
        EXPECT_EQ(read.has_value(), atBoundary);
        if (!read) {
            EXPECT_EQ(read.error().Code, TErrorCode::ecParse);
            EXPECT_NE(read.error().Detail.find("record " + std::to_string(whole) + " at offset " +
                                               std::to_string(boundaries[whole - 1])),
                      std::string::npos)
                << read.error().Detail;
        }
    }
}

TEST(KplTest, HugeCountsAndSizesAreBoundedByTheBytes) {
    struct TCase {
        const char* What;
        std::string Bytes;
        std::size_t Listed;
        bool Ok;
    };
    const std::vector<TCase> cases = {
        {"count beyond the records", TKplBuilder().Header(4, 0, 0x7FFFFFFF).File("", "a", "x").Bytes, 1,
         true},
        {"negative count", TKplBuilder().Header(4, 0, -5).File("", "a", "x").Bytes, 1, true},
        {"size beyond the file",
         TKplBuilder().Header(4).Text("").Int(0).Text("a").Int(32).Int(0x7FFFFFFF).Int(0x7FFFFFFF).Bytes, 0,
         false},
        {"negative size", TKplBuilder().Header(4).Text("").Int(0).Text("a").Int(32).Int(-1).Int(-1).Bytes, 0,
         false},
        {"name of 2 GiB", TKplBuilder().Header(4).Text("").Int(0).Int(0x7FFFFFFF).Bytes + "abc", 0, false},
        {"name without its marker", TKplBuilder().Header(4).Text("").Int(0).Int(1).Bytes + "aX", 0, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TCollect collect;
        const Result<void> read = ReadKplDirectory(c.Bytes, collect);
        EXPECT_EQ(read.has_value(), c.Ok);
        EXPECT_EQ(collect.Entries.size(), c.Listed);
    }
}

TEST(KplTest, SizesBeyondTheFieldsAreRefusedAndNothingIsWritten) {
    TempTree tree;
    const std::string big = tree.File("big.bin");
    ASSERT_EQ(::truncate(big.c_str(), off_t{1} << 31), 0); // sparse: one byte over the signed field
    const std::string old = tree.File("lib.kpl", "old library");
    TKLinuxFileSystem disk;
    TKMYKPLIB library(disk);
    library.BaseFolder = tree.Path() + "/";
    library.Items = {tree.File("small.txt", "s"), big};
    const Result<void> written = library.WriteLibrary(old);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().Code, TErrorCode::ecTooLarge);
    EXPECT_EQ(written.error().Path, big);
    EXPECT_EQ(TempTree::ReadFile(old), "old library");
    int names = 0;
    ASSERT_TRUE(disk.ListFolder(tree.Path(), [&](const TDirEntry&) { return ++names, true; }));
    EXPECT_EQ(names, 3);
}

TEST(KplTest, ForeignLibraryIdReadsNothingButTheHeader) {
    TempTree tree;
    const std::string path = tree.File("user.kpl", TKplBuilder().Header(4, 0, 1).File("", "a", "x").Bytes);
    TKLinuxFileSystem disk;
    TKMYKPLIB library(disk);
    library.LibraryId = KplLanguagePackId;
    const Result<void> read = library.ListLibrary(path, false);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(library.FoundLibraryId, 0);
    EXPECT_TRUE(library.Items.empty());
    EXPECT_TRUE(library.Stopped);
}

TEST(KplTest, ThePanelReaderListsThroughTheArchiveKinds) {
    TempTree tree;
    const std::string path =
        tree.File("p.kpl", TKplBuilder().Header(3, 0, 2).Folder("", "d").File("d\\", "..", "x").Bytes);
    std::unique_ptr<TKArchiveReader> reader = MakeArchiveReader(akKPL);
    ASSERT_NE(reader, nullptr);
    TKLinuxFileSystem disk;
    TCollect collect;
    ASSERT_TRUE(reader->ReadDirectory(disk, path, collect));
    ASSERT_EQ(collect.Entries.size(), 2u);
    EXPECT_EQ(collect.Entries[1].StoredName, "d\\..");
    // A ".." part is never shown as one.
    EXPECT_EQ(collect.Entries[1].Name.find(".."), std::string::npos);
}

} // namespace ks::test
