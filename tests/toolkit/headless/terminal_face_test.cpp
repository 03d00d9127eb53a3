// The terminal face: the chooser's answers on standard input, message boxes
// and the status line on standard error (not a terminal under the tests, so
// plain lines).
#include "toolkit/headless/terminal_face.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <sstream>
#include <string>

#include "toolkit/headless/headless.h"
#include "toolkit/toolkit.h"

namespace {

using namespace tk;

struct Chooser {
  ControlId main = 0;
  ControlId window = 0;
  ControlId list = 0;
  ControlId box = 0;
  ControlId button = 0;
};

Chooser g_chooser;
bool g_clicked = false;

class TerminalFaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::reset(&headless::terminalFace());
    g_clicked = false;
    Chooser& c = g_chooser;
    c.main = createEx(Window, "Main", 0, 0, 0, 100, 50, 0, 0);
    c.window = createEx(Window, "Pick", 0, 0, 0, 100, 50, 0, 0);
    createEx(Label, "Pick one:", c.window, 0, 0, 10, 10, 0, 0);
    c.list = createEx(ComboBox, "ls", c.window, 0, 0, 10, 10, 0, 0);
    c.box = createEx(CheckBox, "Remember", c.window, 0, 0, 10, 10, 0, 0);
    c.button = createEx(DefaultButton, "Start!", c.window, 0, 0, 10, 10, 0, 0);
    appendItems(c.list, "alpha");
    appendItems(c.list, "beta");
    appendItems(c.list, "gamma");
    setIndex(c.list, 2);
    bindHandler(c.button, Click, [](ControlId, int, const Params&) {
      g_clicked = true;
      requestClose(g_chooser.window);
    });
    bindHandler(c.main, Activate,
                [](ControlId, int, const Params&) { runModal(g_chooser.window); });
    saved_ = std::cin.rdbuf();
  }
  void TearDown() override {
    std::cin.rdbuf(saved_);
    std::cin.clear();
    headless::reset(nullptr);
  }
  // Runs the chooser with the given standard input; returns standard error.
  std::string run(const std::string& input) {
    std::istringstream in(input);
    std::cin.rdbuf(in.rdbuf());
    std::cin.clear();
    ::testing::internal::CaptureStderr();
    WinMain(g_chooser.main, Normal);
    std::string err = ::testing::internal::GetCapturedStderr();
    std::cin.rdbuf(saved_);
    return err;
  }
  std::streambuf* saved_ = nullptr;
};

TEST_F(TerminalFaceTest, ChooserAnswers) {
  struct Row {
    const char* input;
    bool clicked;
    const char* text;
    int checked;
  };
  const Row rows[] = {
      {"\n\n", true, "beta", 0},     // empty line keeps the selected item
      {"3\ny\n", true, "gamma", 1},  // a number selects that item; y ticks
      {"1\r\nY\r\n", true, "alpha", 1},
      {"4\nn\n", true, "4", 0},           // beyond the items: typed text
      {"new one\n", true, "new one", 0},  // end of input at the question: not ticked
      {"0\n\n", true, "0", 0},
      {"", false, "beta", 0},  // end of input before the first answer
  };
  for (const Row& r : rows) {
    SetUp();
    std::string err = run(r.input);
    EXPECT_EQ(g_clicked, r.clicked) << r.input;
    EXPECT_EQ(getText(g_chooser.list), r.text) << r.input;
    EXPECT_EQ(isChecked(g_chooser.box), r.checked) << r.input;
    EXPECT_FALSE(headless::control(g_chooser.window)->visible) << r.input;
    EXPECT_NE(err.find("Pick one:\n  1) alpha\n* 2) beta\n  3) gamma\n"), std::string::npos) << err;
    if (r.clicked) {
      EXPECT_NE(err.find("Don't ask me again? [y/N] "), std::string::npos);
    }
    TearDown();
  }
}

TEST_F(TerminalFaceTest, MessageBoxIsOneLineAnsweredOk) {
  ::testing::internal::CaptureStderr();
  int answer = messageBox("Cannot write to X\n\nmore", "Error", 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Cannot write to X\n\nmore\n");
  EXPECT_EQ(answer, 1);
}

TEST_F(TerminalFaceTest, StatusLineShowsWrittenLabelsInReadingOrder) {
  ControlId status = createEx(Window, "S", 0, 0, 0, 360, 68, 0, 0);
  ControlId action = createEx(CenteredLabel, "lAksi", status, 0, 4, 360, 20, 0, 0);
  ControlId percent = createEx(CenteredLabel, "0%", status, 320, 24, 40, 20, 0, 0);
  ControlId file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  createEx(CenteredLabel, "Thanks", status, 0, 44, 360, 20, 0, 0);
  static ControlId ids[3];
  ids[0] = action;
  ids[1] = percent;
  ids[2] = file;
  bindHandler(status, Activate, [](ControlId, int, const Params&) {
    doEvents(0);
    doEvents(0);  // nothing written yet: no line
    setText(ids[0], "Working...");
    setText(ids[2], "a.txt");
    setText(ids[1], "50%");
    doEvents(ids[2]);
    doEvents(ids[1]);
    doEvents(0);
    setText(ids[2], "b.txt");
    setText(ids[1], "100%");
    doEvents(ids[2]);
    doEvents(ids[1]);
    doEvents(0);
    doEvents(0);
  });
  ::testing::internal::CaptureStderr();
  WinMain(status, Normal);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Working...  a.txt  50%\nWorking...  b.txt  100%\n");
}

TEST_F(TerminalFaceTest, ControlBytesInNamesKeepTheStatusLineOneLine) {
  ControlId status = createEx(Window, "S", 0, 0, 0, 360, 68, 0, 0);
  static ControlId file;
  file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  bindHandler(status, Activate, [](ControlId, int, const Params&) {
    setText(file, "a\nb\033[2Jc\r\t\x7f.txt");
    doEvents(0);
    doEvents(0);
  });
  ::testing::internal::CaptureStderr();
  WinMain(status, Normal);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "a?b?[2Jc???.txt\n");
}

// A run over many files sets a state for each; the lines written follow what
// a person could read, and the last state is always among them.
TEST_F(TerminalFaceTest, ABurstOfStatesWritesFewLinesEndingWithTheLast) {
  ControlId status = createEx(Window, "S", 0, 0, 0, 360, 68, 0, 0);
  static ControlId file;
  static double elapsed_ms;
  constexpr int kStates = 20000;
  file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  bindHandler(status, Activate, [](ControlId, int, const Params&) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= kStates; ++i) {
      setText(file, "f" + std::to_string(i));
      doEvents(file);
      doEvents(0);
    }
    elapsed_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    doEvents(0);
  });
  ::testing::internal::CaptureStderr();
  WinMain(status, Normal);
  const std::string err = ::testing::internal::GetCapturedStderr();
  const auto lines = static_cast<double>(std::count(err.begin(), err.end(), '\n'));
  // At most thirty a second, the first and the last.
  EXPECT_LE(lines, 2 + elapsed_ms * 30 / 1000) << elapsed_ms << " ms";
  const std::string last = "f" + std::to_string(kStates) + "\n";
  ASSERT_GE(err.size(), last.size());
  EXPECT_EQ(err.substr(err.size() - last.size()), last);
  EXPECT_EQ(err.substr(0, 3), "f1\n");
}

}  // namespace
