// POSIX routine linking: a built-in library "kernel32" whose five file
// routines are bound to POSIX calls taking the same arguments.
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "support/dll_link.h"
#include "support/file_io.h"
#include "support/posix_path.h"
#include "support/text.h"

namespace {

using Words = std::vector<std::intptr_t>;

std::string path_arg(const Words& args, std::size_t i) {
  const char* text = i < args.size() ? reinterpret_cast<const char*>(args[i]) : nullptr;
  if (text == nullptr) return std::string();
  return posix_path(text);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Like MoveFileA: an existing destination is never replaced, on file systems
// without a no-replace rename too (the file layer's one way to do it).
std::int32_t move_file_a(const Words& args) {
  const std::string from = path_arg(args, 0);
  const std::string to = path_arg(args, 1);
  if (from.empty() || to.empty()) return 0;
  return rename_no_replace(from, to) ? 1 : 0;
}

std::int32_t delete_file_a(const Words& args) {
  const std::string path = path_arg(args, 0);
  struct stat st {};
  // DeleteFileA removes files only; unlink of a directory fails anyway on
  // Linux, but not on every POSIX system.
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return ::unlink(path.c_str()) == 0 ? 1 : 0;
}

std::int32_t create_directory_a(const Words& args) {
  const std::string path = path_arg(args, 0);
  if (path.empty()) return 0;
  return ::mkdir(path.c_str(), 0777) == 0 ? 1 : 0;
}

// CopyFileA(source, destination, fail-if-exists).
std::int32_t copy_file_a(const Words& args) {
  const std::string from = path_arg(args, 0);
  const std::string to = path_arg(args, 1);
  const bool fail_if_exists = args.size() > 2 && args[2] != 0;
  if (from.empty() || to.empty() || (fail_if_exists && exists(to))) return 0;
  File source = File::open(from, OpenMode::kRead);
  if (!source.is_open()) return 0;
  File target = File::open(to, OpenMode::kWrite);
  if (!target.is_open()) return 0;
  std::array<char, 65536> block{};
  for (;;) {
    const long long got = source.read(block.data(), block.size());
    if (got < 0) return 0;
    if (got == 0) break;
    if (!target.write(block.data(), static_cast<std::size_t>(got))) return 0;
  }
  return target.close() ? 1 : 0;
}

std::int32_t remove_directory_a(const Words& args) {
  const std::string path = path_arg(args, 0);
  if (path.empty()) return 0;
  return ::rmdir(path.c_str()) == 0 ? 1 : 0;
}

constexpr std::array<BuiltInRoutine, 5> kKernel32 = {{
    {"MoveFileA", move_file_a},
    {"DeleteFileA", delete_file_a},
    {"CreateDirectoryA", create_directory_a},
    {"CopyFileA", copy_file_a},
    {"RemoveDirectoryA", remove_directory_a},
}};

}  // namespace

long link_routine(const std::string& library, const std::string& system_name,
                  const std::vector<std::uint32_t>&, std::uint32_t, bool) {
  const std::string lower = lower_ascii(library);
  if (lower != "kernel32" && lower != "kernel32.dll") return kLinkNoLibrary;
  for (std::size_t i = 0; i < kKernel32.size(); ++i) {
    if (system_name == kKernel32[i].name) return static_cast<long>(i);
  }
  return kLinkNoRoutine;
}

std::int32_t call_linked(long link_id, const std::vector<std::intptr_t>& arguments,
                         bool as_function) {
  if (link_id < 0 || static_cast<std::size_t>(link_id) >= kKernel32.size()) return 0;
  const std::int32_t result = kKernel32[static_cast<std::size_t>(link_id)].run(arguments);
  return as_function ? result : 0;
}
