// The record in the home directory of what became of the profile: what each
// run writes into it, and how a damaged one is read.
#include "main/profile_record.h"

#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

class RecordTest : public ProgramTest {
 protected:
  fs::path record() const { return root_ / "home" / kProfileRecordName; }
  void setArguments() { program_setup({"ilhome", "ekstrak", home_, arch_}); }
};

struct RecordBytes {
  const char* what;
  std::string bytes;
  ProfileRecord read;
};

void PrintTo(const RecordBytes& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class RecordReading : public RecordTest, public ::testing::WithParamInterface<RecordBytes> {};

// Only the exact words count: anything cut short, zeroed or foreign is
// unknown, which makes the next unpack keep the profile rather than drop it.
TEST_P(RecordReading, TakesOnlyTheExactWords) {
  const RecordBytes& r = GetParam();
  setArguments();
  write_bytes(record(), r.bytes);
  EXPECT_EQ(read_profile_record(), r.read);
}

const RecordBytes kRecordBytes[] = {
    {"saved", "saved", ProfileRecord::kSaved},
    {"wiped", "wiped", ProfileRecord::kWiped},
    {"unsaved", "unsaved", ProfileRecord::kUnsaved},
    {"swapping", "swapping", ProfileRecord::kSwapping},
    {"cut short", "sav", ProfileRecord::kUnknown},
    {"zeroed by a burn", std::string(4096, '\0'), ProfileRecord::kUnknown},
    {"empty", "", ProfileRecord::kUnknown},
    {"with a line end", "saved\n", ProfileRecord::kUnknown},
    {"in capitals", "SAVED", ProfileRecord::kUnknown},
    {"a word and more", "saved" + std::string(100, 'x'), ProfileRecord::kUnknown},
    {"unsaved with a session", "unsaved\n0123456789abcdef", ProfileRecord::kUnsaved},
    {"a session cut to nothing", "unsaved\n", ProfileRecord::kUnknown},
    {"a session that is no token", "unsaved\n01234 6789", ProfileRecord::kUnknown},
};
INSTANTIATE_TEST_SUITE_P(Bytes, RecordReading, ::testing::ValuesIn(kRecordBytes),
                         test_util::NameByWhat());

TEST_F(RecordTest, MissingRecordIsUnknownAndEachWordReadsBack) {
  setArguments();
  EXPECT_EQ(read_profile_record(), ProfileRecord::kUnknown);
  for (ProfileRecord r : {ProfileRecord::kSaved, ProfileRecord::kWiped, ProfileRecord::kUnsaved,
                          ProfileRecord::kSwapping}) {
    ASSERT_TRUE(write_profile_record(r));
    EXPECT_EQ(read_profile_record(), r);
  }
}

TEST_F(RecordTest, RecordThatCannotBeWrittenSaysSo) {
  setArguments();
  ASSERT_TRUE(write_profile_record(ProfileRecord::kSaved));
  for (IoFault fault : {IoFault::kOpen, IoFault::kWrite, IoFault::kSync, IoFault::kClose}) {
    io_fail_nth(fault, 1);
    EXPECT_FALSE(write_profile_record(ProfileRecord::kWiped));
    io_clear_faults();
    // Never the word asked for when it was not written whole.
    EXPECT_NE(read_profile_record(), ProfileRecord::kWiped);
    ASSERT_TRUE(write_profile_record(ProfileRecord::kSaved));
  }
}

TEST_F(RecordTest, OnlySavedAndWipedMayBeReplaced) {
  EXPECT_TRUE(profile_is_expendable(ProfileRecord::kSaved));
  EXPECT_TRUE(profile_is_expendable(ProfileRecord::kWiped));
  EXPECT_FALSE(profile_is_expendable(ProfileRecord::kUnknown));
  EXPECT_FALSE(profile_is_expendable(ProfileRecord::kUnsaved));
  EXPECT_FALSE(profile_is_expendable(ProfileRecord::kSwapping));
}

TEST_F(RecordTest, PackThatSavedTheProfileRecordsIt) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "work.ilhome");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(read_bytes(record()), "saved");
}

TEST_F(RecordTest, PackThatFailedLeavesTheRecord) {
  write_bytes(profile() / "a.txt", "a");
  write_bytes(arch(kMarkerName), "work.ilhome");
  write_bytes(record(), "unsaved");
  io_fail_nth(IoFault::kWrite, 1);
  EXPECT_EQ(run("arsip"), kExitDone);
  io_clear_faults();
  EXPECT_EQ(read_bytes(record()), "unsaved");
}

TEST_F(RecordTest, BurnRecordsTheWipeAfterZeroingTheRecord) {
  write_bytes(profile() / "a.txt", "private");
  write_bytes(record(), "saved");
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_TRUE(all_zero(read_bytes(profile() / "a.txt")));
  EXPECT_EQ(read_bytes(record()), "wiped");
}

// A kept session is kept once: the marker no longer names it, so a start
// whose chooser is closed without a name does not keep it again and again
// until the stick is full.
TEST_F(RecordTest, KeptSessionIsKeptOnceAndRecordedAsSaved) {
  write_bytes(profile() / "a.txt", "session");
  write_bytes(arch("work.ilhome"), make_archive({{"a.txt", "stored"}}));
  write_bytes(arch(kMarkerName), "work.ilhome");
  for (int start = 0; start < 3; ++start) {
    answerChooser([](int) { tk::test::closeWindow(program().ids.chooser); });
    EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  }
  int kept = 0;
  for (const auto& item : fs::directory_iterator(root_ / "arch")) {
    if (item.path().filename().string().find("(unsaved") != std::string::npos) ++kept;
  }
  EXPECT_EQ(kept, 1);
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(read_bytes(record()), "saved");
}

}  // namespace
