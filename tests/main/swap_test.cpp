// The unpack builds the new profile beside the old one and swaps it in only
// when complete: the profile directory then holds exactly the chosen
// archive's files, and an old profile that nothing saved is moved aside in
// the home directory, never destroyed and never stored in another archive.
#include "main/swap.h"

#include "archive/reader.h"
#include "main/session.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

class SwapTest : public ProgramTest {
 public:
  // For the stories told by the rows of a table.
  using ProgramTest::arch;
  using ProgramTest::arch_;
  using ProgramTest::face_;
  using ProgramTest::home_;
  using ProgramTest::profile;
  using ProgramTest::run;
  using ProgramTest::runArgs;
  using ProgramTest::startWith;

  fs::path home() const { return root_ / "home"; }
  fs::path asideDir(int counter = 1) const { return home() / aside_name(g_process.now, counter); }
  // Directories in the home directory that hold a profile moved aside.
  std::vector<std::string> asides() const {
    std::vector<std::string> names;
    if (!fs::exists(home())) return names;
    for (const auto& item : fs::directory_iterator(home())) {
      const std::string name = item.path().filename().string();
      if (name.rfind("profile (", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string movedAsideText(const fs::path& to) const {
    return "The profile in " + profile().string() +
           " was not saved by any pack, so it was not replaced.\n\nIt has been moved to " +
           to.string() + ". It stays on this computer until a burn wipes it.";
  }
  int unpackWith(const char* name) {
    startWith(name);
    return run(kVerbUnpack);
  }
  // What the archive holds, unpacked elsewhere.
  Files archiveHolds(const fs::path& archive) {
    const fs::path check = root_ / "check";
    fs::remove_all(check);
    EXPECT_EQ(dekompres((check / "profile").string(), archive.string(),
                        [](const std::string&, long long) { return 0; }),
              1);
    return fs::exists(check / "profile") ? files_below(check / "profile") : Files{};
  }
  std::string stickA() const { return (root_ / "stickA").string(); }
};

struct Story {
  const char* what;
  // Brings the home directory to the moment of the last unpack, and runs it.
  void (*told)(SwapTest& t);
  // The archive that unpack took, in the archive directory.
  const char* archive;
  Files profile;
  // What was moved aside, if anything.
  Files aside;
};

void PrintTo(const Story& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class Stories : public SwapTest, public ::testing::WithParamInterface<Story> {};

TEST_P(Stories, ProfileHoldsExactlyTheChosenArchive) {
  const Story& r = GetParam();
  r.told(*this);
  ASSERT_EQ(g_process.exit_code, kExitDone);
  EXPECT_EQ(files_below(profile()), r.profile);
  EXPECT_EQ(marker(), r.archive);
  std::vector<tk::test::MessageBoxShown> boxes;
  if (r.aside.empty()) {
    EXPECT_EQ(asides(), std::vector<std::string>{});
  } else {
    EXPECT_EQ(asides(), std::vector<std::string>{asideDir().filename().string()});
    EXPECT_EQ(files_below(asideDir()), r.aside);
    boxes.push_back({movedAsideText(asideDir()), "Warning", 0});
  }
  EXPECT_EQ(face_->message_boxes, boxes);
  // The next pack stores this profile and nothing else.
  face_->message_boxes.clear();
  EXPECT_EQ(run("arsip"), kExitDone);
  EXPECT_EQ(archiveHolds(arch(r.archive)), r.profile);
  EXPECT_TRUE(face_->message_boxes.empty());
}

const Story kStories[] = {
    {"a new name after a saved session",
     [](SwapTest& t) {
       write_bytes(t.arch("alice.ilhome"),
                   make_archive({{"logins.json", "alice's"}, {"places", "alice went"}}));
       t.unpackWith("alice");
       t.run("arsip");
       t.face_->message_boxes.clear();
       t.unpackWith("bob");
     },
     "bob.ilhome",
     {},
     {}},
    {"another archive after a pack and a burn",
     [](SwapTest& t) {
       write_bytes(t.arch("x.ilhome"), make_archive({{"a.db", "x's a"}, {"b.db", "x's b"}}));
       write_bytes(t.arch("y.ilhome"), make_archive({{"a.db", "y's a"}}));
       t.unpackWith("x");
       t.run("arsipbakar");
       t.face_->message_boxes.clear();
       t.unpackWith("y");
     },
     "y.ilhome",
     {{"a.db", "y's a"}},
     {}},
    {"another stick's session that was never saved",
     [](SwapTest& t) {
       write_bytes(fs::path(t.stickA()) / kDefaultArchive, make_archive({{"s.txt", "A stored"}}));
       t.runArgs({kVerbUnpack, t.home_, t.stickA()});
       write_bytes(t.profile() / "s.txt", "A's session");
       write_bytes(t.arch(kDefaultArchive), make_archive({{"b.txt", "B"}}));
       t.face_->message_boxes.clear();
       t.run(kVerbUnpack);
     },
     kDefaultArchive,
     {{"b.txt", "B"}},
     {{"s.txt", "A's session"}}},
    {"first use over a browser profile",
     [](SwapTest& t) {
       write_bytes(t.profile() / "prefs.js", "mine");
       write_bytes(t.profile() / "cache2" / "entry", "cached");
       write_bytes(t.arch(kDefaultArchive), make_archive({{"prefs.js", "stored"}}));
       t.run(kVerbUnpack);
     },
     kDefaultArchive,
     {{"prefs.js", "stored"}},
     {{"cache2/entry", "cached"}, {"prefs.js", "mine"}}},
    {"a normal cycle",
     [](SwapTest& t) {
       write_bytes(t.arch(kDefaultArchive), make_archive({{"a.db", "1"}, {"gone.db", "g"}}));
       t.run(kVerbUnpack);
       write_bytes(t.profile() / "a.db", "2");
       fs::remove(t.profile() / "gone.db");
       t.run("arsip");
       t.run("bakar");
       t.face_->message_boxes.clear();
       t.run(kVerbUnpack);
     },
     kDefaultArchive,
     {{"a.db", "2"}},
     {}},
};
INSTANTIATE_TEST_SUITE_P(Unpacks, Stories, ::testing::ValuesIn(kStories), test_util::NameByWhat());

struct Unfinished {
  const char* what;
  bool old_profile;
  // The archive's bytes, made from those of the whole archive.
  std::string (*archive)(const std::string& whole);
  IoFault fault;
  long nth;  // 0: no fault
};

void PrintTo(const Unfinished& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class UnfinishedSwaps : public SwapTest, public ::testing::WithParamInterface<Unfinished> {};

// An unpack that does not complete leaves the profile directory as it was,
// saved or not, and nothing of the new profile beside it.
TEST_P(UnfinishedSwaps, LeaveTheProfileAsItWas) {
  const Unfinished& r = GetParam();
  if (r.old_profile) {
    write_bytes(profile() / "old.txt", "old");
    write_bytes(profile() / "sub" / "more.txt", "more");
    write_bytes(home() / kProfileRecordName, "saved");
  }
  const Files before = r.old_profile ? files_below(profile()) : Files{};
  const std::string whole = make_archive(
      {{"big.bin", std::string(300 * 1024, 'b')}, {"new.txt", "new"}, {"sub/x.txt", "x"}});
  write_bytes(arch(kDefaultArchive), r.archive(whole));
  if (r.nth > 0) io_fail_nth(r.fault, r.nth);
  EXPECT_EQ(run(kVerbUnpack), kExitNoProfile);
  io_clear_faults();
  EXPECT_EQ(fs::exists(profile()), r.old_profile);
  if (r.old_profile) {
    EXPECT_EQ(files_below(profile()), before);
  }
  EXPECT_EQ(asides(), std::vector<std::string>{});
  EXPECT_FALSE(markerExists());
}

std::string whole(const std::string& bytes) { return bytes; }

const Unfinished kUnfinished[] = {
    {"archive cut short", true, [](const std::string& w) { return w.substr(0, w.size() / 2); },
     IoFault::kOpen, 0},
    {"damaged archive", true,
     [](const std::string& w) { return w.substr(0, 4) + "JUNK" + w.substr(4); }, IoFault::kOpen, 0},
    {"disk full", true, whole, IoFault::kWrite, 2},
    {"file cannot be created", true, whole, IoFault::kOpen, 4},
    {"read error", true, whole, IoFault::kRead, 2},
    {"new profile cannot be put in place", false, whole, IoFault::kRename, 1},
};
INSTANTIATE_TEST_SUITE_P(Causes, UnfinishedSwaps, ::testing::ValuesIn(kUnfinished),
                         test_util::NameByWhat());

// What an unpack that was killed left beside the profile directory: a
// part-built profile is cleared away, but while the record says a swap was
// under way the staging directory may hold the old profile, which is kept.
TEST_F(SwapTest, LeftoversOfAKilledUnpack) {
  struct Case {
    const char* record;
    bool kept;
  };
  for (const Case& c : {Case{"saved", false}, Case{"swapping", true}}) {
    SCOPED_TRACE(c.record);
    fresh();
    write_bytes(home() / kStagingName / "left.txt", "left");
    write_bytes(home() / kReplacedName / "gone.txt", "gone");
    write_bytes(home() / kProfileRecordName, c.record);
    write_bytes(arch(kDefaultArchive), make_archive({{"new.txt", "new"}}));
    EXPECT_EQ(run(kVerbUnpack), kExitDone);
    EXPECT_EQ(files_below(profile()), (Files{{"new.txt", "new"}}));
    EXPECT_FALSE(fs::exists(home() / kStagingName));
    EXPECT_FALSE(fs::exists(home() / kReplacedName));
    if (c.kept) {
      EXPECT_EQ(files_below(asideDir()), (Files{{"left.txt", "left"}}));
      EXPECT_EQ(
          face_->message_boxes,
          (std::vector<tk::test::MessageBoxShown>{{movedAsideText(asideDir()), "Warning", 0}}));
    } else {
      EXPECT_EQ(asides(), std::vector<std::string>{});
      EXPECT_TRUE(face_->message_boxes.empty());
    }
  }
}

// A profile moved aside is never touched by a later start, and a second one
// moved aside in the same minute gets a name of its own.
TEST_F(SwapTest, ProfilesMovedAsideStay) {
  write_bytes(arch(kDefaultArchive), make_archive({{"new.txt", "new"}}));
  write_bytes(profile() / "first.txt", "first");
  EXPECT_EQ(run(kVerbUnpack), kExitDone);
  write_bytes(profile() / "second.txt", "second");
  fs::remove(arch(kMarkerName));  // as if another stick had unpacked it
  write_bytes(home() / kProfileRecordName, "unsaved");
  face_->message_boxes.clear();
  EXPECT_EQ(run(kVerbUnpack), kExitDone);
  EXPECT_EQ(files_below(asideDir(1)), (Files{{"first.txt", "first"}}));
  EXPECT_EQ(files_below(asideDir(2)), (Files{{"new.txt", "new"}, {"second.txt", "second"}}));
  EXPECT_EQ(face_->message_boxes,
            (std::vector<tk::test::MessageBoxShown>{{movedAsideText(asideDir(2)), "Warning", 0}}));
  // Unsaved, every record of the archive is in the profile, and the
  // session is the one the marker's token names.
  EXPECT_EQ(read_bytes(home() / kProfileRecordName),
            "unsaved placed " + std::to_string(fs::file_size(arch(kDefaultArchive))) + "\n" +
                read_bytes(arch(kSessionName)));
}

struct Overlap {
  const char* what;
  const char* verb;
  int exit_code;
};

void PrintTo(const Overlap& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class Overlaps : public SwapTest, public ::testing::WithParamInterface<Overlap> {};

// The archive directory that is the profile directory is refused before
// anything is touched: an unpack would refuse every record and call that a
// profile, a pack would store the archives in the next archive.
TEST_P(Overlaps, ArchiveDirectoryThatIsTheProfileDirectoryIsRefused) {
  const Overlap& r = GetParam();
  write_bytes(profile() / "p.txt", "profile");
  write_bytes(profile() / kDefaultArchive, make_archive({{"u.txt", "unpacked"}}));
  write_bytes(profile() / kMarkerName, kDefaultArchive);
  const Files before = files_below(profile());
  // The same directory by another spelling.
  const std::string same = (profile() / ".").string();
  EXPECT_EQ(runArgs({r.verb, home_, same}), r.exit_code);
  EXPECT_EQ(
      face_->message_boxes,
      (std::vector<tk::test::MessageBoxShown>{
          {"Cannot keep the profile files in " + same + ": it is the profile directory " +
               profile().string() + ".\n\nChoose a directory outside it for the profile files.",
           "Error", 0}}));
  EXPECT_EQ(files_below(profile()), before);
  EXPECT_EQ(asides(), std::vector<std::string>{});
}

const Overlap kOverlaps[] = {{"unpack", kVerbUnpack, kExitNoProfile},
                             {"pack", "arsip", kExitDone},
                             {"burn", "bakar", kExitDone},
                             {"pack and burn", "arsipbakar", kExitDone}};
INSTANTIATE_TEST_SUITE_P(Verbs, Overlaps, ::testing::ValuesIn(kOverlaps), test_util::NameByWhat());

// An archive directory inside the profile directory is still unpacked into
// and packed from; it stays where it is.
TEST_F(SwapTest, ArchiveDirectoryInsideTheProfileStaysInPlace) {
  const fs::path inside = profile() / "archives";
  write_bytes(inside / kDefaultArchive, make_archive({{"u.txt", "unpacked"}}));
  EXPECT_EQ(runArgs({kVerbUnpack, home_, inside.string()}), kExitDone);
  EXPECT_EQ(read_bytes(profile() / "u.txt"), "unpacked");
  EXPECT_EQ(read_bytes(inside / kMarkerName), kDefaultArchive);
  EXPECT_EQ(runArgs({"arsip", home_, inside.string()}), kExitDone);
  EXPECT_EQ(archiveHolds(inside / kDefaultArchive), (Files{{"u.txt", "unpacked"}}));
}

// A saved profile that holds an archive directory (kept inside it by another
// start) is not replaced when another archive directory's unpack swaps a
// profile in: its archives may be the only copies there are, so the old
// profile is moved aside, archives and all.
TEST_F(SwapTest, SavedProfileHoldingArchivesIsMovedAsideNotRemoved) {
  const fs::path inside = profile() / "archives";
  const std::string stored = make_archive({{"u.txt", "unpacked"}});
  write_bytes(inside / kDefaultArchive, stored);
  ASSERT_EQ(runArgs({kVerbUnpack, home_, inside.string()}), kExitDone);
  ASSERT_EQ(runArgs({"arsip", home_, inside.string()}), kExitDone);
  const std::string saved = read_bytes(inside / kDefaultArchive);
  ASSERT_EQ(archiveHolds(inside / kDefaultArchive), (Files{{"u.txt", "unpacked"}}));
  face_->message_boxes.clear();

  write_bytes(arch(kDefaultArchive), make_archive({{"b.txt", "B"}}));
  EXPECT_EQ(run(kVerbUnpack), kExitDone);
  EXPECT_EQ(files_below(profile()), (Files{{"b.txt", "B"}}));
  ASSERT_EQ(asides(), std::vector<std::string>{asideDir().filename().string()});
  EXPECT_EQ(read_bytes(asideDir() / "archives" / kDefaultArchive), saved);
  EXPECT_EQ(read_bytes(asideDir() / "u.txt"), "unpacked");
  EXPECT_EQ(face_->message_boxes,
            (std::vector<tk::test::MessageBoxShown>{{movedAsideText(asideDir()), "Warning", 0}}));
}

// Two sticks, one home: the pack stores the profile in the marker's archive
// only when the unpack that named it set that profile up. Any other profile
// (another stick's session, another home's) never replaces the archive,
// and the marker goes, so that no later pack replaces it either.
struct PackStory {
  const char* what;
  // Brings the homes and sticks to the moment of the last pack.
  void (*told)(SwapTest& t);
  // The pack's home and archive directory.
  std::string (*home)(const SwapTest& t);
  std::string (*stick)(const SwapTest& t);
  // Whether it stores the profile it finds; otherwise the archive stays as
  // it was, byte for byte.
  bool saved;
};

void PrintTo(const PackStory& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class PackStories : public SwapTest, public ::testing::WithParamInterface<PackStory> {
 public:
  std::string otherHome() const { return (root_ / "home2").string(); }
  fs::path archiveOfA() const { return fs::path(stickA()) / kDefaultArchive; }
  // Stick A's session, unpacked here and changed, never saved.
  void sessionOfA(const std::string& home) {
    write_bytes(archiveOfA(), make_archive({{"s.txt", "A stored"}}));
    EXPECT_EQ(runArgs({kVerbUnpack, home, stickA()}), kExitDone);
    write_bytes(fs::path(home) / "profile" / "s.txt", "A's session");
  }
  // Stick B unpacked in this home while A's session was there.
  void stickBUnpacked() {
    write_bytes(arch(kDefaultArchive), make_archive({{"b.txt", "B"}}));
    EXPECT_EQ(run(kVerbUnpack), kExitDone);
    write_bytes(profile() / "b.txt", "B's session");
  }
};

std::string this_home(const SwapTest& t) { return t.home_; }
std::string stick_a(const SwapTest& t) { return t.stickA(); }
std::string stick_b(const SwapTest& t) { return t.arch_; }

TEST_P(PackStories, StoreOnlyTheMarkersOwnProfile) {
  const PackStory& r = GetParam();
  r.told(*this);
  const fs::path stick = r.stick(*this);
  const fs::path home = r.home(*this);
  const fs::path archive = stick / kDefaultArchive;
  const std::string before = read_bytes(archive);
  const Files found = files_below(home / "profile");
  face_->message_boxes.clear();
  EXPECT_EQ(runArgs({"arsip", home.string(), stick.string()}), kExitDone);
  // Either way no later pack writes to this archive on the strength of it.
  EXPECT_FALSE(fs::exists(stick / kMarkerName));
  EXPECT_FALSE(fs::exists(stick / kSessionName));
  EXPECT_EQ(files_below(home / "profile"), found);
  if (r.saved) {
    EXPECT_EQ(archiveHolds(archive), found);
    EXPECT_EQ(face_->message_boxes, std::vector<tk::test::MessageBoxShown>{});
    return;
  }
  EXPECT_EQ(read_bytes(archive), before);
  EXPECT_EQ(face_->message_boxes,
            (std::vector<tk::test::MessageBoxShown>{
                {"Failed to save profile.\n\nProfile dir = " + home.string() +
                     "\nProfile file = " + archive.string() +
                     "\n\nThe profile there now was not set up from this profile file: another "
                     "profile has been set up in its place since. The profile file has not been "
                     "changed.",
                 "Error", 0}}));
  // And the next pack there does nothing at all.
  face_->message_boxes.clear();
  EXPECT_EQ(runArgs({"arsip", home.string(), stick.string()}), kExitDone);
  EXPECT_EQ(read_bytes(archive), before);
  EXPECT_EQ(face_->message_boxes, std::vector<tk::test::MessageBoxShown>{});
}

PackStories& stories(SwapTest& t) { return static_cast<PackStories&>(t); }

const PackStory kPackStories[] = {
    {"stick A after stick B unpacked over its session",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       stories(t).stickBUnpacked();
       // A's session went aside, where it stays.
       EXPECT_EQ(files_below(t.asideDir()), (Files{{"s.txt", "A's session"}}));
     },
     this_home, stick_a, false},
    {"stick B after unpacking over stick A's session",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       stories(t).stickBUnpacked();
     },
     this_home, stick_b, true},
    {"stick B after stick A's pack was refused",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       stories(t).stickBUnpacked();
       t.runArgs({"arsip", t.home_, t.stickA()});
     },
     this_home, stick_b, true},
    {"stick A in a home where its session never was",
     [](SwapTest& t) {
       stories(t).sessionOfA(stories(t).otherHome());
       write_bytes(t.arch(kDefaultArchive), make_archive({{"b.txt", "B"}}));
       t.run(kVerbUnpack);
     },
     this_home, stick_a, false},
    {"stick A in a home no unpack ever set up",
     [](SwapTest& t) {
       stories(t).sessionOfA(stories(t).otherHome());
       write_bytes(t.profile() / "prefs.js", "a browser's own");
     },
     this_home, stick_a, false},
    {"a marker of an older version after stick B unpacked",
     [](SwapTest& t) {
       write_bytes(stories(t).archiveOfA(), make_archive({{"s.txt", "A stored"}}));
       write_bytes(fs::path(t.stickA()) / kMarkerName, kDefaultArchive);
       stories(t).stickBUnpacked();
     },
     this_home, stick_a, false},
    {"a marker and a record of an older version",
     [](SwapTest& t) {
       write_bytes(stories(t).archiveOfA(), make_archive({{"s.txt", "A stored"}}));
       write_bytes(fs::path(t.stickA()) / kMarkerName, kDefaultArchive);
       write_bytes(t.profile() / "s.txt", "A's session");
       write_bytes(t.home() / kProfileRecordName, "unsaved");
     },
     this_home, stick_a, true},
    {"a record an older version wrote after this marker",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       write_bytes(t.home() / kProfileRecordName, "unsaved");
     },
     this_home, stick_a, false},
    {"a token beside the marker cut short",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       const fs::path token = fs::path(t.stickA()) / kSessionName;
       write_bytes(token, read_bytes(token).substr(0, 16));
     },
     this_home, stick_a, false},
    {"a token beside the marker from another unpack",
     [](SwapTest& t) {
       stories(t).sessionOfA(t.home_);
       write_bytes(fs::path(t.stickA()) / kSessionName, "0123456789abcdef0123456789abcdef");
     },
     this_home, stick_a, false},
    {"stick A's own session", [](SwapTest& t) { stories(t).sessionOfA(t.home_); }, this_home,
     stick_a, true},
    {"stick A's own new profile in an empty home",
     [](SwapTest& t) {
       fs::create_directories(t.stickA());
       t.startWith("default");
       EXPECT_EQ(t.runArgs({kVerbUnpack, t.home_, t.stickA()}), kExitDone);
       write_bytes(t.profile() / "new.txt", "made in the session");
     },
     this_home, stick_a, true},
};
INSTANTIATE_TEST_SUITE_P(Sticks, PackStories, ::testing::ValuesIn(kPackStories),
                         test_util::NameByWhat());

}  // namespace
