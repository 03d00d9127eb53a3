// A test with a scratch directory of its own, naming files below it in the
// program's own form.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/text.h"
#include "tests/test_util/program_path.h"
#include "tests/test_util/scratch_dir.h"

namespace test_util {

// A test with a scratch directory of its own. Faults injected into the file
// seam end with the test.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The program's path of a name below the scratch directory; `relative` uses backslashes.
  std::string path(const std::string& relative) const { return join_path(root_, relative); }
  // The same path for the standard library.
  static std::filesystem::path native(const std::string& program_path) {
    return native_path(program_path);
  }
  // Plain files through the standard library, beside the code under test.
  void write(const std::string& relative, const std::string& bytes) const;
  void mkdir(const std::string& relative) const;
  bool exists(const std::string& relative) const;  // a dangling link counts
  std::string contents(const std::string& relative) const;

  std::filesystem::path dir_;  // the scratch directory for the standard library
  std::string root_;           // the same in the program's form

 private:
  std::optional<ScratchDir> scratch_;
};

}  // namespace test_util
