#include "shell/ui/AboutForm.h"

namespace ks {

void ShowAboutForm(QWidget* /*parent*/) {}

} // namespace ks
