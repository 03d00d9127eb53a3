// Buffered output of the archive being written, with the corrections a
// record may need once its data are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/file_io.h"

// The new archive goes to the disk in steps of this size while it is
// written: a single flush at the end of a large profile on a slow stick
// would leave the status window unpainted for many seconds. Each step is
// written behind, not waited for, so the pack goes on reading the profile
// while the disk writes; the step before it is waited for, which keeps
// the final flush short.
inline constexpr std::uint64_t kSyncStep = 16ull * 1024 * 1024;

// Buffered archive output that knows its position, so that a record's data
// length can be corrected after its data are written and a record can be
// taken back when its input fails.
class ArchiveOutput {
 public:
  explicit ArchiveOutput(File& file);
  bool write(const void* data, std::size_t size);
  bool write_u32(std::uint32_t value);
  // Overwrites four bytes already written at `offset` (before position()).
  bool patch_u32(std::uint64_t offset, std::uint32_t value);
  // Moves the end back to `offset`; what lies beyond is overwritten later
  // (bytes after the trailer are never read).
  bool rewind_to(std::uint64_t offset);
  bool flush();
  // Flushes and makes what was written durable.
  bool sync();
  // Flushes, waits until the bytes before `settled` are written out and
  // starts writing the rest (File::write_behind).
  bool write_behind(std::uint64_t settled);
  std::uint64_t position() const { return flushed_ + buffer_.size(); }
  bool failed() const { return failed_; }

 private:
  File& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t flushed_ = 0;  // bytes of the file before buffer_
  bool failed_ = false;
};
