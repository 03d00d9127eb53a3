// Feeds arbitrary bytes to the archive reader as an archive file, under a
// short and under a long home path. Whatever the bytes, the reader must not
// crash, hang or allocate without bound, must report only safe names at
// growing positions within the archive, must write nothing outside the
// profile directory, and no file larger than the archive or the settings
// file's bound.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "archive/format.h"
#include "archive/reader.h"
#include "tests/test_util/program_path.h"
#include "tests/test_util/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

using test_util::program_path;

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "fuzz_reader: %s\n", why.c_str());
  std::abort();
}

struct Sandbox {
  test_util::ScratchDir scratch{"ilhome-fuzz-reader"};
  fs::path base;     // everything the reader may touch lies below this
  fs::path archive;  // base/archive.ilhome
  fs::path home;     // base/a/b/c/d/<home>: escapes of a few levels stay in base
  fs::path profile;

  explicit Sandbox(const std::string& home_name) {
    base = scratch.native();
    archive = base / "archive.ilhome";
    home = base / "a" / "b" / "c" / "d" / home_name;
    profile = home / "profile";
    fs::create_directories(home);
  }
};

// A short home path, and a long one: each placeholder in a settings file
// then stands for hundreds of bytes, which the expansion's bound must hold.
Sandbox& short_home() {
  static Sandbox box("home");
  return box;
}
Sandbox& long_home() {
  static Sandbox box(std::string(200, 'h'));
  return box;
}

bool is_below(const fs::path& path, const fs::path& directory) {
  const std::string p = path.lexically_normal().string();
  const std::string d = directory.lexically_normal().string() + "/";
  return p.compare(0, d.size(), d) == 0;
}

void run_reader(Sandbox& box, const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(box.archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  long long last_position = 0;
  UnpackOutcome outcome = UnpackOutcome::kCannotOpen;
  const int result = dekompres(
      program_path(box.profile), program_path(box.archive),
      [&](const std::string& name, long long position) {
        if (!stored_name_is_safe(name)) fail("progress for a refused name");
        if (position <= last_position || position > static_cast<long long>(size)) {
          fail("read position out of order or past the end");
        }
        last_position = position;
        return 0;
      },
      &outcome);
  // Damaged bytes make an incomplete unpack, never one that cannot start.
  if (outcome == UnpackOutcome::kCannotOpen) fail("an archive that exists could not be read");
  if ((result == 1) != (outcome == UnpackOutcome::kComplete)) fail("result and outcome differ");

  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(box.base, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    if (path == box.archive || is_below(box.home, path)) continue;  // the way down to home
    if (path == box.home || path == box.profile) continue;
    if (!is_below(path, box.profile)) fail("written outside the profile: " + path.string());
    // A settings file is written as stored, copied, or expanded within the bound.
    std::error_code ignored;
    if (it->is_regular_file(ignored) &&
        it->file_size(ignored) > std::max(size, kMaxSettingsBytes)) {
      fail("a file larger than the bound and the archive: " + path.string());
    }
  }
  fs::remove_all(box.profile, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  run_reader(short_home(), data, size);
  run_reader(long_home(), data, size);
  return 0;
}
