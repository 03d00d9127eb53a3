// Paths as the user reads them in messages.
#pragma once

#include <string>

// The path with the system's own separator throughout: inside the program
// the backslash separates on every system, so a POSIX path built from a
// directory given on the command line would otherwise show both kinds.
std::string display_path(const std::string& path);
