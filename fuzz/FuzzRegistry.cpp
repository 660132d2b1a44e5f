// Parses arbitrary bytes as a registry store file. Whatever parses must come back unchanged
// through the writer: formatting the keys and parsing the text again gives the same keys and
// the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ks::Result<std::vector<ks::TRegistryKeyText>> keys = ks::ParseRegistryText(text);
    if (!keys)
        return 0;
    const std::string formatted = ks::FormatRegistryText(*keys);
    const ks::Result<std::vector<ks::TRegistryKeyText>> again = ks::ParseRegistryText(formatted);
    if (!again || *again != *keys)
        std::abort();
    if (ks::FormatRegistryText(*again) != formatted)
        std::abort();
    return 0;
}
