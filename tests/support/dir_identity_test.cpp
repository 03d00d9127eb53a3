// Directories compared by identity: other spellings, links and ".." name the
// same directory; files, missing paths and siblings do not.
#include "support/dir_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child.h"
#include "tests/support/scratch.h"

namespace {

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

struct IdentityCase {
  const char* first;
  const char* second;
  bool want;
  bool needs_link;
};

TEST_F(DirIdentity, SameDirectory) {
  const std::vector<IdentityCase> cases = {
      {"a", "a", true, false},     {"a", "a\\b\\..", true, false}, {"a", "c", false, false},
      {"a\\b", "a", false, false}, {"f", "f", false, false},       {"gone", "gone", false, false},
      {"la", "a", true, true},     {"la\\b", "a\\b", true, true},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " / " + c.second);
    if (c.needs_link && !linked_) continue;
    EXPECT_EQ(same_directory(path(c.first), path(c.second)), c.want);
  }
}

TEST_F(DirIdentity, DirectoryWithin) {
  const std::vector<IdentityCase> cases = {
      {"a\\b", "a", true, false}, {"a", "a", true, false},     {"a", "a\\b", false, false},
      {"c", "a", false, false},   {"gone", "a", false, false}, {"a", "gone", false, false},
      {"la\\b", "a", true, true}, {"a\\b", "la", true, true},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " in " + c.second);
    if (c.needs_link && !linked_) continue;
    EXPECT_EQ(directory_within(path(c.first), path(c.second)), c.want);
  }
  // Every directory lies within the root of its file system.
  EXPECT_TRUE(directory_within(path("a\\b"), root_.substr(0, root_.find('\\') + 1)));
}

}  // namespace
