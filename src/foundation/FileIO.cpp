#include "foundation/FileIO.h"

#include <algorithm>

#include "foundation/System.h"

namespace ks {

Result<void> ReplaceFile(const std::string& path, std::string_view content) {
    return FileSystem().ReplaceFile(path, content, TReplaceMode::rmKeepOld, 0644);
}

std::optional<std::string> ReadFileStart(const std::string& path, std::size_t maxBytes, bool keepPartial) {
    Result<std::unique_ptr<TKFile>> file = FileSystem().OpenFile(path, ofRead | ofFollowLink);
    if (!file)
        return std::nullopt;
    const Result<TFileInfo> info = (*file)->Info();
    if (!info || info->Type != TEntryType::etFile)
        return std::nullopt;
    std::string data;
    char buffer[65536];
    while (data.size() < maxBytes) {
        const Result<std::size_t> got =
            (*file)->Read(buffer, std::min(sizeof buffer, maxBytes - data.size()));
        if (!got) {
            if (!keepPartial || data.empty())
                return std::nullopt;
            break;
        }
        if (*got == 0)
            break;
        data.append(buffer, *got);
    }
    return data;
}

} // namespace ks
