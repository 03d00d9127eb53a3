// POSIX side of the ANSI code page: there is none, bytes stay bytes.
#include "support/code_page.h"

std::string from_ansi_code_page(const std::string& bytes) { return bytes; }

bool to_ansi_code_page(const std::string& text, std::string& bytes) {
  bytes = text;
  return true;
}
