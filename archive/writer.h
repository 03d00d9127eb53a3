// Packs a profile directory into one archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/dir.h"
#include "support/file_io.h"

// (stored name, position from 1, number of files) -> 0
using PackProgress = std::function<int(const std::string& name, long index, long count)>;

// 1 when the archive was written, -1 when it could not be (the old archive,
// if any, is then left as it was).
int kompres(const std::string& root, const std::string& archive_path, const PackProgress& progress);

// The writer's steps, exposed for tests.
int wdcb1(const std::string& directory, const DirEntry& entry);
void make_relative(const std::string& root);
void drop_excluded();
// A copy of the file list as it stands.
std::vector<std::string> writer_file_list();
void writer_clear_file_list();

// The file next to the archive that a pack writes before it replaces the
// archive; a fixed name, so a leftover of a killed pack is simply reused.
std::string temporary_archive_path(const std::string& archive_path);

// Largest data length a record can hold.
inline constexpr std::uint64_t kMaxRecordData = 0xFFFFFFFFull;
// Copy block for file data; never less than 64 KiB.
inline constexpr std::size_t kCopyBlockSize = 256 * 1024;

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
  std::uint64_t position() const { return flushed_ + buffer_.size(); }
  bool failed() const { return failed_; }

 private:
  File& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t flushed_ = 0;  // bytes of the file before buffer_
  bool failed_ = false;
};

// Magic, one record per listed file, trailer. False when the archive could
// not be written.
bool write_archive(const std::string& root, ArchiveOutput& archive, const PackProgress& progress);
// One record for one open input positioned at its start; `size` is the
// listed size. Returns false only when the archive itself failed; an input
// that cannot be stored leaves no record.
bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  long long size);
