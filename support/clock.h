// The clock: a monotonic millisecond tick read as seconds, a sleep and the
// local time.
#pragma once

// Milliseconds of the system tick divided by 1000, fraction kept. Only the
// difference of two readings means anything.
double tick_seconds();
void sleep_ms(unsigned long milliseconds);

// A moment of the wall clock in the computer's own time zone.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};
LocalTime local_time_now();
