// The burn run: every file below the home directory is overwritten, from its
// first byte, with 4096-byte zero blocks, to destroy the browser's private
// data. Files are neither truncated nor deleted. Links are never opened, and
// the archives are never touched even when their directory lies in the home.
#include <algorithm>

#include "archive/dirwalk.h"
#include "main/program.h"
#include "support/dir_match.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kActionBurn[] = "Incinerating private data and history...";
constexpr char kLinkAttribute = 'l';

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

// Whether the listing behind file_size would read the name as something else:
// it takes "*" and "?" as wildcards and drops trailing blanks and tabs, so for
// such a name (possible on POSIX file systems) it answers for another entry or
// for none, and the file would keep most of its bytes.
bool listing_misreads(const std::string& name) {
  return has_wildcard(name) || (!name.empty() && (name.back() == ' ' || name.back() == '\t'));
}

// The directory part of a path the walk built with join_path.
std::string directory_of(const std::string& path) {
  std::size_t at = path.find_last_of('\\');
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

}  // namespace

int cb_ma(const std::string& directory, const DirEntry& entry) {
  const bool link = entry.attributes.find(kLinkAttribute) != std::string::npos;
  const long long walked_size =
      listing_misreads(entry.name) ? static_cast<long long>(entry.size) : -1LL;
  program().burn_list.push_back({join_path(directory, entry.name), link, walked_size});
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

void burn_files() {
  ProgramState& p = program();
  if (skosong(p.burn_list) != 0) return;
  const long long n = static_cast<long long>(p.burn_list.size());
  ArchiveDirGuard archives;
  for (long long i = 1; i <= n; ++i) {
    const BurnItem& item = p.burn_list[static_cast<std::size_t>(i - 1)];
    // Writing through a link would zero whatever it points to, possibly
    // outside the home directory.
    if (item.link) continue;
    if (archives.holds(directory_of(item.path))) continue;
    long long size = item.walked_size >= 0 ? item.walked_size : file_size(item.path);
    File file = File::open(item.path, OpenMode::kReadWriteExisting);
    if (!file.is_open()) continue;  // a directory, read-only, locked or gone
    show_progress(burn_display_name(item.path), i, n);
    for (long long written = 0; written <= size; written += kZeroBlockSize) {
      if (!file.write(p.zero_block.data(), p.zero_block.size())) break;  // disk full
    }
    file.close();
  }
  p.burn_list.clear();
}

void burn_run() {
  ProgramState& p = program();
  show_status(kActionBurn);
  walk_tree(home_dir(), cb_ma, true);
  burn_files();
  const ProgramHooks& hooks = program_hooks();
  if (hooks.tick() - p.start_time < kMinimumDisplaySeconds) {
    for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
    hooks.sleep(kDisplaySleepMs);
  }
}
