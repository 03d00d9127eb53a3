// Windows side of the system-dependent stored names: devices, streams, drive
// prefixes and names the system would shorten are refused.
#include <windows.h>

#include "tests/archive/system_names.h"

bool system_keeps_dependent_names() { return false; }

bool system_decodes_ansi_names() { return true; }

unsigned system_ansi_code_page() { return GetACP(); }
