// Keeping a session that was never saved: when an unpack finds the profile of
// an earlier session still in place, that profile goes into an archive of its
// own before the unpack can overwrite it.
#pragma once

#include <string>
#include <vector>

#include "archive/reader.h"
#include "support/clock.h"

// At the start of an unpack: packs a profile left by a session that was
// never saved into an archive of its own and says so. False when that
// profile is there but could not be kept (the pack failure message shown).
bool keep_unsaved_session();
// The name of the archive that keeps the unsaved profile of the archive the
// marker names: its name with when it was kept, then, from 2 on, the counter.
// A name of one file, at most 255 bytes, that both systems accept.
std::string recovery_archive_name(const std::string& marker_name, const LocalTime& when,
                                  int counter);
// The same for the archive an unpack found damaged: " (damaged ...)".
std::string damaged_archive_name(const std::string& archive_name, const LocalTime& when,
                                 int counter);
// After an unpack that wrote every file but found damaged records: the
// archive is renamed aside, never replacing a file, so that the next pack
// writes a new archive under its name and the damaged one stays for a
// rescue; the user is told which files were damaged and where the archive went.
void set_damaged_archive_aside(const std::string& archive_name,
                               const std::vector<DamagedRecord>& damaged);
// Whether the directory, or any below it, holds an entry that is not a directory.
bool holds_a_file(const std::string& directory);
