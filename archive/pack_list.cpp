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

void make_relative(std::string& entry, const std::string& root) {
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

namespace {

bool begins_with_any(const std::string& path, const std::vector<std::string>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(), [&path](const std::string& prefix) {
    return path.compare(0, prefix.size(), prefix) == 0;
  });
}

}  // namespace

bool PackScope::leaves_out(const std::string& path) const {
  return exclusions.match(path) || begins_with_any(path, skipped);
}

bool collect_pack_list(const std::string& root,
                       const std::function<bool(const std::string& path)>& skip_directory,
                       PackScope& scope) {
  g_file_list.clear();
  // Each collected path is made relative and tested against the exclusions
  // as soon as the walk gives it, which leaves the same list as doing both
  // over the whole list afterwards but never holds all the full paths or
  // the excluded caches at once.
  // The walk's visitor; it never stops the walk.
  const auto wdcb1 = [&](const std::string& directory, const DirEntry& entry) {
    // Links are neither followed nor stored: the browser leaves a "lock"
    // link behind after every clean exit, and one to a file outside the
    // profile would put that file into the archive.
    if (entry.is_link()) return 0;
    std::string path = join_path(directory, entry.name);
    if (entry.is_directory()) {
      if (skip_directory && skip_directory(path)) {
        make_relative(path, root);
        scope.skipped.push_back(path + "\\");
      }
      return 0;
    }
    make_relative(path, root);
    if (!scope.leaves_out(path)) g_file_list.push_back(path);
    return 0;
  };
  // A directory below that cannot be listed (no access, a path past the
  // system's limit) is handled as an unreadable file: named, and what the
  // old archive holds under it is kept.
  const auto not_listed = [&](const std::string& directory) {
    std::string path = directory;
    make_relative(path, root);
    path += "\\";
    if (entry_kind(directory) == EntryKind::kMissing || scope.leaves_out(path)) return;
    scope.unlisted.push_back(path);
  };
  // A profile directory that cannot be listed would give an empty archive
  // in place of the stored profile. The collector needs only names and
  // kinds, which the directory itself gives without a look at each file.
  if (walk_tree(root, wdcb1, true, EntryDetail::kNameAndKind, not_listed) == -1) {
    g_file_list.clear();
    return false;
  }
  return true;
}
