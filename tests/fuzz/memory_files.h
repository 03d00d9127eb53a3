// Files held in memory behind the program's file seam, for the fuzz target:
// the reader runs as on a disk, at the speed of memory, and every file it
// makes can be looked at afterwards. One process-wide store.
#pragma once

#include <string>
#include <unordered_map>

namespace memory_files {

// Empties the store (open handles included).
void reset();
// Puts a file with the given bytes at the path (backslashes).
void put(const std::string& path, const std::string& bytes);
// Every file in the store by its path, as the program named it.
const std::unordered_map<std::string, std::string>& files();

}  // namespace memory_files
