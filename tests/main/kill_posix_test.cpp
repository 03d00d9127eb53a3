// The built program killed at many moments of an unpack and of a pack, on a
// profile of more than 100 MB: the archive is always the old one or the whole
// new one, and a pack run after a killed unpack never changes it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <set>

#include "main/session.h"
#include "tests/main/program_fixture.h"

namespace {

constexpr std::uint64_t kSeed = 0x1b0a7e5eedULL;
constexpr int kFiles = 42;
constexpr std::size_t kFileBytes = 2500 * 1024;  // 42 files: about 105 MB
constexpr int kKillsPerVerb = 30;

// Deterministic bytes: the same profile on every run.
std::string generated(std::uint64_t& state, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t at = 0; at < size; at += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes.data() + at, &state, std::min<std::size_t>(8, size - at));
  }
  return bytes;
}

// A profile: `version` changes every third file and one file's size. The
// settings file names the home directory, as the browser's does.
std::map<std::string, std::string> profile_files(int version, const std::string& home) {
  std::map<std::string, std::string> files;
  std::uint64_t state = kSeed;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "dir" + std::to_string(i % 5) + "/file" + std::to_string(i) + ".bin";
    std::string bytes = generated(state, kFileBytes + static_cast<std::size_t>(i) * 97);
    if (version > 0 && i % 3 == 0) bytes[static_cast<std::size_t>(i) * 1000] ^= 0x5a;
    if (version > 0 && i == 7) bytes.resize(bytes.size() / 2);
    files[name] = std::move(bytes);
  }
  files["ilvar6.ini"] = "profile=" + home + "/profile\nversion=" + std::to_string(version) + "\n";
  return files;
}

bool same_file_bytes(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::file_size(a, error) != fs::file_size(b, error) || error) return false;
  std::ifstream fa(a, std::ios::binary);
  std::ifstream fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20);
  std::vector<char> bb(1 << 20);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() ||
        std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) {
      return false;
    }
  }
  return fa.eof() && fb.eof();
}

class KillTest : public ProgramTest {
 protected:
  // Starts the program; kills it with SIGKILL once it has written `lines`
  // status lines and then `delay_us` more microseconds have passed (or
  // lets it end when it writes fewer). True when it was killed; otherwise
  // `ran_us`, when given, is how long it ran after those status lines.
  bool run_killed(const std::string& verb, int lines, int delay_us, long long* ran_us = nullptr) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
      const int null_fd = ::open("/dev/null", O_RDONLY);
      ::dup2(null_fd, 0);
      ::dup2(pipe_fds[1], 2);
      ::close(pipe_fds[0]);
      ::execl(ILHOME_PROGRAM, ILHOME_PROGRAM, verb.c_str(), home_.c_str(), arch_.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipe_fds[1]);
    int seen = 0;
    char byte = 0;
    while (seen < lines && ::read(pipe_fds[0], &byte, 1) == 1) {
      if (byte == '\n') ++seen;
    }
    // Wait out the delay on the status pipe: it reaches its end when the
    // program does, which tells how long a run that ended early took.
    const auto seen_at = std::chrono::steady_clock::now();
    long long ended_after_us = -1;
    for (long long left = delay_us; left > 0; left = delay_us - microseconds_since(seen_at)) {
      pollfd status_pipe{pipe_fds[0], POLLIN, 0};
      const timespec wait{static_cast<time_t>(left / 1000000),
                          static_cast<long>(left % 1000000) * 1000};
      if (::ppoll(&status_pipe, 1, &wait, nullptr) <= 0) continue;
      char drained[4096];
      if (::read(pipe_fds[0], drained, sizeof drained) <= 0) {
        ended_after_us = microseconds_since(seen_at);
        break;
      }
    }
    ::kill(child, SIGKILL);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return true;
    if (ran_us != nullptr && ended_after_us >= 0) *ran_us = ended_after_us;
    return false;
  }
  static long long microseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }
  // The program run to its end.
  void run_whole(const std::string& verb) { run_killed(verb, 1 << 30, 0); }
  // The same, and how long it took, in microseconds.
  long long timed_whole(const std::string& verb) {
    const auto start = std::chrono::steady_clock::now();
    run_whole(verb);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }
  // The i-th of kKillsPerVerb kill points, spread over a run of `whole_us`
  // after its first status line (status lines come at most thirty a second,
  // too few to count on one per file).
  // A run that ends before its kill point shows the runs are shorter than
  // `whole_us` said (a busy machine when it was timed): the later points are
  // spread over what that run took, so most runs are still killed.
  bool run_killed_at(const std::string& verb, int i, long long& whole_us) {
    const long long delay = i * whole_us * 9 / (10 * kKillsPerVerb) + (i * 7919) % 3000;
    long long ran_us = -1;
    const bool killed = run_killed(verb, i == 0 ? 0 : 1, static_cast<int>(delay), &ran_us);
    if (!killed && ran_us >= 0 && ran_us < whole_us) whole_us = ran_us;
    return killed;
  }

  void write_profile(const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) write_bytes(profile() / name, bytes);
  }
  bool profile_is(const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) {
      if (read_bytes(profile() / name) != bytes) return false;
    }
    return true;
  }
  fs::path archive() const { return arch(kDefaultArchive); }
};

TEST_F(KillTest, KilledRunsNeverLoseTheArchive) {
  const std::map<std::string, std::string> old_files = profile_files(0, home_);
  const std::map<std::string, std::string> new_files = profile_files(1, home_);
  // The old archive, and the archive the new profile gives, kept aside.
  write_profile(new_files);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  run_whole("arsip");
  ASSERT_TRUE(fs::exists(archive()));
  const fs::path new_copy = root_ / "new.copy";
  fs::rename(archive(), new_copy);
  fs::remove_all(profile());
  write_profile(old_files);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  run_whole("arsip");
  const fs::path old_copy = root_ / "old.copy";
  fs::copy_file(archive(), old_copy);
  ASSERT_GT(fs::file_size(old_copy), 100u * 1000 * 1000);
  fs::remove_all(profile());

  // The kill points spread over the whole time of a run.
  long long unpack_us = timed_whole(kVerbUnpack);
  run_whole("arsip");
  ASSERT_TRUE(same_file_bytes(archive(), old_copy));
  fs::remove_all(profile());
  int killed_unpacks = 0;
  for (int i = 0; i < kKillsPerVerb; ++i) {
    SCOPED_TRACE("unpack kill " + std::to_string(i));
    const bool killed = run_killed_at(kVerbUnpack, i, unpack_us);
    if (killed) ++killed_unpacks;
    // A marker naming the archive only after an unpack that finished.
    if (markerExists() && !marker().empty()) {
      EXPECT_EQ(marker(), kDefaultArchive);
      EXPECT_TRUE(profile_is(old_files));
      // With the token of the unpack that set this profile up beside it.
      const std::string token = read_bytes(arch(kSessionName));
      EXPECT_FALSE(token.empty());
      const std::string record = read_bytes(root_ / "home" / kProfileRecordName);
      EXPECT_EQ(record.substr(0, 8), "unsaved ");
      ASSERT_GT(record.size(), token.size());
      EXPECT_EQ(record.substr(record.size() - token.size() - 1), "\n" + token);
    }
    run_whole("arsip");
    ASSERT_TRUE(same_file_bytes(archive(), old_copy));
  }
  EXPECT_GT(killed_unpacks, kKillsPerVerb / 2);

  fs::remove_all(profile());
  write_profile(new_files);
  // A session of an older version: a marker without a token, no record.
  fs::remove(root_ / "home" / kProfileRecordName);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  long long pack_us = timed_whole("arsip");
  ASSERT_TRUE(same_file_bytes(archive(), new_copy));
  fs::copy_file(old_copy, archive(), fs::copy_options::overwrite_existing);
  int killed_packs = 0;
  for (int i = 0; i < kKillsPerVerb; ++i) {
    SCOPED_TRACE("pack kill " + std::to_string(i));
    write_bytes(arch(kMarkerName), kDefaultArchive);
    if (run_killed_at("arsip", i, pack_us)) ++killed_packs;
    const bool is_old = same_file_bytes(archive(), old_copy);
    const bool is_new = !is_old && same_file_bytes(archive(), new_copy);
    ASSERT_TRUE(is_old || is_new);
    if (is_new) fs::copy_file(old_copy, archive(), fs::copy_options::overwrite_existing);
  }
  EXPECT_GT(killed_packs, kKillsPerVerb / 2);
}

// The swap of a finished unpack for the old profile, killed at many moments:
// the profile directory is always the old profile or the whole new one,
// nothing of the old one is ever lost, and a marker names the archive only
// when its whole profile is in place.
TEST_F(KillTest, KilledSwapsLeaveTheOldProfileOrTheWholeNewOne) {
  const std::map<std::string, std::string> new_files = profile_files(0, home_);
  write_profile(new_files);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  run_whole("arsip");
  ASSERT_TRUE(fs::exists(archive()));
  const std::map<std::string, std::string> old_files = {{"old.txt", "never saved"},
                                                        {"sub/more.txt", "mine"}};
  const auto reset = [&] {
    fs::remove_all(root_ / "home");
    for (const auto& [name, bytes] : old_files) write_bytes(profile() / name, bytes);
    fs::remove(arch(kMarkerName));
  };
  const auto names_below = [](const fs::path& dir) {
    std::set<std::string> names;
    if (!fs::is_directory(dir)) return names;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
      if (item.is_regular_file()) names.insert(fs::relative(item.path(), dir).generic_string());
    }
    return names;
  };
  std::set<std::string> old_names;
  for (const auto& [name, bytes] : old_files) old_names.insert(name);
  std::set<std::string> new_names;
  for (const auto& [name, bytes] : new_files) new_names.insert(name);
  const auto holds_old = [&](const fs::path& dir) {
    if (names_below(dir) != old_names) return false;
    for (const auto& [name, bytes] : old_files) {
      if (read_bytes(dir / name) != bytes) return false;
    }
    return true;
  };

  reset();
  long long unpack_us = timed_whole(kVerbUnpack);
  int killed = 0;
  for (int i = 0; i < kKillsPerVerb; ++i) {
    SCOPED_TRACE("swap kill " + std::to_string(i));
    reset();
    if (run_killed_at(kVerbUnpack, i, unpack_us)) ++killed;
    const bool is_old = holds_old(profile());
    const bool is_new = !is_old && names_below(profile()) == new_names && profile_is(new_files);
    EXPECT_TRUE(is_old || is_new);
    if (markerExists() && !marker().empty()) {
      EXPECT_TRUE(is_new);
    }
    // The old profile is somewhere in the home directory, whole.
    bool old_kept = is_old;
    for (const auto& item : fs::directory_iterator(root_ / "home")) {
      if (item.is_directory() && holds_old(item.path())) old_kept = true;
    }
    EXPECT_TRUE(old_kept);
    // The next start finishes the job: exactly the archive's profile, and
    // the old one still kept.
    run_whole(kVerbUnpack);
    EXPECT_EQ(names_below(profile()), new_names);
    EXPECT_EQ(marker(), kDefaultArchive);
    old_kept = false;
    for (const auto& item : fs::directory_iterator(root_ / "home")) {
      if (item.is_directory() && holds_old(item.path())) old_kept = true;
    }
    EXPECT_TRUE(old_kept);
  }
  EXPECT_GT(killed, kKillsPerVerb / 2);
}

}  // namespace
