// Language packs come from anywhere (downloaded packs, hand-edited files): every byte sequence
// must parse as a message table and as a window file without harm.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    for (const ks::TLangLine& line : ks::ParseLangLines(input)) {
        if (line.Key.find('|') != std::string::npos)
            __builtin_trap();
    }

    // The first byte splits the rest into an English table and a pack laid over it.
    const std::string_view rest = input.empty() ? input : input.substr(1);
    const std::size_t split = input.empty() ? 0 : (static_cast<std::size_t>(data[0]) * rest.size()) / 255;
    ks::TLanguage language;
    language.LoadLanguageData({rest.substr(0, split), rest.substr(split)}, true);
    language.LoadLanguageData({rest}, false);

    std::string text;
    for (const std::string_view id : {"codePage", "STR_FIXED", "nfo_SortResult", "", "A|B"})
        language.GetLangText(id, text);
    for (const std::string& entry : language.LangTable()) {
        const std::size_t bar = entry.find('|');
        if (bar == std::string::npos || !language.GetLangText(entry.substr(0, bar), text))
            __builtin_trap();
    }
    const int codePage = language.CodePage();
    if (codePage != ks::Utf8CodePage && ks::CodePageOfCharset(language.LangCharset()) != codePage)
        __builtin_trap();
    if (language.LangCharset() < 0 || language.LangCharset() > 255)
        __builtin_trap();
    return 0;
}
