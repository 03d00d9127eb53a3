// The burn's packed list of paths: records of a directory or a name in large
// blocks, read back in the order they were written.
#include "main/burn_list.h"

#include <algorithm>
#include <cstring>

#include "support/text.h"

namespace {

constexpr std::size_t kBlockSize = std::size_t{64} * 1024;
constexpr unsigned char kDirectoryRecord = 0;  // the directory of the names after it
constexpr unsigned char kNameRecord = 1;
constexpr unsigned char kLinkRecord = 2;  // a name the walk met as a link
constexpr std::size_t kKindSize = 1;
constexpr std::size_t kLengthSize = 4;
constexpr std::size_t kHeaderSize = kKindSize + kLengthSize;

void put_u32(unsigned char* at, std::uint32_t v) {
  for (std::size_t i = 0; i < kLengthSize; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t get_u32(const unsigned char* at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < kLengthSize; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return v;
}

}  // namespace

void BurnList::put_record(unsigned char kind, const std::string& text) {
  const std::size_t need = kHeaderSize + text.size();
  if (blocks_.empty() || used_.back() + need > last_capacity_) {
    last_capacity_ = std::max(kBlockSize, need);
    blocks_.push_back(std::make_unique<unsigned char[]>(last_capacity_));
    used_.push_back(0);
  }
  unsigned char* place = blocks_.back().get() + used_.back();
  place[0] = kind;
  put_u32(place + kKindSize, static_cast<std::uint32_t>(text.size()));
  std::memcpy(place + kHeaderSize, text.data(), text.size());
  used_.back() += need;
}

void BurnList::add(const std::string& directory, const std::string& name, bool link) {
  if (!has_directory_ || directory != last_directory_) {
    put_record(kDirectoryRecord, directory);
    last_directory_ = directory;
    has_directory_ = true;
  }
  put_record(link ? kLinkRecord : kNameRecord, name);
  ++count_;
}

void BurnList::clear() {
  // Gives the memory back, not just the contents.
  *this = BurnList();
}

bool BurnList::Reader::next(std::string& path, bool& link) {
  for (;;) {
    if (block_ >= list_.blocks_.size()) return false;
    if (offset_ >= list_.used_[block_]) {
      ++block_;
      offset_ = 0;
      continue;
    }
    const unsigned char* place = list_.blocks_[block_].get() + offset_;
    const std::size_t length = get_u32(place + kKindSize);
    const char* text = reinterpret_cast<const char*>(place + kHeaderSize);
    offset_ += kHeaderSize + length;
    if (place[0] == kDirectoryRecord) {
      directory_.assign(text, length);
      continue;
    }
    path = join_path(directory_, std::string(text, length));
    link = place[0] == kLinkRecord;
    return true;
  }
}
