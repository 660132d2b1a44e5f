#include "support/Unprivileged.h"

#include "support/Child.h"

#include <filesystem>
#include <grp.h>
#include <unistd.h>

namespace ks::test {

namespace {

constexpr uid_t NobodyId = 65534;

void HandOver(const std::string& folder) {
    std::error_code ignored;
    ::lchown(folder.c_str(), NobodyId, NobodyId);
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        ::lchown(it->path().c_str(), NobodyId, NobodyId);
}

} // namespace

std::string RunUnprivileged(const std::vector<std::string>& folders,
                            const std::function<std::string()>& body) {
    if (::geteuid() != 0)
        return body();
    for (const auto& folder : folders)
        HandOver(folder);
    return RunInChild(0, 120000, [&]() -> std::string {
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
            return "could not become the user nobody";
        return body();
    });
}

} // namespace ks::test
