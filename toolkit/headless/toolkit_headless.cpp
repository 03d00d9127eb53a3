// The toolkit without native windows: every control is a record in memory,
// and a face (terminal or test) stands in for the screen and the user. The
// order of events is the one the program relies on: Open before a window
// shows, Activate last, timers and clicks only while messages are handled,
// runModal returning once its window has been closed.
#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <thread>
#include <utility>

#include "support/console.h"
#include "toolkit/headless/headless.h"
#include "toolkit/headless/terminal_face.h"

namespace tk {
namespace {

using headless::Control;

constexpr std::uint32_t kWsMinimizeBox = 0x00020000u;
constexpr std::uint32_t kWsVisible = 0x10000000u;
// A loop whose face does nothing this many times in a row gets its window
// closed, so a forgetful face cannot hang the program.
constexpr int kMaxIdleTurns = 1000;
// Longest nap while waiting for a real-time timer.
constexpr double kMaxNapMs = 100;

struct KindDefaults {
  int kind;
  std::uint32_t style;
  std::uint32_t ex_style;
};

constexpr KindDefaults kKindDefaults[] = {
    {Window, 0x00CF0000u, 0x10u}, {DefaultButton, 0x54010001u, 0},
    {CheckBox, 0x54010003u, 0},   {ComboBox, 0x54210202u, 0x210u},
    {Label, 0x54000000u, 0},      {CenteredLabel, 0x54000001u, 0},
};

enum class MessageKind { kClick, kClose };

struct Message {
  ControlId target;
  MessageKind kind;
};

struct ModalEntry {
  ControlId window = 0;
  int mode = Normal;
  int level = 0;
};

struct State {
  std::map<ControlId, Control> controls;
  ControlId next_id = 1;
  std::map<std::pair<ControlId, int>, std::vector<Handler>> handlers;
  std::deque<Message> queue;
  std::vector<int> stop_flags;  // one per running loop, innermost last
  ModalEntry modal;
  std::vector<ModalEntry> modal_stack;
  ControlId main_window = 0;
  ControlId focus = 0;
  int running = kNotStarted;
  headless::Face* face = nullptr;
};

// Never destroyed: the terminal face still reads it from its exit handler.
State& state() {
  static State* s = new State();
  return *s;
}

Control* find(ControlId id) {
  auto& controls = state().controls;
  auto it = controls.find(id);
  return it == controls.end() ? nullptr : &it->second;
}

Control* findKind(ControlId id, int kind) {
  Control* c = find(id);
  return c != nullptr && c->kind == kind ? c : nullptr;
}

// The top-level window a control belongs to (itself for a window).
ControlId windowOf(ControlId id) {
  Control* c = find(id);
  while (c != nullptr && c->parent != 0) {
    id = c->parent;
    c = find(id);
  }
  return id;
}

bool within(ControlId id, ControlId ancestor) {
  for (Control* c = find(id); c != nullptr; c = find(c->parent)) {
    if (c->id == ancestor) return true;
    if (c->parent == 0) break;
  }
  return false;
}

void fire(ControlId id, int event, const Params& params) {
  auto& handlers = state().handlers;
  for (ControlId key : {id, Screen}) {
    auto it = handlers.find({key, event});
    if (it == handlers.end()) continue;
    const std::vector<Handler> routines = it->second;  // handlers may bind more
    for (Handler routine : routines) routine(id, event, params);
    if (id == Screen) break;
  }
}

[[noreturn]] void fatal(const std::string& text) {
  headless::face().messageBox(text, "Error", 0);
  exit_process(1);
}

ControlId allocate(Control record) {
  State& s = state();
  record.id = s.next_id++;
  ControlId id = record.id;
  s.controls.emplace(id, std::move(record));
  return id;
}

void createPseudoControls() {
  Control screen;
  screen.width = screen.client_width = headless::kScreenWidth;
  screen.height = screen.client_height = headless::kScreenHeight;
  screen.visible = true;
  screen.caption = "Screen";
  allocate(screen);  // becomes Screen (1)
  allocate(Control{});
}

void popModal() {
  State& s = state();
  if (s.modal_stack.empty()) return;  // nothing to restore
  s.modal = s.modal_stack.back();
  s.modal_stack.pop_back();
}

void stopInnermostLoop() {
  State& s = state();
  if (!s.stop_flags.empty()) s.stop_flags.back() = 1;
}

void updateRealTimeTimers() {
  if (!headless::face().realTimeTimers()) return;
  double now = headless::nowMs();
  for (auto& [id, c] : state().controls) {
    for (auto& t : c.timers) {
      if (now >= t.due_ms) {
        t.pending = true;
        t.due_ms = now + t.period_ms;
      }
    }
  }
}

// Handles at most one message for the filter (0: any window). Posted messages
// come first; a timer tick is delivered only when nothing else waits, as the
// platform does.
bool dispatchOne(ControlId filter) {
  State& s = state();
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    if (filter != 0 && !within(it->target, filter)) continue;
    Message m = *it;
    s.queue.erase(it);
    if (find(m.target) == nullptr) return true;
    if (m.kind == MessageKind::kClose) {
      requestClose(m.target);
    } else {
      if (Control* c = findKind(m.target, CheckBox)) c->checked = c->checked != 0 ? 0 : 1;
      fire(m.target, Click, {});
    }
    return true;
  }
  updateRealTimeTimers();
  for (auto& [id, c] : s.controls) {
    // Most controls have no timer; asking first spares the walk up to the
    // window for each of them, at every doEvents of a run.
    if (c.timers.empty() || (filter != 0 && !within(id, filter))) continue;
    for (auto& t : c.timers) {
      if (!t.pending) continue;
      t.pending = false;
      ControlId window = id;
      long timer_id = t.id;
      fire(window, Timer, {timer_id});
      return true;
    }
  }
  return false;
}

// Milliseconds until the next real-time timer falls due, or a negative value
// when none is running.
double nextTimerDue() {
  if (!headless::face().realTimeTimers()) return -1;
  double best = -1;
  double now = headless::nowMs();
  for (auto& [id, c] : state().controls) {
    for (auto& t : c.timers) {
      double wait = std::max(0.0, t.due_ms - now);
      if (best < 0 || wait < best) best = wait;
    }
  }
  return best;
}

void runMessageLoop(ControlId loop_window) {
  State& s = state();
  s.stop_flags.push_back(0);
  const std::size_t level = s.stop_flags.size();
  int idle_turns = 0;
  while (s.stop_flags[level - 1] == 0 && s.running == kRunning) {
    if (dispatchOne(0)) {
      idle_turns = 0;
      continue;
    }
    double wait = nextTimerDue();
    if (wait >= 0) {
      std::this_thread::sleep_for(
          std::chrono::duration<double, std::milli>(std::min(wait, kMaxNapMs)));
      continue;
    }
    std::size_t queued = s.queue.size();
    headless::face().refresh(0);
    headless::face().idle(loop_window);
    if (s.queue.size() > queued || s.stop_flags[level - 1] != 0) {
      idle_turns = 0;
      continue;
    }
    if (++idle_turns >= kMaxIdleTurns) {
      requestClose(loop_window);
      s.stop_flags[level - 1] = 1;
    }
  }
  s.stop_flags.pop_back();
}

}  // namespace

// ---- Creation and binding ----

ControlId createEx(int kind, const std::string& caption, ControlId parent, Coord x, Coord y,
                   int width, int height, const Style& styles, const Style& exStyles) {
  State& s = state();
  if (s.controls.empty()) createPseudoControls();
  Control* parent_record = nullptr;
  if (parent != 0) {
    parent_record = find(parent);
    if (parent_record == nullptr) fatal("create():Invalid parent id.");
  }
  Control c;
  c.kind = kind;
  c.parent = parent;
  c.caption = caption;
  c.text = caption;
  int area_width = headless::kScreenWidth;
  int area_height = headless::kScreenHeight;
  if (parent_record != nullptr) {
    area_width = parent_record->client_width;
    area_height = parent_record->client_height;
  }
  c.x_center = x.center;
  c.y_center = y.center;
  c.x = x.center ? area_width / 2 - width / 2 : x.pixels;
  c.y = y.center ? area_height / 2 - height / 2 : y.pixels;
  c.width = c.client_width = width;
  c.height = c.client_height = height;
  std::uint32_t default_style = 0;
  std::uint32_t default_ex_style = 0;
  for (const auto& d : kKindDefaults) {
    if (d.kind == kind) {
      default_style = d.style;
      default_ex_style = d.ex_style;
    }
  }
  c.style = styles.combine(default_style);
  c.ex_style = exStyles.combine(default_ex_style);
  c.visible = kind != Window && (c.style & kWsVisible) != 0;
  return allocate(std::move(c));
}

void bindHandler(ControlId control, int event, Handler routine) {
  auto& list = state().handlers[{control, event}];
  if (std::find(list.begin(), list.end(), routine) == list.end()) list.push_back(routine);
}

// ---- Windows and loops ----

void WinMain(ControlId window, int /*mode*/) {
  State& s = state();
  if (s.running != kNotStarted) return;
  s.running = kRunning;
  s.main_window = window;
  openWindow(window, Normal);
  runMessageLoop(window);
  s.running = kEnded;
}

void openWindow(ControlId window, int mode) {
  State& s = state();
  if (findKind(window, Window) == nullptr) return;
  fire(window, Open, {});
  Control* c = findKind(window, Window);
  if (c == nullptr) return;
  const bool modal = mode == Modal || mode == -1;
  if (modal) c->style &= ~kWsMinimizeBox;
  c->visible = true;
  c->close_state = kOpen;
  c->open_mode = mode;
  s.focus = window;
  headless::face().visibilityChanged(window);
  if (modal && s.modal.window != window) {
    bool stacked = std::any_of(s.modal_stack.begin(), s.modal_stack.end(),
                               [&](const ModalEntry& e) { return e.window == window; });
    if (!stacked) {
      s.modal_stack.push_back(s.modal);
      s.modal = {window, mode, static_cast<int>(s.stop_flags.size())};
    }
  }
  fire(window, Activate, {});
}

void runModal(ControlId window) {
  if (findKind(window, Window) == nullptr) return;
  openWindow(window, Modal);
  setFocus(window);
  runMessageLoop(window);
  requestClose(window);
}

void requestClose(ControlId window) {
  State& s = state();
  Control* c = findKind(window, Window);
  if (c == nullptr || c->close_state != kOpen) return;
  if (s.modal.window != 0 && s.modal.window != window) {
    s.focus = s.modal.window;
    return;
  }
  c->close_state = kClosing;
  fire(window, Close, {});
  c = findKind(window, Window);
  if (c == nullptr) return;
  ModalEntry closed_modal;
  if (s.modal.window == window) {
    closed_modal = s.modal;
    popModal();
  }
  c->visible = false;
  c->close_state = kClosed;
  if (s.focus != 0 && windowOf(s.focus) == window) s.focus = s.modal.window;
  headless::face().visibilityChanged(window);
  if (window == s.main_window) {
    s.main_window = 0;
    stopInnermostLoop();  // the quit request
  } else if (closed_modal.window == window && closed_modal.mode == Modal &&
             static_cast<int>(s.stop_flags.size()) > closed_modal.level) {
    stopInnermostLoop();
  }
}

void doEvents(ControlId control) {
  State& s = state();
  if (s.running != kRunning) return;
  if (control != 0 && find(control) == nullptr) return;
  dispatchOne(control);
  headless::face().refresh(control);
}

// ---- Control state ----

void setVisibility(ControlId control, int flag) {
  Control* c = find(control);
  if (c == nullptr) fatal("getHandle failed.");
  c->visible = flag != 0;
  headless::face().visibilityChanged(control);
}

void setText(ControlId control, const std::string& text) {
  Control* c = find(control);
  if (c == nullptr) return;
  c->text = text;
  c->text_set = true;
  headless::face().textChanged(control, text);
}

std::string getText(ControlId control) {
  Control* c = find(control);
  return c == nullptr ? std::string() : c->text;
}

void appendItems(ControlId list, const std::string& text) {
  if (Control* c = findKind(list, ComboBox)) c->items.push_back(text);
}

void setIndex(ControlId list, int n) {
  Control* c = findKind(list, ComboBox);
  if (c == nullptr) return;
  if (n == 0) {
    c->index = 0;
    c->text.clear();
  } else if (n >= 1 && n <= static_cast<int>(c->items.size())) {
    c->index = n;
    c->text = c->items[static_cast<std::size_t>(n - 1)];
  }
  // Any other n is refused and the selection stays as it was.
}

int getIndex(ControlId list) {
  Control* c = findKind(list, ComboBox);
  return c == nullptr ? 0 : c->index;
}

int isChecked(ControlId checkbox) {
  Control* c = find(checkbox);
  return c != nullptr && c->checked != 0 ? 1 : 0;
}

void setClientSize(ControlId window, int width, int height) {
  Control* c = find(window);
  if (c == nullptr) return;
  c->width += width - c->client_width;
  c->height += height - c->client_height;
  c->client_width = width;
  c->client_height = height;
}

void startTimer(ControlId window, int timer_id, int milliseconds) {
  Control* c = find(window);
  if (c == nullptr) return;
  headless::TimerState fresh{timer_id, milliseconds, false, headless::nowMs() + milliseconds};
  for (auto& t : c->timers) {
    if (t.id == timer_id) {
      t = fresh;
      return;
    }
  }
  c->timers.push_back(fresh);
}

void stopTimer(ControlId window, int timer_id) {
  Control* c = find(window);
  if (c == nullptr) return;
  std::erase_if(c->timers, [&](const headless::TimerState& t) { return t.id == timer_id; });
}

void setFocus(ControlId control) {
  State& s = state();
  if (find(control) == nullptr || !headless::effectivelyVisible(control)) return;
  if (s.modal.window != 0 && windowOf(control) != s.modal.window) {
    s.focus = s.modal.window;
    return;
  }
  s.focus = control;
}

int messageBox(const std::string& text, const std::string& title, std::uint32_t style) {
  return headless::face().messageBox(text, title, style);
}

// ---- The headless interface ----

namespace headless {

double nowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

Face& face() {
  State& s = state();
  if (s.face == nullptr) s.face = &terminalFace();
  return *s.face;
}

void setFace(Face* f) { state().face = f; }

void reset(Face* f) {
  State& s = state();
  s = State{};
  s.face = f;
  headless::face().reset();
  createPseudoControls();
}

const Control* control(ControlId id) { return find(id); }

std::vector<ControlId> controlIds() {
  if (state().controls.empty()) createPseudoControls();
  std::vector<ControlId> ids;
  for (const auto& [id, c] : state().controls) ids.push_back(id);
  return ids;
}

std::vector<ControlId> children(ControlId window) {
  std::vector<ControlId> ids;
  for (const auto& [id, c] : state().controls) {
    if (c.parent == window && window != 0) ids.push_back(id);
  }
  return ids;
}

bool effectivelyVisible(ControlId id) {
  for (Control* c = find(id); c != nullptr; c = find(c->parent)) {
    if (!c->visible) return false;
    if (c->parent == 0) return true;
  }
  return false;
}

ControlId focused() { return state().focus; }
ControlId currentModal() { return state().modal.window; }
ControlId mainWindow() { return state().main_window; }
int runningState() { return state().running; }

void userSetText(ControlId control, const std::string& text) {
  Control* c = find(control);
  if (c == nullptr) return;
  c->text = text;
  if (c->kind == ComboBox) c->index = 0;  // typing leaves no item selected
}

void userSetChecked(ControlId checkbox, int checked) {
  if (Control* c = findKind(checkbox, CheckBox)) c->checked = checked != 0 ? 1 : 0;
}

void postClick(ControlId button) { state().queue.push_back({button, MessageKind::kClick}); }

void postClose(ControlId window) { state().queue.push_back({window, MessageKind::kClose}); }

void tickTimer(ControlId window, int timer_id) {
  Control* c = find(window);
  if (c == nullptr) return;
  for (auto& t : c->timers) {
    if (t.id == timer_id) t.pending = true;
  }
}

bool pumpOne() { return dispatchOne(0); }

}  // namespace headless
}  // namespace tk
