#include "archive/ArchiveManagers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::Run;
using test::TempTree;
using test::TRunResult;

// Looks programs up on PATH, only those allowed: a test picks the archivers a system has.
std::function<std::string(const std::string&)> Finder(std::set<std::string> allowed) {
    return [allowed = std::move(allowed)](const std::string& name) -> std::string {
        if (!allowed.contains(name))
            return {};
        for (const char* folder : {"/usr/local/bin/", "/usr/bin/", "/bin/"})
            if (::access((std::string(folder) + name).c_str(), X_OK) == 0)
                return std::string(folder) + name;
        return {};
    };
}

const TArchiveManager* ManagerFor(const std::vector<TArchiveManager>& managers, const std::string& archive) {
    std::vector<std::string> lines;
    for (const TArchiveManager& manager : managers)
        lines.push_back(FormatArchiveManager(manager));
    const int index = FindArchiveManager(lines, archive);
    return index < 0 ? nullptr : &managers[static_cast<std::size_t>(index)];
}

// Runs a finished command in folder as the program does: the list written where the command
// names it (or given on standard input), no shell between.
TRunResult RunCommand(const TManagerCommand& command, const std::string& folder,
                      const std::string& listFile) {
    if (!command.ListOnStdin && !command.ListText.empty())
        std::ofstream(listFile, std::ios::binary) << command.ListText;
    std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec \"$@\"", folder};
    argv.insert(argv.end(), command.Argv.begin(), command.Argv.end());
    return Run(argv, {}, 60000, command.ListOnStdin ? command.ListText : std::string());
}

// The files below folder, as relative paths.
std::set<std::string> FilesBelow(const std::string& folder) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.insert(std::filesystem::relative(entry.path(), folder).string());
    return files;
}

// The file entries of an archive as 7-Zip lists them.
std::set<std::string> Listed(const std::string& archive) {
    const TRunResult listed = Run({"7z", "l", "-ba", "-slt", archive}, {}, 30000);
    std::set<std::string> files;
    std::istringstream lines(listed.Out);
    std::string path;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Path = ", 0) == 0)
            path = line.substr(7);
        else if (line.rfind("Folder = -", 0) == 0 || line.rfind("Attributes = ", 0) == 0) {
            if (line.find('D') == std::string::npos || line.rfind("Folder = -", 0) == 0)
                if (!path.empty())
                    files.insert(path);
            path.clear();
        }
    }
    return files;
}

const std::set<std::string> AllFiles = {"a b.txt",         "Makefile",      "*", "-dash", "x.c",
                                        "docs/readme.txt", "docs/sub/q.txt"};

class ArchiveManagersTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSource = FTree.Folder("src");
        for (const std::string& name : AllFiles)
            FTree.File("src/" + name, name + "\n");
        FTree.File("new/added one.txt", "added\n");
    }

    // An archive of the fixture made by the real tool; its full name.
    std::string Make(const std::string& name, const std::vector<std::string>& tool) {
        std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec \"$@\"", FSource};
        argv.insert(argv.end(), tool.begin(), tool.end());
        const TRunResult made = test::Run(argv, {}, 60000);
        EXPECT_EQ(made.ExitCode, 0) << name << ": " << made.Out;
        return FTree / name;
    }

    TManagerCall Call(TManagerOp operation, const std::string& archive, std::vector<std::string> names,
                      const std::string& extractPath = {}) {
        TManagerCall call;
        call.Operation = operation;
        call.ArchiveName = archive;
        call.Names = std::move(names);
        call.ExtractPath = extractPath;
        call.ListFile = FTree / "list";
        return call;
    }

    // Extracts names from archive with its manager into a fresh folder; the files written there.
    std::set<std::string> Extract(const TArchiveManager& manager, const std::string& archive,
                                  const std::vector<std::string>& names) {
        const std::string out = FTree.Folder("out" + std::to_string(++FOuts));
        const Result<TManagerCommand> command =
            BuildManagerCommand(manager.ExtractTemplate, Call(moExtract, archive, names, out + "/"));
        EXPECT_TRUE(command) << command.error().Detail;
        if (!command)
            return {};
        const TRunResult ran = RunCommand(*command, FSource, FTree / "list");
        EXPECT_EQ(ran.ExitCode, 0) << manager.ExtractTemplate << ": " << ran.Out;
        return FilesBelow(out);
    }

    TempTree FTree;
    std::string FSource;
    int FOuts = 0;
};

TEST_F(ArchiveManagersTest, EntriesRoundTripAndTheLastMatchingOneServes) {
    const TArchiveManager located{"RAR;R##", "RAR", "rar a #ARCHIVENAME#.rar @#FILELIST#", "d", "x", true};
    EXPECT_EQ(FormatArchiveManager(located), "RAR;R##|RAR|rar a #ARCHIVENAME#.rar @#FILELIST#|d|x|auto|");
    EXPECT_EQ(ParseArchiveManager(FormatArchiveManager(located)), located);
    const std::optional<TArchiveManager> mine = ParseArchiveManager("ZIP|mine|a|d|x|");
    ASSERT_TRUE(mine);
    EXPECT_FALSE(mine->Located);
    EXPECT_FALSE(ParseArchiveManager("ZIP|too|short|"));

    const std::vector<std::string> list = {"ZIP;JAR|first|a|d|x|", "garbage", "RAR;R##|rar|a|d|x|",
                                           "zip|second|a|d|x|"};
    struct TCase {
        const char* Archive;
        int Index;
    };
    for (const TCase& c : {TCase{"/a/b.zip", 3}, TCase{"/a/B.ZIP", 3}, TCase{"/a/x.jar", 0},
                           TCase{"/a/set.r07", 2}, TCase{"/a/set.rxy", -1}, TCase{"/a/noext", -1}})
        EXPECT_EQ(FindArchiveManager(list, c.Archive), c.Index) << c.Archive;

    // Locating again replaces only what locating made; the user's entries keep their places.
    const std::vector<std::string> stored = {"ARJ|arj by hand|||x|", FormatArchiveManager(located),
                                             "ZIP|mine|a|d|x|", ""};
    const std::vector<TArchiveManager> fresh = {{"7Z", "7z", "a", "d", "x", true}};
    EXPECT_EQ(MergeLocatedManagers(stored, fresh),
              (std::vector<std::string>{"ARJ|arj by hand|||x|", "7Z|7z|a|d|x|auto|", "ZIP|mine|a|d|x|"}));
}

TEST_F(ArchiveManagersTest, CommandsAreWordsWithTheNamesAsGiven) {
    const std::string archive = "/my files/back up.zip";
    struct TCase {
        const char* What;
        std::string Template;
        TManagerCall Call;
        std::vector<std::string> Argv;
        std::string ListText;
        bool OnStdin = false;
    };
    const std::vector<TCase> cases = {
        {"list file, the extension not doubled, the archive one word",
         "\"/opt/my rar/rar\" a -r #ARCHIVENAME#.rar @#FILELIST#",
         Call(moAdd, "/my files/old.RAR", {"a b", "-x"}),
         {"/opt/my rar/rar", "a", "-r", "/my files/old.RAR", "@" + FTree / "list"},
         "a b\n-x\n"},
        {"everything: no list",
         "7z x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#",
         Call(moExtract, archive, {}, "/t/st/"),
         {"7z", "x", "-spd", "-y", "-o/t/st/", archive},
         ""},
        {"a folder with 7z is its bare name",
         "7z d -spd #ARCHIVENAME# @#FILELIST#",
         Call(moDelete, archive, {"docs/", "*"}),
         {"7z", "d", "-spd", archive, "@" + FTree / "list"},
         "docs\n*\n"},
        {"zip's delete escapes its patterns",
         "zip -d -q #ARCHIVENAME# -@ <#FILELIST#",
         Call(moDelete, archive, {"*", "-dash", "docs/", "[a]"}),
         {"zip", "-d", "-q", archive, "-@"},
         "\\*\n\\-dash\ndocs/*\n\\[a\\]\n",
         true},
        {"zip's add takes names without wildcards",
         "zip -r -nw -q #ARCHIVENAME#.zip -@ <#FILELIST#",
         Call(moAdd, archive, {"*", "-dash"}),
         {"zip", "-r", "-nw", "-q", archive, "-@"},
         "*\n-dash\n",
         true},
        {"names as arguments",
         "unzip -o -d #EXTRACTPATH# #ARCHIVENAME# #FILELIST#",
         Call(moExtract, archive, {"-dash", "a?"}, "/t/"),
         {"unzip", "-o", "-d", "/t/", archive, "\\-dash", "a\\?"},
         ""},
        {"cabextract cannot select: everything",
         "cabextract -d #EXTRACTPATH# #ARCHIVENAME#",
         Call(moExtract, archive, {"one"}, "/t/"),
         {"cabextract", "-d", "/t/", archive},
         ""},
        {"arj extracts everything for a pattern name",
         "arj x -y #ARCHIVENAME# #EXTRACTPATH# -- #FILELIST#",
         Call(moExtract, archive, {"a*"}, "/t/"),
         {"arj", "x", "-y", archive, "/t/"},
         ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const Result<TManagerCommand> command = BuildManagerCommand(c.Template, c.Call);
        ASSERT_TRUE(command) << command.error().Detail;
        EXPECT_EQ(command->Argv, c.Argv);
        EXPECT_EQ(command->ListText, c.ListText);
        EXPECT_EQ(command->ListOnStdin, c.OnStdin);
    }

    struct TRefused {
        const char* What;
        std::string Template;
        TManagerCall Call;
    };
    const std::vector<TRefused> refused = {
        {"a line break in a list", "7z d -spd #ARCHIVENAME# @#FILELIST#",
         Call(moDelete, archive, {"two\nlines"})},
        {"a NUL", "unzip #ARCHIVENAME# #FILELIST#", Call(moExtract, archive, {std::string("a\0b", 3)})},
        {"a pattern arj would widen", "arj d -y #ARCHIVENAME# -- #FILELIST#", Call(moDelete, archive, {"*"})},
        {"no command", "  ", Call(moExtract, archive, {})},
    };
    for (const TRefused& c : refused) {
        SCOPED_TRACE(c.What);
        const Result<TManagerCommand> command = BuildManagerCommand(c.Template, c.Call);
        ASSERT_FALSE(command);
        EXPECT_EQ(command.error().Code, TErrorCode::ecInvalid);
    }
}

// The located managers with the real archivers: extracting everything, some files, a folder and
// odd names; deleting a "*" entry; adding.
TEST_F(ArchiveManagersTest, LocatedZipManagersTakeNamesLiterally) {
    struct TSetup {
        const char* What;
        std::set<std::string> Programs;
    };
    for (const TSetup& setup : {TSetup{"7-Zip", {"7z"}}, TSetup{"Info-ZIP", {"zip", "unzip"}}}) {
        SCOPED_TRACE(setup.What);
        const std::vector<TArchiveManager> managers = LocateArchiveManagers(Finder(setup.Programs));
        const std::string archive = Make(std::string(setup.What) + " box.zip",
                                         {"zip", "-qr", FTree / (std::string(setup.What) + " box.zip"), "."});
        const TArchiveManager* zip = ManagerFor(managers, archive);
        ASSERT_NE(zip, nullptr);
        EXPECT_TRUE(zip->Located);

        EXPECT_EQ(Extract(*zip, archive, {}), AllFiles);
        EXPECT_EQ(Extract(*zip, archive, {"x.c", "Makefile"}), (std::set<std::string>{"x.c", "Makefile"}));
        EXPECT_EQ(Extract(*zip, archive, {"docs/"}),
                  (std::set<std::string>{"docs/readme.txt", "docs/sub/q.txt"}));
        EXPECT_EQ(Extract(*zip, archive, {"*", "-dash", "a b.txt"}),
                  (std::set<std::string>{"*", "-dash", "a b.txt"}));

        const Result<TManagerCommand> removed =
            BuildManagerCommand(zip->DeleteTemplate, Call(moDelete, archive, {"*"}));
        ASSERT_TRUE(removed) << removed.error().Detail;
        const TRunResult deleted = RunCommand(*removed, FSource, FTree / "list");
        EXPECT_EQ(deleted.ExitCode, 0) << deleted.Out;
        std::set<std::string> left = AllFiles;
        left.erase("*");
        EXPECT_EQ(Listed(archive), left);

        const Result<TManagerCommand> add =
            BuildManagerCommand(zip->AddTemplate, Call(moAdd, archive, {"added one.txt"}));
        ASSERT_TRUE(add) << add.error().Detail;
        const TRunResult added = RunCommand(*add, FTree / "new", FTree / "list");
        EXPECT_EQ(added.ExitCode, 0) << added.Out;
        EXPECT_TRUE(Listed(archive).contains("added one.txt"));
        EXPECT_FALSE(std::filesystem::exists(archive + ".zip"));
    }
}

TEST_F(ArchiveManagersTest, LocatedManagersOfTheOtherKinds) {
    const std::vector<TArchiveManager> managers =
        LocateArchiveManagers(Finder({"7z", "arj", "lha", "cabextract", "tar"}));
    struct TKind {
        const char* Name;
        std::vector<std::string> Tool; ///< run in the fixture folder; the archive's name follows
        bool Deletes;
    };
    const std::vector<TKind> kinds = {
        {"box.7z", {"7z", "a", "-bd", "-y"}, true}, {"box.arj", {"arj", "a", "-r", "-y"}, true},
        {"box.lzh", {"lha", "aq"}, true},           {"box.tar", {"tar", "-cf"}, true},
        {"box.tgz", {"tar", "-czf"}, false},
    };
    for (const TKind& kind : kinds) {
        SCOPED_TRACE(kind.Name);
        std::vector<std::string> tool = kind.Tool;
        tool.push_back(FTree / kind.Name);
        std::set<std::string> all = {"a b.txt", "Makefile", "x.c", "docs/readme.txt"};
        tool.insert(tool.end(), all.begin(), all.end());
        const std::string archive = Make(kind.Name, tool);
        const TArchiveManager* manager = ManagerFor(managers, archive);
        ASSERT_NE(manager, nullptr);
        EXPECT_EQ(Extract(*manager, archive, {}), all);
        EXPECT_EQ(Extract(*manager, archive, {"x.c", "a b.txt"}), (std::set<std::string>{"x.c", "a b.txt"}));
        if (!kind.Deletes) {
            EXPECT_TRUE(manager->DeleteTemplate.empty());
            continue;
        }
        const Result<TManagerCommand> removed =
            BuildManagerCommand(manager->DeleteTemplate, Call(moDelete, archive, {"x.c"}));
        ASSERT_TRUE(removed) << removed.error().Detail;
        const TRunResult deleted = RunCommand(*removed, FSource, FTree / "list");
        EXPECT_EQ(deleted.ExitCode, 0) << deleted.Out;
        all.erase("x.c");
        EXPECT_EQ(Extract(*manager, archive, {}), all);
    }

    // A cabinet: cabextract extracts everything, whatever was asked for.
    const std::string cab = Make("box.cab", {"gcab", "-c", FTree / "box.cab", "x.c", "Makefile"});
    const TArchiveManager* cabextract = ManagerFor(managers, cab);
    ASSERT_NE(cabextract, nullptr);
    EXPECT_EQ(Extract(*cabextract, cab, {"x.c"}), (std::set<std::string>{"x.c", "Makefile"}));
}

TEST_F(ArchiveManagersTest, ExtractionStaysInsideItsFolder) {
    const std::string hostile = FTree / "evil.zip";
    const TRunResult made = test::Run({"python3", "-c",
                                       "import sys, zipfile\n"
                                       "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                       "    z.writestr('../evil', 'x')\n"
                                       "    z.writestr('/tmp/ks-abs-evil', 'x')\n"
                                       "    z.writestr('fine.txt', 'ok')\n",
                                       hostile},
                                      {}, 30000);
    ASSERT_EQ(made.ExitCode, 0) << made.Out;
    for (const std::set<std::string>& programs :
         {std::set<std::string>{"7z"}, std::set<std::string>{"zip", "unzip"}}) {
        const std::vector<TArchiveManager> managers = LocateArchiveManagers(Finder(programs));
        const TArchiveManager* zip = ManagerFor(managers, hostile);
        ASSERT_NE(zip, nullptr);
        const std::string out = FTree.Folder("inside/out" + std::to_string(++FOuts));
        const Result<TManagerCommand> command =
            BuildManagerCommand(zip->ExtractTemplate, Call(moExtract, hostile, {}, out + "/"));
        ASSERT_TRUE(command);
        (void)RunCommand(*command, out, FTree / "list");
        EXPECT_TRUE(std::filesystem::exists(out + "/fine.txt")) << *programs.begin();
        EXPECT_FALSE(std::filesystem::exists(FTree / "inside/evil")) << *programs.begin();
        EXPECT_FALSE(std::filesystem::exists("/tmp/ks-abs-evil")) << *programs.begin();
    }
}

TEST_F(ArchiveManagersTest, RarIsRunWithItsListFile) {
    // rar is not free software; a stand-in records how it is called.
    const std::string bin = FTree.Folder("bin");
    const std::string log = FTree / "rar.log";
    {
        std::ofstream stub(bin + "/rar");
        stub << "#!/bin/sh\nprintf '%s|' \"$PWD\" \"$@\" >> '" << log << "'\n";
    }
    std::filesystem::permissions(bin + "/rar", std::filesystem::perms::owner_all);
    const std::vector<TArchiveManager> managers = LocateArchiveManagers(
        [&bin](const std::string& name) { return name == "rar" ? bin + "/rar" : std::string(); });
    const TArchiveManager* rar = ManagerFor(managers, "/data/backup.rar");
    ASSERT_NE(rar, nullptr);
    const Result<TManagerCommand> add =
        BuildManagerCommand(rar->AddTemplate, Call(moAdd, "/data/backup.rar", {"a b.txt"}));
    ASSERT_TRUE(add);
    ASSERT_EQ(RunCommand(*add, FSource, FTree / "list").ExitCode, 0);
    std::ifstream in(log);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(logged, FSource + "|a|-r|-y|/data/backup.rar|@" + FTree / "list" + "|");
    EXPECT_EQ(TempTree::ReadFile(FTree / "list"), "a b.txt\n");
    // rar reads list lines as patterns: a wildcard name cannot be deleted literally.
    EXPECT_FALSE(BuildManagerCommand(rar->DeleteTemplate, Call(moDelete, "/data/backup.rar", {"*"})));
}

} // namespace
} // namespace ks
