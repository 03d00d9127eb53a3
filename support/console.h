// The console under the error prompt: standard output, standard input and the
// error stream; on Windows a console window of its own when the handles are
// not usable.
#pragma once

#include <optional>
#include <string>

void console_write_out(const std::string& bytes);
void console_write_err(const std::string& bytes);
// One line with its line end, or nullopt at the end of input.
std::optional<std::string> console_read_line();
[[noreturn]] void exit_process(int code);
