// An archive whose data were changed on the stick: the unpack sets every
// file up, keeps the archive aside under a name of its own, says which files
// were damaged, and the next pack writes a new archive under the chosen name.
#include <algorithm>

#include "archive/reader.h"
#include "support/text.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using StoredFiles = std::vector<std::pair<std::string, std::string>>;

constexpr char kKeptDefault[] = "default (damaged 2026-12-10 14.05).ilhome";

// Twelve files: the settings file in the middle.
StoredFiles twelve_files() {
  StoredFiles files;
  for (int i = 0; i < 12; ++i) {
    if (i == 6) {
      files.emplace_back("ilvar6.ini", "home=<akar2>\\profile\n");
    } else {
      files.emplace_back("f" + std::to_string(10 + i) + ".txt",
                         "content of file " + std::to_string(i));
    }
  }
  return files;
}

// The archive with one bit changed in the data of each record named.
std::string damaged_archive(const StoredFiles& files, const std::vector<std::size_t>& damaged) {
  std::string out = test_util::kMagicBytes;
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string one = test_util::record(files[i].first, files[i].second);
    if (std::find(damaged.begin(), damaged.end(), i) != damaged.end()) {
      one.back() = static_cast<char>(one.back() ^ 0x04);
    }
    out += one;
  }
  return out + test_util::kTrailerBytes;
}

std::string warning_text(const std::vector<std::string>& names, const std::string& tail) {
  std::string text =
      "Some files of the profile were damaged in the profile file and have been set up as "
      "they were found:\n";
  for (const std::string& name : names) text += "\n" + name;
  return text + "\n\n" + tail;
}

struct Damage {
  const char* what;
  std::vector<std::size_t> records;
  std::vector<std::string> named;  // the lines of names in the warning
};

class DamagedArchive : public ProgramTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedArchive, IsKeptAsideAndNamedAndTheNextPackWritesANewOne) {
  const Damage& damage = GetParam();
  const StoredFiles files = twelve_files();
  const std::string stored = damaged_archive(files, damage.records);
  write_bytes(arch(kDefaultArchive), stored);
  EXPECT_EQ(run("ekstrak"), kExitDone);

  EXPECT_EQ(
      face_->message_boxes,
      (std::vector<tk::test::MessageBoxShown>{
          {warning_text(damage.named, std::string("The damaged profile file has been kept as ") +
                                          kKeptDefault + " in " + arch_ + "."),
           "Warning", 0}}));
  // Kept byte for byte, and the chosen name is free for the next pack.
  EXPECT_EQ(read_bytes(arch(kKeptDefault)), stored);
  EXPECT_FALSE(fs::exists(arch(kDefaultArchive)));
  EXPECT_EQ(marker(), kDefaultArchive);
  // Every file set up, the damaged ones as they were found.
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string data = files[i].second;
    if (std::find(damage.records.begin(), damage.records.end(), i) != damage.records.end()) {
      data.back() = static_cast<char>(data.back() ^ 0x04);
    }
    if (files[i].first == "ilvar6.ini") data = replace_all(data, "<akar2>", home_);
    EXPECT_EQ(read_bytes(profile() / files[i].first), data) << files[i].first;
  }

  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_FALSE(markerExists());
  std::vector<DamagedRecord> damaged;
  EXPECT_EQ(check_archive(arch(kDefaultArchive).string(), damaged), UnpackOutcome::kComplete);
  EXPECT_TRUE(damaged.empty());
  EXPECT_EQ(read_bytes(arch(kKeptDefault)), stored);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramTest, DamagedArchive,
    ::testing::Values(Damage{"first record", {0}, {"f10.txt"}},
                      Damage{"middle record", {5}, {"f15.txt"}},
                      Damage{"last record", {11}, {"f21.txt"}},
                      Damage{"settings file", {6}, {"ilvar6.ini"}},
                      Damage{"eleven records, ten named",
                             {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                             {"f10.txt", "f11.txt", "f12.txt", "f13.txt", "f14.txt", "f15.txt",
                              "ilvar6.ini", "f17.txt", "f18.txt", "f19.txt", "and 1 more"}},
                      Damage{"all twelve",
                             {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                             {"f10.txt", "f11.txt", "f12.txt", "f13.txt", "f14.txt", "f15.txt",
                              "ilvar6.ini", "f17.txt", "f18.txt", "f19.txt", "and 2 more"}}),
    test_util::NameByWhat());

// A kept copy is never replaced: the next free counter is taken.
TEST_F(ProgramTest, DamagedArchiveNeverReplacesAKeptCopy) {
  const StoredFiles files = twelve_files();
  const std::string stored = damaged_archive(files, {3});
  write_bytes(arch("work.ilhome"), stored);
  write_bytes(arch("work (damaged 2026-12-10 14.05).ilhome"), "kept before");
  startWith("work");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  const std::string second = "work (damaged 2026-12-10 14.05) 2.ilhome";
  EXPECT_EQ(read_bytes(arch("work (damaged 2026-12-10 14.05).ilhome")), "kept before");
  EXPECT_EQ(read_bytes(arch(second)), stored);
  EXPECT_FALSE(fs::exists(arch("work.ilhome")));
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes.front().text,
            warning_text({"f13.txt"}, "The damaged profile file has been kept as " + second +
                                          " in " + arch_ + "."));
}

// When the archive cannot be renamed, the user is told that the next pack
// replaces it; the unpack itself is complete. Its rename is the run's last:
// the renames before it put the new profile in place.
TEST_F(ProgramTest, DamagedArchiveThatCannotBeRenamedIsSaidSo) {
  const std::string stored = damaged_archive(twelve_files(), {0});
  const std::vector<tk::test::MessageBoxShown> expected = {
      {warning_text({"f10.txt"},
                    "The damaged profile file could not be kept aside: the next save replaces it."),
       "Warning", 0}};
  bool said = false;
  for (long nth = 1; nth <= 8 && !said; ++nth) {
    fresh();
    write_bytes(arch(kDefaultArchive), stored);
    io_fail_nth(IoFault::kRename, nth);
    const int exit_code = run("ekstrak");
    io_clear_faults();
    if (face_->message_boxes.empty() || face_->message_boxes.front().title != "Warning") continue;
    said = true;
    EXPECT_EQ(exit_code, kExitDone);
    EXPECT_EQ(face_->message_boxes, expected);
    EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
    EXPECT_EQ(marker(), kDefaultArchive);
    EXPECT_EQ(read_bytes(profile() / "f11.txt"), "content of file 1");
  }
  EXPECT_TRUE(said);
}

// The record notes no archive's size once the damaged archive is set aside:
// nothing under the chosen name holds the profile's records any more.
TEST_F(ProgramTest, DamagedArchiveSetAsideLeavesNoNoteOfItsSize) {
  write_bytes(arch(kDefaultArchive), damaged_archive(twelve_files(), {3}));
  EXPECT_EQ(run("ekstrak"), kExitDone);
  ASSERT_TRUE(fs::exists(arch(kKeptDefault)));
  EXPECT_EQ(read_bytes(root_ / "home" / kProfileRecordName),
            "unsaved\n" + read_bytes(arch(kSessionName)));
}

// An archive written before records carried checksums is not checked: a
// changed byte there goes unseen, as it always did, and nothing is said.
TEST_F(ProgramTest, ArchiveWithoutChecksumsUnpacksWithoutAWarning) {
  const StoredFiles files = twelve_files();
  std::string stored = test_util::make_unchecked_archive(files);
  stored[stored.size() - test_util::kTrailerBytes.size() - 1] ^= 0x04;
  write_bytes(arch(kDefaultArchive), stored);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_TRUE(face_->message_boxes.empty());
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
  EXPECT_EQ(marker(), kDefaultArchive);
  EXPECT_EQ(read_bytes(profile() / "f10.txt"), "content of file 0");
}

}  // namespace
