// The record of the profile directory's content, kept in a small file in the
// home directory beside it, as it is stored: whether a pack saved it, a burn
// wiped it, or it holds a session that nothing has saved yet, and which
// unpack put it there. Homes and sticks of earlier starts hold these bytes,
// so they never change. When each word is written, and what it allows, is
// the session's to decide (main/session.h); nothing else writes the record.
#pragma once

#include <cstddef>
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
// not read that archive for records to keep. `session`: the token of the
// unpack that put the profile there, kept with the record until a pack
// saves it or a burn wipes it.
bool write_profile_record(ProfileRecord record, long long placed_archive_size = -1,
                          const std::string& session = std::string());
// The size noted with the record; -1 when none is, or the record is unknown.
long long read_placed_archive_size();
// The session token the record holds; empty when it holds none (a record of
// an older version of this program, or none at all).
std::string recorded_session();

// The longest session token read; longer is none this program wrote.
inline constexpr std::size_t kMaxSessionBytes = 64;
// The digits a session token is written in.
inline constexpr char kSessionDigits[] = "0123456789abcdef";
