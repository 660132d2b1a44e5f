// Unpacking KPL libraries onto a real disk: whole trees come back byte for byte, hostile
// libraries write nothing outside the target folder and say why, existing files are replaced
// only after the question, and the pack search and installation.

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "archive/KPL.h"
#include "archive/KplBuilder.h"
#include "controls/MessageBox.h"
#include "fileops/KplUnpack.h"
#include "fileops/PackSearch.h"
#include "platform/LinuxFileSystem.h"
#include "support/TempTree.h"

namespace ks::test {

namespace {

namespace fs = std::filesystem;

// Answers questions from a script of (expected text, answer); an unexpected one fails the test.
class TExpectAsker : public TKCopyAsker {
public:
    std::deque<std::pair<std::string, int>> Script;
    int Ask(const TCopyQuestion& question, const std::atomic<bool>&) override {
        EXPECT_EQ(question.Code, qcAlreadyExists);
        if (Script.empty()) {
            ADD_FAILURE() << "unexpected question: " << question.Text;
            return mrAbort;
        }
        auto [text, answer] = Script.front();
        Script.pop_front();
        EXPECT_EQ(question.Text, text);
        return answer;
    }
};

// Everything below root, not following links: relative path -> kind and content.
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& leaveOut = {}) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = it->path().lexically_relative(root).string();
        if (!leaveOut.empty() && (relative == leaveOut || relative.rfind(leaveOut + "/", 0) == 0)) {
            if (it->is_directory() && !it->is_symlink())
                it.disable_recursion_pending();
            continue;
        }
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            entries[relative] = "link:" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            entries[relative] = "folder";
        else
            entries[relative] = "file:" + TempTree::ReadFile(it->path().string());
    }
    return entries;
}

struct TUnpackPlace {
    // In memory where it can be: every unpack ends with a flush of the whole file system.
    TempTree Tree{TempTree::MemoryBase()};
    TKLinuxFileSystem Disk;
    TExpectAsker Asker;
    TQuestionSlot Questions{&Asker};
    TUnpackPlace() {
        Tree.Folder("target");
        Tree.File("outside/victim", "keep me");
    }
    std::string Target() const { return Tree / "target"; }
    Result<void> Unpack(const std::string& bytes, TKplUnpackCounts* counts = nullptr) {
        const std::string library = Tree.File("lib.kpl", bytes);
        TKMYKPLIB kpl(Disk);
        return UnpackLibrary(kpl, Disk, library, Target(), Questions, counts);
    }
};

} // namespace

TEST(KplUnpackTest, ATreeComesBackByteForByte) {
    TempTree tree;
    tree.File("src/pack/top file.txt", "top");
    tree.File("src/pack/empty");
    tree.File("src/pack/\xC3\xBCml\xC3\xA4ut/\xE6\x97\xA5\xE6\x9C\xAC.txt", "unicode");
    tree.File("src/pack/raw\xFF\xFEname", "not UTF-8");
    tree.File("src/pack/a/b/c/deep.bin", std::string(300000, '\x5A') + std::string(5, '\0'));
    tree.Folder("src/pack/a/empty folder");
    TKLinuxFileSystem disk;
    TKMYKPLIB library(disk);
    library.BaseFolder = tree / "src/";
    ASSERT_TRUE(library.ScanFolder(tree / "src/pack"));
    ASSERT_TRUE(library.WriteLibrary(tree / "lib.kpl"));
    EXPECT_TRUE(library.LeftOut.empty());

    tree.Folder("out");
    TQuestionSlot questions;
    TKplUnpackCounts counts;
    TKMYKPLIB reader(disk);
    std::vector<std::pair<int, int>> progress;
    reader.OnProgress = [&](std::int32_t position, std::int32_t max) {
        progress.emplace_back(position, max);
    };
    ASSERT_TRUE(UnpackLibrary(reader, disk, tree / "lib.kpl", tree / "out", questions, &counts));
    EXPECT_EQ(Snapshot(tree / "out"), Snapshot(tree / "src"));
    EXPECT_EQ(counts.Files, 5u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(11, 11));
    EXPECT_TRUE(reader.Stopped);
}

TEST(KplUnpackTest, HostileLibrariesWriteNothingOutsideTheTarget) {
    struct TCase {
        const char* What;
        std::string Bytes;
    };
    auto lib = [](std::string_view folder, std::string_view name) {
        return TKplBuilder().Header(4, 0, 1).File(folder, name, "evil").Bytes;
    };
    const std::vector<TCase> cases = {
        {"dot-dot folder", lib("..\\outside\\", "victim")},
        {"dot-dot folder with slashes", lib("../outside/", "victim")},
        {"dot-dot inside", lib("a\\..\\..\\outside\\", "victim")},
        {"dot-dot name", lib("", "..")},
        {"absolute folder", lib("/tmp/", "x")},
        {"absolute folder backslash", lib("\\outside\\", "victim")},
        {"separator in the name", lib("", "..\\outside\\victim")},
        {"slash in the name", lib("", "../outside/victim")},
        {"NUL in the name", lib("", std::string("vic\0tim", 7))},
        {"NUL in the folder", lib(std::string("a\0b\\", 4), "x")},
        {"empty name", lib("", "")},
        {"dot-dot folder entry", TKplBuilder().Header(4).Folder("", "..").Bytes},
        {"through a planted link", lib("planted\\", "victim")},
        {"through a planted link deeper", lib("planted\\sub\\", "new")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TUnpackPlace place;
        ASSERT_EQ(::symlink((place.Tree / "outside").c_str(), (place.Target() + "/planted").c_str()), 0);
        const auto before = Snapshot(place.Tree.Path(), "target");
        const Result<void> unpacked = place.Unpack(c.Bytes);
        EXPECT_FALSE(unpacked);
        auto after = Snapshot(place.Tree.Path(), "target");
        after.erase("lib.kpl");
        EXPECT_EQ(after, before);
        EXPECT_EQ(TempTree::ReadFile(place.Tree / "outside/victim"), "keep me");
        // Nothing half-written is left in the target either.
        EXPECT_EQ(Snapshot(place.Target()),
                  (std::map<std::string, std::string>{{"planted", "link:" + (place.Tree / "outside")}}));
    }
}

TEST(KplUnpackTest, ALinkAtAFileNameIsReplacedNeverWrittenThrough) {
    TUnpackPlace place;
    ASSERT_EQ(::symlink((place.Tree / "outside/victim").c_str(), (place.Target() + "/f").c_str()), 0);
    place.Asker.Script = {{"The file '" + place.Target() + "/f' already exists! Overwrite?", mrYes}};
    ASSERT_TRUE(place.Unpack(TKplBuilder().Header(4, 0, 1).File("", "f", "new").Bytes));
    EXPECT_EQ(TempTree::ReadFile(place.Tree / "outside/victim"), "keep me");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(place.Target() + "/f")));
    EXPECT_EQ(TempTree::ReadFile(place.Target() + "/f"), "new");
}

TEST(KplUnpackTest, CutAtEveryByteReportsAnErrorAndLeavesNoPartialFile) {
    TKplBuilder whole;
    whole.Header(4, 0, 3).Folder("", "d").File("d\\", "a.txt", "hello world").File("", "b", "bb");
    std::vector<std::size_t> boundaries;
    {
        TKplBuilder part;
        part.Header(4, 0, 3);
        boundaries.push_back(part.Bytes.size());
        part.Folder("", "d");
        boundaries.push_back(part.Bytes.size());
        part.File("d\\", "a.txt", "hello world");
        boundaries.push_back(part.Bytes.size());
    }
    for (std::size_t cut = 0; cut < whole.Bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        TUnpackPlace place;
        const Result<void> unpacked = place.Unpack(whole.Bytes.substr(0, cut));
        const bool atRecord = std::find(boundaries.begin() + 1, boundaries.end(), cut) != boundaries.end() ||
                              cut == boundaries[0];
        EXPECT_EQ(unpacked.has_value(), atRecord) << (unpacked ? "" : unpacked.error().Detail);
        for (const auto& [name, what] : Snapshot(place.Target())) {
            EXPECT_EQ(name.find(".kS-"), std::string::npos) << name;
            if (name == "d/a.txt") {
                EXPECT_EQ(what, "file:hello world");
            }
        }
        EXPECT_EQ(Snapshot(place.Tree / "outside"),
                  (std::map<std::string, std::string>{{"victim", "file:keep me"}}));
    }
}

TEST(KplUnpackTest, AnExistingFileIsReplacedOnlyAfterTheQuestion) {
    struct TCase {
        const char* What;
        std::vector<int> Answers; // one per question expected, in order
        std::string A, B, C;      // the three files afterwards
        bool Ok;
    };
    const std::vector<TCase> cases = {
        {"yes, no, yes", {mrYes, mrNo, mrYes}, "new a", "old b", "new c", true},
        {"yes to all", {mrYesToAll}, "new a", "new b", "new c", true},
        {"no to all", {mrNoToAll}, "old a", "old b", "old c", true},
        {"no, then yes to all", {mrNo, mrYesToAll}, "old a", "new b", "new c", true},
        {"abort", {mrAbort}, "old a", "old b", "old c", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TUnpackPlace place;
        for (const char* name : {"a", "b", "c"})
            place.Tree.File(std::string("target/") + name, std::string("old ") + name);
        const char* names[] = {"a", "b", "c"};
        for (std::size_t i = 0; i < c.Answers.size(); ++i)
            place.Asker.Script.emplace_back("The file '" + place.Target() + "/" + names[i] +
                                                "' already exists! Overwrite?",
                                            c.Answers[i]);
        TKplBuilder lib;
        lib.Header(4, 0, 4)
            .File("", "a", "new a")
            .File("", "b", "new b")
            .File("", "c", "new c")
            .File("", "d", "new d");
        TKplUnpackCounts counts;
        const Result<void> unpacked = place.Unpack(lib.Bytes, &counts);
        EXPECT_EQ(unpacked.has_value(), c.Ok);
        if (!unpacked) {
            EXPECT_EQ(unpacked.error().Code, TErrorCode::ecCancelled);
        }
        EXPECT_TRUE(place.Asker.Script.empty());
        EXPECT_EQ(TempTree::ReadFile(place.Target() + "/a"), c.A);
        EXPECT_EQ(TempTree::ReadFile(place.Target() + "/b"), c.B);
        EXPECT_EQ(TempTree::ReadFile(place.Target() + "/c"), c.C);
        EXPECT_EQ(fs::exists(place.Target() + "/d"), c.Ok);
    }
}

TEST(KplUnpackTest, WithoutAnAskerAnExistingFileIsKept) {
    TempTree tree;
    tree.File("target/a", "old");
    const std::string library = tree.File("lib.kpl", TKplBuilder().Header(4).File("", "a", "new").Bytes);
    TKLinuxFileSystem disk;
    TKMYKPLIB kpl(disk);
    TQuestionSlot noAsker;
    TKplUnpackCounts counts;
    ASSERT_TRUE(UnpackLibrary(kpl, disk, library, tree / "target", noAsker, &counts));
    EXPECT_EQ(TempTree::ReadFile(tree / "target/a"), "old");
    EXPECT_EQ(counts.Skipped, 1u);
}

TEST(KplUnpackTest, PackSearchFindsLibrariesOfTheWantedIdWithoutFollowingLinks) {
    TempTree tree;
    const std::string lang = tree.File(
        "disk/deep/er/Czech.kpl", TKplBuilder().Header(4, KplLanguagePackId, 1).File("", "x.lng", "t").Bytes);
    tree.File("disk/User.KPL", TKplBuilder().Header(4, 0, 0).Bytes);
    tree.File("disk/skin.kpl", TKplBuilder().Header(4, KplSkinPackId, 0).Bytes);
    tree.File("disk/broken.kpl", "garbage");
    tree.File("disk/note.txt", "x");
    ASSERT_EQ(::symlink(lang.c_str(), (tree / "disk/link.kpl").c_str()), 0);
    ASSERT_EQ(::symlink((tree / "disk").c_str(), (tree / "disk/deep/loop").c_str()), 0);
    TKLinuxFileSystem disk;
    std::atomic<bool> cancelled{false};
    TPackSearchProgress last;
    const std::vector<std::string> found = SearchPackages(
        disk, {tree / "disk/"}, KplLanguagePackId, [&](const TPackSearchProgress& p) { last = p; },
        cancelled);
    EXPECT_EQ(found, std::vector<std::string>{lang});
    EXPECT_EQ(last.Processed, 5u);
    EXPECT_EQ(last.Found, 4u);
    EXPECT_EQ(last.Available, 1u);

    // Installing: the pack goes to a folder of its own name; a pack whose folder exists is left.
    const std::string data = tree.Folder("data");
    TQuestionSlot questions;
    TPackInstall first = InstallPacks(disk, data, "lang", found, KplLanguagePackId, questions);
    EXPECT_EQ(first.Installed, std::vector<std::string>{data + "/lang/Czech"});
    EXPECT_TRUE(first.Problems.empty());
    EXPECT_EQ(TempTree::ReadFile(data + "/lang/Czech/x.lng"), "t");
    ASSERT_EQ(::unlink((data + "/lang/Czech/x.lng").c_str()), 0);
    TPackInstall again = InstallPacks(disk, data, "lang", found, KplLanguagePackId, questions);
    EXPECT_TRUE(again.Installed.empty());
    ASSERT_EQ(again.Problems.size(), 1u);
    EXPECT_EQ(again.Problems[0].Code, TErrorCode::ecExists);
    EXPECT_FALSE(fs::exists(data + "/lang/Czech/x.lng"));
}

} // namespace ks::test
