// The platform-free part of the directory identity: climbing to the root.
#include "support/dir_identity.h"

bool directory_within(const std::string& inner, const std::string& outer) {
  // Upwards from inner through "..", which the system resolves, until the
  // root, whose ".." is itself. The depth limit only guards against a path
  // that never reaches a root.
  constexpr int kMaxDepth = 256;
  std::string at = inner;
  for (int depth = 0; depth < kMaxDepth && same_directory(at, at); ++depth) {
    if (same_directory(at, outer)) return true;
    const std::string up = at + "\\..";
    if (same_directory(up, at)) return false;
    at = up;
  }
  return false;
}
