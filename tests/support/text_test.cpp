// Tables of cases for the text and path helpers, their edges first.
#include "support/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/clock.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(TextHelpers, HeadTailLastChars) {
  struct Case {
    const char* what;
    std::string (*op)(const std::string&, long);
    const char* text;
    long n;
    const char* want;
  };
  const Case cases[] = {
      {"head", head, "hello", 0, ""},
      {"head", head, "hello", 2, "he"},
      {"head", head, "hello", 5, "hello"},
      {"head", head, "hello", 9, "hello"},
      {"head", head, "", 3, ""},
      {"tail_from", tail_from, "hello", 1, "hello"},
      {"tail_from", tail_from, "hello", 2, "ello"},
      {"tail_from", tail_from, "hello", 5, "o"},
      {"tail_from", tail_from, "hello", 6, ""},
      {"tail_from", tail_from, "", 1, ""},
      {"last_chars", last_chars, ".ilhome", 7, ".ilhome"},
      {"last_chars", last_chars, "abcdef", 7, "abcdef"},
      {"last_chars", last_chars, "x.ilhome", 7, ".ilhome"},
      {"last_chars", last_chars, "abc", 1, "c"},
      {"last_chars", last_chars, "abc", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + "(\"" + c.text + "\", " + std::to_string(c.n) + ")");
    EXPECT_EQ(c.op(c.text, c.n), c.want);
  }
}

TEST(TextHelpers, MatchFromAndNocase) {
  struct Case {
    bool nocase;
    long start;
    const char* text;
    const char* part;
    long want;
  };
  const Case cases[] = {
      {false, 1, "abc", "", 1},         // empty part at the start of a text
      {false, 1, "", "", 0},            // ... but not in the empty text
      {false, 4, "abc", "", 0},         // start past the end, even for an empty part
      {false, 1, "abcabc", "bc", 2},    // first occurrence
      {false, 3, "abcabc", "bc", 5},    // at or after start, position in the whole text
      {false, 5, "abcabc", "bc", 5},    // an occurrence right at start
      {false, 6, "abcabc", "bc", 0},    // only part of it left
      {false, 1, "abc", "abcd", 0},     // part longer than the text
      {false, 1, "Arsip", "arsip", 0},  // case counts
      {true, 1, "ARSIP", "arsip", 1},
      {true, 1, "xArSiP", "aRsIp", 2},
      {true, 1, "x.ILHOME", ".ilhome", 2},
      {true, 1,
       "\xC0"
       "bc",
       "\xE0"
       "bc",
       0},  // accented letters are compared as they are
      {true, 1,
       "\xC0"
       "BC",
       "\xC0"
       "bc",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.nocase ? "match_nocase" : "match_from") + "(" +
                 std::to_string(c.start) + ", \"" + c.text + "\", \"" + c.part + "\")");
    const long got =
        c.nocase ? match_nocase(c.start, c.text, c.part) : match_from(c.start, c.text, c.part);
    EXPECT_EQ(got, c.want);
  }
}

TEST(TextHelpers, SplitText) {
  struct Case {
    const char* text;
    Pieces want;
  };
  const Case cases[] = {
      {"", {""}},
      {"abc", {"abc"}},
      {"a:(b", {"a", "b"}},
      {"a:(", {"a", ""}},
      {":(a", {"", "a"}},
      {":(", {"", ""}},
      {"a:(:(b", {"a", "", "b"}},
      {"name 2006-01-02:(x:(", {"name 2006-01-02", "x", ""}},
      {"a:b(c", {"a:b(c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(split_text(c.text, ":("), c.want);
  }
}

TEST(TextHelpers, ReplaceAll) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    const char* want;
  };
  const Case cases[] = {
      {"a/b/c", "/", "\\", "a\\b\\c"},
      {"aaa", "a", "aa", "aaaaaa"},  // never searches the inserted text, so it ends
      {"aaa", "aa", "b", "ba"},      // occurrences do not overlap
      {"abc", "x", "y", "abc"},
      {"", "a", "b", ""},
      {"abab", "ab", "", ""},
      {"<akar2>\\profile\\x", "<akar2>", "C:\\home", "C:\\home\\profile\\x"},
      {"Aa", "a", "b", "Ab"},   // case counts
      {"abc", "", "x", "abc"},  // no caller passes an empty from; the text comes back
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.from + " / " + c.to);
    EXPECT_EQ(replace_all(c.text, c.from, c.to), c.want);
  }
}

TEST(TextHelpers, FindAll) {
  struct Case {
    char value;
    const char* text;
    std::vector<long> want;
  };
  const Case cases[] = {
      {'\\', "C:\\a\\b", {3, 5}}, {'\\', "abc", {}},       {'\\', "", {}},
      {'\\', "\\", {1}},          {'a', "aaa", {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(find_all(c.value, c.text), c.want);
  }
}

TEST(TextHelpers, JoinPath) {
  struct Case {
    const char* first;
    const char* second;
    const char* want;
  };
  const Case cases[] = {
      {"", "a\\b", "a\\b"},
      {"", "\\a", "\\a"},  // the second piece unchanged when the first is empty
      {"C:\\x\\", "a", "C:\\x\\a"},
      {"C:\\x", "\\a", "C:\\x\\a"},
      {"C:\\x", "a", "C:\\x\\a"},
      {"C:\\x\\", "", "C:\\x"},
      {"C:\\x", "", "C:\\x"},
      {"C:\\x\\\\", "b", "C:\\x\\\\b"},  // only one backslash is dropped on each side
      {"C:\\x", "\\\\b", "C:\\x\\\\b"},
      {"C:\\x\\", "\\b", "C:\\x\\b"},
      {"a/", "b", "a/\\b"},  // slashes are not separators
      {"\\", "b", "\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " + " + c.second);
    EXPECT_EQ(join_path(c.first, c.second), c.want);
  }
}

TEST(TextHelpers, OneTextInOneTextOut) {
  struct Case {
    const char* what;
    std::string (*op)(const std::string&);
    std::string text;
    std::string want;
  };
  const Case cases[] = {
      {"trim", trim, " \t\n", ""},
      {"trim", trim, "", ""},
      {"trim", trim, "\r\n a b \t", "a b"},
      {"trim", trim, "a", "a"},
      {"trim", trim, std::string("\0a\0", 3), std::string("\0a\0", 3)},  // only the four blanks
      {"strip_extension", strip_extension, "archive.tar.gz", "archive.tar"},
      {"strip_extension", strip_extension, "name", "name"},
      {"strip_extension", strip_extension, ".ilhome", ""},
      {"strip_extension", strip_extension, "dir.d\\name", "dir"},  // a dot in the directory counts
      {"strip_extension", strip_extension, "", ""},
      {"chomp_line", chomp_line, "", ""},
      {"chomp_line", chomp_line, "yes\n", "yes"},
      {"chomp_line", chomp_line, "yes\r", "yes"},
      {"chomp_line", chomp_line, "yes\r\n", "yes\r"},  // only one character goes
      {"chomp_line", chomp_line, "yes\n\n", "yes\n"},
      {"chomp_line", chomp_line, "yes", "yes"},
      {"chomp_line", chomp_line, "\n", ""},
      {"lower_ascii", lower_ascii, "MiXeD.TXT", "mixed.txt"},
      {"lower_ascii", lower_ascii, "@[`{AZ", "@[`{az"},  // the bytes around A-Z stay
      {"lower_ascii", lower_ascii, "\xC0\xC9\xFF\x80", "\xC0\xC9\xFF\x80"},
      {"lower_ascii", lower_ascii, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + "(\"" + c.text + "\")");
    EXPECT_EQ(c.op(c.text), c.want);
  }
}

TEST(TextHelpers, Skosong) {
  EXPECT_EQ(skosong(std::vector<int>{}), 1);
  EXPECT_EQ(skosong(std::vector<int>{0}), 0);
  EXPECT_EQ(skosong(std::string()), 1);
  EXPECT_EQ(skosong(std::string("x")), 0);
}

TEST(Clock, ReadingsGrowAcrossASleep) {
  const double before = tick_seconds();
  sleep_ms(60);
  const double after = tick_seconds();
  // The tick has millisecond resolution at best (about 16 ms on some systems).
  EXPECT_GE(after - before, 0.040);
  EXPECT_GT(before, 0.0);
}

}  // namespace
