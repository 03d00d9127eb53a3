// CRC-32C over a record's data. The instruction handles eight bytes a step
// but waits three cycles for each result, so a long buffer is taken as three
// lanes at once and the lanes' checksums are joined by multiplying with the
// power of x that the later lanes' length stands for. Where the processor
// multiplies carry-less on 512-bit registers, a long buffer is folded
// instead, 256 bytes a step: four times what the instruction manages, which
// keeps the checksum a small part of a pack's processor time.
#include "archive/checksum.h"

#include <immintrin.h>
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

bool has_wide_multiply() {
  static const bool present = __builtin_cpu_supports("avx512f") != 0 &&
                              __builtin_cpu_supports("vpclmulqdq") != 0 &&
                              __builtin_cpu_supports("pclmul") != 0;
  return present;
}

// Folding: a 16-byte piece of the data, taken as a polynomial, is moved
// `distance` bytes on by multiplying its two halves with x to the powers
// that distance stands for (modulo the polynomial, which leaves the
// checksum as it is) and adding it to the piece found there. The carry-less
// product of two bit-reversed operands stands one bit lower than the
// reversed product, and a 32-bit factor ends 33 bits below a 64-bit one:
// hence the powers 8 * distance + 31 for the low half, which stands first,
// and 8 * distance - 33 for the high half.
std::uint32_t power_of_x(std::size_t exponent) {
  std::uint32_t square = 1u << 30;  // x^1
  std::uint32_t result = 1u << 31;  // x^0
  for (std::size_t bits = exponent; bits != 0; bits >>= 1) {
    if ((bits & 1u) != 0) result = multiply(square, result);
    square = multiply(square, square);
  }
  return result;
}

struct FoldFactors {
  std::uint64_t low;
  std::uint64_t high;
};

FoldFactors fold_factors(std::size_t distance) {
  return {power_of_x(8 * distance + 31), power_of_x(8 * distance - 33)};
}

// Bytes folded in one step: four 512-bit registers.
constexpr std::size_t kWideStep = 256;
// Shorter data go through the instruction alone: setting up the fold and
// bringing it down to 32 bits costs about what 512 bytes do.
constexpr std::size_t kWideMinimum = 1024;

__attribute__((target("pclmul,sse4.2"))) __m128i fold_16(__m128i piece, __m128i factors,
                                                         __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(piece, factors, 0x00);
  const __m128i high = _mm_clmulepi64_si128(piece, factors, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("avx512f,vpclmulqdq"))) __m512i fold_64(__m512i piece, __m512i factors,
                                                              __m512i next) {
  const __m512i low = _mm512_clmulepi64_epi128(piece, factors, 0x00);
  const __m512i high = _mm512_clmulepi64_epi128(piece, factors, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

// The register carried over `size` bytes (at least kWideMinimum) by folding
// all but the last bytes that do not fill a step, which the instruction takes.
__attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.2"))) std::uint32_t wide_register(
    std::uint32_t reg, const unsigned char* p, std::size_t size) {
  static const FoldFactors step = fold_factors(kWideStep);
  static const FoldFactors one = fold_factors(64);
  static const FoldFactors lane = fold_factors(16);
  const __m512i step_factors =
      _mm512_set4_epi64(static_cast<long long>(step.high), static_cast<long long>(step.low),
                        static_cast<long long>(step.high), static_cast<long long>(step.low));
  const __m512i one_factors =
      _mm512_set4_epi64(static_cast<long long>(one.high), static_cast<long long>(one.low),
                        static_cast<long long>(one.high), static_cast<long long>(one.low));
  // The running register joins the data as an xor over its first four bytes.
  __m512i a = _mm512_xor_si512(_mm512_loadu_si512(p),
                               _mm512_castsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i b = _mm512_loadu_si512(p + 64);
  __m512i c = _mm512_loadu_si512(p + 128);
  __m512i d = _mm512_loadu_si512(p + 192);
  p += kWideStep;
  size -= kWideStep;
  for (; size >= kWideStep; size -= kWideStep, p += kWideStep) {
    a = fold_64(a, step_factors, _mm512_loadu_si512(p));
    b = fold_64(b, step_factors, _mm512_loadu_si512(p + 64));
    c = fold_64(c, step_factors, _mm512_loadu_si512(p + 128));
    d = fold_64(d, step_factors, _mm512_loadu_si512(p + 192));
  }
  d = fold_64(fold_64(fold_64(a, one_factors, b), one_factors, c), one_factors, d);
  const __m128i lane_factors =
      _mm_set_epi64x(static_cast<long long>(lane.high), static_cast<long long>(lane.low));
  // Through memory rather than lane extracts, which GCC 12 warns about; the
  // unaligned forms, as the Windows build keeps no 64-byte stack alignment.
  unsigned char lanes[64];
  _mm512_storeu_si512(lanes, d);
  const auto lane_at = [&lanes](int i) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 16 * i));
  };
  __m128i v = lane_at(0);
  v = fold_16(v, lane_factors, lane_at(1));
  v = fold_16(v, lane_factors, lane_at(2));
  v = fold_16(v, lane_factors, lane_at(3));
  // Sixteen bytes the same modulo the polynomial as all the data folded:
  // their checksum from a zero register is the data's.
  std::uint64_t r = _mm_crc32_u64(0, static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)));
  r = _mm_crc32_u64(r, static_cast<std::uint64_t>(_mm_extract_epi64(v, 1)));
  return instruction_register(static_cast<std::uint32_t>(r), p, size);
}

}  // namespace

std::uint32_t checksum_update(std::uint32_t running, const void* data, std::size_t size) {
  if (!has_instruction()) return checksum_update_tables(running, data, size);
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (size >= kWideMinimum && has_wide_multiply()) return ~wide_register(~running, bytes, size);
  return ~instruction_register(~running, bytes, size);
}

std::uint32_t checksum_update_tables(std::uint32_t running, const void* data, std::size_t size) {
  return ~tables_register(~running, static_cast<const unsigned char*>(data), size);
}
