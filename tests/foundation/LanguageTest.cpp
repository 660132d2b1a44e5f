#include "foundation/Language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

// A pack folder with an English folder beside it, loaded like the program loads them.
class LanguageTest : public ::testing::Test {
protected:
    TLanguage Load(const std::string& english, const std::string& pack) {
        if (!english.empty())
            FTree.File("lang/ENGLISH/F_others.dat", english);
        if (!pack.empty())
            FTree.File("lang/slovak/F_others.dat", pack);
        FTree.Folder("lang/ENGLISH");
        FTree.Folder("lang/slovak");
        TLanguage language;
        language.DefaultLangPath = FTree / "lang/ENGLISH/";
        language.LangPath = FTree / "lang/slovak/";
        language.LoadLanguage(true);
        return language;
    }

    TempTree FTree;
};

TEST_F(LanguageTest, PackTextsReplaceEnglishAndMissingOnesFallBack) {
    const TLanguage language = Load("codePage|0\r\nSTR_FIXED|Hard disk\r\nSTR_CDROM|CD-ROM drive\r\n",
                                    "STR_CDROM|CD-ROM mechanika\r\nnfo_Welcome|Vitajte\r\n"
                                    "str_cdrom|a repeat does not count\r\n");
    EXPECT_EQ(language.Strings().STR_FIXED, "Hard disk");
    EXPECT_EQ(language.Strings().STR_CDROM, "CD-ROM mechanika");
    EXPECT_EQ(language.GetLangText("nfo_Welcome"), "Vitajte");
    // English first, appended as read; the pack only replaced a text and added one entry.
    EXPECT_EQ(language.LangTable(),
              (std::vector<std::string>{"CODEPAGE|0", "STR_FIXED|Hard disk", "STR_CDROM|CD-ROM mechanika",
                                        "NFO_WELCOME|Vitajte"}));
}

TEST_F(LanguageTest, TextInNeitherFileIsEmpty) {
    TLanguage language;
    EXPECT_EQ(language.Strings().STR_FIXED, "Hard disk") << "built-in text before any load";
    language.DefaultLangPath = FTree / "nothing/";
    language.LangPath = FTree / "nothing either/";
    language.LoadLanguage(true);
    EXPECT_TRUE(language.LangTable().empty());
    EXPECT_EQ(language.Strings().STR_FIXED, "");
    EXPECT_EQ(language.Strings().MSGBOX_OK, "");
    EXPECT_EQ(language.LangCharset(), 238);
}

TEST_F(LanguageTest, IdentifiersIgnoreCaseAndTextKeepsEveryBar) {
    const TLanguage language = Load("", "str_msg_counting|PO\xC8\xCD TAM... |%d|%d| = %s\n"
                                        "no bar on this line\n"
                                        "|text of an empty key\n"
                                        "Empty|\n");
    std::string text = "untouched";
    EXPECT_TRUE(language.GetLangText("STR_MSG_COUNTING", text));
    EXPECT_EQ(text, "PO\xC8\xCD TAM... |%d|%d| = %s");
    EXPECT_EQ(language.Strings().STR_MSG_COUNTING, text);
    EXPECT_EQ(language.GetLangText("Str_Msg_Counting"), text);
    EXPECT_TRUE(language.GetLangText("empty", text));
    EXPECT_EQ(text, "");
    text = "untouched";
    EXPECT_FALSE(language.GetLangText("no bar on this line", text));
    EXPECT_EQ(text, "untouched") << "a missing identifier leaves the caller's text";
    EXPECT_EQ(language.LangTable().size(), 3u);
}

TEST_F(LanguageTest, LineEndsAndByteOrderMark) {
    struct Case {
        const char* Name;
        std::string File;
        int CodePage;
    };
    const Case cases[] = {
        {"CR LF", "codePage|204\r\nSTR_FIXED|disk\r\n", 1251},
        {"LF, no end at the last line", "codePage|204\nSTR_FIXED|disk", 1251},
        {"BOM wins over codePage",
         "\xEF\xBB\xBF"
         "codePage|238\r\nSTR_FIXED|disk\r\n",
         65001},
        {"codePage 65001", "codePage|65001\r\nSTR_FIXED|disk\r\n", 65001},
        {"no codePage", "STR_FIXED|disk\r\n", 1250},
        {"codePage not a number", "codePage|cp1250\r\nSTR_FIXED|disk\r\n", 1250},
        {"codePage above a byte", "codePage|300\r\nSTR_FIXED|disk\r\n", 1250},
        {"unknown character set", "codePage|77\r\nSTR_FIXED|disk\r\n", 1252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempTree tree;
        tree.File("pack/F_others.dat", c.File);
        TLanguage language;
        language.DefaultLangPath = language.LangPath = tree / "pack/";
        language.LoadLanguage(true);
        EXPECT_EQ(language.Strings().STR_FIXED, "disk");
        EXPECT_EQ(language.CodePage(), c.CodePage);
        for (const std::string& entry : language.LangTable())
            EXPECT_EQ(entry.find_first_of("\r\xEF"), std::string::npos) << entry;
    }
}

TEST_F(LanguageTest, CodePageMissingInPackComesFromEnglish) {
    EXPECT_EQ(Load("codePage|0\r\n", "STR_FIXED|x\r\n").LangCharset(), 0);
    TempTree other;
    other.File("pack/F_others.dat", "STR_FIXED|x\r\n");
    TLanguage alone;
    alone.LangPath = other / "pack/";
    alone.DefaultLangPath = other / "missing/";
    alone.LoadLanguage(true);
    EXPECT_EQ(alone.LangCharset(), 238);
    EXPECT_EQ(alone.CodePage(), 1250);
}

TEST_F(LanguageTest, IdentifierWithoutUnderscoreWins) {
    struct Case {
        const char* Name;
        std::string Pack;
        std::string Expected;
    };
    const Case cases[] = {
        {"only with _", "_STRConDeleteFolder|with\r\n", "with"},
        {"only without _", "STRConDeleteFolder|without\r\n", "without"},
        {"both, with _ later in the file", "STRConDeleteFolder|without\r\n_STRConDeleteFolder|with\r\n",
         "without"},
        {"neither", "STR_FIXED|x\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempTree tree;
        tree.File("pack/F_others.dat", c.Pack);
        TLanguage language;
        language.DefaultLangPath = language.LangPath = tree / "pack/";
        language.LoadLanguage(true);
        EXPECT_EQ(language.Strings().STRConDeleteFolder, c.Expected);
    }
}

TEST_F(LanguageTest, FileNamesInThePackIgnoreCase) {
    FTree.File("pack/f_OTHERS.DAT", "STR_FIXED|disk\r\n");
    FTree.File("pack/f_mainform.DAT", "FormCaption|kSable\r\nLEFTPANEL~|left\r\n");
    TLanguage language;
    language.DefaultLangPath = language.LangPath = FTree / "pack";
    language.LoadLanguage(true);
    EXPECT_EQ(language.Strings().STR_FIXED, "disk");

    const std::vector<TLangLine> lines = ReadWindowFile(FTree / "pack/", "MainForm");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Key, "FormCaption") << "window keys keep their case";
    EXPECT_EQ(lines[1].Key, "LEFTPANEL~");
    EXPECT_EQ(lines[1].Text, "left");
    EXPECT_TRUE(ReadWindowFile(FTree / "pack/", "Missing").empty());
    EXPECT_TRUE(ReadWindowFile(FTree / "pack/", "../pack/f_mainform").empty());

    // Saving goes to the file that is there, not to a second one with the canonical name.
    ASSERT_TRUE(language.SaveLanguage());
    EXPECT_EQ(TempTree::ReadFile(FTree / "pack/f_OTHERS.DAT"), "STR_FIXED|disk\r\n");
    struct stat info {};
    EXPECT_NE(::stat((FTree / "pack/F_others.dat").c_str(), &info), 0);
}

TEST_F(LanguageTest, SaveThenLoadReproducesTheTable) {
    TLanguage language = Load("codePage|0\r\nSTR_FIXED|Hard disk\r\nDUP|first\r\nDUP|second\r\n",
                              "\xEF\xBB\xBFSTR_FIXED|Pevn\xC3\xBD disk\r\nA|x|y|\rz\r\r\n");
    language.SetLangText("nfo_Added", "added | later");
    language.SetLangText("bad|id", "ignored");
    const std::vector<std::string> table = language.LangTable();
    ASSERT_TRUE(language.SaveLanguage());

    const std::string saved = TempTree::ReadFile(FTree / "lang/slovak/F_others.dat");
    EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF") << "a UTF-8 pack stays UTF-8";
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(FTree / "lang/slovak"))
        ++files;
    EXPECT_EQ(files, 1) << "no temporary file left beside the pack";
    EXPECT_NE(saved.find("CODEPAGE|0\r\nSTR_FIXED|Pevn\xC3\xBD disk\r\nDUP|first\r\nDUP|second\r\n"),
              std::string::npos);

    TLanguage reloaded;
    reloaded.DefaultLangPath = language.DefaultLangPath;
    reloaded.LangPath = language.LangPath;
    reloaded.LoadLanguage(true);
    EXPECT_EQ(reloaded.LangTable(), table);
    EXPECT_EQ(reloaded.CodePage(), 65001);
    EXPECT_EQ(reloaded.GetLangText("a"), "x|y|\rz\r");
    EXPECT_EQ(reloaded.GetLangText("dup"), "first");
}

TEST_F(LanguageTest, SaveIntoAMissingFolderFailsAndLeavesNothing) {
    TLanguage language = Load("STR_FIXED|Hard disk\r\n", "");
    language.LangPath = FTree / "lang/gone/";
    EXPECT_FALSE(language.SaveLanguage());
    struct stat info {};
    EXPECT_NE(::stat((FTree / "lang/gone").c_str(), &info), 0);
}

TEST_F(LanguageTest, WindowFileRoundTrip) {
    const std::vector<TLangLine> lines = {
        {"FormCaption", "Settings | kSable"}, {"Apply", "&Apply"}, {"Apply~", ""}};
    FTree.Folder("pack");
    ASSERT_TRUE(SaveWindowFile(FTree / "pack", "TSettingsForm", lines));
    EXPECT_EQ(TempTree::ReadFile(FTree / "pack/F_TSettingsForm.dat"),
              "FormCaption|Settings | kSable\r\nApply|&Apply\r\nApply~|\r\n");
    const std::vector<TLangLine> read = ReadWindowFile(FTree / "pack", "TSettingsForm");
    ASSERT_EQ(read.size(), lines.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].Key, lines[i].Key);
        EXPECT_EQ(read[i].Text, lines[i].Text);
    }
    EXPECT_FALSE(SaveWindowFile(FTree / "pack", "../escape", lines));
}

TEST_F(LanguageTest, HostileBytesParseWithoutHarm) {
    std::string garbage(std::string("K\0EY|te\0xt\r\n", 12));
    garbage += std::string(200000, 'x') + "|" + std::string(200000, '|') + "\n";
    for (int i = 0; i < 256; ++i)
        garbage += static_cast<char>(i);
    garbage += "\r\r\r|\n\n\n|";
    const std::vector<TLangLine> lines = ParseLangLines(garbage);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].Key, std::string("K\0EY", 4));
    EXPECT_EQ(lines[0].Text, std::string("te\0xt", 5));
    EXPECT_EQ(lines[1].Text, std::string(200000, '|'));
    EXPECT_EQ(lines.back().Key, "");

    FTree.File("pack/F_others.dat", garbage);
    TLanguage language;
    language.DefaultLangPath = language.LangPath = FTree / "pack/";
    language.LoadLanguage(true);
    EXPECT_EQ(language.GetLangText(std::string("k\0ey", 4)), std::string("te\0xt", 5));

    // A folder or a FIFO named like the message table is not a file to read (and must not block).
    FTree.Folder("dirpack/F_others.dat");
    FTree.Folder("fifopack");
    ASSERT_EQ(::mkfifo((FTree / "fifopack/F_others.dat").c_str(), 0600), 0);
    for (const char* pack : {"dirpack/", "fifopack/"}) {
        TLanguage empty;
        empty.DefaultLangPath = empty.LangPath = FTree / pack;
        empty.LoadLanguage(true);
        EXPECT_TRUE(empty.LangTable().empty()) << pack;
    }
}

// The English pack shipped with the program.
class ShippedPackTest : public ::testing::Test {
protected:
    const std::string FFolder = KS_SOURCE_DIR "/data/lang/ENGLISH/";
    const std::string FBytes = TempTree::ReadFile(FFolder + "F_others.dat");
};

TEST_F(ShippedPackTest, HoldsEveryIdentifierWithTheBuiltInTexts) {
    ASSERT_FALSE(FBytes.empty());
    TLanguage language;
    language.DefaultLangPath = language.LangPath = FFolder;
    language.LoadLanguage(true);
    EXPECT_EQ(language.LangTable().front(), "CODEPAGE|0");
    EXPECT_EQ(language.CodePage(), 1252);

    const TLangStrings builtIn;
    for (const TLangStringId& id : LangStringIds) {
        SCOPED_TRACE(std::string(id.Id));
        std::string text;
        EXPECT_TRUE(language.GetLangText(id.Id, text));
        EXPECT_EQ(text, builtIn.*id.Member);
    }
    for (const std::string_view id : DirectLangIds) {
        SCOPED_TRACE(std::string(id));
        std::string text;
        EXPECT_TRUE(language.GetLangText(id, text));
        EXPECT_FALSE(text.empty());
    }
    // Formats the program fills in: the sort line takes three texts, pack counts a number.
    EXPECT_NE(language.GetLangText("nfo_SortResult").find("%s%s%s"), std::string::npos);
    EXPECT_NE(language.GetLangText("str_SettInstallLangPack").find("%d"), std::string::npos);
    EXPECT_NE(language.GetLangText("_strCRSHDescription").find("%s"), std::string::npos);
}

TEST_F(ShippedPackTest, UsesCrLfAndNoDuplicates) {
    ASSERT_FALSE(FBytes.empty());
    EXPECT_EQ(FBytes.substr(0, 12), "codePage|0\r\n");
    EXPECT_EQ(FBytes.substr(FBytes.size() - 2), "\r\n");
    for (std::size_t i = 0; i < FBytes.size(); ++i) {
        if (FBytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && FBytes[i - 1] == '\r') << "bare LF at byte " << i;
        }
        if (FBytes[i] == '\r') {
            ASSERT_TRUE(i + 1 < FBytes.size() && FBytes[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    TLanguage language;
    language.DefaultLangPath = language.LangPath = FFolder;
    language.LoadLanguage(true);
    std::vector<std::string> ids;
    for (const std::string& entry : language.LangTable())
        ids.push_back(entry.substr(0, entry.find('|')));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_NE(TempTree::ReadFile(FFolder + "lang.ini").find("National="), std::string::npos);
}

TEST_F(ShippedPackTest, SpeaksOfTheLinuxDesktopNotOfWindows) {
    // Words that only make sense on Windows; identifiers may keep them, texts may not.
    const std::string_view windowsWords[] = {"windows",       "recycle bin",   "start menu", "startmenu",
                                             "control panel", "program files", "scan-disk",  "shortcut",
                                             "c:\\",          ".lnk",          ".exe"};
    const auto check = [&](const std::string& where, const std::string& text) {
        // Lower case, without the accelerator marks that split words ("Co&ntrol panel").
        std::string lower;
        for (const unsigned char c : text)
            if (c != '&')
                lower += static_cast<char>(std::tolower(c));
        for (const std::string_view word : windowsWords)
            EXPECT_EQ(lower.find(word), std::string::npos) << where << ": " << text;
    };
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FFolder)) {
        if (entry.path().extension() != ".dat")
            continue;
        ++files;
        const std::string bytes = TempTree::ReadFile(entry.path().string());
        for (std::size_t start = 0; start < bytes.size();) {
            const std::size_t end = std::min(bytes.find("\r\n", start), bytes.size());
            const std::string line = bytes.substr(start, end - start);
            if (const std::size_t bar = line.find('|'); bar != std::string::npos)
                check(entry.path().filename().string() + " " + line.substr(0, bar), line.substr(bar + 1));
            start = end + 2;
        }
    }
    EXPECT_GE(files, 7);
    const TLangStrings builtIn;
    for (const TLangStringId& id : LangStringIds)
        check("built-in " + std::string(id.Id), builtIn.*id.Member);
}

} // namespace
} // namespace ks
