// The program's own small files (the record in the home directory, the
// session token beside the marker): written whole and flushed, or not at all,
// and never through a link.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// A small file of the program's own, written in `directory` (never through a
// link; the directory made first when `make_directory`) with exactly `bytes`
// and flushed to the disk; false, with no file left, when that cannot be
// done whole.
bool write_small_file(const std::string& directory, const char* name, const std::string& bytes,
                      bool make_directory);
// Up to `limit` bytes of a small file of the program's own (never through a
// link); nothing when it cannot be opened or read.
std::optional<std::string> read_small_file(const std::string& path, std::size_t limit);
