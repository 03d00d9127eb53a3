// The directory listing and the file-system operations on a scratch tree.
#include "support/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "support/dir.h"
#include "support/dir_tree.h"
#include "support/dll.h"
#include "support/file_io.h"
#include "tests/support/child.h"
#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

std::vector<std::string> names_of(const Listing& listing) {
  std::vector<std::string> names;
  for (const DirEntry& entry : listing.entries) names.push_back(entry.name);
  return names;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

bool has(const std::string& attributes, char letter) {
  return attributes.find(letter) != std::string::npos;
}

class Listings : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    write("a.txt", "abc");
    write("b.TXT", "");
    write("c.dat", "12345");
    write("noext", "x");
    mkdir("sub");
    write("sub\\inner.txt", "inner");
  }
};

TEST_F(Listings, DirectoryBeginsWithDotEntries) {
  const Listing listing = list_dir(root_);
  ASSERT_TRUE(listing.ok);
  ASSERT_EQ(listing.entries.size(), 7u);
  for (int i = 0; i < 2; ++i) {
    const DirEntry& dot = listing.entries[static_cast<std::size_t>(i)];
    EXPECT_EQ(dot.name, i == 0 ? "." : "..");
    EXPECT_TRUE(has(dot.attributes, 'd'));
    EXPECT_EQ(dot.size, 0u);
  }
  EXPECT_EQ(sorted(names_of(listing)),
            (std::vector<std::string>{".", "..", "a.txt", "b.TXT", "c.dat", "noext", "sub"}));
  for (const DirEntry& entry : listing.entries) {
    SCOPED_TRACE(entry.name);
    if (entry.name == "sub") {
      EXPECT_TRUE(has(entry.attributes, 'd'));
    }
    if (entry.name == "c.dat") {
      EXPECT_FALSE(has(entry.attributes, 'd'));
      EXPECT_EQ(entry.size, 5u);
    }
    EXPECT_EQ(entry.second % 2, 0);
    EXPECT_GE(entry.year, 1980);
  }
}

TEST_F(Listings, PathForms) {
  struct Case {
    std::string path;
    std::vector<std::string> want;  // sorted names; empty for a failure
  };
  const std::vector<std::string> everything = {".",     "..",    "a.txt", "b.TXT",
                                               "c.dat", "noext", "sub"};
  const Case cases[] = {
      {root_, everything},
      {root_ + "\\", everything},
      {root_ + "\\ \t ", everything},  // trailing blanks and backslashes are ignored
      {root_ + "\\\\", everything},
      {path("*.*"), everything},  // "*.*" matches names without a dot too
      {path("*"), everything},
      {path("*.txt"), {"a.txt", "b.TXT"}},  // letter case ignored, as on Windows
      {path("?.dat"), {"c.dat"}},
      {path("??.dat"), {}},
      {path("*.zzz"), {}},
      {path("c.dat"), {"c.dat"}},
      {path("c.dat\\"), {"c.dat"}},
      {path("sub"), {".", "..", "inner.txt"}},
      {path("sub\\*.txt"), {"inner.txt"}},
      {path("missing"), {}},
      {path("missing\\*.*"), {}},
      {path("c.dat\\x"), {}},
      {"", {}},
      {" \t", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("list_dir(\"" + c.path + "\")");
    const Listing listing = list_dir(c.path);
    EXPECT_EQ(listing.ok, !c.want.empty());
    EXPECT_EQ(sorted(names_of(listing)), c.want);
  }
}

TEST_F(Listings, SlashesWorkToo) {
  const Listing listing = list_dir(replace_all(path("sub\\inner.txt"), "\\", "/"));
  ASSERT_TRUE(listing.ok);
  EXPECT_EQ(names_of(listing), std::vector<std::string>{"inner.txt"});
}

// A directory whose own name holds "*" or "?" (possible on Linux) is no
// pattern when a file below it is named: the walk reaches such files, and
// their size must be found like any other's.
TEST_F(Listings, WildcardCharactersInADirectoryName) {
  std::error_code error;
  std::filesystem::create_directories(native(path("a*b")), error);
  if (error) GTEST_SKIP() << "this system does not allow the name a*b";
  write("a*b\\f", "four");
  mkdir("a*b\\sub");
  const Listing listing = list_dir(path("a*b\\f"));
  EXPECT_TRUE(listing.ok);
  EXPECT_EQ(names_of(listing), std::vector<std::string>{"f"});
  EXPECT_EQ(file_size(path("a*b\\f")), 4);
  EXPECT_EQ(file_size(path("a*b\\sub")), 0);  // a directory lists its "." entry first
  EXPECT_EQ(names_of(list_dir(path("a*b\\sub"))), (std::vector<std::string>{".", ".."}));
  EXPECT_FALSE(list_dir(path("a*b\\missing")).ok);
  EXPECT_FALSE(list_dir(path("a?b\\f")).ok);  // no directory of that name
}

TEST_F(Listings, MaxEntriesStopsTheReading) {
  for (std::size_t max :
       {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{100}}) {
    SCOPED_TRACE(max);
    const Listing listing = list_dir(root_, max);
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(listing.entries.size(), std::min<std::size_t>(max, 7));
    EXPECT_EQ(listing.entries.front().name, ".");
  }
  const Listing one_match = list_dir(path("*.txt"), 1);
  ASSERT_TRUE(one_match.ok);
  EXPECT_EQ(one_match.entries.size(), 1u);
}

TEST_F(Listings, EntryByEntryListingStopsWhereTheSinkSays) {
  for (const std::string& listed : {root_, path("*.txt"), path("a.txt")}) {
    SCOPED_TRACE(listed);
    const std::vector<std::string> all = names_of(list_dir(listed));
    std::vector<std::string> seen;
    EXPECT_TRUE(list_dir_each(listed, [&seen](const DirEntry& entry) {
      seen.push_back(entry.name);
      return seen.size() < 2;
    }));
    EXPECT_EQ(seen, std::vector<std::string>(all.begin(),
                                             all.begin() + std::min<std::size_t>(2, all.size())));
  }
  EXPECT_FALSE(list_dir_each(path("missing"), [](const DirEntry&) { return true; }));
  EXPECT_FALSE(list_dir_each(path("*.none"), [](const DirEntry&) { return true; }));
}

// Each detail gives the same entries; the fields it leaves out stay empty.
TEST_F(Listings, DetailsGiveTheSameEntries) {
  std::filesystem::permissions(native(path("c.dat")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  const auto kinds = [](const std::string& attributes) {
    std::string kept;
    for (char letter : attributes) {
      if (std::string("hdal").find(letter) != std::string::npos) kept += letter;
    }
    return kept;
  };
  for (const std::string& listed : {root_, path("*.txt"), path("c.dat"), path("sub")}) {
    SCOPED_TRACE(listed);
    const std::vector<DirEntry> full = list_dir(listed).entries;
    for (EntryDetail detail : {EntryDetail::kNoTime, EntryDetail::kNameAndKind}) {
      SCOPED_TRACE(static_cast<int>(detail));
      std::vector<DirEntry> entries;
      EXPECT_TRUE(list_dir_each(
          listed,
          [&entries](const DirEntry& entry) {
            entries.push_back(entry);
            return true;
          },
          detail));
      ASSERT_EQ(entries.size(), full.size());
      for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, full[i].name);
        EXPECT_EQ(kinds(entries[i].attributes), kinds(full[i].attributes));
        EXPECT_EQ(entries[i].year, 0);
        if (detail == EntryDetail::kNoTime) {
          EXPECT_EQ(entries[i].attributes, full[i].attributes);
          EXPECT_EQ(entries[i].size, full[i].size);
        }
      }
    }
  }
  std::filesystem::permissions(native(path("c.dat")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST_F(Listings, AttributesOfFiles) {
  write(".hidden", "h");
  write("locked", "r");
  std::filesystem::permissions(native(path("locked")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  struct Case {
    const char* name;
    const char* present;
    const char* absent;
  };
  const bool dots_hidden = dot_names_hidden();
  const Case cases[] = {
      {"a.txt", "", "rhdl"},
      {"locked", "r", "dl"},
      {"sub", "d", "l"},
      {".hidden", dots_hidden ? "h" : "", "dl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing listing = list_dir(path(c.name));
    ASSERT_TRUE(listing.ok);
    // A directory lists its contents; its own attributes come from its parent's listing.
    const auto entries = list_dir(root_).entries;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const DirEntry& e) { return e.name == c.name; });
    ASSERT_NE(entry, entries.end());
    for (const char* letter = c.present; *letter; ++letter) {
      EXPECT_TRUE(has(entry->attributes, *letter)) << entry->attributes;
    }
    for (const char* letter = c.absent; *letter; ++letter) {
      EXPECT_FALSE(has(entry->attributes, *letter)) << entry->attributes;
    }
  }
  std::filesystem::permissions(native(path("locked")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST_F(Listings, LastWriteTimeInLocalTimeAtEvenSeconds) {
  std::tm when{};
  when.tm_year = 2006 - 1900;
  when.tm_mon = 4;
  when.tm_mday = 17;
  when.tm_hour = 13;
  when.tm_min = 45;
  when.tm_sec = 37;
  when.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&when);
  ASSERT_NE(stamp, static_cast<std::time_t>(-1));
  const auto file_time =
      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(stamp));
  std::filesystem::last_write_time(native(path("c.dat")), file_time);
  const Listing listing = list_dir(path("c.dat"));
  ASSERT_TRUE(listing.ok);
  const DirEntry& entry = listing.entries.front();
  EXPECT_EQ(entry.year, 2006);
  EXPECT_EQ(entry.month, 5);
  EXPECT_EQ(entry.day, 17);
  EXPECT_EQ(entry.hour, 13);
  EXPECT_EQ(entry.minute, 45);
  EXPECT_EQ(entry.second, 36);
}

TEST_F(Listings, SizeIsTheLow32Bits) {
  std::error_code error;
  std::filesystem::resize_file(native(path("c.dat")), 0x100000000ULL + 5, error);
  if (error) GTEST_SKIP() << "no sparse 4 GiB file here: " << error.message();
  const Listing listing = list_dir(path("c.dat"));
  ASSERT_TRUE(listing.ok);
  EXPECT_EQ(listing.entries.front().size, 5u);
}

TEST_F(Listings, LinksAreMarkedAndNotFollowed) {
  if (!make_symlink(path("sub"), path("dirlink"), true) ||
      !make_symlink(path("a.txt"), path("filelink"), false)) {
    GTEST_SKIP() << "symbolic links cannot be made here";
  }
  const auto entries = list_dir(root_).entries;
  for (const char* name : {"dirlink", "filelink"}) {
    SCOPED_TRACE(name);
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const DirEntry& e) { return e.name == name; });
    ASSERT_NE(entry, entries.end()) << testing::PrintToString(names_of(list_dir(root_)));
    EXPECT_EQ(entry->attributes.back(), 'l') << entry->attributes;
  }
  // The link's own entry, not its target's, when it is named directly.
  const Listing own = list_dir(path("filelink"));
  ASSERT_TRUE(own.ok);
  EXPECT_EQ(own.entries.front().name, "filelink");
  EXPECT_EQ(own.entries.front().attributes.back(), 'l');
}

TEST_F(Listings, PathTooLongFailsCleanly) {
  std::string long_path = root_;
  for (int i = 0; i < 40; ++i) long_path = join_path(long_path, std::string(200, 'x'));
  for (const std::string& p :
       {long_path, join_path(long_path, "*.*"), path(std::string(5000, 'y'))}) {
    const Listing listing = list_dir(p);
    EXPECT_FALSE(listing.ok);
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_EQ(file_size(p), -1);
    EXPECT_EQ(file_exists(p), 0);
    EXPECT_FALSE(read_file(p).has_value());
  }
}

class FileOps : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    reset_routine_table();
    support_setup();
    write("three.txt", "abc");
    write("empty.txt", "");
    mkdir("dir");
  }
};

TEST_F(FileOps, SizeExistenceAndContents) {
  struct Case {
    std::string path;
    long long size;
    int exists;
    const char* contents;  // nullptr: no contents (-1)
  };
  const Case cases[] = {
      {path("three.txt"), 3, 1, "abc"},
      {path("empty.txt"), 0, 1, ""},
      {path("dir"), 0, 0, ""},  // a directory reads as its "." entry
      {path("dir\\"), 0, 0, ""},
      {path("missing"), -1, 0, nullptr},
      // Wildcards: listed, but never "exists", and no file of that name opens.
      {path("three.*"), 3, 0, nullptr},
      {path("thre?.txt"), 3, 0, nullptr},
      {path("*.none"), -1, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(file_size(c.path), c.size);
    EXPECT_EQ(file_exists(c.path), c.exists);
    const auto bytes = read_file(c.path);
    if (c.contents == nullptr) {
      EXPECT_FALSE(bytes.has_value());
    } else {
      ASSERT_TRUE(bytes.has_value());
      EXPECT_EQ(*bytes, c.contents);
    }
  }
}

TEST_F(FileOps, ReadFileThatCannotBeOpened) {
  io_fail_nth(IoFault::kOpen, 1);
  EXPECT_FALSE(read_file(path("three.txt")).has_value());
  EXPECT_EQ(*read_file(path("three.txt")), "abc");
}

TEST_F(FileOps, ReadFileFailingRead) {
  io_fail_nth(IoFault::kRead, 1);
  EXPECT_FALSE(read_file(path("three.txt")).has_value());
}

TEST_F(FileOps, ReadFileKeepsEveryByte) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  write("all.bin", bytes);
  EXPECT_EQ(read_file(path("all.bin")), bytes);
}

TEST_F(FileOps, MoveAndDeleteAcceptSlashes) {
  const std::string slashed_root = replace_all(root_, "\\", "/");
  EXPECT_NE(move_file(slashed_root + "/three.txt", slashed_root + "/dir/moved.txt"), 0);
  EXPECT_FALSE(exists("three.txt"));
  EXPECT_EQ(contents("dir\\moved.txt"), "abc");
  // An existing destination is not replaced.
  EXPECT_EQ(move_file(path("empty.txt"), path("dir\\moved.txt")), 0);
  EXPECT_EQ(contents("dir\\moved.txt"), "abc");
  EXPECT_TRUE(exists("empty.txt"));
  EXPECT_EQ(move_file(path("missing"), path("elsewhere")), 0);

  EXPECT_NE(delete_file(slashed_root + "/dir/moved.txt"), 0);
  EXPECT_FALSE(exists("dir\\moved.txt"));
  EXPECT_EQ(delete_file(path("dir\\moved.txt")), 0);
  EXPECT_EQ(delete_file(path("dir")), 0);
  EXPECT_TRUE(exists("dir"));
}

TEST_F(FileOps, MakeDirs) {
  struct Case {
    std::string path;
    int want;
    const char* made;  // relative path that must be a directory afterwards
  };
  const std::string slashed = replace_all(path("s1/s2/s3"), "\\", "/");
  const Case cases[] = {
      {path("a\\b\\c"), 1, "a\\b\\c"},
      {path("a\\b\\c"), 1, "a\\b\\c"},  // exists: 1 without calls
      {path("x\\y\\"), 1, "x\\y"},      // trailing backslash: same chain
      {slashed, 1, "s1\\s2\\s3"},       // slashes become backslashes
      {path("dir"), 1, "dir"},
      {path("empty.txt"), 1, nullptr},  // an empty file reads as size 0
      {path("three.txt"), 0, nullptr},  // the last call fails on the existing file
      {path("three.txt\\sub"), 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(make_dirs(c.path), c.want);
    if (c.made != nullptr) {
      EXPECT_TRUE(std::filesystem::is_directory(native(path(c.made))));
    }
  }
  EXPECT_EQ(contents("three.txt"), "abc");
}

class RenameChecks : public ScratchTest {};

TEST_F(RenameChecks, KeepOnThisDiskAndLeaveNothingBehind) {
  struct Case {
    const char* label;
    const char* leftover;  // what an earlier check left, "" for nothing
  };
  const Case cases[] = {
      {"nothing there", ""},
      {"a folder of an earlier check", "h\\a\\kept"},
      {"a renamed one of an earlier check", "h\\b\\kept"},
      {"a file under the second name", "h\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    mkdir("h");
    if (*c.leftover != '\0') {
      std::filesystem::create_directories(native(path(c.leftover)).parent_path());
      write(c.leftover, "old");
    }
    EXPECT_EQ(RenameCheck::kKeeps, check_directory_rename(path("h\\a"), path("h\\b")));
    EXPECT_FALSE(exists("h\\a"));
    EXPECT_FALSE(exists("h\\b"));
  }
  // No parent, no check: that it cannot be made is no loss.
  EXPECT_EQ(RenameCheck::kFailed, check_directory_rename(path("none\\a"), path("none\\b")));
}

}  // namespace
