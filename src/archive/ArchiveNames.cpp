#include "archive/ArchiveNames.h"

namespace ks {

std::string Cp437ToUtf8(std::string_view bytes) {
    return std::string(bytes);
}

bool IsValidUtf8(std::string_view /*text*/) {
    return true;
}

std::string ArchiveDisplayName(std::string_view utf8Name) {
    return std::string(utf8Name);
}

} // namespace ks
