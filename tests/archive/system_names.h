// Stored names whose fate depends on the system the profile is unpacked on:
// a POSIX file system holds each of them under exactly its own name, where
// Windows would take it for a device, a stream or a drive, or shorten it.
#pragma once

#include <string>
#include <vector>

struct SystemNameCase {
  std::string name;
  bool kept;
};

// Whether this system's file system keeps every one of those names.
bool system_keeps_dependent_names();

inline std::vector<SystemNameCase> system_name_cases() {
  const char* const names[] = {
      "aux.js",   "nul.txt", "con/x",  "sub/Aux.tar.gz", "CON",  "PRN", "COM1",
      "com9.log", "LPT1",    "lpt9",   "C:/x",           "c:x",  "a:b", "file.txt:stream",
      "x.",       "x ",      "dir./y", "dir /y",         "... ",
  };
  std::vector<SystemNameCase> cases;
  for (const char* name : names) cases.push_back({name, system_keeps_dependent_names()});
  return cases;
}
