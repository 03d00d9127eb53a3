// The process entry, the same on every platform: the toolkit linked beside it
// (native windows on Windows, the terminal on Linux) decides how it looks.
#include "main/program.h"
#include "support/command_line.h"

int main(int argc, char** argv) { return program_main(program_arguments(argc, argv)); }
