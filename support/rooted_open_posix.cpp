// POSIX side of RootedOpener: every component is opened with openat from the
// descriptor of the one before, never following a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/dir_chain.h"
#include "support/posix_path.h"
#include "support/rooted_name.h"
#include "support/rooted_open.h"

namespace {

constexpr int kNoFd = -1;

int open_at(int directory, const std::string& name, int flags) {
  int fd;
  do {
    fd = ::openat(directory, name.c_str(), flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void close_descriptor(int fd) { ::close(fd); }

// Open failures that mean there is nothing to overwrite: a link (refused by
// O_NOFOLLOW), a directory, a socket, a name that is gone.
bool holds_no_data(int error) {
  return error == ELOOP || error == EISDIR || error == ENXIO || error == ENOENT ||
         error == ENOTDIR || error == EOPNOTSUPP;
}

void close_fd(int& fd) {
  if (fd != kNoFd) ::close(fd);
  fd = kNoFd;
}

}  // namespace

struct RootedOpener::State {
  int root = kNoFd;
  // The directories from the root down to the last file's, kept open.
  DirChain chain{close_descriptor};
  // The directory of the last file opened, relative to the root, and its
  // descriptor (kNoFd when that directory could not be opened).
  bool cached = false;
  std::string directory;
  int directory_fd = kNoFd;

  // Opens `relative`, a directory below the root, one component at a time;
  // O_NOFOLLOW refuses a link at every level.
  int open_directory(const std::string& relative) {
    bool made = false;
    return chain.open(
        relative, root, false,
        [](int parent, bool, const std::string& name, bool&) {
          if (!rooted_name::usable_component(name)) return kNoFd;
          return open_at(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        },
        made);
  }

  File open_file(const std::string& relative, OverwriteRefusal& why);
};

File RootedOpener::State::open_file(const std::string& relative, OverwriteRefusal& why) {
  if (io_fault_now(IoFault::kOpen) || root == kNoFd) return File();
  std::string dir_part;
  std::string name;
  if (!rooted_name::split(relative, dir_part, name)) return File();
  if (!cached || dir_part != directory) {
    directory = dir_part;
    directory_fd = open_directory(dir_part);
    cached = true;
  }
  if (directory_fd == kNoFd) return File();
  // Without waiting for a program at the other end of a named pipe: such a
  // file is refused below like any device or socket.
  const int fd = open_at(directory_fd, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (holds_no_data(errno)) why = OverwriteRefusal::kNoData;
    return File();
  }
  struct stat st {};
  // Only a regular file passes, and O_NONBLOCK changes nothing for one: the
  // flag stays rather than cost two more calls per file.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    if (st.st_nlink > 1 && S_ISREG(st.st_mode)) why = OverwriteRefusal::kOtherNames;
    if (st.st_mode != 0 && !S_ISREG(st.st_mode)) why = OverwriteRefusal::kNoData;
    ::close(fd);
    return File();
  }
  return File(fd, static_cast<long long>(st.st_size));
}

RootedOpener::RootedOpener(const std::string& root) : state_(std::make_unique<State>()) {
  state_->root = open_at(AT_FDCWD, posix_path(root), O_RDONLY | O_DIRECTORY);
}

RootedOpener::~RootedOpener() { close_fd(state_->root); }

File RootedOpener::open_for_overwrite(const std::string& relative, OverwriteRefusal* refusal) {
  OverwriteRefusal why = OverwriteRefusal::kFailed;
  File file = state_->open_file(relative, why);
  if (refusal != nullptr) *refusal = file.is_open() ? OverwriteRefusal::kNone : why;
  return file;
}
