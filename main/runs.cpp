// The unpack and pack runs, their progress call-backs and the in-use marker.
#include "main/runs.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "archive/reader.h"
#include "archive/safe_replace.h"
#include "main/keep.h"
#include "main/profile_record.h"
#include "main/state.h"
#include "main/status.h"
#include "main/swap.h"
#include "support/code_page.h"
#include "support/confined.h"
#include "support/dir_identity.h"
#include "support/dir_tree.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kActionUnpack[] = "Preparing your dinner...";

std::string marker_path() { return join_path(archive_dir(), kMarkerName); }
std::string session_path() { return join_path(archive_dir(), kSessionName); }

// Why an unpack changed nothing in a home whose file system loses a renamed
// folder's content (some FAT drivers do): the swap would lose the profile.
constexpr char kRenameLosesReason[] =
    "The file system there loses the content of a folder that is renamed, so the profile cannot "
    "be set up there safely. Nothing in the home directory has been changed.";
// The folders of that check, beside the profile directory.
constexpr char kRenameCheckName[] = "profile (rename check)";
constexpr char kRenameCheckedName[] = "profile (rename checked)";

// Why a pack leaves the archive alone when the profile in the home directory
// is not the one the marker's unpack set up.
constexpr char kForeignProfileReason[] =
    "The profile there now was not set up from this profile file: another profile has been set "
    "up in its place since. The profile file has not been changed.";

// The specified text first, then, as a last paragraph, the system's own words
// for the failure behind it (a full disk, no permission), where there was one.
void show_error(const std::string& text) {
  const std::string reason = last_io_failure_reason();
  tk::messageBox(reason.empty() ? text : text + "\n\n" + reason, "Error", 0);
}

// A whole list as a warning shows it: the first names, then a count.
std::string all_named(const std::vector<std::string>& names) {
  const std::size_t count = names.size();
  const std::vector<std::string> first(
      names.begin(),
      names.begin() + static_cast<std::ptrdiff_t>(std::min(count, kMaxNamedInWarning)));
  return named_list(first, count);
}

std::string unread_warning(const PackReport& report) {
  return "Some files of the profile could not be read and were not saved:\n" +
         all_named(report.unread) +
         "\n\nWhere the profile file held an earlier copy of one of these files, that copy "
         "was kept.";
}

// Records whose names this computer cannot hold (another system's rules, a
// path too long under this home) are not lost: the next pack keeps them.
void show_not_held_warning(const std::vector<std::string>& names) {
  if (names.empty()) return;
  tk::messageBox("Some files of the profile cannot be put on this computer:\n" + all_named(names) +
                     "\n\nThey stay in the profile file and are kept when the profile is "
                     "saved again.",
                 "Warning", 0);
}

// Creates the marker empty, at the start of the unpack. It gets the chosen
// name only once the unpack is complete: a run that is killed, or fails, half
// way leaves no marker naming an archive whose profile is not all here, so
// no pack run overwrites that archive with a part of it. The marker is never
// written through a link (one to the archive would empty it).
File create_marker() {
  // Made anew, never emptied in place: a FAT driver that cuts a file back
  // only in part (fusefat keeps the old length and bytes, and frees the
  // clusters still in use) would leave the end of an older, longer name
  // behind the new one, and the next pack would write to that wrong name.
  delete_file(marker_path());
  // The token of an earlier unpack never pairs with this one's marker.
  delete_file(session_path());
  ConfinedTree directory(archive_dir(), std::string(), false);
  File marker;
  if (directory.create_file(kMarkerName, marker) != CreateResult::kOpened) {
    // An older marker left from an earlier unpack would name another archive,
    // and the next pack run would write this profile there; better none.
    delete_file(marker_path());
  }
  return marker;
}

// Writes the chosen name into the empty marker and makes it durable; false,
// with no marker left, when that cannot be done whole.
bool name_marker(File& marker, const std::string& name) {
  bool ok = marker.write(name.data(), name.size()) && marker.sync();
  ok = marker.close() && ok;
  if (ok) return true;
  // Never a name cut short: gone, or at least empty.
  if (delete_file(marker_path()) == 0) {
    create_marker().close();
  }
  delete_file(session_path());
  return false;
}

enum class ArchiveFound { kNone, kFile, kUnusable };

// Only a name that is not there at all, not even as a link, is a new
// profile. A link whose target is missing (a stick not mounted yet) or
// anything but a file behind the name would otherwise give an empty
// profile, which the next pack would put in place of the real archive.
ArchiveFound find_archive(const std::string& archive) {
  EntryKind kind = entry_kind(archive);
  if (kind == EntryKind::kMissing) return ArchiveFound::kNone;
  if (kind == EntryKind::kLink) {
    std::string target;
    kind = link_target(archive, target) ? entry_kind(target) : EntryKind::kOther;
  }
  return kind == EntryKind::kFile ? ArchiveFound::kFile : ArchiveFound::kUnusable;
}

// Unpacks the archive into the profile directory; true when the profile
// directory then holds exactly the archive's files (but for the records
// this computer cannot hold, named in `not_held`). The records whose data
// did not match their checksum are in `damaged`, their files set up as found.
// The home directory's record then names `session`, so that a pack stores this
// profile only for the marker this unpack names. `rename_loses`: nothing was
// done because the home's file system loses a renamed folder's content.
bool unpack_profile(const std::string& archive, const std::string& session,
                    std::vector<std::string>& not_held, std::vector<DamagedRecord>& damaged,
                    bool& rename_loses) {
  ProgramState& p = program();
  const ArchiveFound found = find_archive(archive);
  // All 64 bits: an archive of a multiple of 4 GiB is not empty.
  const long long size = found == ArchiveFound::kFile ? file_size64(archive) : -1;
  if (found == ArchiveFound::kUnusable || (found == ArchiveFound::kFile && size < 0)) return false;
  const auto unpack_into = [&](const std::string& root) {
    p.archive_size = size;
    UnpackReport report;
    dekompres(root, archive, cb_dekompres, report);
    flush_progress();
    not_held = report.not_held;
    damaged = report.damaged;
    return report.outcome == UnpackOutcome::kComplete;
  };
  // Empty or missing: a new profile, nothing to unpack.
  const bool has_records = size > 0;
  if (directory_within(archive_dir(), profile_dir())) {
    // The archive directory lives in the profile directory, so the profile
    // directory itself can never be swapped: the unpack writes into it,
    // leaving the archive directory alone, as it always did.
    const bool unpacked = !has_records || unpack_into(profile_dir());
    if (has_records) make_directory_private(profile_dir());
    return unpacked && write_profile_record(ProfileRecord::kUnsaved, -1, session);
  }
  // A folder renamed here must keep its content: some FAT drivers lose it,
  // and with it the profile moved into place or aside. Checked once, before
  // the first folder is renamed, and before the unpack where the home is
  // there already and a rename is to come, so that no time goes into an
  // unpack that cannot be put in place.
  const std::string staging = beside_profile(kStagingName);
  std::optional<RenameCheck> rename;
  const auto renames_keep_content = [&] {
    if (!rename) {
      rename = check_directory_rename(beside_profile(kRenameCheckName),
                                      beside_profile(kRenameCheckedName));
      rename_loses = *rename == RenameCheck::kLoses;
    }
    return *rename == RenameCheck::kKeeps;
  };
  const bool renames_ahead = has_records || entry_kind(profile_dir()) != EntryKind::kMissing ||
                             entry_kind(staging) != EntryKind::kMissing;
  if (renames_ahead && entry_kind(home_dir()) == EntryKind::kDirectory && !renames_keep_content()) {
    return false;
  }
  if (!clear_unpack_leftovers(archive)) return false;
  bool complete = !has_records || unpack_into(staging);
  // A new profile, or an archive whose every name was refused: an empty
  // one. Where there is no profile directory, none is needed for it.
  if (complete && entry_kind(staging) == EntryKind::kMissing) {
    if (entry_kind(profile_dir()) == EntryKind::kMissing) {
      return write_profile_record(ProfileRecord::kUnsaved, -1, session);
    }
    complete = make_private_directory(staging);
  }
  if (complete) complete = renames_keep_content() && swap_in_profile(archive, session);
  // Whatever did not go in is a part of the archive's profile, nothing else.
  if (!complete) remove_tree(staging);
  return complete;
}

void show_marker_error() {
  show_error("Cannot write to " + display_path(archive_dir()) +
             "\n\nIlvar settings will not be saved.");
}

}  // namespace

bool marker_session_is_here() {
  // A marker of an older version of this program has no token beside it; it
  // still pairs with a record that holds none.
  std::optional<std::string> marked = std::string();
  if (entry_kind(session_path()) != EntryKind::kMissing) {
    marked = read_small_file(session_path(), kMaxSessionBytes);
  }
  return marked && *marked == recorded_session();
}

void forget_marker() {
  delete_file(marker_path());
  delete_file(session_path());
}

Marker read_marker(std::string& name) {
  // A stick pulled while the marker was written leaves NUL bytes or nothing;
  // a crafted one could name a path anywhere.
  name.clear();
  const std::string path = marker_path();
  if (entry_kind(path) == EntryKind::kMissing) return Marker::kAbsent;
  File file = File::open(path, OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return Marker::kRefused;
  // One byte more than a marker may hold tells a longer one apart.
  std::optional<std::string> content = read_up_to(file, kMaxMarkerBytes + 1);
  if (!content) return Marker::kRefused;
  // Written in UTF-8; a marker that is not was written in the ANSI code
  // page. One too long to be a marker is refused as it is.
  const bool too_long = content->size() > kMaxMarkerBytes;
  name = too_long ? *content : stored_text(*content);
  if (too_long || !is_bare_file_name(name)) return Marker::kRefused;
  // The program's own files in the archive directory are never an archive:
  // the marker would be deleted right after the archive was written over it,
  // and a temporary's name is cleared away by the next pack.
  const std::string lowered = lower_ascii(name);
  if (lowered == kMarkerName || lowered == kSessionName || lowered == kLockName ||
      is_temporary_name(lowered)) {
    return Marker::kRefused;
  }
  return Marker::kNamed;
}

int cb_dekompres(const std::string& name, long long position) {
  const long long size = program().archive_size;
  // The reader never passes the archive's length, but the length it took
  // may differ from the one taken here if the file changed in between.
  show_progress(name, position < size ? position : size, size);
  return 0;
}

int cb_kompres(const std::string& name, long index, long count) {
  show_progress(name, index, count);
  return 0;
}

bool unpack_run() {
  ProgramState& p = program();
  show_status(kActionUnpack);
  File marker = create_marker();
  if (!marker.is_open()) show_marker_error();
  forget_io_failure();
  const std::string archive = join_path(archive_dir(), p.chosen_name);
  std::vector<std::string> not_held;
  std::vector<DamagedRecord> damaged;
  const std::string session = new_session_token();
  bool rename_loses = false;
  bool complete = unpack_profile(archive, session, not_held, damaged, rename_loses);
  // Damaged files were set up as found; the archive goes aside before the
  // marker names its name for the next pack.
  if (complete && !damaged.empty()) set_damaged_archive_aside(p.chosen_name, damaged);
  if (complete) {
    // With every record in the profile the next pack has nothing to keep
    // from this archive and need not read it; a note from an earlier
    // archive goes in any case.
    const ProfileRecord record = read_profile_record();
    const long long placed = not_held.empty() ? file_size64(archive) : -1;
    if (record != ProfileRecord::kUnknown && placed != read_placed_archive_size()) {
      write_profile_record(record, placed, session);
    }
    // A profile whose record does not name its session could never be
    // saved: no browser is to start on it.
    complete = recorded_session() == session;
  }
  if (!complete) {
    show_error("Failed to set up profile.\n\nProfile dir = " + display_path(home_dir()) +
               "\nProfile file = " + display_path(archive) +
               (rename_loses ? std::string("\n\n") + kRenameLosesReason : std::string()));
  }
  bool set_up = complete && marker.is_open();
  if (marker.is_open()) {
    // The session's token goes beside the marker before the name goes in: a
    // marker that names an archive always has its unpack's token with it.
    const bool tied = complete && write_small_file(archive_dir(), kSessionName, session, false);
    if (!tied) {
      // The profile directory does not hold this archive's profile (or the
      // pack could not tell it does): a marker naming it would let the next
      // pack run overwrite the archive with another profile.
      marker.close();
      forget_marker();
      if (complete) {
        show_marker_error();
        set_up = false;
      }
    } else if (!name_marker(marker, p.chosen_name)) {
      show_marker_error();
      set_up = false;
    }
  }
  if (complete) show_not_held_warning(not_held);
  return set_up;
}

std::string named_list(const std::vector<std::string>& first, std::size_t count) {
  std::string text;
  for (const std::string& name : first) text += "\n" + name;
  if (count > first.size()) text += "\nand " + std::to_string(count - first.size()) + " more";
  return text;
}

PackOptions profile_pack_options() {
  PackOptions options{cb_kompres, nullptr};
  // An archive directory kept inside the profile would be packed into itself.
  if (directory_within(archive_dir(), profile_dir())) {
    options.skip_directory = [](const std::string& path) {
      return same_directory(path, archive_dir());
    };
  }
  return options;
}

std::string pack_failure_text(const std::string& archive) {
  return "Failed to save profile.\n\nProfile dir = " + display_path(home_dir()) +
         "\nProfile file = " + display_path(archive);
}

void show_pack_failure(const std::string& archive, const PackReport& report) {
  std::string text = pack_failure_text(archive);
  // No retry on the same stick can help: the user must make room elsewhere
  // or make the profile smaller.
  if (report.too_large) {
    text += std::string("\n\n") + kTooLargeReason;
    forget_io_failure();  // the system's "too large" would say it twice
  }
  show_error(text);
}

void show_unread_warning(const PackReport& report) {
  if (!report.unread.empty()) tk::messageBox(unread_warning(report), "Warning", 0);
}

PackOutcome pack_run() {
  // Read first: a record that cannot be read is no failure of the pack.
  const long long placed_archive_size = read_placed_archive_size();
  forget_io_failure();
  std::string name;
  const Marker marker = read_marker(name);
  if (marker == Marker::kAbsent) return PackOutcome::kNothingInUse;
  const std::string archive = join_path(archive_dir(), name);
  // Every failure leaves the marker where it is: the profile directory then
  // holds the only copy of this session, and the next pack tries again.
  if (marker == Marker::kRefused) {
    show_pack_failure(archive, PackReport{});
    return PackOutcome::kNotSaved;
  }
  // But for a profile that another unpack put in place of this session's
  // (another stick's, or a home where the session never was): that profile
  // must never replace this archive, now or at any later pack, so the
  // marker goes. The session itself, if it was here, was moved aside by
  // that unpack.
  const bool here = marker_session_is_here();
  forget_io_failure();  // a missing record is no failure of the pack's
  if (!here) {
    forget_marker();
    tk::messageBox(pack_failure_text(archive) + "\n\n" + kForeignProfileReason, "Error", 0);
    return PackOutcome::kNotSaved;
  }
  show_status(kActionPack);
  PackReport report;
  PackOptions options = profile_pack_options();
  options.placed_archive_size = placed_archive_size;
  const int packed = kompres(profile_dir(), archive, options, report);
  flush_progress();
  if (packed < 0) {
    show_pack_failure(archive, report);
    return PackOutcome::kNotSaved;
  }
  forget_marker();
  // Files left unread are not in the archive as they are now: the profile
  // then still holds something no pack has saved.
  // An archive of nothing but the profile's files: the pack after the next
  // unpack of it, should that unpack be left out, need not read it.
  if (report.unread.empty()) {
    write_profile_record(ProfileRecord::kSaved, report.carried == 0 ? file_size64(archive) : -1);
  }
  show_unread_warning(report);
  return PackOutcome::kSaved;
}
