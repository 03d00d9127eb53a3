// A console shows every character of the program's UTF-8 text, whatever the
// console's own code page: the helper writes it in a console of its own and
// reads back what the console shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/test_util/case_name.h"
#include "tests/test_util/hex.h"
#include "tests/test_util/scratch_test.h"

namespace {

struct ConsoleCase {
  const char* what;
  std::string text;
};

std::wstring helper_program() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
  std::wstring path(buffer, length);
  return path.substr(0, path.find_last_of(L"\\/")) + L"\\support_console_screen_child.exe";
}

class ConsoleScreen : public test_util::ScratchTest,
                      public testing::WithParamInterface<ConsoleCase> {};

TEST_P(ConsoleScreen, ShowsEveryCharacterOfTheText) {
  const std::string result = root_ + "\\shown.txt";
  const std::wstring program = helper_program();
  // Hex digits and the scratch path are ASCII: each byte is its character.
  const std::string arguments = test_util::hex_of(GetParam().text) + " \"" + result + "\"";
  std::wstring command =
      L"\"" + program + L"\" " + std::wstring(arguments.begin(), arguments.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                             CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process));
  const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0);
  ASSERT_EQ(code, 0u);
  std::ifstream in(result, std::ios::binary);
  std::ostringstream shown;
  shown << in.rdbuf();
  EXPECT_EQ(shown.str(), GetParam().text + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConsoleScreen,
                         testing::Values(ConsoleCase{"ascii", "disk full"},
                                         ConsoleCase{"accented", "caf\xC3\xA9 \xC3\x84rger"},
                                         ConsoleCase{
                                             "cyrillic",
                                             "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0"
                                             "\xB8\xD1\x86\xD0\xB0"},  // Кириллица
                                         // Outside every ANSI code page.
                                         ConsoleCase{"japanese", "\xE8\xA1\xA8.txt"},  // 表.txt
                                         ConsoleCase{"a with macron",
                                                     "\xC4\x80"
                                                     "b.txt"}),
                         test_util::NameByWhat());

}  // namespace
