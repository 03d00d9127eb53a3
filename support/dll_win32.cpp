// Windows routine linking: LoadLibraryA and GetProcAddress, and calls through
// the link id for each argument count in use.
#include <windows.h>

#include <cstdint>

#include "support/dll_link.h"

namespace {

struct Linked {
  FARPROC proc;
  std::size_t argument_count;
};

std::vector<Linked> g_linked;

// Every argument travels as a machine word: on x64 each one takes a whole
// register or stack slot, and a routine taking a 32-bit value reads its low half.
using Word = std::intptr_t;
using Call0 = Word(WINAPI*)();
using Call1 = Word(WINAPI*)(Word);
using Call2 = Word(WINAPI*)(Word, Word);
using Call3 = Word(WINAPI*)(Word, Word, Word);
using Call4 = Word(WINAPI*)(Word, Word, Word, Word);

template <typename Target>
Target as(FARPROC proc) {
  // Through the generic function type, which may be cast to any other.
  return reinterpret_cast<Target>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

long link_routine(const std::string& library, const std::string& system_name,
                  const std::vector<std::uint32_t>& linker_kinds, std::uint32_t, bool) {
  HMODULE module = LoadLibraryA(library.c_str());
  if (module == nullptr) return kLinkNoLibrary;
  FARPROC proc = GetProcAddress(module, system_name.c_str());
  if (proc == nullptr || linker_kinds.size() > 4) return kLinkNoRoutine;
  g_linked.push_back(Linked{proc, linker_kinds.size()});
  return static_cast<long>(g_linked.size() - 1);
}

std::int32_t call_linked(long link_id, const std::vector<std::intptr_t>& arguments,
                         bool as_function) {
  if (link_id < 0 || static_cast<std::size_t>(link_id) >= g_linked.size()) return 0;
  const Linked& routine = g_linked[static_cast<std::size_t>(link_id)];
  Word a[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < arguments.size() && i < 4; ++i) a[i] = arguments[i];
  Word result = 0;
  switch (routine.argument_count) {
    case 0:
      result = as<Call0>(routine.proc)();
      break;
    case 1:
      result = as<Call1>(routine.proc)(a[0]);
      break;
    case 2:
      result = as<Call2>(routine.proc)(a[0], a[1]);
      break;
    case 3:
      result = as<Call3>(routine.proc)(a[0], a[1], a[2]);
      break;
    default:
      result = as<Call4>(routine.proc)(a[0], a[1], a[2], a[3]);
      break;
  }
  return as_function ? static_cast<std::int32_t>(static_cast<std::uint32_t>(result)) : 0;
}
