// CRC-32C over a record's data. The instruction handles eight bytes a step
// but waits three cycles for each result, so a long buffer is taken as three
// lanes at once and the lanes' checksums are joined by multiplying with the
// power of x that the later lanes' length stands for.
#include "archive/checksum.h"

#include <nmmintrin.h>

#include <array>
#include <cstring>

namespace {

// The Castagnoli polynomial, bits reversed (the lowest bit is x^31).
constexpr std::uint32_t kPolynomial = 0x82F63B78u;
constexpr std::size_t kSlices = 8;
// Bytes each lane takes in one step; three lanes make 24 KiB.
constexpr std::size_t kLaneBytes = 8192;
constexpr std::size_t kLanes = 3;

using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

Tables make_tables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t s = 1; s < kSlices; ++s) {
    for (std::size_t i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
  }
  return t;
}

const Tables& tables() {
  static const Tables t = make_tables();
  return t;
}

std::uint32_t load_u32le(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The register (not inverted) carried over `size` bytes, eight at a time.
std::uint32_t tables_register(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  const Tables& t = tables();
  for (; size >= kSlices; size -= kSlices, p += kSlices) {
    const std::uint32_t low = reg ^ load_u32le(p);
    reg = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
          t[4][low >> 24] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; size > 0; --size, ++p) reg = (reg >> 8) ^ t[0][(reg ^ *p) & 0xFFu];
  return reg;
}

// a times b modulo the polynomial, both in the reversed bit order.
std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if ((a & m) != 0) product ^= b;
    b = (b & 1u) != 0 ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// x to the power 8 * bytes: what a register is multiplied by to stand
// `bytes` zero bytes further on.
std::uint32_t shift_factor(std::size_t bytes) {
  std::uint32_t square = 1u << 30;  // x^1
  std::uint32_t result = 1u << 31;  // x^0
  for (std::size_t bits = bytes * 8; bits != 0; bits >>= 1) {
    if ((bits & 1u) != 0) result = multiply(square, result);
    square = multiply(square, square);
  }
  return result;
}

std::uint64_t load_u64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

__attribute__((target("sse4.2"))) std::uint32_t instruction_register(std::uint32_t reg,
                                                                     const unsigned char* p,
                                                                     std::size_t size) {
  static const std::uint32_t lane_shift = shift_factor(kLaneBytes);
  std::uint64_t a = reg;
  while (size >= kLanes * kLaneBytes) {
    std::uint64_t b = 0;
    std::uint64_t c = 0;
    for (std::size_t i = 0; i < kLaneBytes; i += 8) {
      a = _mm_crc32_u64(a, load_u64(p + i));
      b = _mm_crc32_u64(b, load_u64(p + kLaneBytes + i));
      c = _mm_crc32_u64(c, load_u64(p + 2 * kLaneBytes + i));
    }
    a = multiply(lane_shift, static_cast<std::uint32_t>(a)) ^ static_cast<std::uint32_t>(b);
    a = multiply(lane_shift, static_cast<std::uint32_t>(a)) ^ static_cast<std::uint32_t>(c);
    p += kLanes * kLaneBytes;
    size -= kLanes * kLaneBytes;
  }
  for (; size >= 8; size -= 8, p += 8) a = _mm_crc32_u64(a, load_u64(p));
  auto r = static_cast<std::uint32_t>(a);
  for (; size > 0; --size, ++p) r = _mm_crc32_u8(r, *p);
  return r;
}

bool has_instruction() {
  static const bool present = __builtin_cpu_supports("sse4.2") != 0;
  return present;
}

}  // namespace

std::uint32_t checksum_update(std::uint32_t running, const void* data, std::size_t size) {
  if (!has_instruction()) return checksum_update_tables(running, data, size);
  return ~instruction_register(~running, static_cast<const unsigned char*>(data), size);
}

std::uint32_t checksum_update_tables(std::uint32_t running, const void* data, std::size_t size) {
  return ~tables_register(~running, static_cast<const unsigned char*>(data), size);
}
