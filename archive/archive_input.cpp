// Buffered, length-bounded reading of an archive file.
#include "archive/archive_input.h"

#include <algorithm>
#include <cstring>

#include "archive/format.h"

namespace {

constexpr std::size_t kInputBufferSize = 256 * 1024;

}  // namespace

ArchiveInput::ArchiveInput(File& file, std::uint64_t size) : file_(file), size_(size) {
  buffer_.resize(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, kInputBufferSize)));
}

std::size_t ArchiveInput::read(void* out, std::size_t size) {
  auto* dest = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < size) {
    if (next_ == filled_ && !refill()) break;
    const std::size_t take = std::min(size - done, filled_ - next_);
    std::memcpy(dest + done, buffer_.data() + next_, take);
    next_ += take;
    done += take;
    position_ += take;
  }
  return done;
}

bool ArchiveInput::read_u32(std::uint32_t& value) {
  unsigned char bytes[kU32Size];
  if (read(bytes, sizeof bytes) != sizeof bytes) return false;
  value = get_u32le(bytes);
  return true;
}

bool ArchiveInput::skip(std::uint64_t count) {
  count = std::min(count, remaining());
  const std::size_t buffered = filled_ - next_;
  if (count <= buffered) {
    next_ += static_cast<std::size_t>(count);
    position_ += count;
    return true;
  }
  next_ = filled_ = 0;
  position_ += count;
  if (file_.seek(position_)) return true;
  size_ = position_ = std::min(position_, size_);  // cannot go on: nothing left
  failed_ = true;
  return false;
}

bool ArchiveInput::refill() {
  if (remaining() == 0) return false;
  // Never past the length taken at the start: a file that grows meanwhile
  // would otherwise carry the position beyond it, and every later check
  // against the bytes remaining would pass.
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), remaining()));
  const long long got = file_.read(buffer_.data(), want);
  if (got <= 0) {
    // A read failure, or a file that shrank, ends the archive here.
    size_ = position_;
    failed_ = true;
    return false;
  }
  next_ = 0;
  filled_ = static_cast<std::size_t>(got);
  return true;
}

bool read_record_header(ArchiveInput& input, RecordHeader& header) {
  std::uint32_t name_length = 0;
  if (!input.read_u32(name_length) || name_length > input.remaining()) return false;
  header.name.resize(name_length);
  if (input.read(header.name.data(), name_length) != name_length) return false;
  unsigned char after_name[kAfterNameSize];
  if (input.read(after_name, kAfterNameSize) != kAfterNameSize) return false;
  // The data tag carries nothing a reader needs.
  header.data_length = get_u32le(after_name);
  header.checksum = get_u32le(after_name + kDataLengthSize);
  return true;
}
