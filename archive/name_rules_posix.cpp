// POSIX side of the system's name rules: every byte but "/" and NUL may stand
// in a name, and both are dealt with before a component gets here.
#include "archive/name_rules.h"

bool system_keeps_component(const std::string&) { return true; }
