#include "foundation/SettingsLock.h"

#include "foundation/Data.h"
#include "foundation/System.h"

namespace ks {

bool IsPasswordHash(std::string_view stored) {
    return stored.starts_with("$y$") || stored.starts_with("$6$");
}

std::optional<std::string> StoredPasswordFor(std::string_view typed) {
    if (typed.empty())
        return std::string();
    std::string hash = System().HashPassword(typed);
    if (hash.empty())
        return std::nullopt;
    return hash;
}

bool CheckSettingsPassword(TData& data, std::string_view typed) {
    const std::string stored = data.SettingsPassword();
    if (stored.empty())
        return typed.empty();
    if (IsPasswordHash(stored))
        return System().PasswordMatches(typed, stored);
    if (typed != stored)
        return false;
    // The right password for a value kept as typed: it is known now, so its hash can take the
    // text's place.
    if (const auto hash = StoredPasswordFor(typed); hash && !hash->empty())
        data.SaveSettingsPassword(*hash);
    return true;
}

} // namespace ks
