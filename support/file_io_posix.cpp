// POSIX file seam: open/read/write/fsync/sync_file_range/close/rename on file descriptors, link
// inspection with lstat/readlink, and flock for the lock file.
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "support/file_io.h"
#include "support/posix_path.h"
#include "support/text.h"

namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

// The largest file fusefat writes: 2 GiB.
constexpr off_t kFuseFatLargestFile = off_t{1} << 31;

// Everything before the last slash, "." when there is none, "/" for a file in the root.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

File File::open(const std::string& path, OpenMode mode) {
  File file;
  if (io_fault_now(IoFault::kOpen)) return file;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kReadWriteExisting:
      // This mode overwrites files in place; it must never write through a
      // symbolic link to whatever the link points at.
      flags |= O_RDWR | O_NOFOLLOW;
      break;
    case OpenMode::kReadFileNoFollow:
      flags |= O_RDONLY | O_NOFOLLOW;
      break;
    case OpenMode::kCreateNew:
      // O_EXCL also refuses a name that is a link, dangling or not.
      flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
  }
  const mode_t create_mode = mode == OpenMode::kCreateNew ? 0600 : 0666;
  // Opening a named pipe waits for a program at its other end; without
  // waiting, such a file (and any device or socket) is recognised and refused:
  // only files and directories hold bytes to keep or overwrite.
  int fd;
  do {
    fd = ::open(posix_path(path).c_str(), flags | O_NONBLOCK, create_mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    io_note_failure(errno);
    return file;
  }
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  const bool wanted =
      S_ISREG(st.st_mode) || (S_ISDIR(st.st_mode) && mode != OpenMode::kReadFileNoFollow);
  if (!known || !wanted) {
    ::close(fd);
    return file;
  }
  // O_NONBLOCK changes nothing for a regular file, so only a directory pays
  // the two calls that clear it.
  if (S_ISDIR(st.st_mode) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return file;
  }
  file.handle_ = fd;
  file.size_ = static_cast<long long>(st.st_size);
  return file;
}

long long File::read(void* buffer, std::size_t size) {
  if (!is_open() || io_fault_now(IoFault::kRead)) return -1;
  ssize_t got;
  do {
    got = ::read(fd_of(handle_), buffer, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) io_note_failure(errno);
  return got;
}

bool File::write(const void* data, std::size_t size) {
  if (!is_open()) return false;
  size_ = kUnknownSize;
  too_large_ = false;
  const char* bytes = static_cast<const char*>(data);
  if (io_fault_now(IoFault::kWrite)) {
    // A short write: part of the block reaches the file, as when the disk fills.
    const std::size_t part = size / 2;
    if (part > 0) (void)!::write(fd_of(handle_), bytes, part);
    return false;
  }
  std::size_t fits = size;
  if (io_file_size_limited()) {
    const off_t at = ::lseek(fd_of(handle_), 0, SEEK_CUR);
    if (at >= 0) fits = io_bytes_within_limit(static_cast<std::uint64_t>(at), size);
  }
  while (fits > 0) {
    const ssize_t done = ::write(fd_of(handle_), bytes, fits);
    if (done < 0) {
      if (errno == EINTR) continue;
      io_note_failure(errno);
      // FAT32 ends a file one byte below 4 GiB; the write up to that end
      // succeeds and the next one fails so. fusefat stops files at 2 GiB
      // and refuses the write past it with EPERM instead.
      too_large_ = errno == EFBIG ||
                   (errno == EPERM && ::lseek(fd_of(handle_), 0, SEEK_CUR) >= kFuseFatLargestFile);
      return false;
    }
    if (done == 0) return false;
    bytes += done;
    fits -= static_cast<std::size_t>(done);
    size -= static_cast<std::size_t>(done);
  }
  // What the test limit kept back is refused as the file system would.
  too_large_ = size > 0;
  if (too_large_) io_note_failure(EFBIG);
  return size == 0;
}

bool File::seek(std::uint64_t offset) {
  if (!is_open()) return false;
  return ::lseek(fd_of(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

long long File::size() const {
  if (!is_open()) return -1;
  if (size_ != kUnknownSize) return size_;
  struct stat st {};
  if (::fstat(fd_of(handle_), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool File::sync() {
  if (!is_open() || io_fault_now(IoFault::kSync)) return false;
  if (::fsync(fd_of(handle_)) == 0) return true;
  io_note_failure(errno);
  return false;
}

bool File::write_behind(std::uint64_t settled, std::uint64_t end) {
  if (!is_open() || io_fault_now(IoFault::kSync)) return false;
  const int fd = fd_of(handle_);
  constexpr unsigned kWaitForWrite =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  const bool behind =
      (settled == 0 || ::sync_file_range(fd, 0, static_cast<off_t>(settled), kWaitForWrite) == 0) &&
      (end <= settled ||
       ::sync_file_range(fd, static_cast<off_t>(settled), static_cast<off_t>(end - settled),
                         SYNC_FILE_RANGE_WRITE) == 0);
  if (behind) return true;
  // A file system that cannot write a range on its own is synced whole.
  if (errno == ENOSYS || errno == EINVAL || errno == ESPIPE) return sync();
  io_note_failure(errno);
  return false;
}

bool File::start_flush() {
  // Nothing to do here: the one syncfs at the end (ConfinedTree::sync)
  // writes out every file and name at once, from the kernel's own threads.
  // Starting each file's write-out here (sync_file_range) was measured: on
  // 50,000 small files it doubled the unpack's CPU time, the submission
  // being done in this thread, and made the whole unpack slower.
  return is_open() && !io_fault_now(IoFault::kSync);
}

bool File::copy_permissions_of(const std::string& like) {
  if (!is_open()) return false;
  struct stat st {};
  mode_t bits;
  if (::stat(posix_path(like).c_str(), &st) == 0) {
    bits = st.st_mode & 07777;
  } else {
    // What open(..., 0666) would have given: the process's umask applies.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bits = 0666 & ~mask;
  }
  if (io_fault_now(IoFault::kPermissions)) return false;
  return ::fchmod(fd_of(handle_), bits) == 0;
}

bool File::close() {
  if (!is_open()) return true;
  const int fd = fd_of(std::exchange(handle_, kNoHandle));
  const bool fault = io_fault_now(IoFault::kClose);
  // close() is not retried on EINTR: the descriptor is gone either way on Linux.
  const bool closed = ::close(fd) == 0;
  if (!closed) io_note_failure(errno);
  return closed && !fault;
}

namespace {

// A new name is durable only once the directory holding it is on disk.
bool sync_directory_of(const std::string& target) {
  const int dir = ::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return true;  // the rename itself happened; nothing more can be done
  const bool synced = ::fsync(dir) == 0 || errno == EINVAL || errno == EROFS;
  ::close(dir);
  return synced;
}

// Whether link() failed because the file system gives a file one name only
// (FAT and exFAT refuse with EPERM, others with EOPNOTSUPP or EMLINK).
bool one_name_per_file(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

// Whether anything has the name; on FAT that is any name differing only in
// letter case, which the lookup finds as the same entry.
bool name_taken(const std::string& native) {
  struct stat st {};
  return ::lstat(native.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

bool rename_replace(const std::string& from, const std::string& to) {
  if (io_fault_now(IoFault::kRename)) return false;
  const std::string target = posix_path(to);
  if (::rename(posix_path(from).c_str(), target.c_str()) != 0) {
    io_note_failure(errno);
    return false;
  }
  return sync_directory_of(target);
}

bool rename_no_replace(const std::string& from, const std::string& to) {
  if (io_fault_now(IoFault::kRename)) return false;
  const std::string source = posix_path(from);
  const std::string target = posix_path(to);
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    // Older kernels and some file systems know no such rename; a second
    // name made with link() is refused just the same when the name is taken.
    if (errno != EINVAL && errno != ENOSYS) {
      io_note_failure(errno);
      return false;
    }
    // FAT and exFAT know neither: there the name is looked up first (under
    // any letter case), then the file renamed; between the two only another
    // program could take the name, as the directory's lock keeps out other
    // starts of this one.
    if (::link(source.c_str(), target.c_str()) == 0) {
      ::unlink(source.c_str());
    } else if (!one_name_per_file(errno) || name_taken(target) ||
               ::rename(source.c_str(), target.c_str()) != 0) {
      io_note_failure(errno);
      return false;
    }
  }
  return sync_directory_of(target);
}

long long file_size64(const std::string& path) {
  struct stat st {};
  if (::stat(posix_path(path).c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return 0;
  return static_cast<long long>(st.st_size);
}

bool remove_file(const std::string& path) { return ::unlink(posix_path(path).c_str()) == 0; }

const char* platform_name_separators() { return ""; }

EntryKind entry_kind(const std::string& path) {
  struct stat st {};
  if (::lstat(posix_path(path).c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? EntryKind::kMissing : EntryKind::kOther;
  }
  if (S_ISLNK(st.st_mode)) return EntryKind::kLink;
  if (S_ISDIR(st.st_mode)) return EntryKind::kDirectory;
  if (S_ISREG(st.st_mode)) return EntryKind::kFile;
  return EntryKind::kSpecial;
}

bool link_target(const std::string& path, std::string& target) {
  // The limit the system itself puts on a chain of links.
  constexpr int kMaxHops = 40;
  std::string current = posix_path(path);
  for (int hop = 0; hop <= kMaxHops; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = replace_all(current, "/", "\\");
      return true;
    }
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return false;
    const std::string next(buffer, static_cast<std::size_t>(length));
    if (next.front() == '/') {
      current = next;
    } else {
      const std::string directory = directory_of(current);
      current = (directory == "/" ? "" : directory) + "/" + next;
    }
  }
  return false;
}

FileLock::~FileLock() { release(); }

FileLock::Result FileLock::acquire(const std::string& lock_file_path) {
  release();
  const std::string native = posix_path(lock_file_path);
  // flock locks belong to the open file, so a second opening, even by the
  // same process, is refused while this one holds it; the system drops the
  // lock when the process ends.
  int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  // A lock file that exists in a directory that cannot be written to any
  // more can still be locked.
  if (fd < 0) fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Result::kUnavailable;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Result::kUnavailable;
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Result::kBusy : Result::kUnavailable;
  }
  handle_ = fd;
  return Result::kHeld;
}

void FileLock::release() {
  if (handle_ == kNoHandle) return;
  ::close(fd_of(std::exchange(handle_, kNoHandle)));
}

long platform_error_code(IoFailure failure) {
  if (failure == IoFailure::kDiskFull) return ENOSPC;
  return failure == IoFailure::kDeviceError ? EIO : EACCES;
}

std::string system_error_text(long code) {
  // strerror's table is the system's own wording; its buffer is not kept.
  const char* text = std::strerror(static_cast<int>(code));
  return text != nullptr ? std::string(text) : std::string();
}
