// Native Windows toolkit: handler registry, fireEvent, and the WndProc and
// SubProc routing of native messages through the message table.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
#include <commdlg.h>
// clang-format on

#include <algorithm>
#include <optional>

#include "toolkit/win32/registry_win32.h"

namespace tk::win32 {
namespace detail {
namespace {

std::vector<ControlId> g_id_stack;
std::vector<long> g_return_stack;
std::vector<MessageRecord> g_message_stack;

// The message being routed; a routine may replace its fields before passing
// it on to the default processing.
struct Message {
  HWND handle;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
// nullopt: pass on to the default processing; a value: handled, with that result.
using Routine = std::optional<LRESULT> (*)(ControlId id, Message& m, ProcKind kind);

bool hasHandlers(ControlId id, int event) {
  const Control* screen = entry(Screen);
  const Control* c = entry(id);
  return !screen->handlers[static_cast<std::size_t>(event)].empty() ||
         (c != nullptr && !c->handlers[static_cast<std::size_t>(event)].empty());
}

// The id of one of our child controls of `window` behind a native handle, or 0.
ControlId ownChild(ControlId window, LPARAM lparam) {
  HWND child = reinterpret_cast<HWND>(lparam);
  if (child == nullptr || !IsWindow(child)) return 0;
  ControlId cid = idOfHandle(child);
  const Control* c = entry(cid);
  if (!validId(cid) || c->handle != child || c->parent != window) return 0;
  return cid;
}

// Notification code -> event kind.
struct Notification {
  int code;
  int event;
};
constexpr Notification kNotifications[] = {
    {BN_CLICKED, Click},       {CBN_EDITCHANGE, kEventChange}, {CBN_SELCHANGE, kEventChange},
    {EN_CHANGE, kEventChange}, {CBN_DROPDOWN, kEventDropDown}, {CBN_CLOSEUP, kEventCloseUp},
};

int notificationEvent(int code) {
  for (const Notification& n : kNotifications) {
    if (n.code == code) return n.event;
  }
  return 0;
}

// Enter and Escape arrive from the dialog navigation as commands without a
// control: Enter clicks the window's default button, Escape closes it.
void keyCommand(ControlId window, WPARAM wparam) {
  if (HIWORD(wparam) != 0) return;
  if (LOWORD(wparam) == IDCANCEL) {
    closeProtocol(window);
    return;
  }
  if (LOWORD(wparam) != IDOK) return;
  for (ControlId child : tabOrder(window)) {
    HWND h = static_cast<HWND>(entry(child)->handle);
    if (controlKind(child) == DefaultButton && IsWindowVisible(h) && IsWindowEnabled(h)) {
      fireEvent(child, Click, {});
      return;
    }
  }
}

std::optional<LRESULT> onCommand(ControlId id, Message& m, ProcKind) {
  bool top_level = controlKind(id) == Window;
  if (m.lparam == 0) {
    if (top_level) keyCommand(id, m.wparam);
    return std::nullopt;
  }
  ControlId child = ownChild(id, m.lparam);
  if (child == 0) return std::nullopt;  // e.g. a combo box's own edit field
  if (int event = notificationEvent(HIWORD(m.wparam)); event != 0) fireEvent(child, event, {});
  if (top_level) return std::nullopt;
  return 0;
}

std::optional<LRESULT> onTimer(ControlId id, Message& m, ProcKind) {
  bool top_level = controlKind(id) == Window;
  fireEvent(id, Timer, {static_cast<long>(m.wparam)});
  if (top_level) return 0;
  return std::nullopt;
}

std::optional<LRESULT> onClose(ControlId id, Message&, ProcKind) {
  closeProtocol(id);
  return 0;
}

std::optional<LRESULT> onDestroy(ControlId id, Message& m, ProcKind) {
  if (id == loops().main_window) PostQuitMessage(static_cast<int>(m.wparam));
  return std::nullopt;
}

std::optional<LRESULT> onCtlColor(ControlId id, Message& m, ProcKind) {
  ControlId child = ownChild(id, m.lparam);
  if (child == 0) return std::nullopt;
  const Control& c = *entry(child);
  HDC dc = reinterpret_cast<HDC>(m.wparam);
  SetTextColor(dc, GetSysColor(c.text_colour));
  SetBkColor(dc, GetSysColor(c.background));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(c.background));
}

// While a modal window is open, no other window keeps the focus.
std::optional<LRESULT> onSetFocus(ControlId id, Message&, ProcKind) {
  const ModalEntry& modal = loops().modal;
  if (modal.id == 0 || windowOf(id) == modal.id || !validId(modal.id)) return std::nullopt;
  HWND h = static_cast<HWND>(entry(modal.id)->handle);
  if (!IsWindowVisible(h)) return std::nullopt;
  SetFocus(h);
  return 0;
}

struct Row {
  UINT message;
  Routine routine;
  unsigned count;
};

// Every message that has a row; rows without a routine fire events the
// program never binds and take the default processing.
std::vector<Row> makeTable() {
  return {
      {WM_MOUSEMOVE, nullptr, 0},
      {WM_LBUTTONDOWN, nullptr, 0},
      {WM_RBUTTONDOWN, nullptr, 0},
      {WM_LBUTTONUP, nullptr, 0},
      {WM_RBUTTONUP, nullptr, 0},
      {WM_LBUTTONDBLCLK, nullptr, 0},
      {WM_RBUTTONDBLCLK, nullptr, 0},
      {WM_MOUSEWHEEL, nullptr, 0},
      {WM_SETFOCUS, onSetFocus, 0},
      {WM_KILLFOCUS, nullptr, 0},
      {WM_KEYDOWN, nullptr, 0},
      {WM_CHAR, nullptr, 0},
      {WM_KEYUP, nullptr, 0},
      {WM_SYSKEYDOWN, nullptr, 0},
      {WM_SIZE, nullptr, 0},
      {WM_COMMAND, onCommand, 0},
      {WM_DROPFILES, nullptr, 0},
      {WM_PAINT, nullptr, 0},
      {WM_VSCROLL, nullptr, 0},
      {WM_HSCROLL, nullptr, 0},
      {WM_TIMER, onTimer, 0},
      {WM_SYSCOLORCHANGE, nullptr, 0},
      {WM_CTLCOLORBTN, onCtlColor, 0},
      {WM_CTLCOLORSTATIC, onCtlColor, 0},
      {WM_CTLCOLOREDIT, onCtlColor, 0},
      {WM_CTLCOLORLISTBOX, onCtlColor, 0},
      {WM_CLOSE, onClose, 0},
      {WM_DESTROY, onDestroy, 0},
      {WM_NOTIFY, nullptr, 0},
      {RegisterWindowMessageW(FINDMSGSTRINGW), nullptr, 0},
  };
}

std::vector<Row>& table() {
  static std::vector<Row> rows = makeTable();
  return rows;
}

// Linear search; a row that is used often changes places with the one before
// it, so that frequent messages are found early.
Routine lookUp(UINT message, bool& found) {
  std::vector<Row>& rows = table();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].message != message) continue;
    found = true;
    Routine routine = rows[i].routine;
    ++rows[i].count;
    if (i > 0 && rows[i].count > rows[i - 1].count) std::swap(rows[i], rows[i - 1]);
    return routine;
  }
  found = false;
  return nullptr;
}

LRESULT defaultProcessing(ControlId id, ProcKind kind, std::intptr_t old_proc, const Message& m) {
  if (kind == ProcKind::Sub && old_proc != 0) {
    return CallWindowProcW(reinterpret_cast<WNDPROC>(old_proc), m.handle, m.message, m.wparam,
                           m.lparam);
  }
  std::intptr_t result = 0;
  if (kind == ProcKind::Window && windowDefault(id, m.message, m.wparam, m.lparam, result)) {
    return result;
  }
  return DefWindowProcW(m.handle, m.message, m.wparam, m.lparam);
}

LRESULT route(ProcKind kind, HWND h, UINT message, WPARAM wparam, LPARAM lparam) {
  ControlId id = idOfHandle(h);
  const Control* c = entry(id);
  // Messages of a window that is still being created (no id yet) or of a
  // control that is no longer ours go straight to the default processing.
  if (id == 0 || c == nullptr || c->state != kLive || c->handle != h) {
    return DefWindowProcW(h, message, wparam, lparam);
  }
  std::intptr_t old_proc = c->old_proc;
  g_message_stack.push_back({kind, h, message, wparam, lparam});
  if (hasHandlers(id, kEventBeforeMessage)) {
    fireEvent(id, kEventBeforeMessage,
              {static_cast<long>(message), static_cast<long>(wparam), static_cast<long>(lparam)});
  }
  Message m{h, message, wparam, lparam};
  bool found = false;
  Routine routine = lookUp(message, found);
  std::optional<LRESULT> handled;
  if (routine != nullptr) handled = routine(id, m, kind);
  LRESULT result = handled ? *handled : defaultProcessing(id, kind, old_proc, m);
  g_message_stack.pop_back();
  if (hasHandlers(id, kEventAfterMessage)) {
    fireEvent(id, kEventAfterMessage,
              {static_cast<long>(message), static_cast<long>(wparam), static_cast<long>(lparam),
               static_cast<long>(result)});
  }
  // The native window is gone after this message: its id becomes free.
  if (message == WM_NCDESTROY) releaseId(id);
  return result;
}

LRESULT CALLBACK WndProc(HWND h, UINT message, WPARAM wparam, LPARAM lparam) {
  return route(ProcKind::Window, h, message, wparam, lparam);
}

LRESULT CALLBACK SubProc(HWND h, UINT message, WPARAM wparam, LPARAM lparam) {
  return route(ProcKind::Sub, h, message, wparam, lparam);
}

}  // namespace

std::vector<MessageRecord>& messageStack() { return g_message_stack; }

std::intptr_t wndProcAddress() { return reinterpret_cast<std::intptr_t>(&WndProc); }

}  // namespace detail

using namespace detail;

std::intptr_t subProcAddress() { return reinterpret_cast<std::intptr_t>(&SubProc); }

long fireEvent(ControlId control, int event, const Params& params) {
  if (!validId(control) || event < 1 || event > kMaxEvent) return 0;
  g_id_stack.push_back(control);
  g_return_stack.push_back(0);
  // Copies: a handler may bind further routines while these run.
  const auto slot = static_cast<std::size_t>(event);
  std::vector<Handler> first = entry(Screen)->handlers[slot];
  std::vector<Handler> second;
  if (control != Screen) second = entry(control)->handlers[slot];
  for (Handler h : first) h(control, event, params);
  for (Handler h : second) h(control, event, params);
  if (g_id_stack.empty() || g_id_stack.size() != g_return_stack.size()) {
    abortErr(466, "Internal ID or Return stack lengths incorrect.");
  }
  long result = g_return_stack.back();
  g_id_stack.pop_back();
  g_return_stack.pop_back();
  return result;
}

void setEventResult(long value) {
  if (!g_return_stack.empty()) g_return_stack.back() = value;
}

std::vector<unsigned> messageTableOrder() {
  std::vector<unsigned> order;
  for (const Row& r : table()) order.push_back(r.message);
  return order;
}

}  // namespace tk::win32

namespace tk {

void bindHandler(ControlId control, int event, Handler routine) {
  using namespace tk::win32;
  if (!validId(control) || event < 1 || event > kMaxEvent) return;
  std::vector<Handler>& list = detail::entry(control)->handlers[static_cast<std::size_t>(event)];
  if (routine == nullptr) {
    list.clear();
  } else if (std::find(list.begin(), list.end(), routine) == list.end()) {
    list.push_back(routine);
  }
}

}  // namespace tk
