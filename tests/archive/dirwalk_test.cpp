// Sorted listings, the walk order that decides the record order, and the
// wildcard matching of the exclusion patterns.
#include "archive/dirwalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive_test_util.h"

namespace {

using namespace archive_test;

TEST(GlobMatch, PatternsAgainstTexts) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Case cases[] = {
      {"*", "", true},
      {"*", "anything\\at\\all", true},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"cache4\\*", "cache4\\x", true},
      {"cache4\\*", "cache4\\", true},
      {"cache4\\*", "cache4\\sub\\deep.bin", true},
      {"cache4\\*", "cache4", false},
      {"cache4\\*", "sub\\cache4\\x", false},
      {"*.bak", "a.bak", true},
      {"*.bak", ".bak", true},
      {"*.bak", "sub\\b.bak", true},
      {"*.bak", "a.bak.txt", false},
      {"*.bak", "a.ba", false},
      {"*.bak", "a.bak.bak", true},
      {"*", "*b", false},  // the star of the text is taken as an equal byte
      {"a*", "a*b", false},
      {"*", "*", true},
      {"a*b", "a*b", true},
      {"?", "a", true},
      {"?", "", false},
      {"?", "ab", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*?", "", false},
      {"*?", "x", true},
      {"**", "", true},
      {"a**b", "axxb", true},
      {"*a*b*", "xxaxxbxx", true},
      {"*a*b*", "xxbxxaxx", false},
      {"*ab", "aab", true},
      {"*ab", "abab", true},
      {"*ab", "aba", false},
      {"a*a", "a", false},
      {"a*a", "aa", true},
      {"x*y*z", "xyz", true},
      {"x*y?z", "xyyz", true},
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"ab", "abc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.match, glob_match(c.pattern, c.text)) << c.pattern << " vs " << c.text;
  }
}

TEST(DirEntryLess, FieldByFieldWithUnsignedBytes) {
  const auto entry = [](std::string name, std::string attributes, std::uint32_t size) {
    DirEntry e;
    e.name = std::move(name);
    e.attributes = std::move(attributes);
    e.size = size;
    return e;
  };
  struct Case {
    DirEntry lower;
    DirEntry higher;
  };
  const Case cases[] = {
      {entry("Uninst", "d", 0), entry("cache4", "d", 0)},
      {entry("cache4", "d", 0), entry("images", "d", 0)},
      {entry("1", "", 0), entry("A", "", 0)},
      {entry("a.txt", "", 0), entry("a.txtx", "", 0)},
      {entry("a.txtx", "", 0), entry("ab", "", 0)},
      {entry("a", "d", 0), entry("a.txt", "", 0)},
      {entry("z", "", 0), entry("\xE9", "", 0)},  // bytes above 127 after ASCII
      {entry("x", "a", 0), entry("x", "d", 0)},
      {entry("x", "a", 5), entry("x", "a", 6)},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(dir_entry_less(c.lower, c.higher)) << c.lower.name << " < " << c.higher.name;
    EXPECT_FALSE(dir_entry_less(c.higher, c.lower)) << c.higher.name;
  }
  DirEntry later = entry("x", "a", 5);
  later.second = 2;
  EXPECT_TRUE(dir_entry_less(entry("x", "a", 5), later));
}

class WalkTree : public ScratchTest {
 protected:
  std::vector<std::pair<std::string, std::string>> walk(const std::string& path, bool sub = true,
                                                        int* result = nullptr) {
    std::vector<std::pair<std::string, std::string>> visits;
    const int r = walk_tree(
        path,
        [&](const std::string& directory, const DirEntry& entry) {
          visits.emplace_back(directory, entry.name);
          return 0;
        },
        sub);
    if (result != nullptr) *result = r;
    return visits;
  }
};

TEST_F(WalkTree, DepthFirstPreOrderInByteOrder) {
  ASSERT_TRUE(write_bytes(path("p\\Z.txt"), "z"));
  ASSERT_TRUE(write_bytes(path("p\\a\\b.txt"), "b"));
  ASSERT_TRUE(write_bytes(path("p\\a.txt"), "a"));
  const std::string p = path("p");
  int result = 1;
  const auto visits = walk(p, true, &result);
  EXPECT_EQ(0, result);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {p, "Z.txt"}, {p, "a"}, {p + "\\a", "b.txt"}, {p, "a.txt"}};
  EXPECT_EQ(expected, visits);

  // Without subdirectories the directory is visited but not entered.
  const std::vector<std::pair<std::string, std::string>> flat = {
      {p, "Z.txt"}, {p, "a"}, {p, "a.txt"}};
  EXPECT_EQ(flat, walk(p, false));
}

TEST_F(WalkTree, TrailingBackslashesAndSpacesAreDropped) {
  ASSERT_TRUE(write_bytes(path("p\\f"), "x"));
  const std::string p = path("p");
  for (const std::string& given : {p + "\\", p + "\\\\", p + "  ", p + "\\ "}) {
    const auto visits = walk(given);
    ASSERT_EQ(1u, visits.size()) << given;
    EXPECT_EQ(p, visits[0].first) << given;
  }
}

TEST_F(WalkTree, EmptyAndMissingDirectories) {
  std::filesystem::create_directories(dir_ / "empty");
  int result = 1;
  EXPECT_TRUE(walk(path("empty"), true, &result).empty());
  EXPECT_EQ(0, result);
  EXPECT_TRUE(walk(path("missing"), true, &result).empty());
  EXPECT_EQ(-1, result);
}

TEST_F(WalkTree, VisitorResultStopsTheWalk) {
  ASSERT_TRUE(write_bytes(path("p\\a"), "1"));
  ASSERT_TRUE(write_bytes(path("p\\d\\b"), "2"));
  ASSERT_TRUE(write_bytes(path("p\\e"), "3"));
  std::vector<std::string> seen;
  const int stop_at_b = walk_tree(
      path("p"),
      [&](const std::string&, const DirEntry& entry) {
        seen.push_back(entry.name);
        return entry.name == "b" ? 7 : 0;
      },
      true);
  EXPECT_EQ(7, stop_at_b);
  EXPECT_EQ((std::vector<std::string>{"a", "d", "b"}), seen);

  // -1 from a nested walk stops only that subdirectory.
  seen.clear();
  const int nested_minus_one = walk_tree(
      path("p"),
      [&](const std::string&, const DirEntry& entry) {
        seen.push_back(entry.name);
        return entry.name == "b" ? -1 : 0;
      },
      true);
  EXPECT_EQ(0, nested_minus_one);
  EXPECT_EQ((std::vector<std::string>{"a", "d", "b", "e"}), seen);
}

// A subdirectory is entered under the name its listing gave: a name that
// ends in a blank, or holds a wildcard character (both possible on Linux),
// must not be read as the trimmed name or as a pattern, which would visit
// another directory's files twice and lose its own.
TEST_F(WalkTree, SubdirectoriesAreEnteredByTheirExactNames) {
  std::error_code error;
  for (const char* name : {"dir ", "dir", "a*b"}) {
    std::filesystem::create_directories(dir_ / "p" / name, error);
    if (error) GTEST_SKIP() << "this system does not allow the name " << name;
  }
  ASSERT_TRUE(write_bytes(path("p\\dir \\f"), "1"));
  ASSERT_TRUE(write_bytes(path("p\\dir\\g"), "2"));
  std::ofstream(dir_ / "p" / "a*b" / "h") << "3";
  const std::string p = path("p");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {p, "a*b"},         {p + "\\a*b", "h"}, {p, "dir"},
      {p + "\\dir", "g"}, {p, "dir "},        {p + "\\dir ", "f"}};
  EXPECT_EQ(expected, walk(p));
}

TEST_F(WalkTree, LinksAreVisitedButNotEntered) {
  ASSERT_TRUE(write_bytes(path("outside\\secret"), "s"));
  ASSERT_TRUE(write_bytes(path("p\\f"), "x"));
  std::error_code error;
  std::filesystem::create_directory_symlink(dir_ / "outside", dir_ / "p" / "link", error);
  if (error) GTEST_SKIP() << "links cannot be made here: " << error.message();
  const auto visits = walk(path("p"));
  std::vector<std::string> names;
  for (const auto& v : visits) names.push_back(v.second);
  EXPECT_EQ((std::vector<std::string>{"f", "link"}), names);
}

// What the visitor sees with each detail: the same entries in the same
// order, each field either the full listing's or left out as a whole.
TEST_F(WalkTree, EveryDetailVisitsTheSameEntriesInTheSameOrder) {
  ASSERT_TRUE(write_bytes(path("p\\Z.txt"), "zz"));
  ASSERT_TRUE(write_bytes(path("p\\.hidden"), "h"));
  ASSERT_TRUE(write_bytes(path("p\\a\\b.txt"), "bbb"));
  ASSERT_TRUE(write_bytes(path("p\\a\\c\\d.txt"), "dddd"));
  ASSERT_TRUE(write_bytes(path("p\\a.txt"), "a"));
  std::error_code error;
  std::filesystem::create_directory_symlink(dir_ / "p" / "a", dir_ / "p" / "link", error);
  struct Visit {
    std::string directory;
    DirEntry entry;
  };
  const auto visits_with = [&](EntryDetail detail) {
    std::vector<Visit> visits;
    walk_tree(
        path("p"),
        [&](const std::string& directory, const DirEntry& entry) {
          visits.push_back({directory, entry});
          return 0;
        },
        true, detail);
    return visits;
  };
  const auto kinds = [](const std::string& attributes) {
    std::string kept;
    for (char letter : attributes) {
      if (std::string("hdal").find(letter) != std::string::npos) kept += letter;
    }
    return kept;
  };
  const std::vector<Visit> full = visits_with(EntryDetail::kFull);
  ASSERT_EQ(full.size(), error ? 7u : 8u);
  for (EntryDetail detail : {EntryDetail::kNoTime, EntryDetail::kNameAndKind}) {
    SCOPED_TRACE(static_cast<int>(detail));
    const std::vector<Visit> visits = visits_with(detail);
    ASSERT_EQ(visits.size(), full.size());
    for (std::size_t i = 0; i < visits.size(); ++i) {
      const DirEntry& e = visits[i].entry;
      const DirEntry& f = full[i].entry;
      SCOPED_TRACE(f.name);
      EXPECT_EQ(visits[i].directory, full[i].directory);
      EXPECT_EQ(e.name, f.name);
      EXPECT_EQ(kinds(e.attributes), kinds(f.attributes));
      if (detail == EntryDetail::kNoTime) {
        EXPECT_EQ(e.attributes, f.attributes);
        EXPECT_EQ(e.size, f.size);
        EXPECT_EQ(e.year, 0);
      }
    }
  }
  // The full walk carries every field of the listing.
  for (const Visit& v : full) {
    if (v.entry.name != "Z.txt") continue;
    const Listing own = list_dir(path("p\\Z.txt"));
    ASSERT_TRUE(own.ok);
    const DirEntry& listed = own.entries.front();
    EXPECT_EQ(v.entry.attributes, listed.attributes);
    EXPECT_EQ(v.entry.size, 2u);
    EXPECT_EQ(
        std::tie(v.entry.year, v.entry.month, v.entry.day, v.entry.hour, v.entry.minute,
                 v.entry.second),
        std::tie(listed.year, listed.month, listed.day, listed.hour, listed.minute, listed.second));
  }
}

// A directory of many names is visited in byte order, with every name once.
TEST_F(WalkTree, LargeDirectoryInByteOrder) {
  std::filesystem::create_directories(dir_ / "p");
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    // Lengths from 1 to 40 bytes, some beyond 127, so that the packed
    // listing's blocks fill unevenly and unsigned order matters. Names are
    // UTF-8 and made through the program's own file seam, which gives them
    // the same meaning on every system.
    std::string name(static_cast<std::size_t>(1 + (i * 7) % 40), static_cast<char>('a' + i % 26));
    name += std::to_string(i);
    if (i % 5 == 0) name.replace(0, 1, "\xC3\xA9");
    names.push_back(name);
    ASSERT_TRUE(write_bytes(path("p\\" + name), "x")) << name;
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  });
  std::vector<std::string> visited;
  for (const auto& v : walk(path("p"))) visited.push_back(v.second);
  EXPECT_EQ(visited, names);
}

}  // namespace
