// Renames that must not replace anything on a file system that refuses RENAME_NOREPLACE. No
// local disk here refuses the flag, so a seccomp filter in a child process makes the kernel
// answer as such a file system would (EINVAL) or as an old kernel would (ENOSYS), and can also
// make linkat fail as on a disk without hard links.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/LinuxFileSystem.h"
#include "support/Child.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

#if defined(__x86_64__)
constexpr std::uint32_t FilterArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t FilterArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t FilterArch = 0;
#endif

#ifdef __NR_renameat
constexpr std::uint32_t RenameAtCall = __NR_renameat;
#else
// Newer architectures have renameat2 only; glibc's renameat calls it with flags 0.
constexpr std::uint32_t RenameAtCall = 0xFFFFFFFF;
#endif

// What the filter makes the calls answer; 0 lets the call through.
struct TRefusals {
    int NoReplace = 0; ///< renameat2 with RENAME_NOREPLACE
    int Link = 0;      ///< linkat
    int Plain = 0;     ///< renameat, and renameat2 without RENAME_NOREPLACE
};

std::uint32_t Answer(int error) {
    return error == 0 ? SECCOMP_RET_ALLOW : SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(error);
}

// Installs the filter in this (child) process for good; false when the kernel would not.
bool Refuse(const TRefusals& refusals) {
    // The low half of the flags argument, which is where RENAME_NOREPLACE lies on a
    // little-endian machine.
    constexpr std::uint32_t FlagsOffset = offsetof(seccomp_data, args) + 4 * sizeof(std::uint64_t);
    std::vector<sock_filter> program = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, FilterArch, 0, 10),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, FlagsOffset),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, RENAME_NOREPLACE, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, Answer(refusals.NoReplace)),
        BPF_STMT(BPF_RET | BPF_K, Answer(refusals.Plain)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_linkat, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, Answer(refusals.Link)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, RenameAtCall, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, Answer(refusals.Plain)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

enum TKind { kFile, kFolder, kLink };

// The kind of what path names, without following a link.
std::string KindAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    return S_ISREG(st.st_mode)   ? "file"
           : S_ISDIR(st.st_mode) ? "folder"
           : S_ISLNK(st.st_mode) ? "link"
                                 : "other";
}

TEST(LinuxFolderRename, NeverReplacesWhereTheFileSystemRefusesTheNoReplaceFlag) {
    if (FilterArch == 0)
        GTEST_SKIP() << "the seccomp filter knows x86-64 and AArch64 only";
    struct TRow {
        const char* What;
        TKind Kind;
        TRefusals Refusals;
        int Error; ///< the errno the first rename fails with; 0 when it renames
    };
    // Plain renames are refused where the file must go through linkat and unlinkat.
    const std::vector<TRow> rows = {
        {"a file where the disk lacks the flag", kFile, {EINVAL, 0, EXDEV}, 0},
        {"a file on an old kernel", kFile, {ENOSYS, 0, EXDEV}, 0},
        {"a file on a disk without hard links", kFile, {EINVAL, EPERM, 0}, 0},
        {"a file with too many links", kFile, {EINVAL, EMLINK, 0}, 0},
        {"a file whose link fails otherwise", kFile, {EINVAL, EIO, 0}, EIO},
        {"a folder", kFolder, {EINVAL, EXDEV, 0}, 0},
        {"a symbolic link", kLink, {EINVAL, EXDEV, 0}, 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TempTree tree;
        const std::string kind = row.Kind == kFile ? "file" : row.Kind == kFolder ? "folder" : "link";
        if (row.Kind == kFile)
            tree.File("a", "moved");
        else if (row.Kind == kFolder)
            tree.File("a/inside", "moved");
        else
            fs::create_symlink("nowhere", tree / "a");
        tree.File("taken", "kept");
        const std::string failure = test::RunInChild(0, 10000, [&]() -> std::string {
            TKLinuxFileSystem files;
            Result<std::unique_ptr<TKFolder>> folder = files.OpenFolder(tree.Path());
            KS_CHECK(folder);
            KS_CHECK(Refuse(row.Refusals));
            const Result<void> renamed = (*folder)->Rename("a", **folder, "b", true);
            if (row.Error != 0) {
                KS_CHECK(!renamed);
                KS_CHECK(renamed.error().Errno == row.Error);
                KS_CHECK(KindAt(tree / "a") == kind);
                KS_CHECK(KindAt(tree / "b") == "missing");
                return {};
            }
            KS_CHECK(renamed);
            KS_CHECK(KindAt(tree / "a") == "missing");
            KS_CHECK(KindAt(tree / "b") == kind);
            // Onto a taken name: refused as taken, whatever the kernel said of the flag, and
            // both stay as they were.
            const Result<void> onto = (*folder)->Rename("b", **folder, "taken", true);
            KS_CHECK(!onto);
            KS_CHECK(onto.error().Code == TErrorCode::ecExists);
            KS_CHECK(onto.error().Errno == EEXIST);
            KS_CHECK(KindAt(tree / "b") == kind);
            KS_CHECK(TempTree::ReadFile(tree / "taken") == "kept");
            return {};
        });
        EXPECT_EQ(failure, "");
        if (row.Kind == kFile && row.Error == 0) {
            // The data moved with the name, and no second name was left behind.
            EXPECT_EQ(TempTree::ReadFile(tree / "b"), "moved");
            struct stat st {};
            ASSERT_EQ(::lstat((tree / "b").c_str(), &st), 0);
            EXPECT_EQ(st.st_nlink, 1u);
        }
    }
}

} // namespace
} // namespace ks
