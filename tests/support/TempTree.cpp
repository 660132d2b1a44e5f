#include "support/TempTree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace ks::test {

TempTree::TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kstest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TempTree::~TempTree() {
    std::error_code ignored;
    // Make read-only folders writable again so the test's leftovers can go.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(FPath, ignored);
}

std::string TempTree::File(const std::string& relative, const std::string& content) const {
    const std::filesystem::path full = std::filesystem::path(FPath) / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
    return full.string();
}

std::string TempTree::Folder(const std::string& relative) const {
    const std::filesystem::path full = std::filesystem::path(FPath) / relative;
    std::filesystem::create_directories(full);
    return full.string();
}

std::string TempTree::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ks::test
