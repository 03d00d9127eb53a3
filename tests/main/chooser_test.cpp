// The profile chooser: its list, the preselected newest archive, the default
// archive taken without asking, the typed names and the remember box.
#include "archive/dirwalk.h"
#include "support/text.h"
#include "tests/main/file_time.h"
#include "tests/main/program_fixture.h"
#include "tests/test_util/case_name.h"

namespace {

using namespace tk;

class ChooserTest : public ProgramTest {
 protected:
  void addArchive(const std::string& name, int y, int mo, int d, int h, int mi, int s,
                  const std::string& payload = "x") {
    write_bytes(arch(name), make_archive({{name + ".txt", payload}}));
    ASSERT_TRUE(set_local_mtime(arch(name).string(), y, mo, d, h, mi, s));
  }
};

TEST_F(ChooserTest, ListsArchivesWithDatesAndSelectsTheNewest) {
  addArchive("work.ilhome", 2006, 5, 4, 13, 2, 58);
  addArchive("old.ilhome", 2005, 1, 1, 0, 0, 0);
  write_bytes(arch("notes.txt"), "not an archive");
  std::vector<std::string> seen;
  answerChooser([&seen](int turn) {
    const ProgramControls& c = program().ids;
    const headless::Control& list = test::control(c.list);
    if (turn == 1) {
      // Open has run: client size set, the timer started, focus on the window.
      const headless::Control& w = test::control(c.chooser);
      EXPECT_TRUE(w.visible);
      EXPECT_EQ(w.client_width, 320);
      EXPECT_EQ(w.client_height, 92);
      ASSERT_EQ(w.timers.size(), 1u);
      EXPECT_EQ(w.timers[0].id, 2000);
      EXPECT_EQ(w.timers[0].period_ms, 56);
      EXPECT_EQ(headless::focused(), c.chooser);
      EXPECT_FALSE(test::control(c.status).visible);
      seen = list.items;
      EXPECT_EQ(list.index, 2);
      EXPECT_EQ(list.text, list.items.at(1));
      test::tickTimer(c.chooser, 2000);
      return;
    }
    // The first tick moved the focus to the list and stopped the timer.
    EXPECT_EQ(headless::focused(), c.list);
    EXPECT_TRUE(test::control(c.chooser).timers.empty());
    test::click(c.start);
  });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(seen, (std::vector<std::string>{"old   :(2005-01-01 at 00:00:00)",
                                            "work   :(2006-05-04 at 13:02:58)"}));
  EXPECT_EQ(program().chosen_name, "work.ilhome");
  EXPECT_EQ(marker(), "work.ilhome");
  EXPECT_TRUE(fs::exists(profile() / "work.ilhome.txt"));
  EXPECT_FALSE(test::control(ids().chooser).visible);
}

TEST_F(ChooserTest, EqualTimesSelectTheFirstName) {
  addArchive("c.ilhome", 2006, 1, 1, 0, 0, 0);
  addArchive("b.ilhome", 2010, 3, 3, 3, 3, 4);
  addArchive("a.ilhome", 2010, 3, 3, 3, 3, 4);
  int index = -1;
  answerChooser([&index](int) {
    index = test::control(program().ids.list).index;
    test::click(program().ids.start);
  });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(marker(), "a.ilhome");
}

TEST_F(ChooserTest, NoArchiveOffersNewProfile) {
  std::vector<std::string> items;
  answerChooser([&items](int) {
    items = test::control(program().ids.list).items;
    test::click(program().ids.start);
  });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(items, (std::vector<std::string>{"New Profile"}));
  EXPECT_EQ(marker(), "New Profile.ilhome");
  EXPECT_FALSE(fs::exists(profile()));  // nothing to unpack
  EXPECT_TRUE(face_->message_boxes.empty());
}

TEST_F(ChooserTest, DefaultArchiveIsTakenWithoutAWindow) {
  addArchive("work.ilhome", 2006, 5, 4, 13, 2, 58);
  write_bytes(arch(kDefaultArchive), make_archive({{"d.txt", "default"}}));
  answerChooser([](int) { ADD_FAILURE() << "the chooser was shown"; });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "d.txt"), "default");
  // Never opened: its Open handler did not resize it.
  EXPECT_EQ(test::control(ids().chooser).client_width, 324);
}

struct TypedName {
  const char* typed;
  const char* name;
};

// Escaped: some rows type tabs and line ends.
void PrintTo(const TypedName& row, std::ostream* out) {
  *out << ::testing::PrintToString(std::string(row.typed));
}

class TypedNames : public ChooserTest, public ::testing::WithParamInterface<TypedName> {};

TEST_P(TypedNames, BecomeArchiveNames) {
  startWith(GetParam().typed);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), GetParam().name);
}

const TypedName kTypedNames[] = {
    {"home", "home.ilhome"},
    {"home.ILHOME", "home.ILHOME"},
    {"home.ilhome.bak", "home.ilhome.bak.ilhome"},
    {"   ", ".ilhome"},
    {":(x", ".ilhome"},
    {"  work   :(2006-05-04 at 13:02:58)", "work.ilhome"},
    {"a:(b:(c", "a.ilhome"},
    {"\tname\r\n", "name.ilhome"},
    {"x.ilhom", "x.ilhom.ilhome"},
    // Never a path: each separator becomes '_'.
    {"../x", ".._x.ilhome"},
    {"..\\x", ".._x.ilhome"},
    {"/etc/x.ilhome", "_etc_x.ilhome"},
    {"sub\\work.ilhome", "sub_work.ilhome"},
    {"..", "...ilhome"},
    // Nor a control byte, which no marker the pack takes holds.
    {"a\tb", "a_b.ilhome"},
    {"new\x01line", "new_line.ilhome"},
};
INSTANTIATE_TEST_SUITE_P(Typed, TypedNames, ::testing::ValuesIn(kTypedNames));

TEST_F(ChooserTest, PickedCaptionKeepsTheListedExtension) {
  addArchive("Work.ILHOME", 2006, 5, 4, 13, 2, 58, "upper");
  startWith(nullptr);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  // On every file system the picked archive is found again and unpacked.
  EXPECT_EQ(marker(), "Work.ILHOME");
  EXPECT_EQ(read_bytes(profile() / "Work.ILHOME.txt"), "upper");
}

TEST_F(ChooserTest, EmptyNameEndsWith77AndWritesNothing) {
  addArchive("work.ilhome", 2006, 5, 4, 13, 2, 58);
  const std::function<void(int)> answers[] = {
      [](int) {
        test::typeText(program().ids.list, "");
        test::click(program().ids.start);
      },
      [](int) { test::closeWindow(program().ids.chooser); },  // the close command
  };
  for (const auto& answer : answers) {
    answerChooser(answer);
    EXPECT_EQ(run("ekstrak"), kExitNoProfile);
    EXPECT_FALSE(markerExists());
    EXPECT_FALSE(fs::exists(profile()));
    EXPECT_FALSE(g_process.status_shown_at_exit);
  }
}

const char kWarning[] =
    "Your selected profile file will be named 'default'. If you want to use another profile "
    "next time, please rename or delete the file 'default.ilhome' on ";

TEST_F(ChooserTest, RememberBoxMovesAnExistingArchiveToDefault) {
  addArchive("work.ilhome", 2006, 5, 4, 13, 2, 58, "remembered");
  std::size_t boxes_before_close = 99;
  answerChooser([](int) {
    test::setChecked(program().ids.remember, 1);
    test::click(program().ids.start);
  });
  face_->on_message_box = [&boxes_before_close](const test::MessageBoxShown&) {
    // Shown while the chooser is still open, before anything moved.
    boxes_before_close = test::control(program().ids.chooser).visible ? 1 : 0;
  };
  EXPECT_EQ(run("ekstrak"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0], (test::MessageBoxShown{kWarning + arch_ + ".", "Warning", 0}));
  EXPECT_EQ(boxes_before_close, 1u);
  EXPECT_FALSE(fs::exists(arch("work.ilhome")));
  EXPECT_TRUE(fs::exists(arch(kDefaultArchive)));
  EXPECT_EQ(marker(), "default.ilhome");
  EXPECT_EQ(read_bytes(profile() / "work.ilhome.txt"), "remembered");

  // The next start asks nothing.
  answerChooser([](int) { ADD_FAILURE() << "the chooser was shown again"; });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), "default.ilhome");
}

TEST_F(ChooserTest, RememberBoxWithANewNameMovesNothing) {
  addArchive("work.ilhome", 2006, 5, 4, 13, 2, 58);
  startWith("fresh", 1);
  EXPECT_EQ(run("ekstrak"), kExitDone);
  ASSERT_EQ(face_->message_boxes.size(), 1u);
  EXPECT_EQ(face_->message_boxes[0].title, "Warning");
  EXPECT_EQ(marker(), "fresh.ilhome");
  EXPECT_TRUE(fs::exists(arch("work.ilhome")));
  EXPECT_FALSE(fs::exists(arch(kDefaultArchive)));
}

struct PickedItem {
  const char* what;
  const char* name;
};

void PrintTo(const PickedItem& row, std::ostream* out) { *out << '"' << row.what << '"'; }

class PickedItems : public ChooserTest, public ::testing::WithParamInterface<PickedItem> {};

TEST_P(PickedItems, MarkExactlyTheListedFile) {
  const std::string name = GetParam().name;
  addArchive("lead.ilhome", 2006, 1, 1, 0, 0, 0, "wrong");
  addArchive("trail.ilhome", 2006, 1, 1, 0, 0, 0, "wrong");
  addArchive("work.ilhome", 2006, 1, 1, 0, 0, 0, "work");
  if (name != "work.ilhome") addArchive(name, 2005, 1, 1, 0, 0, 0, "picked");
  // The item's place in the list.
  int pick = 0;
  const Listing listing = list_dir_sorted(join_path(arch_, kArchivePattern));
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    if (listing.entries[i].name == name) pick = static_cast<int>(i) + 1;
  }
  ASSERT_NE(pick, 0);
  answerChooser([pick](int) {
    setIndex(program().ids.list, pick);
    test::click(program().ids.start);
  });
  EXPECT_EQ(run("ekstrak"), kExitDone);
  EXPECT_EQ(marker(), name);
  EXPECT_TRUE(fs::exists(profile() / (name + ".txt")));
}

// Blanks at either end of the stem, and a stem that is a prefix of another.
const PickedItem kPickedItems[] = {
    {"blank before the stem", " lead.ilhome"},
    {"blank after the stem", "trail .ilhome"},
    {"stem that begins another", "work.ilhome"},
};
INSTANTIATE_TEST_SUITE_P(Names, PickedItems, ::testing::ValuesIn(kPickedItems),
                         test_util::NameByWhat());

}  // namespace
