#include "shell/ui/POSEditorForm.h"

namespace ks {

TPOSEditorForm::TPOSEditorForm(std::vector<TPOSEditorPart> /*parts*/, QWidget* /*host*/,
                               std::function<void()> /*reattach*/, std::function<void()> /*save*/,
                               QWidget* parent)
    : TKMYFORM(parent) {}

} // namespace ks
