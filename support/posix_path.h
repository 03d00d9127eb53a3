// The program's paths as the POSIX calls take them; for the POSIX layer only.
#pragma once

#include <string>

#include "support/text.h"

// Inside the program the backslash separates components on every system, so
// that paths are built and compared one way; the slash the system wants is
// put in only at the call.
inline std::string posix_path(const std::string& path) { return replace_all(path, "\\", "/"); }
