// The archive reader: recreates each stored file below the profile
// directory. Whatever the archive's bytes, it writes nowhere else, reserves
// no more memory than the archive still holds, and always comes to an end.
#include "archive/reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/format.h"
#include "archive/name_rules.h"
#include "support/dir.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr std::size_t kInputBufferSize = 256 * 1024;

std::string g_base_path;

// Buffered reading of the archive with the position and the bytes left,
// so that every length can be checked before it is used.
class ArchiveInput {
 public:
  ArchiveInput(File& file, std::uint64_t size) : file_(file), size_(size) {
    buffer_.resize(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, kInputBufferSize)));
  }

  std::uint64_t position() const { return position_; }
  std::uint64_t remaining() const { return size_ - position_; }

  // Reads up to `size` bytes; fewer only at the end or on a read failure.
  std::size_t read(void* out, std::size_t size) {
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

  bool read_u32(std::uint32_t& value) {
    unsigned char bytes[kU32Size];
    if (read(bytes, sizeof bytes) != sizeof bytes) return false;
    value = get_u32le(bytes);
    return true;
  }

  // Passes over `count` bytes (at most what is left).
  bool skip(std::uint64_t count) {
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
    return false;
  }

 private:
  bool refill() {
    if (remaining() == 0) return false;
    // Never past the length taken at the start: a file that grows meanwhile
    // would otherwise carry the position beyond it, and every later check
    // against the bytes remaining would pass.
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), remaining()));
    const long long got = file_.read(buffer_.data(), want);
    if (got <= 0) {
      size_ = position_;  // a read failure ends the archive here
      return false;
    }
    next_ = 0;
    filled_ = static_cast<std::size_t>(got);
    return true;
  }

  File& file_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::vector<unsigned char> buffer_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
};

bool has_byte_at(File& file, std::uint64_t offset) {
  unsigned char byte = 0;
  return file.seek(offset) && file.read(&byte, 1) == 1;
}

// The archive's exact length, found by probing with one-byte reads; the
// listing's size field holds only the low 32 bits.
std::uint64_t archive_length(File& file) {
  std::uint64_t length = 0;
  if (has_byte_at(file, 0)) {
    std::uint64_t low = 0;   // a byte exists here
    std::uint64_t high = 1;  // search bound
    while (high < (std::uint64_t{1} << 62) && has_byte_at(file, high)) {
      low = high;
      high *= 2;
    }
    while (high - low > 1) {
      const std::uint64_t mid = low + (high - low) / 2;
      if (has_byte_at(file, mid)) {
        low = mid;
      } else {
        high = mid;
      }
    }
    length = low + 1;
  }
  if (!file.seek(0)) return 0;
  return length;
}

bool tag_is(const unsigned char* tag, const char (&expected)[kTagSize]) {
  return std::memcmp(tag, expected, kTagSize) == 0;
}

// Copies `count` data bytes to the target; false when the archive ended first.
bool copy_data(ArchiveInput& input, File& target, std::uint64_t count) {
  static std::vector<unsigned char> block(kInputBufferSize);
  bool target_ok = true;
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, block.size()));
    const std::size_t got = input.read(block.data(), want);
    if (got == 0) return false;
    // A target that stops taking bytes is abandoned, but the archive's
    // data are still passed over so the next record is found.
    if (target_ok) target_ok = target.write(block.data(), got);
    count -= got;
    if (got < want) return false;
  }
  return true;
}

}  // namespace

bool stored_name_is_safe(const std::string& stored_name) {
  const std::string name = replace_all(stored_name, "/", "\\");
  if (name.empty() || name.front() == '\\') return false;
  // The system ends a path at a NUL byte: the file written would be another
  // one than the one stored, possibly one that a later record also writes.
  if (name.find('\0') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find('\\', start);
    const std::string component = name.substr(start, end == std::string::npos ? end : end - start);
    if (component.empty() || component == "." || component == "..") return false;
    if (!system_keeps_component(component)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

int path_kind(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return 0;
  std::string probe = path;
  if (probe.size() == 2 && probe[1] == ':') probe += '\\';
  const Listing listing = list_dir(probe, 1);
  if (!listing.ok || listing.entries.empty()) return 0;
  if (listing.entries.front().attributes.find('d') != std::string::npos) return 2;
  if (probe.size() == 3 && probe[1] == ':') return 2;
  return 1;
}

void read_archive(File& file, const std::string& root, const UnpackProgress& progress) {
  ArchiveInput input(file, archive_length(file));
  unsigned char tag[kTagSize];
  if (input.read(tag, kTagSize) != kTagSize || !tag_is(tag, kMagic)) return;
  std::string known_directory;

  for (;;) {
    if (input.read(tag, kTagSize) != kTagSize) return;  // a missing trailer is no error
    if (tag_is(tag, kTrailer)) return;
    if (!tag_is(tag, kTagFile)) continue;  // scan on in steps of four bytes

    std::uint32_t name_length = 0;
    if (!input.read_u32(name_length) || name_length > input.remaining()) return;
    std::string stored_name(name_length, '\0');
    if (input.read(stored_name.data(), name_length) != name_length) return;
    std::uint32_t data_length = 0;
    std::uint32_t reserved = 0;
    unsigned char data_tag[kTagSize];
    if (!input.read_u32(data_length) || !input.read_u32(reserved) ||
        input.read(data_tag, kTagSize) != kTagSize) {
      return;
    }
    // Data running past the end: what is there is written, then the run ends.
    const bool complete = data_length <= input.remaining();

    File target;
    if (stored_name_is_safe(stored_name)) {
      const std::string target_path = replace_all(join_path(root, stored_name), "/", "\\");
      const std::string directory = parent_path(target_path);
      // Records come directory by directory: one that just took a file
      // exists, and asking again for each of its files costs a listing each.
      if (directory != known_directory && path_kind(directory) == 0) make_dirs(directory);
      target = File::open(target_path, OpenMode::kWrite);
      if (target.is_open()) known_directory = directory;
    }
    if (!target.is_open()) {
      if (!complete || !input.skip(data_length)) return;
      continue;
    }

    if (progress) progress(stored_name, static_cast<long long>(input.position()));
    // A settings file too large to hold in memory is copied as it is stored;
    // one cut short by the archive's end counts with the bytes that are there.
    if (is_settings_file(stored_name) &&
        std::min<std::uint64_t>(data_length, input.remaining()) <= kMaxSettingsBytes) {
      const auto available =
          static_cast<std::size_t>(std::min<std::uint64_t>(data_length, input.remaining()));
      std::string data(available, '\0');
      data.resize(input.read(data.data(), available));
      const std::string expanded = substitute_on_read(data, g_base_path);
      target.write(expanded.data(), expanded.size());
      target.close();
      if (!complete) return;
    } else {
      const bool copied = copy_data(input, target, data_length);
      target.close();
      if (!copied) return;
    }
  }
}

int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress) {
  g_base_path = parent_path(root);
  File archive = File::open(archive_path, OpenMode::kRead);
  if (!archive.is_open()) return -1;
  read_archive(archive, root, progress);
  archive.close();
  return 1;
}
