#pragma once

#include <QWidget>

#include <functional>

class QMenuBar;

namespace ks {

/// The flying menu: a small always-on-top window showing only a menu bar. "Menu" opens the main
/// pop-up menu at the mouse position, "Others" holds "Disable flying menu". Its height follows
/// the menu bar; only its width can change. Thread: the GUI thread.
class TMenuForm : public QWidget {
public:
    /// openMenu is called with the global mouse position; disable when the user turns the
    /// flying menu off. Either may be empty.
    TMenuForm(std::function<void(QPoint)> openMenu, std::function<void()> disable, QWidget* parent = nullptr);

    /// The window's only content.
    QMenuBar* MenuBar() const { return FMenuBar; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitToMenuBar();

    QMenuBar* FMenuBar = nullptr;
    std::function<void(QPoint)> FOpenMenu;
    std::function<void()> FDisable;
};

} // namespace ks
