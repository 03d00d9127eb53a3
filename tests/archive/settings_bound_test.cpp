// The settings file's expansion has a bound: whatever the archive holds, the
// reader never holds more than kMaxSettingsBytes of it, and a settings file
// that would pass the bound is written as stored.
#include <gtest/gtest.h>

#include <string>

#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "archive_test_util.h"

namespace {

using namespace archive_test;

std::string repeated(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(SettingsBound, ExpansionUpToTheBoundAndNotBeyond) {
  const std::string base(64, 'b');  // 64 bytes per placeholder
  const std::size_t at_bound = kMaxSettingsBytes / base.size();
  struct Row {
    const char* what;
    std::string data;
    bool expanded;
  };
  const Row rows[] = {
      {"exactly the bound", repeated(kRootPlaceholder, at_bound), true},
      {"one placeholder more", repeated(kRootPlaceholder, at_bound + 1), false},
      {"the bound with text around", "x" + repeated(kRootPlaceholder, at_bound - 1) + "y", true},
      {"text past the bound", std::string(kMaxSettingsBytes, 'x') + kRootPlaceholder, false},
  };
  for (const Row& r : rows) {
    const std::string result = substitute_on_read(r.data, base);
    if (r.expanded) {
      // Compared as a whole: a failure would print hundreds of megabytes.
      EXPECT_TRUE(result == replace_all(r.data, kRootPlaceholder, base)) << r.what;
      EXPECT_LE(result.size(), kMaxSettingsBytes) << r.what;
    } else {
      EXPECT_TRUE(result == r.data) << r.what;
    }
  }
}

class SettingsBoundUnpack : public ScratchTest {};

TEST_F(SettingsBoundUnpack, SettingsFilesPastTheBoundAreWrittenAsStored) {
  // Under a long home path (more than 64 bytes, within the Windows path
  // limit) 7 MiB of placeholders would expand to more than the bound.
  const std::string home = path(std::string(80, 'h'));
  const std::string small_expanding = repeated(kRootPlaceholder, 1024 * 1024);
  // Larger than the bound as stored: streamed, never held whole.
  const std::string large_stored =
      kRootPlaceholder + std::string(kMaxSettingsBytes, 's') + kRootPlaceholder;
  struct Row {
    const char* name;
    std::string data;
  };
  const Row rows[] = {{"ilvar6.ini", small_expanding}, {"sub/ilvar6.ini", large_stored}};
  std::string archive = kMagicBytes;
  for (const Row& r : rows) archive += record(r.name, r.data);
  archive += record("after.txt", "still here") + kTrailerBytes;
  ASSERT_TRUE(write_bytes(path("a.ilhome"), archive));
  ASSERT_EQ(1, dekompres(home + "\\profile", path("a.ilhome"), nullptr));
  for (const Row& r : rows) {
    EXPECT_TRUE(read_bytes(home + "\\profile\\" + replace_all(r.name, "/", "\\")) == r.data)
        << r.name;
  }
  EXPECT_EQ(read_bytes(home + "\\profile\\after.txt"), "still here");
}

class SettingsBoundPack : public ScratchTest {};

// A file whose name holds the settings name but that is larger than the
// bound (a journal of gigabytes) is stored as it is, streamed like any file,
// and comes back byte for byte; one within the bound still has its paths
// replaced.
TEST_F(SettingsBoundPack, SettingsFilesPastTheBoundAreStoredAsTheyAre) {
  const std::string home = path("home");
  const std::string profile = home + "\\profile";
  const std::string large = "p=" + home + std::string(kMaxSettingsBytes, 'j');
  const std::string small = "p=" + home + "\\x";
  ASSERT_TRUE(write_bytes(profile + "\\ilvar6.ini", small));
  ASSERT_TRUE(write_bytes(profile + "\\ilvar6.ini.journal", large));
  ASSERT_EQ(1, kompres(profile, path("a.ilhome"), nullptr));
  const std::string expected = kMagicBytes + record("ilvar6.ini", "p=<akar2>\\x") +
                               record("ilvar6.ini.journal", large) + kTrailerBytes;
  // Compared as a whole: a failure would print 64 MiB.
  EXPECT_TRUE(read_bytes(path("a.ilhome")) == expected);
  const std::string other = path("other");
  ASSERT_EQ(1, dekompres(other + "\\profile", path("a.ilhome"), nullptr));
  EXPECT_EQ(read_bytes(other + "\\profile\\ilvar6.ini"), "p=" + other + "\\x");
  EXPECT_TRUE(read_bytes(other + "\\profile\\ilvar6.ini.journal") == large);
}

}  // namespace
