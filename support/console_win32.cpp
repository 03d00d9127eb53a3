// Windows console: the process's standard handles when they are usable (a
// console program, or redirected), otherwise a console window of its own,
// opened at first use.
#include <windows.h>

#include "support/console.h"

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

void write_all(HANDLE h, const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD done = 0;
    if (!WriteFile(h, data, static_cast<DWORD>(left), &done, nullptr) || done == 0) return;
    data += done;
    left -= done;
  }
}

}  // namespace

void console_write_out(const std::string& bytes) { write_all(console().out, bytes); }

void console_write_err(const std::string& bytes) { write_all(console().err, bytes); }

std::optional<std::string> console_read_line() {
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
