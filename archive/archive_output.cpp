// The archive's output buffer: writes, patches and rewinds by position.
#include "archive/archive_output.h"

#include <cstring>

#include "archive/format.h"

namespace {

constexpr std::size_t kOutputBufferSize = 256 * 1024;

}  // namespace

ArchiveOutput::ArchiveOutput(File& file) : file_(file) { buffer_.reserve(kOutputBufferSize); }

bool ArchiveOutput::write(const void* data, std::size_t size) {
  if (failed_) return false;
  if (buffer_.size() + size > kOutputBufferSize && !flush()) return false;
  if (size >= kOutputBufferSize) {
    // A block the size of the buffer gains nothing from a copy into it.
    if (!file_.write(data, size)) {
      failed_ = true;
      return false;
    }
    flushed_ += size;
    return true;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  return true;
}

bool ArchiveOutput::write_u32(std::uint32_t value) {
  unsigned char bytes[kU32Size];
  put_u32le(bytes, value);
  return write(bytes, sizeof bytes);
}

bool ArchiveOutput::patch_u32(std::uint64_t offset, std::uint32_t value) {
  if (failed_) return false;
  unsigned char bytes[kU32Size];
  put_u32le(bytes, value);
  if (offset >= flushed_) {
    std::memcpy(buffer_.data() + (offset - flushed_), bytes, sizeof bytes);
    return true;
  }
  if (!flush() || !file_.seek(offset) || !file_.write(bytes, sizeof bytes) ||
      !file_.seek(flushed_)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool ArchiveOutput::rewind_to(std::uint64_t offset) {
  if (failed_) return false;
  if (offset >= flushed_) {
    buffer_.resize(static_cast<std::size_t>(offset - flushed_));
    return true;
  }
  buffer_.clear();
  if (!file_.seek(offset)) {
    failed_ = true;
    return false;
  }
  flushed_ = offset;
  return true;
}

bool ArchiveOutput::sync() {
  if (!flush()) return false;
  if (!file_.sync()) failed_ = true;
  return !failed_;
}

bool ArchiveOutput::write_behind(std::uint64_t settled) {
  if (!flush()) return false;
  if (!file_.write_behind(settled, flushed_)) failed_ = true;
  return !failed_;
}

bool ArchiveOutput::flush() {
  if (failed_) return false;
  if (buffer_.empty()) return true;
  if (!file_.write(buffer_.data(), buffer_.size())) {
    failed_ = true;
    return false;
  }
  flushed_ += buffer_.size();
  buffer_.clear();
  return true;
}
