// Sorted listing, the depth-first walk with a visitor, and wildcard matching.
#pragma once

#include <functional>
#include <string>

#include "support/dir.h"

using Visitor = std::function<int(const std::string& directory, const DirEntry& entry)>;

Listing list_dir_sorted(const std::string& path);
// 0 when it went through, -1 when the path cannot be listed, else the first
// non-zero visitor result. Never descends into a link (attribute "l").
// `detail` says which fields of the entries the visitor needs (see list_dir);
// the fewer, the less the walk asks of the file system.
// `unlisted`, when given, is told the path (as a visitor would build it) of
// each subdirectory that could not be listed and was passed over.
using UnlistedSink = std::function<void(const std::string& path)>;
int walk_tree(const std::string& path, const Visitor& visitor, bool subdirectories,
              EntryDetail detail = EntryDetail::kFull, const UnlistedSink& unlisted = nullptr);
// The path as walk_tree hands it to its visitors: without its trailing blanks
// and backslashes.
std::string walk_base(const std::string& path);
bool glob_match(const std::string& pattern, const std::string& text);
// Entry ordering used by list_dir_sorted: field by field, bytes unsigned.
bool dir_entry_less(const DirEntry& a, const DirEntry& b);
