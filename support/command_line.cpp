// The command line split into arguments, the same on every system.
#include "support/command_line.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args;
  std::size_t at = 0;
  // The program's name: no backslash or quote inside it is special.
  std::string name;
  if (at < line.size() && line[at] == '"') {
    const std::size_t close = line.find('"', at + 1);
    name = line.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
    at = close == std::string::npos ? line.size() : close + 1;
  }
  while (at < line.size() && !is_blank(line[at])) name += line[at++];
  args.push_back(name);

  for (;;) {
    while (at < line.size() && is_blank(line[at])) ++at;
    if (at >= line.size()) return args;
    std::string arg;
    bool quoted = false;
    while (at < line.size() && (quoted || !is_blank(line[at]))) {
      if (line[at] == '\\') {
        std::size_t backslashes = 0;
        while (at < line.size() && line[at] == '\\') {
          ++backslashes;
          ++at;
        }
        if (at < line.size() && line[at] == '"') {
          arg.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            arg += '"';
            ++at;
          }
        } else {
          arg.append(backslashes, '\\');
        }
        continue;
      }
      if (line[at] == '"') {
        if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
          arg += '"';
          at += 2;
          continue;
        }
        quoted = !quoted;
        ++at;
        continue;
      }
      arg += line[at++];
    }
    args.push_back(arg);
  }
}
