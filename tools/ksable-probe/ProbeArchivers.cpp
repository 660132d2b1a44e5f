// ksable-probe archivers [--locate] [--save]: the archive managers the program uses, as it
// stores them; --locate rebuilds the located ones as the program does at start-up (the user's own
// entries stay), --save writes the result back to the settings store.

#include <string>
#include <vector>

#include "Probe.h"
#include "archive/ArchiveManagers.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"

namespace ks::probe {

int ProbeArchivers(const std::vector<std::string>& args) {
    bool locate = false;
    bool save = false;
    for (const std::string& arg : args) {
        if (arg == "--locate")
            locate = true;
        else if (arg == "--save")
            save = true;
        else
            return Usage("archivers [--locate] [--save]");
    }
    TKRegistryStore store(System().ConfigDir() + "registry");
    if (const Result<void> loaded = store.Load(); !loaded)
        return Fail(loaded.error().Path + ": " + loaded.error().Detail);
    TData data(store, System(), FileSystem());
    data.LoadSettings(TScreenLayout{});
    std::vector<std::string> list;
    for (const std::string& line : data.ArchiveList)
        if (!line.empty())
            list.push_back(line);
    if (locate)
        list = MergeLocatedManagers(
            list, LocateArchiveManagers([](const std::string& name) { return System().FindProgram(name); }));
    for (const std::string& line : list) {
        const std::optional<TArchiveManager> manager = ParseArchiveManager(line);
        if (!manager) {
            TJsonLine().Add("Entry", line).Add("error", "not an archive manager entry").Print();
            continue;
        }
        TJsonLine()
            .Add("Masks", manager->Masks)
            .Add("Description", manager->Description)
            .Add("AddTemplate", manager->AddTemplate)
            .Add("DeleteTemplate", manager->DeleteTemplate)
            .Add("ExtractTemplate", manager->ExtractTemplate)
            .Add("Located", manager->Located)
            .Print();
    }
    if (save) {
        data.ArchiveList = list;
        data.SaveCountedList("m_archivelist", list);
        if (const Result<void> flushed = store.Flush(); !flushed)
            return Fail(flushed.error().Path + ": " + flushed.error().Detail);
    }
    return 0;
}

} // namespace ks::probe
