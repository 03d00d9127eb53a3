// The path list gives back exactly the paths and marks it was given, in
// their order, whatever their directories and lengths.
#include "support/path_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> read_back(const PathList& list) {
  std::vector<std::string> paths;
  PathList::Cursor cursor(list);
  std::string path;
  while (cursor.next(path)) paths.push_back(path);
  return paths;
}

TEST(PathList, GivesBackEveryPathInOrder) {
  struct Case {
    const char* what;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"empty", {}},
      {"bare names, then a directory, then bare names again", {"a", "b\\c", "d"}},
      {"a directory left and come back to", {"x\\1", "x\\y\\2", "x\\3", "x\\y\\4"}},
      {"empty leaf and empty directory components", {"\\", "a\\", "\\\\b", ""}},
      // 63 and 64 bytes: one and two bytes of length before the name.
      {"lengths around the one-byte prefix",
       {std::string(63, 'a'), std::string(64, 'b'), std::string(63, 'c') + "\\" + "d"}},
      // Longer than a block: a block of its own, and the next entry after it.
      {"a name longer than a block", {"s\\" + std::string(70000, 'n'), "s\\after"}},
      {"bytes above 127 and a NUL", {"\xE9\\\xFF", std::string("z\0z", 3)}},
  };
  for (const Case& c : cases) {
    PathList list;
    for (const std::string& p : c.paths) list.push_back(p);
    EXPECT_EQ(c.paths.size(), list.size()) << c.what;
    EXPECT_EQ(c.paths, read_back(list)) << c.what;
  }
}

// Marks stay with their own paths, across directory changes and a rewrite
// that drops paths around them.
TEST(PathList, MarksStayWithTheirPaths) {
  const std::vector<std::pair<std::string, bool>> entries = {
      {"a", true}, {"d\\b", false}, {"d\\c", true}, {"e\\f\\g", true}, {"e\\h", false}, {"i", false},
  };
  PathList list;
  for (const auto& [path, marked] : entries) list.push_back(path, marked);
  list.rewrite([](std::string& path) { return path != "d\\b" && path != "i"; });
  std::vector<std::pair<std::string, bool>> read;
  PathList::Cursor cursor(list);
  std::string path;
  bool marked = false;
  while (cursor.next(path, marked)) read.emplace_back(path, marked);
  const std::vector<std::pair<std::string, bool>> expected = {
      {"a", true}, {"d\\c", true}, {"e\\f\\g", true}, {"e\\h", false}};
  EXPECT_EQ(expected, read);
}

// Enough names to fill many blocks, with entries that end exactly at and
// straddle block ends.
TEST(PathList, ManyBlocks) {
  PathList list;
  std::vector<std::string> paths;
  for (int i = 0; i < 20000; ++i) {
    const std::string dir = i % 1000 < 500 ? "one\\" : "two\\deeper\\";
    paths.push_back(dir + std::string(static_cast<std::size_t>(i % 97), 'n') + std::to_string(i));
    list.push_back(paths.back());
  }
  EXPECT_EQ(paths, read_back(list));
  list.rewrite([](std::string& path) { return path.back() != '7'; });
  std::vector<std::string> kept;
  for (const std::string& p : paths) {
    if (p.back() != '7') kept.push_back(p);
  }
  EXPECT_EQ(kept.size(), list.size());
  EXPECT_EQ(kept, read_back(list));
  list.clear();
  EXPECT_EQ(0u, list.size());
  EXPECT_TRUE(read_back(list).empty());
}

}  // namespace
