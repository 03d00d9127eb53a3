// The archive writer: collects the profile directory's files, drops the
// excluded ones and writes the archive through a temporary file that
// replaces the old archive only once it is complete and on the disk.
#include "archive/writer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/dirwalk.h"
#include "archive/format.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

std::vector<std::string> g_file_list;
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

const std::vector<std::string>& writer_file_list() { return g_file_list; }

void writer_clear_file_list() { g_file_list.clear(); }

int wdcb1(const std::string& directory, const DirEntry& entry) {
  if (entry.attributes.find('d') == std::string::npos) {
    g_file_list.push_back(join_path(directory, entry.name));
  }
  return 0;
}

void make_relative(const std::string& root) {
  for (std::string& entry : g_file_list) {
    if (match_nocase(1, entry, root) != 1) continue;
    std::string rest = entry.substr(root.size());
    if (!rest.empty() && rest.front() == '\\') rest.erase(0, 1);
    entry = std::move(rest);
  }
}

void drop_excluded() {
  std::array<std::string, kExclusionPatterns.size()> patterns;
  for (std::size_t i = 0; i < patterns.size(); ++i)
    patterns[i] = lower_ascii(kExclusionPatterns[i]);
  // One pass keeps the order of the entries that stay, the same as removing
  // matches one by one from the last entry to the first.
  const auto excluded = [&patterns](const std::string& entry) {
    const std::string lowered = lower_ascii(entry);
    return std::any_of(patterns.begin(), patterns.end(),
                       [&lowered](const std::string& p) { return glob_match(p, lowered); });
  };
  g_file_list.erase(std::remove_if(g_file_list.begin(), g_file_list.end(), excluded),
                    g_file_list.end());
}

bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  long long size) {
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
    data_length = static_cast<std::uint32_t>(size);
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

bool write_archive(const std::string& root, ArchiveOutput& archive, const PackProgress& progress) {
  archive.write(kMagic, kTagSize);
  g_base_path = parent_path(root);
  const long count = static_cast<long>(g_file_list.size());
  for (long i = 0; i < count; ++i) {
    const std::string& entry = g_file_list[static_cast<std::size_t>(i)];
    const std::string full_path = join_path(root, entry);
    const std::string stored_name = replace_all(entry, "\\", "/");
    File input = File::open(full_path, OpenMode::kRead);
    if (input.is_open()) {
      const long long size = file_size(full_path);
      if (!write_record(input, archive, stored_name, size)) return false;
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
  // A profile directory that cannot be listed would give an empty archive
  // in place of the stored profile.
  if (walk_tree(root, wdcb1, true) == -1) return -1;
  make_relative(root);
  drop_excluded();

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
