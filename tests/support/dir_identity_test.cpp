// Directories compared by identity: other spellings, links and ".." name the
// same directory; files, missing paths and siblings do not.
#include "support/dir_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

class DirIdentity : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    mkdir("a\\b");
    mkdir("c");
    write("f", "x");
    linked_ = make_symlink(path("a"), path("la"), true);
  }
  bool linked_ = false;
};

using Check = bool (*)(const std::string&, const std::string&);

struct IdentityCase {
  Check check;
  const char* first;
  const char* second;
  bool want;
  bool needs_link;
};

TEST_F(DirIdentity, SameDirectoryAndWithin) {
  const Check same = same_directory;
  const Check within = directory_within;
  const std::vector<IdentityCase> cases = {
      {same, "a", "a", true, false},       {same, "a", "a\\b\\..", true, false},
      {same, "a", "c", false, false},      {same, "a\\b", "a", false, false},
      {same, "f", "f", false, false},      {same, "gone", "gone", false, false},
      {same, "la", "a", true, true},       {same, "la\\b", "a\\b", true, true},
      {within, "a\\b", "a", true, false},  {within, "a", "a", true, false},
      {within, "a", "a\\b", false, false}, {within, "c", "a", false, false},
      {within, "gone", "a", false, false}, {within, "a", "gone", false, false},
      {within, "la\\b", "a", true, true},  {within, "a\\b", "la", true, true},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(std::string(c.check == same ? "same " : "within ") + c.first + ", " + c.second);
    if (c.needs_link && !linked_) continue;
    EXPECT_EQ(c.check(path(c.first), path(c.second)), c.want);
  }
  // Every directory lies within the root of its file system.
  EXPECT_TRUE(directory_within(path("a\\b"), root_.substr(0, root_.find('\\') + 1)));
}

}  // namespace
