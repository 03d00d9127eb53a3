// UTF-8, the program's own encoding for every text and name, and UTF-16,
// the one the Windows wide calls take. The conversions are exact: bytes that
// are not UTF-8 never turn into some other name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// True for well-formed UTF-8: no overlong forms, no surrogates, nothing past
// U+10FFFF, no character cut short. ASCII is always valid.
bool is_valid_utf8(std::string_view text);
// False (with `out` unspecified) when `text` is not valid UTF-8.
bool utf8_to_utf16(std::string_view text, std::u16string& out);
// Every code unit is kept: a surrogate without its partner, which a Windows
// name may hold, becomes the three bytes UTF-8 would give its value. That
// result is not valid UTF-8, so it can be shown and reported, but the name
// never converts back into a different one.
void utf16_to_utf8(std::u16string_view text, std::string& out);
// For display only: bytes that are not UTF-8 become U+FFFD each.
std::u16string utf8_to_utf16_lenient(std::string_view text);
// The number of UTF-16 code units the text takes, the unit the Windows
// limits on names and paths count in; a byte that is not UTF-8 counts one.
std::size_t utf16_length(std::string_view text);
