// Shared pieces of the native toolkit's tests: the program's main window in
// which the tests run, child processes for the paths that end the process,
// and a watcher thread that answers the toolkit's error dialogs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/win32/toolkit_win32.h"

namespace tktest {

// The main window whose Activate handler runs all tests inside WinMain.
tk::ControlId testMainWindow();
// Whether doEvents before WinMain left a posted message alone.
bool doEventsBeforeWinMainWasIdle();

// A scenario that runs in a child process: `exe --child NAME`. Its return
// value becomes the exit status (unless the toolkit ends the process first).
using Scenario = int (*)();
struct ChildScenario {
  ChildScenario(const char* name, Scenario run);
};
// Runs the scenario in a child process and returns its exit status, or -1
// when it could not be started or did not end within a minute.
int runChild(const std::string& name);

// Buttons as the message box numbers them.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

struct DialogSeen {
  std::string title;
  std::string body;
  bool yes = false, no = false, cancel = false, ok = false;
  bool exclamation_icon = false, hand_icon = false;
};

// Answers the toolkit's error dialogs (in this or any process) in order with
// the given buttons; further dialogs get the first button of their kind.
class DialogWatcher {
 public:
  explicit DialogWatcher(std::vector<int> answers);
  ~DialogWatcher();
  // Stops watching and returns what was seen.
  std::vector<DialogSeen> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Runs handlers and timers: doEvents with short sleeps until done() or the
// number of rounds is used up.
bool pumpUntil(bool (*done)(), int rounds = 400);

}  // namespace tktest
