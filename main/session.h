// The profile's session: the in-use marker and the token beside it in the
// archive directory, and the record of the profile in the home directory.
// Between them they tell which archive the profile came from and whether
// anything but the profile directory holds it. Here alone it is decided when
// a profile counts as saved, wiped, unsaved or being swapped in: an unpack
// replaces only a saved or wiped profile, a pack stores only the profile the
// marker's own unpack set up, and a burn asks before it wipes an unsaved one.
#pragma once

#include <cstddef>
#include <string>

#include "archive/writer.h"
#include "main/profile_record.h"
#include "support/file_io.h"

inline constexpr char kMarkerName[] = "ilhome.inuse";
// Beside the marker: the token of the unpack that named it, which the home
// directory's record holds too while that unpack's profile is there. The
// marker itself holds the name alone, as it always did.
inline constexpr char kSessionName[] = "ilhome.session";
// The longest marker content read; longer is no file name.
inline constexpr std::size_t kMaxMarkerBytes = 4096;

// An unpack's session, from the empty marker made at its start to the marker
// that names the archive once the profile is all in place.
class UnpackSession {
 public:
  // The marker made anew and empty, the token of an earlier unpack gone, a
  // token of this one's own drawn. Until the session is tied, no marker
  // names an archive whose profile may not be all here.
  static UnpackSession start(const std::string& archive);
  // Without a marker the session can never be saved.
  bool has_marker() const { return marker_.is_open(); }

  // The unpack wrote every record of the archive, none of them damaged: the
  // record that says the profile is in place notes the archive's size with
  // it, so that the next pack need not read that archive.
  void every_record_placed(bool placed) { every_record_placed_ = placed; }
  // The profile set up without a swap (in place, or a new profile where
  // there is none): the record names this session, unsaved.
  bool note_set_up() const;
  // Around the swap of the unpacked profile for the old one: on the disk
  // before either directory changes, so that a start after a kill keeps
  // whatever may hold the old profile; then unsaved once both have settled.
  // Only then does the record note the archive's size: never for a profile
  // not all in place.
  bool note_swap_begun() const;
  void note_swap_done() const;
  // After a complete unpack: with every record of the archive in the
  // profile (`all_placed`), the note names the archive's size as it is now
  // (none when a damaged archive was set aside); a note of an earlier
  // archive goes in any case. True when the record names this session: only
  // then can a pack ever save the profile.
  bool note_unpacked(bool all_placed) const;

  // The token beside the marker, then the chosen name in it, each flushed:
  // a marker that names an archive always has its token with it. False,
  // with no marker naming anything left, when that cannot be done whole.
  bool tie(const std::string& name);
  // The profile is not the archive's: no marker may name it.
  void abandon();

 private:
  // The size the record notes once the profile is in place; -1 for none.
  long long placed_size() const;

  File marker_;
  std::string archive_;
  std::string token_;
  bool every_record_placed_ = false;
};

enum class Marker { kAbsent, kNamed, kRefused };
// Reads the marker: only a plain file (never a link) whose whole content is a
// bare file name names an archive.
Marker read_marker(std::string& name);
// Whether the profile in the home directory is the one the marker's unpack
// set up: the token beside the marker is the one the home's record holds
// (or neither has one, as an older version of this program left them).
bool marker_session_is_here();
// Whether the marker names an archive whose unsaved session the profile
// here holds; `name` is then that archive's.
bool unsaved_session_here(std::string& name);
// Deletes the marker and the token beside it.
void forget_marker();

// The size of the archive the profile holds every record of, as noted; -1
// when none is noted.
long long placed_archive_size();
// A pack put the profile into `archive`: the marker goes, and the profile
// counts as saved unless the pack could not read all of it. The size is noted
// when the archive holds nothing but the profile's files.
void note_pack_saved(const std::string& archive, const PackReport& report);
// An unsaved session was kept in an archive of its own: kept once, never
// again by a later start, and saved unless files of it could not be read.
void note_kept(const PackReport& report);
// A burn overwrote the home directory, the record with it.
void note_wiped();

// Before a burn: whether the profile may hold something no archive holds:
// the marker still names (or tries to name) an archive, the pack of this
// start failed (`pack_failed`), or the last pack could not save every file.
bool session_is_unsaved(bool pack_failed);
// The profile is about to be wiped: a marker left naming its archive would
// have the next pack replace that archive with the zeroed files.
void forget_wiped_session();

// Whether the profile directory's content may be replaced without keeping
// it: a pack saved it or a burn wiped it.
bool profile_is_expendable(ProfileRecord record);
bool profile_may_be_replaced();
// Whether an unpack was putting its profile in place when it ended: what it
// left beside the profile may hold the old profile.
bool swap_was_under_way();
