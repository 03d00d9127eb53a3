// POSIX side of same_directory and same_file: compares device and inode numbers.
#include <sys/stat.h>

#include "support/dir_identity.h"
#include "support/posix_path.h"

bool same_directory(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(posix_path(a).c_str(), &sa) != 0) return false;
  if (stat(posix_path(b).c_str(), &sb) != 0) return false;
  return S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (lstat(posix_path(a).c_str(), &sa) != 0) return false;
  if (lstat(posix_path(b).c_str(), &sb) != 0) return false;
  return S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
