// Windows routine linking: LoadLibraryW and GetProcAddress, the file routines
// bound to their wide forms, and calls through the link id for each argument
// count in use.
#include <windows.h>

#include <array>
#include <cstdint>

#include "support/dll_link.h"
#include "support/text.h"
#include "support/wide_win32.h"

namespace {

using Words = std::vector<std::intptr_t>;

// The program's paths are UTF-8: the kernel32 file routines it links by their
// ANSI names are bound to these, which call the wide routines instead, so no
// path goes through the ANSI code page. A path that is not UTF-8 becomes the
// empty path, on which every routine fails.
std::wstring path_arg(const Words& args, std::size_t i) {
  const char* text = i < args.size() ? reinterpret_cast<const char*>(args[i]) : nullptr;
  return text == nullptr ? std::wstring() : system_path(text);
}

std::int32_t move_file_w(const Words& args) {
  return MoveFileW(path_arg(args, 0).c_str(), path_arg(args, 1).c_str()) != 0 ? 1 : 0;
}

std::int32_t delete_file_w(const Words& args) {
  return DeleteFileW(path_arg(args, 0).c_str()) != 0 ? 1 : 0;
}

std::int32_t create_directory_w(const Words& args) {
  return CreateDirectoryW(path_arg(args, 0).c_str(), nullptr) != 0 ? 1 : 0;
}

std::int32_t copy_file_w(const Words& args) {
  const BOOL fail_if_exists = args.size() > 2 && args[2] != 0;
  return CopyFileW(path_arg(args, 0).c_str(), path_arg(args, 1).c_str(), fail_if_exists) != 0 ? 1
                                                                                              : 0;
}

std::int32_t remove_directory_w(const Words& args) {
  return RemoveDirectoryW(path_arg(args, 0).c_str()) != 0 ? 1 : 0;
}

constexpr std::array<BuiltInRoutine, 5> kWideFileRoutines = {{
    {"MoveFileA", move_file_w},
    {"DeleteFileA", delete_file_w},
    {"CreateDirectoryA", create_directory_w},
    {"CopyFileA", copy_file_w},
    {"RemoveDirectoryA", remove_directory_w},
}};

struct Linked {
  FARPROC proc;
  std::size_t argument_count;
  std::int32_t (*builtin)(const Words&) = nullptr;
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
  const std::string lower = lower_ascii(library);
  if (lower == "kernel32" || lower == "kernel32.dll") {
    for (const BuiltInRoutine& routine : kWideFileRoutines) {
      if (system_name != routine.name) continue;
      g_linked.push_back(Linked{nullptr, linker_kinds.size(), routine.run});
      return static_cast<long>(g_linked.size() - 1);
    }
  }
  std::wstring wide_library;
  if (!to_wide(library, wide_library)) return kLinkNoLibrary;
  HMODULE module = LoadLibraryW(wide_library.c_str());
  if (module == nullptr) return kLinkNoLibrary;
  FARPROC proc = GetProcAddress(module, system_name.c_str());
  if (proc == nullptr || linker_kinds.size() > 4) return kLinkNoRoutine;
  g_linked.push_back(Linked{proc, linker_kinds.size(), nullptr});
  return static_cast<long>(g_linked.size() - 1);
}

std::int32_t call_linked(long link_id, const std::vector<std::intptr_t>& arguments,
                         bool as_function) {
  if (link_id < 0 || static_cast<std::size_t>(link_id) >= g_linked.size()) return 0;
  const Linked& routine = g_linked[static_cast<std::size_t>(link_id)];
  if (routine.builtin != nullptr) {
    const std::int32_t result = routine.builtin(arguments);
    return as_function ? result : 0;
  }
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
