#include "foundation/Data.h"

#include <gtest/gtest.h>

#include "foundation/RegistryStore.h"
#include "platform/LinuxFileSystem.h"
#include "support/FakeSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

class DataTest : public ::testing::Test {
protected:
    DataTest() {
        FSystem.FAppPath = FTree.Folder("Sable App") + "/";
        FSystem.FHomeDir = FTree.Folder("home");
        FTree.Folder("Sable App/skins/default");
        FTree.Folder("Sable App/skins/blue");
    }

    std::string StoreFile() const { return FTree / "config/registry"; }

    // A fresh store and settings object over the same file, as a new start of the program sees it.
    TData LoadFresh(TKRegistryStore& store, const TScreenLayout& screen = {}) {
        EXPECT_TRUE(store.Load().has_value());
        TData data(store, FSystem, FFolders);
        data.LoadSettings(screen);
        return data;
    }

    test::TempTree FTree;
    test::FakeSystem FSystem;
    TKLinuxFileSystem FFolders;
};

TEST_F(DataTest, EmptyStoreGivesDefaults) {
    TKRegistryStore store(StoreFile());
    const TData data = LoadFresh(store);
    EXPECT_EQ(data.UserMode, 3);
    EXPECT_TRUE(data.FirstRun);
    EXPECT_EQ(data.AppTitle, "kSable");
    EXPECT_EQ(data.SkinPath, FSystem.FAppPath + "skins/default/");
    EXPECT_EQ(data.LangPath, FSystem.FAppPath + "lang/ENGLISH/");
    EXPECT_EQ(data.LeftPanelPath, FSystem.FHomeDir + "/");
    EXPECT_EQ(data.RightPanelPath, FSystem.FHomeDir + "/");
    EXPECT_EQ(data.PanelSortMode, 1);
    EXPECT_EQ(data.PanelAlphaActive, 96);
    EXPECT_EQ(data.PanelAlphaInactive, 48);
    for (const auto* list : {&data.History, &data.ArchiveList, &data.FtpList})
        EXPECT_EQ(*list, std::vector<std::string>{""});
    EXPECT_EQ(data.MemFolders[0], "");
    EXPECT_EQ(data.MemFolders[1], "/");
    EXPECT_EQ(data.MemFolders[2], FSystem.FHomeDir + "/");
    EXPECT_EQ(data.MemFolders[3], "/usr/");
    EXPECT_EQ(data.MemFolders[7], FSystem.FHomeDir + "/Documents/");
    EXPECT_EQ(data.MemFolders[9], "");
    EXPECT_EQ(data.MenuPos.Left, 16);
}

TEST_F(DataTest, SaveThenLoadRestoresEverything) {
    {
        TKRegistryStore store(StoreFile());
        TData data = LoadFresh(store);
        data.SkinPath = FSystem.FAppPath + "skins/blue/";
        data.UserMode = 4;
        data.PanelSortMode = 3;
        data.PanelAlphaActive = 200;
        data.LeftPanelPath = "/srv/data/";
        data.LeftCursorName = "notes \"draft\".txt";
        data.RightPanelPath = "/tmp/";
        data.MemFolders[0] = "/mnt/usb/";
        data.MemFolders[5] = "/opt/tools/";
        data.History = {"make -C \"my dir\"", "ls", "cd \\x"};
        data.ComboHistories[chFind] = {"*.txt", "*.cpp"};
        data.MainPos = {40, 30};
        ASSERT_TRUE(data.SaveSettings());
    }
    TKRegistryStore store(StoreFile());
    const TData data = LoadFresh(store, {1920, 1080, 900, 620});
    EXPECT_FALSE(data.FirstRun);
    EXPECT_EQ(data.SkinPath, FSystem.FAppPath + "skins/blue/");
    EXPECT_EQ(data.UserMode, 4);
    EXPECT_EQ(data.PanelSortMode, 3);
    EXPECT_EQ(data.PanelAlphaActive, 200);
    EXPECT_EQ(data.LeftPanelPath, "/srv/data/");
    EXPECT_EQ(data.LeftCursorName, "notes \"draft\".txt");
    EXPECT_EQ(data.RightPanelPath, "/tmp/");
    EXPECT_EQ(data.MemFolders[0], "/mnt/usb/");
    EXPECT_EQ(data.MemFolders[5], "/opt/tools/");
    EXPECT_EQ(data.History, (std::vector<std::string>{"make -C \"my dir\"", "ls", "cd \\x"}));
    EXPECT_EQ(data.ComboHistories[chFind], (std::vector<std::string>{"*.txt", "*.cpp"}));
    EXPECT_EQ(data.ComboHistories[chCopy], std::vector<std::string>{});
    EXPECT_EQ(data.MainPos.Left, 40);
    EXPECT_EQ(data.MainPos.Top, 30);
}

TEST_F(DataTest, ProgramFolderIsStoredAsMacroWhateverItsCase) {
    TKRegistryStore store(StoreFile());
    TData data = LoadFresh(store);
    std::string typed = FSystem.FAppPath + "skins/blue/";
    for (char& c : typed)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    data.SkinPath = typed;
    data.LangPath = FSystem.FAppPath + "lang/ENGLISH/";
    ASSERT_TRUE(data.SaveSettings());
    EXPECT_EQ(store.Read("Software\\delta9\\[sable!]\\m_settings", "skin_path"), "#Sable_Path#/SKINS/BLUE/");
    EXPECT_EQ(store.Read("Software\\delta9\\[sable!]\\m_settings", "lang_path"),
              "#Sable_Path#/lang/ENGLISH/");
    EXPECT_EQ(store.Read("Software\\delta9\\[sable!]\\m_settings", "first_run"), "0");
}

TEST_F(DataTest, MissingSkinFolderFallsBackToDefault) {
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    store.Write("Software\\delta9\\[sable!]\\m_settings", "skin_path", "#Sable_Path#/skins/gone/");
    TData data(store, FSystem, FFolders);
    data.LoadSettings({});
    EXPECT_EQ(data.SkinPath, data.DefaultSkinPath);
}

TEST_F(DataTest, CountedListsKeepAtMost21Lines) {
    std::vector<std::string> connections;
    for (int i = 0; i < 25; ++i)
        connections.push_back("host" + std::to_string(i) + "|21|user");
    {
        TKRegistryStore store(StoreFile());
        TData data = LoadFresh(store);
        data.FtpList = connections;
        data.History = {};
        ASSERT_TRUE(data.SaveSettings());
        EXPECT_EQ(store.Read("Software\\delta9\\[sable!]\\m_ftplist", "linescount"), "20");
        EXPECT_EQ(store.Read("Software\\delta9\\[sable!]\\m_history", "linescount"), "-1");
    }
    TKRegistryStore store(StoreFile());
    const TData data = LoadFresh(store);
    ASSERT_EQ(data.FtpList.size(), 21u);
    EXPECT_EQ(data.FtpList[20], "host20|21|user");
    EXPECT_TRUE(data.History.empty());
}

TEST_F(DataTest, CountedListWithDamagedCountReadsSafely) {
    const struct {
        const char* Count;
        std::vector<std::string> Expected;
    } cases[] = {
        {"abc", {"first"}},
        {"999999999", {"first", "second"}},
        {"1", {"first", "second"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Count);
        TKRegistryStore store(StoreFile());
        ASSERT_TRUE(store.Load().has_value());
        store.DeleteKey("Software\\delta9\\[sable!]\\m_history");
        store.Write("Software\\delta9\\[sable!]\\m_history", "linescount", c.Count);
        store.Write("Software\\delta9\\[sable!]\\m_history", "line0", "first");
        store.Write("Software\\delta9\\[sable!]\\m_history", "line1", "second");
        TData data(store, FSystem, FFolders);
        EXPECT_EQ(data.LoadCountedList("m_history"), c.Expected);
    }
}

TEST_F(DataTest, ComboHistoriesKeepOrderAndAreCutAbove20) {
    for (const std::size_t size : {std::size_t{12}, std::size_t{20}, std::size_t{21}}) {
        SCOPED_TRACE(size);
        std::vector<std::string> entries;
        for (std::size_t i = 0; i < size; ++i)
            entries.push_back("entry " + std::to_string(i));
        {
            TKRegistryStore store(StoreFile());
            ASSERT_TRUE(store.Load().has_value());
            TData data(store, FSystem, FFolders);
            data.SaveHistory("m_history_copy", entries);
            ASSERT_TRUE(store.Flush().has_value());
        }
        TKRegistryStore store(StoreFile());
        ASSERT_TRUE(store.Load().has_value());
        TData data(store, FSystem, FFolders);
        const auto loaded = data.LoadHistory("m_history_copy");
        const std::size_t expected = size <= 20 ? size : 11;
        EXPECT_EQ(loaded, std::vector<std::string>(entries.begin(), entries.begin() + expected));
    }
}

TEST_F(DataTest, WindowPositionsAreCorrectedForTheScreen) {
    TScreenLayout screen{1024, 768, 900, 620, 200, 300, 300, 100, 1100, 400};
    const struct {
        const char* Name;
        int Left, Top;
        int ExpectedLeft, ExpectedTop;
    } cases[] = {
        {"negative", -50, -10, 0, 0},
        {"inside", 40, 30, 40, 30},
        {"past right", 500, 10, 1024 - 900, 10},
        {"past bottom", 10, 700, 10, 768 - 620},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TKRegistryStore store(StoreFile());
        ASSERT_TRUE(store.Load().has_value());
        store.Write("Software\\delta9\\[sable!]\\m_position", "mleft", std::to_string(c.Left));
        store.Write("Software\\delta9\\[sable!]\\m_position", "mtop", std::to_string(c.Top));
        store.Write("Software\\delta9\\[sable!]\\m_position", "menuleft", std::to_string(c.Left + 1000));
        TData data(store, FSystem, FFolders);
        data.LoadSettings(screen);
        EXPECT_EQ(data.MainPos.Left, c.ExpectedLeft);
        EXPECT_EQ(data.MainPos.Top, c.ExpectedTop);
        // The flying menu keeps a margin from the right edge.
        EXPECT_EQ(data.MenuPos.Left, 1024 - 200 - 16);
        // A window larger than the screen keeps its corner on it.
        EXPECT_GE(data.SettingsPos.Left, 0);
    }
}

TEST_F(DataTest, MalformedNumbersReadAsDefaults) {
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    store.Write("Software\\delta9\\[sable!]\\m_settings", "musermode", "expert");
    store.Write("Software\\delta9\\[sable!]\\m_panel", "malpact", "12x");
    store.Write("Software\\delta9\\[sable!]", "SettingsSortBy", "7");
    store.Write("Software\\delta9\\[sable!]\\m_position", "mleft", "");
    TData data(store, FSystem, FFolders);
    data.LoadSettings({});
    EXPECT_EQ(data.UserMode, 3);
    EXPECT_EQ(data.PanelAlphaActive, 96);
    EXPECT_EQ(data.PanelSortMode, 1);
    EXPECT_EQ(data.MainPos.Left, 0);
}

TEST_F(DataTest, FirstRunPicksLanguageFromLocale) {
    FSystem.FLocaleId = "0000041B";
    {
        TKRegistryStore store(StoreFile());
        const TData data = LoadFresh(store);
        EXPECT_EQ(data.LangPath, FSystem.FAppPath + "lang/slovak/");
        EXPECT_TRUE(data.LocateArchivesOnFirstRun);
    }
    FSystem.FLocaleId = "00000409";
    TKRegistryStore store(StoreFile());
    const TData data = LoadFresh(store);
    EXPECT_EQ(data.LangPath, FSystem.FAppPath + "lang/ENGLISH/");
}

TEST_F(DataTest, PasswordIsWrittenAtOnce) {
    TKRegistryStore store(StoreFile());
    TData data = LoadFresh(store);
    ASSERT_TRUE(data.SaveSettingsPassword("s3cret \"x\""));
    TKRegistryStore other(StoreFile());
    ASSERT_TRUE(other.Load().has_value());
    EXPECT_EQ(other.Read("Software\\delta9\\[sable!]", "SettingsRegCode"), "s3cret \"x\"");
}

TEST_F(DataTest, SelfSavingControls) {
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    const std::string key(ProgramKey);
    EXPECT_EQ(LoadCheckBoxState(store, key, "SettingsShowHidden"), std::nullopt);
    EXPECT_EQ(AutoSaveValue(store, key, "SettingsShowHidden"), "1");
    EXPECT_EQ(AutoSaveValue(store, "", "CheckBoxDate"), "0");

    SaveCheckBoxState(store, key, "SettingsShowHidden", false);
    EXPECT_EQ(LoadCheckBoxState(store, key, "SettingsShowHidden"), false);
    store.Write(key, "SettingsShowHidden", "yes");
    EXPECT_EQ(LoadCheckBoxState(store, key, "SettingsShowHidden"), false);
    store.Write(key, "SettingsShowHidden", "");
    EXPECT_EQ(LoadCheckBoxState(store, key, "SettingsShowHidden"), std::nullopt);

    SaveEditText(store, key, "SettingsMouseWheelStep", "");
    EXPECT_EQ(store.Read(key, "SettingsMouseWheelStep"), " ");
    SaveEditText(store, "", "EditName", "abc");
    EXPECT_EQ(LoadEditText(store, "Software\\company\\swname", "EditName"), "abc");
    EXPECT_EQ(LoadEditText(store, key, "Missing"), std::nullopt);
}

} // namespace
} // namespace ks
