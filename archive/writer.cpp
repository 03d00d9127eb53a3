// The archive writer: collects the profile directory's files, drops the
// excluded ones and writes the archive through a temporary file that
// replaces the old archive only once it is complete and on the disk.
#include "archive/writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

#include "archive/dirwalk.h"
#include "archive/format.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

// The file list, packed into one buffer: a profile holds tens of thousands
// of files, and one string object per path would cost several megabytes.
class FileList {
 public:
  void clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
  }
  std::size_t size() const { return starts_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] : bytes_.size();
    return std::string_view(bytes_).substr(starts_[i], end - starts_[i]);
  }
  void push_back(std::string_view entry) {
    starts_.push_back(bytes_.size());
    bytes_.append(entry);
  }
  std::string pop_back() {
    std::string last(operator[](starts_.size() - 1));
    bytes_.resize(starts_.back());
    starts_.pop_back();
    return last;
  }
  // Rewrites every entry in order; `change` returns false to drop one.
  template <typename Change>
  void rewrite(Change change) {
    FileList result;
    std::string entry;
    for (std::size_t i = 0; i < size(); ++i) {
      entry = operator[](i);
      if (change(entry)) result.push_back(entry);
    }
    *this = std::move(result);
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> starts_;
};

FileList g_file_list;
std::string g_base_path;

// Browser caches and backups are rebuilt by the browser; packing them only
// makes the archive bigger. Matched after lower-casing both sides.
constexpr std::array<const char*, 5> kExclusionPatterns = {"cache4\\*", "cacheIl\\*", "images\\*",
                                                           "Uninst\\*", "*.bak"};

constexpr char kTemporarySuffix[] = ".ilhome-tmp";
constexpr std::size_t kOutputBufferSize = 256 * 1024;

std::vector<unsigned char>& copy_block() {
  static std::vector<unsigned char> block(kCopyBlockSize);
  return block;
}

// Reads the whole input; false on a read failure or when it cannot fit a record.
bool read_whole(File& input, std::string& data) {
  std::vector<unsigned char>& block = copy_block();
  for (;;) {
    const long long got = input.read(block.data(), block.size());
    if (got < 0) return false;
    if (got == 0) return true;
    if (data.size() + static_cast<std::uint64_t>(got) > kMaxRecordData) return false;
    data.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(got));
  }
}

// True when the input holds a byte at the offset kMaxRecordData, i.e. it has
// 4 GiB or more and its length cannot be stored. Leaves the input at `resume`.
bool too_large_for_record(File& input, std::uint64_t resume, bool& failed) {
  unsigned char byte = 0;
  bool large = false;
  failed = false;
  if (input.seek(kMaxRecordData)) large = input.read(&byte, 1) == 1;
  if (!input.seek(resume)) failed = true;
  return large;
}

bool write_fixed_part(ArchiveOutput& archive, const std::string& stored_name,
                      std::uint32_t data_length) {
  archive.write(kTagFile, kTagSize);
  archive.write_u32(static_cast<std::uint32_t>(stored_name.size()));
  archive.write(stored_name.data(), stored_name.size());
  archive.write_u32(data_length);
  archive.write_u32(kReservedValue);
  return archive.write(kTagData, kTagSize);
}

}  // namespace

ArchiveOutput::ArchiveOutput(File& file) : file_(file) { buffer_.reserve(kOutputBufferSize); }

bool ArchiveOutput::write(const void* data, std::size_t size) {
  if (failed_) return false;
  if (buffer_.size() + size > kOutputBufferSize && !flush()) return false;
  if (size >= kOutputBufferSize) {
    // Large blocks go straight to the file instead of through the buffer.
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

std::string temporary_archive_path(const std::string& archive_path) {
  return archive_path + kTemporarySuffix;
}

std::vector<std::string> writer_file_list() {
  std::vector<std::string> copy;
  for (std::size_t i = 0; i < g_file_list.size(); ++i) copy.emplace_back(g_file_list[i]);
  return copy;
}

void writer_clear_file_list() { g_file_list.clear(); }

int wdcb1(const std::string& directory, const DirEntry& entry) {
  if (entry.attributes.find('d') == std::string::npos) {
    g_file_list.push_back(join_path(directory, entry.name));
  }
  return 0;
}

namespace {

void make_entry_relative(std::string& entry, const std::string& root) {
  if (match_nocase(1, entry, root) != 1) return;
  entry.erase(0, root.size());
  if (!entry.empty() && entry.front() == '\\') entry.erase(0, 1);
}

class Exclusions {
 public:
  Exclusions() {
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
      patterns_[i] = lower_ascii(kExclusionPatterns[i]);
    }
  }
  bool match(const std::string& entry) const {
    const std::string lowered = lower_ascii(entry);
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&lowered](const std::string& p) { return glob_match(p, lowered); });
  }

 private:
  std::array<std::string, kExclusionPatterns.size()> patterns_;
};

}  // namespace

void make_relative(const std::string& root) {
  g_file_list.rewrite([&root](std::string& entry) {
    make_entry_relative(entry, root);
    return true;
  });
}

void drop_excluded() {
  // One pass keeps the order of the entries that stay, the same as removing
  // matches one by one from the last entry to the first.
  const Exclusions exclusions;
  g_file_list.rewrite([&exclusions](std::string& entry) { return !exclusions.match(entry); });
}

namespace {

// The listed size is asked for only when the file fills more than one copy
// block: a smaller file is known whole before its record is begun, and a
// profile is mostly small files.
bool write_record_listed(File& input, ArchiveOutput& archive, const std::string& stored_name,
                         const std::function<long long()>& listed_size) {
  if (is_settings_file(stored_name)) {
    // The settings file is the one file held whole: the base path is
    // replaced wherever it stands.
    std::string data;
    if (!read_whole(input, data)) return !archive.failed();
    const std::string stored = substitute_on_write(data, g_base_path);
    if (stored.size() > kMaxRecordData) return !archive.failed();
    write_fixed_part(archive, stored_name, static_cast<std::uint32_t>(stored.size()));
    archive.write(stored.data(), stored.size());
    return !archive.failed();
  }

  std::vector<unsigned char>& block = copy_block();
  long long got = input.read(block.data(), block.size());
  if (got < 0) return !archive.failed();
  std::uint32_t data_length = static_cast<std::uint32_t>(got);
  if (static_cast<std::size_t>(got) == block.size()) {
    bool seek_failed = false;
    if (too_large_for_record(input, block.size(), seek_failed) || seek_failed) {
      return !archive.failed();
    }
    // More than one block: the listed size stands until the copy shows
    // how many bytes there really were.
    data_length = static_cast<std::uint32_t>(listed_size());
  }

  const std::uint64_t record_start = archive.position();
  const std::uint64_t length_offset = record_start + kRecNameOffset + stored_name.size();
  write_fixed_part(archive, stored_name, data_length);
  std::uint64_t stored = 0;
  while (got > 0) {
    std::uint64_t take = static_cast<std::uint64_t>(got);
    if (stored + take > kMaxRecordData) take = kMaxRecordData - stored;
    if (!archive.write(block.data(), static_cast<std::size_t>(take))) return false;
    stored += take;
    if (stored == kMaxRecordData) break;
    got = input.read(block.data(), block.size());
    if (got < 0) {
      // The input failed half-way: take the record back, as for a file that
      // did not open, rather than store a file cut short.
      return archive.rewind_to(record_start);
    }
  }
  if (stored != data_length) archive.patch_u32(length_offset, static_cast<std::uint32_t>(stored));
  return !archive.failed();
}

}  // namespace

bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  long long size) {
  return write_record_listed(input, archive, stored_name, [size] { return size; });
}

bool write_archive(const std::string& root, ArchiveOutput& archive, const PackProgress& progress) {
  archive.write(kMagic, kTagSize);
  g_base_path = parent_path(root);
  const long count = static_cast<long>(g_file_list.size());
  for (long i = 0; i < count; ++i) {
    const std::string entry(g_file_list[static_cast<std::size_t>(i)]);
    const std::string full_path = join_path(root, entry);
    const std::string stored_name = replace_all(entry, "\\", "/");
    File input = File::open(full_path, OpenMode::kRead);
    if (input.is_open()) {
      const auto listed_size = [&full_path] { return file_size(full_path); };
      if (!write_record_listed(input, archive, stored_name, listed_size)) return false;
      input.close();
    }
    if (progress) progress(stored_name, i + 1, count);
  }
  archive.write(kTrailer, kTagSize);
  return !archive.failed();
}

int kompres(const std::string& root, const std::string& archive_path,
            const PackProgress& progress) {
  writer_clear_file_list();
  // Each collected path is made relative and tested against the exclusions
  // as soon as the walk gives it, which leaves the same list as doing both
  // over the whole list afterwards but never holds all the full paths or
  // the excluded caches at once.
  const Exclusions exclusions;
  const auto collect = [&](const std::string& directory, const DirEntry& entry) {
    const std::size_t before = g_file_list.size();
    wdcb1(directory, entry);
    if (g_file_list.size() == before) return 0;
    std::string path = g_file_list.pop_back();
    make_entry_relative(path, root);
    if (!exclusions.match(path)) g_file_list.push_back(path);
    return 0;
  };
  // A profile directory that cannot be listed would give an empty archive
  // in place of the stored profile.
  if (walk_tree(root, collect, true) == -1) {
    writer_clear_file_list();
    return -1;
  }

  // The old archive is replaced only by a complete new one that is on the
  // disk; until the rename it stays as it was.
  const std::string temporary = temporary_archive_path(archive_path);
  File file = File::open(temporary, OpenMode::kWrite);
  if (!file.is_open()) return -1;
  bool ok = false;
  {
    ArchiveOutput archive(file);
    ok = write_archive(root, archive, progress) && archive.flush();
  }
  ok = ok && file.sync();
  ok = file.close() && ok;
  if (ok && rename_replace(temporary, archive_path)) return 1;
  remove_file(temporary);
  return -1;
}
