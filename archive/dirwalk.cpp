// The sorted listing, the depth-first walk that decides the order of every
// archive's records, and the wildcard matching of the exclusion patterns.
#include "archive/dirwalk.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

// Byte-wise comparison with unsigned bytes, so names above 127 sort after
// the ASCII letters whatever the signedness of char.
int compare_bytes(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool has_letter(const std::string& attributes, char letter) {
  return attributes.find(letter) != std::string::npos;
}

}  // namespace

bool dir_entry_less(const DirEntry& a, const DirEntry& b) {
  if (int c = compare_bytes(a.name, b.name); c != 0) return c < 0;
  if (int c = compare_bytes(a.attributes, b.attributes); c != 0) return c < 0;
  return std::tie(a.size, a.year, a.month, a.day, a.hour, a.minute, a.second) <
         std::tie(b.size, b.year, b.month, b.day, b.hour, b.minute, b.second);
}

Listing list_dir_sorted(const std::string& path) {
  Listing listing = list_dir(path);
  if (listing.ok) std::sort(listing.entries.begin(), listing.entries.end(), dir_entry_less);
  return listing;
}

namespace {

// Visits one listed directory whose path, as the visitor receives it, is `base`.
int walk_listing(const std::string& base, const Listing& listing, const Visitor& visitor,
                 bool subdirectories) {
  for (const DirEntry& entry : listing.entries) {
    if (!has_letter(entry.attributes, 'd')) {
      if (int r = visitor(base, entry); r != 0) return r;
      continue;
    }
    if (entry.name == "." || entry.name == "..") continue;
    if (int r = visitor(base, entry); r != 0) return r;
    // A link, junction or other reparse point is visited but never entered:
    // following one could leave the tree or loop for ever.
    if (!subdirectories || has_letter(entry.attributes, 'l')) continue;
    // The subdirectory is listed through "\*.*", which lists exactly what the
    // directory's own path lists, so that a name the listing gave is taken as
    // it is: a trailing blank is not trimmed off and "*" or "?" in it (both
    // possible on Linux) is not read as a pattern.
    const std::string sub = base + "\\" + entry.name;
    const Listing inner = list_dir_sorted(sub + "\\*.*");
    if (!inner.ok) continue;  // cannot be listed: passed over, as a -1
    const int r = walk_listing(sub, inner, visitor, subdirectories);
    if (r != 0 && r != -1) return r;
  }
  return 0;
}

}  // namespace

int walk_tree(const std::string& path, const Visitor& visitor, bool subdirectories) {
  const Listing listing = list_dir_sorted(path);
  if (!listing.ok) return -1;
  return walk_listing(walk_base(path), listing, visitor, subdirectories);
}

std::string walk_base(const std::string& path) {
  std::string base = path;
  while (!base.empty() && (base.back() == ' ' || base.back() == '\\')) base.pop_back();
  return base;
}

bool glob_match(const std::string& pattern, const std::string& text) {
  // Both sides as values with an end marker that equals no byte.
  constexpr int kEnd = -1;
  constexpr int kStar = '*';
  constexpr int kAny = '?';
  std::vector<int> p;
  std::vector<int> t;
  p.reserve(pattern.size() + 1);
  t.reserve(text.size() + 1);
  for (char c : pattern) p.push_back(static_cast<unsigned char>(c));
  for (char c : text) t.push_back(static_cast<unsigned char>(c));
  p.push_back(kEnd);
  t.push_back(kEnd);

  std::size_t i = 0;
  std::size_t j = 0;
  while (j < t.size()) {
    if (!(p[i] == t[j] || p[i] == kAny)) {
      if (p[i] != kStar) return false;
      while (p[i] == kStar) ++i;
      if (p[i] == kEnd) return true;
      // The segment runs to the next star, or through the end marker.
      std::size_t seg_end = i;
      while (p[seg_end] != kStar && p[seg_end] != kEnd) ++seg_end;
      if (p[seg_end] == kEnd) ++seg_end;
      const std::size_t seg_len = seg_end - i;
      bool found = false;
      std::size_t k = j;
      for (; k + seg_len <= t.size(); ++k) {
        bool equal = true;
        for (std::size_t m = 0; m < seg_len && equal; ++m) {
          equal = p[i + m] == kAny || p[i + m] == t[k + m];
        }
        if (equal) {
          found = true;
          break;
        }
      }
      if (!found) return false;
      i = seg_end - 1;
      j = k + seg_len - 1;
    }
    ++i;
    ++j;
    if (i >= p.size()) return j >= t.size();
  }
  return false;
}
