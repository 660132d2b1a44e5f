#include "Probe.h"

namespace ks::probe {

int ProbeList(const std::vector<std::string>&) {
    return Fail("not built yet");
}
int ProbeDrives(const std::vector<std::string>&) {
    return Fail("not built yet");
}

} // namespace ks::probe
