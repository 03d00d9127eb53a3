// Implements winprobe.exe: the end-to-end suite's hands and eyes under Wine. It
// finds top-level windows by title, reads their controls and clicks buttons,
// as a person at the screen would.
//
//   winprobe wait TITLE MS             wait until a visible window has TITLE
//   winprobe gone TITLE MS             wait until no visible window has TITLE
//   winprobe rect TITLE                "x y w h cw ch" of the window and client area
//   winprobe style TITLE               the window's style and extended style, hex
//   winprobe texts TITLE               one line per child: class|text
//   winprobe items TITLE               the combo box items, "*" before the selected one
//   winprobe settext TITLE TEXT        type TEXT into the combo box's edit field
//   winprobe click TITLE CAPTION       click the child button whose text is CAPTION
//   winprobe watch TITLE MS OUTFILE [sync]
//                                      record every distinct state of TITLE's
//                                      children (after "rect X Y W H|") until it
//                                      is destroyed or MS pass; the last line is
//                                      "visible N", the longest time in
//                                      milliseconds that it stayed visible.
//                                      With sync the texts are asked of the
//                                      controls, so each read waits for the program
//                                      to handle messages: every state it shows
//                                      between two long stretches of work is seen
//   winprobe lock FILE MS              hold FILE open with no sharing for MS
//   winprobe reason CODE               the system's message for error CODE, as an
//                                      Error box ends with it: one line, no line end
//   winprobe cover X Y W H MS          show a plain window titled "cover" at X,Y
//                                      (W x H), in front and active, for MS;
//                                      prints "covered" once it is settled there
//   winprobe ink TITLE X Y W H         the extent of what is drawn on the screen
//                                      inside the client-area rectangle X,Y,W,H
//                                      of TITLE: "left top right bottom" of the
//                                      pixels that differ from the window's face
//                                      colour, relative to that rectangle, or
//                                      "none"
//   winprobe inkwhen TITLE TEXT DELAY X Y W H MS
//                                      as ink, DELAY ms after a child of TITLE
//                                      first shows TEXT (waiting up to MS)
//   winprobe uncover TITLE TEXT COVERMS DELAY X Y W H MS
//                                      once a child of TITLE shows TEXT, covers
//                                      the window for COVERMS, takes the cover
//                                      away and measures as ink DELAY ms later
//   The ink commands print "gone" (exit 2) when TITLE's window was no longer
//   on screen once measured: what they saw was no longer the window's.
//   winprobe close TITLE               post TITLE a close message, as another
//                                      program (a task manager) would
//   winprobe checked TITLE CAPTION MS  wait until the check box CAPTION is ticked
//   winprobe shows TITLE TEXT MS       wait until a child of TITLE shows TEXT
//   winprobe typing TITLE MS           wait until TITLE is in front and keys
//                                      typed go into its combo box
//
//   winprobe --desktop NAME COMMAND ...  any of these in the virtual desktop NAME
//
// Exit status 0 on success, 1 when the window or control is not found.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Child {
  HWND hwnd;
  std::string cls;
  std::string text;
};

HWND findVisible(const std::string& title) {
  HWND found = nullptr;
  struct Ctx {
    const std::string* title;
    HWND* found;
  } ctx{&title, &found};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        char buf[512] = {};
        GetWindowTextA(h, buf, sizeof buf);
        if (IsWindowVisible(h) && *c->title == buf) {
          *c->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return found;
}

// The text of a control. A program that is busy in a long run handles no
// messages, so the watcher reads the caption the system keeps for the window
// (GetWindowText never sends to another process); the message form, with a
// time-out, is for controls whose text lives inside them, like a combo box.
std::string windowText(HWND h, bool ask_the_control, UINT timeout_ms = 2000) {
  char buf[1024] = {};
  DWORD_PTR len = 0;
  if (!ask_the_control ||
      !SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                           SMTO_ABORTIFHUNG, timeout_ms, &len)) {
    GetWindowTextA(h, buf, sizeof buf);
  }
  return buf;
}

std::vector<Child> children(HWND parent, bool ask_the_controls = true, UINT timeout_ms = 2000) {
  struct Ctx {
    std::vector<Child> out;
    bool ask;
    UINT timeout;
  } ctx{{}, ask_the_controls, timeout_ms};
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        if (GetParent(h) != GetAncestor(h, GA_ROOT)) return TRUE;  // combo's inner edit
        char cls[128] = {};
        GetClassNameA(h, cls, sizeof cls);
        c->out.push_back({h, cls, windowText(h, c->ask, c->timeout)});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.out;
}

bool sameClass(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

// Asks again every 10 ms until `holds` answers true or `ms` milliseconds pass.
template <typename Test>
bool pollFor(DWORD ms, Test holds) {
  DWORD start = GetTickCount();
  for (;;) {
    if (holds()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(10);
  }
}

HWND waitFor(const std::string& title, DWORD ms) {
  HWND found = nullptr;
  pollFor(ms, [&] { return (found = findVisible(title)) != nullptr; });
  return found;
}

DWORD millisecondsArg(int argc, char** argv, int index) {
  return argc > index ? static_cast<DWORD>(std::atol(argv[index])) : 10000;
}

bool isChecked(const std::string& title, const std::string& caption) {
  HWND w = findVisible(title);
  if (!w) return false;
  for (const Child& c : children(w)) {
    if (!sameClass(c.cls, "Button") || c.text != caption) continue;
    DWORD_PTR state = 0;
    return SendMessageTimeoutA(c.hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state) &&
           state == BST_CHECKED;
  }
  return false;
}

bool showsText(const std::string& title, const std::string& text) {
  HWND w = findVisible(title);
  if (!w) return false;
  const std::vector<Child> all = children(w);
  return std::any_of(all.begin(), all.end(), [&](const Child& c) { return c.text == text; });
}

// In front, with the keyboard focus in its combo box (the edit field inside it).
bool typingGoesToList(const std::string& title) {
  HWND w = findVisible(title);
  if (!w || GetForegroundWindow() != w) return false;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) || !info.hwndFocus) {
    return false;
  }
  for (HWND h = info.hwndFocus; h != nullptr && h != w; h = GetParent(h)) {
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (sameClass(cls, "ComboBox")) return true;
  }
  return false;
}

// Prints the extent of the pixels inside the client-area rectangle that differ
// from the window's face colour, as the screen shows them. A window that was
// closed while it was measured leaves the desktop's pixels behind, which would
// read as ink: that case prints "gone" and gives false.
bool printInk(HWND w, int x, int y, int width, int height) {
  POINT corner{x, y};
  ClientToScreen(w, &corner);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, corner.x, corner.y, SRCCOPY);
  GdiFlush();
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const DWORD face_bits = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  const auto* pixels = static_cast<const DWORD*>(bits);
  int left = width, top = height, right = -1, bottom = -1;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      if ((pixels[row * width + col] & 0xFFFFFF) == face_bits) continue;
      left = std::min(left, col);
      right = std::max(right, col);
      top = std::min(top, row);
      bottom = std::max(bottom, row);
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  const bool still_shown = IsWindow(w) && IsWindowVisible(w);
  if (!still_shown) {
    std::puts("gone");
  } else if (right < 0) {
    std::puts("none");
  } else {
    std::printf("%d %d %d %d\n", left, top, right, bottom);
  }
  std::fflush(stdout);
  return still_shown;
}

int inkExit(bool still_shown) { return still_shown ? 0 : 2; }

// The visible window titled TITLE once one of its children shows TEXT
// (anywhere in its text), or null after MS.
HWND waitForText(const std::string& title, const std::string& text, DWORD ms) {
  HWND found = nullptr;
  pollFor(ms, [&] {
    HWND h = findVisible(title);
    if (!h) return false;
    const std::vector<Child> all = children(h, false);
    if (std::none_of(all.begin(), all.end(),
                     [&](const Child& c) { return c.text.find(text) != std::string::npos; })) {
      return false;
    }
    found = h;
    return true;
  });
  return found;
}

// Handles this process's messages for MS milliseconds (at least once).
void pumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (ms != 0) Sleep(10);
  } while (GetTickCount() - start < ms);
}

// A plain white window titled "cover" in front: active, as another program
// a user switches to would be, or (not active) a window passing over it.
HWND showCover(int x, int y, int width, int height, bool active) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = "winprobe cover";
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, wc.lpszClassName, "cover", WS_POPUP | WS_BORDER, x, y, width, height,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (active) {
    ShowWindow(h, SW_SHOWNORMAL);
    SetForegroundWindow(h);
  } else {
    ShowWindow(h, SW_SHOWNOACTIVATE);
  }
  return h;
}

// How far a cover reaches past the window it covers on every side.
constexpr int kCoverMargin = 20;

int usage() {
  std::fputs(
      "usage: winprobe wait|gone|checked|shows|typing|rect|style|texts|items|settext|click|watch|"
      "ink|inkwhen|uncover|close|lock|cover "
      "TITLE ...\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Windows of a virtual desktop are seen only from a thread of that desktop,
  // which may still be starting.
  if (argc > 2 && std::string(argv[1]) == "--desktop") {
    HDESK desktop = nullptr;
    pollFor(10000, [&] { return (desktop = OpenDesktopA(argv[2], 0, FALSE, GENERIC_ALL)); });
    if (!desktop || !SetThreadDesktop(desktop)) return 1;
    argc -= 2;
    argv += 2;
  }
  if (argc < 3) return usage();
  const std::string cmd = argv[1];
  const std::string title = argv[2];

  if (cmd == "wait") return waitFor(title, millisecondsArg(argc, argv, 3)) ? 0 : 1;
  if (cmd == "gone") {
    return pollFor(millisecondsArg(argc, argv, 3), [&] { return !findVisible(title); }) ? 0 : 1;
  }
  if (cmd == "checked" || cmd == "shows") {
    if (argc < 4) return usage();
    const std::string what = argv[3];
    const bool checked = cmd == "checked";
    return pollFor(millisecondsArg(argc, argv, 4),
                   [&] { return checked ? isChecked(title, what) : showsText(title, what); })
               ? 0
               : 1;
  }
  if (cmd == "typing") {
    return pollFor(millisecondsArg(argc, argv, 3), [&] { return typingGoesToList(title); }) ? 0 : 1;
  }
  if (cmd == "watch") {
    if (argc < 5) return usage();
    DWORD ms = static_cast<DWORD>(std::atol(argv[3]));
    const bool sync = argc > 5 && std::string(argv[5]) == "sync";
    FILE* out = std::fopen(argv[4], "wb");
    if (!out) return 1;
    DWORD start = GetTickCount();
    std::string last;
    bool seen = false;
    HWND h = nullptr;
    DWORD shown_at = 0;
    DWORD longest = 0;
    bool shown = false;
    // The program shows and hides its window as it goes (opened, hidden at
    // once, shown again for the run): watch until the window is destroyed,
    // and report the longest stretch it stayed visible.
    while (GetTickCount() - start < ms) {
      // Found once by title, then followed by handle: a title read can fail
      // while the program is busy, its handle cannot.
      if (!h) {
        h = findVisible(title);
        if (!h) {
          Sleep(1);
          continue;
        }
      }
      if (!IsWindow(h)) break;
      const DWORD now = GetTickCount();
      if (!IsWindowVisible(h)) {
        if (shown && now - shown_at > longest) longest = now - shown_at;
        shown = false;
        Sleep(1);
        continue;
      }
      if (!shown) shown_at = now;
      shown = seen = true;
      if (now - shown_at > longest) longest = now - shown_at;
      RECT r{};
      GetWindowRect(h, &r);
      char where[64];
      std::snprintf(where, sizeof where, "rect %ld %ld %ld %ld|", r.left, r.top, r.right - r.left,
                    r.bottom - r.top);
      std::string state = where;
      for (const Child& c : children(h, sync, 500)) state += c.text + "|";
      if (state != last) {
        std::fprintf(out, "%s\n", state.c_str());
        std::fflush(out);
        last = state;
      }
      Sleep(1);
    }
    std::fprintf(out, "visible %lu\n", static_cast<unsigned long>(longest));
    std::fclose(out);
    return seen ? 0 : 1;
  }

  if (cmd == "inkwhen") {
    // Waits (without wine's start-up in between) for the moment a child of
    // TITLE shows TEXT, lets DELAY ms pass, then measures as "ink" does.
    if (argc < 10) return usage();
    HWND h = waitForText(title, argv[3], static_cast<DWORD>(std::atol(argv[9])));
    if (!h) return 1;
    Sleep(static_cast<DWORD>(std::atol(argv[4])));
    return inkExit(printInk(h, std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7]),
                            std::atoi(argv[8])));
  }
  if (cmd == "uncover") {
    // One process does the covering and the looking, so no process start-up
    // lies between the program showing TEXT, the cover and the measurement.
    if (argc < 11) return usage();
    const std::string text = argv[3];
    const DWORD cover_ms = static_cast<DWORD>(std::atol(argv[4]));
    const DWORD delay = static_cast<DWORD>(std::atol(argv[5]));
    HWND h = waitForText(title, text, static_cast<DWORD>(std::atol(argv[10])));
    if (!h) return 1;
    RECT r{};
    GetWindowRect(h, &r);
    // Not active: under Wine with no window manager, moving or hiding an
    // active window waits two seconds for a manager that never answers.
    HWND cover =
        showCover(r.left - kCoverMargin, r.top - kCoverMargin, r.right - r.left + 2 * kCoverMargin,
                  r.bottom - r.top + 2 * kCoverMargin, false);
    pumpFor(cover_ms);
    DestroyWindow(cover);
    pumpFor(delay);
    return inkExit(printInk(h, std::atoi(argv[6]), std::atoi(argv[7]), std::atoi(argv[8]),
                            std::atoi(argv[9])));
  }
  if (cmd == "cover") {
    if (argc < 7) return usage();
    showCover(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), true);
    // Its activation handled, the cover is settled in front: a test that
    // waits for this word knows nothing of the cover's will come after it.
    pumpFor(0);
    std::puts("covered");
    std::fflush(stdout);
    pumpFor(static_cast<DWORD>(std::atol(argv[6])));
    return 0;
  }

  if (cmd == "reason") {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(std::strtoul(title.c_str(), nullptr, 10)), 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return 1;
    std::string message(text, length);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    std::puts(message.c_str());
    return 0;
  }

  if (cmd == "lock") {
    DWORD ms = millisecondsArg(argc, argv, 3);
    HANDLE f = CreateFileA(title.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    std::puts("locked");
    std::fflush(stdout);
    Sleep(ms);
    CloseHandle(f);
    return 0;
  }

  HWND w = findVisible(title);
  if (!w) {
    std::fprintf(stderr, "winprobe: no visible window \"%s\"\n", title.c_str());
    return 1;
  }
  if (cmd == "rect") {
    RECT r{}, c{};
    GetWindowRect(w, &r);
    GetClientRect(w, &c);
    std::printf("%ld %ld %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
                c.right, c.bottom);
    return 0;
  }
  if (cmd == "ink") {
    if (argc < 7) return usage();
    return inkExit(printInk(w, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                            std::atoi(argv[6])));
  }
  if (cmd == "close") {
    PostMessageA(w, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == "style") {
    std::printf("%08lx %08lx\n", static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(w, GWL_EXSTYLE)));
    return 0;
  }
  if (cmd == "texts") {
    for (const Child& c : children(w)) std::printf("%s|%s\n", c.cls.c_str(), c.text.c_str());
    return 0;
  }
  if (cmd == "items") {
    for (const Child& c : children(w)) {
      if (!sameClass(c.cls, "ComboBox")) continue;
      LRESULT n = SendMessageA(c.hwnd, CB_GETCOUNT, 0, 0);
      LRESULT sel = SendMessageA(c.hwnd, CB_GETCURSEL, 0, 0);
      for (LRESULT i = 0; i < n; ++i) {
        // The wide message: Wine converts it reliably across processes.
        wchar_t wide[1024] = {};
        char buf[2048] = {};
        if (SendMessageW(c.hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 1024) {
          SendMessageW(c.hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(wide));
          // UTF-8, so names outside the ANSI code page are compared as they are.
          WideCharToMultiByte(CP_UTF8, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
        }
        std::printf("%s%s\n", i == sel ? "*" : " ", buf);
      }
      return 0;
    }
    return 1;
  }
  if (cmd == "settext") {
    if (argc < 4) return usage();
    for (const Child& c : children(w)) {
      if (!sameClass(c.cls, "ComboBox")) continue;
      SendMessageA(c.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
      return 0;
    }
    return 1;
  }
  if (cmd == "click") {
    if (argc < 4) return usage();
    for (const Child& c : children(w)) {
      if (sameClass(c.cls, "Button") && c.text == argv[3]) {
        // Posted, not sent: the click may open a message box that waits for us.
        PostMessageA(c.hwnd, BM_CLICK, 0, 0);
        return 0;
      }
    }
    return 1;
  }
  return usage();
}
