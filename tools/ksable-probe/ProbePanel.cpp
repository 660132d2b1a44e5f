#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Probe.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "panel/KMYFILEPANEL.h"

namespace ks::probe {

// One item as the panel holds it, keys named after the item record's fields; the texts are
// the ones the panel shows (size column, right column, date column).
void PrintPanelItem(const TKMYFILEPANEL& panel, const TKFiles& item) {
    TJsonLine()
        .Add("Name", item.Name)
        .Add("Caption", item.Caption())
        .Add("Info", panel.InfoText(item))
        .Add("Kind", static_cast<int>(item.Kind))
        .Add("Size", item.Size)
        .Add("SizeText", panel.SizeText(item))
        .Add("DateText", panel.DateText(item))
        .Add("Attr", static_cast<std::int64_t>(item.Attr))
        .Add("Marked", item.Marked)
        .Add("IsPacked", item.IsPacked)
        .Add("IsExecutable", item.IsExecutable)
        .Add("Folder", item.Folder())
        .Add("Time", static_cast<std::int64_t>(item.Time))
        .Add("MTimeNs", item.MTimeNs)
        .Add("AttrText", item.Extra ? item.Extra->AttrText : std::string())
        .Print();
}

namespace {

void PrintList(const TKMYFILEPANEL& panel) {
    for (const auto& item : panel.FItemsStruc->FItems)
        PrintPanelItem(panel, *item);
}

// The panel options the window starts with: the stored panel options and sort key of the
// user's settings store (a store that cannot be read gives the defaults, as for the window).
TPanelOptions StoredOptions() {
    TPanelOptions options;
    TKRegistryStore store(System().ConfigDir() + "registry");
    (void)store.Load();
    LoadStoredPanelOptions(&store, options);
    TData data(store, System(), FileSystem());
    data.LoadSettings(TScreenLayout{});
    options.PanelSortMode = data.PanelSortMode;
    return options;
}

} // namespace

int ProbeList(const std::vector<std::string>& args) {
    const char* usage = "list DIR [--sort name|ext|size] [--no-folders-first] [--no-exe-first] [--hidden]";
    TPanelOptions options = StoredOptions();
    std::string dir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--sort" && i + 1 < args.size()) {
            const std::string& mode = args[++i];
            if (mode == "name")
                options.PanelSortMode = 1;
            else if (mode == "ext")
                options.PanelSortMode = 2;
            else if (mode == "size")
                options.PanelSortMode = 3;
            else
                return Usage(usage);
        } else if (arg == "--no-folders-first") {
            options.PanelFolderFirst = false;
        } else if (arg == "--no-exe-first") {
            options.PanelExecutableFirst = false;
        } else if (arg == "--hidden") {
            options.PanelShowHidden = true;
        } else if (dir.empty() && !arg.empty() && arg.rfind("--", 0) != 0) {
            dir = arg;
        } else {
            return Usage(usage);
        }
    }
    if (dir.empty())
        return Usage(usage);
    std::error_code error;
    const std::string full = std::filesystem::absolute(dir, error).string();
    // The panel would fall back to the nearest folder that exists; the probe says so instead.
    if (error || !FileSystem().CanOpenFolder(full))
        return Fail("not a folder that can be listed: " + dir);
    options.PanelStartupDone = true;
    TKMYFILEPANEL panel(options);
    panel.FFolderItems.FPath = full;
    panel.ReadPanel(false, false);
    PrintList(panel);
    return 0;
}

int ProbeDrives(const std::vector<std::string>& args) {
    if (!args.empty())
        return Usage("drives");
    TPanelOptions options = StoredOptions();
    options.PanelStartupDone = true;
    TKMYFILEPANEL panel(options);
    panel.SetPanelType(ptDriveList);
    panel.ReadPanel(false, false);
    PrintList(panel);
    return 0;
}

} // namespace ks::probe
