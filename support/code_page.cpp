// The reading rule for stored text, the same on every system.
#include "support/code_page.h"

#include "support/utf8.h"

std::string stored_text(const std::string& bytes) {
  return is_valid_utf8(bytes) ? bytes : from_ansi_code_page(bytes);
}
