#pragma once

#include <cstdint>

namespace ks {

/// Takes a top-level X window off the screen (unmaps it) as a window manager does when it
/// minimises a window, when no window manager runs on the display: none owns the ICCCM selection
/// "WM_S<screen>" of the window's screen and the screen's root names no live EWMH check window.
/// Does nothing where one runs, and off X11 (Wayland, offscreen), where the compositor stands in
/// for one. Restoring the window's normal state through Qt maps it again. Thread: the GUI thread.
void X11IconifyUnmanaged(std::uintptr_t window);

} // namespace ks
