// Windows console: the process's standard handles when they are usable (a
// console program, or redirected), otherwise a console window of its own,
// opened at first use. Text is UTF-8 inside the program: a console gets it
// through the wide calls, a file or a pipe gets the UTF-8 bytes.
#include <windows.h>

#include "support/console.h"
#include "support/wide_win32.h"

namespace {

struct Console {
  HANDLE out = INVALID_HANDLE_VALUE;
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE err = INVALID_HANDLE_VALUE;
};

bool usable(HANDLE h) {
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

HANDLE open_console(const wchar_t* name, DWORD access) {
  return CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

Console& console() {
  static Console c = [] {
    Console made;
    made.out = GetStdHandle(STD_OUTPUT_HANDLE);
    made.in = GetStdHandle(STD_INPUT_HANDLE);
    made.err = GetStdHandle(STD_ERROR_HANDLE);
    if (usable(made.out) && usable(made.in) && usable(made.err)) return made;
    // A windowed program has no console: open one, and use it for whatever
    // standard handle is missing. AllocConsole fails harmlessly when the
    // process already has one.
    AllocConsole();
    if (!usable(made.out)) made.out = open_console(L"CONOUT$", GENERIC_READ | GENERIC_WRITE);
    if (!usable(made.err)) made.err = open_console(L"CONOUT$", GENERIC_READ | GENERIC_WRITE);
    if (!usable(made.in)) made.in = open_console(L"CONIN$", GENERIC_READ | GENERIC_WRITE);
    return made;
  }();
  return c;
}

// A console takes bytes in its own code page, which holds few of the
// characters a name may have; its wide call shows them all. Only a console
// answers GetConsoleMode.
bool is_console(HANDLE h) {
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) != 0;
}

// Writes until everything is out or a call takes nothing: a console or a
// pipe may take a part at a time.
template <typename Char, typename Call>
void write_in_parts(const Char* data, std::size_t left, Call call) {
  while (left > 0) {
    DWORD done = 0;
    if (!call(data, static_cast<DWORD>(left), &done) || done == 0) return;
    data += done;
    left -= done;
  }
}

void write_bytes(HANDLE h, const std::string& bytes) {
  write_in_parts(bytes.data(), bytes.size(), [h](const char* data, DWORD size, DWORD* done) {
    return WriteFile(h, data, size, done, nullptr);
  });
}

void write_console(HANDLE h, const std::string& text) {
  const std::wstring wide = display_text(text);
  write_in_parts(wide.data(), wide.size(), [h](const wchar_t* data, DWORD size, DWORD* done) {
    return WriteConsoleW(h, data, size, done, nullptr);
  });
}

// A file or a pipe gets the program's UTF-8 unchanged: converting it to a
// code page would lose every character outside it, and whatever reads the
// stream (a log, a test, a script) then sees each name exactly.
void write_text(HANDLE h, const std::string& text) {
  if (is_console(h)) {
    write_console(h, text);
  } else {
    write_bytes(h, text);
  }
}

// A line typed at the console, through the wide call, in UTF-8. One unit at a
// time, as from a pipe; a character beyond U+FFFF comes as two units, so the
// line is converted as a whole.
std::optional<std::string> read_console_line(HANDLE h) {
  std::wstring line;
  for (;;) {
    wchar_t c = 0;
    DWORD got = 0;
    if (!ReadConsoleW(h, &c, 1, &got, nullptr) || got == 0) break;
    line += c;
    if (c == L'\n') break;
  }
  if (line.empty()) return std::nullopt;
  return from_wide(line.data(), line.size());
}

}  // namespace

void console_write_out(const std::string& bytes) { write_text(console().out, bytes); }

void console_write_err(const std::string& bytes) { write_text(console().err, bytes); }

std::optional<std::string> console_read_line() {
  if (is_console(console().in)) return read_console_line(console().in);
  // One byte at a time, so nothing past the line is taken from a pipe.
  std::string line;
  for (;;) {
    char c = 0;
    DWORD got = 0;
    if (!ReadFile(console().in, &c, 1, &got, nullptr) || got == 0) break;
    line += c;
    if (c == '\n') return line;
  }
  if (line.empty()) return std::nullopt;
  return line;
}

void exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }
