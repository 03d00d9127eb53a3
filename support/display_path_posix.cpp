// POSIX side of display_path: the program's backslashes shown as slashes.
#include "support/display_path.h"
#include "support/text.h"

std::string display_path(const std::string& path) { return replace_all(path, "\\", "/"); }
