// Windows helper for the console text test: started with a console of its
// own, it writes a text through the program's console calls, once to the
// output and once to the error stream, and puts what the console then shows
// there into a file, in UTF-8.
//   support_console_screen_child HEX_OF_TEXT RESULT_FILE
#include <windows.h>

#include <fstream>
#include <string>

#include "support/console.h"
#include "support/wide_win32.h"
#include "tests/test_util/hex.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string text = test_util::from_hex(argv[1]);
  HANDLE screen =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO before{};
  if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &before)) return 3;
  console_write_out(text);
  console_write_err(text);
  CONSOLE_SCREEN_BUFFER_INFO after{};
  if (!GetConsoleScreenBufferInfo(screen, &after)) return 3;
  const long cells = (after.dwCursorPosition.Y - before.dwCursorPosition.Y) * before.dwSize.X +
                     after.dwCursorPosition.X - before.dwCursorPosition.X;
  std::wstring shown(static_cast<std::size_t>(cells > 0 ? cells : 0), L'\0');
  DWORD read = 0;
  if (!shown.empty() &&
      !ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()),
                                   before.dwCursorPosition, &read)) {
    return 3;
  }
  std::ofstream(argv[2], std::ios::binary) << from_wide(shown.data(), read);
  return 0;
}
