// Native Windows toolkit: control registry, ids and createEx on user32.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
#include <commctrl.h>
// clang-format on

#include <cstdio>

#include "support/wide_win32.h"
#include "toolkit/win32/registry_win32.h"

namespace tk::win32 {
namespace detail {
namespace {

constexpr char kDefaultFontFace[] = "ms sans serif";
constexpr int kDefaultFontPoints = 8;
constexpr DWORD kChildBase = WS_CHILD | WS_CLIPSIBLINGS;
constexpr int kInherit = -1;  // background taken from the parent

struct KindInfo {
  int kind;
  const char* native_class;  // nullptr: a window class of its own
  int type;
  DWORD style;
  DWORD ex_style;
  int background;
  int text_colour;
};

// The kinds the program uses. Check box and labels paint on their parent's
// background so that they sit on the window's face without a box around them.
constexpr KindInfo kKinds[] = {
    {Window, nullptr, kTypeWindow, WS_OVERLAPPEDWINDOW, WS_EX_ACCEPTFILES, COLOR_BTNFACE,
     COLOR_WINDOWTEXT},
    {DefaultButton, "button", kTypeButton, kChildBase | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP,
     0, COLOR_BTNFACE, COLOR_BTNTEXT},
    {CheckBox, "button", kTypeButton, kChildBase | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP, 0,
     kInherit, COLOR_WINDOWTEXT},
    {ComboBox, "combobox", kTypeComboBox,
     kChildBase | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS | WS_TABSTOP,
     WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES, COLOR_WINDOW, COLOR_WINDOWTEXT},
    {Label, "static", kTypeStatic, kChildBase | WS_VISIBLE | SS_LEFT, 0, kInherit,
     COLOR_WINDOWTEXT},
    {CenteredLabel, "static", kTypeStatic, kChildBase | WS_VISIBLE | SS_CENTER, 0, kInherit,
     COLOR_WINDOWTEXT},
};

const KindInfo* kindInfo(int kind) {
  for (const KindInfo& k : kKinds) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
}

HFONT g_font = nullptr;

HWND hwnd(NativeHandle h) { return static_cast<HWND>(h); }

// floor(a / 2) for any sign; the centre rule rounds halves down.
int halfDown(int a) { return a >= 0 ? a / 2 : -((1 - a) / 2); }

int resolve(const Coord& c, int far_edge, int extent) {
  if (!c.center) return c.pixels;
  return halfDown(far_edge) - halfDown(extent);
}

ControlId allocateId() {
  Registry& r = registry();
  if (!r.free_list.empty()) {
    ControlId id = r.free_list.front();
    r.free_list.erase(r.free_list.begin());
    return id;
  }
  for (std::size_t i = r.newest_growth; i < r.controls.size(); ++i) {
    if (r.controls[i].state == kFree) return static_cast<ControlId>(i + 1);
  }
  r.newest_growth = r.controls.size();
  r.controls.resize(r.controls.size() + kGrowthStep);
  return static_cast<ControlId>(r.newest_growth + 1);
}

// Starts an entry afresh: a reused id keeps nothing of its earlier life.
Control& claim(ControlId id, int kind, int type, ControlId parent) {
  Control& c = registry().controls[static_cast<std::size_t>(id - 1)];
  c = Control{};
  c.state = kLive;
  c.kind = kind;
  c.type = type;
  c.parent = parent;
  c.font = FontRequest{kDefaultFontFace, kDefaultFontPoints, 0};
  return c;
}

HICON programIcon(HINSTANCE instance) {
  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  return icon != nullptr ? icon : LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

HWND createTopLevel(ControlId id, const std::string& caption, HWND parent, int x, int y, int width,
                    int height, DWORD style, DWORD ex_style) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  Registry& r = registry();
  ++r.class_number;
  char class_name[128];
  std::snprintf(class_name, sizeof class_name, "%s %d", errorSettings().app_name.c_str(),
                r.class_number);
  // Windows of a wide class take and give every text in UTF-16.
  const std::wstring wide_class = display_text(class_name);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = reinterpret_cast<WNDPROC>(wndProcAddress());
  wc.hInstance = instance;
  wc.hIcon = programIcon(instance);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = wide_class.c_str();
  if (RegisterClassExW(&wc) == 0) abortErr(483, "RegisterClassEx failed.");
  HWND h = CreateWindowExW(ex_style, wide_class.c_str(), display_text(caption).c_str(), style, x, y,
                           width, height, parent, nullptr, instance, nullptr);
  if (h == nullptr) abortErr(482, "CreateWindow in createWindow failed.");
  SetWindowLongPtrW(h, GWLP_USERDATA, id);
  return h;
}

void startUp(Registry& r) {
  // With the common-controls manifest the standard classes live in comctl32.
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  r.controls.resize(kGrowthStep);
  r.newest_growth = 0;
  // Screen: the whole screen, parent of the top-level windows and the key for
  // handlers that apply to every control. The desktop stands for its handle
  // so that the id counts as valid; it is never attached to the id.
  Control& screen = r.controls[0];
  screen.state = kLive;
  screen.handle = GetDesktopWindow();
  screen.background = COLOR_BTNFACE;
  screen.text_colour = COLOR_WINDOWTEXT;
  // The second pseudo control has no native window at all.
  Control& second = r.controls[1];
  second.state = kLive;
  second.handle = nullptr;
}

}  // namespace

Registry& registry() {
  static Registry* r = [] {
    auto* fresh = new Registry;  // lives until the process ends, like the windows
    startUp(*fresh);
    return fresh;
  }();
  return *r;
}

Control* entry(ControlId id) {
  Registry& r = registry();
  if (id < 1 || static_cast<std::size_t>(id) > r.controls.size()) return nullptr;
  return &r.controls[static_cast<std::size_t>(id - 1)];
}

void releaseId(ControlId id) {
  Control* c = entry(id);
  if (c == nullptr || c->state != kLive || id == Screen || id == kSecondPseudo) return;
  ControlId parent = c->parent;
  *c = Control{};
  c->state = kFree;
  registry().free_list.push_back(id);
  if (Control* p = entry(parent)) {
    std::erase(p->tab_order, id);
  }
  if (loops().main_window == id) loops().main_window = 0;
}

ControlId idOfHandle(NativeHandle handle) {
  return static_cast<ControlId>(GetWindowLongPtrW(hwnd(handle), GWLP_USERDATA));
}

ControlId windowOf(ControlId id) {
  const Control* c = entry(id);
  if (c == nullptr) return 0;
  if (c->kind == Window || c->parent == 0) return id;
  return windowOf(c->parent);
}

}  // namespace detail

using namespace detail;

bool validId(ControlId id) {
  const Control* c = entry(id);
  if (c == nullptr || c->state < 0 || c->handle == nullptr) return false;
  return c->parent == 0 || validId(c->parent);
}

NativeHandle getHandle(ControlId id) {
  if (validId(id)) {
    const Control& c = *entry(id);
    if (c.attached) {
      ControlId stored = idOfHandle(c.handle);
      if (stored != id) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "getHandle:The stored hWnd for id %d is now attached to id %d", id, stored);
        abortErr(499, text);
      }
    }
    return c.handle;
  }
  if (const Control* c = entry(id)) {
    if (c->state < 0) abortErr(497, "getHandle: Object is destroyed.");
    if (c->handle == nullptr) abortErr(496, "getHandle returned Null handle.");
  }
  abortErr(495, "getHandle failed.");
}

int controlKind(ControlId id) {
  const Control* c = entry(id);
  return c != nullptr && c->state == kLive ? c->kind : 0;
}

std::vector<ControlId> tabOrder(ControlId window) {
  const Control* c = entry(window);
  return c != nullptr ? c->tab_order : std::vector<ControlId>{};
}

int closeState(ControlId window) {
  const Control* c = entry(window);
  return c != nullptr ? c->close_state : kClosed;
}

NativeHandle defaultFont() {
  if (g_font == nullptr) {
    HDC dc = GetDC(nullptr);
    int height = -MulDiv(kDefaultFontPoints, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(nullptr, dc);
    g_font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, display_text(kDefaultFontFace).c_str());
  }
  return g_font;
}

void detail::releaseDrawingObjects() {
  if (g_font != nullptr) {
    DeleteObject(g_font);
    g_font = nullptr;
  }
}

void destroyControl(ControlId id) {
  if (!validId(id) || id == Screen || id == kSecondPseudo) return;
  // WM_NCDESTROY frees the ids of the window and of each of its children.
  DestroyWindow(hwnd(getHandle(id)));
}

}  // namespace tk::win32

namespace tk {

using namespace tk::win32;
using namespace tk::win32::detail;

ControlId createEx(int kind, const std::string& caption, ControlId parent, Coord x, Coord y,
                   int width, int height, const Style& styles, const Style& exStyles) {
  registry();
  if (parent != 0 && !validId(parent)) abortErr(459, "create():Invalid parent id.");
  const KindInfo* info = kindInfo(kind);
  if (info == nullptr) abortErr(461, "Failed to acquire a hWnd when creating a control.");
  // A top-level window hangs below Screen, which the tables write as no parent.
  if (parent == Screen) parent = 0;

  ControlId id = allocateId();
  claim(id, kind, info->type, parent);

  Rect area = getClientRect(parent == 0 ? Screen : parent);
  int px = resolve(x, area.right, width);
  int py = resolve(y, area.bottom, height);
  DWORD style = styles.combine(info->style);
  DWORD ex_style = exStyles.combine(info->ex_style);
  HWND parent_handle = parent == 0 ? nullptr : hwnd(getHandle(parent));

  if (kind == Window) {
    HWND h = createTopLevel(id, caption, parent_handle, px, py, width, height, style, ex_style);
    Control& c = *entry(id);
    c.handle = h;
    c.attached = true;
    c.parent = parent;
    c.background = info->background;
    c.text_colour = info->text_colour;
    c.draw_foreground = COLOR_WINDOWTEXT;
    c.draw_background = COLOR_WINDOW;
    if (parent != 0 && (style & WS_VISIBLE) != 0) openWindow(id, Normal);
    return id;
  }

  HWND h = CreateWindowExW(ex_style, display_text(info->native_class).c_str(),
                           display_text(caption).c_str(), style, px, py, width, height,
                           parent_handle, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (h == nullptr) abortErr(461, "Failed to acquire a hWnd when creating a control.");
  SetWindowLongPtrW(h, GWLP_USERDATA, id);
  LONG_PTR old_proc = SetWindowLongPtrW(h, GWLP_WNDPROC, subProcAddress());
  Control& c = *entry(id);
  c.handle = h;
  c.attached = true;
  c.old_proc = old_proc;
  if ((style & WS_TABSTOP) != 0) {
    if (Control* p = entry(parent)) p->tab_order.push_back(id);
  }
  const Control* p = entry(parent);
  c.background = info->background == kInherit && p != nullptr ? p->background : info->background;
  c.text_colour = info->text_colour;
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(defaultFont()), TRUE);
  return id;
}

}  // namespace tk
