// The replacement of a file through a temporary beside it.
#include "archive/safe_replace.h"

#include <algorithm>
#include <cstdint>
#include <random>

#include "support/dir.h"
#include "support/fs.h"

bool is_temporary_name(const std::string& name) {
  const std::size_t prefix = sizeof kTemporaryPrefix - 1;
  const std::size_t suffix = sizeof kTemporarySuffix - 1;
  if (name.size() != prefix + kTemporaryDigits + suffix) return false;
  if (name.compare(0, prefix, kTemporaryPrefix) != 0) return false;
  if (name.compare(prefix + kTemporaryDigits, suffix, kTemporarySuffix) != 0) return false;
  return std::all_of(name.begin() + static_cast<long>(prefix),
                     name.begin() + static_cast<long>(prefix + kTemporaryDigits),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

namespace {

// Everything of a path up to and with its last separator; empty for a bare name.
std::string directory_prefix(const std::string& path) {
  const std::size_t at = path.find_last_of('\\');
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// Temporaries that a killed pack left behind; only plain files of exactly
// the temporary's shape, never a link or what it points at.
void remove_leftover_temporaries(const std::string& directory) {
  const std::string pattern = directory + kTemporaryPrefix + "*" + kTemporarySuffix;
  const Listing listing = list_dir(pattern);
  if (!listing.ok) return;
  for (const DirEntry& entry : listing.entries) {
    if (entry.is_directory() || entry.is_link()) continue;
    if (is_temporary_name(entry.name)) remove_file(directory + entry.name);
  }
}

std::string temporary_name() {
  static std::mt19937 random{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdef";
  std::string name = kTemporaryPrefix;
  const std::uint32_t value = static_cast<std::uint32_t>(random());
  for (std::size_t i = 0; i < kTemporaryDigits; ++i) {
    name += kDigits[(value >> (4 * (kTemporaryDigits - 1 - i))) & 0xFu];
  }
  return name + kTemporarySuffix;
}

// Creates a new temporary in the directory; never opens an existing name.
File create_temporary(const std::string& directory, std::string& path) {
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    path = directory + temporary_name();
    File file = File::open(path, OpenMode::kCreateNew);
    if (file.is_open()) return file;
    // Only a name that is taken is worth another try.
    if (entry_kind(path) == EntryKind::kMissing) break;
  }
  return File();
}

}  // namespace

File begin_replacement(const std::string& target, std::string& temporary) {
  const std::string directory = directory_prefix(target);
  remove_leftover_temporaries(directory);
  return create_temporary(directory, temporary);
}

bool finish_replacement(File& file, const std::string& temporary, const std::string& target,
                        bool complete, bool replace_existing, bool& too_large) {
  // Permissions are not the data: a stick's FAT or exFAT holds none, and the
  // file then keeps the owner-only ones it was created with.
  if (complete) file.copy_permissions_of(target);
  // Only a file system whose files end below the file's size refuses a
  // write so; the user learns that no retry on that stick can help.
  too_large = !complete && file.too_large();
  bool ok = complete && file.sync();
  ok = file.close() && ok;
  ok = ok && (replace_existing ? rename_replace(temporary, target)
                               : rename_no_replace(temporary, target));
  if (!ok) remove_file(temporary);
  return ok;
}
