#pragma once

class QWidget;

namespace ks {

/// Shows the about box (product name, release number, notes) modally.
void ShowAboutForm(QWidget* parent = nullptr);

} // namespace ks
