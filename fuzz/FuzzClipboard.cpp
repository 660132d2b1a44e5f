// Another program's clipboard is outside input: every byte sequence must read as a URI list and
// as a gnome-copied-files text without harm, and whatever is taken from it must be a local
// absolute name without "." or ".." parts that writes back to the same list.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ItemClipboard.h"

namespace {

void CheckNames(const std::vector<std::string>& names) {
    if (names.empty() || names.size() > ks::MaxClipboardNames)
        __builtin_trap();
    for (const std::string& name : names) {
        if (name.size() < 2 || name.front() != '/' || name.back() == '/' ||
            name.find('\0') != std::string::npos || name.find("//") != std::string::npos)
            __builtin_trap();
        const std::string parts = name + "/";
        if (parts.find("/./") != std::string::npos || parts.find("/../") != std::string::npos)
            __builtin_trap();
    }
    if (ks::ParseUriList(ks::UriListText(names)) != names)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const std::optional<std::vector<std::string>> names = ks::ParseUriList(input))
        CheckNames(*names);
    if (const std::optional<ks::TClipboardItems> items = ks::ParseGnomeCopiedFiles(input)) {
        CheckNames(items->Names);
        const std::optional<ks::TClipboardItems> back =
            ks::ParseGnomeCopiedFiles(ks::GnomeCopiedFilesText(*items));
        if (!back || back->Names != items->Names || back->Cut != items->Cut)
            __builtin_trap();
    }
    if (const std::optional<std::string> name = ks::FileNameOfUri(input))
        CheckNames({*name});
    return 0;
}
