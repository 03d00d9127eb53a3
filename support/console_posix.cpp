// POSIX console: the process's standard output, standard input and error stream.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/console.h"

namespace {

void write_all(int fd, const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t done = ::write(fd, data, left);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;  // nobody is listening; the dialogue goes on without output
    data += done;
    left -= static_cast<std::size_t>(done);
  }
}

}  // namespace

// Unbuffered writes, so the prompt is on the screen before the read blocks and
// nothing is lost when the process ends with exit_process.
void console_write_out(const std::string& bytes) { write_all(STDOUT_FILENO, bytes); }

void console_write_err(const std::string& bytes) { write_all(STDERR_FILENO, bytes); }

std::optional<std::string> console_read_line() {
  // One byte at a time, so nothing past the line is taken from the input.
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    line += c;
    if (c == '\n') return line;
  }
  if (line.empty()) return std::nullopt;
  return line;
}

void exit_process(int code) { std::_Exit(code); }
