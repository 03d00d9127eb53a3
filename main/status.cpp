// The status window and its progress display.
#include "main/status.h"

#include <cstdio>

#include "main/state.h"
#include "support/display_path.h"
#include "support/text.h"

namespace {

// Keeps the conversion to int defined for any numerator.
constexpr double kMaxShownPercent = 1e9;

// What the labels show, and the file that came after it without being drawn.
struct Progress {
  bool drawn = false;  // since the status window was last shown
  double drawn_at = 0;
  std::string percent;
  // Held back files never change the percentage, so only the name is kept.
  bool held = false;
  std::string held_name;
};

Progress& progress() {
  static Progress state;
  return state;
}

void draw(const std::string& name, const std::string& percent) {
  const ProgramControls& c = program().ids;
  // Stored names separate with "/": shown with the system's separator, the
  // label's path ellipsis keeps the folder's start and the file's own name.
  tk::setText(c.file, display_path(replace_all(name, "/", "\\")));
  tk::setText(c.percent, percent);
  tk::doEvents(c.file);
  tk::doEvents(c.percent);
  tk::doEvents(0);
  Progress& p = progress();
  p.drawn = true;
  p.percent = percent;
  p.held = false;
}

}  // namespace

void create_status_window() {
  using namespace tk;
  ProgramControls& c = program().ids;
  c.status = createEx(Window, "Window1", 0, "center", "center", 360, 68,
                      Style{WS_POPUP_, WS_DLGFRAME_}, 0);
  setVisibility(c.status, 0);
  c.action = createEx(CenteredLabel, "lAksi", c.status, 0, 4, 360, 20, 0, 0);
  c.percent = createEx(CenteredLabel, "0%", c.status, 320, 24, 40, 20, 0, 0);
  // One line whatever the name's length: a long name loses its middle, and the
  // file's own name at its end stays readable. A name's "&" is shown as it is.
  c.file =
      createEx(CenteredLabel, "", c.status, 0, 24, 360, 20, SS_PATHELLIPSIS_ | SS_NOPREFIX_, 0);
  c.thanks =
      createEx(CenteredLabel, "Thanks for using Ilvar Portable", c.status, 0, 44, 360, 20, 0, 0);
  progress() = Progress{};
}

void show_status(const std::string& action) {
  tk::setText(program().ids.action, action);
  tk::setVisibility(program().ids.status, 1);
  for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
  // The next run's first file is drawn whatever the clock says.
  progress().drawn = false;
  progress().held = false;
}

std::string percent_text(long long numerator, long long denominator) {
  // The percentage as a real number, its fraction dropped. A zero denominator
  // (never passed by the runs) shows 0% rather than dividing by zero.
  double p = denominator != 0
                 ? static_cast<double>(numerator) * 100.0 / static_cast<double>(denominator)
                 : 0.0;
  if (p > kMaxShownPercent) p = kMaxShownPercent;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d%%", static_cast<int>(p));
  return buffer;
}

void show_progress(const std::string& name, long long numerator, long long denominator) {
  Progress& p = progress();
  const std::string percent = percent_text(numerator, denominator);
  const double now = program_hooks().tick();
  if (!p.drawn || percent != p.percent || numerator >= denominator ||
      now - p.drawn_at >= kProgressDrawSeconds) {
    p.drawn_at = now;
    draw(name, percent);
    return;
  }
  p.held = true;
  p.held_name = name;
}

void flush_progress() {
  Progress& p = progress();
  if (p.held) draw(p.held_name, p.percent);
}
