// The safe replacement of a file: the new content goes to a temporary
// beside it, is flushed to the disk, and takes the file's place in one
// rename, so that a failure at any step leaves the old file as it was.
#pragma once

#include <cstddef>
#include <string>

#include "support/file_io.h"

// The new archive is written to a file of its own, created new next to the
// file it will replace: the prefix, eight hexadecimal digits, the suffix. A
// short name, so that an archive name of the longest length still packs.
inline constexpr char kTemporaryPrefix[] = "~ilhome-";
inline constexpr char kTemporarySuffix[] = ".tmp";
inline constexpr std::size_t kTemporaryDigits = 8;
// Whether a directory entry's name has the shape of such a temporary.
bool is_temporary_name(const std::string& name);

// Clears the temporaries a killed run left beside `target` and creates a
// new one there (never opening an existing name); its path goes to
// `temporary`. Not open when none could be created.
File begin_replacement(const std::string& target, std::string& temporary);
// Puts the temporary, written whole when `complete`, in place of `target`
// (or under its name only where nothing has it, unless `replace_existing`):
// permissions copied, flushed, closed, renamed. False, with the temporary
// removed and the target as it was, when any step fails; `too_large` then
// says whether the file system could not hold a file of that size.
bool finish_replacement(File& file, const std::string& temporary, const std::string& target,
                        bool complete, bool replace_existing, bool& too_large);
