// Windows side of the text seam: UTF-8 to and from UTF-16, and long paths
// given the "\\?\" prefix.
#include "support/wide_win32.h"

#include <windows.h>

#include <algorithm>

#include "support/utf8.h"

namespace {

// The shortest length at which a path may meet the old limit: a directory
// must leave room for an 8.3 name (12 characters) below MAX_PATH.
constexpr std::size_t kLongPathStart = MAX_PATH - 12 - 1;
constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";
constexpr std::size_t kPrefixLength = 4;

bool has_prefix(const std::wstring& path, const wchar_t* prefix) {
  return path.compare(0, kPrefixLength, prefix) == 0;
}

bool is_full(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  const bool unc = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}

std::wstring full_path(const std::wstring& path) {
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::wstring();
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length + 1);
  }
}

// A full path in the form the prefix needs, without the system's clean-up,
// which would also drop a trailing dot or blank from a name and so name
// another file: one separator between components, backslashes only. Empty
// when a component is "." or "..", which only the system resolves.
std::wstring cleaned_full_path(const std::wstring& path) {
  std::wstring cleaned;
  cleaned.reserve(path.size());
  const std::size_t root = path[0] == L'\\' || path[0] == L'/' ? 2 : 0;
  cleaned.append(root, L'\\');
  std::size_t start = root;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring_view component(path.data() + start, end - start);
    if (component == L"." || component == L"..") return std::wstring();
    if (!component.empty()) {
      if (cleaned.size() > root) cleaned += L'\\';
      cleaned += component;
    }
    start = end + 1;
  }
  if (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) cleaned += L'\\';
  return cleaned;
}

}  // namespace

bool to_wide(const std::string& text, std::wstring& wide) {
  std::u16string units;
  if (!utf8_to_utf16(text, units)) return false;
  wide.assign(units.begin(), units.end());
  return true;
}

std::string from_wide(const wchar_t* text, std::size_t length) {
  const std::u16string_view units(reinterpret_cast<const char16_t*>(text), length);
  std::string out;
  utf16_to_utf8(units, out);
  return out;
}

std::string from_wide(const wchar_t* text) { return from_wide(text, wcslen(text)); }

bool system_path(const std::string& path, std::wstring& wide) {
  if (!to_wide(path, wide)) return false;
  if (has_prefix(wide, kLocalPrefix) || has_prefix(wide, kDevicePrefix)) return true;
  // A short full path goes as it is: the system treats it as it always did.
  if (wide.size() < kLongPathStart && is_full(wide)) return true;
  std::wstring full = is_full(wide) ? cleaned_full_path(wide) : std::wstring();
  if (full.empty()) full = full_path(wide);
  if (full.size() < kLongPathStart || has_prefix(full, kDevicePrefix)) return true;
  // The prefix turns off the system's own clean-up of the path, which the
  // full path has already had: separators, "." and "..".
  if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\') {
    wide = kUncPrefix + full.substr(2);
  } else {
    wide = kLocalPrefix + full;
  }
  return true;
}

std::wstring system_path(const std::string& path) {
  std::wstring wide;
  if (!system_path(path, wide)) wide.clear();
  return wide;
}

void* open_to_inspect(const std::string& path, unsigned long flags) {
  std::wstring wide;
  if (!system_path(path, wide)) return nullptr;
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, flags, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

std::string final_path_of(void* handle, unsigned long flags) {
  constexpr std::size_t kLongestPath = 32768;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), flags);
    if (length > 0 && length < path.size()) return from_wide(path.data(), length);
    // Too small a buffer: the answer is the size needed, or (Wine) 0 with
    // ERROR_MORE_DATA; grow either way, up to the longest path there is.
    if (length == 0 && GetLastError() != ERROR_MORE_DATA) return std::string();
    if (path.size() >= kLongestPath) return std::string();
    path.resize(std::min(kLongestPath, std::max<std::size_t>(length + 1, path.size() * 2)));
  }
}

std::wstring display_text(const std::string& text) {
  const std::u16string units = utf8_to_utf16_lenient(text);
  return std::wstring(units.begin(), units.end());
}
