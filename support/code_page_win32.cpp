// Windows side of the ANSI code page: MultiByteToWideChar and
// WideCharToMultiByte with CP_ACP, the latter without best fit.
#include <windows.h>

#include "support/code_page.h"
#include "support/wide_win32.h"

std::string from_ansi_code_page(const std::string& bytes) {
  if (bytes.empty()) return bytes;
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return bytes;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), length);
  return from_wide(wide.data(), wide.size());
}

bool to_ansi_code_page(const std::string& text, std::string& bytes) {
  bytes.clear();
  std::wstring wide;
  if (!to_wide(text, wide)) return false;
  if (wide.empty()) return true;
  // A system whose ANSI code page is UTF-8 takes no default character.
  if (GetACP() == CP_UTF8) {
    bytes = text;
    return true;
  }
  const int size = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &defaulted);
  if (length <= 0 || defaulted) return false;
  bytes.resize(static_cast<std::size_t>(length));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), length,
                      nullptr, &defaulted);
  return !defaulted;
}
