// Archive bytes built by hand, field by field, so that the tests hold the
// stored layout fixed whatever the writer does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace test_util {

inline const std::string kMagicBytes = "IL10";
inline const std::string kTrailerBytes = "abis";

// A 32-bit field, least significant byte first.
std::string le32(std::uint32_t value);

// Bytes given by their values.
std::string bytes_of(std::initializer_list<int> values);

// CRC-32C of the bytes, one bit at a time: slow, and independent of the
// program's own tables and instruction.
std::uint32_t crc32c_bitwise(const std::string& data);

// One record; the data length field is the data's length unless given, the
// checksum field the data's CRC-32C.
std::string record(const std::string& name, const std::string& data, std::int64_t data_length = -1);
// One record as written before records carried a checksum: the field is 0.
std::string unchecked_record(const std::string& name, const std::string& data);

// A whole archive holding the given (stored name, data) records in order.
std::string make_archive(const std::vector<std::pair<std::string, std::string>>& files);
// The same with every checksum field 0.
std::string make_unchecked_archive(const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace test_util
