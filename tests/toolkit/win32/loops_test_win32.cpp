// Tests of the native toolkit's events, loops, modal windows, timers and
// focus under Wine (user32). They run inside the test main window's Activate
// handler, so the toolkit's main loop is running as in the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/toolkit/win32/harness.h"

namespace {

using tk::ControlId;

HWND hwndOf(ControlId id) { return static_cast<HWND>(tk::win32::getHandle(id)); }

// bindHandler takes plain functions without a context: the handlers here
// log into, find their controls in, and report through this one static.
struct Bound {
  std::vector<std::string> log;
  ControlId chooser = 0;
  ControlId combo = 0;
  ControlId button = 0;
  int closes = 0;
  std::vector<std::pair<std::string, long>> ticks;
  // The chooser's modal run.
  bool focus_in_open = false;
  bool focus_on_combo = false;
  bool hidden_after_close = false;
  int close_state_after_close = -1;
  ControlId modal_in_click = 0;
  bool main_refused = false;
  bool focus_back = false;
  int app_seen = 0;
  int second_activate = 0;
  // The scenarios run in a child process.
  bool close_refused = false;
  int activations = 0;
};
Bound g_bound;

void logEvent(const char* what, ControlId self) {
  g_bound.log.push_back(std::string(what) +
                        (IsWindowVisible(hwndOf(self)) ? " visible" : " hidden"));
}

void onOpen(ControlId self, int, const tk::Params&) { logEvent("Open", self); }
void onActivate(ControlId self, int, const tk::Params&) { logEvent("Activate", self); }
void onClose(ControlId, int, const tk::Params&) { ++g_bound.closes; }

// A window like the program's chooser, with the controls the program uses.
struct Chooser {
  Chooser() {
    g_bound.log.clear();
    g_bound.closes = 0;
    g_bound.chooser = tk::createEx(tk::Window, "Welcome to Ilvar Portable", 0, "center", "center",
                                   324, 117, {tk::WS_DLGFRAME_}, {tk::WS_EX_DLGMODALFRAME_});
    tk::createEx(tk::Label, "Please select", g_bound.chooser, 8, 8, 300, 20, 0, 0);
    g_bound.combo =
        tk::createEx(tk::ComboBox, "lsProfile", g_bound.chooser, 40, 32, 272, 120, 0, 0);
    g_bound.button =
        tk::createEx(tk::DefaultButton, "Start!", g_bound.chooser, 224, 56, 88, 28, 0, 0);
    tk::bindHandler(g_bound.chooser, tk::Close, onClose);
  }
  ~Chooser() { tk::win32::destroyControl(g_bound.chooser); }
};

TEST(OpenWindow, FiresOpenWhileHiddenAndActivateLast) {
  Chooser c;
  tk::bindHandler(g_bound.chooser, tk::Open, onOpen);
  tk::bindHandler(g_bound.chooser, tk::Activate, onActivate);
  tk::openWindow(g_bound.chooser, tk::Normal);
  EXPECT_EQ(g_bound.log, (std::vector<std::string>{"Open hidden", "Activate visible"}));
  // Every call fires both again, also for a window that is already open.
  tk::openWindow(g_bound.chooser, tk::Normal);
  EXPECT_EQ(g_bound.log.size(), 4u);
  // Showing through setVisibility fires neither.
  tk::setVisibility(g_bound.chooser, 0);
  tk::setVisibility(g_bound.chooser, 1);
  EXPECT_EQ(g_bound.log.size(), 4u);
}

void bump(ControlId, int, const tk::Params&) { g_bound.log.push_back("bump"); }

TEST(Events, ARoutineBoundTwiceRunsOnceAndNullEmptiesTheList) {
  Chooser c;
  tk::bindHandler(g_bound.chooser, tk::Close, bump);
  tk::bindHandler(g_bound.chooser, tk::Close, bump);
  tk::bindHandler(g_bound.chooser, 25, bump);  // out of range: skipped
  tk::bindHandler(0, tk::Close, bump);   // no such control: skipped
  tk::win32::fireEvent(g_bound.chooser, tk::Close, {});
  EXPECT_EQ(g_bound.log, (std::vector<std::string>{"bump"}));
  EXPECT_EQ(g_bound.closes, 1);
  tk::bindHandler(g_bound.chooser, tk::Close, nullptr);
  tk::win32::fireEvent(g_bound.chooser, tk::Close, {});
  EXPECT_EQ(g_bound.log.size(), 1u);
  EXPECT_EQ(g_bound.closes, 1);
  EXPECT_EQ(tk::win32::fireEvent(g_bound.chooser, 25, {}), 0);
}

void setsResult(ControlId, int, const tk::Params&) { tk::win32::setEventResult(42); }

TEST(Events, FireEventReturnsTheSlotAHandlerSet) {
  Chooser c;
  EXPECT_EQ(tk::win32::fireEvent(g_bound.chooser, tk::Open, {}), 0);
  tk::bindHandler(g_bound.chooser, tk::Open, setsResult);
  EXPECT_EQ(tk::win32::fireEvent(g_bound.chooser, tk::Open, {}), 42);
}

void screenTick(ControlId self, int, const tk::Params& p) {
  g_bound.ticks.emplace_back("screen " + std::to_string(self), p.at(0));
  tk::stopTimer(self, static_cast<int>(p.at(0)));
}
void windowTick(ControlId self, int, const tk::Params& p) {
  g_bound.ticks.emplace_back("window " + std::to_string(self), p.at(0));
}

TEST(Timers, AScreenHandlerRunsBeforeTheWindowsOwnForEveryWindow) {
  Chooser c;
  ControlId other = tk::createEx(tk::Window, "other", 0, 0, 0, 200, 100, 0, 0);
  g_bound.ticks.clear();
  tk::bindHandler(tk::Screen, tk::Timer, screenTick);
  tk::bindHandler(g_bound.chooser, tk::Timer, windowTick);
  tk::startTimer(g_bound.chooser, 2000, 10);
  tk::startTimer(other, 7, 10);
  EXPECT_TRUE(tktest::pumpUntil([] { return g_bound.ticks.size() >= 3; }));
  tk::bindHandler(tk::Screen, tk::Timer, nullptr);
  std::string chooser = std::to_string(g_bound.chooser);
  ASSERT_GE(g_bound.ticks.size(), 3u);
  auto first = std::find(g_bound.ticks.begin(), g_bound.ticks.end(),
                         std::make_pair("screen " + chooser, 2000L));
  ASSERT_NE(first, g_bound.ticks.end());
  ASSERT_NE(first + 1, g_bound.ticks.end());
  EXPECT_EQ(*(first + 1), std::make_pair("window " + chooser, 2000L));
  EXPECT_NE(std::find(g_bound.ticks.begin(), g_bound.ticks.end(),
                      std::make_pair("screen " + std::to_string(other), 7L)),
            g_bound.ticks.end());
  tk::win32::destroyControl(other);
}

// ---- the chooser's modal run, as the program drives it ----

void chooserOpen(ControlId self, int, const tk::Params&) {
  logEvent("Open", self);
  tk::setClientSize(self, 320, 92);
  tk::setFocus(g_bound.combo);  // the window is still hidden: nothing happens
  g_bound.focus_in_open = GetFocus() == hwndOf(g_bound.combo);
  tk::startTimer(self, 2000, 20);
}
void chooserTimer(ControlId self, int, const tk::Params& p) {
  g_bound.log.push_back("Timer " + std::to_string(p.at(0)));
  tk::stopTimer(self, 2000);
  tk::setFocus(g_bound.combo);
  HWND focus = GetFocus();
  g_bound.focus_on_combo =
      focus == hwndOf(g_bound.combo) || GetParent(focus) == hwndOf(g_bound.combo);
  SendMessageA(hwndOf(g_bound.button), BM_CLICK, 0, 0);
}
void startClick(ControlId self, int event, const tk::Params& p) {
  g_bound.log.push_back("Click " + std::to_string(self == g_bound.button) + " " +
                        std::to_string(event) + " " + std::to_string(p.size()));
  g_bound.modal_in_click = tk::win32::currentModal();
  tk::requestClose(g_bound.chooser);
  g_bound.hidden_after_close = !IsWindowVisible(hwndOf(g_bound.chooser));
  g_bound.close_state_after_close = tk::win32::closeState(g_bound.chooser);
  tk::requestClose(g_bound.chooser);  // a second close changes nothing
}

TEST(RunModal, ReturnsAfterTheClickHandlersClose) {
  Chooser c;
  tk::bindHandler(g_bound.chooser, tk::Open, chooserOpen);
  tk::bindHandler(g_bound.chooser, tk::Activate, onActivate);
  tk::bindHandler(g_bound.chooser, tk::Timer, chooserTimer);
  tk::bindHandler(g_bound.button, tk::Click, startClick);
  tk::runModal(g_bound.chooser);
  EXPECT_EQ(g_bound.log, (std::vector<std::string>{"Open hidden", "Activate visible", "Timer 2000",
                                                   "Click 1 4 0"}));
  EXPECT_FALSE(g_bound.focus_in_open);
  EXPECT_TRUE(g_bound.focus_on_combo);
  EXPECT_EQ(g_bound.modal_in_click, g_bound.chooser);
  EXPECT_TRUE(g_bound.hidden_after_close);
  EXPECT_EQ(g_bound.close_state_after_close, tk::kClosed);
  EXPECT_EQ(g_bound.closes, 1);  // neither the second request nor runModal's own closed it again
  EXPECT_EQ(tk::win32::currentModal(), 0);
  EXPECT_TRUE(tk::win32::validId(g_bound.chooser));  // hidden, not destroyed
  RECT client;
  GetClientRect(hwndOf(g_bound.chooser), &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 92);
  RECT outer;
  GetWindowRect(hwndOf(g_bound.chooser), &outer);
  EXPECT_EQ(outer.left, 350);  // the top-left corner stays where createEx put it
  EXPECT_EQ(outer.top, 326);
}

void closeMainThenChooser(ControlId self, int, const tk::Params&) {
  tk::stopTimer(self, 2000);
  ControlId main = tktest::testMainWindow();
  tk::setVisibility(main, 1);
  SetFocus(hwndOf(main));  // the focus goes straight back to the modal window
  g_bound.focus_back = GetFocus() == hwndOf(g_bound.chooser);
  tk::requestClose(main);
  g_bound.main_refused = tk::win32::validId(main) && tk::win32::closeState(main) == tk::kOpen &&
                         tk::win32::mainWindow() == main && GetFocus() == hwndOf(g_bound.chooser);
  tk::setVisibility(main, 0);
  // Closing by the system's command ends the loop the same way.
  SendMessageA(hwndOf(self), WM_SYSCOMMAND, SC_CLOSE, 0);
}

TEST(RunModal, TheMainWindowCannotCloseWhileAModalWindowIsOpen) {
  Chooser c;
  tk::bindHandler(g_bound.chooser, tk::Open, chooserOpen);
  tk::bindHandler(g_bound.chooser, tk::Timer, closeMainThenChooser);
  tk::runModal(g_bound.chooser);
  EXPECT_TRUE(g_bound.main_refused);
  EXPECT_TRUE(g_bound.focus_back);
  EXPECT_EQ(g_bound.closes, 1);
  EXPECT_FALSE(IsWindowVisible(hwndOf(g_bound.chooser)));
  EXPECT_EQ(tk::win32::currentModal(), 0);
}

void countApp(ControlId, int, const tk::Params& p) {
  if (p.at(0) == WM_APP + 1) ++g_bound.app_seen;
}

void drain() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

TEST(DoEvents, HandlesAtMostOneMessageForTheGivenControlAndNeverWaits) {
  Chooser c;
  ControlId other = tk::createEx(tk::Window, "other", 0, 0, 0, 200, 100, 0, 0);
  tk::bindHandler(g_bound.chooser, tk::win32::kEventBeforeMessage, countApp);
  tk::bindHandler(other, tk::win32::kEventBeforeMessage, countApp);
  drain();
  tk::doEvents(0);  // nothing pending: returns at once (a wait would hang here)
  g_bound.app_seen = 0;
  PostMessageA(hwndOf(g_bound.chooser), WM_APP + 1, 0, 0);
  PostMessageA(hwndOf(g_bound.chooser), WM_APP + 1, 0, 0);
  PostMessageA(hwndOf(other), WM_APP + 1, 0, 0);
  tk::doEvents(g_bound.chooser);
  EXPECT_EQ(g_bound.app_seen, 1);
  tk::doEvents(g_bound.combo);  // nothing for the combo box: the chooser's message stays
  EXPECT_EQ(g_bound.app_seen, 1);
  MSG m;
  EXPECT_TRUE(PeekMessageA(&m, hwndOf(other), WM_APP + 1, WM_APP + 1, PM_NOREMOVE));
  tk::doEvents(other);
  EXPECT_EQ(g_bound.app_seen, 2);
  EXPECT_FALSE(PeekMessageA(&m, hwndOf(other), WM_APP + 1, WM_APP + 1, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageA(&m, hwndOf(g_bound.chooser), WM_APP + 1, WM_APP + 1, PM_NOREMOVE));
  drain();
  tk::win32::destroyControl(other);
}

TEST(DoEvents, PaintsTheGivenLabelOnly) {
  Chooser c;
  ControlId a = tk::createEx(tk::CenteredLabel, "a", g_bound.chooser, 0, 0, 100, 20, 0, 0);
  ControlId b = tk::createEx(tk::CenteredLabel, "b", g_bound.chooser, 0, 30, 100, 20, 0, 0);
  tk::setVisibility(g_bound.chooser, 1);
  drain();
  InvalidateRect(hwndOf(a), nullptr, TRUE);
  InvalidateRect(hwndOf(b), nullptr, TRUE);
  tk::doEvents(a);
  EXPECT_FALSE(GetUpdateRect(hwndOf(a), nullptr, FALSE));
  EXPECT_TRUE(GetUpdateRect(hwndOf(b), nullptr, FALSE));
  tk::setVisibility(g_bound.chooser, 0);
  drain();
}

TEST(DoEvents, DoesNothingBeforeWinMain) { EXPECT_TRUE(tktest::doEventsBeforeWinMainWasIdle()); }

void secondActivate(ControlId, int, const tk::Params&) { ++g_bound.second_activate; }

TEST(WinMain, RunsOncePerProcess) {
  Chooser c;
  tk::bindHandler(g_bound.chooser, tk::Activate, secondActivate);
  EXPECT_EQ(tk::win32::runningState(), tk::kRunning);
  tk::WinMain(g_bound.chooser, tk::Normal);
  EXPECT_EQ(g_bound.second_activate, 0);
  EXPECT_EQ(tk::win32::mainWindow(), tktest::testMainWindow());
}

TEST(MessageTable, FrequentMessagesMoveToTheFront) {
  Chooser c;
  std::vector<unsigned> before = tk::win32::messageTableOrder();
  ASSERT_EQ(before.size(), 30u);
  ASSERT_NE(before.front(), unsigned{WM_SYSCOLORCHANGE});
  for (int i = 0; i < 20000; ++i) SendMessageA(hwndOf(g_bound.chooser), WM_SYSCOLORCHANGE, 0, 0);
  std::vector<unsigned> after = tk::win32::messageTableOrder();
  EXPECT_EQ(after.front(), unsigned{WM_SYSCOLORCHANGE});
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(before, after);  // the rows change places, none is lost
}

// ---- keyboard and focus in the chooser, as a user meets them ----

// Posts a key to the control with the focus and lets the toolkit handle it.
void pressKey(WPARAM key) {
  HWND focus = GetFocus();
  PostMessageA(focus, WM_KEYDOWN, key, 1);
  PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
  for (int i = 0; i < 20; ++i) tk::doEvents(0);
}

void clickOn(HWND h) {
  PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  for (int i = 0; i < 20; ++i) tk::doEvents(0);
}

bool focusIn(ControlId id) {
  HWND focus = GetFocus();
  return focus != nullptr && (focus == hwndOf(id) || IsChild(hwndOf(id), focus));
}

bool looksDefault(ControlId button) {
  return (GetWindowLongA(hwndOf(button), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

TEST(DialogKeys, StartKeepsItsDefaultLookWhereverTheFocusGoes) {
  Chooser c;
  ControlId box =
      tk::createEx(tk::CheckBox, "Don't ask me again", g_bound.chooser, 40, 60, 148, 20, 0, 0);
  // The check box is created after the button here; the tab order follows.
  tk::openWindow(g_bound.chooser, tk::Normal);
  tk::setFocus(g_bound.combo);
  struct Step {
    const char* what;
    void (*act)(ControlId box);
    ControlId* focus;  // where the focus is afterwards (nullptr: the check box)
  };
  const Step steps[] = {
      {"Tab from the list", [](ControlId) { pressKey(VK_TAB); }, &g_bound.button},
      {"Tab from Start!", [](ControlId) { pressKey(VK_TAB); }, nullptr},
      {"Tab from the check box", [](ControlId) { pressKey(VK_TAB); }, &g_bound.combo},
      {"click on the check box", [](ControlId b) { clickOn(hwndOf(b)); }, nullptr},
      {"click in the list's field",
       [](ControlId) { clickOn(GetWindow(hwndOf(g_bound.combo), GW_CHILD)); }, &g_bound.combo},
  };
  for (const Step& s : steps) {
    s.act(box);
    EXPECT_TRUE(focusIn(s.focus != nullptr ? *s.focus : box)) << s.what;
    // The default look stays on Start! (with the focus on it, it has it too).
    EXPECT_TRUE(looksDefault(g_bound.button)) << s.what;
  }
  tk::setVisibility(g_bound.chooser, 0);
  drain();
}

TEST(DialogKeys, TheFocusComesBackWhenTheWindowIsActivatedAgain) {
  Chooser c;
  ControlId other = tk::createEx(tk::Window, "other", 0, 0, 0, 200, 100, 0, 0);
  tk::openWindow(g_bound.chooser, tk::Normal);
  tk::setFocus(g_bound.combo);
  ASSERT_TRUE(focusIn(g_bound.combo));
  struct Step {
    const char* what;
    HWND (*activate)(HWND h);
  };
  const Step steps[] = {
      {"SetActiveWindow", [](HWND h) { return SetActiveWindow(h); }},
      {"SetForegroundWindow",
       [](HWND h) { return SetForegroundWindow(h) ? h : static_cast<HWND>(nullptr); }},
  };
  for (const Step& s : steps) {
    SendMessageA(hwndOf(g_bound.combo), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed"));
    tk::setVisibility(other, 1);
    SetActiveWindow(hwndOf(other));
    drain();
    ASSERT_FALSE(focusIn(g_bound.combo)) << s.what;
    s.activate(hwndOf(g_bound.chooser));
    drain();
    EXPECT_TRUE(focusIn(g_bound.combo)) << s.what;
    // What is typed now goes into the field.
    PostMessageA(GetFocus(), WM_CHAR, 'x', 1);
    drain();
    EXPECT_NE(tk::getText(g_bound.combo).find('x'), std::string::npos) << s.what;
  }
  tk::setVisibility(g_bound.chooser, 0);
  tk::win32::destroyControl(other);
  drain();
}

// ---- the main window while its Activate handler runs ----

void closeWhileBusy(ControlId self, int, const tk::Params&) {
  HWND h = hwndOf(self);
  // Asked to close the ways a user or another program can: a close message,
  // Alt+F4 (the system's close command) and Escape.
  SendMessageA(h, WM_CLOSE, 0, 0);
  SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(h, WM_KEYDOWN, VK_ESCAPE, 1);
  for (int i = 0; i < 10; ++i) tk::doEvents(0);
  g_bound.close_refused = IsWindow(h) && IsWindowVisible(h) && tk::win32::validId(self) &&
                          tk::win32::closeState(self) == tk::kOpen &&
                          tk::win32::mainWindow() == self;
  // Once the handler is done, a close works. (A window destroyed above took
  // its quit request with it into doEvents: end the loop all the same.)
  if (IsWindow(h)) {
    PostMessageA(h, WM_CLOSE, 0, 0);
  } else {
    PostQuitMessage(0);
  }
}
int busyMainWindowStays() {
  ControlId w = tk::createEx(tk::Window, "busy", 0, "center", "center", 360, 68,
                             {tk::WS_POPUP_, tk::WS_DLGFRAME_}, 0);
  tk::bindHandler(w, tk::Activate, closeWhileBusy);
  tk::WinMain(w, tk::Normal);
  return g_bound.close_refused && tk::win32::runningState() == tk::kEnded ? 42 : 3;
}
tktest::ChildScenario s0("busy-main-window", busyMainWindowStays);

TEST(CloseProtocol, AWindowStaysWhileItsActivateHandlerRuns) {
  EXPECT_EQ(tktest::runChild("busy-main-window"), 42);
}

// ---- the main loop's end, in a child process ----

void closeAtOnce(ControlId self, int, const tk::Params&) {
  ++g_bound.activations;
  PostMessageA(hwndOf(self), WM_CLOSE, 0, 0);
}
int winMainEndsWhenTheMainWindowCloses() {
  ControlId w = tk::createEx(tk::Window, "main", 0, 0, 0, 200, 100, 0, 0);
  tk::bindHandler(w, tk::Activate, closeAtOnce);
  tk::WinMain(w, tk::Normal);
  bool ended = tk::win32::runningState() == tk::kEnded && !tk::win32::validId(w) &&
               tk::win32::mainWindow() == 0;
  tk::WinMain(w, tk::Normal);  // once per process
  return ended && g_bound.activations == 1 ? 42 : 3;
}
tktest::ChildScenario s1("winmain-close", winMainEndsWhenTheMainWindowCloses);

TEST(WinMain, ReturnsWhenTheMainWindowIsClosed) {
  EXPECT_EQ(tktest::runChild("winmain-close"), 42);
}

}  // namespace
