// The record, in the home directory, that the last pack left files of the
// profile unsaved: files it could not read and had no earlier copy of. A
// burn in a later start learns from it that the profile holds the only copy
// of something, and asks before it wipes it.
#pragma once

#include <string>

#include "archive/writer.h"

// Beside the profile directory, never in it: no pack stores the record.
inline constexpr char kUnsavedRecordName[] = "ilhome.unsaved";

// After a pack that put the profile into its archive: writes the record,
// naming the files that could not be read, when one of them had no earlier
// copy; removes an older record otherwise. False when a needed record could
// not be written.
bool note_unsaved_files(const PackReport& report);
// Whether the record is there (anything of its name counts).
bool unsaved_files_noted();
// After a burn: the files the record speaks of are wiped.
void forget_unsaved_files();
