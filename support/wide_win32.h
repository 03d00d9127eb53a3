// Windows text seam: the program's UTF-8 as the wide (W) calls take it, and
// their answers back in UTF-8. Every conversion is exact; there is no
// best-fit mapping anywhere, so a name never reaches the system as another.
#pragma once

#include <cstddef>
#include <string>

// False when `text` is not valid UTF-8: the caller fails the call and reports
// it, as it would any failed call.
bool to_wide(const std::string& text, std::wstring& wide);
// What the system answered, in UTF-8. A name holding a lone surrogate comes
// back as bytes that are not UTF-8, which no wide call takes again.
std::string from_wide(const wchar_t* text, std::size_t length);
std::string from_wide(const wchar_t* text);
// A path for the wide file calls: converted, and when it is long enough to
// meet the system's old limit of 260 characters, made full and given the
// "\\?\" prefix, under which the wide calls take paths of any length.
// False when the path is not UTF-8.
bool system_path(const std::string& path, std::wstring& wide);
// The same, empty when the path is not UTF-8: every file call fails on the
// empty path, so callers that report a failed call report this one too.
std::wstring system_path(const std::string& path);
// `path` opened with no access and every sharing, only to ask the system
// about it, with CreateFileW's `flags`; nullptr when it cannot be opened.
// The caller closes it.
void* open_to_inspect(const std::string& path, unsigned long flags);
// The path the system resolves an open handle to (GetFinalPathNameByHandleW
// with `flags`), in UTF-8, however long; empty when it cannot tell.
std::string final_path_of(void* handle, unsigned long flags);
// Text to show: bytes that are not UTF-8 are shown as U+FFFD.
std::wstring display_text(const std::string& text);
