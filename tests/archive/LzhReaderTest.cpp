#include "archive/LzhReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <fstream>
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
    std::unique_ptr<TKArchiveReader> reader = MakeArchiveReader(akLZH);
    TCollectSink sink(stopAfter);
    Result<void> outcome = reader->ReadDirectory(FileSystem(), path, sink);
    return {outcome, sink.Entries};
}

TListing ListBytes(const std::string& bytes) {
    TCollectSink sink;
    Result<void> outcome = ReadLzhDirectory(bytes, sink);
    return {outcome, sink.Entries};
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

// ---- byte building -------------------------------------------------------------------------

std::string Le16(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}
std::string Le32(std::uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}
std::string Le64(std::uint64_t v) {
    return Le32(static_cast<std::uint32_t>(v)) + Le32(static_cast<std::uint32_t>(v >> 32));
}

std::uint32_t Crc16(const std::string& bytes) {
    std::uint32_t crc = 0;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? 0xA001 ^ (crc >> 1) : crc >> 1;
    }
    return crc;
}

struct TExt {
    int Type;
    std::string Data;
};

std::string Utf16(const std::u16string& text) {
    std::string out;
    for (const char16_t unit : text)
        out += Le16(unit);
    return out;
}

/// One entry of header level 2 or 3: the header with its extended headers and a common header
/// whose CRC covers the whole header, then data.
std::string HighLevel(int level, const std::string& method, std::uint64_t size, std::uint32_t unixTime,
                      char osId, std::vector<TExt> exts, const std::string& data) {
    const std::size_t width = level == 2 ? 2 : 4;
    exts.insert(exts.begin(), TExt{0x00, Le16(0)});
    std::string tail;
    for (std::size_t i = 0; i < exts.size(); ++i) {
        const std::size_t nextSize = i + 1 < exts.size() ? 1 + exts[i + 1].Data.size() + width : 0;
        tail += static_cast<char>(exts[i].Type) + exts[i].Data +
                (width == 2 ? Le16(static_cast<std::uint32_t>(nextSize))
                            : Le32(static_cast<std::uint32_t>(nextSize)));
    }
    const std::size_t firstSize = 1 + exts[0].Data.size() + width;
    std::string header;
    const std::size_t fixed = level == 2 ? 26 : 32;
    const std::size_t total = fixed + tail.size();
    header += level == 2 ? Le16(static_cast<std::uint32_t>(total)) : Le16(4);
    header += method;
    header += Le32(static_cast<std::uint32_t>(data.size()));
    header += Le32(static_cast<std::uint32_t>(size));
    header += Le32(unixTime);
    header += '\x20';
    header += static_cast<char>(level);
    header += Le16(0x1234); // data CRC
    header += osId;
    if (level == 2) {
        header += Le16(static_cast<std::uint32_t>(firstSize));
    } else {
        header += Le32(static_cast<std::uint32_t>(total));
        header += Le32(static_cast<std::uint32_t>(firstSize));
    }
    header += tail;
    const std::uint32_t crc = Crc16(header);
    header[fixed + 1] = static_cast<char>(crc & 0xFF);
    header[fixed + 2] = static_cast<char>(crc >> 8);
    return header + data;
}

/// One entry of header level 0 or 1 with a correct checksum; level 1 gets an OS ID and exts.
std::string LowLevel(int level, const std::string& method, const std::string& name, std::uint32_t dosTime,
                     const std::string& data, char osId = 'M', std::vector<TExt> exts = {}) {
    std::string tail;
    for (std::size_t i = 0; i < exts.size(); ++i) {
        const std::size_t nextSize = i + 1 < exts.size() ? 3 + exts[i + 1].Data.size() : 0;
        tail += static_cast<char>(exts[i].Type) + exts[i].Data + Le16(static_cast<std::uint32_t>(nextSize));
    }
    std::string body = method + Le32(static_cast<std::uint32_t>(data.size() + tail.size())) +
                       Le32(static_cast<std::uint32_t>(data.size())) + Le32(dosTime) + '\x20' +
                       static_cast<char>(level) + static_cast<char>(name.size()) + name + Le16(0x4321);
    if (level == 1)
        body += osId + Le16(exts.empty() ? 0 : static_cast<std::uint32_t>(3 + exts[0].Data.size()));
    std::uint32_t sum = 0;
    for (const char ch : body)
        sum += static_cast<unsigned char>(ch);
    return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum & 0xFF) + body + tail +
           data;
}

/// A level 0 entry whose header ends in the Unix extended area: OS ID, version, time, mode, ids.
std::string Level0Unix(const std::string& name, std::uint32_t dosTime, std::uint32_t unixTime,
                       const std::string& data) {
    std::string body = std::string("-lh5-") + Le32(static_cast<std::uint32_t>(data.size())) +
                       Le32(static_cast<std::uint32_t>(data.size())) + Le32(dosTime) + '\x20' + '\0' +
                       static_cast<char>(name.size()) + name + Le16(0x4321) + 'U' + '\0' + Le32(unixTime) +
                       Le16(0100644) + Le16(1000) + Le16(1000);
    std::uint32_t sum = 0;
    for (const char ch : body)
        sum += static_cast<unsigned char>(ch);
    return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum & 0xFF) + body + data;
}

// ---- what the archivers say ----------------------------------------------------------------

struct TLhasaEntry {
    std::string Name;
    std::uint64_t Packed = 0;
    std::uint64_t Size = 0;
    std::string Method;
};

/// `lhasa -v`: "[os] packed size ratio method crc stamp(3 words) name".
std::vector<TLhasaEntry> LhasaListing(const std::string& archive) {
    const test::TRunResult run = test::Run({"lhasa", "-v", archive}, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000);
    EXPECT_EQ(run.ExitCode, 0) << archive;
    std::vector<TLhasaEntry> entries;
    std::istringstream lines(run.Out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '[')
            continue;
        std::istringstream words(line.substr(line.find(']') + 1));
        TLhasaEntry entry;
        std::string ratio, crc, month, day, year;
        words >> entry.Packed >> entry.Size >> ratio >> entry.Method >> crc >> month >> day >> year;
        std::getline(words, entry.Name);
        entry.Name.erase(0, entry.Name.find_first_not_of(' '));
        if (entry.Name.size() > 1 && entry.Name.back() == '/')
            entry.Name.pop_back();
        entries.push_back(entry);
    }
    return entries;
}

std::uint32_t DosTimeOf(std::time_t seconds) {
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    return static_cast<std::uint32_t>((utc.tm_year - 80) << 25 | (utc.tm_mon + 1) << 21 | utc.tm_mday << 16 |
                                      utc.tm_hour << 11 | utc.tm_min << 5 | utc.tm_sec / 2);
}

constexpr std::time_t TreeTime = 1614834368; // 2021-03-04 05:06:08 UTC

void SetTime(const std::string& path) {
    const struct utimbuf times = {TreeTime, TreeTime};
    ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

void MakeTree(const TempTree& base) {
    base.File("tree/docs/readme.txt", "hello\n");
    std::string picture;
    for (int i = 0; i < 3000; ++i)
        picture += static_cast<char>((i * 7919) % 251);
    base.File("tree/docs/img/pic.bin", picture);
    base.File("tree/docs/rep.txt", std::string(500, 'a'));
    base.File("tree/ro.txt", "read only\n");
    base.Folder("tree/empty");
    for (const char* path : {"tree/docs/readme.txt", "tree/docs/img/pic.bin", "tree/docs/rep.txt",
                             "tree/ro.txt", "tree/empty", "tree/docs/img", "tree/docs", "tree"})
        SetTime(base / path);
}

TEST(LzhReader, ListsWhatTheArchiversWrote) {
    for (const char* tool : {"lha", "lhasa"})
        ASSERT_TRUE(test::OnPath(tool)) << tool;
    TempTree base;
    MakeTree(base);
    struct TCase {
        const char* Command; ///< the lha command with its header level
        int Level;
    };
    for (const TCase& c : {TCase{"c0", 0}, TCase{"c1", 1}, TCase{"c2", 2}, TCase{"co7", 2}, TCase{"cz", 2}}) {
        SCOPED_TRACE(c.Command);
        const std::string archive = base / "out.lzh";
        std::remove(archive.c_str());
        Tool(base.Path(), {"lha", c.Command, "out.lzh", "tree"});
        const TListing listing = ListFile(archive);
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        const std::vector<TLhasaEntry> listed = LhasaListing(archive);
        ASSERT_EQ(listing.Entries.size(), listed.size());
        ASSERT_EQ(listed.size(), 8u);
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const TArchiveEntry& entry = listing.Entries[i];
            SCOPED_TRACE(listed[i].Name);
            EXPECT_EQ(entry.Name, listed[i].Name);
            EXPECT_EQ(entry.Size, listed[i].Size);
            EXPECT_EQ(entry.PackedSize, listed[i].Packed);
            EXPECT_EQ((entry.Attr & 0x10) != 0, listed[i].Method == "-lhd-");
            const char digit = listed[i].Method[3];
            EXPECT_EQ(entry.PackMethod, digit == '0' ? '0' : digit == '5' || digit == '4' ? '3' : 0);
            // The level stays in the high byte of the attributes.
            EXPECT_EQ(entry.Attr >> 8, static_cast<std::uint32_t>(c.Level));
            EXPECT_EQ(entry.HostOS, 99); // the tool writes the generic OS ID
            EXPECT_EQ(entry.PackerVersion, 0);
            EXPECT_EQ(entry.HeaderFlags, 0u);
            if (c.Level < 2) {
                EXPECT_EQ(entry.Time, DosTimeOf(TreeTime));
                EXPECT_EQ(entry.ModTime, 0);
            } else {
                EXPECT_EQ(entry.Time, 0u);
                EXPECT_EQ(entry.ModTime, TreeTime);
                EXPECT_NE(entry.CheckValue, 0u);
            }
        }
    }
}

TEST(LzhReader, ReadsExtendedHeadersOfEveryLevel) {
    const std::uint32_t dos = 0x5A8C6000;
    const std::uint64_t huge = 5ull * 1024 * 1024 * 1024 + 7;
    const std::string data = "0123456789";
    struct TCase {
        const char* Label;
        std::string Bytes;
        std::string Name;
        std::string StoredName;
        std::uint32_t Attr;
        std::uint32_t Time;
        std::int64_t ModTime;
        std::uint64_t Size;
        int HostOS;
        int PackMethod;
    };
    const TCase cases[] = {
        {"level 0, MS-DOS path", LowLevel(0, "-lh5-", "DIR\\FILE.TXT", dos, data), "DIR/FILE.TXT",
         "DIR\\FILE.TXT", 0x20, dos, 0, 10, 99, '3'},
        {"level 0, Unix extended area", Level0Unix("u.txt", dos, 1600000000, data), "u.txt", "u.txt", 0x20,
         dos, 1600000000, 10, 3, '3'},
        {"level 1, folder header joined",
         LowLevel(1, "-lh1-", "a.txt", dos, data, 'U', {{0x02, "x\xFFy\xFF"}, {0x54, Le32(1600000000)}}),
         "x/y/a.txt", "x/y/a.txt", 0x120, dos, 1600000000, 10, 3, '1'},
        {"level 1, long name", LowLevel(1, "-lh0-", "", dos, data, 'W', {{0x01, std::string(300, 'n')}}),
         std::string(300, 'n'), std::string(300, 'n'), 0x120, dos, 0, 10, 2, '0'},
        {"level 2, folder entry",
         HighLevel(2, "-lhd-", 0, 1600000000, 'U', {{0x01, ""}, {0x02, "top\xFFsub\xFF"}}, ""), "top/sub",
         "top/sub/", 0x230, 0, 1600000000, 0, 3, 0},
        {"level 2, 64-bit sizes and DOS attributes",
         HighLevel(2, "-lh7-", 0, 1600000000, 'm',
                   {{0x01, "big.iso"}, {0x42, Le64(data.size()) + Le64(huge)}, {0x40, Le16(0x21)}}, data),
         "big.iso", "big.iso", 0x221, 0, 1600000000, huge, 4, 0},
        {"level 2, Unicode name under an 8-bit folder",
         HighLevel(2, "-lh5-", 10, 1600000000, 'W',
                   {{0x01, "?.txt"}, {0x02, "d\xFF"}, {0x44, Utf16(u"\u017D.txt")}}, data),
         "d/\xC5\xBD.txt", "d/?.txt", 0x220, 0, 1600000000, 10, 2, '3'},
        {"level 2, Windows times win",
         HighLevel(2, "-lh5-", 10, 1600000000, '2',
                   {{0x01, "w"}, {0x41, Le64(0) + Le64(132223104000000000ull) + Le64(0)}}, data),
         "w", "w", 0x220, 0, 1577836800, 10, 1, '3'},
        {"level 3, Unicode folder and name",
         HighLevel(3, "-lh5-", 10, 1600000000, 'W', {{0x45, Utf16(u"f\u00E9\\")}, {0x44, Utf16(u"n\u00E9")}},
                   data),
         "f\xC3\xA9/n\xC3\xA9", "f\xC3\xA9/n\xC3\xA9", 0x320, 0, 1600000000, 10, 2, '3'},
        {"level 3, OS ID without a host code",
         HighLevel(3, "-lh0-", 10, 1600000000, 'K', {{0x01, "os9"}}, data), "os9", "os9", 0x320, 0,
         1600000000, 10, 99, '0'},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TListing listing = ListBytes(c.Bytes + c.Bytes + std::string(1, '\0'));
        ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
        ASSERT_EQ(listing.Entries.size(), 2u);
        const TArchiveEntry& entry = listing.Entries[1];
        EXPECT_EQ(entry.Name, c.Name);
        EXPECT_EQ(entry.StoredName, c.StoredName);
        EXPECT_EQ(entry.Attr, c.Attr);
        EXPECT_EQ(entry.Time, c.Time);
        EXPECT_EQ(entry.ModTime, c.ModTime);
        EXPECT_EQ(entry.Size, c.Size);
        EXPECT_EQ(entry.PackedSize, c.Label == std::string("level 2, folder entry") ? 0u : data.size());
        EXPECT_EQ(entry.HostOS, c.HostOS);
        EXPECT_EQ(entry.PackMethod, c.PackMethod);
    }
}

TEST(LzhReader, ByteBuiltHeadersListAsLhasaListsThem) {
    ASSERT_TRUE(test::OnPath("lhasa"));
    TempTree base;
    const std::string bytes =
        LowLevel(0, "-lh0-", "zero.txt", 0x5A8C6000, "abc") +
        LowLevel(1, "-lh0-", "one.txt", 0x5A8C6000, "abcd", 'M', {{0x02, "p\xFF"}}) +
        HighLevel(2, "-lh0-", 5, 1600000000, 'U', {{0x01, "two.txt"}, {0x02, "q\xFFr\xFF"}}, "abcde") +
        HighLevel(3, "-lh0-", 6, 1600000000, 'U', {{0x01, "three.txt"}}, "abcdef") + std::string(1, '\0');
    const std::string archive = base.File("built.lzh", bytes);
    const TListing listing = ListFile(archive);
    ASSERT_TRUE(listing.Outcome) << listing.Outcome.error().Detail;
    const std::vector<TLhasaEntry> listed = LhasaListing(archive);
    ASSERT_EQ(listed.size(), 4u);
    ASSERT_EQ(listing.Entries.size(), 4u);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listing.Entries[i].Name, listed[i].Name);
        EXPECT_EQ(listing.Entries[i].Size, listed[i].Size);
        EXPECT_EQ(listing.Entries[i].PackedSize, listed[i].Packed);
    }
}

TEST(LzhReader, DamagedArchivesKeepWhatCameBefore) {
    const std::string first = LowLevel(1, "-lh0-", "a.txt", 0x5A8C6000, "aaaa", 'M', {{0x02, "d\xFF"}});
    const std::string second = HighLevel(2, "-lh0-", 3, 1600000000, 'U', {{0x01, "b.txt"}}, "bbb");
    const std::string third = HighLevel(3, "-lh0-", 3, 1600000000, 'U', {{0x01, "c.txt"}}, "ccc");
    const std::string whole = first + second + third + std::string(1, '\0');
    const std::size_t starts[] = {0, first.size(), first.size() + second.size(), whole.size() - 1};
    // Cut everywhere: at a boundary between entries the archive simply ends; anywhere else the
    // entries before the cut are kept and the error names the header the cut fell in.
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const TListing listing = ListBytes(whole.substr(0, cut));
        const std::size_t complete =
            static_cast<std::size_t>(std::upper_bound(std::begin(starts), std::end(starts), cut) -
                                     std::begin(starts)) -
            1;
        ASSERT_EQ(listing.Entries.size(), complete);
        if (cut == starts[complete]) {
            EXPECT_TRUE(listing.Outcome);
            continue;
        }
        ASSERT_FALSE(listing.Outcome);
        EXPECT_EQ(listing.Outcome.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(listing.Outcome.error().Detail.rfind("header " + std::to_string(complete + 1) +
                                                           " at offset " + std::to_string(starts[complete]) +
                                                           ": ",
                                                       0),
                  0u)
            << listing.Outcome.error().Detail;
    }
    struct TCase {
        const char* Label;
        std::string Bytes;
        const char* Says;
    };
    std::string badSum = first;
    badSum[1] = static_cast<char>(badSum[1] + 1);
    std::string badCrc = second;
    badCrc[10] = 'X';
    std::string badLevel = second;
    badLevel[20] = 7;
    std::string shortExt = second;
    shortExt[24] = 2;
    const TCase cases[] = {
        {"no method id", first + std::string(22, 'x'), "no method id"},
        {"checksum", badSum, "header checksum mismatch"},
        {"crc", badCrc, "header CRC mismatch"},
        {"level", badLevel, "unknown header level 7"},
        {"ext size", shortExt, "extended header size 2 is too small"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TListing listing = ListBytes(c.Bytes);
        ASSERT_FALSE(listing.Outcome);
        EXPECT_NE(listing.Outcome.error().Detail.find(c.Says), std::string::npos)
            << listing.Outcome.error().Detail;
    }
}

/// Bytes in memory that count what is read of them.
class TCountingBytes : public TKArchiveBytes {
public:
    explicit TCountingBytes(const std::string& bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t count) override {
        if (offset >= FBytes.size())
            return std::size_t{0};
        const std::size_t n = std::min<std::size_t>(count, FBytes.size() - offset);
        std::copy_n(FBytes.data() + offset, n, buffer);
        Read += n;
        return n;
    }
    std::uint64_t Read = 0;

private:
    const std::string& FBytes;
};

TEST(LzhReader, ReadsHeadersInOnePassAndStepsOverPackedData) {
    struct TCase {
        const char* Label;
        int Count;
        std::size_t DataSize;
        std::uint64_t MaxRead; ///< bytes the listing may read
    };
    const TCase cases[] = {
        {"many small entries", 5000, 10, 0}, // 0: the file once, and a window more at most
        {"large packed data", 40, 512 * 1024, 40 * 8192},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string bytes;
        for (int i = 0; i < c.Count; ++i)
            bytes +=
                HighLevel(2, "-lh5-", 10, 1600000000, 'U',
                          {{0x01, "f" + std::to_string(i)}, {0x02, "d" + std::to_string(i % 50) + "\xFF"}},
                          std::string(c.DataSize, 'x'));
        bytes += '\0';
        TCountingBytes counting(bytes);
        TCollectSink sink;
        ASSERT_TRUE(ReadLzhDirectory(counting, sink));
        ASSERT_EQ(sink.Entries.size(), static_cast<std::size_t>(c.Count));
        EXPECT_EQ(sink.Entries.back().Name,
                  "d" + std::to_string((c.Count - 1) % 50) + "/f" + std::to_string(c.Count - 1));
        EXPECT_LE(counting.Read, c.MaxRead != 0 ? c.MaxRead : bytes.size() + 64 * 1024);
    }
}

TEST(LzhReader, SinkStopsTheReadAndErrorsNameTheFile) {
    TempTree base;
    std::string bytes;
    for (int i = 0; i < 5; ++i)
        bytes += LowLevel(0, "-lh0-", "f" + std::to_string(i), 0, "x");
    const std::string archive = base.File("five.lzh", bytes);
    const TListing stopped = ListFile(archive, 2);
    ASSERT_FALSE(stopped.Outcome);
    EXPECT_EQ(stopped.Outcome.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(stopped.Entries.size(), 2u);
    const std::string broken = base.File("broken.lzh", bytes + "zz");
    const TListing damaged = ListFile(broken);
    ASSERT_FALSE(damaged.Outcome);
    EXPECT_EQ(damaged.Outcome.error().Path, broken);
    EXPECT_EQ(damaged.Entries.size(), 5u);
    EXPECT_FALSE(ListFile(base.Path()).Outcome);
}

} // namespace
} // namespace ks
