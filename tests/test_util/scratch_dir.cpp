// The scratch directory: a unique name, and a removal that outlasts a
// moment of sharing violations.
#include "tests/test_util/scratch_dir.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace test_util {

ScratchDir::ScratchDir(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  native_ = std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(random()) + std::to_string(random()) + "-" +
             std::to_string(counter.fetch_add(1)));
  std::filesystem::create_directories(native_);
  root_ = program_path(native_);
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  // A test may have taken its own rights to the directory away.
  std::filesystem::permissions(native_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  // A child process's handles can outlive it for a moment on Windows, which
  // makes the removal fail with a sharing violation; try again a while.
  for (int attempt = 0; attempt < 40; ++attempt) {
    error.clear();
    std::filesystem::remove_all(native_, error);
    if (!error) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "scratch directory not removed: %s\n", error.message().c_str());
}

}  // namespace test_util
