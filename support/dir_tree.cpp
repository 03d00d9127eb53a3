// The platform-free part of removing a tree: the walk over its listing.
#include "support/dir_tree.h"

#include <vector>

#include "support/dir.h"
#include "support/file_io.h"
#include "support/text.h"

namespace {

// The file the rename check puts in its folder. It stays empty: where the
// rename loses it, no cluster of data is lost with it.
constexpr char kCheckFileName[] = "kept";

}  // namespace

RenameCheck check_directory_rename(const std::string& from, const std::string& to) {
  if (!remove_tree(from) || !remove_tree(to) || !make_private_directory(from)) {
    return RenameCheck::kFailed;
  }
  bool made = false;
  {
    File file = File::open(join_path(from, kCheckFileName), OpenMode::kCreateNew);
    made = file.is_open() && file.close();
  }
  RenameCheck result = RenameCheck::kFailed;
  if (made && rename_no_replace(from, to)) {
    // Listed, not looked up: a look-up may be answered from what the
    // system remembers of the folder, the listing comes from the disk.
    bool found = false;
    const bool listed = list_dir_each(
        to,
        [&found](const DirEntry& entry) {
          found = found || entry.name == kCheckFileName;
          return !found;
        },
        EntryDetail::kNameAndKind);
    if (found) {
      result = RenameCheck::kKeeps;
    } else if (listed) {
      result = RenameCheck::kLoses;
    }
  }
  // Both names go, whatever happened: neither is ever the user's.
  const bool cleared = remove_tree(from) && remove_tree(to);
  return result == RenameCheck::kKeeps && !cleared ? RenameCheck::kFailed : result;
}

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
