// Native Windows toolkit: WinMain, openWindow, the message loops, modal
// windows and the close protocol, doEvents, timers and focus on user32.
#include <windows.h>

#include "toolkit/win32/registry_win32.h"

namespace tk::win32 {
namespace detail {
namespace {

HWND hwnd(ControlId id) { return static_cast<HWND>(entry(id)->handle); }

bool isModalMode(int mode) { return mode == Modal || mode == -1; }

bool onModalStack(ControlId id) {
  const LoopState& s = loops();
  if (s.modal.id == id) return true;
  for (const ModalEntry& e : s.modal_stack) {
    if (e.id == id) return true;
  }
  return false;
}

// Tab, Enter and Escape move through a window of ours as in a dialog.
bool dialogNavigation(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || msg.hwnd == nullptr) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  ControlId id = idOfHandle(root);
  if (controlKind(id) != Window || entry(id)->handle != root) return false;
  return IsDialogMessageA(root, &msg) != FALSE;
}

void dispatch(MSG& msg) {
  if (dialogNavigation(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

}  // namespace

LoopState& loops() {
  static LoopState s;
  return s;
}

void closeProtocol(ControlId id) {
  LoopState& s = loops();
  if (!validId(id) || entry(id)->close_state != kCloseOpen) return;
  if (s.modal.id != 0 && s.modal.id != id && validId(s.modal.id)) {
    HWND modal = hwnd(s.modal.id);
    if (IsIconic(modal)) ShowWindow(modal, SW_RESTORE);
    SetFocus(modal);
    return;
  }
  entry(id)->close_state = kClosing;
  fireEvent(id, Close, {});
  if (!validId(id)) return;  // a Close handler destroyed it
  int mode = Normal;
  std::size_t level = 0;
  bool was_modal = s.modal.id == id;
  if (was_modal) {
    mode = s.modal.mode;
    level = s.modal.level;
    popModal();
  }
  if (id == s.main_window) {
    // WM_DESTROY posts the quit request; WM_NCDESTROY frees the id.
    DestroyWindow(hwnd(id));
    s.main_window = 0;
    if (Control* c = entry(id); c != nullptr && c->state == kLive) c->close_state = kCloseDone;
    return;
  }
  ShowWindow(hwnd(id), SW_HIDE);
  entry(id)->close_state = kCloseDone;
  if (was_modal && mode == Modal && s.stop_flags.size() > level) s.stop_flags.back() = 1;
}

}  // namespace detail

using namespace detail;

int runningState() { return loops().running; }
ControlId mainWindow() { return loops().main_window; }
ControlId currentModal() { return loops().modal.id; }

void popModal() {
  LoopState& s = loops();
  if (s.modal_stack.empty()) {
    warnErr("popModal: The Modal Window Stack is already empty.");
    return;
  }
  s.modal = s.modal_stack.back();
  s.modal_stack.pop_back();
}

void runMessageLoop(int limit) {
  LoopState& s = loops();
  s.stop_flags.push_back(0);
  const std::size_t level = s.stop_flags.size();
  const bool counting = limit > 0;
  while (limit != 0 && s.stop_flags[level - 1] == 0 && s.running == kRunning) {
    MSG msg;
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    // A quit request ends this loop only; outer loops keep running.
    if (got == 0 || got == -1) break;
    dispatch(msg);
    if (counting) --limit;
  }
  s.stop_flags.pop_back();
}

int cleanUpHook(int, const std::string&, int, bool) {
  releaseDrawingObjects();
  loops().running = kEnded;
  return 0;
}

}  // namespace tk::win32

namespace tk {

using namespace tk::win32;
using namespace tk::win32::detail;

void WinMain(ControlId window, int /*mode*/) {
  LoopState& s = loops();
  if (s.running != kNotStarted) return;
  s.running = kRunning;
  s.main_window = window;
  openWindow(window, Normal);
  runMessageLoop(-1);
  cleanUpHook(0, {}, 1, true);
}

void openWindow(ControlId window, int mode) {
  if (!validId(window) || controlKind(window) != Window) return;
  fireEvent(window, Open, {});
  if (!validId(window)) return;
  HWND h = hwnd(window);
  if (isModalMode(mode)) {
    SetWindowLongPtrA(h, GWL_STYLE, GetWindowLongPtrA(h, GWL_STYLE) & ~LONG_PTR{WS_MINIMIZEBOX});
  }
  int show = mode < 1 ? (IsIconic(h) ? SW_RESTORE : SW_SHOWNORMAL) : mode;
  Control& c = *entry(window);
  c.draw_foreground = COLOR_WINDOWTEXT;
  c.draw_background = COLOR_WINDOW;
  ShowWindow(h, show);
  c.close_state = kCloseOpen;
  InvalidateRect(h, nullptr, TRUE);
  UpdateWindow(h);
  SetFocus(h);
  LoopState& s = loops();
  if (isModalMode(mode) && !onModalStack(window)) {
    s.modal_stack.push_back(s.modal);
    s.modal = ModalEntry{window, h, mode, s.stop_flags.size()};
  }
  fireEvent(window, Activate, {});
}

void runModal(ControlId window) {
  if (!validId(window) || controlKind(window) != Window) return;
  openWindow(window, Modal);
  setFocus(window);
  runMessageLoop(-1);
  requestClose(window);
}

void requestClose(ControlId window) {
  if (!validId(window)) return;
  SendMessageA(hwnd(window), WM_CLOSE, 0, 0);
}

void doEvents(ControlId control) {
  if (loops().running != kRunning) return;
  HWND filter = nullptr;
  if (control != 0) {
    if (!validId(control)) return;
    filter = static_cast<HWND>(getHandle(control));
  }
  MSG msg;
  if (PeekMessageA(&msg, filter, 0, 0, PM_REMOVE)) dispatch(msg);
}

void startTimer(ControlId window, int timer_id, int milliseconds) {
  if (!validId(window)) return;
  SetTimer(hwnd(window), static_cast<UINT_PTR>(timer_id), static_cast<UINT>(milliseconds), nullptr);
}

void stopTimer(ControlId window, int timer_id) {
  if (!validId(window)) return;
  KillTimer(hwnd(window), static_cast<UINT_PTR>(timer_id));
}

void setFocus(ControlId control) {
  if (!validId(control) || control == Screen) return;
  HWND h = hwnd(control);
  if (IsWindowEnabled(h) && IsWindowVisible(h)) SetFocus(h);
}

}  // namespace tk
