// The list of the files a pack stores: the walk's files, made relative to
// the profile directory, with the exclusions left out.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "archive/exclusions.h"
#include "support/dir.h"
#include "support/path_list.h"

// The list the pack fills and writes from.
PathList& pack_list();

// Removes the root and the separator after it from the front of a full
// path that begins with it (letter case aside).
void make_entry_relative(std::string& entry, const std::string& root);

// The exclusion patterns, matched without letter case.
class Exclusions {
 public:
  Exclusions();
  bool match(const std::string& entry) const;

 private:
  std::array<std::string, kExclusionPatterns.size()> patterns_;
};

// The list's steps one by one, as tests take them.
// The walk's visitor: adds each file (not a directory) to the file list.
int wdcb1(const std::string& directory, const DirEntry& entry);
void make_relative(const std::string& root);
void drop_excluded();
// A copy of the file list as it stands.
std::vector<std::string> writer_file_list();
void writer_clear_file_list();
