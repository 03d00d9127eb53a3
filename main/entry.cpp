// The process entry, the same on every platform: the toolkit linked beside it
// (native windows on Windows, the terminal on Linux) decides how it looks.
#include <string>
#include <vector>

#include "main/program.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return program_main(args);
}
