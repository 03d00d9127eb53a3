// The face of the Linux program: the status window as one line on standard
// error, message boxes as lines, and the chooser as a prompt answered on
// standard input.
#pragma once

#include "toolkit/headless/headless.h"

namespace tk::headless {

Face& terminalFace();

// Seam: whether standard error is a terminal (terminal_posix.cpp /
// terminal_win32.cpp).
bool stderrIsTerminal();

}  // namespace tk::headless
