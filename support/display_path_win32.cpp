// Windows side of display_path: the program's paths are the system's own.
#include "support/display_path.h"

std::string display_path(const std::string& path) { return path; }
