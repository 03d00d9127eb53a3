// POSIX directory listing: opendir/readdir/fstatat without following links,
// shaped like the Windows listing ("." and ".." first, even-second local times).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "support/dir.h"
#include "support/dir_match.h"
#include "support/posix_path.h"

namespace {

bool is_dot_name(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void set_time(DirEntry& entry, time_t written) {
  tm local{};
  if (localtime_r(&written, &local) == nullptr) return;
  entry.year = local.tm_year + 1900;
  entry.month = local.tm_mon + 1;
  entry.day = local.tm_mday;
  entry.hour = local.tm_hour;
  entry.minute = local.tm_min;
  // Two-second resolution, as the Windows listing's DOS time has it; a leap
  // second 60 stays within 0-58.
  entry.second = local.tm_sec > 58 ? 58 : local.tm_sec & ~1;
}

// Fills `entry` anew (its strings keep their storage, so a listing does not
// allocate for every entry).
void fill_entry(DirEntry& entry, const char* name, const struct stat& st, EntryDetail detail) {
  entry.name.assign(name);
  entry.attributes.clear();
  entry.size = 0;
  entry.year = entry.month = entry.day = entry.hour = entry.minute = entry.second = 0;
  const bool hidden = name[0] == '.' && !is_dot_name(name);
  if (detail != EntryDetail::kNameAndKind && (st.st_mode & S_IWUSR) == 0) entry.attributes += 'r';
  if (hidden) entry.attributes += 'h';
  if (S_ISDIR(st.st_mode)) entry.attributes += 'd';
  if (S_ISREG(st.st_mode)) entry.attributes += 'a';
  // Links are reported, never followed, so a walk cannot leave the tree it was
  // given or visit a directory twice.
  if (S_ISLNK(st.st_mode)) entry.attributes += 'l';
  if (detail == EntryDetail::kNameAndKind) return;
  entry.size = static_cast<std::uint32_t>(static_cast<unsigned long long>(st.st_size));
  if (detail == EntryDetail::kFull) set_time(entry, st.st_mtime);
}

// The kind that readdir gave, as a mode; 0 when the file system gave none.
mode_t mode_of_type(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return S_IFDIR;
    case DT_REG:
      return S_IFREG;
    case DT_LNK:
      return S_IFLNK;
    case DT_FIFO:
      return S_IFIFO;
    case DT_SOCK:
      return S_IFSOCK;
    case DT_CHR:
      return S_IFCHR;
    case DT_BLK:
      return S_IFBLK;
    default:
      return 0;
  }
}

// "." and ".." as the Windows listing gives them: directories of size 0,
// with the directory's own time.
bool emit_dot(DirEntry& entry, const char* name, const std::string& directory, EntryDetail detail,
              const EntrySink& each) {
  struct stat st {};
  st.st_mode = S_IFDIR | S_IWUSR;
  if (detail == EntryDetail::kFull && ::stat(directory.c_str(), &st) != 0) {
    st.st_mode = S_IFDIR | S_IWUSR;
  }
  fill_entry(entry, name, st, detail);
  entry.attributes = "d";
  entry.size = 0;
  return each(entry);
}

// Lists `directory` (a POSIX path) filtered by the pattern; false when
// nothing was listed.
bool each_in(const std::string& directory, const std::string& pattern, const EntrySink& each,
             EntryDetail detail) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return false;
  DirEntry entry;
  bool listed = false;
  bool go_on = true;
  const bool every_name = matches_every_name(pattern);
  for (const char* dot : {".", ".."}) {
    if (go_on && listing_name_matches(pattern, dot)) {
      const std::string of = dot[1] == '\0'     ? directory
                             : directory == "/" ? "/"
                                                : directory + "/..";
      listed = true;
      go_on = emit_dot(entry, dot, of, detail, each);
    }
  }
  while (go_on) {
    const dirent* item = ::readdir(dir);
    if (item == nullptr) break;
    if (is_dot_name(item->d_name)) continue;
    if (!every_name && !listing_name_matches(pattern, item->d_name)) continue;
    struct stat st {};
    st.st_mode = detail == EntryDetail::kNameAndKind ? mode_of_type(item->d_type) : 0;
    // An entry removed since readdir saw it is simply not listed.
    if (st.st_mode == 0 && ::fstatat(::dirfd(dir), item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    fill_entry(entry, item->d_name, st, detail);
    listed = true;
    go_on = each(entry);
  }
  ::closedir(dir);
  return listed;
}

}  // namespace

bool list_dir_each(const std::string& path, const EntrySink& each, EntryDetail detail) {
  std::string cleaned = listing_path(path);
  // A path of nothing but backslashes names the root.
  if (cleaned.empty() && !path.empty() && path[0] == '\\') cleaned = "\\";
  if (cleaned.empty()) return false;
  const std::string native = posix_path(cleaned);

  const std::size_t slash = native.rfind('/');
  const char* name = native.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  // Only the last component can be a pattern. A "*" or "?" before it stands
  // for itself: as on Windows, only a path that exists with exactly those
  // bytes is found (a Linux directory may have such a name).
  if (has_wildcard(name)) {
    std::string directory = ".";
    if (slash != std::string::npos) directory = slash == 0 ? "/" : native.substr(0, slash);
    return each_in(directory, name, each, detail);
  }

  // Failures of lstat, stat and opendir (missing path, ENAMETOOLONG, no
  // permission) all end as a failed listing. The path's own record decides;
  // only a link needs a second look, at what it points to, since a link to a
  // directory lists that directory's contents.
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return false;
  struct stat target {};
  if (S_ISDIR(st.st_mode) ||
      (S_ISLNK(st.st_mode) && ::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode))) {
    return each_in(native, "*.*", each, detail);
  }
  DirEntry entry;
  fill_entry(entry, name, st, detail);
  each(entry);
  return true;
}
