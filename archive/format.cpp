// The archive's byte layout helpers: integers, record headers, the base
// path, the settings file test and the placeholder substitution shared by
// writer and reader.
#include "archive/format.h"

#include <cstring>

#include "support/code_page.h"
#include "support/text.h"
#include "support/utf8.h"

void put_u32le(unsigned char* out, std::uint32_t value) {
  out[0] = static_cast<unsigned char>(value & 0xFFu);
  out[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
  out[2] = static_cast<unsigned char>((value >> 16) & 0xFFu);
  out[3] = static_cast<unsigned char>((value >> 24) & 0xFFu);
}

std::uint32_t get_u32le(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
         (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

void put_record_header(std::string& out, std::string_view name, std::uint32_t data_length,
                       std::uint32_t checksum) {
  out.resize(kTagSize + kNameLengthSize + name.size() + kAfterNameSize);
  auto* at = reinterpret_cast<unsigned char*>(out.data());
  std::memcpy(at, kTagFile, kTagSize);
  at += kTagSize;
  put_u32le(at, static_cast<std::uint32_t>(name.size()));
  at += kNameLengthSize;
  std::memcpy(at, name.data(), name.size());
  at += name.size();
  put_u32le(at, data_length);
  at += kDataLengthSize;
  put_u32le(at, checksum);
  at += kChecksumSize;
  std::memcpy(at, kTagData, kTagSize);
}

bool tag_is(const unsigned char* tag, const char (&expected)[kTagSize]) {
  // As one number: a byte comparison would go through the memcmp call,
  // which the fuzzer's hook makes costly at every step of a scan.
  return get_u32le(tag) == get_u32le(reinterpret_cast<const unsigned char*>(expected));
}

std::string parent_path(const std::string& path) {
  std::size_t backslashes = 0;
  std::size_t slashes = 0;
  for (char c : path) {
    if (c == '\\') ++backslashes;
    if (c == '/') ++slashes;
  }
  if (backslashes == 1 && path.front() == '\\') return "\\";
  if (slashes == 1 && path.front() == '/') return "/";
  if (backslashes == 0 && slashes == 0) return path;
  return path.substr(0, path.find_last_of("\\/"));
}

bool is_settings_file(const std::string& stored_name) {
  return match_nocase(1, stored_name, kSettingsName) != 0;
}

namespace {

// The base path as the settings file spells it: a file in UTF-8 holds the
// program's own text; any other was written in the ANSI code page. Empty when
// the path has no exact form in the code page, so no look-alike is ever put
// in or taken out.
std::string base_path_as_in(const std::string& data, const std::string& base_path) {
  if (is_valid_utf8(data)) return base_path;
  std::string bytes;
  return to_ansi_code_page(base_path, bytes) ? bytes : std::string();
}

}  // namespace

std::string substitute_on_write(const std::string& data, const std::string& base_path) {
  const std::string spelled = base_path_as_in(data, base_path);
  if (spelled.empty()) return data;
  return replace_all(data, spelled, kRootPlaceholder);
}

std::string substitute_on_read(const std::string& data, const std::string& base_path) {
  // The expanded size is known before anything is reserved: a few megabytes
  // of placeholders under a long home path would otherwise ask for gigabytes.
  const std::string placeholder = kRootPlaceholder;
  std::size_t count = 0;
  for (std::size_t at = data.find(placeholder); at != std::string::npos;
       at = data.find(placeholder, at + placeholder.size())) {
    ++count;
  }
  if (count == 0) return data;
  // A file in the ANSI code page gets the path there; one the code page
  // cannot spell gets the UTF-8 path rather than a look-alike.
  std::string spelled = base_path_as_in(data, base_path);
  if (spelled.empty()) spelled = base_path;
  const std::size_t kept = data.size() - count * placeholder.size();
  // kept + count * length of the base path, compared without overflow.
  const bool fits = kept <= kMaxSettingsBytes &&
                    (spelled.empty() || count <= (kMaxSettingsBytes - kept) / spelled.size());
  if (!fits) return data;
  return replace_all(data, placeholder, spelled);
}
