// What the burn must not wipe: a profile no archive holds, unless the user
// says so; the program's archives wherever they lie in the home. And what it
// tells when it could not wipe something.
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

const test::MessageBoxShown kQuestion{
    "The last session was not saved: some of its files may exist nowhere but here.\n\n"
    "Wipe it anyway?",
    "Warning", MB_YESNO_ | MB_DEFBUTTON2_};

constexpr char kNotWiped[] =
    "These files and folders could not be wiped and still hold their data:\n";

bool burned(const fs::path& path, std::size_t size) {
  const std::string bytes = read_bytes(path);
  return bytes.size() == size && all_zero(bytes);
}

struct MarkerState {
  const char* what;
  const char* marker;  // nullptr: no marker
  bool asks;
};

void PrintTo(const MarkerState& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnsavedSessions : public ProgramTest, public ::testing::WithParamInterface<MarkerState> {};

TEST_P(UnsavedSessions, BurnAsksFirstAndOnlyYesWipes) {
  const MarkerState& r = GetParam();
  for (const int answer : {IDNO_, IDOK_, 0, IDYES_}) {
    fresh();
    write_bytes(profile() / "logins.json", "secret");
    if (r.marker != nullptr) write_bytes(arch(kMarkerName), r.marker);
    face_->answer = answer;
    EXPECT_EQ(run("bakar"), kExitDone);
    const bool wiped = !r.asks || answer == IDYES_;
    if (r.asks) {
      EXPECT_EQ(face_->message_boxes, std::vector<test::MessageBoxShown>{kQuestion}) << answer;
    } else {
      EXPECT_TRUE(face_->message_boxes.empty()) << answer;
    }
    if (wiped) {
      EXPECT_TRUE(burned(profile() / "logins.json", 4096)) << answer;
    } else {
      EXPECT_EQ(read_bytes(profile() / "logins.json"), "secret") << answer;
      EXPECT_EQ(marker(), r.marker) << answer;
      EXPECT_TRUE(texts(ids().action).empty()) << answer;
    }
    // A wiped session can no longer be saved: no marker may send its zeros
    // into the archive at the next pack.
    if (r.asks && wiped) {
      EXPECT_FALSE(markerExists()) << answer;
    }
  }
}

const MarkerState kMarkerStates[] = {
    {"marker names the archive", "work.ilhome", true},
    {"marker names a path it may not", "..\\work.ilhome", true},
    {"no marker", nullptr, false},
    {"empty marker of an unpack under way", "", false},
};
INSTANTIATE_TEST_SUITE_P(Markers, UnsavedSessions, ::testing::ValuesIn(kMarkerStates),
                         test_util::NameByWhat());

struct PackLeftOver {
  const char* what;
  bool earlier_copy;  // the replaced archive held the file the pack could not store
};

void PrintTo(const PackLeftOver& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class PacksThatLeftFiles : public ProgramTest, public ::testing::WithParamInterface<PackLeftOver> {
 protected:
  // Unpacks default.ilhome, then runs the verb with a pack that cannot
  // store a.txt (4 GiB, sparse), which is then taken away so that no burn
  // has to write that much.
  void packMissingAFile(const PackLeftOver& r, const std::string& verb) {
    write_bytes(arch(kDefaultArchive), r.earlier_copy
                                           ? make_archive({{"a.txt", "old a"}, {"b.txt", "b"}})
                                           : make_archive({{"b.txt", "b"}}));
    ASSERT_EQ(run("ekstrak"), kExitDone);
    {
      std::ofstream out(profile() / "a.txt", std::ios::binary | std::ios::trunc);
      out.seekp(static_cast<std::streamoff>(1LL << 32));
      out.write("x", 1);
    }
    face_->message_boxes.clear();
    EXPECT_EQ(run(verb), kExitDone);
    fs::remove(profile() / "a.txt");
    EXPECT_FALSE(markerExists());
  }
};

// Two starts, as a launcher makes them: the second learns from the home
// directory that the first could not save the whole profile.
TEST_P(PacksThatLeftFiles, NextBurnAsks) {
  const PackLeftOver& r = GetParam();
  for (const int answer : {IDNO_, IDYES_}) {
    fresh();
    packMissingAFile(r, "arsip");
    face_->message_boxes.clear();
    face_->answer = answer;
    EXPECT_EQ(run("bakar"), kExitDone);
    EXPECT_EQ(face_->message_boxes, std::vector<test::MessageBoxShown>{kQuestion}) << answer;
    if (answer != IDYES_) {
      EXPECT_EQ(read_bytes(profile() / "b.txt"), "b") << answer;
      continue;
    }
    EXPECT_TRUE(burned(profile() / "b.txt", 4096)) << answer;
    // Wiped: the next burn has nothing to ask about.
    face_->message_boxes.clear();
    write_bytes(profile() / "new.txt", "new");
    EXPECT_EQ(run("bakar"), kExitDone);
    EXPECT_TRUE(face_->message_boxes.empty()) << answer;
    EXPECT_TRUE(burned(profile() / "new.txt", 4096)) << answer;
  }
}

// One start that packs and burns asks all the same.
TEST_P(PacksThatLeftFiles, PackAndBurnInOneStartAsks) {
  const PackLeftOver& r = GetParam();
  packMissingAFile(r, "arsipbakar");
  // The warning about a.txt, then the question, which nobody answered Yes.
  ASSERT_EQ(face_->message_boxes.size(), 2u);
  EXPECT_EQ(face_->message_boxes[0].title, "Warning");
  EXPECT_EQ(face_->message_boxes[1], kQuestion);
  EXPECT_EQ(read_bytes(profile() / "b.txt"), "b");
}

const PackLeftOver kPacksThatLeftFiles[] = {
    {"file with no earlier copy", false},
    {"file whose earlier copy was kept", true},
};
INSTANTIATE_TEST_SUITE_P(Packs, PacksThatLeftFiles, ::testing::ValuesIn(kPacksThatLeftFiles),
                         test_util::NameByWhat());

struct SparedFile {
  const char* what;
  const char* path;  // below the root of the scratch directory
  bool spared;
};

// The archive directory is home/archives.
TEST_F(ProgramTest, ArchivesAtAnyDepthBelowTheArchiveDirectoryAreNeverBurned) {
  const SparedFile rows[] = {
      {"archive in the archive directory", "home/archives/work.ilhome", true},
      {"archive one level down", "home/archives/old/x.ilhome", true},
      {"archive two levels down", "home/archives/old/2025/y.ILHOME", true},
      {"other file below the archive directory", "home/archives/old/notes.txt", false},
      {"archive name outside the archive directory", "home/profile/z.ilhome", false},
      {"profile file", "home/profile/history.dat", false},
  };
  const fs::path inner = root_ / "home" / "archives";
  for (const SparedFile& r : rows) write_bytes(root_ / r.path, r.what);
  EXPECT_EQ(runArgs({"bakar", home_, inner.string()}), kExitDone);
  for (const SparedFile& r : rows) {
    if (r.spared) {
      EXPECT_EQ(read_bytes(root_ / r.path), r.what);
    } else {
      EXPECT_TRUE(burned(root_ / r.path, 4096)) << r.what;
    }
  }
  EXPECT_TRUE(face_->message_boxes.empty());
}

TEST_F(ProgramTest, BurnWarnsAboutFilesItCouldNotOpen) {
  write_bytes(root_ / "home" / "a.txt", "locked");
  write_bytes(root_ / "home" / "b.txt", "open");
  io_fail_nth(IoFault::kOpen, 1);
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(
      face_->message_boxes,
      (std::vector<test::MessageBoxShown>{{std::string(kNotWiped) + "\na.txt", "Warning", 0}}));
}

TEST_F(ProgramTest, BurnWarningNamesTenThenCounts) {
  std::string names;
  for (int i = 10; i < 23; ++i) {
    const std::string name = "f" + std::to_string(i);
    write_bytes(root_ / "outside" / name, "keep");
    std::error_code error;
    fs::create_hard_link(root_ / "outside" / name, root_ / "home" / name, error);
    if (error) GTEST_SKIP() << "this system cannot make hard links here";
    if (i < 20) names += "\n" + name;
  }
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(face_->message_boxes,
            (std::vector<test::MessageBoxShown>{
                {std::string(kNotWiped) + names + "\nand 3 more", "Warning", 0}}));
}

// Whatever else shares a file's bytes is not the burn's to zero, but the
// file is not wiped either: the user is told.
TEST_F(ProgramTest, BurnWarnsAboutFilesWithASecondName) {
  write_bytes(root_ / "outside" / "precious.txt", "keep");
  std::error_code error;
  fs::create_hard_link(root_ / "outside" / "precious.txt", root_ / "home" / "twin.txt", error);
  if (error) GTEST_SKIP() << "this system cannot make hard links here";
  EXPECT_EQ(run("bakar"), kExitDone);
  EXPECT_EQ(
      face_->message_boxes,
      (std::vector<test::MessageBoxShown>{{std::string(kNotWiped) + "\ntwin.txt", "Warning", 0}}));
}

// "X " and X are one directory for every verb, as for the walk: an unpack
// into one and a burn of the other would leave the profile unwiped and
// zero a directory the user never named.
TEST_F(ProgramTest, TrailingBlanksNameTheSameHomeForEveryVerb) {
  write_bytes(arch(kDefaultArchive), make_archive({{"a.txt", "a"}}));
  const std::string blanked = home_ + " \t";
  EXPECT_EQ(runArgs({"ekstrak", blanked, arch_}), kExitDone);
  EXPECT_EQ(read_bytes(profile() / "a.txt"), "a");
  EXPECT_FALSE(fs::exists(blanked));
  write_bytes(profile() / "b.txt", "b");
  EXPECT_EQ(runArgs({"arsip", blanked, arch_ + " "}), kExitDone);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), make_archive({{"a.txt", "a"}, {"b.txt", "b"}}));
  EXPECT_FALSE(markerExists());
  EXPECT_EQ(runArgs({"bakar", blanked, arch_}), kExitDone);
  EXPECT_TRUE(burned(profile() / "a.txt", 4096));
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), make_archive({{"a.txt", "a"}, {"b.txt", "b"}}));
}

}  // namespace
