// The writer: a small archive byte for byte, exclusions, relative names,
// and that the stored archive survives every failure of a pack.
#include "archive/writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive/format.h"
#include "archive/pack_list.h"
#include "archive/reader.h"
#include "archive/record_writer.h"
#include "archive/safe_replace.h"
#include "archive_test_util.h"

namespace {

using namespace archive_test;

using PackCall = std::tuple<std::string, long, long>;

class Writer : public ScratchTest {
 protected:
  // Names in the scratch directory that have the temporary's shape.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::directory_iterator(dir_)) {
      const std::string name = item.path().filename().string();
      if (is_temporary_name(name)) found.push_back(name);
    }
    return found;
  }
  int pack(const std::string& root, const std::string& archive) {
    calls_.clear();
    return kompres(root, archive, [this](const std::string& name, long index, long count) {
      calls_.emplace_back(name, index, count);
      return 0;
    });
  }
  std::vector<PackCall> calls_;
};

// A profile of a settings file naming its own home, and mail\a.txt.
TEST_F(Writer, SettingsAndMailByteForByte) {
  const std::string home = path("P");
  const std::string root = home + "\\profile";
  ASSERT_TRUE(write_bytes(root + "\\ilvar6.ini", "p=" + home + "\\profile"));
  ASSERT_TRUE(write_bytes(root + "\\mail\\a.txt", "hi"));
  const std::string archive = path("store\\x.ilhome");
  std::filesystem::create_directories(dir_ / "store");

  ASSERT_EQ(1, pack(root, archive));
  // Each record's checksum field holds the CRC-32C of its stored data:
  // 8DD7473C for p=<akar2>\profile, F59DD9C2 for hi.
  const std::string expected = bytes_of({
      0x49, 0x4C, 0x31, 0x30, 0x66, 0x69, 0x6C, 0x65, 0x0A, 0x00, 0x00, 0x00, 0x69, 0x6C, 0x76,
      0x61, 0x72, 0x36, 0x2E, 0x69, 0x6E, 0x69, 0x11, 0x00, 0x00, 0x00, 0x3C, 0x47, 0xD7, 0x8D,
      0x61, 0x73, 0x6C, 0x69, 0x70, 0x3D, 0x3C, 0x61, 0x6B, 0x61, 0x72, 0x32, 0x3E, 0x5C, 0x70,
      0x72, 0x6F, 0x66, 0x69, 0x6C, 0x65, 0x66, 0x69, 0x6C, 0x65, 0x0A, 0x00, 0x00, 0x00, 0x6D,
      0x61, 0x69, 0x6C, 0x2F, 0x61, 0x2E, 0x74, 0x78, 0x74, 0x02, 0x00, 0x00, 0x00, 0xC2, 0xD9,
      0x9D, 0xF5, 0x61, 0x73, 0x6C, 0x69, 0x68, 0x69, 0x61, 0x62, 0x69, 0x73,
  });
  ASSERT_EQ(87u, expected.size());
  EXPECT_EQ(expected, read_bytes(archive));
  EXPECT_EQ((std::vector<PackCall>{{"ilvar6.ini", 1, 2}, {"mail/a.txt", 2, 2}}), calls_);
  EXPECT_TRUE(temporaries().empty());

  // Unpacked into another home, the settings file names that home.
  const std::string other = path("Q");
  std::vector<std::pair<std::string, long long>> reads;
  ASSERT_EQ(
      1, dekompres(other + "\\profile", archive, [&](const std::string& name, long long position) {
        reads.emplace_back(name, position);
        return 0;
      }));
  EXPECT_EQ(
      (std::vector<std::pair<std::string, long long>>{{"ilvar6.ini", 34}, {"mail/a.txt", 81}}),
      reads);
  EXPECT_EQ("p=" + other + "\\profile", read_bytes(other + "\\profile\\ilvar6.ini"));
  EXPECT_EQ("hi", read_bytes(other + "\\profile\\mail\\a.txt"));
}

TEST_F(Writer, TreeWithoutFilesGivesMagicAndTrailer) {
  std::filesystem::create_directories(dir_ / "home" / "profile" / "empty" / "deeper");
  const std::string archive = path("a.ilhome");
  ASSERT_EQ(1, pack(path("home\\profile"), archive));
  EXPECT_EQ("IL10abis", read_bytes(archive));
  EXPECT_TRUE(calls_.empty());
}

TEST_F(Writer, ExcludedNamesLeaveTheList) {
  struct Case {
    const char* entry;
    bool kept;
  };
  const Case cases[] = {
      {"cache4\\x", false},
      {"CACHE4\\x", false},
      {"Images\\a\\b.png", false},
      {"cacheIl\\y", false},
      {"cacheil\\y", false},
      {"uninst\\u.exe", false},
      {"Uninst\\u.exe", false},
      {"a.BAK", false},
      {"sub\\b.bak", false},
      {"ilvar6.ini.bak", false},
      {"sub\\cache4\\x", true},
      {"cache4", true},
      {"cache4x\\y", true},
      {"a.bak.txt", true},
      {"images", true},
      {"bak", true},
      {"mail\\a.txt", true},
      {"ilvar6.ini", true},
      {"x.bak", false},
  };
  const Exclusions exclusions;
  for (const Case& c : cases) EXPECT_EQ(!c.kept, exclusions.match(c.entry)) << c.entry;
}

TEST_F(Writer, CollectedPathsAreMadeRelative) {
  struct Case {
    const char* root;
    const char* entry;
    const char* relative;
  };
  const Case cases[] = {
      {"C:\\P\\profile", "C:\\P\\profile\\mail\\a.txt", "mail\\a.txt"},
      {"C:\\P\\profile\\", "C:\\P\\profile\\mail\\a.txt", "mail\\a.txt"},
      {"c:\\p\\PROFILE", "C:\\P\\profile\\Mail\\A.txt", "Mail\\A.txt"},
      {"C:\\P\\profile", "D:\\elsewhere\\x", "D:\\elsewhere\\x"},
      {"C:\\P\\profile", "C:\\P\\profile2\\x", "2\\x"},
  };
  for (const Case& c : cases) {
    std::string entry = c.entry;
    make_relative(entry, c.root);
    EXPECT_EQ(c.relative, entry) << c.entry;
  }
}

TEST_F(Writer, ExcludedAndIncludedFilesOnDisk) {
  const std::string root = path("h\\profile");
  for (const char* name : {"CACHE4\\c", "Images\\i", "sub\\cache4\\x", "cache4x", "a.BAK",
                           "sub\\b.bak", "a.bak.txt", ".hidden", "sub\\ilvar6.ini"}) {
    ASSERT_TRUE(write_bytes(root + "\\" + name, name));
  }
  std::filesystem::create_directories(dir_ / "h" / "profile" / "emptydir");
  ASSERT_EQ(1, pack(root + "\\", path("out.ilhome")));
  std::vector<std::string> stored;
  for (const auto& call : calls_) stored.push_back(std::get<0>(call));
  EXPECT_EQ((std::vector<std::string>{".hidden", "a.bak.txt", "cache4x", "sub/cache4/x",
                                      "sub/ilvar6.ini"}),
            stored);
}

TEST_F(Writer, UnlistableRootKeepsTheOldArchive) {
  const std::string archive = path("keep.ilhome");
  ASSERT_TRUE(write_bytes(archive, "old archive"));
  EXPECT_EQ(-1, pack(path("no\\such\\profile"), archive));
  EXPECT_EQ("old archive", read_bytes(archive));
  EXPECT_TRUE(temporaries().empty());
  EXPECT_TRUE(calls_.empty());
}

TEST_F(Writer, FailuresKeepTheOldArchiveAndLeaveNoTemporary) {
  struct Case {
    const char* what;
    IoFault kind;
    long nth;
  };
  // The profile holds one file of two copy blocks, so the archive takes
  // several writes; n counts calls from the start of the pack. Closes: the
  // file, the old archive (read for the records to keep), the new archive.
  const Case cases[] = {
      {"archive cannot be created", IoFault::kOpen, 1},
      {"first write", IoFault::kWrite, 1},
      {"a later write", IoFault::kWrite, 3},
      {"flush to the disk", IoFault::kSync, 1},
      {"closing the archive", IoFault::kClose, 3},
      {"rename over the old archive", IoFault::kRename, 1},
  };
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\big.bin", std::string(2 * kCopyBlockSize + 5, 'b')));
  const std::string archive = path("keep.ilhome");
  for (const Case& c : cases) {
    ASSERT_TRUE(write_bytes(archive, "old archive"));
    io_fail_nth(c.kind, c.nth);
    EXPECT_EQ(-1, pack(root, archive)) << c.what;
    io_clear_faults();
    EXPECT_EQ("old archive", read_bytes(archive)) << c.what;
    EXPECT_TRUE(temporaries().empty()) << c.what;
  }
  // Without a fault the same pack replaces it.
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ(20u + 7u + 2 * kCopyBlockSize + 5 + 8, read_bytes(archive).size());
}

TEST_F(Writer, LeftoverTemporariesAreRemovedAndNothingElse) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\f", "data"));
  const std::string archive = path("a.ilhome");
  ASSERT_TRUE(write_bytes(archive, "old"));
  struct Case {
    const char* name;
    bool removed;
  };
  const Case cases[] = {
      // Left by a killed pack.
      {"~ilhome-0123abcd.tmp", true},
      {"~ilhome-ffffffff.tmp", true},
      // Not names a pack makes.
      {"~ilhome-ABCDEF01.tmp", false},
      {"~ilhome-123.tmp", false},
      {"~ilhome-0123abcd.tmp.txt", false},
      {"a.ilhome.ilhome-tmp", false},
  };
  for (const Case& c : cases) ASSERT_TRUE(write_bytes(path(c.name), std::string(100000, 'x')));
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ("IL10" + record("f", "data") + "abis", read_bytes(archive));
  for (const Case& c : cases) {
    EXPECT_EQ(!c.removed, std::filesystem::exists(dir_ / c.name)) << c.name;
  }
}

TEST_F(Writer, TemporaryNameIsShortSoTheLongestArchiveNamePacks) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\f", "data"));
  const std::string name = std::string(248, 'n') + ".ilhome";  // 255 bytes
  ASSERT_EQ(1, pack(root, path(name)));
  // Read through the standard library: the file seam's narrow names stop at
  // the system's short path limit on Windows.
  std::ifstream in(dir_ / name, std::ios::binary);
  const std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ("IL10" + record("f", "data") + "abis", stored);
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Writer, UnopenableFileGetsNoRecordButAProgressCall) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", "1"));
  ASSERT_TRUE(write_bytes(root + "\\b", "2"));
  const std::string archive = path("a.ilhome");
  io_fail_nth(IoFault::kOpen, 2);  // 1: the archive, 2: the file a
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ("IL10" + record("b", "2") + "abis", read_bytes(archive));
  EXPECT_EQ((std::vector<PackCall>{{"a", 1, 2}, {"b", 2, 2}}), calls_);
}

TEST_F(Writer, InputFailingHalfWayIsTakenBack) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", std::string(kCopyBlockSize + 10, 'a')));
  ASSERT_TRUE(write_bytes(root + "\\b", "2"));
  const std::string archive = path("a.ilhome");
  io_fail_nth(IoFault::kRead, 2);  // a: first block, then the failing read
  ASSERT_EQ(1, pack(root, archive));
  const std::string bytes = read_bytes(archive);
  const std::string expected = "IL10" + record("b", "2") + "abis";
  ASSERT_GE(bytes.size(), expected.size());
  EXPECT_EQ(expected, bytes.substr(0, expected.size()));
  EXPECT_EQ(2u, calls_.size());
}

// The data length written is what was stored, whatever the listing said.
TEST_F(Writer, DataLengthFollowsTheBytesStored) {
  struct Case {
    std::size_t actual;
    long long listed;
  };
  const Case cases[] = {
      {10, 5},                              // grew within one block
      {10, 20},                             // shrank within one block
      {0, 7},                               // emptied
      {3 * kCopyBlockSize + 1, 100},        // grew past the output buffer
      {3 * kCopyBlockSize + 1, 1LL << 31},  // shrank
      {kCopyBlockSize, kCopyBlockSize},     // exactly one block, as listed
      {2 * kCopyBlockSize, -1},             // the listing failed
  };
  for (const Case& c : cases) {
    std::string content(c.actual, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(write_bytes(path("in"), content));
    {
      File output = File::open(path("out"), OpenMode::kWrite);
      File input = File::open(path("in"), OpenMode::kRead);
      ArchiveOutput archive(output);
      ASSERT_TRUE(write_record(input, archive, "name", "", c.listed));
      ASSERT_TRUE(archive.write("abis", 4));
      ASSERT_TRUE(archive.flush());
    }
    EXPECT_EQ(record("name", content) + "abis", read_bytes(path("out")))
        << c.actual << " " << c.listed;
  }
}

TEST_F(Writer, FileOf4GiBOrMoreGetsNoRecord) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\huge", ""));
  ASSERT_TRUE(write_bytes(root + "\\small", "s"));
  std::error_code error;
  std::filesystem::resize_file(dir_ / "h" / "profile" / "huge", 1ULL << 32, error);
  if (error) GTEST_SKIP() << "no sparse 4 GiB file here: " << error.message();
  const std::string archive = path("a.ilhome");
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ("IL10" + record("small", "s") + "abis", read_bytes(archive));
  EXPECT_EQ((std::vector<PackCall>{{"huge", 1, 2}, {"small", 2, 2}}), calls_);
}

// A file that cannot be read keeps the record of the archive it replaces.
TEST_F(Writer, UnreadableFileKeepsTheOldRecord) {
  struct Case {
    const char* what;
    IoFault kind;
    long nth;
    std::string old_archive;
    std::string expected;  // records between magic and trailer
    std::size_t kept;
  };
  const std::string old_b = record("b", "old b");
  const std::string old_ini = record("ilvar6.ini", "p=<akar2>\\old");
  const std::string old_b_unchecked = test_util::unchecked_record("b", "old b");
  std::string old_b_damaged = old_b;
  old_b_damaged.back() = 'B';
  // Opens: 1 the new archive, 2 a, 3 b, 4 ilvar6.ini. Reads: 1 a, 2 b (each
  // read whole by its first read), 3 ilvar6.ini.
  const Case cases[] = {
      {"b does not open, old copy", IoFault::kOpen, 3, "IL10" + old_b + "abis",
       record("a", "new a") + old_b + record("ilvar6.ini", "x"), 1},
      {"b does not read, old copy", IoFault::kRead, 2, "IL10" + old_b + "abis",
       record("a", "new a") + old_b + record("ilvar6.ini", "x"), 1},
      {"settings do not read, old copy", IoFault::kRead, 3,
       "IL10" + record("zzz", "other") + old_ini + "abis",
       record("a", "new a") + record("b", "new b") + old_ini, 1},
      {"b does not open, no old copy", IoFault::kOpen, 3, "IL10" + record("c", "c") + "abis",
       record("a", "new a") + record("ilvar6.ini", "x"), 0},
      {"b does not open, no old archive", IoFault::kOpen, 3, "",
       record("a", "new a") + record("ilvar6.ini", "x"), 0},
      {"b does not open, old archive is no archive", IoFault::kOpen, 3, "not an archive",
       record("a", "new a") + record("ilvar6.ini", "x"), 0},
      // The data length runs past the end: the index stops before b.
      {"old archive cut short", IoFault::kOpen, 3, "IL10" + old_b.substr(0, old_b.size() - 1),
       record("a", "new a") + record("ilvar6.ini", "x"), 0},
      {"old record after junk and a damaged name length", IoFault::kOpen, 3,
       "IL10junk" + old_b + "file" + le32(0xFFFFFFF0u) + "abis",
       record("a", "new a") + old_b + record("ilvar6.ini", "x"), 1},
      // The earlier copy keeps its checksum field as it was: none, or one
      // that no longer matches, so that an unpack still finds the damage.
      {"old copy written before checksums", IoFault::kOpen, 3, "IL10" + old_b_unchecked + "abis",
       record("a", "new a") + old_b_unchecked + record("ilvar6.ini", "x"), 1},
      {"old copy damaged on the stick", IoFault::kOpen, 3, "IL10" + old_b_damaged + "abis",
       record("a", "new a") + old_b_damaged + record("ilvar6.ini", "x"), 1},
  };
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", "new a"));
  ASSERT_TRUE(write_bytes(root + "\\b", "new b"));
  ASSERT_TRUE(write_bytes(root + "\\ilvar6.ini", "x"));
  const std::string archive = path("a.ilhome");
  for (const Case& c : cases) {
    remove_file(archive);
    if (!c.old_archive.empty()) {
      ASSERT_TRUE(write_bytes(archive, c.old_archive));
    }
    io_fail_nth(c.kind, c.nth);
    PackReport report;
    const int result = kompres(root, archive, PackOptions{}, report);
    io_clear_faults();
    EXPECT_EQ(1, result) << c.what;
    EXPECT_EQ("IL10" + c.expected + "abis", read_bytes(archive)) << c.what;
    const std::string unread = c.kind == IoFault::kRead && c.nth == 3 ? "ilvar6.ini" : "b";
    EXPECT_EQ(std::vector<std::string>{unread}, report.unread) << c.what;
    EXPECT_EQ(c.kept, report.kept) << c.what;
  }
}

TEST_F(Writer, FileRemovedSinceTheWalkIsNoUnreadableFile) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", "a"));
  ASSERT_TRUE(write_bytes(root + "\\b", "b"));
  const std::string archive = path("a.ilhome");
  ASSERT_TRUE(write_bytes(archive, "IL10" + record("a", "old a") + "abis"));
  PackReport report;
  PackOptions options;
  options.progress = [&](const std::string& name, long, long) {
    if (name == "a") remove_file(root + "\\b");  // between the walk and its copy
    return 0;
  };
  ASSERT_EQ(1, kompres(root, archive, options, report));
  EXPECT_EQ("IL10" + record("a", "a") + "abis", read_bytes(archive));
  EXPECT_TRUE(report.unread.empty());
}

TEST_F(Writer, OnlyARealDirectoryIsPacked) {
  const std::string archive = path("keep.ilhome");
  const std::string stored = "IL10" + record("f", "stored") + "abis";
  ASSERT_TRUE(write_bytes(path("plain"), "a file where the profile was"));
  for (const std::string& root : {path("plain"), path("plain\\"), path("missing")}) {
    ASSERT_TRUE(write_bytes(archive, stored));
    EXPECT_EQ(-1, pack(root, archive)) << root;
    EXPECT_EQ(stored, read_bytes(archive)) << root;
    EXPECT_TRUE(temporaries().empty()) << root;
  }
}

TEST_F(Writer, NothingStoredNeverReplacesAnArchiveWithRecords) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\only", "x"));
  const std::string archive = path("a.ilhome");
  const std::string stored = "IL10" + record("f", "stored") + "abis";
  ASSERT_TRUE(write_bytes(archive, stored));
  // The one file cannot be read and the old archive has no copy of it.
  io_fail_nth(IoFault::kOpen, 2);
  EXPECT_EQ(-1, pack(root, archive));
  io_clear_faults();
  EXPECT_EQ(stored, read_bytes(archive));
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(Writer, SkippedDirectoryAndAllBelowItStayOut) {
  const std::string root = path("h\\profile");
  for (const char* name : {"a", "store\\x.ilhome", "store\\deep\\y", "storey\\z"}) {
    ASSERT_TRUE(write_bytes(root + "\\" + name, name));
  }
  PackOptions options;
  options.skip_directory = [&](const std::string& path) { return path == root + "\\store"; };
  PackReport report;
  ASSERT_EQ(1, kompres(root, path("out.ilhome"), options, report));
  EXPECT_EQ("IL10" + record("a", "a") + record("storey/z", "storey\\z") + "abis",
            read_bytes(path("out.ilhome")));
}

// A pack into a new file never takes the place of a file of that name,
// whether it was there before the pack or came while the pack ran.
TEST_F(Writer, NewArchiveNeverReplacesAFileOfItsName) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", "profile"));
  const std::string fresh = "IL10" + record("a", "profile") + "abis";
  struct Case {
    const char* what;
    bool there_before;
    bool comes_during;
  };
  const Case cases[] = {
      {"free name", false, false},
      {"name taken before", true, false},
      {"name taken during the pack", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string archive = path("new.ilhome");
    remove_file(archive);
    if (c.there_before) {
      ASSERT_TRUE(write_bytes(archive, "other"));
    }
    PackOptions options;
    options.replace_existing = false;
    if (c.comes_during) {
      options.progress = [&](const std::string&, long, long) {
        write_bytes(archive, "other");
        return 0;
      };
    }
    PackReport report;
    const bool taken = c.there_before || c.comes_during;
    EXPECT_EQ(kompres(root, archive, options, report), taken ? -1 : 1);
    EXPECT_EQ(read_bytes(archive), taken ? "other" : fresh);
    EXPECT_TRUE(temporaries().empty());
  }
}

TEST_F(Writer, ArchiveGoesToTheDiskInStepsAndAFailedStepKeepsTheOldArchive) {
  const std::string root = path("h\\profile");
  const std::size_t half_step = static_cast<std::size_t>(kSyncStep / 2) + 1;
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(write_bytes(root + "\\" + name, std::string(half_step, name[0])));
  }
  const std::string archive = path("keep.ilhome");
  ASSERT_TRUE(write_bytes(archive, "old archive"));
  // The first flush to the disk comes after b, before the end of the pack.
  io_fail_nth(IoFault::kSync, 1);
  EXPECT_EQ(-1, pack(root, archive));
  io_clear_faults();
  EXPECT_EQ("old archive", read_bytes(archive));
  EXPECT_EQ(1u, calls_.size());  // stopped once b was written, before it was reported
  EXPECT_TRUE(temporaries().empty());
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ(8 + 3 * (20 + 1 + half_step), read_bytes(archive).size());
}

}  // namespace

namespace {

// Every record's checksum field set to 0: the archive as a reader that
// ignores the field sees it. Each field is checked against its data first.
std::string without_checksums(std::string archive) {
  std::size_t at = kTagSize;
  while (at + kTagSize <= archive.size() && archive.compare(at, kTagSize, "file") == 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
    const std::size_t name_length = get_u32le(bytes + at + kTagSize);
    const std::size_t length_at = at + record_data_length_offset(name_length);
    const std::size_t data_length = get_u32le(bytes + length_at);
    const std::size_t checksum_at = at + record_checksum_offset(name_length);
    const std::size_t data_at = at + kTagSize + kNameLengthSize + name_length + kAfterNameSize;
    EXPECT_EQ(test_util::crc32c_bitwise(archive.substr(data_at, data_length)),
              get_u32le(bytes + checksum_at))
        << archive.substr(at + kTagSize + kNameLengthSize, name_length);
    archive.replace(checksum_at, kChecksumSize, std::string(kChecksumSize, '\0'));
    at = data_at + data_length;
  }
  return archive;
}

}  // namespace

// A reader written before records carried checksums reads and ignores the
// field: what it sees of a new archive is, byte for byte, the archive that
// the writer made before.
TEST_F(Writer, OlderReadersSeeTheOlderArchive) {
  const std::string home = path("P");
  const std::string root = home + "\\profile";
  std::string large(3 * kCopyBlockSize + 5, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 + i / 251);
  ASSERT_TRUE(write_bytes(root + "\\ilvar6.ini", "p=" + home + "\\profile"));
  ASSERT_TRUE(write_bytes(root + "\\mail\\a.txt", "hi"));
  ASSERT_TRUE(write_bytes(root + "\\mail\\empty", ""));
  ASSERT_TRUE(write_bytes(root + "\\places.sqlite", large));
  const std::string archive = path("x.ilhome");
  ASSERT_EQ(1, pack(root, archive));
  EXPECT_EQ(test_util::make_unchecked_archive({{"ilvar6.ini", "p=<akar2>\\profile"},
                                               {"mail/a.txt", "hi"},
                                               {"mail/empty", ""},
                                               {"places.sqlite", large}}),
            without_checksums(read_bytes(archive)));
}

// Permission bits are not the profile: a file system that holds none (a
// stick's FAT or exFAT) refuses them, and the pack still stores every byte.
TEST_F(Writer, RefusedPermissionsNeverFailThePack) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\prefs.js", "user_pref(1);"));
  ASSERT_TRUE(write_bytes(root + "\\mail\\inbox", std::string(kCopyBlockSize + 3, 'm')));
  const std::string expected_archive = path("expected.ilhome");
  ASSERT_EQ(1, pack(root, expected_archive));
  const std::string expected = read_bytes(expected_archive);
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "replacing an archive" : "a new archive");
    const std::string archive = path("stick.ilhome");
    if (existing) {
      ASSERT_TRUE(write_bytes(archive, "old archive"));
    }
    io_fail_nth(IoFault::kPermissions, 1);
    PackReport report;
    EXPECT_EQ(1, kompres(root, archive, PackOptions{}, report));
    io_clear_faults();
    EXPECT_EQ(expected, read_bytes(archive));
    EXPECT_FALSE(report.too_large);
    EXPECT_TRUE(temporaries().empty());
    std::filesystem::remove(dir_ / "stick.ilhome");
  }
}

// A file system whose files end below the archive's size (FAT32 at 4 GiB)
// fails the pack, keeps the old archive, and is named as the reason; any
// other failed write is not.
TEST_F(Writer, ArchiveLargerThanTheFileSystemHoldsFailsAndSaysWhy) {
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\big.bin", std::string(2 * kCopyBlockSize + 5, 'b')));
  const std::string reference = path("reference.ilhome");
  ASSERT_EQ(1, pack(root, reference));
  const auto full_size = static_cast<long long>(read_bytes(reference).size());
  struct Case {
    const char* what;
    long long limit;   // largest file; negative: none
    long write_fault;  // n-th write fails as on a full disk; 0: none
    int result;
    bool too_large;
  };
  const Case cases[] = {
      {"ends inside the first block", 100, 0, -1, true},
      {"ends one byte short", full_size - 1, 0, -1, true},
      {"holds the archive exactly", full_size, 0, 1, false},
      {"full disk", -1, 2, -1, false},
  };
  const std::string archive = path("stick.ilhome");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(write_bytes(archive, "old archive"));
    io_limit_file_size(c.limit);
    if (c.write_fault > 0) io_fail_nth(IoFault::kWrite, c.write_fault);
    PackReport report;
    EXPECT_EQ(c.result, kompres(root, archive, PackOptions{}, report));
    io_clear_faults();
    EXPECT_EQ(c.too_large, report.too_large);
    EXPECT_EQ(c.result == 1 ? read_bytes(reference) : "old archive", read_bytes(archive));
    EXPECT_TRUE(temporaries().empty());
  }
}

// The replaced archive is read for records to keep unless the caller knows
// that each of its records is a file of the profile; that knowledge holds
// only for the archive of the size noted. An unreadable file's earlier copy
// is kept whatever the note says, wherever the file comes in the walk.
TEST_F(Writer, NoteOfPlacedRecordsSparesOnlyTheReadOfThatArchive) {
  const std::string held = std::string(256, 'n');  // a component no system allows
  const std::string old_a = record("a", "old a");
  const std::string old_z = record("z", "old z");
  const std::string old_held = record(held, "held back");
  const std::string old_archive = "IL10" + old_a + old_held + old_z + "abis";
  const long long old_size = static_cast<long long>(old_archive.size());
  struct Case {
    const char* what;
    long long placed;  // PackOptions::placed_archive_size
    long open_fault;   // opens: 1 the new archive, 2 a, 3 m, 4 z; 0 none
    std::string expected;
    std::size_t carried;
  };
  const std::string new_a = record("a", "new a");
  const std::string new_m = record("m", "new m");
  const std::string new_z = record("z", "new z");
  const Case cases[] = {
      {"no note", -1, 0, new_a + new_m + new_z + old_held, 1},
      {"note for this archive", old_size, 0, new_a + new_m + new_z, 0},
      {"note for an archive since replaced", old_size + 1, 0, new_a + new_m + new_z + old_held, 1},
      {"note for an empty archive", 0, 0, new_a + new_m + new_z + old_held, 1},
      {"note, first file unreadable", old_size, 2, old_a + new_m + new_z, 0},
      {"note, last file unreadable", old_size, 4, new_a + new_m + old_z, 0},
      {"no note, last file unreadable", -1, 4, new_a + new_m + old_z + old_held, 1},
  };
  const std::string root = path("h\\profile");
  ASSERT_TRUE(write_bytes(root + "\\a", "new a"));
  ASSERT_TRUE(write_bytes(root + "\\m", "new m"));
  ASSERT_TRUE(write_bytes(root + "\\z", "new z"));
  const std::string archive = path("a.ilhome");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(write_bytes(archive, old_archive));
    if (c.open_fault > 0) io_fail_nth(IoFault::kOpen, c.open_fault);
    PackOptions options;
    options.placed_archive_size = c.placed;
    PackReport report;
    EXPECT_EQ(1, kompres(root, archive, options, report));
    io_clear_faults();
    EXPECT_EQ("IL10" + c.expected + "abis", read_bytes(archive));
    EXPECT_EQ(c.carried, report.carried);
    EXPECT_EQ(c.open_fault > 0 ? 1u : 0u, report.kept);
  }
}
