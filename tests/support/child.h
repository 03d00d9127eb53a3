// Running the console helper program in a child process with its standard
// input, output and error stream connected to files, and the few facts of the
// platform that the tests must know.
#pragma once

#include <string>
#include <vector>

struct ChildRun {
  bool started = false;
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the helper beside this test program with the arguments, feeding it
// `input` on standard input (then the end of input). Files live in `scratch`.
ChildRun run_console_child(const std::vector<std::string>& arguments, const std::string& input,
                           const std::string& scratch);

// Whether the listing marks names beginning with "." as hidden.
bool dot_names_hidden();
// Makes a symbolic link (to a directory when `directory`); false when the
// platform or the user's rights do not allow it.
bool make_symlink(const std::string& target, const std::string& link, bool directory);
// Makes a named pipe; false where the platform has none in its file system.
bool make_fifo(const std::string& path);
