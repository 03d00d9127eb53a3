// Buffered reading of an archive file, for the unpack and for the pack's
// look into the archive it replaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/format.h"
#include "support/file_io.h"

// Reads an archive with the position and the bytes left, so that every
// length can be checked before it is used. The length is the one taken when
// reading began: a file that grows meanwhile is never read past it.
class ArchiveInput {
 public:
  ArchiveInput(File& file, std::uint64_t size);

  std::uint64_t position() const { return position_; }
  std::uint64_t remaining() const { return size_ - position_; }
  // Whether a read or seek failed, or the file ended before its length.
  bool failed() const { return failed_; }

  // Reads up to `size` bytes; fewer only at the end or on a read failure.
  std::size_t read(void* out, std::size_t size);
  bool read_u32(std::uint32_t& value);
  // Passes over `count` bytes (at most what is left).
  bool skip(std::uint64_t count);

 private:
  bool refill();

  File& file_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::vector<unsigned char> buffer_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
  bool failed_ = false;
};

// Reads the rest of a record's header once its "file" tag has been read.
// False when the archive ends within the header; the name's length is
// checked against the bytes remaining before the name is allocated. The
// data length is returned as stored: it may pass the end.
bool read_record_header(ArchiveInput& input, RecordHeader& header);
