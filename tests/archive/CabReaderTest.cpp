#include "archive/CabReader.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "archive/ArchiveKinds.h"
#include "foundation/System.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

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
};

TListing ListFile(const std::string& path, std::size_t stopAfter = std::numeric_limits<std::size_t>::max()) {
    std::unique_ptr<TKArchiveReader> reader = MakeArchiveReader(akCAB);
    TCollectSink sink(stopAfter);
    Result<void> outcome = reader->ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries};
}

TListing ListBytes(const std::string& bytes) {
    TCollectSink sink;
    Result<void> outcome = ReadCabDirectory(bytes, sink);
    return {outcome, sink.Entries};
}

std::string Le16(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}
std::string Le32(std::uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

struct TCabFile {
    std::string Name;
    std::uint32_t Size;
    std::uint32_t Folder;
    std::uint32_t Attr;
};

/// A cabinet of one set: flags 1 (a cabinet before), 2 (one after) and 4 (reserved areas)
/// bring their fields; the folder entries are left empty of data.
std::string Cabinet(const std::vector<TCabFile>& files, std::uint32_t flags, std::uint32_t folders = 1) {
    std::string extra;
    if (flags & 4)
        extra += Le16(6) + '\x04' + '\x00' + std::string(6, 'R');
    if (flags & 1)
        extra += std::string("prev.cab") + '\0' + "Disk 1" + '\0';
    if (flags & 2)
        extra += std::string("next.cab") + '\0' + "Disk 3" + '\0';
    std::string folderEntries;
    for (std::uint32_t i = 0; i < folders; ++i)
        folderEntries += Le32(0) + Le16(0) + Le16(1) + ((flags & 4) ? std::string(4, 'F') : std::string());
    const std::uint32_t firstFile = static_cast<std::uint32_t>(36 + extra.size() + folderEntries.size());
    std::string entries;
    for (const TCabFile& file : files)
        entries += Le32(file.Size) + Le32(0) + Le16(file.Folder) + Le16(0x5A8C) + Le16(0x6000) +
                   Le16(file.Attr) + file.Name + '\0';
    std::string header = "MSCF" + Le32(0) + Le32(static_cast<std::uint32_t>(firstFile + entries.size())) +
                         Le32(0) + Le32(firstFile) + Le32(0) + '\x03' + '\x01' + Le16(folders) +
                         Le16(static_cast<std::uint32_t>(files.size())) + Le16(flags) + Le16(0x1234) +
                         Le16(2);
    return header + extra + folderEntries + entries;
}

/// `gcab -l`: "name size date time attributes".
struct TGcabEntry {
    std::string Name;
    std::uint64_t Size = 0;
    std::uint32_t Attr = 0;
};

std::vector<TGcabEntry> GcabListing(const std::string& archive) {
    const test::TRunResult run = test::Run({"gcab", "-l", archive}, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
    EXPECT_EQ(run.ExitCode, 0) << archive;
    std::vector<TGcabEntry> entries;
    std::istringstream lines(run.Out);
    std::string line;
    while (std::getline(lines, line)) {
        // The name may hold spaces: the four fields after it are taken from the end.
        std::size_t end = line.size();
        std::string fields[4];
        for (int i = 3; i >= 0; --i) {
            const std::size_t space = line.rfind(' ', end - 1);
            fields[i] = line.substr(space + 1, end - space - 1);
            end = space;
        }
        entries.push_back({line.substr(0, end), std::stoull(fields[0]),
                           static_cast<std::uint32_t>(std::stoul(fields[3], nullptr, 16))});
    }
    return entries;
}

TEST(CabReader, ListsWhatGcabWrote) {
    ASSERT_TRUE(test::OnPath("gcab"));
    TempTree base;
    base.File("tree/docs/readme.txt", "hello\n");
    base.File("tree/docs/rep.txt", std::string(5000, 'a'));
    base.File("tree/\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.txt", "horse\n");
    base.File("tree/empty.txt");
    for (const char* option : {"-c", "-cz"}) {
        SCOPED_TRACE(option);
        const std::string archive = base / "out.cab";
        std::remove(archive.c_str());
        const test::TRunResult made = test::Run(
            {"env", "-C", base.Path(), "gcab", option, "out.cab", "tree/docs/readme.txt", "tree/docs/rep.txt",
             "tree/\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.txt", "tree/empty.txt"},
            {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
        ASSERT_EQ(made.ExitCode, 0);
        const TListing listing = ListFile(archive);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        const std::vector<TGcabEntry> listed = GcabListing(archive);
        ASSERT_EQ(listed.size(), 4u);
        ASSERT_EQ(listing.Entries.size(), listed.size());
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const TArchiveEntry& entry = listing.Entries[i];
            SCOPED_TRACE(listed[i].Name);
            EXPECT_EQ(entry.StoredName, listed[i].Name);
            std::string shown = listed[i].Name;
            std::replace(shown.begin(), shown.end(), '\\', '/');
            EXPECT_EQ(entry.Name, shown);
            EXPECT_EQ(entry.Size, listed[i].Size);
            EXPECT_EQ(entry.Attr, listed[i].Attr);
            EXPECT_EQ(entry.Attr & 0x10, 0u);
            EXPECT_EQ(entry.Time, 0u);
            EXPECT_EQ(entry.ModTime, 0);
            EXPECT_EQ(entry.PackedSize, UnknownPackedSize);
            EXPECT_EQ(entry.HostOS, 99);
            EXPECT_EQ(entry.PackerVersion, 0);
            EXPECT_EQ(entry.PackMethod, 0);
            EXPECT_EQ(entry.CheckValue, 0u);
        }
    }
}

TEST(CabReader, CabinetsOfASetAndTheirNames) {
    // The first file goes on from the cabinet before, the last into the next one; names flagged
    // UTF-8 are read as such, others as code page 437 unless they are UTF-8 already.
    const std::vector<TCabFile> files = {
        {"split\\from-before.bin", 1000, 0xFFFD, 0x20},
        {"\xC3\xA9t\xC3\xA9.txt", 5, 0, 0xA0},
        {"caf\x82.txt", 6, 0, 0x20},
        {"d\xC3\xA9j\xC3\xA0.txt", 7, 0, 0x21},
        {"bad\xC3.txt", 8, 1, 0xA0},
        {"both.bin", 9, 0xFFFF, 0x20},
        {"to-next.bin", 4000000000u, 0xFFFE, 0x20},
    };
    const std::vector<std::string> names = {"split/from-before.bin",
                                            "\xC3\xA9t\xC3\xA9.txt",
                                            "caf\xC3\xA9.txt",
                                            "d\xC3\xA9j\xC3\xA0.txt",
                                            "bad\xEF\xBF\xBD.txt",
                                            "both.bin",
                                            "to-next.bin"};
    for (const std::uint32_t flags : {0u, 1u, 2u, 3u, 4u, 7u}) {
        SCOPED_TRACE(flags);
        const TListing listing = ListBytes(Cabinet(files, flags, 2));
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(listing.Entries[i].Name, names[i]);
            EXPECT_EQ(listing.Entries[i].StoredName, files[i].Name);
            EXPECT_EQ(listing.Entries[i].Size, files[i].Size);
            EXPECT_EQ(listing.Entries[i].Attr, files[i].Attr);
        }
    }
    EXPECT_TRUE(ListBytes(Cabinet({}, 0)).Outcome);
}

TEST(CabReader, DamagedCabinetsKeepWhatCameBefore) {
    const std::string whole =
        Cabinet({{"a.txt", 1, 0, 0x20}, {"b.txt", 2, 0, 0x20}, {"c.txt", 3, 0, 0x20}}, 0);
    const std::size_t firstFile = 36 + 8;
    const std::size_t entry = 16 + 6;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const TListing listing = ListBytes(whole.substr(0, cut));
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        const std::string& detail = listing.Outcome.error().Detail;
        if (cut < firstFile) {
            EXPECT_EQ(listing.Entries.size(), 0u);
            EXPECT_EQ(detail.rfind("cabinet header at offset 0: ", 0), 0u) << detail;
            continue;
        }
        const std::size_t complete = (cut - firstFile) / entry;
        EXPECT_EQ(listing.Entries.size(), complete);
        EXPECT_EQ(detail.rfind("file entry " + std::to_string(complete + 1) + " at offset " +
                                   std::to_string(firstFile + complete * entry) + ": ",
                               0),
                  0u)
            << detail;
    }
    std::string endless = Cabinet({{std::string(10050, 'n'), 1, 0, 0x20}}, 0);
    endless.pop_back();
    endless += "tail";
    const TListing noEnd = ListBytes(endless);
    ASSERT_FALSE(noEnd.Outcome);
    EXPECT_NE(noEnd.Outcome.error().Detail.find("the name has no end"), std::string::npos);
    EXPECT_FALSE(ListBytes("MSCZ" + whole.substr(4)).Outcome);
}

TEST(CabReader, SinkStopsTheReadAndErrorsNameTheFile) {
    TempTree base;
    const std::string cabinet = Cabinet({{"a", 1, 0, 0}, {"b", 1, 0, 0}, {"c", 1, 0, 0}}, 0);
    const std::string archive = base.File("three.cab", cabinet);
    const TListing stopped = ListFile(archive, 1);
    ASSERT_FALSE(stopped.Outcome);
    EXPECT_EQ(stopped.Outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(stopped.Entries.size(), 1u);
    const std::string cut = base.File("cut.cab", cabinet.substr(0, cabinet.size() - 3));
    const TListing damaged = ListFile(cut);
    ASSERT_FALSE(damaged.Outcome);
    EXPECT_EQ(damaged.Outcome.error().Path, cut);
    EXPECT_EQ(damaged.Entries.size(), 2u);
}

} // namespace
} // namespace ks
