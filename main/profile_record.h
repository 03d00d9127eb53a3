// What is known about the profile directory's content, kept in a small file
// in the home directory beside it: whether a pack saved it, a burn wiped it,
// or it holds a session that nothing has saved yet, and which unpack put it
// there. An unpack replaces a saved or wiped profile without a word and
// moves any other aside, so that nothing that may be the only copy of a
// session is ever destroyed; a pack stores only the profile that the unpack
// named by its archive directory's marker put there.
#pragma once

#include <cstddef>
#include <optional>
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
// Whether the profile directory's content may be replaced without keeping it:
// a pack saved it or a burn wiped it.
bool profile_is_expendable(ProfileRecord record);

// A token that no other unpack, on this or any other computer, is given:
// it ties the profile an unpack sets up to the marker naming its archive.
std::string new_session_token();
// The longest session token read; longer is none this program wrote.
inline constexpr std::size_t kMaxSessionBytes = 64;

// A small file of the program's own, written in `directory` (never through a
// link; the directory made first when `make_directory`) with exactly `bytes`
// and flushed to the disk; false, with no file left, when that cannot be
// done whole.
bool write_small_file(const std::string& directory, const char* name, const std::string& bytes,
                      bool make_directory);
// Up to `limit` bytes of a small file of the program's own (never through a
// link); nothing when it cannot be opened or read.
std::optional<std::string> read_small_file(const std::string& path, std::size_t limit);
