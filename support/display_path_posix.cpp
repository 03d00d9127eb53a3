// POSIX side of display_path: the program's backslashes shown as slashes.
#include "support/display_path.h"
#include "support/posix_path.h"

std::string display_path(const std::string& path) { return posix_path(path); }
