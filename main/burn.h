// The burn run: every file below the home directory is overwritten with zero
// blocks, to destroy the browser's private data.
#pragma once

#include <cstddef>
#include <string>

#include "support/dir.h"

inline constexpr std::size_t kZeroBlockSize = 4096;

void burn_run();
// Before a burn: true when it may go ahead. A profile that may hold the only
// copy of something (its session was never saved: the marker still names
// an archive, or `pack_failed`; or the last pack left files that no archive
// holds) is wiped only when the user answers Yes to the "Warning" question,
// with No the default.
bool burn_confirmed(bool pack_failed);
// The walk's visitor: adds each entry of the home directory to the burn list.
int cb_ma(const std::string& directory, const DirEntry& entry);
void burn_files();
std::string burn_display_name(const std::string& path);
// Bytes the burn writes over a file of `size` bytes: whole zero blocks, one
// more than the size fills.
unsigned long long burn_length(long long size);
// Tests: called between the walk and the overwriting, to change the tree the
// walk saw; nullptr for none.
void set_burn_walk_hook(void (*hook)());
