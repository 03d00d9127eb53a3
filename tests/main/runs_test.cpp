// The unpack and pack runs: the in-use marker, the progress they show and the
// "Error" messages, and what is left behind after each failure.
#include "tests/main/program_fixture.h"

namespace {

using namespace tk;

// The worked example: ilvar6.ini with the placeholder, and mail/a.txt.
std::string worked_example() {
  return make_archive({{"ilvar6.ini", "p=<akar2>\\profile"}, {"mail/a.txt", "hi"}});
}

TEST_F(ProgramTest, UnpackOfANewNameWritesOnlyTheMarker) {
  startWith("work");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "work.ilhome");
  EXPECT_EQ(fs::file_size(arch(kMarkerName)), 11u);
  EXPECT_EQ(texts(ids().action), (std::vector<std::string>{"Preparing your dinner..."}));
  EXPECT_TRUE(g_status_shown_at_exit);
  EXPECT_FALSE(fs::exists(profile()));
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(program().archive_size, 1);
}

TEST_F(ProgramTest, UnpackOfTheWorkedExampleShowsTwoSteps) {
  const std::string bytes = worked_example();
  ASSERT_EQ(bytes.size(), 87u);
  write_bytes(arch(kDefaultArchive), bytes);
  write_bytes(arch(kMarkerName), "an older and longer name.ilhome");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "default.ilhome");  // emptied and rewritten
  EXPECT_EQ(program().archive_size, 87);
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"ilvar6.ini", "mail/a.txt"}));
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

TEST_F(ProgramTest, UnpackFailures) {
  struct Row {
    const char* what;
    IoFault fault;
    long nth;
    bool cannot_write_marker;
    bool cannot_unpack;
  };
  // The run opens the marker first, then the archive; it writes the two
  // files, then the name into the marker.
  const Row rows[] = {
      {"marker cannot be created", IoFault::kOpen, 1, true, false},
      {"marker cut short", IoFault::kWrite, 3, true, false},
      {"archive cannot be opened", IoFault::kOpen, 2, false, true},
  };
  for (const Row& r : rows) {
    TearDown();
    SetUp();
    write_bytes(arch(kDefaultArchive), worked_example());
    io_fail_nth(r.fault, r.nth);
    EXPECT_EQ(run("ekstrak"), kExitDone) << r.what;
    io_clear_faults();
    std::vector<test::MessageBoxShown> want;
    if (r.cannot_write_marker) {
      want.push_back(
          {"Cannot write to " + arch_ + "\n\nIlvar settings will not be saved.", "Error", 0});
    }
    if (r.cannot_unpack) {
      want.push_back({"Failed to set up profile.\n\nProfile dir = " + home_ +
                          "\nProfile file = " + (fs::path(arch_) / kDefaultArchive).string(),
                      "Error", 0});
    }
    EXPECT_EQ(face_->message_boxes, want) << r.what;
    // No marker is left that names an archive the profile was not taken
    // from, or a name cut short.
    EXPECT_FALSE(markerExists()) << r.what;
    // A marker that cannot be written does not stop the unpacking.
    EXPECT_EQ(fs::exists(profile() / "mail" / "a.txt"), !r.cannot_unpack) << r.what;
  }
}

TEST_F(ProgramTest, MarkerThatCannotBeRewrittenDoesNotSendTheProfileToTheOlderArchive) {
  // An older marker from an unpack that was never packed names old.ilhome.
  const std::string old_archive = make_archive({{"old.txt", "only copy"}});
  write_bytes(arch("old.ilhome"), old_archive);
  write_bytes(arch(kMarkerName), "old.ilhome");
  write_bytes(arch(kDefaultArchive), worked_example());
  io_fail_nth(IoFault::kOpen, 1);  // the marker
  EXPECT_EQ(run("ekstrak"), kExitDone);
  io_clear_faults();
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].text,
            "Cannot write to " + arch_ + "\n\nIlvar settings will not be saved.");
  EXPECT_TRUE(fs::exists(profile() / "mail" / "a.txt"));
  // As the message says, the profile unpacked from default.ilhome is not
  // saved by the next pack, and never into old.ilhome.
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(read_bytes(arch("old.ilhome")), old_archive);
}

// An unpack that did not finish says so and leaves no marker naming the
// archive, so the next pack run leaves the archive as it is: the profile
// directory holds only a part of it.
TEST_F(ProgramTest, UnpackThatDidNotFinishNeverLeadsToAPack) {
  const std::string big(300 * 1024, 'b');  // two read blocks
  const std::string whole =
      make_archive({{"big.bin", big}, {"ilvar6.ini", "p=<akar2>"}, {"mail/a.txt", "hi"}});
  struct Row {
    const char* what;
    std::string archive;
    IoFault fault;
    long nth;  // 0: no fault
  };
  // Opens: the marker, the archive, then each file. Writes: big.bin in two
  // blocks, then one each. Closes: each file, then the archive. Reads: two.
  const Row rows[] = {
      {"archive cut short", whole.substr(0, whole.size() / 2), IoFault::kOpen, 0},
      {"archive without its trailer", whole.substr(0, whole.size() - 4), IoFault::kOpen, 0},
      {"damaged archive", whole.substr(0, 4) + "JUNK" + whole.substr(4), IoFault::kOpen, 0},
      {"not an archive", "PK\x03\x04 some other kind of file", IoFault::kOpen, 0},
      {"disk full", whole, IoFault::kWrite, 2},
      {"file cannot be created", whole, IoFault::kOpen, 4},
      {"file cannot be closed", whole, IoFault::kClose, 3},
      {"read error in the middle", whole, IoFault::kRead, 2},
  };
  for (const Row& r : rows) {
    TearDown();
    SetUp();
    SCOPED_TRACE(r.what);
    write_bytes(arch(kDefaultArchive), r.archive);
    write_bytes(arch(kMarkerName), "default.ilhome");  // left by an older unpack
    if (r.nth > 0) io_fail_nth(r.fault, r.nth);
    EXPECT_EQ(run("ekstrak"), kExitDone);
    io_clear_faults();
    EXPECT_EQ(face_->message_boxes,
              (std::vector<test::MessageBoxShown>{
                  {"Failed to set up profile.\n\nProfile dir = " + home_ +
                       "\nProfile file = " + (fs::path(arch_) / kDefaultArchive).string(),
                   "Error", 0}}));
    EXPECT_FALSE(markerExists());
    EXPECT_EQ(run("arsip"), kExitDone);
    EXPECT_EQ(read_bytes(arch(kDefaultArchive)), r.archive);
  }
}

// Records refused for their names are no failure: the unpack is complete and
// the marker names the archive.
TEST_F(ProgramTest, RefusedNamesLeaveTheUnpackComplete) {
  write_bytes(arch(kDefaultArchive),
              make_archive({{"../evil", "x"}, {std::string(300, 'n'), "y"}, {"ok.txt", "ok"}}));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "ok.txt"), "ok");
}

// The archive's size is taken with all its bits: one of exactly 4 GiB is
// not an empty archive (a new profile) that the next pack may replace.
TEST_F(ProgramTest, ArchiveOfAMultipleOf4GiBIsNotTakenAsEmpty) {
  write_bytes(arch(kDefaultArchive), "");
  std::error_code error;
  fs::resize_file(arch(kDefaultArchive), 0x100000000ULL, error);
  if (error) GTEST_SKIP() << "no sparse 4 GiB file here: " << error.message();
  write_bytes(profile() / "small.txt", "s");
  EXPECT_EQ(run("ekstrak"), kExitDone);
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
  EXPECT_EQ(texts(ids().file), (std::vector<std::string>{"a.txt", "b.txt", "sub/c.txt", "z.txt"}));
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
  EXPECT_FALSE(g_status_shown_at_exit);
  EXPECT_TRUE(texts(ids().action).empty());
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(fs::directory_iterator(root_ / "arch"), fs::directory_iterator());
}

TEST_F(ProgramTest, PackFailureIsReportedAndTheMarkerDeleted) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "");  // the archive path is the directory itself
  EXPECT_EQ(run("arsip"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0],
            (test::MessageBoxShown{
                "Failed to save profile.\n\nProfile dir = " + home_ + "\nProfile file = " + arch_,
                "Error", 0}));
  EXPECT_FALSE(markerExists());
}

}  // namespace
