#include "platform/LinuxSystem.h"

#include "platform/LinuxFileSystem.h"
#include "support/Environment.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace ks {
namespace {

using test::TempTree;

using test::TEnv;

template <class TCondition> bool WaitFor(TCondition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

std::string Script(const TempTree& tree, const std::string& relative, const std::string& body) {
    const std::string path = tree.File(relative, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

// --- folders -------------------------------------------------------------------------------

TEST(LinuxSystemFolders, XdgFoldersFollowTheEnvironment) {
    TempTree tree;
    TEnv env;
    TKLinuxSystem system;
    const std::string home = tree.Folder("home");
    env.Set("HOME", home + "/");
    env.Set("XDG_CONFIG_HOME", std::nullopt);
    env.Set("XDG_DATA_HOME", std::nullopt);

    EXPECT_EQ(system.HomeDir(), home);
    EXPECT_EQ(system.ConfigDir(), home + "/.config/ksable/");
    EXPECT_EQ(system.UserDataDir(), home + "/.local/share/ksable/");
    EXPECT_EQ(system.ShellFolder("Desktop"), home + "/Desktop");
    EXPECT_EQ(system.ShellFolder("Personal"), home + "/Documents");
    EXPECT_EQ(system.ShellFolder("Programs"), home + "/.local/share/applications");
    EXPECT_EQ(system.ShellFolder("Startup"), home + "/.config/autostart");
    EXPECT_EQ(system.ShellFolder("Favorites"), "");

    const std::string config = tree.Folder("cfg");
    env.Set("XDG_CONFIG_HOME", config);
    env.Set("XDG_DATA_HOME", tree / "data");
    tree.File("cfg/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                    "XDG_DESKTOP_DIR=\"$HOME/Plocha\"\n"
                                    "XDG_DOCUMENTS_DIR=\"/srv/my \\\"docs\\\"/\"\n"
                                    "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    EXPECT_EQ(system.ConfigDir(), config + "/ksable/");
    EXPECT_EQ(system.UserDataDir(), tree / "data/ksable/");
    EXPECT_EQ(system.ShellFolder("desktop"), home + "/Plocha");
    EXPECT_EQ(system.ShellFolder("Personal"), "/srv/my \"docs\"");
    EXPECT_EQ(system.ShellFolder("Programs"), tree / "data/applications");
    EXPECT_EQ(system.ShellFolder("Startup"), config + "/autostart");

    // Relative XDG values are invalid and ignored.
    env.Set("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(system.ConfigDir(), home + "/.config/ksable/");
}

TEST(LinuxSystemFolders, AppPathIsTheDataFolder) {
    TEnv env;
    TKLinuxSystem system;
    env.Set("KSABLE_DATA_DIR", "/opt/ksable-data");
    EXPECT_EQ(system.AppPath(), "/opt/ksable-data/");

    env.Set("KSABLE_DATA_DIR", std::nullopt);
    const std::string bin = RealPath(KS_BIN_DIR);
    const bool dataBeside =
        std::filesystem::is_directory(bin + "/lang") || std::filesystem::is_directory(bin + "/skins");
    EXPECT_EQ(system.AppPath(),
              dataBeside ? bin + "/" : std::filesystem::path(bin).parent_path().string() + "/share/ksable/");
}

// Checks that dir is a private folder of this user made inside parent in place of the taken
// name parent/ksable-<uid>.
std::string CheckFreshPrivateFolder(const std::string& dir, const std::string& parent) {
    const std::string taken = parent + "/ksable-" + std::to_string(::geteuid()) + "/";
    struct stat st {};
    if (dir.empty() || dir.back() != '/' || dir == taken)
        return "not a folder of its own: \"" + dir + "\"";
    if (std::filesystem::path(dir).parent_path().parent_path() != parent)
        return dir + " is not inside " + parent;
    if (dir.compare(0, taken.size() - 1, taken.substr(0, taken.size() - 1)) != 0)
        return dir + " is not named after the fixed name";
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 07777) != 0700)
        return dir + " is not a real folder of mode 0700 owned by this user";
    return {};
}

TEST(LinuxSystemFolders, TempDirIsPrivate) {
    TempTree tree;
    TEnv env;
    // A new object looks the folder up again; one object keeps the folder it found.
    const auto tempDir = [] { return TKLinuxSystem().TempDir(); };
    TKLinuxSystem system;
    const std::string uid = std::to_string(::geteuid());

    const std::string runtime = tree.Folder("run");
    env.Set("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(system.TempDir(), runtime + "/ksable/");
    EXPECT_EQ(ModeOf(runtime + "/ksable") & 07777, 0700u);
    // A folder left open to others by someone is closed again.
    ::chmod((runtime + "/ksable").c_str(), 0777);
    EXPECT_EQ(system.TempDir(), runtime + "/ksable/");
    EXPECT_EQ(ModeOf(runtime + "/ksable") & 07777, 0700u);

    env.Set("XDG_RUNTIME_DIR", std::nullopt);
    env.Set("TMPDIR", tree.Folder("tmp") + "/");
    EXPECT_EQ(tempDir(), tree / "tmp/ksable-" + uid + "/");

    // Another user planted a symlink under the fixed name: it is neither followed nor used, and
    // a symlinked runtime folder falls back to TMPDIR.
    const std::string victim = tree.Folder("victim");
    ::chmod(victim.c_str(), 0755);
    const std::string shared = tree.Folder("shared");
    std::filesystem::create_symlink(victim, shared + "/ksable-" + uid);
    env.Set("TMPDIR", shared);
    EXPECT_EQ(CheckFreshPrivateFolder(tempDir(), shared), "");
    EXPECT_EQ(ModeOf(victim) & 07777, 0755u);
    std::filesystem::create_symlink(victim, tree.Folder("run2") + "/ksable");
    env.Set("XDG_RUNTIME_DIR", tree / "run2");
    env.Set("TMPDIR", tree / "tmp");
    EXPECT_EQ(tempDir(), tree / "tmp/ksable-" + uid + "/");

    if (::geteuid() == 0) {
        // A folder of that name owned by someone else is refused.
        ::chown((tree / "tmp/ksable-" + uid).c_str(), 65534, 65534);
        EXPECT_EQ(CheckFreshPrivateFolder(tempDir(), tree / "tmp"), "");
    }
}

TEST(LinuxSystemFolders, TempDirTakenByAnotherUserGivesAFolderOfOurOwn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user can only be played by root";
    const std::string taken = "ksable-" + std::to_string(::geteuid());
    for (const bool asLink : {false, true}) {
        SCOPED_TRACE(asLink ? "a symlink to a folder of theirs" : "a folder of theirs");
        TempTree tree;
        TEnv env;
        // A shared temporary folder like /tmp: writable by everyone, sticky.
        ::chmod(tree.Path().c_str(), 0755);
        const std::string tmp = tree.Folder("tmp");
        ::chmod(tmp.c_str(), 01777);
        const std::string theirs = tree.Folder("theirs");
        const std::string planted = tmp + "/" + taken;
        ASSERT_EQ(test::RunUnprivileged({theirs},
                                        [&] {
                                            KS_CHECK(asLink ? ::symlink(theirs.c_str(), planted.c_str()) == 0
                                                            : ::mkdir(planted.c_str(), 0777) == 0);
                                            return std::string();
                                        }),
                  "");
        env.Set("XDG_RUNTIME_DIR", std::nullopt);
        env.Set("TMPDIR", tmp);

        TKLinuxSystem system;
        const std::string dir = system.TempDir();
        EXPECT_EQ(CheckFreshPrivateFolder(dir, tmp), "");
        // The folder is kept: the next call, from another thread, gives the same one.
        std::string again;
        std::thread([&] { again = system.TempDir(); }).join();
        EXPECT_EQ(again, dir);
        // What the other user made is left as it was, and nothing was put into it.
        const std::string target = asLink ? theirs : planted;
        EXPECT_TRUE(std::filesystem::is_empty(target));
        struct stat st {};
        ASSERT_EQ(::lstat(planted.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(asLink, S_ISLNK(st.st_mode));
    }
}

TEST(LinuxSystemFolders, LocaleIdTable) {
    struct TCase {
        const char* All;
        const char* Messages;
        const char* Lang;
        const char* Expected;
    };
    const TCase cases[] = {
        {nullptr, nullptr, "sk_SK.UTF-8", "0000041B"},
        {nullptr, nullptr, "cs_CZ", "00000405"},
        {nullptr, nullptr, "hu_HU.UTF-8", "0000040E"},
        {nullptr, nullptr, "nl_BE.UTF-8", "00000413"},
        {nullptr, nullptr, "pl_PL.UTF-8", "00000415"},
        {nullptr, nullptr, "ru_RU.KOI8-R", "00000419"},
        {nullptr, nullptr, "de_DE@euro", "00000407"},
        {nullptr, nullptr, "de_AT.UTF-8", "00000C07"},
        {nullptr, nullptr, "de", "00000407"},
        {"de_AT.UTF-8", "sk_SK", "en_US", "00000C07"},
        {"", "ru_RU.UTF-8", "de_DE", "00000419"},
        {nullptr, nullptr, "en_US.UTF-8", ""},
        {nullptr, nullptr, "C", ""},
        {nullptr, nullptr, nullptr, ""},
    };
    TEnv env;
    TKLinuxSystem system;
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.All ? c.All : "-") + " " + (c.Messages ? c.Messages : "-") + " " +
                     (c.Lang ? c.Lang : "-"));
        env.Set("LC_ALL", c.All ? std::optional<std::string>(c.All) : std::nullopt);
        env.Set("LC_MESSAGES", c.Messages ? std::optional<std::string>(c.Messages) : std::nullopt);
        env.Set("LANG", c.Lang ? std::optional<std::string>(c.Lang) : std::nullopt);
        EXPECT_EQ(system.LocaleId(), c.Expected);
    }
}

TEST(LinuxSystemFolders, FileTypesComeFromTheMimeDatabase) {
    TKLinuxSystem system;
    EXPECT_EQ(system.ContentType(".txt"), "text/plain");
    EXPECT_EQ(system.ContentType(".TXT"), "text/plain");
    EXPECT_FALSE(system.FileTypeName(".txt").empty());
    EXPECT_EQ(system.ContentType(".kszzqq"), "");
    EXPECT_EQ(system.FileTypeName(".kszzqq"), "");
    EXPECT_EQ(system.ContentType(""), "");
}

// --- mounts and volumes ---------------------------------------------------------------------

TEST(LinuxSystemMounts, ParsesMountInfo) {
    const std::vector<TMountEntry> mounts =
        ParseMountTable("26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                        "40 26 8:17 / /media/ann/My\\040Disk\\134x rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
                        "41 26 0:50 / /mnt/back\\011up rw - fuse.sshfs ann@host:/ rw\n"
                        "garbage line\n"
                        "42 26 0:51 / /tmp rw - tmpfs tmpfs rw");
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[0].Root, "/");
    EXPECT_EQ(mounts[0].Major, 254u);
    EXPECT_EQ(mounts[1].Root, "/media/ann/My Disk\\x");
    EXPECT_EQ(mounts[1].FsType, "vfat");
    EXPECT_EQ(mounts[1].Source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].Minor, 17u);
    EXPECT_EQ(mounts[2].Root, "/mnt/back\tup");
    EXPECT_EQ(mounts[2].FsType, "fuse.sshfs");
    EXPECT_EQ(mounts[3].FsType, "tmpfs");
}

TEST(LinuxSystemMounts, DriveTypeTable) {
    struct TCase {
        const char* FsType;
        const char* Root;
        const char* Source;
        int Expected;
    };
    const TCase cases[] = {
        {"tmpfs", "/tmp", "tmpfs", 6},
        {"tmpfs", "/run/user/1000", "tmpfs", 6},
        {"tmpfs", "/dev/shm", "tmpfs", 6},
        {"tmpfs", "/run", "tmpfs", 1},
        {"proc", "/proc", "proc", 1},
        {"cgroup2", "/sys/fs/cgroup", "cgroup2", 1},
        {"squashfs", "/snap/x/1", "/dev/loop1", 1},
        {"nfs4", "/net", "srv:/export", 4},
        {"cifs", "/mnt/share", "//srv/share", 4},
        {"fuse.sshfs", "/mnt/s", "ann@host:", 4},
        {"iso9660", "/media/cd", "/dev/sr0", 5},
        {"udf", "/media/dvd", "/dev/sr0", 5},
        {"overlay", "/", "overlay", 3},
        {"ext4", "/data", "/dev/ks-no-such-device", 3},
        {"btrfs", "/home", "/dev/ks-no-such-device", 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.FsType) + " " + c.Root);
        EXPECT_EQ(DriveTypeOf(TMountEntry{c.Root, c.FsType, c.Source, 0, 40}), c.Expected);
    }
}

TEST(LinuxSystemMounts, RootsVolumesAndSizes) {
    TempTree tree;
    TKLinuxSystem system;
    EXPECT_EQ(system.DriveRoot(""), "");
    EXPECT_EQ(system.DriveRoot("/"), "/");
    const std::string temp = RealPath(tree.Path());
    const std::string root = system.DriveRoot(temp + "/sub/file");
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.back(), '/');
    EXPECT_EQ(temp.compare(0, root.size(), root) == 0 || root == "/", true) << root;
    if (std::filesystem::is_directory("/proc/self")) {
        EXPECT_EQ(system.DriveRoot("/proc/self/fd"), "/proc/");
    }

    const std::optional<TVolumeInfo> volume = system.VolumeInfo("/");
    ASSERT_TRUE(volume.has_value());
    EXPECT_GE(volume->MaxNameLength, 255u);
    EXPECT_FALSE(volume->FileSystem.empty());
    EXPECT_LE(volume->FileSystem.size(), 12u);
    EXPECT_EQ(volume->DriveType, 3);
    EXPECT_TRUE(std::regex_match(volume->Serial, std::regex("([0-9A-F]{8})?"))) << volume->Serial;
    EXPECT_TRUE(system.VolumeInfo(root).has_value());
    EXPECT_FALSE(system.VolumeInfo("/ks-no-such-folder/").has_value());

    for (const std::string& path : {std::string("/"), temp}) {
        SCOPED_TRACE(path);
        EXPECT_GT(system.DiskSize(path), 0);
        EXPECT_GE(system.DiskFree(path), 0);
        EXPECT_LE(system.DiskFree(path), system.DiskSize(path));
    }
    EXPECT_EQ(system.DiskSize(""), 0);
    EXPECT_EQ(system.DiskFree("/ks-no-such-folder/x"), 0);
}

// --- starting programs ----------------------------------------------------------------------

TEST(LinuxSystemRun, SplitsParametersLikeAShell) {
    struct TCase {
        const char* Text;
        std::vector<std::string> Words;
    };
    const TCase cases[] = {
        {"", {}},
        {"  a \t b  ", {"a", "b"}},
        {"\"two words\" 'single \"quoted\"'", {"two words", "single \"quoted\""}},
        {"''", {""}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"x\\\\y\\\"z\\n\"", {"x\\y\"z\\n"}},
        {"\"C:\\dir\\file\"", {"C:\\dir\\file"}},
        {"back\\ slash \\'", {"back slash", "'"}},
        {"$HOME `id` *.txt", {"$HOME", "`id`", "*.txt"}},
        {"'unterminated rest", {"unterminated rest"}},
        {"trailing\\", {"trailing\\"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(SplitParameters(c.Text), c.Words);
    }
}

TEST(LinuxSystemRun, StartsExecutablesDirectlyInTheirFolder) {
    TempTree tree;
    TKLinuxSystem system;
    const std::string work = RealPath(tree.Folder("work dir"));
    // The script reports its working folder, its arguments and its pid, then exits.
    Script(tree, "work dir/report.sh",
           "out=\"$(dirname \"$0\")/report\"\n"
           "{ pwd; echo $$; printf '[%s]\\n' \"$@\"; } > \"$out.tmp\"\n"
           "mv \"$out.tmp\" \"$out.txt\"\n");

    ASSERT_TRUE(system.RunProgram("./report.sh", "one \"two words\" 'it''s' \\$HOME ; rm -rf x", work));
    const std::string marker = work + "/report.txt";
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
    std::istringstream lines(TempTree::ReadFile(marker));
    std::string folder;
    std::string pid;
    std::getline(lines, folder);
    std::getline(lines, pid);
    const std::string rest((std::istreambuf_iterator<char>(lines)), std::istreambuf_iterator<char>());
    EXPECT_EQ(folder, work);
    EXPECT_EQ(rest, "[one]\n[two words]\n[its]\n[$HOME]\n[;]\n[rm]\n[-rf]\n[x]\n");
    // The program does not wait for the child, yet the child does not stay a zombie.
    EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists("/proc/" + pid); })) << pid;
}

TEST(LinuxSystemRun, StartProgramHandsEveryArgumentOverUnchanged) {
    TempTree tree;
    TKLinuxSystem system;
    // The program reports its argument count and then each argument, one a line, into "args" in
    // its working folder. Its own folder has a space in the name, as a picked editor's may.
    const std::string program =
        Script(tree, "my tools/report", "printf '%s\\n' \"$#\" \"$@\" > args.tmp\nmv args.tmp args\n");
    const std::vector<std::vector<std::string>> cases = {
        {"notes\" -c \"!touch PWNED\" -c \"qa!"},
        {"a\\\\b"},
        {" two  words "},
        {"-rf"},
        {"line\nbreak"},
        {"$(touch x)"},
        {"`touch x`;touch x"},
        {"\xff\xfe\x80 not UTF-8"},
        {"'", "\"", ""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::vector<std::string>& arguments = cases[i];
        SCOPED_TRACE(arguments.front());
        const std::string work = tree.Folder("case" + std::to_string(i));
        ASSERT_TRUE(system.StartProgram(program, arguments, work));
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(work + "/args"); }));
        std::string expected = std::to_string(arguments.size()) + "\n";
        for (const std::string& argument : arguments)
            expected += argument + "\n";
        EXPECT_EQ(TempTree::ReadFile(work + "/args"), expected);
        // Nothing but the report appeared: no command hidden in a name ran.
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(work))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"args"});
    }
}

TEST(LinuxSystemRun, BareNamesComeFromPathOnly) {
    TempTree tree;
    TEnv env;
    TKLinuxSystem system;
    const std::string work = RealPath(tree.Folder("work"));
    // Planted in the folder shown: an "ls" and a document named like a program.
    Script(tree, "work/ls", "echo planted >> ran\n");
    tree.File("work/git", "not a program\n");
    Script(tree, "work/sub/tool", "echo sub-tool \"$@\" >> ran\n");
    // PATH holds only stand-ins whose runs can be seen, xdg-open among them.
    Script(tree, "bin/ls", "echo path-ls \"$@\" >> ran\n");
    Script(tree, "bin/xdg-open", "echo opened \"$@\" >> ran\n");
    env.Set("PATH", tree / "bin");
    EXPECT_EQ(system.FindProgram("ls"), tree / "bin/ls");
    EXPECT_EQ(system.FindProgram("xdg-open"), tree / "bin/xdg-open");
    for (const char* name : {"git", "sub/tool", "bin/ls", ""})
        EXPECT_EQ(system.FindProgram(name), "") << name;

    struct TCase {
        const char* Name;
        std::function<Result<void>()> Start;
        std::string Ran; ///< the line the started program adds to "ran"; empty when none may start
        TErrorCode Error = TErrorCode::ecNotFound;
    };
    const TCase cases[] = {
        {"command ls", [&] { return system.RunProgram("ls", "-l", work); }, "path-ls -l"},
        {"./ls", [&] { return system.RunProgram("./ls", "", work); }, "planted"},
        {"full path", [&] { return system.RunProgram(work + "/ls", "", work); }, "planted"},
        {"sub/tool", [&] { return system.RunProgram("sub/tool", "x", work); }, "sub-tool x"},
        {"./git", [&] { return system.RunProgram("./git", "", work); }, "opened " + work + "/./git"},
        {"command git", [&] { return system.RunProgram("git", "", work); }, ""},
        {"argv ls", [&] { return system.StartProgram("ls", {"-l"}, work); }, "path-ls -l"},
        {"argv ./ls", [&] { return system.StartProgram("./ls", {}, work); }, "planted"},
        {"argv git", [&] { return system.StartProgram("git", {}, work); }, ""},
        {"argv ./git", [&] { return system.StartProgram("./git", {}, work); }, "", TErrorCode::ecAccess},
    };
    std::string ran;
    std::size_t lines = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const Result<void> result = c.Start();
        if (c.Ran.empty()) {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().Code, c.Error);
            continue;
        }
        ASSERT_TRUE(result);
        ran += c.Ran + "\n";
        ++lines;
        ASSERT_TRUE(WaitFor([&] {
            const std::string text = TempTree::ReadFile(work + "/ran");
            return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines;
        }));
        ASSERT_EQ(TempTree::ReadFile(work + "/ran"), ran);
    }
}

TEST(LinuxSystemRun, MissingProgramsAreErrors) {
    TempTree tree;
    TKLinuxSystem system;
    const std::string script = Script(tree, "ok.sh", "exit 0\n");
    struct TCase {
        std::string File;
        std::string Folder;
    };
    const TCase cases[] = {
        {"", ""},
        {"/ks-no-such-folder/program", ""},
        {"ks-no-such-program-anywhere", tree.Path()},
        {"sub/ks-no-such-program", tree.Path()},
        {script, "/ks-no-such-folder"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File + " in " + c.Folder);
        const Result<void> result = system.RunProgram(c.File, "", c.Folder);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Code, TErrorCode::ecNotFound);
    }
}

TEST(LinuxSystemRun, SessionAndTrayCommandsReportFailures) {
    TempTree tree;
    TEnv env;
    TKLinuxSystem system;
    env.Set("PATH", tree.Folder("empty"));
    const Result<void> noEject = system.CloseCdTray();
    ASSERT_FALSE(noEject);
    EXPECT_EQ(noEject.error().Code, TErrorCode::ecUnsupported);
    env.Set("XDG_SESSION_ID", std::nullopt);
    EXPECT_FALSE(system.LogOff());

    // Stand-ins on PATH show the arguments given and the exit status taken.
    Script(tree, "bin/eject", "[ \"$1\" = -t ] && exit 0\nexit 9\n");
    Script(tree, "bin/loginctl", "echo \"$@\" > \"${0%/*}/args\"\nexit 1\n");
    env.Set("PATH", tree / "bin");
    env.Set("XDG_SESSION_ID", "c7");
    EXPECT_TRUE(system.CloseCdTray());
    const Result<void> refused = system.LogOff();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().Code, TErrorCode::ecIo);
    EXPECT_EQ(TempTree::ReadFile(tree / "bin/args"), "terminate-session c7\n");
}

TEST(LinuxSystemRun, ClipboardNeedsTheGuiFunctions) {
    TKLinuxSystem system;
    system.CopyTextToClipboard("ignored");
    EXPECT_EQ(system.GetClipboardText(), "");
    std::string board;
    system.SetClipboard([&](const std::string& text) { board = text; }, [&] { return board; });
    system.CopyTextToClipboard("text");
    EXPECT_EQ(system.GetClipboardText(), "text");
}

// --- file system ----------------------------------------------------------------------------

std::map<std::string, TDirEntry> List(TKFileSystem& fs, const std::string& path) {
    std::map<std::string, TDirEntry> entries;
    const Result<void> result = fs.ListFolder(path, [&](const TDirEntry& entry) {
        entries[entry.Name] = entry;
        return true;
    });
    EXPECT_TRUE(result);
    return entries;
}

TEST(LinuxFileSystem, ListsEntriesWithAttributes) {
    TempTree tree;
    TKLinuxFileSystem fs;
    tree.File("plain.txt", "12345");
    ::chmod(tree.File("readonly.txt", "r").c_str(), 0444);
    tree.File(".hidden", "");
    tree.Folder("folder");
    std::filesystem::create_symlink("plain.txt", tree / "file-link");
    std::filesystem::create_directory_symlink("folder", tree / "folder-link");
    std::filesystem::create_symlink("no-such-target", tree / "dangling");
    ::mkfifo((tree / "fifo").c_str(), 0644);
    const std::string odd = "bad\xFF\xFEname";
    tree.File(odd, "x");

    const auto entries = List(fs, tree.Path());
    struct TCase {
        std::string Name;
        std::uint32_t Attr;
        bool IsFolder;
        bool IsLink;
        std::uint64_t Size;
    };
    const TCase cases[] = {
        {"plain.txt", 32, false, false, 5}, {"readonly.txt", 33, false, false, 1},
        {".hidden", 34, false, false, 0},   {"folder", 16, true, false, 0},
        {"file-link", 32, false, true, 5},  {"folder-link", 16, true, true, 0},
        {"dangling", 0, false, true, 0},    {"fifo", 4, false, false, 0},
        {odd, 32, false, false, 1},
    };
    EXPECT_EQ(entries.size(), std::size(cases));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto found = entries.find(c.Name);
        ASSERT_NE(found, entries.end());
        const TDirEntry& entry = found->second;
        EXPECT_EQ(entry.Attr, c.Attr);
        EXPECT_EQ(entry.IsFolder, c.IsFolder);
        EXPECT_EQ(entry.IsLink, c.IsLink);
        EXPECT_EQ(entry.Size, c.Size);
        const Result<TDirEntry> stat = fs.Stat(tree / c.Name);
        ASSERT_TRUE(stat);
        EXPECT_EQ(stat->Name, c.Name);
        EXPECT_EQ(stat->Attr, c.Attr);
        EXPECT_EQ(stat->Mode, entry.Mode);
        EXPECT_EQ(stat->MTimeNs, entry.MTimeNs);
    }
    struct stat st {};
    ::stat((tree / "plain.txt").c_str(), &st);
    EXPECT_EQ(entries.at("plain.txt").MTimeNs, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
    EXPECT_TRUE(S_ISREG(entries.at("file-link").Mode));
    EXPECT_TRUE(S_ISLNK(entries.at("dangling").Mode));
}

TEST(LinuxFileSystem, ListingStopsEarlyAndReportsErrors) {
    TempTree tree;
    TKLinuxFileSystem fs;
    for (int i = 0; i < 10; ++i)
        tree.File("f" + std::to_string(i));
    int seen = 0;
    EXPECT_TRUE(fs.ListFolder(tree.Path(), [&](const TDirEntry&) { return ++seen < 3; }));
    EXPECT_EQ(seen, 3);

    const Result<void> missing = fs.ListFolder(tree / "missing", [](const TDirEntry&) { return true; });
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().Code, TErrorCode::ecNotFound);
    EXPECT_FALSE(fs.ListFolder(tree / "f1", [](const TDirEntry&) { return true; }));
    EXPECT_FALSE(fs.CanOpenFolder(tree / "f1"));
    EXPECT_TRUE(fs.CanOpenFolder(tree.Path()));
    EXPECT_FALSE(fs.Stat(tree / "missing"));

    if (::geteuid() != 0) {
        // Readable but not searchable: names (and their kinds) without details.
        tree.Folder("locked/sub");
        tree.File("locked/file");
        ::chmod((tree / "locked").c_str(), 0444);
        const auto entries = List(fs, tree / "locked");
        EXPECT_EQ(entries.size(), 2u);
        EXPECT_TRUE(entries.at("sub").IsFolder);
        EXPECT_EQ(entries.at("file").Attr, 32u);
    }
}

std::map<std::string, TEntryType> ListTypes(TKFileSystem& fs, const std::string& path,
                                            bool baseClass = false) {
    std::map<std::string, TEntryType> types;
    const auto each = [&](std::string_view name, TEntryType type) {
        EXPECT_TRUE(types.emplace(std::string(name), type).second) << name;
        return true;
    };
    // The base class's listing is the one every other file system gets: built on ListFolder.
    const Result<void> result =
        baseClass ? fs.TKFileSystem::ListFolderTypes(path, each) : fs.ListFolderTypes(path, each);
    EXPECT_TRUE(result);
    return types;
}

TEST(LinuxFileSystem, TypedListingGivesKindsWithoutFollowingLinks) {
    TempTree tree;
    TKLinuxFileSystem fs;
    tree.File("plain.txt", "12345");
    tree.File(".hidden");
    tree.Folder("folder/inner");
    std::filesystem::create_symlink("plain.txt", tree / "file-link");
    std::filesystem::create_directory_symlink("folder", tree / "folder-link");
    std::filesystem::create_symlink("no-such-target", tree / "dangling");
    ::mkfifo((tree / "fifo").c_str(), 0644);
    const std::string odd = "bad\xFF\xFEname";
    tree.File(odd, "x");

    const std::map<std::string, TEntryType> expected = {
        {"plain.txt", TEntryType::etFile},   {".hidden", TEntryType::etFile},
        {"folder", TEntryType::etFolder},    {"file-link", TEntryType::etLink},
        {"folder-link", TEntryType::etLink}, {"dangling", TEntryType::etLink},
        {"fifo", TEntryType::etOther},       {odd, TEntryType::etFile},
    };
    EXPECT_EQ(ListTypes(fs, tree.Path()), expected);
    EXPECT_EQ(ListTypes(fs, tree.Path(), true), expected);

    int seen = 0;
    EXPECT_TRUE(fs.ListFolderTypes(tree.Path(), [&](std::string_view, TEntryType) { return ++seen < 3; }));
    EXPECT_EQ(seen, 3);

    const auto never = [](std::string_view, TEntryType) {
        ADD_FAILURE() << "no entry expected";
        return true;
    };
    EXPECT_EQ(fs.ListFolderTypes(tree / "missing", never).error().Code, TErrorCode::ecNotFound);
    EXPECT_EQ(fs.ListFolderTypes(tree / "plain.txt", never).error().Code, TErrorCode::ecNotFound);
    // A link is listed as a link, but listing through it lists its target.
    EXPECT_EQ(ListTypes(fs, tree / "folder-link"),
              (std::map<std::string, TEntryType>{{"inner", TEntryType::etFolder}}));

    if (::geteuid() != 0) {
        tree.File("closed/file");
        ::chmod((tree / "closed").c_str(), 0);
        const Result<void> closed = fs.ListFolderTypes(tree / "closed", never);
        ::chmod((tree / "closed").c_str(), 0755);
        ASSERT_FALSE(closed);
        EXPECT_EQ(closed.error().Code, TErrorCode::ecAccess);
        EXPECT_EQ(closed.error().Path, tree / "closed");

        // Readable but not searchable: the kinds still come with the names.
        tree.Folder("locked/sub");
        tree.File("locked/file");
        ::chmod((tree / "locked").c_str(), 0444);
        EXPECT_EQ(
            ListTypes(fs, tree / "locked"),
            (std::map<std::string, TEntryType>{{"sub", TEntryType::etFolder}, {"file", TEntryType::etFile}}));
        ::chmod((tree / "locked").c_str(), 0755);
    }
}

} // namespace
} // namespace ks
