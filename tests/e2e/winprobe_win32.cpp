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
//   winprobe watch TITLE MS OUTFILE    record every distinct state of TITLE's
//                                      children until it disappears or MS pass;
//                                      the last line is "visible N" (milliseconds)
//   winprobe lock FILE MS              hold FILE open with no sharing for MS
//
// Exit status 0 on success, 1 when the window or control is not found.
#include <windows.h>

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

std::string windowText(HWND h) {
  // Cross-process: WM_GETTEXT with a timeout so a busy program cannot hang us.
  char buf[1024] = {};
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                           SMTO_ABORTIFHUNG, 2000, &len)) {
    GetWindowTextA(h, buf, sizeof buf);
  }
  return buf;
}

std::vector<Child> children(HWND parent) {
  std::vector<Child> out;
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* v = reinterpret_cast<std::vector<Child>*>(lp);
        if (GetParent(h) != GetAncestor(h, GA_ROOT)) return TRUE;  // combo's inner edit
        char cls[128] = {};
        GetClassNameA(h, cls, sizeof cls);
        v->push_back({h, cls, windowText(h)});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

bool sameClass(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

HWND waitFor(const std::string& title, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND h = findVisible(title)) return h;
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(10);
  }
}

int usage() {
  std::fputs("usage: winprobe wait|gone|rect|style|texts|items|settext|click|watch TITLE ...\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string cmd = argv[1];
  const std::string title = argv[2];

  if (cmd == "wait") {
    DWORD ms = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 10000;
    return waitFor(title, ms) ? 0 : 1;
  }
  if (cmd == "gone") {
    DWORD ms = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 10000;
    DWORD start = GetTickCount();
    while (findVisible(title)) {
      if (GetTickCount() - start >= ms) return 1;
      Sleep(10);
    }
    return 0;
  }
  if (cmd == "watch") {
    if (argc < 5) return usage();
    DWORD ms = static_cast<DWORD>(std::atol(argv[3]));
    FILE* out = std::fopen(argv[4], "wb");
    if (!out) return 1;
    DWORD start = GetTickCount();
    DWORD first_seen = 0;
    DWORD last_seen = 0;
    std::string last;
    bool seen = false;
    while (GetTickCount() - start < ms) {
      HWND h = findVisible(title);
      if (!h) {
        if (seen) break;
        Sleep(1);
        continue;
      }
      if (!seen) first_seen = GetTickCount();
      seen = true;
      last_seen = GetTickCount();
      std::string state;
      for (const Child& c : children(h)) state += c.text + "|";
      if (state != last) {
        std::fprintf(out, "%s\n", state.c_str());
        std::fflush(out);
        last = state;
      }
      Sleep(1);
    }
    std::fprintf(out, "visible %lu\n", static_cast<unsigned long>(last_seen - first_seen));
    std::fclose(out);
    return seen ? 0 : 1;
  }

  if (cmd == "lock") {
    DWORD ms = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 10000;
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
        char buf[1024] = {};
        if (SendMessageA(c.hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) <
            static_cast<LRESULT>(sizeof buf))
          SendMessageA(c.hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
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
