// Test harness for the native toolkit under Wine: main(), child processes
// and the dialog watcher thread, on kernel32 and user32.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "tests/toolkit/win32/harness.h"

namespace tktest {
namespace {

tk::ControlId g_main = 0;
bool g_idle_before_winmain = false;
int g_status = 0;

std::map<std::string, Scenario>& scenarios() {
  static std::map<std::string, Scenario> m;
  return m;
}

void runAllTests(tk::ControlId, int, const tk::Params&) {
  tk::setVisibility(g_main, 0);
  g_status = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::exit(g_status);  // as the program does: the activation handler ends the process
}

std::string windowText(HWND h) {
  char buffer[4096] = {};
  GetWindowTextA(h, buffer, sizeof buffer);
  return buffer;
}

struct ChildInfo {
  std::string longest_static;
  bool exclamation = false;
  bool hand = false;
};

BOOL CALLBACK collect(HWND child, LPARAM param) {
  auto* info = reinterpret_cast<ChildInfo*>(param);
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  std::string text = windowText(child);
  if (text.size() > info->longest_static.size()) info->longest_static = text;
  auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  if (icon != nullptr && icon == LoadIconA(nullptr, IDI_EXCLAMATION)) info->exclamation = true;
  if (icon != nullptr && icon == LoadIconA(nullptr, IDI_HAND)) info->hand = true;
  return TRUE;
}

HWND findDialog(std::string& title) {
  for (int kind : {tk::win32::kWarning, tk::win32::kFatal}) {
    title = tk::win32::errorTitle(kind);
    if (HWND h = FindWindowA("#32770", title.c_str())) return h;
  }
  return nullptr;
}

}  // namespace

tk::ControlId testMainWindow() { return g_main; }
bool doEventsBeforeWinMainWasIdle() { return g_idle_before_winmain; }

ChildScenario::ChildScenario(const char* name, Scenario run) { scenarios()[name] = run; }

int runChild(const std::string& name) {
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = std::string("\"") + exe + "\" --child " + name;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  } else {
    TerminateProcess(pi.hProcess, 99);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

struct DialogWatcher::State {
  std::vector<int> answers;
  std::vector<DialogSeen> seen;
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::thread thread;
};

DialogWatcher::DialogWatcher(std::vector<int> answers) : state_(std::make_unique<State>()) {
  state_->answers = std::move(answers);
  State* s = state_.get();
  s->thread = std::thread([s] {
    std::size_t next = 0;
    while (!s->stop) {
      std::string title;
      HWND dialog = findDialog(title);
      if (dialog == nullptr) {
        Sleep(10);
        continue;
      }
      DialogSeen d;
      d.title = title;
      ChildInfo info;
      EnumChildWindows(dialog, collect, reinterpret_cast<LPARAM>(&info));
      d.body = info.longest_static;
      d.exclamation_icon = info.exclamation;
      d.hand_icon = info.hand;
      d.yes = GetDlgItem(dialog, IDYES) != nullptr;
      d.no = GetDlgItem(dialog, IDNO) != nullptr;
      d.cancel = GetDlgItem(dialog, IDCANCEL) != nullptr;
      d.ok = GetDlgItem(dialog, IDOK) != nullptr;
      int button = next < s->answers.size() ? s->answers[next] : (d.yes ? IDYES : IDOK);
      ++next;
      {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->seen.push_back(d);
      }
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
      // Wait until this dialog is gone before looking for the next one.
      for (int i = 0; i < 500 && IsWindow(dialog) && !s->stop; ++i) Sleep(10);
    }
  });
}

DialogWatcher::~DialogWatcher() { finish(); }

std::vector<DialogSeen> DialogWatcher::finish() {
  state_->stop = true;
  if (state_->thread.joinable()) state_->thread.join();
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->seen;
}

bool pumpUntil(bool (*done)(), int rounds) {
  for (int i = 0; i < rounds; ++i) {
    if (done()) return true;
    tk::doEvents(0);
    Sleep(5);
  }
  return done();
}

}  // namespace tktest

int main(int argc, char** argv) {
  using namespace tktest;
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    auto it = scenarios().find(argv[2]);
    return it == scenarios().end() ? 98 : it->second();
  }
  testing::InitGoogleTest(&argc, argv);
  // Before WinMain the pump must leave the queue alone.
  g_main = tk::createEx(tk::Window, "toolkit tests", 0, "center", "center", 200, 100, 0, 0);
  HWND h = static_cast<HWND>(tk::win32::getHandle(g_main));
  PostMessageA(h, WM_APP + 3, 0, 0);
  tk::doEvents(0);
  MSG msg;
  g_idle_before_winmain = PeekMessageA(&msg, h, WM_APP + 3, WM_APP + 3, PM_REMOVE) != FALSE;
  tk::bindHandler(g_main, tk::Activate, runAllTests);
  tk::WinMain(g_main, tk::Normal);
  return 3;  // the Activate handler ends the process
}
