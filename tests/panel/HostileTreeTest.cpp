// Counting, deleting, wiping and searching trees that work against the program: folders swapped
// for links mid-walk by their owner, hard links, sparse files on a small disk, trees far deeper
// than PATH_MAX, folders that cannot be read, and links into files that never end.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "controls/MessageBox.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/Child.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

class HostileTree : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFileSystem); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    std::unique_ptr<TKMYFILEPANEL> Panel(const std::string& folder) {
        auto panel = std::make_unique<TKMYFILEPANEL>(FOptions);
        panel->FFolderItems.FPath = folder;
        panel->ReadPanel(false, false);
        panel->OnInfoList = [this](const std::string& text) { FInfo.push_back(text); };
        // Every non-empty folder is to go; every other question is recorded and answered No.
        panel->AskUser = [this](const std::string& text, int, int, int) {
            if (text.rfind("The following folder will be deleted: ", 0) == 0)
                return mrYes;
            FAsked.push_back(text);
            return mrNo;
        };
        return panel;
    }
    static void Select(TKMYFILEPANEL& panel, const std::string& name) {
        const int index = panel.FItemsStruc->FindIndex(name, false);
        ASSERT_GE(index, 0) << name;
        panel.FItemsStruc->SetItemIndex(index);
    }
    static void Delete(TKMYFILEPANEL& panel, bool wipe) {
        panel.OnDeleteItems = [wipe](bool& del, bool&, bool& erase) {
            del = true;
            erase = wipe;
        };
        panel.DeleteItems();
    }
    static bool Exists(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFileSystem;
    TPanelOptions FOptions;
    std::vector<std::string> FInfo;
    std::vector<std::string> FAsked;
};

TEST_F(HostileTree, DeleteFollowsTheFolderNotALinkSwappedInForIt) {
    // junk belongs to another user; while it is being deleted, its owner moves junk/sub away and
    // puts a link to the victim in its place. The victim holds files of the same names.
    TempTree tree;
    ::chmod(tree.Path().c_str(), 0755);
    const int count = 200;
    const auto name = [](int i) { return "f" + std::to_string(1000 + i); };
    for (int i = 0; i < count; ++i) {
        tree.File("junk/sub/" + name(i), "junk");
        tree.File("victim/" + name(i), "precious");
    }
    // Handing junk over to the attacker (nobody when the test runs as root).
    const std::string handed = test::RunUnprivileged({tree / "junk"}, [] { return std::string(); });
    ASSERT_EQ(handed, "");
    auto panel = Panel(tree.Path());
    Select(*panel, "junk");
    bool attacked = false;
    std::string attack;
    panel->OnAfterChange = [&](TKAfterChange what, const std::string& text) {
        int folders = 0;
        int files = 0;
        if (what != acProgress || attacked ||
            std::sscanf(text.c_str(), "DELETING... |%d|%d|", &folders, &files) != 2 || files < 10)
            return;
        attacked = true;
        attack = test::RunUnprivileged({}, [&]() -> std::string {
            KS_CHECK(::rename((tree / "junk/sub").c_str(), (tree / "junk/moved").c_str()) == 0);
            KS_CHECK(::symlink((tree / "victim").c_str(), (tree / "junk/sub").c_str()) == 0);
            return {};
        });
    };
    Delete(*panel, false);
    ASSERT_TRUE(attacked);
    ASSERT_EQ(attack, "");
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(TempTree::ReadFile(tree / ("victim/" + name(i))), "precious") << name(i);
    // The walk finished the folder it had entered, wherever it had gone.
    EXPECT_TRUE(fs::is_empty(tree / "junk/moved"));
    EXPECT_TRUE(fs::is_symlink(tree / "junk/sub"));
    // What stays is reported: sub, now a link the walk did not make, could not go as a folder.
    ASSERT_EQ(FAsked.size(), 1u);
    EXPECT_EQ(FAsked[0], "Can't delete this file: " + tree / "junk/sub" + ". Try again?");
}

TEST_F(HostileTree, WipeLeavesTheDataOfOtherLinksAndTheirModeAlone) {
    TempTree tree;
    const std::string keep = tree.File("b/keep.txt", "keep me");
    ::chmod(keep.c_str(), 0444);
    ASSERT_EQ(::link(keep.c_str(), (tree / "a/dup.txt").c_str()), -1) << "a/ does not exist yet";
    tree.Folder("a");
    ASSERT_EQ(::link(keep.c_str(), (tree / "a/dup.txt").c_str()), 0);
    tree.File("a/own.txt", "SSSSSSSS");
    auto panel = Panel(tree / "a");
    for (const char* item : {"dup.txt", "own.txt"})
        panel->FItemsStruc->MarkItem(
            panel->FItemsStruc->GetFileItem(panel->FItemsStruc->FindIndex(item, false)), 0);
    Delete(*panel, true);
    EXPECT_FALSE(Exists(tree / "a/dup.txt"));
    EXPECT_FALSE(Exists(tree / "a/own.txt"));
    EXPECT_EQ(TempTree::ReadFile(keep), "keep me");
    struct stat st {};
    ASSERT_EQ(::stat(keep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_TRUE(FAsked.empty());
    EXPECT_EQ(FInfo, std::vector<std::string>{"1 files had other links and were removed without wiping"});
}

TEST_F(HostileTree, WipeOfASparseFileWritesOnlyItsDataOnASmallDisk) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a 64 MiB memory disk needs root";
    // A mount namespace of this test process's own: the disk goes with the process.
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    TempTree tree;
    const std::string disk = tree.Folder("disk");
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64m"), 0);
    const std::string file = disk + "/sparse.img";
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(1 << 20, 'D');
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), 0), static_cast<ssize_t>(block.size()));
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), off_t{512} << 20), static_cast<ssize_t>(block.size()));
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
    ::close(fd);

    auto panel = Panel(disk);
    Select(*panel, "sparse.img");
    Delete(*panel, true);
    EXPECT_TRUE(FAsked.empty()) << FAsked.front();
    EXPECT_FALSE(Exists(file));
    ::umount2(disk.c_str(), MNT_DETACH);
}

TEST_F(HostileTree, TreesDeeperThanPathMaxAreCountedSearchedAndDeletedWhole) {
    TempTree tree(TempTree::MemoryBase());
    const int depth = 3000;
    const std::string deep = tree / "deep";
    ASSERT_TRUE(tree.DeepChain("deep", depth, "12345"));
    auto panel = Panel(tree.Path());

    SCOPED_TRACE("count");
    Select(*panel, "deep");
    panel->CountSizes();
    ASSERT_EQ(FInfo.size(), 1u);
    EXPECT_EQ(FInfo.back(), "Count result: 3001 folders and 1 files with size 5 B");

    SCOPED_TRACE("find");
    panel->FindFiles(tree.Path(), "f", "345", false, true, false);
    ASSERT_EQ(panel->PanelType(), ptFindResult);
    ASSERT_EQ(panel->FFindItems.Count(), 2);
    EXPECT_EQ(panel->FFindItems.GetFileItem(1)->Folder().size(), deep.size() + 3 * depth);
    EXPECT_EQ(FInfo.size(), 1u) << "nothing left out, nothing to report";

    SCOPED_TRACE("delete");
    panel = Panel(tree.Path());
    Select(*panel, "deep");
    Delete(*panel, false);
    EXPECT_TRUE(FAsked.empty()) << FAsked.front();
    EXPECT_FALSE(Exists(deep));
}

TEST_F(HostileTree, WhatCannotBeReadIsToldNotLeftOutOfTheAnswer) {
    TempTree tree;
    ::chmod(tree.Path().c_str(), 0755);
    tree.File("top/readable/a.txt", "abc");
    tree.File("top/closed/b.txt", "abc");
    const std::string closed = tree / "top/closed";
    const std::string failure = test::RunUnprivileged({tree / "top"}, [&]() -> std::string {
        // Writable (so no read-only question comes) but not readable.
        ::chmod(closed.c_str(), 0300);
        TPanelOptions options;
        std::vector<std::string> info;
        std::vector<std::string> asked;
        const auto panelOn = [&](const std::string& folder) {
            auto panel = std::make_unique<TKMYFILEPANEL>(options);
            panel->FFolderItems.FPath = folder;
            panel->ReadPanel(false, false);
            panel->OnInfoList = [&](const std::string& text) { info.push_back(text); };
            panel->AskUser = [&](const std::string& text, int, int, int) {
                asked.push_back(text);
                return text.rfind("The following folder", 0) == 0 ? mrYes : mrNo;
            };
            const int index = panel->FItemsStruc->FindIndex("top", false);
            panel->FItemsStruc->SetItemIndex(index);
            return panel;
        };
        auto panel = panelOn(tree.Path());
        panel->CountSizes();
        KS_CHECK(info.size() == 1);
        KS_CHECK(info[0] ==
                 "Count result incomplete: 3 folders and 1 files with size 3 B; can't read " + closed);

        panel->FindFiles(tree / "top", "*.txt", "", false, true, false);
        KS_CHECK(panel->FFindItems.Count() == 2);
        KS_CHECK(info.size() == 2 && info[1] == "Search incomplete: can't read " + closed);

        panel = panelOn(tree.Path());
        panel->OnDeleteItems = [](bool& del, bool&, bool&) { del = true; };
        panel->DeleteItems();
        KS_CHECK(asked.size() == 2);
        KS_CHECK(asked[1] == "Can't read the folder " + closed + ". Try again?");
        KS_CHECK(::access((tree / "top/readable").c_str(), F_OK) != 0);
        KS_CHECK(::access((tree / "top").c_str(), F_OK) == 0);
        ::chmod(closed.c_str(), 0755);
        return {};
    });
    EXPECT_EQ(failure, "");
}

TEST_F(HostileTree, ContentSearchReadsOnlyRegularFilesOfTheTreeUpToTheirSize) {
    TempTree tree;
    tree.File("top/plain.txt", "needle");
    fs::create_symlink("/proc/self/pagemap", tree / "top/pagemap.txt");
    fs::create_symlink("/dev/zero", tree / "top/zero.txt");
    auto panel = Panel(tree / "top");
    struct TCase {
        const char* Name;
        std::string Start;
        const char* Masks;
        int Found; // entries found besides the up-folder
    };
    const TCase cases[] = {
        {"links out of the tree", tree / "top", "*.txt", 1},
        // Files of a kernel file system say they are empty and never end; they are read as what
        // they say they are.
        {"files that lie about their size", "/proc/self", "pagemap;environ;maps", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        // In a child process with a time limit: a search that never ends fails, not hangs.
        const std::string failure = test::RunInChild(0, 20000, [&]() -> std::string {
            panel->FindFiles(c.Start, c.Masks, "needle", false, false, false);
            const int found = panel->PanelType() == ptFindResult ? panel->FFindItems.Count() - 1 : 0;
            KS_CHECK(found == c.Found);
            return {};
        });
        EXPECT_EQ(failure, "");
    }
}

} // namespace
} // namespace ks
