// The in-memory toolkit's own interface: the per-control records it keeps,
// the face that stands in for a screen, and the few operations a face uses to
// play the user (post a click, close a window, let a timer tick).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/states.h"
#include "toolkit/toolkit.h"

namespace tk::headless {

// The screen that "center" is resolved against.
inline constexpr int kScreenWidth = 1024;
inline constexpr int kScreenHeight = 768;

struct TimerState {
  int id = 0;
  int period_ms = 0;
  // A tick is waiting to be delivered; ticks do not queue up.
  bool pending = false;
  // Monotonic milliseconds at which the next tick falls due (real-time faces).
  double due_ms = 0;
};

struct Control {
  ControlId id = 0;
  int kind = 0;
  ControlId parent = 0;
  std::string caption;    // as created
  std::string text;       // current text (a combo box: its edit field)
  bool text_set = false;  // setText has been called since creation
  bool x_center = false;
  bool y_center = false;
  int x = 0;  // resolved pixels
  int y = 0;
  int width = 0;  // outer size
  int height = 0;
  int client_width = 0;
  int client_height = 0;
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  bool visible = false;
  std::vector<std::string> items;
  int index = 0;  // selected item from 1, 0 none
  int checked = 0;
  std::vector<TimerState> timers;
  int close_state = kClosed;
  int open_mode = Normal;
  int modal_level = 0;  // loops running when it was opened modally
};

// What stands in for the screen and the user. The toolkit calls it; it may
// call back into the toolkit (play the user) from idle().
class Face {
 public:
  virtual ~Face() = default;
  // The toolkit forgot all its controls (tests): forget what was shown.
  virtual void reset() {}
  // doEvents handled (or looked for) a message for the filter (0: any
  // window), or a loop went idle: a good moment to show what changed.
  virtual void refresh(ControlId /*filter*/) {}
  // A window or control was shown or hidden.
  virtual void visibilityChanged(ControlId /*control*/) {}
  // A text was set by the program.
  virtual void textChanged(ControlId /*control*/, const std::string& /*text*/) {}
  // A message box; returns the button code.
  virtual int messageBox(const std::string& text, const std::string& title,
                         std::uint32_t style) = 0;
  // A message loop found nothing to handle. loop_window is the window whose
  // loop runs (the modal window, or the main window for WinMain's loop). The
  // face plays the user here: it posts a message or closes a window; a face
  // that does neither gets its window closed for it.
  virtual void idle(ControlId loop_window) = 0;
  // True when timers fall due by the clock; otherwise only tickTimer delivers.
  virtual bool realTimeTimers() const = 0;
};

// Monotonic milliseconds: when timers fall due and when a face last drew.
double nowMs();

// The face in use; the terminal face unless another was installed. The
// toolkit does not own an installed face.
Face& face();
void setFace(Face* face);

// Forgets every control, handler, timer and message, and the running state,
// and installs the given face (nullptr: the terminal face). Tests only.
void reset(Face* face);

// Read access to the records; nullptr for an id that is not live.
const Control* control(ControlId id);
// Every live id in creation order, the pseudo controls included.
std::vector<ControlId> controlIds();
// Children of a window in creation order.
std::vector<ControlId> children(ControlId window);
// Shown, and every parent shown.
bool effectivelyVisible(ControlId id);
ControlId focused();
ControlId currentModal();
ControlId mainWindow();
int runningState();

// Playing the user.
void userSetText(ControlId control, const std::string& text);  // typing
void userSetChecked(ControlId checkbox, int checked);
void postClick(ControlId button);
// The system's close command for a window (the close box, Alt+F4).
void postClose(ControlId window);
// Lets one tick of a running timer through with the next handled message.
void tickTimer(ControlId window, int timer_id);
// Handles one pending message now if there is one; true if one was handled.
bool pumpOne();

}  // namespace tk::headless
