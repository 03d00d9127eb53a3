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
  return IsDialogMessageW(root, &msg) != FALSE;
}

// Our windows are not dialogs, so neither the system's dialog navigation (Tab
// takes the default look from every button and gives it back only to a dialog)
// nor a click on a check box leaves the look right: it is set again after each
// message.
void dispatch(MSG& msg) {
  if (!dialogNavigation(msg)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  keepDefaultButton(GetFocus());
}

bool isDefaultButton(ControlId id) { return controlKind(id) == DefaultButton; }

void setButtonLook(HWND button, bool is_default) {
  const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
  const LONG_PTR type = is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((style & BS_TYPEMASK) == type) return;
  SendMessageW(button, BM_SETSTYLE, static_cast<WPARAM>((style & 0xFFFF & ~BS_TYPEMASK) | type),
               TRUE);
}

}  // namespace

LoopState& loops() {
  static LoopState s;
  return s;
}

void closeProtocol(ControlId id) {
  LoopState& s = loops();
  if (!validId(id) || entry(id)->close_state != kOpen) return;
  // The program's whole run happens inside its main window's Activate
  // handler: closing the window under it (Escape, Alt+F4, a close message from
  // another program) would hide a run that goes on, or end it half done.
  if (entry(id)->activating > 0) return;
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
    if (Control* c = entry(id); c != nullptr && c->state == kLive) c->close_state = kClosed;
    return;
  }
  ShowWindow(hwnd(id), SW_HIDE);
  entry(id)->close_state = kClosed;
  if (was_modal && mode == Modal && s.stop_flags.size() > level) s.stop_flags.back() = 1;
}

void bringToFront(NativeHandle window) {
  HWND h = static_cast<HWND>(window);
  if (!IsWindowVisible(h) || GetParent(h) != nullptr) return;
  SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(h);
}

void keepDefaultButton(NativeHandle focus) {
  HWND f = static_cast<HWND>(focus);
  if (f == nullptr) return;
  HWND root = GetAncestor(f, GA_ROOT);
  ControlId window = idOfHandle(root);
  if (controlKind(window) != Window || entry(window)->handle != root) return;
  const std::vector<ControlId> order = tabOrder(window);
  ControlId focused = 0;
  for (ControlId child : order) {
    if (isDefaultButton(child) && entry(child)->handle == f) focused = child;
  }
  ControlId chosen = focused;
  for (ControlId child : order) {
    if (chosen != 0) break;
    HWND h = hwnd(child);
    if (isDefaultButton(child) && IsWindowVisible(h) && IsWindowEnabled(h)) chosen = child;
  }
  for (ControlId child : order) {
    if (isDefaultButton(child)) setButtonLook(hwnd(child), child == chosen);
  }
}

bool windowDefault(ControlId id, unsigned message, std::uintptr_t wparam, std::intptr_t,
                   std::intptr_t& result) {
  if (message != WM_ACTIVATE) return false;
  Control& c = *entry(id);
  HWND h = static_cast<HWND>(c.handle);
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    c.last_focus = focus != nullptr && IsChild(h, focus) ? focus : nullptr;
    return false;
  }
  // Activated again (and not minimised): the control that had the focus gets
  // it back, so that typing goes on where it was, as in a dialog.
  HWND last = static_cast<HWND>(c.last_focus);
  if (HIWORD(wparam) != 0 || last == nullptr || !IsChild(h, last) || !IsWindowVisible(last) ||
      !IsWindowEnabled(last)) {
    return false;
  }
  SetFocus(last);
  result = 0;
  return true;
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
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
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
    SetWindowLongPtrW(h, GWL_STYLE, GetWindowLongPtrW(h, GWL_STYLE) & ~LONG_PTR{WS_MINIMIZEBOX});
  }
  int show = mode < 1 ? (IsIconic(h) ? SW_RESTORE : SW_SHOWNORMAL) : mode;
  Control& c = *entry(window);
  c.draw_foreground = COLOR_WINDOWTEXT;
  c.draw_background = COLOR_WINDOW;
  ShowWindow(h, show);
  bringToFront(h);
  c.close_state = kOpen;
  InvalidateRect(h, nullptr, TRUE);
  UpdateWindow(h);
  SetFocus(h);
  LoopState& s = loops();
  if (isModalMode(mode) && !onModalStack(window)) {
    s.modal_stack.push_back(s.modal);
    s.modal = ModalEntry{window, h, mode, s.stop_flags.size()};
  }
  ++c.activating;
  fireEvent(window, Activate, {});
  // The handler may have destroyed the window, and its id been given out again.
  if (Control* after = entry(window); after != nullptr && after->handle == h) --after->activating;
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
  SendMessageW(hwnd(window), WM_CLOSE, 0, 0);
}

void doEvents(ControlId control) {
  if (loops().running != kRunning) return;
  HWND filter = nullptr;
  if (control != 0) {
    if (!validId(control)) return;
    filter = static_cast<HWND>(getHandle(control));
  }
  MSG msg;
  if (PeekMessageW(&msg, filter, 0, 0, PM_REMOVE)) dispatch(msg);
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
