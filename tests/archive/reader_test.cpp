// The reader: the reading rules, refused names, and damaged archives that
// must neither write outside the profile directory nor lose later records.
#include "archive/reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive_test_util.h"

namespace {

using archive_test::files_below;
using archive_test::kMagicBytes;
using archive_test::kTrailerBytes;
using archive_test::le32;
using archive_test::read_bytes;
using archive_test::record;
using archive_test::ScratchDir;
using archive_test::write_bytes;

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

class Reader : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    home_ = at("home");
    profile_ = home_ + "\\profile";
    archive_ = at("store\\a.ilhome");
  }

  // Unpacks `bytes` into the profile directory; records the progress calls.
  int unpack(const std::string& bytes) {
    EXPECT_TRUE(write_bytes(archive_, bytes));
    calls_.clear();
    return dekompres(profile_, archive_, [this](const std::string& name, long long position) {
      calls_.emplace_back(name, position);
      return 0;
    });
  }

  // Every file below the scratch directory but the archive lies below the
  // profile directory.
  void expect_nothing_outside_profile() {
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir_)) {
      if (item.is_directory()) continue;
      const std::string path = archive_test::program_path(item.path());
      if (path == archive_) continue;
      EXPECT_EQ(0u, path.rfind(profile_ + "\\", 0)) << "written outside: " << path;
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
};

TEST_F(Reader, ReadingRulesAndDamagedArchives) {
  const std::string good = record("ok.txt", "fine");
  const std::string later = record("later.txt", "after");
  struct Case {
    const char* what;
    std::string bytes;
    std::map<std::string, std::string> files;
  };
  const std::string whole = kMagicBytes + record("x", "0123456789");
  const std::string settings = kMagicBytes + record("ilvar6.ini", "a=<akar2>;b=<akar2>");
  const Case cases[] = {
      {"empty file", "", {}},
      {"shorter than the magic", "IL1", {}},
      {"wrong magic", "IL11" + good + kTrailerBytes, {}},
      {"not an archive at all", std::string(5000, 'z'), {}},
      {"magic and trailer", kMagicBytes + kTrailerBytes, {}},
      {"magic only", kMagicBytes, {}},
      {"no trailer", kMagicBytes + good, {{"ok.txt", "fine"}}},
      {"bytes after the trailer are never read",
       kMagicBytes + good + kTrailerBytes + later + "junk",
       {{"ok.txt", "fine"}}},
      {"junk between records is skipped in steps of four",
       kMagicBytes + good + "JUNKjunk" + later + kTrailerBytes,
       {{"ok.txt", "fine"}, {"later.txt", "after"}}},
      {"a partial tag at the end", kMagicBytes + good + "ab", {{"ok.txt", "fine"}}},
      {"empty file record",
       kMagicBytes + record("e", "") + later,
       {{"e", ""}, {"later.txt", "after"}}},
      {"inside the name length",
       kMagicBytes + good + "file" + le32(5).substr(0, 2),
       {{"ok.txt", "fine"}}},
      {"inside the name", whole.substr(0, 4 + 8 + 0), {}},
      {"name cut short", kMagicBytes + "file" + le32(10) + "abc", {}},
      {"inside the data length", whole.substr(0, 4 + 8 + 1 + 2), {}},
      {"inside the reserved field", whole.substr(0, 4 + 8 + 1 + 4 + 3), {}},
      {"inside the data tag", whole.substr(0, 4 + 8 + 1 + 8 + 2), {}},
      {"ordinary data cut short: written short, run ends",
       whole.substr(0, whole.size() - 4),
       {{"x", "012345"}}},
      {"settings data cut short: substituted, written short",
       settings.substr(0, settings.size() - 3),
       {{"ilvar6.ini", "a=" + home_ + ";b=<aka"}}},
      {"huge name length", kMagicBytes + "file" + le32(0xFFFFFFF0u) + "abcdefgh" + later, {}},
      {"name length with the high bit set", kMagicBytes + "file" + le32(0x80000000u) + later, {}},
      {"huge data length",
       kMagicBytes + record("big", "tiny", 0xFFFFFFFFll) + later,
       {{"big", "tiny" + later}}},
      {"huge settings data length",
       kMagicBytes + record("ilvar6.ini", "<akar2>", 0x7FFFFFFFll),
       {{"ilvar6.ini", home_}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "home");
    EXPECT_EQ(1, unpack(c.bytes));
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

TEST_F(Reader, UnopenableTargetIsSkippedWithItsData) {
  std::filesystem::create_directories(dir_ / "home" / "profile" / "taken");
  const std::string bytes =
      kMagicBytes + record("taken", "abc") + record("next", "n") + kTrailerBytes;
  EXPECT_EQ(1, unpack(bytes));
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
  EXPECT_EQ(1, dekompres(profile_, archive_, [&](const std::string& name, long long position) {
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

TEST_F(Reader, MissingArchiveGivesMinusOne) {
  EXPECT_EQ(-1, dekompres(profile_, at("no.ilhome"), nullptr));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "home"));
}

TEST_F(Reader, PathKind) {
  ASSERT_TRUE(write_bytes(at("d\\f.txt"), "x"));
  ASSERT_TRUE(write_bytes(at("d\\empty"), ""));
  struct Case {
    std::string path;
    int kind;
  };
  const Case cases[] = {
      {at("d"), 2},       {at("d\\"), 2},      {at("d\\f.txt"), 1}, {at("d\\empty"), 1},
      {at("missing"), 0}, {at("d\\*.txt"), 0}, {at("d\\f.tx?"), 0}, {at("d\\f.txt\\x"), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.kind, path_kind(c.path)) << c.path;
}

}  // namespace
