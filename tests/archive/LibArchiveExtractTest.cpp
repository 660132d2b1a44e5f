#include "archive/LibArchiveExtract.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <set>

#include "foundation/System.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;
using TTree = std::map<std::string, std::string>;

constexpr std::int64_t TreeTime = 1600000000; // even, for the two-second times of zip
const std::string FolderMark = "<folder>";

void Tool(const std::string& folder, std::vector<std::string> argv, const std::string& input = {}) {
    std::string line;
    for (const std::string& arg : argv)
        line += arg + " ";
    argv.insert(argv.begin(), {"env", "-C", folder});
    const test::TRunResult run = test::Run(argv, {"TZ=UTC", "LC_ALL=C.UTF-8"}, 120000, input);
    ASSERT_EQ(run.ExitCode, 0) << line << run.Out;
}

// Everything below root: files with their contents, links as "-> target", folders marked.
TTree Read(const std::string& root) {
    namespace fs = std::filesystem;
    TTree tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink())
            tree[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            tree[name] = FolderMark;
        else
            tree[name] = TempTree::ReadFile(entry.path().string());
    }
    return tree;
}

struct TStat {
    std::uint32_t Mode = 0;
    std::int64_t ModifyTime = 0;
};
TStat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return {static_cast<std::uint32_t>(info.st_mode & 07777), static_cast<std::int64_t>(info.st_mtime)};
}

// The files of the tree every archiver packs.
const TTree SourceFiles = {{"tree/Makefile", "all:\n\ttrue\n"},
                           {"tree/a.txt", "alpha\n"},
                           {"tree/b.txt", "beta\n"},
                           {"tree/run.sh", "#!/bin/sh\n"},
                           {"tree/ro.txt", "read only\n"},
                           {"tree/docs/readme.txt", "read me\n"},
                           {"tree/docs/img/pic.bin", std::string(3000, '\x7f')},
                           {"tree/- star *.txt", "star\n"},
                           {"tree/- star x.txt", "not star\n"}};

void MakeSource(const TempTree& base) {
    for (const auto& [name, content] : SourceFiles)
        base.File("src/" + name, content);
    ASSERT_EQ(::chmod((base / "src/tree/run.sh").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((base / "src/tree/ro.txt").c_str(), 0444), 0);
    base.Folder("out");
    for (const char* path : {"tree/Makefile", "tree/a.txt", "tree/b.txt", "tree/run.sh", "tree/ro.txt",
                             "tree/docs/readme.txt", "tree/docs/img/pic.bin", "tree/- star *.txt",
                             "tree/- star x.txt", "tree/docs/img", "tree/docs", "tree"}) {
        const utimbuf times{static_cast<time_t>(TreeTime), static_cast<time_t>(TreeTime)};
        ASSERT_EQ(::utime((base / ("src/" + std::string(path))).c_str(), &times), 0) << path;
    }
}

struct TKindCase {
    const char* Label;
    const char* Archive;
    std::vector<std::string> Argv; ///< run in the source folder, the archive written to ../out
    bool KeepsUnix;                ///< the archive keeps modification times and permissions
};

std::vector<std::string> CabArgv() {
    std::vector<std::string> argv = {"gcab", "-c", "../out/a.cab"};
    for (const auto& entry : SourceFiles)
        argv.push_back(entry.first);
    return argv;
}

const TKindCase KindCases[] = {
    {"zip", "a.zip", {"zip", "-qr", "../out/a.zip", "tree"}, true},
    {"7z", "a.7z", {"7z", "a", "-bd", "../out/a.7z", "tree"}, true},
    {"tar", "a.tar", {"tar", "cf", "../out/a.tar", "tree"}, true},
    {"tar_gz", "a.tar.gz", {"tar", "czf", "../out/a.tar.gz", "tree"}, true},
    {"tar_xz", "a.tar.xz", {"tar", "cJf", "../out/a.tar.xz", "tree"}, true},
    {"bsdtar_cpio", "a.cpio", {"bsdtar", "--format", "newc", "-cf", "../out/a.cpio", "tree"}, true},
    {"lha", "a.lzh", {"lha", "aq", "../out/a.lzh", "tree"}, false},
    {"cab", "a.cab", CabArgv(), false},
    {"iso", "a.iso", {"genisoimage", "-quiet", "-R", "-J", "-o", "../out/a.iso", "."}, true},
};

void PrintTo(const TKindCase& kind, std::ostream* out) {
    *out << kind.Label;
}

class LibArchiveExtractKinds : public ::testing::TestWithParam<TKindCase> {};

Result<TExtractCounts> Extract(const std::string& archive, const std::vector<std::string>& names,
                               const std::string& folder) {
    const std::atomic<bool> cancelled{false};
    return ExtractWithLibArchive(FileSystem(), archive, names, folder, cancelled, nullptr);
}

// Every selection over the archive of each kind: the folder gets exactly the entries chosen.
TEST_P(LibArchiveExtractKinds, WritesExactlyTheSelectedEntries) {
    const TKindCase& kind = GetParam();
    TempTree base;
    MakeSource(base);
    Tool(base / "src", kind.Argv);
    const std::string archive = base / ("out/" + std::string(kind.Archive));
    EXPECT_TRUE(LibArchiveCanExtract(FileSystem(), archive));

    TTree everything = SourceFiles;
    everything["tree"] = everything["tree/docs"] = everything["tree/docs/img"] = FolderMark;
    const struct {
        std::vector<std::string> Names;
        std::vector<std::string> Expected;
    } selections[] = {
        {{}, {}},
        {{"tree/a.txt", "tree/docs/readme.txt"}, {"tree", "tree/a.txt", "tree/docs", "tree/docs/readme.txt"}},
        {{"tree/docs/"},
         {"tree", "tree/docs", "tree/docs/readme.txt", "tree/docs/img", "tree/docs/img/pic.bin"}},
        {{"tree/docs"},
         {"tree", "tree/docs", "tree/docs/readme.txt", "tree/docs/img", "tree/docs/img/pic.bin"}},
        {{"tree/- star *.txt"}, {"tree", "tree/- star *.txt"}},
        {{"tree/Makefile"}, {"tree", "tree/Makefile"}},
    };
    int number = 0;
    for (const auto& selection : selections) {
        SCOPED_TRACE("selection " + std::to_string(number));
        const std::string dest = base.Folder("dest" + std::to_string(number++));
        const Result<TExtractCounts> counts = Extract(archive, selection.Names, dest);
        ASSERT_TRUE(counts) << counts.error().Detail;
        TTree expected;
        for (const std::string& name : selection.Expected)
            expected[name] = everything.at(name);
        if (selection.Expected.empty())
            expected = everything;
        EXPECT_EQ(Read(dest), expected);
        std::uint64_t files = 0, bytes = 0;
        for (const auto& [name, content] : expected)
            if (content != FolderMark) {
                ++files;
                bytes += content.size();
            }
        EXPECT_EQ(counts->Files, files);
        EXPECT_EQ(counts->Bytes, bytes);
        EXPECT_TRUE(counts->Skipped.empty());
    }

    const std::string all = base / "dest0/tree";
    for (const char* name : {"/run.sh", "/ro.txt", "/a.txt", "/docs"})
        EXPECT_EQ(StatOf(all + name).Mode & 0600u, 0600u) << name;
    EXPECT_EQ(StatOf(all + "/docs").Mode & 0700u, 0700u);
    if (!kind.KeepsUnix)
        return;
    EXPECT_EQ(StatOf(all + "/run.sh").Mode & 0111u, 0111u);
    EXPECT_EQ(StatOf(all + "/a.txt").Mode & 0111u, 0u);
    for (const char* name : {"/Makefile", "/docs/img/pic.bin", "/docs", "/docs/img"})
        EXPECT_EQ(StatOf(all + name).ModifyTime, TreeTime) << name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, LibArchiveExtractKinds, ::testing::ValuesIn(KindCases),
                         [](const ::testing::TestParamInfo<TKindCase>& param) {
                             return std::string(param.param.Label);
                         });

TEST(LibArchiveExtract, CanExtractOnlyArchives) {
    TempTree base;
    EXPECT_FALSE(LibArchiveCanExtract(FileSystem(), base.File("notes.txt", "just some words\n")));
    EXPECT_FALSE(LibArchiveCanExtract(FileSystem(), base / "missing.zip"));
    EXPECT_FALSE(LibArchiveCanExtract(FileSystem(), base.Path()));
}

// Names and links that lead out of the folder, made by python's zipfile and tarfile, which
// write them as given.
TEST(LibArchiveExtract, HostileEntriesWriteNothingOutside) {
    TempTree base;
    const std::string absolute = base / "abs";
    base.Folder("out");
    const std::string zipScript = "import sys, zipfile\n"
                                  "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                                  "z.writestr('../evil', 'e')\n"
                                  "z.writestr(sys.argv[2], 'a')\n"
                                  "i = zipfile.ZipInfo('link')\n"
                                  "i.create_system = 3\n"
                                  "i.external_attr = 0o120777 << 16\n"
                                  "z.writestr(i, '/etc')\n"
                                  "z.writestr('link/x', 'x')\n"
                                  "z.writestr('ok.txt', 'ok')\n"
                                  "z.close()\n";
    Tool(base.Path(), {"python3", "-", base / "out/h.zip", absolute + "/zip"}, zipScript);
    const std::string tarScript =
        "import io, sys, tarfile\n"
        "t = tarfile.open(sys.argv[1], 'w', format=tarfile.GNU_FORMAT)\n"
        "def add(name, kind=tarfile.REGTYPE, data=b'', link='', mode=0o644):\n"
        "    i = tarfile.TarInfo(name); i.type = kind; i.size = len(data); i.linkname = link\n"
        "    i.mode = mode; i.mtime = 1600000000\n"
        "    t.addfile(i, io.BytesIO(data))\n"
        "add('ok.txt', data=b'ok')\n"
        "add('../evil2', data=b'e')\n"
        "add(sys.argv[2], data=b'a')\n"
        "add('a/../../evil3', data=b'e')\n"
        "add('hard', tarfile.LNKTYPE, link='ok.txt')\n"
        "add('fifo', tarfile.FIFOTYPE)\n"
        "add('dev', tarfile.CHRTYPE)\n"
        "add('suid', data=b'#!/bin/sh\\n', mode=0o6755)\n"
        "add('in', tarfile.SYMTYPE, link='ok.txt')\n"
        "add('sub/up', tarfile.SYMTYPE, link='../ok.txt')\n"
        "add('sub/out', tarfile.SYMTYPE, link='../../x')\n"
        "add('etc', tarfile.SYMTYPE, link='/etc')\n"
        "add('in/y', data=b'y')\n"
        "t.close()\n";
    Tool(base.Path(), {"python3", "-", base / "out/h.tar", absolute + "/tar"}, tarScript);

    const struct {
        const char* Archive;
        TTree Expected;
        std::set<std::string> Skipped;
    } cases[] = {
        {"h.zip",
         {{"ok.txt", "ok"}, {"link", FolderMark}, {"link/x", "x"}},
         {"../evil", absolute + "/zip", "link"}},
        {"h.tar",
         {{"ok.txt", "ok"},
          {"suid", "#!/bin/sh\n"},
          {"in", "-> ok.txt"},
          {"sub", FolderMark},
          {"sub/up", "-> ../ok.txt"}},
         {"../evil2", absolute + "/tar", "a/../../evil3", "hard", "fifo", "dev", "sub/out", "etc", "in/y"}},
    };
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.Archive);
        const std::string dest = base.Folder(std::string("out/dest-") + hostile.Archive);
        const Result<TExtractCounts> counts =
            Extract(base / ("out/" + std::string(hostile.Archive)), {}, dest);
        ASSERT_TRUE(counts) << counts.error().Detail;
        EXPECT_EQ(Read(dest), hostile.Expected);
        EXPECT_EQ(std::set<std::string>(counts->Skipped.begin(), counts->Skipped.end()), hostile.Skipped);
    }
    EXPECT_FALSE(std::filesystem::exists(absolute));
    EXPECT_FALSE(std::filesystem::exists("/etc/x"));
    EXPECT_EQ(Read(base.Path()).count("evil"), 0u);
    EXPECT_EQ(Read(base / "out").count("evil2"), 0u);
    EXPECT_EQ(StatOf(base / "out/dest-h.tar/suid").Mode, 0755u);
}

// What stands in the folder already is neither replaced nor written through.
TEST(LibArchiveExtract, NeverReplacesOrFollowsWhatIsThere) {
    TempTree base;
    MakeSource(base);
    Tool(base / "src", {"tar", "cf", "../out/a.tar", "tree"});

    const std::string taken = base.Folder("taken");
    base.File("taken/tree/Makefile", "old");
    const Result<TExtractCounts> refused = Extract(base / "out/a.tar", {}, taken);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().Code, TErrorCode::ecExists);
    EXPECT_EQ(refused.error().Path, taken + "/tree/Makefile");
    EXPECT_EQ(TempTree::ReadFile(taken + "/tree/Makefile"), "old");
    for (const auto& [name, content] : Read(taken))
        EXPECT_EQ(name.find(".ks-partial"), std::string::npos) << name;

    const std::string linked = base.Folder("linked");
    const std::string outside = base.Folder("outside");
    ASSERT_EQ(::symlink(outside.c_str(), (linked + "/tree").c_str()), 0);
    const Result<TExtractCounts> counts = Extract(base / "out/a.tar", {}, linked);
    ASSERT_TRUE(counts) << counts.error().Detail;
    EXPECT_TRUE(Read(outside).empty());
    EXPECT_EQ(counts->Files, 0u);
    EXPECT_EQ(counts->Skipped.size(), SourceFiles.size() + 3);
}

TEST(LibArchiveExtract, CancelRemovesTheFileBeingWritten) {
    TempTree base;
    std::string big;
    for (std::uint32_t i = 0; i < (8u << 20); ++i)
        big += static_cast<char>((i * 7919u) % 251u);
    base.File("src/big.bin", big);
    base.File("src/small.txt", "small");
    base.Folder("out");
    Tool(base / "src", {"tar", "cf", "../out/a.tar", "big.bin", "small.txt"});

    const std::string dest = base.Folder("dest");
    std::atomic<bool> cancelled{false};
    int calls = 0;
    const Result<TExtractCounts> counts =
        ExtractWithLibArchive(FileSystem(), base / "out/a.tar", {}, dest, cancelled, [&](std::uint64_t done) {
            ++calls;
            EXPECT_GT(done, 0u);
            EXPECT_LT(done, big.size());
            cancelled = true;
        });
    ASSERT_FALSE(counts);
    EXPECT_EQ(counts.error().Code, TErrorCode::ecCancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(Read(dest).empty());
}

// A stream cut short inside its second file: the first stays written, the second is gone.
TEST(LibArchiveExtract, DamageFailsNamingTheEntry) {
    TempTree base;
    std::string noise;
    std::uint32_t seed = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
        seed = seed * 1103515245 + 12345;
        noise += static_cast<char>(seed >> 24);
    }
    base.File("src/d/a.txt", "first");
    base.File("src/d/b.bin", noise);
    base.Folder("out");
    Tool(base / "src", {"tar", "czf", "../out/d.tar.gz", "d/a.txt", "d/b.bin"});
    const std::string archive = base / "out/d.tar.gz";
    ASSERT_EQ(::truncate(archive.c_str(), static_cast<off_t>(std::filesystem::file_size(archive) / 2)), 0);

    const std::string dest = base.Folder("dest");
    const Result<TExtractCounts> counts = Extract(archive, {}, dest);
    ASSERT_FALSE(counts);
    EXPECT_EQ(counts.error().Code, TErrorCode::ecParse);
    EXPECT_EQ(counts.error().Path, archive);
    EXPECT_EQ(counts.error().Detail.rfind("d/b.bin: ", 0), 0u) << counts.error().Detail;
    EXPECT_EQ(Read(dest), (TTree{{"d", FolderMark}, {"d/a.txt", "first"}}));
}

TEST(LibArchiveExtract, EncryptedEntriesAreUnsupported) {
    TempTree base;
    base.File("src/secret.txt", "hidden words");
    base.Folder("out");
    Tool(base / "src", {"zip", "-q", "-P", "pass", "../out/s.zip", "secret.txt"});
    Tool(base / "src", {"7z", "a", "-bd", "-ppass", "../out/s.7z", "secret.txt"});
    for (const char* archive : {"s.zip", "s.7z"}) {
        SCOPED_TRACE(archive);
        const std::string dest = base.Folder(std::string("dest-") + archive);
        const Result<TExtractCounts> counts = Extract(base / ("out/" + std::string(archive)), {}, dest);
        ASSERT_FALSE(counts);
        EXPECT_EQ(counts.error().Code, TErrorCode::ecUnsupported) << counts.error().Detail;
        EXPECT_EQ(counts.error().Detail.rfind("secret.txt: ", 0), 0u) << counts.error().Detail;
        EXPECT_TRUE(Read(dest).empty());
    }
}

} // namespace
} // namespace ks
