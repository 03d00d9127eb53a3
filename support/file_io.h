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
  bool seek(std::uint64_t offset);
  // The file's size in bytes, taken from the open handle (64-bit); -1 when the
  // system cannot tell it.
  long long size() const;
  // Flushes the file's data to the disk.
  bool sync();
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
};

// Replaces `to` with `from` in one step and makes the rename durable.
bool rename_replace(const std::string& from, const std::string& to);
bool remove_file(const std::string& path);

// Test hooks: make the n-th call (counting from 1, from now) of a kind fail.
// Write faults fail after writing part of the block (a short write).
enum class IoFault { kOpen, kRead, kWrite, kSync, kClose, kRename };
void io_fail_nth(IoFault kind, long n);
void io_clear_faults();
// For the platform layer: counts one call of the kind and says whether it is
// the one a test asked to fail.
bool io_fault_now(IoFault kind);
