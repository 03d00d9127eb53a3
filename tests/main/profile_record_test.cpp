// The record in the home directory of what became of the profile: what each
// run writes into it, and how a damaged one is read.
#include "main/profile_record.h"

#include "main/session.h"
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
    {"with a note", "unsaved placed 1234", ProfileRecord::kUnsaved},
    {"with a note of 0", "saved placed 0", ProfileRecord::kSaved},
    {"with a note cut short", "saved placed ", ProfileRecord::kUnknown},
    {"with a note of no number", "saved placed 12x", ProfileRecord::kUnknown},
    {"with a note of a sign", "saved placed -1", ProfileRecord::kUnknown},
    {"with a note of leading zeros", "saved placed 0012", ProfileRecord::kUnknown},
    {"with a note past 64 bits", "saved placed 9223372036854775808", ProfileRecord::kUnknown},
    {"with a note and a line end", "saved placed 12\n", ProfileRecord::kUnknown},
    {"with a note and a session", "unsaved placed 12\n0123456789abcdef", ProfileRecord::kUnsaved},
    {"with a session and a bad note", "unsaved placed x\n0123456789abcdef",
     ProfileRecord::kUnknown},
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
  // Every record of the new archive is a file of the profile.
  EXPECT_EQ(read_bytes(record()),
            "saved placed " + std::to_string(fs::file_size(arch("work.ilhome"))));
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

// A record that names a component no system allows: no unpack can put it
// on this computer, and every pack must keep it.
const std::string kHeldName = std::string(256, 'n');

struct UnpackNote {
  const char* what;
  std::vector<std::pair<std::string, std::string>> records;
  bool noted;  // whether the record notes the archive's size
};

void PrintTo(const UnpackNote& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnpackNotes : public RecordTest, public ::testing::WithParamInterface<UnpackNote> {};

// Only an unpack that put every record in the profile notes the archive,
// and a note an earlier unpack left never outlives the next one.
TEST_P(UnpackNotes, OnlyWhenEveryRecordIsPlaced) {
  const UnpackNote& u = GetParam();
  write_bytes(arch(kDefaultArchive), make_archive(u.records));
  write_bytes(record(), "saved placed 99");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  const std::string size = std::to_string(fs::file_size(arch(kDefaultArchive)));
  EXPECT_EQ(read_bytes(record()), (u.noted ? "unsaved placed " + size : "unsaved") + "\n" +
                                      read_bytes(arch(kSessionName)));
}

const UnpackNote kUnpackNotes[] = {
    {"every record placed", {{"a.txt", "a"}, {"d/b.txt", "b"}}, true},
    {"a record held back", {{"a.txt", "a"}, {kHeldName, "held"}}, false},
    {"an unsafe record only refused", {{"a.txt", "a"}, {"../evil", "x"}}, true},
};
INSTANTIATE_TEST_SUITE_P(Archives, UnpackNotes, ::testing::ValuesIn(kUnpackNotes),
                         test_util::NameByWhat());

struct PackNote {
  const char* what;
  std::string before;  // the record's bytes before the pack; "" leaves none
  // From 0 on, the record ends with the archive's size plus this.
  int size_added;
  bool held_kept;
};

void PrintTo(const PackNote& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class PackNotes : public RecordTest, public ::testing::WithParamInterface<PackNote> {};

// The pack trusts the note only for the archive of the size noted; a record
// from an older unpack (no note), none at all, or a note of another size
// makes it look through the whole archive for records to keep.
TEST_P(PackNotes, SpareTheReadOnlyForTheArchiveNoted) {
  const PackNote& n = GetParam();
  const std::string archive = make_archive({{"ok.txt", "old"}, {kHeldName, "held"}});
  write_bytes(arch("v.ilhome"), archive);
  write_bytes(arch(kMarkerName), "v.ilhome");
  write_bytes(profile() / "ok.txt", "new");
  std::string before = n.before;
  if (n.size_added >= 0) before += std::to_string(archive.size() + n.size_added);
  if (!before.empty()) write_bytes(record(), before);
  EXPECT_EQ(run("arsip"), kExitDone);
  std::vector<std::pair<std::string, std::string>> expected = {{"ok.txt", "new"}};
  if (n.held_kept) expected.emplace_back(kHeldName, "held");
  EXPECT_EQ(read_bytes(arch("v.ilhome")), make_archive(expected));
  // A pack that carried a record over notes nothing: the next one reads too.
  const std::string written = std::to_string(fs::file_size(arch("v.ilhome")));
  EXPECT_EQ(read_bytes(record()), n.held_kept ? "saved" : "saved placed " + written);
}

const PackNote kPackNotes[] = {
    {"no record", "", -1, true},
    {"older unpack without a note", "unsaved", -1, true},
    {"note of an archive since replaced", "unsaved placed ", 1, true},
    {"note cut short", "unsaved placed ", -1, true},
    {"note of this archive", "unsaved placed ", 0, false},
};
INSTANTIATE_TEST_SUITE_P(Records, PackNotes, ::testing::ValuesIn(kPackNotes),
                         test_util::NameByWhat());

// The whole way a user goes: an unpack that holds a record back leaves no
// note, so the pack after it keeps that record.
TEST_F(RecordTest, RecordHeldBackAtUnpackIsKeptByThePack) {
  write_bytes(arch(kDefaultArchive), make_archive({{"a.txt", "a"}, {kHeldName, "held"}}));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  write_bytes(profile() / "a.txt", "changed");
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)),
            make_archive({{"a.txt", "changed"}, {kHeldName, "held"}}));
}
