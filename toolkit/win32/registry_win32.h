// State shared by the native toolkit's platform files: the per-control
// tables, the dispatch stacks and the loop state. No system headers here;
// native handles and procedures are kept as void* and std::intptr_t.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/win32/toolkit_win32.h"

namespace tk::win32::detail {

// The handle of an id between allocation and the native window's creation.
inline NativeHandle placeholderHandle() {
  return reinterpret_cast<NativeHandle>(std::intptr_t{-1});
}

inline constexpr int kLive = 0;
inline constexpr int kFree = -1;
inline constexpr int kGrowthStep = 16;

struct FontRequest {
  std::string face;
  int points = 0;
  int attributes = 0;
};

// One entry of the per-control tables. Colours are system colour indexes.
struct Control {
  int state = kFree;
  int kind = 0;
  NativeHandle handle = placeholderHandle();
  bool attached = false;
  int type = 0;
  ControlId parent = 0;
  std::intptr_t old_proc = 0;
  std::vector<ControlId> tab_order;
  int close_state = kOpen;
  FontRequest font;
  int background = 0;
  int text_colour = 0;
  int draw_foreground = 0;  // colours of the toolkit's own drawing on a window
  int draw_background = 0;
  // For a window: how many of its Activate firings are still running. The
  // work that opening the window started is using it, so it is not closed.
  int activating = 0;
  // For a window: the control that had the keyboard focus when the window was
  // last deactivated, given the focus back when it is activated again.
  NativeHandle last_focus = nullptr;
  // For a path-ellipsis label: the whole text last set, while the control
  // shows a shortened form of it.
  std::string full_text;
  bool full_text_set = false;
  std::array<std::vector<Handler>, kMaxEvent + 1> handlers;
};

struct Registry {
  std::vector<Control> controls;  // controls[id - 1]
  std::vector<ControlId> free_list;
  std::size_t newest_growth = 0;  // index of the first entry of the latest growth
  int class_number = 0;           // running number of registered window classes
};

// Created on first use, with Screen and the second pseudo control in place.
Registry& registry();
// The entry of an id inside the tables, or nullptr.
Control* entry(ControlId id);
// Frees an id whose native window is gone.
void releaseId(ControlId id);
// The id stored in a native window's user data (0 when none).
ControlId idOfHandle(NativeHandle handle);
// Deletes the default font and the other drawing objects of the toolkit.
void releaseDrawingObjects();

// ---- dispatch ----
enum class ProcKind { Window, Sub };
struct MessageRecord {
  ProcKind kind;
  NativeHandle handle;
  unsigned message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};
std::vector<MessageRecord>& messageStack();
std::intptr_t wndProcAddress();

// ---- loops ----
struct ModalEntry {
  ControlId id = 0;
  NativeHandle handle = nullptr;
  int mode = 0;
  std::size_t level = 0;
};
struct LoopState {
  int running = kNotStarted;
  ControlId main_window = 0;
  std::vector<int> stop_flags;  // one per running loop, innermost last
  ModalEntry modal;
  std::vector<ModalEntry> modal_stack;
};
LoopState& loops();
// WM_CLOSE: the close protocol; the message is always handled.
void closeProtocol(ControlId id);
// The window that owns a control: the control itself for a window.
ControlId windowOf(ControlId id);
// Puts a shown top-level window in front of the others and asks for it to
// become the foreground window, as far as the system lets this process.
void bringToFront(NativeHandle window);
// Gives a window's default button its default look unless another push button
// of that window has the focus, as the dialog manager does.
void keepDefaultButton(NativeHandle focus);
// The dialog-like part of a top-level window's default processing: the focus
// is kept across deactivation. False: not handled, DefWindowProc follows.
bool windowDefault(ControlId id, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                   std::intptr_t& result);

}  // namespace tk::win32::detail
