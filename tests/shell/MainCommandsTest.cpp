#include "shell/MainCommands.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "foundation/Keys.h"
#include "foundation/Language.h"
#include "support/TempTree.h"

namespace ks {
namespace {

constexpr TKPanelType AllPanelTypes[] = {ptDriveList, ptFolder,   ptFindResult, ptArchive,
                                         ptFTP,       ptItemInfo, ptPlaylist};

TEST(MainCommandsTest, EveryEntryHasAUniqueNameAndEveryCommandItsEntry) {
    std::set<std::string_view> names;
    int separators = 0;
    for (const TMenuEntry& entry : MainMenuEntries()) {
        EXPECT_TRUE(names.insert(entry.Name).second) << entry.Name;
        if (!entry.Parent.empty()) {
            const TMenuEntry* parent = FindMenuEntry(entry.Parent);
            ASSERT_NE(parent, nullptr) << entry.Name;
            EXPECT_EQ(parent->Kind, mkSubmenu) << entry.Name;
            EXPECT_LT(parent, &entry) << "a submenu comes before its entries: " << entry.Name;
        }
        separators += entry.Kind == mkSeparator ? 1 : 0;
    }
    EXPECT_EQ(separators, 11);
    EXPECT_EQ(FindMenuEntry("N7")->Level, 3);
    EXPECT_EQ(FindMenuEntry("N9")->Level, 3);
    EXPECT_EQ(FindMenuEntry("N10")->Level, 2);

    for (int c = cmNone + 1; c < cmCommandCount; ++c) {
        const auto command = static_cast<TMainCommand>(c);
        const TMenuEntry* entry = MenuEntryOf(command);
        if (command == cmPanelMenu || command == cmCreateNewFile) {
            EXPECT_EQ(entry, nullptr);
            continue;
        }
        ASSERT_NE(entry, nullptr) << c;
        EXPECT_EQ(entry->Command, command);
        EXPECT_EQ(FindMenuEntry(entry->Name), entry);
    }
    EXPECT_EQ(MenuEntryOf(static_cast<TMainCommand>(cmUserFolder1 + 9))->Name, "none10");
    EXPECT_EQ(MenuEntryOf(static_cast<TMainCommand>(cmUserFolder1 + 9))->Shortcut, "Alt+9");
    EXPECT_TRUE(MenuEntryOf(cmIExecuteFile)->Default);
    EXPECT_EQ(FindMenuEntry("sortby1"), nullptr); // names are exact case
}

TEST(MainCommandsTest, UserLevelDecidesVisibilityAndThePanelOptions) {
    TMenuContext context;
    context.UserMode = 1;
    const TMenuState browser = ComputeMenuState(context);
    const std::vector<TMenuEntry>& entries = MainMenuEntries();
    std::set<std::string_view> shownSubmenus;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!browser.EntryVisible[i])
            continue;
        EXPECT_EQ(entries[i].Level, 0) << entries[i].Name;
        if (entries[i].Kind == mkSubmenu)
            shownSubmenus.insert(entries[i].Name);
    }
    EXPECT_EQ(shownSubmenus, (std::set<std::string_view>{"Content1", "Sortby1", "Settings", "Information"}));
    // Level-free entries inside a hidden submenu stay out of reach too.
    for (TMainCommand hidden : {cmSelInvert, cmCommandShell, cmControlPanel, cmUserFolder1, cmFindFile,
                                cmCopyItems, cmCreateNewFile})
        EXPECT_FALSE(browser.Visible[hidden]) << hidden;
    for (TMainCommand shown : {cmChangeLeftPanel, cmSortByName, cmIExecuteFile, cmMoreInfo, cmUserMode,
                               cmAboutSable, cmQuit, cmPanelMenu})
        EXPECT_TRUE(browser.Visible[shown]) << shown;
    EXPECT_TRUE(browser.PanelCountDisabled);
    EXPECT_TRUE(browser.PanelDeleteDisabled);

    context.UserMode = 2;
    const TMenuState beginner = ComputeMenuState(context);
    EXPECT_FALSE(beginner.PanelCountDisabled);
    EXPECT_FALSE(beginner.PanelDeleteDisabled);
    EXPECT_TRUE(beginner.Visible[cmCommandShell]);
    EXPECT_FALSE(beginner.Visible[cmUserFolder1]);
    EXPECT_FALSE(beginner.EntryVisible[static_cast<std::size_t>(FindMenuEntry("N7") - entries.data())]);
    EXPECT_TRUE(beginner.EntryVisible[static_cast<std::size_t>(FindMenuEntry("N10") - entries.data())]);

    context.UserMode = 4;
    const TMenuState expert = ComputeMenuState(context);
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_TRUE(expert.EntryVisible[i]) << entries[i].Name;
}

TEST(MainCommandsTest, CopyAndMoveFollowThePanelPairs) {
    const std::set<std::pair<TKPanelType, TKPanelType>> allowed = {
        {ptFolder, ptFolder},  {ptFolder, ptFindResult}, {ptFolder, ptArchive},
        {ptFolder, ptFTP},     {ptFindResult, ptFolder}, {ptFindResult, ptArchive},
        {ptFindResult, ptFTP}, {ptArchive, ptFolder},    {ptFTP, ptFolder}};
    TMenuContext context;
    for (TKPanelType ap : AllPanelTypes)
        for (TKPanelType op : AllPanelTypes)
            for (bool items : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "ap " << int(ap) << " op " << int(op) << " items " << items);
                context.ActiveType = ap;
                context.OtherType = op;
                context.ActiveHasItems = items;
                const bool expected = items && allowed.count({ap, op}) == 1;
                EXPECT_EQ(CommandRuleAllows(cmCopyItems, context), expected);
                EXPECT_EQ(CommandRuleAllows(cmMoveItems, context), expected);
            }
}

TEST(MainCommandsTest, EnabledStateFollowsPanelsToolsAndAvailability) {
    TMenuContext context;
    context.UserMode = 4;
    context.ActiveHasItems = true;
    context.CursorKind = ikFile;
    context.ToolFound.fill(true);
    for (TKPanelType ap : AllPanelTypes)
        for (TKPanelType op : AllPanelTypes) {
            context.ActiveType = ap;
            context.OtherType = op;
            const TMenuState state = ComputeMenuState(context);
            for (int c = cmNone + 1; c < cmCommandCount; ++c)
                EXPECT_TRUE(CommandAvailable(static_cast<TMainCommand>(c)) || !state.Enabled[c]) << c;
        }
    for (TMainCommand later : {cmFormatdiskette})
        EXPECT_FALSE(CommandAvailable(later)) << later;
    for (TMainCommand dialog : {cmCreateNew, cmCreateNewFile, cmSelSelectSome, cmSelUnSelectSome})
        EXPECT_TRUE(CommandAvailable(dialog)) << dialog;
    for (TMainCommand copying : {cmCopyItems, cmMoveItems, cmCCopy, cmCCut, cmCPaste, cmShowBackOpWindow})
        EXPECT_TRUE(CommandAvailable(copying)) << copying;

    // The viewers need a file under the cursor in a local panel.
    context.ActiveType = ptFolder;
    EXPECT_TRUE(ComputeMenuState(context).Enabled[cmViewFile]);
    EXPECT_TRUE(ComputeMenuState(context).Enabled[cmTextView]);
    EXPECT_TRUE(ComputeMenuState(context).Enabled[cmViewFileExt]);
    context.CursorKind = ikFolder;
    EXPECT_FALSE(ComputeMenuState(context).Enabled[cmTextView]);
    context.CursorKind = ikFile;
    context.ActiveType = ptArchive;
    EXPECT_FALSE(ComputeMenuState(context).Enabled[cmViewFile]);
    // F8 in an archive hands the entries to its archive manager.
    EXPECT_TRUE(ComputeMenuState(context).Enabled[cmDeleteItems]);
    context.ActiveType = ptFolder;
    context.ActiveHasItems = false;
    EXPECT_FALSE(ComputeMenuState(context).Enabled[cmViewFileExt]);
    EXPECT_FALSE(ComputeMenuState(context).Enabled[cmDeleteItems]);
    EXPECT_TRUE(ComputeMenuState(context).Enabled[cmRereadPanel]);

    // A system tool that is not installed leaves its entry disabled.
    context.ToolFound.fill(false);
    context.ToolFound[cmDiskCleaner] = true;
    const TMenuState tools = ComputeMenuState(context);
    EXPECT_TRUE(tools.Enabled[cmDiskCleaner]);
    for (TMainCommand tool : {cmControlPanel, cmControlPanelAppWiz, cmControlpanelAddnewhardware,
                              cmDiskDefrag, cmScanDisk, cmSystemWatcher, cmCommandShell})
        EXPECT_FALSE(tools.Enabled[tool]) << tool;
}

TEST(MainCommandsTest, CheckMarksFollowTheSortSettingsAndTheOtherPanel) {
    TMenuContext context;
    context.SortMode = 2;
    context.FolderFirst = false;
    context.ExecutableFirst = true;
    context.OtherShowsItemInfo = true;
    const TMenuState state = ComputeMenuState(context);
    EXPECT_FALSE(state.Checked[cmSortByName]);
    EXPECT_TRUE(state.Checked[cmSortByExt]);
    EXPECT_FALSE(state.Checked[cmSortBySize]);
    EXPECT_FALSE(state.Checked[cmSortFoldersFirst]);
    EXPECT_TRUE(state.Checked[cmSortExeFirst]);
    EXPECT_TRUE(state.Checked[cmMoreInfo]);
    EXPECT_EQ(FindMenuEntry("SortBySize")->Kind, mkRadio);
    EXPECT_EQ(FindMenuEntry("MoreInfo")->Kind, mkToggle);
}

TEST(MainCommandsTest, KeyMap) {
    enum TCond : unsigned { cNone = 0, cBusy = 1, cText = 2, cLocate = 4, cFile = 8, cExt = 16 };
    struct TCase {
        int Key;
        std::uint32_t Shift;
        unsigned Cond;
        TKeyTarget Target;
        TMainCommand Command;
    };
    constexpr int LeftBracket = 219;
    constexpr int RightBracket = 221;
    const auto letter = [](char c) { return VK_LETTER(c); };
    const TCase cases[] = {
        {letter('M'), ssAlt, cBusy, ktCommand, cmMinimize},
        {letter('M'), ssAlt | ssCtrl, cNone, ktPanel, cmNone},
        {VK_F(4), ssAlt, cBusy, ktCommand, cmQuit},
        {VK_F(4), ssAlt, cText, ktCommand, cmQuit},
        {VK_F(4), ssAlt | ssShift, cNone, ktPanel, cmNone},
        {VK_F10, ssNone, cNone, ktCommand, cmPanelMenu},
        {VK_F10, ssShift, cNone, ktPanel, cmNone}, // the panel's own menu key
        {letter('E'), ssCtrl, cNone, ktCommandLine, cmNone},
        {letter('E'), ssCtrl, cLocate, ktPanel, cmNone},
        {letter('E'), ssCtrl | ssShift, cNone, ktPanel, cmNone},
        {VK_INSERT, ssShift, cNone, ktCommandLine, cmNone},
        {VK_INSERT, ssCtrl, cNone, ktCommandLine, cmNone},
        {VK_INSERT, ssNone, cNone, ktPanel, cmNone},
        {VK_RETURN, ssCtrl, cNone, ktCommandLine, cmNone},
        {LeftBracket, ssCtrl, cNone, ktCommandLine, cmNone},
        {RightBracket, ssAlt, cNone, ktCommandLine, cmNone},
        {RightBracket, ssAlt, cLocate, ktPanel, cmNone},
        {letter('W'), ssNone, cText, ktCommandLine, cmNone},
        {letter('W'), ssShift, cText, ktCommandLine, cmNone},
        {letter('W'), ssNone, cNone, ktPanel, cmNone},
        {letter('C'), ssCtrl, cText, ktCommand, cmCCopy},
        {VK_RETURN, ssNone, cText, ktCommandLine, cmNone},
        {VK_RETURN, ssNone, cText | cBusy, ktPanel, cmNone},
        {VK_RETURN, ssShift, cText, ktPanel, cmNone},
        {VK_RETURN, ssNone, cNone, ktPanel, cmNone},
        {VK_LEFT, ssShift, cText, ktCommandLine, cmNone},
        {VK_BACK, ssNone, cText, ktCommandLine, cmNone},
        {VK_ESCAPE, ssNone, cText, ktCommandLine, cmNone},
        {VK_ESCAPE, ssNone, cText | cBusy, ktPanel, cmNone}, // Esc stops the panel's work
        {letter('S'), ssAlt, cBusy, ktCommand, cmPanelSettings},
        {letter('S'), ssCtrl | ssAlt, cNone, ktCommand, cmCommandShell},
        {letter('S'), ssCtrl | ssAlt | ssShift, cNone, ktCommand, cmCommandShell},
        {letter('S'), ssCtrl | ssAlt, cBusy, ktPanel, cmNone},
        {letter('S'), ssCtrl, cNone, ktPanel, cmNone},
        {VK_F(3), ssNone, cFile, ktCommand, cmTextView},
        {VK_F(3), ssNone, cNone, ktPanel, cmNone}, // a folder is counted by the panel
        {VK_F(3), ssCtrl, cFile, ktPanel, cmNone},
        {VK_F(4), ssNone, cNone, ktCommand, cmViewFile},
        {VK_F(4), ssNone, cExt, ktCommand, cmViewFileExt},
        {VK_F(4), ssCtrl, cNone, ktCommand, cmViewFileExt},
        {VK_F(4), ssCtrl, cExt | cBusy, ktCommand, cmViewFile},
        {VK_F(4), ssShift, cNone, ktCommand, cmCreateNewFile},
        {VK_F(4), ssShift, cBusy, ktPanel, cmNone},
        {VK_F(1), ssNone, cNone, ktCommand, cmAboutSable},
        {VK_F(1), ssNone, cBusy, ktPanel, cmNone},
        {VK_F(1), ssAlt, cNone, ktPanel, cmNone},
        {VK_F(1), ssCtrl, cNone, ktPanel, cmNone},
        {letter('U'), ssAlt, cNone, ktCommand, cmUserMode},
        {VK_F(5), ssCtrl, cNone, ktCommand, cmShowBackOpWindow},
        {VK_F(3), ssAlt, cNone, ktCommand, cmTypePath},
        {VK_F(5), ssAlt, cNone, ktCommand, cmBrowsePath},
        {letter('B'), ssAlt, cNone, ktCommand, cmBrowseLocalNetwork},
        {VK_F(7), ssAlt, cNone, ktCommand, cmFindFile},
        {VK_F(8), ssAlt, cNone, ktCommand, cmCmdLineHistory},
        {VK_F(2), ssNone, cNone, ktCommand, cmRenameItem},
        {VK_F(2), ssAlt, cNone, ktPanel, cmNone},
        {VK_F(5), ssNone, cNone, ktCommand, cmCopyItems},
        {VK_F(5), ssShift, cNone, ktPanel, cmNone},
        {VK_F(5), ssNone, cBusy, ktPanel, cmNone},
        {VK_F(6), ssNone, cNone, ktCommand, cmMoveItems},
        {VK_F(6), ssCtrl, cNone, ktPanel, cmNone},
        {letter('A'), ssAlt, cNone, ktCommand, cmAddToArchive},
        {letter('A'), ssCtrl, cNone, ktPanel, cmNone},
        {VK_F(7), ssNone, cNone, ktCommand, cmCreateNew},
        {letter('C'), ssAlt, cNone, ktCommand, cmCreateShortcut},
        {letter('I'), ssCtrl, cNone, ktCommand, cmMoreInfo},
        {letter('L'), ssCtrl, cNone, ktCommand, cmMoreInfo},
        {letter('I'), ssAlt, cNone, ktPanel, cmNone},
        {letter('E'), ssAlt, cNone, ktCommand, cmChangeFileAttributes},
        {letter('B'), ssCtrl, cNone, ktCommand, cmComparePanels},
        {letter('C'), ssCtrl | ssAlt, cNone, ktCommand, cmControlPanel},
        {letter('R'), ssCtrl | ssAlt, cNone, ktCommand, cmControlPanelAppWiz},
        {letter('L'), ssCtrl | ssAlt, cNone, ktCommand, cmDiskCleaner},
        {letter('X'), ssCtrl, cNone, ktCommand, cmCCut},
        {letter('V'), ssCtrl, cNone, ktCommand, cmCPaste},
        {letter('V'), ssCtrl | ssShift, cNone, ktPanel, cmNone},
        {letter('V'), ssCtrl, cBusy, ktPanel, cmNone},
        {letter('R'), ssCtrl, cNone, ktPanel, cmNone},
        {VK_F(8), ssNone, cNone, ktPanel, cmNone},
        {VK_0 + 3, ssAlt, cText, ktPanel, cmNone},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.Key << " shift " << c.Shift << " cond " << c.Cond);
        TKeyContext context;
        context.ActiveBusy = (c.Cond & cBusy) != 0;
        context.CommandLineHasText = (c.Cond & cText) != 0;
        context.LocateMode = (c.Cond & cLocate) != 0;
        context.CursorOnFile = (c.Cond & cFile) != 0;
        context.ExternalEditor = (c.Cond & cExt) != 0;
        // A mouse button held with the key changes nothing.
        for (std::uint32_t buttons : {0u, static_cast<std::uint32_t>(ssLeft)}) {
            const TKeyAction action = MapMainKey(c.Key, c.Shift | buttons, context);
            EXPECT_EQ(action.Target, c.Target);
            EXPECT_EQ(action.Command, c.Command);
        }
    }
}

TEST(MainCommandsTest, ShippedEnglishWindowFileHasEveryCaption) {
    const std::string path = std::string(KS_SOURCE_DIR) + "/data/lang/ENGLISH/F_MainForm.dat";
    const std::string data = test::TempTree::ReadFile(path);
    ASSERT_FALSE(data.empty()) << path;
    for (std::size_t i = data.find('\n'); i != std::string::npos; i = data.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && data[i - 1] == '\r') << "line ends are CR LF";
    std::map<std::string, std::string> lines;
    for (const TLangLine& line : ParseLangLines(data))
        EXPECT_TRUE(lines.emplace(line.Key, line.Text).second) << "repeated " << line.Key;
    EXPECT_EQ(lines["FormCaption"], "kSable");
    for (const TMenuEntry& entry : MainMenuEntries()) {
        if (entry.Kind == mkSeparator)
            continue;
        const auto found = lines.find(std::string(entry.Name));
        ASSERT_NE(found, lines.end()) << entry.Name;
        EXPECT_EQ(found->second, entry.Caption) << entry.Name;
    }
    EXPECT_EQ(lines["BTNCLOSE~"], "Close (Alt+F4)");
}

} // namespace
} // namespace ks
