// POSIX side of the whole-directory operations: mkdir with owner-only bits,
// renameat2's exchange, rmdir and unlink.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/dir_tree.h"
#include "support/posix_path.h"

namespace {

constexpr mode_t kOwnerOnly = 0700;

// Makes a rename in the directory holding `path` durable.
bool sync_parent(const std::string& native) {
  const std::size_t cut = native.rfind('/');
  const std::string parent = cut == std::string::npos ? "."
                             : cut == 0               ? "/"
                                                      : native.substr(0, cut);
  const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

}  // namespace

bool make_private_directory(const std::string& path) {
  const std::string native = posix_path(path);
  // The mode never grants others anything, and the umask may only take bits
  // away; chmod puts back the owner's, where the file system keeps bits at
  // all (FAT refuses it, and the directory is made none the less).
  if (::mkdir(native.c_str(), kOwnerOnly) != 0) return false;
  ::chmod(native.c_str(), kOwnerOnly);
  return true;
}

bool make_directory_private(const std::string& path) {
  const int fd = ::open(posix_path(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fchmod(fd, kOwnerOnly) == 0;
  ::close(fd);
  return ok;
}

Exchange exchange_directories(const std::string& a, const std::string& b) {
  const std::string first = posix_path(a);
  const std::string second = posix_path(b);
  if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) != 0) {
    // FAT and some older file systems know no exchange.
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP ? Exchange::kUnsupported
                                                                  : Exchange::kFailed;
  }
  return sync_parent(second) ? Exchange::kDone : Exchange::kFailed;
}

bool remove_empty_directory(const std::string& path) {
  return ::rmdir(posix_path(path).c_str()) == 0;
}

bool remove_link(const std::string& path) { return ::unlink(posix_path(path).c_str()) == 0; }
