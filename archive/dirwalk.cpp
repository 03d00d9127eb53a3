// The sorted listing, the depth-first walk that decides the order of every
// archive's records, and the wildcard matching of the exclusion patterns.
#include "archive/dirwalk.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
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

// One directory's listing as the walk keeps it while it walks beneath it:
// each entry packed into a few bytes in large blocks (a header, the size and
// time when the listing read them, the name), and four bytes per entry for
// the sorted order. A vector of full entries with two strings each cost
// about 100 bytes a name, and a copy of everything at each growth: 20 MB for
// a directory of 100,000 files.
class PackedListing {
 public:
  explicit PackedListing(EntryDetail detail) : detail_(detail) {}

  void add(const DirEntry& entry) {
    const std::size_t need = header_size() + entry.name.size();
    if (blocks_.empty() || used_ + need > block_size_) {
      block_size_ = std::max(kBlockSize, need);
      blocks_.push_back(std::make_unique<unsigned char[]>(block_size_));
      used_ = 0;
    }
    unsigned char* place = blocks_.back().get() + used_;
    order_.push_back(static_cast<std::uint32_t>((blocks_.size() - 1) << kOffsetBits | used_));
    place[0] = attribute_bits(entry.attributes);
    put_u16(place + 1, static_cast<std::uint16_t>(entry.name.size()));
    unsigned char* next = place + kKindAndNameSize;
    if (detail_ != EntryDetail::kNameAndKind) {
      put_u32(next, entry.size);
      next += kSizeSize;
    }
    if (detail_ == EntryDetail::kFull) {
      put_u32(next, static_cast<std::uint32_t>(entry.year));
      next += kYearSize;
      // The listing gives months, days, hours, minutes and seconds within
      // their calendar ranges: one byte each.
      for (int field : {entry.month, entry.day, entry.hour, entry.minute, entry.second}) {
        *next++ = static_cast<unsigned char>(field);
      }
    }
    std::memcpy(next, entry.name.data(), entry.name.size());
    used_ += need;
  }

  // The order of list_dir_sorted.
  void sort() {
    std::sort(order_.begin(), order_.end(), [this](std::uint32_t ia, std::uint32_t ib) {
      const unsigned char* a = at(ia);
      const unsigned char* b = at(ib);
      const int c = compare_names(a, b);
      if (c != 0) return c < 0;
      // Names differ within one directory; the other fields only make the
      // order total, as dir_entry_less does.
      DirEntry ea;
      DirEntry eb;
      unpack(a, ea);
      unpack(b, eb);
      return dir_entry_less(ea, eb);
    });
  }

  std::size_t size() const { return order_.size(); }
  void entry(std::size_t i, DirEntry& out) const { unpack(at(order_[i]), out); }

 private:
  // An entry begins within the first 64 KiB of its block (a longer one has
  // a block of its own), so its offset takes 16 bits.
  static constexpr std::size_t kOffsetBits = 16;
  static constexpr std::size_t kBlockSize = std::size_t{1} << kOffsetBits;
  static constexpr std::size_t kKindAndNameSize = 3;  // attribute bits, name length
  static constexpr std::size_t kSizeSize = 4;
  static constexpr std::size_t kYearSize = 4;
  static constexpr std::size_t kTimeSize = kYearSize + 5;  // year, then month to second
  // The attribute letters in the order the listing writes them.
  static constexpr char kLetters[] = "rhsdavl";

  std::size_t header_size() const {
    std::size_t size = kKindAndNameSize;
    if (detail_ != EntryDetail::kNameAndKind) size += kSizeSize;
    if (detail_ == EntryDetail::kFull) size += kTimeSize;
    return size;
  }
  std::size_t name_offset() const { return header_size(); }
  const unsigned char* at(std::uint32_t place) const {
    return blocks_[place >> kOffsetBits].get() + (place & (kBlockSize - 1));
  }

  static void put_u16(unsigned char* at, std::uint16_t v) {
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
  }
  static std::uint16_t get_u16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
  }
  static void put_u32(unsigned char* at, std::uint32_t v) { std::memcpy(at, &v, sizeof v); }
  static std::uint32_t get_u32(const unsigned char* at) {
    std::uint32_t v = 0;
    std::memcpy(&v, at, sizeof v);
    return v;
  }

  static unsigned char attribute_bits(const std::string& attributes) {
    unsigned char bits = 0;
    for (char letter : attributes) {
      if (const char* at = std::strchr(kLetters, letter); at != nullptr && letter != '\0') {
        bits = static_cast<unsigned char>(bits | (1u << (at - kLetters)));
      }
    }
    return bits;
  }

  int compare_names(const unsigned char* a, const unsigned char* b) const {
    const std::size_t na = get_u16(a + 1);
    const std::size_t nb = get_u16(b + 1);
    // memcmp compares unsigned bytes, so names above 127 sort after ASCII.
    const int c = std::memcmp(a + name_offset(), b + name_offset(), std::min(na, nb));
    if (c != 0) return c;
    if (na == nb) return 0;
    return na < nb ? -1 : 1;
  }

  void unpack(const unsigned char* at, DirEntry& out) const {
    out.attributes.clear();
    for (std::size_t bit = 0; kLetters[bit] != '\0'; ++bit) {
      if (at[0] & (1u << bit)) out.attributes += kLetters[bit];
    }
    const unsigned char* next = at + kKindAndNameSize;
    out.size = 0;
    if (detail_ != EntryDetail::kNameAndKind) {
      out.size = get_u32(next);
      next += kSizeSize;
    }
    out.year = out.month = out.day = out.hour = out.minute = out.second = 0;
    if (detail_ == EntryDetail::kFull) {
      out.year = static_cast<int>(get_u32(next));
      next += kYearSize;
      for (int* field : {&out.month, &out.day, &out.hour, &out.minute, &out.second}) {
        *field = *next++;
      }
    }
    out.name.assign(reinterpret_cast<const char*>(next), get_u16(at + 1));
  }

  EntryDetail detail_;
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::size_t block_size_ = 0;
  std::size_t used_ = 0;
  // Block number and offset in it of each entry, in the sorted order.
  std::vector<std::uint32_t> order_;
};

// The sorted listing of a path; false when it cannot be listed.
bool list_packed(const std::string& path, PackedListing& listing, EntryDetail detail) {
  const bool ok = list_dir_each(
      path,
      [&listing](const DirEntry& entry) {
        listing.add(entry);
        return true;
      },
      detail);
  listing.sort();
  return ok;
}

// Visits one listed directory whose path, as the visitor receives it, is `base`.
int walk_listing(const std::string& base, const PackedListing& listing, const Visitor& visitor,
                 bool subdirectories, EntryDetail detail, const UnlistedSink& unlisted) {
  DirEntry entry;
  for (std::size_t i = 0; i < listing.size(); ++i) {
    listing.entry(i, entry);
    if (!entry.is_directory()) {
      if (int r = visitor(base, entry); r != 0) return r;
      continue;
    }
    if (entry.name == "." || entry.name == "..") continue;
    if (int r = visitor(base, entry); r != 0) return r;
    // A link, junction or other reparse point is visited but never entered:
    // following one could leave the tree or loop for ever.
    if (!subdirectories || entry.is_link()) continue;
    // The subdirectory is listed through "\*.*", which lists exactly what the
    // directory's own path lists, so that a name the listing gave is taken as
    // it is: a trailing blank is not trimmed off and "*" or "?" in it (both
    // possible on Linux) is not read as a pattern.
    const std::string sub = base + "\\" + entry.name;
    PackedListing inner(detail);
    if (!list_packed(sub + "\\*.*", inner, detail)) {
      // Passed over, as a -1; the caller may want to know what it missed.
      if (unlisted) unlisted(sub);
      continue;
    }
    const int r = walk_listing(sub, inner, visitor, subdirectories, detail, unlisted);
    if (r != 0 && r != -1) return r;
  }
  return 0;
}

}  // namespace

int walk_tree(const std::string& path, const Visitor& visitor, bool subdirectories,
              EntryDetail detail, const UnlistedSink& unlisted) {
  PackedListing listing(detail);
  if (!list_packed(path, listing, detail)) return -1;
  return walk_listing(walk_base(path), listing, visitor, subdirectories, detail, unlisted);
}

std::string walk_base(const std::string& path) {
  std::string base = path;
  while (!base.empty() && (base.back() == ' ' || base.back() == '\\')) base.pop_back();
  return base;
}

bool glob_match(const std::string& pattern, const std::string& text) {
  // Both sides as values with an end marker that equals no byte, read in
  // place: the exclusions are matched against every file of a profile.
  constexpr int kEnd = -1;
  constexpr int kStar = '*';
  constexpr int kAny = '?';
  const auto at = [](const std::string& s, std::size_t i) {
    return i < s.size() ? static_cast<int>(static_cast<unsigned char>(s[i])) : kEnd;
  };
  const std::size_t p_size = pattern.size() + 1;
  const std::size_t t_size = text.size() + 1;
  const auto p = [&](std::size_t i) { return at(pattern, i); };
  const auto t = [&](std::size_t i) { return at(text, i); };

  std::size_t i = 0;
  std::size_t j = 0;
  while (j < t_size) {
    if (!(p(i) == t(j) || p(i) == kAny)) {
      if (p(i) != kStar) return false;
      while (p(i) == kStar) ++i;
      if (p(i) == kEnd) return true;
      // The segment runs to the next star, or through the end marker.
      std::size_t seg_end = i;
      while (p(seg_end) != kStar && p(seg_end) != kEnd) ++seg_end;
      if (p(seg_end) == kEnd) ++seg_end;
      const std::size_t seg_len = seg_end - i;
      bool found = false;
      std::size_t k = j;
      for (; k + seg_len <= t_size; ++k) {
        bool equal = true;
        for (std::size_t m = 0; m < seg_len && equal; ++m) {
          equal = p(i + m) == kAny || p(i + m) == t(k + m);
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
    if (i >= p_size) return j >= t_size;
  }
  return false;
}
