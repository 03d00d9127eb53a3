// Windows side of the program's arguments: GetCommandLineW in UTF-8, split by
// the C runtime's rules. The runtime's own argv has been through the ANSI
// code page, where a name outside it turns into question marks or a
// look-alike (a fullwidth quote into a quote that splits the argument).
#include <windows.h>

#include "support/command_line.h"
#include "support/wide_win32.h"

std::vector<std::string> program_arguments(int argc, char** argv) {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return std::vector<std::string>(argv, argv + argc);
  return split_command_line(from_wide(line));
}
