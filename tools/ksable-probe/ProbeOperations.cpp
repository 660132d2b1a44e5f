#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Probe.h"
#include "controls/MessageBox.h"
#include "foundation/DELTA9.h"
#include "foundation/Json.h"
#include "panel/KMYFILEPANEL.h"

namespace ks::probe {

namespace {

// The last text of each kind a panel sent.
struct TPanelTexts {
    std::string Progress;
    std::string Refresh;
    std::string InfoList;
    bool HasInfoList = false;

    void Attach(TKMYFILEPANEL& panel) {
        panel.OnAfterChange = [this](TKAfterChange what, const std::string& text) {
            if (what == acProgress)
                Progress = text;
        };
        panel.OnAfterRefresh = [this](const std::string& text) { Refresh = text; };
        panel.OnInfoList = [this](const std::string& text) {
            InfoList = text;
            HasInfoList = true;
        };
    }

    void Print() const {
        TJsonLine line;
        line.Add("Progress", Progress).Add("Refresh", Refresh);
        if (HasInfoList)
            line.Add("InfoList", InfoList);
        line.Print();
    }
};

// The paths grouped by their folder, in the order the folders first appear. Each path is made
// absolute-looking as given: the probe takes full paths only.
std::vector<std::pair<std::string, std::vector<std::string>>>
GroupByFolder(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const std::string& path : paths) {
        const std::string clean = RemoveTrailingSeparator(path);
        const std::size_t slash = clean.rfind('/');
        const std::string folder = slash == 0 ? std::string("/") : clean.substr(0, slash);
        const std::string name = clean.substr(slash + 1);
        std::size_t at = 0;
        while (at < groups.size() && groups[at].first != folder)
            ++at;
        if (at == groups.size())
            groups.push_back({folder, {}});
        groups[at].second.push_back(name);
    }
    return groups;
}

// A panel on folder with the named items marked; an error text when one is missing.
std::string OpenPanelMarking(TKMYFILEPANEL& panel, const std::string& folder,
                             const std::vector<std::string>& names) {
    panel.FFolderItems.FPath = folder;
    panel.ReadPanel(false, false);
    if (panel.FFolderItems.FPath != folder)
        return "cannot read folder: " + folder;
    for (const std::string& name : names) {
        const int index = panel.FFolderItems.FindIndex(name, false);
        if (index < 0)
            return "no such entry: " + AddBackslash(folder) + name;
        panel.FFolderItems.MarkItem(panel.FFolderItems.GetFileItem(index), 0);
    }
    return {};
}

bool AllAbsolute(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (path.empty() || path.front() != '/' || RemoveTrailingSeparator(path).empty())
            return false;
    return !paths.empty();
}

// Runs work on a panel per folder of the given paths, with those paths' items marked, and
// prints the texts the panel sent; stops at the first folder that cannot be opened.
int OnMarkedPanels(const std::vector<std::string>& paths, const std::function<void(TKMYFILEPANEL&)>& work) {
    TPanelOptions options;
    for (const auto& [folder, names] : GroupByFolder(paths)) {
        TKMYFILEPANEL panel(options);
        TPanelTexts texts;
        const std::string error = OpenPanelMarking(panel, folder, names);
        if (!error.empty())
            return Fail(error);
        texts.Attach(panel);
        work(panel);
        texts.Print();
    }
    return 0;
}

} // namespace

int ProbeCount(const std::vector<std::string>& args) {
    if (!AllAbsolute(args))
        return Usage("count PATH... (full paths, not /)");
    return OnMarkedPanels(args, [](TKMYFILEPANEL& panel) {
        panel.CountSizes();
        for (const auto& item : panel.FFolderItems.FItems)
            if (item->Marked)
                PrintPanelItem(panel, *item);
    });
}

int ProbeFind(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    std::string text;
    bool caseSensitive = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--text" && i + 1 < args.size())
            text = args[++i];
        else if (args[i] == "--case")
            caseSensitive = true;
        else if (args[i].rfind("--", 0) == 0)
            return Usage("find DIR MASKS [--text T] [--case]");
        else
            words.push_back(args[i]);
    }
    if (words.size() != 2 || words[0].empty() || words[0].front() != '/')
        return Usage("find DIR MASKS [--text T] [--case]");
    const std::string dir = words[0].size() > 1 ? RemoveTrailingSeparator(words[0]) : words[0];
    if (!FolderExists(dir))
        return Fail("cannot read folder: " + dir);
    TPanelOptions options;
    TKMYFILEPANEL panel(options);
    panel.FFolderItems.FPath = dir;
    panel.ReadPanel(false, false);
    TPanelTexts texts;
    texts.Attach(panel);
    panel.FindFiles(dir, words[1], text, caseSensitive, true, false);
    if (panel.PanelType() == ptFindResult)
        for (const auto& item : panel.FFindItems.FItems)
            PrintPanelItem(panel, *item);
    texts.Print();
    return 0;
}

int ProbeDelete(const std::vector<std::string>& args) {
    bool toRecycle = false;
    bool wipe = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--direct")
            toRecycle = wipe = false;
        else if (arg == "--trash")
            toRecycle = true;
        else if (arg == "--wipe")
            wipe = true;
        else
            paths.push_back(arg);
    }
    if (!AllAbsolute(paths))
        return Usage("delete [--direct|--trash|--wipe] PATH... (full paths, not /)");
    return OnMarkedPanels(paths, [&](TKMYFILEPANEL& panel) {
        panel.OnDeleteItems = [&](bool& del, bool& trash, bool& erase) {
            del = true;
            trash = toRecycle;
            erase = wipe;
        };
        // No questions: every folder goes, and a failure is not retried.
        panel.AskUser = [](const std::string&, int, int buttons, int) {
            if ((buttons & mbYesToAll) != 0)
                return mrYesToAll;
            if ((buttons & mbNoToAll) != 0)
                return mrNoToAll;
            return mrYes;
        };
        panel.DeleteItems();
    });
}

} // namespace ks::probe
