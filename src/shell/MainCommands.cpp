#include "shell/MainCommands.h"

namespace ks {

const std::vector<TMenuEntry>& MainMenuEntries() {
    static const std::vector<TMenuEntry> entries;
    return entries;
}

const TMenuEntry* MenuEntryOf(TMainCommand /*command*/) {
    return nullptr;
}

const TMenuEntry* FindMenuEntry(std::string_view /*name*/) {
    return nullptr;
}

bool CommandAvailable(TMainCommand /*command*/) {
    return false;
}

TMenuState ComputeMenuState(const TMenuContext& /*context*/) {
    return {};
}

TKeyAction MapMainKey(int /*key*/, std::uint32_t /*shift*/, const TKeyContext& /*context*/) {
    return {};
}

} // namespace ks
