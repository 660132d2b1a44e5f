// The file calls of the local file system on the real disk: opening with flags, reading and
// writing in place, holes, in-kernel copies, renames with and without replacing, links, modes,
// times, space, locks, and the whole-file reads and atomic replaces built on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LinuxFileSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

struct stat LStat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

mode_t Umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The start of what file holds.
std::string Text(TKFile& file) {
    std::string text(64, '\0');
    const Result<std::size_t> got = file.ReadAt(0, text.data(), text.size());
    text.resize(got ? *got : 0);
    return text;
}

class LinuxFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Result<std::unique_ptr<TKFolder>> folder = FFiles.OpenFolder(FTree.Path());
        ASSERT_TRUE(folder);
        FFolder = std::move(*folder);
    }

    TempTree FTree;
    TKLinuxFileSystem FFiles;
    std::unique_ptr<TKFolder> FFolder;
};

TEST_F(LinuxFileTest, OpenFileFlags) {
    FTree.File("taken", "old text");
    FTree.File("target", "through the link");
    fs::create_symlink("target", FTree / "link");
    fs::create_symlink("nowhere", FTree / "dangling");
    ASSERT_EQ(::mkfifo((FTree / "fifo").c_str(), 0600), 0);
    struct TRow {
        const char* What;
        const char* Name;
        std::uint32_t Flags;
        TErrorCode Error; // ecNone: it opens
        int Errno;
        const char* Reads; // the text the opened file holds; nullptr: not read
    };
    const std::vector<TRow> rows = {
        {"a missing file is created", "new", ofWrite | ofCreate, TErrorCode::ecNone, 0, ""},
        {"a taken name opens as it is", "taken", ofRead | ofWrite | ofCreate, TErrorCode::ecNone, 0,
         "old text"},
        {"exclusive on a taken name", "taken", ofWrite | ofCreate | ofExclusive, TErrorCode::ecExists, EEXIST,
         ""},
        {"exclusive on a dangling link", "dangling", ofWrite | ofCreate | ofExclusive, TErrorCode::ecExists,
         EEXIST, ""},
        {"missing without create", "missing", ofRead, TErrorCode::ecNotFound, ENOENT, ""},
        {"a link is not followed", "link", ofRead, TErrorCode::ecIo, ELOOP, ""},
        {"a link followed when asked", "link", ofRead | ofFollowLink, TErrorCode::ecNone, 0,
         "through the link"},
        {"a FIFO opens without waiting", "fifo", ofRead, TErrorCode::ecNone, 0, nullptr},
        {"truncate", "taken", ofWrite | ofTruncate, TErrorCode::ecNone, 0, ""},
        {"not a plain name", "../taken", ofRead, TErrorCode::ecIo, EINVAL, ""},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        Result<std::unique_ptr<TKFile>> file = FFolder->OpenFile(row.Name, row.Flags, 0640);
        if (row.Error != TErrorCode::ecNone) {
            ASSERT_FALSE(file);
            EXPECT_EQ(file.error().Code, row.Error);
            EXPECT_EQ(file.error().Errno, row.Errno);
            continue;
        }
        ASSERT_TRUE(file) << file.error().Detail;
        if (row.Reads != nullptr) {
            EXPECT_EQ(Text(**file), row.Reads);
        }
    }
    EXPECT_EQ(LStat(FTree / "new").st_mode & 07777, 0640u & ~Umask());
    EXPECT_EQ(FFolder->OpenFile("fifo", ofRead).value()->Info()->Type, TEntryType::etOther);
}

TEST_F(LinuxFileTest, ReadsWritesAndDescribesTheOpenFile) {
    Result<std::unique_ptr<TKFile>> opened = FFolder->OpenFile("f", ofRead | ofWrite | ofCreate);
    ASSERT_TRUE(opened);
    TKFile& file = **opened;
    ASSERT_TRUE(file.Write("hello "));
    ASSERT_TRUE(file.Write("world"));
    ASSERT_TRUE(file.WriteAt(0, "J"));
    EXPECT_EQ(Text(file), "Jello world");
    char buffer[8] = {};
    EXPECT_EQ(file.ReadAt(6, buffer, 5).value(), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(file.ReadAt(100, buffer, 5).value(), 0u);
    ASSERT_TRUE(file.Truncate(5));
    ASSERT_TRUE(file.Sync());

    ASSERT_EQ(::link((FTree / "f").c_str(), (FTree / "second").c_str()), 0);
    const struct stat st = LStat(FTree / "f");
    const Result<TFileInfo> info = file.Info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Id, (TFileId{st.st_dev, st.st_ino}));
    EXPECT_EQ(info->Type, TEntryType::etFile);
    EXPECT_EQ(info->Size, 5u);
    EXPECT_EQ(info->Links, 2u);
    EXPECT_EQ(FFolder->Info("second")->Id, info->Id);

    // The open file is what was opened, whatever its name is now.
    ASSERT_EQ(::rename((FTree / "f").c_str(), (FTree / "moved").c_str()), 0);
    ASSERT_TRUE(file.WriteAt(5, "!"));
    EXPECT_EQ(TempTree::ReadFile(FTree / "moved"), "Jello!");

    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(file.Write("x")) << "a closed file takes nothing";
    EXPECT_FALSE(file.Close());
}

TEST_F(LinuxFileTest, HolesAreFoundAndCopiesStayInTheKernel) {
    constexpr std::uint64_t Mb = 1 << 20;
    Result<std::unique_ptr<TKFile>> opened = FFolder->OpenFile("sparse", ofRead | ofWrite | ofCreate);
    ASSERT_TRUE(opened);
    TKFile& sparse = **opened;
    ASSERT_TRUE(sparse.Write("head"));
    ASSERT_TRUE(sparse.WriteAt(4 * Mb, "tail"));
    ASSERT_TRUE(sparse.Truncate(8 * Mb));
    const std::uint64_t size = 8 * Mb;

    EXPECT_EQ(sparse.NextData(0).value(), std::optional<std::uint64_t>(0));
    const std::uint64_t hole = sparse.NextHole(0).value();
    EXPECT_GE(hole, 4u);
    EXPECT_LE(hole, size);
    EXPECT_EQ(sparse.NextData(size).value(), std::nullopt);
    EXPECT_FALSE(sparse.NextHole(size + 1));
    if (hole < size) {
        // This file system keeps a map of holes: the data after the first hole is found.
        const std::optional<std::uint64_t> next = sparse.NextData(hole).value();
        ASSERT_TRUE(next);
        EXPECT_LE(*next, 4 * Mb);
        EXPECT_GT(*next, hole - 1);
    }
    // Looking for holes leaves the place where reading goes on: right after "head", in the hole.
    char next[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(sparse.Read(next, 4).value(), 4u);
    EXPECT_EQ(std::string(next, 4), std::string(4, '\0'));

    Result<std::unique_ptr<TKFile>> copy = FFolder->OpenFile("copy", ofWrite | ofCreate);
    ASSERT_TRUE(copy);
    const Result<std::size_t> copied = (*copy)->CopyFrom(sparse, 4 * Mb, 0, 4);
    if (copied) {
        EXPECT_EQ(*copied, 4u);
        EXPECT_EQ(TempTree::ReadFile(FTree / "copy"), "tail");
        EXPECT_EQ((*copy)->CopyFrom(sparse, size, 4, 4).value(), 0u) << "nothing past the end";
    } else {
        EXPECT_EQ(copied.error().Code, TErrorCode::ecUnsupported);
    }
    Result<std::unique_ptr<TKFile>> clone = FFolder->OpenFile("clone", ofWrite | ofCreate);
    ASSERT_TRUE(clone);
    if (const Result<void> cloned = (*clone)->CloneFrom(sparse); cloned)
        EXPECT_EQ(fs::file_size(FTree / "clone"), size);
    else
        EXPECT_EQ(cloned.error().Code, TErrorCode::ecUnsupported) << "only where the disk cannot share data";
}

TEST_F(LinuxFileTest, RenamesWithAndWithoutReplacing) {
    struct TRow {
        const char* What;
        bool OtherFolder;
        bool TargetTaken;
        bool NoReplace;
        TErrorCode Error;
    };
    const std::vector<TRow> rows = {
        {"to a free name", false, false, true, TErrorCode::ecNone},
        {"over a taken name", false, true, false, TErrorCode::ecNone},
        {"refused over a taken name", false, true, true, TErrorCode::ecExists},
        {"into another folder", true, false, true, TErrorCode::ecNone},
        {"refused over a name in another folder", true, true, true, TErrorCode::ecExists},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TempTree tree;
        tree.File("a", "moved");
        const std::string targetFolder = row.OtherFolder ? tree.Folder("other") : tree.Path();
        if (row.TargetTaken)
            tree.File(row.OtherFolder ? "other/b" : "b", "kept");
        auto from = FFiles.OpenFolder(tree.Path());
        auto to = FFiles.OpenFolder(targetFolder);
        ASSERT_TRUE(from && to);
        const Result<void> renamed = (*from)->Rename("a", **to, "b", row.NoReplace);
        if (row.Error != TErrorCode::ecNone) {
            ASSERT_FALSE(renamed);
            EXPECT_EQ(renamed.error().Code, row.Error);
            EXPECT_EQ(TempTree::ReadFile(tree / "a"), "moved");
            EXPECT_EQ(TempTree::ReadFile(targetFolder + "/b"), "kept");
            continue;
        }
        ASSERT_TRUE(renamed) << renamed.error().Detail;
        EXPECT_FALSE(fs::exists(tree / "a"));
        EXPECT_EQ(TempTree::ReadFile(targetFolder + "/b"), "moved");
    }
    EXPECT_EQ(FFolder->Rename("missing", *FFolder, "b", true).error().Code, TErrorCode::ecNotFound);
}

TEST_F(LinuxFileTest, FoldersLinksModesTimesAndSpace) {
    const std::string file = FTree.File("file", "x");
    ASSERT_TRUE(FFolder->CreateFolder("made", 0700));
    EXPECT_TRUE(fs::is_directory(FTree / "made"));
    EXPECT_EQ(FFolder->CreateFolder("made", 0700).error().Code, TErrorCode::ecExists);

    ASSERT_TRUE(FFolder->CreateLink("link", "../elsewhere/file"));
    EXPECT_EQ(FFolder->ReadLink("link").value(), "../elsewhere/file");
    EXPECT_EQ(FFolder->Info("link")->Type, TEntryType::etLink);
    EXPECT_EQ(FFolder->ReadLink("file").error().Errno, EINVAL);
    EXPECT_EQ(FFolder->CreateLink("file", "x").error().Code, TErrorCode::ecExists);
    const std::string longTarget(1000, 't');
    ASSERT_TRUE(FFolder->CreateLink("long", longTarget));
    EXPECT_EQ(FFolder->ReadLink("long").value(), longTarget);

    ASSERT_TRUE(FFolder->SetMode("file", 0640));
    EXPECT_EQ(LStat(file).st_mode & 07777, 0640u);
    EXPECT_EQ(FFolder->Info("file")->Mode, 0640u);
    EXPECT_EQ(FFolder->SetMode("link", 0600).error().Code, TErrorCode::ecUnsupported);

    // Times before 1970 and with nanoseconds; a link gets its own, its target keeps its times.
    constexpr std::int64_t Old = -86'400'000'000'123;
    constexpr std::int64_t Later = 1'600'000'000'000'000'456;
    ASSERT_TRUE(FFolder->SetTimes("file", Later, Old));
    EXPECT_EQ(FFolder->Info("file")->ModifyTimeNs, Old);
    EXPECT_EQ(FFolder->Info("file")->AccessTimeNs, Later);
    fs::create_symlink("file", FTree / "tofile");
    ASSERT_TRUE(FFolder->SetTimes("tofile", Later, Later));
    EXPECT_EQ(FFolder->Info("tofile")->ModifyTimeNs, Later);
    EXPECT_EQ(FFolder->Info("file")->ModifyTimeNs, Old);
    Result<std::unique_ptr<TKFile>> opened = FFolder->OpenFile("file", ofWrite);
    ASSERT_TRUE(opened);
    ASSERT_TRUE((*opened)->SetMode(0600));
    ASSERT_TRUE((*opened)->SetTimes(Later, Later));
    EXPECT_EQ(FFolder->Info("file")->Mode, 0600u);
    EXPECT_EQ(FFolder->Info("file")->ModifyTimeNs, Later);

    const Result<TSpaceInfo> space = FFolder->Space();
    ASSERT_TRUE(space);
    EXPECT_GT(space->TotalBytes, 0u);
    EXPECT_LE(space->AvailableBytes, space->TotalBytes);
    EXPECT_GT(space->MaxNameLength, 0u);
    EXPECT_TRUE(FFolder->Sync());

    for (const char* name : {"", ".", "..", "made/inner"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(FFolder->CreateFolder(name, 0700));
        EXPECT_FALSE(FFolder->CreateLink(name, "x"));
        EXPECT_FALSE(FFolder->SetTimes(name, 0, 0));
        EXPECT_FALSE(FFolder->Info(name));
    }
}

TEST_F(LinuxFileTest, LockIsExclusiveUntilClosedAndTheWaitHasALimit) {
    auto first = FFiles.OpenFile(FTree / "lock", ofRead | ofWrite | ofCreate);
    auto second = FFiles.OpenFile(FTree / "lock", ofRead | ofWrite | ofCreate);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE((*first)->Lock(0));
    const Result<void> waited = (*second)->Lock(20);
    ASSERT_FALSE(waited);
    EXPECT_EQ(waited.error().Code, TErrorCode::ecTimeout);
    ASSERT_TRUE((*first)->Close());
    EXPECT_TRUE((*second)->Lock(0));
}

TEST_F(LinuxFileTest, WholeFileReads) {
    FTree.File("plain", "text");
    FTree.File("exact", std::string(100, 'x'));
    FTree.File("large", std::string(101, 'x'));
    FTree.Folder("folder");
    fs::create_symlink("plain", FTree / "link");
    fs::create_symlink("nowhere", FTree / "dangling");
    ASSERT_EQ(::mkfifo((FTree / "fifo").c_str(), 0600), 0);
    struct TRow {
        const char* Name;
        TErrorCode Error;
        int Errno;
        const char* Text;
    };
    const std::vector<TRow> rows = {
        {"plain", TErrorCode::ecNone, 0, "text"},
        {"link", TErrorCode::ecNone, 0, "text"},
        {"exact", TErrorCode::ecNone, 0, nullptr},
        {"large", TErrorCode::ecTooLarge, EFBIG, nullptr},
        {"missing", TErrorCode::ecNotFound, ENOENT, nullptr},
        {"dangling", TErrorCode::ecNotFound, ENOENT, nullptr},
        {"plain/below", TErrorCode::ecNotFound, ENOTDIR, nullptr},
        {"folder", TErrorCode::ecNotRegular, EISDIR, nullptr},
        {"fifo", TErrorCode::ecNotRegular, EINVAL, nullptr},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const Result<std::string> read = FFiles.ReadFile(FTree / row.Name, 100);
        if (row.Error == TErrorCode::ecNone) {
            ASSERT_TRUE(read) << read.error().Detail;
            EXPECT_EQ(*read, row.Text != nullptr ? std::string(row.Text) : std::string(100, 'x'));
            continue;
        }
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().Code, row.Error);
        EXPECT_EQ(read.error().Errno, row.Errno);
        EXPECT_EQ(read.error().Path, FTree / row.Name);
    }
}

TEST_F(LinuxFileTest, ReplaceFileKeepsOrSetsTheModeAndReplacesALink) {
    const std::string old = FTree.File("kept", "old");
    ::chmod(old.c_str(), 0640);
    ASSERT_TRUE(FFiles.ReplaceFile(old, "new", TReplaceMode::rmKeepOld, 0644));
    EXPECT_EQ(TempTree::ReadFile(old), "new");
    EXPECT_EQ(LStat(old).st_mode & 07777, 0640u);
    ASSERT_TRUE(FFiles.ReplaceFile(old, "private", TReplaceMode::rmSet, 0600));
    EXPECT_EQ(LStat(old).st_mode & 07777, 0600u);
    ASSERT_TRUE(FFiles.ReplaceFile(FTree / "fresh", "", TReplaceMode::rmKeepOld, 0644));
    EXPECT_EQ(LStat(FTree / "fresh").st_mode & 07777, 0644u) << "the umask takes nothing away";

    // The link is replaced by the new file; what it pointed at stays as it was.
    const std::string target = FTree.File("target", "untouched");
    fs::create_symlink("target", FTree / "link");
    ASSERT_TRUE(FFiles.ReplaceFile(FTree / "link", "new", TReplaceMode::rmKeepOld, 0644));
    EXPECT_TRUE(S_ISREG(LStat(FTree / "link").st_mode));
    EXPECT_EQ(TempTree::ReadFile(target), "untouched");

    const Result<void> nowhere =
        FFiles.ReplaceFile(FTree / "no/such/file", "x", TReplaceMode::rmKeepOld, 0644);
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(nowhere.error().Path, FTree / "no/such/file");
    // A folder in the way of the rename: the temporary file does not stay behind.
    FTree.File("folder/inside");
    EXPECT_FALSE(FFiles.ReplaceFile(FTree / "folder", "x", TReplaceMode::rmKeepOld, 0644));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FTree.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "fresh", "kept", "link", "target"}));
}

TEST_F(LinuxFileTest, CreateFoldersAndFindNameIgnoringCase) {
    ASSERT_TRUE(FFiles.CreateFolders(FTree / "a/b/c", 0700));
    EXPECT_EQ(LStat(FTree / "a/b/c").st_mode & 07777, 0700u & ~Umask());
    EXPECT_TRUE(FFiles.CreateFolders(FTree / "a/b", 0700)) << "folders that exist are fine";
    fs::create_directory_symlink("a", FTree / "toa");
    EXPECT_TRUE(FFiles.CreateFolders(FTree / "toa/b/d", 0700)) << "links along the path are followed";
    EXPECT_TRUE(fs::is_directory(FTree / "a/b/d"));
    FTree.File("file");
    const Result<void> blocked = FFiles.CreateFolders(FTree / "file/sub", 0700);
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().Path, FTree / "file");

    FTree.File("Data.INI");
    FTree.File("exact.ini");
    FTree.File("EXACT.INI");
    struct TRow {
        const char* Asked;
        const char* Found; // nullptr: nothing
    };
    for (const TRow& row : std::vector<TRow>{{"data.ini", "Data.INI"},
                                             {"exact.ini", "exact.ini"},
                                             {"EXACT.INI", "EXACT.INI"},
                                             {"missing.ini", nullptr}}) {
        SCOPED_TRACE(row.Asked);
        const Result<std::string> found = FFolder->FindName(row.Asked);
        if (row.Found == nullptr) {
            ASSERT_FALSE(found);
            EXPECT_EQ(found.error().Code, TErrorCode::ecNotFound);
        } else {
            EXPECT_EQ(found.value(), row.Found);
        }
    }
}

} // namespace
} // namespace ks
