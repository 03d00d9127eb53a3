// The routine table: 50 buckets of entries keyed by system and short names,
// and dllFunc, which converts the arguments and calls through the link id.
#include "support/dll.h"

#include <array>
#include <cmath>
#include <memory>
#include <new>

#include "support/dll_link.h"

namespace {

std::array<std::vector<RoutineEntry>, kRoutineBuckets> g_buckets;
// The table exists (made by the set-up or emptied by a test).
bool g_table_made = false;
bool g_setup_done = false;

// Codes above this are the table's own and mean nothing to the linker.
constexpr std::uint32_t kLastLinkerKind = 0x3EFFFFFF;

void store(const RoutineEntry& entry) {
  g_buckets[static_cast<std::size_t>(routine_bucket(entry.name) - 1)].push_back(entry);
}

// A number as a machine word: truncated toward zero, saturated at the ends so
// that no out-of-range conversion happens.
std::intptr_t machine_word(double number, std::uint32_t kind) {
  if (std::isnan(number)) return 0;
  double whole = std::trunc(number);
  constexpr double kLow = -9.2e18;
  constexpr double kHigh = 9.2e18;
  whole = whole < kLow ? kLow : (whole > kHigh ? kHigh : whole);
  const auto wide = static_cast<long long>(whole);
  if (kind == KIND_INT) return static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  return static_cast<std::intptr_t>(wide);
}

}  // namespace

int routine_bucket(const std::string& name) {
  unsigned long long sum = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    sum += static_cast<unsigned long long>(static_cast<unsigned char>(name[i])) * (i + 1);
  }
  return static_cast<int>(sum % kRoutineBuckets) + 1;
}

void register_dll_routine(const std::string& library, const std::string& short_name,
                          const std::string& system_name,
                          const std::vector<std::uint32_t>& argument_kinds,
                          std::uint32_t result_kind) {
  RoutineEntry entry;
  entry.library = library;
  entry.name = system_name;
  entry.argument_kinds = argument_kinds;
  entry.result_kind = result_kind;
  entry.link_id = kLinkNoRoutine;
  entry.call_kind = result_kind != 0 ? 2 : 1;

  std::vector<std::uint32_t> linker_kinds = argument_kinds;
  for (std::uint32_t& kind : linker_kinds) {
    if (kind > kLastLinkerKind) kind = KIND_POINTER;
  }
  entry.link_id =
      link_routine(library, system_name, linker_kinds, result_kind, entry.call_kind != 1);
  store(entry);
  // A library that did not open leaves only the system name in the table.
  if (entry.link_id == kLinkNoLibrary || short_name.empty()) return;
  entry.name = short_name;
  store(entry);
}

const RoutineEntry* find_dll_routine(const std::string& name) {
  for (const RoutineEntry& entry : g_buckets[static_cast<std::size_t>(routine_bucket(name) - 1)]) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::int32_t dllFunc(const std::string& name, const std::vector<Value>& arguments) {
  // A program that never ran the set-up still finds its five routines.
  if (!g_table_made) support_setup();
  const RoutineEntry* entry = find_dll_routine(name);
  if (entry == nullptr) {
    error_prompt("dllFunc: dll routine name not found! nama = " + to_text(Value::text(name)) +
                 " par = " + to_text(Value::of(arguments)));
    return 0;
  }

  // The copies live until the call is over and are released on every way out.
  std::vector<std::unique_ptr<char[]>> copies;
  std::vector<std::intptr_t> words;
  for (std::size_t i = 0; i < entry->argument_kinds.size(); ++i) {
    const std::uint32_t kind = entry->argument_kinds[i];
    const Value argument = i < arguments.size() ? arguments[i] : Value::num(0);
    if (argument.is_number) {
      words.push_back(machine_word(argument.number, kind));
      continue;
    }
    if (kind != KIND_STRING) {
      words.push_back(0);  // a text where a number belongs has no number to pass
      continue;
    }
    std::unique_ptr<char[]> copy(new (std::nothrow) char[argument.list.size() + 1]);
    if (!copy) {
      error_prompt("dllFunc: cannot allocate_string! i = " +
                   to_text(Value::num(static_cast<double>(i + 1))));
      return 0;
    }
    for (std::size_t k = 0; k < argument.list.size(); ++k) {
      const Value& code = argument.list[k];
      // Only the low byte of a code is a character; machine_word keeps the
      // conversion defined for any number.
      copy[k] =
          code.is_number
              ? static_cast<char>(static_cast<unsigned char>(
                    static_cast<std::uintptr_t>(machine_word(code.number, KIND_POINTER)) & 0xFF))
              : '\0';
    }
    copy[argument.list.size()] = '\0';
    words.push_back(reinterpret_cast<std::intptr_t>(copy.get()));
    copies.push_back(std::move(copy));
  }

  if (entry->link_id < 0) {
    error_prompt("dllFunc: id less than 0! entri[eid] = " +
                 to_text(Value::num(static_cast<double>(entry->link_id))) +
                 " nama = " + to_text(Value::text(name)));
    return 0;
  }
  return call_linked(entry->link_id, words, entry->call_kind != 1);
}

void support_setup() {
  if (g_setup_done) return;
  // Only the file routines go through the table; the clock calls the system
  // directly, with nothing to link.
  reset_routine_table();
  g_setup_done = true;
  register_dll_routine("kernel32", "CopyFile", "CopyFileA", {KIND_STRING, KIND_STRING, KIND_INT},
                       KIND_INT);
  register_dll_routine("kernel32", "MoveFile", "MoveFileA", {KIND_STRING, KIND_STRING}, KIND_INT);
  register_dll_routine("kernel32", "DeleteFile", "DeleteFileA", {KIND_STRING}, KIND_INT);
  register_dll_routine("kernel32", "CreateDirectory", "CreateDirectoryA",
                       {KIND_STRING, KIND_POINTER}, KIND_INT);
  register_dll_routine("kernel32", "RemoveDirectory", "RemoveDirectoryA", {KIND_STRING}, KIND_INT);
}

void reset_routine_table() {
  for (auto& bucket : g_buckets) bucket.clear();
  g_table_made = true;
  g_setup_done = false;
}

const std::vector<RoutineEntry>& routine_bucket_entries(int bucket) {
  return g_buckets[static_cast<std::size_t>(bucket - 1)];
}
