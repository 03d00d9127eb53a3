// Tests of the native toolkit's registry and createEx under Wine (user32).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "tests/toolkit/win32/harness.h"

namespace {

using tk::ControlId;
using tk::win32::getHandle;

HWND hwndOf(ControlId id) { return static_cast<HWND>(getHandle(id)); }
LONG styleOf(ControlId id) { return GetWindowLongA(hwndOf(id), GWL_STYLE); }
LONG exStyleOf(ControlId id) { return GetWindowLongA(hwndOf(id), GWL_EXSTYLE); }

RECT screenRect(ControlId id) {
  RECT r;
  GetWindowRect(hwndOf(id), &r);
  return r;
}

ControlId statusWindow() {
  return tk::createEx(tk::Window, "Window1", 0, "center", "center", 360, 68,
                      {tk::WS_POPUP_, tk::WS_DLGFRAME_}, 0);
}

ControlId chooserWindow() {
  return tk::createEx(tk::Window, "Welcome to Ilvar Portable", 0, "center", "center", 324, 117,
                      {tk::WS_DLGFRAME_}, {tk::WS_EX_DLGMODALFRAME_});
}

TEST(Registry, PseudoControlsComeBeforeEveryWindow) {
  EXPECT_EQ(tk::Screen, 1);
  EXPECT_TRUE(tk::win32::validId(tk::Screen));
  ControlId w = statusWindow();
  EXPECT_GT(w, tk::win32::kSecondPseudo);
  EXPECT_EQ(GetWindowLongPtrA(hwndOf(w), GWLP_USERDATA), w);
  tk::win32::destroyControl(w);
}

TEST(Registry, WindowClassesAreNamedFromTheTitleAndARunningNumber) {
  ControlId a = statusWindow();
  ControlId b = statusWindow();
  char ca[64] = {}, cb[64] = {};
  GetClassNameA(hwndOf(a), ca, sizeof ca);
  GetClassNameA(hwndOf(b), cb, sizeof cb);
  int na = 0, nb = 0;
  ASSERT_EQ(std::sscanf(ca, "ilhome %d", &na), 1) << ca;
  ASSERT_EQ(std::sscanf(cb, "ilhome %d", &nb), 1) << cb;
  EXPECT_EQ(nb, na + 1);
  tk::win32::destroyControl(a);
  tk::win32::destroyControl(b);
}

int g_stale_calls = 0;
void staleHandler(ControlId, int, const tk::Params&) { ++g_stale_calls; }

TEST(Registry, DestroyedIdsAreHandedOutAgain) {
  ControlId w = statusWindow();
  ControlId label = tk::createEx(tk::Label, "x", w, 0, 0, 10, 10, 0, 0);
  tk::bindHandler(label, tk::Click, staleHandler);
  tk::win32::destroyControl(w);
  EXPECT_FALSE(tk::win32::validId(w));
  EXPECT_FALSE(tk::win32::validId(label));
  // Freed ids are handed out before the tables grow: both come back among
  // the next few ids, whatever else earlier tests freed.
  ControlId holder = statusWindow();
  std::set<ControlId> handed_out{holder};
  for (int i = 0; i < 64 && !(handed_out.count(w) && handed_out.count(label)); ++i) {
    handed_out.insert(tk::createEx(tk::Label, "y", holder, 0, 0, 10, 10, 0, 0));
  }
  EXPECT_EQ(handed_out.count(w), 1u);
  EXPECT_EQ(handed_out.count(label), 1u);
  // A reused id starts afresh: no handler of its earlier life survives.
  tk::win32::fireEvent(label, tk::Click, {});
  EXPECT_EQ(g_stale_calls, 0);
  tk::win32::destroyControl(holder);
}

TEST(Registry, GrowsBeyondTheFirstSixteenEntries) {
  ControlId w = statusWindow();
  std::vector<ControlId> labels;
  for (int i = 0; i < 40; ++i) labels.push_back(tk::createEx(tk::Label, "", w, 0, 0, 5, 5, 0, 0));
  std::set<ControlId> distinct(labels.begin(), labels.end());
  EXPECT_EQ(distinct.size(), labels.size());
  for (ControlId l : labels) EXPECT_EQ(GetWindowLongPtrA(hwndOf(l), GWLP_USERDATA), l);
  tk::win32::destroyControl(w);
}

struct TopLevelCase {
  const char* name;
  int width, height;
  tk::Style styles, ex_styles;
  int left, top;
  DWORD style_present, style_absent;
  DWORD ex_present, ex_absent;
};

TEST(Creation, TopLevelWindowsAreCentredOnTheScreenWithTheirStyles) {
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  const TopLevelCase cases[] = {
      {"status window",
       360,
       68,
       {tk::WS_POPUP_, tk::WS_DLGFRAME_},
       0,
       332,
       350,
       WS_POPUP | WS_DLGFRAME,
       WS_CAPTION & ~WS_DLGFRAME,
       WS_EX_ACCEPTFILES,
       WS_EX_DLGMODALFRAME},
      {"chooser, odd height rounds down",
       324,
       117,
       {tk::WS_DLGFRAME_},
       {tk::WS_EX_DLGMODALFRAME_},
       350,
       326,
       WS_DLGFRAME,
       WS_POPUP | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
       WS_EX_DLGMODALFRAME,
       WS_EX_ACCEPTFILES},
      {"number 0 keeps the defaults", 201, 151, 0, 0, 512 - 100, 384 - 75, WS_OVERLAPPEDWINDOW,
       WS_POPUP, WS_EX_ACCEPTFILES, 0},
  };
  for (const TopLevelCase& c : cases) {
    SCOPED_TRACE(c.name);
    ControlId w = tk::createEx(tk::Window, "w", 0, "center", "center", c.width, c.height, c.styles,
                               c.ex_styles);
    RECT r = screenRect(w);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    DWORD style = static_cast<DWORD>(styleOf(w));
    DWORD ex = static_cast<DWORD>(exStyleOf(w));
    EXPECT_EQ(style & c.style_present, c.style_present) << std::hex << style;
    EXPECT_EQ(style & c.style_absent, 0u) << std::hex << style;
    EXPECT_EQ(ex & c.ex_present, c.ex_present) << std::hex << ex;
    EXPECT_EQ(ex & c.ex_absent, 0u) << std::hex << ex;
    EXPECT_FALSE(IsWindowVisible(hwndOf(w)));
    tk::win32::destroyControl(w);
  }
}

TEST(Creation, StatusWindowStyleIsExactlyPopupWithDialogFrame) {
  ControlId w = statusWindow();
  // The system adds WS_CLIPSIBLINGS to every top-level window; nothing else.
  EXPECT_EQ(static_cast<DWORD>(styleOf(w)) & ~DWORD{WS_CLIPSIBLINGS}, 0x80400000u);
  tk::win32::destroyControl(w);
}

struct ChildCase {
  const char* name;
  int kind;
  tk::Style styles, ex_styles;
  DWORD style;  // exact
  DWORD ex_present;
};

TEST(Creation, ChildControlsGetTheirKindsDefaultsUnlessAListReplacesThem) {
  ControlId w = chooserWindow();
  const ChildCase cases[] = {
      {"label", tk::Label, 0, 0, 0x54000000, 0},
      {"centred label", tk::CenteredLabel, 0, 0, 0x54000001, 0},
      {"default button", tk::DefaultButton, 0, 0, 0x54010001, 0},
      {"check box", tk::CheckBox, 0, 0, 0x54010003, 0},
      // The native combo box hands WS_VSCROLL to its drop-down list and draws
      // its own border instead of WS_EX_CLIENTEDGE: 0x54210202 and 0x210 asked.
      {"combo box", tk::ComboBox, 0, 0, 0x54210202 & ~DWORD{WS_VSCROLL}, WS_EX_ACCEPTFILES},
      {"a number is combined", tk::Label, WS_BORDER, 0, 0x54800000, 0},
      {"a list replaces", tk::CenteredLabel, {WS_CHILD | WS_VISIBLE}, 0, 0x50000000, 0},
      {"a list replaces the extended style",
       tk::Label,
       0,
       {WS_EX_STATICEDGE},
       0x54000000,
       WS_EX_STATICEDGE},
  };
  for (const ChildCase& c : cases) {
    SCOPED_TRACE(c.name);
    ControlId id = tk::createEx(c.kind, "text", w, 4, 4, 100, 60, c.styles, c.ex_styles);
    EXPECT_EQ(static_cast<DWORD>(styleOf(id)), c.style) << std::hex << styleOf(id);
    EXPECT_EQ(static_cast<DWORD>(exStyleOf(id)) & c.ex_present, c.ex_present);
  }
  tk::win32::destroyControl(w);
}

TEST(Creation, StylesZeroAsAListClearsEveryDefault) {
  ControlId w = chooserWindow();
  ControlId number = tk::createEx(tk::CenteredLabel, "n", w, 0, 0, 50, 20, 0, 0);
  ControlId list = tk::createEx(tk::CenteredLabel, "l", w, 0, 0, 50, 20, tk::Style{0}, 0);
  EXPECT_EQ(static_cast<DWORD>(styleOf(number)), 0x54000001u);
  // Style {0}: no WS_CHILD, no WS_VISIBLE, no SS_CENTER (a top-level static).
  EXPECT_EQ(static_cast<DWORD>(styleOf(list)) & (WS_CHILD | WS_VISIBLE | SS_CENTER), 0u);
  tk::win32::destroyControl(list);
  tk::win32::destroyControl(w);
}

TEST(Creation, CenterPlacesAChildInItsParentsClientArea) {
  ControlId w = chooserWindow();
  RECT client;
  GetClientRect(hwndOf(w), &client);
  ControlId label = tk::createEx(tk::Label, "c", w, "center", "center", 101, 21, 0, 0);
  RECT r = screenRect(label);
  POINT p{r.left, r.top};
  ScreenToClient(hwndOf(w), &p);
  EXPECT_EQ(p.x, client.right / 2 - 50);
  EXPECT_EQ(p.y, client.bottom / 2 - 10);
  ControlId fixed = tk::createEx(tk::Label, "f", w, 8, 9, 30, 20, 0, 0);
  r = screenRect(fixed);
  p = POINT{r.left, r.top};
  ScreenToClient(hwndOf(w), &p);
  EXPECT_EQ(p.x, 8);
  EXPECT_EQ(p.y, 9);
  tk::win32::destroyControl(w);
}

TEST(Creation, ChildrenAreSubclassedAndGetTheDefaultFont) {
  ControlId w = chooserWindow();
  ControlId label = tk::createEx(tk::Label, "x", w, 0, 0, 50, 20, 0, 0);
  ControlId combo = tk::createEx(tk::ComboBox, "x", w, 0, 30, 50, 120, 0, 0);
  for (ControlId id : {label, combo}) {
    // A Unicode window: the A call would hand back a thunk, not the procedure.
    EXPECT_EQ(GetWindowLongPtrW(hwndOf(id), GWLP_WNDPROC), tk::win32::subProcAddress());
    auto font = reinterpret_cast<HFONT>(SendMessageA(hwndOf(id), WM_GETFONT, 0, 0));
    EXPECT_EQ(font, tk::win32::defaultFont());
  }
  LOGFONTA lf{};
  ASSERT_NE(GetObjectA(tk::win32::defaultFont(), sizeof lf, &lf), 0);
  EXPECT_STREQ(lf.lfFaceName, "ms sans serif");
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(lf.lfHeight, -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72));
  ReleaseDC(nullptr, dc);
  tk::win32::destroyControl(w);
}

TEST(Creation, TabOrderListsTheTabStopsInCreationOrder) {
  ControlId w = chooserWindow();
  tk::createEx(tk::Label, "Please select", w, 8, 8, 300, 20, 0, 0);
  ControlId combo = tk::createEx(tk::ComboBox, "lsProfile", w, 40, 32, 272, 120, 0, 0);
  ControlId check = tk::createEx(tk::CheckBox, "Don't ask me again", w, 40, 60, 148, 20, 0, 0);
  ControlId button = tk::createEx(tk::DefaultButton, "Start!", w, 224, 56, 88, 28, 0, 0);
  EXPECT_EQ(tk::win32::tabOrder(w), (std::vector<ControlId>{combo, check, button}));
  tk::win32::destroyControl(w);
}

struct ColourCase {
  const char* name;
  int kind;
  UINT message;
  int colour;
};

TEST(Creation, ChildrenPaintWithTheirKindsBackground) {
  ControlId w = chooserWindow();
  // The combo box asks as a static (read-only look) and still gets the window
  // colour; the labels and the check box take their window's face colour.
  const ColourCase cases[] = {
      {"combo box", tk::ComboBox, WM_CTLCOLORSTATIC, COLOR_WINDOW},
      {"label", tk::Label, WM_CTLCOLORSTATIC, COLOR_BTNFACE},
      {"check box", tk::CheckBox, WM_CTLCOLORSTATIC, COLOR_BTNFACE},
      {"button", tk::DefaultButton, WM_CTLCOLORBTN, COLOR_BTNFACE},
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(c.name);
    ControlId id = tk::createEx(c.kind, "x", w, 0, 0, 50, 20, 0, 0);
    HDC dc = GetDC(hwndOf(id));
    LRESULT brush = SendMessageA(hwndOf(w), c.message, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(hwndOf(id)));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(c.colour));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(c.colour));
    ReleaseDC(hwndOf(id), dc);
  }
  tk::win32::destroyControl(w);
}

// ---- creation failures end the process (child processes) ----

int createWithDeadParent() {
  ControlId w = statusWindow();
  tk::win32::destroyControl(w);
  tk::createEx(tk::Label, "x", w, 0, 0, 10, 10, 0, 0);
  return 3;
}
int handleOfDestroyedId() {
  ControlId w = statusWindow();
  tk::win32::destroyControl(w);
  getHandle(w);
  return 3;
}
int handleOfIdZero() {
  getHandle(0);
  return 3;
}
int handleBeyondTheTables() {
  getHandle(100000);
  return 3;
}
int handleOfSecondPseudo() {
  getHandle(tk::win32::kSecondPseudo);
  return 3;
}
int handleTakenOverByAnotherId() {
  ControlId w = statusWindow();
  ControlId label = tk::createEx(tk::Label, "x", w, 0, 0, 10, 10, 0, 0);
  SetWindowLongPtrA(hwndOf(label), GWLP_USERDATA, w);
  getHandle(label);
  return 3;
}

tktest::ChildScenario s1("create-dead-parent", createWithDeadParent);
tktest::ChildScenario s2("handle-destroyed", handleOfDestroyedId);
tktest::ChildScenario s3("handle-zero", handleOfIdZero);
tktest::ChildScenario s4("handle-beyond", handleBeyondTheTables);
tktest::ChildScenario s5("handle-second-pseudo", handleOfSecondPseudo);
tktest::ChildScenario s6("handle-taken-over", handleTakenOverByAnotherId);

struct FatalCase {
  const char* scenario;
  const char* text;  // the body's line after "Error code N"
  int code;
};

TEST(CreationFailure, EndsTheProcessWithStatusOneAfterTheFatalDialog) {
  const FatalCase cases[] = {
      {"create-dead-parent", "create():Invalid parent id.", 459},
      {"handle-destroyed", "getHandle: Object is destroyed.", 497},
      {"handle-zero", "getHandle failed.", 495},
      {"handle-beyond", "getHandle failed.", 495},
      {"handle-second-pseudo", "getHandle returned Null handle.", 496},
      {"handle-taken-over", nullptr, 499},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    tktest::DialogWatcher watcher({tktest::kOk});
    EXPECT_EQ(tktest::runChild(c.scenario), 1);
    std::vector<tktest::DialogSeen> seen = watcher.finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "ilhome - Fatal Error");
    char head[32];
    std::snprintf(head, sizeof head, "Error code %d\n", c.code);
    std::string body = seen[0].body;
    EXPECT_EQ(body.rfind(head, 0), 0u) << body;
    if (c.text != nullptr) {
      EXPECT_EQ(body, std::string(head) + c.text + "\n\nilhome 1.0.0");
    } else {
      int stored = 0, other = 0;
      EXPECT_EQ(std::sscanf(body.c_str() + std::strlen(head),
                            "getHandle:The stored hWnd for id %d is now attached to id %d", &stored,
                            &other),
                2)
          << body;
      EXPECT_NE(stored, other);
    }
    EXPECT_TRUE(seen[0].ok);
    EXPECT_FALSE(seen[0].yes);
    EXPECT_FALSE(seen[0].cancel);
  }
}

}  // namespace
