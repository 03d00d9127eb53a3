// The unpack and pack runs, as the user sees them: the unpack sets up the
// chosen archive's profile and ties the session to it, the pack puts the
// profile back into the archive the session names.
#pragma once

#include <string>

#include "archive/writer.h"

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
// The writer's options for a pack of the profile directory.
PackOptions profile_pack_options();
