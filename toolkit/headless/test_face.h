// The face tests use: the test plays the user (types into the edit field,
// ticks the box, clicks, closes windows, lets timers tick) and reads back
// every control's state, every text the program set and every message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/headless/headless.h"

namespace tk::test {

struct MessageBoxShown {
  std::string text;
  std::string title;
  std::uint32_t style = 0;
  bool operator==(const MessageBoxShown&) const = default;
};

struct TextSet {
  ControlId control = 0;
  std::string text;
};

class TestFace final : public headless::Face {
 public:
  // Called when a message loop has nothing to handle, with the loop's window
  // and the number of such turns so far (from 1). Without it the window is
  // closed, as a user would close it.
  std::function<void(ControlId window, int turn)> on_idle;
  // Called for each message box, after it has been recorded.
  std::function<void(const MessageBoxShown&)> on_message_box;
  // The button code every message box answers.
  int answer = 1;

  std::vector<MessageBoxShown> message_boxes;
  std::vector<TextSet> texts;
  int refreshes = 0;
  int idle_turns = 0;

  // The texts the program set on one control, in order.
  std::vector<std::string> textsOf(ControlId control) const;

  void refresh(ControlId /*filter*/) override { ++refreshes; }
  void textChanged(ControlId control, const std::string& text) override;
  int messageBox(const std::string& text, const std::string& title, std::uint32_t style) override;
  void idle(ControlId loop_window) override;
  bool realTimeTimers() const override { return false; }
};

// Forgets all toolkit state and installs a fresh test face.
TestFace& install();
// The face installed by install().
TestFace& face();

// Playing the user.
inline void typeText(ControlId list, const std::string& text) { headless::userSetText(list, text); }
inline void setChecked(ControlId box, int checked) { headless::userSetChecked(box, checked); }
inline void click(ControlId button) { headless::postClick(button); }
inline void closeWindow(ControlId window) { headless::postClose(window); }
inline void tickTimer(ControlId window, int timer_id) { headless::tickTimer(window, timer_id); }

// Binds a routine that may capture the test's locals, where bindHandler takes
// only a plain function. One routine per control and event (not Screen); a
// later one replaces it.
using Routine = std::function<void(const Params& params)>;
void onEvent(ControlId control, int event, Routine routine);

// Reading back.
inline const headless::Control& control(ControlId id) { return *headless::control(id); }

}  // namespace tk::test
