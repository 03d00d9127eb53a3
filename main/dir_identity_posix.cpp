// POSIX side of same_directory: compares device and inode numbers.
#include <sys/stat.h>

#include "main/dir_identity.h"
#include "support/text.h"

bool same_directory(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  // Paths use backslashes inside the program; the system wants slashes.
  if (stat(replace_all(a, "\\", "/").c_str(), &sa) != 0) return false;
  if (stat(replace_all(b, "\\", "/").c_str(), &sb) != 0) return false;
  return S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}
