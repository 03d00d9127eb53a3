// The burn run: every file below the home directory is overwritten, from its
// first byte, with 4096-byte zero blocks, to destroy the browser's private
// data. Files are neither truncated nor deleted. No write lands outside the
// home: links are never opened or followed at any level, a file with other
// names (hard links) is passed over, and the archives are never touched even
// when their directory lies in the home.
#include "main/burn.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "archive/dirwalk.h"
#include "main/messages.h"
#include "main/session.h"
#include "main/state.h"
#include "main/status.h"
#include "support/confined.h"
#include "support/dir_identity.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
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

constexpr char kUnsavedQuestion[] =
    "The last session was not saved: some of its files may exist nowhere but here.\n\n"
    "Wipe it anyway?";
constexpr char kNotWipedHeading[] =
    "These files and folders could not be wiped and still hold their data:\n";

// The directory part of a path the walk built with join_path; empty for a
// bare name.
std::string walked_directory(const std::string& path) {
  std::size_t at = path.find_last_of('\\');
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

// A file an archive link in the archive directory leads to: its directory
// and its name, letters A-Z folded (a file spared for a name that only
// differs in case is spared for nothing worse than being kept).
struct LinkedArchive {
  std::string directory;
  std::string name;
};

void add_link_target(const std::string& link, std::vector<LinkedArchive>& targets) {
  std::string target;
  if (!link_target(link, target) || target == link) return;
  const std::size_t at = target.find_last_of('\\');
  if (at == std::string::npos) return;
  targets.push_back({target.substr(0, at), lower_ascii(target.substr(at + 1))});
}

// The program's own files, which the burn never zeroes even when they lie
// in the home directory: everything in the archive directory (the archives,
// the marker, the lock), every archive at any depth below it, and the files
// that archive links there lead to. Asks the file system once per directory
// for a run of files from the same one.
class ArchiveGuard {
 public:
  explicit ArchiveGuard(std::vector<LinkedArchive> targets) : targets_(std::move(targets)) {}

  bool spares(const std::string& directory, const std::string& name) {
    if (!known_ || directory != last_) {
      last_ = directory;
      in_archive_dir_ = same_directory(directory, archive_dir());
      below_known_ = false;
      known_ = true;
    }
    if (in_archive_dir_) return true;
    if (has_archive_extension(name)) {
      if (!below_known_) below_archive_dir_ = directory_within(directory, archive_dir());
      below_known_ = true;
      if (below_archive_dir_) return true;
    }
    if (targets_.empty()) return false;
    const std::string lowered = lower_ascii(name);
    for (const LinkedArchive& target : targets_) {
      if (target.name == lowered && same_directory(directory, target.directory)) return true;
    }
    return false;
  }

 private:
  std::vector<LinkedArchive> targets_;
  bool known_ = false;
  std::string last_;
  bool in_archive_dir_ = false;
  bool below_known_ = false;
  bool below_archive_dir_ = false;
};

// Where the archive links lead: those in the archive directory, and those
// the walk met below it.
std::vector<LinkedArchive> linked_archives(const PathList& walked) {
  std::vector<LinkedArchive> targets;
  const Listing listing = list_dir(join_path(archive_dir(), std::string("*") + kArchiveExtension));
  for (const DirEntry& entry : listing.entries) {
    if (entry.is_link()) add_link_target(join_path(archive_dir(), entry.name), targets);
  }
  PathList::Cursor items(walked);
  std::string path;
  bool marked = false;
  while (items.next(path, marked)) {
    if (!marked || !has_archive_extension(path)) continue;
    if (entry_kind(path) == EntryKind::kLink &&
        directory_within(walked_directory(path), archive_dir())) {
      add_link_target(path, targets);
    }
  }
  return targets;
}

// What the burn passed over and names in its Warning: the first names, and
// how many there were.
struct PassedOver {
  std::vector<std::string> first;
  std::size_t count = 0;
  void add(const std::string& shown) {
    if (first.size() < kMaxNamedInWarning) first.push_back(shown);
    ++count;
  }
};
PassedOver g_passed_over;

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
  // The home's own lock, held by this start, is no private data.
  if (!entry.is_directory() && entry.name.size() == sizeof kLockName - 1 &&
      lower_ascii(entry.name) == kLockName && directory == home_dir()) {
    return 0;
  }
  // Marked: nothing to overwrite, so never opened.
  program().burn_list.push_back(join_path(directory, entry.name),
                                entry.is_link() || entry.is_directory());
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
  ArchiveGuard archives(linked_archives(p.burn_list));
  // Each file is opened relative to the home directory as the walk saw it,
  // so a directory replaced by a link since then leads nowhere.
  const std::string base = walk_base(home_dir());
  RootedOpener opener(opener_root(base));
  PathList::Cursor items(p.burn_list);
  std::string path;
  bool not_a_file = false;
  std::string relative;
  for (long long i = 1; i <= n && items.next(path, not_a_file); ++i) {
    // A directory, or a link: writing through one would zero whatever it
    // points to, possibly outside the home directory.
    if (not_a_file) continue;
    const std::string directory = walked_directory(path);
    if (archives.spares(directory, path.substr(directory.empty() ? 0 : directory.size() + 1))) {
      continue;
    }
    if (!relative_to(base, path, relative)) continue;
    // A read-only, locked, vanished or hard-linked file, or one that is no
    // data (a pipe, a socket, a device).
    OverwriteRefusal refusal = OverwriteRefusal::kNone;
    File file = opener.open_for_overwrite(relative, &refusal);
    if (!file.is_open()) {
      if (refusal != OverwriteRefusal::kNoData) g_passed_over.add(burn_display_name(path));
      continue;
    }
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
  g_passed_over = PassedOver{};
  // The visitor needs only each name and its kind, which most file systems
  // give with the listing itself: no look at every file's own record.
  const int walked =
      walk_tree(home_dir(), cb_ma, true, EntryDetail::kNameAndKind,
                [](const std::string& path) { g_passed_over.add(burn_display_name(path)); });
  // A home that is missing has nothing to wipe; one that is there but
  // cannot be listed keeps everything.
  if (walked == -1 && entry_kind(home_dir()) == EntryKind::kDirectory) {
    g_passed_over.add(display_path(home_dir()));
  }
  if (g_walk_hook != nullptr) g_walk_hook();
  burn_files();
  if (g_passed_over.count > 0) {
    tk::messageBox(kNotWipedHeading + named_list(g_passed_over.first, g_passed_over.count),
                   "Warning", 0);
  }
  note_wiped();
  const ProgramHooks& hooks = program_hooks();
  if (hooks.tick() - p.start_time < kMinimumDisplaySeconds) {
    for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
    hooks.sleep(kDisplaySleepMs);
  }
}

bool burn_confirmed(bool pack_failed) {
  if (!session_is_unsaved(pack_failed)) return true;
  if (tk::messageBox(kUnsavedQuestion, "Warning", tk::MB_YESNO_ | tk::MB_DEFBUTTON2_) !=
      tk::IDYES_) {
    return false;
  }
  forget_wiped_session();
  return true;
}
