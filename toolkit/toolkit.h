// The window toolkit as the program uses it: windows and controls behind
// integer ids, handlers bound to (control, event), the main and modal loops and
// the control state operations. Two implementations stand behind this header:
// native windows (toolkit/win32) and an in-memory one (toolkit/headless).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tk {

using ControlId = int;
using Params = std::vector<long>;
using Handler = void (*)(ControlId self, int event, const Params& params);

// Control kinds.
inline constexpr int Window = 1;
inline constexpr int DefaultButton = 3;
inline constexpr int CheckBox = 4;
inline constexpr int ComboBox = 10;
inline constexpr int Label = 16;
inline constexpr int CenteredLabel = 18;

// Event kinds.
inline constexpr int Click = 4;
inline constexpr int Open = 13;
inline constexpr int Close = 14;
inline constexpr int Timer = 16;
inline constexpr int Activate = 20;

// Open modes.
inline constexpr int Normal = 0;
inline constexpr int Modal = -2;

// Styles.
inline constexpr std::uint32_t WS_POPUP_ = 0x80000000u;
inline constexpr std::uint32_t WS_DLGFRAME_ = 0x00400000u;
inline constexpr std::uint32_t WS_EX_DLGMODALFRAME_ = 0x1u;
inline constexpr std::uint32_t SS_PATHELLIPSIS_ = 0x8000u;
// A label with this style shows "&" as itself rather than underlining the
// letter after it.
inline constexpr std::uint32_t SS_NOPREFIX_ = 0x80u;

// Message box styles and answers. Style 0 is one OK button. A Yes/No box
// with the second button as its default answers No to a user who only
// presses Enter, and to a face that has nobody to ask.
inline constexpr std::uint32_t MB_YESNO_ = 0x4u;
inline constexpr std::uint32_t MB_DEFBUTTON2_ = 0x100u;
inline constexpr std::uint32_t MB_TYPEMASK_ = 0xFu;
inline constexpr int IDOK_ = 1;
inline constexpr int IDYES_ = 6;
inline constexpr int IDNO_ = 7;

// A position: pixels, or "center".
struct Coord {
  bool center = false;
  int pixels = 0;
  Coord(int p) : pixels(p) {}  // NOLINT(google-explicit-constructor)
  // Only the text "center" is meaningful; any other text is 0 pixels.
  Coord(const char* text)  // NOLINT(google-explicit-constructor)
      : center(std::string(text) == "center") {}
};

// A style argument: a number is combined with the kind's defaults, a list
// replaces them.
struct Style {
  bool is_list = false;
  std::vector<std::uint32_t> values;
  Style(std::uint32_t number) : values{number} {}  // NOLINT(google-explicit-constructor)
  Style(std::initializer_list<std::uint32_t> list) : is_list(true), values(list) {}
  std::uint32_t combine(std::uint32_t kind_default) const {
    std::uint32_t bits = 0;
    for (std::uint32_t v : values) bits |= v;
    return is_list ? bits : (kind_default | bits);
  }
};

inline constexpr ControlId Screen = 1;

ControlId createEx(int kind, const std::string& caption, ControlId parent, Coord x, Coord y,
                   int width, int height, const Style& styles, const Style& exStyles);
void bindHandler(ControlId control, int event, Handler routine);
void WinMain(ControlId window, int mode);
void openWindow(ControlId window, int mode);
void runModal(ControlId window);
void requestClose(ControlId window);
void doEvents(ControlId control);
void setVisibility(ControlId control, int flag);
void setText(ControlId control, const std::string& text);
std::string getText(ControlId control);
void appendItems(ControlId list, const std::string& text);
void setIndex(ControlId list, int n);
int getIndex(ControlId list);
int isChecked(ControlId checkbox);
void setClientSize(ControlId window, int width, int height);
void startTimer(ControlId window, int timer_id, int milliseconds);
void stopTimer(ControlId window, int timer_id);
void setFocus(ControlId control);
// Shows a message box owned by the active window and waits for the answer:
// IDOK_ for style 0, IDYES_ or IDNO_ for MB_YESNO_; a box that cannot be
// shown answers 0, which is no Yes.
int messageBox(const std::string& text, const std::string& title, std::uint32_t style);

}  // namespace tk
