// The platform-free part of removing a tree: the walk over its listing.
#include "support/dir_tree.h"

#include <vector>

#include "support/dir.h"
#include "support/file_io.h"
#include "support/text.h"

bool remove_tree(const std::string& path) {
  const EntryKind kind = entry_kind(path);
  if (kind == EntryKind::kMissing) return true;
  if (kind == EntryKind::kLink) return remove_link(path);
  if (kind != EntryKind::kDirectory) return remove_file(path);
  // The names first: the listing is not read while it changes.
  std::vector<DirEntry> entries;
  const bool listed = list_dir_each(
      path,
      [&entries](const DirEntry& entry) {
        if (entry.name != "." && entry.name != "..") entries.push_back(entry);
        return true;
      },
      EntryDetail::kNameAndKind);
  if (!listed) return false;
  bool all = true;
  for (const DirEntry& entry : entries) {
    const std::string child = join_path(path, entry.name);
    if (entry.is_link()) {
      all = remove_link(child) && all;
    } else if (entry.is_directory()) {
      all = remove_tree(child) && all;
    } else {
      all = remove_file(child) && all;
    }
  }
  return remove_empty_directory(path) && all;
}
