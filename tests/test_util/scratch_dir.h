// A fresh directory below the system's temporary directory, removed with
// everything in it when its owner goes.
#pragma once

#include <filesystem>
#include <string>

#include "tests/test_util/program_path.h"

namespace test_util {

class ScratchDir {
 public:
  // `prefix` starts the directory's name, so a leftover says which tests made it.
  explicit ScratchDir(const std::string& prefix);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory for the standard library.
  const std::filesystem::path& native() const { return native_; }
  // The directory in the program's form (backslashes).
  const std::string& root() const { return root_; }

 private:
  std::filesystem::path native_;
  std::string root_;
};

}  // namespace test_util
