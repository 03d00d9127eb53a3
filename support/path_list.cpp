// The packed path list: length-prefixed names in fixed-size blocks.
#include "support/path_list.h"

#include <algorithm>
#include <cstring>

namespace {

// Each entry is a length and a kind, then the bytes: the length shifted
// left by two with the kind in the low bits, seven bits a byte, low bits
// first, the top bit of a byte saying that another follows. Names shorter
// than 32 bytes take one byte of overhead.
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kMaxPrefixSize = (sizeof(std::size_t) * 8 + 6) / 7;
constexpr unsigned kMoreBit = 0x80;
constexpr unsigned kDigitMask = 0x7F;
constexpr unsigned kDigitBits = 7;
constexpr unsigned kKindBits = 2;
constexpr unsigned kKindMask = 3;
constexpr unsigned kName = 0;
constexpr unsigned kMarkedName = 1;
constexpr unsigned kDirectory = 2;  // the directory part of the names after it

std::size_t put_prefix(unsigned char* out, std::size_t value) {
  std::size_t n = 0;
  while (value > kDigitMask) {
    out[n++] = static_cast<unsigned char>((value & kDigitMask) | kMoreBit);
    value >>= kDigitBits;
  }
  out[n++] = static_cast<unsigned char>(value);
  return n;
}

std::size_t get_prefix(const unsigned char* in, std::size_t& value) {
  std::size_t n = 0;
  value = 0;
  unsigned shift = 0;
  for (;;) {
    const unsigned byte = in[n++];
    value |= static_cast<std::size_t>(byte & kDigitMask) << shift;
    if ((byte & kMoreBit) == 0) return n;
    shift += kDigitBits;
  }
}

}  // namespace

void PathList::clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  count_ = 0;
  has_directory_ = false;
  last_directory_.clear();
  last_directory_.shrink_to_fit();
}

void PathList::push_back(std::string_view path, bool marked) {
  const std::size_t cut = path.rfind('\\');
  const std::size_t leaf = cut == std::string_view::npos ? 0 : cut + 1;
  const std::string_view directory = path.substr(0, leaf);
  if (!has_directory_ || directory != last_directory_) {
    append(directory, kDirectory);
    last_directory_.assign(directory);
    has_directory_ = true;
  }
  append(path.substr(leaf), marked ? kMarkedName : kName);
  ++count_;
}

void PathList::append(std::string_view text, unsigned kind) {
  unsigned char prefix[kMaxPrefixSize];
  const std::size_t prefix_size = put_prefix(prefix, text.size() << kKindBits | kind);
  const std::size_t need = prefix_size + text.size();
  // An entry never spans two blocks; one longer than a block gets its own.
  if (blocks_.empty() || blocks_.back().used + need > blocks_.back().capacity) {
    Block block;
    block.capacity = std::max(kBlockSize, need);
    block.bytes = std::make_unique<unsigned char[]>(block.capacity);
    blocks_.push_back(std::move(block));
  }
  Block& block = blocks_.back();
  std::memcpy(block.bytes.get() + block.used, prefix, prefix_size);
  std::memcpy(block.bytes.get() + block.used + prefix_size, text.data(), text.size());
  block.used += need;
}

bool PathList::Cursor::next(std::string& path, bool& marked) {
  for (;;) {
    if (block_ == list_.blocks_.size()) return false;
    const Block& block = list_.blocks_[block_];
    if (offset_ == block.used) {
      ++block_;
      offset_ = 0;
      continue;
    }
    std::size_t value = 0;
    const unsigned char* at = block.bytes.get() + offset_;
    at += get_prefix(at, value);
    const std::size_t length = value >> kKindBits;
    offset_ = static_cast<std::size_t>(at - block.bytes.get()) + length;
    const auto* text = reinterpret_cast<const char*>(at);
    const unsigned kind = static_cast<unsigned>(value & kKindMask);
    if (kind == kDirectory) {
      directory_.assign(text, length);
      continue;
    }
    path.assign(directory_);
    path.append(text, length);
    marked = kind == kMarkedName;
    return true;
  }
}
