#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace ks::test {

/// Runs body in a forked child process, so that what it does cannot hang or exhaust the test:
/// the child may map at most budget bytes more than it maps at the start (no limit for 0), and
/// is killed when it has not finished after waitMs. Returns what body returns (empty when all
/// went as expected), or what went wrong with the child appended to it.
std::string RunInChild(std::size_t budget, int waitMs, const std::function<std::string()>& body);

} // namespace ks::test
