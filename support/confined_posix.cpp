// POSIX side of ConfinedTree and file_size64: every component below the base
// is opened relative to its parent's descriptor with O_NOFOLLOW, so no link
// is ever followed and each name is looked up once.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/confined.h"
#include "support/dir_chain.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/posix_path.h"

namespace {

// A whole target path must fit the system's path buffer (its NUL included),
// each component a directory entry.
constexpr std::size_t kMaxPath = PATH_MAX;
constexpr std::size_t kMaxComponent = NAME_MAX;
// A link or a stray file that comes back after its removal is fought only
// this often.
constexpr int kAttempts = 4;
// open_file's answer for a file this tree made under another name.
constexpr int kTakenFd = -2;
// Directories above the guarded one that are examined before giving up.
constexpr int kMaxAncestors = 4096;
// What is made below the base is its owner's alone: a profile holds
// passwords, cookies and history, which the browser itself keeps 0600 in a
// 0700 directory.
constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;

int open_directory_at(int parent, const char* name) {
  int fd;
  do {
    fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool is_link_at(int parent, const char* name) {
  struct stat st {};
  return ::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

void close_descriptor(int fd) { ::close(fd); }

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

struct ConfinedTree::State {
  std::string base;
  std::string guarded;
  int base_fd = -1;
  bool base_failed = false;
  bool make_base = true;
  bool guard_active = false;
  struct stat guard {};
  // Whether this tree made the base itself: nothing can be in it yet.
  bool base_made = false;
  // The directories down to the last file's, and for each whether this tree
  // made it, so that it held nothing of anyone else's.
  DirChain chain{close_descriptor};

  ~State() {
    if (base_fd >= 0) ::close(base_fd);
  }

  bool open_base() {
    if (base_fd >= 0) return true;
    if (base_failed) return false;
    const std::string native = base.empty() ? "." : base;
    base_fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (base_fd < 0 && errno == ENOENT && make_base) {
      make_dirs(base);
      base_fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      base_made = base_fd >= 0;
    }
    if (base_fd < 0) {
      base_failed = true;
      return false;
    }
    guard_active = guard_lies_below_base();
    return true;
  }

  // Whether the guarded directory lies below the base, found by climbing from it with "..": only
  // then must each component be compared.
  bool guard_lies_below_base() {
    if (guarded.empty()) return false;
    struct stat base_st {};
    if (::fstat(base_fd, &base_st) != 0) return false;
    int fd = ::open(guarded.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &guard) != 0) {
      if (fd >= 0) ::close(fd);
      return false;
    }
    bool below = false;
    struct stat here = guard;
    for (int level = 0; level < kMaxAncestors; ++level) {
      // The base itself is the user's choice and never refused; only
      // directories strictly below it are compared.
      if (same_file(here, base_st)) {
        below = level > 0;
        break;
      }
      const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = up;
      struct stat parent {};
      if (fd < 0 || ::fstat(fd, &parent) != 0 || same_file(parent, here)) break;
      here = parent;
    }
    if (fd >= 0) ::close(fd);
    return below;
  }

  bool is_guarded(int fd) const {
    if (!guard_active) return false;
    struct stat st {};
    return ::fstat(fd, &st) == 0 && same_file(st, guard);
  }

  // Opens (making it when missing) the directory `name` in `parent`; a link
  // in its place is removed and a real directory made. In a directory this
  // tree made, the name is made first, since it cannot be there yet: one
  // call fewer per new directory, and a name that is there after all only
  // sends it the usual way. `made` tells whether this call made it.
  int enter(int parent, const char* name, bool parent_made, bool& made) {
    bool make = parent_made;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (make) {
        made = ::mkdirat(parent, name, kDirectoryMode) == 0;
        if (!made && errno != EEXIST) {
          io_note_failure(errno);
          return -1;
        }
      }
      const int fd = open_directory_at(parent, name);
      if (fd >= 0) {
        // A directory already there in one this tree made is one it made
        // for an earlier name (perhaps spelt otherwise, where the system
        // ignores letter case): all it holds is this tree's own.
        if (parent_made) made = true;
        return fd;
      }
      made = false;
      if (errno == ENOENT) {
        make = true;
      } else if (errno == ELOOP || errno == ENOTDIR) {
        // Only a link is removed; a file of the user's stays where it is.
        if (!is_link_at(parent, name) || ::unlinkat(parent, name, 0) != 0) return -1;
        make = true;
      } else {
        return -1;
      }
    }
    return -1;
  }

  // The open directory `relative` (program form, "" for the base), or -1
  // with `refused` set when it is the guarded directory or below it.
  int directory(const std::string& relative, bool& refused, bool& made) {
    const auto enter_unguarded = [&](int parent, bool parent_made, const std::string& name,
                                     bool& entered_made) {
      const int fd = enter(parent, name.c_str(), parent_made, entered_made);
      if (fd >= 0 && is_guarded(fd)) {
        ::close(fd);
        refused = true;
        return -1;
      }
      return fd;
    };
    return chain.open(relative, base_fd, base_made, enter_unguarded, made);
  }

  // Opens `name` in `dir` for writing, empty, as a regular file of its own.
  // In a directory this tree made, the file is created exclusively: when
  // that succeeds it is new, regular, empty and has no other name, and
  // nothing more needs checking.
  int open_file(int dir, const char* name, bool dir_made, bool again) {
    if (dir_made) {
      int fd;
      do {
        fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
      } while (fd < 0 && errno == EINTR);
      if (fd >= 0) return fd;
      if (errno != EEXIST) {
        io_note_failure(errno);
        return -1;
      }
      // A regular file of one name there is one this tree made: for
      // another name that the system takes for this one, unless the caller
      // says it is this very name again. Anything else (a link another
      // program put there) is replaced the careful way.
      struct stat st {};
      if (!again && ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
          st.st_nlink == 1) {
        return kTakenFd;
      }
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      // No O_TRUNC: a file with other hard links (one may be the archive
      // being read) must be replaced, not emptied. O_NONBLOCK keeps a named
      // pipe from blocking; on a regular file it changes nothing.
      int fd;
      do {
        fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      kFileMode);
      } while (fd < 0 && errno == EINTR);
      if (fd < 0) {
        if (errno != ELOOP || !is_link_at(dir, name) || ::unlinkat(dir, name, 0) != 0) {
          io_note_failure(errno);
          return -1;
        }
        continue;
      }
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
      }
      if (st.st_nlink > 1) {
        ::close(fd);
        if (::unlinkat(dir, name, 0) != 0) return -1;
        continue;
      }
      if (st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
      }
      return fd;
    }
    return -1;
  }
};

ConfinedTree::ConfinedTree(const std::string& base, const std::string& guarded, bool make_base)
    : state_(std::make_unique<State>()) {
  state_->make_base = make_base;
  state_->base = posix_path(base);
  state_->guarded = posix_path(guarded);
}

ConfinedTree::~ConfinedTree() = default;

bool ConfinedTree::split_fitting(const std::string& relative, std::string& dir_part,
                                 std::string& name) const {
  return state_->base.size() + 1 + relative.size() < kMaxPath &&
         split_target(relative, kMaxComponent, dir_part, name);
}

CreateResult ConfinedTree::create_checked(const std::string& /*relative*/,
                                          const std::string& dir_part, const std::string& name,
                                          File& out, bool again) {
  State& s = *state_;
  if (!s.open_base()) return CreateResult::kFailed;
  bool refused = false;
  bool dir_made = false;
  const int dir = s.directory(dir_part, refused, dir_made);
  if (refused) return CreateResult::kRefused;
  if (dir < 0) return CreateResult::kFailed;
  const int fd = s.open_file(dir, name.c_str(), dir_made, again);
  if (fd == kTakenFd) return CreateResult::kTaken;
  if (fd < 0) return CreateResult::kFailed;
  out = File(fd);
  return CreateResult::kOpened;
}

long long file_size64(const std::string& path) {
  struct stat st {};
  if (::stat(posix_path(path).c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return 0;
  return static_cast<long long>(st.st_size);
}
