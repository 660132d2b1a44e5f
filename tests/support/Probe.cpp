#include "support/Probe.h"

#include "support/Process.h"

namespace ks::test {

TProbeRun RunProbe(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> argv = {KS_BIN_DIR "/ksable-probe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> entries = env;
    entries.emplace_back("KSABLE_DATA_DIR=" KS_BIN_DIR);
    const TRunResult run = Run(argv, entries, 30000);
    return {run.ExitCode, run.Out};
}

} // namespace ks::test
