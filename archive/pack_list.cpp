// The pack's file list and its exclusions.
#include "archive/pack_list.h"

#include <algorithm>

#include "archive/dirwalk.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

PathList g_file_list;

}  // namespace

PathList& pack_list() { return g_file_list; }

std::vector<std::string> writer_file_list() {
  std::vector<std::string> copy;
  PathList::Cursor cursor(g_file_list);
  std::string path;
  while (cursor.next(path)) copy.push_back(path);
  return copy;
}

void writer_clear_file_list() { g_file_list.clear(); }

int wdcb1(const std::string& directory, const DirEntry& entry) {
  if (!entry.is_directory()) {
    g_file_list.push_back(join_path(directory, entry.name));
  }
  return 0;
}

void make_entry_relative(std::string& entry, const std::string& root) {
  if (match_nocase(1, entry, root) != 1) return;
  entry.erase(0, root.size());
  if (!entry.empty() && entry.front() == '\\') entry.erase(0, 1);
}

Exclusions::Exclusions() {
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    patterns_[i] = lower_ascii(kExclusionPatterns[i]);
  }
}

bool Exclusions::match(const std::string& entry) const {
  const std::string lowered = lower_ascii(entry);
  return std::any_of(patterns_.begin(), patterns_.end(),
                     [&lowered](const std::string& p) { return glob_match(p, lowered); });
}

void make_relative(const std::string& root) {
  g_file_list.rewrite([&root](std::string& entry) {
    make_entry_relative(entry, root);
    return true;
  });
}

void drop_excluded() {
  // One pass keeps the order of the entries that stay, the same as removing
  // matches one by one from the last entry to the first.
  const Exclusions exclusions;
  g_file_list.rewrite([&exclusions](std::string& entry) { return !exclusions.match(entry); });
}
