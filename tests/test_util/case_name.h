// Names for the rows of parameterised tests, made from the text that already
// says what a row is about, so a failure names the row and not its index.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace test_util {

// Letters and digits are kept; every other run of bytes becomes one '_'.
inline std::string case_name(const std::string& what) {
  std::string name;
  for (const char c : what) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 128) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "empty" : name;
}

// For INSTANTIATE_TEST_SUITE_P: names each row by its `what`.
struct NameByWhat {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    return case_name(row.param.what);
  }
};

}  // namespace test_util
