// The open-folder calls of the local file system: everything relative to the folder's
// descriptor, never following a link, and wipes that respect hard links and holes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LinuxFileSystem.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::unique_ptr<TKFolder> Open(const std::string& path) {
    TKLinuxFileSystem files;
    Result<std::unique_ptr<TKFolder>> folder = files.OpenFolder(path);
    EXPECT_TRUE(folder) << path;
    return folder ? std::move(*folder) : nullptr;
}

TEST(LinuxFolder, ChangesAndRemovesEntriesOfThatFolderOnly) {
    TempTree tree;
    TKLinuxFileSystem files;
    const std::string file = tree.File("file.txt", "x");
    tree.File("full/inner");
    fs::create_symlink("no-such-target", tree / "dangling");
    auto folder = Open(tree.Path());
    ASSERT_TRUE(folder);

    ASSERT_TRUE(folder->SetWritable("file.txt", false));
    EXPECT_EQ(ModeOf(file) & S_IWUSR, 0u);
    EXPECT_EQ(folder->Describe("file.txt")->Attr & 1, 1u);
    ASSERT_TRUE(folder->SetWritable("file.txt", true));
    EXPECT_NE(ModeOf(file) & S_IWUSR, 0u);
    EXPECT_FALSE(folder->SetWritable("dangling", true)) << "a link has no mode of its own";

    EXPECT_TRUE(files.Exists(tree / "dangling"));
    EXPECT_FALSE(files.Exists(tree / "missing"));
    EXPECT_FALSE(files.Exists(""));

    const Result<void> notEmpty = folder->RemoveFolder("full");
    ASSERT_FALSE(notEmpty);
    EXPECT_EQ(notEmpty.error().Code, TErrorCode::ecExists);
    EXPECT_EQ(notEmpty.error().Path, tree / "full");
    auto full = folder->Open("full");
    ASSERT_TRUE(full);
    EXPECT_TRUE((*full)->RemoveFile("inner"));
    EXPECT_TRUE(folder->RemoveFolder("full"));
    EXPECT_TRUE(folder->RemoveFile("dangling"));
    EXPECT_EQ(folder->RemoveFile("missing").error().Code, TErrorCode::ecNotFound);

    // Only plain entry names: nothing above or beside the folder can be named through it.
    for (const char* name : {"", ".", "..", "full/inner", "../file.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(folder->RemoveFile(name));
        EXPECT_FALSE(folder->Describe(name));
        EXPECT_FALSE(folder->Open(name));
        EXPECT_FALSE(folder->Wipe(name));
    }
    EXPECT_TRUE(fs::exists(file));
}

TEST(LinuxFolder, FollowsTheFolderItHoldsNotItsPathAndNoLinks) {
    TempTree tree;
    tree.File("work/sub/a.txt", "a");
    tree.File("work/sub/b.txt", "b");
    tree.File("victim/a.txt", "precious");
    tree.File("victim/b.txt", "precious");
    fs::create_directory_symlink(tree / "victim", tree / "work/to-victim");
    auto work = Open(tree / "work");
    ASSERT_TRUE(work);

    const Result<std::unique_ptr<TKFolder>> link = work->Open("to-victim");
    ASSERT_FALSE(link);
    EXPECT_TRUE(link.error().Errno == ELOOP || link.error().Errno == ENOTDIR) << link.error().Errno;
    tree.File("work/plain");
    EXPECT_EQ(work->Open("plain").error().Errno, ENOTDIR);

    // The folder is moved away and a link to the victim takes its name: what is done through
    // the open folder still happens in the folder that was opened.
    auto sub = work->Open("sub");
    ASSERT_TRUE(sub);
    const TFileId id = (*sub)->Id();
    fs::rename(tree / "work/sub", tree / "moved");
    fs::create_directory_symlink(tree / "victim", tree / "work/sub");
    EXPECT_TRUE((*sub)->RemoveFile("a.txt"));
    ASSERT_TRUE((*sub)->Wipe("b.txt"));
    EXPECT_EQ(TempTree::ReadFile(tree / "victim/a.txt"), "precious");
    EXPECT_EQ(TempTree::ReadFile(tree / "victim/b.txt"), "precious");
    EXPECT_FALSE(fs::exists(tree / "moved/a.txt"));

    // Its ".." is wherever it is now, and says so by its identity.
    auto up = (*sub)->OpenParent();
    ASSERT_TRUE(up);
    EXPECT_EQ((*up)->Id(), Open(tree.Path())->Id());
    EXPECT_NE((*up)->Id(), work->Id());
    EXPECT_NE(id, work->Id());
}

TEST(LinuxFolder, WipeOverwritesOnlyWhatItMayAndKeepsTheMode) {
    TempTree tree;
    const std::size_t length = (1 << 20) * 2 + 12345; // more than one chunk, not a multiple of 8
    tree.File("secret.bin", std::string(length, '\xFF'));
    tree.File("empty.bin");
    tree.File("shared.txt", "keep me");
    ::chmod((tree / "shared.txt").c_str(), 0444);
    fs::create_hard_link(tree / "shared.txt", tree / "second-name.txt");
    tree.File("target.txt", "keep");
    fs::create_symlink(tree / "target.txt", tree / "link");
    ::mkfifo((tree / "fifo").c_str(), 0644);
    auto folder = Open(tree.Path());
    ASSERT_TRUE(folder);

    struct TCase {
        const char* Name;
        TWipeOutcome Outcome;
    };
    for (const TCase& c :
         {TCase{"secret.bin", TWipeOutcome::woWiped}, TCase{"empty.bin", TWipeOutcome::woWiped},
          TCase{"second-name.txt", TWipeOutcome::woOtherLinks}, TCase{"link", TWipeOutcome::woNoContents},
          TCase{"fifo", TWipeOutcome::woNoContents}}) {
        SCOPED_TRACE(c.Name);
        const Result<TWipeOutcome> wiped = folder->Wipe(c.Name);
        ASSERT_TRUE(wiped) << wiped.error().Detail;
        EXPECT_EQ(*wiped, c.Outcome);
    }
    const std::string data = TempTree::ReadFile(tree / "secret.bin");
    ASSERT_EQ(data.size(), length) << "neither cut nor grown";
    EXPECT_EQ(data.find('\xFF'), std::string::npos) << "every byte written, each 0..254";
    EXPECT_LT(std::count(data.begin(), data.end(), '\0'), static_cast<std::ptrdiff_t>(length / 100));
    EXPECT_EQ(fs::file_size(tree / "empty.bin"), 0u);
    EXPECT_EQ(TempTree::ReadFile(tree / "shared.txt"), "keep me");
    EXPECT_EQ(ModeOf(tree / "shared.txt") & 07777, 0444u) << "a shared file's mode is theirs too";
    EXPECT_EQ(TempTree::ReadFile(tree / "target.txt"), "keep");
    EXPECT_FALSE(folder->Wipe("missing"));

    // The owner without write permission: wiped through the file's own descriptor, the mode as
    // it was afterwards.
    const std::string readOnly = tree.File("mine/readonly.txt", "SSSSSSSS");
    ::chmod(readOnly.c_str(), 0444);
    const std::string failure = test::RunUnprivileged({tree.Path()}, [&]() -> std::string {
        TKLinuxFileSystem files;
        Result<std::unique_ptr<TKFolder>> mine = files.OpenFolder(tree / "mine");
        KS_CHECK(mine);
        const Result<TWipeOutcome> wiped = (*mine)->Wipe("readonly.txt");
        KS_CHECK(wiped && *wiped == TWipeOutcome::woWiped);
        KS_CHECK(TempTree::ReadFile(readOnly).size() == 8 && TempTree::ReadFile(readOnly) != "SSSSSSSS");
        KS_CHECK((ModeOf(readOnly) & 07777) == 0444);
        return {};
    });
    EXPECT_EQ(failure, "");
}

TEST(LinuxFolder, WipeOfASparseFileWritesItsDataAndLeavesItsHoles) {
    TempTree tree;
    const std::string file = tree / "sparse.img";
    const off_t size = off_t{1} << 30;
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(65536, 'D');
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), 0), static_cast<ssize_t>(block.size()));
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), size / 2), static_cast<ssize_t>(block.size()));
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_LT(before.st_blocks * 512, size / 16) << "the file system keeps holes";

    auto folder = Open(tree.Path());
    ASSERT_TRUE(folder);
    const Result<TWipeOutcome> wiped = folder->Wipe("sparse.img");
    ASSERT_TRUE(wiped) << wiped.error().Detail;
    EXPECT_EQ(*wiped, TWipeOutcome::woWiped);

    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, size);
    EXPECT_LE(after.st_blocks, before.st_blocks) << "no hole was filled";
    const int check = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(check, 0);
    std::string read(block.size(), '\0');
    for (const off_t at : {off_t{0}, size / 2}) {
        ASSERT_EQ(::pread(check, read.data(), read.size(), at), static_cast<ssize_t>(read.size()));
        EXPECT_EQ(read.find("DDDD"), std::string::npos) << "data at " << at;
    }
    ::close(check);
}

TEST(LinuxFolder, OpenReadTakesRegularFilesOnly) {
    TempTree tree;
    tree.File("text.txt", "hello");
    fs::create_symlink(tree / "text.txt", tree / "link");
    ::mkfifo((tree / "fifo").c_str(), 0644);
    tree.Folder("folder");
    auto folder = Open(tree.Path());
    ASSERT_TRUE(folder);
    Result<std::unique_ptr<TKFileReader>> reader = folder->OpenRead("text.txt");
    ASSERT_TRUE(reader);
    EXPECT_EQ((*reader)->Size(), 5u);
    char buffer[16];
    const Result<std::size_t> got = (*reader)->Read(buffer, sizeof buffer);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::string(buffer, *got), "hello");
    // Neither a link (it may lead anywhere) nor a FIFO (it would block) is read.
    for (const char* name : {"link", "fifo", "folder", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(folder->OpenRead(name));
    }
}

} // namespace
} // namespace ks
