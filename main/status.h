// The status window: the caption of the run under way, and the name and
// percentage of the file it has reached.
#pragma once

#include <string>

// Message turns given to the system after the status window changes, so
// that it is drawn before the run goes on.
inline constexpr int kStatusRepaints = 7;
// The shortest time between two drawings of the file and percentage: about
// what a person can follow (30 a second). Drawing every file of a large
// profile costs more than the files themselves.
inline constexpr double kProgressDrawSeconds = 0.033;

// Creates the status window (hidden) and its labels.
void create_status_window();

// Shows the status window with the run's caption in the action label: the
// caption is set first, so the window is never seen with another one.
void show_status(const std::string& action);
// Receives every file of a run; draws it when kProgressDrawSeconds have gone
// by since the last drawing, when the percentage shown would change, and at
// the last item (numerator >= denominator). Otherwise the file is held back.
void show_progress(const std::string& name, long long numerator, long long denominator);
// Draws the file held back last, if any: the screen then shows where the run
// ended, as it would had every file been drawn.
void flush_progress();
std::string percent_text(long long numerator, long long denominator);
