// POSIX side of the burn tests: symbolic links below the home directory are
// never written through and never followed.
#include <unistd.h>

#include "tests/main/program_fixture.h"

namespace {

TEST_F(ProgramTest, BurnNeverWritesThroughLinks) {
  const fs::path outside = root_ / "outside";
  write_bytes(outside / "precious.txt", "precious");
  write_bytes(root_ / "home" / "own.txt", "own");
  ASSERT_EQ(symlink((outside / "precious.txt").c_str(), (root_ / "home" / "file-link").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (root_ / "home" / "dir-link").c_str()), 0);
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(read_bytes(outside / "precious.txt"), "precious");
  EXPECT_TRUE(fs::is_symlink(root_ / "home" / "file-link"));
  EXPECT_EQ(read_bytes(root_ / "home" / "own.txt"), std::string(4096, '\0'));
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"own.txt"}));
}

}  // namespace
