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

#include "tests/test_util/case_name.h"
#include "toolkit/headless/headless.h"
#include "toolkit/headless/test_face.h"
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

class TerminalFaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::reset(&headless::terminalFace());
    Chooser& c = chooser_;
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
    test::onEvent(c.button, Click, [this](const Params&) {
      clicked_ = true;
      requestClose(chooser_.window);
    });
    test::onEvent(c.main, Activate, [this](const Params&) { runModal(chooser_.window); });
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
    WinMain(chooser_.main, Normal);
    std::string err = ::testing::internal::GetCapturedStderr();
    std::cin.rdbuf(saved_);
    return err;
  }
  Chooser chooser_;
  bool clicked_ = false;
  std::streambuf* saved_ = nullptr;
};

struct ChooserAnswer {
  const char* name;
  const char* input;
  bool clicked;
  const char* text;
  int checked;
};

void PrintTo(const ChooserAnswer& a, std::ostream* out) { *out << a.name; }

class TerminalChooserTest : public TerminalFaceTest,
                            public ::testing::WithParamInterface<ChooserAnswer> {};

TEST_P(TerminalChooserTest, AnswersOnStandardInput) {
  const ChooserAnswer& r = GetParam();
  std::string err = run(r.input);
  EXPECT_EQ(clicked_, r.clicked);
  EXPECT_EQ(getText(chooser_.list), r.text);
  EXPECT_EQ(isChecked(chooser_.box), r.checked);
  EXPECT_FALSE(headless::control(chooser_.window)->visible);
  EXPECT_NE(err.find("Pick one:\n  1) alpha\n* 2) beta\n  3) gamma\n"), std::string::npos) << err;
  if (r.clicked) {
    EXPECT_NE(err.find("Don't ask me again? [y/N] "), std::string::npos);
  }
}

const ChooserAnswer kChooserAnswers[] = {
    {"EmptyLineKeepsTheSelectedItem", "\n\n", true, "beta", 0},
    {"NumberSelectsThatItemAndYTicks", "3\ny\n", true, "gamma", 1},
    {"CarriageReturnsAreDropped", "1\r\nY\r\n", true, "alpha", 1},
    {"NumberBeyondTheItemsIsTypedText", "4\nn\n", true, "4", 0},
    {"EndOfInputAtTheQuestionLeavesTheBox", "new one\n", true, "new one", 0},
    {"ZeroIsTypedText", "0\n\n", true, "0", 0},
    {"EndOfInputBeforeTheFirstAnswerClicksNothing", "", false, "beta", 0},
};
INSTANTIATE_TEST_SUITE_P(Inputs, TerminalChooserTest, ::testing::ValuesIn(kChooserAnswers),
                         [](const ::testing::TestParamInfo<ChooserAnswer>& row) {
                           return std::string(row.param.name);
                         });

TEST_F(TerminalFaceTest, MessageBoxIsOneLineAnsweredOk) {
  ::testing::internal::CaptureStderr();
  int answer = messageBox("Cannot write to X\n\nmore", "Error", 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Cannot write to X\n\nmore\n");
  EXPECT_EQ(answer, 1);
}

// Names in a message box come from file names: their control bytes must
// not reach the terminal, while the box's own line breaks stay.
TEST_F(TerminalFaceTest, MessageBoxShowsControlBytesEscaped) {
  ::testing::internal::CaptureStderr();
  messageBox("Could not wipe:\n\nx\033]0;owned\007\r\ty.txt", "Warn\033[1ming", 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warn?[1ming: Could not wipe:\n\nx?]0;owned???y.txt\n");
}

struct YesNoAnswer {
  const char* what;
  const char* input;
  int answer;
};

void PrintTo(const YesNoAnswer& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class TerminalYesNoTest : public TerminalFaceTest,
                          public ::testing::WithParamInterface<YesNoAnswer> {};

TEST_P(TerminalYesNoTest, OnlyAYesOnStandardInputIsYes) {
  const YesNoAnswer& r = GetParam();
  std::istringstream in(r.input);
  std::cin.rdbuf(in.rdbuf());
  std::cin.clear();
  ::testing::internal::CaptureStderr();
  const int answer = messageBox("Wipe it anyway?", "Warning", MB_YESNO_ | MB_DEFBUTTON2_);
  const std::string err = ::testing::internal::GetCapturedStderr();
  std::cin.rdbuf(saved_);
  EXPECT_EQ(answer, r.answer);
  EXPECT_EQ(err.rfind("Warning: Wipe it anyway? [y/N] ", 0), 0u) << err;
}

const YesNoAnswer kYesNoAnswers[] = {
    {"y", "y\n", IDYES_},
    {"capital Y", "Y\n", IDYES_},
    {"yes without a line end", "yes", IDYES_},
    {"n", "n\n", IDNO_},
    {"empty line", "\n", IDNO_},
    {"anything else", "sure\n", IDNO_},
    {"end of input", "", IDNO_},
};
INSTANTIATE_TEST_SUITE_P(Inputs, TerminalYesNoTest, ::testing::ValuesIn(kYesNoAnswers),
                         test_util::NameByWhat());

TEST_F(TerminalFaceTest, StatusLineShowsWrittenLabelsInReadingOrder) {
  ControlId status = createEx(Window, "S", 0, 0, 0, 360, 68, 0, 0);
  ControlId action = createEx(CenteredLabel, "lAksi", status, 0, 4, 360, 20, 0, 0);
  ControlId percent = createEx(CenteredLabel, "0%", status, 320, 24, 40, 20, 0, 0);
  ControlId file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  createEx(CenteredLabel, "Thanks", status, 0, 44, 360, 20, 0, 0);
  test::onEvent(status, Activate, [&](const Params&) {
    doEvents(0);
    doEvents(0);  // nothing written yet: no line
    setText(action, "Working...");
    setText(file, "a.txt");
    setText(percent, "50%");
    doEvents(file);
    doEvents(percent);
    doEvents(0);
    setText(file, "b.txt");
    setText(percent, "100%");
    doEvents(file);
    doEvents(percent);
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
  ControlId file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  test::onEvent(status, Activate, [&](const Params&) {
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
  constexpr int kStates = 20000;
  const ControlId file = createEx(CenteredLabel, "", status, 0, 24, 360, 20, 0, 0);
  double elapsed_ms = 0;
  test::onEvent(status, Activate, [file, &elapsed_ms](const Params&) {
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
