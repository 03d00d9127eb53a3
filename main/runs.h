// The unpack and pack runs, tied together by the in-use marker in the archive
// directory: the unpack run writes the chosen archive's name into it, and the
// pack run learns from it alone where the profile goes back to.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/writer.h"

inline constexpr char kMarkerName[] = "ilhome.inuse";
// Beside the marker: the token of the unpack that named it, which the home
// directory's record holds too while that unpack's profile is there. The
// marker itself holds the name alone, as it always did.
inline constexpr char kSessionName[] = "ilhome.session";
// The longest marker content read; longer is no file name.
inline constexpr std::size_t kMaxMarkerBytes = 4096;

// Whether the pack put the profile into its archive, or no profile was in
// use (no marker).
enum class PackOutcome { kNothingInUse, kSaved, kNotSaved };
// True when the profile directory holds the chosen archive's profile and the
// marker names it; false tells the launcher not to start the browser.
bool unpack_run();
PackOutcome pack_run();
// The reader's and the writer's progress call-backs.
int cb_dekompres(const std::string& name, long long position);
int cb_kompres(const std::string& name, long index, long count);

// For keeping a session that was never saved, which packs the profile as the
// pack run does.
inline constexpr char kActionPack[] = "Keeping your memories...";
enum class Marker { kAbsent, kNamed, kRefused };
// Reads the marker: only a plain file (never a link) whose whole content is a
// bare file name names an archive.
Marker read_marker(std::string& name);
// Whether the profile in the home directory is the one the marker's unpack
// set up: the token beside the marker is the one the home's record holds
// (or neither has one, as an older version of this program left them).
bool marker_session_is_here();
// Deletes the marker and the token beside it.
void forget_marker();
// The writer's options for a pack of the profile directory.
PackOptions profile_pack_options();
// The last paragraph of a failed pack's message when the archive's file
// system cannot hold a file of the archive's size.
inline constexpr char kTooLargeReason[] = "The stick's file system cannot hold a file that large.";
void show_pack_failure(const std::string& archive, const PackReport& report);
// The specified text of a failed pack, up to the archive's path.
std::string pack_failure_text(const std::string& archive);
// A warning names this many files at most; the rest are counted.
inline constexpr std::size_t kMaxNamedInWarning = 10;
// The first names, each on a line of its own after a line feed, then how
// many more of `count` there are.
std::string named_list(const std::vector<std::string>& first, std::size_t count);
// Warns about the files the pack could not read, if any.
void show_unread_warning(const PackReport& report);
