/* Preloaded into shred by scripts/bench-archive: makes fsync, fdatasync and
 * sync do nothing, so that shred does the same work as the program's burn,
 * which writes its zeros without waiting for the disk. */
#include <unistd.h>

int fsync(int fd) {
  (void)fd;
  return 0;
}

int fdatasync(int fd) {
  (void)fd;
  return 0;
}

void sync(void) {}
