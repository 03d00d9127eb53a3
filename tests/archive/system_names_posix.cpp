// POSIX table of system-dependent stored names: a POSIX file system holds
// every one of them under exactly its own name, so a profile made there gets
// them back.
#include "tests/archive/system_names.h"

const std::vector<SystemNameCase>& system_name_cases() {
  static const std::vector<SystemNameCase> cases = {
      {"aux.js", true}, {"nul.txt", true},
      {"con/x", true},  {"sub/Aux.tar.gz", true},
      {"CON", true},    {"PRN", true},
      {"COM1", true},   {"com9.log", true},
      {"LPT1", true},   {"lpt9", true},
      {"C:/x", true},   {"c:x", true},
      {"a:b", true},    {"file.txt:stream", true},
      {"x.", true},     {"x ", true},
      {"dir./y", true}, {"dir /y", true},
      {"... ", true},
  };
  return cases;
}
