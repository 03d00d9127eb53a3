// Pack and unpack generated profile trees: every byte comes back, except
// the base path inside each settings file, which names the new home.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "archive/record_writer.h"
#include "archive/writer.h"
#include "archive_test_util.h"

namespace {

using namespace archive_test;

struct TreeFile {
  std::string name;  // relative, backslashes
  std::string data;  // settings files: "@" stands for the home path
};

std::string with_home(const TreeFile& file, const std::string& home) {
  return is_settings_file(replace_all(file.name, "\\", "/")) ? replace_all(file.data, "@", home)
                                                             : file.data;
}

std::string pseudo_random_bytes(std::size_t size, std::uint32_t seed) {
  std::string data(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return data;
}

std::vector<TreeFile> generated_tree(std::uint32_t seed) {
  std::vector<TreeFile> files = {
      {"ilvar6.ini", "home=@\nprofile=@\\profile\ncache=@\\profile\\cache4\n"},
      {"sub\\deeper\\ILVAR6.INI", "@;@;@"},
      {"prefs\\ilvar6.ini.old", "x=@\\y"},
      {"with blank.txt", "blank name"},
      {"  leading blanks", "b"},
      {"dots.in.the.name.", "x"},
      {"a..b", "ab"},
      {".hidden", "h"},
      {"\xC3\xA9t\xC3\xA9 \xC3\x84rger.txt", "high bytes"},
      {"dir \xC3\xA9\\f\xC3\x84.bin", pseudo_random_bytes(1000, seed)},
      {"empty", ""},
      {"sub\\empty too", ""},
      {"big.bin", pseudo_random_bytes(3 * kCopyBlockSize + 17, seed + 1)},
      {"exact.bin", pseudo_random_bytes(kCopyBlockSize, seed + 2)},
  };
  std::string deep = "d";
  for (int level = 0; level < 12; ++level) deep += "\\level" + std::to_string(level);
  files.push_back({deep + "\\bottom.txt", "deep"});
  for (std::uint32_t i = 0; i < 40; ++i) {
    files.push_back(
        {"many\\f" + std::to_string(i * seed % 97), pseudo_random_bytes(i * 31 % 200, seed + i)});
  }
  return files;
}

class RoundTrip : public ScratchTest {};

TEST_F(RoundTrip, EveryByteComesBackUnderAnotherHome) {
  // The trailing dots and blanks above are for the packing side only: such
  // names cannot be written back safely, so they are left out here.
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const std::string old_home = path("first" + std::to_string(seed) + "\\Home");
    const std::string new_home = path("second" + std::to_string(seed) + "\\another home");
    std::vector<TreeFile> files;
    for (const TreeFile& f : generated_tree(seed)) {
      if (f.name.back() != '.') files.push_back(f);
    }
    for (const TreeFile& f : files) {
      ASSERT_TRUE(write_bytes(old_home + "\\profile\\" + f.name, with_home(f, old_home))) << f.name;
    }
    // Excluded on packing.
    ASSERT_TRUE(write_bytes(old_home + "\\profile\\Cache4\\entry", "cache"));
    ASSERT_TRUE(write_bytes(old_home + "\\profile\\prefs.bak", "backup"));

    const std::string archive = path("store" + std::to_string(seed) + ".ilhome");
    ASSERT_EQ(1, kompres(old_home + "\\profile", archive, nullptr));
    ASSERT_EQ(1, dekompres(new_home + "\\profile", archive, nullptr));

    const std::vector<std::string> names = files_below(new_home + "\\profile");
    std::vector<std::string> expected_names;
    for (const std::string& name : files_below(old_home + "\\profile")) {
      if (name != "Cache4\\entry" && name != "prefs.bak") expected_names.push_back(name);
    }
    EXPECT_EQ(expected_names, names);
    EXPECT_EQ(files.size(), names.size());
    for (const TreeFile& f : files) {
      EXPECT_EQ(with_home(f, new_home), read_bytes(new_home + "\\profile\\" + f.name)) << f.name;
    }
  }
}

// A name with a trailing dot, where the system keeps one (Windows drops it,
// so the reader there refuses such a name), comes back under that name.
TEST_F(RoundTrip, NamesWithATrailingDotComeBackWhereTheSystemKeepsThem) {
  const std::string home = path("h");
  ASSERT_TRUE(write_bytes(home + "\\profile\\ok", "1"));
  if (!write_bytes(home + "\\profile\\odd.", "2") ||
      read_bytes(home + "\\profile\\odd.") == "<missing>" ||
      files_below(home + "\\profile") != std::vector<std::string>{"odd.", "ok"}) {
    GTEST_SKIP() << "this system does not keep a trailing dot";
  }
  const std::string archive = path("a.ilhome");
  ASSERT_EQ(1, kompres(home + "\\profile", archive, nullptr));
  ASSERT_EQ(1, dekompres(path("k\\profile"), archive, nullptr));
  EXPECT_EQ((std::vector<std::string>{"odd.", "ok"}), files_below(path("k\\profile")));
  EXPECT_EQ("2", read_bytes(path("k\\profile\\odd.")));
}

}  // namespace
