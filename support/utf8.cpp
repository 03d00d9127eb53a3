// UTF-8 checks and the exact conversions to and from UTF-16.
#include "support/utf8.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kFirstSupplementary = 0x10000;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the character at `at`; the number of bytes it takes, or 0 when the
// bytes there are not well-formed UTF-8.
std::size_t decode(std::string_view text, std::size_t at, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = kFirstSupplementary;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if (!is_continuation(byte)) return 0;
    code = (code << 6) | (byte & 0x3Fu);
  }
  if (code < minimum || code > kMaxCodePoint) return 0;
  if (code >= kSurrogateFirst && code <= kSurrogateLast) return 0;
  return length;
}

void append_utf16(char32_t code, std::u16string& out) {
  if (code < kFirstSupplementary) {
    out += static_cast<char16_t>(code);
    return;
  }
  const char32_t offset = code - kFirstSupplementary;
  out += static_cast<char16_t>(kSurrogateFirst + (offset >> 10));
  out += static_cast<char16_t>(kLowSurrogateFirst + (offset & 0x3FFu));
}

void append_utf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < kFirstSupplementary) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  char32_t code = 0;
  for (std::size_t at = 0; at < text.size();) {
    // Runs of ASCII, the whole of most names, need no decoding.
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t length = decode(text, at, code);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool utf8_to_utf16(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  char32_t code = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = decode(text, at, code);
    if (length == 0) return false;
    append_utf16(code, out);
    at += length;
  }
  return true;
}

std::u16string utf8_to_utf16_lenient(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  char32_t code = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = decode(text, at, code);
    append_utf16(length == 0 ? kReplacement : code, out);
    at += length == 0 ? 1 : length;
  }
  return out;
}

void utf16_to_utf8(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t unit = text[at];
    const bool high = unit >= kSurrogateFirst && unit < kLowSurrogateFirst;
    if (high && at + 1 < text.size() && text[at + 1] >= kLowSurrogateFirst &&
        text[at + 1] <= kSurrogateLast) {
      const char32_t low = text[++at];
      append_utf8(
          kFirstSupplementary + ((unit - kSurrogateFirst) << 10) + (low - kLowSurrogateFirst), out);
      continue;
    }
    append_utf8(unit, out);
  }
}

std::size_t utf16_length(std::string_view text) {
  std::size_t units = 0;
  char32_t code = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length =
        static_cast<unsigned char>(text[at]) < 0x80 ? 1 : decode(text, at, code);
    units += length == 4 ? 2 : 1;
    at += length == 0 ? 1 : length;
  }
  return units;
}
