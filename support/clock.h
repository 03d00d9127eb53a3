// The clock: a monotonic millisecond tick read as seconds, and a sleep.
#pragma once

// Milliseconds of the system tick divided by 1000, fraction kept. Only the
// difference of two readings means anything.
double tick_seconds();
void sleep_ms(unsigned long milliseconds);
