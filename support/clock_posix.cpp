// POSIX clock: the monotonic clock in milliseconds, and nanosleep.
#include <time.h>

#include <cerrno>

#include "support/clock.h"

double tick_seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long milliseconds =
      static_cast<long long>(now.tv_sec) * 1000 + static_cast<long long>(now.tv_nsec / 1000000);
  return static_cast<double>(milliseconds) / 1000.0;
}

void sleep_ms(unsigned long milliseconds) {
  timespec left{};
  left.tv_sec = static_cast<time_t>(milliseconds / 1000);
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  // A signal cuts nanosleep short; sleep on for what is left.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
