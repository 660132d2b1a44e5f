#pragma once

#include "controls/ui/KMYFORM.h"

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace ks {

/// The item a shortcut is made for.
struct TShortcutItem {
    std::string FullName; ///< bytes as the OS gives them
    std::string Name;
    bool Executable = false;
};

/// The "Create shortcut for current item..." dialog: a desktop entry for item, written by
/// "&Create" into the folder `TargetPathEdit` names (the other panel's at first; a path macro is
/// expanded and written back) or by "&On desktop" into the desktop folder. Without an item
/// nothing is written. An existing file is replaced only when the user agrees; a failure to write
/// is shown. The dialog closes after either button. Thread: the GUI thread.
class TCreateShortcutForm : public TKMYFORM {
public:
    TCreateShortcutForm(std::optional<TShortcutItem> item, const std::string& otherFolder,
                        QWidget* parent = nullptr);

    /// Shows the dialog modally; true when a shortcut was written.
    static bool Execute(std::optional<TShortcutItem> item, const std::string& otherFolder,
                        QWidget* parent = nullptr);

    /// Asks the user (text, kind, buttons, default button; the modal result); the message box
    /// unless replaced.
    std::function<int(const std::string& text, int kind, int buttons, int defaultButton)> AskUser;

    /// The full name of the file written last; empty when none was.
    const std::string& Written() const { return FWritten; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Create(bool onDesktop);

    std::optional<TShortcutItem> FItem;
    std::string FFileName;
    std::string FWritten;
    QLabel* FWherePath = nullptr;
    QLineEdit* FTargetPath = nullptr;
    QLineEdit* FFileNameEdit = nullptr;
    QLineEdit* FDescription = nullptr;
};

} // namespace ks
