// Files at the system-call seam. Every open, read, write, flush and rename the
// program makes goes through here, so tests can make any of them fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class OpenMode {
  kRead,               // existing file, read only
  kWrite,              // create, or empty an existing file; write only
  kReadWriteExisting,  // existing file, read and write, never created or truncated;
                       // never opened through a symbolic link named by the path
  kReadFileNoFollow,   // existing regular file (never a directory), read only, others
                       // may go on writing it; never opened through a symbolic link
                       // or junction named by the path
  kCreateNew,          // a new file, write only: fails when anything, even a dangling
                       // link, has the name; readable by the owner alone until
                       // copy_permissions_of gives it its final permissions
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Paths use backslashes; the POSIX layer turns them into slashes.
  static File open(const std::string& path, OpenMode mode);

  bool is_open() const { return handle_ != kNoHandle; }
  // Bytes read, 0 at the end of the file, -1 on failure.
  long long read(void* buffer, std::size_t size);
  // True when every byte was written.
  bool write(const void* data, std::size_t size);
  // Whether the last failed write failed because the file system cannot hold
  // a file that large (FAT32 ends every file below 4 GiB).
  bool too_large() const { return too_large_; }
  bool seek(std::uint64_t offset);
  // The file's size in bytes, taken from the open handle (64-bit); -1 when the
  // system cannot tell it.
  long long size() const;
  // Flushes the file's data to the disk.
  bool sync();
  // Sees that the bytes written so far are on the disk once the tree they
  // were written into is flushed (ConfinedTree::sync): where that flush
  // covers every file of the file system (Linux) there is nothing to do
  // now; where no user may flush a whole volume (Windows), they are flushed
  // now. Counts as a flush for the fault hooks.
  bool start_flush();
  // Waits until the bytes before `settled` have been written out, then
  // starts writing those from `settled` to `end` without waiting for them: a
  // long file goes out while it is still being written, so that its final
  // sync waits for little. It promises no durability (sync does); where the
  // system cannot write behind, it is a sync.
  bool write_behind(std::uint64_t settled, std::uint64_t end);
  // Gives the file the permission bits of the file at `like`, or, when there
  // is none, those a newly created file gets. Where the system keeps no such
  // bits per file (Windows: the folder's inherited rights apply), true. False
  // when the file system refused them (FAT and exFAT hold no owner or mode):
  // the file then keeps the owner-only bits it was created with.
  bool copy_permissions_of(const std::string& like);
  // True when the close succeeded (or the file was not open).
  bool close();

 private:
  friend class RootedOpener;  // opens files relative to an open directory
  friend class ConfinedTree;  // creates files relative to an open directory
  static constexpr std::intptr_t kNoHandle = -1;
  static constexpr long long kUnknownSize = -1;
  explicit File(std::intptr_t handle, long long size = kUnknownSize)
      : handle_(handle), size_(size) {}
  std::intptr_t handle_ = kNoHandle;
  // The size the platform layer learned while opening, so that size() right
  // after the open needs no second call; forgotten at the first write.
  long long size_ = kUnknownSize;
  bool too_large_ = false;
};

// The size of a file as the system holds it, all 64 bits; 0 for a directory,
// -1 when there is no such path.
long long file_size64(const std::string& path);

// Replaces `to` with `from` in one step and makes the rename durable.
bool rename_replace(const std::string& from, const std::string& to);
// Gives the file `from` the name `to` only when nothing has that name yet;
// false, both names as they were, when it is taken.
bool rename_no_replace(const std::string& from, const std::string& to);
bool remove_file(const std::string& path);

// What a path names, looking at the last component itself: a link (symbolic
// link, junction or other reparse point) is reported as such, never followed.
// kSpecial: a named pipe, socket or device, which holds no bytes to keep;
// kOther: the system could not tell (no access, a path too long).
enum class EntryKind { kMissing, kFile, kDirectory, kLink, kSpecial, kOther };
EntryKind entry_kind(const std::string& path);

// The path of the file that `path` finally names: `path` itself when it is no
// link (or does not exist), else the end of the chain of links, which may not
// exist yet. False when the chain cannot be followed (a loop, an unreadable link).
bool link_target(const std::string& path, std::string& target);

// Whether `name` can only name an entry of a directory, never a path: not
// empty, no NUL, no separator (slash, backslash, and on Windows the colon of a
// drive or a stream), and neither "." nor "..".
bool is_bare_file_name(const std::string& name);

// A lock that one process at a time holds on a lock file, released by the
// system when the holder ends however it ends.
class FileLock {
 public:
  enum class Result {
    kHeld,         // this object holds the lock
    kBusy,         // another holder has it
    kUnavailable,  // no lock can be made here (read-only or missing directory)
  };
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Creates the lock file when needed (never through a link) and tries once.
  Result acquire(const std::string& lock_file_path);
  void release();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

// Test hooks: make the n-th call (counting from 1, from now) of a kind fail.
// Write faults fail after writing part of the block (a short write).
// kSync: a file's flush. kSyncDirectory: a flush that makes new names durable,
// a directory's where each directory is flushed on its own (Windows), the
// whole file system's where one flush holds every name and file (Linux).
enum class IoFault { kOpen, kRead, kWrite, kSync, kClose, kRename, kPermissions, kSyncDirectory };
void io_fail_nth(IoFault kind, long n);
// Test hook: how many calls of a kind were made since io_clear_faults().
long io_calls(IoFault kind);

// The system's own words for why the last open, read, write, flush, close or
// rename of a file failed ("No space left on device"), to be shown under a
// failure's own message; empty when none failed since forget_io_failure().
std::string last_io_failure_reason();
void forget_io_failure();
// Test hook: every file then ends at `bytes` as on a file system with that
// largest file: a write reaching past it writes up to the end and fails as
// too large. Negative lifts the limit; io_clear_faults lifts it too.
void io_limit_file_size(long long bytes);
void io_clear_faults();
// For the platform layer: the bytes besides the slash, the backslash and NUL
// that separate a path's components on this system.
const char* platform_name_separators();
// For the platform layer: remembers the system's error code of a failed call,
// for last_io_failure_reason().
void io_note_failure(long code);
// The error code an injected fault of the kind stands for (a full disk for
// writes and flushes), in the system's own numbering.
long io_fault_code(IoFault kind);
// For the platform layer: the system's code for each failure a fault stands for.
enum class IoFailure { kDiskFull, kDeviceError, kAccessDenied };
long platform_error_code(IoFailure failure);
// For the platform layer: the system's message for an error code, one line,
// UTF-8; empty when the system has none.
std::string system_error_text(long code);
// For the platform layer: counts one call of the kind and says whether it is
// the one a test asked to fail.
bool io_fault_now(IoFault kind);
// For the platform layer: how many of `size` bytes written at `position` fit
// below the limit a test set (all of them when none is set).
std::size_t io_bytes_within_limit(std::uint64_t position, std::size_t size);
// For the platform layer: whether a test set a limit on the size of files.
bool io_file_size_limited();
