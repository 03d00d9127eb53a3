// The native toolkit's inner operations, shared by its platform files and by
// its tests under Wine. Native handles travel as void* so that this header
// needs no system headers; the platform files cast them back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/states.h"
#include "toolkit/toolkit.h"

namespace tk::win32 {

using NativeHandle = void*;  // an HWND

// The second pseudo control, created right after Screen; it has no native
// window and the program never names it.
inline constexpr ControlId kSecondPseudo = 2;

// Event kinds fired around the routing of every native message when bound.
inline constexpr int kEventBeforeMessage = 19;
inline constexpr int kEventAfterMessage = 21;
inline constexpr int kEventChange = 9;
inline constexpr int kEventDropDown = 22;
inline constexpr int kEventCloseUp = 23;
inline constexpr int kMaxEvent = 24;

// Type codes of the per-control type table.
inline constexpr int kTypeWindow = 0;
inline constexpr int kTypeButton = 1;
inline constexpr int kTypeComboBox = 2;
inline constexpr int kTypeListBox = 4;
inline constexpr int kTypeStatic = 6;

// Error dialog kinds.
inline constexpr int kWarning = 1;
inline constexpr int kFatal = 2;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
struct Size {
  int width = 0, height = 0;
};

// ---- controls and creation ----
bool validId(ControlId id);
// A fatal error, with a code for each reason, when the id does not name a live control.
NativeHandle getHandle(ControlId id);
int controlKind(ControlId id);  // 0 for an id that is not live
std::vector<ControlId> tabOrder(ControlId window);
int closeState(ControlId window);
// Destroys the native window (children first) and frees the ids for reuse.
void destroyControl(ControlId id);
NativeHandle defaultFont();      // the HFONT sent to every child control
std::intptr_t subProcAddress();  // SubProc, as installed on child controls

// ---- events ----
// bindHandler(control, event, nullptr) empties that list.
long fireEvent(ControlId control, int event, const Params& params);
void setEventResult(long value);            // sets the innermost return slot
std::vector<unsigned> messageTableOrder();  // messages in current search order

// ---- loops ----
int runningState();
ControlId mainWindow();
ControlId currentModal();
void runMessageLoop(int limit);
void popModal();

// ---- control state ----
void appendItems(ControlId list, const std::vector<std::string>& texts);
void setVisibility(const std::vector<ControlId>& controls, int flag);
void setCtlSize(ControlId control, int width, int height);
Rect getClientRect(ControlId control);
Size getCtlSize(ControlId control);

// ---- error reporting ----
// Hooks run on the way out after a fatal error or Cancel: (code, body,
// position from 1, last one?) -> -1 stops the remaining hooks.
using ErrorHook = int (*)(int code, const std::string& body, int position, bool last);

struct ErrorSettings {
  std::string app_name;
  std::string version_text;
  int warning_level = 1;
  std::vector<int> ignore_list;
  std::vector<ErrorHook> hooks;
};
ErrorSettings& errorSettings();

// A record error {text, code}; the text is already formatted.
[[noreturn]] void abortErr(int code, const std::string& text);
int warnErr(const std::string& text);  // plain text, code 0
int warnErr(int code, const std::string& text);
// kind 1 warning, 2 fatal; returns the answer (IDYES or IDNO) when it returns.
int showErrorDialog(int code, bool record, const std::string& text, int kind);
std::string errorTitle(int kind);
// The toolkit's own clean-up: releases its font, marks the main loop ended.
int cleanUpHook(int code, const std::string& body, int position, bool last);

}  // namespace tk::win32
