// Whole directories made, swapped and removed: what putting a freshly
// unpacked profile in place of the old one takes.
#pragma once

#include <string>

// Makes the directory `path` (its parent must exist), readable by its owner
// alone where the system keeps such bits (on Windows the folder's inherited
// rights apply). False when anything has the name already.
bool make_private_directory(const std::string& path);
// Gives a directory made by another way the same owner-only bits.
bool make_directory_private(const std::string& path);
enum class Exchange { kDone, kUnsupported, kFailed };
// Exchanges the names of two existing directories in one step and makes the
// change durable. kUnsupported where the system or the file system has no
// such step (then nothing has changed).
Exchange exchange_directories(const std::string& a, const std::string& b);
// Whether a directory renamed on this file system keeps what it holds:
// makes `from` with one empty file in it, renames it to `to`, looks for the
// file there, and removes both names again (anything already under either
// is taken for an earlier check's leftover and removed first). Some FAT
// drivers move the folder's name but lose its entries; a profile moved
// into place or aside there would be lost with them. kFailed: the check
// itself could not be made (no room, no permission).
enum class RenameCheck { kKeeps, kLoses, kFailed };
RenameCheck check_directory_rename(const std::string& from, const std::string& to);
// Removes `path` and everything below it. A link met anywhere is removed
// itself, never what it leads to. False when anything is left.
bool remove_tree(const std::string& path);
// The platform parts of remove_tree: an empty directory, and a link of
// either kind (to a file or to a directory).
bool remove_empty_directory(const std::string& path);
bool remove_link(const std::string& path);
