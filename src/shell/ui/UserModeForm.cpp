#include "shell/ui/UserModeForm.h"

namespace ks {

bool ShowUserModeForm(int& /*userMode*/, QWidget* /*parent*/) {
    return false;
}

} // namespace ks
