#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Probe.h"
#include "archive/LibArchiveExtract.h"
#include "foundation/Json.h"
#include "foundation/System.h"
#include "panel/KMYFILEPANEL.h"

namespace ks::probe {

namespace {

// One archive item, keys named after the item record's fields.
void PrintArchiveItem(const TKMYFILEPANEL& panel, const TKFiles& item) {
    const TKFilesExtra none;
    const TKFilesExtra& extra = item.Extra ? *item.Extra : none;
    TJsonLine()
        .Add("Name", item.Name)
        .Add("Caption", item.Caption())
        .Add("Folder", item.Folder())
        .Add("Kind", static_cast<int>(item.Kind))
        .Add("Size", item.Size)
        .Add("PackedSize", extra.PackedSize)
        .Add("Time", static_cast<std::int64_t>(item.Time))
        .Add("DateText", panel.DateText(item))
        .Add("Attr", static_cast<std::int64_t>(item.Attr))
        .Add("HostOS", static_cast<std::int64_t>(static_cast<std::int32_t>(extra.HostOS)))
        .Add("PackerVersion", static_cast<std::int64_t>(static_cast<std::int32_t>(extra.PackerVersion)))
        .Add("PackMethod", static_cast<std::int64_t>(static_cast<std::int32_t>(extra.PackMethod)))
        .Add("CheckValue", static_cast<std::int64_t>(extra.CheckValue))
        .Add("HeaderFlags", static_cast<std::int64_t>(extra.HeaderFlags))
        .Add("StoredName", extra.StoredName.empty() ? item.Name : extra.StoredName)
        .Print();
}

} // namespace

int ProbeArchive(const std::vector<std::string>& args) {
    const char* usage = "archive FILE [FOLDER] [--all]";
    std::string file, folder;
    bool all = false;
    int words = 0;
    for (const std::string& arg : args) {
        if (arg == "--all")
            all = true;
        else if (arg.rfind("--", 0) == 0)
            return Usage(usage);
        else if (words++ == 0)
            file = arg;
        else if (words == 2)
            folder = arg;
        else
            return Usage(usage);
    }
    if (file.empty())
        return Usage(usage);
    std::error_code error;
    const std::string full = std::filesystem::absolute(file, error).string();
    if (error || !FileSystem().Exists(full))
        return Fail("no such archive: " + file);
    TPanelOptions options;
    options.PanelStartupDone = true;
    TKMYFILEPANEL panel(options);
    panel.FFolderItems.FPath = std::filesystem::path(full).parent_path().string();
    // The probe answers no questions: a damaged archive is reported in the last line instead.
    panel.AskUser = [](const std::string&, int, int, int) { return 1; };
    panel.OpenArchive(full, folder);
    if (all) {
        for (const TArchivePending& entry : panel.FArchiveEntries)
            PrintArchiveItem(panel, *panel.MakeArchiveItem(entry));
    } else {
        for (const auto& item : panel.FItemsStruc->FItems)
            if (item->Kind != ikUpFolder)
                PrintArchiveItem(panel, *item);
    }
    if (!panel.FArchiveError.empty())
        TJsonLine().Add("error", panel.FArchiveError).Print();
    return 0;
}

int ProbeExtract(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return Usage("extract ARCHIVE FOLDER [NAME]...");
    std::error_code error;
    const std::string archive = std::filesystem::absolute(args[0], error).string();
    const std::string folder = std::filesystem::absolute(args[1], error).string();
    if (error)
        return Fail("no such path: " + args[0]);
    const std::vector<std::string> names(args.begin() + 2, args.end());
    const std::atomic<bool> cancelled{false};
    const Result<TExtractCounts> counts =
        ExtractWithLibArchive(FileSystem(), archive, names, folder, cancelled, nullptr);
    if (!counts)
        return Fail(counts.error().Path + ": " + counts.error().Detail);
    for (const std::string& name : counts->Skipped)
        TJsonLine().Add("skipped", name).Print();
    TJsonLine()
        .Add("Files", static_cast<std::int64_t>(counts->Files))
        .Add("Folders", static_cast<std::int64_t>(counts->Folders))
        .Add("Bytes", static_cast<std::int64_t>(counts->Bytes))
        .Print();
    return 0;
}

} // namespace ks::probe
