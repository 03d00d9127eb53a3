// The swap of a freshly unpacked profile for the old one, and the record
// that tells the next start what became of each.
#include "main/swap.h"

#include <cstdio>

#include "archive/dirwalk.h"
#include "main/keep.h"
#include "main/session.h"
#include "main/state.h"
#include "support/dir_identity.h"
#include "support/dir_tree.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"
#include "toolkit/toolkit.h"

namespace {

// Bounds the search for a free name, as for a kept session's archive.
constexpr int kMaxAsideCounter = 1000;
// The folders of the check that a renamed folder keeps its content.
constexpr char kRenameCheckName[] = "profile (rename check)";
constexpr char kRenameCheckedName[] = "profile (rename checked)";

// Whether the archive is, through links, a file inside the profile
// directory: the old profile then holds the archive being unpacked and must
// never be removed with it.
bool archive_lies_in_profile(const std::string& archive) {
  std::string target;
  if (!link_target(archive, target)) return true;  // cannot tell: the careful answer
  const std::size_t cut = target.find_last_of("\\/");
  if (cut == std::string::npos) return false;
  return directory_within(target.substr(0, cut == 0 ? 1 : cut), profile_dir());
}

// Moves `from` (the old profile, or what may be one) aside under a free name
// and says where; false when no name could be given to it.
bool move_aside(const std::string& from, std::string& moved_to) {
  const LocalTime when = program_hooks().now();
  for (int counter = 1; counter <= kMaxAsideCounter; ++counter) {
    const std::string candidate = beside_profile(aside_name(when, counter));
    if (entry_kind(candidate) != EntryKind::kMissing) continue;
    if (!rename_no_replace(from, candidate)) return false;
    moved_to = candidate;
    return true;
  }
  return false;
}

void show_moved_aside(const std::string& moved_to) {
  tk::messageBox(
      "The profile in " + display_path(profile_dir()) +
          " was not saved by any pack, so it was not replaced.\n\nIt has been moved to " +
          display_path(moved_to) + ". It stays on this computer until a burn wipes it.",
      "Warning", 0);
}

// Whether the directory, at any depth, holds an archive, a marker or a lock:
// an archive directory kept inside the profile (packed from in another
// start) holds what may be the only copy of other profiles, which no pack
// of this profile saved.
bool holds_archive_files(const std::string& directory) {
  return walk_tree(
             directory,
             [](const std::string&, const DirEntry& entry) {
               if (entry.is_directory()) return 0;
               const std::string name = lower_ascii(entry.name);
               return has_archive_extension(name) || name == kMarkerName || name == kLockName ? 1
                                                                                              : 0;
             },
             true, EntryDetail::kNameAndKind) == 1;
}

// Whether the old profile may go without being kept: a pack saved it or a
// burn wiped it, or it holds no file at all. One that holds archives is
// never removed with them.
bool old_profile_is_expendable(const std::string& archive) {
  const std::string profile = profile_dir();
  if (entry_kind(profile) != EntryKind::kDirectory) return false;
  if (!holds_a_file(profile)) return true;
  return profile_may_be_replaced() && !archive_lies_in_profile(archive) &&
         !holds_archive_files(profile);
}

}  // namespace

std::string aside_name(const LocalTime& when, int counter) {
  // Minutes with a dot: Windows refuses the colon.
  char name[80];
  std::snprintf(name, sizeof name, "profile (not saved, moved aside %04d-%02d-%02d %02d.%02d)",
                when.year, when.month, when.day, when.hour, when.minute);
  std::string text = name;
  // Appended in two steps: GCC 12 warns wrongly about `" " + string` here.
  if (counter > 1) {
    text += ' ';
    text += std::to_string(counter);
  }
  return text;
}

bool renames_keep_content(bool& loses) {
  // A home made now is one the unpack would make in any case.
  if (entry_kind(home_dir()) == EntryKind::kMissing) make_dirs(home_dir());
  const RenameCheck check =
      check_directory_rename(beside_profile(kRenameCheckName), beside_profile(kRenameCheckedName));
  loses = check == RenameCheck::kLoses;
  return check == RenameCheck::kKeeps;
}

bool clear_unpack_leftovers(const std::string& archive) {
  const std::string staging = beside_profile(kStagingName);
  if (entry_kind(staging) != EntryKind::kMissing) {
    // While the record says a swap was under way, the staging directory may
    // hold the old profile already: it is kept, never removed.
    std::string moved_to;
    if (swap_was_under_way() || archive_lies_in_profile(archive)) {
      if (move_aside(staging, moved_to)) show_moved_aside(moved_to);
    } else {
      remove_tree(staging);
    }
  }
  // Only a profile that was saved or wiped is ever given this name.
  const std::string replaced = beside_profile(kReplacedName);
  if (entry_kind(replaced) != EntryKind::kMissing) remove_tree(replaced);
  return entry_kind(staging) == EntryKind::kMissing;
}

bool swap_in_profile(const std::string& archive, const UnpackSession& session) {
  const std::string staging = beside_profile(kStagingName);
  const std::string profile = profile_dir();
  const EntryKind old_kind = entry_kind(profile);
  const bool expendable = old_profile_is_expendable(archive);
  // Said first, and on the disk, before either directory changes: a start
  // after a kill then keeps whatever may hold the old profile.
  if (!session.note_swap_begun()) return false;

  std::string moved_to;
  bool settled = true;
  if (old_kind == EntryKind::kMissing) {
    if (!rename_no_replace(staging, profile)) return false;
  } else {
    const std::string replaced = beside_profile(kReplacedName);
    const Exchange exchange = old_kind == EntryKind::kDirectory
                                  ? exchange_directories(staging, profile)
                                  : Exchange::kUnsupported;
    if (exchange == Exchange::kFailed) return false;
    if (exchange == Exchange::kDone) {
      // The old profile now has the staging name; it gets its own.
      // When it cannot, the record goes on saying that a swap was under
      // way, and the next start moves it aside rather than clear it away.
      settled = expendable ? rename_no_replace(staging, replaced) : move_aside(staging, moved_to);
    } else {
      // Two renames: a start after a kill between them finds no profile
      // directory, and the new one under the staging name, which it keeps.
      const bool away =
          expendable ? rename_no_replace(profile, replaced) : move_aside(profile, moved_to);
      if (!away) return false;
      if (!rename_no_replace(staging, profile)) {
        rename_no_replace(expendable ? replaced : moved_to, profile);
        return false;
      }
    }
  }
  make_directory_private(profile);
  if (settled) session.note_swap_done();
  if (expendable) remove_tree(beside_profile(kReplacedName));
  if (!moved_to.empty()) show_moved_aside(moved_to);
  return true;
}
