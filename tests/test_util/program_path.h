// The two forms of a path the tests pass around: the program's own, with
// backslashes on both platforms, and the standard library's, which wants
// slashes on POSIX (Windows takes either).
#pragma once

#include <filesystem>
#include <string>

#include "support/text.h"

namespace test_util {

inline std::string program_path(const std::filesystem::path& path) {
  return replace_all(path.string(), "/", "\\");
}

inline std::filesystem::path native_path(const std::string& program_path) {
  return std::filesystem::path(replace_all(program_path, "\\", "/"));
}

}  // namespace test_util
