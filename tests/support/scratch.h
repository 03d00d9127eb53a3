// A scratch directory per test, named in the program's own form (backslashes
// on both platforms, which the POSIX layer turns into slashes).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "support/text.h"

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    native_ = std::filesystem::temp_directory_path() /
              ("ilhome-support-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(native_);
    root_ = replace_all(native_.string(), "/", "\\");
  }
  void TearDown() override {
    // A child process's handles can outlive it for a moment on Windows, which
    // makes the removal fail with a sharing violation; try again a while.
    std::error_code error;
    for (int attempt = 0; attempt < 40; ++attempt) {
      error.clear();
      std::filesystem::remove_all(native_, error);
      if (!error) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "scratch not removed: %s\n", error.message().c_str());
  }

  // The program's path of a name below the scratch directory.
  std::string path(const std::string& relative) const { return join_path(root_, relative); }
  // The same path for the standard library, which wants slashes on POSIX.
  static std::filesystem::path native(const std::string& program_path) {
    return std::filesystem::path(replace_all(program_path, "\\", "/"));
  }
  void write(const std::string& relative, const std::string& bytes) const {
    std::ofstream(native(path(relative)), std::ios::binary) << bytes;
  }
  void mkdir(const std::string& relative) const {
    std::filesystem::create_directories(native(path(relative)));
  }
  bool exists(const std::string& relative) const {
    std::error_code ignored;
    return std::filesystem::exists(
        std::filesystem::symlink_status(native(path(relative)), ignored));
  }
  std::string contents(const std::string& relative) const {
    std::ifstream in(native(path(relative)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path native_;
  std::string root_;
};
