// Parses arbitrary bytes as a registry store file. Whatever parses must come back unchanged
// through the writer: formatting the keys and parsing the text again gives the same keys and
// the same text. The parsed keys must also be a proper list: no key named twice (ignoring
// case), every key's parent before it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>

#include "foundation/DELTA9.h"
#include "foundation/RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ks::Result<std::vector<ks::TRegistryKeyText>> keys = ks::ParseRegistryText(text);
    if (!keys)
        return 0;
    std::unordered_set<std::string> seen;
    for (const ks::TRegistryKeyText& key : *keys) {
        const std::string folded = ks::LowerCase(key.Path);
        const std::size_t slash = folded.rfind('\\');
        if (slash != std::string::npos && seen.count(folded.substr(0, slash)) == 0)
            std::abort();
        if (!seen.insert(folded).second)
            std::abort();
    }
    const std::string formatted = ks::FormatRegistryText(*keys);
    const ks::Result<std::vector<ks::TRegistryKeyText>> again = ks::ParseRegistryText(formatted);
    if (!again || *again != *keys)
        std::abort();
    if (ks::FormatRegistryText(*again) != formatted)
        std::abort();
    return 0;
}
