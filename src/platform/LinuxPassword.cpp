// Password hashing with libxcrypt.

#include "platform/LinuxSystem.h"

#include <crypt.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace ks {

namespace {

// The working area of crypt_rn is large (tens of KiB), so it lives on the heap; it is wiped
// after use because it holds the password and its intermediate states.
struct TCryptArea {
    TCryptArea() : Data(std::make_unique<crypt_data>()) { std::memset(Data.get(), 0, sizeof(crypt_data)); }
    ~TCryptArea() { explicit_bzero(Data.get(), sizeof(crypt_data)); }
    TCryptArea(const TCryptArea&) = delete;
    TCryptArea& operator=(const TCryptArea&) = delete;

    std::unique_ptr<crypt_data> Data;
};

// crypt takes C strings: a NUL inside the text would cut it short there, so that "ab\0c" would
// hash as "ab". Such texts are refused instead, as are texts the library would refuse anyway.
bool UsablePassphrase(std::string_view text) {
    return text.find('\0') == std::string_view::npos && text.size() < CRYPT_MAX_PASSPHRASE_SIZE;
}

// A hash made by crypt_rn, or empty when the library refused (a null answer, or a failure text,
// which starts with "*" and can never be a hash).
std::string Crypt(std::string_view passphrase, const std::string& setting) {
    std::string phrase(passphrase);
    TCryptArea area;
    const char* hash = crypt_rn(phrase.c_str(), setting.c_str(), area.Data.get(), sizeof(crypt_data));
    explicit_bzero(phrase.data(), phrase.size());
    if (hash == nullptr || hash[0] != '$')
        return {};
    return hash;
}

// Every byte is looked at whatever the earlier ones held, so the time taken tells nothing of
// where two hashes of the same length first differ.
bool SameInConstantTime(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace

std::string TKLinuxSystem::HashPassword(std::string_view password) const {
    if (!UsablePassphrase(password))
        return {};
    // A null rbytes makes crypt_gensalt_rn take its random bytes from the system (getrandom);
    // a count of 0 is the method's recommended cost.
    for (const char* prefix : {"$y$", "$6$"}) {
        char setting[CRYPT_GENSALT_OUTPUT_SIZE] = {};
        if (crypt_gensalt_rn(prefix, 0, nullptr, 0, setting, sizeof setting) == nullptr)
            continue;
        std::string hash = Crypt(password, setting);
        if (!hash.empty())
            return hash;
    }
    return {};
}

bool TKLinuxSystem::PasswordMatches(std::string_view typed, std::string_view stored) const {
    if (!UsablePassphrase(typed) || stored.empty() || stored[0] != '$' ||
        stored.find('\0') != std::string_view::npos)
        return false;
    const std::string hash = Crypt(typed, std::string(stored));
    return !hash.empty() && SameInConstantTime(hash, stored);
}

} // namespace ks
