// The program's arguments, in UTF-8 on every system.
#pragma once

#include <string>
#include <vector>

// The arguments the process was started with, its own name first. On POSIX
// these are `argv` as they are; on Windows they come from the wide command
// line, so that no argument passes through the ANSI code page.
std::vector<std::string> program_arguments(int argc, char** argv);
// Splits a command line into its arguments by the rules the C runtime
// follows for main(): the program's name ends at the first blank or tab, or
// at its closing quote when it begins with one; after it, blanks and tabs
// outside quotes separate, a quote starts or ends a quoted part, two quotes
// inside one stand for a quote; before a quote, 2n backslashes stand for n
// and 2n + 1 for n and a quote; other backslashes are themselves.
std::vector<std::string> split_command_line(const std::string& line);
