// The burn run: every file below the home directory is overwritten, from its
// first byte, with 4096-byte zero blocks, to destroy the browser's private
// data. Files are neither truncated nor deleted. No write lands outside the
// home: links are never opened or followed at any level, a file with other
// names (hard links) is passed over, and the archives are never touched even
// when their directory lies in the home.
#include "main/burn.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "archive/dirwalk.h"
#include "main/profile_record.h"
#include "main/state.h"
#include "main/status.h"
#include "support/dir_identity.h"
#include "support/file_io.h"
#include "support/rooted_open.h"
#include "support/text.h"

namespace {

constexpr char kActionBurn[] = "Incinerating private data and history...";
// Zero bytes go out in writes of this many whole blocks (1 MiB).
constexpr std::size_t kBlocksPerWrite = 256;
// A verb that ends within this time of its start keeps the status window up
// a while longer, so that it is seen at all.
constexpr double kMinimumDisplaySeconds = 1.0;
constexpr unsigned long kDisplaySleepMs = 1000;

void (*g_walk_hook)() = nullptr;

// Answers "is this directory the archive directory?" for a run of paths from
// the same directory without asking the file system each time.
class ArchiveDirGuard {
 public:
  bool holds(const std::string& directory) {
    if (!known_ || directory != last_) {
      last_ = directory;
      answer_ = same_directory(directory, archive_dir());
      known_ = true;
    }
    return answer_;
  }

 private:
  bool known_ = false;
  std::string last_;
  bool answer_ = false;
};

// The directory part of a path the walk built with join_path; empty for a
// bare name.
std::string walked_directory(const std::string& path) {
  std::size_t at = path.find_last_of('\\');
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

// The path below `base` (the walk's own form of the home directory), or
// nothing when the walk did not build `path` from it.
bool relative_to(const std::string& base, const std::string& path, std::string& relative) {
  if (base.empty()) {
    relative = path;
    return true;
  }
  if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0 ||
      path[base.size()] != '\\') {
    return false;
  }
  relative = path.substr(base.size() + 1);
  return true;
}

// The directory the walk listed for `base`: a bare drive or an empty base
// stands for a root directory.
std::string opener_root(const std::string& base) {
  if (base.empty() || base.back() == ':') return base + "\\";
  return base;
}

// Stops early only when the file stops taking bytes (a full disk).
void write_zero_blocks(File& file, long long size) {
  static const std::vector<char> zeros(kBlocksPerWrite * kZeroBlockSize, 0);
  for (unsigned long long left = burn_length(size); left > 0;) {
    const std::size_t now =
        static_cast<std::size_t>(std::min<unsigned long long>(left, zeros.size()));
    if (!file.write(zeros.data(), now)) return;
    left -= now;
  }
}

}  // namespace

int cb_ma(const std::string& directory, const DirEntry& entry) {
  program().burn_list.push_back(join_path(directory, entry.name), entry.is_link());
  return 0;
}

std::string burn_display_name(const std::string& path) {
  const std::string home = home_dir();
  std::string shown = path;
  if (match_nocase(1, path, home) == 1) {
    shown = tail_from(path, static_cast<long>(home.size()) + 1);
    if (!shown.empty() && shown.front() == '\\') shown.erase(0, 1);
  }
  return replace_all(shown, "\\", "/");
}

unsigned long long burn_length(long long size) {
  // A size that cannot be taken gets no block: the written count 0 is
  // already past it.
  if (size < 0) return 0;
  return (static_cast<unsigned long long>(size) / kZeroBlockSize + 1) * kZeroBlockSize;
}

void set_burn_walk_hook(void (*hook)()) { g_walk_hook = hook; }

void burn_files() {
  ProgramState& p = program();
  if (skosong(p.burn_list) != 0) return;
  const long long n = static_cast<long long>(p.burn_list.size());
  ArchiveDirGuard archives;
  // Each file is opened relative to the home directory as the walk saw it,
  // so a directory replaced by a link since then leads nowhere.
  const std::string base = walk_base(home_dir());
  RootedOpener opener(opener_root(base));
  PathList::Cursor items(p.burn_list);
  std::string path;
  bool link = false;
  std::string relative;
  for (long long i = 1; i <= n && items.next(path, link); ++i) {
    // Writing through a link would zero whatever it points to, possibly
    // outside the home directory.
    if (link) continue;
    if (archives.holds(walked_directory(path))) continue;
    if (!relative_to(base, path, relative)) continue;
    // A directory, a read-only, locked, vanished or hard-linked file.
    File file = opener.open_for_overwrite(relative);
    if (!file.is_open()) continue;
    const long long size = file.size();
    show_progress(burn_display_name(path), i, n);
    write_zero_blocks(file, size);  // a full disk ends this file, not the run
    file.close();
  }
  flush_progress();
  p.burn_list.clear();
}

void burn_run() {
  ProgramState& p = program();
  show_status(kActionBurn);
  // The visitor needs only each name and its kind, which most file systems
  // give with the listing itself: no look at every file's own record.
  walk_tree(home_dir(), cb_ma, true, EntryDetail::kNameAndKind);
  if (g_walk_hook != nullptr) g_walk_hook();
  burn_files();
  // The record was zeroed with the rest; what it says now lets the next
  // unpack replace the wiped profile without keeping it.
  write_profile_record(ProfileRecord::kWiped);
  const ProgramHooks& hooks = program_hooks();
  if (hooks.tick() - p.start_time < kMinimumDisplaySeconds) {
    for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
    hooks.sleep(kDisplaySleepMs);
  }
}
