// The profile archive's byte layout and the rules both the writer and the
// reader follow. All integers are 32-bit little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// File layout: magic, records, trailer.
inline constexpr std::size_t kTagSize = 4;
inline constexpr std::size_t kU32Size = 4;
inline constexpr char kMagic[kTagSize] = {'I', 'L', '1', '0'};
inline constexpr char kTrailer[kTagSize] = {'a', 'b', 'i', 's'};

// Record layout, field by field: the tag "file", the name's length, the
// name, the data's length, the checksum of the stored data (archive/checksum.h;
// 0 for none, as every archive written before it was kept held there), the
// tag "asli", then the data.
inline constexpr char kTagFile[kTagSize] = {'f', 'i', 'l', 'e'};
inline constexpr std::size_t kNameLengthSize = kU32Size;
inline constexpr std::size_t kDataLengthSize = kU32Size;
inline constexpr std::size_t kChecksumSize = kU32Size;
inline constexpr char kTagData[kTagSize] = {'a', 's', 'l', 'i'};
// A record whose checksum field holds this is not checked.
inline constexpr std::uint32_t kNoChecksum = 0;
// The fields that follow the name, up to the data.
inline constexpr std::size_t kAfterNameSize = kDataLengthSize + kChecksumSize + kTagSize;

// Where a record's data length stands, counted from the record's first byte.
constexpr std::uint64_t record_data_length_offset(std::uint64_t name_length) {
  return kTagSize + kNameLengthSize + name_length;
}
// Where its checksum stands.
constexpr std::uint64_t record_checksum_offset(std::uint64_t name_length) {
  return record_data_length_offset(name_length) + kDataLengthSize;
}

struct RecordHeader {
  std::string name;
  std::uint32_t data_length = 0;
  std::uint32_t checksum = kNoChecksum;
};

// A record's bytes before its data, in place of what `out` held.
void put_record_header(std::string& out, std::string_view name, std::uint32_t data_length,
                       std::uint32_t checksum);
bool tag_is(const unsigned char* tag, const char (&expected)[kTagSize]);

inline constexpr char kRootPlaceholder[] = "<akar2>";
inline constexpr char kSettingsName[] = "ilvar6.ini";

void put_u32le(unsigned char* out, std::uint32_t value);
std::uint32_t get_u32le(const unsigned char* in);

std::string parent_path(const std::string& path);
// True when the stored name contains "ilvar6.ini", letters A-Z folded.
bool is_settings_file(const std::string& stored_name);
// Writing: every occurrence of the base path becomes the placeholder.
std::string substitute_on_write(const std::string& data, const std::string& base_path);
// A settings file is substituted only while both its stored and its expanded
// form stay within this many bytes; a larger one is written as stored, so
// that no archive can make the reader hold more than this in memory.
inline constexpr std::size_t kMaxSettingsBytes = std::size_t{64} << 20;

// Reading: every placeholder becomes the reader's base path. When the result
// would pass kMaxSettingsBytes the data come back as stored.
std::string substitute_on_read(const std::string& data, const std::string& base_path);
