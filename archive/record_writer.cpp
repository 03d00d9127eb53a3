// Writing one record of the archive.
#include "archive/record_writer.h"

#include "archive/checksum.h"
#include "archive/format.h"

std::vector<unsigned char>& copy_block() {
  static std::vector<unsigned char> block(kCopyBlockSize);
  return block;
}

namespace {

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

RecordResult archive_state(const ArchiveOutput& archive, RecordResult otherwise) {
  return archive.failed() ? RecordResult::kArchiveFailed : otherwise;
}

}  // namespace

bool write_header(ArchiveOutput& archive, const std::string& stored_name, std::uint32_t data_length,
                  std::uint32_t checksum) {
  static std::string header;
  put_record_header(header, stored_name, data_length, checksum);
  return archive.write(header.data(), header.size());
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

bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  const std::string& base_path, long long size) {
  return write_record_listed(input, archive, stored_name, base_path, [size] { return size; }) !=
         RecordResult::kArchiveFailed;
}
