// The state every part of the program shares, and the hooks tests replace.
#include "main/state.h"

#include "support/console.h"
#include "support/dir_match.h"
#include "support/text.h"

namespace {

constexpr char kProfileSubdir[] = "profile";

constexpr ProgramHooks kSystemHooks = {exit_process, tick_seconds, sleep_ms, local_time_now};

ProgramHooks& hooks() {
  static ProgramHooks h = kSystemHooks;
  return h;
}

}  // namespace

ProgramState& program() {
  static ProgramState state;
  return state;
}

void set_program_hooks(const ProgramHooks& h) { hooks() = h; }
const ProgramHooks& program_hooks() { return hooks(); }

std::string argument(int n) {
  // The list holds the program's path twice before the arguments.
  const auto& line = program().command_line;
  std::size_t at = static_cast<std::size_t>(n) + 1;
  return at < line.size() ? line[at] : std::string();
}

namespace {

// A directory argument as every verb uses it: without the trailing blanks,
// tabs and backslashes that the directory walk ignores, so that the walk and
// every path joined to it name one and the same directory ("X " would
// otherwise be X to the burn and "X " to the pack). A root keeps its
// separator; a text of blanks alone stays empty.
std::string directory_argument(int n) {
  const std::string given = argument(n);
  std::string directory = listing_path(given);
  if (directory.size() < given.size() && given[directory.size()] == '\\' &&
      (directory.empty() || directory.back() == ':')) {
    directory += '\\';
  }
  return directory;
}

}  // namespace

std::string home_dir() { return directory_argument(2); }
std::string archive_dir() { return directory_argument(3); }
std::string profile_dir() {
  // The settings file's paths are stored relative to the parent of this path;
  // a home directory given with trailing separators would make that parent
  // end in one, and the stored text after the placeholder lose it. A home
  // that is a root directory keeps its one separator.
  std::string home = home_dir();
  while (home.size() > 1 && (home.back() == '\\' || home.back() == '/')) home.pop_back();
  return home + "\\" + kProfileSubdir;
}

std::string beside_profile(const std::string& name) {
  std::string path = profile_dir();
  path.resize(path.size() - (sizeof kProfileSubdir - 1));
  return path + name;
}

bool has_archive_extension(const std::string& name) {
  const std::size_t length = sizeof kArchiveExtension - 1;
  return name.size() >= length &&
         lower_ascii(name.substr(name.size() - length)) == kArchiveExtension;
}
