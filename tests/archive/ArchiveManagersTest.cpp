#include "archive/ArchiveManagers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;
using TNames = std::set<std::string>;

// The archivers installed on this machine, looked up like the program does.
std::function<std::string(const std::string&)> Programs(const std::set<std::string>& missing = {},
                                                        const std::string& extraBin = {}) {
    return [=](const std::string& name) -> std::string {
        if (missing.count(name))
            return {};
        for (const std::string& folder : {extraBin, std::string("/usr/bin"), std::string("/bin")}) {
            if (folder.empty())
                continue;
            const std::string path = folder + "/" + name;
            if (::access(path.c_str(), X_OK) == 0)
                return path;
        }
        return {};
    };
}

std::optional<TArchiveManager> ManagerFor(const std::vector<TArchiveManager>& managers,
                                          const std::string& archiveName) {
    std::vector<std::string> list;
    for (const TArchiveManager& manager : managers)
        list.push_back(FormatArchiveManager(manager));
    const int at = FindArchiveManager(list, archiveName);
    if (at < 0)
        return std::nullopt;
    return managers[static_cast<std::size_t>(at)];
}

// Runs a built command the way the program does: in folder, the list file written first or
// handed to standard input.
int RunCommand(const TManagerCommand& command, const TManagerCall& call, const std::string& folder) {
    if (!command.ListText.empty() && !command.ListOnStdin)
        std::ofstream(call.ListFile, std::ios::binary) << command.ListText;
    std::vector<std::string> argv = {"env", "-C", folder};
    argv.insert(argv.end(), command.Argv.begin(), command.Argv.end());
    return test::Run(argv, {}, 30000, command.ListOnStdin ? command.ListText : std::string()).ExitCode;
}

// The regular files below folder, relative to it.
TNames FilesBelow(const std::string& folder) {
    TNames names;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file())
            names.insert(fs::relative(it->path(), folder).string());
    return names;
}

// The file entries of an archive as 7z lists them (7z reads every kind these tests make): one
// block of "key = value" lines per entry, folders marked by "Folder = +" or a "D" attribute.
TNames ArchiveFiles(const std::string& archive) {
    const std::string out = test::Run({"7z", "l", "-slt", "-ba", archive}, {}).Out + "\n";
    TNames names;
    std::string path;
    bool folder = false;
    for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        if (line.rfind("Path = ", 0) == 0) {
            path = line.substr(7);
            folder = false;
        } else if (line == "Folder = +" || line.rfind("Attributes = D", 0) == 0) {
            folder = true;
        } else if (line.empty() && !path.empty()) {
            if (!folder)
                names.insert(path);
            path.clear();
        }
    }
    return names;
}

TEST(ArchiveManagersTest, EntriesRoundTripAndShortLinesAreRejected) {
    const TArchiveManager full{"RAR;R##", "rar", "/usr/bin/rar a -r #ARCHIVENAME#.rar @#FILELIST#",
                               "",        "x",   true};
    for (const TArchiveManager& manager : {full, TArchiveManager{"ZIP", "mine", "a", "d", "x", false}}) {
        const std::string line = FormatArchiveManager(manager);
        EXPECT_EQ(ParseArchiveManager(line), manager) << line;
    }
    EXPECT_EQ(FormatArchiveManager(full),
              "RAR;R##|rar|/usr/bin/rar a -r #ARCHIVENAME#.rar @#FILELIST#||x|auto|");
    EXPECT_EQ(ParseArchiveManager("ZIP|d|a|d|x|"), (TArchiveManager{"ZIP", "d", "a", "d", "x", false}));
    for (const char* shortLine : {"", "ZIP", "ZIP|d|a|d|", "ZIP|d|a|d|x"})
        EXPECT_EQ(ParseArchiveManager(shortLine), std::nullopt) << shortLine;
}

TEST(ArchiveManagersTest, TheLastMatchingEntryWinsWithDigitsAndUpperCase) {
    const std::vector<std::string> list = {"ZIP;Z##|first|||x|", "rar;r##|rar|||x|", "broken",
                                           "ZIP|second|||x|"};
    const struct {
        const char* Name;
        int Expected;
    } cases[] = {
        {"/a/backup.zip", 3}, {"/a/PART.Z01", 0},     {"/a/part.r01", 1}, {"/a/part.R7", -1},
        {"/a/part.rar", 1},   {"/a/noextension", -1}, {"/a/x.7z", -1},    {"/a/part.R0A", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindArchiveManager(list, c.Name), c.Expected) << c.Name;
    EXPECT_EQ(FindArchiveManager({}, "a.zip"), -1);
}

TEST(ArchiveManagersTest, LocatedEntriesFollowThePrograms) {
    const auto all = LocateArchiveManagers(Programs());
    const auto zip = ManagerFor(all, "a.zip");
    ASSERT_NE(zip, std::nullopt);
    EXPECT_EQ(zip->AddTemplate, "/usr/bin/7z a -tzip -spd -y #ARCHIVENAME#.zip @#FILELIST#");
    EXPECT_EQ(zip->ExtractTemplate, "/usr/bin/7z x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#");
    for (const TArchiveManager& manager : all)
        EXPECT_TRUE(manager.Located) << manager.Masks;
    // Without rar, 7z only extracts RAR; without arj, 7z extracts ARJ.
    const auto rar = ManagerFor(all, "a.r01");
    ASSERT_NE(rar, std::nullopt);
    EXPECT_EQ(rar->AddTemplate, "");
    EXPECT_EQ(rar->ExtractTemplate, zip->ExtractTemplate);
    EXPECT_EQ(ManagerFor(all, "a.arj")->DeleteTemplate, "/usr/bin/arj d -y -p1 #ARCHIVENAME# -- #FILELIST#");
    EXPECT_EQ(ManagerFor(LocateArchiveManagers(Programs({"arj"})), "a.arj")->ExtractTemplate,
              zip->ExtractTemplate);

    const auto no7z = LocateArchiveManagers(Programs({"7z", "7zz"}));
    const auto zipNo7z = ManagerFor(no7z, "a.zip");
    ASSERT_NE(zipNo7z, std::nullopt);
    EXPECT_EQ(zipNo7z->AddTemplate, "/usr/bin/zip -r -nw -y -q #ARCHIVENAME#.zip -@ <#FILELIST#");
    EXPECT_EQ(zipNo7z->ExtractTemplate, "/usr/bin/unzip -o -q -d #EXTRACTPATH# #ARCHIVENAME# #FILELIST#");
    EXPECT_EQ(ManagerFor(no7z, "a.7z"), std::nullopt);
    EXPECT_EQ(ManagerFor(no7z, "a.rar"), std::nullopt);
    EXPECT_EQ(ManagerFor(no7z, "a.cab")->ExtractTemplate,
              "/usr/bin/cabextract -q -d #EXTRACTPATH# #FILELIST# #ARCHIVENAME#");
    EXPECT_EQ(ManagerFor(no7z, "a.lzh")->ExtractTemplate,
              "/usr/bin/lha -xqfw=#EXTRACTPATH# #ARCHIVENAME# #FILELIST#");
    EXPECT_TRUE(LocateArchiveManagers([](const std::string&) { return std::string(); }).empty());
}

TEST(ArchiveManagersTest, RelocatingReplacesOnlyLocatedEntries) {
    const TArchiveManager old{"ZIP", "old", "a", "d", "x", true};
    const std::string user = "ZIP|mine|myzip #ARCHIVENAME#|||";
    const std::vector<std::string> list = {"LHA|first user|||x|", FormatArchiveManager(old), user,
                                           FormatArchiveManager(old), "garbage"};
    const std::vector<TArchiveManager> located = {{"ZIP", "new", "a2", "", "", true},
                                                  {"7Z", "new", "", "", "x", true}};
    const std::vector<std::string> expected = {"LHA|first user|||x|", FormatArchiveManager(located[0]),
                                               FormatArchiveManager(located[1]), user, "garbage"};
    const auto merged = MergeLocatedManagers(list, located);
    EXPECT_EQ(merged, expected);
    // The user's ZIP entry still comes after the located one, so it is still the one used.
    EXPECT_EQ(FindArchiveManager(merged, "x.zip"), 3);
    // Located for the first time, the managers go in front of the user's entries, which keep
    // serving their kinds.
    const std::vector<std::string> first = MergeLocatedManagers({user}, located);
    EXPECT_EQ(first.back(), user);
    EXPECT_EQ(FindArchiveManager(first, "x.zip"), 2);
}

TEST(ArchiveManagersTest, TemplatesAreFilledWordByWord) {
    TManagerCall call{"/my docs/back up.zip", {"a b.txt", "dir/"}, "/to/x y/", "/tmp/ks/kSAddA-1"};
    const struct {
        const char* Template;
        std::vector<std::string> Argv;
        std::string ListText;
        bool Stdin;
    } cases[] = {
        {"'/opt/my 7z/7z' a -spd #ARCHIVENAME#.zip @#FILELIST#",
         {"/opt/my 7z/7z", "a", "-spd", "/my docs/back up.zip", "@/tmp/ks/kSAddA-1"},
         "a b.txt\ndir\n",
         false},
        {"zip -r -nw #ARCHIVENAME#.ZIP -@ <#FILELIST#",
         {"zip", "-r", "-nw", "/my docs/back up.zip", "-@"},
         "a b.txt\ndir/\n",
         true},
        {"unzip -d \"#EXTRACTPATH#\" #ARCHIVENAME# #FILELIST#",
         {"unzip", "-d", "/to/x y/", "/my docs/back up.zip", "a b.txt", "dir/*"},
         "",
         false},
        {"other x#ARCHIVENAME#x #ARCHIVENAME# #FILELIST#",
         {"other", "x/my docs/back up.zipx", "/my docs/back up.zip", "a b.txt", "dir/"},
         "",
         false},
    };
    for (const auto& c : cases) {
        const auto command = BuildManagerCommand(c.Template, call);
        ASSERT_TRUE(command) << c.Template;
        EXPECT_EQ(command->Argv, c.Argv) << c.Template;
        EXPECT_EQ(command->ListText, c.ListText) << c.Template;
        EXPECT_EQ(command->ListOnStdin, c.Stdin) << c.Template;
    }
    EXPECT_EQ(BuildManagerCommand("   ", call).error().Code, TErrorCode::ecInvalid);
}

TEST(ArchiveManagersTest, NamesNoProgramCanTakeAreRefusedNamingThem) {
    const struct {
        const char* Template;
        std::string Name;
    } cases[] = {
        {"7z x -spd #ARCHIVENAME# @#FILELIST# -o#EXTRACTPATH#", "line\nbreak"},
        {"zip -nw #ARCHIVENAME# -@ <#FILELIST#", "cr\rname"},
        {"anything #ARCHIVENAME# #FILELIST# #EXTRACTPATH#", std::string("nul\0name", 8)},
        {"7z x -spd #ARCHIVENAME# @#FILELIST# -o#EXTRACTPATH#", "not utf-8 \xff"},
        {"7z x #ARCHIVENAME# @#FILELIST# -o#EXTRACTPATH#", "star*"},
        {"rar d #ARCHIVENAME# @#FILELIST#", "q?"},
        {"arj d -p1 #ARCHIVENAME# -- #FILELIST#", "*"},
        {"arj d -p1 #ARCHIVENAME# #FILELIST#", "-dash"},
        {"lha -dq #ARCHIVENAME# #FILELIST#", "dir/"},
        {"tar -x -f #ARCHIVENAME# -C #EXTRACTPATH# #FILELIST#", "-dash"},
    };
    for (const auto& c : cases) {
        const auto command =
            BuildManagerCommand(c.Template, {"/a/b.zip", {"fine", c.Name}, "/to/", "/tmp/l"});
        ASSERT_FALSE(command) << c.Template;
        EXPECT_EQ(command.error().Code, TErrorCode::ecInvalid);
        EXPECT_EQ(command.error().Path, c.Name);
    }
    // A line break is fine where each name is an argument of its own.
    EXPECT_TRUE(BuildManagerCommand("unzip -d #EXTRACTPATH# #ARCHIVENAME# #FILELIST#",
                                    {"/a/b.zip", {"line\nbreak"}, "/to/", "/tmp/l"}));
    // Deleting or adding nothing is refused rather than left to the program's idea of "all".
    EXPECT_FALSE(BuildManagerCommand("7z d -spd #ARCHIVENAME# @#FILELIST#", {"/a/b.zip", {}, "", "/tmp/l"}));
}

// A stand-in for rar, which Debian does not ship: it logs its working folder and arguments.
TEST(ArchiveManagersTest, LocatedRarCommandsReachTheProgramAsWritten) {
    TempTree tree;
    const std::string log = tree / "log";
    tree.File("bin/rar", "#!/bin/sh\npwd > '" + log + "'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                             log + "'; done\n");
    ASSERT_EQ(::chmod((tree / "bin/rar").c_str(), 0755), 0);
    const auto managers = LocateArchiveManagers(Programs({}, tree / "bin"));
    const auto rar = ManagerFor(managers, "backup.rar");
    ASSERT_NE(rar, std::nullopt);
    EXPECT_EQ(rar->Description, "rar");
    const std::string source = tree.Folder("my src");
    const TManagerCall call{tree / "out dir/backup.rar", {"a.txt", "-dash", "sub/"}, "", tree / "kSAddA"};
    const auto add = BuildManagerCommand(rar->AddTemplate, call);
    ASSERT_TRUE(add);
    ASSERT_EQ(RunCommand(*add, call, source), 0);
    EXPECT_EQ(TempTree::ReadFile(log),
              source + "\na\n-r\n" + call.ArchiveName + "\n@" + call.ListFile + "\n");
    EXPECT_EQ(TempTree::ReadFile(call.ListFile), "a.txt\n-dash\nsub\n");

    const auto extractAll =
        BuildManagerCommand(rar->ExtractTemplate, {call.ArchiveName, {}, "/to/", call.ListFile});
    ASSERT_TRUE(extractAll);
    EXPECT_EQ(extractAll->Argv,
              (std::vector<std::string>{tree / "bin/rar", "x", "-y", "-kb", call.ArchiveName, "/to/"}));
}

// The source tree the real-archiver tests pack: five files at the top (one without a dot), a
// folder with a subfolder, a second "a.txt" below, and names programs like to misread.
const std::vector<std::string> PlainFiles = {"a.txt",    "b.txt",     "c.txt",     "d.txt",
                                             "Makefile", "dir/x.txt", "dir/a.txt", "dir/sub/y.txt"};
const std::vector<std::string> OddFiles = {"sp ace.txt", "-dash", "*", "@at", "q?", "[x]", "n\xc3\xbc"};

struct TArchiverRow {
    const char* Label;
    const char* ArchiveFile;
    std::vector<std::string> Pack; ///< run in the source folder; "#A#" is the archive
    std::set<std::string> Missing; ///< programs hidden from locating
    std::set<std::string> Refused; ///< odd names the manager cannot take literally
    bool Folders = true;           ///< whether the manager selects a folder with its contents
    /// Names left out of the archive: jlha stores "ü" as Latin-1, so the archive never holds it.
    std::set<std::string> Unpacked = {};
};

class TArchiverFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& name : PlainFiles)
            FTree.File("src/" + name, name);
        for (const std::string& name : OddFiles)
            FTree.File("src/" + name, name);
    }
    std::string Source() const { return FTree / "src"; }
    std::vector<std::string> AllTop() const {
        std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt", "Makefile", "dir"};
        names.insert(names.end(), OddFiles.begin(), OddFiles.end());
        return names;
    }
    bool Pack(const TArchiverRow& row, const std::string& archive) const {
        std::vector<std::string> argv = {"env", "-C", Source()};
        for (const std::string& word : row.Pack) {
            if (word == "#NAMES#") {
                for (const std::string& name : AllTop())
                    if (!row.Unpacked.count(name))
                        argv.push_back(name);
            } else {
                argv.push_back(word == "#A#" ? archive : word);
            }
        }
        return test::Run(argv, {}, 30000).ExitCode == 0;
    }
    TempTree FTree;
};

TNames AllFiles() {
    TNames names(PlainFiles.begin(), PlainFiles.end());
    names.insert(OddFiles.begin(), OddFiles.end());
    return names;
}

TEST_F(TArchiverFixture, ExtractionSelectsExactlyTheNamedEntries) {
    const TArchiverRow rows[] = {
        {"zip by 7z", "t.zip", {"zip", "-r", "-q", "-nw", "#A#", "--", "#NAMES#"}, {}, {}},
        {"zip by unzip", "t.zip", {"zip", "-r", "-q", "-nw", "#A#", "--", "#NAMES#"}, {"7z", "7zz"}, {}},
        {"7z", "t.7z", {"7z", "a", "-spd", "-bd", "#A#", "--", "#NAMES#"}, {}, {}},
        {"tar", "t.tar", {"tar", "-cf", "#A#", "--", "#NAMES#"}, {}, {}},
        {"tar.gz", "t.tar.gz", {"tar", "-czf", "#A#", "--", "#NAMES#"}, {}, {}},
        {"arj", "t.arj", {"arj", "a", "-r", "-y", "#A#"}, {}, {"*", "q?", "[x]"}},
        {"lzh by 7z", "t.lzh", {"lha", "aq", "#A#", "#NAMES#"}, {}, {}, true, {"n\xc3\xbc"}},
        {"lzh by lha", "t.lzh", {"lha", "aq", "#A#", "#NAMES#"}, {"7z", "7zz"}, {}, false, {"n\xc3\xbc"}},
        {"cab by 7z", "t.cab", {"gcab", "-c", "#A#", "--", "#NAMES#"}, {}, {}},
    };
    for (const TArchiverRow& row : rows) {
        SCOPED_TRACE(row.Label);
        const std::string archive = FTree / row.ArchiveFile;
        std::filesystem::remove(archive);
        ASSERT_TRUE(Pack(row, archive));
        const auto manager = ManagerFor(LocateArchiveManagers(Programs(row.Missing)), archive);
        ASSERT_NE(manager, std::nullopt);

        struct TCase {
            std::vector<std::string> Names;
            TNames Expected;
        };
        TNames everything = AllFiles();
        for (const std::string& name : row.Unpacked)
            everything.erase(name);
        std::vector<TCase> cases = {{{}, everything}, {{"a.txt", "Makefile"}, {"a.txt", "Makefile"}}};
        if (row.Folders)
            cases.push_back({{"dir/"}, {"dir/x.txt", "dir/a.txt", "dir/sub/y.txt"}});
        for (const std::string& odd : OddFiles)
            if (!row.Unpacked.count(odd))
                cases.push_back({{odd}, {odd}});
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.Names.empty() ? std::string("everything") : c.Names.front());
            const std::string out = FTree.Folder("out " + std::string(row.Label)) + "/";
            const TManagerCall call{archive, c.Names, out, FTree / "kSExtA"};
            const auto command = BuildManagerCommand(manager->ExtractTemplate, call);
            if (c.Names.size() == 1 && row.Refused.count(c.Names.front())) {
                EXPECT_FALSE(command);
                continue;
            }
            if (!command) {
                ADD_FAILURE() << command.error().Detail;
                continue;
            }
            EXPECT_EQ(RunCommand(*command, call, FTree.Path()), 0);
            EXPECT_EQ(FilesBelow(out), c.Expected);
            std::filesystem::remove_all(out);
        }
    }
}

TEST_F(TArchiverFixture, AddingAndDeletingChangeOnlyTheNamedEntries) {
    const TArchiverRow rows[] = {
        {"zip by 7z", "new.zip", {}, {}, {}},
        {"7z", "new.7z", {}, {}, {}},
        {"zip by zip", "new.zip", {}, {"7z", "7zz"}, {}},
        {"tar", "new.tar", {}, {}, {}},
    };
    for (const TArchiverRow& row : rows) {
        SCOPED_TRACE(row.Label);
        const std::string archive = FTree / row.ArchiveFile;
        std::filesystem::remove(archive);
        const auto manager = ManagerFor(LocateArchiveManagers(Programs(row.Missing)), archive);
        ASSERT_NE(manager, std::nullopt);
        const TManagerCall add{archive, AllTop(), "", FTree / "kSAddA"};
        const auto addCommand = BuildManagerCommand(manager->AddTemplate, add);
        ASSERT_TRUE(addCommand);
        ASSERT_EQ(RunCommand(*addCommand, add, Source()), 0);
        EXPECT_EQ(ArchiveFiles(archive), AllFiles());

        const TManagerCall remove{archive, {"*", "-dash", "dir/", "sp ace.txt"}, "", FTree / "kSDelA"};
        const auto deleteCommand = BuildManagerCommand(manager->DeleteTemplate, remove);
        ASSERT_TRUE(deleteCommand);
        ASSERT_EQ(RunCommand(*deleteCommand, remove, FTree.Path()), 0);
        TNames left = AllFiles();
        for (const char* gone : {"*", "-dash", "dir/x.txt", "dir/a.txt", "dir/sub/y.txt", "sp ace.txt"})
            left.erase(gone);
        EXPECT_EQ(ArchiveFiles(archive), left);
    }
}

TEST_F(TArchiverFixture, AnAddTemplateWithTheExtensionDoesNotDoubleIt) {
    const auto manager = ManagerFor(LocateArchiveManagers(Programs()), "x.zip");
    ASSERT_NE(manager, std::nullopt);
    for (const char* archiveName : {"with space.zip", "Upper.ZIP"}) {
        const TManagerCall call{FTree / archiveName, {"a.txt"}, "", FTree / "kSAddNA"};
        const auto command = BuildManagerCommand(manager->AddTemplate, call);
        ASSERT_TRUE(command);
        ASSERT_EQ(RunCommand(*command, call, Source()), 0);
        EXPECT_EQ(ArchiveFiles(call.ArchiveName), TNames{"a.txt"}) << archiveName;
    }
}

TEST_F(TArchiverFixture, AnEntryClimbingOutOfTheArchiveStaysInsideTheTarget) {
    const std::string archive = FTree / "evil.zip";
    ASSERT_EQ(
        test::Run(
            {"python3", "-c",
             "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
             "z.writestr('../evil','x')\nz.writestr('../../evil2','x')\nz.writestr('ok','y')\nz.close()",
             archive},
            {})
            .ExitCode,
        0);
    for (const auto& missing : {std::set<std::string>{}, std::set<std::string>{"7z", "7zz"}}) {
        SCOPED_TRACE(missing.empty() ? "7z" : "unzip");
        const auto manager = ManagerFor(LocateArchiveManagers(Programs(missing)), archive);
        ASSERT_NE(manager, std::nullopt);
        const std::string outer = FTree.Folder("outer");
        const std::string out = FTree.Folder("outer/in/out") + "/";
        const TManagerCall call{archive, {}, out, FTree / "kSExtA"};
        const auto command = BuildManagerCommand(manager->ExtractTemplate, call);
        ASSERT_TRUE(command);
        RunCommand(*command, call, out);
        const TNames below = FilesBelow(outer);
        EXPECT_TRUE(below.count("in/out/ok"));
        for (const std::string& name : below)
            EXPECT_EQ(name.rfind("in/out/", 0), 0u) << name;
        std::filesystem::remove_all(outer);
    }
}

} // namespace
} // namespace ks
