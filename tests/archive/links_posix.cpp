// POSIX side of make_link: symlink and link; there are no junctions.
#include <unistd.h>

#include "tests/archive/links.h"
#include "tests/test_util/program_path.h"

bool make_link(const std::string& target, const std::string& link, LinkKind kind) {
  const std::string from = test_util::native_path(target).string();
  const std::string to = test_util::native_path(link).string();
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
