#include "foundation/DELTA9.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "support/FakeSystem.h"
#include "support/MemoryFileSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

// A system with fixed folders and a recording Trash; the in-memory file system of the support
// library fails where a real disk cannot easily be made to.

class TestSystem : public test::FakeSystem {
public:
    TestSystem() {
        FAppPath = "/opt/ksable";
        FTempDir = "/run/user/1000/ksable/";
        FLocaleId = "0000041B";
    }
};

using test::MemoryFileSystem;

class DELTA9Platform : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFiles); }
    void TearDown() override {
        SetPlatform(nullptr, nullptr);
        SetRegistryStore(nullptr);
    }
    TestSystem FSystem;
    MemoryFileSystem FFiles;
};

// Texts

TEST(DELTA9Fields, GetFieldAndFieldCount) {
    struct TCase {
        const char* Text;
        int Index;
        const char* Field;
    };
    const TCase cases[] = {{"a|b|c", 0, "a"}, {"a|b|c", 1, "b"}, {"a|b|c", 2, "c"}, {"a|b|c", 3, ""},
                           {"a|", 1, ""},     {"a||c", 1, ""},   {"a||c", 2, "c"},  {"", 0, ""},
                           {"abc", 0, "abc"}, {"a|b", -1, ""},   {"|x", 0, ""},     {"|x", 1, "x"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Text) + " #" + std::to_string(c.Index));
        EXPECT_EQ(GetField(c.Text, '|', c.Index), c.Field);
    }
    EXPECT_EQ(FieldCount("", '|'), 0);
    EXPECT_EQ(FieldCount("word", '|'), 1);
    EXPECT_EQ(FieldCount("a|b|", '|'), 3);
    EXPECT_EQ(FieldCount("ACE;C##", ';'), 2);
}

TEST(DELTA9Fields, NextTokenSkipsEmptyFieldsAndLeavesTheSeparator) {
    std::string s = "|x||y";
    EXPECT_EQ(NextToken("|", s), "x");
    EXPECT_EQ(s, "||y");
    EXPECT_EQ(NextToken("|", s), "y");
    EXPECT_EQ(s, "");
    EXPECT_EQ(NextToken("|", s), "");

    s = "a;b|c";
    EXPECT_EQ(NextToken(";|", s), "a");
    EXPECT_EQ(NextToken(";|", s), "b");
    EXPECT_EQ(NextToken(";|", s), "c");

    s = "|||";
    EXPECT_EQ(NextToken("|", s), "");
    EXPECT_EQ(s, "");
}

TEST(DELTA9Texts, CharacterPositionsAreOneBased) {
    EXPECT_EQ(CharPos('b', "abcb"), 2);
    EXPECT_EQ(LastCharPos('b', "abcb"), 4);
    EXPECT_EQ(CharPos('x', "abc"), -1);
    EXPECT_EQ(LastCharPos('x', ""), -1);
    EXPECT_EQ(TextBefore("key|value|x", '|'), "key");
    EXPECT_EQ(TextBefore("novalue", '|'), "novalue");
    EXPECT_EQ(LeftPart("abcdef", 2), "ab");
    EXPECT_EQ(LeftPart("ab", 5), "ab");
    EXPECT_EQ(LeftPart("ab", -1), "");
    EXPECT_EQ(RightPart("abcdef", 2), "ef");
    EXPECT_EQ(RightPart("ab", 5), "ab");
    EXPECT_EQ(RightPart("ab", 0), "");
    EXPECT_EQ(InsertText("abef", 3, "cd"), "abcdef");
    EXPECT_EQ(InsertText("ab", 1, "x"), "xab");
    EXPECT_EQ(InsertText("ab", 0, "x"), "xab");
    EXPECT_EQ(InsertText("ab", 99, "x"), "abx");
    EXPECT_EQ(DeleteText("abcdef", 2, 3), "aef");
    EXPECT_EQ(DeleteText("abcdef", 5, 10), "abcd");
    EXPECT_EQ(DeleteText("abc", 0, 1), "abc");
    EXPECT_EQ(DeleteText("abc", 4, 1), "abc");
    EXPECT_EQ(DeleteText("abc", CharPos('b', "abc"), 1), "ac");
}

TEST(DELTA9Texts, ReplaceAllNeverRescansAndKeepsCase) {
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa", true), "aaaaaa");
    EXPECT_EQ(ReplaceAll("Copy #ARCHIVENAME# to #archivename#", "#ARCHIVENAME#", "x.zip", true),
              "Copy x.zip to #archivename#");
    EXPECT_EQ(ReplaceAll("One TWO two Two", "two", "2", false), "One 2 2 2");
    EXPECT_EQ(ReplaceAll("abcabc", "bc", "", true), "aa");
    EXPECT_EQ(ReplaceAll("abc", "", "x", true), "abc");
    EXPECT_EQ(ReplaceAll("x\xC1y", "\xE1", "-", false), "x\xC1y") << "case folding is ASCII only";
}

// Fonts, colours, sizes, attributes

TEST(DELTA9Fonts, DefaultPanelFontStringRoundTrips) {
    const std::string text = "192|192|192|-9|Verdana|0|96|1|7|nnnn";
    TFontSpec font;
    ASSERT_TRUE(StringToFont(text, font));
    EXPECT_EQ(font.Color, MakeColor(192, 192, 192));
    EXPECT_EQ(font.Height, -9);
    EXPECT_EQ(font.Name, "Verdana");
    EXPECT_EQ(font.Pitch, 0);
    EXPECT_EQ(font.PixelsPerInch, 96);
    EXPECT_EQ(font.Charset, 1);
    EXPECT_EQ(font.Size, 7);
    EXPECT_FALSE(font.Bold || font.Italic || font.Underline || font.StrikeOut);
    EXPECT_EQ(FontToString(font), text);

    TFontSpec styled;
    styled.Color = MakeColor(1, 2, 3);
    styled.Name = "DejaVu Sans Mono";
    styled.Height = 12;
    styled.Pitch = 2;
    styled.Italic = true;
    styled.StrikeOut = true;
    EXPECT_EQ(FontToString(styled), "1|2|3|12|DejaVu Sans Mono|2|96|1|0|nyny");
    TFontSpec back;
    ASSERT_TRUE(StringToFont(FontToString(styled), back));
    EXPECT_EQ(back, styled);
}

TEST(DELTA9Fonts, StylesAndBadStrings) {
    TFontSpec font;
    font.Bold = true;
    ASSERT_TRUE(StringToFont("0|0|0|-9|Arial|0|96|1|7|ny", font));
    EXPECT_FALSE(font.Bold) << "the style is cleared before the letters are read";
    EXPECT_TRUE(font.Italic);
    EXPECT_FALSE(font.Underline);
    ASSERT_TRUE(StringToFont("0|0|0|-9|Arial|0|96|1|7", font));
    EXPECT_FALSE(font.Italic);
    ASSERT_TRUE(StringToFont("0|0|0|-9|Arial|0|96|1|7|YYYY", font));
    EXPECT_FALSE(font.Bold) << "only a lower-case y sets a style";

    const TFontSpec before = font;
    EXPECT_TRUE(StringToFont("", font));
    EXPECT_EQ(font, before);
    for (const char* bad : {"a|0|0|-9|Arial|0|96|1|7|nnnn", "0|0|0|-9|Arial|x|96|1|7|nnnn",
                            "0|0|0|-9||0|96|1|7|nnnn", "0|0|0", "0|0|0|99999999999|Arial|0|96|1|7|nnnn"}) {
        SCOPED_TRACE(bad);
        const Result<void> result = StringToFont(bad, font);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().Code, TErrorCode::ecParse);
        EXPECT_EQ(font, before) << "a failed read leaves the font as it was";
    }
}

TEST(DELTA9Colors, StringsBlendAndDarken) {
    EXPECT_EQ(ColorToString(MakeColor(10, 20, 30)), "10|20|30");
    EXPECT_EQ(ColorToString(0xFF000000u | MakeColor(1, 2, 3)), "1|2|3");
    EXPECT_EQ(StringToColor("10|20|30", 7), MakeColor(10, 20, 30));
    EXPECT_EQ(StringToColor("10|20", 7), 7u);
    EXPECT_EQ(StringToColor("10", 7), 7u);
    EXPECT_EQ(StringToColor("", 7), 7u);
    EXPECT_EQ(StringToColor("a|b|c", 7), 7u);
    EXPECT_EQ(StringToColor("1|2|3|4", 7), 7u) << "blue is the whole rest";

    const TColorRef white = MakeColor(255, 255, 255);
    const TColorRef red = MakeColor(255, 0, 0);
    EXPECT_EQ(BlendColors(white, red, 255), white);
    EXPECT_EQ(BlendColors(white, red, 0), red);
    EXPECT_EQ(BlendColors(white, red, 128), MakeColor(255, 128, 128));
    EXPECT_EQ(DarkenColor(MakeColor(150, 3, 255), 1.5), MakeColor(100, 2, 170));
    EXPECT_EQ(DarkenColor(red, 0), red);
    EXPECT_EQ(DarkenColor(MakeColor(200, 0, 0), 0.5), MakeColor(255, 0, 0));
    EXPECT_EQ(BoolToString(true), "1");
    EXPECT_EQ(BoolToString(false), "0");
}

TEST(DELTA9Sizes, FormatSizeUnitsAndGrouping) {
    struct TCase {
        bool Units;
        std::int64_t Bytes;
        const char* Text;
    };
    const TCase cases[] = {
        {true, 0, "0 B"},
        {true, 999, "999 B"},
        {true, 1000, "1 000 B"},
        {true, 51199, "51 199 B"},
        {true, 51200, "50 kB"},
        {true, 9437183, "9 215 kB"},
        {true, 9437184, "9 MB"},
        {true, 9663676415LL, "9 215 MB"},
        {true, 9663676416LL, "9 GB"},
        {true, INT64_MAX, "8 589 934 591 GB"},
        {false, 1234567, "1 234 567 B"},
        {false, 123456789012LL, "123 456 789 012 B"},
        {false, 1234567890123LL, "1234 567 890 123 B"},
        {false, INT64_MAX, "9223372036 854 775 807 B"},
        {false, -123, "-123 B"},
        {true, -123456, "-123 456 B"},
        {false, INT64_MIN, "-9223372036 854 775 808 B"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bytes));
        EXPECT_EQ(FormatSize(c.Units, c.Bytes), c.Text);
    }
}

TEST(DELTA9Sizes, AttrToString) {
    EXPECT_EQ(AttrToString(1 | 32), "ROn Arc ");
    EXPECT_EQ(AttrToString(1 | 2 | 4 | 16 | 32), "ROn Hid Sys Arc ");
    EXPECT_EQ(AttrToString(16), "");
    EXPECT_EQ(AttrToString(0), "");
}

// Names, masks, paths

TEST(DELTA9Names, PathParts) {
    EXPECT_EQ(AddBackslash("/home/ann"), "/home/ann/");
    EXPECT_EQ(AddBackslash("/home/ann/"), "/home/ann/");
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(RemoveTrailingSeparator("/home/ann/"), "/home/ann");
    EXPECT_EQ(RemoveTrailingSeparator("/home//"), "/home/") << "only one separator goes";
    EXPECT_EQ(RemoveTrailingSeparator(""), "");
    EXPECT_EQ(LastPathPart("/home/ann/docs/"), "docs");
    EXPECT_EQ(LastPathPart("/home/ann/a.txt"), "a.txt");
    EXPECT_EQ(LastPathPart("a.txt"), "a.txt");
    EXPECT_EQ(LastPathPart("/"), "");
    EXPECT_EQ(ExtractExt("archive.tar.gz"), "gz");
    EXPECT_EQ(ExtractExt("Makefile"), "");
    EXPECT_EQ(ExtractExt("name."), "");
    EXPECT_EQ(ExtractExt(".bashrc"), "bashrc");
    EXPECT_EQ(ExtractExt("/src/v1.2/README"), "") << "a dot in a folder name is no extension";
    EXPECT_EQ(ExtractNameNoExt("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(ExtractNameNoExt("Makefile"), "Makefile");
    EXPECT_EQ(ExtractNameNoExt("/src/v1.2/README"), "/src/v1.2/README");
    EXPECT_EQ(ExtractNameNoExt("/src/v1.2/a.c"), "/src/v1.2/a");
}

TEST(DELTA9Names, ExecutableAndArchiveNames) {
    for (const char* name : {"setup.exe", "RUN.COM", "x.Bat", "build.sh"})
        EXPECT_TRUE(IsExecutableName(name)) << name;
    for (const char* name : {"exe", "a.exe.txt", "shell", "a.bash"})
        EXPECT_FALSE(IsExecutableName(name)) << name;

    for (const char* name :
         {"a.zip",    "A.ZIP", "a.z01",     "a.rar",    "a.r99", "a.ace",    "a.c01",  "a.arj",     "a.a01",
          "a.cab",    "a.lzh", "a.lha",     "pack.kpl", "a.tar", "a.tar.gz", "A.TGZ",  "a.tar.bz2", "a.tbz2",
          "a.tar.xz", "a.txz", "a.tar.zst", "a.tzst",   "a.7z",  "cd.iso",   "pkg.deb"})
        EXPECT_TRUE(IsArchiveName(name)) << name;
    // One compressed file is no archive; nor is a bare ending.
    for (const char* name : {"a.txt", "zip", "a.z1", "a.z001", "a.zx1", "a.c0a", "a.gz", "a.xz", "a.bz2",
                             "a.zst", ".tar", "7z", "a.tar.gz.part"})
        EXPECT_FALSE(IsArchiveName(name)) << name;
    EXPECT_TRUE(IsTarName("src.Tar.Xz"));
    EXPECT_FALSE(IsTarName("a.gz"));
    EXPECT_TRUE(Is7zName("x.7Z"));
    EXPECT_TRUE(IsIsoName("x.ISO"));
    EXPECT_TRUE(IsDebName("x_1.0_amd64.deb"));

    EXPECT_EQ(ArchiveMaskList().size(), 7u);
    EXPECT_EQ(ArchiveMaskList().front(), "ACE;C##");
    EXPECT_TRUE(IsAceName("x.c07"));
    EXPECT_FALSE(IsAceName("x.ca7"));
    EXPECT_TRUE(IsArjName("x.A12"));
    EXPECT_TRUE(IsCabName("x.Cab"));
    EXPECT_TRUE(IsLzhName("x.lha"));
    EXPECT_TRUE(IsKplName("skin.KPL"));
    EXPECT_TRUE(IsRarName("x.r00"));
    EXPECT_FALSE(IsRarName("x.zip"));
    EXPECT_TRUE(IsZipName("x.Z05"));
}

TEST(DELTA9Names, MatchMask) {
    struct TCase {
        const char* Name;
        const char* Mask;
        bool Match;
    };
    const TCase cases[] = {
        {"DATA.C01", "*.C##", false}, // "#" is a digit only in the name part
        {"C01", "C##", true},
        {"C0", "C##", false},
        {"CA1", "C##", false},
        {"readme.txt", "*.TXT", true},
        {"Report.TXT", "report.txt", true},
        {"a.t#", "a.t#", true},
        {"a.t1", "a.t#", false},
        {"7.txt", "#.txt", true},
        {"x.txt", "#.txt", false},
        {"ab", "a?", true},
        {"a", "a?", true}, // "?" past the end of the name takes nothing
        {"abc", "a?", false},
        {"abc", "a*x", true}, // what follows "*" is ignored
        {"a.b.c", "*.c", true},
        {"Makefile", "*.*", true},
        {"a.txt", "*", false},
        {"a.txt", "*.*", true},
        {"", "*.*", true},
        {"name", "", false},
        {"abcdef", "ab*", true}, // "*" after a start that must match
        {"xbcdef", "ab*", false},
        {"ab", "ab*", true},
        {"a", "ab*", false},
        {"abc", "?b*", true},
        {"a.t", "a.t??", true}, // "?" past the end of the extension
        {"a", "a.?", true},
        {"a", "a?b", false},
        {"ab", "a?b", false},
        {"x1.txt", "x#.TXT", true},
        {"x#", "x#", true}, // "#" over a non-digit or past the end is taken as it is
        {"xa", "x#", false},
        {"x", "x#", false},
        {"a.1", "a.#", false},
        {"ReadMe.Txt", "rEADmE.tXT", true}, // case is ignored
        {"Abc.TXT", "a*.t?t", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " ~ " + c.Mask);
        EXPECT_EQ(MatchMask(c.Name, c.Mask), c.Match);
    }
}

TEST(DELTA9Names, ApplyRenameMask) {
    struct TCase {
        const char* Source;
        const char* Mask;
        const char* Target;
    };
    const TCase cases[] = {
        {"report.txt", "*.bak", "report.bak"},
        {"ab.txt", "x??.*", "xb.txt"},
        {"report.txt", "*.*", "report.txt"},
        {"archive.tar.gz", "*.*", "archive.tar.gz"},
        {"archive.tar.gz", "*.zip", "archive.tar.zip"},
        {"Makefile", "*.*", "Makefile"},
        {"name.", "*.*", "name."},
        {".bashrc", "*.*", ".bashrc"},
        {"report.txt", "*", "report"},
        {"report.txt", "copy_of_*.*", "copy_of_.txt"}, // positions run in step: "*" is past the end
        {"a.txt", "newname", "newname"},
        {"data.txt", "?a?a.??k", "data.txk"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " / " + c.Mask);
        EXPECT_EQ(ApplyRenameMask(c.Source, c.Mask), c.Target);
    }
}

TEST_F(DELTA9Platform, ExpandPathMacroOnlyReportsMacros) {
    struct TCase {
        const char* Text;
        const char* Folder;
    };
    const TCase macros[] = {{".doc", "/home/ann/Documents"},
                            {".D", "/home/ann/Documents"},
                            {".Desktop", "/home/ann/Desktop"},
                            {".DESK", "/home/ann/Desktop"},
                            {".windows", "/usr"},
                            {".WIN", "/usr"},
                            {".w", "/usr"},
                            {".SYSTEM", "/usr/bin"},
                            {".sys", "/usr/bin"},
                            {".COMMON", "/usr/share"},
                            {".ProgramFiles", "/opt"},
                            {".PF", "/opt"},
                            {".startup", "/home/ann/.config/autostart"},
                            {".SUP", "/home/ann/.config/autostart"},
                            {".TEMP", "/run/user/1000/ksable/"},
                            {".t", "/run/user/1000/ksable/"}};
    for (const TCase& c : macros) {
        SCOPED_TRACE(c.Text);
        std::string path = c.Text;
        EXPECT_TRUE(ExpandPathMacro(path));
        EXPECT_EQ(path, c.Folder);
    }
    // A program word on the command line is no macro, whatever its case.
    for (const char* text : {"/home/Ann/Projects", "gedit", ".TMP", ".t ", "", "TEMP"}) {
        SCOPED_TRACE(text);
        std::string path = text;
        EXPECT_FALSE(ExpandPathMacro(path));
        EXPECT_EQ(path, text);
    }
}

TEST_F(DELTA9Platform, SplitCommandLine) {
    FFiles.AddFolder("/opt");
    FFiles.AddFolder("/opt/my tools");
    FFiles.AddFile("/opt/my tools/run me", 10);
    struct TCase {
        const char* Text;
        const char* Program;
        const char* Parameters;
    };
    const TCase cases[] = {
        {"ls -l /tmp", "ls", "-l /tmp"},
        {"gedit", "gedit", ""},
        {"make  -j2", "make", " -j2"},
        {"", "", ""},
        {"/opt/my tools/run me --fast now", "/opt/my tools/run me", "--fast now"},
        {"/opt/my tools/run me", "/opt/my tools/run me", ""},
        {"/usr/bin/missing a b", "/usr/bin/missing a b", ""},
        {"/opt x", "/opt", "x"}, // the first existing name wins
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        std::string program = "old", parameters = "old";
        SplitCommandLine(c.Text, program, parameters);
        EXPECT_EQ(program, c.Program);
        EXPECT_EQ(parameters, c.Parameters);
    }
}

TEST_F(DELTA9Platform, FolderLookupsAndDrives) {
    EXPECT_EQ(GetAppPath(), "/opt/ksable/");
    EXPECT_EQ(GetShellFolder("Desktop"), "/home/ann/Desktop");
    EXPECT_EQ(GetShellFolder("Nothing"), "");
    FFiles.AddFolder("/");
    FFiles.AddFolder("/home");
    EXPECT_TRUE(FolderExists("/home"));
    EXPECT_FALSE(FolderExists("/nothing"));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_EQ(GetDriveRoot("/home/ann"), "/");
    EXPECT_EQ(GetDriveRoot(""), "");
    EXPECT_TRUE(DriveReady("/home/ann"));
    EXPECT_FALSE(DriveReady("/media/usb/photos")) << "the mount root is not there";
    EXPECT_EQ(GetDiskSize(""), 0);
    EXPECT_EQ(GetDiskFree("/home"), 400);
}

TEST_F(DELTA9Platform, RegistryRoots) {
    test::TempTree tree;
    TKRegistryStore store(tree / "registry");
    EXPECT_EQ(RegReadString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics", "x"), "")
        << "no store: nothing to read";
    RegWriteString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics", "x", "1");
    SetRegistryStore(&store);
    EXPECT_EQ(RegReadString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics", "x"), "");
    RegWriteString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics",
                   "GraphicsShowSplashScreen", "0");
    EXPECT_EQ(RegReadString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics",
                            "GraphicsShowSplashScreen"),
              "0");
    EXPECT_EQ(RegReadString(TRegRoot::rrCurrentUser, "Software\\delta9\\[sable!]\\graphics", "missing"), "");
    EXPECT_EQ(RegReadString(TRegRoot::rrCurrentUser, "Software\\nothing", "x"), "");

    EXPECT_EQ(
        RegReadString(TRegRoot::rrLocalMachine, "\\System\\CurrentControlSet\\Control\\Nls\\Locale", ""),
        "0000041B");
    EXPECT_EQ(RegReadString(TRegRoot::rrLocalMachine, "System\\CurrentControlSet\\Control\\Nls\\Locale", ""),
              "0000041B");
    EXPECT_EQ(RegReadString(TRegRoot::rrLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                            "ProgramFilesDir"),
              "/opt");
    EXPECT_EQ(RegReadString(TRegRoot::rrLocalMachine, "Software\\Other", ""), "");
    EXPECT_EQ(RegReadString(TRegRoot::rrClassesRoot, ".txt", ""), "Plain text");
    EXPECT_EQ(RegReadString(TRegRoot::rrClassesRoot, ".txt", "Content Type"), "text/plain");
    EXPECT_EQ(RegReadString(TRegRoot::rrClassesRoot, "txtfile\\shell\\open\\command", ""), "");
    EXPECT_EQ(GetFileTypeName(".txt"), "Plain text");
    EXPECT_EQ(GetContentType(".txt"), "text/plain");
    EXPECT_EQ(GetFileTypeName(".unknown"), "");

    RegWriteString(TRegRoot::rrLocalMachine, "Software\\Machine", "x", "1");
    RegWriteString(TRegRoot::rrClassesRoot, ".txt", "", "changed");
    EXPECT_FALSE(store.KeyExists("Software\\Machine")) << "other roots are read-only";
    EXPECT_FALSE(store.KeyExists(".txt"));
    EXPECT_EQ(GetFileTypeName(".txt"), "Plain text");
}

// Walks and deletions (the real disk is tested in tests/platform/FolderWalkTest.cpp)

TEST_F(DELTA9Platform, FolderSizeCountsWithoutFollowingFolderLinks) {
    FFiles.AddFolder("/t");
    FFiles.AddFile("/t/a", 100);
    FFiles.AddFolder("/t/sub");
    FFiles.AddFile("/t/sub/b", 20);
    FFiles.AddFolder("/t/sub/deeper");
    FFiles.AddFile("/t/sub/deeper/c", 3);
    FFiles.AddLink("/t/sub/loop", "/t", true);
    FFiles.AddLink("/t/alink", "/t/a", false);
    FFiles.FNodes["/t/alink"].Entry.Size = 100;
    int messages = 0;
    TFolderSizeWalk walk;
    walk.ProcessMessages = [&messages] { ++messages; };
    EXPECT_EQ(walk.Run("/t"), 223);
    EXPECT_EQ(walk.Bytes(), 223);
    EXPECT_EQ(walk.Folders(), 3) << "sub, deeper and the link to a folder";
    EXPECT_EQ(walk.Files(), 4);
    EXPECT_EQ(messages, 7) << "once after every entry";
    EXPECT_EQ(std::count(FFiles.FListed.begin(), FFiles.FListed.end(), "/t/sub/loop"), 0);
    EXPECT_EQ(FolderSize("/t/"), 223);
    EXPECT_EQ(FolderSize("/missing"), 0);
}

TEST_F(DELTA9Platform, FolderSizeStopsWhenAborted) {
    FFiles.AddFolder("/t");
    for (int i = 0; i < 10; ++i)
        FFiles.AddFile("/t/f" + std::to_string(i), 1);
    FFiles.AddFolder("/t/sub");
    FFiles.AddFile("/t/sub/x", 1000);
    TFolderSizeWalk walk;
    walk.ProcessMessages = [&walk] {
        if (walk.Files() == 3)
            walk.Abort();
    };
    EXPECT_EQ(walk.Run("/t"), 3);
    EXPECT_EQ(walk.Files(), 3);
    EXPECT_TRUE(walk.Aborted());
    EXPECT_EQ(walk.Run("/t"), 0) << "an abort stays until it is reset";
    walk.ResetAbort();
    walk.ProcessMessages = nullptr;
    EXPECT_EQ(walk.Run("/t"), 1010);
    EXPECT_EQ(walk.Folders(), 1) << "the counters start again at every run";
}

TEST_F(DELTA9Platform, FolderSizeRunsTwiceAtOnceWithOwnCounters) {
    std::string deep = "/deep";
    FFiles.AddFolder(deep);
    for (int i = 0; i < 300; ++i) {
        deep += "/d";
        FFiles.AddFolder(deep);
    }
    FFiles.AddFile(deep + "/f", 7);
    FFiles.AddFolder("/wide");
    for (int i = 0; i < 2000; ++i)
        FFiles.AddFile("/wide/f" + std::to_string(i), 2);
    TFolderSizeWalk deepWalk, wideWalk;
    std::thread other([&wideWalk] { wideWalk.Run("/wide"); });
    deepWalk.Run("/deep");
    other.join();
    EXPECT_EQ(deepWalk.Bytes(), 7);
    EXPECT_EQ(deepWalk.Folders(), 300);
    EXPECT_EQ(deepWalk.Files(), 1);
    EXPECT_EQ(wideWalk.Bytes(), 4000);
    EXPECT_EQ(wideWalk.Folders(), 0);
    EXPECT_EQ(wideWalk.Files(), 2000);
}

TEST_F(DELTA9Platform, DeleteFileExNeverReportsAFailureAsSuccess) {
    FFiles.AddFolder("/t");
    FFiles.AddFile("/t/plain", 5);
    FFiles.AddFile("/t/readonly", 5, 1 | 32);
    FFiles.AddFile("/t/stuck", 5, 1 | 32);
    FFiles.FRemoveDenied.insert("/t/stuck");
    FFiles.AddFile("/t/hidden", 5);
    FFiles.FStatDenied.insert("/t/hidden");

    EXPECT_TRUE(DeleteFileEx("/t/plain", false));
    EXPECT_FALSE(FFiles.Has("/t/plain"));
    EXPECT_TRUE(DeleteFileEx("/t/readonly", false)) << "made writable and removed again";
    EXPECT_FALSE(FFiles.Has("/t/readonly"));
    EXPECT_FALSE(DeleteFileEx("/t/stuck", false));
    ASSERT_TRUE(FFiles.Has("/t/stuck"));
    EXPECT_EQ(FFiles.FNodes["/t/stuck"].Entry.Attr & 1, 1u) << "left read-only as it was";
    EXPECT_FALSE(DeleteFileEx("/t/hidden", false)) << "cannot look: not reported as gone";
    EXPECT_TRUE(DeleteFileEx("/t/never-there", false));
    EXPECT_FALSE(DeleteFileEx("/t", false)) << "a folder is no file";
    EXPECT_TRUE(FFiles.Has("/t"));
}

TEST_F(DELTA9Platform, DeleteFileExWipesOnlyWhatItCan) {
    FFiles.AddFolder("/t");
    FFiles.AddFile("/t/secret", 5);
    FFiles.AddFile("/t/readonly", 5, 1 | 32);
    FFiles.AddFile("/t/unwipeable", 5);
    FFiles.FWipeFails.insert("/t/unwipeable");
    FFiles.AddFile("/t/target", 5);
    FFiles.AddLink("/t/link", "/t/target", false);
    FFiles.AddDevice("/t/disk");

    EXPECT_TRUE(DeleteFileEx("/t/secret", true));
    EXPECT_TRUE(DeleteFileEx("/t/readonly", true));
    EXPECT_EQ(FFiles.FWiped, (std::vector<std::string>{"/t/secret", "/t/readonly"}));
    EXPECT_FALSE(FFiles.Has("/t/readonly"));

    EXPECT_FALSE(DeleteFileEx("/t/unwipeable", true)) << "an unwiped file is not deleted";
    EXPECT_TRUE(FFiles.Has("/t/unwipeable"));

    FFiles.FWiped.clear();
    EXPECT_TRUE(DeleteFileEx("/t/link", true));
    EXPECT_TRUE(DeleteFileEx("/t/disk", true));
    EXPECT_TRUE(FFiles.FWiped.empty()) << "neither a link's target nor a device is written";
    EXPECT_TRUE(FFiles.Has("/t/target"));
    EXPECT_FALSE(FFiles.Has("/t/link"));
}

TEST_F(DELTA9Platform, RecycleDeleteTrashesOrRemovesEveryEntry) {
    FFiles.AddFolder("/t");
    FFiles.AddFile("/t/a", 1);
    FFiles.AddFile("/t/b", 1);
    FSystem.FOnTrash = [this](const std::string& path) { FFiles.FNodes.erase(path); };
    EXPECT_TRUE(RecycleDelete("/t/a;/t/b;", true));
    EXPECT_EQ(FSystem.FTrashed, (std::vector<std::string>{"/t/a", "/t/b"}));

    FFiles.AddFile("/t/c", 1);
    FFiles.AddFile("/t/d", 1);
    FSystem.FTrashFails.insert("/t/c");
    EXPECT_FALSE(RecycleDelete("/t/c;/t/d", true)) << "one entry stayed";
    EXPECT_TRUE(FFiles.Has("/t/c"));
    EXPECT_FALSE(FFiles.Has("/t/d"));

    FFiles.AddFolder("/t/tree");
    FFiles.AddFile("/t/tree/x", 1);
    FFiles.AddFolder("/t/tree/sub");
    FFiles.AddFile("/t/tree/sub/y", 1);
    FFiles.AddFolder("/keep");
    FFiles.AddFile("/keep/z", 1);
    FFiles.AddLink("/t/tree/sub/tokeep", "/keep", true);
    EXPECT_TRUE(RecycleDelete("/t/tree", false));
    EXPECT_FALSE(FFiles.Has("/t/tree"));
    EXPECT_FALSE(FFiles.Has("/t/tree/sub/tokeep"));
    EXPECT_TRUE(FFiles.Has("/keep/z")) << "a link to a folder is removed, not followed";

    FFiles.AddFolder("/t/locked");
    FFiles.AddFile("/t/locked/stuck", 1);
    FFiles.FRemoveDenied.insert("/t/locked/stuck");
    FFiles.AddFile("/t/e", 1);
    EXPECT_FALSE(RecycleDelete("/t/locked;/t/e", false));
    EXPECT_TRUE(FFiles.Has("/t/locked/stuck"));
    EXPECT_FALSE(FFiles.Has("/t/e"));
}

TEST_F(DELTA9Platform, RecycleDeleteRefusesNamesThatAreNotFull) {
    FFiles.AddFolder("/");
    FFiles.AddFolder("/t");
    FFiles.AddFile("/t/a", 1);
    for (const char* list : {"", ";", "t/a", "/", "/t/..", "/t/./a", "/t/../t/a"}) {
        SCOPED_TRACE(list);
        EXPECT_FALSE(RecycleDelete(list, false));
        EXPECT_FALSE(RecycleDelete(list, true));
    }
    EXPECT_TRUE(FSystem.FTrashed.empty());
    EXPECT_TRUE(FFiles.Has("/t/a"));
    EXPECT_TRUE(RecycleDelete("/t/missing", false)) << "what is not there is gone";
}

// Rectangles and frames

TEST(DELTA9Rects, CenterFitAndOffset) {
    const TRect outer{10, 20, 109, 69}; // 100 x 50
    EXPECT_EQ(RectWidth(outer), 100);
    EXPECT_EQ(RectHeight(TRect{5, 9, 5, 0}), 10) << "inverted rectangles measure the same";
    EXPECT_EQ(CenterRect(TRect{0, 0, 9, 9}, outer), (TRect{55, 40, 64, 49}));
    EXPECT_EQ(CenterRect(TRect{0, 0, 10, 10}, outer), (TRect{54, 39, 64, 49})) << "halves rounded down";
    EXPECT_EQ(CenterRect(TRect{0, 0, 199, 99}, outer), (TRect{-40, -5, 159, 94})) << "larger than outer";

    // 200 x 50 into 100 x 50: ratio 0.5, so right = round(100 + 10 - 1) - 1.
    EXPECT_EQ(FitRect(TRect{0, 0, 199, 49}, outer), (TRect{10, 20, 108, 43}));
    // Scaling up: 10 x 10 into 100 x 50 gives ratio 5.
    EXPECT_EQ(FitRect(TRect{0, 0, 9, 9}, outer), (TRect{10, 20, 58, 68}));
    // 2 x 1 into 7 x 7: ratio 3.5, and bottom = round(3.5 - 1) - 1 with the half rounding to even.
    EXPECT_EQ(FitRect(TRect{0, 0, 1, 0}, TRect{0, 0, 6, 6}), (TRect{0, 0, 5, 1}));

    EXPECT_EQ(OffsetRect(outer, -10, 5), (TRect{0, 25, 99, 74}));
    EXPECT_EQ(OffsetRect(TRect{INT_MAX, 0, INT_MAX, 0}, 1, 0).Left, INT_MAX) << "clamped, no overflow";
    const int values[] = {4, -2, 9, 0};
    EXPECT_EQ(MinOfArray(values), -2);
    EXPECT_EQ(MaxOfArray(values), 9);
    EXPECT_EQ(MinOfArray({}), 0);
    EXPECT_EQ(SmallerOf(3, -1), -1);
}

TEST(DELTA9Rects, Frame3DStyles) {
    const TRect r{1, 2, 10, 20};
    const TColorRef a = 0xAAAAAA, b = 0x111111;
    const auto colours = [&](int style) {
        std::vector<TColorRef> result;
        for (const TFrameEdge& edge : DrawFrame3D(r, a, style, b).Edges)
            result.push_back(edge.Color);
        return result;
    };
    EXPECT_EQ(colours(1), (std::vector<TColorRef>{b, b, a, a}));
    EXPECT_EQ(colours(2), (std::vector<TColorRef>{a, a, a, a}));
    EXPECT_EQ(colours(3), (std::vector<TColorRef>{a, a, b, b}));
    EXPECT_EQ(colours(0), (std::vector<TColorRef>{b, b, b, b}));
    EXPECT_EQ(colours(7), (std::vector<TColorRef>{b, b, b, b}));
    EXPECT_TRUE(colours(4).empty());

    const TFrame3D frame = DrawFrame3D(r, a, 1, b);
    EXPECT_FALSE(frame.Fill.has_value());
    EXPECT_EQ(frame.Edges[0], (TFrameEdge{1, 2, 1, 20, b}));   // left
    EXPECT_EQ(frame.Edges[1], (TFrameEdge{1, 2, 10, 2, b}));   // top
    EXPECT_EQ(frame.Edges[2], (TFrameEdge{10, 2, 10, 20, a})); // right
    EXPECT_EQ(frame.Edges[3], (TFrameEdge{1, 20, 10, 20, a})); // bottom
    const TFrame3D filled = DrawFrame3D(r, a, 4, b, 0x123456);
    EXPECT_EQ(filled.Fill, std::optional<TColorRef>(0x123456));
    EXPECT_TRUE(filled.Edges.empty());
}

} // namespace
} // namespace ks
