// POSIX side of the system-dependent stored names: a POSIX file system holds
// every one of them under exactly its own name, so a profile made there gets
// them back.
#include "tests/archive/system_names.h"

bool system_keeps_dependent_names() { return true; }

bool system_decodes_ansi_names() { return false; }

unsigned system_ansi_code_page() { return 0; }
