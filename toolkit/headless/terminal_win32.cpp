// Windows side of the terminal face: asks whether standard error is a console.
#include <windows.h>

#include "toolkit/headless/terminal_face.h"

namespace tk::headless {

bool stderrIsTerminal() {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace tk::headless
