#include "support/Child.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <exception>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ks::test {

std::string RunInChild(std::size_t budget, int waitMs, const std::function<std::string()>& body) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child < 0)
        return "fork failed";
    if (child == 0) {
        ::close(channel[0]);
        std::string result;
        std::size_t mappedPages = 0;
        std::ifstream("/proc/self/statm") >> mappedPages;
        const rlimit limit{mappedPages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + budget,
                           RLIM_INFINITY};
        if (budget != 0 && (mappedPages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)) {
            result = "could not limit the child's memory";
        } else {
            try {
                result = body();
            } catch (const std::exception& error) {
                result = std::string("exception: ") + error.what();
            }
        }
        for (std::size_t done = 0; done < result.size();) {
            const ssize_t written = ::write(channel[1], result.data() + done, result.size() - done);
            if (written <= 0)
                break;
            done += static_cast<std::size_t>(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    bool finished = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd output{channel[0], POLLIN, 0};
        const int ready = ::poll(&output, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[512];
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got <= 0) {
            finished = got == 0;
            break;
        }
        result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(channel[0]);
    if (!finished) {
        ::kill(child, SIGKILL);
        result += " (the child did not finish within " + std::to_string(waitMs) + " ms)";
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (finished && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        result += " (the child did not finish normally)";
    return result;
}

} // namespace ks::test
