// POSIX side of make_link: symlink and link; there are no junctions.
#include <unistd.h>

#include "support/text.h"
#include "tests/archive/links.h"

bool make_link(const std::string& target, const std::string& link, LinkKind kind) {
  const std::string from = replace_all(target, "\\", "/");
  const std::string to = replace_all(link, "\\", "/");
  switch (kind) {
    case LinkKind::kFile:
    case LinkKind::kDirectory:
      return ::symlink(from.c_str(), to.c_str()) == 0;
    case LinkKind::kHard:
      return ::link(from.c_str(), to.c_str()) == 0;
    case LinkKind::kJunction:
      break;
  }
  return false;
}
