// POSIX side of the code page tests: there is no ANSI code page, and bytes
// that are not UTF-8 stay the bytes they are.
#include <gtest/gtest.h>

#include <string>

#include "support/code_page.h"

namespace {

TEST(AnsiCodePage, BytesStayAsTheyAre) {
  EXPECT_EQ(from_ansi_code_page("caf\xE9"), "caf\xE9");
  EXPECT_EQ(stored_text("caf\xE9"), "caf\xE9");
  std::string bytes;
  EXPECT_TRUE(
      to_ansi_code_page("\xC4\x80"
                        "b",
                        bytes));
  EXPECT_EQ(bytes,
            "\xC4\x80"
            "b");
}

}  // namespace
