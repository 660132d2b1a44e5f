#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ks::test {

/// Runs body as an ordinary user. Root passes every permission check, so a test of what a
/// write-protected file or folder does runs its body in a child process as the user "nobody"
/// (after handing it the given folders, recursively) when the test runs as root; any other user
/// runs it in this process. body returns the empty string when all went as expected, else what
/// went wrong; that text is returned.
std::string RunUnprivileged(const std::vector<std::string>& folders,
                            const std::function<std::string()>& body);

/// For bodies: returns the failure text from the enclosing lambda when cond is false.
#define KS_CHECK(cond)                                                                                       \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            return std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #cond;                        \
    } while (0)

} // namespace ks::test
