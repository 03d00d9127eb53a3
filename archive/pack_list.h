// The list of the files a pack stores: the walk's files, made relative to
// the profile directory, with the exclusions left out.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "archive/exclusions.h"
#include "support/dir.h"
#include "support/path_list.h"

// The list the pack fills and writes from.
PathList& pack_list();

// Removes the root and the separator after it from the front of a full
// path that begins with it (letter case aside).
void make_relative(std::string& entry, const std::string& root);

// The exclusion patterns, matched without letter case.
class Exclusions {
 public:
  Exclusions();
  bool match(const std::string& entry) const;

 private:
  std::array<std::string, kExclusionPatterns.size()> patterns_;
};

// What a collection of the list left out besides the files it did not
// meet: the directories it could not list and the paths it keeps out.
struct PackScope {
  // Relative directories that could not be listed, with their separator;
  // excluded, skipped and vanished ones aside.
  std::vector<std::string> unlisted;
  // Relative directories left out with all below them, with their separator.
  std::vector<std::string> skipped;
  Exclusions exclusions;
  // Whether the pack leaves out this relative path (backslashes): excluded,
  // or at or below a skipped directory.
  bool leaves_out(const std::string& path) const;
};

// Fills the list, emptied first, with the files below `root` in the walk's
// order: relative, the exclusions left out, links neither followed nor
// stored, and nothing at or below a directory `skip_directory` names.
// False, with the list empty, when root itself cannot be listed.
bool collect_pack_list(const std::string& root,
                       const std::function<bool(const std::string& path)>& skip_directory,
                       PackScope& scope);
