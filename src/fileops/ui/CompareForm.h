#pragma once

#include "controls/ui/KMYFORM.h"
#include "panel/KMYFILEPANEL.h"

#include <optional>

class QCheckBox;
class QShowEvent;

namespace ks {

/// The "Compare panels..." dialog: what a comparison of the two panels looks at. Every box but
/// "&Name" keeps its state in the settings store between runs. Thread: the GUI thread.
class TCompareForm : public TKMYFORM {
public:
    explicit TCompareForm(QWidget* parent = nullptr);

    /// Shows the dialog modally; the options on "C&ompare", nothing on "&Cancel", Esc or when the
    /// dialog went away with its parent.
    static std::optional<TCompareOptions> Execute(QWidget* parent = nullptr);

    /// The options the boxes show now.
    TCompareOptions Options() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QCheckBox* AddBox(const char* name, const char* caption, bool saved);

    QCheckBox* FName = nullptr;
    QCheckBox* FSize = nullptr;
    QCheckBox* FAttr = nullptr;
    QCheckBox* FDate = nullptr;
    QCheckBox* FFolderContents = nullptr;
    QCheckBox* FFileContents = nullptr;
};

} // namespace ks
