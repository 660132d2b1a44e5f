#include "foundation/IniFile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "support/TempTree.h"

namespace ks {
namespace {

TEST(IniFile, ReadsSectionsAndKeysIgnoringCaseFirstOneWins) {
    TIniFile ini;
    ini.SetText("; skin\r\n[M_Pos]\r\nmlPanel = 1|2|3|4\r\nmlpanel=second\r\nurl=a=b\r\nempty=\r\n"
                "no value line\r\n[m_pos]\r\nmlpanel=other section\r\n[Next] ; note\r\nx=1");
    EXPECT_EQ(ini.ReadString("m_pos", "MLPANEL", "d"), "1|2|3|4");
    EXPECT_EQ(ini.ReadString("M_POS", "url", "d"), "a=b");
    EXPECT_EQ(ini.ReadString("m_pos", "empty", "d"), "");
    EXPECT_EQ(ini.ReadString("m_pos", "missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("nope", "x", "d"), "d");
    EXPECT_EQ(ini.ReadString("next", "x", "d"), "1");
    EXPECT_TRUE(ini.SectionExists("NEXT"));
    EXPECT_FALSE(ini.SectionExists("skin"));
    EXPECT_TRUE(ini.ValueExists("m_pos", "EMPTY"));
    EXPECT_EQ(ini.ReadSection("m_pos"), (std::vector<std::string>{"mlPanel", "url", "empty"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"M_Pos", "Next"}));
}

TEST(IniFile, KeysBeforeAnySectionAreKeptButNotValues) {
    TIniFile ini;
    ini.SetText("orphan=1\n[s]\nk=v\n");
    EXPECT_EQ(ini.ReadString("", "orphan", "d"), "d");
    EXPECT_EQ(ini.Text(), "orphan=1\n[s]\nk=v\n");
}

TEST(IniFile, UnchangedTextRoundTripsAndLineBreaksFollowTheFile) {
    struct Case {
        std::string In;
        std::string Out;
    };
    const Case cases[] = {
        {"[a]\r\n; c\r\n  k = v  \r\n\r\n", "[a]\r\n; c\r\n  k = v  \r\n\r\n"},
        {"[a]\nk=v\n", "[a]\nk=v\n"},
        {"[a]\nk=v", "[a]\nk=v\n"},                               // a last line without a break gets one
        {"\xEF\xBB\xBF[a]\r\nk=v", "\xEF\xBB\xBF[a]\r\nk=v\r\n"}, // the byte-order mark stays
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.In);
        TIniFile ini;
        ini.SetText(c.In);
        EXPECT_EQ(ini.Text(), c.Out);
    }
}

TEST(IniFile, WriteStringChangesInPlaceAddsAfterLastKeyAndRefusesBrokenNames) {
    TIniFile ini;
    ini.SetText("[A]\nKey=old\n\n; end of a\n[b]\nz=1\n");
    EXPECT_TRUE(ini.WriteString("a", "key", "new"));
    EXPECT_TRUE(ini.WriteString("a", "added", "x\r\ny"));
    EXPECT_TRUE(ini.WriteString("c", "k", "v"));
    EXPECT_EQ(ini.Text(), "[A]\nKey=new\nadded=x  y\n\n; end of a\n[b]\nz=1\n[c]\nk=v\n");

    const std::string before = ini.Text();
    EXPECT_FALSE(ini.WriteString("", "k", "v"));
    EXPECT_FALSE(ini.WriteString("s]x", "k", "v"));
    EXPECT_FALSE(ini.WriteString("s\n[t", "k", "v"));
    EXPECT_FALSE(ini.WriteString("s", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("s", ";k", "v"));
    EXPECT_FALSE(ini.WriteString("s", "[k", "v"));
    EXPECT_FALSE(ini.WriteString("s", " ", "v"));
    EXPECT_EQ(ini.Text(), before);

    TIniFile fresh;
    fresh.WriteString("s", "k", "v");
    EXPECT_EQ(fresh.Text(), "[s]\r\nk=v\r\n");
}

TEST(IniFile, GarbageParsesWithoutHarm) {
    std::string garbage("[a\0b]\nk\0ey=v\0al\n", 16);
    garbage += std::string(200000, 'x') + "=" + std::string(100000, '[') + "\r\r\n=\n[\n]\n[]\nq=1";
    TIniFile ini;
    ini.SetText(garbage);
    EXPECT_EQ(ini.ReadString(std::string("a\0b", 3), std::string("k\0ey", 4), "d"), std::string("v\0al", 4));
    EXPECT_EQ(ini.ReadString("", "q", "d"), "1"); // "[]" is a section with an empty name
    // The CRs before the LF are dropped (the file uses LF), and the last line gets its LF.
    EXPECT_EQ(ini.Text().size(), garbage.size() - 1);
}

TEST(IniFile, LoadAndSaveThroughRealFiles) {
    test::TempTree tree;
    TIniFile ini;
    // A missing file is an empty ini.
    ASSERT_TRUE(ini.Load(tree / "missing.ini"));
    EXPECT_EQ(ini.Text(), "");

    const std::string path = tree.File("data.ini", "; keep me\n[s]\nk=1\n");
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(ini.Load(path));
    ini.WriteString("s", "k", "2");
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(test::TempTree::ReadFile(path), "; keep me\n[s]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Only the file itself is left in the folder: the temporary one was renamed over it.
    std::string listing;
    for (const auto& entry : std::filesystem::directory_iterator(tree.Path()))
        listing += entry.path().filename().string() + ";";
    EXPECT_EQ(listing, "data.ini;");

    // Saving into a folder that does not exist fails and creates nothing.
    EXPECT_FALSE(ini.Save(tree / "no/such/data.ini"));
}

TEST(IniFile, LoadRefusesFoldersAndOversizedFilesAndLeavesThemAlone) {
    test::TempTree tree;
    TIniFile ini;
    ini.SetText("[x]\nk=v\n");
    EXPECT_FALSE(ini.Load(tree.Folder("folder.ini")));
    EXPECT_EQ(ini.Text(), "");

    const std::string big = tree.File("big.ini", "[s]\n" + std::string(MaxIniFileSize, ';'));
    Result<void> loaded = ini.Load(big);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().Code, TErrorCode::ecUnsupported);
    EXPECT_FALSE(ini.SectionExists("s"));

    const std::string exact = tree.File("exact.ini", "[s]\n" + std::string(MaxIniFileSize - 4, ';'));
    EXPECT_TRUE(ini.Load(exact));
    EXPECT_TRUE(ini.SectionExists("s"));
}

} // namespace
} // namespace ks
