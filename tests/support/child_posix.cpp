// POSIX side of the test seam: posix_spawn of the console helper with files
// as its standard streams, and symbolic links.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/child.h"
#include "tests/test_util/program_path.h"

extern char** environ;

namespace {

std::string self_directory() {
  std::string buffer(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0) return ".";
  buffer.resize(static_cast<std::size_t>(length));
  return buffer.substr(0, buffer.rfind('/'));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

ChildRun run_console_child(const std::vector<std::string>& arguments, const std::string& input,
                           const std::string& scratch) {
  ChildRun run;
  const std::string directory = test_util::native_path(scratch).string();
  const std::string in_path = directory + "/child.in";
  const std::string out_path = directory + "/child.out";
  const std::string err_path = directory + "/child.err";
  std::ofstream(in_path, std::ios::binary) << input;

  const std::string program = self_directory() + "/support_console_child";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return run;
  run.started = true;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  return run;
}

bool dot_names_hidden() { return true; }

bool make_symlink(const std::string& target, const std::string& link, bool) {
  return ::symlink(test_util::native_path(target).c_str(), test_util::native_path(link).c_str()) ==
         0;
}

bool make_fifo(const std::string& path) {
  return ::mkfifo(test_util::native_path(path).c_str(), 0600) == 0;
}
