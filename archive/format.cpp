// The archive's byte layout helpers: integers, the base path, the settings
// file test and the placeholder substitution shared by writer and reader.
#include "archive/format.h"

#include "support/text.h"

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

std::string substitute_on_write(const std::string& data, const std::string& base_path) {
  if (base_path.empty()) return data;
  return replace_all(data, base_path, kRootPlaceholder);
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
  const std::size_t kept = data.size() - count * placeholder.size();
  // kept + count * length of the base path, compared without overflow.
  const bool fits = kept <= kMaxSettingsBytes &&
                    (base_path.empty() || count <= (kMaxSettingsBytes - kept) / base_path.size());
  if (!fits) return data;
  return replace_all(data, placeholder, base_path);
}
