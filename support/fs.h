// File-system operations used by the program: answered from the listing or
// done through the routine table, never by throwing.
#pragma once

#include <optional>
#include <string>

#include "support/file_io.h"

// Size field of the first listed entry, -1 when the listing fails.
long long file_size(const std::string& path);
// The file's bytes; an empty text for size 0; nullopt when there is no such
// file or it cannot be opened.
std::optional<std::string> read_file(const std::string& path);
// Up to `limit` bytes of an open file, fewer when it ends first; nullopt
// when a read fails.
std::optional<std::string> read_up_to(File& file, std::size_t limit);
int file_exists(const std::string& path);
int move_file(const std::string& source, const std::string& destination);
int delete_file(const std::string& path);
int make_dirs(const std::string& path);
