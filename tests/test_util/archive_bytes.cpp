// The hand-built archive bytes.
#include "tests/test_util/archive_bytes.h"

namespace test_util {

std::string le32(std::uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) {
    out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return out;
}

std::string bytes_of(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::uint32_t crc32c_bitwise(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
  }
  return ~crc;
}

namespace {

std::string record_with(const std::string& name, const std::string& data, std::int64_t data_length,
                        std::uint32_t checksum) {
  const auto length = data_length < 0 ? static_cast<std::uint32_t>(data.size())
                                      : static_cast<std::uint32_t>(data_length);
  return "file" + le32(static_cast<std::uint32_t>(name.size())) + name + le32(length) +
         le32(checksum) + "asli" + data;
}

}  // namespace

std::string record(const std::string& name, const std::string& data, std::int64_t data_length) {
  return record_with(name, data, data_length, crc32c_bitwise(data));
}

std::string unchecked_record(const std::string& name, const std::string& data) {
  return record_with(name, data, -1, 0);
}

std::string make_archive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out = kMagicBytes;
  for (const auto& [name, data] : files) out += record(name, data);
  return out + kTrailerBytes;
}

std::string make_unchecked_archive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out = kMagicBytes;
  for (const auto& [name, data] : files) out += unchecked_record(name, data);
  return out + kTrailerBytes;
}

}  // namespace test_util
