// The unpack and pack runs: the in-use marker, the progress they show and the
// "Error" messages, and what is left behind after each failure.
#include <algorithm>

#include "support/display_path.h"
#include "support/text.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

// A profile of two files: ilvar6.ini naming the home through the placeholder,
// and mail/a.txt.
std::string settings_and_mail_archive() {
  return make_archive({{"ilvar6.ini", "p=<akar2>\\profile"}, {"mail/a.txt", "hi"}});
}

TEST_F(ProgramTest, UnpackOfANewNameWritesOnlyTheMarker) {
  startWith("work");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "work.ilhome");
  EXPECT_EQ(fs::file_size(arch(kMarkerName)), 11u);
  EXPECT_EQ(texts(ids().action), (std::vector<std::string>{"Preparing your dinner..."}));
  EXPECT_TRUE(g_process.status_shown_at_exit);
  EXPECT_FALSE(fs::exists(profile()));
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(program().archive_size, 1);
}

TEST_F(ProgramTest, UnpackShowsEachFileWithItsPercentage) {
  const std::string bytes = settings_and_mail_archive();
  ASSERT_EQ(bytes.size(), 87u);
  write_bytes(arch(kDefaultArchive), bytes);
  write_bytes(arch(kMarkerName), "an older and longer name.ilhome");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "default.ilhome");  // emptied and rewritten
  EXPECT_EQ(program().archive_size, 87);
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"ilvar6.ini", shown("mail/a.txt")}));
  EXPECT_EQ(texts(ids().percent), (std::vector<std::string>{"39%", "93%"}));
  EXPECT_EQ(read_bytes(profile() / "ilvar6.ini"), "p=" + home_ + "\\profile");
  EXPECT_EQ(read_bytes(profile() / "mail" / "a.txt"), "hi");
  EXPECT_TRUE(face_->message_boxes.empty());
}

TEST_F(ProgramTest, EmptyArchiveIsNotUnpacked) {
  write_bytes(arch(kDefaultArchive), "");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_FALSE(fs::exists(profile()));
  EXPECT_TRUE(face_->message_boxes.empty());
}

struct UnpackFailure {
  const char* what;
  IoFault fault;
  long nth;
  bool cannot_write_marker;
  bool cannot_unpack;
  // An archive that cannot be read at all sets up no profile.
  int exit_code;
};

void PrintTo(const UnpackFailure& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnpackFailures : public ProgramTest, public ::testing::WithParamInterface<UnpackFailure> {};

TEST_P(UnpackFailures, AreReportedAndLeaveNoMarker) {
  const UnpackFailure& r = GetParam();
  write_bytes(arch(kDefaultArchive), settings_and_mail_archive());
  io_fail_nth(r.fault, r.nth);
  EXPECT_EQ(run("ekstrak"), r.exit_code);
  io_clear_faults();
  std::vector<test::MessageBoxShown> want;
  if (r.cannot_write_marker) {
    want.push_back(
        {"Cannot write to " + arch_ + "\n\nIlvar settings will not be saved." + reason_of(r.fault),
         "Error", 0});
  }
  if (r.cannot_unpack) {
    want.push_back({"Failed to set up profile.\n\nProfile dir = " + home_ + "\nProfile file = " +
                        (fs::path(arch_) / kDefaultArchive).string() + reason_of(r.fault),
                    "Error", 0});
  }
  EXPECT_EQ(face_->message_boxes, want);
  // No marker is left that names an archive the profile was not taken
  // from, or a name cut short.
  EXPECT_FALSE(markerExists());
  EXPECT_FALSE(fs::exists(arch(kSessionName)));
  // A marker that cannot be written does not stop the unpacking.
  EXPECT_EQ(fs::exists(profile() / "mail" / "a.txt"), !r.cannot_unpack);
}

// The run opens the marker first, then makes the empty file of the check
// that a renamed folder keeps its content, then opens the archive; it writes
// the archive's two files, the record of the swap before and after it (with
// its note of the archive's size), the token beside the marker, then the
// name into the marker.
const UnpackFailure kUnpackFailures[] = {
    // A marker that cannot be written means a session that can never be
    // saved: no browser is to start on it.
    {"marker cannot be created", IoFault::kOpen, 1, true, false, kExitNoProfile},
    {"token beside the marker cut short", IoFault::kWrite, 5, true, false, kExitNoProfile},
    {"marker cut short", IoFault::kWrite, 6, true, false, kExitNoProfile},
    {"archive cannot be opened", IoFault::kOpen, 3, false, true, kExitNoProfile},
};
INSTANTIATE_TEST_SUITE_P(Faults, UnpackFailures, ::testing::ValuesIn(kUnpackFailures),
                         test_util::NameByWhat());

TEST_F(ProgramTest, MarkerThatCannotBeRewrittenDoesNotSendTheProfileToTheOlderArchive) {
  // An older marker from an unpack that was never packed names old.ilhome.
  const std::string old_archive = make_archive({{"old.txt", "only copy"}});
  write_bytes(arch("old.ilhome"), old_archive);
  write_bytes(arch(kMarkerName), "old.ilhome");
  write_bytes(arch(kDefaultArchive), settings_and_mail_archive());
  io_fail_nth(IoFault::kOpen, 1);  // the marker
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  io_clear_faults();
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].text, "Cannot write to " + arch_ +
                                              "\n\nIlvar settings will not be saved." +
                                              reason_of(IoFault::kOpen));
  EXPECT_TRUE(fs::exists(profile() / "mail" / "a.txt"));
  // Without a marker the next pack saves nothing, so the profile unpacked
  // from default.ilhome never goes into old.ilhome.
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(read_bytes(arch("old.ilhome")), old_archive);
}

struct UnfinishedUnpack {
  const char* what;
  // The archive's bytes, made from those of the whole archive.
  std::string (*archive)(const std::string& whole);
  IoFault fault;
  long nth;  // 0: no fault
};

void PrintTo(const UnfinishedUnpack& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnfinishedUnpacks : public ProgramTest,
                          public ::testing::WithParamInterface<UnfinishedUnpack> {};

// An unpack that did not finish says so and leaves no marker naming the
// archive, so the next pack run leaves the archive as it is: the profile
// directory holds only a part of it.
TEST_P(UnfinishedUnpacks, NeverLeadToAPack) {
  const UnfinishedUnpack& r = GetParam();
  const std::string big(300 * 1024, 'b');  // two read blocks
  const std::string archive = r.archive(
      make_archive({{"big.bin", big}, {"ilvar6.ini", "p=<akar2>"}, {"mail/a.txt", "hi"}}));
  write_bytes(arch(kDefaultArchive), archive);
  write_bytes(arch(kMarkerName), "default.ilhome");  // left by an older unpack
  if (r.nth > 0) io_fail_nth(r.fault, r.nth);
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  io_clear_faults();
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {"Failed to set up profile.\n\nProfile dir = " + home_ +
                     "\nProfile file = " + (fs::path(arch_) / kDefaultArchive).string() +
                     // A damaged archive is no failure of the system's.
                     (r.nth > 0 ? reason_of(r.fault) : std::string()),
                 "Error", 0}}));
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), archive);
}

std::string whole_archive(const std::string& whole) { return whole; }

// Opens: the marker, the archive, then each file. Writes: big.bin in two
// blocks, then one each. Closes: each file, then the archive. Reads: two.
const UnfinishedUnpack kUnfinishedUnpacks[] = {
    {"archive cut short", [](const std::string& w) { return w.substr(0, w.size() / 2); },
     IoFault::kOpen, 0},
    {"archive without its trailer", [](const std::string& w) { return w.substr(0, w.size() - 4); },
     IoFault::kOpen, 0},
    {"damaged archive", [](const std::string& w) { return w.substr(0, 4) + "JUNK" + w.substr(4); },
     IoFault::kOpen, 0},
    {"not an archive",
     [](const std::string&) { return std::string("PK\x03\x04 some other kind of file"); },
     IoFault::kOpen, 0},
    {"disk full", whole_archive, IoFault::kWrite, 2},
    {"file cannot be created", whole_archive, IoFault::kOpen, 4},
    {"file cannot be closed", whole_archive, IoFault::kClose, 3},
    {"read error in the middle", whole_archive, IoFault::kRead, 2},
};
INSTANTIATE_TEST_SUITE_P(Causes, UnfinishedUnpacks, ::testing::ValuesIn(kUnfinishedUnpacks),
                         test_util::NameByWhat());

// Records refused as unsafe are no failure: the unpack is complete and the
// marker names the archive. Records this computer cannot hold (a component
// or a whole path too long under this home) are no failure either: a
// warning names them, and the next pack keeps them as they were stored, so
// that a computer that can hold them gets them back. Unsafe ones are
// neither named nor kept.
TEST_F(ProgramTest, RecordsThisComputerCannotHoldAreNamedAndKeptByTheNextPack) {
  std::vector<std::pair<std::string, std::string>> records = {{"../evil", "x"}};
  std::vector<std::pair<std::string, std::string>> kept;
  // Eleven names with a component one byte longer than any system allows.
  for (char c = 'a'; c <= 'k'; ++c) kept.emplace_back(std::string(256, c), std::string(1, c));
  // Components that each fit, on a path longer than any system allows.
  std::string deep;
  for (int i = 0; i < 140; ++i) deep += std::string(250, 'd') + "/";
  kept.emplace_back(deep + "f.txt", "deep");
  records.insert(records.end(), kept.begin(), kept.end());
  records.emplace_back("ok.txt", "ok");
  write_bytes(arch(kDefaultArchive), make_archive(records));

  EXPECT_EQ(run("ekstrak"), kExitDone);
  std::string names;
  for (std::size_t i = 0; i < 10; ++i) names += "\n" + kept[i].first;
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {"Some files of the profile cannot be put on this computer:\n" + names +
                     "\nand 2 more\n\nThey stay in the profile file and are kept when the "
                     "profile is saved again.",
                 "Warning", 0}}));
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "ok.txt"), "ok");
  EXPECT_FALSE(fs::exists(root_ / "evil"));

  write_bytes(profile() / "new.txt", "new");
  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  std::vector<std::pair<std::string, std::string>> expected = {{"new.txt", "new"},
                                                               {"ok.txt", "ok"}};
  expected.insert(expected.end(), kept.begin(), kept.end());
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), make_archive(expected));
  EXPECT_FALSE(markerExists());
}

// The archive's size is taken with all its bits: one of exactly 4 GiB is
// not an empty archive (a new profile) that the next pack may replace.
TEST_F(ProgramTest, ArchiveOfAMultipleOf4GiBIsNotTakenAsEmpty) {
  write_bytes(arch(kDefaultArchive), "");
  std::error_code error;
  fs::resize_file(arch(kDefaultArchive), 0x100000000ULL, error);
  if (error) GTEST_SKIP() << "no sparse 4 GiB file here: " << error.message();
  write_bytes(profile() / "small.txt", "s");
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  EXPECT_EQ(program().archive_size, 0x100000000LL);
  ASSERT_EQ(face_->message_boxes.size(), 1u);  // all zero bytes: not an archive
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(fs::file_size(arch(kDefaultArchive)), 0x100000000ULL);
}

// Whatever the reader reports, the percentage shown never passes 100.
TEST_F(ProgramTest, UnpackPercentageNeverExceeds100) {
  program_setup({"ilhome"});
  program().archive_size = 1000;
  struct Row {
    long long position;
    const char* shown;
  };
  const Row rows[] = {{0, "0%"}, {999, "99%"}, {1000, "100%"}, {1001, "100%"}, {5000, "100%"}};
  for (const Row& r : rows) {
    cb_dekompres("f", r.position);
    EXPECT_EQ(texts(ids().percent).back(), r.shown) << r.position;
  }
}

TEST_F(ProgramTest, PackOfFourFilesReportsEachQuarter) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(profile() / "b.txt", "b");
  write_bytes(profile() / "sub" / "c.txt", "c");
  write_bytes(profile() / "z.txt", "z");
  write_bytes(arch(kMarkerName), "work.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(texts(ids().action), (std::vector<std::string>{"Keeping your memories..."}));
  EXPECT_EQ(texts(ids().file),
            (std::vector<std::string>{"a.txt", "b.txt", shown("sub/c.txt"), "z.txt"}));
  EXPECT_EQ(texts(ids().percent), (std::vector<std::string>{"25%", "50%", "75%", "100%"}));
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(read_bytes(arch("work.ilhome")),
            make_archive({{"a.txt", "a"}, {"b.txt", "b"}, {"sub/c.txt", "c"}, {"z.txt", "z"}}));
  EXPECT_TRUE(face_->message_boxes.empty());
}

TEST_F(ProgramTest, PackThenUnpackElsewhereRewritesTheSettingsPaths) {
  write_bytes(profile() / "ilvar6.ini", "dir=" + home_ + "\\profile\\x\n");
  write_bytes(arch(kMarkerName), "round.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  fs::rename(arch("round.ilhome"), arch(kDefaultArchive));
  const std::string second = (root_ / "second").string();
  EXPECT_EQ(runArgs({"ekstrak", second, arch_}), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "second" / "profile" / "ilvar6.ini"),
            "dir=" + second + "\\profile\\x\n");
}

TEST_F(ProgramTest, PackWithoutMarkerDoesNothing) {
  write_bytes(profile() / "a.txt", "a");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_FALSE(g_process.status_shown_at_exit);
  EXPECT_TRUE(texts(ids().action).empty());
  EXPECT_TRUE(face_->message_boxes.empty());
  // Nothing but the lock file that every start takes.
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(root_ / "arch")) {
    names.push_back(item.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{kLockName});
}

TEST_F(ProgramTest, PackFailureIsReportedAndTheMarkerKept) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "");  // an unpack that did not finish
  EXPECT_EQ(run("arsip"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0],
            (test::MessageBoxShown{
                "Failed to save profile.\n\nProfile dir = " + home_ + "\nProfile file = " + arch_,
                "Error", 0}));
  // Left for the user to see, and for a later pack to try again.
  EXPECT_TRUE(markerExists());
  EXPECT_EQ(marker(), "");
}

// An archive the stick's file system cannot hold (FAT32 ends files below
// 4 GiB) is a failed pack like any other, and the message says why, as no
// retry on that stick can help.
TEST_F(ProgramTest, ArchiveTooLargeForTheStickIsReportedWithTheReason) {
  const std::string stored = make_archive({{"saved.txt", "the only copy"}});
  write_bytes(arch("work.ilhome"), stored);
  write_bytes(arch(kMarkerName), "work.ilhome");
  write_bytes(profile() / "a.txt", std::string(4096, 'a'));
  io_limit_file_size(1000);
  EXPECT_EQ(run("arsipbakar"), kExitDone);
  io_clear_faults();
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {"Failed to save profile.\n\nProfile dir = " + home_ +
                     "\nProfile file = " + arch("work.ilhome").string() + "\n\n" + kTooLargeReason,
                 "Error", 0},
                // Nobody answers Yes to wiping the unsaved session.
                {"The last session was not saved: some of its files may exist nowhere but "
                 "here.\n\nWipe it anyway?",
                 "Warning", tk::MB_YESNO_ | tk::MB_DEFBUTTON2_}}));
  EXPECT_EQ(read_bytes(arch("work.ilhome")), stored);
  EXPECT_EQ(marker(), "work.ilhome");
  // Not burned: the profile is the only copy of this session.
  EXPECT_EQ(read_bytes(profile() / "a.txt"), std::string(4096, 'a'));
}

// What a failed pack must leave: the message naming the archive path as
// formed, the stored archive and the profile as they were, the marker kept.
class PackRefusal : public ProgramTest {
 protected:
  const std::string stored = make_archive({{"saved.txt", "the only copy"}});
  void prepare(const std::string& marker_bytes) {
    write_bytes(profile() / "a.txt", "a");
    write_bytes(arch(kDefaultArchive), stored);
    write_bytes(arch(kMarkerName), marker_bytes);
  }
  void expectRefused(const std::string& archive_path, const std::string& marker_bytes,
                     const std::string& what) {
    ASSERT_EQ(face_->message_boxes.size(), 1u) << what;
    EXPECT_EQ(face_->message_boxes[0],
              (test::MessageBoxShown{"Failed to save profile.\n\nProfile dir = " + home_ +
                                         "\nProfile file = " + display_path(archive_path),
                                     "Error", 0}))
        << what;
    EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored) << what;
    EXPECT_EQ(read_bytes(arch(kMarkerName)), marker_bytes) << what;
    EXPECT_EQ(archiveDirNames(),
              (std::vector<std::string>{kDefaultArchive, kMarkerName, kLockName}))
        << what;
  }
  std::vector<std::string> archiveDirNames() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(root_ / "arch")) {
      names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      // The fixed order of the expectations: archive, marker, lock.
      const auto rank = [](const std::string& n) {
        return n == kDefaultArchive ? 0 : n == kMarkerName ? 1 : n == kLockName ? 2 : 3;
      };
      return rank(a) != rank(b) ? rank(a) < rank(b) : a < b;
    });
    return names;
  }
};

struct RefusedMarker {
  const char* what;
  std::string content;
  bool absolute = false;  // the content is a path outside the archive directory
};

void PrintTo(const RefusedMarker& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class RefusedMarkers : public PackRefusal, public ::testing::WithParamInterface<RefusedMarker> {};

TEST_P(RefusedMarkers, AreNoBareFileName) {
  const RefusedMarker& r = GetParam();
  const std::string outside = (root_ / "outside.ilhome").string();
  const std::string content = r.absolute ? outside : r.content;
  prepare(content);
  EXPECT_EQ(run("arsip"), kExitDone);
  expectRefused(join_path(arch_, content), content, r.what);
  EXPECT_FALSE(fs::exists(root_ / "x.ilhome"));
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_EQ(read_bytes(profile() / "a.txt"), "a");
}

const RefusedMarker kRefusedMarkers[] = {
    {"empty: an unpack that did not finish", ""},
    {"the real name and a NUL byte", std::string("default.ilhome\0", 15)},
    {"NUL bytes only", std::string(11, '\0')},
    {"parent with a slash", "../x.ilhome"},
    {"parent with a backslash", "..\\x.ilhome"},
    {"a subdirectory", "sub/default.ilhome"},
    {"an absolute path", "", true},
    {"dot", "."},
    {"dot dot", ".."},
    {"far too long for a name", std::string(kMaxMarkerBytes + 1, 'n')},
    {"the marker itself", "ILHOME.inuse"},
    {"the lock file", kLockName},
    {"a temporary's name", "~ilhome-0123abcd.tmp"},
    {"the real name and a line end", "default.ilhome\n"},
    {"the real name and a carriage return", "default.ilhome\r"},
    {"a tab inside the name", "default\t.ilhome"},
};
INSTANTIATE_TEST_SUITE_P(Markers, RefusedMarkers, ::testing::ValuesIn(kRefusedMarkers),
                         test_util::NameByWhat());

struct UnusableProfile {
  const char* what;
  bool plain_file;
};

void PrintTo(const UnusableProfile& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnusableProfiles : public PackRefusal,
                         public ::testing::WithParamInterface<UnusableProfile> {};

TEST_P(UnusableProfiles, AreNotPacked) {
  const UnusableProfile& r = GetParam();
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  if (r.plain_file) write_bytes(profile(), "not a directory");
  EXPECT_EQ(run("arsip"), kExitDone);
  expectRefused(arch_ + "\\" + kDefaultArchive, kDefaultArchive, r.what);
}

const UnusableProfile kUnusableProfiles[] = {{"missing (an unmounted drive)", false},
                                             {"a plain file", true}};
INSTANTIATE_TEST_SUITE_P(NoDirectory, UnusableProfiles, ::testing::ValuesIn(kUnusableProfiles),
                         test_util::NameByWhat());

struct FilelessProfile {
  const char* what;
  const char* only_file;  // nullptr: none at all
};

void PrintTo(const FilelessProfile& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class FilelessProfiles : public PackRefusal,
                         public ::testing::WithParamInterface<FilelessProfile> {};

TEST_P(FilelessProfiles, NeverReplaceAnArchiveWithFiles) {
  const FilelessProfile& r = GetParam();
  fs::create_directories(profile() / "empty" / "deeper");
  if (r.only_file != nullptr) write_bytes(profile() / r.only_file, "cache");
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  EXPECT_EQ(run("arsip"), kExitDone);
  expectRefused(arch_ + "\\" + kDefaultArchive, kDefaultArchive, r.what);
}

const FilelessProfile kFilelessProfiles[] = {{"empty directories only", nullptr},
                                             {"only what the pack leaves out", "cache4/x.bin"}};
INSTANTIATE_TEST_SUITE_P(Fileless, FilelessProfiles, ::testing::ValuesIn(kFilelessProfiles),
                         test_util::NameByWhat());

TEST_F(ProgramTest, EmptyProfileStillReplacesAnArchiveWithoutFiles) {
  fs::create_directories(profile());
  struct Row {
    const char* what;
    const char* archive;  // nullptr: none yet
  };
  const Row rows[] = {{"no archive yet", nullptr}, {"an archive of no record", "IL10abis"}};
  for (const Row& r : rows) {
    if (r.archive != nullptr) write_bytes(arch("e.ilhome"), r.archive);
    write_bytes(arch(kMarkerName), "e.ilhome");
    EXPECT_EQ(run("arsip"), kExitDone) << r.what;
    EXPECT_TRUE(face_->message_boxes.empty()) << r.what;
    EXPECT_EQ(read_bytes(arch("e.ilhome")), "IL10abis") << r.what;
    EXPECT_FALSE(markerExists()) << r.what;
  }
}

TEST_F(ProgramTest, LongestArchiveNamesPack) {
  for (const std::size_t length : {245u, 250u, 255u}) {
    const std::string name = std::string(length - 7, 'n') + ".ilhome";
    write_bytes(profile() / "a.txt", "a");
    write_bytes(arch(kMarkerName), name);
    EXPECT_EQ(run("arsip"), kExitDone) << length;
    EXPECT_TRUE(face_->message_boxes.empty()) << length;
    EXPECT_EQ(read_bytes(arch(name)), make_archive({{"a.txt", "a"}})) << length;
    EXPECT_FALSE(markerExists()) << length;
  }
}

TEST_F(ProgramTest, ArchiveDirectoryInsideTheProfileIsNotPackedIntoItself) {
  const fs::path store = profile() / "store";
  write_bytes(profile() / "a.txt", "a");
  write_bytes(profile() / "storey" / "b.txt", "b");  // a name that merely begins alike
  write_bytes(store / "older.ilhome", make_archive({{"x", "older profile"}}));
  write_bytes(store / kMarkerName, "p.ilhome");
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) write_bytes(store / kMarkerName, "p.ilhome");  // again, now with p.ilhome there
    EXPECT_EQ(runArgs({"arsip", home_, store.string()}), kExitDone) << pass;
    EXPECT_TRUE(face_->message_boxes.empty()) << pass;
    EXPECT_EQ(read_bytes(store / "p.ilhome"), make_archive({{"a.txt", "a"}, {"storey/b.txt", "b"}}))
        << pass;
  }
}

TEST_F(ProgramTest, UnreadableFileKeepsItsEarlierCopyAndIsNamedInAWarning) {
  write_bytes(profile() / "a.txt", "new a");
  write_bytes(profile() / "b.txt", "new b");
  write_bytes(profile() / "c.txt", "new c");
  write_bytes(arch("w.ilhome"), make_archive({{"b.txt", "old b"}, {"gone.txt", "old gone"}}));
  write_bytes(arch(kMarkerName), "w.ilhome");
  // Opens: 1 the marker, 2 the new archive, 3 a.txt, 4 b.txt.
  io_fail_nth(IoFault::kOpen, 4);
  EXPECT_EQ(run("arsip"), kExitDone);
  io_clear_faults();
  EXPECT_EQ(read_bytes(arch("w.ilhome")),
            make_archive({{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}));
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0],
            (test::MessageBoxShown{
                "Some files of the profile could not be read and were not saved:\n\nb.txt\n\n"
                "Where the profile file held an earlier copy of one of these files, that copy "
                "was kept.",
                "Warning", 0}));
  EXPECT_FALSE(markerExists());
}

TEST_F(ProgramTest, FailedPackIsNeverFollowedByTheBurn) {
  struct Row {
    const char* what;
    bool marker_refused;
  };
  const Row rows[] = {{"marker refused", true}, {"profile missing", false}};
  for (const Row& r : rows) {
    fresh();
    write_bytes(root_ / "home" / "history.txt", "private");
    if (r.marker_refused) write_bytes(profile() / "a.txt", "a");
    write_bytes(arch(kMarkerName), r.marker_refused ? std::string("v.ilhome\0", 9) : "v.ilhome");
    EXPECT_EQ(run("arsipbakar"), kExitDone) << r.what;
    // The failure, then the question whether to wipe the unsaved session,
    // which nobody answered Yes.
    ASSERT_EQ(face_->message_boxes.size(), 2u) << r.what;
    EXPECT_EQ(face_->message_boxes[0].text.rfind("Failed to save profile.", 0), 0u) << r.what;
    EXPECT_EQ(face_->message_boxes[1].style, tk::MB_YESNO_ | tk::MB_DEFBUTTON2_) << r.what;
    EXPECT_EQ(read_bytes(root_ / "home" / "history.txt"), "private") << r.what;
  }
  // A pack that saved is followed by the burn as before.
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "v.ilhome");
  EXPECT_EQ(run("arsipbakar"), kExitDone);
  EXPECT_EQ(read_bytes(root_ / "home" / "history.txt"), std::string(4096, '\0'));
}

class LockTest : public ProgramTest {
 protected:
  std::string lockPath() const { return join_path(arch_, kLockName); }
};

struct LockedVerb {
  const char* verb;
  int exit_code;
  // The lock the other start holds: the home directory's, not the archive
  // directory's (another stick's start in the same home).
  bool home;
};

void PrintTo(const LockedVerb& row, std::ostream* out) {
  *out << '"' << row.verb << (row.home ? " home" : "") << '"';
}

class LockedVerbs : public LockTest, public ::testing::WithParamInterface<LockedVerb> {};

TEST_P(LockedVerbs, SecondStartWaitsThenGivesUpTouchingNothing) {
  const LockedVerb& r = GetParam();
  write_bytes(profile() / "p.txt", "profile");
  write_bytes(root_ / "home" / "h.txt", "history");
  write_bytes(arch(kDefaultArchive), make_archive({{"u.txt", "unpacked"}}));
  write_bytes(arch(kMarkerName), "v.ilhome");
  const std::string held = r.home ? home_ : arch_;
  FileLock other;  // another start holding the directory
  ASSERT_EQ(other.acquire(join_path(held, kLockName)), FileLock::Result::kHeld);
  g_process.ticks = {100.0, 100.0, 110.0, 120.0, 129.9, 130.0};
  EXPECT_EQ(run(r.verb), r.exit_code);
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{{"Another ilhome is still working on " + held +
                                                     ".\n\nTry again when it has finished.",
                                                 "Error", 0}}));
  // Polled until 30 seconds had gone by, saying so.
  EXPECT_EQ(g_process.sleeps, std::vector<unsigned long>(5, kLockPollMs));
  EXPECT_EQ(texts(ids().action), std::vector<std::string>{kActionWaiting});
  EXPECT_FALSE(g_process.status_shown_at_exit);
  EXPECT_FALSE(fs::exists(profile() / "u.txt"));
  EXPECT_FALSE(fs::exists(arch("v.ilhome")));
  EXPECT_EQ(marker(), "v.ilhome");
  EXPECT_EQ(read_bytes(root_ / "home" / "h.txt"), "history");
}

const LockedVerb kLockedVerbs[] = {
    {"ekstrak", kExitNoProfile, false}, {"arsip", kExitDone, false},
    {"bakar", kExitDone, false},        {"arsipbakar", kExitDone, false},
    {"ekstrak", kExitNoProfile, true},  {"arsip", kExitDone, true},
    {"bakar", kExitDone, true},         {"arsipbakar", kExitDone, true}};
INSTANTIATE_TEST_SUITE_P(Verbs, LockedVerbs, ::testing::ValuesIn(kLockedVerbs),
                         [](const ::testing::TestParamInfo<LockedVerb>& row) {
                           return std::string(row.param.verb) + (row.param.home ? "_home" : "");
                         });

TEST_F(LockTest, AHomeThatIsTheArchiveDirectoryIsLockedOnce) {
  // Its one lock file, taken twice by one start, would wait for itself.
  write_bytes(root_ / "home" / "history.txt", "private");
  EXPECT_EQ(runArgs({"bakar", home_, home_}), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(std::count(g_process.sleeps.begin(), g_process.sleeps.end(), kLockPollMs), 0);
}

TEST_F(LockTest, StartGoesOnOnceTheOtherHasFinished) {
  write_bytes(profile() / "p.txt", "profile");
  write_bytes(arch(kMarkerName), "v.ilhome");
  FileLock other;
  ASSERT_EQ(other.acquire(lockPath()), FileLock::Result::kHeld);
  // The other start ends during the second pause.
  g_process.on_sleep = [&other] {
    if (g_process.sleeps.size() == 2) other.release();
  };
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(g_process.sleeps.size(), 2u);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive({{"p.txt", "profile"}}));
  // This start's lock went with it.
  FileLock next;
  EXPECT_EQ(next.acquire(lockPath()), FileLock::Result::kHeld);
}

TEST_F(ProgramTest, MissingArchiveDirectoryIsUsedWithoutALock) {
  write_bytes(root_ / "home" / "h.txt", "history");
  EXPECT_EQ(runArgs({"bakar", home_, (root_ / "no such dir").string()}), kExitDone);
  EXPECT_EQ(std::count(g_process.sleeps.begin(), g_process.sleeps.end(), kLockPollMs), 0);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(root_ / "home" / "h.txt"), std::string(4096, '\0'));
}

}  // namespace
