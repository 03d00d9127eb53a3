// POSIX clock: the monotonic clock in milliseconds, nanosleep and the local time.
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

LocalTime local_time_now() {
  const time_t now = time(nullptr);
  tm parts{};
  LocalTime t;
  if (localtime_r(&now, &parts) == nullptr) return t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  return t;
}
