// Names outside ASCII: stored as UTF-8 whatever system packs them, read back
// under their own name, and older archives' bytes read by the rule for text
// that is not UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "archive_test_util.h"
#include "support/code_page.h"
#include "support/utf8.h"
#include "tests/archive/system_names.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace archive_test;

struct NamedFile {
  std::string name;  // program form, backslashes
  std::string data;
};

// A path of more than 300 characters below the profile.
std::string long_path() {
  std::string path;
  for (int level = 0; level < 30; ++level) path += "folder" + std::to_string(100 + level) + "\\";
  return path + "\xD0\xB4\xD0\xBB\xD0\xB8\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB9.txt";  // длинный.txt
}

std::vector<NamedFile> unicode_profile() {
  return {
      {"\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0\\"
       "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt",
       "cyrillic"},  // Кириллица\файл.txt
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\\\xE8\xA1\xA8.txt", "japanese"},  // 日本語\表.txt
      {"\xC4\x80"
       "b.txt",
       "A with macron"},  // Āb.txt
      {"Ab.txt", "plain A"},
      {"\xC5\x8Cnly.txt", "O with macron"},  // Ōnly.txt
      {"emoji \xF0\x9F\x98\x80.txt", "emoji"},
      // Fullwidth dots and solidus: a name, not a way out of the profile.
      {"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8Fsecret.txt", "fullwidth"},
      {"caf\xC3\xA9 & co.txt", "accented"},
      {long_path(), "long"},
  };
}

class NameEncoding : public ScratchTest {};

TEST_F(NameEncoding, EveryNameIsStoredInUtf8AndComesBackInAnotherHome) {
  const std::string home = path("\xD0\x94\xD0\xBE\xD0\xBC");  // Дом
  for (const NamedFile& f : unicode_profile()) {
    ASSERT_TRUE(write_bytes(home + "\\profile\\" + f.name, f.data)) << f.name;
  }
  // What a look-alike of the fullwidth name would read instead.
  ASSERT_TRUE(write_bytes(home + "\\secret.txt", "outside the profile"));
  const std::string archive = path("a.ilhome");
  ASSERT_EQ(1, kompres(home + "\\profile", archive, nullptr));

  const std::string stored = read_bytes(archive);
  for (const NamedFile& f : unicode_profile()) {
    const std::string stored_name = replace_all(f.name, "\\", "/");
    EXPECT_NE(stored.find(record(stored_name, f.data)), std::string::npos) << f.name;
  }
  EXPECT_EQ(stored.find("outside the profile"), std::string::npos);

  const std::string other = path("\xE5\xAE\xB6 \xD0\x94\xD0\xBE\xD0\xBC");  // 家 Дом
  ASSERT_EQ(1, dekompres(other + "\\profile", archive, nullptr));
  std::vector<std::string> expected;
  for (const NamedFile& f : unicode_profile()) {
    expected.push_back(f.name);
    EXPECT_EQ(read_bytes(other + "\\profile\\" + f.name), f.data) << f.name;
  }
  std::vector<std::string> unpacked = files_below(other + "\\profile");
  std::sort(expected.begin(), expected.end());
  std::sort(unpacked.begin(), unpacked.end());
  EXPECT_EQ(unpacked, expected);
}

struct LegacyName {
  const char* what;
  std::string stored;
};

class LegacyNames : public ScratchTest, public testing::WithParamInterface<LegacyName> {};

TEST_P(LegacyNames, ANameThatIsNotUtf8IsReadInTheAnsiCodePage) {
  const std::string profile = path("home\\profile");
  const std::string archive = path("old.ilhome");
  ASSERT_TRUE(write_bytes(archive,
                          test_util::make_archive({{GetParam().stored, "old"}, {"ok.txt", "ok"}})));
  ASSERT_EQ(1, dekompres(profile, archive, nullptr));
  std::vector<std::string> files = files_below(profile);
  std::sort(files.begin(), files.end());
  const std::string name = replace_all(from_ansi_code_page(GetParam().stored), "/", "\\");
  if (system_decodes_ansi_names()) {
    // Windows: the bytes' meaning in the code page, in the program's UTF-8.
    EXPECT_TRUE(is_valid_utf8(name)) << name;
    EXPECT_NE(name, GetParam().stored);
  } else {
    EXPECT_EQ(name, replace_all(GetParam().stored, "/", "\\"));
  }
  std::vector<std::string> expected = {name, "ok.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  EXPECT_EQ(read_bytes(profile + "\\" + name), "old");
}

// A file unpacked from such a record that the next pack cannot read keeps
// its earlier copy: the copy is found under the name the file was given,
// and written under it in UTF-8 (as every name of the new archive is), its
// data and checksum as they were.
TEST_P(LegacyNames, AnUnreadableFileKeepsItsEarlierCopyUnderItsName) {
  const std::string profile = path("home\\profile");
  const std::string archive = path("old.ilhome");
  const std::string old_data = "earlier copy";
  ASSERT_TRUE(write_bytes(archive, "IL10" + record(GetParam().stored, old_data) + "abis"));
  ASSERT_EQ(1, dekompres(profile, archive, nullptr));
  io_fail_nth(IoFault::kOpen, 2);  // 1 the new archive, 2 the profile's one file
  PackReport report;
  const int packed = kompres(profile, archive, PackOptions{}, report);
  io_clear_faults();
  ASSERT_EQ(1, packed);
  EXPECT_EQ(1u, report.kept);
  const std::string name = from_ansi_code_page(GetParam().stored);
  EXPECT_EQ(read_bytes(archive), "IL10" + record(name, old_data) + "abis");
}

INSTANTIATE_TEST_SUITE_P(Cases, LegacyNames,
                         testing::Values(LegacyName{"latin", "caf\xE9.txt"},
                                         LegacyName{"folder", "\xC4rger/\xE9t\xE9.txt"}),
                         test_util::NameByWhat());

// Names an older Windows build stored in its code page's bytes, with what each
// means there. In Shift-JIS (932) the second byte of many characters is 0x5C,
// the backslash: it belongs to the character and splits no folder.
struct LegacyMeaning {
  const char* what;
  unsigned code_page;
  std::string stored;
  std::string name;  // program form: UTF-8, backslashes
};

class LegacyMeanings : public ScratchTest, public testing::WithParamInterface<LegacyMeaning> {};

TEST_P(LegacyMeanings, UnpackUnderTheirMeaningAndPackBackInUtf8) {
  const LegacyMeaning& c = GetParam();
  if (system_ansi_code_page() != c.code_page) {
    GTEST_SKIP() << "written in code page " << c.code_page << ", this run has "
                 << system_ansi_code_page();
  }
  const std::string profile = path("home\\profile");
  const std::string archive = path("old.ilhome");
  ASSERT_TRUE(write_bytes(archive, test_util::make_archive({{c.stored, "old"}, {"ok.txt", "ok"}})));
  ASSERT_EQ(1, dekompres(profile, archive, nullptr));
  std::vector<std::string> files = files_below(profile);
  std::sort(files.begin(), files.end());
  std::vector<std::string> expected = {c.name, "ok.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  EXPECT_EQ(read_bytes(profile + "\\" + c.name), "old");

  // The next pack stores the name in UTF-8, for any system to read.
  const std::string packed = path("new.ilhome");
  ASSERT_EQ(1, kompres(profile, packed, nullptr));
  EXPECT_NE(read_bytes(packed).find(record(replace_all(c.name, "\\", "/"), "old")),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LegacyMeanings,
    testing::Values(LegacyMeaning{"western e acute", 1252, "caf\xE9.txt", "caf\xC3\xA9.txt"},
                    LegacyMeaning{"western folder", 1252, "\xC4rger/\xE9t\xE9.txt",
                                  "\xC3\x84rger\\\xC3\xA9t\xC3\xA9.txt"},  // Ärger\été.txt
                    LegacyMeaning{"cyrillic folder", 1251,
                                  "\xCF\xE0\xEF\xEA\xE0/\xF4\xE0\xE9\xEB.txt",
                                  "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\\"
                                  "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt"},  // Папка\файл.txt
                    // ソフト/表.txt: ソ is 83 5C, 表 is 95 5C.
                    LegacyMeaning{"japanese trail backslash", 932,
                                  "\x83\x5C\x83\x74\x83\x67/\x95\x5C.txt",
                                  "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\\xE8\xA1\xA8.txt"},
                    LegacyMeaning{"japanese half-width katakana", 932, "\xB1\xB2\xB3.txt",
                                  "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3.txt"}),  // ｱｲｳ.txt
    test_util::NameByWhat());

TEST(SettingsEncoding, AUtf8FileHasItsHomeReplacedAndNoLookAlike) {
  const std::string home = "C:\\Caf\xC3\xA9";
  const std::string data = "a=" + home + "\\profile\nb=C:\\Cafe\\profile\n";
  const std::string stored = substitute_on_write(data, home);
  EXPECT_EQ(stored, "a=<akar2>\\profile\nb=C:\\Cafe\\profile\n");
  EXPECT_EQ(substitute_on_read(stored, home), data);
}

TEST(SettingsEncoding, AFileInTheAnsiCodePageGetsTheHomeInThatCodePage) {
  // Each code page the program meets spells at least one of these homes.
  const std::string homes[] = {"C:\\Caf\xC3\xA9", "C:\\\xD0\x94\xD0\xBE\xD0\xBC"};
  int spelled_homes = 0;
  for (const std::string& home : homes) {
    std::string spelled;
    if (!to_ansi_code_page(home, spelled)) continue;
    ++spelled_homes;
    // The code page's bytes for the home, and a byte no UTF-8 text holds.
    const std::string data = "a=" + spelled + "\\profile\n\xFF\n";
    ASSERT_FALSE(is_valid_utf8(data));
    const std::string stored = substitute_on_write(data, home);
    EXPECT_EQ(stored, "a=<akar2>\\profile\n\xFF\n") << home;
    EXPECT_EQ(substitute_on_read(stored, home), data) << home;
  }
  EXPECT_GT(spelled_homes, 0);
}

}  // namespace
