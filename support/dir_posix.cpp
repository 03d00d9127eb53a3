// POSIX directory listing: opendir/readdir/fstatat without following links,
// shaped like the Windows listing ("." and ".." first, even-second local times).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "support/dir.h"
#include "support/dir_match.h"
#include "support/text.h"

namespace {

DirEntry entry_from(const std::string& name, const struct stat& st) {
  DirEntry entry;
  entry.name = name;
  const bool dot_entry = name == "." || name == "..";
  if ((st.st_mode & S_IWUSR) == 0) entry.attributes += 'r';
  if (!dot_entry && !name.empty() && name[0] == '.') entry.attributes += 'h';
  if (S_ISDIR(st.st_mode)) entry.attributes += 'd';
  if (S_ISREG(st.st_mode)) entry.attributes += 'a';
  // Links are reported, never followed, so a walk cannot leave the tree it was
  // given or visit a directory twice.
  if (S_ISLNK(st.st_mode)) entry.attributes += 'l';
  entry.size = static_cast<std::uint32_t>(static_cast<unsigned long long>(st.st_size));
  tm local{};
  const time_t written = st.st_mtime;
  if (localtime_r(&written, &local) != nullptr) {
    entry.year = local.tm_year + 1900;
    entry.month = local.tm_mon + 1;
    entry.day = local.tm_mday;
    entry.hour = local.tm_hour;
    entry.minute = local.tm_min;
    // Two-second resolution, as the Windows listing's DOS time has it; a leap
    // second 60 stays within 0-58.
    entry.second = local.tm_sec > 58 ? 58 : local.tm_sec & ~1;
  }
  return entry;
}

// "." and ".." as the Windows listing gives them: directories of size 0.
DirEntry dot_entry(const std::string& name, const std::string& directory) {
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0) st.st_mode = S_IFDIR | S_IWUSR;
  DirEntry entry = entry_from(name, st);
  entry.attributes = "d";
  entry.size = 0;
  return entry;
}

// Lists `directory` (a POSIX path) filtered by the pattern.
Listing list_contents(const std::string& directory, const std::string& pattern,
                      std::size_t max_entries) {
  Listing listing;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return listing;
  const std::string parent = directory == "/" ? "/" : directory + "/..";
  for (const char* dot : {".", ".."}) {
    if (listing.entries.size() < max_entries && listing_name_matches(pattern, dot)) {
      listing.entries.push_back(dot_entry(dot, dot[1] == '\0' ? directory : parent));
    }
  }
  while (listing.entries.size() < max_entries) {
    const dirent* item = ::readdir(dir);
    if (item == nullptr) break;
    const std::string name = item->d_name;
    if (name == "." || name == ".." || !listing_name_matches(pattern, name)) continue;
    struct stat st {};
    // An entry removed since readdir saw it is simply not listed.
    if (::fstatat(::dirfd(dir), item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    listing.entries.push_back(entry_from(name, st));
  }
  ::closedir(dir);
  listing.ok = !listing.entries.empty();
  return listing;
}

}  // namespace

Listing list_dir(const std::string& path, std::size_t max_entries) {
  if (max_entries == 0) max_entries = 1;
  std::string cleaned = listing_path(path);
  // A path of nothing but backslashes names the root.
  if (cleaned.empty() && !path.empty() && path[0] == '\\') cleaned = "\\";
  if (cleaned.empty()) return Listing{};
  const std::string native = replace_all(cleaned, "\\", "/");

  const std::size_t slash = native.rfind('/');
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  std::string directory = ".";
  if (slash != std::string::npos) directory = slash == 0 ? "/" : native.substr(0, slash);
  // Only the last component can be a pattern. A "*" or "?" before it stands
  // for itself: as on Windows, only a path that exists with exactly those
  // bytes is found (a Linux directory may have such a name).
  if (has_wildcard(name)) return list_contents(directory, name, max_entries);

  // Failures of stat and opendir (missing path, ENAMETOOLONG, no permission)
  // all end as a failed listing.
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return list_contents(native, "*.*", max_entries);
  }

  Listing listing;
  if (::lstat(native.c_str(), &st) == 0) {
    listing.entries.push_back(entry_from(name, st));
    listing.ok = true;
  }
  return listing;
}
