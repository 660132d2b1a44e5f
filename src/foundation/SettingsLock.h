#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ks {

class TData;

/// True when a stored settings-lock value is a password hash ("$y$..." or "$6$..."), not a
/// password kept as typed by an older version of the program.
bool IsPasswordHash(std::string_view stored);

/// The value to store for the password typed into the lock's prompt: empty for an empty box
/// (which removes the password), else its salted hash from `System().HashPassword`. Nothing when
/// no hash can be made; the caller then keeps the stored value it has, as storing the text
/// itself would give it away and storing nothing would remove the lock.
std::optional<std::string> StoredPasswordFor(std::string_view typed);

/// True when typed opens the settings lock. With no stored value only an empty box does. A
/// stored hash is checked with `System().PasswordMatches`. A value an older version kept as typed
/// opens the lock when typed equals it (case-sensitively) and is then replaced at once by its
/// hash, so the text leaves the store (when no hash can be made, the old value stays).
bool CheckSettingsPassword(TData& data, std::string_view typed);

} // namespace ks
