// The terminal face. The status window becomes one line on standard error:
// its labels that the program has written, in reading order. On a terminal the
// line is redrawn in place at most ten times a second; it always ends with a
// line feed (a redraw first moves the cursor back up), so the process may end
// at any moment without leaving the cursor inside it. When standard error is
// not a terminal a new state is one plain line, at most thirty a second: a run
// over 100,000 files would otherwise write, and build, a line for each. The
// last state is drawn before anything else is written, and whenever the
// program lets messages through twice in a row without changing anything (it
// pauses or is about to end). Message boxes are "title: text" lines answered
// OK, or, with Yes and No, answered by a line of standard input; the chooser
// reads its answers from standard input too.
#include "toolkit/headless/terminal_face.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <string>

namespace tk::headless {
namespace {

constexpr double kRedrawIntervalMs = 100;
constexpr double kPlainLineIntervalMs = 1000.0 / 30;
// Longest status line drawn in place; longer ones are cut in the middle so
// that the line never wraps and "\r" can redraw it.
constexpr std::size_t kMaxLineWidth = 79;
constexpr char kLabelSeparator[] = "  ";
constexpr char kLineUp[] = "\033[A\r\033[K";
constexpr char kRememberQuestion[] = "Don't ask me again? [y/N] ";
constexpr char kYesNoQuestion[] = " [y/N] ";

void writeErr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// A file name may hold line feeds or escape sequences (a POSIX file system
// allows any byte but the slash); shown as they are they would break the one
// status line, or one item per line, and could drive the terminal. Control
// bytes are shown as "?", but for the line feeds a message box's own text
// is laid out with when `keep_lines` is set.
std::string printable(const std::string& text, bool keep_lines = false) {
  std::string shown = text;
  for (char& ch : shown) {
    const auto byte = static_cast<unsigned char>(ch);
    if ((byte < 0x20 && !(keep_lines && ch == '\n')) || byte == 0x7F) ch = '?';
  }
  return shown;
}

bool isLabel(const Control* c) {
  return c != nullptr && (c->kind == Label || c->kind == CenteredLabel);
}

ControlId firstChildOfKind(ControlId window, int kind) {
  for (ControlId id : children(window)) {
    if (control(id)->kind == kind) return id;
  }
  return 0;
}

std::optional<std::string> readAnswer() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// A yes/no answer: a line beginning with "y"; no line at all is no.
bool saidYes(const std::optional<std::string>& answer) {
  return answer && !answer->empty() && (answer->front() == 'y' || answer->front() == 'Y');
}

// A number from 1 to count, or 0.
int itemNumber(const std::string& text, std::size_t count) {
  if (text.empty() || text.size() > 9) return 0;
  if (!std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    return 0;
  }
  long n = std::atol(text.c_str());
  return n >= 1 && static_cast<std::size_t>(n) <= count ? static_cast<int>(n) : 0;
}

class TerminalFace final : public Face {
 public:
  TerminalFace()
      : tty_(stderrIsTerminal()), interval_ms_(tty_ ? kRedrawIntervalMs : kPlainLineIntervalMs) {}

  void reset() override {
    line_open_ = false;
    drawn_.clear();
    last_draw_ms_ = -1e9;
    last_filter_ = -1;
    answered_.clear();
  }

  void refresh(ControlId filter) override {
    // Two calls for any window in a row: the program has nothing new to show
    // for now, so the last state must be on the screen.
    show(filter == 0 && last_filter_ == 0);
    last_filter_ = filter;
  }

  void visibilityChanged(ControlId id) override {
    const Control* c = control(id);
    if (c != nullptr && c->parent == 0 && !c->visible) show(true);
  }

  int messageBox(const std::string& text, const std::string& title, std::uint32_t style) override {
    finishLine();
    const std::string shown = printable(title) + ": " + printable(text, true);
    if ((style & MB_TYPEMASK_) != MB_YESNO_) {
      writeErr(shown + "\n");
      return IDOK_;
    }
    // Only a "y" says yes: an empty line, anything else and the end of the
    // input (nobody there to answer) are the default No.
    writeErr(shown + kYesNoQuestion);
    std::optional<std::string> answer = readAnswer();
    if (!answer) writeErr("\n");
    return saidYes(answer) ? IDYES_ : IDNO_;
  }

  void idle(ControlId loop_window) override {
    if (currentModal() != loop_window || answered_.count(loop_window) != 0) {
      postClose(loop_window);  // nobody is left to answer
      return;
    }
    answered_.insert(loop_window);
    finishLine();
    ControlId list = firstChildOfKind(loop_window, ComboBox);
    ControlId box = firstChildOfKind(loop_window, CheckBox);
    ControlId button = firstChildOfKind(loop_window, DefaultButton);
    std::string prompt;
    for (ControlId id : children(loop_window)) {
      if (control(id)->kind == Label) prompt += control(id)->text + "\n";
    }
    if (const Control* l = control(list)) {
      for (std::size_t i = 0; i < l->items.size(); ++i) {
        prompt += (static_cast<int>(i + 1) == l->index ? "* " : "  ") + std::to_string(i + 1) +
                  ") " + printable(l->items[i]) + "\n";
      }
    }
    writeErr(prompt + "> ");
    std::optional<std::string> answer = readAnswer();
    if (!answer) {
      writeErr("\n");
      postClose(loop_window);
      return;
    }
    if (const Control* l = control(list); l != nullptr && !answer->empty()) {
      if (int n = itemNumber(*answer, l->items.size()); n != 0) {
        setIndex(list, n);
      } else {
        userSetText(list, *answer);
      }
    }
    if (box != 0) {
      writeErr(kRememberQuestion);
      std::optional<std::string> tick = readAnswer();
      if (saidYes(tick)) {
        userSetChecked(box, 1);
      }
      if (!tick) writeErr("\n");
    }
    if (button != 0) {
      postClick(button);
    } else {
      postClose(loop_window);
    }
  }

  bool realTimeTimers() const override { return true; }

  // Draws the last state; what is written next starts below the line.
  void finishLine() {
    show(true);
    line_open_ = false;
    drawn_.clear();
  }

 private:
  // The status line: the labels of the first shown top-level window that is
  // not a modal one, that the program has written, in reading order.
  static std::string statusLine() {
    for (ControlId w : controlIds()) {
      const Control* c = control(w);
      if (c->kind != Window || c->parent != 0 || !c->visible || w == currentModal()) continue;
      std::vector<const Control*> labels;
      for (ControlId id : children(w)) {
        const Control* l = control(id);
        if (isLabel(l) && l->visible && l->text_set && !l->text.empty()) labels.push_back(l);
      }
      std::stable_sort(labels.begin(), labels.end(), [](const Control* a, const Control* b) {
        return a->y != b->y ? a->y < b->y : a->x < b->x;
      });
      std::string line;
      for (const Control* l : labels) {
        if (!line.empty()) line += kLabelSeparator;
        line += printable(l->text);
      }
      return line;
    }
    return {};
  }

  static std::string fitted(const std::string& line) {
    if (line.size() <= kMaxLineWidth) return line;
    const std::size_t keep = (kMaxLineWidth - 3) / 2;
    return line.substr(0, keep) + "..." + line.substr(line.size() - keep);
  }

  void show(bool force) {
    // Asked before the line is built: most calls come too soon after the
    // last drawing, and are drawn later.
    const double now = nowMs();
    if (!force && now - last_draw_ms_ < interval_ms_) return;
    std::string line = statusLine();
    if (line.empty() || line == drawn_) return;
    if (!tty_) {
      writeErr(line + "\n");
    } else {
      writeErr((line_open_ ? kLineUp : "") + fitted(line) + "\n");
      line_open_ = true;
    }
    drawn_ = line;
    last_draw_ms_ = now;
  }

  bool tty_;
  double interval_ms_;
  bool line_open_ = false;
  std::string drawn_;
  double last_draw_ms_ = -1e9;
  ControlId last_filter_ = -1;
  std::set<ControlId> answered_;
};

TerminalFace* g_terminal = nullptr;

void finishAtExit() {
  if (g_terminal != nullptr) g_terminal->finishLine();
}

}  // namespace

Face& terminalFace() {
  if (g_terminal == nullptr) {
    g_terminal = new TerminalFace();  // lives until the process ends
    std::atexit(finishAtExit);
  }
  return *g_terminal;
}

}  // namespace tk::headless
