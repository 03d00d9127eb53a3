// POSIX side of the walk's calls (tree_walk.h): every name is opened relative
// to its directory's descriptor with O_NOFOLLOW, so no link is ever followed
// and each name is looked up once.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/file_io.h"
#include "support/fs.h"
#include "support/posix_path.h"
#include "support/tree_walk.h"

namespace tree_walk {

namespace {

// A whole target path must fit the system's path buffer (its NUL included),
// each component a directory entry.
constexpr std::size_t kMaxPath = PATH_MAX;
constexpr std::size_t kMaxComponent = NAME_MAX;
// Directories above the guarded one that are examined before giving up.
constexpr int kMaxAncestors = 4096;
// What is made below the base is its owner's alone: a profile holds
// passwords, cookies and history, which the browser itself keeps 0600 in a
// 0700 directory.
constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;

int open_at(int directory, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(directory, name, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool is_link_at(int parent, const char* name) {
  struct stat st {};
  return ::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int descriptor(Handle handle) { return static_cast<int>(handle); }

// Open failures that mean there is nothing to overwrite: a directory, a
// socket, a name that is gone.
bool holds_no_data(int error) {
  return error == EISDIR || error == ENXIO || error == ENOENT || error == ENOTDIR ||
         error == EOPNOTSUPP;
}

}  // namespace

struct Calls::Own {
  bool guard_active = false;
  struct stat guard {};
};

Calls::Calls() : own_(std::make_unique<Own>()) {}
Calls::~Calls() = default;

Handle Calls::open_base(const std::string& base, bool make, bool& made) {
  const std::string native = base.empty() ? "." : posix_path(base);
  made = false;
  int fd = open_at(AT_FDCWD, native.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 && errno == ENOENT && make) {
    make_dirs(base);
    fd = open_at(AT_FDCWD, native.c_str(), O_RDONLY | O_DIRECTORY);
    made = fd >= 0;
  }
  return fd < 0 ? kNoHandle : fd;
}

Handle Calls::open_root(const std::string& root) {
  const int fd = open_at(AT_FDCWD, posix_path(root).c_str(), O_RDONLY | O_DIRECTORY);
  return fd < 0 ? kNoHandle : fd;
}

void Calls::close_directory(Handle directory) { ::close(descriptor(directory)); }

// Whether the guarded directory lies below the base is found by climbing from
// it with "..": only then must each directory entered be compared.
void Calls::guard(Handle base, const std::string& guarded) {
  own_->guard_active = false;
  struct stat base_st {};
  if (::fstat(descriptor(base), &base_st) != 0) return;
  int fd = open_at(AT_FDCWD, posix_path(guarded).c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 || ::fstat(fd, &own_->guard) != 0) {
    if (fd >= 0) ::close(fd);
    return;
  }
  struct stat here = own_->guard;
  for (int level = 0; level < kMaxAncestors; ++level) {
    // The base itself is the user's choice and never refused; only
    // directories strictly below it are compared.
    if (same_file(here, base_st)) {
      own_->guard_active = level > 0;
      break;
    }
    const int up = open_at(fd, "..", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = up;
    struct stat parent {};
    if (fd < 0 || ::fstat(fd, &parent) != 0 || same_file(parent, here)) break;
    here = parent;
  }
  if (fd >= 0) ::close(fd);
}

bool Calls::is_guarded(Handle directory) const {
  if (!own_->guard_active) return false;
  struct stat st {};
  return ::fstat(descriptor(directory), &st) == 0 && same_file(st, own_->guard);
}

bool Calls::directories_stay_open() { return true; }

bool Calls::fits_limits(const std::string& base, const std::string& relative) {
  if (posix_path(base).size() + 1 + relative.size() >= kMaxPath) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    if (end - start > kMaxComponent) return false;
    if (end == relative.size()) return true;
    start = end + 1;
  }
}

Met Calls::open_directory(Handle parent, const std::string& name, Handle& out) {
  const int fd = open_at(descriptor(parent), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd >= 0) {
    out = fd;
    return Met::kOpened;
  }
  if (errno == ENOENT) return Met::kMissing;
  // O_NOFOLLOW answers ELOOP for a link, O_DIRECTORY ENOTDIR for a link on
  // some systems and for a file on all: only a real link counts as one.
  if ((errno == ELOOP || errno == ENOTDIR) && is_link_at(descriptor(parent), name.c_str())) {
    return Met::kLink;
  }
  return Met::kFailed;
}

bool Calls::make_directory(Handle parent, const std::string& name, bool& made) {
  made = ::mkdirat(descriptor(parent), name.c_str(), kDirectoryMode) == 0;
  if (made || errno == EEXIST) return true;
  io_note_failure(errno);
  return false;
}

// One syncfs puts every file's data and every name of the file system on
// the disk, at the cost of one flush of the file system's journal; an fsync
// of each file and directory would cost one each. The base was opened before
// the first file was made, so a write-out that failed since is reported here
// even when the system gave up on it earlier.
bool Calls::sync_below(Handle base) {
  if (io_fault_now(IoFault::kSyncDirectory)) return false;
  if (::syncfs(descriptor(base)) == 0) return true;
  io_note_failure(errno);
  return false;
}

bool Calls::remove_link(Handle parent, const std::string& name) {
  if (::unlinkat(descriptor(parent), name.c_str(), 0) == 0) return true;
  io_note_failure(errno);
  return false;
}

bool Calls::remove_name(Handle parent, const std::string& name) {
  return remove_link(parent, name);
}

Met Calls::open_for_writing(Handle directory, const std::string& name, bool made, bool again,
                            Handle& out) {
  const int dir = descriptor(directory);
  if (made) {
    // In a directory this walk made, the file is created exclusively: when
    // that succeeds it is new, regular, empty and has no other name, and
    // nothing more needs checking.
    const int fd = open_at(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, kFileMode);
    if (fd >= 0) {
      out = fd;
      return Met::kOpened;
    }
    if (errno != EEXIST) {
      io_note_failure(errno);
      return Met::kFailed;
    }
    // A regular file of one name there is one this walk made: for another
    // name that the system takes for this one, unless the caller says it
    // is this very name again. Anything else (a link another program put
    // there) is replaced the careful way.
    struct stat st {};
    if (!again && ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && st.st_nlink == 1) {
      return Met::kTaken;
    }
  }
  // No O_TRUNC: a file with other hard links (one may be the archive being
  // read) must be replaced, not emptied. O_NONBLOCK keeps a named pipe from
  // blocking; on a regular file it changes nothing.
  const int fd =
      open_at(dir, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, kFileMode);
  if (fd < 0) {
    if (errno == ELOOP && is_link_at(dir, name.c_str())) return Met::kLink;
    io_note_failure(errno);
    return Met::kFailed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Met::kFailed;
  }
  // A file with other names is replaced, and so is one with any bytes in
  // it: a FAT driver that cuts a file back only in part (fusefat keeps the
  // old length and frees clusters still in use) would leave the end of the
  // old content behind a shorter new one. A new file has no old bytes.
  if (st.st_nlink > 1 || st.st_size > 0) {
    ::close(fd);
    return Met::kShared;
  }
  out = fd;
  return Met::kOpened;
}

Met Calls::open_for_overwrite(Handle directory, const std::string& name, Handle& out,
                              long long& size) {
  // Without waiting for a program at the other end of a named pipe: such a
  // file is refused below like any device or socket.
  const int fd = open_at(descriptor(directory), name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ELOOP) return Met::kLink;
    return holds_no_data(errno) ? Met::kNoData : Met::kFailed;
  }
  struct stat st {};
  // Only a regular file passes, and O_NONBLOCK changes nothing for one: the
  // flag stays rather than cost two more calls per file.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    ::close(fd);
    if (st.st_nlink > 1 && S_ISREG(st.st_mode)) return Met::kShared;
    if (st.st_mode != 0 && !S_ISREG(st.st_mode)) return Met::kNoData;
    return Met::kFailed;
  }
  out = fd;
  size = static_cast<long long>(st.st_size);
  return Met::kOpened;
}

}  // namespace tree_walk
