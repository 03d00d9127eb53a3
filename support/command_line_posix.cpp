// POSIX side of the program's arguments: argv, as the system hands it over.
#include "support/command_line.h"

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
