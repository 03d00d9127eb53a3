// Native Windows toolkit: control state operations (texts, list items and
// selection, check state, visibility, sizes, message boxes) on user32.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "toolkit/win32/registry_win32.h"

namespace tk::win32 {
namespace detail {
namespace {

HWND hwnd(ControlId id) { return static_cast<HWND>(entry(id)->handle); }

int typeOf(ControlId id) { return validId(id) ? entry(id)->type : -1; }

// Message-based reads of an id that is not live see the answer 0.
LRESULT ask(ControlId id, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!validId(id) || id == Screen) return 0;
  return SendMessageA(hwnd(id), message, wparam, lparam);
}

// While a selection change of this combo box is being routed, its edit field
// still shows the old text: the newly selected item is the answer.
bool inSelectionChange(ControlId combo) {
  const std::vector<MessageRecord>& stack = messageStack();
  if (stack.empty()) return false;
  const MessageRecord& front = stack.back();
  return front.message == WM_COMMAND && HIWORD(front.wparam) == CBN_SELCHANGE &&
         reinterpret_cast<HWND>(front.lparam) == hwnd(combo);
}

std::string selectedItem(ControlId combo) {
  LRESULT index = ask(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return {};
  LRESULT length = ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

}  // namespace
}  // namespace detail

using namespace detail;

void appendItems(ControlId list, const std::vector<std::string>& texts) {
  UINT message = 0;
  switch (typeOf(list)) {
    case kTypeComboBox:
      message = CB_ADDSTRING;
      break;
    case kTypeListBox:
      message = LB_ADDSTRING;
      break;
    default:
      return;
  }
  std::size_t longest = 0;
  for (const std::string& t : texts) longest = std::max(longest, t.size());
  std::vector<char> buffer(longest + 1, '\0');
  for (const std::string& t : texts) {
    std::copy(t.begin(), t.end(), buffer.begin());
    buffer[t.size()] = '\0';
    ask(list, message, 0, reinterpret_cast<LPARAM>(buffer.data()));
  }
}

void setVisibility(const std::vector<ControlId>& controls, int flag) {
  for (ControlId c : controls) tk::setVisibility(c, flag);
}

void setCtlSize(ControlId control, int width, int height) {
  if (!validId(control) || control == Screen) return;
  HWND h = hwnd(control);
  RECT r;
  GetWindowRect(h, &r);
  POINT corner{r.left, r.top};
  // A child's position is relative to its parent's client area.
  if ((GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) != 0) {
    if (HWND parent = GetParent(h)) ScreenToClient(parent, &corner);
  }
  if (!MoveWindow(h, corner.x, corner.y, width, height, TRUE)) {
    warnErr("setCtlSize:MoveWindow failed.");
  }
}

Rect getClientRect(ControlId control) {
  if (control == Screen) {
    return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  if (!validId(control)) return Rect{};
  RECT r;
  GetClientRect(hwnd(control), &r);
  return Rect{r.left, r.top, r.right, r.bottom};
}

Size getCtlSize(ControlId control) {
  if (control == Screen) {
    return Size{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  if (!validId(control)) return Size{};
  RECT r;
  GetWindowRect(hwnd(control), &r);
  return Size{r.right - r.left, r.bottom - r.top};
}

}  // namespace tk::win32

namespace tk {

using namespace tk::win32;
using namespace tk::win32::detail;

void setText(ControlId control, const std::string& text) {
  if (!validId(control) || control == Screen) return;
  SetWindowTextA(hwnd(control), text.c_str());
}

std::string getText(ControlId control) {
  if (typeOf(control) == kTypeComboBox && inSelectionChange(control)) {
    return selectedItem(control);
  }
  LRESULT length = ask(control, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  LRESULT copied = ask(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return text;
}

void appendItems(ControlId list, const std::string& text) {
  tk::win32::appendItems(list, std::vector<std::string>{text});
}

void setIndex(ControlId list, int n) {
  UINT message = 0;
  LRESULT refused = 0;
  switch (typeOf(list)) {
    case kTypeComboBox:
      message = CB_SETCURSEL;
      refused = CB_ERR;
      break;
    case kTypeListBox:
      message = LB_SETCURSEL;
      refused = LB_ERR;
      break;
    default:
      return;
  }
  if (ask(list, message, static_cast<WPARAM>(n - 1), 0) == refused && n != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "sendMessage(#%x) in setIndex failed.", message);
    warnErr(text);
  }
}

int getIndex(ControlId list) {
  switch (typeOf(list)) {
    case kTypeComboBox:
      return static_cast<int>(ask(list, CB_GETCURSEL, 0, 0)) + 1;
    case kTypeListBox:
      return static_cast<int>(ask(list, LB_GETCURSEL, 0, 0)) + 1;
    default:
      return 0;
  }
}

int isChecked(ControlId checkbox) { return ask(checkbox, BM_GETCHECK, 0, 0) != 0 ? 1 : 0; }

void setVisibility(ControlId control, int flag) {
  if (control == Screen) return;  // never hide the desktop
  HWND h = static_cast<HWND>(getHandle(control));
  ShowWindow(h, flag != 0 ? SW_SHOWNORMAL : SW_HIDE);
  // A window shown again after being hidden would otherwise stay behind
  // whatever window took the front meanwhile.
  if (flag != 0 && controlKind(control) == Window) bringToFront(h);
}

void setClientSize(ControlId window, int width, int height) {
  if (!validId(window)) return;
  Rect client = getClientRect(window);
  Size outer = getCtlSize(window);
  int frame_x = outer.width - (client.right - client.left);
  int frame_y = outer.height - (client.bottom - client.top);
  setCtlSize(window, width + frame_x, height + frame_y);
}

int messageBox(const std::string& text, const std::string& title, std::uint32_t style) {
  return MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style);
}

}  // namespace tk
