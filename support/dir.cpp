// The collected listing, built on the platform's entry-by-entry listing.
#include "support/dir.h"

Listing list_dir(const std::string& path, std::size_t max_entries) {
  if (max_entries == 0) max_entries = 1;
  Listing listing;
  listing.ok = list_dir_each(path, [&listing, max_entries](const DirEntry& entry) {
    listing.entries.push_back(entry);
    return listing.entries.size() < max_entries;
  });
  return listing;
}
