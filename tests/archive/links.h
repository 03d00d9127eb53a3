// Making links in the tests' scratch trees, with each system's own calls.
#pragma once

#include <string>

enum class LinkKind {
  kFile,       // symbolic link to a file
  kDirectory,  // symbolic link to a directory
  kJunction,   // Windows junction (mount point) to a directory
  kHard,       // another hard link of a file
};

// Makes `link` (a program path, backslashes) pointing at `target`; false
// when this system, or the user's rights, cannot make that kind here.
bool make_link(const std::string& target, const std::string& link, LinkKind kind);
