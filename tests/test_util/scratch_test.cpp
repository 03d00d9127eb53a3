// The scratch-directory fixture.
#include "tests/test_util/scratch_test.h"

#include <fstream>
#include <iterator>

#include "support/file_io.h"

namespace test_util {

void ScratchTest::SetUp() {
  scratch_.emplace("ilhome-test");
  dir_ = scratch_->native();
  root_ = scratch_->root();
}

void ScratchTest::TearDown() {
  io_clear_faults();
  scratch_.reset();
}

void ScratchTest::write(const std::string& relative, const std::string& bytes) const {
  std::ofstream(native(path(relative)), std::ios::binary) << bytes;
}

void ScratchTest::mkdir(const std::string& relative) const {
  std::filesystem::create_directories(native(path(relative)));
}

bool ScratchTest::exists(const std::string& relative) const {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(native(path(relative)), ignored));
}

std::string ScratchTest::contents(const std::string& relative) const {
  std::ifstream in(native(path(relative)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_util
