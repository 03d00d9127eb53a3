// Native Windows toolkit: control state operations (texts, list items and
// selection, check state, visibility, sizes, message boxes) on user32.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "support/wide_win32.h"
#include "toolkit/win32/registry_win32.h"

namespace tk::win32 {
namespace detail {
namespace {

HWND hwnd(ControlId id) { return static_cast<HWND>(entry(id)->handle); }

int typeOf(ControlId id) { return validId(id) ? entry(id)->type : -1; }

// Message-based reads of an id that is not live see the answer 0.
LRESULT ask(ControlId id, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!validId(id) || id == Screen) return 0;
  return SendMessageW(hwnd(id), message, wparam, lparam);
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
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  return from_wide(text.c_str());
}

// A path-ellipsis label may sit under a sibling (a percentage beside it, say).
// Its text is centred, so it has to fit within twice the distance from the
// centre to the nearest overlapping sibling that lies wholly to one side.
int clearWidth(HWND label) {
  RECT own;
  GetWindowRect(label, &own);
  const int centre = own.left + (own.right - own.left) / 2;
  int half = (own.right - own.left) / 2;
  HWND parent = GetParent(label);
  if (parent == nullptr) return half * 2;
  for (HWND s = GetWindow(label, GW_HWNDFIRST); s != nullptr; s = GetWindow(s, GW_HWNDNEXT)) {
    if (s == label || (GetWindowLongPtrW(s, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    RECT other, common;
    GetWindowRect(s, &other);
    if (!IntersectRect(&common, &own, &other)) continue;
    if (other.left >= centre) half = std::min(half, static_cast<int>(other.left) - centre);
    if (other.right <= centre) half = std::min(half, centre - static_cast<int>(other.right));
  }
  return half * 2;
}

// Shortens a path in its middle so that it fits the label's clear width:
// "head...\\name" with as much of the head as fits and the last component
// whole; when even "...\\name" is too wide, "..." and the end of the name. Both
// slashes separate components. Cuts never split a surrogate pair, and are
// found by halving since one text may be set per file.
std::wstring shortenPath(HWND label, const std::wstring& text) {
  const int width = clearWidth(label);
  HDC dc = GetDC(label);
  if (dc == nullptr) return text;
  HGDIOBJ old_font = nullptr;
  if (auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0))) {
    old_font = SelectObject(dc, font);
  }
  auto fits = [&](const std::wstring& s) {
    SIZE extent{};
    GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &extent);
    return extent.cx <= width;
  };
  std::wstring shown = text;
  if (!fits(text)) {
    std::vector<std::size_t> cuts;  // character boundaries, from 0 to size
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!IS_LOW_SURROGATE(text[i])) cuts.push_back(i);
    }
    cuts.push_back(text.size());
    const std::size_t slash = text.find_last_of(L"\\/");
    const std::size_t name = slash == std::wstring::npos ? 0 : slash;
    auto head = [&](std::size_t i) { return text.substr(0, cuts[i]) + L"..." + text.substr(name); };
    auto tail = [&](std::size_t i) { return L"..." + text.substr(cuts[i]); };
    // Heads are cuts [0, first_in_name); a longer head is wider.
    const std::size_t first_in_name =
        static_cast<std::size_t>(std::upper_bound(cuts.begin(), cuts.end(), name) - cuts.begin());
    if (name > 0 && fits(head(0))) {
      std::size_t lo = 0, hi = first_in_name - 1;  // head(lo) fits
      while (lo < hi) {
        std::size_t mid = lo + (hi - lo + 1) / 2;
        if (fits(head(mid)))
          lo = mid;
        else
          hi = mid - 1;
      }
      shown = head(lo);
    } else {
      // Tails start inside the name; a later start is narrower.
      std::size_t lo = name > 0 ? first_in_name : 0, hi = cuts.size() - 1;  // tail(hi) is "..."
      while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (fits(tail(mid)))
          hi = mid;
        else
          lo = mid + 1;
      }
      shown = tail(lo);
    }
  }
  if (old_font != nullptr) SelectObject(dc, old_font);
  ReleaseDC(label, dc);
  return shown;
}

// Breaks one run without blanks into lines no wider than `limit`, each break
// after a backslash where one falls on the line, else where the line is full.
void breakRun(HDC dc, const std::wstring& run, int limit, std::wstring& out) {
  std::vector<int> ends(run.size());  // the width up to and with each unit
  SIZE whole{};
  int fitted = 0;
  GetTextExtentExPointW(dc, run.c_str(), static_cast<int>(run.size()), 0, &fitted, ends.data(),
                        &whole);
  std::size_t start = 0;
  int start_width = 0;
  while (start < run.size()) {
    std::size_t end = start;
    std::size_t after_backslash = start;
    while (end < run.size() && ends[end] - start_width <= limit) {
      if (run[end] == L'\\') after_backslash = end + 1;
      ++end;
    }
    if (end < run.size()) {
      if (after_backslash > start) end = after_backslash;
      if (end == start) ++end;  // a single character wider than the line
      if (end < run.size() && IS_LOW_SURROGATE(run[end])) ++end;
    }
    out.append(run, start, end - start);
    if (end < run.size()) out += L'\n';
    start_width = ends[end - 1];
    start = end;
  }
}

// The system's message box grows with its longest word, and breaks lines only
// at blanks: a long path would make it wider than the screen, with its
// buttons out of reach. Words wider than half the screen are broken.
std::wstring fitMessage(const std::wstring& text) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return text;
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HDC dc = GetDC(nullptr);
  if (dc == nullptr || font == nullptr) {
    if (dc != nullptr) ReleaseDC(nullptr, dc);
    if (font != nullptr) DeleteObject(font);
    return text;
  }
  HGDIOBJ old_font = SelectObject(dc, font);
  const int limit = GetSystemMetrics(SM_CXSCREEN) / 2;
  std::wstring fitted;
  fitted.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find_first_of(L" \t\r\n", at), text.size());
    breakRun(dc, text.substr(at, end - at), limit, fitted);
    if (end < text.size()) fitted += text[end];
    at = end + 1;
  }
  SelectObject(dc, old_font);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return fitted;
}

bool isPathLabel(ControlId id) {
  return typeOf(id) == kTypeStatic &&
         (GetWindowLongPtrW(hwnd(id), GWL_STYLE) & SS_PATHELLIPSIS) == SS_PATHELLIPSIS;
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
  for (const std::string& t : texts) {
    ask(list, message, 0, reinterpret_cast<LPARAM>(display_text(t).c_str()));
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
  if ((GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) != 0) {
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
  if (isPathLabel(control)) {
    // The system's own path ellipsis would use the label's full width, and a
    // sibling over its end would hide the file's name.
    entry(control)->full_text = text;
    entry(control)->full_text_set = true;
    SetWindowTextW(hwnd(control), shortenPath(hwnd(control), display_text(text)).c_str());
    return;
  }
  SetWindowTextW(hwnd(control), display_text(text).c_str());
}

std::string getText(ControlId control) {
  if (typeOf(control) == kTypeComboBox && inSelectionChange(control)) {
    return selectedItem(control);
  }
  if (isPathLabel(control) && entry(control)->full_text_set) return entry(control)->full_text;
  LRESULT length = ask(control, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT copied = ask(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return from_wide(text.data(), static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
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

// The program's styles and answers are the system's own values.
static_assert(MB_YESNO_ == MB_YESNO && MB_DEFBUTTON2_ == MB_DEFBUTTON2 &&
              MB_TYPEMASK_ == MB_TYPEMASK);
static_assert(IDOK_ == IDOK && IDYES_ == IDYES && IDNO_ == IDNO);

int messageBox(const std::string& text, const std::string& title, std::uint32_t style) {
  return MessageBoxW(GetActiveWindow(), fitMessage(display_text(text)).c_str(),
                     display_text(title).c_str(), style);
}

}  // namespace tk
