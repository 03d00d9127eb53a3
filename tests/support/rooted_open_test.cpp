// Opening files of a tree to overwrite them: what opens, what is refused, and
// that a size past 4 GiB is read whole.
#include "support/confined.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/child.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

class RootedOpen : public ScratchTest {
 protected:
  // Writes a file, making its directories first.
  void put(const std::string& relative, const std::string& bytes) const {
    std::filesystem::create_directories(native(path(relative)).parent_path());
    write(relative, bytes);
  }
  bool hard_link(const std::string& target, const std::string& link) const {
    std::error_code error;
    std::filesystem::create_hard_link(native(path(target)), native(path(link)), error);
    return !error;
  }
};

TEST_F(RootedOpen, OpensPlainFilesAndRefusesEverythingElse) {
  put("tree\\a.txt", "a");
  mkdir("tree\\sub\\deeper");
  put("tree\\sub\\b.txt", "bb");
  put("tree\\sub\\deeper\\c.txt", "ccc");
  put("tree\\subway\\d.txt", "dddd");
  put("outside\\x.txt", "outside");
  struct Row {
    const char* relative;
    long long size;  // -1: refused
  };
  const Row rows[] = {
      {"a.txt", 1},
      {"sub\\b.txt", 2},
      {"sub\\deeper\\c.txt", 3},
      {"sub\\b.txt", 2},
      // A directory whose name begins with the last one's is another one.
      {"subway\\d.txt", 4},
      {"sub\\deeper\\c.txt", 3},
      {"sub\\deeper\\d.txt", -1},
      {"sub", -1},
      {"missing.txt", -1},
      {"sub\\missing", -1},
      {"..\\outside\\x.txt", -1},
      {"sub\\..\\a.txt", -1},
      {".\\a.txt", -1},
      {"sub\\\\b.txt", -1},
      {"", -1},
      {"a.txt\\", -1},
  };
  RootedOpener opener(path("tree"));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.relative);
    File file = opener.open_for_overwrite(r.relative);
    EXPECT_EQ(file.is_open(), r.size >= 0);
    if (file.is_open()) {
      EXPECT_EQ(file.size(), r.size);
    }
  }
  EXPECT_EQ(contents("outside\\x.txt"), "outside");
}

TEST_F(RootedOpen, NeitherCreatesNorTruncates) {
  put("tree\\a.txt", "12345");
  RootedOpener opener(path("tree"));
  EXPECT_TRUE(opener.open_for_overwrite("a.txt").is_open());
  EXPECT_EQ(contents("tree\\a.txt"), "12345");
  EXPECT_FALSE(opener.open_for_overwrite("new.txt").is_open());
  EXPECT_FALSE(exists("tree\\new.txt"));
}

// A file with a second name shares its bytes with that name, wherever it is.
TEST_F(RootedOpen, FilesWithMoreThanOneNameAreRefused) {
  put("outside\\precious.txt", "precious");
  put("tree\\own.txt", "own");
  put("tree\\twin-a.txt", "twin");
  if (!hard_link("outside\\precious.txt", "tree\\linked.txt") ||
      !hard_link("tree\\twin-a.txt", "tree\\twin-b.txt")) {
    GTEST_SKIP() << "this system cannot make hard links here";
  }
  RootedOpener opener(path("tree"));
  EXPECT_TRUE(opener.open_for_overwrite("own.txt").is_open());
  for (const char* name : {"linked.txt", "twin-a.txt", "twin-b.txt"}) {
    EXPECT_FALSE(opener.open_for_overwrite(name).is_open()) << name;
  }
}

// A link at any level of the path, not only the last, leads out of the tree.
TEST_F(RootedOpen, NoLinkIsFollowedAtAnyLevel) {
  put("outside\\deeper\\x.txt", "outside");
  put("outside\\x.txt", "outside");
  mkdir("tree\\real");
  if (!make_symlink(path("outside"), path("tree\\dir-link"), true) ||
      !make_symlink(path("outside\\x.txt"), path("tree\\real\\file-link"), false) ||
      !exists("tree\\dir-link\\x.txt")) {
    GTEST_SKIP() << "this system cannot make symbolic links here";
  }
  RootedOpener opener(path("tree"));
  for (const char* relative : {"dir-link\\x.txt", "dir-link\\deeper\\x.txt", "real\\file-link"}) {
    EXPECT_FALSE(opener.open_for_overwrite(relative).is_open()) << relative;
  }
}

// A directory swapped for a link after an earlier file of it was opened is
// looked up again for the next directory, never trusted by its name.
TEST_F(RootedOpen, ADirectorySwappedForALinkLeadsNowhere) {
  put("tree\\a\\b\\x.txt", "inside");
  put("tree\\c\\y.txt", "inside");
  put("outside\\b\\x.txt", "outside");
  RootedOpener opener(path("tree"));
  EXPECT_TRUE(opener.open_for_overwrite("a\\b\\x.txt").is_open());
  EXPECT_TRUE(opener.open_for_overwrite("c\\y.txt").is_open());
  std::filesystem::rename(native(path("tree\\a")), native(path("tree\\a-moved")));
  if (!make_symlink(path("outside"), path("tree\\a"), true) || !exists("tree\\a\\b\\x.txt")) {
    GTEST_SKIP() << "this system cannot make symbolic links here";
  }
  EXPECT_FALSE(opener.open_for_overwrite("a\\b\\x.txt").is_open());
}

TEST_F(RootedOpen, ARootThatDoesNotOpenOpensNothing) {
  put("file", "x");
  RootedOpener missing(path("missing"));
  EXPECT_FALSE(missing.open_for_overwrite("file").is_open());
  RootedOpener not_a_directory(path("file"));
  EXPECT_FALSE(not_a_directory.open_for_overwrite("x").is_open());
}

TEST_F(RootedOpen, OpenFaultsAreCounted) {
  put("tree\\a.txt", "a");
  RootedOpener opener(path("tree"));
  io_fail_nth(IoFault::kOpen, 2);
  EXPECT_TRUE(opener.open_for_overwrite("a.txt").is_open());
  EXPECT_FALSE(opener.open_for_overwrite("a.txt").is_open());
  EXPECT_TRUE(opener.open_for_overwrite("a.txt").is_open());
}

// Sizes are 64-bit: a sparse file takes no room for its hole.
TEST_F(RootedOpen, SizePastFourGibibytesIsExact) {
  constexpr std::uintmax_t kSize = (std::uintmax_t{1} << 32) + 10;
  put("tree\\big", "");
  std::error_code error;
  std::filesystem::resize_file(native(path("tree\\big")), kSize, error);
  if (error) GTEST_SKIP() << "no file of this size here: " << error.message();
  RootedOpener opener(path("tree"));
  File file = opener.open_for_overwrite("big");
  ASSERT_TRUE(file.is_open());
  EXPECT_EQ(file.size(), static_cast<long long>(kSize));
}

}  // namespace
