// Creating files below a directory without leaving it: whatever stands in the
// way (a link, a file of several names, a file where a directory is wanted, a
// name that climbs out), nothing outside the tree is ever written.
#include "support/confined.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "tests/support/child.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

// What is put below the scratch directory before the file is created.
enum class InTheWay {
  kNothing,
  kLinkToOutsideDirectory,   // tree\sub is a link to outside
  kLinkToOutsideFile,        // tree\sub\f.txt is a link to outside\f.txt
  kSecondNameOfOutsideFile,  // tree\sub\f.txt is a hard link of outside\f.txt
  kFileForDirectory,         // tree\sub is a file of the user's
  kGuardedDirectory,         // tree\sub is the directory the tree never writes into
};

struct Case {
  const char* label;
  InTheWay in_the_way;
  const char* relative;
  CreateResult result;
  bool written_in_tree;  // tree\sub\f.txt is a plain file of the written bytes afterwards
};

class ConfinedCreate : public ScratchTest, public ::testing::WithParamInterface<Case> {
 protected:
  // False when this system cannot make what the case needs.
  bool arrange(InTheWay in_the_way) {
    mkdir("outside");
    mkdir("tree");
    write("outside\\f.txt", "outside");
    std::error_code error;
    switch (in_the_way) {
      case InTheWay::kNothing:
        return true;
      case InTheWay::kLinkToOutsideDirectory:
        return make_symlink(path("outside"), path("tree\\sub"), true) && exists("tree\\sub\\f.txt");
      case InTheWay::kLinkToOutsideFile:
        mkdir("tree\\sub");
        return make_symlink(path("outside\\f.txt"), path("tree\\sub\\f.txt"), false) &&
               contents("tree\\sub\\f.txt") == "outside";
      case InTheWay::kSecondNameOfOutsideFile:
        mkdir("tree\\sub");
        std::filesystem::create_hard_link(native(path("outside\\f.txt")),
                                          native(path("tree\\sub\\f.txt")), error);
        return !error;
      case InTheWay::kFileForDirectory:
        write("tree\\sub", "user's");
        return true;
      case InTheWay::kGuardedDirectory:
        mkdir("tree\\sub");
        return true;
    }
    return false;
  }
};

TEST_P(ConfinedCreate, NeverWritesOutsideTheTree) {
  const Case& c = GetParam();
  if (!arrange(c.in_the_way)) GTEST_SKIP() << "this system cannot make " << c.label << " here";
  const std::string guarded =
      c.in_the_way == InTheWay::kGuardedDirectory ? path("tree\\sub") : std::string();
  ConfinedTree tree(path("tree"), guarded);
  File file;
  ASSERT_EQ(tree.create_file(c.relative, file), c.result);
  EXPECT_EQ(file.is_open(), c.result == CreateResult::kOpened);
  if (file.is_open()) {
    ASSERT_TRUE(file.write("new", 3));
    ASSERT_TRUE(file.close());
  }
  EXPECT_EQ(contents("outside\\f.txt"), "outside");
  EXPECT_FALSE(exists("outside\\escaped.txt"));
  EXPECT_FALSE(exists("escaped.txt"));
  if (c.written_in_tree) {
    EXPECT_FALSE(std::filesystem::is_symlink(native(path("tree\\sub"))));
    EXPECT_FALSE(std::filesystem::is_symlink(native(path("tree\\sub\\f.txt"))));
    EXPECT_EQ(std::filesystem::hard_link_count(native(path("tree\\sub\\f.txt"))), 1u);
    EXPECT_EQ(contents("tree\\sub\\f.txt"), "new");
  }
  if (c.in_the_way == InTheWay::kFileForDirectory) {
    EXPECT_EQ(contents("tree\\sub"), "user's");
  }
  if (c.in_the_way == InTheWay::kGuardedDirectory) {
    EXPECT_FALSE(exists("tree\\sub\\f.txt"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    WhatStandsInTheWay, ConfinedCreate,
    ::testing::Values(Case{"nothing", InTheWay::kNothing, "sub\\f.txt", CreateResult::kOpened,
                           true},
                      Case{"a link to a directory outside", InTheWay::kLinkToOutsideDirectory,
                           "sub\\f.txt", CreateResult::kOpened, true},
                      Case{"a link to a file outside", InTheWay::kLinkToOutsideFile, "sub\\f.txt",
                           CreateResult::kOpened, true},
                      Case{"a second name of a file outside", InTheWay::kSecondNameOfOutsideFile,
                           "sub\\f.txt", CreateResult::kOpened, true},
                      Case{"a file where a directory is wanted", InTheWay::kFileForDirectory,
                           "sub\\f.txt", CreateResult::kFailed, false},
                      Case{"the guarded directory", InTheWay::kGuardedDirectory, "sub\\f.txt",
                           CreateResult::kRefused, false},
                      // Names climbing out are refused by the walk itself, whoever calls it.
                      Case{"a parent component", InTheWay::kNothing, "sub\\..\\..\\escaped.txt",
                           CreateResult::kFailed, false},
                      Case{"a parent component at the top", InTheWay::kNothing,
                           "..\\outside\\escaped.txt", CreateResult::kFailed, false},
                      Case{"a current-directory component", InTheWay::kNothing,
                           ".\\..\\escaped.txt", CreateResult::kFailed, false}),
    [](const ::testing::TestParamInfo<Case>& param) {
      std::string name;
      for (const char* p = param.param.label; *p != '\0'; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) != 0 ? *p : '_';
      }
      return name;
    });

}  // namespace
