// Putting an unpacked profile in place: the unpack builds the new profile in
// a directory beside the profile directory and swaps it in only when it is
// complete, so the profile directory holds either the old profile or the
// whole new one, and exactly the chosen archive's files.
#pragma once

#include <string>

#include "main/session.h"
#include "support/clock.h"

// Beside the profile directory: the profile being unpacked, and an old one
// on its way out once a pack saved it or a burn wiped it.
inline constexpr char kStagingName[] = "profile (unpacking)";
inline constexpr char kReplacedName[] = "profile (replaced)";

// Whether a folder renamed in the home directory keeps its content: some
// FAT drivers lose it, and with it a profile moved into place or aside.
// Tried with an empty check folder beside the profile directory, the home
// directory made first where it is missing. `loses`: the content was lost,
// rather than the check could not be made.
bool renames_keep_content(bool& loses);
// Clears what an earlier unpack left when it ended early: a part-built
// profile is removed, a replaced one too; a directory that may hold the old
// profile of a swap cut short is moved aside. False when the staging name is
// still taken.
bool clear_unpack_leftovers(const std::string& archive);
// Puts the complete profile in the staging directory in place of the profile
// directory. The old profile goes without a word when a pack saved it, a
// burn wiped it or it holds no file; any other is moved aside in the home
// directory, with a warning naming where. False, with the profile directory
// as it was, when the swap cannot be made.
// The record names `session` from before the swap on.
bool swap_in_profile(const std::string& archive, const UnpackSession& session);
// The name of the directory an unsaved profile is moved aside to: when it
// was, and from 2 on, the counter.
std::string aside_name(const LocalTime& when, int counter);
