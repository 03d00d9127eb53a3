// What is known about the profile directory's content, kept in a small file
// in the home directory beside it: whether a pack saved it, a burn wiped it,
// or it holds a session that nothing has saved yet. An unpack replaces a
// saved or wiped profile without a word and moves any other aside, so that
// nothing that may be the only copy of a session is ever destroyed.
#pragma once

#include <string>

inline constexpr char kProfileRecordName[] = "ilhome.state";

enum class ProfileRecord {
  kUnknown,   // no record, or one this program cannot read: nothing is known
  kUnsaved,   // an unpack put a session there that no pack has saved since
  kSaved,     // a pack (or the keeping of an unsaved session) stored it whole
  kWiped,     // a burn overwrote every file of the home directory
  kSwapping,  // an unpack was putting its new profile in place
};

// The record's path: the home directory's file kProfileRecordName.
std::string profile_record_path();
ProfileRecord read_profile_record();
// Writes the record (never through a link) and flushes it to the disk; false
// when that cannot be done whole. A record cut short reads as kUnknown, which
// is always the careful answer. `placed_archive_size`, when not -1, notes the
// size of the archive that the profile holds every record of (its unpack
// held none back, or a pack carried none over), so that the next pack need
// not read that archive for records to keep.
bool write_profile_record(ProfileRecord record, long long placed_archive_size = -1);
// The size noted with the record; -1 when none is, or the record is unknown.
long long read_placed_archive_size();
// Whether the profile directory's content may be replaced without keeping it:
// a pack saved it or a burn wiped it.
bool profile_is_expendable(ProfileRecord record);
