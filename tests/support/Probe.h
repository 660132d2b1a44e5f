#pragma once

#include <string>
#include <vector>

namespace ks::test {

/// What a run of ksable-probe gave: its exit code (-1 when it could not start or was killed)
/// and its standard output.
struct TProbeRun {
    int ExitCode = -1;
    std::string Out;
};

/// Runs the build tree's ksable-probe with args. The child sees the program data of the build
/// tree (KSABLE_DATA_DIR) and the test's environment, with the "NAME=value" entries of env put in
/// place of those of the same name. Gives up and kills it after 30 s.
TProbeRun RunProbe(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

} // namespace ks::test
