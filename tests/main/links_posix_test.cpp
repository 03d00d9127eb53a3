// POSIX side of the burn tests: symbolic links below the home directory are
// never written through and never followed, and names that only POSIX file
// systems allow are burned whole.
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

TEST_F(ProgramTest, BurnOverwritesNamesTheListingWouldReadAsPatterns) {
  struct Row {
    const char* name;
  };
  // "a?c" has a shorter sibling that the pattern matches first.
  const Row rows[] = {{"*"}, {"a?c"}, {"trailing blank "}, {"trailing tab\t"}};
  write_bytes(root_ / "home" / "abc", "1");
  for (const Row& r : rows) write_bytes(root_ / "home" / r.name, std::string(10000, 'x'));
  EXPECT_EQ(run("bakar"), kExitDone);
  for (const Row& r : rows) {
    const std::string bytes = read_bytes(root_ / "home" / r.name);
    EXPECT_EQ(bytes.size(), 12288u) << r.name;
    EXPECT_TRUE(all_zero(bytes)) << r.name;
  }
  EXPECT_EQ(read_bytes(root_ / "home" / "abc"), std::string(4096, '\0'));
}

// The marker is created without following a link in its place: a link to
// the archive would otherwise empty the archive before it is read.
TEST_F(ProgramTest, UnpackNeverWritesTheMarkerThroughALink) {
  const std::string archive = make_archive({{"a.txt", "a"}});
  write_bytes(arch(kDefaultArchive), archive);
  ASSERT_EQ(symlink(arch(kDefaultArchive).c_str(), arch(kMarkerName).c_str()), 0);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), archive);
  EXPECT_FALSE(fs::is_symlink(arch(kMarkerName)));
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "a.txt"), "a");
}

}  // namespace
