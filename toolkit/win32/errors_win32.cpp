// Native Windows toolkit: the fatal and warning error dialogs, the ignore list
// and the error hooks, shown with MessageBoxA.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "toolkit/win32/registry_win32.h"

#ifndef ILHOME_VERSION
#define ILHOME_VERSION "0.0.0"
#endif

namespace tk::win32 {
namespace {

constexpr char kAppName[] = "ilhome";
constexpr char kVersionText[] = "ilhome " ILHOME_VERSION;
constexpr UINT kWarningStyle = MB_YESNOCANCEL | MB_ICONEXCLAMATION;
constexpr UINT kFatalStyle = MB_OK | MB_ICONHAND;
constexpr int kExitFatal = 1;
constexpr int kExitCancel = 0;

void runHooks(int code, const std::string& body) {
  ErrorSettings& s = errorSettings();
  // Set aside while they run: an error inside a hook must not call them again.
  std::vector<ErrorHook> hooks;
  hooks.swap(s.hooks);
  for (std::size_t i = 0; i < hooks.size(); ++i) {
    if (hooks[i](code, body, static_cast<int>(i + 1), i + 1 == hooks.size()) == -1) break;
  }
  s.hooks.swap(hooks);
}

}  // namespace

ErrorSettings& errorSettings() {
  static ErrorSettings s{kAppName, kVersionText, 1, {}, {cleanUpHook}};
  return s;
}

std::string errorTitle(int kind) {
  return errorSettings().app_name + " - " + (kind == kFatal ? "Fatal Error" : "Error Warning");
}

int showErrorDialog(int code, bool record, const std::string& text, int kind) {
  ErrorSettings& s = errorSettings();
  std::string body;
  if (record) {
    char head[32];
    std::snprintf(head, sizeof head, "Error code %d\n", code);
    body = head + text;
  } else {
    code = 0;
    body = text;
  }
  UINT style = kFatalStyle;
  if (kind != kFatal) {
    body +=
        "\n\nPress\n  [ YES ]  to continue,\n  [ NO ] to ignore repeats, or\n"
        "  [ Cancel ]  to quit.";
    style = kWarningStyle;
  }
  int answer = IDYES;
  if (std::find(s.ignore_list.begin(), s.ignore_list.end(), code) == s.ignore_list.end()) {
    body += "\n\n" + s.version_text;
    answer = messageBox(body, errorTitle(kind), style | MB_TASKMODAL);
  }
  if (kind == kFatal || answer == IDCANCEL) {
    runHooks(code, body);
    std::exit(kind == kFatal ? kExitFatal : kExitCancel);
  }
  if (answer == IDNO) s.ignore_list.push_back(code);
  return answer;
}

void abortErr(int code, const std::string& text) {
  showErrorDialog(code, true, text, kFatal);
  std::exit(kExitFatal);  // not reached: the fatal dialog ends the process
}

int warnErr(const std::string& text) {
  int level = errorSettings().warning_level;
  if (level == 0) return 0;
  return showErrorDialog(0, false, text, level);
}

int warnErr(int code, const std::string& text) {
  int level = errorSettings().warning_level;
  if (level == 0) return 0;
  return showErrorDialog(code, true, text, level);
}

}  // namespace tk::win32
