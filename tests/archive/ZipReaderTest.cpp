// The ZIP directory reader over archives made by the real archivers (compared with their own
// listings), byte-built archives for what the archivers cannot be made to write, and damaged
// archives.
#include "archive/ZipReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/System.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

class TCollect : public TKArchiveSink {
public:
    std::vector<TArchiveEntry> Entries;
    std::size_t StopAfter = SIZE_MAX;
    bool AddEntry(const TArchiveEntry& entry) override {
        Entries.push_back(entry);
        return Entries.size() < StopAfter;
    }
};

struct TListing {
    std::vector<TArchiveEntry> Entries;
    Result<void> Outcome;
};

TListing ListFile(const std::string& path, std::size_t stopAfter = SIZE_MAX) {
    TCollect sink;
    sink.StopAfter = stopAfter;
    Result<void> outcome = TZipReader().ReadDirectory(FileSystem(), path, sink);
    return {std::move(sink.Entries), std::move(outcome)};
}

TListing ListBytes(const std::string& data, std::size_t maxBuffer = MaxZipDirectoryBuffer) {
    TCollect sink;
    Result<void> outcome = ReadZipDirectory(data, sink, maxBuffer);
    return {std::move(sink.Entries), std::move(outcome)};
}

std::vector<std::string> Names(const std::vector<TArchiveEntry>& entries) {
    std::vector<std::string> names;
    for (const TArchiveEntry& entry : entries)
        names.push_back(entry.Name);
    return names;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A tool run in folder with a fixed time zone and locale; it must succeed.
std::string Tool(const std::string& folder, std::vector<std::string> argv, const std::string& input = {}) {
    std::string line;
    for (const std::string& arg : argv)
        line += arg + " ";
    argv.insert(argv.begin(), {"env", "-C", folder});
    const test::TRunResult run = test::Run(argv, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000, input);
    EXPECT_EQ(run.ExitCode, 0) << line;
    return run.Out;
}

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// "YYYY-MM-DD hh:mm:ss" of the full time when stored, else of the DOS time.
std::string TimeText(const TArchiveEntry& entry) {
    char text[32];
    if (entry.ModTime != 0) {
        const std::time_t seconds = entry.ModTime;
        std::tm utc{};
        ::gmtime_r(&seconds, &utc);
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    } else {
        const std::uint32_t t = entry.Time;
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (t >> 25), (t >> 21) & 15,
                      (t >> 16) & 31, (t >> 11) & 31, (t >> 5) & 63, (t & 31) * 2);
    }
    return text;
}

// What `7z l -slt` says of each entry, in the order of the directory.
struct TSevenZipEntry {
    std::map<std::string, std::string> Fields;
};

std::vector<TSevenZipEntry> SevenZipListing(const std::string& archive) {
    const test::TRunResult run =
        test::Run({"7z", "l", "-tzip", "-slt", archive}, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
    EXPECT_EQ(run.ExitCode, 0) << archive;
    std::vector<TSevenZipEntry> entries;
    std::istringstream lines(run.Out);
    std::string line;
    bool inEntries = false;
    while (std::getline(lines, line)) {
        if (line == "----------") {
            inEntries = true;
            continue;
        }
        const std::size_t equals = line.find(" = ");
        if (!inEntries || equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        if (key == "Path")
            entries.emplace_back();
        if (!entries.empty())
            entries.back().Fields[key] = line.substr(equals + 3);
    }
    return entries;
}

// What `unzip -Z -v` says of each central directory entry.
std::vector<std::map<std::string, std::string>> ZipInfoListing(const std::string& archive) {
    const test::TRunResult run =
        test::Run({"unzip", "-Z", "-v", archive}, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
    std::vector<std::map<std::string, std::string>> entries;
    std::istringstream lines(run.Out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Central directory entry #", 0) == 0) {
            entries.emplace_back();
            continue;
        }
        const std::size_t colon = line.find(':');
        if (entries.empty() || colon == std::string::npos || line.rfind("  ", 0) != 0)
            continue;
        const std::size_t start = line.find_first_not_of(' ', colon + 1);
        std::string key = line.substr(2, colon - 2);
        if (!entries.back().count(key))
            entries.back()[key] = start == std::string::npos ? "" : line.substr(start);
    }
    return entries;
}

void ExpectSameAsArchivers(const std::string& archive, const std::vector<TArchiveEntry>& entries) {
    const std::vector<TSevenZipEntry> listed = SevenZipListing(archive);
    ASSERT_EQ(entries.size(), listed.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TArchiveEntry& entry = entries[i];
        std::map<std::string, std::string> fields = listed[i].Fields;
        SCOPED_TRACE(fields["Path"]);
        EXPECT_EQ(entry.Name, fields["Path"]);
        EXPECT_EQ((entry.Attr & 0x10) != 0, fields["Folder"] == "+");
        EXPECT_EQ(std::to_string(entry.Size), fields["Size"]);
        EXPECT_EQ(std::to_string(entry.PackedSize), fields["Packed Size"]);
        EXPECT_EQ(TimeText(entry), fields["Modified"].substr(0, 19));
        if (!fields["CRC"].empty()) {
            EXPECT_EQ(Hex(entry.CheckValue), fields["CRC"]);
        }
    }
    // The DOS time, the host, the packer version and the deflate level as Info-ZIP reads them.
    const auto info = ZipInfoListing(archive);
    ASSERT_EQ(entries.size(), info.size());
    static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const std::map<std::string, int> Hosts = {{"MS-DOS, OS/2 or NT FAT", 0}, {"Unix", 3}, {"NTFS", 2}};
    static const std::map<std::string, int> Levels = {
        {"superfast", '1'}, {"fast", '2'}, {"normal", '3'}, {"maximum", '5'}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TArchiveEntry& entry = entries[i];
        std::map<std::string, std::string> fields = info[i];
        SCOPED_TRACE(entry.Name);
        const std::uint32_t t = entry.Time;
        char dos[32];
        std::snprintf(dos, sizeof dos, "%u %s %02u %02u:%02u:%02u", 1980 + (t >> 25),
                      Months[std::clamp<unsigned>((t >> 21) & 15, 1, 12) - 1], (t >> 16) & 31, (t >> 11) & 31,
                      (t >> 5) & 63, (t & 31) * 2);
        EXPECT_EQ(dos, fields["file last modified on (DOS date/time)"]);
        if (const auto host = Hosts.find(fields["file system or operating system of origin"]);
            host != Hosts.end()) {
            EXPECT_EQ(entry.HostOS, host->second);
        }
        const std::string version = fields["version of encoding software"];
        EXPECT_EQ(std::to_string(entry.PackerVersion / 10) + "." + std::to_string(entry.PackerVersion % 10),
                  version);
        const std::string method = fields["compression method"];
        if (method == "none (stored)") {
            EXPECT_EQ(entry.PackMethod, '0');
        } else if (method == "deflated") {
            EXPECT_EQ(entry.PackMethod, Levels.at(fields["compression sub-type (deflation)"]));
        } else {
            EXPECT_EQ(entry.PackMethod, -1) << method;
        }
    }
}

// A small tree with folders, an empty folder, a read-only file and a name beyond ASCII.
void MakeTree(const TempTree& base) {
    base.File("tree/docs/readme.txt", "hello\n");
    std::string picture;
    for (int i = 0; i < 3000; ++i)
        picture += static_cast<char>((i * 7919) % 251);
    base.File("tree/docs/img/pic.bin", picture);
    base.File("tree/ro.txt", "read only\n");
    ::chmod((base / "tree/ro.txt").c_str(), 0444);
    base.File("tree/\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.txt", "horse\n");
    base.Folder("tree/empty");
}

TEST(ZipReader, ListsWhatTheArchiversWrote) {
    for (const char* tool : {"zip", "unzip", "zipinfo", "7z", "fastjar"})
        ASSERT_TRUE(test::OnPath(tool)) << tool;
    TempTree base;
    MakeTree(base);
    // A program in front, as a self-extractor has its unpacker.
    const std::string stub = TempTree::ReadFile("/bin/true");
    ASSERT_FALSE(stub.empty());
    struct TCase {
        const char* Label;
        std::vector<std::string> Argv; ///< writes out.zip in the base folder; empty: see below
        bool Descriptors = false;      ///< the archiver leaves the sizes to data descriptors
        bool KeepsModes = true;        ///< the archiver stores Unix modes
    };
    const TCase cases[] = {
        {"zip", {"zip", "-qr", "out.zip", "tree"}, false},
        {"zip stored", {"zip", "-qr0", "out.zip", "tree"}, false},
        {"zip fastest", {"zip", "-qr1", "out.zip", "tree"}, false},
        {"zip best", {"zip", "-qr9", "out.zip", "tree"}, false},
        {"7z", {"7z", "a", "-tzip", "-bd", "out.zip", "tree"}, false},
        {"7z best", {"7z", "a", "-tzip", "-bd", "-mx=9", "out.zip", "tree"}, false},
        {"jar", {"fastjar", "cf", "out.zip", "tree"}, false, false},
        {"zip to a pipe", {}, true, true},
        {"zip from a pipe", {}, false, true},
        {"self-extractor", {}, false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const std::string archive = base / "out.zip";
        std::filesystem::remove(archive);
        const std::string label = c.Label;
        if (!c.Argv.empty()) {
            Tool(base.Path(), c.Argv);
        } else if (label == "zip to a pipe") {
            WriteFile(archive, Tool(base.Path(), {"zip", "-qr", "-", "tree"}));
        } else if (label == "zip from a pipe") {
            Tool(base.Path(), {"zip", "-q", "out.zip", "-"}, "piped data\n");
        } else {
            Tool(base.Path(), {"zip", "-qr", "plain.zip", "tree"});
            WriteFile(archive, stub + TempTree::ReadFile(base / "plain.zip"));
        }
        const TListing listing = ListFile(archive);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_FALSE(listing.Entries.empty());
        ExpectSameAsArchivers(archive, listing.Entries);
        for (const TArchiveEntry& entry : listing.Entries) {
            SCOPED_TRACE(entry.Name);
            EXPECT_EQ(entry.StoredName.rfind("tree", 0) == 0 || entry.StoredName == "-" ||
                          entry.StoredName.rfind("META-INF", 0) == 0,
                      true);
            if (c.Descriptors && !(entry.Attr & 0x10)) {
                EXPECT_TRUE(entry.HeaderFlags & 8);
            }
            if (c.KeepsModes && entry.Name.ends_with("ro.txt")) {
                EXPECT_EQ(entry.Attr & 0x01, 0x01u);
            }
        }
        if (label == "zip") {
            const std::vector<std::string> expected = {
                "tree",
                "tree/docs",
                "tree/docs/img",
                "tree/docs/img/pic.bin",
                "tree/docs/readme.txt",
                "tree/empty",
                "tree/ro.txt",
                "tree/\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.txt"};
            std::vector<std::string> names = Names(listing.Entries);
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, expected);
            EXPECT_EQ(listing.Entries[0].HostOS, 3);
            EXPECT_EQ(listing.Entries[0].PackerVersion, 30);
        }
    }
}

TEST(ZipReader, EmptyArchiveListsNothing) {
    TempTree base;
    base.File("f", "x");
    Tool(base.Path(), {"zip", "-q", "e.zip", "f"});
    Tool(base.Path(), {"zip", "-qd", "e.zip", "f"});
    ASSERT_EQ(TempTree::ReadFile(base / "e.zip").size(), 22u);
    const TListing listing = ListFile(base / "e.zip");
    EXPECT_TRUE(listing.Outcome);
    EXPECT_TRUE(listing.Entries.empty());
}

// Archives the archivers cannot be told to write, built byte by byte.
struct TBuilt {
    explicit TBuilt(std::string name) : Name(std::move(name)) {}
    TBuilt& WithExtra(std::string extra) { return Extra = std::move(extra), *this; }
    TBuilt& WithMadeBy(std::uint16_t madeBy) { return MadeBy = madeBy, *this; }
    TBuilt& WithFlags(std::uint16_t flags) { return Flags = flags, *this; }
    TBuilt& WithMethod(std::uint16_t method) { return Method = method, *this; }
    TBuilt& WithExternal(std::uint32_t external) { return External = external, *this; }
    TBuilt& WithSize(std::uint64_t size) { return Size = size, *this; }
    TBuilt& WithPacked(std::uint64_t packed) { return Packed = packed, *this; }
    TBuilt& WithZip64() { return Zip64 = true, *this; }

    std::string Name;
    std::string Extra; ///< central directory extra field
    std::uint16_t MadeBy = 3 << 8 | 30;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t External = 0;
    std::uint64_t Size = 0;
    std::uint64_t Packed = 0;
    std::uint32_t Time = 0x5A8B6000;
    std::uint32_t Crc = 0x12345678;
    bool Zip64 = false; ///< sizes in the ZIP64 extra field
};

void Put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t c = 0xFFFFFFFF;
    for (const char ch : data) {
        c ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320 ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

std::string ExtraField(std::uint16_t id, const std::string& data) {
    std::string out;
    Put(out, id, 2);
    Put(out, data.size(), 2);
    return out + data;
}

// Offsets are counted from the end of prefix, as a self-extractor stub shifts them.
std::string BuildZip(const std::vector<TBuilt>& entries, bool zip64End = false,
                     const std::string& prefix = {}) {
    std::string out;
    std::vector<std::uint64_t> offsets;
    for (const TBuilt& e : entries) {
        offsets.push_back(out.size());
        Put(out, 0x04034B50, 4);
        Put(out, e.Zip64 ? 45 : 20, 2);
        Put(out, e.Flags, 2);
        Put(out, e.Method, 2);
        Put(out, e.Time, 4);
        Put(out, e.Crc, 4);
        Put(out, e.Zip64 ? 0xFFFFFFFF : e.Packed, 4);
        Put(out, e.Zip64 ? 0xFFFFFFFF : e.Size, 4);
        Put(out, e.Name.size(), 2);
        Put(out, 0, 2);
        out += e.Name;
    }
    const std::uint64_t directory = out.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TBuilt& e = entries[i];
        std::string extra;
        if (e.Zip64) {
            std::string sizes;
            Put(sizes, e.Size, 8);
            Put(sizes, e.Packed, 8);
            extra = ExtraField(1, sizes);
        }
        extra += e.Extra;
        Put(out, 0x02014B50, 4);
        Put(out, e.MadeBy, 2);
        Put(out, e.Zip64 ? 45 : 20, 2);
        Put(out, e.Flags, 2);
        Put(out, e.Method, 2);
        Put(out, e.Time, 4);
        Put(out, e.Crc, 4);
        Put(out, e.Zip64 ? 0xFFFFFFFF : e.Packed, 4);
        Put(out, e.Zip64 ? 0xFFFFFFFF : e.Size, 4);
        Put(out, e.Name.size(), 2);
        Put(out, extra.size(), 2);
        Put(out, 0, 2);
        Put(out, 0, 2);
        Put(out, 0, 2);
        Put(out, e.External, 4);
        Put(out, offsets[i], 4);
        out += e.Name + extra;
    }
    const std::uint64_t directorySize = out.size() - directory;
    if (zip64End) {
        const std::uint64_t record = out.size();
        Put(out, 0x06064B50, 4);
        Put(out, 44, 8);
        Put(out, 45, 2);
        Put(out, 45, 2);
        Put(out, 0, 4);
        Put(out, 0, 4);
        Put(out, entries.size(), 8);
        Put(out, entries.size(), 8);
        Put(out, directorySize, 8);
        Put(out, directory, 8);
        Put(out, 0x07064B50, 4);
        Put(out, 0, 4);
        Put(out, record, 8);
        Put(out, 1, 4);
    }
    Put(out, 0x06054B50, 4);
    Put(out, 0, 2);
    Put(out, 0, 2);
    Put(out, zip64End ? 0xFFFF : entries.size(), 2);
    Put(out, zip64End ? 0xFFFF : entries.size(), 2);
    Put(out, zip64End ? 0xFFFFFFFF : directorySize, 4);
    Put(out, zip64End ? 0xFFFFFFFF : directory, 4);
    Put(out, 0, 2);
    return prefix + out;
}

TEST(ZipReader, DecodesNamesAttributesAndTimes) {
    const std::uint16_t dos = 0 << 8 | 20;
    const std::string leader = "\xE2\x80\xA5";
    std::string timestamp = "\x01";
    Put(timestamp, 1577934245, 4); // 2020-01-02 03:04:05 UTC
    std::string ntfs(4, '\0');
    Put(ntfs, 1, 2);
    Put(ntfs, 24, 2);
    Put(ntfs, (1577934245ull + 11644473600ull) * 10000000ull + 1234567, 8);
    Put(ntfs, 0, 16);
    const auto unicodePath = [](const std::string& utf8, std::uint32_t crc) {
        std::string data = "\x01";
        Put(data, crc, 4);
        return ExtraField(0x7075, data + utf8);
    };
    struct TCase {
        TCase(TBuilt entry, std::string name, std::uint32_t attr = 0, int hostOS = 3, int packMethod = '0',
              std::int64_t modTime = 0)
            : Entry(std::move(entry)), Name(std::move(name)), Attr(attr), HostOS(hostOS),
              PackMethod(packMethod), ModTime(modTime) {}
        TBuilt Entry;
        std::string Name;
        std::uint32_t Attr;
        int HostOS;
        int PackMethod;
        std::int64_t ModTime;
    };
    const TCase cases[] = {
        {TBuilt("\x81"
                "ber.txt")
             .WithMadeBy(dos),
         "\xC3\xBC"
         "ber.txt",
         0, 0},
        {TBuilt("\xC5\xBD.txt").WithFlags(0x800), "\xC5\xBD.txt"},
        {TBuilt("\x81.txt").WithExtra(unicodePath("\xC5\xBD.txt", Crc32("\x81.txt"))), "\xC5\xBD.txt"},
        // A name changed after the Unicode path was written keeps its own form.
        {TBuilt("\x81.txt").WithExtra(unicodePath("\xC5\xBD.txt", Crc32("old"))), "\xC3\xBC.txt"},
        {TBuilt("dir\\file.txt").WithMadeBy(dos), "dir/file.txt", 0, 0},
        {TBuilt("back\\slash"), "back\\slash"},
        // Unflagged names: well-formed UTF-8 as it is, whatever the host; the rest in code page 437.
        {TBuilt("\xC5\xBD"), "\xC5\xBD"},
        {TBuilt("\xC5\xBD").WithMadeBy(dos), "\xC5\xBD", 0, 0},
        {TBuilt("\x8E\x99\x9A").WithMadeBy(dos), "\xC3\x84\xC3\x96\xC3\x9C", 0, 0},
        {TBuilt("\xC5\xBD\x81"), "\xE2\x94\xBC\xE2\x95\x9C\xC3\xBC"},
        {TBuilt("../../etc/passwd"), leader + "/" + leader + "/etc/passwd"},
        {TBuilt("/abs/name"), "abs/name"},
        {TBuilt("dosdir").WithMadeBy(dos).WithExternal(0x10), "dosdir", 0x10, 0},
        {TBuilt("dosfile").WithMadeBy(dos).WithExternal(0x21), "dosfile", 0x21, 0},
        {TBuilt("ntfsfile").WithMadeBy(11 << 8 | 20).WithExternal(0x23), "ntfsfile", 0x23, 2},
        {TBuilt("udir").WithExternal(040755u << 16), "udir", 0x10},
        {TBuilt("uro").WithExternal(0100444u << 16 | 0x20), "uro", 0x01},
        {TBuilt("urw").WithExternal(0100644u << 16 | 0x01), "urw", 0},
        {TBuilt("slash/"), "slash", 0x10},
        {TBuilt("osx").WithMadeBy(19 << 8 | 20), "osx", 0, 4},
        {TBuilt("other").WithMadeBy(30 << 8 | 20), "other", 0, 99},
        {TBuilt("best").WithFlags(2).WithMethod(8), "best", 0, 3, '5'},
        {TBuilt("superfast").WithFlags(6).WithMethod(8), "superfast", 0, 3, '1'},
        {TBuilt("fast").WithFlags(4).WithMethod(8), "fast", 0, 3, '2'},
        {TBuilt("normal").WithMethod(8), "normal", 0, 3, '3'},
        {TBuilt("bzip2").WithMethod(12), "bzip2", 0, 3, -1},
        {TBuilt("ut").WithExtra(ExtraField(0x5455, timestamp)), "ut", 0, 3, '0', 1577934245},
        {TBuilt("nt").WithExtra(ExtraField(0x000A, ntfs)), "nt", 0, 3, '0', 1577934245},
        // A damaged extra field is skipped, the entry stays.
        {TBuilt("badextra").WithExtra(std::string("\x55\x54\x40\x00\x01", 5)), "badextra"},
    };
    std::vector<TBuilt> built;
    for (const TCase& c : cases)
        built.push_back(c.Entry);
    const TListing listing = ListBytes(BuildZip(built));
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        const TArchiveEntry& entry = listing.Entries[i];
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(entry.StoredName, c.Entry.Name);
        EXPECT_EQ(entry.Name, c.Name);
        EXPECT_EQ(entry.Attr, c.Attr);
        EXPECT_EQ(entry.HostOS, c.HostOS);
        EXPECT_EQ(entry.PackMethod, c.PackMethod);
        EXPECT_EQ(entry.ModTime, c.ModTime);
        EXPECT_EQ(entry.Time, c.Entry.Time);
        EXPECT_EQ(entry.CheckValue, c.Entry.Crc);
        EXPECT_EQ(entry.HeaderFlags, c.Entry.Flags);
        EXPECT_EQ(entry.PackerVersion, c.Entry.MadeBy & 0xFF);
    }
}

TEST(ZipReader, ReadsZip64SizesAndEndRecords) {
    const std::uint64_t fiveGiB = 5ull << 30;
    const std::vector<TBuilt> entries = {
        TBuilt("small.txt").WithSize(10).WithPacked(8),
        TBuilt("sparse.img").WithMethod(8).WithSize(fiveGiB + 7).WithPacked(fiveGiB / 1000).WithZip64(),
        TBuilt("after.txt").WithSize(4).WithPacked(4),
    };
    struct TCase {
        const char* Label;
        bool Zip64End;
        std::string Prefix;
    };
    const TCase cases[] = {
        {"ZIP64 sizes", false, ""},
        {"ZIP64 end records", true, ""},
        {"ZIP64 end records behind a stub", true, std::string(777, 'S')},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const std::string data = BuildZip(entries, c.Zip64End, c.Prefix);
        const TListing listing = ListBytes(data);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), 3u);
        EXPECT_EQ(listing.Entries[1].Name, "sparse.img");
        EXPECT_EQ(listing.Entries[1].Size, fiveGiB + 7);
        EXPECT_EQ(listing.Entries[1].PackedSize, fiveGiB / 1000);
        EXPECT_EQ(listing.Entries[2].Size, 4u);
        // Info-ZIP reads the same sizes from these bytes.
        TempTree base;
        WriteFile(base / "big.zip", data);
        const auto info = ZipInfoListing(base / "big.zip");
        ASSERT_EQ(info.size(), 3u);
        EXPECT_EQ(info[1].at("uncompressed size"), std::to_string(fiveGiB + 7) + " bytes");
    }
}

TEST(ZipReader, ManyEntriesUseZip64AndStreamTheDirectory) {
    TempTree base(TempTree::MemoryBase());
    base.Folder("many");
    const int count = 70000;
    for (int i = 0; i < count; ++i) {
        const std::string path = base / ("many/f" + std::to_string(i));
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    Tool(base.Path(), {"zip", "-qr", "many.zip", "many"});
    const std::string data = TempTree::ReadFile(base / "many.zip");
    ASSERT_NE(data.find(std::string("PK\x06\x06", 4), data.size() - 200), std::string::npos);

    const TListing listing = ListFile(base / "many.zip");
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    ASSERT_EQ(listing.Entries.size(), static_cast<std::size_t>(count) + 1);
    const test::TRunResult names = test::Run({"zipinfo", "-1", base / "many.zip"}, {}, 120000);
    std::string expected;
    for (const TArchiveEntry& entry : listing.Entries)
        expected += entry.StoredName + "\n";
    EXPECT_TRUE(expected == names.Out);

    // Through a window smaller than the directory, the same entries come.
    const TListing streamed = ListBytes(data, 1);
    ASSERT_TRUE(streamed.Outcome) << streamed.Outcome.error().Detail;
    EXPECT_TRUE(Names(streamed.Entries) == Names(listing.Entries));
}

std::uint16_t Get16(const std::string& data, std::size_t pos) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[pos]) |
                                      static_cast<unsigned char>(data[pos + 1]) << 8);
}

TEST(ZipReader, SplitArchiveReadsTheLastPart) {
    TempTree base;
    std::string random;
    std::uint32_t state = 12345;
    for (int i = 0; i < 1500; ++i) {
        std::string content;
        for (int k = 0; k < 100; ++k) {
            state = state * 1103515245 + 12345;
            content += static_cast<char>(state >> 16);
        }
        base.File("tree/a-rather-long-folder-name/file-with-a-long-name-" + std::to_string(i), content);
    }
    Tool(base.Path(), {"zip", "-qr", "-s", "64k", "s.zip", "tree"});
    Tool(base.Path(), {"zip", "-q", "-s", "0", "s.zip", "--out", "joined.zip"});
    const std::string last = TempTree::ReadFile(base / "s.zip");
    // The directory starts in an earlier part than the end record's.
    const std::uint16_t thisDisk = Get16(last, last.size() - 22 + 4);
    const std::uint16_t directoryDisk = Get16(last, last.size() - 22 + 6);
    ASSERT_GE(thisDisk, 3);
    ASSERT_LT(directoryDisk, thisDisk);

    const TListing joined = ListFile(base / "joined.zip");
    ASSERT_TRUE(joined.Outcome) << joined.Outcome.error().Detail;
    ExpectSameAsArchivers(base / "joined.zip", joined.Entries);
    for (const std::string name : {"s.zip", "s.z01", "s.z02"}) {
        SCOPED_TRACE(name);
        const TListing listing = ListFile(base / name);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        EXPECT_TRUE(Names(listing.Entries) == Names(joined.Entries));
    }

    // A missing part is named.
    const std::string holding = base / ("s.z0" + std::to_string(directoryDisk + 1));
    std::filesystem::rename(holding, base / "away");
    TListing listing = ListFile(base / "s.z01");
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_NE(listing.Outcome.error().Detail.find(holding), std::string::npos)
        << listing.Outcome.error().Detail;
    std::filesystem::rename(base / "away", holding);
    std::filesystem::rename(base / "s.zip", base / "away");
    listing = ListFile(base / "s.z01");
    ASSERT_FALSE(listing.Outcome);
    EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(listing.Outcome.error().Path, base / "s.z01");
    EXPECT_NE(listing.Outcome.error().Detail.find("last part " + base / "s.zip"), std::string::npos)
        << listing.Outcome.error().Detail;
    EXPECT_TRUE(listing.Entries.empty());
}

TEST(ZipReader, RefusesWhatIsNoArchiveFile) {
    TempTree base;
    base.Folder("folder.zip");
    ASSERT_EQ(::mkfifo((base / "fifo.zip").c_str(), 0600), 0);
    base.File("short.zip", "PK\x05\x06");
    base.File("text.zip", std::string(100000, 'x'));
    struct TCase {
        const char* Name;
        TErrorCode Code;
    };
    const TCase cases[] = {
        {"missing.zip", TErrorCode::ecNotFound}, {"folder.zip", TErrorCode::ecNotRegular},
        {"fifo.zip", TErrorCode::ecNotRegular},  {"short.zip", TErrorCode::ecParse},
        {"text.zip", TErrorCode::ecParse},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TListing listing = ListFile(base / c.Name);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, c.Code);
        EXPECT_NE(listing.Outcome.error().Path.find(c.Name), std::string::npos);
    }
}

TEST(ZipReader, SinkStopsTheRead) {
    std::vector<TBuilt> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back(TBuilt("f" + std::to_string(i)));
    TCollect sink;
    sink.StopAfter = 2;
    const Result<void> outcome = ReadZipDirectory(BuildZip(entries), sink);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(sink.Entries.size(), 2u);
}

// Where each record of an archive starts.
std::vector<std::size_t> Records(const std::string& data, const char* signature) {
    std::vector<std::size_t> found;
    for (std::size_t pos = data.find(signature, 0, 4); pos != std::string::npos;
         pos = data.find(signature, pos + 1, 4))
        found.push_back(pos);
    return found;
}

TEST(ZipReader, DamagedArchivesKeepWhatCameBefore) {
    std::vector<TBuilt> built;
    for (int i = 0; i < 5; ++i)
        built.push_back(TBuilt("dir/file" + std::to_string(i) + ".txt").WithSize(100u + i));
    const std::string good = BuildZip(built);
    const std::vector<std::string> all = Names(ListBytes(good).Entries);
    ASSERT_EQ(all.size(), 5u);
    const std::vector<std::size_t> entries = Records(good, "PK\x01\x02");
    const std::size_t end = good.size() - 22;
    ASSERT_EQ(entries.size(), 5u);

    // Truncated at every record and a little into it: no end record, nothing listed.
    std::vector<std::size_t> cuts = Records(good, "PK\x03\x04");
    cuts.insert(cuts.end(), entries.begin(), entries.end());
    cuts.push_back(end);
    for (const std::size_t cut : cuts) {
        for (const std::size_t into : {std::size_t{0}, std::size_t{10}}) {
            SCOPED_TRACE(cut + into);
            const TListing listing = ListBytes(good.substr(0, cut + into));
            ASSERT_FALSE(listing.Outcome);
            EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
            EXPECT_NE(listing.Outcome.error().Detail.find("end of central directory"), std::string::npos);
        }
    }

    const auto set16 = [](std::string data, std::size_t pos, std::uint16_t value) {
        data[pos] = static_cast<char>(value & 0xFF);
        data[pos + 1] = static_cast<char>(value >> 8);
        return data;
    };
    const auto set32 = [&](std::string data, std::size_t pos, std::uint32_t value) {
        return set16(set16(std::move(data), pos, value & 0xFFFF), pos + 2, value >> 16);
    };
    const auto entryAt = [&](int n) {
        return "central directory entry " + std::to_string(n) + " at offset " +
               std::to_string(entries[n - 1]) + ": ";
    };
    struct TCase {
        const char* Label;
        std::string Data;
        std::size_t Listed;
        std::string Detail; ///< empty: the read succeeds
    };
    const TCase cases[] = {
        {"count one too high", set16(set16(good, end + 8, 6), end + 10, 6), 5, "holds 5 entries"},
        {"count one too low", set16(set16(good, end + 8, 4), end + 10, 4), 5, "counts 4"},
        {"directory size too large", set32(good, end + 12, 0xFFFFFFF0), 5, ""},
        {"directory offset wrong", set32(good, end + 16, 3), 5, ""},
        {"directory size and offset wrong", set32(set32(good, end + 12, 7), end + 16, 0xFFFFFF), 0,
         "no central directory"},
        {"third entry without signature", set16(good, entries[2], 0), 2, entryAt(3) + "no entry signature"},
        {"second name runs past the end", set16(good, entries[1] + 28, 0xFFFF), 1, entryAt(2) + "its name"},
        {"last extra runs into the end record", set16(good, entries[4] + 30, 1), 4, entryAt(5) + "its name"},
        {"second name one byte short", set16(good, entries[1] + 28, built[1].Name.size() - 1), 2,
         "central directory entry 3 at offset " + std::to_string(entries[2] - 1) + ": no entry signature"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TListing listing = ListBytes(c.Data);
        ASSERT_EQ(listing.Entries.size(), c.Listed);
        // What came before the damage is listed as it is.
        for (std::size_t i = 0; i + 1 < c.Listed; ++i)
            EXPECT_EQ(listing.Entries[i].Name, all[i]);
        if (c.Detail.empty()) {
            EXPECT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
            continue;
        }
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_NE(listing.Outcome.error().Detail.find(c.Detail), std::string::npos)
            << listing.Outcome.error().Detail;
    }

    // Every byte of the directory and the end record damaged in turn: never more entries than
    // the directory can hold, and a failure always says what it met.
    for (std::size_t pos = entries[0]; pos < good.size(); ++pos) {
        for (const bool flip : {false, true}) {
            std::string data = good;
            data[pos] = flip ? static_cast<char>(data[pos] ^ 0xFF) : '\0';
            const TListing listing = ListBytes(data);
            ASSERT_LE(listing.Entries.size(), 6u) << pos;
            if (!listing.Outcome) {
                ASSERT_FALSE(listing.Outcome.error().Detail.empty()) << pos;
            }
        }
    }
}

} // namespace
} // namespace ks
