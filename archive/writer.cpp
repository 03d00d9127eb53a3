// The archive writer: collects the profile directory's files, drops the
// excluded ones and writes the archive through a temporary file that
// replaces the old archive only once it is complete and on the disk.
#include "archive/writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "archive/archive_input.h"
#include "archive/checksum.h"
#include "archive/dirwalk.h"
#include "archive/exclusions.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "support/code_page.h"
#include "support/confined.h"
#include "support/dir_identity.h"
#include "support/fs.h"
#include "support/path_list.h"
#include "support/text.h"

namespace {

PathList g_file_list;

constexpr std::size_t kOutputBufferSize = 256 * 1024;

std::vector<unsigned char>& copy_block() {
  static std::vector<unsigned char> block(kCopyBlockSize);
  return block;
}

enum class WholeRead { kRead, kFailed, kTooLarge };

// Reads the whole input when it holds at most `limit` bytes; a larger one
// is read no further than one block past the limit.
WholeRead read_whole(File& input, std::string& data, std::size_t limit) {
  std::vector<unsigned char>& block = copy_block();
  for (;;) {
    const long long got = input.read(block.data(), block.size());
    if (got < 0) return WholeRead::kFailed;
    if (got == 0) return WholeRead::kRead;
    data.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(got));
    if (data.size() > limit) return WholeRead::kTooLarge;
  }
}

bool write_header(ArchiveOutput& archive, const std::string& stored_name, std::uint32_t data_length,
                  std::uint32_t checksum) {
  static std::string header;
  put_record_header(header, stored_name, data_length, checksum);
  return archive.write(header.data(), header.size());
}

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

bool is_temporary_name(const std::string& name) {
  const std::size_t prefix = sizeof kTemporaryPrefix - 1;
  const std::size_t suffix = sizeof kTemporarySuffix - 1;
  if (name.size() != prefix + kTemporaryDigits + suffix) return false;
  if (name.compare(0, prefix, kTemporaryPrefix) != 0) return false;
  if (name.compare(prefix + kTemporaryDigits, suffix, kTemporarySuffix) != 0) return false;
  return std::all_of(name.begin() + static_cast<long>(prefix),
                     name.begin() + static_cast<long>(prefix + kTemporaryDigits),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::vector<std::string> writer_file_list() {
  std::vector<std::string> copy;
  PathList::Cursor cursor(g_file_list);
  std::string path;
  while (cursor.next(path)) copy.push_back(path);
  return copy;
}

void writer_clear_file_list() { g_file_list.clear(); }

int wdcb1(const std::string& directory, const DirEntry& entry) {
  if (!entry.is_directory()) {
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

enum class RecordResult { kStored, kInputFailed, kArchiveFailed };

RecordResult archive_state(const ArchiveOutput& archive, RecordResult otherwise) {
  return archive.failed() ? RecordResult::kArchiveFailed : otherwise;
}

// The listed size (the size of the file when it was opened) is asked for
// before the record is begun only when the file fills more than one copy
// block: a smaller file is known whole from its first read, and a profile
// is mostly small files.
RecordResult write_record_listed(File& input, ArchiveOutput& archive,
                                 const std::string& stored_name, const std::string& base_path,
                                 const std::function<long long()>& listed_size) {
  if (is_settings_file(stored_name)) {
    // The settings file is the one file held whole: the base path is
    // replaced wherever it stands. Only up to the bound the reader puts on
    // it: a larger file of that name (a journal of gigabytes) is stored as
    // it is, streamed like any other, and so is one whose paths would grow
    // past the bound, since the reader gives such a record back as stored.
    std::string data;
    const WholeRead read = read_whole(input, data, kMaxSettingsBytes);
    if (read == WholeRead::kFailed) return archive_state(archive, RecordResult::kInputFailed);
    if (read == WholeRead::kRead) {
      std::string stored = substitute_on_write(data, base_path);
      if (stored.size() > kMaxSettingsBytes) stored.swap(data);
      write_header(archive, stored_name, static_cast<std::uint32_t>(stored.size()),
                   checksum_update(kChecksumStart, stored.data(), stored.size()));
      archive.write(stored.data(), stored.size());
      return archive_state(archive, RecordResult::kStored);
    }
    data = std::string();
    if (!input.seek(0)) return archive_state(archive, RecordResult::kInputFailed);
  }

  std::vector<unsigned char>& block = copy_block();
  long long listed = -1;
  bool listed_asked = false;
  const auto listed_once = [&] {
    if (!listed_asked) listed = listed_size();
    listed_asked = true;
    return listed;
  };
  long long got = input.read(block.data(), block.size());
  if (got < 0) return archive_state(archive, RecordResult::kInputFailed);
  std::uint32_t data_length = static_cast<std::uint32_t>(got);
  if (static_cast<std::size_t>(got) == block.size()) {
    // More than one block: the listed size stands until the copy shows how
    // many bytes there really were. A file of 4 GiB or more cannot be stored.
    listed_once();
    if (listed > static_cast<long long>(kMaxRecordData)) {
      return archive_state(archive, RecordResult::kInputFailed);
    }
    data_length = static_cast<std::uint32_t>(listed);
  }

  const std::uint64_t record_start = archive.position();
  const std::uint64_t length_offset = record_start + record_data_length_offset(stored_name.size());
  // The checksum of a file that one block holds whole goes into the header
  // at once; a larger file's is put in place once its last block is copied.
  std::uint32_t checksum =
      checksum_update(kChecksumStart, block.data(), static_cast<std::size_t>(got));
  const std::uint32_t header_checksum = checksum;
  write_header(archive, stored_name, data_length, checksum);
  std::uint64_t stored = 0;
  while (got > 0) {
    std::uint64_t take = static_cast<std::uint64_t>(got);
    if (stored + take > kMaxRecordData) {
      // The file grew past what a record can hold while it was copied.
      archive.rewind_to(record_start);
      return archive_state(archive, RecordResult::kInputFailed);
    }
    if (!archive.write(block.data(), static_cast<std::size_t>(take))) {
      return RecordResult::kArchiveFailed;
    }
    stored += take;
    // A short read that ends where the file ended when it was opened has
    // met the end, and the read that would only say so is left out. A file
    // whose size changed meanwhile is read on to the end it has now.
    if (static_cast<std::size_t>(got) < block.size() &&
        static_cast<long long>(stored) == listed_once()) {
      break;
    }
    got = input.read(block.data(), block.size());
    if (got < 0) {
      // The input failed half-way: take the record back rather than store
      // a file cut short.
      archive.rewind_to(record_start);
      return archive_state(archive, RecordResult::kInputFailed);
    }
    checksum = checksum_update(checksum, block.data(), static_cast<std::size_t>(got));
  }
  if (stored != data_length) archive.patch_u32(length_offset, static_cast<std::uint32_t>(stored));
  if (checksum != header_checksum) {
    archive.patch_u32(record_start + record_checksum_offset(stored_name.size()), checksum);
  }
  return archive_state(archive, RecordResult::kStored);
}

// What follows the last slash of a stored name.
std::string last_component(const std::string& stored_name) {
  const std::size_t slash = stored_name.rfind('/');
  return slash == std::string::npos ? stored_name : stored_name.substr(slash + 1);
}

// The archive that a pack replaces, as a source of earlier copies: a file
// the pack cannot read keeps the record this archive holds for it. The
// record index is read once, at the first need; every length is checked
// against the bytes left, so a damaged archive simply offers fewer records.
// The index holds no names, only their hashes and where each record lies
// (about 30 bytes a record): a name is read back from the archive in the
// rare case that it is needed.
class OldArchive {
 public:
  explicit OldArchive(std::string path) : path_(std::move(path)) {}

  bool holds_records() {
    load();
    return !records_.empty();
  }

  // Notes that the pack has handled the file of this name itself. Called
  // for every file, so the hash alone decides: another name of the same
  // 64-bit hash is a chance not worth a read of the archive per file.
  void handled(const std::string& stored_name) {
    load();
    const std::uint64_t hash = hash_of(stored_name);
    for (auto at = first_of(hash); at != by_hash_.end() && records_[*at].hash == hash; ++at) {
      records_[*at].handled = true;
    }
  }

  // Copies the record stored under the name unchanged; false when there is
  // none or it could not be copied whole (the output then holds no part of it).
  bool copy_record(const std::string& stored_name, ArchiveOutput& archive) {
    load();
    Record* found = find(stored_name);
    if (found == nullptr) return false;
    found->handled = true;
    return copy_span(*found, archive);
  }

  // Copies, in the archive's order, each record whose file the pack did not
  // handle and that `keep` asks for. False when the archive failed.
  bool copy_unhandled(const std::function<bool(const std::string&)>& keep, ArchiveOutput& archive,
                      long& copied) {
    load();
    std::string name;
    for (Record& record : records_) {
      if (record.handled || !name_of(record, name) || !keep(name)) continue;
      record.handled = true;
      if (copy_span(record, archive)) ++copied;
      if (archive.failed()) return false;
    }
    return true;
  }

  // Whether a record of another name, whose file the pack handled, names
  // the same file as `stored_name` by `same`. Only names that end alike,
  // letter case aside, are tried, or every one when the name may hold a
  // short name ("~"): this runs for the rare record the pack did not meet.
  bool shares_file(const std::string& stored_name,
                   const std::function<bool(const std::string& other)>& same) {
    load();
    const std::string leaf = lower_ascii(last_component(stored_name));
    const bool short_name = stored_name.find('~') != std::string::npos;
    std::string other;
    for (const Record& record : records_) {
      if (!record.handled || !name_of(record, other) || other == stored_name) continue;
      if (!short_name && lower_ascii(last_component(other)) != leaf) continue;
      if (same(other)) return true;
    }
    return false;
  }

  // Lets the pack replace the file (Windows refuses while it is open).
  void close() { file_.close(); }

 private:
  struct Record {
    std::uint64_t hash;
    std::uint64_t start;
    std::uint64_t length;
    // Handled by the pack, or hidden by a later record of the same name.
    bool handled = false;
  };

  static std::uint64_t hash_of(const std::string& name) { return std::hash<std::string>{}(name); }

  // The last record of the name (the one an unpack leaves behind), or none.
  // A record whose name merely shares the hash is told apart by its name.
  std::vector<std::uint32_t>::iterator first_of(std::uint64_t hash) {
    return std::lower_bound(
        by_hash_.begin(), by_hash_.end(), hash,
        [this](std::uint32_t i, std::uint64_t h) { return records_[i].hash < h; });
  }

  Record* find(const std::string& name) {
    const std::uint64_t hash = hash_of(name);
    auto at = first_of(hash);
    Record* found = nullptr;
    std::string stored;
    for (; at != by_hash_.end() && records_[*at].hash == hash; ++at) {
      Record& record = records_[*at];
      if (name_of(record, stored) && stored == name) found = &record;
    }
    return found;
  }

  bool header_of(const Record& record, RecordHeader& header) {
    if (!file_.seek(record.start + kTagSize)) return false;
    ArchiveInput in(file_, record.length - kTagSize);
    return read_record_header(in, header);
  }

  // Reads a record's name back from the archive, as an unpack reads it: a
  // name an older Windows build stored in its ANSI code page is the name
  // its file was given, and the name the pack meets it under.
  bool name_of(const Record& record, std::string& name) {
    RecordHeader header;
    if (!header_of(record, header)) return false;
    name = stored_text(header.name);
    return true;
  }

  // The record as it was stored, but for a name in the ANSI code page,
  // which is written in UTF-8 like every other name of the new archive, so
  // that it means the same on every system; its data and checksum field
  // stay as they were. The output holds no part of a record not copied whole.
  bool copy_span(const Record& span, ArchiveOutput& archive) {
    RecordHeader header;
    if (!header_of(span, header)) return false;
    const std::string name = stored_text(header.name);
    const std::uint64_t record_start = archive.position();
    std::uint64_t from = span.start;
    if (name != header.name) {
      from = span.start + span.length - header.data_length;
      if (!write_header(archive, name, header.data_length, header.checksum)) return false;
    }
    if (!file_.seek(from)) {
      archive.rewind_to(record_start);
      return false;
    }
    std::vector<unsigned char>& block = copy_block();
    std::uint64_t left = span.start + span.length - from;
    while (left > 0) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      const long long got = file_.read(block.data(), want);
      if (got <= 0) {
        archive.rewind_to(record_start);
        return false;
      }
      if (!archive.write(block.data(), static_cast<std::size_t>(got))) return false;
      left -= static_cast<std::uint64_t>(got);
    }
    return true;
  }

  void load() {
    if (loaded_) return;
    loaded_ = true;
    read_index();
    // Nothing to copy from: the file is let go at once.
    if (records_.empty()) file_.close();
    by_hash_.resize(records_.size());
    for (std::uint32_t i = 0; i < by_hash_.size(); ++i) by_hash_[i] = i;
    // Records of one hash stay in the archive's order.
    std::stable_sort(by_hash_.begin(), by_hash_.end(), [this](std::uint32_t a, std::uint32_t b) {
      return records_[a].hash < records_[b].hash;
    });
    // Of two records of one name only the later one counts.
    std::string name;
    std::string next_name;
    for (std::size_t i = 0; i + 1 < by_hash_.size(); ++i) {
      Record& record = records_[by_hash_[i]];
      const Record& next = records_[by_hash_[i + 1]];
      if (record.hash != next.hash) continue;
      if (name_of(record, name) && name_of(next, next_name) && name == next_name) {
        record.handled = true;
      }
    }
  }

  void read_index() {
    file_ = File::open(path_, OpenMode::kRead);
    if (!file_.is_open()) return;
    const long long size = file_.size();
    if (size <= 0) return;
    ArchiveInput in(file_, static_cast<std::uint64_t>(size));
    unsigned char tag[kTagSize];
    if (in.read(tag, kTagSize) != kTagSize || !tag_is(tag, kMagic)) return;
    // As an unpack reads it: tags in steps of four bytes up to the trailer
    // or the end, a record at each "file".
    RecordHeader header;
    while (in.read(tag, kTagSize) == kTagSize) {
      if (tag_is(tag, kTrailer)) return;
      if (!tag_is(tag, kTagFile)) continue;
      const std::uint64_t start = in.position() - kTagSize;
      if (!read_record_header(in, header)) return;
      if (header.data_length > in.remaining() || !in.skip(header.data_length)) return;
      records_.push_back(Record{hash_of(stored_text(header.name)), start, in.position() - start});
    }
  }

  std::string path_;
  bool loaded_ = false;
  File file_;
  // In the archive's order.
  std::vector<Record> records_;
  // Places in records_, by hash.
  std::vector<std::uint32_t> by_hash_;
};

struct WriteCounts {
  long records = 0;
};

// Which records of the replaced archive the pack keeps although it did not
// meet their files: records under directories it could not list, and
// records this computer cannot hold.
struct Keeping {
  // Relative directories that could not be listed, with their separator.
  std::vector<std::string> unlisted;
  std::function<bool(const std::string& stored_name)> keep;
  // Every record of the replaced archive is known to be a file of the profile.
  bool all_placed = false;
};

// Magic, one record per listed file (or its earlier copy), trailer. False
// when the archive could not be written.
bool write_archive(const std::string& root, ArchiveOutput& archive, const PackProgress& progress,
                   OldArchive& old, const Keeping& keeping, PackReport& report,
                   WriteCounts& counts) {
  archive.write(kMagic, kTagSize);
  const std::string base_path = parent_path(root);
  std::uint64_t synced = 0;
  const long count = static_cast<long>(g_file_list.size());
  PathList::Cursor cursor(g_file_list);
  std::string entry;
  for (long i = 0; i < count && cursor.next(entry); ++i) {
    const std::string full_path = join_path(root, entry);
    const std::string stored_name = replace_all(entry, "\\", "/");
    // Never through a link: a link to a file outside the profile would put
    // that file into the archive.
    File input = File::open(full_path, OpenMode::kReadFileNoFollow);
    bool unreadable = false;
    if (input.is_open()) {
      const RecordResult result = write_record_listed(input, archive, stored_name, base_path,
                                                      [&input] { return input.size(); });
      input.close();
      if (result == RecordResult::kArchiveFailed) return false;
      if (result == RecordResult::kStored) ++counts.records;
      unreadable = result == RecordResult::kInputFailed;
    } else {
      // A file removed since the walk is gone by the user's or the browser's
      // will, and a link, pipe, socket or device holds no data of the
      // profile; any other file that does not open is kept as it was stored.
      const EntryKind kind = entry_kind(full_path);
      unreadable =
          kind != EntryKind::kMissing && kind != EntryKind::kLink && kind != EntryKind::kSpecial;
    }
    // A profile file that would not open or read is dealt with here; should
    // the pack fail later, its reason is the archive's, not this file's.
    if (unreadable || !input.is_open()) forget_io_failure();
    if (unreadable) {
      report.unread.push_back(stored_name);
      if (old.copy_record(stored_name, archive)) {
        ++report.kept;
        ++counts.records;
      }
      if (archive.failed()) return false;
    }
    if (archive.position() - synced >= kSyncStep) {
      if (!archive.sync()) return false;
      synced = archive.position();
    }
    if (progress) progress(stored_name, i + 1, count);
  }
  for (const std::string& directory : keeping.unlisted) {
    report.unread.push_back(replace_all(directory, "\\", "/"));
  }
  // The old archive is read only now that every file has been opened (and
  // only when it is there): the pack's look at the profile comes first. An
  // archive whose every record is known to be a file of the profile holds
  // nothing more to keep unless a directory could not be listed, and is not
  // read at all: on a profile of many small files that read is a large part
  // of the pack's time.
  if ((!keeping.all_placed || !keeping.unlisted.empty()) && old.holds_records()) {
    PathList::Cursor handled(g_file_list);
    while (handled.next(entry)) old.handled(replace_all(entry, "\\", "/"));
    long carried = 0;
    if (!old.copy_unhandled(keeping.keep, archive, carried)) return false;
    counts.records += carried;
    report.carried = static_cast<std::size_t>(carried);
  }
  archive.write(kTrailer, kTagSize);
  return !archive.failed();
}

// Everything of a path up to and with its last separator; empty for a bare name.
std::string directory_prefix(const std::string& path) {
  const std::size_t at = path.find_last_of('\\');
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// Temporaries that a killed pack left behind; only plain files of exactly
// the temporary's shape, never a link or what it points at.
void remove_leftover_temporaries(const std::string& directory) {
  const std::string pattern = directory + kTemporaryPrefix + "*" + kTemporarySuffix;
  const Listing listing = list_dir(pattern);
  if (!listing.ok) return;
  for (const DirEntry& entry : listing.entries) {
    if (entry.is_directory() || entry.is_link()) continue;
    if (is_temporary_name(entry.name)) remove_file(directory + entry.name);
  }
}

std::string temporary_name() {
  static std::mt19937 random{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdef";
  std::string name = kTemporaryPrefix;
  const std::uint32_t value = static_cast<std::uint32_t>(random());
  for (std::size_t i = 0; i < kTemporaryDigits; ++i) {
    name += kDigits[(value >> (4 * (kTemporaryDigits - 1 - i))) & 0xFu];
  }
  return name + kTemporarySuffix;
}

// Creates a new temporary in the directory; never opens an existing name.
File create_temporary(const std::string& directory, std::string& path) {
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    path = directory + temporary_name();
    File file = File::open(path, OpenMode::kCreateNew);
    if (file.is_open()) return file;
    // Only a name that is taken is worth another try.
    if (entry_kind(path) == EntryKind::kMissing) break;
  }
  return File();
}

bool is_real_directory(std::string root) {
  // A trailing separator would make the system look through a link.
  while (root.size() > 1 && root.back() == '\\') root.pop_back();
  return entry_kind(root) == EntryKind::kDirectory;
}

}  // namespace

bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  const std::string& base_path, long long size) {
  return write_record_listed(input, archive, stored_name, base_path, [size] { return size; }) !=
         RecordResult::kArchiveFailed;
}

int kompres(const std::string& root, const std::string& archive_path,
            const PackProgress& progress) {
  PackReport report;
  return kompres(root, archive_path, PackOptions{progress, nullptr}, report);
}

int kompres(const std::string& root, const std::string& archive_path, const PackOptions& options,
            PackReport& report) {
  writer_clear_file_list();
  report = PackReport{};
  // An unmounted drive or a pulled stick leaves a dangling link, a loop or
  // a plain file where the profile was: packing that would put an empty
  // archive in place of the stored profile.
  if (!is_real_directory(root)) return -1;

  // Each collected path is made relative and tested against the exclusions
  // as soon as the walk gives it, which leaves the same list as doing both
  // over the whole list afterwards but never holds all the full paths or
  // the excluded caches at once.
  const Exclusions exclusions;
  std::vector<std::string> skipped;  // relative directories kept out, with their separator
  const auto collect = [&](const std::string& directory, const DirEntry& entry) {
    // Links are neither followed nor stored: the browser leaves a "lock"
    // link behind after every clean exit, and one to a file outside the
    // profile would put that file into the archive.
    if (entry.is_link()) return 0;
    std::string path = join_path(directory, entry.name);
    if (entry.is_directory()) {
      if (options.skip_directory && options.skip_directory(path)) {
        make_entry_relative(path, root);
        skipped.push_back(path + "\\");
      }
      return 0;
    }
    make_entry_relative(path, root);
    for (const std::string& prefix : skipped) {
      if (path.compare(0, prefix.size(), prefix) == 0) return 0;
    }
    if (!exclusions.match(path)) g_file_list.push_back(path);
    return 0;
  };
  // A directory below that cannot be listed (no access, a path past the
  // system's limit) is handled as an unreadable file: named, and what the
  // old archive holds under it is kept.
  Keeping keeping;
  const auto unlisted = [&](const std::string& directory) {
    std::string path = directory;
    make_entry_relative(path, root);
    path += "\\";
    if (exclusions.match(path) || entry_kind(directory) == EntryKind::kMissing) return;
    for (const std::string& prefix : skipped) {
      if (path.compare(0, prefix.size(), prefix) == 0) return;
    }
    keeping.unlisted.push_back(path);
  };
  // A profile directory that cannot be listed would give an empty archive
  // in place of the stored profile. The collector needs only names and
  // kinds, which the directory itself gives without a look at each file.
  if (walk_tree(root, collect, true, EntryDetail::kNameAndKind, unlisted) == -1) {
    writer_clear_file_list();
    return -1;
  }

  // An archive that is a link (to a file on another drive, say) is replaced
  // where the link points: the link stays, its target gets the new profile.
  std::string target = archive_path;
  if (!options.replace_existing) {
    if (entry_kind(archive_path) != EntryKind::kMissing) return -1;
  } else if (!link_target(archive_path, target)) {
    return -1;
  } else if (entry_kind(archive_path) == EntryKind::kLink &&
             entry_kind(target) == EntryKind::kMissing) {
    // A link whose target is missing (a stick that is not mounted) never
    // gets a new file made through it, wherever it points.
    return -1;
  }
  const std::string directory = directory_prefix(target);
  remove_leftover_temporaries(directory);

  // The old archive is replaced only by a complete new one that is on the
  // disk; until the rename it stays as it was.
  std::string temporary;
  File file = create_temporary(directory, temporary);
  if (!file.is_open()) return -1;
  OldArchive old(target);
  keeping.all_placed =
      options.placed_archive_size >= 0 && file_size64(target) == options.placed_archive_size;
  const RecordPlacement placement(root);
  keeping.keep = [&](const std::string& stored_name) {
    const std::string path = replace_all(stored_name, "/", "\\");
    for (const std::string& prefix : keeping.unlisted) {
      if (path.compare(0, prefix.size(), prefix) == 0) return true;
    }
    if (exclusions.match(path)) return false;
    for (const std::string& prefix : skipped) {
      if (path.compare(0, prefix.size(), prefix) == 0) return false;
    }
    switch (placement.fit(stored_name)) {
      case NameFit::kUnsafe:
        return false;
      case NameFit::kNotHere:
        // The unpack could not put it here; it stays for a computer that can.
        return true;
      case NameFit::kFits:
        break;
    }
    // A name this system takes for another record's file (letter case, a
    // short name): the unpack put only one of them here. A file simply gone
    // is gone by the user's will; one that the walk met under another
    // spelling of this very name, with no record of its own, was unpacked
    // through that spelling and has been stored anew.
    const std::string full_path = join_path(root, path);
    if (entry_kind(full_path) != EntryKind::kFile) return false;
    return old.shares_file(stored_name, [&](const std::string& other) {
      return same_file(full_path, join_path(root, replace_all(other, "/", "\\")));
    });
  };
  WriteCounts counts;
  bool ok = false;
  {
    ArchiveOutput archive(file);
    ok = write_archive(root, archive, options.progress, old, keeping, report, counts) &&
         archive.flush();
  }
  // Nothing stored at all never replaces an archive that holds files.
  if (ok && counts.records == 0 && old.holds_records()) ok = false;
  old.close();
  // Permissions are not the data: a stick's FAT or exFAT holds none, and the
  // archive then keeps the owner-only ones it was created with.
  if (ok) file.copy_permissions_of(target);
  // Only a file system whose files end below the archive's size refuses a
  // write so; the user learns that no retry on that stick can help.
  report.too_large = !ok && file.too_large();
  ok = ok && file.sync();
  ok = file.close() && ok;
  ok = ok && (options.replace_existing ? rename_replace(temporary, target)
                                       : rename_no_replace(temporary, target));
  if (ok) return 1;
  remove_file(temporary);
  return -1;
}
