// Windows clock: the system tick count in milliseconds, Sleep and the local time.
#include <windows.h>

#include "support/clock.h"

double tick_seconds() {
  // The 64-bit tick never wraps; the 32-bit one wraps (and turns negative when
  // read as signed) after 24.8 days of uptime, which would make an elapsed
  // time taken across the wrap hugely negative.
  return static_cast<double>(GetTickCount64()) / 1000.0;
}

void sleep_ms(unsigned long milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

LocalTime local_time_now() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  return t;
}
