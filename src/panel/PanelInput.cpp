#include "panel/KMYFILEPANEL.h"

namespace ks {

void TKMYFILEPANEL::KeyDown(int, std::uint32_t) {}
void TKMYFILEPANEL::CursorUp() {}
void TKMYFILEPANEL::CursorDown() {}
void TKMYFILEPANEL::ScrollUp() {}
void TKMYFILEPANEL::ScrollDown() {}
void TKMYFILEPANEL::PageUp() {}
void TKMYFILEPANEL::PageDown() {}
void TKMYFILEPANEL::CursorHome() {}
void TKMYFILEPANEL::CursorEnd() {}
void TKMYFILEPANEL::CopyNameToClipboard() {}
void TKMYFILEPANEL::SetGeometry(int, int, int) {}
TRect TKMYFILEPANEL::ItemRect(int) const {
    return {};
}
int TKMYFILEPANEL::ItemAtPos(int) const {
    return -1;
}
bool TKMYFILEPANEL::CheckCursor() {
    return false;
}
void TKMYFILEPANEL::ExternalThread() {}
void TKMYFILEPANEL::MouseDown(TMouseButton, std::uint32_t, int, int) {}
void TKMYFILEPANEL::MouseMove(std::uint32_t, int, int) {}
void TKMYFILEPANEL::MouseUp(TMouseButton, std::uint32_t, int, int) {}
void TKMYFILEPANEL::DoubleClick() {}
void TKMYFILEPANEL::MouseWheel(int) {}
void TKMYFILEPANEL::AutoScrollTick() {}

} // namespace ks
