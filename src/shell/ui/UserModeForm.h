#pragma once

class QWidget;

namespace ks {

/// Shows the user level dialog ("Choose your new user-level...") modally with the box of
/// userMode (1 browser, 2 beginner, 3 normal, 4 expert) checked; userMode changes as soon as
/// another box is chosen. Returns true when userMode changed.
bool ShowUserModeForm(int& userMode, QWidget* parent = nullptr);

} // namespace ks
