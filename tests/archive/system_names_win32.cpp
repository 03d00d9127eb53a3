// Windows table of system-dependent stored names: devices, streams, drive
// prefixes and names the system would shorten are refused.
#include "tests/archive/system_names.h"

const std::vector<SystemNameCase>& system_name_cases() {
  static const std::vector<SystemNameCase> cases = {
      {"aux.js", false}, {"nul.txt", false},
      {"con/x", false},  {"sub/Aux.tar.gz", false},
      {"CON", false},    {"PRN", false},
      {"COM1", false},   {"com9.log", false},
      {"LPT1", false},   {"lpt9", false},
      {"C:/x", false},   {"c:x", false},
      {"a:b", false},    {"file.txt:stream", false},
      {"x.", false},     {"x ", false},
      {"dir./y", false}, {"dir /y", false},
      {"... ", false},
  };
  return cases;
}
