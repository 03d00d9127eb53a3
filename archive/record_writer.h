// Writing one record: its header, its data copied from an open input (the
// settings file with its paths replaced), its checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_output.h"
#include "support/file_io.h"

// Largest data length a record can hold.
inline constexpr std::uint64_t kMaxRecordData = 0xFFFFFFFFull;
// Copy block for file data; never less than 64 KiB.
inline constexpr std::size_t kCopyBlockSize = 256 * 1024;
enum class RecordResult { kStored, kInputFailed, kArchiveFailed };

// As write_record below, with the listed size asked for only when the file
// fills more than one copy block; tells an input that failed from an
// archive that did.
RecordResult write_record_listed(File& input, ArchiveOutput& archive,
                                 const std::string& stored_name, const std::string& base_path,
                                 const std::function<long long()>& listed_size);

// One record for one open input positioned at its start; `size` is the
// listed size; `base_path` is what a settings file's placeholders stand
// for. Returns false only when the archive itself failed; an input
// that cannot be read whole, or holds 4 GiB or more, leaves no record.
bool write_record(File& input, ArchiveOutput& archive, const std::string& stored_name,
                  const std::string& base_path, long long size);

// A record's header, written to the archive.
bool write_header(ArchiveOutput& archive, const std::string& stored_name, std::uint32_t data_length,
                  std::uint32_t checksum);
// The one block that file data are copied through.
std::vector<unsigned char>& copy_block();
