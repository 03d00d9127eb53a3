// POSIX side of the test helper that sets a file's last-write time.
#include <sys/stat.h>
#include <utime.h>

#include <ctime>

#include "tests/main/file_time.h"

bool set_local_mtime(const std::string& path, int year, int month, int day, int hour, int minute,
                     int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return false;
  utimbuf times{t, t};
  return utime(path.c_str(), &times) == 0;
}
