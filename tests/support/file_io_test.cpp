// The file seam: real reads, writes and renames, and each injected fault.
#include "support/file_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "tests/support/child.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

class FileSeam : public ScratchTest {};

TEST_F(FileSeam, WriteReadAndReplace) {
  {
    File out = File::open(path("f.bin"), OpenMode::kWrite);
    ASSERT_TRUE(out.is_open());
    EXPECT_TRUE(out.write("hello world", 11));
    EXPECT_TRUE(out.sync());
    EXPECT_TRUE(out.close());
    EXPECT_FALSE(out.is_open());
    EXPECT_TRUE(out.close());
  }
  {
    File edit = File::open(path("f.bin"), OpenMode::kReadWriteExisting);
    ASSERT_TRUE(edit.is_open());
    ASSERT_TRUE(edit.seek(6));
    EXPECT_TRUE(edit.write("WORLD", 5));
  }
  File in = File::open(path("f.bin"), OpenMode::kRead);
  ASSERT_TRUE(in.is_open());
  char buffer[32];
  EXPECT_EQ(in.read(buffer, sizeof buffer), 11);
  EXPECT_EQ(std::string(buffer, 11), "hello WORLD");
  EXPECT_EQ(in.read(buffer, sizeof buffer), 0);
  File moved = std::move(in);
  EXPECT_FALSE(in.is_open());
  EXPECT_TRUE(moved.is_open());
  EXPECT_TRUE(moved.close());

  write("old.bin", "old");
  EXPECT_TRUE(rename_replace(path("f.bin"), path("old.bin")));
  EXPECT_EQ(contents("old.bin"), "hello WORLD");
  EXPECT_FALSE(exists("f.bin"));
  EXPECT_TRUE(remove_file(path("old.bin")));
  EXPECT_FALSE(remove_file(path("old.bin")));
}

// A kept copy of a profile never takes the name of a file that is there:
// that file may be the only copy of another one.
TEST_F(FileSeam, RenameWithoutReplacing) {
  struct Case {
    const char* what;
    bool target_exists;
    bool fault;
  };
  const Case cases[] = {
      {"free name", false, false},
      {"taken name", true, false},
      {"rename fault", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(native(path("target")));
    write("temp", "new");
    if (c.target_exists) write("target", "other");
    io_clear_faults();
    if (c.fault) io_fail_nth(IoFault::kRename, 1);
    const bool moved = rename_no_replace(path("temp"), path("target"));
    EXPECT_EQ(moved, !c.target_exists && !c.fault);
    EXPECT_EQ(exists("temp"), !moved);
    if (c.target_exists) {
      EXPECT_EQ(contents("target"), "other");
    } else {
      EXPECT_EQ(exists("target"), moved);
      if (moved) {
        EXPECT_EQ(contents("target"), "new");
      }
    }
  }
}

TEST_F(FileSeam, OpenModes) {
  EXPECT_FALSE(File::open(path("none"), OpenMode::kRead).is_open());
  EXPECT_FALSE(File::open(path("none"), OpenMode::kReadWriteExisting).is_open());
  EXPECT_FALSE(exists("none"));  // neither mode creates
  write("full", "12345");
  EXPECT_TRUE(File::open(path("full"), OpenMode::kReadWriteExisting).is_open());
  EXPECT_EQ(contents("full"), "12345");  // nor truncates
  EXPECT_TRUE(File::open(path("full"), OpenMode::kWrite).is_open());
  EXPECT_EQ(contents("full"), "");
  EXPECT_FALSE(File::open(path("no-dir\\x"), OpenMode::kWrite).is_open());
}

TEST_F(FileSeam, InPlaceWritesNeverGoThroughALink) {
  write("target", "keep");
  if (!make_symlink(path("target"), path("link"), false) || !exists("link")) {
    GTEST_SKIP() << "this system cannot make symbolic links here";
  }
  EXPECT_FALSE(File::open(path("link"), OpenMode::kReadWriteExisting).is_open());
  EXPECT_EQ(contents("target"), "keep");
}

// A named pipe in a profile has no bytes to keep or overwrite, and opening
// one waits for a program at its other end: the pack or unpack would hang.
TEST_F(FileSeam, NamedPipesAreNeverOpened) {
  if (!make_fifo(path("pipe"))) GTEST_SKIP() << "no named pipes here";
  for (const OpenMode mode : {OpenMode::kRead, OpenMode::kWrite, OpenMode::kReadWriteExisting}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto opened =
        std::async(std::launch::async, [&] { return File::open(path("pipe"), mode).is_open(); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // Free the waiting open by opening the other end, then report the hang.
      if (mode == OpenMode::kRead) {
        std::ofstream(native(path("pipe")));
      } else {
        std::ifstream(native(path("pipe")));
      }
      ADD_FAILURE() << "opening a named pipe waited";
    }
    EXPECT_FALSE(opened.get());
  }
}

TEST_F(FileSeam, InjectedFaults) {
  struct Case {
    const char* what;
    IoFault kind;
    long nth;
    const char* left_in_file;  // the file's bytes after the run
  };
  // Each run: open, write "aaaa" then "bbbb", sync, close; then rename over "target".
  const Case cases[] = {
      {"first open", IoFault::kOpen, 1, "old"},       {"first write", IoFault::kWrite, 1, "aa"},
      {"second write", IoFault::kWrite, 2, "aaaabb"}, {"sync", IoFault::kSync, 1, "aaaabbbb"},
      {"close", IoFault::kClose, 1, "aaaabbbb"},      {"rename", IoFault::kRename, 1, "aaaabbbb"},
      {"no fault", IoFault::kRename, 0, "aaaabbbb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write("target", "old");
    write("temp", "old");
    io_clear_faults();
    io_fail_nth(c.kind, c.nth);
    bool all_ok = true;
    File file = File::open(path("temp"), OpenMode::kWrite);
    all_ok = file.is_open();
    if (all_ok) {
      all_ok = file.write("aaaa", 4) && file.write("bbbb", 4) && file.sync();
      all_ok = file.close() && all_ok;
    }
    EXPECT_EQ(contents("temp"), c.left_in_file);
    if (all_ok) all_ok = rename_replace(path("temp"), path("target"));
    EXPECT_EQ(all_ok, c.nth == 0);
    // The target is replaced only by a run that went through.
    EXPECT_EQ(contents("target"), c.nth == 0 ? "aaaabbbb" : "old");
    // The fault fires once: the next call of the kind works again.
    if (c.kind == IoFault::kOpen && c.nth > 0) {
      EXPECT_TRUE(File::open(path("target"), OpenMode::kRead).is_open());
    }
  }
}

TEST_F(FileSeam, ReadFault) {
  write("r", "data");
  File file = File::open(path("r"), OpenMode::kRead);
  ASSERT_TRUE(file.is_open());
  io_fail_nth(IoFault::kRead, 2);
  char buffer[2];
  EXPECT_EQ(file.read(buffer, 2), 2);
  EXPECT_EQ(file.read(buffer, 2), -1);
  EXPECT_EQ(file.read(buffer, 2), 2);
}

// The new archive's temporary must never be opened through a name that is
// there already: a planted file or link would be written through.
TEST_F(FileSeam, CreateNewNeverOpensAnExistingName) {
  write("target", "keep");
  write("existing", "keep too");
  const bool links = make_symlink(path("target"), path("link"), false) && exists("link") &&
                     make_symlink(path("nowhere"), path("dangling"), false);
  for (const char* name : {"existing", "link", "dangling"}) {
    if (!links && std::string(name) != "existing") continue;
    File file = File::open(path(name), OpenMode::kCreateNew);
    EXPECT_FALSE(file.is_open()) << name;
  }
  EXPECT_EQ(contents("target"), "keep");
  EXPECT_EQ(contents("existing"), "keep too");
  EXPECT_FALSE(exists("nowhere"));
  File fresh = File::open(path("fresh"), OpenMode::kCreateNew);
  ASSERT_TRUE(fresh.is_open());
  EXPECT_TRUE(fresh.write("new", 3));
  EXPECT_TRUE(fresh.close());
  EXPECT_EQ(contents("fresh"), "new");
}

TEST_F(FileSeam, ReadFileNoFollowTakesOnlyAPlainFile) {
  write("plain", "name.ilhome");
  mkdir("dir");
  EXPECT_TRUE(File::open(path("plain"), OpenMode::kReadFileNoFollow).is_open());
  EXPECT_FALSE(File::open(path("dir"), OpenMode::kReadFileNoFollow).is_open());
  EXPECT_FALSE(File::open(path("none"), OpenMode::kReadFileNoFollow).is_open());
  if (make_symlink(path("plain"), path("link"), false) && exists("link")) {
    EXPECT_FALSE(File::open(path("link"), OpenMode::kReadFileNoFollow).is_open());
  }
}

TEST_F(FileSeam, EntryKindsAndLinkTargets) {
  write("file", "f");
  mkdir("dir");
  EXPECT_EQ(entry_kind(path("file")), EntryKind::kFile);
  EXPECT_EQ(entry_kind(path("dir")), EntryKind::kDirectory);
  EXPECT_EQ(entry_kind(path("none")), EntryKind::kMissing);
  EXPECT_EQ(entry_kind(path("none\\deeper")), EntryKind::kMissing);
  std::string target;
  ASSERT_TRUE(link_target(path("file"), target));
  EXPECT_EQ(target, path("file"));
  ASSERT_TRUE(link_target(path("none"), target));
  EXPECT_EQ(target, path("none"));
  if (!make_symlink(path("file"), path("link"), false) || !exists("link")) {
    GTEST_SKIP() << "this system cannot make symbolic links here";
  }
  ASSERT_TRUE(make_symlink(path("link"), path("chain"), false));
  ASSERT_TRUE(make_symlink(path("dir"), path("dirlink"), true));
  EXPECT_EQ(entry_kind(path("link")), EntryKind::kLink);
  EXPECT_EQ(entry_kind(path("dirlink")), EntryKind::kLink);
  ASSERT_TRUE(link_target(path("chain"), target));
  EXPECT_TRUE(std::filesystem::equivalent(native(target), native(path("file"))));
  EXPECT_EQ(entry_kind(target), EntryKind::kFile);
  if (make_symlink(path("loop-b"), path("loop-a"), false) &&
      make_symlink(path("loop-a"), path("loop-b"), false)) {
    EXPECT_FALSE(link_target(path("loop-a"), target));
  }
}

TEST_F(FileSeam, SizeIsSixtyFourBits) {
  write("big", "");
  std::error_code error;
  const std::uintmax_t size = (5ULL << 30) + 3;
  std::filesystem::resize_file(native(path("big")), size, error);
  if (error) GTEST_SKIP() << "no sparse large file here: " << error.message();
  File file = File::open(path("big"), OpenMode::kRead);
  ASSERT_TRUE(file.is_open());
  EXPECT_EQ(file.size(), static_cast<long long>(size));
}

TEST_F(FileSeam, LockIsHeldByOneAtATime) {
  const std::string lock_path = path("dir.lock");
  FileLock first;
  FileLock second;
  ASSERT_EQ(first.acquire(lock_path), FileLock::Result::kHeld);
  EXPECT_EQ(second.acquire(lock_path), FileLock::Result::kBusy);
  first.release();
  EXPECT_EQ(second.acquire(lock_path), FileLock::Result::kHeld);
  EXPECT_EQ(first.acquire(lock_path), FileLock::Result::kBusy);
  EXPECT_EQ(first.acquire(path("no-dir\\dir.lock")), FileLock::Result::kUnavailable);
}

TEST_F(FileSeam, BareFileNames) {
  struct Row {
    std::string name;
    bool bare;
  };
  const Row rows[] = {
      {"default.ilhome", true},
      {" lead.ilhome", true},
      {"...ilhome", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a/b", false},
      {"a\\b", false},
      {"../x", false},
      {std::string("default.ilhome\0", 15), false},
  };
  for (const Row& r : rows) EXPECT_EQ(is_bare_file_name(r.name), r.bare) << r.name;
}

}  // namespace
