// Directory listing: one entry per name, with the attribute letters, the size
// and the last-write time in local time at two-second resolution.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

struct DirEntry {
  std::string name;
  // Letters in this order when present: r h s d a v, and "l" last for an
  // entry that is a symbolic link, junction or other reparse point.
  std::string attributes;
  std::uint32_t size = 0;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  bool is_directory() const { return attributes.find('d') != std::string::npos; }
  // On Windows a link or junction to a directory is a directory too.
  bool is_link() const { return attributes.find('l') != std::string::npos; }
};

// A failed listing has ok == false and no entries; a successful one is never empty.
struct Listing {
  bool ok = false;
  std::vector<DirEntry> entries;
};

constexpr std::size_t kAllEntries = std::numeric_limits<std::size_t>::max();

// How much of each entry a listing reads. Fields a detail leaves out keep
// their defaults (empty, 0).
enum class EntryDetail {
  kFull,
  // Everything but the last-write time.
  kNoTime,
  // The name and the letters h, d, a and l; on POSIX these come from the
  // directory itself, without a look at each entry's own record, wherever the
  // file system gives the kind there. No "r", size or time on POSIX.
  kNameAndKind,
};

// Called with each entry of a listing; returns false to stop the listing.
// The entry is reused for the next one: copy what must outlive the call.
using EntrySink = std::function<bool(const DirEntry& entry)>;

// The entries list_dir would give, in the same order, handed one by one to
// `each` instead of being collected. False exactly when list_dir fails (no
// entry at all); a listing stopped by `each` has succeeded.
bool list_dir_each(const std::string& path, const EntrySink& each,
                   EntryDetail detail = EntryDetail::kFull);

// Lists a path: an existing directory (or a bare drive) gives its contents,
// beginning with "." and ".." for any directory but a drive's root; a file gives
// its own entry; a wildcard in the last component gives every match ("*.*"
// matches every name). Trailing blanks, tabs and backslashes are ignored.
// Reading stops after max_entries entries, so callers that need only the
// first entry never read a whole large directory.
Listing list_dir(const std::string& path, std::size_t max_entries = kAllEntries);
