// Text written by programs that used the system's ANSI code page (Windows)
// rather than UTF-8: older archives, markers and settings files.
#pragma once

#include <string>

// Bytes in the system's ANSI code page, in UTF-8. On POSIX there is no such
// code page: the bytes come back as they are.
std::string from_ansi_code_page(const std::string& bytes);
// The UTF-8 text in the ANSI code page; false when one of its characters has
// no exact place there (never a look-alike). On POSIX the text as it is.
bool to_ansi_code_page(const std::string& text, std::string& bytes);
// The reading rule for stored text: valid UTF-8 is taken as UTF-8, anything
// else was written in the ANSI code page.
std::string stored_text(const std::string& bytes);
