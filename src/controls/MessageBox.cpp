#include "controls/MessageBox.h"

#include <algorithm>

namespace ks {

int MessageButtonOfDefault(int defaultButton) {
    for (std::size_t i = 0; i < MessageButtons.size(); ++i) {
        if (MessageButtons[i].DefaultIndex == defaultButton)
            return static_cast<int>(i);
    }
    return -1;
}

TMessageBoxLayout LayoutMessageBox(int buttons, int defaultButton, const std::array<int, 8>& widths) {
    TMessageBoxLayout layout;
    int rowWidth = 0;
    for (std::size_t i = 0; i < MessageButtons.size(); ++i) {
        if ((buttons & MessageButtons[i].Bit) == 0)
            continue;
        if (!layout.Visible.empty())
            rowWidth += MessageButtonGap;
        layout.ButtonLeft.push_back(rowWidth);
        layout.Visible.push_back(static_cast<int>(i));
        rowWidth += widths[i];
    }
    layout.ClientWidth = std::max(MinMessageBoxWidth, MessageBoxMargin + rowWidth + MessageBoxMargin);
    // Integer division truncates towards zero, as the row position is defined.
    layout.Left = (layout.ClientWidth - rowWidth) / 2;
    for (int& left : layout.ButtonLeft)
        left += layout.Left;

    const int wanted = MessageButtonOfDefault(defaultButton);
    if (std::find(layout.Visible.begin(), layout.Visible.end(), wanted) != layout.Visible.end())
        layout.Focused = wanted;
    else if (!layout.Visible.empty())
        layout.Focused = layout.Visible.front();
    return layout;
}

int MessageBoxResult(int modalResult, int buttons) {
    if (modalResult != mrCancel || (buttons & mbCancel) != 0)
        return modalResult;
    return (buttons & mbNo) != 0 ? mrNo : mrAbort;
}

TMessageIcon TMessageIconCycle::Tick() {
    static constexpr TMessageIcon PhaseIcons[] = {miExclamation, miError, miQuestion};
    FIcon = PhaseIcons[FPhase - 1];
    FPhase = FPhase % 3 + 1;
    return FIcon;
}

} // namespace ks
