// FolderSize, DeleteFileEx and RecycleDelete on real folders through the Linux platform classes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/DELTA9.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;

class FolderWalk : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFiles); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFiles;
    test::TempTree FTree;
};

TEST_F(FolderWalk, FolderSizeCountsTheTreeAndCountsFolderLinksWithoutEnteringThem) {
    FTree.File("top/a.txt", std::string(1000, 'a'));
    FTree.File("top/.hidden", "12345");
    FTree.File("top/sub/b.bin", std::string(70000, 'b'));
    FTree.File("top/sub/deeper/c", "c");
    FTree.Folder("top/empty");
    fs::create_symlink(FTree / "top", FTree / "top/sub/loop");     // a loop back to the top
    fs::create_symlink(FTree / "top/a.txt", FTree / "top/a-link"); // counts with its target's size
    fs::create_symlink(FTree / "nowhere", FTree / "top/dangling"); // a file of size 0
    ASSERT_EQ(::mkfifo((FTree / "top/pipe").c_str(), 0600), 0);    // never opened

    const fs::path before = fs::current_path();
    TFolderSizeWalk walk;
    int messages = 0;
    walk.ProcessMessages = [&messages] { ++messages; };
    EXPECT_EQ(walk.Run(FTree / "top"), 1000 + 5 + 70000 + 1 + 1000);
    EXPECT_EQ(walk.Folders(), 4) << "sub, deeper, empty and the link to the top";
    EXPECT_EQ(walk.Files(), 7);
    EXPECT_EQ(messages, 11);
    EXPECT_EQ(fs::current_path(), before) << "the walk uses full paths";
    EXPECT_EQ(FolderSize(FTree / "top/"), 72006);
    EXPECT_EQ(FolderSize(FTree / "missing"), 0);
}

TEST_F(FolderWalk, FolderSizeWalksOnTwoThreadsAtOnceAndStopsOnAbort) {
    for (int i = 0; i < 300; ++i)
        FTree.File("one/f" + std::to_string(i), std::string(3, 'x'));
    for (int i = 0; i < 200; ++i)
        FTree.File("two/d" + std::to_string(i % 10) + "/f" + std::to_string(i), std::string(5, 'y'));
    TFolderSizeWalk one, two;
    std::thread other([&] { two.Run(FTree / "two"); });
    one.Run(FTree / "one");
    other.join();
    EXPECT_EQ(one.Bytes(), 900);
    EXPECT_EQ(one.Files(), 300);
    EXPECT_EQ(one.Folders(), 0);
    EXPECT_EQ(two.Bytes(), 1000);
    EXPECT_EQ(two.Files(), 200);
    EXPECT_EQ(two.Folders(), 10);

    // Abort from another thread, as the progress window does; the walk waits for it at its
    // first entry, so the stop is certain to come in the middle.
    TFolderSizeWalk stopped;
    std::atomic<bool> started{false};
    stopped.ProcessMessages = [&] {
        started = true;
        while (!stopped.Aborted())
            std::this_thread::yield();
    };
    std::thread canceller([&] {
        while (!started)
            std::this_thread::yield();
        stopped.Abort();
    });
    stopped.Run(FTree / "one");
    canceller.join();
    EXPECT_EQ(stopped.Files(), 1);
    EXPECT_EQ(stopped.Bytes(), 3);
}

TEST_F(FolderWalk, DeleteFileExWipesTheContentsBeforeRemoving) {
    const std::string secret(100000, 'S');
    const std::string name = FTree.File("secret.txt", secret);
    // A descriptor kept open shows what the wipe left in the file after its name is gone.
    const int witness = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(witness, 0);
    ASSERT_TRUE(DeleteFileEx(name, true));
    EXPECT_FALSE(fs::exists(name));
    std::string left(secret.size() + 1, '\0');
    const ssize_t got = ::pread(witness, left.data(), left.size(), 0);
    ::close(witness);
    ASSERT_EQ(got, static_cast<ssize_t>(secret.size())) << "overwritten in place, neither cut nor grown";
    left.resize(secret.size());
    EXPECT_EQ(left.find("SSSSSSSS"), std::string::npos);
    EXPECT_EQ(left.find('\xFF'), std::string::npos) << "random bytes are 0..254";

    const std::string readOnly = FTree.File("readonly.txt", "keep out");
    fs::permissions(readOnly, fs::perms::owner_read);
    EXPECT_TRUE(DeleteFileEx(readOnly, true));
    EXPECT_FALSE(fs::exists(readOnly));

    const std::string target = FTree.File("target.txt", "still here");
    fs::create_symlink(target, FTree / "link");
    EXPECT_TRUE(DeleteFileEx(FTree / "link", true));
    EXPECT_FALSE(fs::is_symlink(FTree / "link"));
    EXPECT_EQ(test::TempTree::ReadFile(target), "still here") << "a link's target is never wiped";

    ASSERT_EQ(::mkfifo((FTree / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(DeleteFileEx(FTree / "pipe", true)) << "removed without being opened";
    EXPECT_FALSE(fs::exists(FTree / "pipe"));

    EXPECT_TRUE(DeleteFileEx(FTree / "never-there", true));
    EXPECT_FALSE(DeleteFileEx(FTree.Folder("folder"), false));
    EXPECT_TRUE(fs::is_directory(FTree / "folder"));
}

TEST_F(FolderWalk, DeleteFileExReportsAFileThatStays) {
    const std::string name = FTree.File("locked/file.txt", "data");
    const std::string failure = test::RunUnprivileged({FTree.Path()}, [&]() -> std::string {
        fs::permissions(FTree / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        KS_CHECK(!DeleteFileEx(name, false));
        KS_CHECK(!DeleteFileEx(name, true));
        KS_CHECK(test::TempTree::ReadFile(name).size() == 4u);
        fs::permissions(FTree / "locked", fs::perms::owner_all);
        return {};
    });
    EXPECT_EQ(failure, "");
}

TEST_F(FolderWalk, RecycleDeleteRemovesTreesWithoutFollowingLinks) {
    FTree.File("outside/keep.txt", "keep");
    FTree.File("tree/a.txt", "a");
    FTree.File("tree/sub/b.txt", "b");
    const std::string readOnly = FTree.File("tree/sub/ro.txt", "ro");
    fs::permissions(readOnly, fs::perms::owner_read);
    fs::create_symlink(FTree / "outside", FTree / "tree/sub/out");
    const std::string single = FTree.File("single.txt", "s");
    EXPECT_TRUE(RecycleDelete(FTree / "tree" + ";" + single, false));
    EXPECT_FALSE(fs::exists(FTree / "tree"));
    EXPECT_FALSE(fs::exists(single));
    EXPECT_EQ(test::TempTree::ReadFile(FTree / "outside/keep.txt"), "keep");
}

} // namespace
} // namespace ks
