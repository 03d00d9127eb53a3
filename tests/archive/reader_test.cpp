// The reader: how records are found, refused names, and damaged archives that
// must neither write outside the profile directory nor lose later records.
#include "archive/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/format.h"
#include "archive_test_util.h"
#include "tests/archive/links.h"
#include "tests/test_util/case_name.h"
#include "tests/test_util/program_path.h"

namespace {

using namespace archive_test;

TEST(StoredName, SafeAndRefusedNames) {
  struct Case {
    std::string name;
    bool safe;
  };
  const Case cases[] = {
      {"a.txt", true},
      {"mail/a.txt", true},
      {"mail\\a.txt", true},
      {"deep/er/still/x", true},
      {".hidden", true},
      {"a..b", true},
      {"...x", true},
      {"with blank.txt", true},
      {"\xE9t\xE9.txt", true},
      {"console", true},
      {"com0", true},
      {"comx.txt", true},
      {"lpt10", true},
      {"ilvar6.ini", true},
      {"", false},
      {"/abs", false},
      {"\\abs", false},
      {"//server/share/x", false},
      {".", false},
      {"..", false},
      {"../evil", false},
      {"a/../../evil", false},
      {"a\\..\\..\\evil", false},
      {"./x", false},
      {"a/./x", false},
      {"a//b", false},
      {"a/", false},
      // The system ends a name at a NUL byte, so it would write another file.
      {std::string("keep.txt\0x", 10), false},
      {std::string("..\0/x", 5), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, stored_name_is_safe(c.name)) << c.name;
}

class Reader : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    home_ = path("home");
    profile_ = home_ + "\\profile";
    archive_ = path("store\\a.ilhome");
  }

  // Unpacks `bytes` into the profile directory; records the progress calls.
  int unpack(const std::string& bytes, UnpackOutcome* outcome = nullptr) {
    EXPECT_TRUE(write_bytes(archive_, bytes));
    return unpack_again(outcome);
  }
  // Unpacks the archive as it stands.
  int unpack_again(UnpackOutcome* outcome = nullptr) {
    calls_.clear();
    return dekompres(
        profile_, archive_,
        [this](const std::string& name, long long position) {
          calls_.emplace_back(name, position);
          if (on_progress_) on_progress_(name);
          return 0;
        },
        outcome);
  }

  // Every file below the scratch directory but the archive lies below the
  // profile directory.
  void expect_nothing_outside_profile() {
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir_)) {
      if (item.is_directory()) continue;
      const std::string written = test_util::program_path(item.path());
      if (written == archive_) continue;
      EXPECT_EQ(0u, written.rfind(profile_ + "\\", 0)) << "written outside: " << written;
    }
  }

  std::map<std::string, std::string> profile_files() {
    std::map<std::string, std::string> files;
    for (const std::string& name : files_below(profile_)) {
      files[name] = read_bytes(profile_ + "\\" + name);
    }
    return files;
  }

  std::string home_;
  std::string profile_;
  std::string archive_;
  std::vector<std::pair<std::string, long long>> calls_;
  // Called at each progress call of unpack_again, with the stored name.
  std::function<void(const std::string&)> on_progress_;
};

TEST_F(Reader, ReadingRulesAndDamagedArchives) {
  const std::string good = record("ok.txt", "fine");
  const std::string later = record("later.txt", "after");
  constexpr UnpackOutcome kWhole = UnpackOutcome::kComplete;
  constexpr UnpackOutcome kPart = UnpackOutcome::kIncomplete;
  constexpr UnpackOutcome kForeign = UnpackOutcome::kNotAnArchive;
  struct Case {
    const char* what;
    std::string bytes;
    std::map<std::string, std::string> files;
    // Anything but a whole archive must say so: a pack run after it would
    // replace the archive with the part that was written.
    UnpackOutcome outcome;
  };
  const std::string whole = kMagicBytes + record("x", "0123456789");
  const std::string settings = kMagicBytes + record("ilvar6.ini", "a=<akar2>;b=<akar2>");
  const Case cases[] = {
      {"empty file", "", {}, kWhole},
      {"shorter than the magic", "IL1", {}, kForeign},
      {"wrong magic", "IL11" + good + kTrailerBytes, {}, kForeign},
      {"not an archive at all", std::string(5000, 'z'), {}, kForeign},
      {"magic and trailer", kMagicBytes + kTrailerBytes, {}, kWhole},
      {"magic only", kMagicBytes, {}, kPart},
      {"no trailer", kMagicBytes + good, {{"ok.txt", "fine"}}, kPart},
      {"bytes after the trailer are never read",
       kMagicBytes + good + kTrailerBytes + later + "junk",
       {{"ok.txt", "fine"}},
       kWhole},
      {"junk between records is skipped in steps of four",
       kMagicBytes + good + "JUNKjunk" + later + kTrailerBytes,
       {{"ok.txt", "fine"}, {"later.txt", "after"}},
       kPart},
      {"a partial tag at the end", kMagicBytes + good + "ab", {{"ok.txt", "fine"}}, kPart},
      {"empty file record",
       kMagicBytes + record("e", "") + later + kTrailerBytes,
       {{"e", ""}, {"later.txt", "after"}},
       kWhole},
      {"inside the name length",
       kMagicBytes + good + "file" + le32(5).substr(0, 2),
       {{"ok.txt", "fine"}},
       kPart},
      {"inside the name", whole.substr(0, 4 + 8 + 0), {}, kPart},
      {"name cut short", kMagicBytes + "file" + le32(10) + "abc", {}, kPart},
      {"inside the data length", whole.substr(0, 4 + 8 + 1 + 2), {}, kPart},
      {"inside the reserved field", whole.substr(0, 4 + 8 + 1 + 4 + 3), {}, kPart},
      {"inside the data tag", whole.substr(0, 4 + 8 + 1 + 8 + 2), {}, kPart},
      {"ordinary data cut short: written short, run ends",
       whole.substr(0, whole.size() - 4),
       {{"x", "012345"}},
       kPart},
      {"settings data cut short: substituted, written short",
       settings.substr(0, settings.size() - 3),
       {{"ilvar6.ini", "a=" + home_ + ";b=<aka"}},
       kPart},
      {"huge name length",
       kMagicBytes + "file" + le32(0xFFFFFFF0u) + "abcdefgh" + later,
       {},
       kPart},
      {"name length with the high bit set",
       kMagicBytes + "file" + le32(0x80000000u) + later,
       {},
       kPart},
      {"huge data length",
       kMagicBytes + record("big", "tiny", 0xFFFFFFFFll) + later,
       {{"big", "tiny" + later}},
       kPart},
      {"huge settings data length",
       kMagicBytes + record("ilvar6.ini", "<akar2>", 0x7FFFFFFFll),
       {{"ilvar6.ini", home_}},
       kPart},
      {"refused name with its data cut short",
       kMagicBytes + good + record("../evil", "0123456789").substr(0, 30),
       {{"ok.txt", "fine"}},
       kPart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "home");
    UnpackOutcome outcome = UnpackOutcome::kCannotOpen;
    EXPECT_EQ(c.outcome == kWhole ? 1 : -1, unpack(c.bytes, &outcome));
    EXPECT_EQ(c.outcome, outcome);
    EXPECT_EQ(c.files, profile_files());
    expect_nothing_outside_profile();
  }
}

// A refused name gets no file and no progress call, and its data are
// passed over so that the next record is found at its true place.
TEST_F(Reader, RefusedNamesAreSkippedWithTheirData) {
  const char* refused[] = {"../evil", "a/../../evil", "/tmp/evil", "\\evil", "./evil",
                           "a//evil", "evil/",        "",          ".."};
  for (const char* name : refused) {
    SCOPED_TRACE(name);
    std::filesystem::remove_all(dir_ / "home");
    // Data of odd length, so a tag scan through them would miss the next record.
    const std::string first = record(name, "EVIL!");
    const std::string bytes = kMagicBytes + first + record("ok.txt", "fine") + kTrailerBytes;
    EXPECT_EQ(1, unpack(bytes));
    EXPECT_EQ((std::map<std::string, std::string>{{"ok.txt", "fine"}}), profile_files());
    const long long ok_data = static_cast<long long>(4 + first.size() + 20 + 6);
    EXPECT_EQ((std::vector<std::pair<std::string, long long>>{{"ok.txt", ok_data}}), calls_);
    expect_nothing_outside_profile();
  }
}

// The file cannot be written, so the profile directory does not hold the
// archive's profile: the unpack is incomplete, but goes on with the rest.
TEST_F(Reader, UnopenableTargetIsSkippedWithItsData) {
  std::filesystem::create_directories(dir_ / "home" / "profile" / "taken");
  const std::string bytes =
      kMagicBytes + record("taken", "abc") + record("next", "n") + kTrailerBytes;
  UnpackOutcome outcome = UnpackOutcome::kComplete;
  EXPECT_EQ(-1, unpack(bytes, &outcome));
  EXPECT_EQ(UnpackOutcome::kIncomplete, outcome);
  EXPECT_EQ((std::map<std::string, std::string>{{"next", "n"}}), profile_files());
  ASSERT_EQ(1u, calls_.size());
  EXPECT_EQ("next", calls_[0].first);
}

TEST_F(Reader, UnpacksOverAnExistingProfile) {
  ASSERT_TRUE(write_bytes(profile_ + "\\keep.txt", "mine"));
  ASSERT_TRUE(write_bytes(profile_ + "\\sub\\replace.txt", "old contents, longer"));
  const std::string bytes =
      kMagicBytes + record("sub/replace.txt", "new") + record("new/dir/f", "f") + kTrailerBytes;
  EXPECT_EQ(1, unpack(bytes));
  EXPECT_EQ((std::map<std::string, std::string>{
                {"keep.txt", "mine"}, {"new\\dir\\f", "f"}, {"sub\\replace.txt", "new"}}),
            profile_files());
}

TEST_F(Reader, ProgressPositionsAndNoRoutine) {
  const std::string first = record("a", "12345");
  const std::string bytes = kMagicBytes + first + record("dir/b", "") + kTrailerBytes;
  EXPECT_EQ(1, unpack(bytes));
  EXPECT_EQ((std::vector<std::pair<std::string, long long>>{
                {"a", 24 + 1}, {"dir/b", static_cast<long long>(4 + first.size() + 20 + 5)}}),
            calls_);
  std::filesystem::remove_all(dir_ / "home");
  EXPECT_EQ(1, dekompres(profile_, archive_, nullptr));
  EXPECT_EQ((std::map<std::string, std::string>{{"a", "12345"}, {"dir\\b", ""}}), profile_files());
}

// The archive's length is taken once, when it is opened; bytes that another
// program appends while it is being read are never read, so every length
// check stays against the bytes that really remain.
TEST_F(Reader, BytesAppendedWhileReadingAreNotRead) {
  const std::string big(300 * 1024, 'b');  // more than one input buffer
  const std::string bytes = kMagicBytes + record("big", big);
  ASSERT_TRUE(write_bytes(archive_, bytes));
  std::vector<std::pair<std::string, long long>> calls;
  // The trailer, too, is among the bytes appended: the archive as it was
  // opened has none, so the unpack is incomplete.
  EXPECT_EQ(-1, dekompres(profile_, archive_, [&](const std::string& name, long long position) {
    calls.emplace_back(name, position);
    if (name == "big") {
      File append = File::open(archive_, OpenMode::kReadWriteExisting);
      EXPECT_TRUE(append.is_open() && append.seek(bytes.size()));
      const std::string more = record("later", "x") + kTrailerBytes;
      EXPECT_TRUE(append.write(more.data(), more.size()));
    }
    return 0;
  }));
  EXPECT_EQ((std::map<std::string, std::string>{{"big", big}}), profile_files());
  EXPECT_EQ((std::vector<std::pair<std::string, long long>>{{"big", 24 + 3}}), calls);
}

// A file that cannot be created, written or closed whole, or an archive that
// cannot be read to its end: the unpack says it is incomplete. Files that
// could be written still are.
TEST_F(Reader, FilesNotWrittenWholeMakeTheUnpackIncomplete) {
  const std::string big(300 * 1024, 'b');  // two write blocks, two read blocks
  const std::string bytes = kMagicBytes + record("big", big) + record("ilvar6.ini", "p=<akar2>") +
                            record("c.txt", "c") + kTrailerBytes;
  const std::string settings = "p=" + home_;
  struct Case {
    const char* what;
    IoFault fault;
    long nth;                                  // 0: no fault
    std::map<std::string, std::string> whole;  // files that must be written whole
  };
  // Opens: the archive, then big, ilvar6.ini, c.txt. Writes: big twice, then
  // one each. Closes: big, ilvar6.ini, c.txt, the archive. Reads: two blocks.
  const Case cases[] = {
      {"no fault", IoFault::kOpen, 0, {{"big", big}, {"ilvar6.ini", settings}, {"c.txt", "c"}}},
      {"big cannot be created", IoFault::kOpen, 2, {{"ilvar6.ini", settings}, {"c.txt", "c"}}},
      {"settings file cannot be created", IoFault::kOpen, 3, {{"big", big}, {"c.txt", "c"}}},
      {"last file cannot be created", IoFault::kOpen, 4, {{"big", big}, {"ilvar6.ini", settings}}},
      {"disk full in big's first block",
       IoFault::kWrite,
       1,
       {{"ilvar6.ini", settings}, {"c.txt", "c"}}},
      {"disk full in big's last block",
       IoFault::kWrite,
       2,
       {{"ilvar6.ini", settings}, {"c.txt", "c"}}},
      {"short write of the settings file", IoFault::kWrite, 3, {{"big", big}, {"c.txt", "c"}}},
      {"big cannot be closed", IoFault::kClose, 1, {{"ilvar6.ini", settings}, {"c.txt", "c"}}},
      {"settings file cannot be closed", IoFault::kClose, 2, {{"big", big}, {"c.txt", "c"}}},
      {"read error in the middle of the archive", IoFault::kRead, 2, {}},
      {"read error at the start", IoFault::kRead, 1, {}},
  };
  ASSERT_TRUE(write_bytes(archive_, bytes));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "home");
    if (c.nth > 0) io_fail_nth(c.fault, c.nth);
    UnpackOutcome outcome = UnpackOutcome::kCannotOpen;
    const int result = unpack_again(&outcome);
    io_clear_faults();
    EXPECT_EQ(c.nth == 0 ? 1 : -1, result);
    EXPECT_EQ(c.nth == 0 ? UnpackOutcome::kComplete : UnpackOutcome::kIncomplete, outcome);
    const std::map<std::string, std::string> files = profile_files();
    for (const auto& [name, data] : c.whole) {
      EXPECT_TRUE(files.count(name) == 1 && files.at(name) == data) << name;
    }
  }
}

// An archive cut at any place is incomplete; one cut inside its magic is
// not an archive at all.
TEST_F(Reader, ArchiveCutAtAnyOffsetIsIncomplete) {
  const std::string bytes = kMagicBytes + record("a.txt", "first file") +
                            record("ilvar6.ini", "x=<akar2>") + record("sub/b", "second") +
                            kTrailerBytes;
  for (std::size_t length = 1; length <= bytes.size(); ++length) {
    SCOPED_TRACE(length);
    std::filesystem::remove_all(dir_ / "home");
    UnpackOutcome outcome = UnpackOutcome::kCannotOpen;
    const int result = unpack(bytes.substr(0, length), &outcome);
    const UnpackOutcome want = length == bytes.size()        ? UnpackOutcome::kComplete
                               : length < kMagicBytes.size() ? UnpackOutcome::kNotAnArchive
                                                             : UnpackOutcome::kIncomplete;
    EXPECT_EQ(want, outcome);
    EXPECT_EQ(want == UnpackOutcome::kComplete ? 1 : -1, result);
  }
}

// Names the system cannot hold are refused like unsafe ones: nothing of
// them is created, not even a directory, and the rest of the archive is
// written. Refusing is not failing: the unpack is complete.
TEST_F(Reader, NamesTooLongForTheSystemAreRefused) {
  std::string deep;
  while (deep.size() < 80 * 1024) deep += "a/";
  deep += "f";
  std::string beyond_path;
  while (beyond_path.size() < 33000) beyond_path += "dir/";
  beyond_path += "f";
  struct Case {
    const char* what;
    std::string name;
  };
  const Case cases[] = {
      {"80 KB of nested one-letter directories", deep},
      {"a path longer than any system allows", beyond_path},
      {"a directory name of 256 bytes", std::string(256, 'd') + "/f"},
      {"a file name of 256 bytes", std::string(256, 'f')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "home");
    const std::string bytes =
        kMagicBytes + record(c.name, "long") + record("ok.txt", "fine") + kTrailerBytes;
    EXPECT_EQ(1, unpack(bytes));
    std::vector<std::string> entries;
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir_ / "home")) {
      entries.push_back(item.path().filename().string());
    }
    EXPECT_EQ((std::vector<std::string>{"profile", "ok.txt"}), entries);
  }
}

// When the archive directory lies in the profile directory, no record is
// written into it, whatever it is called there: the archive itself and its
// neighbours stay as they are.
TEST_F(Reader, NothingIsWrittenIntoTheArchiveDirectory) {
  struct Case {
    const char* what;
    std::string archive;      // relative to the scratch directory
    std::string stored_path;  // the archive directory as a stored name, or ""
  };
  const Case cases[] = {
      {"archive directory below the profile", "home\\profile\\store\\a.ilhome", "store/"},
      {"archive directory deeper below", "home\\profile\\x\\store\\a.ilhome", "x/store/"},
      {"archive directory is the profile directory", "home\\profile\\a.ilhome", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "home");
    archive_ = path(c.archive);
    const std::string in_store = c.stored_path;
    const std::string bytes = kMagicBytes + record(in_store + "a.ilhome", "overwritten") +
                              record(in_store + "new.txt", "new") +
                              record(in_store + "sub/deep.txt", "deep") +
                              record("outside-store.txt", "kept") + kTrailerBytes;
    EXPECT_EQ(1, unpack(bytes));
    EXPECT_EQ(bytes, read_bytes(archive_));
    const std::string store = archive_.substr(0, archive_.rfind('\\'));
    EXPECT_EQ((std::vector<std::string>{"a.ilhome"}), files_below(store));
    if (!in_store.empty()) {
      EXPECT_EQ("kept", read_bytes(profile_ + "\\outside-store.txt"));
    }
  }
}

// The profile directory may lie in the archive directory: that does not keep
// its files from being written.
TEST_F(Reader, ProfileInsideTheArchiveDirectoryIsWritten) {
  archive_ = home_ + "\\a.ilhome";
  EXPECT_EQ(1, unpack(kMagicBytes + record("sub/f", "f") + kTrailerBytes));
  EXPECT_EQ("f", read_bytes(profile_ + "\\sub\\f"));
}

// A link already in the profile directory is never written through: it is
// removed (never what it points at) and a real file or directory takes its
// place. So are further hard links of a file: writing one would write the
// file outside, or the archive being read. In a directory the unpack made
// itself nothing can be in the way yet, so its files are created without a
// look at what has their names; a link that another program puts there
// between two records is still removed, not followed.
TEST_F(Reader, LinksInTheWayAreReplacedNeverFollowed) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    LinkKind kind;
    std::string at;      // below the home directory
    std::string target;  // below the scratch directory
    // Windows keeps a name of a file that is open without delete sharing, as
    // the archive being read is: that one file then cannot be written, and
    // the unpack ends incomplete, still never writing into the archive.
    bool may_stay = false;
    // The record while which the link is made (the unpack has made its
    // directory by then); none: before the unpack.
    const char* made_while = nullptr;
  };
  const Case cases[] = {
      {"file link to a file outside", LinkKind::kFile, "profile\\a.txt", "outside\\victim.txt"},
      {"file link to the archive", LinkKind::kFile, "profile\\a.txt", "store\\a.ilhome"},
      {"dangling file link", LinkKind::kFile, "profile\\a.txt", "outside\\nothing-here"},
      {"directory link to a directory outside", LinkKind::kDirectory, "profile\\sub", "outside"},
      {"directory link deeper down", LinkKind::kDirectory, "profile\\sub\\deeper", "outside"},
      {"directory link to the archive directory", LinkKind::kDirectory, "profile\\sub", "store"},
      {"the profile directory is a link", LinkKind::kDirectory, "profile", "outside"},
      {"junction to a directory outside", LinkKind::kJunction, "profile\\sub", "outside"},
      {"junction deeper down", LinkKind::kJunction, "profile\\sub\\deeper", "outside"},
      {"the profile directory is a junction", LinkKind::kJunction, "profile", "outside"},
      {"hard link to a file outside", LinkKind::kHard, "profile\\a.txt", "outside\\victim.txt"},
      {"hard link to the archive", LinkKind::kHard, "profile\\a.txt", "store\\a.ilhome", true},
      {"file link made in a new directory", LinkKind::kFile, "profile\\sub\\d.txt",
       "outside\\victim.txt", false, "sub/b.txt"},
      {"dangling file link made in a new directory", LinkKind::kFile, "profile\\sub\\d.txt",
       "outside\\nothing-here", false, "sub/b.txt"},
      {"hard link made in a new directory", LinkKind::kHard, "profile\\sub\\d.txt",
       "outside\\victim.txt", false, "sub/b.txt"},
      {"directory link made in a new directory", LinkKind::kDirectory, "profile\\sub\\deeper",
       "outside", false, "sub/b.txt"},
      {"junction made in a new directory", LinkKind::kJunction, "profile\\sub\\deeper", "outside",
       false, "sub/b.txt"},
  };
  const std::string bytes = kMagicBytes + record("a.txt", "new a") + record("sub/b.txt", "new b") +
                            record("sub/deeper/c.txt", "new c") + record("sub/d.txt", "new d") +
                            kTrailerBytes;
  const std::map<std::string, std::string> unpacked = {{"a.txt", "new a"},
                                                       {"sub\\b.txt", "new b"},
                                                       {"sub\\deeper\\c.txt", "new c"},
                                                       {"sub\\d.txt", "new d"}};
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ / "home");
    fs::remove_all(dir_ / "outside");
    ASSERT_TRUE(write_bytes(path("outside\\victim.txt"), "precious"));
    ASSERT_TRUE(write_bytes(archive_, bytes));
    const std::string link = path("home\\" + c.at);
    bool planted = false;
    if (c.made_while == nullptr) {
      make_dirs(link.substr(0, link.rfind('\\')));
      planted = make_link(path(c.target), link, c.kind);
    }
    on_progress_ = [&](const std::string& name) {
      if (c.made_while != nullptr && name == c.made_while) {
        planted = make_link(path(c.target), link, c.kind);
      }
    };
    int result = 0;
    if (planted || c.made_while != nullptr) result = unpack_again();
    on_progress_ = nullptr;
    if (!planted) {
      std::printf("not made on this system, not tested: %s\n", c.what);
      continue;
    }
    ++made;

    EXPECT_EQ(bytes, read_bytes(archive_));
    EXPECT_EQ("precious", read_bytes(path("outside\\victim.txt")));
    EXPECT_EQ((std::vector<std::string>{"victim.txt"}), files_below(path("outside")));
    EXPECT_EQ((std::vector<std::string>{"a.ilhome"}), files_below(path("store")));
    if (c.may_stay && result == -1) continue;
    EXPECT_EQ(1, result);
    // The walk does not go through links: the files are found only below
    // real directories.
    EXPECT_EQ(unpacked, profile_files());
    for (const auto& [name, data] : unpacked) {
      const fs::path file = dir_ / "home" / "profile" / replace_all(name, "\\", "/");
      std::error_code missing;
      EXPECT_EQ(1u, fs::hard_link_count(file, missing)) << name;
    }
  }
  if (made == 0) GTEST_SKIP() << "this system cannot make links here";
}

// A name stored twice holds the later record's bytes alone, whether the
// unpack made its directory or found it.
TEST_F(Reader, ANameStoredTwiceHoldsTheLaterRecord) {
  const std::string bytes = kMagicBytes + record("d/twice.txt", "the first, longer record") +
                            record("d/twice.txt", "second") + kTrailerBytes;
  for (const bool directory_there : {false, true}) {
    SCOPED_TRACE(directory_there ? "directory there before" : "directory made by the unpack");
    std::filesystem::remove_all(dir_ / "home");
    if (directory_there) make_dirs(profile_ + "\\d");
    EXPECT_EQ(1, unpack(bytes));
    EXPECT_EQ((std::map<std::string, std::string>{{"d\\twice.txt", "second"}}), profile_files());
  }
}

// The names already written are still known after many more: the later
// record of a name stored again far behind its first replaces it.
TEST_F(Reader, ANameStoredAgainAfterManyOthersHoldsTheLaterRecord) {
  std::string bytes = kMagicBytes + record("d/twice.txt", "first");
  std::map<std::string, std::string> expected{{"d\\twice.txt", "second"}};
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "d/f" + std::to_string(i);
    bytes += record(name, std::to_string(i));
    expected["d\\f" + std::to_string(i)] = std::to_string(i);
  }
  bytes += record("d/twice.txt", "second") + kTrailerBytes;
  EXPECT_EQ(1, unpack(bytes));
  EXPECT_EQ(expected, profile_files());
}

// The archive directory found again below the profile directory through
// another path, here a link naming it: compared by what it is, not by its
// name, it is still never written into.
TEST_F(Reader, ArchiveDirectoryIsKnownByIdentityNotByName) {
  const std::string bytes = kMagicBytes + record("store/a.ilhome", "overwritten") +
                            record("store/new.txt", "new") + record("kept.txt", "kept") +
                            kTrailerBytes;
  ASSERT_TRUE(write_bytes(profile_ + "\\store\\a.ilhome", bytes));
  if (!make_link(profile_ + "\\store", path("alias"), LinkKind::kDirectory) &&
      !make_link(profile_ + "\\store", path("alias"), LinkKind::kJunction)) {
    GTEST_SKIP() << "this system cannot make links here";
  }
  archive_ = path("alias\\a.ilhome");
  EXPECT_EQ(1, unpack_again());
  EXPECT_EQ(bytes, read_bytes(profile_ + "\\store\\a.ilhome"));
  EXPECT_EQ((std::vector<std::string>{"a.ilhome"}), files_below(profile_ + "\\store"));
  EXPECT_EQ("kept", read_bytes(profile_ + "\\kept.txt"));
}

TEST_F(Reader, MissingArchiveGivesMinusOne) {
  UnpackOutcome outcome = UnpackOutcome::kComplete;
  EXPECT_EQ(-1, dekompres(profile_, path("no.ilhome"), nullptr, &outcome));
  EXPECT_EQ(UnpackOutcome::kCannotOpen, outcome);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "home"));
}

TEST_F(Reader, PathKind) {
  ASSERT_TRUE(write_bytes(path("d\\f.txt"), "x"));
  ASSERT_TRUE(write_bytes(path("d\\empty"), ""));
  struct Case {
    std::string path;
    int kind;
  };
  const Case cases[] = {
      {path("d"), 2},       {path("d\\"), 2},      {path("d\\f.txt"), 1}, {path("d\\empty"), 1},
      {path("missing"), 0}, {path("d\\*.txt"), 0}, {path("d\\f.tx?"), 0}, {path("d\\f.txt\\x"), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.kind, path_kind(c.path)) << c.path;
}

}  // namespace

namespace {

using StoredFiles = std::vector<std::pair<std::string, std::string>>;

// A profile of four records: the first, one in the middle, the settings
// file, and a large last one that spans several copy blocks.
StoredFiles four_records() {
  std::string large(600 * 1024, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 13 + i / 977);
  return {{"a.txt", "the first file"},
          {"mail/b.txt", "in the middle"},
          {"ilvar6.ini", "home=<akar2>\\profile\n"},
          {"places.sqlite", large}};
}

// Where record `index`'s data begin in make_archive(files).
std::size_t data_offset(const StoredFiles& files, std::size_t index) {
  std::size_t at = kMagicBytes.size();
  for (std::size_t i = 0; i < index; ++i) at += record(files[i].first, files[i].second).size();
  return at + record(files[index].first, "").size();
}

struct Flip {
  const char* what;
  std::size_t record;  // which record
  long long offset;    // from its first data byte; negative: into its header
  unsigned char bit;
  bool checked;  // the archive carries checksums
  bool damaged;  // the record is to be named
};

class DamagedRecords : public Reader, public ::testing::WithParamInterface<Flip> {};

// One bit changed on the stick: the unpack writes every file, the changed
// one as it was found, counts as complete, and names that record alone.
TEST_P(DamagedRecords, FoundAndNamedAndWrittenAsFound) {
  const Flip& flip = GetParam();
  const StoredFiles files = four_records();
  std::string bytes =
      flip.checked ? test_util::make_archive(files) : test_util::make_unchecked_archive(files);
  const std::size_t at = data_offset(files, flip.record);
  const auto flipped_at = static_cast<std::size_t>(static_cast<long long>(at) + flip.offset);
  bytes[flipped_at] = static_cast<char>(bytes[flipped_at] ^ flip.bit);
  StoredFiles found = files;
  if (flip.offset >= 0) {
    std::string& data = found[flip.record].second;
    data[static_cast<std::size_t>(flip.offset)] =
        static_cast<char>(data[static_cast<std::size_t>(flip.offset)] ^ flip.bit);
  }

  ASSERT_TRUE(write_bytes(archive_, bytes));
  UnpackReport report;
  EXPECT_EQ(1, dekompres(profile_, archive_, nullptr, report));
  EXPECT_EQ(UnpackOutcome::kComplete, report.outcome);
  std::vector<std::string> named;
  for (const DamagedRecord& d : report.damaged) {
    named.push_back(d.name);
    EXPECT_EQ(at, d.data_position) << d.name;
  }
  const std::vector<std::string> expected = flip.damaged
                                                ? std::vector<std::string>{files[flip.record].first}
                                                : std::vector<std::string>{};
  EXPECT_EQ(expected, named);
  for (const auto& [name, data] : found) {
    const std::string written = read_bytes(profile_ + "\\" + replace_all(name, "/", "\\"));
    EXPECT_EQ(is_settings_file(name) ? replace_all(data, "<akar2>", home_) : data, written) << name;
  }

  // The check writes nothing and finds the same.
  std::vector<DamagedRecord> checked;
  EXPECT_EQ(UnpackOutcome::kComplete, check_archive(archive_, checked));
  ASSERT_EQ(report.damaged.size(), checked.size());
  for (std::size_t i = 0; i < checked.size(); ++i) {
    EXPECT_EQ(report.damaged[i].name, checked[i].name);
    EXPECT_EQ(report.damaged[i].data_position, checked[i].data_position);
  }
}

// The checksum field stands twelve bytes before the data: its first byte is
// at offset -8 counted from the data.
constexpr long long kChecksumField = -8;

INSTANTIATE_TEST_SUITE_P(
    Reader, DamagedRecords,
    ::testing::Values(Flip{"first record", 0, 3, 0x01, true, true},
                      Flip{"middle record", 1, 0, 0x80, true, true},
                      Flip{"settings file", 2, 6, 0x04, true, true},
                      Flip{"last record, first block", 3, 5, 0x10, true, true},
                      Flip{"last record, last byte", 3, 600 * 1024 - 1, 0x02, true, true},
                      Flip{"checksum field itself", 1, kChecksumField, 0x20, true, true},
                      Flip{"written before checksums", 1, 0, 0x80, false, false},
                      Flip{"large one written before checksums", 3, 7, 0x01, false, false}),
    test_util::NameByWhat());

// A record cut short, or a layout damaged, stays an incomplete unpack and
// names no damaged record: nothing says what the missing bytes held.
TEST_F(Reader, CutShortIsIncompleteNotDamaged) {
  const StoredFiles files = four_records();
  const std::string whole = test_util::make_archive(files);
  const std::string cases[] = {
      whole.substr(0, whole.size() - kTrailerBytes.size() - 1),
      whole.substr(0, data_offset(files, 1) + 3),
  };
  for (const std::string& bytes : cases) {
    ASSERT_TRUE(write_bytes(archive_, bytes));
    UnpackReport report;
    EXPECT_EQ(-1, dekompres(profile_, archive_, nullptr, report)) << bytes.size();
    EXPECT_EQ(UnpackOutcome::kIncomplete, report.outcome) << bytes.size();
    EXPECT_TRUE(report.damaged.empty()) << bytes.size();
    std::vector<DamagedRecord> checked;
    EXPECT_EQ(UnpackOutcome::kIncomplete, check_archive(archive_, checked)) << bytes.size();
    EXPECT_TRUE(checked.empty()) << bytes.size();
  }
}

TEST_F(Reader, CheckTellsAMissingFileAndANonArchive) {
  std::vector<DamagedRecord> checked;
  EXPECT_EQ(UnpackOutcome::kCannotOpen, check_archive(path("none.ilhome"), checked));
  ASSERT_TRUE(write_bytes(archive_, "PK\x03\x04 not ours"));
  EXPECT_EQ(UnpackOutcome::kNotAnArchive, check_archive(archive_, checked));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "home"));
}

// One flush that fails: a file's, or the one that makes new names durable
// (each directory's on Windows, the whole file system's on Linux).
struct FlushFailure {
  const char* what;
  IoFault kind;
  bool last;  // the last flush of its kind in a whole unpack, else the first
};

class FlushFailures : public Reader, public ::testing::WithParamInterface<FlushFailure> {};

// The home's record says the profile is the archive's once the unpack is
// complete. A file or a name the disk does not hold yet would leave, after
// a power cut, short or empty files under that record, and the next pack
// would store them in place of the archive: the unpack is incomplete, and
// says why.
TEST_P(FlushFailures, MakeTheUnpackIncomplete) {
  const FlushFailure& failure = GetParam();
  ASSERT_TRUE(write_bytes(archive_, kMagicBytes + record("a.txt", "first") +
                                        record("sub/b.txt", "second") +
                                        record("sub/deeper/c.txt", "third") + kTrailerBytes));
  io_clear_faults();
  ASSERT_EQ(1, unpack_again());
  // Each file is flushed, and new names at least once.
  EXPECT_EQ(3, io_calls(IoFault::kSync));
  EXPECT_LE(1, io_calls(IoFault::kSyncDirectory));
  const long nth = failure.last ? io_calls(failure.kind) : 1;

  std::filesystem::remove_all(dir_ / "home");
  io_clear_faults();
  forget_io_failure();
  io_fail_nth(failure.kind, nth);
  UnpackOutcome outcome = UnpackOutcome::kComplete;
  EXPECT_EQ(-1, unpack_again(&outcome));
  EXPECT_EQ(UnpackOutcome::kIncomplete, outcome);
  // The system's words for the failure are there for the error message.
  EXPECT_FALSE(last_io_failure_reason().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, FlushFailures,
    ::testing::Values(FlushFailure{"the first file's", IoFault::kSync, false},
                      FlushFailure{"the last file's", IoFault::kSync, true},
                      FlushFailure{"the first of the names", IoFault::kSyncDirectory, false},
                      FlushFailure{"the last of the names", IoFault::kSyncDirectory, true}),
    test_util::NameByWhat());

}  // namespace
