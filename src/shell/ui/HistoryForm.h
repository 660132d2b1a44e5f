#pragma once

#include "controls/ui/KMYFORM.h"

#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QShowEvent;

namespace ks {

/// The command line history dialog ("Command line history..."): the earlier commands, newest
/// first, in the owner-drawn list `HistoryList`; "&OK" (or Enter, or a double click on a line)
/// chooses the selected one, Esc or "&Cancel" closes without a choice. Empty history lines are
/// not listed (`VisibleHistory`). Thread: the GUI thread.
class THistoryForm : public TKMYFORM {
public:
    /// Each line is this many pixels higher than the text height of "a" in the list's font.
    static constexpr int LineExtraHeight = 6;
    /// The text's left edge inside a line.
    static constexpr int TextLeft = 6;

    /// history is read once here, newest first.
    explicit THistoryForm(const std::vector<std::string>& history, QWidget* parent = nullptr);

    /// Shows the dialog modally over parent and returns the entry chosen, or nothing when it was
    /// closed without one (or went away with its parent).
    static std::optional<std::string> Execute(const std::vector<std::string>& history,
                                              QWidget* parent = nullptr);

    /// The selected entry once the dialog was accepted; nothing otherwise.
    std::optional<std::string> Chosen() const;
    QListWidget* HistoryList() const { return FList; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QListWidget* FList = nullptr;
    QPushButton* FOk = nullptr;
};

} // namespace ks
