// POSIX side of the terminal face: asks whether standard error is a terminal.
#include <unistd.h>

#include "toolkit/headless/terminal_face.h"

namespace tk::headless {

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace tk::headless
