#include "support/Unprivileged.h"

#include <filesystem>
#include <grp.h>
#include <sys/wait.h>
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
    int channel[2];
    if (::pipe(channel) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child < 0)
        return "fork failed";
    if (child == 0) {
        ::close(channel[0]);
        std::string result;
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
            result = "could not become the user nobody";
        else
            result = body();
        const char* data = result.data();
        std::size_t left = result.size();
        while (left > 0) {
            const ssize_t written = ::write(channel[1], data, left);
            if (written <= 0)
                break;
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result += " (the unprivileged child did not finish normally)";
    return result;
}

} // namespace ks::test
