#pragma once

#include <QWidget>

#include <functional>

namespace ks {

/// The flying menu: a small always-on-top window showing only a menu bar. "Menu" opens the main
/// pop-up menu at the mouse position, "Others" holds "Disable flying menu".
class TMenuForm : public QWidget {
public:
    /// openMenu is called with the global mouse position; disable when the user turns the
    /// flying menu off.
    TMenuForm(std::function<void(QPoint)> openMenu, std::function<void()> disable, QWidget* parent = nullptr);
};

} // namespace ks
