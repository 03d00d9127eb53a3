// The archive a pack replaces, read as the source of earlier copies.
#include "archive/earlier_copies.h"

#include <algorithm>
#include <utility>

#include "archive/archive_input.h"
#include "archive/record_writer.h"
#include "support/code_page.h"
#include "support/text.h"

namespace {

// What follows the last slash of a stored name.
std::string last_component(const std::string& stored_name) {
  const std::size_t slash = stored_name.rfind('/');
  return slash == std::string::npos ? stored_name : stored_name.substr(slash + 1);
}

}  // namespace

OldArchive::OldArchive(std::string path) : path_(std::move(path)) {}

bool OldArchive::holds_records() {
  load();
  return !records_.empty();
}

void OldArchive::handled(const std::string& stored_name) {
  load();
  const std::uint64_t hash = hash_of(stored_name);
  for (auto at = first_of(hash); at != by_hash_.end() && records_[*at].hash == hash; ++at) {
    records_[*at].handled = true;
  }
}

bool OldArchive::copy_record(const std::string& stored_name, ArchiveOutput& archive) {
  load();
  Record* found = find(stored_name);
  if (found == nullptr) return false;
  found->handled = true;
  return copy_span(*found, archive);
}

bool OldArchive::copy_unhandled(const std::function<bool(const std::string&)>& keep,
                                ArchiveOutput& archive, long& copied) {
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

bool OldArchive::shares_file(const std::string& stored_name,
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

void OldArchive::close() { file_.close(); }

std::uint64_t OldArchive::hash_of(const std::string& name) {
  return std::hash<std::string>{}(name);
}

// The last record of the name (the one an unpack leaves behind), or none.
// A record whose name merely shares the hash is told apart by its name.
std::vector<std::uint32_t>::iterator OldArchive::first_of(std::uint64_t hash) {
  return std::lower_bound(
      by_hash_.begin(), by_hash_.end(), hash,
      [this](std::uint32_t i, std::uint64_t h) { return records_[i].hash < h; });
}

OldArchive::Record* OldArchive::find(const std::string& name) {
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

bool OldArchive::header_of(const Record& record, RecordHeader& header) {
  if (!file_.seek(record.start + kTagSize)) return false;
  ArchiveInput in(file_, record.length - kTagSize);
  return read_record_header(in, header);
}

bool OldArchive::name_of(const Record& record, std::string& name) {
  RecordHeader header;
  if (!header_of(record, header)) return false;
  name = stored_text(header.name);
  return true;
}

bool OldArchive::copy_span(const Record& span, ArchiveOutput& archive) {
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
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
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

void OldArchive::load() {
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

void OldArchive::read_index() {
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
