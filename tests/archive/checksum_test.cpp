// The record checksum: CRC-32C, the same from the instruction and from the
// tables, in one piece or in many.
#include "archive/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "tests/test_util/archive_bytes.h"

namespace {

TEST(Checksum, KnownValues) {
  struct Case {
    std::string data;
    std::uint32_t crc;
  };
  // The check value of CRC-32C, and values worked out bit by bit.
  const Case cases[] = {
      {"", 0},
      {"123456789", 0xE3069283u},
      {"hi", 0xF59DD9C2u},
      {"p=<akar2>\\profile", 0x8DD7473Cu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.crc, checksum_update(kChecksumStart, c.data.data(), c.data.size())) << c.data;
    EXPECT_EQ(c.crc, checksum_update_tables(kChecksumStart, c.data.data(), c.data.size()))
        << c.data;
  }
}

// Lengths around the eight-byte steps, the three lanes of 8 KiB and the
// folding's 256-byte steps from 1 KiB on, at every alignment, taken whole
// and in two pieces cut anywhere.
TEST(Checksum, InstructionTablesAndBitByBitAgree) {
  std::mt19937 random(22);
  std::string bytes(3 * 3 * 8192 + 64, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  const std::size_t lengths[] = {0,    1,    7,    8,     9,     63,    1023,  1024,  1025,  1279,
                                 1280, 1287, 4097, 24575, 24576, 24577, 49152, 49160, 73727, 73728};
  for (std::size_t length : lengths) {
    for (std::size_t align = 0; align < 8; align += 3) {
      const std::string data = bytes.substr(align, length);
      const std::uint32_t expected = test_util::crc32c_bitwise(data);
      EXPECT_EQ(expected, checksum_update(kChecksumStart, data.data(), data.size())) << length;
      EXPECT_EQ(expected, checksum_update_tables(kChecksumStart, data.data(), data.size()))
          << length;
      const std::size_t cut = length == 0 ? 0 : random() % length;
      const std::uint32_t first = checksum_update(kChecksumStart, data.data(), cut);
      EXPECT_EQ(expected, checksum_update(first, data.data() + cut, length - cut))
          << length << " cut at " << cut;
    }
  }
}

}  // namespace
