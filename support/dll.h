// The routine table: system routines linked by name at start-up and called by
// their system or short name with a list of values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/value.h"

constexpr std::uint32_t KIND_INT = 0x01000004;
constexpr std::uint32_t KIND_POINTER = 0x02000004;
constexpr std::uint32_t KIND_STRING = 0x3F000014;

constexpr int kRoutineBuckets = 50;

struct RoutineEntry {
  std::string library;
  std::string name;
  std::vector<std::uint32_t> argument_kinds;
  std::uint32_t result_kind = 0;
  long link_id = -1;
  int call_kind = 2;
};

int routine_bucket(const std::string& name);
void register_dll_routine(const std::string& library, const std::string& short_name,
                          const std::string& system_name,
                          const std::vector<std::uint32_t>& argument_kinds,
                          std::uint32_t result_kind);
// The first entry stored under the name, or nullptr when there is none.
const RoutineEntry* find_dll_routine(const std::string& name);
std::int32_t dllFunc(const std::string& name, const std::vector<Value>& arguments);

// The support library's start-up: the routine table with its five routines.
// Runs once; later calls do nothing.
void support_setup();
// Empties the routine table (tests only).
void reset_routine_table();
// The entries of one bucket (1 to kRoutineBuckets) in stored order (tests only).
const std::vector<RoutineEntry>& routine_bucket_entries(int bucket);
