#pragma once

#include <string>

namespace ks::test {

/// The X display (":N") of a test binary linked with support/X11Main.cpp: a virtual X server
/// that binary started for its tests, with the QApplication connected to it. Empty when none
/// runs; `X11Missing` then says why.
const std::string& X11Display();
const std::string& X11Missing();

} // namespace ks::test
