#include "platform/LinuxSystem.h"

#include "support/Environment.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ks {
namespace {

using test::TempTree;
using test::TEnv;

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

class LinuxTrash : public ::testing::Test {
protected:
    void SetUp() override {
        FTemp = RealPath(FTree.Path());
        FEnv.Set("XDG_DATA_HOME", FTemp + "/data");
    }
    std::string TrashFile(const std::string& name) const { return FTemp + "/data/Trash/files/" + name; }
    std::string TrashInfo(const std::string& name) const {
        return TempTree::ReadFile(FTemp + "/data/Trash/info/" + name + ".trashinfo");
    }
    static void ExpectInfo(const std::string& info, const std::string& encodedPath) {
        EXPECT_TRUE(
            std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=" + encodedPath +
                                              "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
            << info;
    }

    TempTree FTree;
    TEnv FEnv;
    std::string FTemp;
    TKLinuxSystem FSystem;
};

TEST_F(LinuxTrash, MovesItemsAndRecordsWhereTheyCameFrom) {
    FTree.File("a/my report \xC3\xBC%.txt", "first");
    FTree.File("b/my report \xC3\xBC%.txt", "second");
    FTree.File("c/tree/inner.txt", "inner");
    std::filesystem::create_directory_symlink(FTemp + "/b", FTemp + "/link");

    ASSERT_TRUE(FSystem.MoveToTrash(FTemp + "/a/my report \xC3\xBC%.txt"));
    // Same name again, reached through a symlinked folder: a numbered name, and the Path key
    // names the real folder.
    ASSERT_TRUE(FSystem.MoveToTrash(FTemp + "/link/my report \xC3\xBC%.txt"));
    ASSERT_TRUE(FSystem.MoveToTrash(FTemp + "/c/tree/"));

    EXPECT_FALSE(std::filesystem::exists(FTemp + "/a/my report \xC3\xBC%.txt"));
    EXPECT_FALSE(std::filesystem::exists(FTemp + "/b/my report \xC3\xBC%.txt"));
    EXPECT_EQ(TempTree::ReadFile(TrashFile("my report \xC3\xBC%.txt")), "first");
    EXPECT_EQ(TempTree::ReadFile(TrashFile("my report \xC3\xBC%.2.txt")), "second");
    EXPECT_EQ(TempTree::ReadFile(TrashFile("tree/inner.txt")), "inner");
    ExpectInfo(TrashInfo("my report \xC3\xBC%.txt"), FTemp + "/a/my%20report%20%C3%BC%25.txt");
    ExpectInfo(TrashInfo("my report \xC3\xBC%.2.txt"), FTemp + "/b/my%20report%20%C3%BC%25.txt");
    ExpectInfo(TrashInfo("tree"), FTemp + "/c/tree");
}

TEST_F(LinuxTrash, LongNamesStillFit) {
    const std::string name(250, 'n');
    FTree.File(name, "long");
    ASSERT_TRUE(FSystem.MoveToTrash(FTemp + "/" + name));
    EXPECT_FALSE(std::filesystem::exists(FTemp + "/" + name));
    EXPECT_EQ(TempTree::ReadFile(TrashFile(name.substr(0, 200))), "long");
    ExpectInfo(TrashInfo(name.substr(0, 200)), FTemp + "/" + name);
}

TEST_F(LinuxTrash, FailuresLeaveNothingBehind) {
    const Result<void> missing = FSystem.MoveToTrash(FTemp + "/no-such-file");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().Code, TErrorCode::ecNotFound);

    // The trash lives inside the folder being trashed: rename() refuses, and the .trashinfo
    // already written must go again.
    FTree.File("d/keep.txt", "keep");
    FEnv.Set("XDG_DATA_HOME", FTemp + "/d/data");
    EXPECT_FALSE(FSystem.MoveToTrash(FTemp + "/d"));
    EXPECT_EQ(TempTree::ReadFile(FTemp + "/d/keep.txt"), "keep");
    EXPECT_TRUE(std::filesystem::is_empty(FTemp + "/d/data/Trash/info"));
    EXPECT_FALSE(FSystem.MoveToTrash("/"));
}

TEST_F(LinuxTrash, OtherFileSystemsUseTheirTopDirTrash) {
    struct stat shm {};
    struct stat temp {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(FTemp.c_str(), &temp) != 0 || shm.st_dev == temp.st_dev ||
        ::access("/dev/shm", W_OK) != 0 || FSystem.DriveRoot("/dev/shm/x") != "/dev/shm/")
        GTEST_SKIP() << "needs /dev/shm as a separate writable mount";
    const std::string trash = "/dev/shm/.Trash-" + std::to_string(::geteuid());
    const bool trashExisted = std::filesystem::exists(trash);
    char pattern[] = "/dev/shm/kstrash-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string name = std::filesystem::path(pattern).filename().string();

    EXPECT_TRUE(FSystem.MoveToTrash(pattern));
    EXPECT_FALSE(std::filesystem::exists(pattern));
    EXPECT_TRUE(std::filesystem::exists(trash + "/files/" + name));
    // Below a top directory the note keeps the path relative to it.
    ExpectInfo(TempTree::ReadFile(trash + "/info/" + name + ".trashinfo"), name);
    EXPECT_EQ(ModeOf(trash) & 07777, 0700u);
    EXPECT_FALSE(std::filesystem::exists(FTemp + "/data/Trash/files/" + name));

    std::error_code ignored;
    std::filesystem::remove(trash + "/files/" + name, ignored);
    std::filesystem::remove(trash + "/info/" + name + ".trashinfo", ignored);
    if (!trashExisted)
        std::filesystem::remove_all(trash, ignored);
}

// What was trashed, another program of the desktop lists and puts back: trash-cli reads the home
// trash and the trash folders of every mount, and joins a relative Path to the mount it found.
struct TTrashCase {
    const char* Name;
    bool OtherMount;
    bool SharedTrash; // the mount has a sticky .Trash made by an administrator
    friend void PrintTo(const TTrashCase& c, std::ostream* out) { *out << c.Name; }
};

class LinuxTrashPeer : public LinuxTrash, public ::testing::WithParamInterface<TTrashCase> {};

// A memory disk in a mount namespace of this test process's own: it goes with the process.
class TMemoryDisk {
public:
    explicit TMemoryDisk(const std::string& folder) : FFolder(folder) {
        FMounted = ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0;
    }
    ~TMemoryDisk() {
        if (FMounted)
            ::umount2(FFolder.c_str(), MNT_DETACH);
    }
    TMemoryDisk(const TMemoryDisk&) = delete;
    TMemoryDisk& operator=(const TMemoryDisk&) = delete;
    bool Mounted() const { return FMounted; }

private:
    std::string FFolder;
    bool FMounted = false;
};

TEST_P(LinuxTrashPeer, TrashCliListsAndRestoresWhatWasTrashed) {
    const TTrashCase& c = GetParam();
    if (!test::OnPath("trash-list") || !test::OnPath("trash-restore"))
        GTEST_SKIP() << "needs trash-cli (trash-list, trash-restore)";
    if (c.OtherMount && ::geteuid() != 0)
        GTEST_SKIP() << "mounting a second file system needs root";
    std::optional<TMemoryDisk> disk;
    std::string top = FTemp;
    std::string trash = FTemp + "/data/Trash";
    if (c.OtherMount) {
        top = FTree.Folder("disk");
        disk.emplace(top);
        ASSERT_TRUE(disk->Mounted()) << "tmpfs on " << top;
        trash = top + "/.Trash-" + std::to_string(::geteuid());
        if (c.SharedTrash) {
            ASSERT_EQ(::mkdir((top + "/.Trash").c_str(), 01777), 0);
            ASSERT_EQ(::chmod((top + "/.Trash").c_str(), 01777), 0);
            trash = top + "/.Trash/" + std::to_string(::geteuid());
        }
    }
    const std::string relative = "sub dir/my note \xC3\xBC%.txt";
    const std::string original = top + "/" + relative;
    std::filesystem::create_directories(top + "/sub dir");
    { std::ofstream(original) << "kept"; }

    ASSERT_TRUE(FSystem.MoveToTrash(original));
    ASSERT_FALSE(std::filesystem::exists(original));
    ExpectInfo(TempTree::ReadFile(trash + "/info/my note \xC3\xBC%.txt.trashinfo"),
               std::string(c.OtherMount ? "" : FTemp + "/") + "sub%20dir/my%20note%20%C3%BC%25.txt");

    const std::vector<std::string> env = {"HOME=" + FTemp, "XDG_DATA_HOME=" + FTemp + "/data"};
    const test::TRunResult listed = test::Run({"trash-list"}, env);
    ASSERT_EQ(listed.ExitCode, 0) << listed.Out;
    // One line per item: the deletion time, then the full original path.
    std::istringstream lines(listed.Out);
    std::string line;
    bool found = false;
    while (std::getline(lines, line))
        found =
            found ||
            (line.size() == 20 + original.size() && line.compare(20, std::string::npos, original) == 0 &&
             std::regex_match(line.substr(0, 20), std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ")));
    EXPECT_TRUE(found) << listed.Out;

    // trash-restore lists what was trashed below the given path and asks which one to restore.
    const test::TRunResult restored = test::Run({"trash-restore", original}, env, 10000, "0\n");
    EXPECT_EQ(restored.ExitCode, 0) << restored.Out;
    EXPECT_EQ(TempTree::ReadFile(original), "kept") << restored.Out;
    EXPECT_TRUE(std::filesystem::is_empty(trash + "/files"));
    EXPECT_TRUE(std::filesystem::is_empty(trash + "/info"));
}

INSTANTIATE_TEST_SUITE_P(Trash, LinuxTrashPeer,
                         ::testing::Values(TTrashCase{"HomeTrash", false, false},
                                           TTrashCase{"OtherMount", true, false},
                                           TTrashCase{"OtherMountSharedTrash", true, true}),
                         [](const ::testing::TestParamInfo<TTrashCase>& param) {
                             return std::string(param.param.Name);
                         });

} // namespace
} // namespace ks
