// Keeping a session that was never saved: the name of the archive that keeps
// it, and the start of an unpack that finds such a session.
#include <algorithm>

#include "archive/reader.h"
#include "main/session.h"
#include "main/swap.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

constexpr LocalTime kWhen{2026, 12, 10, 14, 5, 9};

TEST(RecoveryName, KeepsTheArchiveNameAndAddsWhen) {
  struct Case {
    const char* marker;
    int counter;
    const char* name;
  };
  const Case cases[] = {
      {"work.ilhome", 1, "work (unsaved 2026-12-10 14.05).ilhome"},
      {"default.ilhome", 1, "default (unsaved 2026-12-10 14.05).ilhome"},
      {"Work.ILHOME", 1, "Work (unsaved 2026-12-10 14.05).ilhome"},
      {"work.ilhome", 2, "work (unsaved 2026-12-10 14.05) 2.ilhome"},
      {"work.ilhome", 12, "work (unsaved 2026-12-10 14.05) 12.ilhome"},
      // A name the chooser never makes still gives an archive it lists.
      {"notes.txt", 1, "notes.txt (unsaved 2026-12-10 14.05).ilhome"},
      // Bytes Windows refuses in a name, written on another system.
      {"a<b>c\"d|e?f*g\x01h.ilhome", 1, "a_b_c_d_e_f_g_h (unsaved 2026-12-10 14.05).ilhome"},
      // Names Windows keeps for devices.
      {"con.ilhome", 1, "con (unsaved 2026-12-10 14.05).ilhome"},
      {"con.x.ilhome", 1, "_con.x (unsaved 2026-12-10 14.05).ilhome"},
      {"LPT1 .old.ilhome", 1, "_LPT1 .old (unsaved 2026-12-10 14.05).ilhome"},
      {"com0.x.ilhome", 1, "com0.x (unsaved 2026-12-10 14.05).ilhome"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marker);
    EXPECT_EQ(recovery_archive_name(c.marker, kWhen, c.counter), c.name);
  }
}

TEST(RecoveryName, LongNamesKeepTo255BytesAndWholeCharacters) {
  const std::string ending = " (unsaved 2026-12-10 14.05) 3.ilhome";
  // 'e' with an accent: two bytes, which a cut must never part.
  for (std::size_t length : {240u, 241u, 248u, 255u}) {
    SCOPED_TRACE(length);
    std::string stem;
    while (stem.size() + 2 <= length - 7) stem += "\xC3\xA9";
    const std::string name = recovery_archive_name(stem + ".ilhome", kWhen, 3);
    EXPECT_LE(name.size(), 255u);
    ASSERT_GE(name.size(), ending.size());
    EXPECT_EQ(name.substr(name.size() - ending.size()), ending);
    const std::string kept = name.substr(0, name.size() - ending.size());
    EXPECT_EQ(stem.compare(0, kept.size(), kept), 0);
    // As much of the name as fits, in whole characters.
    const std::size_t room = 255 - ending.size();
    EXPECT_EQ(kept.size(), std::min(stem.size(), room - room % 2));
  }
}

}  // namespace

namespace {

constexpr char kKeptWork[] = "work (unsaved 2026-12-10 14.05).ilhome";

class KeepTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    g_process.now = kWhen;
  }
  // The changed profile of a session whose pack never ran.
  void changeProfile() {
    write_bytes(profile() / "a.txt", "changed in the session");
    write_bytes(profile() / "mail" / "new.txt", std::string(70000, 'n'));
  }
  // What the kept archive holds, unpacked elsewhere.
  std::vector<std::pair<std::string, std::string>> unpackedKept(const std::string& name) {
    const fs::path check = root_ / "check";
    EXPECT_EQ(dekompres((check / "profile").string(), arch(name).string(),
                        [](const std::string&, long long) { return 0; }),
              1);
    return files_below(check / "profile");
  }
  std::string keptText(const std::string& archive, const std::string& kept) const {
    return "The last session with " + archive + " was never saved.\n\nIt has been kept as " + kept +
           " in " + arch_ + ".";
  }
  // Archives in the archive directory whose name says they keep a session.
  std::vector<std::string> keptArchives() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(root_ / "arch")) {
      const std::string name = item.path().filename().string();
      if (name.find("(unsaved") != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// The session's profile is packed before anything changes it, the user is
// told where it went, and the unpack then goes on as it always does.
TEST_F(KeepTest, SessionThatWasNeverSavedIsKeptBeforeTheUnpack) {
  struct Case {
    const char* archive;
    bool chooser;  // default.ilhome is taken without asking
  };
  const Case cases[] = {{"work.ilhome", true}, {"default.ilhome", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    fs::remove_all(root_ / "home");
    fs::remove_all(root_ / "arch");
    fs::remove_all(root_ / "check");
    const std::string stored = make_archive({{"a.txt", "as stored"}, {"b.txt", "b"}});
    write_bytes(arch(c.archive), stored);
    startWith(c.chooser ? "work" : nullptr);
    ASSERT_EQ(run("ekstrak"), kExitDone);
    ASSERT_EQ(marker(), c.archive);
    changeProfile();
    const auto session = files_below(profile());

    bool chooser_opened = false;
    bool box_before_chooser = false;
    answerChooser([&](int) {
      chooser_opened = true;
      // The kept archive is the newest, and so the one selected: pick the other.
      tk::test::typeText(ids().list, "work");
      tk::test::click(ids().start);
    });
    face_->on_message_box = [&](const tk::test::MessageBoxShown&) {
      box_before_chooser = !chooser_opened;
    };
    face_->message_boxes.clear();
    EXPECT_EQ(run("ekstrak"), kExitDone);
    face_->on_message_box = nullptr;
    const std::string stem = std::string(c.archive).substr(0, std::string(c.archive).find('.'));
    const std::string kept = stem + " (unsaved 2026-12-10 14.05).ilhome";
    EXPECT_EQ(keptArchives(), std::vector<std::string>{kept});
    EXPECT_EQ(unpackedKept(kept), session);
    EXPECT_EQ(face_->message_boxes,
              (std::vector<tk::test::MessageBoxShown>{{keptText(c.archive, kept), "Warning", 0}}));
    EXPECT_TRUE(box_before_chooser);
    EXPECT_EQ(chooser_opened, c.chooser);
    // Then the chosen archive's content, and its name in the marker.
    EXPECT_EQ(read_bytes(profile() / "a.txt"), "as stored");
    EXPECT_EQ(read_bytes(profile() / "b.txt"), "b");
    EXPECT_EQ(marker(), c.archive);
    EXPECT_EQ(read_bytes(arch(c.archive)), stored);
  }
}

// Only a marker naming an archive and a profile directory holding a file
// mean a session that was never saved.
TEST_F(KeepTest, NothingIsKeptWithoutAnUnsavedSession) {
  struct Case {
    const char* what;
    const char* marker;  // nullptr: none
    bool profile_file;
    bool profile_dir;
  };
  const Case cases[] = {
      {"unpack that did not finish (empty marker)", "", true, true},
      {"no marker", nullptr, true, true},
      {"marker that is no bare name", "..\\x.ilhome", true, true},
      {"profile directory without a file", "work.ilhome", false, true},
      {"no profile directory", "work.ilhome", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "home");
    fs::remove_all(root_ / "arch");
    const std::string stored = make_archive({{"a.txt", "as stored"}});
    write_bytes(arch(kDefaultArchive), stored);
    if (c.marker != nullptr) write_bytes(arch(kMarkerName), c.marker);
    if (c.profile_dir) fs::create_directories(profile() / "empty" / "below");
    if (c.profile_file) write_bytes(profile() / "a.txt", "session");
    // A pack saved it: the unpack replaces it without keeping or moving it.
    write_bytes(root_ / "home" / kProfileRecordName, "saved");
    face_->message_boxes.clear();
    EXPECT_EQ(run("ekstrak"), kExitDone);
    EXPECT_TRUE(keptArchives().empty());
    EXPECT_TRUE(face_->message_boxes.empty());
    EXPECT_EQ(read_bytes(profile() / "a.txt"), "as stored");
    EXPECT_EQ(marker(), kDefaultArchive);
  }
}

// A session that cannot be kept stops the start: the unpack would overwrite
// its only copy, and a launcher must not start the browser on it. A stick
// whose file system cannot hold a file of the session's size is named as the
// reason, as no retry there can help.
struct KeepFailure {
  const char* what;
  long write_fault;      // the n-th write fails as on a full disk; 0: none
  long long file_limit;  // the largest file the stick holds; negative: none
  const char* reason;    // the message's last paragraph, if any
};

// Stands for the system's own words for a full disk.
constexpr char kDiskFull[] = "(the disk is full)";

class KeepFailures : public KeepTest, public ::testing::WithParamInterface<KeepFailure> {};

TEST_P(KeepFailures, StopTheStart) {
  const KeepFailure& c = GetParam();
  const std::string stored = make_archive({{"a.txt", "as stored"}});
  write_bytes(arch(kDefaultArchive), stored);
  write_bytes(arch(kMarkerName), kDefaultArchive);
  changeProfile();
  const auto session = files_below(profile());
  if (c.write_fault > 0) io_fail_nth(IoFault::kWrite, c.write_fault);
  io_limit_file_size(c.file_limit);
  EXPECT_EQ(run("ekstrak"), kExitNoProfile);
  io_clear_faults();
  std::string text = "Failed to save profile.\n\nProfile dir = " + home_ + "\nProfile file = " +
                     (fs::path(arch_) / "default (unsaved 2026-12-10 14.05).ilhome").string();
  if (c.reason == kDiskFull) {
    text += reason_of(IoFault::kWrite);
  } else if (*c.reason != '\0') {
    text += std::string("\n\n") + c.reason;
  }
  EXPECT_EQ(face_->message_boxes, (std::vector<tk::test::MessageBoxShown>{{text, "Error", 0}}));
  EXPECT_EQ(files_below(profile()), session);
  EXPECT_EQ(marker(), kDefaultArchive);
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
  // Nothing but the archive, the marker and the lock.
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(root_ / "arch")) {
    left.push_back(item.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{kDefaultArchive, kMarkerName, kLockName}));
}

const KeepFailure kKeepFailures[] = {
    {"disk full", 1, -1, kDiskFull},
    {"file too large for the stick", 0, 8, kTooLargeReason},
};
INSTANTIATE_TEST_SUITE_P(Causes, KeepFailures, ::testing::ValuesIn(kKeepFailures),
                         test_util::NameByWhat());

// A file that has the kept archive's name is never replaced: it may be the
// session kept a minute earlier.
TEST_F(KeepTest, FileOfTheSameNameIsNeverReplaced) {
  write_bytes(arch("work.ilhome"), make_archive({{"a.txt", "as stored"}}));
  write_bytes(arch(kMarkerName), "work.ilhome");
  write_bytes(arch(kKeptWork), "kept before");
  changeProfile();
  const auto session = files_below(profile());
  startWith("work");
  EXPECT_EQ(run("ekstrak"), kExitDone);
  const std::string second = "work (unsaved 2026-12-10 14.05) 2.ilhome";
  EXPECT_EQ(read_bytes(arch(kKeptWork)), "kept before");
  EXPECT_EQ(unpackedKept(second), session);
  ASSERT_FALSE(face_->message_boxes.empty());
  EXPECT_EQ(face_->message_boxes.front().text, keptText("work.ilhome", second));
}

// The keep step stores on a stick only the session its marker's unpack set
// up. A profile another unpack put in its place (another stick's session),
// or one in a home where that session never was, is never copied onto the
// stick: it is moved aside on this computer like any profile nothing saved.
struct ForeignProfile {
  const char* what;
  // Where the stick's own session was unpacked: this home or another.
  bool session_here;
};

void PrintTo(const ForeignProfile& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class ForeignProfiles : public KeepTest, public ::testing::WithParamInterface<ForeignProfile> {};

TEST_P(ForeignProfiles, AreNeverKeptOnTheStick) {
  const ForeignProfile& r = GetParam();
  const std::string stored = make_archive({{"a.txt", "as stored"}});
  write_bytes(arch(kDefaultArchive), stored);
  const std::string elsewhere = (root_ / "home2").string();
  const std::string session_home = r.session_here ? home_ : elsewhere;
  EXPECT_EQ(runArgs({"ekstrak", session_home, arch_}), kExitDone);
  write_bytes(fs::path(session_home) / "profile" / "a.txt", "this stick's session");
  // Another stick's session in this home, never saved.
  const std::string stick_b = (root_ / "stickB").string();
  write_bytes(fs::path(stick_b) / kDefaultArchive, make_archive({{"b.txt", "B"}}));
  EXPECT_EQ(runArgs({"ekstrak", home_, stick_b}), kExitDone);
  write_bytes(profile() / "b.txt", "B's session");
  const auto foreign = files_below(profile());

  face_->message_boxes.clear();
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(keptArchives(), std::vector<std::string>{});
  EXPECT_EQ(read_bytes(arch(kDefaultArchive)), stored);
  EXPECT_EQ(files_below(profile()),
            (std::vector<std::pair<std::string, std::string>>{{"a.txt", "as stored"}}));
  // B's session is on this computer still, moved aside, and said so.
  const int asides = r.session_here ? 2 : 1;
  const fs::path aside = root_ / "home" / aside_name(kWhen, asides);
  EXPECT_EQ(files_below(aside), foreign);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].title, "Warning");
  EXPECT_NE(face_->message_boxes[0].text.find(aside.string()), std::string::npos);
}

const ForeignProfile kForeignProfiles[] = {
    {"another stick unpacked over the session", true},
    {"the session was in another home", false},
};
INSTANTIATE_TEST_SUITE_P(Sticks, ForeignProfiles, ::testing::ValuesIn(kForeignProfiles),
                         test_util::NameByWhat());

}  // namespace
