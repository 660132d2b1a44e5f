#include "shell/ui/MenuForm.h"

namespace ks {

TMenuForm::TMenuForm(std::function<void(QPoint)> /*openMenu*/, std::function<void()> /*disable*/,
                     QWidget* parent)
    : QWidget(parent) {}

} // namespace ks
