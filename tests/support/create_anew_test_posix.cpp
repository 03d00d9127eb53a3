// The POSIX half of the create tests: a file already at a name is replaced
// by a new one, never cut back in place, which a FAT driver that shortens a
// file only in part would leave with the end of its old bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/confined.h"
#include "support/posix_path.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

ino_t inode_of(const std::string& path) {
  struct stat st {};
  return ::stat(posix_path(path).c_str(), &st) == 0 ? st.st_ino : 0;
}

class CreateAnew : public ScratchTest {};

TEST_F(CreateAnew, AFileWithBytesIsReplacedNotEmptied) {
  struct Case {
    const char* label;
    const char* old_content;
    bool replaced;
  };
  const Case cases[] = {
      {"longer old content", "a much longer old content", true},
      {"one old byte", "x", true},
      // Nothing in it that could be left behind.
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    mkdir("tree");
    write("tree\\f.txt", c.old_content);
    const ino_t before = inode_of(path("tree\\f.txt"));
    ASSERT_NE(before, 0u);
    // Held open, the old file's number cannot go to the new one.
    const int held = ::open(posix_path(path("tree\\f.txt")).c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    {
      ConfinedTree tree(path("tree"), std::string());
      File file;
      ASSERT_EQ(CreateResult::kOpened, tree.create_file("f.txt", file));
      ASSERT_TRUE(file.write("new", 3));
      ASSERT_TRUE(file.close());
    }
    ::close(held);
    EXPECT_EQ("new", contents("tree\\f.txt"));
    EXPECT_EQ(c.replaced, inode_of(path("tree\\f.txt")) != before);
  }
}

}  // namespace
