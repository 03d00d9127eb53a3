// Start-up, the verb dispatch and the progress display. One start carries out
// one verb inside the status window's activation handler and then ends the
// process from there; the toolkit's main loop never runs for its own sake.
#include "main/program.h"

#include <cstdio>

#include "support/clock.h"
#include "support/console.h"
#include "support/display_path.h"
#include "support/file_io.h"
#include "support/text.h"

namespace {

// Keeps the conversion to int defined for any numerator.
constexpr double kMaxShownPercent = 1e9;

constexpr ProgramHooks kSystemHooks = {exit_process, tick_seconds, sleep_ms};

ProgramHooks& hooks() {
  static ProgramHooks h = kSystemHooks;
  return h;
}

// Takes the archive directory's lock, waiting for another start to finish
// for a while; false when it is still held after that. A directory where no
// lock can be made (read-only, missing) is used without one.
bool lock_archive_directory(FileLock& lock) {
  const std::string path = join_path(archive_dir(), kLockName);
  if (lock.acquire(path) != FileLock::Result::kBusy) return true;
  const double began = hooks().tick();
  for (;;) {
    hooks().sleep(kLockPollMs);
    if (lock.acquire(path) != FileLock::Result::kBusy) return true;
    if (hooks().tick() - began >= kLockWaitSeconds) return false;
  }
}

}  // namespace

ProgramState& program() {
  static ProgramState state;
  return state;
}

void set_program_hooks(const ProgramHooks& h) { hooks() = h; }
const ProgramHooks& program_hooks() { return hooks(); }

std::string argument(int n) {
  // The list holds the program's path twice before the arguments.
  const auto& line = program().command_line;
  std::size_t at = static_cast<std::size_t>(n) + 1;
  return at < line.size() ? line[at] : std::string();
}

std::string home_dir() { return argument(2); }
std::string archive_dir() { return argument(3); }
std::string profile_dir() {
  // The settings file's paths are stored relative to the parent of this path;
  // a home directory given with trailing separators would make that parent
  // end in one, and the stored text after the placeholder lose it. A home
  // that is a root directory keeps its one separator.
  std::string home = home_dir();
  while (home.size() > 1 && (home.back() == '\\' || home.back() == '/')) home.pop_back();
  return home + "\\" + kProfileSubdir;
}

void program_setup(const std::vector<std::string>& args) {
  using namespace tk;
  ProgramState& p = program();
  p = ProgramState{};
  const std::string self = args.empty() ? std::string() : args[0];
  p.command_line = {self, self};
  for (std::size_t i = 1; i < args.size(); ++i) p.command_line.push_back(args[i]);
  p.archive_size = 1;
  p.chosen_name.clear();

  ProgramControls& c = p.ids;
  c.status = createEx(Window, "Window1", 0, "center", "center", 360, 68,
                      Style{WS_POPUP_, WS_DLGFRAME_}, 0);
  setVisibility(c.status, 0);
  c.action = createEx(CenteredLabel, "lAksi", c.status, 0, 4, 360, 20, 0, 0);
  c.percent = createEx(CenteredLabel, "0%", c.status, 320, 24, 40, 20, 0, 0);
  // One line whatever the name's length: a long name loses its middle, and the
  // file's own name at its end stays readable.
  c.file = createEx(CenteredLabel, "", c.status, 0, 24, 360, 20, SS_PATHELLIPSIS_, 0);
  c.thanks =
      createEx(CenteredLabel, "Thanks for using Ilvar Portable", c.status, 0, 44, 360, 20, 0, 0);

  c.chooser = createEx(Window, "Welcome to Ilvar Portable", 0, "center", "center", 324, 117,
                       Style{WS_DLGFRAME_}, Style{WS_EX_DLGMODALFRAME_});
  c.prompt =
      createEx(Label, "Please select an Ilvar Portable profile or type a new one:", c.chooser, 8, 8,
               300, 20, 0, 0);
  c.list = createEx(ComboBox, "lsProfile", c.chooser, 40, 32, 272, 120, 0, 0);
  c.remember = createEx(CheckBox, "Don't ask me again", c.chooser, 40, 60, 148, 20, 0, 0);
  c.start = createEx(DefaultButton, "Start!", c.chooser, 224, 56, 88, 28, 0, 0);

  p.burn_list.clear();
  p.zero_block.assign(kZeroBlockSize, 0);

  bindHandler(c.status, Activate, Window1_onActivate);
  bindHandler(c.chooser, Open, Window2_onOpen);
  bindHandler(c.chooser, Timer, Window2_onTimer);
  bindHandler(c.start, Click, PushButton11_onClick);
}

int program_main(const std::vector<std::string>& args) {
  program_setup(args);
  tk::WinMain(program().ids.status, tk::Normal);
  return kExitDone;
}

int dispatch_verb() {
  ProgramState& p = program();
  tk::setVisibility(p.ids.status, 0);
  const std::string verb = argument(1);

  // Three separate tests, in this order: a verb holding both "arsip" and
  // "bakar" packs first and burns afterwards. Without all three arguments
  // nothing is done: an empty home or archive directory would make every path
  // relative to wherever the program happens to run.
  const bool complete = !home_dir().empty() && !archive_dir().empty();
  const bool unpack = complete && verb == kVerbUnpack;
  const bool pack = complete && match_nocase(1, verb, kVerbPack) != 0;
  bool burn = complete && match_nocase(1, verb, kVerbBurn) != 0;

  // One start at a time per archive directory: two at once would write one
  // archive together, or unpack while the other packs. The lock goes with
  // this function's end, or with the process however it ends.
  FileLock lock;
  if ((unpack || pack || burn) && !lock_archive_directory(lock)) {
    tk::messageBox("Another ilhome is still working on " + display_path(archive_dir()) +
                       ".\n\nTry again when it has finished.",
                   "Error", 0);
    // No browser is to start on a profile that was not set up.
    return unpack ? kExitNoProfile : kExitDone;
  }
  p.start_time = hooks().tick();

  if (unpack) {
    if (choose_archive() == 0) return kExitNoProfile;
    unpack_run();
  }
  // A profile that could not be saved is not burned: it is the only copy
  // of this session.
  if (pack && pack_run() == PackOutcome::kNotSaved) burn = false;
  if (burn) burn_run();

  for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
  return kExitDone;
}

void Window1_onActivate(tk::ControlId, int, const tk::Params&) { hooks().exit(dispatch_verb()); }

void show_status(const std::string& action) {
  tk::setText(program().ids.action, action);
  tk::setVisibility(program().ids.status, 1);
  for (int i = 0; i < kStatusRepaints; ++i) tk::doEvents(0);
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
  const ProgramControls& c = program().ids;
  tk::setText(c.file, name);
  tk::setText(c.percent, percent_text(numerator, denominator));
  tk::doEvents(c.file);
  tk::doEvents(c.percent);
  tk::doEvents(0);
}
