// The platform half of the routine table: linking a routine by library and
// name, and calling it through its link id with machine-word arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr long kLinkNoRoutine = -1;
constexpr long kLinkNoLibrary = -2;

// The link id (0 or more), kLinkNoRoutine when the library has no routine of
// that name, kLinkNoLibrary when the library cannot be opened.
long link_routine(const std::string& library, const std::string& system_name,
                  const std::vector<std::uint32_t>& linker_kinds, std::uint32_t result_kind,
                  bool as_function);
// Calls a linked routine; the result is 0 for a procedure.
std::int32_t call_linked(long link_id, const std::vector<std::intptr_t>& arguments,
                         bool as_function);

// A kernel32 file routine the program binds to code of its own, by the name
// it links it under: POSIX calls on Linux, the wide routines on Windows.
struct BuiltInRoutine {
  const char* name;
  std::int32_t (*run)(const std::vector<std::intptr_t>& arguments);
};
