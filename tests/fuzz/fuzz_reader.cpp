// Feeds arbitrary bytes to the archive reader as an archive file, under a
// short home path and, when they hold a placeholder, under a long one, with
// every file held in memory (see memory_files.h). Whatever the bytes, the
// reader must not crash, hang or allocate without bound, must report only
// safe names at growing positions within the archive, must write nothing
// outside the profile directory, no file longer than its record's data (a
// settings file: than its bound), and must name exactly the records whose
// data do not match their checksum.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/checksum.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "support/text.h"
#include "tests/fuzz/memory_files.h"

namespace {

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "fuzz_reader: %s\n", why.c_str());
  std::abort();
}

constexpr char kArchive[] = "F:\\stick\\archive.ilhome";

struct Home {
  std::string home;     // F:\a\b\c\d\<name>: escapes of a few levels stay on F:
  std::string profile;  // home\profile
};

// A short home path, and a long one: each placeholder in a settings file
// then stands for hundreds of bytes, which the expansion's bound must hold.
const Home kShortHome{"F:\\a\\b\\c\\d\\home", "F:\\a\\b\\c\\d\\home\\profile"};
const Home kLongHome{"F:\\a\\b\\c\\d\\" + std::string(200, 'h'),
                     "F:\\a\\b\\c\\d\\" + std::string(200, 'h') + "\\profile"};

// Below the profile, with no component that is empty, "." or "..".
bool is_below_profile(const std::string& path, const std::string& profile) {
  if (path.compare(0, profile.size() + 1, profile + "\\") != 0) return false;
  std::size_t start = profile.size() + 1;
  for (;;) {
    const std::size_t end = path.find('\\', start);
    const std::string component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

struct Reported {
  std::string name;
  long long position;
};

std::uint32_t field_before_data(const std::uint8_t* data, long long position,
                                std::size_t distance) {
  return get_u32le(data + position - static_cast<long long>(distance));
}

void run_reader(const Home& home, const std::uint8_t* data, std::size_t size) {
  memory_files::reset();
  memory_files::put(kArchive, std::string(reinterpret_cast<const char*>(data), size));
  std::vector<Reported> reported;
  UnpackReport report;
  const int result = dekompres(
      home.profile, kArchive,
      [&](const std::string& name, long long position) {
        if (!stored_name_is_safe(name)) fail("progress for a refused name");
        const long long last = reported.empty() ? 0 : reported.back().position;
        if (position <= last || position > static_cast<long long>(size)) {
          fail("read position out of order or past the end");
        }
        reported.push_back({name, position});
        return 0;
      },
      report);
  // Damaged bytes make an incomplete unpack, never one that cannot start.
  if (report.outcome == UnpackOutcome::kCannotOpen) fail("an archive that exists was not read");
  if ((result == 1) != (report.outcome == UnpackOutcome::kComplete)) {
    fail("result and outcome differ");
  }

  const auto& files = memory_files::files();
  for (const auto& [path, bytes] : files) {
    if (path == kArchive) {
      if (bytes.size() != size) fail("the archive was changed");
      continue;
    }
    if (!is_below_profile(path, home.profile)) fail("written outside the profile: " + path);
    // Only a settings file grows, by its placeholders, and only up to the bound.
    const bool settings = is_settings_file(path.substr(home.profile.size() + 1));
    if (bytes.size() > (settings ? std::max(size, kMaxSettingsBytes) : size)) {
      fail("a file larger than the archive allows: " + path);
    }
  }

  // Each damaged record is one the progress named, at the same place.
  std::unordered_map<long long, std::string> damaged_at;
  for (const DamagedRecord& d : report.damaged) {
    const auto at = static_cast<long long>(d.data_position);
    const bool named = std::any_of(reported.begin(), reported.end(), [&](const Reported& r) {
      return r.position == at && r.name == d.name;
    });
    if (!named) fail("a damaged record the unpack did not write: " + d.name);
    damaged_at[at] = d.name;
  }
  // For every ordinary file written whole and by one record alone, the
  // checksum stored before its data decides whether it is named damaged.
  const auto target = [&](const Reported& r) {
    return home.profile + "\\" + replace_all(r.name, "/", "\\");
  };
  std::unordered_map<std::string, int> writes;
  for (const Reported& r : reported) ++writes[target(r)];
  for (const Reported& r : reported) {
    if (writes[target(r)] != 1 || is_settings_file(r.name)) continue;
    const auto file = files.find(target(r));
    if (file == files.end()) fail("a reported file is missing: " + r.name);
    const std::uint32_t length =
        field_before_data(data, r.position, kTagSize + kChecksumSize + kDataLengthSize);
    if (file->second.size() > length) fail("a file longer than its record's data: " + r.name);
    if (file->second.size() != length) continue;  // cut short by the archive's end
    const std::uint32_t stored = field_before_data(data, r.position, kTagSize + kChecksumSize);
    const std::uint32_t actual =
        checksum_update_tables(kChecksumStart, file->second.data(), file->second.size());
    const bool damaged = stored != kNoChecksum && stored != actual;
    if (damaged != (damaged_at.count(r.position) != 0)) {
      fail("checksum mismatch " + std::string(damaged ? "not reported" : "reported wrongly") +
           ": " + r.name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  run_reader(kShortHome, data, size);
  // The long home differs only where a placeholder is expanded.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.find(kRootPlaceholder) != std::string_view::npos) run_reader(kLongHome, data, size);
  // Nothing kept from one input to the next: the fuzzer would otherwise take
  // the store for a leak and run each input again to look for it.
  memory_files::reset();
  return 0;
}
