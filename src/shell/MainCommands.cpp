#include "shell/MainCommands.h"

#include "foundation/Keys.h"

#include <initializer_list>

namespace ks {

namespace {

std::vector<TMenuEntry> BuildEntries() {
    std::vector<TMenuEntry> e;
    const auto item = [&e](std::string_view name, std::string_view caption, std::string_view shortcut,
                           int level, std::string_view parent, TMainCommand command,
                           TMenuEntryKind kind = mkItem) {
        e.push_back({name, caption, shortcut, level, parent, kind, command, false});
    };
    const auto submenu = [&e](std::string_view name, std::string_view caption, int level,
                              std::string_view parent) {
        e.push_back({name, caption, {}, level, parent, mkSubmenu, cmNone, false});
    };
    const auto separator = [&e](std::string_view name, int level, std::string_view parent) {
        e.push_back({name, "-", {}, level, parent, mkSeparator, cmNone, false});
    };

    submenu("Content1", "Content", 0, {});
    item("ChangeLeftPanel", "List of drives, system folders", "Alt+F1", 0, "Content1", cmChangeLeftPanel);
    item("TypePath", "Type path...", "Alt+F3", 0, "Content1", cmTypePath);
    item("BrowsePath", "Browse path...", "Alt+F5", 0, "Content1", cmBrowsePath);
    item("BrowseLocalNetwork", "Browse local network...", "Alt+B", 0, "Content1", cmBrowseLocalNetwork);
    separator("N1", 0, "Content1");
    item("FindFile", "Find items...", "Alt+F7", 2, "Content1", cmFindFile);
    item("FTP", "FTP connection...", "Ctrl+F", 4, "Content1", cmFTP);
    item("RereadPanel", "Re-read items", "Ctrl+R", 0, "Content1", cmRereadPanel);
    item("ShowBackOpWindow", "Show BackOp. window", "Ctrl+F5", 3, "Content1", cmShowBackOpWindow);
    item("ShowFlyingMenu", "Show flying menu", {}, 0, "Content1", cmShowFlyingMenu);
    item("ShowFTPStatus", "Show FTP status", {}, 4, "Content1", cmShowFTPStatus);
    separator("N2", 0, "Content1");
    submenu("UserDefinedFolders", "User defined folders...", 3, "Content1");
    static constexpr std::string_view folderNames[10] = {"none1", "none2", "none3", "none4", "none5",
                                                         "none6", "none7", "none8", "none9", "none10"};
    static constexpr std::string_view folderKeys[10] = {"Alt+0", "Alt+1", "Alt+2", "Alt+3", "Alt+4",
                                                        "Alt+5", "Alt+6", "Alt+7", "Alt+8", "Alt+9"};
    for (int n = 0; n < 10; ++n)
        item(folderNames[n], "<none>", folderKeys[n], 0, "UserDefinedFolders",
             static_cast<TMainCommand>(cmUserFolder1 + n));

    submenu("Sortby1", "Sort by", 0, {});
    item("SortFoldersFirst", "Sort folders first", "Ctrl+F6", 0, "Sortby1", cmSortFoldersFirst, mkToggle);
    item("SortExeFirst", "Sort executable before others", "Ctrl+F7", 0, "Sortby1", cmSortExeFirst, mkToggle);
    separator("N3", 0, "Sortby1");
    item("SortByName", "Sort by name", "Ctrl+F1", 0, "Sortby1", cmSortByName, mkRadio);
    item("SortByExt", "Sort by extension", "Ctrl+F2", 0, "Sortby1", cmSortByExt, mkRadio);
    item("SortBySize", "Sort by size", "Ctrl+F3", 0, "Sortby1", cmSortBySize, mkRadio);
    separator("N4", 0, "Sortby1");
    item("SortItems", "Sort items", "Ctrl+S", 0, "Sortby1", cmSortItems);

    separator("N5", 0, {});
    item("IExecuteFile", "Run/open item", "Enter", 0, {}, cmIExecuteFile);
    e.back().Default = true;
    item("LocateItem", "Locate item", "Shift+Enter", 2, {}, cmLocateItem);
    item("MoreInfo", "More info", "Ctrl+I", 0, {}, cmMoreInfo, mkToggle);
    item("CalculSizes", "Count item-sizes", "Ctrl+Q", 2, {}, cmCalculSizes);
    item("TextView", "Text viewer", "F3", 2, {}, cmTextView);
    item("ViewFile", "Editor", "F4", 2, {}, cmViewFile);
    item("ViewFileExt", "Ext.editor", "Ctrl+F4", 3, {}, cmViewFileExt);
    separator("N6", 0, {});
    item("CopyItems", "Copy...", "F5", 2, {}, cmCopyItems);
    item("MoveItems", "Move/rename...", "F6", 2, {}, cmMoveItems);
    item("RenameItem", "Rename", "F2", 2, {}, cmRenameItem);
    item("AddToArchive", "Add to archive", "Alt+A", 3, {}, cmAddToArchive);
    item("CreateNew", "Create new...", "F7", 2, {}, cmCreateNew);
    item("DeleteItems", "Delete...", "F8", 2, {}, cmDeleteItems);
    item("ChangeFileAttributes", "Attributes...", "Alt+E", 3, {}, cmChangeFileAttributes);
    item("CreateShortcut", "Create launcher...", "Alt+C", 3, {}, cmCreateShortcut);

    submenu("Mark", "Mark", 2, {});
    item("SelInvert", "Select/desele&ct item", "Ins", 0, "Mark", cmSelInvert);
    item("SelSelectAll", "Select &all", {}, 0, "Mark", cmSelSelectAll);
    item("SelUnselectAll", "Unselect a&ll", {}, 0, "Mark", cmSelUnselectAll);
    item("SelInvertAll", "&Invert selection", {}, 0, "Mark", cmSelInvertAll);
    item("SelSelectSome", "Select items...", {}, 0, "Mark", cmSelSelectSome);
    item("SelUnSelectSome", "Unselect items...", {}, 0, "Mark", cmSelUnSelectSome);

    submenu("Commands", "Commands", 2, {});
    item("CmdLineHistory", "Command line history...", "Alt+F8", 0, "Commands", cmCmdLineHistory);
    item("CommandShell", "C&ommand shell...", "Ctrl+Alt+S", 0, "Commands", cmCommandShell);
    item("ComparePanels", "Compare items...", "Ctrl+B", 3, "Commands", cmComparePanels);
    item("CCopy", "Copy items", "Ctrl+C", 3, "Commands", cmCCopy);
    item("CCut", "Cut items", "Ctrl+X", 3, "Commands", cmCCut);
    item("CPaste", "Paste items", "Ctrl+V", 3, "Commands", cmCPaste);
    separator("N7", 3, "Commands");
    item("ConnectNetDrive", "&Connect network share...", {}, 3, "Commands", cmConnectNetDrive);
    item("DisconnectNetDrive", "&Disconnect network share...", {}, 3, "Commands", cmDisconnectNetDrive);
    separator("N8", 0, "Commands");
    item("Formatdiskette", "&Format diskette...", {}, 0, "Commands", cmFormatdiskette);
    item("Copydiskette", "Copy diske&tte...", {}, 0, "Commands", cmCopydiskette);
    item("ControlPanel", "Desktop setti&ngs...", "Ctrl+Alt+C", 0, "Commands", cmControlPanel);
    item("ControlPanelAppWiz", "Software - &Remove applications...", "Ctrl+Alt+R", 3, "Commands",
         cmControlPanelAppWiz);
    item("ControlpanelAddnewhardware", "&Add new hardware...", {}, 4, "Commands",
         cmControlpanelAddnewhardware);
    separator("N9", 3, "Commands");
    item("DiskCleaner", "D&isk usage...", "Ctrl+Alt+L", 3, "Commands", cmDiskCleaner);
    item("DiskDefrag", "Disk d&efragmentation...", {}, 3, "Commands", cmDiskDefrag);
    item("ScanDisk", "Check di&sks...", {}, 3, "Commands", cmScanDisk);
    item("SystemWatcher", "System &watcher...", {}, 3, "Commands", cmSystemWatcher);

    submenu("Settings", "Settings", 0, {});
    item("UserMode", "User mode...", "Alt+U", 0, "Settings", cmUserMode);
    separator("N10", 2, "Settings");
    item("LangSettings", "Language settings...", {}, 2, "Settings", cmLangSettings);
    item("SkinChooser", "Skin chooser...", {}, 2, "Settings", cmSkinChooser);
    item("PanelSettings", "Panel settings...", "Alt+S", 2, "Settings", cmPanelSettings);
    item("PanelGraphics", "Graphics settings...", {}, 2, "Settings", cmPanelGraphics);

    submenu("Information", "Informations", 0, {});
    item("AboutSable", "About...", "F1", 0, "Information", cmAboutSable);
    item("DELTA9website1", "DELTA9 page", {}, 0, "Information", cmDELTA9website1);
    item("Sablepage1", "Sable page", {}, 0, "Information", cmSablepage1);

    separator("N11", 0, {});
    item("Minimize", "Minimize", "Alt+M", 0, {}, cmMinimize);
    item("Quit", "Exit", {}, 0, {}, cmQuit);
    return e;
}

// Index of each command's entry in MainMenuEntries(), -1 for commands without one.
const std::array<int, cmCommandCount>& CommandIndex() {
    static const std::array<int, cmCommandCount> index = [] {
        std::array<int, cmCommandCount> result{};
        result.fill(-1);
        const std::vector<TMenuEntry>& entries = MainMenuEntries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].Command != cmNone)
                result[entries[i].Command] = static_cast<int>(i);
        return result;
    }();
    return index;
}

bool OneOf(TKPanelType type, std::initializer_list<TKPanelType> types) {
    for (TKPanelType t : types)
        if (t == type)
            return true;
    return false;
}

// The panel pairs between which items can be copied or moved: local folders and find results
// on one side, a folder, an archive or an FTP site on the other.
bool CopyPairAllowed(TKPanelType active, TKPanelType other) {
    switch (active) {
    case ptFolder:
        return OneOf(other, {ptFolder, ptFindResult, ptArchive, ptFTP});
    case ptFindResult:
        return OneOf(other, {ptFolder, ptArchive, ptFTP});
    case ptArchive:
    case ptFTP:
        return other == ptFolder;
    default:
        return false;
    }
}

bool IsSystemTool(TMainCommand command) {
    switch (command) {
    case cmControlPanel:
    case cmControlPanelAppWiz:
    case cmControlpanelAddnewhardware:
    case cmDiskCleaner:
    case cmDiskDefrag:
    case cmScanDisk:
    case cmSystemWatcher:
    case cmCommandShell:
        return true;
    default:
        return false;
    }
}

} // namespace

bool CommandRuleAllows(TMainCommand command, const TMenuContext& c) {
    const TKPanelType ap = c.ActiveType;
    const bool items = c.ActiveHasItems;
    const bool viewFile = c.CursorKind == ikFile && items && !OneOf(ap, {ptArchive, ptFTP});
    if (IsSystemTool(command))
        return c.ToolFound[command];
    switch (command) {
    case cmCalculSizes:
        return items && OneOf(ap, {ptDriveList, ptFolder, ptFindResult});
    case cmViewFile:
    case cmTextView:
    case cmViewFileExt:
        return viewFile;
    case cmCopyItems:
    case cmMoveItems:
        return items && CopyPairAllowed(ap, c.OtherType);
    case cmRenameItem:
        return items && OneOf(ap, {ptFolder, ptFindResult, ptFTP});
    case cmAddToArchive:
        return items && ap == ptFolder;
    case cmCreateNew:
    case cmCreateNewFile:
        return items && OneOf(ap, {ptFolder, ptFTP});
    case cmDeleteItems:
        return items && OneOf(ap, {ptFolder, ptFindResult, ptArchive, ptFTP});
    case cmChangeFileAttributes:
    case cmCreateShortcut:
        return items && OneOf(ap, {ptFolder, ptFindResult});
    default:
        return true;
    }
}

namespace {

// Modifier tests: a key written with one modifier wants exactly that one; Ctrl+Alt wants at
// least both (AltGr arrives as Ctrl+Alt on some keyboards, and Shift may come along).
bool NoMod(std::uint32_t shift) {
    return Modifiers(shift) == 0;
}
bool AltOnly(std::uint32_t shift) {
    return Modifiers(shift) == ssAlt;
}
bool CtrlOnly(std::uint32_t shift) {
    return Modifiers(shift) == ssCtrl;
}
bool ShiftOnly(std::uint32_t shift) {
    return Modifiers(shift) == ssShift;
}
bool CtrlAlt(std::uint32_t shift) {
    return (shift & (ssCtrl | ssAlt)) == (ssCtrl | ssAlt);
}

bool IsLetter(int key) {
    return key >= VK_LETTER('A') && key <= VK_LETTER('Z');
}
bool IsDigit(int key) {
    return key >= VK_0 && key <= VK_0 + 9;
}

// Keys that only ask for a command when the active panel is idle.
TMainCommand IdleCommand(int key, std::uint32_t shift) {
    if (NoMod(shift)) {
        switch (key) {
        case VK_F(1):
            return cmAboutSable;
        case VK_F(2):
            return cmRenameItem;
        case VK_F(5):
            return cmCopyItems;
        case VK_F(6):
            return cmMoveItems;
        case VK_F(7):
            return cmCreateNew;
        default:
            return cmNone;
        }
    }
    if (ShiftOnly(shift))
        return key == VK_F(4) ? cmCreateNewFile : cmNone;
    if (AltOnly(shift)) {
        switch (key) {
        case VK_LETTER('U'):
            return cmUserMode;
        case VK_F(3):
            return cmTypePath;
        case VK_F(5):
            return cmBrowsePath;
        case VK_LETTER('B'):
            return cmBrowseLocalNetwork;
        case VK_F(7):
            return cmFindFile;
        case VK_F(8):
            return cmCmdLineHistory;
        case VK_LETTER('A'):
            return cmAddToArchive;
        case VK_LETTER('C'):
            return cmCreateShortcut;
        case VK_LETTER('E'):
            return cmChangeFileAttributes;
        default:
            return cmNone;
        }
    }
    if (CtrlOnly(shift)) {
        switch (key) {
        case VK_F(5):
            return cmShowBackOpWindow;
        case VK_LETTER('I'):
        case VK_LETTER('L'):
            return cmMoreInfo;
        case VK_LETTER('B'):
            return cmComparePanels;
        case VK_LETTER('C'):
            return cmCCopy;
        case VK_LETTER('X'):
            return cmCCut;
        case VK_LETTER('V'):
            return cmCPaste;
        default:
            return cmNone;
        }
    }
    if (CtrlAlt(shift)) {
        switch (key) {
        case VK_LETTER('S'):
            return cmCommandShell;
        case VK_LETTER('C'):
            return cmControlPanel;
        case VK_LETTER('R'):
            return cmControlPanelAppWiz;
        case VK_LETTER('L'):
            return cmDiskCleaner;
        default:
            return cmNone;
        }
    }
    return cmNone;
}

// Keys the command line's editing and recall take while it is not locating by name.
bool CommandLineKey(int key, std::uint32_t shift) {
    if (CtrlOnly(shift))
        return key == VK_LETTER('E') || key == VK_INSERT || key == VK_RETURN || key == VK_OEM_4 ||
               key == VK_OEM_6;
    if (ShiftOnly(shift))
        return key == VK_INSERT;
    if (AltOnly(shift))
        return key == VK_OEM_4 || key == VK_OEM_6;
    return false;
}

// Keys that edit the command line while it holds text. Left and Right carry their shift state
// to the editor (Shift selects); typed characters arrive through key-press, so their key-down
// is taken only when it types (no modifier or Shift); Ctrl and Alt combinations of the other
// keys stay shortcuts and panel keys. While the active panel works, Enter runs nothing and Esc
// goes to the panel, where it stops the work and leaves the typed text alone.
bool EditingKey(int key, std::uint32_t shift, bool activeBusy) {
    if (key == VK_LEFT || key == VK_RIGHT)
        return true;
    if (key == VK_RETURN)
        return NoMod(shift) && !activeBusy;
    if (key == VK_ESCAPE && activeBusy)
        return false;
    const bool typing = NoMod(shift) || ShiftOnly(shift);
    if (!typing)
        return false;
    return key == VK_BACK || key == VK_SPACE || key == VK_DELETE || key == VK_ESCAPE || IsLetter(key) ||
           IsDigit(key) || key == VK_OEM_PERIOD;
}

} // namespace

const std::vector<TMenuEntry>& MainMenuEntries() {
    static const std::vector<TMenuEntry> entries = BuildEntries();
    return entries;
}

const TMenuEntry* MenuEntryOf(TMainCommand command) {
    if (command <= cmNone || command >= cmCommandCount)
        return nullptr;
    const int index = CommandIndex()[command];
    return index < 0 ? nullptr : &MainMenuEntries()[static_cast<std::size_t>(index)];
}

const TMenuEntry* FindMenuEntry(std::string_view name) {
    for (const TMenuEntry& entry : MainMenuEntries())
        if (entry.Name == name)
            return &entry;
    return nullptr;
}

bool CommandAvailable(TMainCommand command) {
    switch (command) {
    case cmNone:
    case cmCommandCount:
    case cmLangSettings:
    case cmSkinChooser:
    case cmPanelSettings:
    case cmPanelGraphics:
    case cmBrowseLocalNetwork:
    case cmConnectNetDrive:
    case cmDisconnectNetDrive:
    case cmFormatdiskette:
    case cmCopydiskette:
    // kSable has no web pages of its own yet.
    case cmDELTA9website1:
    case cmSablepage1:
        return false;
    default:
        return command > cmNone && command < cmCommandCount;
    }
}

TMenuState ComputeMenuState(const TMenuContext& context) {
    TMenuState state;
    const std::vector<TMenuEntry>& entries = MainMenuEntries();
    state.EntryVisible.assign(entries.size(), false);
    // An entry shows when its own level allows it and its submenu shows; a submenu comes before
    // its entries, so its visibility is known when they are reached.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TMenuEntry& entry = entries[i];
        bool visible = context.UserMode >= entry.Level;
        if (visible && !entry.Parent.empty()) {
            for (std::size_t p = 0; p < i; ++p)
                if (entries[p].Name == entry.Parent) {
                    visible = state.EntryVisible[p];
                    break;
                }
        }
        state.EntryVisible[i] = visible;
        if (entry.Command != cmNone)
            state.Visible[entry.Command] = visible;
    }
    // Keys without an entry of their own: Shift+F4 belongs with "Create new...", F10 always works.
    state.Visible[cmCreateNewFile] = state.Visible[cmCreateNew];
    state.Visible[cmPanelMenu] = true;

    state.PanelCountDisabled = !state.Visible[cmCalculSizes];
    state.PanelDeleteDisabled = !state.Visible[cmDeleteItems];

    for (int c = cmNone + 1; c < cmCommandCount; ++c) {
        const auto command = static_cast<TMainCommand>(c);
        state.Enabled[c] = CommandAvailable(command) && CommandRuleAllows(command, context);
    }

    state.Checked[cmSortByName] = context.SortMode == 1;
    state.Checked[cmSortByExt] = context.SortMode == 2;
    state.Checked[cmSortBySize] = context.SortMode == 3;
    state.Checked[cmSortFoldersFirst] = context.FolderFirst;
    state.Checked[cmSortExeFirst] = context.ExecutableFirst;
    state.Checked[cmMoreInfo] = context.OtherShowsItemInfo;
    return state;
}

TKeyAction MapMainKey(int key, std::uint32_t shift, const TKeyContext& context) {
    const auto command = [](TMainCommand c) { return TKeyAction{ktCommand, c}; };
    constexpr TKeyAction commandLine{ktCommandLine, cmNone};
    constexpr TKeyAction panel{ktPanel, cmNone};

    if (key == VK_LETTER('M') && AltOnly(shift))
        return command(cmMinimize);
    // The window has no system frame, so the close key of a framed window is its own, whether or
    // not a window manager would take it first.
    if (key == VK_F(4) && AltOnly(shift))
        return command(cmQuit);
    if (key == VK_F10 && NoMod(shift))
        return command(cmPanelMenu);
    if (!context.LocateMode && CommandLineKey(key, shift))
        return commandLine;
    if (context.CommandLineHasText && EditingKey(key, shift, context.ActiveBusy))
        return commandLine;
    if (key == VK_LETTER('S') && AltOnly(shift))
        return command(cmPanelSettings);
    if (key == VK_F(3) && NoMod(shift))
        // On a folder F3 stays the panel's own key, which counts the folder's size.
        return context.CursorOnFile ? command(cmTextView) : panel;
    if (key == VK_F(4) && NoMod(shift))
        return command(context.ExternalEditor ? cmViewFileExt : cmViewFile);
    if (key == VK_F(4) && CtrlOnly(shift))
        return command(context.ExternalEditor ? cmViewFile : cmViewFileExt);
    if (context.ActiveBusy)
        return panel;
    const TMainCommand idle = IdleCommand(key, shift);
    return idle == cmNone ? panel : command(idle);
}

} // namespace ks
