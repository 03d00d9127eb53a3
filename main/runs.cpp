// The unpack and pack runs as the user sees them, and their progress call-backs.
#include "main/runs.h"

#include <vector>

#include "archive/reader.h"
#include "main/keep.h"
#include "main/messages.h"
#include "main/session.h"
#include "main/state.h"
#include "main/status.h"
#include "main/swap.h"
#include "support/dir_identity.h"
#include "support/dir_tree.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr char kActionUnpack[] = "Preparing your dinner...";

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
bool unpack_profile(const std::string& archive, UnpackSession& session,
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
    // A damaged archive goes aside after the swap: the note is left to the
    // end of the run, when it is known whether it is still there.
    session.every_record_placed(not_held.empty() && damaged.empty());
    return report.outcome == UnpackOutcome::kComplete;
  };
  session.every_record_placed(true);
  // Empty or missing: a new profile, nothing to unpack.
  const bool has_records = size > 0;
  if (directory_within(archive_dir(), profile_dir())) {
    // The archive directory lives in the profile directory, so the profile
    // directory itself can never be swapped: the unpack writes into it,
    // leaving the archive directory alone, as it always did.
    const bool unpacked = !has_records || unpack_into(profile_dir());
    if (has_records) make_directory_private(profile_dir());
    return unpacked && session.note_set_up();
  }
  // Every way on from here renames a folder (a leftover moved aside, the
  // new profile put in place, the old one moved aside) but a new, empty
  // profile where there is none. Checked before the unpack, so that no time
  // goes into one that cannot be put in place.
  const std::string staging = beside_profile(kStagingName);
  const bool renames_ahead = has_records || entry_kind(profile_dir()) != EntryKind::kMissing ||
                             entry_kind(staging) != EntryKind::kMissing;
  if (renames_ahead && !renames_keep_content(rename_loses)) return false;
  if (!clear_unpack_leftovers(archive)) return false;
  bool complete = !has_records || unpack_into(staging);
  // A new profile, or an archive whose every name was refused: an empty
  // one. Where there is no profile directory, none is needed for it.
  if (complete && entry_kind(staging) == EntryKind::kMissing) {
    if (entry_kind(profile_dir()) == EntryKind::kMissing) {
      return session.note_set_up();
    }
    complete = make_private_directory(staging);
  }
  if (complete) complete = swap_in_profile(archive, session);
  // Whatever did not go in is a part of the archive's profile, nothing else.
  if (!complete) remove_tree(staging);
  return complete;
}

}  // namespace

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
  const std::string archive = join_path(archive_dir(), p.chosen_name);
  UnpackSession session = UnpackSession::start(archive);
  if (!session.has_marker()) show_marker_error();
  forget_io_failure();
  std::vector<std::string> not_held;
  std::vector<DamagedRecord> damaged;
  bool rename_loses = false;
  bool complete = unpack_profile(archive, session, not_held, damaged, rename_loses);
  // Damaged files were set up as found; the archive goes aside before the
  // marker names its name for the next pack.
  if (complete && !damaged.empty()) set_damaged_archive_aside(p.chosen_name, damaged);
  if (complete) complete = session.note_unpacked(not_held.empty());
  if (!complete) {
    show_unpack_failure(archive, rename_loses);
    session.abandon();
    return false;
  }
  bool set_up = session.has_marker();
  if (set_up && !session.tie(p.chosen_name)) {
    show_marker_error();
    set_up = false;
  }
  show_not_held_warning(not_held);
  return set_up;
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

PackOutcome pack_run() {
  // Read first: a record that cannot be read is no failure of the pack.
  const long long placed = placed_archive_size();
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
    show_foreign_profile(archive);
    return PackOutcome::kNotSaved;
  }
  show_status(kActionPack);
  PackReport report;
  PackOptions options = profile_pack_options();
  options.placed_archive_size = placed;
  const int packed = kompres(profile_dir(), archive, options, report);
  flush_progress();
  if (packed < 0) {
    show_pack_failure(archive, report);
    return PackOutcome::kNotSaved;
  }
  note_pack_saved(archive, report);
  show_unread_warning(report);
  return PackOutcome::kSaved;
}
