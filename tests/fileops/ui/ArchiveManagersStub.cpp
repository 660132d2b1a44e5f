// Stand-ins for the two entry conversions of archive/ArchiveManagers.cpp, which is not built on
// this branch yet; they follow its header and go once that file is part of ks_archive.

#include "archive/ArchiveManagers.h"

namespace ks {

std::optional<TArchiveManager> ParseArchiveManager(std::string_view entry) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t bar = entry.find('|'); bar != std::string_view::npos; bar = entry.find('|', start)) {
        fields.emplace_back(entry.substr(start, bar - start));
        start = bar + 1;
    }
    if (fields.size() < 5)
        return std::nullopt;
    return TArchiveManager{fields[0], fields[1], fields[2],
                           fields[3], fields[4], fields.size() > 5 && fields[5] == "auto"};
}

std::string FormatArchiveManager(const TArchiveManager& manager) {
    std::string entry = manager.Masks + "|" + manager.Description + "|" + manager.AddTemplate + "|" +
                        manager.DeleteTemplate + "|" + manager.ExtractTemplate + "|";
    return manager.Located ? entry + "auto|" : entry;
}

} // namespace ks
