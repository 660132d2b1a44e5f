#pragma once

#include "controls/ui/KMYFORM.h"

#include <functional>
#include <string>
#include <vector>

namespace ks {

/// One part of the main window the position editor moves.
struct TPOSEditorPart {
    std::string Name; ///< "LEFTPINFO", ..., "BTNMENU"
    QWidget* Widget = nullptr;
};

/// The position editor ("Position editor..."): a list of the main window's parts; with one
/// selected, Alt+arrows move it by a pixel and Shift+Alt+arrows change its width (Left, Right)
/// or height (Up, Down); Enter re-attaches the skin background; "Frames" draws a frame round
/// every part (red for the selected one) over host; "&Save" writes the positions to the skin.
class TPOSEditorForm : public TKMYFORM {
public:
    TPOSEditorForm(std::vector<TPOSEditorPart> parts, QWidget* host, std::function<void()> reattach,
                   std::function<void()> save, QWidget* parent = nullptr);
};

} // namespace ks
