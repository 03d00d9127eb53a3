// The console dialogue, in a child process: which answers go on, which end the
// program with exit code 200, and the exact bytes on each stream.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/child.h"
#include "tests/test_util/case_name.h"
#include "tests/test_util/hex.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

const std::string kPrompt = "There was an error. Type yes to continue the program or no to abort.";

class ConsoleDialogue : public ScratchTest {};

TEST_F(ConsoleDialogue, AnswersThatGoOnOrEnd) {
  struct Case {
    const char* input;
    bool goes_on;
  };
  const Case cases[] = {
      {"yes\n", true},
      {"ya\n", true},
      {"iya\n", true},
      {"Y\n", true},
      {"nay\n", true},
      {"yesterday\n", true},
      {"yes\r\n", true},  // a line from a console that
                          // ends in CR LF
      {"yes", true},      // the last line without its line-feed
      {"no\n", false},
      {"ok\n", false},
      {"oke\n", false},
      {"\n", false},
      {"", false},           // end of input
      {"no\nyes\n", false},  // only the first line is an answer
      {"y\x08\n", false},    // a control character makes it no answer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("input \"") + c.input + "\"");
    const ChildRun run = run_console_child({"prompt", "disk full"}, c.input, root_);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.err, "ERROR disk full\n");
    if (c.goes_on) {
      EXPECT_EQ(run.exit_code, 0);
      EXPECT_EQ(run.out, kPrompt + "\n[went on, result 0]");
    } else {
      EXPECT_EQ(run.exit_code, 200);
      EXPECT_EQ(run.out, kPrompt + "\n");
    }
  }
}

TEST_F(ConsoleDialogue, RoutineTableFailuresShowTheirMessage) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {{"unknown-name"},
       "dllFunc: dll routine name not found! nama = \"movefile\" par = {\"C:\\\\a\", 1}"},
      // Without the library only the system name is stored, with link id -2.
      {{"no-library", "MoveFileA"},
       "dllFunc: id less than 0! entri[eid] = -2 nama = \"MoveFileA\""},
      {{"no-library", "MoveFile"},
       "dllFunc: dll routine name not found! nama = \"MoveFile\" par = {\"a\", \"b\"}"},
      {{"no-routine"}, "dllFunc: id less than 0! entri[eid] = -1 nama = \"NoSuch\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const ChildRun going_on = run_console_child(c.arguments, "y\n", root_);
    ASSERT_TRUE(going_on.started);
    EXPECT_EQ(going_on.err, "ERROR " + c.message + "\n");
    EXPECT_EQ(going_on.out, kPrompt + "\n[went on, result 0]");
    EXPECT_EQ(going_on.exit_code, 0);

    const ChildRun ended = run_console_child(c.arguments, "no\n", root_);
    ASSERT_TRUE(ended.started);
    EXPECT_EQ(ended.err, "ERROR " + c.message + "\n");
    EXPECT_EQ(ended.out, kPrompt + "\n");
    EXPECT_EQ(ended.exit_code, 200);
  }
}

TEST_F(ConsoleDialogue, MakeDirsCallsOncePerPrefix) {
  struct Case {
    std::string path;
    std::vector<std::string> prefixes;  // as printed: backslashes doubled
    int result;
  };
  const Case cases[] = {
      {"C:/Profiles/a/b",
       {"C:", "C:\\\\Profiles", "C:\\\\Profiles\\\\a", "C:\\\\Profiles\\\\a\\\\b"},
       0},
      {"C:/Profiles/a/b/",
       {"C:", "C:\\\\Profiles", "C:\\\\Profiles\\\\a", "C:\\\\Profiles\\\\a\\\\b"},
       0},
      {"relative-name", {"relative-name"}, 0},  // one call for the whole path
      {"/lead", {"", "\\\\lead"}, 0},           // the empty prefix before a leading backslash
      {"", {""}, 0},
      {"<existing>", {}, 1},  // an existing directory: no call at all
  };
  for (const Case& c : cases) {
    const std::string target = c.path == "<existing>" ? root_ : c.path;
    SCOPED_TRACE(target);
    const ChildRun run = run_console_child({"make-dirs", target}, "y\ny\ny\ny\ny\n", root_);
    ASSERT_TRUE(run.started);
    std::string err;
    std::string out;
    for (const std::string& prefix : c.prefixes) {
      err += "ERROR dllFunc: dll routine name not found! nama = \"CreateDirectory\" par = {\"" +
             prefix + "\", 0}\n";
      out += kPrompt + "\n";
    }
    EXPECT_EQ(run.err, err);
    EXPECT_EQ(run.out, out + "[went on, result " + std::to_string(c.result) + "]");
    EXPECT_EQ(run.exit_code, 0);
  }
}

// Output that goes to a file or a pipe is the program's UTF-8, byte for
// byte, whatever the system's code page: a script or a log reads every name
// exactly, where a code page would lose the characters outside it.
struct ConsoleTextCase {
  const char* what;
  std::string text;
};

class ConsoleText : public ScratchTest, public testing::WithParamInterface<ConsoleTextCase> {};

TEST_P(ConsoleText, RedirectedStreamsGetTheUtf8Bytes) {
  const ChildRun run = run_console_child({"write", test_util::hex_of(GetParam().text)}, "", root_);
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, GetParam().text);
  EXPECT_EQ(run.err, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleText,
    testing::Values(ConsoleTextCase{"ascii with line end", "disk full\n"},
                    ConsoleTextCase{"accented", "caf\xC3\xA9"},
                    ConsoleTextCase{"cyrillic",
                                    "\xD0\x94\xD0\xBE\xD0\xBC\\"
                                    "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB"},  // Дом\файл
                    ConsoleTextCase{"japanese", "\xE8\xA1\xA8.txt"},      // 表.txt
                    ConsoleTextCase{"emoji", "\xF0\x9F\x98\x80"},
                    // Not UTF-8 at all: a name from an older archive, as it was.
                    ConsoleTextCase{"code page bytes", "caf\xE9"}),
    test_util::NameByWhat());

}  // namespace
