// The value printer: printed forms, printable-text test and display form.
#include "support/value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Value codes(std::initializer_list<double> list) {
  std::vector<Value> items;
  for (double code : list) items.push_back(Value::num(code));
  return Value::of(items);
}

TEST(ValuePrinter, ToText) {
  struct Case {
    const char* what;
    Value value;
    std::string want;
  };
  const Case cases[] = {
      {"integer", Value::num(5), "5"},
      {"seven", Value::num(7), "7"},
      {"negative", Value::num(-1), "-1"},
      {"negative link id", Value::num(-2), "-2"},
      {"one third", Value::num(1.0 / 3.0), "0.333333333333"},
      {"half", Value::num(0.5), "0.5"},
      {"twelve digits", Value::num(123456789012.0), "123456789012"},
      {"thirteen digits", Value::num(1234567890123.0), "1.23456789012e+12"},
      {"small", Value::num(0.00001), "1e-05"},
      {"empty list", Value::of({}), "\"\""},
      {"two empty lists", Value::of({Value::of({}), Value::of({})}), "{\"\", \"\"}"},
      {"text", Value::text("abc"), "\"abc\""},
      {"escapes", Value::text("\t\n\r\"'\\"), "\"\\t\\n\\r\\\"\\'\\\\\""},
      {"escape and high bytes as they are", Value::text("\x1b\x80\xff"), "\"\x1b\x80\xff\""},
      {"list of paths", Value::of({Value::text("C:\\a"), Value::text("b")}),
       "{\"C:\\\\a\", \"b\"}"},
      {"numbers", Value::of({Value::num(1), Value::num(2.5)}), "{1, 2.5}"},
      {"300 is no character", codes({300}), "{300}"},
      {"backspace is no text", codes({97, 8}), "{97, 8}"},
      {"fraction is no character", codes({65.5}), "{65.5}"},
      {"nested", Value::of({Value::num(1), Value::of({Value::num(2), Value::text("x")})}),
       "{1, {2, \"x\"}}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(to_text(c.value), c.want);
  }
}

TEST(ValuePrinter, IsTextAndDisplayText) {
  struct Case {
    const char* what;
    Value value;
    int text;
    std::string display;
  };
  const Case cases[] = {
      {"plain", Value::text("abc"), 1, "abc"},
      {"empty", Value::of({}), 1, ""},
      {"escape character", Value::text("a\x1b"), 1, "a\x1b"},
      {"tab, line-feed, carriage return", Value::text("\t\n\r"), 1, "\t\n\r"},
      {"backslash unescaped", Value::text("C:\\a"), 1, "C:\\a"},
      {"backspace", codes({8}), 0, "{8}"},
      {"NUL", codes({0}), 0, "{0}"},
      {"31", codes({31}), 0, "{31}"},
      {"255", codes({255}), 1, "\xff"},
      {"256", codes({256}), 0, "{256}"},
      {"number", Value::num(65), 0, "65"},
      {"number zero", Value::num(0), 0, "0"},
      {"list of texts", Value::of({Value::text("a")}), 0, "{\"a\"}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(is_text(c.value), c.text);
    EXPECT_EQ(display_text(c.value), c.display);
  }
}

TEST(ValuePrinter, TextKeepsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const Value value = Value::text(all);
  ASSERT_EQ(value.list.size(), 256u);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(value.list[static_cast<std::size_t>(b)].number, b);
}

}  // namespace
