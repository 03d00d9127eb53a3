// Stored names that one system keeps and another refuses: each build keeps
// exactly what its file system can hold under the stored name, and a refused
// name costs no later record.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/reader.h"
#include "archive_test_util.h"
#include "tests/archive/system_names.h"

namespace {

using namespace archive_test;

TEST(SystemNames, SafeExactlyWhereTheSystemKeepsThem) {
  for (const SystemNameCase& c : system_name_cases()) {
    EXPECT_EQ(stored_name_is_safe(c.name), c.kept) << c.name;
  }
}

class SystemNamesUnpack : public ScratchTest {};

TEST_F(SystemNamesUnpack, KeptNamesAreWrittenAndRefusedOnesSkippedWithTheirData) {
  const std::string profile = path("home\\profile");
  const std::string archive = path("store\\a.ilhome");
  for (const SystemNameCase& c : system_name_cases()) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_ / "home");
    // Data of odd length, so a tag scan through them would miss the next record.
    const std::string first = record(c.name, "data!");
    ASSERT_TRUE(
        write_bytes(archive, kMagicBytes + first + record("ok.txt", "fine") + kTrailerBytes));
    std::vector<std::string> calls;
    EXPECT_EQ(1, dekompres(profile, archive, [&](const std::string& name, long long) {
                calls.push_back(name);
                return 0;
              }));
    std::map<std::string, std::string> files;
    for (const std::string& name : files_below(profile)) {
      files[name] = read_bytes(profile + "\\" + name);
    }
    std::map<std::string, std::string> expected = {{"ok.txt", "fine"}};
    std::vector<std::string> expected_calls = {"ok.txt"};
    if (c.kept) {
      expected[replace_all(c.name, "/", "\\")] = "data!";
      expected_calls.insert(expected_calls.begin(), c.name);
    }
    EXPECT_EQ(files, expected);
    EXPECT_EQ(calls, expected_calls);
  }
}

}  // namespace
