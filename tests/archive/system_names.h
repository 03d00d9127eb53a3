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
// Whether a stored name that is not UTF-8 is read in the system's ANSI code
// page (Windows) rather than kept as its bytes (POSIX).
bool system_decodes_ansi_names();
// The system's ANSI code page (1252, 1251, 932, ...); 0 where there is none.
unsigned system_ansi_code_page();

inline std::vector<SystemNameCase> system_name_cases() {
  const char* const names[] = {
      "aux.js",
      "nul.txt",
      "con/x",
      "sub/Aux.tar.gz",
      "CON",
      "PRN",
      "COM1",
      "com9.log",
      "LPT1",
      "lpt9",
      "C:/x",
      "c:x",
      "a:b",
      "file.txt:stream",
      "x.",
      "x ",
      "dir./y",
      "dir /y",
      "... ",
      // A blank before the dot still names the device.
      "COM1 .txt",
      "sub/COM1 .dat",
      "NUL .txt",
      "con  .x.y",
      // Superscript port numbers and the console's own names.
      "COM\xC2\xB9",
      "lpt\xC2\xB2.txt",
      "Com\xC2\xB3",
      "CONIN$",
      "conout$.log",
      // Wildcards, quotes, pipes and controls.
      "a<b",
      "a>b",
      "a\"b",
      "a|b",
      "a?b",
      "sub/a*b",
      "tab\tname",
      "bell\x07",
      "esc\x1b[1m",
  };
  std::vector<SystemNameCase> cases;
  for (const char* name : names) cases.push_back({name, system_keeps_dependent_names()});
  return cases;
}
