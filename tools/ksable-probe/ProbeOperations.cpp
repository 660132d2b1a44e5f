#include "Probe.h"

namespace ks::probe {

int ProbeCount(const std::vector<std::string>&) {
    return Fail("not built yet");
}
int ProbeFind(const std::vector<std::string>&) {
    return Fail("not built yet");
}

} // namespace ks::probe
